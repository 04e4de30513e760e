#pragma once

#include "catalogue/NameIndex.h"
#include "catalogue/StreamInfo.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <future>
#include <memory>
#include <optional>
#include <stop_token>

struct CatalogueDocument;

// The catalogue reader: asks the catalogue server for the revision,
// downloads the catalogue (keeping a gzip copy in the cache file) or reads
// the cache file, and turns the document into stream records. Runs on the
// catalogue worker thread, one load at a time; only setAdultVisible may be
// called from another thread.
class StreamsFetcher
{
public:
    // The cache file, in the working directory.
    static constexpr const char *CACHE_FILE = "data.dat";
    // Decoded bytes a catalogue may have at most.
    static constexpr qint64 MAX_CATALOGUE_BYTES = 256ll * 1024 * 1024;

    StreamsFetcher();
    virtual ~StreamsFetcher();
    StreamsFetcher(const StreamsFetcher &) = delete;
    StreamsFetcher &operator=(const StreamsFetcher &) = delete;

    // Adult records are kept by the next getStreamList when true.
    virtual void setAdultVisible(bool visible);
    bool getAdultVisible() const { return m_adultVisible.load(); }

    // Downloads the catalogue, parses it and, when it also passes the
    // catalogue's rules (those getStreamList applies), stores it in the cache
    // file (atomically, replacing a symbolic link in its place; a cache that
    // cannot be written is reported on standard error and the load goes on
    // from memory). A body that does not load leaves the cache file as it
    // was. Throws TulException: "ConnectError" when the address is not
    // valid, the download fails or the body passes the size limit;
    // "ParseError" when the body is not well-formed XML. The kept document
    // changes only when the parse succeeds (a document against the rules is
    // kept, and getStreamList then fails). A stop request ends the download
    // ("ConnectError"); a stopped download writes no cache.
    virtual void openURL(const QString &address, std::stop_token stop = {});
    // Parses the gzip file at path. Throws TulException(path,
    // "FileNotFoundError") when it is missing, unreadable, not a file (a
    // device or a named pipe) or not a complete gzip stream,
    // TulException(path, "FileReadError") when its text is not well-formed
    // XML.
    virtual void openGZipFile(const QString &path);
    // Whether the last openURL stored its body in the cache file (false for
    // a body that did not load). The cache is written on a thread of its own
    // while the records are built; this waits for it (as do the next
    // openURL, openGZipFile and the destructor).
    bool cacheWritten();
    // The decoded size a download or the cache file may have at most
    // (MAX_CATALOGUE_BYTES unless changed).
    void setMaxCatalogueBytes(qint64 bytes) { m_maxBytes = bytes; }

    // Info/UpdateUrl and Info/MOTD of the kept document, trimmed; null when
    // absent or when no document was read.
    virtual QString getUpdateUrl() const;
    virtual QString getMOTD() const;

    // The records of the kept document, registered in indexes; a flush mark
    // on the document empties the category and language indexes first.
    // latestStreamId is raised to the highest identifier read. Null when no
    // document was read. Throws TulException("ParseError") for a document
    // that breaks the catalogue's rules; indexes and latestStreamId are then
    // partly updated, so callers pass private copies.
    virtual std::shared_ptr<StreamList> getStreamList(CatalogueIndexes &indexes, int &latestStreamId) const;

    // The server's catalogue revision; the stored one when the server cannot
    // tell it within Http::SMALL_REQUEST_TIMEOUT_MS or the stop is
    // requested.
    virtual int getCacheRevision(std::stop_token stop = {}) const;

    // Entry points for bytes already in memory. parseDocument parses and
    // keeps a catalogue document as openURL does after the download (throws
    // TulException("ParseError"); the kept document then stays).
    // parseRevision reads a revision body as getCacheRevision does: nothing
    // when its last line is not a decimal integer.
    void parseDocument(const QByteArray &body);
    static std::optional<int> parseRevision(const QByteArray &body);

private:
    void finishCacheWrite();
    QString infoText(const char *name) const;

    std::shared_ptr<CatalogueDocument> m_doc;
    std::atomic<bool> m_adultVisible{true};
    bool m_cacheWritten = false;
    std::future<bool> m_pendingWrite;
    qint64 m_maxBytes = MAX_CATALOGUE_BYTES;
};
