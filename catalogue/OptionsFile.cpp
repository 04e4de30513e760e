#include "catalogue/Options.h"

#include "catalogue/OptionsState.h"
#include "catalogue/OptionsXml.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QtGlobal>

#include <pugixml.hpp>

#include <memory>
#include <mutex>
#include <optional>
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

} // namespace

void OptionsState::readFile()
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
