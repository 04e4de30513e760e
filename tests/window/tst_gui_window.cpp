// The main window as a user meets it: the accelerators pressed as keys,
// Escape, the end of the program (also from full screen and through Quit),
// the error display on the window, the tray icon's click, the first-start
// choice before the window shows, and the work area the window is kept in.
#include "tests/window/GuiTestSupport.h"

#include "catalogue/LangMsg.h"
#include "window/BottomList.h"
#include "window/Program.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"
#include "window/dialogs/TipAFriendDialog.h"
#include "window/dialogs/TulErrorDialog.h"
#include "window/dialogs/UserWizard.h"
#include "window/players/MediaPlayerStaticImage.h"
#include "window/players/MediaPlayerWMP.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace {

// A failure with a cause, as the service requests raise them.
TulException failureWithCause()
{
    try {
        throw std::runtime_error("connection refused by 127.0.0.1");
    } catch (const std::exception &cause) {
        return TulException(QStringLiteral("ERROR_SENDING"), cause);
    }
}

} // namespace

class TestGuiWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void accelerators_data();
    void accelerators();
    void escapeDoesNothing();
    void quitWritesSettings();
    void closeWhileFullScreenEndsProgram();
    void errorDisplay_data();
    void errorDisplay();
    void errorDisplayIgnoresTitleAndShell();
    void tellAFriendFailureShownOnWindow_data();
    void tellAFriendFailureShownOnWindow();
    void trayClick_data();
    void trayClick();
    void firstStartChoiceBeforeWindowShows();
    void workAreaOfClosestMonitor_data();
    void workAreaOfClosestMonitor();

private:
    // A window on the reference service's small catalogue, loaded.
    bool openLoaded(bool show = true);

    std::unique_ptr<TestWorkspace> m_workspace;
    std::unique_ptr<ReferenceService> m_service;
    std::unique_ptr<Gui> m_gui;
};

void TestGuiWindow::initTestCase()
{
    qputenv("QUORVANTEL_MPV_AO", "null");
}

void TestGuiWindow::cleanup()
{
    m_gui.reset();
    m_service.reset();
    m_workspace.reset();
}

bool TestGuiWindow::openLoaded(bool show)
{
    m_workspace = std::make_unique<TestWorkspace>();
    m_service = startService();
    if (!m_service)
        return false;
    // The media answer late, so no playback failure comes in between.
    const QString media = heldMedia(*m_service);
    m_service->setCatalogue(smallCatalogue(media));
    m_gui = std::make_unique<Gui>();
    return openAndWaitForLoad(*m_gui, show);
}

void TestGuiWindow::accelerators_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("F5 reloads the catalogue") << "F5";
    QTest::newRow("Enter plays the selected row") << "Enter";
    QTest::newRow("keypad Enter plays the selected row") << "KeypadEnter";
    QTest::newRow("Alt+Enter: full screen") << "Alt+Enter";
    QTest::newRow("Space pauses") << "Space";
    QTest::newRow("Ctrl+1 plays the first favourite") << "Ctrl+1";
    QTest::newRow("Ctrl+A twice: on top, then off") << "Ctrl+A";
    QTest::newRow("Del removes the selected favourite") << "Del";
}

// The keys as the user presses them, with the focus in a table of the window.
void TestGuiWindow::accelerators()
{
    QFETCH(QString, command);
    QVERIFY(openLoaded());
    Gui &gui = *m_gui;
    gui.activateWindow();
    BottomList *tv = gui.streamTabs()->bottomTab(1);
    QVERIFY(tv);
    probe(gui).cBottomTab()->setCurrentWidget(tv);
    clickRow(tv->getTable(), 0);
    tv->getTable()->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(&gui));
    const StreamInfoPtr first = tv->getTableViewer()->element(0);

    if (command == QLatin1String("F5")) {
        const quint64 before = gui.lastLoadId();
        QSignalSpy loads(&gui, &Gui::loadFinished);
        QTest::keyClick(tv->getTable(), Qt::Key_F5);
        QCOMPARE(gui.lastLoadId(), before + 1);
        QVERIFY(waitForLoads(loads, 1));
    } else if (command == QLatin1String("Enter")) {
        QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(gui.playback()->player()));
        QTest::keyClick(tv->getTable(), Qt::Key_Return);
        QVERIFY(dynamic_cast<MediaPlayerWMP *>(gui.playback()->player()));
        QCOMPARE(gui.playback()->currentStream().get(), first.get());
        // Disabled, the key does nothing.
        probe(gui).actionStop()->run();
        gui.playback()->setPlayEnabled(false);
        QTest::keyClick(tv->getTable(), Qt::Key_Return);
        QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(gui.playback()->player()));
    } else if (command == QLatin1String("KeypadEnter")) {
        QTest::keyClick(tv->getTable(), Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(dynamic_cast<MediaPlayerWMP *>(gui.playback()->player()));
        QCOMPARE(gui.playback()->currentStream().get(), first.get());
    } else if (command == QLatin1String("Alt+Enter")) {
        probe(gui).actionPlayMenu()->trigger();
        QVERIFY(probe(gui).actionFullscreenMenu()->isEnabled());
        for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(Qt::AltModifier),
                                                Qt::KeyboardModifiers(Qt::AltModifier | Qt::KeypadModifier)}) {
            QVERIFY(!gui.playback()->player()->isFullscreen());
            gui.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&gui));
            QTest::keyClick(tv->getTable(), modifiers & Qt::KeypadModifier ? Qt::Key_Enter : Qt::Key_Return,
                            modifiers);
            QVERIFY(gui.playback()->player()->isFullscreen());
            probe(gui).actionFullscreen()->run();
        }
    } else if (command == QLatin1String("Space")) {
        // Disabled before anything plays: nothing happens.
        QVERIFY(!probe(gui).actionPauseMenu()->isEnabled());
        const int idleRuns = probe(gui).actionPauseMenu()->runCount();
        QTest::keyClick(tv->getTable(), Qt::Key_Space);
        QCOMPARE(probe(gui).actionPauseMenu()->runCount(), idleRuns);
        probe(gui).actionPlayMenu()->trigger();
        QVERIFY(probe(gui).actionPauseMenu()->isEnabled());
        QTest::keyClick(tv->getTable(), Qt::Key_Space);
        QCOMPARE(probe(gui).actionPauseMenu()->runCount(), idleRuns + 1);
        QVERIFY(!probe(gui).actionPauseMenu()->isEnabled());
        QVERIFY(!probe(gui).actionPause()->isEnabled());
        // In the search field the blank is typed, not taken as Pause.
        probe(gui).actionPlayMenu()->trigger();
        probe(gui).searchText()->setFocus();
        QTest::keyClick(probe(gui).searchText(), Qt::Key_Space);
        QCOMPARE(probe(gui).searchText()->text(), QStringLiteral(" "));
        QVERIFY(probe(gui).actionPauseMenu()->isEnabled());
    } else if (command == QLatin1String("Ctrl+1")) {
        const StreamInfoPtr favorite = tv->getTableViewer()->element(1);
        gui.addFavoriteStream(favorite);
        tv->getTable()->setFocus();
        QTest::keyClick(tv->getTable(), Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(gui.playback()->currentStream().get(), favorite.get());
        QVERIFY(dynamic_cast<MediaPlayerWMP *>(gui.playback()->player()));
    } else if (command == QLatin1String("Ctrl+A")) {
        QTest::keyClick(tv->getTable(), Qt::Key_A, Qt::ControlModifier);
        QVERIFY(probe(gui).actionOntopToggle()->isChecked());
        QVERIFY(gui.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(QTest::qWaitForWindowExposed(&gui));
        gui.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&gui));
        QTest::keyClick(&gui, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(!probe(gui).actionOntopToggle()->isChecked());
        QVERIFY(!(gui.windowFlags() & Qt::WindowStaysOnTopHint));
    } else if (command == QLatin1String("Del")) {
        gui.addFavoriteStream(tv->getTableViewer()->element(1));
        gui.addFavoriteStream(tv->getTableViewer()->element(2));
        QVERIFY(probe(gui).favoritesTable());
        QCOMPARE(probe(gui).favoritesTableViewer()->rowCount(), 2);
        clickRow(probe(gui).favoritesTable(), 0);
        probe(gui).favoritesTable()->setFocus();
        QTest::keyClick(probe(gui).favoritesTable(), Qt::Key_Delete);
        QCOMPARE(probe(gui).favoritesTableViewer()->rowCount(), 1);
        QCOMPARE(probe(gui).favoritesTableViewer()->element(0).get(), tv->getTableViewer()->element(2).get());
    }
}

void TestGuiWindow::escapeDoesNothing()
{
    QVERIFY(openLoaded());
    ModalAnswers answers;
    for (QWidget *target : {static_cast<QWidget *>(m_gui.get()), static_cast<QWidget *>(m_gui->streamTabs()->bottomTab(1)->getTable()),
                            static_cast<QWidget *>(probe(m_gui).searchText())}) {
        QTest::keyClick(target, Qt::Key_Escape);
        QVERIFY(waitForPostedTasks());
        QVERIFY(m_gui->isVisible());
    }
    QCOMPARE(answers.unexpected(), 0);
}

void TestGuiWindow::quitWritesSettings()
{
    TestWorkspace workspace;
    Options::setUpdateEnabled(true);
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    ModalAnswers answers;
    answers.pressBox(QMessageBox::Ok);
    runMainWindow([&](Gui &gui) {
        QObject::connect(&gui, &Gui::loadFinished, &gui, [&gui] {
            probe(gui).actionAutomaticUpdateToggle()->trigger();
            probe(gui).actionExit()->trigger();
        });
    });
    QCOMPARE(answers.handled(), 1);
    QCOMPARE(answers.wrongKind(), 0);
    const QByteArray xml = readFile(workspace.file(QStringLiteral("options.xml")));
    QVERIFY2(xml.contains("<UpdateEnabled>false</UpdateEnabled>"), xml.constData());
}

// The player's full-screen window is a window of its own; closing the main
// window still ends the program (and writes the settings).
void TestGuiWindow::closeWhileFullScreenEndsProgram()
{
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    const QString media = heldMedia(*service);
    service->setCatalogue(smallCatalogue(media));
    Options::setUpdateEnabled(true);
    bool fullScreen = false;
    bool hung = false;
    QPointer<Gui> window;
    // Should the loop not end, end it (and fail) instead of hanging.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&hung] {
        hung = true;
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    });
    runMainWindow([&](Gui &gui) {
        window = &gui;
        QObject::connect(&gui, &Gui::loadFinished, &gui, [&] {
            BottomList *tv = window->streamTabs()->bottomTab(1);
            clickRow(tv->getTable(), 0);
            probe(window).actionPlayMenu()->trigger();
            probe(window).fullscreenButton()->click();
            fullScreen = window->playback()->player() && window->playback()->player()->isFullscreen();
            Options::setUpdateEnabled(false);
            watchdog.start(5000);
            // The title-bar close.
            window->close();
        });
    });
    watchdog.stop();
    QVERIFY(fullScreen);
    QVERIFY2(!hung, "the event loop went on after the main window closed");
    QVERIFY(readFile(workspace.file(QStringLiteral("options.xml"))).contains("<UpdateEnabled>false</UpdateEnabled>"));
}

void TestGuiWindow::errorDisplay_data()
{
    QTest::addColumn<bool>("enableStackTrace");
    QTest::newRow("switch on: the error dialog") << true;
    QTest::newRow("switch off: the plain error box") << false;
}

// The failure of an action shown by the window's convention.
void TestGuiWindow::errorDisplay()
{
    QFETCH(bool, enableStackTrace);
    QVERIFY(openLoaded());
    QVERIFY(probe(m_gui).enableStackTrace());
    probe(m_gui).enableStackTrace() = enableStackTrace;
    const TulException error = failureWithCause();
    QString kind, title, message, detail;
    QWidget *parent = nullptr;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool boldMessage = false;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        kind = QString::fromLatin1(w->metaObject()->className());
        title = w->windowTitle();
        parent = w->parentWidget();
        if (auto *dialog = qobject_cast<TulErrorDialog *>(w)) {
            message = dialog->getMessage();
            detail = dialog->getDetail();
            for (QLabel *label : dialog->findChildren<QLabel *>()) {
                if (label->text() == error.getMsg())
                    boldMessage = label->font().bold();
            }
        } else if (auto *box = qobject_cast<QMessageBox *>(w)) {
            message = box->text();
            icon = box->icon();
        }
        w->close();
    });
    m_gui->showTulError(error);
    QCOMPARE(answers.handled(), 1);
    QCOMPARE(parent, m_gui.get());
    QCOMPARE(title, QStringLiteral("Unknown error"));
    QCOMPARE(message, error.getMsg());
    if (enableStackTrace) {
        QCOMPARE(kind, QStringLiteral("TulErrorDialog"));
        QVERIFY(boldMessage);
        QCOMPARE(detail, error.getMessage());
    } else {
        QCOMPARE(kind, QStringLiteral("QMessageBox"));
        QCOMPARE(icon, QMessageBox::Critical);
    }
}

// The window's error dialog is always titled with the text of "Error" and
// always has the main window as its parent.
void TestGuiWindow::errorDisplayIgnoresTitleAndShell()
{
    QVERIFY(openLoaded());
    QWidget other;
    other.show();
    QString title;
    QWidget *parent = nullptr;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        title = w->windowTitle();
        parent = w->parentWidget();
        w->close();
    });
    m_gui->tulErrorDialog(QStringLiteral("Some other title"), QStringLiteral("Error, sending message failed"),
                          &other, QStringList{QStringLiteral("frame one")}, QStringLiteral("detail"));
    QCOMPARE(answers.handled(), 1);
    QCOMPARE(title, QStringLiteral("Unknown error"));
    QCOMPARE(parent, m_gui.get());
}

void TestGuiWindow::tellAFriendFailureShownOnWindow_data()
{
    QTest::addColumn<bool>("enableStackTrace");
    QTest::newRow("error dialog") << true;
    QTest::newRow("error box") << false;
}

void TestGuiWindow::tellAFriendFailureShownOnWindow()
{
    QFETCH(bool, enableStackTrace);
    QVERIFY(openLoaded());
    probe(m_gui).enableStackTrace() = enableStackTrace;
    m_service->setReply(QStringLiteral("/tul/prog/recruitperson.php"), "NOT OK");
    QString kind, message;
    QWidget *parent = nullptr;
    ModalAnswers answers;
    answers.then([](QWidget *w) {
        auto *form = qobject_cast<TipAFriendDialog *>(w);
        QVERIFY2(form, w->metaObject()->className());
        form->addressField()->setText(QStringLiteral("friend@example.org"));
        form->sendButton()->click();
    });
    answers.then([&](QWidget *w) {
        kind = QString::fromLatin1(w->metaObject()->className());
        parent = w->parentWidget();
        if (auto *dialog = qobject_cast<TulErrorDialog *>(w))
            message = dialog->getMessage();
        else if (auto *box = qobject_cast<QMessageBox *>(w))
            message = box->text();
        w->close();
    });
    probe(m_gui).actionTipAFriend()->run();
    QCOMPARE(answers.handled(), 2);
    QCOMPARE(answers.unexpected(), 0);
    QCOMPARE(m_service->requestCount(QStringLiteral("/tul/prog/recruitperson.php")), 1);
    QCOMPARE(kind, enableStackTrace ? QStringLiteral("TulErrorDialog") : QStringLiteral("QMessageBox"));
    QCOMPARE(parent, m_gui.get());
    QCOMPARE(message, LangMsg::getMsg(QStringLiteral("ERROR_SENDING")));
}

void TestGuiWindow::trayClick_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<bool>("restored");
    QTest::newRow("click brings the window back") << int(QSystemTrayIcon::Trigger) << true;
    QTest::newRow("double click alone does nothing") << int(QSystemTrayIcon::DoubleClick) << false;
    QTest::newRow("context request does nothing") << int(QSystemTrayIcon::Context) << false;
}

void TestGuiWindow::trayClick()
{
    QFETCH(int, reason);
    QFETCH(bool, restored);
    QVERIFY(openLoaded());
    m_gui->showMinimized();
    QTRY_VERIFY(m_gui->windowState() & Qt::WindowMinimized);
    m_gui->trayActivated(QSystemTrayIcon::ActivationReason(reason));
    QCOMPARE(!(m_gui->windowState() & Qt::WindowMinimized), restored);
    if (restored) {
        QVERIFY(m_gui->isVisible());
        QTRY_VERIFY(m_gui->isActiveWindow());
    }
}

// The mode choice shows before the main window does, and before the first
// load; closed without a choice, the wizard comes again at the next start.
void TestGuiWindow::firstStartChoiceBeforeWindowShows()
{
    TestWorkspace workspace(false);
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    bool windowShown = true;
    bool loadStarted = true;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        QVERIFY2(qobject_cast<UserWizard *>(w), w->metaObject()->className());
        windowShown = gui.isVisible();
        loadStarted = gui.isLoadRunning() || service->requestCount(QStringLiteral("/cacheversion.txt")) > 0;
        w->close();
    });
    gui.open(true);
    QCOMPARE(answers.handled(), 1);
    QVERIFY(!windowShown);
    QVERIFY(!loadStarted);
    QVERIFY(gui.isVisible());
    QVERIFY(!Options::getMode().has_value());
    QVERIFY(Options::getUserWizardEnabled());
    QVERIFY(waitForLoads(loads, 1));
}

void TestGuiWindow::workAreaOfClosestMonitor_data()
{
    QTest::addColumn<QRect>("bounds");
    QTest::addColumn<QList<QRect>>("workAreas");
    QTest::addColumn<QRect>("result");
    const QList<QRect> one{QRect(0, 0, 1024, 738)};
    QTest::newRow("one monitor: shrunk to its height") << QRect(0, 0, 460, 744) << one << QRect(0, 0, 460, 738);
    // The primary on the right: the window, placed from the origin, lies on
    // the left monitor and stays there.
    const QList<QRect> primaryRight{QRect(0, 0, 1280, 994), QRect(1280, 0, 1920, 1050)};
    QTest::newRow("primary on the right: kept on the left monitor")
        << QRect(448, 156, 1024, 768) << primaryRight << QRect(256, 156, 1024, 768);
    QTest::newRow("primary on the left") << QRect(448, 156, 1024, 768)
                                         << QList<QRect>{QRect(0, 0, 1920, 1050), QRect(1920, 0, 1280, 994)}
                                         << QRect(448, 156, 1024, 768);
    // Centre on no monitor: the monitor whose work area's centre is nearest.
    const QList<QRect> apart{QRect(0, 0, 800, 600), QRect(2000, 0, 800, 600)};
    QTest::newRow("centre between monitors: the nearer one")
        << QRect(1400, 100, 460, 400) << apart << QRect(2000, 100, 460, 400);
    QTest::newRow("off the top left: the first monitor") << QRect(-112, -84, 460, 744) << one
                                                         << QRect(0, 0, 460, 738);
    QTest::newRow("no monitor known: unchanged") << QRect(10, 10, 460, 744) << QList<QRect>{}
                                                 << QRect(10, 10, 460, 744);
}

void TestGuiWindow::workAreaOfClosestMonitor()
{
    QFETCH(QRect, bounds);
    QFETCH(QList<QRect>, workAreas);
    QFETCH(QRect, result);
    QCOMPARE(Gui::constrainToClosestWorkArea(bounds, workAreas), result);
}

QTEST_MAIN(TestGuiWindow)
#include "tst_gui_window.moc"
