#include "catalogue/StreamsFetcher.h"

#include "catalogue/CatalogueCache.h"
#include "catalogue/CatalogueDocument.h"
#include "catalogue/CatalogueRecords.h"
#include "catalogue/CatalogueText.h"
#include "catalogue/Http.h"
#include "catalogue/Options.h"
#include "catalogue/TulException.h"

#include <stdexcept>
#include <string>
#include <system_error>

using namespace CatalogueText;

StreamsFetcher::StreamsFetcher() = default;

StreamsFetcher::~StreamsFetcher()
{
    finishCacheWrite();
}

void StreamsFetcher::finishCacheWrite()
{
    if (m_pendingWrite.valid())
        m_cacheWritten = m_pendingWrite.get();
}

bool StreamsFetcher::cacheWritten()
{
    finishCacheWrite();
    return m_cacheWritten;
}

void StreamsFetcher::setAdultVisible(bool visible)
{
    m_adultVisible.store(visible);
}

void StreamsFetcher::openURL(const QString &address, std::stop_token stop)
{
    finishCacheWrite();
    QByteArray body;
    try {
        Http::Request request;
        request.decode = true;
        request.maxBytes = m_maxBytes;
        request.stop = stop;
        body = Http::get(address, request).body;
    } catch (const Http::HttpError &e) {
        throw TulException(QStringLiteral("ConnectError"), e);
    }
    // A load stopped once its body had come (the program is closing)
    // leaves the cache file as it was.
    if (stop.stop_requested())
        throw TulException(QStringLiteral("ConnectError"), std::runtime_error("The download was cancelled"));
    // The cache is compressed and written on its own thread (from a shared
    // copy of the body) while the body is parsed and its records are built;
    // it replaces the cache file only when the body parsed and passes the
    // catalogue's rules.
    m_cacheWritten = false;
    std::promise<std::shared_ptr<const CatalogueDocument>> parsed;
    bool writing = false;
    try {
        m_pendingWrite = std::async(std::launch::async, [body, document = parsed.get_future()]() mutable {
            return CatalogueCache::write(QString::fromLatin1(CACHE_FILE), body, &document);
        });
        writing = true;
    } catch (const std::system_error &) {
        // No thread to spare: written below, once the body has loaded.
    }
    std::shared_ptr<CatalogueDocument> document;
    try {
        document = CatalogueDocument::parse(body, false);
    } catch (const std::exception &e) {
        if (writing) {
            parsed.set_value(nullptr);
            finishCacheWrite(); // its temporary file is gone when this throws
        }
        throw TulException(QStringLiteral("ParseError"), e);
    }
    if (writing)
        parsed.set_value(document);
    else if (followsRules(*document))
        m_cacheWritten = CatalogueCache::write(QString::fromLatin1(CACHE_FILE), body, nullptr);
    m_doc = std::move(document);
}

void StreamsFetcher::openGZipFile(const QString &path)
{
    finishCacheWrite();
    QByteArray text;
    try {
        text = CatalogueCache::read(path, m_maxBytes);
    } catch (const std::exception &e) {
        throw TulException(path, QStringLiteral("FileNotFoundError"), e);
    }
    try {
        m_doc = CatalogueDocument::parse(std::move(text), true);
    } catch (const std::exception &e) {
        throw TulException(path, QStringLiteral("FileReadError"), e);
    }
}

QString StreamsFetcher::infoText(const char *name) const
{
    if (!m_doc)
        return QString();
    const pugi::xml_node info = m_doc->root.child("Info");
    if (!info)
        return QString();
    const pugi::xml_node child = info.child(name);
    if (!child)
        return QString();
    ElementText text;
    elementText(child, text);
    return trimmedQString(text.begin, text.end);
}

QString StreamsFetcher::getUpdateUrl() const
{
    return infoText("UpdateUrl");
}

QString StreamsFetcher::getMOTD() const
{
    return infoText("MOTD");
}

std::shared_ptr<StreamList> StreamsFetcher::getStreamList(CatalogueIndexes &indexes, int &latestStreamId) const
{
    if (!m_doc)
        return nullptr;
    return buildStreamList(*m_doc, m_adultVisible, indexes, latestStreamId);
}

int StreamsFetcher::getCacheRevision(std::stop_token stop) const
{
    QByteArray body;
    try {
        Http::Request request;
        request.totalTimeoutMs = Http::SMALL_REQUEST_TIMEOUT_MS;
        request.stop = stop;
        body = Http::get(Options::getCacheRevisionUrl(), request).body;
    } catch (const Http::HttpError &) {
        return Options::getCacheRevision();
    }
    return parseRevision(body).value_or(Options::getCacheRevision());
}

std::optional<int> StreamsFetcher::parseRevision(const QByteArray &body)
{
    // The last line, as a line reader gives it: lines end in LF, CR or
    // CR LF; a body without any line gives "0".
    const char *data = body.constData();
    const char *end = data + body.size();
    const char *lastBegin = nullptr, *lastEnd = nullptr;
    const char *p = data;
    while (p < end) {
        const char *lineBegin = p;
        while (p < end && *p != '\n' && *p != '\r')
            ++p;
        lastBegin = lineBegin;
        lastEnd = p;
        if (p < end) {
            if (*p == '\r' && p + 1 < end && p[1] == '\n')
                ++p;
            ++p;
        }
    }
    if (!lastBegin) {
        lastBegin = "0";
        lastEnd = lastBegin + 1;
    }
    trimBytes(lastBegin, lastEnd);
    int revision = 0;
    if (!parseInt(lastBegin, lastEnd, revision))
        return std::nullopt;
    return revision;
}

void StreamsFetcher::parseDocument(const QByteArray &body)
{
    try {
        m_doc = CatalogueDocument::parse(body, false);
    } catch (const std::exception &e) {
        throw TulException(QStringLiteral("ParseError"), e);
    }
}
