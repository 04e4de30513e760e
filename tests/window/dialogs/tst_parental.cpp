// The parental filter: the password prompt, the choices, the set-password
// dialog, and the action's whole flow.

#include "catalogue/Options.h"
#include "catalogue/PPVView.h"
#include "catalogue/StreamsManager.h"
#include "service/ReferenceService.h"
#include "tests/window/dialogs/ModalDriver.h"
#include "window/dialogs/ParentalFilter.h"
#include "window/dialogs/ParentalFilterFlow.h"
#include "window/dialogs/PasswordEntryDialog.h"
#include "window/dialogs/SelectionDialogParental.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString LIMITED = QStringLiteral("<limited mode>");

// Puts a password in place: none, one set by the user, or the lock of
// limited mode.
void storePassword(const QString &password, StreamsManager &manager, PPVView &ppv)
{
    if (password == LIMITED) {
        Options::setMode(false);
        Options::readFromDisk(&manager, &ppv, false, false);
    } else {
        Options::setPasswd(password);
    }
}

// The window's parental rule at start.
void applyStartRule(StreamsManager &manager, PPVView &ppv)
{
    const bool visible = Options::evalPasswd(QString());
    manager.setAdultVisible(visible);
    ppv.setAdultVisible(visible);
}
} // namespace

// Receives the addresses that the Help buttons open.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class TestParental : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_oldDir;
    UrlCatcher m_catcher;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        qputenv("QUORVANTEL_FORUM_HOST", "127.0.0.1:9");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_catcher, "open");
    }
    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDir::setCurrent(m_oldDir);
    }
    void init()
    {
        Options::resetToDefaults();
        m_catcher.urls.clear();
    }

    // --- Password prompt -------------------------------------------------

    void promptTexts()
    {
        QWidget window;
        PasswordEntryDialog prompt(&window);
        QCOMPARE(prompt.windowTitle(), QStringLiteral("Password"));
        QCOMPARE(prompt.findChild<QLabel *>()->text(), QStringLiteral("Enter Password"));
        QCOMPARE(prompt.okButton()->text(), QStringLiteral("OK"));
        QCOMPARE(prompt.cancelButton()->text(), QStringLiteral("Cancel"));
        QCOMPARE(prompt.helpButton()->text(), QStringLiteral("Help"));
        QCOMPARE(prompt.passwordField()->echoMode(), QLineEdit::Password);
        QCOMPARE(prompt.focusWidget(), prompt.passwordField());
        QCOMPARE(prompt.getSelect(), -1);
        QVERIFY(!prompt.isValid());
    }

    void promptResults_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("select");
        QTest::addColumn<bool>("valid");
        QTest::newRow("OK, right") << "secret" << "ok" << 0 << true;
        QTest::newRow("Return, right") << "secret" << "return" << 0 << true;
        QTest::newRow("OK, wrong") << "Secret" << "ok" << 0 << false;
        QTest::newRow("Return, wrong") << "secre" << "return" << 0 << false;
        QTest::newRow("OK, blanks around") << "  secret " << "ok" << 0 << true;
        QTest::newRow("anagram") << "terces" << "ok" << 0 << false;
        QTest::newRow("Cancel") << "secret" << "cancel" << 1 << false;
        QTest::newRow("close box") << "secret" << "close" << -1 << false;
        QTest::newRow("Escape") << "secret" << "escape" << -1 << false;
        // The keypad's Enter is not the Return key: nothing happens.
        QTest::newRow("keypad Enter, then close") << "secret" << "enter" << -1 << false;
    }
    void promptResults()
    {
        QFETCH(QString, typed);
        QFETCH(QString, how);
        QFETCH(int, select);
        QFETCH(bool, valid);
        Options::setPasswd(QStringLiteral("secret"));
        QWidget window;
        PasswordEntryDialog prompt(&window);
        ModalDriver driver;
        driver.then([&](QWidget *) {
            QTest::keyClicks(prompt.passwordField(), typed);
            if (how == u"ok")
                QTest::mouseClick(prompt.okButton(), Qt::LeftButton);
            else if (how == u"return")
                QTest::keyClick(prompt.passwordField(), Qt::Key_Return);
            else if (how == u"cancel")
                QTest::mouseClick(prompt.cancelButton(), Qt::LeftButton);
            else if (how == u"escape")
                QTest::keyClick(prompt.passwordField(), Qt::Key_Escape);
            else if (how == u"enter") {
                QTest::keyClick(prompt.passwordField(), Qt::Key_Enter, Qt::KeypadModifier);
                QVERIFY(prompt.isVisible());
                prompt.close();
            } else
                prompt.close();
        });
        prompt.exec();
        QCOMPARE(prompt.getSelect(), select);
        QCOMPARE(prompt.isValid(), valid);
        QVERIFY(driver.unexpected().isEmpty());
    }

    void helpOpensForumPage()
    {
        QWidget window;
        PasswordEntryDialog prompt(&window);
        prompt.show();
        QTest::mouseClick(prompt.helpButton(), Qt::LeftButton);
        QVERIFY(prompt.isVisible());
        QCOMPARE(m_catcher.urls, QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1:9/viewforum.php?f=11"))});
        ParentalFilter setter(&window);
        setter.show();
        QTest::mouseClick(setter.helpButton(), Qt::LeftButton);
        QVERIFY(setter.isVisible());
        QCOMPARE(m_catcher.urls.size(), 2);
        QCOMPARE(m_catcher.urls.last(), QUrl(QStringLiteral("http://127.0.0.1:9/viewforum.php?f=11")));
    }

    // --- Choices --------------------------------------------------------------

    void selectionTexts_data()
    {
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QString>("toggle");
        QTest::newRow("adult shown") << true << "Hide adult content";
        QTest::newRow("adult hidden") << false << "Show adult content";
    }
    void selectionTexts()
    {
        QFETCH(bool, visible);
        QFETCH(QString, toggle);
        QWidget window;
        SelectionDialogParental selection(&window, visible);
        QCOMPARE(selection.windowTitle(), QStringLiteral("Password"));
        QCOMPARE(selection.findChild<QLabel *>()->text(), QStringLiteral("Make a selection"));
        QCOMPARE(selection.changePasswordButton()->text(), QStringLiteral("Change password"));
        QCOMPARE(selection.toggleAdultButton()->text(), toggle);
        QCOMPARE(selection.removePasswordButton()->text(), QStringLiteral("Remove password"));
        QCOMPARE(selection.cancelButton()->text(), QStringLiteral("Cancel"));
        QCOMPARE(selection.getValue(), -1);
        // Three buttons on one row, Cancel alone below.
        selection.show();
        QCOMPARE(selection.toggleAdultButton()->y(), selection.changePasswordButton()->y());
        QCOMPARE(selection.removePasswordButton()->y(), selection.changePasswordButton()->y());
        QVERIFY(selection.cancelButton()->y() > selection.changePasswordButton()->y());
        QCOMPARE(selection.cancelButton()->x(), selection.changePasswordButton()->x());
    }

    void selectionResults_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("value");
        QTest::newRow("change") << "Change password" << 0;
        QTest::newRow("toggle") << "Hide adult content" << 1;
        QTest::newRow("remove") << "Remove password" << 3;
        QTest::newRow("cancel") << "Cancel" << -1;
        QTest::newRow("close box") << "" << -1;
    }
    void selectionResults()
    {
        QFETCH(QString, how);
        QFETCH(int, value);
        QWidget window;
        SelectionDialogParental selection(&window, true);
        ModalDriver driver;
        if (how.isEmpty())
            driver.closeWindow();
        else
            driver.clickButton(how);
        selection.exec();
        QCOMPARE(selection.getValue(), value);
        QVERIFY(driver.unexpected().isEmpty());
    }

    // --- Set-password dialog -------------------------------------------------

    void setPasswordTexts()
    {
        QWidget window;
        ParentalFilter setter(&window);
        QCOMPARE(setter.windowTitle(), QStringLiteral("Parental filter"));
        QStringList labels;
        for (QLabel *label : setter.findChildren<QLabel *>())
            labels << label->text();
        QCOMPARE(labels, (QStringList{QStringLiteral("Password"), QStringLiteral("Confirm password"),
                                      QStringLiteral("If you have forgotten the password please contact us.")}));
        QCOMPARE(setter.findChild<QGroupBox *>()->title(), QStringLiteral("Set password"));
        QCOMPARE(setter.okButton()->text(), QStringLiteral("OK"));
        QCOMPARE(setter.cancelButton()->text(), QStringLiteral("Cancel"));
        QCOMPARE(setter.helpButton()->text(), QStringLiteral("Help"));
        QCOMPARE(setter.passwordField()->echoMode(), QLineEdit::Password);
        QCOMPARE(setter.confirmField()->echoMode(), QLineEdit::Password);
    }

    void setPasswordReturnMovesFocus()
    {
        Options::setPasswd(QStringLiteral("old"));
        QWidget window;
        ParentalFilter setter(&window);
        ModalDriver driver;
        driver.then([&](QWidget *) {
            QCOMPARE(setter.focusWidget(), setter.passwordField());
            QTest::keyClicks(setter.passwordField(), QStringLiteral("new1"));
            QTest::keyClick(setter.passwordField(), Qt::Key_Return);
            QCOMPARE(setter.focusWidget(), setter.confirmField());
            QTest::keyClicks(setter.confirmField(), QStringLiteral("new1"));
            QTest::keyClick(setter.confirmField(), Qt::Key_Return);
            QCOMPARE(setter.focusWidget(), setter.okButton());
            // Nothing was stored by the two Returns.
            QVERIFY(setter.isVisible());
            QVERIFY(Options::evalPasswd(QStringLiteral("old")));
            // Return on the focused OK button presses it.
            QTest::keyClick(setter.okButton(), Qt::Key_Return);
        });
        setter.exec();
        QVERIFY(setter.passwordStored());
        QVERIFY(Options::evalPasswd(QStringLiteral("new1")));
        QVERIFY(!Options::evalPasswd(QStringLiteral("old")));
        QVERIFY(driver.unexpected().isEmpty());
    }

    void setPassword_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QStringList>("boxes"); // texts of the boxes shown, in order
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("accepted"); // a text evalPasswd then accepts
        QTest::addColumn<QString>("refused");  // one it refuses
        const QString differ = QStringLiteral("The passwords differ");
        const QString empty = QStringLiteral("Both password fields are empty, the password is now removed.");
        QTest::newRow("equal") << "abc" << "abc" << QStringList() << true << "abc" << "old";
        QTest::newRow("different") << "abc" << "abd" << QStringList{differ} << false << "old" << "abc";
        QTest::newRow("letter case") << "abc" << "ABC" << QStringList{differ} << false << "old" << "abc";
        QTest::newRow("one empty") << "abc" << "" << QStringList{differ} << false << "old" << "abc";
        QTest::newRow("both empty") << "" << "" << QStringList{empty} << true << "" << "old";
        // A password with blanks at its ends can be entered again as typed.
        QTest::newRow("blanks around") << " pass word " << " pass word " << QStringList() << true << " pass word "
                                       << "old";
        // Blanks alone store no password, as two empty fields do, and say so.
        QTest::newRow("blanks only") << "   " << "   " << QStringList{empty} << true << "" << "old";
        QTest::newRow("blank and tab") << " \t" << " \t" << QStringList{empty} << true << "" << "old";
        QTest::newRow("blanks differ") << " " << "  " << QStringList{differ} << false << "old" << "";
    }
    void setPassword()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QStringList, boxes);
        QFETCH(bool, stored);
        QFETCH(QString, accepted);
        QFETCH(QString, refused);
        Options::setPasswd(QStringLiteral("old"));
        QWidget window;
        ParentalFilter setter(&window);
        QList<BoxRecord> records;
        for (int i = 0; i < boxes.size(); ++i)
            records.append(BoxRecord());
        ModalDriver driver;
        driver.then([&](QWidget *) {
            QTest::keyClicks(setter.passwordField(), first);
            QTest::keyClicks(setter.confirmField(), second);
            QTest::mouseClick(setter.okButton(), Qt::LeftButton);
            if (!stored) {
                // The dialog stays open with both fields as they were.
                QVERIFY(setter.isVisible());
                QCOMPARE(setter.passwordField()->text(), first);
                QCOMPARE(setter.confirmField()->text(), second);
                QTest::mouseClick(setter.cancelButton(), Qt::LeftButton);
            }
        });
        for (BoxRecord &record : records)
            driver.acceptBox(&record);
        setter.exec();
        QCOMPARE(driver.remaining(), 0);
        QVERIFY(driver.unexpected().isEmpty());
        for (int i = 0; i < boxes.size(); ++i) {
            QCOMPARE(records[i].text, boxes[i]);
            QCOMPARE(records[i].title, QString());
            QCOMPARE(records[i].parent, &setter);
            QCOMPARE(records[i].icon, boxes[i].startsWith(u"Both") ? QMessageBox::Information : QMessageBox::Critical);
            QCOMPARE(records[i].buttonCount, 1);
            QVERIFY(records[i].applicationModal);
        }
        QCOMPARE(setter.passwordStored(), stored);
        QVERIFY(Options::evalPasswd(accepted));
        QVERIFY(!Options::evalPasswd(refused));
    }

    void setPasswordCancel()
    {
        Options::setPasswd(QStringLiteral("old"));
        QWidget window;
        ParentalFilter setter(&window);
        ModalDriver driver;
        driver.then([&](QWidget *) {
            QTest::keyClicks(setter.passwordField(), QStringLiteral("new"));
            QTest::keyClicks(setter.confirmField(), QStringLiteral("new"));
            QTest::mouseClick(setter.cancelButton(), Qt::LeftButton);
        });
        setter.exec();
        QVERIFY(!setter.passwordStored());
        QVERIFY(Options::evalPasswd(QStringLiteral("old")));
    }

    // --- The action's flow ---------------------------------------------------

    void flow_data()
    {
        QTest::addColumn<QString>("stored");      // stored password ("" none)
        QTest::addColumn<QStringList>("entries"); // what the user does, dialog by dialog
        QTest::addColumn<int>("outcome");
        QTest::addColumn<bool>("adultAfter");     // switches afterwards
        QTest::addColumn<QString>("accepted");    // an entry evalPasswd then accepts
        QTest::addColumn<QString>("refused");     // one it refuses (empty: no check)
        QTest::addColumn<bool>("reload");
        QTest::addColumn<QStringList>("boxes");

        using R = ParentalFilterResult;
        const QString notCorrect = QStringLiteral("Password not correct");
        const QString removed = QStringLiteral("Password removed");

        // No password: no prompt, adult content shown.
        QTest::newRow("none: hide adult") << "" << QStringList{"choose:Hide adult content"} << int(R::AdultToggled)
                                          << false << "" << "" << true << QStringList();
        QTest::newRow("none: cancel choices") << "" << QStringList{"choose:Cancel"} << int(R::NothingDone) << true
                                              << "" << "" << false << QStringList();
        QTest::newRow("none: close choices") << "" << QStringList{"close"} << int(R::NothingDone) << true << ""
                                             << "" << false << QStringList();
        QTest::newRow("none: remove password") << "" << QStringList{"choose:Remove password", "box"}
                                               << int(R::PasswordRemoved) << true << "" << "" << false
                                               << QStringList{removed};
        QTest::newRow("none: set password") << "" << QStringList{"choose:Change password", "set:abc"}
                                            << int(R::PasswordDialog) << true << "abc" << "" << false
                                            << QStringList();
        // A password: the prompt first; adult content hidden at start.
        QTest::newRow("set: right, show adult") << "pw1" << QStringList{"type:pw1", "choose:Show adult content"}
                                                << int(R::AdultToggled) << true << "pw1" << "pw2" << true
                                                << QStringList();
        QTest::newRow("set: right by Return, remove")
            << "pw1" << QStringList{"return:pw1", "choose:Remove password", "box"} << int(R::PasswordRemoved)
            << false << "" << "pw1x" << false << QStringList{removed};
        QTest::newRow("set: right, new password") << "pw1" << QStringList{"type:pw1", "choose:Change password",
                                                                          "set:pw2"}
                                                  << int(R::PasswordDialog) << false << "pw2" << "pw1" << false
                                                  << QStringList();
        QTest::newRow("set: wrong") << "pw1" << QStringList{"type:pw2", "box"} << int(R::PasswordRefused) << false
                                    << "pw1" << "pw2" << false << QStringList{notCorrect};
        QTest::newRow("set: empty entry") << "pw1" << QStringList{"type:", "box"} << int(R::PasswordRefused)
                                          << false << "pw1" << "" << false << QStringList{notCorrect};
        QTest::newRow("set: cancel prompt") << "pw1" << QStringList{"cancel"} << int(R::NothingDone) << false
                                            << "pw1" << "" << false << QStringList();
        QTest::newRow("set: close prompt") << "pw1" << QStringList{"close"} << int(R::NothingDone) << false << "pw1"
                                           << "" << false << QStringList();
        QTest::newRow("set: right, cancel choices") << "pw1" << QStringList{"type:pw1", "choose:Cancel"}
                                                    << int(R::NothingDone) << false << "pw1" << "" << false
                                                    << QStringList();
        // Limited mode: the built-in password guards the choices.
        QTest::newRow("limited: empty entry refused") << LIMITED << QStringList{"type:", "box"}
                                                      << int(R::PasswordRefused) << false << "qelmorvintashk" << ""
                                                      << false << QStringList{notCorrect};
        QTest::newRow("limited: built-in password, show adult")
            << LIMITED << QStringList{"type:qelmorvintashk", "choose:Show adult content"} << int(R::AdultToggled)
            << true << "qelmorvintashk" << "" << true << QStringList();
    }
    void flow()
    {
        QFETCH(QString, stored);
        QFETCH(QStringList, entries);
        QFETCH(int, outcome);
        QFETCH(bool, adultAfter);
        QFETCH(QString, accepted);
        QFETCH(QString, refused);
        QFETCH(bool, reload);
        QFETCH(QStringList, boxes);

        StreamsManager manager;
        PPVView ppv;
        if (!stored.isEmpty())
            storePassword(stored, manager, ppv);
        applyStartRule(manager, ppv);
        const bool adultBefore = manager.getAdultVisible();

        QWidget window;
        QList<BoxRecord> records;
        records.reserve(entries.size());
        ModalDriver driver;
        for (const QString &entry : entries) {
            if (entry == u"box") {
                records.append(BoxRecord());
                BoxRecord *record = &records.last();
                const bool noPassword = stored.isEmpty();
                driver.then([record, noPassword, &window](QWidget *w) {
                    auto *box = qobject_cast<QMessageBox *>(w);
                    QVERIFY(box);
                    record->text = box->text();
                    record->title = box->windowTitle();
                    record->icon = box->icon();
                    record->parent = box->parentWidget();
                    QCOMPARE(box->parentWidget(), &window);
                    // "Password removed" shows before the password goes.
                    if (box->text() == u"Password removed")
                        record->buttonText = Options::evalPasswd(QString()) != noPassword
                                                 ? QStringLiteral("cleared early")
                                                 : QString();
                    QTest::mouseClick(box->buttons().first(), Qt::LeftButton);
                });
            } else if (entry == u"close") {
                driver.closeWindow();
            } else if (entry == u"cancel") {
                driver.clickButton(QStringLiteral("Cancel"));
            } else if (entry.startsWith(u"choose:")) {
                const QString button = entry.mid(7);
                driver.then([button, &window](QWidget *w) {
                    QVERIFY(qobject_cast<SelectionDialogParental *>(w));
                    QCOMPARE(w->parentWidget(), &window);
                    ModalDriver::clickButtonIn(w, button);
                });
            } else if (entry.startsWith(u"type:") || entry.startsWith(u"return:")) {
                const bool byReturn = entry.startsWith(u"return:");
                const QString text = entry.mid(entry.indexOf(u':') + 1);
                driver.then([text, byReturn, &window](QWidget *w) {
                    auto *prompt = qobject_cast<PasswordEntryDialog *>(w);
                    QVERIFY(prompt);
                    QCOMPARE(prompt->parentWidget(), &window);
                    QTest::keyClicks(prompt->passwordField(), text);
                    if (byReturn)
                        QTest::keyClick(prompt->passwordField(), Qt::Key_Return);
                    else
                        QTest::mouseClick(prompt->okButton(), Qt::LeftButton);
                });
            } else if (entry.startsWith(u"set:")) {
                const QString text = entry.mid(4);
                driver.then([text, &window](QWidget *w) {
                    auto *setter = qobject_cast<ParentalFilter *>(w);
                    QVERIFY(setter);
                    QCOMPARE(setter->parentWidget(), &window);
                    QTest::keyClicks(setter->passwordField(), text);
                    QTest::keyClicks(setter->confirmField(), text);
                    QTest::mouseClick(setter->okButton(), Qt::LeftButton);
                });
            }
        }

        int reloads = 0;
        bool switchesSetBeforeReload = false;
        const ParentalFilterResult result = ParentalFilterFlow::run(&window, manager, ppv, [&] {
            ++reloads;
            switchesSetBeforeReload = manager.getAdultVisible() == adultAfter;
        });

        QCOMPARE(driver.remaining(), 0);
        QCOMPARE(driver.unexpected(), QStringList());
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(manager.getAdultVisible(), adultAfter);
        QCOMPARE(result.adultVisible, adultAfter);
        QCOMPARE(result.reloadRequested, reload);
        QCOMPARE(reloads, reload ? 1 : 0);
        if (reload)
            QVERIFY(switchesSetBeforeReload);
        const bool hidden = reload && adultBefore && !adultAfter;
        QCOMPARE(result.removeAdultTabs, hidden);
        QCOMPARE(result.stopAdultStream, hidden);
        QVERIFY(!result.reloadError);
        QVERIFY(Options::evalPasswd(accepted));
        // A password is stored exactly when the accepted entry is not empty.
        QCOMPARE(Options::evalPasswd(QString()), accepted.isEmpty());
        if (!refused.isEmpty())
            QVERIFY(!Options::evalPasswd(refused));
        QCOMPARE(records.size(), boxes.size());
        for (int i = 0; i < boxes.size(); ++i) {
            QCOMPARE(records[i].text, boxes[i]);
            QCOMPARE(records[i].title, QString());
            QCOMPARE(records[i].icon, boxes[i] == u"Password removed" ? QMessageBox::Information
                                                                        : QMessageBox::Critical);
            QCOMPARE(records[i].buttonText, QString());
        }
    }

    // Hiding adult content reports the tabs and the stream to the window even
    // when the reload fails at once; the switches stay off.
    void hideWithFailingReload()
    {
        StreamsManager manager;
        PPVView ppv;
        applyStartRule(manager, ppv);
        QVERIFY(manager.getAdultVisible());
        QWidget window;
        ModalDriver driver;
        driver.clickButton(QStringLiteral("Hide adult content"));
        const ParentalFilterResult result = ParentalFilterFlow::run(&window, manager, ppv, [] {
            throw TulException(QStringLiteral("ConnectError"));
        });
        QCOMPARE(driver.remaining(), 0);
        QCOMPARE(int(result.outcome), int(ParentalFilterResult::AdultToggled));
        QVERIFY(!manager.getAdultVisible());
        QVERIFY(result.removeAdultTabs);
        QVERIFY(result.stopAdultStream);
        QVERIFY(result.reloadRequested);
        QVERIFY(result.reloadError.has_value());
        QCOMPARE(result.reloadError->getMsg(), QStringLiteral("Firewall blocking error"));
    }

    // The pay-per-view view follows the toggle: its next download leaves the
    // adult movies out, and after showing again lists them.
    void toggleReachesPayPerView()
    {
        ReferenceService::Config config;
        config.logToStderr = false;
        ReferenceService service(config);
        QVERIFY(service.start());
        qputenv("QUORVANTEL_CATALOGUE_HOST", service.hostPort().toLatin1());

        auto adultCount = [](const std::shared_ptr<const StreamList> &list) {
            int n = 0;
            for (const StreamInfoPtr &s : *list)
                n += s->getAdult() ? 1 : 0;
            return n;
        };

        StreamsManager manager;
        PPVView ppv;
        applyStartRule(manager, ppv);
        auto all = ppv.reload();
        QVERIFY(all && !all->empty());
        QVERIFY(adultCount(all) > 0);

        QWidget window;
        {
            ModalDriver driver;
            driver.clickButton(QStringLiteral("Hide adult content"));
            ParentalFilterFlow::run(&window, manager, ppv, [] {});
        }
        all = ppv.reload();
        QVERIFY(all && !all->empty());
        QCOMPARE(adultCount(all), 0);
        {
            ModalDriver driver;
            driver.clickButton(QStringLiteral("Show adult content"));
            ParentalFilterFlow::run(&window, manager, ppv, [] {});
        }
        QVERIFY(manager.getAdultVisible());
        all = ppv.reload();
        QVERIFY(adultCount(all) > 0);
        qunsetenv("QUORVANTEL_CATALOGUE_HOST");
    }
};

QTEST_MAIN(TestParental)
#include "tst_parental.moc"
