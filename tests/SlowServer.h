#pragma once

// A small HTTP server of the tests' own on 127.0.0.1, for the answers the
// reference service does not give: a whole answer, an answer that stops
// after its headers and first bytes, one that trickles a few bytes at a
// time, or none at all (the request is read and never answered). What it
// holds open stays open until release() or its end. Every member may be
// called from any thread.

#include <QByteArray>
#include <QHash>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

class SlowServer
{
public:
    enum class Mode {
        Whole,   // the whole body
        Stall,   // the headers (the whole length announced) and the first 64 bytes, then nothing
        Trickle, // the headers, then trickleBytes every trickleMs
        Silent,  // no answer at all
    };
    struct Route
    {
        Mode mode = Mode::Whole;
        QByteArray body;
        QByteArray contentEncoding; // sent as Content-Encoding when not empty
        int trickleBytes = 2;
        int trickleMs = 1000;
    };

    SlowServer() = default;
    SlowServer(const SlowServer &) = delete;
    SlowServer &operator=(const SlowServer &) = delete;
    ~SlowServer()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_ending = true;
            m_released = true;
        }
        m_changed.notify_all();
        if (m_listen >= 0)
            ::shutdown(m_listen, SHUT_RDWR);
        if (m_acceptThread.joinable())
            m_acceptThread.join();
        std::vector<std::thread> connections;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            connections.swap(m_connections);
        }
        for (std::thread &t : connections)
            t.join();
        if (m_listen >= 0)
            ::close(m_listen);
    }

    bool start()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        if (m_listen < 0)
            return false;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof address;
        if (::bind(m_listen, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(m_listen, 64) != 0
            || ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return false;
        m_port = ntohs(address.sin_port);
        m_acceptThread = std::thread([this] { acceptLoop(); });
        return true;
    }

    quint16 port() const { return m_port; }
    QString hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    QString url(const QString &path) const { return QStringLiteral("http://") + hostPort() + path; }

    void setRoute(const QString &path, const Route &route)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_routes.insert(path, route);
    }
    void setWhole(const QString &path, const QByteArray &body, const QByteArray &contentEncoding = {})
    {
        setRoute(path, Route{Mode::Whole, body, contentEncoding});
    }

    // Requests whose headers have come in for path (the query not counted).
    int requests(const QString &path) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests.value(path);
    }
    // Waits until count requests for path have come in, at most timeoutMs.
    bool waitForRequests(const QString &path, int count, int timeoutMs = 20000)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return m_requests.value(path) >= count; });
    }

    // Ends every answer held open (and those to come).
    void release()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_released = true;
        }
        m_changed.notify_all();
    }

private:
    void acceptLoop()
    {
        for (;;) {
            const int client = ::accept(m_listen, nullptr, nullptr);
            std::lock_guard<std::mutex> lock(m_mutex);
            if (client < 0 || m_ending) {
                if (client >= 0)
                    ::close(client);
                return;
            }
            m_connections.emplace_back([this, client] { serve(client); });
        }
    }

    static bool sendAll(int fd, const char *data, size_t size)
    {
        while (size > 0) {
            const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            data += n;
            size -= size_t(n);
        }
        return true;
    }

    // Waits until released or the time has passed; true when released.
    bool heldFor(int milliseconds)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_released; });
    }

    void serve(int fd)
    {
        QByteArray request;
        char buffer[4096];
        while (!request.contains("\r\n\r\n") && request.size() < 65536) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0) {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_ending)
                    break;
                continue;
            }
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, qsizetype(n));
        }
        const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
        QByteArray target = words.size() >= 2 ? words.at(1) : QByteArray();
        const QString path = QString::fromLatin1(target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?')));
        Route route;
        bool known = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests[path] += 1;
            known = m_routes.contains(path);
            if (known)
                route = m_routes.value(path);
        }
        m_changed.notify_all();

        if (!known) {
            static const char notFound[] = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            sendAll(fd, notFound, sizeof notFound - 1);
        } else {
            QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nConnection: close\r\nContent-Length: "
                              + QByteArray::number(route.body.size()) + "\r\n";
            if (!route.contentEncoding.isEmpty())
                head += "Content-Encoding: " + route.contentEncoding + "\r\n";
            head += "\r\n";
            switch (route.mode) {
            case Mode::Whole:
                sendAll(fd, head.constData(), size_t(head.size()))
                    && sendAll(fd, route.body.constData(), size_t(route.body.size()));
                break;
            case Mode::Stall:
                if (sendAll(fd, head.constData(), size_t(head.size()))
                    && sendAll(fd, route.body.constData(), size_t(std::min<qsizetype>(64, route.body.size()))))
                    heldFor(3600 * 1000);
                break;
            case Mode::Trickle: {
                if (!sendAll(fd, head.constData(), size_t(head.size())))
                    break;
                qsizetype sent = 0;
                while (sent < route.body.size()) {
                    const qsizetype n = std::min<qsizetype>(route.trickleBytes, route.body.size() - sent);
                    if (!sendAll(fd, route.body.constData() + sent, size_t(n)))
                        break;
                    sent += n;
                    if (heldFor(route.trickleMs))
                        break;
                }
                break;
            }
            case Mode::Silent:
                heldFor(3600 * 1000);
                break;
            }
        }
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }

    int m_listen = -1;
    quint16 m_port = 0;
    std::thread m_acceptThread;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QHash<QString, Route> m_routes;
    QHash<QString, int> m_requests;
    std::vector<std::thread> m_connections;
    bool m_released = false;
    bool m_ending = false;
};
