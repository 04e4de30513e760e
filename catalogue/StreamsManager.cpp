#include "catalogue/StreamsManager.h"

#include "catalogue/Http.h"
#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "catalogue/ServerConfig.h"
#include "catalogue/StreamOrderIndex.h"
#include "catalogue/StreamsFetcher.h"
#include "catalogue/TulException.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

StreamsManager::StreamsManager()
    : m_fetcher(std::make_unique<StreamsFetcher>()),
      m_allStreams(std::make_shared<const StreamList>()),
      m_order(std::make_shared<StreamOrderIndex>(m_allStreams)),
      m_streamMap(std::make_shared<const StreamMap>()),
      m_indexes(std::make_unique<CatalogueIndexes>(
          CatalogueIndexes{NameIndex(LangMsg::getMsg(QStringLiteral("ALL_CATEGORIES"))),
                           NameIndex(LangMsg::getMsg(QStringLiteral("ALL_LANGUAGES"))), NameIndex()}))
{
}

StreamsManager::~StreamsManager() = default;

StreamsManager::Snapshot StreamsManager::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return Snapshot{m_allStreams, m_order, m_streamMap, m_latestStreamId, m_getLatest, m_updateUrl, m_motd};
}

// ------------------------------------------------------------------ loading

bool StreamsManager::fetchStreams(std::stop_token stop)
{
    std::lock_guard load(m_loadMutex);
    const QString cacheFile = QString::fromLatin1(StreamsFetcher::CACHE_FILE);
    auto stopped = [] {
        return TulException(QStringLiteral("ConnectError"), std::runtime_error("The load was stopped"));
    };

    const int revision = m_fetcher->getCacheRevision(stop);
    if (stop.stop_requested())
        throw stopped();
    // Builds the records of the document read last on private copies of the
    // indexes; nothing is published until every record is built.
    CatalogueIndexes indexes;
    int highest = 0;
    std::shared_ptr<StreamList> list;
    auto build = [&] {
        {
            std::lock_guard lock(m_mutex);
            indexes = *m_indexes;
            highest = m_latestStreamId;
        }
        list = m_fetcher->getStreamList(indexes, highest);
    };
    bool downloaded = false;
    try {
        if (revision != Options::getCacheRevision()) {
            m_fetcher->openURL(Options::getFetchstreamsUrl(), stop);
            downloaded = true;
        } else {
            m_fetcher->openGZipFile(cacheFile);
            build(); // a cache whose records break the rules is broken too
        }
    } catch (const TulException &) {
        if (stop.stop_requested())
            throw stopped();
        // A failed download, a failed parse or a missing or broken cache:
        // one more download, whose failure ends the load.
        m_fetcher->openURL(Options::getFetchstreamsUrl(), stop);
        downloaded = true;
    }
    if (downloaded) {
        // A downloaded catalogue that could not be stored leaves no cache of
        // this revision: the revision is marked unknown so that the next load
        // downloads. (Asking whether the cache was written waits for the
        // cache write, which runs while the records are built.)
        auto storeRevision = [this, revision] {
            Options::setCacheRevision(m_fetcher->cacheWritten() ? revision : -1);
        };
        if (stop.stop_requested()) {
            // The catalogue came and its cache is being written: the
            // revision goes with it, the records are not built.
            storeRevision();
            throw stopped();
        }
        // A download whose records break the catalogue's rules ends the load
        // here: the reader does not store it in the cache (waited for, so
        // that its temporary file is gone when the load ends), and its
        // revision is not stored either, so the next load downloads again.
        try {
            build();
        } catch (...) {
            m_fetcher->cacheWritten();
            throw;
        }
        storeRevision();
    }
    if (!list)
        list = std::make_shared<StreamList>();
    if (list->empty())
        Options::setCacheRevision(-1);

    auto map = std::make_shared<StreamMap>();
    for (const StreamInfoPtr &record : *list) {
        // Catalogues come mostly in ascending ids: the end is a good hint.
        const auto it = map->emplace_hint(map->end(), record->getId(), record);
        if (it->second != record)
            it->second = record; // a later duplicate replaces an earlier one
    }

    const QString updateUrl = m_fetcher->getUpdateUrl();
    const QString motd = m_fetcher->getMOTD();

    const int lastStreamId = Options::getLastStreamId();
    const bool getLatest = lastStreamId != 0;
    const int threshold = int(std::max<qint64>(qint64(lastStreamId) - 25, std::numeric_limits<int>::min()));
    // The running maximum started from the threshold of the load before:
    // stored as it is, a load without records (or with lower identifiers)
    // would move "LastStreamId" down by 25 each time. It stays the highest
    // identifier seen, or 0.
    Options::setLastStreamId(std::max(lastStreamId, highest));

    const bool any = !list->empty();
    // The catalogue replaced is released after the lock, so readers never
    // wait while its records are freed.
    std::shared_ptr<const StreamList> oldList = std::move(list);
    std::shared_ptr<const StreamMap> oldMap = std::move(map);
    // The new list's order index: built later, by the first view that uses
    // it or by the preparation below.
    std::shared_ptr<StreamOrderIndex> order = std::make_shared<StreamOrderIndex>(oldList);
    const std::shared_ptr<StreamOrderIndex> published = order;
    {
        std::lock_guard lock(m_mutex);
        m_allStreams.swap(oldList);
        m_order.swap(order);
        m_streamMap.swap(oldMap);
        *m_indexes = std::move(indexes);
        m_updateUrl = updateUrl;
        m_motd = motd;
        m_getLatest = getLatest;
        m_latestStreamId = threshold;
    }
    // The views' sort orders and search texts of the new catalogue are
    // computed here, on the loading thread, so that their tables fill at
    // once. A stop request (the window closing) leaves them to the views.
    if (m_prepareOrder.load() && !stop.stop_requested())
        published->prepareAll();
    return any;
}

void StreamsManager::flushCache()
{
    std::shared_ptr<const StreamList> old = std::make_shared<const StreamList>();
    std::shared_ptr<StreamOrderIndex> oldOrder = std::make_shared<StreamOrderIndex>(old);
    std::lock_guard lock(m_mutex);
    m_allStreams.swap(old);
    m_order.swap(oldOrder);
    m_indexes->categories.clear();
    m_indexes->languages.clear();
}

// ---------------------------------------------------------------- getters

void StreamsManager::setAdultVisible(bool visible)
{
    m_adultVisible.store(visible);
    m_fetcher->setAdultVisible(visible);
}

bool StreamsManager::getAdultVisible() const
{
    return m_adultVisible.load();
}

QString StreamsManager::getUpdateUrl() const
{
    std::lock_guard lock(m_mutex);
    return m_updateUrl;
}

QString StreamsManager::getMOTD() const
{
    std::lock_guard lock(m_mutex);
    return m_motd;
}

std::shared_ptr<const StreamMap> StreamsManager::getStreamMap() const
{
    std::lock_guard lock(m_mutex);
    return m_streamMap;
}

bool StreamsManager::getLatest() const
{
    std::lock_guard lock(m_mutex);
    return m_getLatest;
}

std::shared_ptr<const StreamList> StreamsManager::getAllStreams() const
{
    std::lock_guard lock(m_mutex);
    return m_allStreams;
}

int StreamsManager::getLatestStreamId() const
{
    std::lock_guard lock(m_mutex);
    return m_latestStreamId;
}

void StreamsManager::prepareOrderOnLoad()
{
    m_prepareOrder.store(true);
}

int StreamsManager::addLanguage(const QString &name)
{
    std::lock_guard lock(m_mutex);
    return m_indexes->languages.add(name);
}

int StreamsManager::addCountry(const QString &name)
{
    std::lock_guard lock(m_mutex);
    return m_indexes->countries.add(name);
}

int StreamsManager::addCategory(const QString &name)
{
    std::lock_guard lock(m_mutex);
    return m_indexes->categories.add(name);
}

std::vector<StreamFilterPtr> StreamsManager::getCategories() const
{
    std::lock_guard lock(m_mutex);
    return m_indexes->categories.entries();
}

std::vector<StreamFilterPtr> StreamsManager::getLanguages() const
{
    std::lock_guard lock(m_mutex);
    return m_indexes->languages.entries();
}

std::vector<StreamFilterPtr> StreamsManager::getCountries() const
{
    std::lock_guard lock(m_mutex);
    return m_indexes->countries.entries();
}

// --------------------------------------------------------------- requests

QString StreamsManager::formEncode(const QString &value)
{
    static const char hex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(value.size() * 3);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t c = value.at(i).unicode();
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.'
            || c == u'-' || c == u'*' || c == u'_') {
            out.append(QChar(c));
        } else if (c == u' ') {
            out.append(u'+');
        } else if (c <= 0xff) {
            out.append(u'%');
            out.append(QLatin1Char(hex[c >> 4]));
            out.append(QLatin1Char(hex[c & 0xf]));
        } else {
            // Not in ISO-8859-1: a question mark, one for a whole surrogate
            // pair.
            if (QChar::isHighSurrogate(c) && i + 1 < value.size() && value.at(i + 1).isLowSurrogate())
                ++i;
            out.append(QLatin1String("%3F"));
        }
    }
    return out;
}

void StreamsManager::sendRequest(const QString &url, const QString &connectKey)
{
    if (!Http::isValidUrl(url))
        throw TulException(QStringLiteral("ERROR_SENDING"));
    Http::Request request;
    request.maxBytes = 255;
    // The request runs on the UI thread and blocks it until answered: a
    // slow server may hold it a few seconds at most.
    request.totalTimeoutMs = Http::SMALL_REQUEST_TIMEOUT_MS;
    QByteArray answer;
    try {
        answer = Http::get(url, request).body;
    } catch (const Http::HttpError &e) {
        // A longer answer is not "OK" either; anything else did not reach
        // the server or got no answer.
        if (e.kind() == Http::HttpError::Kind::TooLarge)
            throw TulException(QStringLiteral("ERROR_SENDING"), e);
        throw TulException(connectKey, e);
    }
    if (answer != "OK")
        throw TulException(QStringLiteral("ERROR_SENDING"));
}

void StreamsManager::streamTips(const StreamInfo &stream)
{
    streamTips(stream, QString());
}

void StreamsManager::streamTips(const StreamInfo &stream, const QString &description)
{
    // The account key is percent-encoded as in every other address, so that
    // "&", "+", "#" and blanks in it reach the server as stored; the
    // suggested values keep the form encoding.
    QString url = QStringLiteral("http://") + ServerConfig::host(ServerConfig::Server::Maker)
                  + QStringLiteral("/tul/prog/streamtips.php?version=") + Options::getVersion()
                  + QStringLiteral("&serial=") + Options::encodeQueryValue(Options::getSerial());
    auto pair = [&url](const char *key, const QString &value) {
        url += u'&';
        url += QLatin1String(key);
        url += u'=';
        url += formEncode(value);
    };
    pair("streamname", stream.getName());
    pair("streamurl", stream.getUrl());
    pair("streamhomepage", stream.getHomepageUrl());
    pair("streamcategory", stream.getCategory());
    pair("streamlanguage", stream.getLanguage());
    pair("streamcountry", stream.getCountry());
    pair("streamlive", stream.getLive() ? QStringLiteral("true") : QStringLiteral("false"));
    url += QStringLiteral("&streambitrate=") + QString::number(stream.getBitrate());
    pair("streamformat", stream.getFormat());
    pair("streamtype", stream.getType());
    if (!description.isNull())
        pair("streamdescription", description);
    sendRequest(url, QStringLiteral("ERROR_SENDING"));
}

void StreamsManager::reportBrokenLink(const QString &serial, int id)
{
    Q_UNUSED(serial); // the address carries no account key
    sendRequest(Options::getReportBrokenLinkUrl(id), QStringLiteral("ERROR_SENDING"));
}

void StreamsManager::recruitPerson(const QString &serial, const QString &email)
{
    Q_UNUSED(serial); // the address takes the stored account key
    // Key and address are percent-encoded so that "&", "+" and "#" reach
    // the server as typed.
    const QString url = QStringLiteral("http://") + ServerConfig::host(ServerConfig::Server::Maker)
                        + QStringLiteral("/tul/prog/recruitperson.php?version=") + Options::getVersion()
                        + QStringLiteral("&serial=") + Options::encodeQueryValue(Options::getSerial())
                        + QStringLiteral("&email=") + Options::encodeQueryValue(email);
    sendRequest(url, QStringLiteral("ConnectError"));
}
