// The catalogue load and its progress animation, run on threads of their own
// and reporting only by signals.
#include "window/CatalogueLoad.h"

#include "catalogue/IcecastView.h"
#include "catalogue/PPVView.h"
#include "catalogue/StreamsManager.h"
#include "catalogue/StreamsView.h"

#include <QMetaType>
#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>

// --- FakeProgressThread ---------------------------------------------------------

FakeProgressThread::FakeProgressThread(quint64 loadId, QObject *parent) : QObject(parent), m_loadId(loadId)
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
    const quint64 loadId = m_loadId;
    emit progressStarted();
    for (int step = 1; step <= STEPS; ++step) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait_for(lock, stop, std::chrono::milliseconds(STEP_MS), [] { return false; });
        }
        if (stop.stop_requested()) {
            emit progressStopped();
            return;
        }
        emit progressStep(loadId, step);
    }
    // After the last step the bar stays as it is.
}

// --- DatabaseLoadThread ---------------------------------------------------------

DatabaseLoadThread::DatabaseLoadThread(quint64 loadId, std::shared_ptr<StreamsManager> manager,
                                       std::shared_ptr<IcecastView> icecastView, std::shared_ptr<PPVView> ppvView,
                                       std::atomic<bool> *runningFlag, QObject *parent)
    : QObject(parent),
      m_loadId(loadId),
      m_manager(std::move(manager)),
      m_icecastView(std::move(icecastView)),
      m_ppvView(std::move(ppvView)),
      m_runningFlag(runningFlag),
      m_progress(loadId)
{
    // The rows and the failure travel through queued connections.
    qRegisterMetaType<std::vector<StreamInfoPtr>>();
    qRegisterMetaType<TulException>();
    // The animation's reports are the load's own, emitted on its thread.
    connect(&m_progress, &FakeProgressThread::progressStarted, this, &DatabaseLoadThread::progressStarted,
            Qt::DirectConnection);
    connect(&m_progress, &FakeProgressThread::progressStep, this, &DatabaseLoadThread::progressStep,
            Qt::DirectConnection);
    connect(&m_progress, &FakeProgressThread::progressStopped, this, &DatabaseLoadThread::progressStopped,
            Qt::DirectConnection);
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

void DatabaseLoadThread::acknowledgeFailure()
{
    {
        std::lock_guard<std::mutex> lock(m_failureMutex);
        m_failureAcknowledged = true;
    }
    m_failureShown.notify_all();
}

void DatabaseLoadThread::run(std::stop_token stop)
{
    m_progress.start();

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

    // The views' sort orders and search texts of the new catalogue were
    // computed by the manager on this thread when it published the list, so
    // the tables fill at once on the UI thread.
    // A stop request (the window closing) ends the load here: its downloads
    // have ended at once, and nothing more is fetched.
    if (!failure && stop.stop_requested())
        failure = TulException(QStringLiteral("ConnectError"), std::runtime_error("The load was stopped"));

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

    m_progress.interrupt();
    m_progress.join();

    if (!failure) {
        emit rowsReady(m_loadId, gotStreamsFinal, icecastRows, ppvRows);
    } else {
        // The failure is shown while this load waits, so no reload starts
        // before the user has seen it. A stop request (the window closing)
        // ends the wait.
        emit failed(m_loadId, *failure);
        std::unique_lock<std::mutex> lock(m_failureMutex);
        m_failureShown.wait(lock, stop, [this] { return m_failureAcknowledged; });
    }

    const bool succeeded = !failure;
    if (m_runningFlag)
        *m_runningFlag = false;
    m_running = false;
    emit ended(m_loadId, succeeded);
}
