#pragma once

#include "catalogue/StreamInfo.h"

#include <QString>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <vector>

class StreamsFetcher;
struct CatalogueIndexes;
struct StreamOrderIndex;

using StreamMap = std::map<int, StreamInfoPtr>;

// The one in-memory catalogue. fetchStreams runs on the catalogue worker
// thread while the UI thread reads the getters and the views: a load builds
// its lists, map and indexes privately and publishes them in one step, and
// every getter hands out an immutable snapshot, so readers never see a
// half-built catalogue.
//
// A consequence of the snapshots: a list handed out earlier is never
// changed. flushCache (and a catalogue that asks for a flush) empties the
// category and language indexes and publishes a new, empty list (a load
// then its new records); whoever still holds the earlier list keeps its
// records until it asks again.
class StreamsManager
{
public:
    StreamsManager();
    virtual ~StreamsManager();
    StreamsManager(const StreamsManager &) = delete;
    StreamsManager &operator=(const StreamsManager &) = delete;

    // The catalogue as one consistent view, for readers that need more than
    // one of its parts.
    struct Snapshot
    {
        std::shared_ptr<const StreamList> streams;
        // The order index of streams, published with it and shared by every
        // view of the list.
        std::shared_ptr<StreamOrderIndex> order;
        std::shared_ptr<const StreamMap> streamMap;
        int latestStreamId = 0;
        bool getLatest = true;
        QString updateUrl;
        QString motd;
    };
    Snapshot snapshot() const;

    // The service requests; each throws TulException unless the server
    // answers exactly "OK" within Http::SMALL_REQUEST_TIMEOUT_MS.
    // Suggests a stream (no description sent).
    virtual void streamTips(const StreamInfo &stream);
    // Suggests a stream with the user's description of it (a null
    // description is not sent).
    virtual void streamTips(const StreamInfo &stream, const QString &description);
    virtual void setAdultVisible(bool visible);
    virtual void reportBrokenLink(const QString &serial, int id);
    virtual void recruitPerson(const QString &serial, const QString &email);

    virtual QString getUpdateUrl() const;
    virtual std::shared_ptr<const StreamMap> getStreamMap() const;
    virtual QString getMOTD() const;
    virtual bool getLatest() const;
    virtual std::shared_ptr<const StreamList> getAllStreams() const;
    virtual bool getAdultVisible() const;
    // Publishes an empty list and empties the category and language indexes
    // (their "all" entries stay); the country index and the map stay.
    virtual void flushCache();
    // Loads the catalogue: from the server when its revision differs from
    // the stored one, else from the cache file, falling back to a download.
    // True when the catalogue holds at least one record. Throws TulException;
    // after a failure the catalogue published before stays as it was. A
    // stop request ends the load's downloads at once and the load with
    // "ConnectError", publishing nothing.
    virtual bool fetchStreams(std::stop_token stop = {});
    // The number of name in its index, registering it when new. A load
    // registers its records in a copy of the indexes and publishes that
    // copy, so a name added while a load runs is replaced by the load's
    // indexes.
    virtual int addLanguage(const QString &name);
    virtual int addCountry(const QString &name);
    virtual int addCategory(const QString &name);

    // The latest-streams threshold: the latest view shows records whose id
    // is greater.
    int getLatestStreamId() const;

    // Asks every later load to prepare the order index of its list on the
    // loading thread, right after publishing it, so that the views' first
    // rows of a new catalogue come at once. The catalogue views built on the
    // manager ask for it; without views a load builds no index.
    void prepareOrderOnLoad();

    // The selector entries of the indexes, in number order ("all" first for
    // categories and languages).
    std::vector<StreamFilterPtr> getCategories() const;
    std::vector<StreamFilterPtr> getLanguages() const;
    std::vector<StreamFilterPtr> getCountries() const;

    // The form encoding of the suggestion's values over ISO-8859-1: letters,
    // digits and ".-*_" kept, blank as "+", the rest as "%XX" of its
    // ISO-8859-1 byte, a character outside ISO-8859-1 as "%3F".
    static QString formEncode(const QString &value);

private:
    // Runs the reply check: the whole answer (at most 255 bytes) must be
    // "OK". connectKey is the message key of a connection failure.
    static void sendRequest(const QString &url, const QString &connectKey);

    std::unique_ptr<StreamsFetcher> m_fetcher;
    std::mutex m_loadMutex; // one load at a time

    std::atomic<bool> m_prepareOrder{false};

    mutable std::mutex m_mutex; // guards everything below
    std::shared_ptr<const StreamList> m_allStreams;
    std::shared_ptr<StreamOrderIndex> m_order; // of m_allStreams
    std::shared_ptr<const StreamMap> m_streamMap;
    std::unique_ptr<CatalogueIndexes> m_indexes;
    QString m_updateUrl;
    QString m_motd;
    int m_latestStreamId = 0;
    bool m_getLatest = true;

    std::atomic<bool> m_adultVisible{false};
};
