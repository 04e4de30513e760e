// The first-start mode choice and the window's step around it.

#include "catalogue/Options.h"
#include "catalogue/PPVView.h"
#include "catalogue/StreamsManager.h"
#include "service/ReferenceService.h"
#include "tests/window/dialogs/ModalDriver.h"
#include "window/dialogs/FirstStartFlow.h"
#include "window/dialogs/UserWizard.h"

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

namespace {
QByteArray optionsFile()
{
    QFile file(QStringLiteral("options.xml"));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QByteArray modeElement()
{
    const QByteArray xml = optionsFile();
    if (xml.contains("<Mode/>"))
        return QByteArrayLiteral("<Mode/>");
    const qsizetype start = xml.indexOf("<Mode>");
    if (start < 0)
        return QByteArray();
    const qsizetype end = xml.indexOf("</Mode>", start);
    return xml.mid(start, end + 7 - start);
}
} // namespace

class TestFirstStart : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldDir;

private slots:
    void initTestCase() { m_oldDir = QDir::currentPath(); }
    void cleanupTestCase() { QDir::setCurrent(m_oldDir); }
    void init()
    {
        // A fresh working directory: no settings file, as at the first start.
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QDir::setCurrent(m_dir->path());
        Options::resetToDefaults();
    }

    void pageTexts()
    {
        QWidget window;
        UserWizard wizard(&window);
        WizardPage0 *page = wizard.page0();
        QVERIFY(page);
        QCOMPARE(wizard.pageIds().size(), 1);
        QCOMPARE(page->objectName(), QStringLiteral("Page0"));
        QCOMPARE(WizardPage0::title, QStringLiteral("Page0"));
        QCOMPARE(static_cast<QWizardPage *>(page)->title(), QStringLiteral("Select mode"));
        QCOMPARE(page->subTitle(), QStringLiteral("Please make a selection"));
        QCOMPARE(page->findChild<QTextEdit *>()->toPlainText(),
                 QStringLiteral("Quorvantel has 2 modes, a full mode and a limited mode. In the full mode all content "
                                "are awailable. In the limited mode all adult content is hidden."));
        QStringList labels;
        for (QLabel *label : page->findChildren<QLabel *>())
            labels << label->text();
        QVERIFY(labels.contains(QStringLiteral("Select full mode (with adult content)")));
        QVERIFY(labels.contains(QStringLiteral("Select limited mode (without adult content)")));
        QVERIFY(page->fullModeButton()->text().isEmpty());
        QVERIFY(page->limitedModeButton()->text().isEmpty());
        QCOMPARE(wizard.parentWidget(), &window);
        QCOMPARE(wizard.windowModality(), Qt::ApplicationModal);
    }

    void finishFollowsSelection()
    {
        QWidget window;
        UserWizard wizard(&window);
        wizard.show();
        WizardPage0 *page = wizard.page0();
        QAbstractButton *finish = wizard.button(QWizard::FinishButton);
        QAbstractButton *cancel = wizard.button(QWizard::CancelButton);
        QVERIFY(finish->isVisible());
        QVERIFY(cancel->isVisible() && cancel->isEnabled());
        QVERIFY(!wizard.button(QWizard::BackButton)->isVisible());
        QVERIFY(!wizard.button(QWizard::NextButton)->isVisible());
        QVERIFY(!page->fullModeButton()->isChecked());
        QVERIFY(!page->limitedModeButton()->isChecked());
        QVERIFY(!finish->isEnabled());
        QVERIFY(!wizard.canFinish());

        // Clicking a label does not select its radio button.
        for (QLabel *label : page->findChildren<QLabel *>())
            QTest::mouseClick(label, Qt::LeftButton);
        QVERIFY(!finish->isEnabled());

        QTest::mouseClick(page->fullModeButton(), Qt::LeftButton);
        QVERIFY(finish->isEnabled());
        QVERIFY(wizard.canFinish());
        QCOMPARE(Options::getModeNotPersistent(), std::optional<bool>(true));
        QTest::mouseClick(page->limitedModeButton(), Qt::LeftButton);
        QVERIFY(!page->fullModeButton()->isChecked());
        QVERIFY(finish->isEnabled());
        QCOMPARE(Options::getModeNotPersistent(), std::optional<bool>(false));
        // Nothing is stored before Finish.
        QVERIFY(!Options::getMode().has_value());
        QVERIFY(optionsFile().isEmpty());
        wizard.close();
    }

    void choice_data()
    {
        QTest::addColumn<QStringList>("clicks");   // radio buttons, in order
        QTest::addColumn<QString>("end");          // finish, return, cancel, close
        QTest::addColumn<bool>("hasMode");
        QTest::addColumn<bool>("mode");
        QTest::addColumn<QByteArray>("written");   // the Mode element in options.xml; empty: no file
        QTest::addColumn<bool>("wizardFlag");      // UserWizardEnabled afterwards
        QTest::newRow("full") << QStringList{"full"} << "finish" << true << true << QByteArray("<Mode>true</Mode>")
                              << false;
        QTest::newRow("limited") << QStringList{"limited"} << "finish" << true << false
                                 << QByteArray("<Mode>false</Mode>") << false;
        QTest::newRow("full, limited, finish") << QStringList{"full", "limited"} << "finish" << true << false
                                               << QByteArray("<Mode>false</Mode>") << false;
        QTest::newRow("limited by Return") << QStringList{"limited"} << "return" << true << false
                                           << QByteArray("<Mode>false</Mode>") << false;
        QTest::newRow("cancel after choice") << QStringList{"full"} << "cancel" << false << false << QByteArray()
                                             << true;
        QTest::newRow("cancel") << QStringList() << "cancel" << false << false << QByteArray() << true;
        QTest::newRow("close box") << QStringList{"limited"} << "close" << false << false << QByteArray() << true;
    }
    void choice()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QString, end);
        QFETCH(bool, hasMode);
        QFETCH(bool, mode);
        QFETCH(QByteArray, written);
        QFETCH(bool, wizardFlag);

        StreamsManager manager;
        PPVView ppv;
        manager.setAdultVisible(true);
        QWidget window;
        ModalDriver driver;
        driver.then([&](QWidget *w) {
            auto *wizard = qobject_cast<UserWizard *>(w);
            QVERIFY(wizard);
            QCOMPARE(wizard->parentWidget(), &window);
            for (const QString &click : clicks)
                QTest::mouseClick(click == u"full" ? wizard->page0()->fullModeButton()
                                                   : wizard->page0()->limitedModeButton(),
                                  Qt::LeftButton);
            if (end == u"finish")
                QTest::mouseClick(wizard->button(QWizard::FinishButton), Qt::LeftButton);
            else if (end == u"return")
                QTest::keyClick(wizard->page0()->limitedModeButton(), Qt::Key_Return);
            else if (end == u"cancel")
                QTest::mouseClick(wizard->button(QWizard::CancelButton), Qt::LeftButton);
            else
                wizard->close();
        });
        const std::optional<bool> result = FirstStartFlow::run(&window, manager, ppv);
        QCOMPARE(driver.remaining(), 0);
        QVERIFY(driver.unexpected().isEmpty());

        QCOMPARE(result.has_value(), hasMode);
        QCOMPARE(Options::getMode().has_value(), hasMode);
        if (hasMode) {
            QCOMPARE(*result, mode);
            QCOMPARE(*Options::getMode(), mode);
        }
        QCOMPARE(modeElement(), written);
        QCOMPARE(Options::getUserWizardEnabled(), wizardFlag);
        // Limited mode hides adult content in this very run.
        QCOMPARE(manager.getAdultVisible(), !(hasMode && !mode));
    }

    void fullModeRemovesPassword()
    {
        Options::setPasswd(QStringLiteral("secret"));
        StreamsManager manager;
        PPVView ppv;
        QWidget window;
        ModalDriver driver;
        driver.then([](QWidget *w) {
            auto *wizard = qobject_cast<UserWizard *>(w);
            QVERIFY(wizard);
            QTest::mouseClick(wizard->page0()->fullModeButton(), Qt::LeftButton);
            QTest::mouseClick(wizard->button(QWizard::FinishButton), Qt::LeftButton);
        });
        FirstStartFlow::run(&window, manager, ppv);
        QCOMPARE(Options::getMode(), std::optional<bool>(true));
        QVERIFY(Options::evalPasswd(QString()));
    }

    // Limited mode chosen at the first start locks adult content at once:
    // both switches off, and the parental filter needs the built-in
    // password, as in every later run.
    void limitedModeAppliesAtOnce()
    {
        ReferenceService::Config config;
        config.logToStderr = false;
        ReferenceService service(config);
        QVERIFY(service.start());
        qputenv("QUORVANTEL_CATALOGUE_HOST", service.hostPort().toLatin1());
        StreamsManager manager;
        PPVView ppv;
        Options::readFromDisk(&manager, &ppv, false, false);
        manager.setAdultVisible(true);
        ppv.setAdultVisible(true);
        QWidget window;
        ModalDriver driver;
        driver.then([](QWidget *w) {
            auto *wizard = qobject_cast<UserWizard *>(w);
            QVERIFY(wizard);
            QTest::mouseClick(wizard->page0()->limitedModeButton(), Qt::LeftButton);
            QTest::mouseClick(wizard->button(QWizard::FinishButton), Qt::LeftButton);
        });
        FirstStartFlow::run(&window, manager, ppv);
        QVERIFY(!manager.getAdultVisible());
        QVERIFY(!Options::evalPasswd(QString()));
        // The window's rule at start then agrees with the choice.
        QCOMPARE(Options::evalPasswd(QString()), manager.getAdultVisible());
        QCOMPARE(modeElement(), QByteArray("<Mode>false</Mode>"));
        // The pay-per-view list leaves the adult movies out too.
        const auto movies = ppv.reload();
        QVERIFY(movies && !movies->empty());
        for (const StreamInfoPtr &movie : *movies)
            QVERIFY(!movie->getAdult());
        qunsetenv("QUORVANTEL_CATALOGUE_HOST");
    }

    // With a mode already stored, Finish stores nothing and still closes.
    void finishWithStoredMode()
    {
        Options::setMode(true);
        QFile::remove(QStringLiteral("options.xml"));
        QWidget window;
        UserWizard wizard(&window);
        ModalDriver driver;
        driver.then([&](QWidget *) {
            QTest::mouseClick(wizard.page0()->limitedModeButton(), Qt::LeftButton);
            QTest::mouseClick(wizard.button(QWizard::FinishButton), Qt::LeftButton);
        });
        QCOMPARE(wizard.exec(), int(QDialog::Accepted));
        QCOMPARE(Options::getMode(), std::optional<bool>(true));
        QVERIFY(optionsFile().isEmpty());
    }
};

QTEST_MAIN(TestFirstStart)
#include "tst_first_start.moc"
