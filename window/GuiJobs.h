#pragma once

#include "catalogue/StreamInfo.h"

#include <QtGlobal>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

class Gui;
class IcecastView;
class PPVView;
class StreamsManager;

// The progress animation of one catalogue load: a step every 50 ms, at most
// 1000, each posted to the UI thread; a stop request wakes it at once and
// has the UI thread remove the bar. It never touches a widget itself.
class FakeProgressThread
{
public:
    static constexpr int STEP_MS = 50;
    static constexpr int STEPS = 1000;

    FakeProgressThread(Gui *gui, quint64 loadId);
    ~FakeProgressThread(); // stops and joins
    FakeProgressThread(const FakeProgressThread &) = delete;
    FakeProgressThread &operator=(const FakeProgressThread &) = delete;

    void start();
    // Asks the animation to end; it removes its bar when it wakes.
    void interrupt();
    void join();

private:
    void run(std::stop_token stop);

    Gui *m_gui;
    quint64 m_loadId;
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::jthread m_thread;
};

// One catalogue load: loads the catalogue through the manager, makes the
// first download of the Icecast directory and downloads the pay-per-view
// catalogue, all on its own thread, then hands the rebuild of the tables to
// the UI thread. A failure (of any kind) is shown on the UI thread while the
// load waits; closing the window ends that wait.
//
// The thread holds shared ownership of the catalogue objects it works on;
// the window it reports to joins it before it goes.
class DatabaseLoadThread
{
public:
    DatabaseLoadThread(Gui *gui, quint64 loadId);
    ~DatabaseLoadThread(); // requests the stop and joins
    DatabaseLoadThread(const DatabaseLoadThread &) = delete;
    DatabaseLoadThread &operator=(const DatabaseLoadThread &) = delete;

    quint64 loadId() const { return m_loadId; }
    void start();
    // Ends waiting for the failure display (the window is closing).
    void requestStop();
    void join();
    bool isRunning() const;
    // The catalogue list published before this load, kept so that its
    // records are not released on the UI thread (the window releases it on
    // a thread of its own once the tables have let go of it).
    std::shared_ptr<const StreamList> takePreviousStreams() { return std::move(m_previousStreams); }

private:
    void run(std::stop_token stop);

    Gui *m_gui;
    quint64 m_loadId;
    std::shared_ptr<StreamsManager> m_manager;
    std::shared_ptr<IcecastView> m_icecastView;
    std::shared_ptr<PPVView> m_ppvView;
    std::shared_ptr<const StreamList> m_previousStreams;
    std::jthread m_thread;
    std::atomic<bool> m_running{false};
};
