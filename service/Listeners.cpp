// The listeners of the service and their lifetime: how each HTTP library
// server is set up, the switches applied before routing and the log
// written after it, start() and stop().

#include "service/Certificate.h"
#include "service/Pages.h"
#include "service/Routes.h"
#include "service/ServiceImpl.h"
#include "service/Wire.h"

#include <QDir>

#include <chrono>
#include <cstdio>

using namespace RefService;

// --- Routing ----------------------------------------------------------------

void ReferenceService::Impl::setup(httplib::Server &server, bool tls)
{
    server.new_task_queue = [] { return new httplib::ThreadPool(16); };
    // One request per connection: stop() then never waits for an idle
    // keep-alive connection, and every request is logged on its own.
    server.set_keep_alive_max_count(1);
    server.set_keep_alive_timeout(1);
    server.set_read_timeout(5);
    server.set_write_timeout(10);
    server.set_tcp_nodelay(true);
    // SO_REUSEADDR only: the library's default also sets SO_REUSEPORT, which
    // would let a second service bind a port that is in use and share its
    // connections.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const void *>(&yes), sizeof yes);
    });
    server.set_file_extension_and_mimetype_mapping("mp4", "video/mp4");
    server.set_file_extension_and_mimetype_mapping("ts", "video/mp2t");
    server.set_file_extension_and_mimetype_mapping("mp3", "audio/mpeg");
    server.set_file_extension_and_mimetype_mapping("ogg", "audio/ogg");
    server.set_file_extension_and_mimetype_mapping("webm", "video/webm");
    const QString mediaDir = dataDir + QStringLiteral("/media");
    QDir().mkpath(mediaDir);
    server.set_mount_point("/media", mediaDir.toStdString());
    server.set_pre_routing_handler(
        [this](const httplib::Request &req, httplib::Response &res) { return preRouting(req, res); });
    server.set_post_routing_handler(
        [this, tls](const httplib::Request &req, httplib::Response &res) { postRouting(req, res, tls); });
    // Every GET (and HEAD) and POST goes to the route table.
    auto handler = [this](const httplib::Request &req, httplib::Response &res) { route(state, req, res); };
    server.Get(".*", handler);
    server.Post(".*", handler);
    server.set_error_handler([](const httplib::Request &, httplib::Response &res) {
        if (res.body.empty() && !res.content_provider_)
            res.set_content(toStd(errorPage(res.status)), "text/html; charset=UTF-8");
    });
}

httplib::Server::HandlerResponse ReferenceService::Impl::preRouting(const httplib::Request &req, httplib::Response &res)
{
    // The request object is the server's own, not a constant: moving the
    // header out of the way is safe.
    auto &request = const_cast<httplib::Request &>(req);
    if (request.has_header("Accept-Encoding")) {
        const std::string accept = request.get_header_value("Accept-Encoding");
        request.headers.erase("Accept-Encoding");
        request.headers.emplace(ACCEPT_ENCODING_KEPT, accept);
    }

    const QString path = targetPath(req.target);
    const Switch sw = switches.find(path);
    if ((sw.hold && !switches.waitForRelease(path)) || (sw.delayMs > 0 && !switches.pause(sw.delayMs))) {
        res.status = 503;
        res.set_content(toStd(errorPage(503)), "text/html; charset=UTF-8");
        return httplib::Server::HandlerResponse::Handled;
    }
    if (sw.status > 0) {
        res.status = sw.status;
        res.set_content(toStd(errorPage(sw.status)), "text/html; charset=UTF-8");
        return httplib::Server::HandlerResponse::Handled;
    }
    if (sw.hasSplit) {
        // Plain strings, not shared byte arrays, travel with the provider to
        // the writing thread.
        auto first = std::make_shared<const std::string>(toStd(sw.first));
        auto second = std::make_shared<const std::string>(toStd(sw.second));
        const int pauseMs = sw.pauseMs;
        res.status = 200;
        res.set_content_provider(
            first->size() + second->size(), "text/plain",
            [this, first, second, pauseMs](size_t offset, size_t, httplib::DataSink &sink) {
                if (offset == 0 && !first->empty()) {
                    if (!sink.write(first->data(), first->size()))
                        return false;
                    return switches.pause(pauseMs);
                }
                const size_t from = offset - first->size();
                return sink.write(second->data() + from, second->size() - from);
            });
        return httplib::Server::HandlerResponse::Handled;
    }
    if (sw.hasReply) {
        res.status = 200;
        res.set_content(toStd(sw.reply), "text/plain");
        return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
}

void ReferenceService::Impl::postRouting(const httplib::Request &req, httplib::Response &res, bool tls)
{
    const LoggedRequest entry = RequestLog::entry(req, res.status, tls);
    for (const auto &[name, value] : switches.headers(entry.path))
        res.set_header(toStd(name), toStd(value));
    log.add(entry);
    if (config.logToStderr)
        RequestLog::print(req, entry);
}

// --- Lifetime ----------------------------------------------------------------

bool ReferenceService::httpsSupported()
{
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
    return true;
#else
    return false;
#endif
}

bool ReferenceService::start()
{
    if (isRunning())
        return true;
    d->switches.setStopping(false);
    QDir().mkpath(d->dataDir + QStringLiteral("/media"));
    if (d->config.generateMedia) {
        const MediaSet set = RefService::ensureMedia(d->dataDir + QStringLiteral("/media"), d->config.mediaSeconds);
        if (!set.ok)
            std::fprintf(stderr, "quorvantel-service: %s\n", qPrintable(set.error));
    }

    auto launch = [](httplib::Server &server, std::thread &thread) {
        thread = std::thread([&server] { server.listen_after_bind(); });
        for (int i = 0; i < 5000 && !server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return server.is_running();
    };

    auto http = std::make_unique<httplib::Server>();
    d->setup(*http, false);
    int port = -1;
    if (d->config.port == 0)
        port = http->bind_to_any_port("127.0.0.1");
    else if (http->bind_to_port("127.0.0.1", d->config.port))
        port = d->config.port;
    if (port <= 0) {
        std::fprintf(stderr, "quorvantel-service: cannot bind 127.0.0.1:%d\n", int(d->config.port));
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(d->state.mutex);
        d->state.port = port;
        d->state.catalogueCache.clear();
        d->state.directoryCache.clear();
    }
    d->http = std::move(http);
    if (!launch(*d->http, d->httpThread)) {
        stop();
        return false;
    }

    if (d->config.https) {
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
        const CertificateFiles files = certificateFiles(d->dataDir);
        {
            std::lock_guard<std::mutex> lock(d->listenerMutex);
            d->certPath = files.cert;
            d->keyPath = files.key;
        }
        QString error;
        if (!makeCertificate(files, &error)) {
            std::fprintf(stderr, "quorvantel-service: no HTTPS: %s\n", qPrintable(error));
            stop();
            return false;
        }
        auto https = std::make_unique<httplib::SSLServer>(files.cert.toLocal8Bit().constData(),
                                                          files.key.toLocal8Bit().constData());
        if (!https->is_valid()) {
            std::fprintf(stderr, "quorvantel-service: the certificate in %s is not usable\n", qPrintable(files.cert));
            stop();
            return false;
        }
        d->setup(*https, true);
        int tlsPort = -1;
        if (d->config.httpsPort == 0)
            tlsPort = https->bind_to_any_port("127.0.0.1");
        else if (https->bind_to_port("127.0.0.1", d->config.httpsPort))
            tlsPort = d->config.httpsPort;
        if (tlsPort <= 0) {
            std::fprintf(stderr, "quorvantel-service: cannot bind 127.0.0.1:%d for HTTPS\n", int(d->config.httpsPort));
            stop();
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(d->listenerMutex);
            d->tlsPort = tlsPort;
        }
        d->https = std::move(https);
        if (!launch(*d->https, d->httpsThread)) {
            stop();
            return false;
        }
#else
        std::fprintf(stderr, "quorvantel-service: HTTPS is not available (cpp-httplib without OpenSSL)\n");
        stop();
        return false;
#endif
    }
    std::lock_guard<std::mutex> lock(d->listenerMutex);
    d->running = true;
    return true;
}

void ReferenceService::stop()
{
    {
        std::lock_guard<std::mutex> lock(d->listenerMutex);
        d->running = false;
    }
    // Ends waiting delays and holds.
    d->switches.setStopping(true);
    for (auto *server : {d->http.get(), d->https.get()}) {
        if (server)
            server->stop();
    }
    if (d->httpThread.joinable())
        d->httpThread.join();
    if (d->httpsThread.joinable())
        d->httpsThread.join();
    d->http.reset();
    d->https.reset();
    {
        std::lock_guard<std::mutex> lock(d->state.mutex);
        d->state.port = 0;
    }
    std::lock_guard<std::mutex> lock(d->listenerMutex);
    d->tlsPort = 0;
}

bool ReferenceService::isRunning() const
{
    std::lock_guard<std::mutex> lock(d->listenerMutex);
    return d->running;
}
