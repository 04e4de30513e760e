#pragma once

#include "catalogue/StreamInfo.h"

#include <QString>
#include <functional>
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

    // fromFile: read "options.xml" (a missing, unreadable or malformed file
    // changes nothing; a missing or malformed element keeps its setting,
    // except "Language", which is unset when missing).
    // Otherwise remember the manager (first call that brings one), apply
    // limited mode (built-in parental password, adult content hidden), and
    // with withFavorites bind the stored favourites to the manager's
    // catalogue. ppvView is not consulted. The manager is called without
    // Options' lock held.
    static void readFromDisk(StreamsManager *manager, PPVView *ppvView, bool withFavorites, bool fromFile);
    // Writes "options.xml" atomically (a temporary file renamed over the old
    // one); returns false, leaves the earlier file in place and prints one
    // line on standard error when it could not be written. A named pipe or
    // a device in its place (or a link to one) is moved aside as
    // "options.xml.bad" like an unreadable file, never opened.
    static bool writeToDisk();

    // Why a save failed, and where the settings file as it was before it
    // stays.
    struct WriteFailure
    {
        QString reason;   // in plain words; empty when the last save succeeded
        QString keptFile; // absolute path of the earlier file; empty when there is none
    };
    // The outcome of the last save of this process.
    static WriteFailure lastWriteFailure();
    // Called on the saving thread, with no lock held, when a save that
    // setSerial or setMode makes fails: the window shows it to the user.
    // An empty handler (the initial one) does nothing.
    static void setWriteFailureHandler(std::function<void(const WriteFailure &)> handler);

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
    // The parental password. Both trim characters of code 32 and below at
    // either end. The empty password is stored as "0"; any other one as a
    // salted Argon2id hash. An unset, "" or "0" stored text means no
    // password: evalPasswd("") is then true. A decimal hash of an older
    // settings file is still accepted once and replaced by the new form.
    static void setPasswd(const QString &password);
    static bool evalPasswd(const QString &entry);
    static QString getLanguage();
    static void setLanguage(const QString &code);
    // The highest stream id of the last catalogue load; kept and saved as
    // "LastStreamId".
    static int getLastStreamId();
    static void setLastStreamId(int id);
    static QString getVersion(); // "10.0.0"

    // A query value percent-encoded: the unreserved characters of RFC 3986
    // (letters, digits, "-", ".", "_", "~") stay, every other byte of the
    // UTF-8 form becomes "%XX" with upper-case hex digits.
    static QString encodeQueryValue(const QString &value);

    // Server addresses; the account key and the language are encoded with
    // encodeQueryValue.
    static QString getCacheRevisionUrl();
    static QString getFetchstreamsUrl();
    static QString getPpvUrlFetch();
    static QString getPpvMovieUrl(int videoId);
    static QString getPpvDescriptionUrl();
    static QString getReportBrokenLinkUrl(int streamId);
    static QString getPpvUrl();
    static QString getManualUrl();

    // Favourites. The stored ones come in ascending stored position (the
    // "index" of each "Entry"; of two with one position the later one in the
    // file wins). loadFavorites returns no value while there is nothing to
    // give (no settings file read and nothing added). Its first call applies
    // limited mode again and binds the stored favourites to the catalogue;
    // every call binds stored favourites that were not in the catalogue
    // before. A stored favourite that is not in the catalogue (yet) is not
    // given out but keeps its place and is written back by writeToDisk.
    static std::optional<std::vector<StreamInfoPtr>> loadFavorites();
    // Appends a stream; refused: none, a pay-per-view movie, and a stream
    // whose id (other than 0) is already a favourite. A stored favourite
    // waiting for that id takes the stream in its own place instead.
    static void addFavorite(const StreamInfoPtr &stream);
    // Removes the first occurrence of this very record.
    static void removeFavorite(const StreamInfoPtr &stream);

    // Back to the initial values of a fresh process (for tests).
    static void resetToDefaults();
};
