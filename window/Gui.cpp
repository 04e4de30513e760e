// The main window: construction, contents, looks, placement, tray icon and
// the end of the window's life.
#include "window/Gui.h"

#include "catalogue/IcecastView.h"
#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "catalogue/PPVView.h"
#include "catalogue/StreamsManager.h"
#include "catalogue/StreamsView.h"
#include "window/BottomList.h"
#include "window/CatalogueLoad.h"
#include "window/PlaybackControl.h"
#include "window/ProgramUpdate.h"
#include "window/RecordTable.h"
#include "window/StreamTabs.h"
#include "window/TabFolder.h"
#include "window/dialogs/ErrorDisplay.h"
#include "window/dialogs/FirstStartFlow.h"
#include "window/dialogs/PlainText.h"
#include "window/players/PlayerArea.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QVBoxLayout>
#include <limits>

namespace {

QString msg(const char *key)
{
    return LangMsg::getMsg(QString::fromLatin1(key));
}

QString rgb(const QColor &c)
{
    return QStringLiteral("rgb(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

} // namespace

Gui::Gui(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Gui"));
    m_playback = std::make_unique<PlaybackControl>(*this);
    enableStackTrace = true;
    fakeProgressRunning = false;
    m_streamTabs = std::make_unique<StreamTabs>(*this);

    tulIcon32 = loadIcon(QStringLiteral(":/images/TV32.ico"));
    tulIcon24 = loadIcon(QStringLiteral(":/images/TV24.ico"));
    tulIcon16 = loadIcon(QStringLiteral(":/images/TV16.ico"));

    createActions();
    createMenuManager();
}

Gui::~Gui()
{
    shutdown();
}

void Gui::open(bool show)
{
    if (!m_contentsCreated)
        createContents();
    if (show)
        this->show();
}

bool Gui::shutdown()
{
    if (m_shutdown)
        return false;
    m_shutdown = true;
    const bool wasRunning = fakeProgressRunning.load();
    if (m_loadThread) {
        m_loadThread->requestStop();
        m_loadThread->join();
        m_loadThread.reset();
    }
    // A program update download ends too; its partial file goes.
    const QList<ProgramUpdate::ProgramUpdateThread *> downloads =
        findChildren<ProgramUpdate::ProgramUpdateThread *>(Qt::FindDirectChildrenOnly);
    qDeleteAll(downloads);
    if (m_releaseThread.joinable())
        m_releaseThread.join();
    m_playback->disposePlayer();
    if (trayItem)
        trayItem->hide();
    return wasRunning;
}

void Gui::closeEvent(QCloseEvent *event)
{
    event->accept();
    // The player goes before the window: a full-screen player is a window
    // of its own and would keep the program running after its main window.
    if (m_contentsCreated && !m_shutdown)
        actionStop->run();
    QMainWindow::closeEvent(event);
}

// --- Looks ----------------------------------------------------------------------

QColor Gui::getLighterColor(const QColor &color, int steps)
{
    const int add = 15 * steps;
    const int red = std::min(255, color.red() + add);
    const int green = std::min(255, color.green() + add);
    const int blue = std::min(255, color.blue() + add);
    const int v = (red + green + blue) / 3;
    return QColor(v, v, v);
}

QImage Gui::keyTransparent(const QImage &source)
{
    if (source.isNull())
        return source;
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == key)
                line[x] = qRgba(0, 0, 0, 0);
        }
    }
    return image;
}

QPixmap Gui::loadIcon(const QString &resource)
{
    return QPixmap::fromImage(keyTransparent(QImage(resource)));
}

QRect Gui::initialBounds(const QRect &displayBounds, const QRect &primaryBounds, int monitorCount)
{
    if (monitorCount == 1)
        return QRect(displayBounds.width() / 2 - 512, displayBounds.height() / 2 - 384, 460, 744);
    return QRect(primaryBounds.width() / 2 - 512, primaryBounds.height() / 2 - 384, 1024, 768);
}

QRect Gui::constrainToWorkArea(const QRect &bounds, const QRect &workArea)
{
    QRect result = bounds;
    if (result.height() > workArea.height())
        result.setHeight(workArea.height());
    if (result.width() > workArea.width())
        result.setWidth(workArea.width());
    const int x = std::max(workArea.x(), std::min(result.x(), workArea.x() + workArea.width() - result.width()));
    const int y = std::max(workArea.y(), std::min(result.y(), workArea.y() + workArea.height() - result.height()));
    result.moveTo(x, y);
    return result;
}

QRect Gui::constrainToClosestWorkArea(const QRect &bounds, const QList<QRect> &workAreas)
{
    if (workAreas.isEmpty())
        return bounds;
    const QPoint centre(bounds.x() + bounds.width() / 2, bounds.y() + bounds.height() / 2);
    const QRect *closest = &workAreas.front();
    qint64 closestDistance = std::numeric_limits<qint64>::max();
    for (const QRect &area : workAreas) {
        if (area.contains(centre))
            return constrainToWorkArea(bounds, area);
        const QPoint areaCentre(area.x() + area.width() / 2, area.y() + area.height() / 2);
        const qint64 dx = areaCentre.x() - centre.x();
        const qint64 dy = areaCentre.y() - centre.y();
        if (dx * dx + dy * dy < closestDistance) {
            closestDistance = dx * dx + dy * dy;
            closest = &area;
        }
    }
    return constrainToWorkArea(bounds, *closest);
}

// --- Contents -------------------------------------------------------------------

void Gui::createContents()
{
    m_contentsCreated = true;

    // Fonts of the tab titles.
    notSelectedfont = font();
    selectedfont = font();
    selectedfont.setBold(true);

    // The catalogue objects, for the life of the window.
    manager = std::make_shared<StreamsManager>();
    pPVView = std::make_shared<PPVView>();
    Options::readFromDisk(manager.get(), pPVView.get(), false, false);
    newView = std::make_shared<StreamsView>(manager.get(), StreamsView::FILTER_LATEST);
    tvView = std::make_shared<StreamsView>(manager.get(), StreamsView::FILTER_TV);
    radioView = std::make_shared<StreamsView>(manager.get(), StreamsView::FILTER_RADIO);
    eroticView = std::make_shared<StreamsView>(manager.get(), StreamsView::FILTER_EROTIC);
    movieView = std::make_shared<StreamsView>(manager.get(), StreamsView::FILTER_MOVIES);
    allView = std::make_shared<StreamsView>(manager.get(), StreamsView::FILTER_ALL);
    icecastView = std::make_shared<IcecastView>();

    buildLayout();

    setWindowTitle(QStringLiteral("Quorvantel ") + Options::getVersion());
    actionAutomaticUpdateToggle->setChecked(Options::getUpdateEnabled());

    QIcon windowIcon;
    windowIcon.addPixmap(tulIcon32);
    windowIcon.addPixmap(tulIcon24);
    windowIcon.addPixmap(tulIcon16);
    setWindowIcon(windowIcon);

    m_playback->runStop();

    // Bounds, kept within the work area of the monitor the window lies on.
    QScreen *primary = QGuiApplication::primaryScreen();
    const QRect primaryBounds = primary ? primary->geometry() : QRect(0, 0, 1024, 768);
    const QRect displayBounds = primary ? primary->virtualGeometry() : primaryBounds;
    QList<QRect> workAreas;
    for (QScreen *screen : QGuiApplication::screens())
        workAreas.append(screen->availableGeometry());
    const int monitors = std::max<int>(1, int(workAreas.size()));
    setGeometry(constrainToClosestWorkArea(initialBounds(displayBounds, primaryBounds, monitors), workAreas));

    // The first-start mode choice, before the window shows and before the
    // first load.
    if (!Options::getMode())
        FirstStartFlow::run(this, *manager, *pPVView);

    // Adult content follows the parental lock, and is in place before the
    // first load reads it.
    applyParentalRule();

    startDatabaseLoad();

    buildTray();

    // Twice: on top and off again, so the next run puts the window on top.
    runOntopToggle();
    runOntopToggle();
}

void Gui::applyParentalRule()
{
    const bool visible = Options::evalPasswd(QString());
    manager->setAdultVisible(visible);
    pPVView->setAdultVisible(visible);
}

void Gui::buildLayout()
{
    const QColor widgetBackground = palette().color(QPalette::Window);
    const QColor listBackground = palette().color(QPalette::Base);
    const QColor grey198 = getLighterColor(QColor(180, 195, 220), 0);
    const QColor grey59 = getLighterColor(QColor(0, 50, 127), 0);
    const QColor lighter1 = getLighterColor(widgetBackground, 1);
    const QColor lighter2 = getLighterColor(widgetBackground, 2);

    // Tab folders with curved tabs; the stream folders' selected tab has a
    // vertical gradient.
    const QString tabBase = QStringLiteral("QTabBar::tab { background: %1; border: 1px solid #9a9a9a;"
                                           " border-bottom: none; border-top-left-radius: 7px;"
                                           " border-top-right-radius: 7px; padding: 3px 10px 3px 8px;"
                                           " margin-right: 1px; }")
                                .arg(rgb(lighter1));
    const QString gradient =
        QStringLiteral("QTabBar::tab:selected { background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
                       " stop:0 %1, stop:0.5 %2, stop:0.9 %3, stop:1 %3); color: black; }")
            .arg(rgb(listBackground), rgb(grey198), rgb(grey59));
    const QString plainSelected =
        QStringLiteral("QTabBar::tab:selected { background: %1; }").arg(rgb(getLighterColor(widgetBackground, 1)));
    auto folderLook = [&](TabFolder *folder, bool withGradient) {
        QPalette p = folder->palette();
        p.setColor(QPalette::Window, getLighterColor(folder->palette().color(QPalette::Window), 1));
        folder->setPalette(p);
        folder->setAutoFillBackground(true);
        folder->tabBar()->setStyleSheet(tabBase + (withGradient ? gradient : plainSelected));
    };

    composit = new QWidget(this);
    composit->setObjectName(QStringLiteral("composit"));
    auto *compositLayout = new QVBoxLayout(composit);
    compositLayout->setContentsMargins(0, 0, 0, 0);
    compositLayout->setSpacing(0);
    setCentralWidget(composit);

    auto *mainArea = new QWidget(composit);
    auto *mainLayout = new QVBoxLayout(mainArea);
    mainLayout->setContentsMargins(3, 0, 3, 0);
    compositLayout->addWidget(mainArea, 1);

    composite = new QWidget(mainArea);
    auto *compositeLayout = new QVBoxLayout(composite);
    compositeLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->addWidget(composite);

    verticalSplit = new QSplitter(Qt::Vertical, composite);
    verticalSplit->setChildrenCollapsible(false);
    compositeLayout->addWidget(verticalSplit);
    compositeTop = new QWidget(verticalSplit);
    auto *topLayout = new QVBoxLayout(compositeTop);
    topLayout->setContentsMargins(0, 0, 0, 0);
    compositeBottom = new QWidget(verticalSplit);
    auto *bottomLayout = new QVBoxLayout(compositeBottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    verticalSplit->addWidget(compositeTop);
    verticalSplit->addWidget(compositeBottom);

    horizontalSplit = new QSplitter(Qt::Horizontal, compositeTop);
    horizontalSplit->setChildrenCollapsible(false);
    topLayout->addWidget(horizontalSplit);

    // Left column: the favourites folder and the search folder.
    auto *leftColumn = new QWidget(horizontalSplit);
    auto *leftLayout = new QVBoxLayout(leftColumn);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    cTabFavLoc = new TabFolder(leftColumn);
    cTabFavLoc->setObjectName(QStringLiteral("cTabFavLoc"));
    folderLook(cTabFavLoc, true);
    leftLayout->addWidget(cTabFavLoc, 1);

    searchFolder = new TabFolder(leftColumn);
    searchFolder->setObjectName(QStringLiteral("searchFolder"));
    folderLook(searchFolder, false);
    searchText = new QLineEdit(searchFolder);
    searchText->setObjectName(QStringLiteral("searchText"));
    {
        QPalette p = searchText->palette();
        p.setColor(QPalette::Base, lighter2);
        searchText->setPalette(p);
    }
    searchFolder->addTab(searchText, QIcon(loadIcon(QStringLiteral(":/images/search.ico"))), msg("SEARCH"));
    searchFolder->setCurrentIndex(0);
    searchFolder->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    searchText->installEventFilter(this);
    leftLayout->addWidget(searchFolder, 0);

    // Right pane: the player folder with its two buttons in the corner.
    playerFolder = new TabFolder(horizontalSplit);
    playerFolder->setObjectName(QStringLiteral("playerFolder"));
    folderLook(playerFolder, false);
    auto *corner = new QWidget(playerFolder);
    {
        QPalette p = corner->palette();
        p.setColor(QPalette::Window, lighter1);
        corner->setPalette(p);
        corner->setAutoFillBackground(true);
    }
    auto *cornerLayout = new QHBoxLayout(corner);
    cornerLayout->setContentsMargins(0, 0, 2, 0);
    cornerLayout->setSpacing(0);
    fullscreenButton = new QToolButton(corner);
    fullscreenButton->setObjectName(QStringLiteral("fullscreenButton"));
    fullscreenButton->setAutoRaise(true);
    fullscreenButton->setIcon(QIcon(loadIcon(QStringLiteral(":/images/fullscreen16.ico"))));
    fullscreenButton->setToolTip(msg("ACTION_FULLSCREEN"));
    stopButton = new QToolButton(corner);
    stopButton->setObjectName(QStringLiteral("stopButton"));
    stopButton->setAutoRaise(true);
    stopButton->setIcon(QIcon(loadIcon(QStringLiteral(":/images/stop16.ico"))));
    stopButton->setToolTip(msg("ACTION_STOP"));
    cornerLayout->addWidget(fullscreenButton);
    cornerLayout->addWidget(stopButton);
    // The buttons run their actions whatever the actions' enabled state.
    connect(fullscreenButton, &QToolButton::clicked, this, [this] { actionFullscreen->run(); });
    connect(stopButton, &QToolButton::clicked, this, [this] { actionStop->run(); });
    playerFolder->setCornerWidget(corner, Qt::TopRightCorner);

    auto *compositeActivex = new QWidget(playerFolder);
    compositeActivex->setObjectName(QStringLiteral("compositeActivex"));
    auto *fill = new QVBoxLayout(compositeActivex);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->setSpacing(0);
    {
        QPalette p = compositeActivex->palette();
        p.setColor(QPalette::Window, Qt::black);
        compositeActivex->setPalette(p);
        compositeActivex->setAutoFillBackground(true);
    }
    playerFolder->addTab(compositeActivex, msg("PLAYER"));
    m_playback->setCompositeActivex(compositeActivex);
    // A stream that fails to play says so on the status line.
    connect(MediaPlayerStatus::of(compositeActivex), &MediaPlayerStatus::playbackFailed, this,
            [this](const QString &message) { setShownText(statusLine, message); });

    horizontalSplit->addWidget(leftColumn);
    horizontalSplit->addWidget(playerFolder);

    m_playback->setPlayEnabled(false);
    m_playback->setPauseEnabled(false);
    m_playback->setStopEnabled(false);
    m_playback->setFullscreenEnabled(false);
    playerFolder->setCurrentIndex(0);

    // The stream tab folder, empty until the catalogue is loaded.
    cBottomTab = new TabFolder(compositeBottom);
    cBottomTab->setObjectName(QStringLiteral("cBottomTab"));
    folderLook(cBottomTab, true);
    bottomLayout->addWidget(cBottomTab);
    connect(cBottomTab, &TabFolder::selectedByUser, this,
            [this](int index) { m_streamTabs->bottomTabSelected(index); });

    buildStatusBar();
    compositLayout->addWidget(statusBar, 0);

    // Left column and player share the width; the tab folder takes two
    // thirds of the height.
    horizontalSplit->setStretchFactor(0, 2);
    horizontalSplit->setStretchFactor(1, 2);
    horizontalSplit->setSizes({2000, 2000});
    verticalSplit->setStretchFactor(0, 4);
    verticalSplit->setStretchFactor(1, 8);
    verticalSplit->setSizes({4000, 8000});
}

void Gui::buildStatusBar()
{
    statusBar = new QWidget(composit);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    auto *grid = new QGridLayout(statusBar);
    grid->setContentsMargins(3, 0, 3, 0);
    grid->setHorizontalSpacing(3);
    for (int column = 0; column < 6; ++column)
        grid->setColumnStretch(column, 1);

    auto label = [this](const char *name) {
        // Stream names, failures and addresses end up here: plain text.
        auto *l = plainLabel(QString(), statusBar);
        l->setObjectName(QString::fromLatin1(name));
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setMinimumWidth(1);
        l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        QPalette p = l->palette();
        p.setColor(QPalette::Window, getLighterColor(p.color(QPalette::Window), 1));
        l->setPalette(p);
        l->setAutoFillBackground(true);
        return l;
    };
    statusLine = label("statusLine");
    statusLine2 = label("statusLine2");
    grid->addWidget(statusLine, 0, 0, 1, 3);
    grid->addWidget(statusLine2, 0, 3, 1, 2);

    progressBar = new QProgressBar(statusBar);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setTextVisible(false);
    progressBar->setMinimum(0);
    progressBar->setMaximum(10);
    progressBar->setValue(0);
    grid->addWidget(progressBar, 0, 5, 1, 1);
}

void Gui::buildTray()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    trayItem = new QSystemTrayIcon(QIcon(tulIcon16), this);
    connect(trayItem, &QSystemTrayIcon::activated, this, &Gui::trayActivated);
    trayItem->show();
}

void Gui::trayActivated(QSystemTrayIcon::ActivationReason reason)
{
    // A click brings the window back; a double click does nothing more.
    if (reason != QSystemTrayIcon::Trigger)
        return;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

// --- Error display --------------------------------------------------------------

void Gui::tulErrorDialog(const QString &title, const QString &message, QWidget *shell)
{
    ErrorDisplay::tulErrorDialog(title, message, shell);
}

void Gui::tulErrorDialog(const QString &title, const QString &message, QWidget *, const QStringList &trace,
                         const QString &detail)
{
    ErrorDisplay::tulErrorDialog(title, message, this, trace, detail);
}

void Gui::showTulError(const TulException &error)
{
    if (enableStackTrace)
        tulErrorDialog(error.getTitle(), error.getMsg(), this, error.getStackTrace(), error.getMessage());
    else
        tulErrorDialog(error.getTitle(), error.getMsg(), this);
}

// --- What the tables ask of the window ------------------------------------------

void Gui::tableDoubleClicked(RecordTableView *)
{
    actionPlay->run();
}

void Gui::tabSelected(RecordTableModel *rows, StreamsView *view, bool payPerView)
{
    currentTableViewer = rows;
    currentView = view;
    TabFolder *favorites = cTabFavLoc;
    const int index = payPerView ? 1 : 0;
    if (favorites && index < favorites->count())
        favorites->setCurrentIndex(index);
    m_playback->setPlayEnabled(true);
    searchText->setEnabled(!payPerView);
    actionSearch->run();
}

void Gui::attachTableMenu(RecordTableView *table, const QStringList &texts, const QList<TableCommand> &commands)
{
    QList<GuiAction *> actions;
    for (TableCommand command : commands) {
        switch (command) {
        case TableCommand::PlayFromTable:
            actions << actionPlayFromCurrentTable;
            break;
        case TableCommand::AddFavorite:
            actions << actionCurrentTableFavorite;
            break;
        case TableCommand::ReportBrokenLink:
            actions << actionReportBrokenLink;
            break;
        }
    }
    attachContextMenu(table, menu(table, texts, actions));
}
