#include "catalogue/Options.h"

#include "catalogue/OptionsState.h"
#include "catalogue/OptionsXml.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QtGlobal>

#include <pugixml.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using OptionsState::fileMutex;
using OptionsState::State;
using OptionsState::state;
using OptionsState::stateMutex;
using OptionsXml::appendText;
using OptionsXml::boolText;
using OptionsXml::elementText;
using OptionsXml::parseDecimal;
using OptionsXml::trimLow;

namespace {

const QString FILE_NAME = QStringLiteral("options.xml");
// Where a settings file that could not be read is kept when the program
// writes a new one, so the user's data in it is not lost.
const QString UNREADABLE_FILE_NAME = QStringLiteral("options.xml.bad");
// Larger files are not settings files of this program.
constexpr qint64 MAX_FILE_SIZE = 64ll * 1024 * 1024;

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
    s.favorites.appendTo(favorites);

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

// Whether the settings file's place holds something other than a regular
// file (after following links): a named pipe would block an open, a device
// would give endless data or take the written bytes. A dangling link is
// nothing yet.
bool notRegularFile()
{
    const QFileInfo info(FILE_NAME);
    return info.exists() && !info.isFile();
}

// Whether the bytes are text in the encoding the parser read them in. The
// parser does not check: a byte sequence that is not UTF-8 would become
// U+FFFD and the user's text in it would be lost with the next save.
bool validText(const QByteArray &bytes, pugi::xml_encoding encoding)
{
    QStringConverter::Encoding text = QStringConverter::Utf8;
    switch (encoding) {
    case pugi::encoding_utf8:
        break;
    case pugi::encoding_utf16_le:
        text = QStringConverter::Utf16LE;
        break;
    case pugi::encoding_utf16_be:
        text = QStringConverter::Utf16BE;
        break;
    case pugi::encoding_utf32_le:
        text = QStringConverter::Utf32LE;
        break;
    case pugi::encoding_utf32_be:
        text = QStringConverter::Utf32BE;
        break;
    default:
        return true; // ISO-8859-1: every byte is a character
    }
    QStringDecoder decoder(text, QStringConverter::Flag::Stateless);
    const QString decoded = decoder(bytes);
    if (decoder.hasError())
        return false;
    // The UTF-16 and UTF-32 decoders let a lone surrogate through.
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        const QChar c = decoded.at(i);
        if (c.isHighSurrogate() && i + 1 < decoded.size() && decoded.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return false;
    }
    return true;
}

} // namespace

void OptionsState::readFile()
{
    if (!QFileInfo(FILE_NAME).exists())
        return;
    if (notRegularFile())
        return unreadable(QStringLiteral("it is not a regular file"), true);
    // Opened without waiting, and checked again once open: a named pipe put
    // in its place after the check neither blocks nor is read.
    const int fd = ::open(QFile::encodeName(FILE_NAME).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return unreadable(QString::fromLocal8Bit(std::strerror(errno)), true);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return unreadable(file.errorString(), true);
    }
    struct stat opened{};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode))
        return unreadable(QStringLiteral("it is not a regular file"), true);
    if (file.size() > MAX_FILE_SIZE)
        return unreadable(QStringLiteral("the file is larger than %1 bytes").arg(MAX_FILE_SIZE), true);
    // Bounded even when the file grows while it is read.
    const QByteArray bytes = file.read(MAX_FILE_SIZE + 1);
    if (file.error() != QFileDevice::NoError)
        return unreadable(file.errorString(), true);
    file.close();
    if (bytes.size() > MAX_FILE_SIZE)
        return unreadable(QStringLiteral("the file is larger than %1 bytes").arg(MAX_FILE_SIZE), true);
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
    if (!validText(bytes, parsed.encoding))
        return unreadable(parsed.encoding == pugi::encoding_utf8
                              ? QStringLiteral("the file is not valid UTF-8 text")
                              : QStringLiteral("the file is not valid text in its encoding"),
                          true);
    const pugi::xml_node root = doc->document_element();
    if (!root)
        return unreadable(QStringLiteral("no root element"), true);

    Favorites stored = Favorites::fromSection(doc, root.child("Favorites"));

    std::lock_guard lock(stateMutex());
    State &s = state();
    if (const pugi::xml_node options = root.child("Options"))
        readOptionsLocked(s, options);

    // The file's favourites come first, then those added in this run before
    // the file was read (without the ones the file already holds).
    s.favorites.takeFromFile(std::move(stored));
    s.fileRead = true;
    s.keepAside = false;
}

namespace {

// Remembers why a save failed and where the earlier file stays, says so on
// standard error, and gives false.
bool failed(const QString &reason, bool movedAside)
{
    qWarning("Could not write %s: %s", qPrintable(FILE_NAME), qPrintable(reason));
    Options::WriteFailure failure;
    failure.reason = reason;
    const QFileInfo earlier(FILE_NAME);
    if (earlier.exists() || earlier.isSymLink())
        failure.keptFile = earlier.absoluteFilePath();
    else if (movedAside)
        failure.keptFile = QFileInfo(UNREADABLE_FILE_NAME).absoluteFilePath();
    std::lock_guard lock(stateMutex());
    state().lastWriteFailure = failure;
    return false;
}

} // namespace

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
    // A named pipe or a device in the file's place (or a link to one) is
    // moved aside too: the save must neither block on it nor write into it,
    // and a link is not followed to write beside its target.
    bool movedAside = false;
    if ((keepAside && QFileInfo(FILE_NAME).exists()) || notRegularFile()) {
        // The unreadable file still holds the user's data: keep it under
        // another name rather than replace it. The rename moves the link or
        // the pipe itself and opens nothing.
        QFile::remove(UNREADABLE_FILE_NAME);
        if (std::rename(QFile::encodeName(FILE_NAME).constData(), QFile::encodeName(UNREADABLE_FILE_NAME).constData())
            != 0) {
            return failed(QStringLiteral("cannot keep the unreadable file as %1 (%2)")
                              .arg(UNREADABLE_FILE_NAME, QString::fromLocal8Bit(std::strerror(errno))),
                          false);
        }
        qWarning("Kept the unreadable %s as %s", qPrintable(FILE_NAME), qPrintable(UNREADABLE_FILE_NAME));
        std::lock_guard lock(stateMutex());
        state().keepAside = false;
        movedAside = true;
    }
    QSaveFile file(FILE_NAME);
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString(), movedAside);
    // Written past the device's buffer, so that a write that fails (a full
    // disk, a file size limit) is noticed here with the system's reason:
    // commit() alone would put a cut-off file in place, and the buffer
    // loses the reason of a write that is cut short. A cancelled QSaveFile
    // is discarded: the earlier file stays.
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written = ::write(file.handle(), bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            const QString error = QString::fromLocal8Bit(std::strerror(written < 0 ? errno : ENOSPC));
            file.cancelWriting();
            return failed(error, movedAside);
        }
        done += written;
    }
    if (!file.commit())
        return failed(file.errorString(), movedAside);
    std::lock_guard stateLock(stateMutex());
    state().lastWriteFailure = WriteFailure();
    return true;
}
