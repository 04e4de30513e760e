// The pay-per-view catalogue with the user's rentals ("getppv.php"). What
// must hold for any bytes:
// - parsing fails only with "ParseError" (not well-formed, or no "PPV"
//   element), and the catalogue read before stays;
// - records are "WMP" movies of type "PPV" whose address is the movie
//   address of their id, with trimmed texts and no negative time left;
// - with adult movies hidden the list is the full list without the adult
//   movies, in the same order and with the same rentals;
// - the display texts of length and time left can be made for any value.

#include "catalogue/Options.h"
#include "catalogue/PPVFetcher.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

const QByteArray BASE = "<r><PPV><Catalog><Entry id=\"1\" adult=\"false\"><Name>Base</Name><Bitrate>300</Bitrate>"
                        "<Category>Drama</Category><Length>5400</Length></Entry></Catalog><Inventory/></PPV></r>";

QString describe(const PPVStreamInfo &m)
{
    return QStringList{QString::number(m.getId()), m.getName(), m.getCategory(), QString::number(m.getBitrate()),
                       QString::number(m.getLengthInt()), QString::number(m.getTimeLeftInt()),
                       QString::number(m.getAdult())}
        .join(QChar(0x1f));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    PPVFetcher fetcher;
    FUZZ_CHECK(!fetcher.getStreamList(), "a list before any catalogue");
    fetcher.parse(BASE);
    bool parsed = false;
    try {
        fetcher.parse(input);
        parsed = true;
    } catch (const TulException &e) {
        FUZZ_CHECK(fuzz::hasKey(e, "ParseError"), "error \"%s\"", fuzz::show(e.getMsg()).c_str());
    }
    fetcher.setAdultVisible(true);
    const auto all = fetcher.getStreamList();
    FUZZ_CHECK(all, "no list after a catalogue was read");
    if (!parsed) {
        FUZZ_CHECK(all->size() == 1 && all->front()->getName() == QLatin1String("Base"),
                   "the catalogue read before was lost");
        return 0;
    }
    QStringList expected;
    for (const PPVStreamInfoPtr &m : *all) {
        FUZZ_CHECK(m, "a null record");
        FUZZ_CHECK(m->getFormat() == QLatin1String("WMP") && m->getType() == QLatin1String("PPV"), "format or type");
        FUZZ_CHECK(m->getUrl() == Options::getPpvMovieUrl(m->getId()), "address %s", fuzz::show(m->getUrl()).c_str());
        FUZZ_CHECK(m->getTimeLeftInt() >= 0, "time left %d", m->getTimeLeftInt());
        FUZZ_CHECK(fuzz::isTrimmed(m->getName()) && fuzz::isTrimmed(m->getCategory()), "untrimmed text");
        (void)m->getLength();
        (void)m->getTimeLeft();
        (void)m->getZeroTimeLeft();
        if (!m->getAdult())
            expected.append(describe(*m));
    }
    fetcher.setAdultVisible(false);
    const auto shown = fetcher.getStreamList();
    FUZZ_CHECK(shown, "no list with adult movies hidden");
    QStringList got;
    for (const PPVStreamInfoPtr &m : *shown) {
        FUZZ_CHECK(!m->getAdult(), "adult movie %d listed while hidden", m->getId());
        got.append(describe(*m));
    }
    FUZZ_CHECK(got == expected, "hiding adult movies changed the other records");
    return 0;
}
