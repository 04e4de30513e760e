#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <stdexcept>
#include <stop_token>

// The program's small blocking HTTP layer over libcurl, usable from any
// thread. Every request has a connect timeout, a stall timeout and a lower
// bound on its rate, so an unresponsive or trickling server ends in an error
// instead of a hang; a request may also have an overall time limit and a
// stop token. Redirects are followed within http and https only.
namespace Http {

// The overall time limit of the small requests whose answers are a few
// bytes (the catalogue revision, the service requests).
inline constexpr int SMALL_REQUEST_TIMEOUT_MS = 5000;

class HttpError : public std::runtime_error
{
public:
    enum class Kind {
        InvalidUrl, // the address is not a valid http/https URL
        Connect,    // cannot connect, read failed, timed out
        Status,     // the server answered 400 or above
        TooLarge,   // the body passed the size limit
        Decode,     // the body is not what its Content-Encoding announced
    };
    HttpError(Kind kind, const std::string &message, long status = 0)
        : std::runtime_error(message), m_kind(kind), m_status(status)
    {
    }
    Kind kind() const { return m_kind; }
    long status() const { return m_status; }

private:
    Kind m_kind;
    long m_status;
};

struct Request
{
    // Sends "Accept-Encoding: gzip, deflate" and decodes the body by the
    // response's Content-Encoding (gzip; deflate as raw deflate, or a
    // zlib-wrapped one; anything else unchanged).
    bool decode = false;
    // Decoded bytes allowed at most.
    qint64 maxBytes = 256ll * 1024 * 1024;
    int connectTimeoutMs = 10000;
    // The transfer fails when no byte arrives for this long.
    int stallTimeoutMs = 30000;
    // Once the answer has begun, every rateWindowMs must bring at least
    // minRateBytes (headers and body as received), or the transfer fails:
    // a server that trickles a few bytes at a time cannot hold it open.
    qint64 minRateBytes = 1024;
    int rateWindowMs = 10000;
    // The whole transfer, connecting included, may take at most this long;
    // 0 for no limit.
    int totalTimeoutMs = 0;
    // Called with (bytes received, bytes announced or -1) as data arrives;
    // returning false aborts the transfer (Connect error).
    std::function<bool(qint64, qint64)> progress;
    // When set, the (decoded) body goes here piece by piece as it arrives
    // instead of into Response::body, which stays empty; returning false
    // aborts the transfer (Connect error). maxBytes bounds the whole body.
    std::function<bool(const char *data, qint64 size)> sink;
    // Only https, for the address and for every redirect.
    bool httpsOnly = false;
    // A PEM file of certificates to trust in place of the system's (for a
    // server with its own certificate). Certificates are always checked.
    QString caFile;
    // A stop request ends the transfer at once (Connect error), even while
    // the server sends nothing; a transfer whose stop was requested before
    // it began does not begin.
    std::stop_token stop;
};

struct Response
{
    long status = 0;
    QByteArray body;           // decoded when Request::decode
    QString contentEncoding;   // as the server sent it
    qint64 contentLength = -1; // as announced, -1 when none
};

// Throws HttpError.
Response get(const QString &url, const Request &request = {});
// Plain GET returning the body.
QByteArray getBody(const QString &url);
// The decoding download: GET with "Accept-Encoding: gzip, deflate", body
// decoded.
QByteArray decodingDownload(const QString &url);

bool isValidUrl(const QString &url);

// Decodes a whole response body by its Content-Encoding as get() does with
// Request::decode, fed to the decoder in chunks of at most chunkSize bytes
// (0: all at once). Throws HttpError (Decode, TooLarge).
QByteArray decodeBody(const QByteArray &body, const QString &contentEncoding, qint64 maxBytes = 256ll * 1024 * 1024,
                      qsizetype chunkSize = 0);

} // namespace Http
