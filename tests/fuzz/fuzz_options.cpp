// The settings file "options.xml". What must hold for any bytes:
// - reading never fails; a file that is not a well-formed document, or has
//   no "Options" element, changes no setting, and a setting whose element is
//   missing keeps its earlier value (the language excepted, which is then
//   unset);
// - what the program writes after reading it, it reads back to the same
//   settings and writes again byte for byte (nothing read is lost or
//   changed by a second start);
// - binding the stored favourites without a catalogue is harmless.

#include "catalogue/Options.h"
#include "tests/fuzz/FuzzSupport.h"

#include <pugixml.hpp>

namespace {

struct Settings
{
    QString serial;
    bool updateEnabled = false;
    std::optional<bool> mode;
    bool userWizardEnabled = false;
    int cacheRevision = 0;
    QString language;
    int lastStreamId = 0;

    static Settings current()
    {
        return Settings{Options::getSerial(),        Options::getUpdateEnabled(), Options::getMode(),
                        Options::getUserWizardEnabled(), Options::getCacheRevision(), Options::getLanguage(),
                        Options::getLastStreamId()};
    }
};

const Settings EARLIER{QStringLiteral("EARLIER"), false, true, false, 4242, QStringLiteral("xx"), 77};

void setEarlier()
{
    Options::resetToDefaults();
    Options::setSerial(EARLIER.serial);
    Options::setMode(true);
    Options::setUpdateEnabled(EARLIER.updateEnabled);
    Options::setUserWizardEnabled(EARLIER.userWizardEnabled);
    Options::setCacheRevision(EARLIER.cacheRevision);
    Options::setLanguage(EARLIER.language);
    Options::setLastStreamId(EARLIER.lastStreamId);
}

void checkKept(const Settings &now, const pugi::xml_node &options, bool all)
{
    auto kept = [&](const char *name) { return all || !options.child(name); };
    if (kept("Serial"))
        FUZZ_CHECK(now.serial == EARLIER.serial, "serial changed to \"%s\"", fuzz::show(now.serial).c_str());
    if (kept("UpdateEnabled"))
        FUZZ_CHECK(now.updateEnabled == EARLIER.updateEnabled, "update switch changed");
    if (kept("Mode"))
        FUZZ_CHECK(now.mode == EARLIER.mode, "mode changed");
    if (kept("UserWizardEnabled"))
        FUZZ_CHECK(now.userWizardEnabled == EARLIER.userWizardEnabled, "wizard flag changed");
    if (kept("CacheRevision"))
        FUZZ_CHECK(now.cacheRevision == EARLIER.cacheRevision, "revision changed to %d", now.cacheRevision);
    if (kept("LastStreamId"))
        FUZZ_CHECK(now.lastStreamId == EARLIER.lastStreamId, "last stream id changed to %d", now.lastStreamId);
    if (all)
        FUZZ_CHECK(now.language == EARLIER.language, "language changed to \"%s\"", fuzz::show(now.language).c_str());
    else if (!options.child("Language"))
        FUZZ_CHECK(now.language.isEmpty(), "a missing language gave \"%s\"", fuzz::show(now.language).c_str());
}

bool same(const Settings &a, const Settings &b)
{
    return a.serial == b.serial && a.updateEnabled == b.updateEnabled && a.mode == b.mode
           && a.userWizardEnabled == b.userWizardEnabled && a.cacheRevision == b.cacheRevision
           && a.language == b.language && a.lastStreamId == b.lastStreamId;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The reader says on the console what it could not read: not needed here.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    fuzz::enterPrivateDirectory("options");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const QString file = QStringLiteral("options.xml");
    setEarlier();
    fuzz::writeFile(file, input);
    Options::readFromDisk(nullptr, nullptr, false, true);
    const Settings read = Settings::current();

    pugi::xml_document doc;
    const bool wellFormed = doc.load_buffer(input.constData(), size_t(input.size()), pugi::parse_default,
                                            pugi::encoding_auto)
                            && doc.document_element();
    const pugi::xml_node options = wellFormed ? doc.document_element().child("Options") : pugi::xml_node();
    checkKept(read, options, !options);

    // Favourites without a catalogue.
    Options::readFromDisk(nullptr, nullptr, true, false);
    const auto favorites = Options::loadFavorites();
    if (favorites)
        for (const StreamInfoPtr &f : *favorites)
            FUZZ_CHECK(f, "a null favourite");

    // Written, read back and written again: the same settings, the same
    // bytes.
    FUZZ_CHECK(Options::writeToDisk(), "the settings could not be written");
    const QByteArray first = fuzz::readFile(file);
    Options::resetToDefaults();
    Options::readFromDisk(nullptr, nullptr, false, true);
    const Settings again = Settings::current();
    // Texts may lose characters XML cannot carry; the rest comes back as read.
    Settings expected = read;
    expected.serial = again.serial;
    expected.language = again.language;
    FUZZ_CHECK(same(expected, again), "settings changed by writing and reading them");
    FUZZ_CHECK(Options::writeToDisk(), "the settings could not be written again");
    const QByteArray second = fuzz::readFile(file);
    FUZZ_CHECK(first == second, "the second save differs:\n%s\n--\n%s", first.constData(), second.constData());
    return 0;
}
