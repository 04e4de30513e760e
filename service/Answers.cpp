#include "service/Answers.h"

#include "service/Pages.h"
#include "service/ServiceState.h"
#include "service/Wire.h"

#include <httplib.h>

#include <QUrl>

#include <mutex>
#include <utility>

namespace RefService {

namespace {

constexpr size_t WRITE_SLICE = 64 * 1024;

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

void page(httplib::Response &res, const QByteArray &body, int status = 200)
{
    res.status = status;
    res.set_content(toStd(body), "text/html; charset=UTF-8");
}

void text(httplib::Response &res, const QByteArray &body)
{
    res.status = 200;
    res.set_content(toStd(body), "text/plain");
}

int intParam(const httplib::Request &req, const char *key, bool *ok)
{
    return QString::fromStdString(req.get_param_value(key)).toInt(ok);
}

QString serialParam(const httplib::Request &req)
{
    return fromStd(req.get_param_value("serial"));
}

void sendDocument(ServiceState &state, const httplib::Request &req, httplib::Response &res, const QByteArray &plain,
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
            std::lock_guard<std::mutex> lock(state.mutex);
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
            std::lock_guard<std::mutex> lock(state.mutex);
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

// Sends the document and encoding that make reads from the state while
// holding its lock; the encoding and sending happen after the lock is let go.
template<typename Make>
void sendStateDocument(ServiceState &state, const httplib::Request &req, httplib::Response &res,
                       EncodedDocument *cache, Make make)
{
    std::pair<QByteArray, Encoding> doc;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        doc = make();
    }
    sendDocument(state, req, res, doc.first, doc.second, cache);
}

} // namespace

void answerRevision(ServiceState &state, const httplib::Request &, httplib::Response &res)
{
    std::lock_guard<std::mutex> lock(state.mutex);
    text(res, state.revision);
}

void answerCatalogue(ServiceState &state, const httplib::Request &req, httplib::Response &res)
{
    sendStateDocument(state, req, res, &state.catalogueCache, [&state] {
        return std::pair(state.catalogueDocumentLocked(), state.catalogueEncoding);
    });
}

void answerPpv(ServiceState &state, const httplib::Request &req, httplib::Response &res)
{
    const QString serial = serialParam(req);
    sendStateDocument(state, req, res, nullptr, [&state, &serial] {
        return std::pair(state.ppvOverride.isNull() ? ppvDocument(state.movies, state.rentalsLocked(serial))
                                                    : state.ppvOverride,
                         state.ppvEncoding);
    });
}

void answerDirectory(ServiceState &state, const httplib::Request &req, httplib::Response &res)
{
    sendStateDocument(state, req, res, &state.directoryCache, [&state] {
        return std::pair(state.directoryDocumentLocked(), state.directoryEncoding);
    });
}

void answerServiceRequest(ServiceState &, const httplib::Request &, httplib::Response &res)
{
    text(res, "OK");
}

void answerPpvShow(ServiceState &state, const httplib::Request &req, httplib::Response &res)
{
    const QString serial = serialParam(req);
    bool ok = false;
    const int id = intParam(req, "videoid", &ok);
    std::lock_guard<std::mutex> lock(state.mutex);
    const PpvMovie *movie = ok ? state.movieLocked(id) : nullptr;
    if (!movie) {
        page(res, errorPage(404), 404);
        return;
    }
    if (state.ppvShowRequiresRental) {
        bool rented = false;
        for (const PpvRental &r : state.rentalsLocked(serial))
            rented = r.videoId == id ? r.timeLeft > 0 : rented;
        if (!rented) {
            page(res, errorPage(403), 403);
            return;
        }
    }
    const QString file = movie->mediaFile.isEmpty() ? QStringLiteral("test.mp4") : movie->mediaFile;
    res.set_redirect(QStringLiteral("%1/media/%2").arg(state.baseUrlLocked(), file).toStdString(), 302);
}

void answerPpvDescription(ServiceState &state, const httplib::Request &req, httplib::Response &res)
{
    bool ok = false;
    const int id = intParam(req, "id", &ok);
    std::lock_guard<std::mutex> lock(state.mutex);
    const PpvMovie *movie = ok ? state.movieLocked(id) : nullptr;
    if (!movie) {
        page(res, html(QStringLiteral("Movie not found"), QStringLiteral("<h1>Movie not found</h1>")), 404);
        return;
    }
    const QString body =
        QStringLiteral("<div class=\"box\"><h1 id=\"title\">%1</h1><p id=\"description\">%2</p><table>"
                       "<tr><td>Category</td><td>%3</td></tr><tr><td>Length</td><td>%4</td></tr>"
                       "<tr><td>Bit rate</td><td>%5 kbit/s</td></tr>%6"
                       "<tr><td>Price</td><td>NOK 39,00 for 48 hours</td></tr></table>"
                       "<p>Press Buy to rent this movie.</p></div>")
            .arg(movie->name.toHtmlEscaped(), movie->description.toHtmlEscaped(), movie->category.toHtmlEscaped(),
                 lengthText(movie->length))
            .arg(movie->bitrate)
            .arg(movie->adult ? QStringLiteral("<tr><td>Rating</td><td>Adults only</td></tr>") : QString());
    page(res, html(movie->name, body));
}

void answerOrder(ServiceState &state, const httplib::Request &req, httplib::Response &res)
{
    const QString serial = serialParam(req);
    bool ok = false;
    int id = intParam(req, "videoid", &ok);
    if (!ok)
        id = intParam(req, "id", &ok);
    std::lock_guard<std::mutex> lock(state.mutex);
    const PpvMovie *movie = ok ? state.movieLocked(id) : nullptr;
    if (!movie) {
        page(res, html(QStringLiteral("Order"), QStringLiteral("<h1>No such movie</h1>")), 404);
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
    page(res, html(QStringLiteral("Order"), body));
}

void answerOrderVerify(ServiceState &state, const httplib::Request &req, httplib::Response &res)
{
    const QString serial = serialParam(req);
    bool ok = false;
    const int id = intParam(req, "videoid", &ok);
    std::lock_guard<std::mutex> lock(state.mutex);
    const PpvMovie *movie = ok ? state.movieLocked(id) : nullptr;
    if (!movie) {
        page(res, html(QStringLiteral("Order"), QStringLiteral("<h1>No such movie</h1>")), 404);
        return;
    }
    std::vector<PpvRental> &list = state.rentalsBySerial[serial];
    bool updated = false;
    for (PpvRental &r : list) {
        if (r.videoId == id) {
            r.timeLeft = state.orderRentalSeconds;
            updated = true;
        }
    }
    if (!updated)
        list.push_back({id, state.orderRentalSeconds});
    page(res, html(QStringLiteral("Order confirmed"),
                   QStringLiteral("<div class=\"box\"><h1 id=\"confirmed\">Thank you!</h1><p>Your order of %1 is confirmed. "
                                  "Close this window to watch the movie.</p>"
                                  "<p><button id=\"close\" type=\"button\" onclick=\"window.close()\">Close</button></p></div>")
                       .arg(movie->name.toHtmlEscaped())));
}

void answerForum(ServiceState &, const httplib::Request &, httplib::Response &res)
{
    page(res, html(QStringLiteral("Quorvantel help forum"),
                   QStringLiteral("<h1>Quorvantel help forum</h1><div class=\"box\"><ul>"
                                  "<li>Getting started: choosing full or limited mode</li>"
                                  "<li>Why does a stream not play?</li>"
                                  "<li>Setting the parental password</li>"
                                  "<li>Renting pay-per-view movies</li></ul></div>")));
}

void answerUpdate(ServiceState &state, const httplib::Request &, httplib::Response &res)
{
    std::shared_ptr<const std::string> body;
    UpdateMode mode;
    qint64 partial;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        body = std::make_shared<const std::string>(toStd(state.updateBody));
        mode = state.updateMode;
        partial = state.partialBytes;
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

void answerIndex(ServiceState &, const httplib::Request &, httplib::Response &res)
{
    page(res, html(QStringLiteral("quorvantel-service"),
                   QStringLiteral("<h1>quorvantel-service</h1><ul>"
                                  "<li><a href=\"/cacheversion.txt\">/cacheversion.txt</a></li>"
                                  "<li><a href=\"/getstreams.php?version=10.0.0&amp;serial=&amp;lang=\">/getstreams.php</a></li>"
                                  "<li><a href=\"/getppv.php?serial=\">/getppv.php</a></li>"
                                  "<li><a href=\"/yp.xml\">/yp.xml</a></li>"
                                  "<li><a href=\"/viewforum.php?f=11\">/viewforum.php</a></li></ul>")));
}

void answerUnknown(ServiceState &, const httplib::Request &, httplib::Response &res)
{
    page(res, errorPage(404), 404);
}

} // namespace RefService
