#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

// The local reference service: a small HTTP (and optionally HTTPS) server on
// 127.0.0.1 that answers every request the program sends - catalogue
// revision, catalogue, pay-per-view catalogue, order pages, service
// requests, Icecast directory, forum page, program update and media files -
// from a demo data set or from documents a test sets. It runs on its own
// threads; every member function may be called from any thread.
namespace RefService {

// How a document is sent on the wire.
enum class Encoding {
    Plain,       // no Content-Encoding
    Gzip,        // "Content-Encoding: gzip", gzip body
    GzipUpper,   // "Content-Encoding: GZIP", gzip body
    Deflate,     // "Content-Encoding: deflate", raw deflate body (no zlib header)
    ZlibDeflate, // "Content-Encoding: deflate", zlib-wrapped deflate body
    BogusGzip,   // "Content-Encoding: gzip" announced, plain body sent
    Unknown,     // "Content-Encoding: br" announced, plain body sent
};
// Gzip, GzipUpper, Deflate and ZlibDeflate compress only when the request's
// Accept-Encoding allows the coding (else the body goes plain); BogusGzip and
// Unknown are sent as they are whatever the request accepts.

// How the program update file is sent.
enum class UpdateMode {
    Normal,    // Content-Length and the whole body
    Chunked,   // no Content-Length: chunked transfer coding
    NoLength,  // no Content-Length, no chunking: the body ends when the connection closes
    Partial,   // Content-Length of the whole body, only a part sent, then close
};

// One request as the service received it.
struct LoggedRequest
{
    QString method;            // "GET"
    QString path;              // "/tul/prog/streamtips.php"
    QByteArray query;          // raw query, undecoded: "version=10.0.0&serial=..."
    QByteArray target;         // path + "?" + query as sent (no "?" without query)
    QMap<QString, QString> headers; // header names in lower case
    int status = 0;            // status answered
    bool https = false;        // came in on the HTTPS listener
};

// One catalogue stream.
struct CatalogueEntry
{
    int id = 0;
    QString name;
    QString language;
    QString country;
    int bitrate = 0;
    QString format = QStringLiteral("WMP");
    QString type = QStringLiteral("TV");
    bool live = true;
    QString category;
    QString url;
    bool adult = false;
    bool topStream = false;
};

// The catalogue's Streams attribute and Info element.
struct CatalogueInfo
{
    std::optional<QString> flush;     // value of the Streams "flush" attribute
    bool withInfo = true;             // write an Info element
    std::optional<QString> motd;      // Info/MOTD
    std::optional<QString> updateUrl; // Info/UpdateUrl
};

// One pay-per-view movie.
struct PpvMovie
{
    int id = 0;
    QString name;
    int bitrate = 0;
    QString category;
    int length = 0; // seconds
    bool adult = false;
    QString description;
    QString mediaFile; // file under /media/ that ppvshow.php plays
};

// One rental: movie id and seconds left.
struct PpvRental
{
    int videoId = 0;
    int timeLeft = 0;
};

// One Icecast directory entry.
struct DirectoryEntry
{
    QString serverName;
    QString genre;
    QString bitrate; // text as sent, so tests can send non-numbers
    QString listenUrl;
};

// The demo media files (absolute paths; empty when not made).
struct MediaSet
{
    QString dir;
    QString video;      // test pattern with a tone, H.264/AAC in MP4 (faststart)
    QString videoRed;   // colour variant
    QString videoBlue;  // colour variant
    QString audioMp3;   // tone, MP3
    QString audioOgg;   // tone, Ogg Vorbis
    bool ok = false;    // every file exists
    QString error;      // why not (ffmpeg missing, ffmpeg failed)
    // File names in the media directory ("test.mp4", ...), in the order
    // above.
    static QStringList fileNames();
};

// --- Documents -------------------------------------------------------------

// The catalogue document for entries and info.
QByteArray catalogueDocument(const std::vector<CatalogueEntry> &entries, const CatalogueInfo &info = {});
// The demo catalogue: a few dozen streams of every type, several languages
// and countries, adult and top streams, mostly "WMP" with a few "RM", "QT"
// and "wmp" ones. Playable Urls point at http://<hostPort>/media/...
std::vector<CatalogueEntry> demoCatalogueEntries(const QString &hostPort);
CatalogueInfo demoCatalogueInfo(); // MOTD set, no update address
QByteArray demoCatalogue(const QString &hostPort, const CatalogueInfo &info = demoCatalogueInfo());
// A generated catalogue of count streams (ids 1..count), deterministic for a
// seed; for load tests and benchmarks.
std::vector<CatalogueEntry> generateCatalogueEntries(int count, const QString &hostPort, quint32 seed = 1);
QByteArray generateCatalogue(int count, const QString &hostPort, quint32 seed = 1);

// Icecast directory ("yp.xml").
QByteArray directoryDocument(const std::vector<DirectoryEntry> &entries);
std::vector<DirectoryEntry> demoDirectoryEntries(const QString &hostPort); // ~30 entries
QByteArray demoDirectory(const QString &hostPort);
// count generated entries; listen_url on hostPort's /media/ when given.
QByteArray generateDirectory(int count, const QString &hostPort = QString());

// Pay-per-view document ("getppv.php"): Catalog + Inventory.
QByteArray ppvDocument(const std::vector<PpvMovie> &movies, const std::vector<PpvRental> &rentals);
std::vector<PpvMovie> demoPpvMovies(); // some adult

// The revision file body "N\n".
QByteArray revisionBody(int revision);

// The default program update body: 1,000,000 bytes, a harmless shell script
// ("#!/bin/sh", "exit 0") padded with a comment.
QByteArray defaultUpdateBody(qint64 size = 1000000);

// --- Codecs ------------------------------------------------------------------

QByteArray gzipCompress(const QByteArray &data, int level = -1);
QByteArray rawDeflate(const QByteArray &data, int level = -1);
QByteArray zlibDeflate(const QByteArray &data, int level = -1);
// Decoders for tests; return no value on broken input.
std::optional<QByteArray> gzipDecompress(const QByteArray &data);
std::optional<QByteArray> rawInflate(const QByteArray &data);
std::optional<QByteArray> zlibInflate(const QByteArray &data);
// The body as sent for an encoding (no Accept-Encoding check).
QByteArray encodeBody(const QByteArray &data, Encoding encoding);
// The Content-Encoding header value for an encoding; empty for Plain.
QByteArray encodingHeader(Encoding encoding);

// --- Media -------------------------------------------------------------------

// The default data directory: $XDG_CACHE_HOME/quorvantel-service, or
// ~/.cache/quorvantel-service.
QString defaultDataDir();
// Makes the demo media in dir with ffmpeg when a file is missing (safe when
// several processes do it at once). seconds: length of each clip.
MediaSet ensureMedia(const QString &dir, int seconds = 10);
// The files that exist in dir, without generating anything.
MediaSet existingMedia(const QString &dir);
bool ffmpegAvailable();

} // namespace RefService

class ReferenceService
{
public:
    struct Config
    {
        quint16 port = 0;          // 0: any free port
        bool https = false;        // also start the HTTPS listener
        quint16 httpsPort = 0;     // 0: any free port
        QString dataDir;           // media in <dataDir>/media, certificate in <dataDir>/tls; empty: defaultDataDir()
        bool generateMedia = false;// make the demo media (ensureMedia()) in start(); seconds when missing
        int mediaSeconds = 10;     // clip length when generating
        bool logToStderr = true;   // "GET /path?query -> status" lines
        int revision = 1;          // body of cacheversion.txt is "<revision>\n"
        QString updateUrl;         // when set, the demo catalogue's Info/UpdateUrl
        QString updatePath = QStringLiteral("/update/latest.bin");
    };

    ReferenceService();
    explicit ReferenceService(const Config &config);
    ~ReferenceService(); // stops
    ReferenceService(const ReferenceService &) = delete;
    ReferenceService &operator=(const ReferenceService &) = delete;

    // Binds 127.0.0.1 (and the HTTPS listener when configured) and starts
    // serving; false when a port cannot be bound or the certificate cannot
    // be made. Returns once the listeners accept connections.
    bool start();
    // Ends waiting delays, stops the listeners and joins their threads.
    void stop();
    bool isRunning() const;

    int port() const;           // 0 before start
    QString hostPort() const;   // "127.0.0.1:PORT"
    QString baseUrl() const;    // "http://127.0.0.1:PORT"
    QString dataDir() const;

    // HTTPS (only when Config::https and start() succeeded).
    static bool httpsSupported(); // cpp-httplib built with OpenSSL
    bool httpsRunning() const;
    int httpsPort() const;
    QString httpsHostPort() const;
    QString httpsBaseUrl() const;  // "https://127.0.0.1:PORT"
    QString certificatePath() const; // PEM of the self-signed certificate (CN and SAN 127.0.0.1, localhost)
    QString certificateKeyPath() const;

    // --- Catalogue server ---
    void setRevision(int revision);          // body "N\n"
    void setRevisionBody(const QByteArray &body);
    // The catalogue document; a null array goes back to the demo catalogue
    // (built with this service's host:port and the configured update address).
    void setCatalogue(const QByteArray &xml);
    QByteArray catalogue() const;            // the document as it is served now
    void setCatalogueEncoding(RefService::Encoding encoding); // default Gzip
    void setUpdateUrl(const QString &url);   // Info/UpdateUrl of the demo catalogue; empty: none
    void setMotd(const QString &motd);       // Info/MOTD of the demo catalogue

    // Pay-per-view: movies (default demoPpvMovies()), rentals per account key
    // and for every key. A confirmed order (ppvorder_verify) adds a rental of
    // orderRentalSeconds for the key and movie of the order.
    void setPpvMovies(const std::vector<RefService::PpvMovie> &movies);
    std::vector<RefService::PpvMovie> ppvMovies() const;
    void setRental(const QString &serial, int videoId, int timeLeft);
    void setGlobalRental(int videoId, int timeLeft);
    void clearRentals();
    std::vector<RefService::PpvRental> rentals(const QString &serial) const; // global ones included
    void setOrderRentalSeconds(int seconds); // default 172800 (two days)
    // The whole getppv.php document; a null array goes back to the generated one.
    void setPpvDocument(const QByteArray &xml);
    void setPpvEncoding(RefService::Encoding encoding); // default Gzip
    // ppvshow.php answers 403 for a movie the key has not rented.
    void setPpvShowRequiresRental(bool required);

    // Icecast directory: a document, or count generated entries; a null
    // document and count < 0 go back to the demo directory.
    void setDirectory(const QByteArray &xml);
    void setDirectoryCount(int count);
    void setDirectoryEncoding(RefService::Encoding encoding); // default Gzip

    // Program update at Config::updatePath (setUpdatePath to move it).
    void setUpdatePath(const QString &path);
    QString updatePath() const;
    QString updateFileUrl() const; // baseUrl() + updatePath()
    void setUpdateBody(const QByteArray &body); // default defaultUpdateBody()
    // partialBytes: bytes sent in Partial mode (default half the body).
    void setUpdateMode(RefService::UpdateMode mode, qint64 partialBytes = -1);

    // Media under /media/ (byte ranges supported).
    RefService::MediaSet ensureMedia(); // in dataDir()/media, Config::mediaSeconds
    RefService::MediaSet media() const; // what exists in dataDir()/media
    QString mediaUrl(const QString &fileName) const; // baseUrl() + "/media/" + fileName

    // --- Switches per path (the path without query, e.g. "/getstreams.php") ---
    // Answer with this status instead (0 clears). An error page body is sent.
    void setStatus(const QString &path, int status);
    // Wait before answering (bounded to 60 s; stop() ends the wait).
    void setDelay(const QString &path, int milliseconds);
    // Hold every reply for the path until it is released (each wait bounded
    // to 60 s; stop() and clearSwitches() end it). The request is logged
    // when its reply goes.
    void holdReplies(const QString &path);
    // Lets the replies held now go; later requests are held again when
    // keepHolding is set, else answered at once.
    void releaseReplies(const QString &path, bool keepHolding = false);
    // Requests for the path waiting in a hold now.
    int heldRequestCount(const QString &path) const;
    // Waits (at most timeoutMs, bounded to 60 s) until a request for the
    // path waits in a hold; false when none came.
    bool waitForHeldRequest(const QString &path, int timeoutMs = 15000) const;
    // Answer 200 with exactly this body (text/plain; no Content-Encoding).
    void setReply(const QString &path, const QByteArray &body);
    // Answer 200 with first, then after pauseMs second, in two separate
    // writes (Content-Length of both together).
    void setSplitReply(const QString &path, const QByteArray &first, const QByteArray &second, int pauseMs = 300);
    // An extra response header for a path.
    void setHeader(const QString &path, const QByteArray &name, const QByteArray &value);
    // Clears every per-path switch.
    void clearSwitches();

    // --- Request log ---
    // The most recent 100,000 requests at most, oldest first.
    std::vector<RefService::LoggedRequest> requests() const;
    // Requests for one path, oldest first.
    std::vector<RefService::LoggedRequest> requests(const QString &path) const;
    int requestCount(const QString &path) const;
    void clearRequests();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
