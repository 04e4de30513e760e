#pragma once

#include "StreamInfo.h"

#include <QString>
#include <optional>
#include <vector>

class StreamsManager;
class PPVView;

// The user's settings and favourites for the whole process, kept in
// "options.xml" in the working directory, and the builder of the server
// addresses. No instances: all state is process-wide. Every operation is
// safe to call from any thread (the catalogue worker reads and writes the
// revision and the last stream id while the UI thread uses the rest).
class Options
{
public:
    Options() = delete;

    static constexpr int MAJOR_VERSION = 10;
    static constexpr int MINOR_VERSION = 0;
    static constexpr int REVISION = 0;

    // fromFile: read "options.xml". Otherwise remember the manager (first
    // call that brings one), apply limited mode, and with withFavorites load
    // the stored favourites. ppvView is not consulted.
    static void readFromDisk(StreamsManager *manager, PPVView *ppvView, bool withFavorites, bool fromFile);
    // Writes "options.xml" atomically; returns false (and leaves the earlier
    // file in place) when it could not be written.
    static bool writeToDisk();

    static QString getSerial();
    static void setSerial(const QString &key); // writes the file at once
    static bool getUpdateEnabled();
    static void setUpdateEnabled(bool enabled);
    static std::optional<bool> getMode();
    static void setMode(bool full); // writes the file at once
    static std::optional<bool> getModeNotPersistent();
    static void setModeNotPersistent(bool full);
    static bool getUserWizardEnabled();
    static void setUserWizardEnabled(bool enabled);
    static int getCacheRevision();
    static void setCacheRevision(int revision);
    static void setPasswd(const QString &password);
    static bool evalPasswd(const QString &entry);
    static QString getLanguage();
    static void setLanguage(const QString &code);
    static int getLastStreamId();
    static void setLastStreamId(int id);
    static QString getVersion(); // "10.0.0"

    // Server addresses.
    static QString getCacheRevisionUrl();
    static QString getFetchstreamsUrl();
    static QString getPpvUrlFetch();
    static QString getPpvMovieUrl(int videoId);
    static QString getPpvDescriptionUrl();
    static QString getReportBrokenLinkUrl(int streamId);
    static QString getPpvUrl();
    static QString getManualUrl();

    // Favourites. loadFavorites returns no value while there is nothing to
    // give (no settings file read and nothing added).
    static std::optional<std::vector<StreamInfoPtr>> loadFavorites();
    static void addFavorite(const StreamInfoPtr &stream);
    static void removeFavorite(const StreamInfoPtr &stream);

    // Back to the initial values of a fresh process (for tests).
    static void resetToDefaults();
};
