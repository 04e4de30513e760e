#pragma once

#include "catalogue/StreamInfo.h"
#include "catalogue/TulException.h"

#include <QObject>
#include <QtGlobal>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

class IcecastView;
class PPVView;
class StreamsManager;

// The progress animation of one catalogue load: a step every 50 ms, at most
// 1000, each reported by a signal from its own thread; a stop request wakes
// it at once and it reports that it has stopped (the bar goes). It never
// touches a widget itself.
class FakeProgressThread : public QObject
{
    Q_OBJECT
public:
    static constexpr int STEP_MS = 50;
    static constexpr int STEPS = 1000;

    explicit FakeProgressThread(quint64 loadId, QObject *parent = nullptr);
    ~FakeProgressThread() override; // stops and joins
    FakeProgressThread(const FakeProgressThread &) = delete;
    FakeProgressThread &operator=(const FakeProgressThread &) = delete;

    void start();
    // Asks the animation to end; it reports progressStopped when it wakes.
    void interrupt();
    void join();

signals:
    // Emitted on the animation's thread.
    void progressStarted();
    void progressStep(quint64 loadId, int step);
    void progressStopped();

private:
    void run(std::stop_token stop);

    quint64 m_loadId;
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::jthread m_thread;
};

// One catalogue load: loads the catalogue through the manager, makes the
// first download of the Icecast directory and downloads the pay-per-view
// catalogue, all on its own thread, with its progress animation beside it.
// It reports only by signals, emitted on its threads (a receiver on the UI
// thread connects them queued): the animation's, then either the rows for
// the rebuild of the tables or the failure, then the end. Besides, it clears
// the owner's running flag, if given, right before the end. After a failure
// the load waits until the failure is acknowledged (acknowledgeFailure), so
// no reload starts before the user has seen it; a stop request ends that
// wait.
//
// The load holds shared ownership of the catalogue objects it works on; its
// owner joins it (or deletes it, which stops and joins) before it goes.
class DatabaseLoadThread : public QObject
{
    Q_OBJECT
public:
    // runningFlag, when given, is cleared by the load's thread when the load
    // ends, right before ended is emitted (the window's fakeProgressRunning).
    DatabaseLoadThread(quint64 loadId, std::shared_ptr<StreamsManager> manager,
                       std::shared_ptr<IcecastView> icecastView, std::shared_ptr<PPVView> ppvView,
                       std::atomic<bool> *runningFlag = nullptr, QObject *parent = nullptr);
    ~DatabaseLoadThread() override; // requests the stop and joins
    DatabaseLoadThread(const DatabaseLoadThread &) = delete;
    DatabaseLoadThread &operator=(const DatabaseLoadThread &) = delete;

    quint64 loadId() const { return m_loadId; }
    void start();
    // Ends the load: its downloads end at once, and so does waiting for the
    // failure to be acknowledged (the window is closing).
    void requestStop();
    void join();
    bool isRunning() const;
    // The failure has been shown: the load goes on to its end. Safe from any
    // thread, and more than once.
    void acknowledgeFailure();
    // The catalogue list published before this load, kept so that its
    // records are not released on the UI thread (the owner releases it on
    // a thread of its own once the tables have let go of it). Only after
    // the load has been joined.
    std::shared_ptr<const StreamList> takePreviousStreams() { return std::move(m_previousStreams); }

signals:
    // The animation (see FakeProgressThread).
    void progressStarted();
    void progressStep(quint64 loadId, int step);
    void progressStopped();
    // The catalogue is loaded: whether it holds streams, and the rows of the
    // Icecast directory and of the pay-per-view catalogue.
    void rowsReady(quint64 loadId, bool gotStreamsFinal, const std::vector<StreamInfoPtr> &icecastRows,
                   const std::vector<StreamInfoPtr> &ppvRows);
    // The load failed (a stop request counts as a failure); the load waits
    // for acknowledgeFailure or a stop request.
    void failed(quint64 loadId, const TulException &error);
    // The load has ended; nothing more comes from it.
    void ended(quint64 loadId, bool succeeded);

private:
    void run(std::stop_token stop);

    quint64 m_loadId;
    std::shared_ptr<StreamsManager> m_manager;
    std::shared_ptr<IcecastView> m_icecastView;
    std::shared_ptr<PPVView> m_ppvView;
    std::atomic<bool> *m_runningFlag;
    std::shared_ptr<const StreamList> m_previousStreams;
    FakeProgressThread m_progress;
    std::mutex m_failureMutex;
    std::condition_variable_any m_failureShown;
    bool m_failureAcknowledged = false;
    std::jthread m_thread;
    std::atomic<bool> m_running{false};
};
