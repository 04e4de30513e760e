// The catalogue document as it comes from the catalogue server or from the
// cache file. What must hold for any bytes:
// - parsing fails only with "ParseError", and the document kept before stays;
// - a parsed document gives records or fails with "ParseError", never
//   anything else; every record is a trimmed "WMP" record registered under
//   its category, language and country numbers, the highest id is noted, and
//   hiding adult content drops exactly the adult records;
// - the same bytes read back from a gzip cache file give the same result.

#include "catalogue/StreamsFetcher.h"
#include "catalogue/Zlib.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QSet>

#include <climits>
#include <functional>

namespace {

const QByteArray BASE_DOCUMENT =
    "<Root><Streams><Stream id=\"5\" adult=\"false\" topstream=\"false\"><Name>Base</Name>"
    "<Language>English</Language><Country>Norway</Country><Bitrate>300</Bitrate><Format>WMP</Format>"
    "<Type>TV</Type><Live>True</Live><Category>News</Category><Url>mms://127.0.0.1/5</Url></Stream>"
    "</Streams></Root>";

const QString MARK = QStringLiteral("\x01mark"); // a trimmed text never equals it

CatalogueIndexes freshIndexes()
{
    CatalogueIndexes indexes{NameIndex(LangMsg::getMsg(QStringLiteral("ALL_CATEGORIES"))),
                             NameIndex(LangMsg::getMsg(QStringLiteral("ALL_LANGUAGES"))), NameIndex()};
    indexes.countries.add(MARK);
    return indexes;
}

QString describe(const StreamInfo &s)
{
    const QChar sep(0x1f);
    return QStringList{QString::number(s.getId()), s.getName(), s.getUrl(), s.getCategory(), s.getLanguage(),
                       s.getCountry(), QString::number(s.getBitrate()), QString::number(s.getLive()),
                       QString::number(s.getAdult()), QString::number(s.getTopStream()), s.getType()}
        .join(sep);
}

struct Outcome
{
    bool parsed = false;
    bool listed = false;
    QStringList records;        // adult content shown
    QList<bool> adultFlags;     // of those records
    QStringList recordsNoAdult; // adult content hidden
    QString updateUrl, motd;
};

void checkList(const StreamList &list, const CatalogueIndexes &indexes, int startLatest, int latest, bool adultVisible)
{
    int highest = startLatest;
    for (const StreamInfoPtr &s : list) {
        FUZZ_CHECK(s, "a null record");
        FUZZ_CHECK(s->getFormat() == QLatin1String("WMP"), "format %s kept", fuzz::show(s->getFormat()).c_str());
        FUZZ_CHECK(adultVisible || !s->getAdult(), "adult record %d kept while hidden", s->getId());
        for (const QString &t : {s->getName(), s->getUrl(), s->getCategory(), s->getLanguage(), s->getCountry(),
                                 s->getType()})
            FUZZ_CHECK(fuzz::isTrimmed(t), "untrimmed text \"%s\"", fuzz::show(t).c_str());
        FUZZ_CHECK(s->getCategoryId() >= 1 && s->getCategoryId() == indexes.categories.number(s->getCategory()),
                   "category number %d", s->getCategoryId());
        FUZZ_CHECK(s->getLanguageId() >= 1 && s->getLanguageId() == indexes.languages.number(s->getLanguage()),
                   "language number %d", s->getLanguageId());
        FUZZ_CHECK(s->getCountryId() >= 2 && s->getCountryId() == indexes.countries.number(s->getCountry()),
                   "country number %d", s->getCountryId());
        highest = std::max(highest, s->getId());
    }
    FUZZ_CHECK(latest == highest, "latest id %d, highest %d", latest, highest);
    FUZZ_CHECK(indexes.countries.number(MARK) == 1, "the country index lost an entry");
    // Registered names are exactly those of the records (plus the mark).
    QSet<QString> categories, languages, countries;
    for (const StreamInfoPtr &s : list) {
        categories.insert(s->getCategory());
        languages.insert(s->getLanguage());
        countries.insert(s->getCountry());
    }
    FUZZ_CHECK(indexes.categories.count() == categories.size(), "%d categories for %d names",
               indexes.categories.count(), int(categories.size()));
    FUZZ_CHECK(indexes.languages.count() == languages.size(), "languages");
    FUZZ_CHECK(indexes.countries.count() == countries.size() + 1, "countries");
}

Outcome run(StreamsFetcher &fetcher, const std::function<void()> &open)
{
    Outcome outcome;
    fetcher.parseDocument(BASE_DOCUMENT);
    try {
        open();
        outcome.parsed = true;
    } catch (const TulException &e) {
        FUZZ_CHECK(fuzz::hasKey(e, "ParseError") || fuzz::hasKey(e, "FileReadError", QStringLiteral("data.dat")),
                   "unexpected error \"%s\"", fuzz::show(e.getMsg()).c_str());
        // The earlier document stays kept.
        CatalogueIndexes indexes = freshIndexes();
        int latest = 0;
        const auto list = fetcher.getStreamList(indexes, latest);
        FUZZ_CHECK(list && list->size() == 1 && list->front()->getName() == QLatin1String("Base"),
                   "the earlier document was lost");
        return outcome;
    }
    outcome.updateUrl = fetcher.getUpdateUrl();
    outcome.motd = fetcher.getMOTD();
    FUZZ_CHECK(fuzz::isTrimmed(outcome.updateUrl) && fuzz::isTrimmed(outcome.motd), "untrimmed notice");

    for (const bool adult : {true, false}) {
        fetcher.setAdultVisible(adult);
        CatalogueIndexes indexes = freshIndexes();
        const int startLatest = adult ? INT_MIN : 0;
        int latest = startLatest;
        std::shared_ptr<StreamList> list;
        try {
            list = fetcher.getStreamList(indexes, latest);
        } catch (const TulException &e) {
            FUZZ_CHECK(fuzz::hasKey(e, "ParseError"), "unexpected error \"%s\"", fuzz::show(e.getMsg()).c_str());
            FUZZ_CHECK(adult || !outcome.listed, "hiding adult content turned a good list into an error");
            continue;
        }
        FUZZ_CHECK(list, "no list from a parsed document");
        FUZZ_CHECK(adult || outcome.listed, "hiding adult content turned an error into a list");
        checkList(*list, indexes, startLatest, latest, adult);
        QStringList &target = adult ? outcome.records : outcome.recordsNoAdult;
        for (const StreamInfoPtr &s : *list) {
            target.append(describe(*s));
            if (adult)
                outcome.adultFlags.append(s->getAdult());
        }
        if (adult) {
            outcome.listed = true;
        } else {
            QStringList expected;
            for (qsizetype i = 0; i < outcome.records.size(); ++i)
                if (!outcome.adultFlags[i])
                    expected.append(outcome.records[i]);
            FUZZ_CHECK(outcome.recordsNoAdult == expected, "hiding adult content dropped other records");
        }
    }
    fetcher.setAdultVisible(true);
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::enterPrivateDirectory("catalogue");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    StreamsFetcher fetcher;
    const Outcome plain = run(fetcher, [&] { fetcher.parseDocument(input); });

    // The same document through the cache file.
    fuzz::writeFile(QStringLiteral("data.dat"), Zlib::gzipCompress(input));
    const Outcome cached = run(fetcher, [&] { fetcher.openGZipFile(QStringLiteral("data.dat")); });
    FUZZ_CHECK(plain.parsed == cached.parsed, "parsed from memory %d, from the cache file %d", plain.parsed,
               cached.parsed);
    FUZZ_CHECK(plain.listed == cached.listed, "listed from memory %d, from the cache file %d", plain.listed,
               cached.listed);
    FUZZ_CHECK(plain.records == cached.records && plain.recordsNoAdult == cached.recordsNoAdult,
               "records differ between memory and the cache file");
    FUZZ_CHECK(plain.updateUrl == cached.updateUrl && plain.motd == cached.motd, "notices differ");
    return 0;
}
