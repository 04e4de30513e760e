#pragma once

#include "StreamInfo.h"

#include <QString>
#include <map>
#include <memory>

class StreamsFetcher;

using StreamMap = std::map<int, StreamInfoPtr>;

// The one in-memory catalogue. fetchStreams runs on the catalogue worker
// thread while the UI thread reads the getters and the views: a load builds
// its lists, map and indexes privately and publishes them in one step, and
// every getter hands out an immutable snapshot, so readers never see a
// half-built catalogue.
class StreamsManager
{
public:
    StreamsManager();
    virtual ~StreamsManager();
    StreamsManager(const StreamsManager &) = delete;
    StreamsManager &operator=(const StreamsManager &) = delete;

    virtual void streamTips(const StreamInfo &stream);
    virtual void setAdultVisible(bool visible);
    virtual void reportBrokenLink(const QString &serial, int id);
    virtual void recruitPerson(const QString &serial, const QString &email);
    virtual QString getUpdateUrl() const;
    virtual std::shared_ptr<const StreamMap> getStreamMap() const;
    virtual QString getMOTD() const;
    virtual bool getLatest() const;
    virtual std::shared_ptr<const StreamList> getAllStreams() const;
    virtual bool getAdultVisible() const;
    virtual void flushCache();
    virtual bool fetchStreams();
    virtual int addLanguage(const QString &name);
    virtual int addCountry(const QString &name);
    virtual int addCategory(const QString &name);

    // The latest-streams threshold: the latest view shows records whose id
    // is greater.
    int getLatestStreamId() const;
};
