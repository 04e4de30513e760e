// The main window's menu bar and small actions: texts, order, separators,
// accelerators, check and enabled states; always on top, automatic update,
// exit confirmation, language, help pages and the context-menu builder.
#include "tests/window/GuiTestSupport.h"

#include "catalogue/LangMsg.h"

#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QTableView>
#include <QUrl>

namespace {

// One line per menu entry: "text|shortcut|c" (c: check box, C: checked),
// "-" for a separator, "> text" for a submenu.
QStringList describe(const QMenu *menu)
{
    QStringList lines;
    for (QAction *a : menu->actions()) {
        if (a->isSeparator()) {
            lines << QStringLiteral("-");
        } else if (a->menu()) {
            lines << QStringLiteral("> ") + a->text();
        } else {
            QString line = a->text() + QLatin1Char('|') + a->shortcut().toString(QKeySequence::PortableText);
            if (a->isCheckable())
                line += a->isChecked() ? QStringLiteral("|C") : QStringLiteral("|c");
            lines << line;
        }
    }
    return lines;
}

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

} // namespace

class TestGuiMenus : public QObject
{
    Q_OBJECT

private slots:
    void menuBar_data();
    void menuBar();
    void menuTitles();
    void actionsWithoutMenu();
    void startStates();
    void onTopToggle();
    void programmaticRunKeepsCheckMark();
    void automaticUpdateToggle();
    void exitConfirmation_data();
    void exitConfirmation();
    void language();
    void helpPages();
    void contextMenuBuilder();
    void disabledAcceleratorDoesNothing();
};

void TestGuiMenus::menuBar_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("File") << "fileMenu"
                          << QStringList{"Update database|F5", "-", "On top|Ctrl+A|c", "Parental filter...|", "-",
                                         "Quit...|Alt+F4"};
    QTest::newRow("Media") << "mediaMenu"
                           << QStringList{"Play|Return", "Pause|Space", "Stop|", "-", "Fullscreen|Alt+Return",
                                          "> Favorites"};
    QStringList favorites;
    for (int n = 1; n <= 9; ++n)
        favorites << QStringLiteral("Play favorite item %1|Ctrl+%1").arg(n);
    favorites << "Delete from favorites|Del";
    QTest::newRow("Favorites") << "favoritesMenu" << favorites;
    QTest::newRow("Help") << "helpMenu"
                          << QStringList{"Quorvantel help|", "Quorvantel homepage|", "-", "Automatic update||C", "-",
                                         "About...|"};
}

void TestGuiMenus::menuBar()
{
    QFETCH(QString, menu);
    QFETCH(QStringList, entries);
    TestWorkspace workspace;
    Options::setUpdateEnabled(true);
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.open(false);
    QVERIFY(waitForLoads(loads, 1));
    auto *m = gui.findChild<QMenu *>(menu);
    QVERIFY(m);
    QCOMPARE(describe(m), entries);
}

void TestGuiMenus::menuTitles()
{
    TestWorkspace workspace;
    Gui gui;
    QStringList titles;
    for (QAction *a : gui.menuBar()->actions())
        titles << a->text();
    QCOMPARE(titles, (QStringList{"&File", "&Media", "&Help"}));
}

void TestGuiMenus::actionsWithoutMenu()
{
    TestWorkspace workspace;
    Gui gui;
    // Created with their texts, placed in no menu.
    QCOMPARE(probe(gui).actionEnglish()->text(), QStringLiteral("English"));
    QCOMPARE(probe(gui).actionNorwegian()->text(), QStringLiteral("Norwegian"));
    QCOMPARE(probe(gui).actionParentFilter()->text(), QStringLiteral("Parental filter..."));
    QVERIFY(!probe(gui).actionParentFilter()->icon().isNull());
    QCOMPARE(probe(gui).actionTipAFriend()->text(), QStringLiteral("Tell a friend..."));
    QCOMPARE(probe(gui).actionTipStream()->text(), QStringLiteral("Hint us about a stream..."));
    for (QAction *a : {static_cast<QAction *>(probe(gui).actionEnglish()), static_cast<QAction *>(probe(gui).actionNorwegian()),
                       static_cast<QAction *>(probe(gui).actionParentFilter()), static_cast<QAction *>(probe(gui).actionTipAFriend()),
                       static_cast<QAction *>(probe(gui).actionTipStream()), static_cast<QAction *>(probe(gui).actionChangeUrl())}) {
        for (QMenu *m : gui.findChildren<QMenu *>())
            QVERIFY2(!m->actions().contains(a), qPrintable(a->objectName()));
    }
    // The tool-bar twins carry pictures, no text.
    QVERIFY(probe(gui).actionPlay()->text().isEmpty());
    QVERIFY(!probe(gui).actionPlay()->icon().isNull());
    QCOMPARE(probe(gui).actionFullscreen()->toolTip(), QStringLiteral("Fullscreen"));
}

void TestGuiMenus::startStates()
{
    TestWorkspace workspace;
    Options::setUpdateEnabled(false);
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    Gui gui;
    // Before the window is built nothing is disabled yet; once built and
    // until a table is touched: Play on, Pause, Stop, Full screen off.
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.open(false);
    QVERIFY(probe(gui).actionPlay()->isEnabled());
    QVERIFY(probe(gui).actionPlayMenu()->isEnabled());
    for (GuiAction *a : {probe(gui).actionPause(), probe(gui).actionPauseMenu(), probe(gui).actionStop(), probe(gui).actionStopMenu(),
                         probe(gui).actionFullscreen(), probe(gui).actionFullscreenMenu()})
        QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
    QVERIFY(!probe(gui).actionAutomaticUpdateToggle()->isChecked());
    QVERIFY(!probe(gui).actionOntopToggle()->isChecked());
    QCOMPARE(gui.windowTitle(), QStringLiteral("Quorvantel 10.0.0"));
    QVERIFY(waitForLoads(loads, 1));
}

void TestGuiMenus::onTopToggle()
{
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.open(true);
    QVERIFY(waitForLoads(loads, 1));
    // Built with two runs: not on top, check clear.
    QVERIFY(!(gui.windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(!probe(gui).actionOntopToggle()->isChecked());
    QVERIFY(probe(gui).ontopToggle());

    // The user's choice (menu entry or Ctrl+A) flips the check, then runs.
    probe(gui).actionOntopToggle()->trigger();
    QVERIFY(probe(gui).actionOntopToggle()->isChecked());
    QVERIFY(gui.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(gui.isVisible());
    probe(gui).actionOntopToggle()->trigger();
    QVERIFY(!probe(gui).actionOntopToggle()->isChecked());
    QVERIFY(!(gui.windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(gui.isVisible());
}

void TestGuiMenus::programmaticRunKeepsCheckMark()
{
    TestWorkspace workspace;
    Gui gui;
    Options::setUpdateEnabled(true);
    probe(gui).actionAutomaticUpdateToggle()->setChecked(true);
    probe(gui).actionAutomaticUpdateToggle()->run();
    QVERIFY(probe(gui).actionAutomaticUpdateToggle()->isChecked());
    QVERIFY(!Options::getUpdateEnabled());
    const bool before = probe(gui).actionOntopToggle()->isChecked();
    probe(gui).actionOntopToggle()->run();
    QCOMPARE(probe(gui).actionOntopToggle()->isChecked(), before);
}

void TestGuiMenus::automaticUpdateToggle()
{
    TestWorkspace workspace;
    Options::setUpdateEnabled(true);
    Gui gui;
    probe(gui).actionAutomaticUpdateToggle()->setChecked(true);
    probe(gui).actionAutomaticUpdateToggle()->trigger();
    QVERIFY(!Options::getUpdateEnabled());
    QVERIFY(!probe(gui).actionAutomaticUpdateToggle()->isChecked());
    probe(gui).actionAutomaticUpdateToggle()->trigger();
    QVERIFY(Options::getUpdateEnabled());
    QVERIFY(probe(gui).actionAutomaticUpdateToggle()->isChecked());
}

void TestGuiMenus::exitConfirmation_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closed");
    QTest::newRow("OK closes") << int(QMessageBox::Ok) << true;
    QTest::newRow("Cancel keeps running") << int(QMessageBox::Cancel) << false;
}

void TestGuiMenus::exitConfirmation()
{
    QFETCH(int, answer);
    QFETCH(bool, closed);
    TestWorkspace workspace;
    Gui gui;
    gui.show();
    QVERIFY(QTest::qWaitForWindowExposed(&gui));
    QString title, text;
    QWidget *parent = nullptr;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        parent = box->parentWidget();
        icon = box->icon();
        box->button(QMessageBox::StandardButton(answer))->click();
    });
    // Alt+F4 is the exit action's accelerator.
    QTest::keyClick(&gui, Qt::Key_F4, Qt::AltModifier);
    QTRY_COMPARE(answers.handled(), 1);
    QCOMPARE(title, QStringLiteral("Sure?"));
    QCOMPARE(text, QStringLiteral("Are you sure you want to quit?"));
    QCOMPARE(parent, &gui);
    QCOMPARE(icon, QMessageBox::Question);
    QTRY_COMPARE(gui.isVisible(), !closed);
}

void TestGuiMenus::language()
{
    TestWorkspace workspace;
    Gui gui;
    QPointer<QWidget> seen;
    QWidget *parent = nullptr;
    QString title, text;
    ModalAnswers answers;
    answers.recordAndClose(&seen, &parent, &title, &text);
    probe(gui).actionNorwegian()->run();
    QCOMPARE(answers.handled(), 1);
    QCOMPARE(parent, &gui);
    QVERIFY(title.isEmpty());
    QCOMPARE(text, QStringLiteral("The change will occur next time the program is started"));
    QCOMPARE(Options::getLanguage(), QStringLiteral("no"));
    QVERIFY(!probe(gui).actionNorwegian()->isEnabled());
    QVERIFY(probe(gui).actionEnglish()->isEnabled());
}

void TestGuiMenus::helpPages()
{
    TestWorkspace workspace;
    qputenv("QUORVANTEL_FORUM_HOST", "127.0.0.1:8123");
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
    Gui gui;
    probe(gui).actionTulHelp()->trigger();
    probe(gui).actionTulHomepage()->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(catcher.urls.size(), 2);
    QCOMPARE(catcher.urls.at(0), QUrl(Options::getManualUrl()));
    QCOMPARE(catcher.urls.at(1), catcher.urls.at(0));
}

void TestGuiMenus::contextMenuBuilder()
{
    TestWorkspace workspace;
    Gui gui;
    QTableView table;
    int first = 0, second = 0;
    GuiAction one(QString(), nullptr, [&] { ++first; });
    GuiAction two(QString(), nullptr, [&] { ++second; });
    // A disabled action still runs from its entry.
    two.setEnabled(false);
    QMenu *menu = gui.menu(&table, {"Play", "Remove from favorites"}, {&one, &two});
    QCOMPARE(menu->actions().size(), 2);
    QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("Play"));
    QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("Remove from favorites"));
    menu->actions().at(0)->trigger();
    QCOMPARE(first, 1);
    QCOMPARE(second, 0);
    menu->actions().at(1)->trigger();
    QCOMPARE(first, 1);
    QCOMPARE(second, 1);
}

void TestGuiMenus::disabledAcceleratorDoesNothing()
{
    TestWorkspace workspace;
    Gui gui;
    gui.show();
    QVERIFY(QTest::qWaitForWindowExposed(&gui));
    probe(gui).actionRemoveFavorite()->setEnabled(false);
    const int before = probe(gui).actionRemoveFavorite()->runCount();
    QTest::keyClick(&gui, Qt::Key_Delete);
    QCOMPARE(probe(gui).actionRemoveFavorite()->runCount(), before);
    probe(gui).actionRemoveFavorite()->setEnabled(true);
    QTest::keyClick(&gui, Qt::Key_Delete);
    QCOMPARE(probe(gui).actionRemoveFavorite()->runCount(), before + 1);
}

QTEST_MAIN(TestGuiMenus)
#include "tst_gui_menus.moc"
