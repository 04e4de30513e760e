#pragma once

#include "catalogue/StreamInfo.h"
#include "catalogue/TulException.h"
#include "window/GuiAction.h"
#include "window/TableHost.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QSystemTrayIcon>
#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

class DatabaseLoadThread;
class IcecastView;
class PPVView;
class PlaybackControl;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QProgressBar;
class QSplitter;
class QTableView;
class QToolButton;
class QWidget;
class RecordTableModel;
class RecordTableView;
class StreamTabs;
class StreamsManager;
class StreamsView;
class TabFolder;
namespace ProgramUpdate {
class ProgramUpdateThread;
}

// The main window: the favourites folder and the search field on the left,
// the player on the right, the stream tab folder below and the status bar at
// the bottom, with the menu bar of the window's actions and an icon in the
// system tray. It owns the catalogue objects for its whole life, loads the
// catalogue in the background and rebuilds its tables after every load.
//
// Everything here runs on the UI thread. The catalogue load and its progress
// animation run on worker threads (DatabaseLoadThread) that reach the window
// only through queued signals; the window joins them before it goes.
class Gui : public QMainWindow, public TableHost
{
    Q_OBJECT
public:
    // Builds the window object: actions and menu bar. The widgets come with
    // open().
    explicit Gui(QWidget *parent = nullptr);
    ~Gui() override;

    // Creates the contents (which runs the first-start mode choice when no
    // mode is stored and starts the catalogue load), sets the bounds and
    // shows the window.
    void open(bool show = true);
    // Ends the background jobs: stops a running catalogue load (its
    // downloads end at once) and waits for it, stops a program update
    // download, and releases the player. Once it has returned no job
    // changes the settings or writes a file. True when a load was still
    // running. Safe to call more than once.
    bool shutdown();

    // --- Looks ----------------------------------------------------------------
    // A grey derived from color: each channel plus 15 per step, capped at
    // 255, then the integer mean of the three.
    static QColor getLighterColor(const QColor &color, int steps);
    // A picture of the resources whose bottom-left pixel's colour becomes
    // transparent wherever it occurs.
    static QPixmap loadIcon(const QString &resource);
    static QImage keyTransparent(const QImage &image);

    // The window's bounds before it opens: one monitor: the display's size
    // W x H gives (W/2 - 512, H/2 - 384, 460, 744); more monitors: the
    // primary monitor's size gives (W/2 - 512, H/2 - 384, 1024, 768).
    static QRect initialBounds(const QRect &displayBounds, const QRect &primaryBounds, int monitorCount);
    // The bounds moved and shrunk to lie within a monitor's work area.
    static QRect constrainToWorkArea(const QRect &bounds, const QRect &workArea);
    // The same within the work area of the window's own monitor: the one
    // whose work area holds the centre of bounds, else the one whose work
    // area's centre is nearest to it. No work area: bounds unchanged.
    static QRect constrainToClosestWorkArea(const QRect &bounds, const QList<QRect> &workAreas);

    // --- Actions and menus ----------------------------------------------------
    // A context menu for table: entry i runs actions[i].
    QMenu *menu(QTableView *table, const QStringList &texts, const QList<GuiAction *> &actions);

    // The tray icon's activation: a click brings the window back from its
    // minimised state and activates it; nothing else does anything.
    void trayActivated(QSystemTrayIcon::ActivationReason reason);

    // --- Error display --------------------------------------------------------
    // The plain error box on shell.
    static void tulErrorDialog(const QString &title, const QString &message, QWidget *shell);
    // The error dialog on the main window.
    void tulErrorDialog(const QString &title, const QString &message, QWidget *shell, const QStringList &trace,
                        const QString &detail);
    // How the window's actions show a failure: the error dialog while
    // enableStackTrace is on, else the plain error box.
    void showTulError(const TulException &error);

    // --- Background jobs ------------------------------------------------------
    // Starts a load unless one runs (the reload action).
    void updateDatabase();
    // Starts a load now, or right after the running one when one runs: a
    // request made during a load is never dropped.
    void reloadCatalogue();
    bool isLoadRunning() const { return fakeProgressRunning.load(); }
    // The identifier of the load started last (0 before the first).
    quint64 lastLoadId() const { return m_nextLoadId - 1; }
    bool isReloadPending() const { return m_reloadPending; }

    // --- Stream tabs, search, favourites ---------------------------------------
    // Adds a stream to the favourites and shows the new list.
    void addFavoriteStream(const StreamInfoPtr &stream);
    // The adult content tab, the pay-per-view tab and the rentals tab go.
    void removeAdultTabs();
    // The table a row of which was just touched becomes the current one
    // (never a table of a page that has gone, see retireTab).
    void tableTouched(RecordTableView *table) override;

    // Drag and drop of streams onto the favourites: the program's own drags
    // only, recognised by a MIME type and a token of this window.
    static const char *const STREAM_MIME_TYPE;
    QMimeData *streamDragData(const StreamInfoPtr &stream) override;
    bool isStreamDrag(const QMimeData *data) const override;
    void dropStream(const QMimeData *data) override;
    void streamDragFinished() override;

    // The rest of what the tables ask of the window (TableHost).
    // A double-click plays the selected row (the play action).
    void tableDoubleClicked(RecordTableView *table) override;
    // A stream tab became the current one: its rows and view become the
    // window's current ones, the favourites folder shows the matching page,
    // play is enabled, the search field only outside pay-per-view, and the
    // search runs.
    void tabSelected(RecordTableModel *rows, StreamsView *view, bool payPerView) override;
    // The context menu runs the window's actions (Gui::menu).
    void attachTableMenu(RecordTableView *table, const QStringList &texts,
                         const QList<TableCommand> &commands) override;

    // --- Playback and stream tabs ----------------------------------------------
    // The playback control: the player, the stream taken last and the
    // playback actions' states.
    PlaybackControl *playback() const { return m_playback.get(); }
    // The stream tab folder's tabs.
    StreamTabs *streamTabs() const { return m_streamTabs.get(); }

    // --- Program update (the update code's place: GuiUpdate.cpp) ---------------
    // A new, unstarted download of the update at url, a child of the window,
    // showing its progress on the status line.
    ProgramUpdate::ProgramUpdateThread *getProgramUpdate(const QString &url);

signals:
    // A catalogue load has ended and the window has shown its outcome (after
    // the rebuild, or after the failure display was closed).
    void loadFinished(bool succeeded);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void tableCallStarted() override;
    void tableCallEnded() override;

private:
    // The window's parts, which share its state.
    friend class PlaybackControl;
    friend class StreamTabs;
    // The tests' view of the window's state.
    friend struct GuiProbe;

    // --- State the window's parts share ----------------------------------------
    // Catalogue objects, for the life of the window (shared with the load).
    std::shared_ptr<StreamsManager> manager;
    std::shared_ptr<PPVView> pPVView;
    std::shared_ptr<IcecastView> icecastView;
    std::shared_ptr<StreamsView> newView, tvView, radioView, eroticView, movieView, allView;
    StreamsView *currentView = nullptr;

    // Tables and tabs.
    TabFolder *cTabFavLoc = nullptr;
    TabFolder *cBottomTab = nullptr;
    TabFolder *searchFolder = nullptr;
    TabFolder *playerFolder = nullptr;
    QPointer<QWidget> favoritesTab;
    QPointer<RecordTableView> favoritesTable;
    QPointer<RecordTableModel> favoritesTableViewer;
    QPointer<QWidget> ppvTab;
    QPointer<RecordTableView> ppvTable;
    QPointer<RecordTableModel> ppvTableViewer;
    QPointer<RecordTableView> currentTable;
    QPointer<RecordTableModel> currentTableViewer;
    QLineEdit *searchText = nullptr;

    // Looks.
    QFont selectedfont;
    QFont notSelectedfont;
    QPixmap tulIcon32, tulIcon24, tulIcon16;

    // Layout and status bar.
    QWidget *composit = nullptr;
    QWidget *composite = nullptr;
    QWidget *compositeTop = nullptr;
    QWidget *compositeBottom = nullptr;
    QSplitter *verticalSplit = nullptr;
    QSplitter *horizontalSplit = nullptr;
    QToolButton *fullscreenButton = nullptr;
    QToolButton *stopButton = nullptr;
    QWidget *statusBar = nullptr;
    QLabel *statusLine = nullptr;
    QLabel *statusLine2 = nullptr;
    QPointer<QProgressBar> progressBar;
    QSystemTrayIcon *trayItem = nullptr;

    // Switches.
    bool enableStackTrace = true;
    std::atomic<bool> fakeProgressRunning{false};

    // Actions, in the order createActions makes them.
    GuiAction *actionFavoritesPlay1Menu = nullptr;
    GuiAction *actionEnglish = nullptr;
    GuiAction *actionNorwegian = nullptr;
    GuiAction *actionFavoritesPlay2Menu = nullptr;
    GuiAction *actionFavoritesPlay3Menu = nullptr;
    GuiAction *actionFavoritesPlay4Menu = nullptr;
    GuiAction *actionFavoritesPlay5Menu = nullptr;
    GuiAction *actionFavoritesPlay6Menu = nullptr;
    GuiAction *actionFavoritesPlay7Menu = nullptr;
    GuiAction *actionFavoritesPlay8Menu = nullptr;
    GuiAction *actionFavoritesPlay9Menu = nullptr;
    GuiAction *actionParentFilterMenu = nullptr;
    GuiAction *actionParentFilter = nullptr;
    GuiAction *actionAutomaticUpdateToggle = nullptr;
    GuiAction *actionUpdateDatabase = nullptr;
    GuiAction *actionTipAFriend = nullptr;
    GuiAction *actionOntopToggle = nullptr;
    GuiAction *actionExit = nullptr;
    GuiAction *actionTulHelp = nullptr;
    GuiAction *actionTulHomepage = nullptr;
    GuiAction *actionAbout = nullptr;
    GuiAction *actionSearch = nullptr;
    GuiAction *actionChangeUrl = nullptr;
    GuiAction *actionMediaplayerInvoke = nullptr;
    GuiAction *actionPlay = nullptr;
    GuiAction *actionPlayMenu = nullptr;
    GuiAction *actionStop = nullptr;
    GuiAction *actionStopMenu = nullptr;
    GuiAction *actionPause = nullptr;
    GuiAction *actionPauseMenu = nullptr;
    GuiAction *actionFullscreen = nullptr;
    GuiAction *actionFullscreenMenu = nullptr;
    GuiAction *actionRemoveFavorite = nullptr;
    GuiAction *actionCurrentTableFavorite = nullptr;
    GuiAction *actionPlayFromCurrentTable = nullptr;
    GuiAction *actionReportBrokenLink = nullptr;
    GuiAction *actionTipStream = nullptr;
    // The favourites' play actions by number (1 to 9 at index 0 to 8).
    std::array<GuiAction *, 9> favoritesPlayActions{};
    // The on-top action's own state: the next run puts the window on top.
    bool ontopToggle = true;

    // The menus of the menu bar.
    QMenu *fileMenu = nullptr;
    QMenu *mediaMenu = nullptr;
    QMenu *favoritesMenu = nullptr;
    QMenu *helpMenu = nullptr;

    // Used by the window and its parts only.
    // The catalogue load: a new, unstarted load whose reports reach the
    // slots below on the UI thread.
    std::unique_ptr<DatabaseLoadThread> getDatabase();
    // What the catalogue load's reports run on the UI thread. None does
    // anything once the window has been shut down.
    void progressStarted();
    // A step of the load's animation; ignored once that load's outcome is
    // shown.
    void progressStep(quint64 loadId, int step);
    void progressStopped();
    void rebuildAfterLoad(bool gotStreamsFinal, const std::vector<StreamInfoPtr> &icecastRows,
                          const std::vector<StreamInfoPtr> &ppvRows);
    void showLoadFailure(const TulException &error);
    void loadEnded(bool succeeded);

    // A tab page of the stream or favourites folder goes: the window lets go
    // of every table and model in it at once. A call that a table started
    // (TableHost::TableCall) may run a nested event loop in which a rebuild
    // replaces the tables, so the page is deleted at once only when no table
    // call runs; else it leaves its folder, hidden with its menus closed,
    // and is deleted once the last table call has returned.
    void retireTab(QWidget *page);

    void createActions();
    void createMenuManager();
    // Shows menu at the table's pointer position when the table asks for a
    // context menu.
    static void attachContextMenu(QTableView *table, QMenu *menu);
    void runSearch();
    // The favourites folder's tabs, made anew (and the rentals tab when
    // withPpv is set and adult content is shown).
    void createFavoritesTable(TabFolder *folder, bool withPpv);
    void playFavorite(int number);
    StreamInfoPtr draggedStream(const QMimeData *data) const;
    // Run first by every rebuild after a load.
    void offerUpdate();

    void createContents();
    void buildLayout();
    void buildStatusBar();
    void buildTray();
    void applyParentalRule();
    void startDatabaseLoad();

    // Small actions.
    void runAutomaticUpdateToggle();
    void runOntopToggle();
    void runExit();
    void runTulHelp();
    void runAbout();
    void runReportBrokenLink();
    void runLanguage(GuiAction *action, const QString &code);
    void runParentFilter();
    void runTipAFriend();
    void runTipStream();
    void runRemoveFavorite();
    void runCurrentTableFavorite();

    // Search field listener.
    void searchFocused();

    std::unique_ptr<PlaybackControl> m_playback;
    std::unique_ptr<StreamTabs> m_streamTabs;
    std::unique_ptr<DatabaseLoadThread> m_loadThread;
    // Releases a replaced catalogue's records off the UI thread.
    std::jthread m_releaseThread;
    quint64 m_nextLoadId = 1;
    // The load whose animation may write the status text; 0 once the load's
    // outcome is shown.
    std::atomic<quint64> m_animatingLoad{0};
    bool m_reloadPending = false;
    bool m_contentsCreated = false;
    bool m_shutdown = false;

    // The stream being dragged, known by its token.
    QByteArray m_dragToken;
    std::weak_ptr<StreamInfo> m_dragStream;
    quint64 m_dragSerial = 0;
    // Table calls running now, and the pages that went while one ran.
    int m_tableCalls = 0;
    QList<QPointer<QWidget>> m_retiredTabs;
};
