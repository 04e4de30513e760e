// The window's side of the catalogue load (window/CatalogueLoad.h): the
// start of a load, and the work its reports hand to the UI thread: the
// progress bar, the rebuild of the stream tabs after a load and the display
// of a failed one.
#include "catalogue/IcecastView.h"
#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "catalogue/PPVView.h"
#include "catalogue/StreamsManager.h"
#include "catalogue/StreamsView.h"
#include "window/BottomList.h"
#include "window/CatalogueLoad.h"
#include "window/Gui.h"
#include "window/PlaybackControl.h"
#include "window/RecordTable.h"
#include "window/StreamTabs.h"
#include "window/TabFolder.h"
#include "window/dialogs/PlainText.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>
#include <exception>
#include <optional>

namespace {

// Runs a report of the catalogue load on the UI thread: an exception that
// escapes it is printed and goes no further.
template<typename Task>
void runReport(Task &&task)
{
    try {
        task();
    } catch (const std::exception &e) {
        printEscapedException("background job task", &e);
    } catch (...) {
        printEscapedException("background job task", nullptr);
    }
}

} // namespace

// --- The window's side -----------------------------------------------------------

std::unique_ptr<DatabaseLoadThread> Gui::getDatabase()
{
    auto load = std::make_unique<DatabaseLoadThread>(m_nextLoadId++, manager, icecastView, pPVView,
                                                     &fakeProgressRunning);
    // The load reports from its threads; each report runs on the UI thread,
    // after the events already waiting there. The window joins the load
    // before it goes, and a report still queued then is dropped with it.
    DatabaseLoadThread *source = load.get();
    connect(
        source, &DatabaseLoadThread::progressStarted, this, [this] { runReport([this] { progressStarted(); }); },
        Qt::QueuedConnection);
    connect(
        source, &DatabaseLoadThread::progressStep, this,
        [this](quint64 loadId, int step) { runReport([&] { progressStep(loadId, step); }); }, Qt::QueuedConnection);
    connect(
        source, &DatabaseLoadThread::progressStopped, this, [this] { runReport([this] { progressStopped(); }); },
        Qt::QueuedConnection);
    connect(
        source, &DatabaseLoadThread::rowsReady, this,
        [this](quint64 loadId, bool gotStreamsFinal, const std::vector<StreamInfoPtr> &icecastRows,
               const std::vector<StreamInfoPtr> &ppvRows) {
            runReport([&] {
                // From the rebuild on, this load's animation steps change
                // nothing. Only this load's: the running flag is cleared
                // before the rebuild runs, so a reload may already have
                // started the next animation.
                quint64 animating = loadId;
                m_animatingLoad.compare_exchange_strong(animating, 0);
                rebuildAfterLoad(gotStreamsFinal, icecastRows, ppvRows);
            });
        },
        Qt::QueuedConnection);
    QPointer<DatabaseLoadThread> waiting(source);
    connect(
        source, &DatabaseLoadThread::failed, this,
        [this, waiting](quint64, const TulException &error) {
            // The load waits until the failure has been shown (whatever
            // became of the display).
            struct Shown
            {
                const QPointer<DatabaseLoadThread> &load;
                ~Shown()
                {
                    if (load)
                        load->acknowledgeFailure();
                }
            } shown{waiting};
            runReport([&] { showLoadFailure(error); });
        },
        Qt::QueuedConnection);
    connect(
        source, &DatabaseLoadThread::ended, this,
        [this](quint64, bool succeeded) { runReport([&] { loadEnded(succeeded); }); }, Qt::QueuedConnection);
    return load;
}

void Gui::startDatabaseLoad()
{
    if (m_shutdown)
        return;
    fakeProgressRunning = true;
    // The previous load has ended (its flag is clear); its thread is at its
    // last statement.
    if (m_loadThread)
        m_loadThread->join();
    m_loadThread = getDatabase();
    m_animatingLoad = m_loadThread->loadId();
    m_loadThread->start();
}

void Gui::updateDatabase()
{
    if (fakeProgressRunning)
        return;
    startDatabaseLoad();
}

void Gui::reloadCatalogue()
{
    if (fakeProgressRunning) {
        m_reloadPending = true;
        return;
    }
    startDatabaseLoad();
}

void Gui::loadEnded(bool succeeded)
{
    if (m_shutdown)
        return;
    if (m_loadThread && !fakeProgressRunning) {
        m_loadThread->join();
        // The previous catalogue's records go on a thread of their own: a
        // large catalogue takes a while to release.
        if (std::shared_ptr<const StreamList> previous = m_loadThread->takePreviousStreams())
            m_releaseThread = std::jthread([previous = std::move(previous)]() mutable { previous.reset(); });
        m_loadThread.reset();
    }
    emit loadFinished(succeeded);
    if (m_reloadPending && !fakeProgressRunning && !m_shutdown) {
        m_reloadPending = false;
        startDatabaseLoad();
    }
}

void Gui::progressStarted()
{
    if (m_shutdown)
        return;
    if (!progressBar && statusBar) {
        progressBar = new QProgressBar(statusBar);
        progressBar->setObjectName(QStringLiteral("progressBar"));
        progressBar->setTextVisible(false);
        progressBar->setMinimum(0);
        if (auto *grid = qobject_cast<QGridLayout *>(statusBar->layout()))
            grid->addWidget(progressBar, 0, 5, 1, 1);
        statusBar->layout()->activate();
    }
    if (progressBar)
        progressBar->setMaximum(100);
}

void Gui::progressStep(quint64 loadId, int step)
{
    // A step that arrives after its load's outcome was shown changes nothing.
    if (m_shutdown || loadId == 0 || m_animatingLoad.load() != loadId)
        return;
    statusLine2->setText(LangMsg::getMsg(QStringLiteral("STATUSLINE_CONNECTDATABASE")));
    if (progressBar)
        progressBar->setValue(step % 100);
}

void Gui::progressStopped()
{
    if (progressBar) {
        progressBar->setValue(0);
        delete progressBar;
    }
}

void Gui::showLoadFailure(const TulException &error)
{
    if (m_shutdown)
        return;
    m_animatingLoad = 0;
    statusLine2->setText(LangMsg::getMsg(QStringLiteral("STATUSLINE_NOTCONNECTEDDATABASE")));
    showTulError(error);
}

void Gui::rebuildAfterLoad(bool gotStreamsFinal, const std::vector<StreamInfoPtr> &icecastRows,
                           const std::vector<StreamInfoPtr> &ppvRows)
{
    if (m_shutdown)
        return;
    offerUpdate();

    if (gotStreamsFinal) {
        TabFolder::Quiet quiet(cBottomTab);
        searchText->setText(QString());

        // Every view that may get a tab starts unfiltered: no search text,
        // all categories and countries.
        const std::vector<StreamsView *> tabbedViews = {newView.get(),   tvView.get(),      radioView.get(),
                                                        movieView.get(), icecastView.get(), eroticView.get(),
                                                        pPVView.get()};
        for (StreamsView *view : tabbedViews) {
            view->searchForString(QString());
            view->selectCategory(0);
            view->selectCountry(0);
        }

        // The tabs of the previous load go; only the tabs made now count.
        // This rebuild may run inside a dialog, a message box or a drag that
        // one of these tables started: such a tab leaves the folder now and
        // goes when that call has returned.
        m_streamTabs->retireAll();
        currentTable = nullptr;
        currentTableViewer = nullptr;
        currentView = nullptr;

        m_streamTabs->makeTabs(icecastRows, ppvRows);

        const std::vector<PPVStreamInfoPtr> rented = pPVView->getPpvActive();
        createFavoritesTable(cTabFavLoc, !rented.empty());
        if (!rented.empty() && ppvTableViewer && ppvTable)
            ppvTable->setInput(std::vector<StreamInfoPtr>(rented.begin(), rented.end()));

        // The tab in the lowest slot becomes the current one.
        m_streamTabs->selectFirst();

        if (favoritesTable) {
            std::optional<std::vector<StreamInfoPtr>> favorites = Options::loadFavorites();
            favoritesTable->setInput(favorites ? *favorites : std::vector<StreamInfoPtr>());
        }

        runSearch();
        searchText->setEnabled(true);
        QMetaObject::invokeMethod(
            this,
            [this] { statusLine2->setText(LangMsg::getMsg(QStringLiteral("STATUSLINE_CONNECTEDDATABASE"))); },
            Qt::QueuedConnection);
    } else {
        // A catalogue without streams: the tabs of the previous load stay,
        // and the status says that nothing was loaded.
        statusLine2->setText(LangMsg::getMsg(QStringLiteral("STATUSLINE_NOTCONNECTEDDATABASE")));
    }

    const QString motd = manager->getMOTD();
    if (!motd.isEmpty()) {
        // The server's text, shown as it stands.
        const auto box = plainMessageBox(QMessageBox::Information, LangMsg::getMsg(QStringLiteral("MOTD_TITLE")), motd,
                                         QMessageBox::Ok, this);
        box->setWindowModality(Qt::ApplicationModal);
        box->exec();
    }

    m_playback->runStop();
    QWidget *compositeActivex = m_playback->compositeActivex();
    if (compositeActivex && compositeActivex->layout())
        compositeActivex->layout()->activate();
    if (cTabFavLoc->count() > 0)
        cTabFavLoc->setCurrentIndex(0);
}
