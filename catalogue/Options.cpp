#include "catalogue/Options.h"

#include "catalogue/IcecastFetcher.h"
#include "catalogue/ServerConfig.h"
#include "catalogue/StreamsManager.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QtGlobal>

#include <pugixml.hpp>
#include <sodium.h>

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace {

const QString FILE_NAME = QStringLiteral("options.xml");
// Where a settings file that could not be read is kept when the program
// writes a new one, so the user's data in it is not lost.
const QString UNREADABLE_FILE_NAME = QStringLiteral("options.xml.bad");
// Larger files are not settings files of this program.
constexpr qint64 MAX_FILE_SIZE = 64ll * 1024 * 1024;
// The password that limited mode locks adult content with.
const QString LIMITED_MODE_PASSWORD = QStringLiteral("qelmorvintashk");
const QString NO_PASSWORD = QStringLiteral("0");
const QString ICECAST = QStringLiteral("Icecast");

// Argon2id costs: two passes over 19 MiB, quick enough for a dialog and for
// the start-up in limited mode, yet slow for guessing.
constexpr unsigned long long PWHASH_OPSLIMIT = 2;
constexpr size_t PWHASH_MEMLIMIT = 19u * 1024u * 1024u;

// One favourite. A catalogue favourite read from the file stays a stored
// entry (record unset) until its stream turns up in the catalogue; an entry
// the program cannot use (no "format" attribute, a "StreamId" or "Bitrate"
// that is not a number) stays a stored entry for good. Stored entries are
// not given out, keep their place in the list and are written back as they
// were read, with "index" set to their place.
struct Favorite
{
    StreamInfoPtr record;
    // A stored entry's "Entry" element in the parsed settings file, which it
    // keeps alive; the stored entries of one file share it, so the file is
    // held once however many there are.
    std::shared_ptr<const pugi::xml_document> file;
    pugi::xml_node stored;
    int streamId = 0;      // the catalogue id of a stored entry that can be bound
    bool bindable = false; // a stored catalogue entry with a numeric "StreamId"
    bool fromFile = false; // came from the settings file (not added in this run)
};

struct State
{
    QString serial; // null while unset
    bool updateEnabled = true;
    std::optional<bool> mode;
    bool userWizardEnabled = true;
    int cacheRevision = 0;
    QString passwd; // null while unset
    QString language = QStringLiteral("en");
    int lastStreamId = 0;
    std::optional<bool> notPersistentMode;
    StreamsManager *manager = nullptr;

    std::vector<Favorite> favorites;
    bool fileRead = false; // a settings file was read, so stored favourites are known
    bool keepAside = false; // the file on disk could not be read: move it aside before replacing it
    bool once = false;     // the first loadFavorites of the run has bound the stored ones
    QString limitedModeHash; // the hash limited mode stored last, to avoid hashing again
};

std::mutex &stateMutex()
{
    static std::mutex mutex;
    return mutex;
}

State &state()
{
    static State s;
    return s;
}

// Serialises the writers of the file (the state lock is not held while the
// file is written).
std::mutex &fileMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Removes characters of code 32 and below at either end.
QString trimLow(const QString &text)
{
    if (text.isNull())
        return text;
    QString result = FeedText::trimmed(text);
    if (result.isNull())
        result = QLatin1String("");
    return result;
}

std::optional<int> parseDecimal(const QString &text)
{
    const QString s = trimLow(text);
    if (s.isEmpty())
        return std::nullopt;
    qsizetype i = (s.at(0) == u'-' || s.at(0) == u'+') ? 1 : 0;
    if (i == s.size() || s.size() - i > 10)
        return std::nullopt;
    for (; i < s.size(); ++i) {
        if (s.at(i) < u'0' || s.at(i) > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const qlonglong value = s.toLongLong(&ok);
    if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(value);
}

// The text content of an element (its own text and CDATA children); a null
// text when the element is missing, "" when it is empty.
QString elementText(pugi::xml_node element)
{
    if (!element)
        return QString();
    std::string text;
    for (pugi::xml_node child : element.children()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            text += child.value();
    }
    QString result = QString::fromStdString(text);
    if (result.isNull())
        result = QLatin1String("");
    return result;
}

QString childTextTrim(pugi::xml_node parent, const char *name)
{
    return trimLow(elementText(parent.child(name)));
}

// Drops the characters XML 1.0 cannot carry, so that a stray control
// character in a value does not leave a file that is not well-formed.
QByteArray xmlText(const QString &value)
{
    QString clean;
    clean.reserve(value.size());
    for (QChar c : value) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xFFFE || u == 0xFFFF)
            continue;
        clean.append(c);
    }
    return clean.toUtf8();
}

void appendText(pugi::xml_node parent, const char *name, const QString &value)
{
    pugi::xml_node element = parent.append_child(name);
    if (!value.isEmpty())
        element.text().set(xmlText(value).constData());
}

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// ---- Parental password ----------------------------------------------------

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// The hash of the first program versions: the XOR of (byte + 1) over the
// bytes, each byte read as a signed value.
QString legacyHash(const QByteArray &bytes)
{
    qint32 h = 0;
    for (char c : bytes)
        h ^= qint32(static_cast<signed char>(c)) + 1;
    return QString::number(h);
}

bool isLegacyHash(const QString &stored)
{
    const qsizetype start = stored.startsWith(u'-') ? 1 : 0;
    if (start == stored.size())
        return false;
    for (qsizetype i = start; i < stored.size(); ++i) {
        if (stored.at(i) < u'0' || stored.at(i) > u'9')
            return false;
    }
    return true;
}

bool isArgonHash(const QString &stored)
{
    return stored.startsWith(QLatin1String("$argon2"));
}

// The stored form of a trimmed password. Should hashing fail (no memory),
// the result refuses every entry, which keeps a lock locked.
QString storedFormOf(const QString &trimmed)
{
    if (trimmed.isEmpty())
        return NO_PASSWORD;
    const QByteArray bytes = trimmed.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (!sodiumReady()
        || crypto_pwhash_str(out, bytes.constData(), static_cast<unsigned long long>(bytes.size()),
                             PWHASH_OPSLIMIT, PWHASH_MEMLIMIT)
            != 0) {
        qWarning("Could not hash the parental password");
        return QStringLiteral("!");
    }
    return QString::fromLatin1(out);
}

bool verifyArgon(const QString &stored, const QString &trimmedEntry)
{
    if (!sodiumReady())
        return false;
    const QByteArray hash = stored.toLatin1();
    const QByteArray bytes = trimmedEntry.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), bytes.constData(),
                                    static_cast<unsigned long long>(bytes.size()))
        == 0;
}

bool verifyLegacy(const QString &stored, const QString &trimmedEntry)
{
    // Older files were written on systems whose default character set was
    // a single-byte one; accept either encoding of the entry.
    return legacyHash(trimmedEntry.toUtf8()) == stored || legacyHash(trimmedEntry.toLatin1()) == stored;
}

// ---- Favourites -----------------------------------------------------------

bool isPayPerView(const StreamInfoPtr &record)
{
    return dynamic_cast<const PPVStreamInfo *>(record.get()) != nullptr;
}

// A favourite read from the file that stays a stored entry.
void keepStored(Favorite &favorite, const std::shared_ptr<const pugi::xml_document> &file, pugi::xml_node entry)
{
    favorite.file = file;
    favorite.stored = entry;
}

// A stored entry bound to its stream: the file is no longer needed for it.
void bind(Favorite &favorite, const StreamInfoPtr &record)
{
    favorite.record = record;
    favorite.file.reset();
    favorite.stored = pugi::xml_node();
}

Favorite favoriteFromEntry(const std::shared_ptr<const pugi::xml_document> &file, pugi::xml_node entry)
{
    Favorite favorite;
    favorite.fromFile = true;
    const pugi::xml_attribute format = entry.attribute("format");
    if (!format) {
        keepStored(favorite, file, entry);
        return favorite;
    }
    const QString formatText = QString::fromUtf8(format.value());
    if (formatText == ICECAST) {
        const std::optional<int> bitrate = parseDecimal(childTextTrim(entry, "Bitrate"));
        if (!bitrate) {
            keepStored(favorite, file, entry);
            return favorite;
        }
        auto record = std::make_shared<StreamInfo>();
        record->setName(childTextTrim(entry, "Name"));
        record->setAdult(childTextTrim(entry, "Adult") == QLatin1String("true"));
        record->setBitrate(*bitrate);
        record->setUrl(childTextTrim(entry, "Url"));
        record->setFormat(ICECAST);
        favorite.record = record;
        return favorite;
    }
    keepStored(favorite, file, entry);
    const std::optional<int> id = parseDecimal(childTextTrim(entry, "StreamId"));
    if (id) {
        favorite.bindable = true;
        favorite.streamId = *id;
    }
    return favorite;
}

// The favourites of the file in ascending stored position ("index", the
// place of a favourite's first occurrence when it was written). Of two
// entries with one position the later one in the file takes it, as the
// writer gives a directory stream listed twice the position of the first.
// Positions have no upper limit. An entry without a usable position
// (missing, negative, not a number) is kept too: after the others, in file
// order.
std::vector<Favorite> storedFavorites(const std::shared_ptr<const pugi::xml_document> &file,
                                      pugi::xml_node section)
{
    std::vector<std::pair<int, Favorite>> placed;
    std::vector<Favorite> unplaced;
    for (pugi::xml_node entry : section.children("Entry")) {
        const std::optional<int> position = parseDecimal(QString::fromUtf8(entry.attribute("index").value()));
        if (position && *position >= 0)
            placed.emplace_back(*position, favoriteFromEntry(file, entry));
        else
            unplaced.push_back(favoriteFromEntry(file, entry));
    }
    std::stable_sort(placed.begin(), placed.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<Favorite> stored;
    stored.reserve(placed.size() + unplaced.size());
    for (size_t i = 0; i < placed.size(); ++i) {
        if (i + 1 < placed.size() && placed[i + 1].first == placed[i].first)
            continue; // a later entry has this position
        stored.push_back(std::move(placed[i].second));
    }
    for (Favorite &f : unplaced)
        stored.push_back(std::move(f));
    return stored;
}

// Appends a record unless it is refused; a stored entry waiting for the same
// stream is bound to it in its place instead.
void addFavoriteLocked(State &s, const StreamInfoPtr &stream)
{
    if (!stream || isPayPerView(stream))
        return;
    const int id = stream->getId();
    if (id != 0) {
        for (const Favorite &f : s.favorites) {
            if (f.record && f.record->getId() == id)
                return;
        }
        for (Favorite &f : s.favorites) {
            if (!f.record && f.bindable && f.streamId == id) {
                bind(f, stream);
                return;
            }
        }
    }
    Favorite favorite;
    favorite.record = stream;
    s.favorites.push_back(std::move(favorite));
}

// Binds stored catalogue entries whose stream the catalogue now holds. An
// entry for a stream that is already a favourite is dropped (it was the same
// favourite twice). One pass: the ids given out are kept in a set, and the
// list is compacted as it goes, so many stored entries naming the same few
// streams cost no more than as many different ones.
void bindStoredLocked(State &s, const StreamMap &map)
{
    const auto waiting = [](const Favorite &f) { return !f.record && f.bindable; };
    if (std::none_of(s.favorites.begin(), s.favorites.end(), waiting))
        return;
    std::unordered_set<int> present;
    present.reserve(s.favorites.size());
    for (const Favorite &f : s.favorites) {
        if (f.record)
            present.insert(f.record->getId());
    }
    auto kept = s.favorites.begin();
    for (auto it = s.favorites.begin(); it != s.favorites.end(); ++it) {
        if (waiting(*it)) {
            const auto found = map.find(it->streamId);
            if (found != map.end() && found->second && !isPayPerView(found->second)) {
                if (!present.insert(it->streamId).second)
                    continue; // the same favourite twice: dropped
                bind(*it, found->second);
            }
        }
        if (kept != it)
            *kept = std::move(*it);
        ++kept;
    }
    s.favorites.erase(kept, s.favorites.end());
}

void bindStored(StreamsManager *manager)
{
    if (!manager)
        return;
    const std::shared_ptr<const StreamMap> map = manager->getStreamMap();
    if (!map)
        return;
    std::lock_guard lock(stateMutex());
    bindStoredLocked(state(), *map);
}

// Appends the "Entry" of the favourite at position; first is the position of
// its record's first occurrence in the list.
void appendEntry(pugi::xml_node favorites, const Favorite &f, size_t position, size_t first)
{
    if (!f.record) {
        pugi::xml_node entry = favorites.append_copy(f.stored);
        pugi::xml_attribute index = entry.attribute("index");
        if (!index)
            index = entry.prepend_attribute("index");
        index.set_value(static_cast<long long>(position));
        return;
    }
    pugi::xml_node entry = favorites.append_child("Entry");
    entry.append_attribute("index").set_value(static_cast<long long>(first));
    const QString format = f.record->getFormat();
    if (!format.isNull())
        entry.append_attribute("format").set_value(xmlText(format).constData());
    appendText(entry, "StreamId", QString::number(f.record->getId()));
    appendText(entry, "Name", f.record->getName());
    appendText(entry, "Adult", boolText(f.record->getAdult()));
    if (format == ICECAST) {
        appendText(entry, "Bitrate", QString::number(f.record->getBitrate()));
        appendText(entry, "Url", f.record->getUrl());
    }
}

// The favourites in list order. The first occurrence of each record is
// found in one pass, so a long list is written in linear time.
void appendFavorites(pugi::xml_node favorites, const State &s)
{
    std::unordered_map<const StreamInfo *, size_t> firstPosition;
    firstPosition.reserve(s.favorites.size());
    for (size_t i = 0; i < s.favorites.size(); ++i) {
        const Favorite &f = s.favorites[i];
        const size_t first = f.record ? firstPosition.try_emplace(f.record.get(), i).first->second : i;
        appendEntry(favorites, f, i, first);
    }
}

struct StringWriter : pugi::xml_writer
{
    QByteArray bytes;
    void write(const void *data, size_t size) override
    {
        bytes.append(static_cast<const char *>(data), static_cast<qsizetype>(size));
    }
};

QByteArray documentBytes(const State &s)
{
    pugi::xml_document doc;
    pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version").set_value("1.0");
    declaration.append_attribute("encoding").set_value("UTF-8");

    pugi::xml_node root = doc.append_child("Settings");
    pugi::xml_node options = root.append_child("Options");
    appendText(options, "Serial", s.serial);
    appendText(options, "UpdateEnabled", boolText(s.updateEnabled));
    appendText(options, "Mode", s.mode ? boolText(*s.mode) : QString());
    appendText(options, "UserWizardEnabled", boolText(s.userWizardEnabled));
    appendText(options, "CacheRevision", QString::number(s.cacheRevision));
    appendText(options, "Password", s.passwd);
    appendText(options, "Language", s.language);
    appendText(options, "LastStreamId", QString::number(s.lastStreamId));

    pugi::xml_node favorites = root.append_child("Favorites");
    appendFavorites(favorites, s);

    StringWriter writer;
    doc.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    // The declaration on a line of its own, and a line end after the root.
    const qsizetype close = writer.bytes.indexOf("?>");
    if (close >= 0)
        writer.bytes.insert(close + 2, '\n');
    writer.bytes.append('\n');
    return writer.bytes;
}

void readOptionsLocked(State &s, pugi::xml_node options)
{
    if (pugi::xml_node serial = options.child("Serial"))
        s.serial = trimLow(elementText(serial));
    if (pugi::xml_node mode = options.child("Mode")) {
        // An empty "Mode" is what is written while no mode has been chosen.
        const QString text = trimLow(elementText(mode));
        if (text.isEmpty())
            s.mode.reset();
        else
            s.mode = (text == QLatin1String("true"));
    }
    if (pugi::xml_node update = options.child("UpdateEnabled"))
        s.updateEnabled = trimLow(elementText(update)) == QLatin1String("true");
    if (pugi::xml_node wizard = options.child("UserWizardEnabled"))
        s.userWizardEnabled = trimLow(elementText(wizard)) == QLatin1String("true");
    if (const std::optional<int> last = parseDecimal(elementText(options.child("LastStreamId"))))
        s.lastStreamId = *last;
    if (const std::optional<int> revision = parseDecimal(elementText(options.child("CacheRevision"))))
        s.cacheRevision = *revision;
    if (pugi::xml_node password = options.child("Password"))
        s.passwd = trimLow(elementText(password));
    // The language is taken as it stands, blanks included.
    s.language = elementText(options.child("Language"));
}

// A settings file that exists but cannot be used: say so, and keep it aside
// when the next save replaces it (an empty file holds nothing to keep).
void unreadable(const QString &reason, bool keep)
{
    qWarning("Could not read %s: %s", qPrintable(FILE_NAME), qPrintable(reason));
    std::lock_guard lock(stateMutex());
    state().keepAside = keep;
}

void readFile()
{
    QFile file(FILE_NAME);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(file.errorString(), true);
    if (file.size() > MAX_FILE_SIZE)
        return unreadable(QStringLiteral("the file is larger than %1 bytes").arg(MAX_FILE_SIZE), true);
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return unreadable(file.errorString(), true);
    file.close();
    if (bytes.isEmpty())
        return unreadable(QStringLiteral("the file is empty"), false);

    auto doc = std::make_shared<pugi::xml_document>();
    const pugi::xml_parse_result parsed =
        doc->load_buffer(bytes.constData(), static_cast<size_t>(bytes.size()), pugi::parse_default,
                         pugi::encoding_auto);
    if (!parsed)
        return unreadable(QStringLiteral("%1 at byte %2").arg(QString::fromLatin1(parsed.description()))
                              .arg(parsed.offset),
                          true);
    const pugi::xml_node root = doc->document_element();
    if (!root)
        return unreadable(QStringLiteral("no root element"), true);

    std::vector<Favorite> stored = storedFavorites(doc, root.child("Favorites"));

    std::lock_guard lock(stateMutex());
    State &s = state();
    if (const pugi::xml_node options = root.child("Options"))
        readOptionsLocked(s, options);

    // The file's favourites come first, then those added in this run before
    // the file was read (without the ones the file already holds).
    std::vector<Favorite> added;
    for (Favorite &f : s.favorites) {
        if (!f.fromFile)
            added.push_back(std::move(f));
    }
    s.favorites = std::move(stored);
    for (const Favorite &f : added)
        addFavoriteLocked(s, f.record);
    s.fileRead = true;
    s.keepAside = false;
}

void applyLimitedPassword()
{
    {
        std::lock_guard lock(stateMutex());
        const State &s = state();
        if (!s.limitedModeHash.isNull() && s.passwd == s.limitedModeHash)
            return;
    }
    const QString hash = storedFormOf(LIMITED_MODE_PASSWORD);
    std::lock_guard lock(stateMutex());
    state().passwd = hash;
    state().limitedModeHash = hash;
}

} // namespace

// ---- Reading and writing ----------------------------------------------------

void Options::readFromDisk(StreamsManager *manager, PPVView *ppvView, bool withFavorites, bool fromFile)
{
    Q_UNUSED(ppvView);
    if (fromFile) {
        readFile();
        return;
    }
    StreamsManager *remembered = nullptr;
    bool limited = false;
    {
        std::lock_guard lock(stateMutex());
        State &s = state();
        if (!s.manager)
            s.manager = manager;
        remembered = s.manager;
        limited = s.mode.has_value() && !*s.mode;
    }
    if (limited) {
        applyLimitedPassword();
        if (remembered)
            remembered->setAdultVisible(false);
    }
    if (withFavorites)
        bindStored(remembered);
}

bool Options::writeToDisk()
{
    QByteArray bytes;
    {
        std::lock_guard lock(stateMutex());
        bytes = documentBytes(state());
    }
    std::lock_guard lock(fileMutex());
    bool keepAside = false;
    {
        std::lock_guard lock(stateMutex());
        keepAside = state().keepAside;
    }
    if (keepAside && QFile::exists(FILE_NAME)) {
        // The unreadable file still holds the user's data: keep it under
        // another name rather than replace it.
        QFile::remove(UNREADABLE_FILE_NAME);
        if (!QFile::rename(FILE_NAME, UNREADABLE_FILE_NAME)) {
            qWarning("Could not write %s: cannot keep the unreadable file as %s", qPrintable(FILE_NAME),
                     qPrintable(UNREADABLE_FILE_NAME));
            return false;
        }
        qWarning("Kept the unreadable %s as %s", qPrintable(FILE_NAME), qPrintable(UNREADABLE_FILE_NAME));
        std::lock_guard lock(stateMutex());
        state().keepAside = false;
    }
    QSaveFile file(FILE_NAME);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning("Could not write %s: %s", qPrintable(FILE_NAME), qPrintable(file.errorString()));
        return false;
    }
    // The flush is checked here because commit() alone does not notice a
    // write that failed while flushing (a full disk, a file size limit) and
    // would put a cut-off file in place. A cancelled QSaveFile is discarded:
    // the earlier file stays.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString error = file.errorString();
        file.cancelWriting();
        qWarning("Could not write %s: %s", qPrintable(FILE_NAME), qPrintable(error));
        return false;
    }
    if (!file.commit()) {
        qWarning("Could not write %s: %s", qPrintable(FILE_NAME), qPrintable(file.errorString()));
        return false;
    }
    return true;
}

// ---- Settings -------------------------------------------------------------------

QString Options::getSerial()
{
    std::lock_guard lock(stateMutex());
    const QString &serial = state().serial;
    if (serial.isNull())
        return QStringLiteral("");
    return serial;
}

void Options::setSerial(const QString &key)
{
    {
        std::lock_guard lock(stateMutex());
        state().serial = key;
    }
    writeToDisk();
}

bool Options::getUpdateEnabled()
{
    std::lock_guard lock(stateMutex());
    return state().updateEnabled;
}

void Options::setUpdateEnabled(bool enabled)
{
    std::lock_guard lock(stateMutex());
    state().updateEnabled = enabled;
}

std::optional<bool> Options::getMode()
{
    std::lock_guard lock(stateMutex());
    return state().mode;
}

void Options::setMode(bool full)
{
    if (full)
        setPasswd(QString());
    {
        std::lock_guard lock(stateMutex());
        state().mode = full;
    }
    writeToDisk();
}

std::optional<bool> Options::getModeNotPersistent()
{
    std::lock_guard lock(stateMutex());
    return state().notPersistentMode;
}

void Options::setModeNotPersistent(bool full)
{
    std::lock_guard lock(stateMutex());
    state().notPersistentMode = full;
}

bool Options::getUserWizardEnabled()
{
    std::lock_guard lock(stateMutex());
    return state().userWizardEnabled;
}

void Options::setUserWizardEnabled(bool enabled)
{
    std::lock_guard lock(stateMutex());
    state().userWizardEnabled = enabled;
}

int Options::getCacheRevision()
{
    std::lock_guard lock(stateMutex());
    return state().cacheRevision;
}

void Options::setCacheRevision(int revision)
{
    std::lock_guard lock(stateMutex());
    state().cacheRevision = revision;
}

void Options::setPasswd(const QString &password)
{
    // Hashing is slow: done without the lock.
    const QString stored = storedFormOf(trimLow(password));
    std::lock_guard lock(stateMutex());
    state().passwd = stored;
}

bool Options::evalPasswd(const QString &entry)
{
    QString stored;
    {
        std::lock_guard lock(stateMutex());
        State &s = state();
        if (s.passwd.isEmpty())
            return true;
        stored = trimLow(s.passwd);
        s.passwd = stored;
    }
    const QString trimmed = trimLow(entry);
    if (stored == NO_PASSWORD)
        return trimmed.isEmpty();
    if (isArgonHash(stored))
        return verifyArgon(stored, trimmed);
    if (!isLegacyHash(stored) || !verifyLegacy(stored, trimmed))
        return false;
    // A password from an older file: keep it in the new form from now on.
    const QString upgraded = storedFormOf(trimmed);
    std::lock_guard lock(stateMutex());
    State &s = state();
    if (s.passwd == stored)
        s.passwd = upgraded;
    return true;
}

QString Options::getLanguage()
{
    std::lock_guard lock(stateMutex());
    const QString &language = state().language;
    if (language.isNull())
        return QStringLiteral("");
    return language;
}

void Options::setLanguage(const QString &code)
{
    std::lock_guard lock(stateMutex());
    state().language = code;
}

int Options::getLastStreamId()
{
    std::lock_guard lock(stateMutex());
    return state().lastStreamId;
}

void Options::setLastStreamId(int id)
{
    std::lock_guard lock(stateMutex());
    state().lastStreamId = id;
}

QString Options::getVersion()
{
    return QString::number(MAJOR_VERSION) + u'.' + QString::number(MINOR_VERSION) + u'.'
        + QString::number(REVISION);
}

// ---- Addresses ------------------------------------------------------------------

QString Options::encodeQueryValue(const QString &value)
{
    return QString::fromLatin1(value.toUtf8().toPercentEncoding());
}

namespace {

QString address(const char *scheme, ServerConfig::Server server, const QString &pathAndQuery)
{
    return QString::fromLatin1(scheme) + QLatin1String("://") + ServerConfig::host(server) + pathAndQuery;
}

QString catalogue(const QString &pathAndQuery)
{
    return address("http", ServerConfig::Server::Catalogue, pathAndQuery);
}

} // namespace

QString Options::getCacheRevisionUrl()
{
    return catalogue(QStringLiteral("/cacheversion.txt"));
}

QString Options::getFetchstreamsUrl()
{
    return catalogue(QLatin1String("/getstreams.php?version=") + encodeQueryValue(getVersion())
                     + QLatin1String("&serial=") + encodeQueryValue(getSerial()) + QLatin1String("&lang=")
                     + encodeQueryValue(getLanguage()));
}

QString Options::getPpvUrlFetch()
{
    return catalogue(QLatin1String("/getppv.php?serial=") + encodeQueryValue(getSerial()));
}

QString Options::getPpvMovieUrl(int videoId)
{
    return catalogue(QLatin1String("/ppvshow.php?serial=") + encodeQueryValue(getSerial())
                     + QLatin1String("&videoid=") + QString::number(videoId));
}

QString Options::getPpvDescriptionUrl()
{
    return catalogue(QLatin1String("/getPPVDescription.php?serial=") + encodeQueryValue(getSerial()));
}

QString Options::getReportBrokenLinkUrl(int streamId)
{
    return catalogue(QLatin1String("/brokenstreamreport.php?id=") + QString::number(streamId));
}

QString Options::getPpvUrl()
{
    return address("https", ServerConfig::Server::Order,
                   QLatin1String("/ppv/ppvorder.php?serial=") + encodeQueryValue(getSerial()));
}

QString Options::getManualUrl()
{
    return address("http", ServerConfig::Server::Forum, QStringLiteral("/viewforum.php?f=11"));
}

// ---- Favourites -----------------------------------------------------------------

std::optional<std::vector<StreamInfoPtr>> Options::loadFavorites()
{
    bool first = false;
    StreamsManager *manager = nullptr;
    {
        std::lock_guard lock(stateMutex());
        first = !state().once;
        state().once = true;
        manager = state().manager;
    }
    if (first)
        readFromDisk(nullptr, nullptr, true, false);
    else
        bindStored(manager);

    std::lock_guard lock(stateMutex());
    const State &s = state();
    if (!s.fileRead && s.favorites.empty())
        return std::nullopt;
    std::vector<StreamInfoPtr> list;
    list.reserve(s.favorites.size());
    for (const Favorite &f : s.favorites) {
        if (f.record)
            list.push_back(f.record);
    }
    return list;
}

void Options::addFavorite(const StreamInfoPtr &stream)
{
    std::lock_guard lock(stateMutex());
    addFavoriteLocked(state(), stream);
}

void Options::removeFavorite(const StreamInfoPtr &stream)
{
    if (!stream)
        return;
    std::lock_guard lock(stateMutex());
    auto &favorites = state().favorites;
    for (auto it = favorites.begin(); it != favorites.end(); ++it) {
        if (it->record == stream) {
            favorites.erase(it);
            return;
        }
    }
}

void Options::resetToDefaults()
{
    std::lock_guard lock(stateMutex());
    state() = State();
}
