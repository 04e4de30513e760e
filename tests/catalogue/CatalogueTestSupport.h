#pragma once

// Shared pieces of the catalogue tests: the reference service without its
// console log, a loopback port nothing listens on, whole-file reads and
// writes, and a server that holds its answer until the test lets it go.

#include "catalogue/Options.h"
#include "catalogue/StreamInfo.h"
#include "catalogue/TulException.h"
#include "service/ReferenceService.h"
#include "tests/ClosedPort.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// The reference service, not started yet, that logs nothing on the console.
inline std::unique_ptr<ReferenceService> quietService()
{
    ReferenceService::Config config;
    config.logToStderr = false;
    return std::make_unique<ReferenceService>(config);
}

// "127.0.0.1:" and such a port.
inline QByteArray closedHost()
{
    return QByteArray("127.0.0.1:") + QByteArray::number(closedPort());
}

// The file's bytes; none when it cannot be read.
inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

// Replaces the file with these bytes; false when that failed.
inline bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Replaces the file with these bytes, failing the test when that fails.
inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// The message key of the failure the call throws, or "(no error)"; the
// failure's full message goes to cause where one is given.
inline QString failureKey(const std::function<void()> &call, QString *cause = nullptr)
{
    try {
        call();
    } catch (const TulException &e) {
        if (cause)
            *cause = e.getMessage();
        return e.getMsg();
    }
    return QStringLiteral("(no error)");
}

// The names of the streams, in the list's order.
inline QStringList names(const std::shared_ptr<const StreamList> &list)
{
    QStringList result;
    for (const auto &s : *list)
        result << s->getName();
    return result;
}

// A server whose answer to GET path waits, from request number holdFrom on,
// until the test lets it go, so that a request can be made while a download
// is known to be running. Earlier requests are answered at once.
class HeldServer
{
public:
    HeldServer(const std::string &path, const QByteArray &body, int holdFrom = 1) : m_body(body.toStdString())
    {
        m_server.Get(path, [this, holdFrom](const httplib::Request &, httplib::Response &res) {
            std::unique_lock<std::mutex> lock(m_mutex);
            ++m_requests;
            m_changed.notify_all();
            if (m_requests >= holdFrom)
                m_changed.wait_for(lock, std::chrono::seconds(20), [this] { return m_released; });
            res.set_content(m_body, "text/xml");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~HeldServer()
    {
        release();
        m_server.stop();
        m_thread.join();
    }
    HeldServer(const HeldServer &) = delete;
    HeldServer &operator=(const HeldServer &) = delete;

    int port() const { return m_port; }
    // Waits until the given number of requests has come.
    bool waitForRequests(int count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return m_requests >= count; });
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }
    int requests()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

private:
    std::string m_body;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_requests = 0;
    bool m_released = false;
};

// The reference service a test program starts once, and for every test a
// temporary directory of its own as the working directory, with the settings
// reset and the catalogue host pointed at the service. A test class derives
// from it after QObject and calls startService() from initTestCase(),
// enterTempDir() from init() and leaveTempDir() from cleanup().
class ServiceInTempDir
{
protected:
    std::unique_ptr<ReferenceService> service;
    QTemporaryDir *dir = nullptr;
    QString originalDir;

    void startService()
    {
        service = quietService();
        QVERIFY(service->start());
        originalDir = QDir::currentPath();
    }

    // Fails the test (which then does not run) when the directory cannot be
    // made or entered.
    void enterTempDir()
    {
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        QVERIFY(QDir::setCurrent(dir->path()));
        Options::resetToDefaults();
        qputenv("QUORVANTEL_CATALOGUE_HOST", service->hostPort().toLatin1());
        service->clearSwitches();
    }

    void leaveTempDir()
    {
        QDir::setCurrent(originalDir);
        delete dir;
        dir = nullptr;
    }
};
