#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "catalogue/StreamsFetcher.h"
#include "catalogue/TulException.h"
#include "catalogue/Zlib.h"
#include "service/ReferenceService.h"
#include "tests/catalogue/CatalogueTestSupport.h"

#include <QtTest>

#include <zlib.h>

namespace {

RefService::CatalogueEntry entry(int id, const QString &name, const QString &category = "News",
                                 const QString &language = "English", const QString &country = "Norway")
{
    RefService::CatalogueEntry e;
    e.id = id;
    e.name = name;
    e.category = category;
    e.language = language;
    e.country = country;
    e.url = QStringLiteral("mms://127.0.0.1/%1").arg(id);
    e.bitrate = 300 + id;
    return e;
}

CatalogueIndexes freshIndexes()
{
    return CatalogueIndexes{NameIndex(LangMsg::getMsg("ALL_CATEGORIES")), NameIndex(LangMsg::getMsg("ALL_LANGUAGES")),
                            NameIndex()};
}

// A Stream element with every attribute and child, minus the one named.
QByteArray streamElement(const QByteArray &without, const QByteArray &id = "7", const QByteArray &bitrate = "300")
{
    QByteArray s = "<Stream";
    if (without != "id")
        s += " id=\"" + id + "\"";
    if (without != "adult")
        s += " adult=\"false\"";
    if (without != "topstream")
        s += " topstream=\"false\"";
    s += ">";
    const QList<QPair<QByteArray, QByteArray>> children = {
        {"Name", "A"},      {"Language", "English"}, {"Country", "Norway"}, {"Bitrate", bitrate},
        {"Format", "WMP"},  {"Type", "TV"},          {"Live", "True"},      {"Category", "News"},
        {"Url", "mms://x"},
    };
    for (const auto &c : children)
        if (c.first != without)
            s += "<" + c.first + ">" + c.second + "</" + c.first + ">";
    return s + "</Stream>";
}

QByteArray catalogueWith(const QByteArray &streams)
{
    return "<?xml version=\"1.0\"?><Catalogue><Streams>" + streams + "</Streams></Catalogue>";
}

} // namespace

class TestFetcher : public QObject, ServiceInTempDir
{
    Q_OBJECT

    QString catalogueUrl() const { return service->baseUrl() + QStringLiteral("/getstreams.php"); }

    std::shared_ptr<StreamList> load(StreamsFetcher &fetcher, const QByteArray &document)
    {
        service->setCatalogue(document);
        fetcher.openURL(catalogueUrl());
        fetcher.cacheWritten(); // waits for the cache file
        CatalogueIndexes indexes = freshIndexes();
        int latest = 0;
        return fetcher.getStreamList(indexes, latest);
    }

private slots:
    void initTestCase() { startService(); }
    void cleanupTestCase()
    {
        service.reset();
    }

    void init()
    {
        enterTempDir();
        if (QTest::currentTestFailed())
            return;
        service->clearRequests();
        service->setCatalogueEncoding(RefService::Encoding::Gzip);
    }
    void cleanup()
    {
        leaveTempDir();
    }

    // ------------------------------------------------------------ revision

    void revision_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("expected");
        // The stored revision is 5.
        QTest::newRow("two lines") << QByteArray("12\n13") << 13;
        QTest::newRow("two lines, end of line") << QByteArray("12\n13\n") << 13;
        QTest::newRow("CR LF") << QByteArray("12\r\n13\r\n") << 13;
        QTest::newRow("blanks around") << QByteArray(" 7 ") << 7;
        QTest::newRow("empty body") << QByteArray() << 0;
        QTest::newRow("negative") << QByteArray("-3\n") << -3;
        QTest::newRow("last line not a number") << QByteArray("12\nabc") << 5;
        QTest::newRow("blank last line") << QByteArray("12\n \n") << 5;
        QTest::newRow("too large") << QByteArray("99999999999") << 5;
    }
    void revision()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, expected);
        Options::setCacheRevision(5);
        service->setRevisionBody(body);
        StreamsFetcher fetcher;
        QCOMPARE(fetcher.getCacheRevision(), expected);
        QCOMPARE(service->requestCount("/cacheversion.txt"), 1);
        QVERIFY(!service->requests("/cacheversion.txt")[0].headers.contains("accept-encoding"));
    }

    void revisionWithoutServer_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("closed port") << "closed";
        QTest::newRow("status 500") << "status";
    }
    void revisionWithoutServer()
    {
        QFETCH(QString, failure);
        Options::setCacheRevision(42);
        if (failure == "closed")
            qputenv("QUORVANTEL_CATALOGUE_HOST", closedHost());
        else
            service->setStatus("/cacheversion.txt", 500);
        StreamsFetcher fetcher;
        QCOMPARE(fetcher.getCacheRevision(), 42);
    }

    // -------------------------------------------------------- openURL / cache

    void downloadIsCachedAsGzip_data()
    {
        QTest::addColumn<RefService::Encoding>("encoding");
        QTest::newRow("plain") << RefService::Encoding::Plain;
        QTest::newRow("gzip") << RefService::Encoding::Gzip;
        QTest::newRow("raw deflate") << RefService::Encoding::Deflate;
        QTest::newRow("zlib deflate") << RefService::Encoding::ZlibDeflate;
    }
    void downloadIsCachedAsGzip()
    {
        QFETCH(RefService::Encoding, encoding);
        service->setCatalogueEncoding(encoding);
        const QByteArray document = RefService::catalogueDocument({entry(1, "One"), entry(2, "Two")});
        service->setCatalogue(document);
        StreamsFetcher fetcher;
        fetcher.openURL(catalogueUrl());
        QVERIFY(fetcher.cacheWritten());
        const QByteArray cache = readAll("data.dat");
        QCOMPARE(cache.left(2), QByteArray("\x1f\x8b"));
        QCOMPARE(RefService::gzipDecompress(cache).value_or("?"), document);
        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{"data.dat"});
        QCOMPARE(service->requests("/getstreams.php")[0].headers.value("accept-encoding"), "gzip, deflate");
    }

    void failedParseIsNotCached_data()
    {
        QTest::addColumn<bool>("earlierCache");
        QTest::newRow("no cache before") << false;
        QTest::newRow("a cache before") << true;
    }
    void failedParseIsNotCached()
    {
        QFETCH(bool, earlierCache);
        const QByteArray earlier = RefService::gzipCompress(RefService::catalogueDocument({entry(1, "One")}));
        if (earlierCache)
            writeFile("data.dat", earlier);
        const QByteArray broken = "<?xml version=\"1.0\"?><Catalogue><Streams><Stream></Streams>";
        service->setCatalogue(broken);
        StreamsFetcher fetcher;
        try {
            fetcher.openURL(catalogueUrl());
            QFAIL("no error");
        } catch (const TulException &e) {
            QCOMPARE(e.getMsg(), LangMsg::getMsg("ParseError"));
            QVERIFY(!e.getMessage().isEmpty());
        }
        QVERIFY(!fetcher.cacheWritten());
        // The cache file is as it was, and no temporary file is left.
        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), earlierCache ? QStringList{"data.dat"} : QStringList());
        if (earlierCache)
            QCOMPARE(readAll("data.dat"), earlier);
        // No document was read.
        CatalogueIndexes indexes = freshIndexes();
        int latest = 0;
        QVERIFY(!fetcher.getStreamList(indexes, latest));
    }

    void documentAgainstTheRulesIsNotCached_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::newRow("no Streams") << QByteArray("<Catalogue><Info/></Catalogue>");
        QTest::newRow("no id") << catalogueWith(streamElement("id"));
        QTest::newRow("no Url") << catalogueWith(streamElement("Url"));
        QTest::newRow("id not a number") << catalogueWith(streamElement("", "7x"));
        QTest::newRow("Bitrate not a number") << catalogueWith(streamElement("", "7", "fast"));
        QTest::newRow("the last Stream broken")
            << catalogueWith(streamElement("") + streamElement("", "8") + streamElement("Name", "9"));
    }
    void documentAgainstTheRulesIsNotCached()
    {
        // The document parses and is kept, its records fail, and the cache
        // file stays as it was.
        QFETCH(QByteArray, document);
        const QByteArray earlier = RefService::gzipCompress(RefService::catalogueDocument({entry(1, "One")}));
        writeFile("data.dat", earlier);
        service->setCatalogue(document);
        StreamsFetcher fetcher;
        fetcher.openURL(catalogueUrl());
        QVERIFY(!fetcher.cacheWritten());
        QCOMPARE(readAll("data.dat"), earlier);
        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{"data.dat"});
        CatalogueIndexes indexes = freshIndexes();
        int latest = 0;
        try {
            fetcher.getStreamList(indexes, latest);
            QFAIL("no error");
        } catch (const TulException &e) {
            QCOMPARE(e.getMsg(), LangMsg::getMsg("ParseError"));
        }
    }

    void failedParseKeepsPreviousDocument()
    {
        StreamsFetcher fetcher;
        load(fetcher, RefService::catalogueDocument({entry(1, "One")}));
        service->setCatalogue("<a><b></a>");
        QVERIFY_THROWS_EXCEPTION(TulException, fetcher.openURL(catalogueUrl()));
        CatalogueIndexes indexes = freshIndexes();
        int latest = 0;
        const auto list = fetcher.getStreamList(indexes, latest);
        QVERIFY(list);
        QCOMPARE(int(list->size()), 1);
        QCOMPARE(list->at(0)->getName(), "One");
    }

    void notWellFormed_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("unclosed") << QByteArray("<a><b>");
        QTest::newRow("two roots") << QByteArray("<a/><b/>");
        QTest::newRow("text after the root") << QByteArray("<a/>junk");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not xml") << QByteArray("hello");
    }
    void notWellFormed()
    {
        QFETCH(QByteArray, body);
        service->setCatalogue(body.isEmpty() ? QByteArray("") : body);
        StreamsFetcher fetcher;
        try {
            fetcher.openURL(catalogueUrl());
            QFAIL("no error");
        } catch (const TulException &e) {
            QCOMPARE(e.getMsg(), LangMsg::getMsg("ParseError"));
        }
    }

    void failedDownloads_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("status 404") << "404";
        QTest::newRow("bogus gzip") << "bogus";
        QTest::newRow("closed port") << "closed";
        QTest::newRow("not a URL") << "invalid";
        QTest::newRow("over the size limit") << "large";
    }
    void failedDownloads()
    {
        QFETCH(QString, failure);
        StreamsFetcher fetcher;
        const QByteArray first = RefService::catalogueDocument({entry(1, "One")});
        load(fetcher, first);
        const QByteArray cacheBefore = readAll("data.dat");
        QVERIFY(!cacheBefore.isEmpty());

        service->setCatalogue(RefService::catalogueDocument({entry(2, "Two"), entry(3, "Three")}));
        QString url = catalogueUrl();
        if (failure == "404")
            service->setStatus("/getstreams.php", 404);
        else if (failure == "bogus")
            service->setCatalogueEncoding(RefService::Encoding::BogusGzip);
        else if (failure == "closed")
            url = QStringLiteral("http://127.0.0.1:%1/getstreams.php").arg(closedPort());
        else if (failure == "invalid")
            url = QStringLiteral("getstreams.php");
        else if (failure == "large")
            fetcher.setMaxCatalogueBytes(service->catalogue().size() - 1);
        try {
            fetcher.openURL(url);
            QFAIL("no error");
        } catch (const TulException &e) {
            QCOMPARE(e.getMsg(), LangMsg::getMsg("ConnectError"));
            QVERIFY(!e.getMessage().isEmpty());
        }
        // Nothing stored, the previous document kept.
        QCOMPARE(readAll("data.dat"), cacheBefore);
        CatalogueIndexes indexes = freshIndexes();
        int latest = 0;
        QCOMPARE(int(fetcher.getStreamList(indexes, latest)->size()), 1);
    }

    void cacheIsReplacedAtomically()
    {
        StreamsFetcher fetcher;
        const QByteArray first = RefService::catalogueDocument({entry(1, "One")});
        load(fetcher, first);
        // A reader that has the old cache open keeps reading the old file
        // whole: the new one is written beside it and renamed into place.
        QFile old("data.dat");
        QVERIFY(old.open(QIODevice::ReadOnly));
        const QByteArray second = RefService::catalogueDocument({entry(2, "Two"), entry(3, "Three")});
        load(fetcher, second);
        QCOMPARE(RefService::gzipDecompress(old.readAll()).value_or("?"), first);
        QCOMPARE(RefService::gzipDecompress(readAll("data.dat")).value_or("?"), second);
        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{"data.dat"});
    }

    void unwritableCacheStillLoads()
    {
        // A directory in the way: the cache cannot be written (also as root).
        QVERIFY(QDir().mkdir("data.dat"));
        StreamsFetcher fetcher;
        const auto list = load(fetcher, RefService::catalogueDocument({entry(1, "One"), entry(2, "Two")}));
        QVERIFY(!fetcher.cacheWritten());
        QVERIFY(list);
        QCOMPARE(int(list->size()), 2);
        QVERIFY(QFileInfo("data.dat").isDir());
        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // ------------------------------------------------------------ gzip file

    void openGZipFile()
    {
        const QByteArray document = RefService::catalogueDocument({entry(4, "Four")});
        writeFile("data.dat", RefService::gzipCompress(document));
        StreamsFetcher fetcher;
        fetcher.openGZipFile("data.dat");
        CatalogueIndexes indexes = freshIndexes();
        int latest = 0;
        const auto list = fetcher.getStreamList(indexes, latest);
        QCOMPARE(int(list->size()), 1);
        QCOMPARE(list->at(0)->getId(), 4);
        QCOMPARE(service->requests().size(), size_t(0));
    }

    void openGZipFileErrors_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("message");
        const QByteArray document = RefService::catalogueDocument({entry(4, "Four")});
        const QByteArray gz = RefService::gzipCompress(document);
        const QString notFound = "data.dat: File not found.";
        const QString readError = "data.dat: Error while reading from disk.";
        QTest::newRow("missing") << QByteArray() << false << notFound;
        QTest::newRow("plain XML") << document << true << notFound;
        QTest::newRow("empty file") << QByteArray() << true << notFound;
        QTest::newRow("cut short") << gz.left(gz.size() - 9) << true << notFound;
        QTest::newRow("cut in the data") << gz.left(gz.size() / 2) << true << notFound;
        QTest::newRow("gzip of no XML") << RefService::gzipCompress("no xml here") << true << readError;
        QTest::newRow("gzip of broken XML") << RefService::gzipCompress("<a><b></a>") << true << readError;
    }
    void openGZipFileErrors()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, exists);
        QFETCH(QString, message);
        if (exists)
            writeFile("data.dat", content);
        StreamsFetcher fetcher;
        try {
            fetcher.openGZipFile("data.dat");
            QFAIL("no error");
        } catch (const TulException &e) {
            QCOMPARE(e.getMsg(), message);
            QCOMPARE(e.getTitle(), QStringLiteral("Unknown error"));
            QVERIFY(!e.getMessage().isEmpty());
        }
    }

    void gzipRoundTrip()
    {
        const QByteArray text = RefService::generateCatalogue(200, "127.0.0.1:1");
        const QByteArray gz = Zlib::gzipCompress(text);
        QCOMPARE(RefService::gzipDecompress(gz).value_or("?"), text);
        QCOMPARE(Zlib::gzipDecompress(gz, StreamsFetcher::MAX_CATALOGUE_BYTES), text);
        // Several members, as gzip itself reads them.
        QCOMPARE(Zlib::gzipDecompress(gz + Zlib::gzipCompress("tail"), StreamsFetcher::MAX_CATALOGUE_BYTES),
                 text + "tail");
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, Zlib::gzipDecompress(gz, text.size() - 1));
    }

    void largeGzipIsOneMember()
    {
        // Large enough to be compressed in runs on several threads.
        const QByteArray text = RefService::generateCatalogue(30000, "127.0.0.1:1");
        QVERIFY(text.size() > 8 << 20);
        const QByteArray gz = Zlib::gzipCompress(text);
        z_stream z{};
        QCOMPARE(inflateInit2(&z, 16 + MAX_WBITS), Z_OK);
        QByteArray out(text.size() + 16, Qt::Uninitialized);
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(gz.constData()));
        z.avail_in = uInt(gz.size());
        z.next_out = reinterpret_cast<Bytef *>(out.data());
        z.avail_out = uInt(out.size());
        const int rc = inflate(&z, Z_FINISH);
        const uLong produced = z.total_out;
        const uInt left = z.avail_in;
        inflateEnd(&z);
        QCOMPARE(rc, Z_STREAM_END); // CRC and size checked by zlib
        QCOMPARE(left, 0u);         // one member, nothing after it
        out.resize(qsizetype(produced));
        QCOMPARE(out, text);
        QVERIFY(gz.size() < text.size() / 5);
    }

    // -------------------------------------------------------------- records

    void largeCatalogueNumbersInDocumentOrder()
    {
        // Enough records to be built on several threads.
        auto entries = RefService::generateCatalogueEntries(9001, service->hostPort(), 7);
        for (auto &e : entries)
            e.format = QStringLiteral("WMP");
        entries[8999].category = QStringLiteral("Only at the end");
        service->setCatalogue(RefService::catalogueDocument(entries));
        StreamsFetcher fetcher;
        fetcher.openURL(catalogueUrl());
        CatalogueIndexes indexes = freshIndexes();
        int latest = 0;
        const auto list = fetcher.getStreamList(indexes, latest);
        QCOMPARE(int(list->size()), int(entries.size()));
        QHash<QString, int> categories, languages, countries;
        for (size_t i = 0; i < entries.size(); ++i) {
            const auto &e = entries[i];
            const StreamInfo &s = *list->at(i);
            QCOMPARE(s.getId(), e.id);
            QCOMPARE(s.getName(), e.name);
            QCOMPARE(s.getUrl(), e.url);
            QCOMPARE(s.getAdult(), e.adult);
            if (!categories.contains(e.category))
                categories.insert(e.category, int(categories.size()) + 1);
            if (!languages.contains(e.language))
                languages.insert(e.language, int(languages.size()) + 1);
            if (!countries.contains(e.country))
                countries.insert(e.country, int(countries.size()) + 1);
            QCOMPARE(s.getCategoryId(), categories.value(e.category));
            QCOMPARE(s.getLanguageId(), languages.value(e.language));
            QCOMPARE(s.getCountryId(), countries.value(e.country));
        }
        QCOMPARE(indexes.categories.number("Only at the end"), int(categories.size()));
        QCOMPARE(latest, 9001);
    }

    void largeCatalogueReportsFirstBrokenRecord_data()
    {
        QTest::addColumn<QList<int>>("broken");
        QTest::addColumn<QString>("reported");
        QTest::newRow("late") << QList<int>{8500} << QStringLiteral("Stream 8501 ");
        QTest::newRow("early and late") << QList<int>{120, 8500} << QStringLiteral("Stream 121 ");
    }
    void largeCatalogueReportsFirstBrokenRecord()
    {
        QFETCH(QList<int>, broken);
        QFETCH(QString, reported);
        QByteArray streams;
        for (int i = 0; i < 9000; ++i)
            streams += streamElement(broken.contains(i) ? "Url" : "", QByteArray::number(i + 1));
        service->setCatalogue(catalogueWith(streams));
        StreamsFetcher fetcher;
        fetcher.openURL(catalogueUrl());
        CatalogueIndexes indexes = freshIndexes();
        int latest = 0;
        try {
            fetcher.getStreamList(indexes, latest);
            QFAIL("no error");
        } catch (const TulException &e) {
            QCOMPARE(e.getMsg(), LangMsg::getMsg("ParseError"));
            QVERIFY2(e.getMessage().startsWith(reported), qPrintable(e.getMessage()));
        }
    }

    void recordFields()
    {
        StreamsFetcher fetcher;
        const QByteArray doc = catalogueWith(
            "<Stream id=\"-12\" adult=\"FALSE\" topstream=\"TRUE\" extra=\"x\">"
            "<Url> mms://a/b </Url><Name>\n  Rock &amp; Roll  </Name><Language>Norsk</Language>"
            "<Country>Norge</Country><Bitrate> 128 </Bitrate><Format>WMP</Format><Type>Radio</Type>"
            "<Live>tRuE</Live><Category>Mu<![CDATA[sic]]></Category><Other>ignored</Other></Stream>");
        const auto list = load(fetcher, doc);
        QCOMPARE(int(list->size()), 1);
        const StreamInfo &s = *list->at(0);
        QCOMPARE(s.getId(), -12);
        QCOMPARE(s.getName(), "Rock & Roll");
        QCOMPARE(s.getUrl(), "mms://a/b");
        QCOMPARE(s.getLanguage(), "Norsk");
        QCOMPARE(s.getCountry(), "Norge");
        QCOMPARE(s.getBitrate(), 128);
        QCOMPARE(s.getFormat(), "WMP");
        QCOMPARE(s.getType(), "Radio");
        QCOMPARE(s.getCategory(), "Music");
        QVERIFY(s.getLive());
        QVERIFY(!s.getAdult());
        QVERIFY(s.getTopStream());
        QCOMPARE(s.getCategoryId(), 1);
        QCOMPARE(s.getLanguageId(), 1);
        QCOMPARE(s.getCountryId(), 1);
    }

    void latin1Document()
    {
        StreamsFetcher fetcher;
        QByteArray doc = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><C><Streams>" + streamElement("Name")
                         + "</Streams></C>";
        doc.replace("<Language>", "<Name>Bl\xe5 kan\xe6l</Name><Language>");
        const auto list = load(fetcher, doc);
        QCOMPARE(list->at(0)->getName(), QString::fromUtf8("Blå kanæl"));
    }

    void liveValues_data()
    {
        QTest::addColumn<QByteArray>("live");
        QTest::addColumn<bool>("expected");
        QTest::newRow("true") << QByteArray("true") << true;
        QTest::newRow("True") << QByteArray("True") << true;
        QTest::newRow("TRUE with blanks") << QByteArray("  TRUE ") << true;
        QTest::newRow("yes") << QByteArray("yes") << false;
        QTest::newRow("empty") << QByteArray("") << false;
    }
    void liveValues()
    {
        QFETCH(QByteArray, live);
        QFETCH(bool, expected);
        StreamsFetcher fetcher;
        QByteArray stream = streamElement("Live");
        stream.replace("</Stream>", "<Live>" + live + "</Live></Stream>");
        QCOMPARE(load(fetcher, catalogueWith(stream))->at(0)->getLive(), expected);
    }

    void droppedRecords_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("adult");
        QTest::addColumn<bool>("adultVisible");
        QTest::addColumn<bool>("kept");
        QTest::newRow("WMP") << "WMP" << false << false << true;
        QTest::newRow("wmp") << "wmp" << false << true << false;
        QTest::newRow("RM") << "RM" << false << true << false;
        QTest::newRow("QT") << "QT" << false << true << false;
        QTest::newRow("adult hidden") << "WMP" << true << false << false;
        QTest::newRow("adult shown") << "WMP" << true << true << true;
    }
    void droppedRecords()
    {
        QFETCH(QString, format);
        QFETCH(bool, adult);
        QFETCH(bool, adultVisible);
        QFETCH(bool, kept);
        auto special = entry(2, "Special", "Odd", "Odd language", "Odd country");
        special.format = format;
        special.adult = adult;
        service->setCatalogue(RefService::catalogueDocument({entry(1, "Plain"), special, entry(3, "Other")}));
        StreamsFetcher fetcher;
        fetcher.setAdultVisible(adultVisible);
        fetcher.openURL(catalogueUrl());
        CatalogueIndexes indexes = freshIndexes();
        int latest = 0;
        const auto list = fetcher.getStreamList(indexes, latest);
        QCOMPARE(int(list->size()), kept ? 3 : 2);
        // A dropped record registers nothing and does not raise the latest id.
        QCOMPARE(indexes.categories.number("Odd"), kept ? 2 : -1);
        QCOMPARE(indexes.languages.number("Odd language"), kept ? 2 : -1);
        QCOMPARE(indexes.countries.number("Odd country"), kept ? 2 : -1);
        QCOMPARE(latest, 3);
    }

    void adultDefaultsToVisible()
    {
        StreamsFetcher fetcher;
        QVERIFY(fetcher.getAdultVisible());
    }

    void indexesAndLatest_data()
    {
        QTest::addColumn<int>("startLatest");
        QTest::addColumn<int>("expectedLatest");
        QTest::newRow("below") << 0 << 9;
        QTest::newRow("above") << 20 << 20;
        QTest::newRow("negative") << -25 << 9;
    }
    void indexesAndLatest()
    {
        QFETCH(int, startLatest);
        QFETCH(int, expectedLatest);
        StreamsFetcher fetcher;
        service->setCatalogue(RefService::catalogueDocument({
            entry(5, "A", "News", "English", "Norway"),
            entry(9, "B", "Sport", "Norsk", "Sweden"),
            entry(3, "C", "News", "English", "Norway"),
        }));
        fetcher.openURL(catalogueUrl());
        CatalogueIndexes indexes = freshIndexes();
        int latest = startLatest;
        const auto list = fetcher.getStreamList(indexes, latest);
        QCOMPARE(latest, expectedLatest);
        QCOMPARE(list->at(0)->getCategoryId(), 1);
        QCOMPARE(list->at(1)->getCategoryId(), 2);
        QCOMPARE(list->at(2)->getCategoryId(), 1);
        QCOMPARE(list->at(1)->getLanguageId(), 2);
        QCOMPARE(list->at(1)->getCountryId(), 2);
        QCOMPARE(list->at(2)->getCountryId(), 1);
        // Every call builds new records and registers them again.
        const auto again = fetcher.getStreamList(indexes, latest);
        QVERIFY(again->at(0) != list->at(0));
        QCOMPARE(again->at(1)->getCategoryId(), 2);
    }

    void flush_data()
    {
        QTest::addColumn<QString>("flush");
        QTest::addColumn<bool>("flushes");
        QTest::newRow("True") << "True" << true;
        QTest::newRow("TRUE") << "TRUE" << true;
        QTest::newRow("yes") << "yes" << false;
        QTest::newRow("absent") << QString() << false;
    }
    void flush()
    {
        QFETCH(QString, flush);
        QFETCH(bool, flushes);
        CatalogueIndexes indexes = freshIndexes();
        indexes.categories.add("Old");
        indexes.languages.add("Old language");
        indexes.countries.add("Old country");
        RefService::CatalogueInfo info;
        if (!flush.isNull())
            info.flush = flush;
        service->setCatalogue(RefService::catalogueDocument({entry(1, "A", "New")}, info));
        StreamsFetcher fetcher;
        fetcher.openURL(catalogueUrl());
        int latest = 0;
        const auto list = fetcher.getStreamList(indexes, latest);
        QCOMPARE(indexes.categories.number("Old"), flushes ? -1 : 1);
        QCOMPARE(indexes.languages.number("Old language"), flushes ? -1 : 1);
        QCOMPARE(indexes.countries.number("Old country"), 1);
        // The "all" entries stay: a real category never gets number 0.
        QCOMPARE(list->at(0)->getCategoryId(), flushes ? 1 : 2);
        QCOMPARE(indexes.categories.entries().front()->getId(), 0);
        QCOMPARE(indexes.categories.entries().front()->getText(), "All categories");
        QCOMPARE(indexes.languages.entries().front()->getText(), "All languages");
    }

    void brokenRules_data()
    {
        QTest::addColumn<QByteArray>("document");
        for (const char *item : {"id", "adult", "topstream", "Name", "Language", "Country", "Bitrate", "Format",
                                 "Type", "Live", "Category", "Url"})
            QTest::newRow(qPrintable(QStringLiteral("without %1").arg(item))) << catalogueWith(streamElement(item));
        QTest::newRow("id not a number") << catalogueWith(streamElement("", "abc"));
        QTest::newRow("id with blank") << catalogueWith(streamElement("", " 5"));
        QTest::newRow("id out of range") << catalogueWith(streamElement("", "2147483648"));
        QTest::newRow("bitrate not a number") << catalogueWith(streamElement("", "5", "fast"));
        QTest::newRow("no Streams") << QByteArray("<Catalogue><Info/></Catalogue>");
        // A dropped record is checked all the same.
        QByteArray rm = streamElement("Bitrate");
        rm.replace("<Format>WMP</Format>", "<Format>RM</Format>");
        QTest::newRow("dropped record without Bitrate") << catalogueWith(rm);
    }
    void brokenRules()
    {
        QFETCH(QByteArray, document);
        StreamsFetcher fetcher;
        service->setCatalogue(document);
        fetcher.openURL(catalogueUrl());
        CatalogueIndexes indexes = freshIndexes();
        int latest = 0;
        try {
            fetcher.getStreamList(indexes, latest);
            QFAIL("no error");
        } catch (const TulException &e) {
            QCOMPARE(e.getMsg(), LangMsg::getMsg("ParseError"));
        }
    }

    void extremeIds()
    {
        StreamsFetcher fetcher;
        const auto list = load(fetcher, catalogueWith(streamElement("", "-2147483648") + streamElement("", "2147483647")
                                                      + streamElement("", "+3")));
        QCOMPARE(list->at(0)->getId(), std::numeric_limits<int>::min());
        QCOMPARE(list->at(1)->getId(), std::numeric_limits<int>::max());
        QCOMPARE(list->at(2)->getId(), 3);
    }

    void notices_data()
    {
        QTest::addColumn<QByteArray>("info");
        QTest::addColumn<QString>("motd");
        QTest::addColumn<QString>("updateUrl");
        QTest::newRow("no Info") << QByteArray() << QString() << QString();
        QTest::newRow("empty Info") << QByteArray("<Info/>") << QString() << QString();
        QTest::newRow("trimmed") << QByteArray("<Info><MOTD>  Hello  </MOTD><UpdateUrl>\nhttp://u/x.exe\n</UpdateUrl></Info>")
                                 << QStringLiteral("Hello") << QStringLiteral("http://u/x.exe");
        QTest::newRow("empty UpdateUrl") << QByteArray("<Info><UpdateUrl></UpdateUrl></Info>") << QString()
                                         << QStringLiteral("");
        QTest::newRow("first Info counts") << QByteArray("<Info><MOTD>one</MOTD></Info><Info><MOTD>two</MOTD></Info>")
                                           << QStringLiteral("one") << QString();
    }
    void notices()
    {
        QFETCH(QByteArray, info);
        QFETCH(QString, motd);
        QFETCH(QString, updateUrl);
        StreamsFetcher fetcher;
        QVERIFY(fetcher.getMOTD().isNull());
        service->setCatalogue("<Catalogue><Streams/>" + info + "</Catalogue>");
        fetcher.openURL(catalogueUrl());
        QCOMPARE(fetcher.getMOTD(), motd);
        QCOMPARE(fetcher.getMOTD().isNull(), motd.isNull());
        QCOMPARE(fetcher.getUpdateUrl(), updateUrl);
        QCOMPARE(fetcher.getUpdateUrl().isNull(), updateUrl.isNull());
    }

    void onlyFirstStreamsCounts()
    {
        StreamsFetcher fetcher;
        const auto list = load(fetcher, "<C><Streams>" + streamElement("", "1") + "</Streams><Streams>"
                                            + streamElement("", "2") + "</Streams></C>");
        QCOMPARE(int(list->size()), 1);
        QCOMPARE(list->at(0)->getId(), 1);
    }
};

QTEST_GUILESS_MAIN(TestFetcher)
#include "tst_fetcher.moc"
