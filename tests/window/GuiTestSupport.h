#pragma once

#include <QFile>

// Shared set-up of the main-window tests: a fresh working directory with
// fresh settings, the reference service on loopback with the program pointed
// at it, and a driver that answers the modal boxes the window opens.

#include "catalogue/Options.h"
#include "service/ReferenceService.h"
#include "tests/ClosedPort.h"
#include "window/Gui.h"
#include "window/PlaybackControl.h"
#include "window/RecordTable.h"
#include "window/StreamTabs.h"
#include "window/TabFolder.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <deque>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The tests' view of the window's state: one accessor per field that the
// window keeps to itself, returning the field itself, so that a test reads
// and sets it as the window's own code does.
struct GuiProbe
{
    Gui *gui;

#define QV_GUI_FIELD(name) \
    auto &name() const     \
    {                      \
        return gui->name;  \
    }
    QV_GUI_FIELD(manager)
    QV_GUI_FIELD(pPVView)
    QV_GUI_FIELD(icecastView)
    QV_GUI_FIELD(newView)
    QV_GUI_FIELD(tvView)
    QV_GUI_FIELD(radioView)
    QV_GUI_FIELD(eroticView)
    QV_GUI_FIELD(movieView)
    QV_GUI_FIELD(allView)
    QV_GUI_FIELD(currentView)
    QV_GUI_FIELD(cTabFavLoc)
    QV_GUI_FIELD(cBottomTab)
    QV_GUI_FIELD(searchFolder)
    QV_GUI_FIELD(playerFolder)
    QV_GUI_FIELD(favoritesTab)
    QV_GUI_FIELD(favoritesTable)
    QV_GUI_FIELD(favoritesTableViewer)
    QV_GUI_FIELD(ppvTab)
    QV_GUI_FIELD(ppvTable)
    QV_GUI_FIELD(ppvTableViewer)
    QV_GUI_FIELD(currentTable)
    QV_GUI_FIELD(currentTableViewer)
    QV_GUI_FIELD(searchText)
    QV_GUI_FIELD(selectedfont)
    QV_GUI_FIELD(notSelectedfont)
    QV_GUI_FIELD(tulIcon32)
    QV_GUI_FIELD(tulIcon24)
    QV_GUI_FIELD(tulIcon16)
    QV_GUI_FIELD(composit)
    QV_GUI_FIELD(composite)
    QV_GUI_FIELD(compositeTop)
    QV_GUI_FIELD(compositeBottom)
    QV_GUI_FIELD(verticalSplit)
    QV_GUI_FIELD(horizontalSplit)
    QV_GUI_FIELD(fullscreenButton)
    QV_GUI_FIELD(stopButton)
    QV_GUI_FIELD(statusBar)
    QV_GUI_FIELD(statusLine)
    QV_GUI_FIELD(statusLine2)
    QV_GUI_FIELD(progressBar)
    QV_GUI_FIELD(trayItem)
    QV_GUI_FIELD(enableStackTrace)
    QV_GUI_FIELD(fakeProgressRunning)
    QV_GUI_FIELD(actionFavoritesPlay1Menu)
    QV_GUI_FIELD(actionEnglish)
    QV_GUI_FIELD(actionNorwegian)
    QV_GUI_FIELD(actionFavoritesPlay2Menu)
    QV_GUI_FIELD(actionFavoritesPlay3Menu)
    QV_GUI_FIELD(actionFavoritesPlay4Menu)
    QV_GUI_FIELD(actionFavoritesPlay5Menu)
    QV_GUI_FIELD(actionFavoritesPlay6Menu)
    QV_GUI_FIELD(actionFavoritesPlay7Menu)
    QV_GUI_FIELD(actionFavoritesPlay8Menu)
    QV_GUI_FIELD(actionFavoritesPlay9Menu)
    QV_GUI_FIELD(actionParentFilterMenu)
    QV_GUI_FIELD(actionParentFilter)
    QV_GUI_FIELD(actionAutomaticUpdateToggle)
    QV_GUI_FIELD(actionUpdateDatabase)
    QV_GUI_FIELD(actionTipAFriend)
    QV_GUI_FIELD(actionOntopToggle)
    QV_GUI_FIELD(actionExit)
    QV_GUI_FIELD(actionTulHelp)
    QV_GUI_FIELD(actionTulHomepage)
    QV_GUI_FIELD(actionAbout)
    QV_GUI_FIELD(actionSearch)
    QV_GUI_FIELD(actionChangeUrl)
    QV_GUI_FIELD(actionMediaplayerInvoke)
    QV_GUI_FIELD(actionPlay)
    QV_GUI_FIELD(actionPlayMenu)
    QV_GUI_FIELD(actionStop)
    QV_GUI_FIELD(actionStopMenu)
    QV_GUI_FIELD(actionPause)
    QV_GUI_FIELD(actionPauseMenu)
    QV_GUI_FIELD(actionFullscreen)
    QV_GUI_FIELD(actionFullscreenMenu)
    QV_GUI_FIELD(actionRemoveFavorite)
    QV_GUI_FIELD(actionCurrentTableFavorite)
    QV_GUI_FIELD(actionPlayFromCurrentTable)
    QV_GUI_FIELD(actionReportBrokenLink)
    QV_GUI_FIELD(actionTipStream)
    QV_GUI_FIELD(favoritesPlayActions)
    QV_GUI_FIELD(ontopToggle)
    QV_GUI_FIELD(fileMenu)
    QV_GUI_FIELD(mediaMenu)
    QV_GUI_FIELD(favoritesMenu)
    QV_GUI_FIELD(helpMenu)
#undef QV_GUI_FIELD

    // A step of the running load's animation, as the load reports it.
    void progressStep(quint64 loadId, int step) const { gui->progressStep(loadId, step); }
};

inline GuiProbe probe(Gui *gui)
{
    return GuiProbe{gui};
}
inline GuiProbe probe(Gui &gui)
{
    return GuiProbe{&gui};
}
inline GuiProbe probe(const std::unique_ptr<Gui> &gui)
{
    return GuiProbe{gui.get()};
}

// A working directory of its own and settings as in a fresh process, with
// full mode stored (so no first-start choice) unless told otherwise.
class TestWorkspace
{
public:
    explicit TestWorkspace(bool fullMode = true) : m_previous(QDir::currentPath())
    {
        QDir::setCurrent(m_dir.path());
        Options::resetToDefaults();
        if (fullMode)
            Options::setMode(true);
    }
    ~TestWorkspace()
    {
        QDir::setCurrent(m_previous);
        Options::resetToDefaults();
    }
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }

private:
    QString m_previous;
    QTemporaryDir m_dir;
};

// An address on a closed port of 127.0.0.1, for a stream or server that is
// never reached; the port is chosen once per test program.
// The whole of a file, or nothing when it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QString unreachableUrl(const QString &path)
{
    static const int port = closedPort();
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path);
}

// Every server of the program is the reference service.
inline void pointProgramAt(const ReferenceService &service)
{
    const QByteArray host = service.hostPort().toUtf8();
    for (const char *name : {"QUORVANTEL_CATALOGUE_HOST", "QUORVANTEL_ORDER_HOST", "QUORVANTEL_FORUM_HOST",
                             "QUORVANTEL_MAKER_HOST", "QUORVANTEL_ICECAST_HOST"})
        qputenv(name, host);
}

inline std::unique_ptr<ReferenceService> startService()
{
    ReferenceService::Config config;
    config.logToStderr = false;
    auto service = std::make_unique<ReferenceService>(config);
    if (!service->start())
        return nullptr;
    service->setMotd(QString());
    pointProgramAt(*service);
    return service;
}

inline RefService::CatalogueEntry entry(int id, const QString &name, const QString &type, const QString &category,
                                        const QString &country, int bitrate, bool adult = false,
                                        const QString &url = unreachableUrl(QStringLiteral("/media/test.mp4")))
{
    RefService::CatalogueEntry e;
    e.id = id;
    e.name = name;
    e.type = type;
    e.category = category;
    e.country = country;
    e.language = QStringLiteral("English");
    e.bitrate = bitrate;
    e.adult = adult;
    e.url = url;
    return e;
}

// A small catalogue with every tabbed type; no message of the day. The
// streams play from url (one stream has no address).
inline QByteArray smallCatalogue(const QString &url = unreachableUrl(QStringLiteral("/media/test.mp4")))
{
    std::vector<RefService::CatalogueEntry> entries = {
        entry(11, QStringLiteral("Bravo News"), QStringLiteral("TV"), QStringLiteral("News"), QStringLiteral("Norway"), 300, false, url),
        entry(12, QStringLiteral("alpha Sport"), QStringLiteral("TV"), QStringLiteral("Sports"), QStringLiteral("Germany"), 0, false, url),
        entry(13, QStringLiteral("Charlie Kids"), QStringLiteral("TV"), QStringLiteral("Kids"), QStringLiteral("Austria"), 128, false, url),
        entry(14, QStringLiteral("Delta Silent"), QStringLiteral("TV"), QStringLiteral("Art"), QStringLiteral("Canada"), 700,
              false, QString()),
        entry(21, QStringLiteral("Radio One"), QStringLiteral("Radio"), QStringLiteral("Pop"), QStringLiteral("Sweden"), 128, false, url),
        entry(22, QStringLiteral("Radio Two"), QStringLiteral("Radio"), QStringLiteral("Jazz"), QStringLiteral("Denmark"), 64, false, url),
        entry(31, QStringLiteral("Movie Night"), QStringLiteral("Movie"), QStringLiteral("Drama"), QStringLiteral("France"), 900, false, url),
        entry(32, QStringLiteral("Film Club"), QStringLiteral("Movie"), QStringLiteral("Comedy"), QStringLiteral("Italy"), 800, false, url),
        entry(41, QStringLiteral("Late Show"), QStringLiteral("Erotic"), QStringLiteral("Adult"), QStringLiteral("Spain"), 500, true, url),
        entry(51, QStringLiteral("Clip Parade"), QStringLiteral("Videoclip"), QStringLiteral("Music"), QStringLiteral("USA"), 256, false, url),
    };
    RefService::CatalogueInfo info;
    info.withInfo = true;
    return RefService::catalogueDocument(entries, info);
}

// A pay-per-view movie of the service.
inline RefService::PpvMovie movie(int id, const QString &name, int length,
                                  const QString &category = QStringLiteral("Drama"))
{
    RefService::PpvMovie m;
    m.id = id;
    m.name = name;
    m.category = category;
    m.length = length;
    return m;
}

// An Icecast directory of one station that is never reached.
inline QByteArray oneStationDirectory()
{
    RefService::DirectoryEntry e;
    e.serverName = QStringLiteral("Ice Only");
    e.genre = QStringLiteral("Rock");
    e.bitrate = QStringLiteral("128");
    e.listenUrl = unreachableUrl(QStringLiteral("/ice"));
    return RefService::directoryDocument({e});
}

// Answers the modal widgets that open, in order, one step each; a modal
// widget with no step left is counted and closed.
class ModalAnswers : public QObject
{
public:
    using Step = std::function<void(QWidget *)>;

    ModalAnswers()
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }

    ModalAnswers &then(Step step)
    {
        m_steps.push_back(std::move(step));
        return *this;
    }
    // Presses the button of the next message box that has this role.
    ModalAnswers &pressBox(QMessageBox::StandardButton button)
    {
        return then([this, button](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box) {
                ++m_wrongKind;
                w->close();
                return;
            }
            if (QAbstractButton *b = box->button(button))
                b->click();
            else
                box->close();
        });
    }
    // Records the next modal widget and closes it.
    ModalAnswers &recordAndClose(QPointer<QWidget> *seen, QWidget **parent = nullptr, QString *title = nullptr,
                                 QString *text = nullptr)
    {
        return then([=](QWidget *w) {
            *seen = w;
            if (parent)
                *parent = w->parentWidget();
            if (title)
                *title = w->windowTitle();
            if (text) {
                if (auto *box = qobject_cast<QMessageBox *>(w))
                    *text = box->text();
            }
            w->close();
        });
    }

    int handled() const { return m_handled; }
    int unexpected() const { return m_unexpected; }
    int wrongKind() const { return m_wrongKind; }
    bool done() const { return m_steps.empty(); }

private:
    void poll()
    {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w == m_last)
            return;
        m_last = w;
        if (m_steps.empty()) {
            ++m_unexpected;
            w->close();
            return;
        }
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        ++m_handled;
        step(w);
    }

    QTimer m_timer;
    std::deque<Step> m_steps;
    QPointer<QWidget> m_last;
    int m_handled = 0;
    int m_unexpected = 0;
    int m_wrongKind = 0;
};

// Waits until the tasks already posted to the UI thread have run, and the
// tasks those post in turn, up to depth rounds: a marker posted behind them
// posts itself again depth times, and the wait ends when its last round ran.
// Events that other threads have yet to post are not waited for.
inline bool waitForPostedTasks(int depth = 4, int timeoutMs = 15000)
{
    auto left = std::make_shared<int>(depth);
    auto round = std::make_shared<std::function<void()>>();
    *round = [left, weak = std::weak_ptr<std::function<void()>>(round)] {
        if (--*left <= 0)
            return;
        if (auto next = weak.lock())
            QMetaObject::invokeMethod(qApp, *next, Qt::QueuedConnection);
    };
    QMetaObject::invokeMethod(qApp, *round, Qt::QueuedConnection);
    return QTest::qWaitFor([&] { return *left <= 0; }, timeoutMs);
}

// Waits until the window has ended count loads in all, then until the tasks
// the rebuild posted have run.
inline bool waitForLoads(QSignalSpy &spy, int count, int timeoutMs = 15000)
{
    if (!QTest::qWaitFor([&] { return spy.count() >= count; }, timeoutMs))
        return false;
    return waitForPostedTasks();
}

// The address of a media file that the service answers 20 seconds late, so
// that a player still waits for it while a test runs.
inline QString heldMedia(ReferenceService &service)
{
    const QString media = service.mediaUrl(QStringLiteral("held.mp4"));
    service.setDelay(QStringLiteral("/media/held.mp4"), 20000);
    return media;
}

// Opens gui, at 1000 x 700 (shown or not), and waits until it is on screen
// when shown and has ended its first load.
inline bool openAndWaitForLoad(Gui &gui, bool show = true)
{
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.resize(1000, 700);
    gui.open(show);
    if (show && !QTest::qWaitForWindowExposed(&gui))
        return false;
    return waitForLoads(loads, 1);
}

// Clicks the middle of the row's first cell.
inline void clickRow(RecordTableView *table, int row)
{
    const QRect rect = table->visualRect(table->model()->index(row, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

// The titles of the folder's tabs, in order.
inline QStringList folderTitles(TabFolder *folder)
{
    QStringList titles;
    for (int i = 0; i < folder->count(); ++i)
        titles << folder->tabText(i);
    return titles;
}

// The slots of the window's bottom folder that hold a tab.
inline QList<int> liveSlots(const Gui &gui)
{
    QList<int> tabSlots;
    for (int i = 0; i < StreamTabs::TAB_SLOTS; ++i) {
        if (gui.streamTabs()->bottomTab(i))
            tabSlots << i;
    }
    return tabSlots;
}

// The service started with pay-per-view movie 701 on offer and rented to
// every account for 600 s, so that the window shows it among the rentals;
// null when it did not start.
inline std::unique_ptr<ReferenceService> startServiceWithRental()
{
    auto service = startService();
    if (service) {
        service->setPpvMovies({movie(701, QStringLiteral("Rented Movie"), 5400)});
        service->clearRentals();
        service->setGlobalRental(701, 600);
    }
    return service;
}

// Sets up a window of a test's own, for a test that needs another catalogue
// or other service data than its file's fixture gives: a fresh workspace
// (with a password, so adult content is hidden, unless adultVisible), the
// service started with a directory of one station, one pay-per-view movie
// and no rentals unless the test has started it already, and the window on
// catalogue, shown at 1000 x 700. Whether the first load ended and
// succeeded.
inline bool startOwnWindow(std::unique_ptr<TestWorkspace> &workspace, std::unique_ptr<ReferenceService> &service,
                           std::unique_ptr<Gui> &gui, const QByteArray &catalogue, bool adultVisible = true)
{
    workspace = std::make_unique<TestWorkspace>();
    if (!adultVisible)
        Options::setPasswd(QStringLiteral("secret"));
    if (!service) {
        service = startService();
        if (!service)
            return false;
        service->setDirectory(oneStationDirectory());
        service->setPpvMovies({movie(701, QStringLiteral("Rented Movie"), 5400)});
        service->clearRentals();
    }
    service->setCatalogue(catalogue);
    gui = std::make_unique<Gui>();
    QSignalSpy loads(gui.get(), &Gui::loadFinished);
    gui->resize(1000, 700);
    gui->open(true);
    if (!QTest::qWaitForWindowExposed(gui.get()))
        return false;
    return waitForLoads(loads, 1) && loads.at(0).at(0).toBool();
}
