// The catalogue load and its progress animation, and the work they hand to
// the UI thread: the rebuild of the stream tabs after a load and the display
// of a failed one.
#include "window/GuiJobs.h"

#include "catalogue/IcecastView.h"
#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "catalogue/PPVView.h"
#include "catalogue/StreamsManager.h"
#include "catalogue/StreamsView.h"
#include "window/BottomList.h"
#include "window/Gui.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"
#include "window/dialogs/PlainText.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressBar>
#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>

namespace {

// Runs task on the UI thread, after the events already waiting there. The
// receiver must outlive the call: the window joins its workers before it
// goes, and a task still queued then is dropped with the window.
template<typename Task>
void postToUi(Gui *gui, Task task)
{
    QMetaObject::invokeMethod(
        gui,
        [task = std::move(task)]() mutable {
            try {
                task();
            } catch (const std::exception &e) {
                printEscapedException("background job task", &e);
            } catch (...) {
                printEscapedException("background job task", nullptr);
            }
        },
        Qt::QueuedConnection);
}

} // namespace

// --- FakeProgressThread ---------------------------------------------------------

FakeProgressThread::FakeProgressThread(Gui *gui, quint64 loadId) : m_gui(gui), m_loadId(loadId)
{
}

FakeProgressThread::~FakeProgressThread()
{
    interrupt();
    join();
}

void FakeProgressThread::start()
{
    m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
}

void FakeProgressThread::interrupt()
{
    if (m_thread.joinable())
        m_thread.request_stop();
}

void FakeProgressThread::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void FakeProgressThread::run(std::stop_token stop)
{
    Gui *gui = m_gui;
    const quint64 loadId = m_loadId;
    postToUi(gui, [gui] { gui->progressStarted(); });
    for (int step = 1; step <= STEPS; ++step) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait_for(lock, stop, std::chrono::milliseconds(STEP_MS), [] { return false; });
        }
        if (stop.stop_requested()) {
            postToUi(gui, [gui] { gui->progressStopped(); });
            return;
        }
        postToUi(gui, [gui, loadId, step] { gui->progressStep(loadId, step); });
    }
    // After the last step the bar stays as it is.
}

// --- DatabaseLoadThread ---------------------------------------------------------

DatabaseLoadThread::DatabaseLoadThread(Gui *gui, quint64 loadId)
    : m_gui(gui), m_loadId(loadId), m_manager(gui->manager), m_icecastView(gui->icecastView), m_ppvView(gui->pPVView)
{
}

DatabaseLoadThread::~DatabaseLoadThread()
{
    requestStop();
    join();
}

void DatabaseLoadThread::start()
{
    m_running = true;
    m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
}

void DatabaseLoadThread::requestStop()
{
    if (m_thread.joinable())
        m_thread.request_stop();
}

void DatabaseLoadThread::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool DatabaseLoadThread::isRunning() const
{
    return m_running.load();
}

void DatabaseLoadThread::run(std::stop_token stop)
{
    Gui *gui = m_gui;
    FakeProgressThread progress(gui, m_loadId);
    progress.start();

    bool gotStreamsFinal = false;
    std::optional<TulException> failure;
    m_previousStreams = m_manager->getAllStreams();
    try {
        gotStreamsFinal = m_manager->fetchStreams(stop);
    } catch (const TulException &e) {
        failure = e;
    } catch (const std::exception &e) {
        failure = TulException(QStringLiteral("Error"), e);
    } catch (...) {
        failure = TulException(QStringLiteral("Error"));
    }

    // The views' sort orders and search texts of the new catalogue are
    // computed here, so the tables fill at once on the UI thread.
    // A stop request (the window closing) ends the load here: its downloads
    // have ended at once, and nothing more is fetched or prepared.
    if (!failure && stop.stop_requested())
        failure = TulException(QStringLiteral("ConnectError"), std::runtime_error("The load was stopped"));

    if (!failure) {
        try {
            StreamsView::prepareStreams(m_manager->getAllStreams());
        } catch (const std::exception &e) {
            std::fprintf(stderr, "Catalogue views: %s\n", e.what());
        }
    }

    // The directory's first download and every pay-per-view download happen
    // here, off the UI thread (the window's views never download when the
    // tables ask them for rows); the rebuild learns from these lists which
    // of their tabs to make.
    std::vector<StreamInfoPtr> icecastRows;
    std::vector<StreamInfoPtr> ppvRows;
    if (!failure) {
        try {
            if (auto list = m_icecastView->load(stop))
                icecastRows.assign(list->begin(), list->end());
        } catch (const std::exception &e) {
            std::fprintf(stderr, "Icecast directory: %s\n", e.what());
        }
        try {
            if (auto list = m_ppvView->reload(stop))
                ppvRows.assign(list->begin(), list->end());
        } catch (const std::exception &e) {
            std::fprintf(stderr, "Pay-per-view catalogue: %s\n", e.what());
        }
    }

    progress.interrupt();
    progress.join();

    if (!failure) {
        // From the rebuild on, this load's animation steps change nothing.
        // Only this load's: the running flag is cleared before the rebuild
        // runs, so a reload may already have started the next animation.
        const quint64 loadId = m_loadId;
        postToUi(gui, [gui, loadId, gotStreamsFinal, icecastRows = std::move(icecastRows),
                       ppvRows = std::move(ppvRows)] {
            quint64 animating = loadId;
            gui->m_animatingLoad.compare_exchange_strong(animating, 0);
            gui->rebuildAfterLoad(gotStreamsFinal, icecastRows, ppvRows);
        });
    } else {
        // The failure is shown on the UI thread while this load waits, so no
        // reload starts before the user has seen it. A stop request (the
        // window closing) ends the wait.
        struct HandOver
        {
            std::mutex mutex;
            std::condition_variable_any shown;
            bool done = false;
        };
        auto handOver = std::make_shared<HandOver>();
        const TulException error = *failure;
        postToUi(gui, [gui, error, handOver] {
            struct Done
            {
                HandOver &h;
                ~Done()
                {
                    {
                        std::lock_guard<std::mutex> lock(h.mutex);
                        h.done = true;
                    }
                    h.shown.notify_all();
                }
            } done{*handOver};
            gui->showLoadFailure(error);
        });
        std::unique_lock<std::mutex> lock(handOver->mutex);
        handOver->shown.wait(lock, stop, [&] { return handOver->done; });
    }

    const bool succeeded = !failure;
    gui->fakeProgressRunning = false;
    m_running = false;
    postToUi(gui, [gui, succeeded] { gui->loadEnded(succeeded); });
}

// --- The window's side -----------------------------------------------------------

std::unique_ptr<DatabaseLoadThread> Gui::getDatabase()
{
    return std::make_unique<DatabaseLoadThread>(this, m_nextLoadId++);
}

std::unique_ptr<FakeProgressThread> Gui::fakeProgress(quint64 loadId)
{
    return std::make_unique<FakeProgressThread>(this, loadId);
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
