#include "service/ReferenceService.h"

#include <httplib.h>

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

using namespace RefService;

namespace {

constexpr int MAX_DELAY_MS = 60000;
constexpr size_t WRITE_SLICE = 64 * 1024;
constexpr size_t MAX_LOGGED = 100000;
// The request's Accept-Encoding is moved to this header before routing, so
// that the HTTP library never compresses a response on its own: every
// Content-Encoding this service sends is the one its configuration asks for.
const char *const ACCEPT_ENCODING_KEPT = "X-Refservice-Accept-Encoding";

std::string toStd(const QByteArray &bytes)
{
    return std::string(bytes.constData(), size_t(bytes.size()));
}

QByteArray toBytes(const std::string &text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

QString fromStd(const std::string &text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The path part of a request target, undecoded.
QString targetPath(const std::string &target)
{
    const size_t q = target.find('?');
    return fromStd(q == std::string::npos ? target : target.substr(0, q));
}

QByteArray targetQuery(const std::string &target)
{
    const size_t q = target.find('?');
    return q == std::string::npos ? QByteArray() : toBytes(target.substr(q + 1));
}

// Whether an Accept-Encoding value allows a coding ("gzip", "deflate"):
// listed by name or "*", without q=0.
bool acceptsCoding(const QByteArray &header, const char *coding)
{
    for (const QByteArray &item : header.split(',')) {
        const QList<QByteArray> parts = item.split(';');
        const QByteArray name = parts.value(0).trimmed().toLower();
        if (name != coding && name != "*")
            continue;
        bool refused = false;
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QByteArray param = parts[i].trimmed().toLower();
            if (param.startsWith("q=")) {
                bool ok = false;
                const double q = param.mid(2).toDouble(&ok);
                refused = ok && q <= 0.0;
            }
        }
        if (!refused)
            return true;
    }
    return false;
}

const char *reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 408: return "Request Timeout";
    case 410: return "Gone";
    case 416: return "Range Not Satisfiable";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "Status";
    }
}

QByteArray html(const QString &title, const QString &bodyHtml)
{
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
                          "<style>body{font-family:sans-serif;margin:16px;background:#f4f4f8;color:#222}"
                          "h1{font-size:20px}.box{background:#fff;border:1px solid #ccd;padding:12px;border-radius:4px}"
                          "td{padding:2px 8px}a.button,button{display:inline-block;padding:6px 14px;background:#2a5db0;"
                          "color:#fff;border:0;border-radius:3px;text-decoration:none}</style></head>"
                          "<body>%2</body></html>\n")
        .arg(title.toHtmlEscaped(), bodyHtml)
        .toUtf8();
}

QByteArray errorPage(int status)
{
    const QString title = QStringLiteral("%1 %2").arg(status).arg(QString::fromLatin1(reasonPhrase(status)));
    return html(title, QStringLiteral("<h1>%1</h1>").arg(title.toHtmlEscaped()));
}

QString lengthText(int seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString urlValue(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

struct Switch
{
    int status = 0;
    int delayMs = 0;
    // Replies wait until the test lets them go; each release counts up.
    bool hold = false;
    quint64 releases = 0;
    bool hasReply = false;
    QByteArray reply;
    bool hasSplit = false;
    QByteArray first;
    QByteArray second;
    int pauseMs = 0;
    std::vector<std::pair<QByteArray, QByteArray>> headers;
};

// A document kept with its encoded forms, so that a large catalogue is
// compressed once and not on every request.
struct EncodedDocument
{
    QByteArray plain;
    std::map<Encoding, QByteArray> encoded;
    void clear()
    {
        plain.clear();
        encoded.clear();
    }
};

} // namespace

struct ReferenceService::Impl
{
    Config config;

    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool running = false;

    std::unique_ptr<httplib::Server> http;
    std::unique_ptr<httplib::Server> https;
    std::thread httpThread;
    std::thread httpsThread;
    int port = 0;
    int tlsPort = 0;
    QString dataDir;
    QString certPath;
    QString keyPath;

    QByteArray revision;
    QByteArray catalogueOverride; // null: demo catalogue
    std::optional<QString> updateUrl;
    std::optional<QString> motd;
    Encoding catalogueEncoding = Encoding::Gzip;
    EncodedDocument catalogueCache;

    std::vector<PpvMovie> movies = demoPpvMovies();
    QHash<QString, std::vector<PpvRental>> rentalsBySerial;
    std::vector<PpvRental> globalRentals = {{501, 93784}, {507, 3600}};
    int orderRentalSeconds = 172800;
    QByteArray ppvOverride;
    Encoding ppvEncoding = Encoding::Gzip;
    bool ppvShowRequiresRental = false;

    QByteArray directoryOverride;
    int directoryCount = -1;
    Encoding directoryEncoding = Encoding::Gzip;
    EncodedDocument directoryCache;

    QString updatePath;
    QByteArray updateBody = defaultUpdateBody();
    UpdateMode updateMode = UpdateMode::Normal;
    qint64 partialBytes = -1;

    QHash<QString, Switch> switches;
    QHash<QString, int> heldRequests; // requests waiting in a hold, by path
    std::vector<LoggedRequest> log;

    QString hostPortLocked() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    QString baseUrlLocked() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }

    // Waits up to ms; false when the service is stopping.
    bool pause(int ms)
    {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait_for(lock, std::chrono::milliseconds(qBound(0, ms, MAX_DELAY_MS)), [this] { return stopping; });
        return !stopping;
    }

    // Waits while the path's replies are held: until a release, the end of
    // the hold, stop() or MAX_DELAY_MS. False when the service is stopping.
    bool waitForRelease(const QString &path)
    {
        std::unique_lock<std::mutex> lock(mutex);
        const auto start = switches.constFind(path);
        if (start == switches.constEnd() || !start->hold)
            return !stopping;
        const quint64 generation = start->releases;
        ++heldRequests[path];
        wake.notify_all();
        wake.wait_for(lock, std::chrono::milliseconds(MAX_DELAY_MS), [&] {
            const auto it = switches.constFind(path);
            return stopping || it == switches.constEnd() || !it->hold || it->releases != generation;
        });
        --heldRequests[path];
        return !stopping;
    }

    void setup(httplib::Server &server, bool tls);
    httplib::Server::HandlerResponse preRouting(const httplib::Request &req, httplib::Response &res);
    void postRouting(const httplib::Request &req, httplib::Response &res, bool tls);
    void handle(const httplib::Request &req, httplib::Response &res, bool tls);

    void sendDocument(const httplib::Request &req, httplib::Response &res, const QByteArray &plain, Encoding encoding,
                      EncodedDocument *cache);
    QByteArray catalogueDocumentLocked() const;
    QByteArray directoryDocumentLocked() const;
    std::vector<PpvRental> rentalsLocked(const QString &serial) const;
    const PpvMovie *movieLocked(int id) const;
    void serveUpdate(httplib::Response &res);
    bool makeCertificate(QString *error);
};

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
    auto handler = [this, tls](const httplib::Request &req, httplib::Response &res) { handle(req, res, tls); };
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
    Switch sw;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = switches.constFind(path);
        if (it != switches.constEnd())
            sw = *it;
    }
    if ((sw.hold && !waitForRelease(path)) || (sw.delayMs > 0 && !pause(sw.delayMs))) {
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
                    return pause(pauseMs);
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
    const QString path = targetPath(req.target);
    LoggedRequest entry;
    entry.method = fromStd(req.method);
    entry.path = path;
    entry.query = targetQuery(req.target);
    entry.target = toBytes(req.target);
    for (const auto &[name, value] : req.headers) {
        const QString key = name == ACCEPT_ENCODING_KEPT ? QStringLiteral("accept-encoding") : fromStd(name).toLower();
        entry.headers.insert(key, fromStd(value));
    }
    entry.status = res.status;
    entry.https = tls;
    bool toStderr = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto it = switches.constFind(path);
        if (it != switches.constEnd()) {
            for (const auto &[name, value] : it->headers)
                res.set_header(toStd(name), toStd(value));
        }
        if (log.size() >= MAX_LOGGED) // a long-running service keeps the recent part
            log.erase(log.begin(), log.begin() + MAX_LOGGED / 10);
        log.push_back(entry);
        toStderr = config.logToStderr;
    }
    if (toStderr) {
        const QByteArray line = QByteArray(tls ? "[https] " : "") + toBytes(req.method) + ' ' + entry.target + " -> "
                                + QByteArray::number(res.status) + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
    }
}

void ReferenceService::Impl::sendDocument(const httplib::Request &req, httplib::Response &res, const QByteArray &plain,
                                          Encoding encoding, EncodedDocument *cache)
{
    const QByteArray accept = toBytes(req.get_header_value(ACCEPT_ENCODING_KEPT));
    switch (encoding) {
    case Encoding::Gzip:
    case Encoding::GzipUpper:
        if (!acceptsCoding(accept, "gzip"))
            encoding = Encoding::Plain;
        break;
    case Encoding::Deflate:
    case Encoding::ZlibDeflate:
        if (!acceptsCoding(accept, "deflate"))
            encoding = Encoding::Plain;
        break;
    case Encoding::Plain:
    case Encoding::BogusGzip:
    case Encoding::Unknown:
        break;
    }
    QByteArray body;
    if (cache) {
        bool found = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (cache->plain.isSharedWith(plain) || cache->plain == plain) {
                const auto it = cache->encoded.find(encoding);
                if (it != cache->encoded.end()) {
                    body = it->second;
                    found = true;
                }
            }
        }
        if (!found) {
            body = encodeBody(plain, encoding);
            std::lock_guard<std::mutex> lock(mutex);
            if (!(cache->plain.isSharedWith(plain) || cache->plain == plain)) {
                cache->clear();
                cache->plain = plain;
            }
            cache->encoded[encoding] = body;
        }
    } else {
        body = encodeBody(plain, encoding);
    }
    const QByteArray header = encodingHeader(encoding);
    if (!header.isEmpty())
        res.set_header("Content-Encoding", toStd(header));
    res.set_header("Vary", "Accept-Encoding");
    res.status = 200;
    res.set_content(toStd(body), "text/xml; charset=UTF-8");
}

QByteArray ReferenceService::Impl::catalogueDocumentLocked() const
{
    if (!catalogueOverride.isNull())
        return catalogueOverride;
    CatalogueInfo info;
    info.motd = motd;
    info.updateUrl = updateUrl;
    return demoCatalogue(hostPortLocked(), info);
}

QByteArray ReferenceService::Impl::directoryDocumentLocked() const
{
    if (!directoryOverride.isNull())
        return directoryOverride;
    if (directoryCount >= 0)
        return generateDirectory(directoryCount, hostPortLocked());
    return demoDirectory(hostPortLocked());
}

std::vector<PpvRental> ReferenceService::Impl::rentalsLocked(const QString &serial) const
{
    std::vector<PpvRental> out = globalRentals;
    const auto it = rentalsBySerial.constFind(serial);
    if (it != rentalsBySerial.constEnd())
        out.insert(out.end(), it->begin(), it->end());
    return out;
}

const PpvMovie *ReferenceService::Impl::movieLocked(int id) const
{
    for (const PpvMovie &m : movies) {
        if (m.id == id)
            return &m;
    }
    return nullptr;
}

void ReferenceService::Impl::serveUpdate(httplib::Response &res)
{
    std::shared_ptr<const std::string> body;
    UpdateMode mode;
    qint64 partial;
    {
        std::lock_guard<std::mutex> lock(mutex);
        body = std::make_shared<const std::string>(toStd(updateBody));
        mode = updateMode;
        partial = partialBytes;
    }
    const char *type = "application/octet-stream";
    res.status = 200;
    const size_t size = body->size();
    switch (mode) {
    case UpdateMode::Normal:
        res.set_content(*body, type);
        return;
    case UpdateMode::Chunked:
    case UpdateMode::NoLength: {
        auto provider = [body, size](size_t offset, httplib::DataSink &sink) {
            if (offset >= size) {
                sink.done();
                return true;
            }
            return sink.write(body->data() + offset, qMin(WRITE_SLICE, size - offset));
        };
        if (mode == UpdateMode::Chunked)
            res.set_chunked_content_provider(type, provider);
        else
            res.set_content_provider(type, provider);
        return;
    }
    case UpdateMode::Partial: {
        const size_t sent = partial < 0 ? size / 2 : qMin(size_t(partial), size);
        res.set_content_provider(size, type, [body, sent](size_t offset, size_t, httplib::DataSink &sink) {
            if (offset >= sent)
                return false; // close the connection short of the announced length
            return sink.write(body->data() + offset, qMin(WRITE_SLICE, sent - offset));
        });
        return;
    }
    }
}

void ReferenceService::Impl::handle(const httplib::Request &req, httplib::Response &res, bool tls)
{
    const QString path = targetPath(req.target);
    const QString serial = fromStd(req.get_param_value("serial"));
    auto page = [&res](const QByteArray &body, int status = 200) {
        res.status = status;
        res.set_content(toStd(body), "text/html; charset=UTF-8");
    };
    auto text = [&res](const QByteArray &body) {
        res.status = 200;
        res.set_content(toStd(body), "text/plain");
    };
    auto intParam = [&req](const char *key, bool *ok) {
        return QString::fromStdString(req.get_param_value(key)).toInt(ok);
    };

    if (path == QLatin1String("/cacheversion.txt")) {
        std::lock_guard<std::mutex> lock(mutex);
        text(revision);
        return;
    }
    if (path == QLatin1String("/getstreams.php")) {
        QByteArray doc;
        Encoding encoding;
        {
            std::lock_guard<std::mutex> lock(mutex);
            doc = catalogueDocumentLocked();
            encoding = catalogueEncoding;
        }
        sendDocument(req, res, doc, encoding, &catalogueCache);
        return;
    }
    if (path == QLatin1String("/getppv.php")) {
        QByteArray doc;
        Encoding encoding;
        {
            std::lock_guard<std::mutex> lock(mutex);
            doc = ppvOverride.isNull() ? ppvDocument(movies, rentalsLocked(serial)) : ppvOverride;
            encoding = ppvEncoding;
        }
        sendDocument(req, res, doc, encoding, nullptr);
        return;
    }
    if (path == QLatin1String("/yp.xml")) {
        QByteArray doc;
        Encoding encoding;
        {
            std::lock_guard<std::mutex> lock(mutex);
            doc = directoryDocumentLocked();
            encoding = directoryEncoding;
        }
        sendDocument(req, res, doc, encoding, &directoryCache);
        return;
    }
    if (path == QLatin1String("/brokenstreamreport.php") || path == QLatin1String("/tul/prog/streamtips.php")
        || path == QLatin1String("/tul/prog/recruitperson.php")) {
        text("OK");
        return;
    }
    if (path == QLatin1String("/ppvshow.php")) {
        bool ok = false;
        const int id = intParam("videoid", &ok);
        std::lock_guard<std::mutex> lock(mutex);
        const PpvMovie *movie = ok ? movieLocked(id) : nullptr;
        if (!movie) {
            page(errorPage(404), 404);
            return;
        }
        if (ppvShowRequiresRental) {
            bool rented = false;
            for (const PpvRental &r : rentalsLocked(serial))
                rented = r.videoId == id ? r.timeLeft > 0 : rented;
            if (!rented) {
                page(errorPage(403), 403);
                return;
            }
        }
        const QString file = movie->mediaFile.isEmpty() ? QStringLiteral("test.mp4") : movie->mediaFile;
        res.set_redirect(QStringLiteral("%1/media/%2").arg(baseUrlLocked(), file).toStdString(), 302);
        return;
    }
    if (path == QLatin1String("/getPPVDescription.php")) {
        bool ok = false;
        const int id = intParam("id", &ok);
        std::lock_guard<std::mutex> lock(mutex);
        const PpvMovie *movie = ok ? movieLocked(id) : nullptr;
        if (!movie) {
            page(html(QStringLiteral("Movie not found"), QStringLiteral("<h1>Movie not found</h1>")), 404);
            return;
        }
        const QString body =
            QStringLiteral("<div class=\"box\"><h1 id=\"title\">%1</h1><p id=\"description\">%2</p><table>"
                           "<tr><td>Category</td><td>%3</td></tr><tr><td>Length</td><td>%4</td></tr>"
                           "<tr><td>Bit rate</td><td>%5 kbit/s</td></tr>%6"
                           "<tr><td>Price</td><td>NOK 39,00 for 48 hours</td></tr></table>"
                           "<p>Press Buy to rent this movie.</p></div>")
                .arg(movie->name.toHtmlEscaped(), movie->description.toHtmlEscaped(),
                     movie->category.toHtmlEscaped(), lengthText(movie->length))
                .arg(movie->bitrate)
                .arg(movie->adult ? QStringLiteral("<tr><td>Rating</td><td>Adults only</td></tr>") : QString());
        page(html(movie->name, body));
        return;
    }
    if (path == QLatin1String("/ppv/ppvorder.php")) {
        bool ok = false;
        int id = intParam("videoid", &ok);
        if (!ok)
            id = intParam("id", &ok);
        std::lock_guard<std::mutex> lock(mutex);
        const PpvMovie *movie = ok ? movieLocked(id) : nullptr;
        if (!movie) {
            page(html(QStringLiteral("Order"), QStringLiteral("<h1>No such movie</h1>")), 404);
            return;
        }
        const QString verify = QStringLiteral("/ppv/ppvorder_verify.php?serial=%1&videoid=%2").arg(urlValue(serial)).arg(id);
        const QString body =
            QStringLiteral("<div class=\"box\"><h1>Order: %1</h1><p>Account: %2</p><p>Price: NOK 39,00 for 48 hours</p>"
                           "<form id=\"order\" method=\"get\" action=\"/ppv/ppvorder_verify.php\">"
                           "<input type=\"hidden\" name=\"serial\" value=\"%3\">"
                           "<input type=\"hidden\" name=\"videoid\" value=\"%4\">"
                           "<p>Card holder: <input type=\"text\" name=\"holder\" value=\"Test Customer\"></p>"
                           "<button id=\"confirm\" type=\"submit\">Confirm order</button></form>"
                           "<p><a id=\"confirm-link\" href=\"%5\">Confirm without the form</a></p></div>")
                .arg(movie->name.toHtmlEscaped(), serial.toHtmlEscaped(), serial.toHtmlEscaped())
                .arg(id)
                .arg(verify.toHtmlEscaped());
        page(html(QStringLiteral("Order"), body));
        return;
    }
    if (path == QLatin1String("/ppv/ppvorder_verify.php")) {
        bool ok = false;
        const int id = intParam("videoid", &ok);
        std::lock_guard<std::mutex> lock(mutex);
        const PpvMovie *movie = ok ? movieLocked(id) : nullptr;
        if (!movie) {
            page(html(QStringLiteral("Order"), QStringLiteral("<h1>No such movie</h1>")), 404);
            return;
        }
        std::vector<PpvRental> &list = rentalsBySerial[serial];
        bool updated = false;
        for (PpvRental &r : list) {
            if (r.videoId == id) {
                r.timeLeft = orderRentalSeconds;
                updated = true;
            }
        }
        if (!updated)
            list.push_back({id, orderRentalSeconds});
        page(html(QStringLiteral("Order confirmed"),
                  QStringLiteral("<div class=\"box\"><h1 id=\"confirmed\">Thank you!</h1><p>Your order of %1 is confirmed. "
                                 "Close this window to watch the movie.</p>"
                                 "<p><button id=\"close\" type=\"button\" onclick=\"window.close()\">Close</button></p></div>")
                      .arg(movie->name.toHtmlEscaped())));
        return;
    }
    if (path == QLatin1String("/viewforum.php")) {
        page(html(QStringLiteral("Quorvantel help forum"),
                  QStringLiteral("<h1>Quorvantel help forum</h1><div class=\"box\"><ul>"
                                 "<li>Getting started: choosing full or limited mode</li>"
                                 "<li>Why does a stream not play?</li>"
                                 "<li>Setting the parental password</li>"
                                 "<li>Renting pay-per-view movies</li></ul></div>")));
        return;
    }
    bool isUpdate = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        isUpdate = path == updatePath;
    }
    if (isUpdate) {
        serveUpdate(res);
        return;
    }
    if (path == QLatin1String("/")) {
        page(html(QStringLiteral("quorvantel-service"),
                  QStringLiteral("<h1>quorvantel-service</h1><ul>"
                                 "<li><a href=\"/cacheversion.txt\">/cacheversion.txt</a></li>"
                                 "<li><a href=\"/getstreams.php?version=10.0.0&amp;serial=&amp;lang=\">/getstreams.php</a></li>"
                                 "<li><a href=\"/getppv.php?serial=\">/getppv.php</a></li>"
                                 "<li><a href=\"/yp.xml\">/yp.xml</a></li>"
                                 "<li><a href=\"/viewforum.php?f=11\">/viewforum.php</a></li></ul>")));
        return;
    }
    Q_UNUSED(tls);
    page(errorPage(404), 404);
}

// --- Certificate ------------------------------------------------------------

bool ReferenceService::Impl::makeCertificate(QString *error)
{
    const QString dir = dataDir + QStringLiteral("/tls");
    certPath = dir + QStringLiteral("/cert.pem");
    keyPath = dir + QStringLiteral("/key.pem");
    auto present = [this] {
        return QFileInfo(certPath).size() > 0 && QFileInfo(keyPath).size() > 0;
    };
    if (present())
        return true;
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (openssl.isEmpty()) {
        *error = QStringLiteral("the openssl command is not installed");
        return false;
    }
    QLockFile lock(dir + QStringLiteral("/.generate.lock"));
    if (!lock.tryLock(60000)) {
        *error = QStringLiteral("cannot lock %1").arg(dir);
        return false;
    }
    if (present())
        return true;
    const QString partialCert = certPath + QStringLiteral(".partial");
    const QString partialKey = keyPath + QStringLiteral(".partial");
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(openssl, {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                            QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                            QStringLiteral("-keyout"), partialKey, QStringLiteral("-out"), partialCert,
                            QStringLiteral("-days"), QStringLiteral("3650"), QStringLiteral("-subj"),
                            QStringLiteral("/CN=127.0.0.1/O=Quorvantel reference service"), QStringLiteral("-addext"),
                            QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost")});
    const bool finished = process.waitForStarted(10000) && process.waitForFinished(60000);
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = QStringLiteral("openssl failed: ") + QString::fromLocal8Bit(process.readAll()).trimmed();
        QFile::remove(partialCert);
        QFile::remove(partialKey);
        return false;
    }
    QFile::remove(certPath);
    QFile::remove(keyPath);
    if (!QFile::rename(partialKey, keyPath) || !QFile::rename(partialCert, certPath)) {
        *error = QStringLiteral("cannot store the certificate in %1").arg(dir);
        return false;
    }
    return true;
}

// --- ReferenceService ---------------------------------------------------------

ReferenceService::ReferenceService() : ReferenceService(Config()) {}

ReferenceService::ReferenceService(const Config &config) : d(std::make_unique<Impl>())
{
    d->config = config;
    d->dataDir = config.dataDir.isEmpty() ? defaultDataDir() : QDir(config.dataDir).absolutePath();
    d->revision = revisionBody(config.revision);
    if (!config.updateUrl.isEmpty())
        d->updateUrl = config.updateUrl;
    d->motd = demoCatalogueInfo().motd;
    d->updatePath = config.updatePath.isEmpty() ? QStringLiteral("/update/latest.bin") : config.updatePath;
}

ReferenceService::~ReferenceService()
{
    stop();
}

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
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->stopping = false;
    }
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
        std::lock_guard<std::mutex> lock(d->mutex);
        d->port = port;
        d->catalogueCache.clear();
        d->directoryCache.clear();
    }
    d->http = std::move(http);
    if (!launch(*d->http, d->httpThread)) {
        stop();
        return false;
    }

    if (d->config.https) {
#ifdef CPPHTTPLIB_OPENSSL_SUPPORT
        QString error;
        if (!d->makeCertificate(&error)) {
            std::fprintf(stderr, "quorvantel-service: no HTTPS: %s\n", qPrintable(error));
            stop();
            return false;
        }
        auto https = std::make_unique<httplib::SSLServer>(d->certPath.toLocal8Bit().constData(),
                                                          d->keyPath.toLocal8Bit().constData());
        if (!https->is_valid()) {
            std::fprintf(stderr, "quorvantel-service: the certificate in %s is not usable\n", qPrintable(d->certPath));
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
            std::lock_guard<std::mutex> lock(d->mutex);
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
    std::lock_guard<std::mutex> lock(d->mutex);
    d->running = true;
    return true;
}

void ReferenceService::stop()
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->stopping = true;
        d->running = false;
    }
    d->wake.notify_all();
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
    std::lock_guard<std::mutex> lock(d->mutex);
    d->port = 0;
    d->tlsPort = 0;
}

bool ReferenceService::isRunning() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->running;
}

int ReferenceService::port() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->port;
}

QString ReferenceService::hostPort() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->hostPortLocked();
}

QString ReferenceService::baseUrl() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->baseUrlLocked();
}

QString ReferenceService::dataDir() const
{
    return d->dataDir;
}

bool ReferenceService::httpsRunning() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->running && d->tlsPort > 0;
}

int ReferenceService::httpsPort() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->tlsPort;
}

QString ReferenceService::httpsHostPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(httpsPort());
}

QString ReferenceService::httpsBaseUrl() const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(httpsPort());
}

QString ReferenceService::certificatePath() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->certPath;
}

QString ReferenceService::certificateKeyPath() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->keyPath;
}

void ReferenceService::setRevision(int revision)
{
    setRevisionBody(revisionBody(revision));
}

void ReferenceService::setRevisionBody(const QByteArray &body)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->revision = body;
}

void ReferenceService::setCatalogue(const QByteArray &xml)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->catalogueOverride = xml;
    d->catalogueCache.clear();
}

QByteArray ReferenceService::catalogue() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->catalogueDocumentLocked();
}

void ReferenceService::setCatalogueEncoding(Encoding encoding)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->catalogueEncoding = encoding;
}

void ReferenceService::setUpdateUrl(const QString &url)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->updateUrl = url.isEmpty() ? std::nullopt : std::optional<QString>(url);
    d->catalogueCache.clear();
}

void ReferenceService::setMotd(const QString &motd)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->motd = motd;
    d->catalogueCache.clear();
}

void ReferenceService::setPpvMovies(const std::vector<PpvMovie> &movies)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->movies = movies;
}

std::vector<PpvMovie> ReferenceService::ppvMovies() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->movies;
}

void ReferenceService::setRental(const QString &serial, int videoId, int timeLeft)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    std::vector<PpvRental> &list = d->rentalsBySerial[serial];
    for (PpvRental &r : list) {
        if (r.videoId == videoId) {
            r.timeLeft = timeLeft;
            return;
        }
    }
    list.push_back({videoId, timeLeft});
}

void ReferenceService::setGlobalRental(int videoId, int timeLeft)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    for (PpvRental &r : d->globalRentals) {
        if (r.videoId == videoId) {
            r.timeLeft = timeLeft;
            return;
        }
    }
    d->globalRentals.push_back({videoId, timeLeft});
}

void ReferenceService::clearRentals()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->globalRentals.clear();
    d->rentalsBySerial.clear();
}

std::vector<PpvRental> ReferenceService::rentals(const QString &serial) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->rentalsLocked(serial);
}

void ReferenceService::setOrderRentalSeconds(int seconds)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->orderRentalSeconds = seconds;
}

void ReferenceService::setPpvDocument(const QByteArray &xml)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->ppvOverride = xml;
}

void ReferenceService::setPpvEncoding(Encoding encoding)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->ppvEncoding = encoding;
}

void ReferenceService::setPpvShowRequiresRental(bool required)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->ppvShowRequiresRental = required;
}

void ReferenceService::setDirectory(const QByteArray &xml)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->directoryOverride = xml;
    d->directoryCache.clear();
}

void ReferenceService::setDirectoryCount(int count)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->directoryOverride = QByteArray();
    d->directoryCount = count;
    d->directoryCache.clear();
}

void ReferenceService::setDirectoryEncoding(Encoding encoding)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->directoryEncoding = encoding;
}

void ReferenceService::setUpdatePath(const QString &path)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->updatePath = path;
}

QString ReferenceService::updatePath() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->updatePath;
}

QString ReferenceService::updateFileUrl() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->baseUrlLocked() + d->updatePath;
}

void ReferenceService::setUpdateBody(const QByteArray &body)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->updateBody = body;
}

void ReferenceService::setUpdateMode(UpdateMode mode, qint64 partialBytes)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->updateMode = mode;
    d->partialBytes = partialBytes;
}

MediaSet ReferenceService::ensureMedia()
{
    return RefService::ensureMedia(d->dataDir + QStringLiteral("/media"), d->config.mediaSeconds);
}

MediaSet ReferenceService::media() const
{
    return existingMedia(d->dataDir + QStringLiteral("/media"));
}

QString ReferenceService::mediaUrl(const QString &fileName) const
{
    return baseUrl() + QStringLiteral("/media/") + fileName;
}

void ReferenceService::setStatus(const QString &path, int status)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->switches[path].status = status;
}

void ReferenceService::setDelay(const QString &path, int milliseconds)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->switches[path].delayMs = qBound(0, milliseconds, MAX_DELAY_MS);
}

void ReferenceService::holdReplies(const QString &path)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->switches[path].hold = true;
}

void ReferenceService::releaseReplies(const QString &path, bool keepHolding)
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        Switch &sw = d->switches[path];
        ++sw.releases;
        sw.hold = keepHolding;
    }
    d->wake.notify_all();
}

int ReferenceService::heldRequestCount(const QString &path) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->heldRequests.value(path);
}

bool ReferenceService::waitForHeldRequest(const QString &path, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(d->mutex);
    return d->wake.wait_for(lock, std::chrono::milliseconds(qBound(0, timeoutMs, MAX_DELAY_MS)),
                            [&] { return d->stopping || d->heldRequests.value(path) > 0; }) &&
           !d->stopping;
}

void ReferenceService::setReply(const QString &path, const QByteArray &body)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    Switch &sw = d->switches[path];
    sw.hasReply = true;
    sw.reply = body;
    sw.hasSplit = false;
}

void ReferenceService::setSplitReply(const QString &path, const QByteArray &first, const QByteArray &second, int pauseMs)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    Switch &sw = d->switches[path];
    sw.hasSplit = true;
    sw.first = first;
    sw.second = second;
    sw.pauseMs = qBound(0, pauseMs, MAX_DELAY_MS);
    sw.hasReply = false;
}

void ReferenceService::setHeader(const QString &path, const QByteArray &name, const QByteArray &value)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->switches[path].headers.emplace_back(name, value);
}

void ReferenceService::clearSwitches()
{
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->switches.clear();
    }
    // Held replies go too.
    d->wake.notify_all();
}

std::vector<LoggedRequest> ReferenceService::requests() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->log;
}

std::vector<LoggedRequest> ReferenceService::requests(const QString &path) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    std::vector<LoggedRequest> out;
    for (const LoggedRequest &r : d->log) {
        if (r.path == path)
            out.push_back(r);
    }
    return out;
}

int ReferenceService::requestCount(const QString &path) const
{
    return int(requests(path).size());
}

void ReferenceService::clearRequests()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->log.clear();
}
