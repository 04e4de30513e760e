#include "catalogue/Http.h"

#include "catalogue/Zlib.h"

#include <QElapsedTimer>
#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace Http {

namespace {

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string toStd(const QString &text)
{
    return text.toStdString();
}

// Streaming decoder for a response body: gzip, deflate (raw, or wrapped in a
// zlib header as some servers send it) or identity. Output is appended to
// the caller's buffer as input arrives, so the compressed body is never held
// whole.
class BodyDecoder
{
public:
    enum class Coding { Identity, Gzip, Deflate };

    BodyDecoder(Coding coding, QByteArray &out, qint64 maxBytes) : m_coding(coding), m_out(out), m_max(maxBytes)
    {
        if (coding != Coding::Identity)
            m_inflater.emplace(coding == Coding::Gzip ? Zlib::Inflater::Format::Gzip : Zlib::Inflater::Format::Deflate,
                               out, maxBytes);
    }

    // Feeds a chunk; returns false with kind()/message() set on failure.
    bool feed(const char *data, size_t size)
    {
        if (m_coding == Coding::Identity)
            return append(data, size);
        return m_inflater->feed(data, size) || failed();
    }

    // Called at the end of the body.
    bool finish()
    {
        if (m_coding == Coding::Identity)
            return true;
        return m_inflater->finish() || failed();
    }

    HttpError::Kind kind() const { return m_kind; }
    const std::string &message() const { return m_message; }

private:
    bool append(const char *data, size_t size)
    {
        if (qint64(m_out.size()) + qint64(size) > m_max)
            return fail(HttpError::Kind::TooLarge,
                        "The body is larger than " + std::to_string(m_max) + " bytes");
        m_out.append(data, qsizetype(size));
        return true;
    }

    // Takes the inflater's failure into kind() and message(); returns false.
    bool failed()
    {
        const std::optional<std::string> &detail = m_inflater->detail();
        switch (m_inflater->failure()) {
        case Zlib::Inflater::Failure::Start:
            return fail(HttpError::Kind::Decode, "Cannot start the decoder");
        case Zlib::Inflater::Failure::TooLarge:
            return fail(HttpError::Kind::TooLarge,
                        "The body is larger than " + std::to_string(m_max) + " bytes");
        case Zlib::Inflater::Failure::Truncated:
            return fail(HttpError::Kind::Decode, "The compressed body ends before its end marker");
        case Zlib::Inflater::Failure::Invalid:
        case Zlib::Inflater::Failure::None:
            break;
        }
        return fail(HttpError::Kind::Decode,
                    std::string("The body is not valid ") + (m_coding == Coding::Gzip ? "gzip" : "deflate")
                        + " data" + (detail ? std::string(": ") + *detail : std::string()));
    }

    bool fail(HttpError::Kind kind, const std::string &message)
    {
        m_kind = kind;
        m_message = message;
        return false;
    }

    Coding m_coding;
    QByteArray &m_out;
    qint64 m_max;
    std::optional<Zlib::Inflater> m_inflater;
    HttpError::Kind m_kind = HttpError::Kind::Decode;
    std::string m_message;
};

// The decoder for a Content-Encoding value, compared ignoring case.
BodyDecoder::Coding codingOf(const QString &contentEncoding)
{
    const QString enc = contentEncoding.trimmed();
    if (enc.compare(QLatin1String("gzip"), Qt::CaseInsensitive) == 0)
        return BodyDecoder::Coding::Gzip;
    if (enc.compare(QLatin1String("deflate"), Qt::CaseInsensitive) == 0)
        return BodyDecoder::Coding::Deflate;
    return BodyDecoder::Coding::Identity;
}

struct Transfer
{
    const Request *request = nullptr;
    CURL *curl = nullptr;
    Response response;
    std::unique_ptr<BodyDecoder> decoder;
    bool failed = false;
    HttpError::Kind failKind = HttpError::Kind::Connect;
    std::string failMessage;
    qint64 received = 0;
    qint64 delivered = 0; // body bytes handed to Request::sink
    QElapsedTimer sinceData;
    // The rate bound: bytes on the wire (headers and body) and the window
    // that began with the first of them.
    qint64 wireBytes = 0;
    qint64 windowStartBytes = 0;
    QElapsedTimer window;

    void arrived(size_t length)
    {
        sinceData.restart();
        if (!window.isValid())
            window.start();
        wireBytes += qint64(length);
    }

    void fail(HttpError::Kind kind, const std::string &message)
    {
        failed = true;
        failKind = kind;
        failMessage = message;
    }

    // Hands what the decoder has produced to the request's sink, if any.
    bool deliver()
    {
        if (!request->sink || response.body.isEmpty())
            return true;
        delivered += qint64(response.body.size());
        if (delivered > request->maxBytes) {
            fail(HttpError::Kind::TooLarge, "The body is larger than " + std::to_string(request->maxBytes) + " bytes");
            return false;
        }
        const bool taken = request->sink(response.body.constData(), qint64(response.body.size()));
        response.body.resize(0);
        if (!taken) {
            fail(HttpError::Kind::Connect, "The body could not be stored");
            return false;
        }
        return true;
    }
};

size_t onHeader(char *data, size_t size, size_t count, void *user)
{
    auto *t = static_cast<Transfer *>(user);
    const size_t length = size * count;
    const QByteArray line = QByteArray(data, qsizetype(length)).trimmed();
    t->arrived(length);
    if (line.startsWith("HTTP/")) {
        // A new response (after a redirect or a 100 Continue): forget the
        // headers of the one before.
        t->response.contentEncoding.clear();
        t->response.contentLength = -1;
        return length;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return length;
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "content-encoding")
        t->response.contentEncoding = QString::fromLatin1(value);
    else if (name == "content-length") {
        bool ok = false;
        const qint64 n = value.toLongLong(&ok);
        t->response.contentLength = ok ? n : -1;
    }
    return length;
}

size_t onData(char *data, size_t size, size_t count, void *user)
{
    auto *t = static_cast<Transfer *>(user);
    const size_t length = size * count;
    t->arrived(length);
    if (!t->decoder) {
        const BodyDecoder::Coding coding =
            t->request->decode ? codingOf(t->response.contentEncoding) : BodyDecoder::Coding::Identity;
        if (coding == BodyDecoder::Coding::Identity && t->response.contentLength > t->request->maxBytes) {
            t->fail(HttpError::Kind::TooLarge, "The announced body of " + std::to_string(t->response.contentLength)
                                                   + " bytes is larger than "
                                                   + std::to_string(t->request->maxBytes) + " bytes");
            return 0;
        }
        if (coding == BodyDecoder::Coding::Identity && t->response.contentLength > 0 && !t->request->sink)
            t->response.body.reserve(qsizetype(t->response.contentLength));
        t->decoder = std::make_unique<BodyDecoder>(coding, t->response.body, t->request->maxBytes);
    }
    t->received += qint64(length);
    if (!t->decoder->feed(data, length)) {
        t->fail(t->decoder->kind(), t->decoder->message());
        return 0;
    }
    if (!t->deliver())
        return 0;
    if (t->request->progress && !t->request->progress(t->received, t->response.contentLength)) {
        t->fail(HttpError::Kind::Connect, "The transfer was cancelled");
        return 0;
    }
    return length;
}

// Why a running transfer must end now, if it must: a stop request, no byte
// for the stall timeout, or too few bytes in the last rate window. Starts
// the next rate window when the last one brought enough.
std::optional<std::string> mustEnd(Transfer &t, const QString &url)
{
    const Request &r = *t.request;
    if (r.stop.stop_requested())
        return std::string("The transfer was cancelled");
    if (t.sinceData.elapsed() > r.stallTimeoutMs)
        return "No data for " + std::to_string(r.stallTimeoutMs) + " ms from " + toStd(url);
    if (t.window.isValid() && r.rateWindowMs > 0 && t.window.elapsed() >= r.rateWindowMs) {
        if (t.wireBytes - t.windowStartBytes < r.minRateBytes)
            return "Fewer than " + std::to_string(r.minRateBytes) + " bytes in " + std::to_string(r.rateWindowMs)
                   + " ms from " + toStd(url);
        t.windowStartBytes = t.wireBytes;
        t.window.restart();
    }
    return std::nullopt;
}

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The address as it goes on the wire: bytes that may not stand in a URL
// (blanks, controls, non-ASCII letters as UTF-8, a few marks, a "%" that
// starts no escape) percent-encoded; everything else exactly as given, so
// values encoded by the caller reach the server unchanged.
QByteArray wireUrl(const QString &url)
{
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray utf8 = url.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const auto u = uchar(c);
        const bool escapeStart = c == '%' && i + 2 < utf8.size() && isHex(utf8[i + 1]) && isHex(utf8[i + 2]);
        if (u <= 0x20 || u >= 0x7f || std::strchr("\"<>\\^`{|}", c) || (c == '%' && !escapeStart)) {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

QByteArray decodeBody(const QByteArray &body, const QString &contentEncoding, qint64 maxBytes, qsizetype chunkSize)
{
    QByteArray out;
    BodyDecoder decoder(codingOf(contentEncoding), out, maxBytes);
    const qsizetype step = chunkSize > 0 ? chunkSize : std::max<qsizetype>(body.size(), 1);
    for (qsizetype offset = 0; offset < body.size(); offset += step) {
        if (!decoder.feed(body.constData() + offset, size_t(std::min(step, body.size() - offset))))
            throw HttpError(decoder.kind(), decoder.message());
    }
    if (!decoder.finish())
        throw HttpError(decoder.kind(), decoder.message());
    return out;
}

bool isValidUrl(const QString &url)
{
    if (url.isEmpty() || url.front().isSpace())
        return false;
    const QUrl parsed(url, QUrl::TolerantMode);
    if (!parsed.isValid())
        return false;
    const QString scheme = parsed.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return false;
    return !parsed.host().isEmpty();
}

Response get(const QString &url, const Request &request)
{
    if (!isValidUrl(url))
        throw HttpError(HttpError::Kind::InvalidUrl, "Not a valid http or https address: " + toStd(url));
    if (request.httpsOnly
        && QUrl(url, QUrl::TolerantMode).scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0)
        throw HttpError(HttpError::Kind::InvalidUrl, "Not an https address: " + toStd(url));
    globalInit();

    std::unique_ptr<CURL, void (*)(CURL *)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl)
        throw HttpError(HttpError::Kind::Connect, "Cannot create an HTTP transfer");
    Transfer t;
    t.request = &request;
    t.curl = curl.get();
    char errors[CURL_ERROR_SIZE] = {};

    const QByteArray address = wireUrl(url);
    CURL *c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, address.constData());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errors);
    const char *protocols = request.httpsOnly ? "https" : "http,https";
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, protocols);
    const QByteArray caFile = request.caFile.toLocal8Bit();
    if (!caFile.isEmpty())
        curl_easy_setopt(c, CURLOPT_CAINFO, caFile.constData());
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(std::max(1, request.connectTimeoutMs)));
    if (request.totalTimeoutMs > 0)
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, long(request.totalTimeoutMs));
    // The stall timeout and the rate bound are checked by the transfer loop
    // below; the low-speed limit is a second guard in whole seconds.
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, long(std::max(1, (request.stallTimeoutMs + 999) / 1000)));
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onData);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);

    std::unique_ptr<curl_slist, void (*)(curl_slist *)> headers(nullptr, curl_slist_free_all);
    if (request.decode) {
        // Set by hand rather than through CURLOPT_ACCEPT_ENCODING: we decode
        // ourselves, by the rules of the catalogue server.
        headers.reset(curl_slist_append(nullptr, "Accept-Encoding: gzip, deflate"));
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    }

    if (request.stop.stop_requested())
        throw HttpError(HttpError::Kind::Connect, "The transfer was cancelled");
    std::unique_ptr<CURLM, void (*)(CURLM *)> multi(curl_multi_init(), [](CURLM *m) { curl_multi_cleanup(m); });
    if (!multi || curl_multi_add_handle(multi.get(), c) != CURLM_OK)
        throw HttpError(HttpError::Kind::Connect, "Cannot start an HTTP transfer");
    struct Detach
    {
        CURLM *multi;
        CURL *easy;
        ~Detach() { curl_multi_remove_handle(multi, easy); }
    } detach{multi.get(), c};

    // The transfer runs in this loop rather than in curl_easy_perform, so
    // that a stop request wakes it at once (curl_multi_wakeup may be called
    // from any thread) and the stall and rate checks run between waits.
    t.sinceData.start();
    CURLcode rc = CURLE_OK;
    {
        CURLM *m = multi.get();
        std::stop_callback wake(request.stop, [m] { curl_multi_wakeup(m); });
        for (;;) {
            int running = 0;
            const CURLMcode mc = curl_multi_perform(m, &running);
            if (mc != CURLM_OK)
                throw HttpError(HttpError::Kind::Connect,
                                std::string(curl_multi_strerror(mc)) + " (" + toStd(url) + ")");
            if (t.failed)
                break; // a callback refused the data
            if (running == 0) {
                int left = 0;
                rc = CURLE_RECV_ERROR;
                while (CURLMsg *msg = curl_multi_info_read(m, &left))
                    if (msg->msg == CURLMSG_DONE && msg->easy_handle == c)
                        rc = msg->data.result;
                break;
            }
            if (const std::optional<std::string> reason = mustEnd(t, url))
                throw HttpError(HttpError::Kind::Connect, *reason);
            curl_multi_poll(m, nullptr, 0, 250, nullptr);
        }
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &t.response.status);

    if (t.failed)
        throw HttpError(t.failKind, t.failMessage, t.response.status);
    if (rc == CURLE_HTTP_RETURNED_ERROR)
        throw HttpError(HttpError::Kind::Status,
                        "The server answered with status " + std::to_string(t.response.status), t.response.status);
    if (rc == CURLE_URL_MALFORMAT)
        throw HttpError(HttpError::Kind::InvalidUrl, "Not a valid address: " + toStd(url));
    if (rc != CURLE_OK) {
        std::string message = errors[0] ? std::string(errors) : std::string(curl_easy_strerror(rc));
        throw HttpError(HttpError::Kind::Connect, message + " (" + toStd(url) + ")", t.response.status);
    }
    if (!t.decoder) {
        // Empty body: nothing came through the write callback.
        const BodyDecoder::Coding coding =
            request.decode ? codingOf(t.response.contentEncoding) : BodyDecoder::Coding::Identity;
        t.decoder = std::make_unique<BodyDecoder>(coding, t.response.body, request.maxBytes);
    }
    if (!t.decoder->finish())
        throw HttpError(t.decoder->kind(), t.decoder->message(), t.response.status);
    if (!t.deliver())
        throw HttpError(t.failKind, t.failMessage, t.response.status);
    return std::move(t.response);
}

QByteArray getBody(const QString &url)
{
    return get(url).body;
}

QByteArray decodingDownload(const QString &url)
{
    Request request;
    request.decode = true;
    return get(url, request).body;
}

} // namespace Http
