// What a catalogue load keeps when it fails: the cache file "data.dat" and
// the stored revision, over a series of program starts in one working
// directory against the reference service; the cache file in place of a
// symbolic link; and "LastStreamId" across loads.
#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "catalogue/StreamsFetcher.h"
#include "catalogue/StreamsManager.h"
#include "catalogue/StreamsView.h"
#include "catalogue/TulException.h"
#include "catalogue/Zlib.h"
#include "service/ReferenceService.h"
#include "tests/catalogue/CatalogueTestSupport.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

RefService::CatalogueEntry entry(int id, const QString &name)
{
    RefService::CatalogueEntry e;
    e.id = id;
    e.name = name;
    e.category = QStringLiteral("News");
    e.language = QStringLiteral("English");
    e.country = QStringLiteral("Norway");
    e.url = QStringLiteral("mms://127.0.0.1/%1").arg(id);
    return e;
}

std::vector<RefService::CatalogueEntry> entries(int first, int last)
{
    std::vector<RefService::CatalogueEntry> result;
    for (int id = first; id <= last; ++id)
        result.push_back(entry(id, QStringLiteral("Stream %1").arg(id)));
    return result;
}

// A catalogue that parses but breaks the rules: its Stream has no Url.
const QByteArray streamWithoutUrl = "<?xml version=\"1.0\"?><Catalogue><Streams>"
                                    "<Stream id=\"30\" adult=\"false\" topstream=\"false\"><Name>Broken</Name>"
                                    "<Language>English</Language><Country>Norway</Country><Bitrate>1</Bitrate>"
                                    "<Format>WMP</Format><Type>TV</Type><Live>true</Live><Category>News</Category>"
                                    "</Stream></Streams></Catalogue>";

} // namespace

class TestCatalogueCache : public QObject, ServiceInTempDir
{
    Q_OBJECT

    int downloads() const { return service->requestCount("/getstreams.php"); }

    // A program start: the settings as the last run saved them, a new
    // manager, one load; the settings are saved again as at program end.
    QString start(QStringList *loaded = nullptr)
    {
        Options::resetToDefaults();
        Options::readFromDisk(nullptr, nullptr, false, true);
        StreamsManager manager;
        const QString key = failureKey([&] { manager.fetchStreams(); });
        if (loaded)
            *loaded = names(manager.getAllStreams());
        Options::writeToDisk();
        return key;
    }
    static int storedRevision()
    {
        Options::resetToDefaults();
        Options::readFromDisk(nullptr, nullptr, false, true);
        return Options::getCacheRevision();
    }

private slots:
    void initTestCase() { startService(); }
    void cleanupTestCase() { service.reset(); }

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

    // A failed load never costs the catalogue loaded before, and the next
    // start downloads again once the server has a good one.
    void failedLoadsKeepTheCatalogue()
    {
        const QString parseError = LangMsg::getMsg("ParseError");
        const QString noError = QStringLiteral("(no error)");
        QStringList loaded;

        // Revision 7, a good catalogue.
        const QByteArray good = RefService::catalogueDocument({entry(1, "One"), entry(2, "Two")});
        service->setRevision(7);
        service->setCatalogue(good);
        QCOMPARE(start(&loaded), noError);
        QCOMPARE(loaded, QStringList({"One", "Two"}));
        const QByteArray cache7 = readAll("data.dat");
        QCOMPARE(Zlib::gzipDecompress(cache7, StreamsFetcher::MAX_CATALOGUE_BYTES), good);
        QCOMPARE(storedRevision(), 7);

        // Revision 8, a body that is not XML: the load fails, the cache and
        // the revision stay.
        service->setRevision(8);
        service->setCatalogue("<html><body>Service unavailable");
        QCOMPARE(start(), parseError);
        QCOMPARE(readAll("data.dat"), cache7);
        QCOMPARE(storedRevision(), 7);

        // Offline: the cache serves.
        qputenv("QUORVANTEL_CATALOGUE_HOST", closedHost());
        QCOMPARE(start(&loaded), noError);
        QCOMPARE(loaded, QStringList({"One", "Two"}));
        qputenv("QUORVANTEL_CATALOGUE_HOST", service->hostPort().toLatin1());

        // Revision 9, well-formed but against the rules: the load fails, the
        // cache stays, and revision 9 is not taken for loaded.
        service->setRevision(9);
        service->setCatalogue(streamWithoutUrl);
        QCOMPARE(start(), parseError);
        QCOMPARE(readAll("data.dat"), cache7);
        QVERIFY(storedRevision() != 9);

        // The server corrects revision 9: the next start downloads it.
        service->clearRequests();
        const QByteArray corrected =
            RefService::catalogueDocument({entry(1, "One"), entry(2, "Two"), entry(30, "Thirty")});
        service->setCatalogue(corrected);
        QCOMPARE(start(&loaded), noError);
        QCOMPARE(loaded, QStringList({"One", "Two", "Thirty"}));
        QCOMPARE(downloads(), 1);
        QCOMPARE(Zlib::gzipDecompress(readAll("data.dat"), StreamsFetcher::MAX_CATALOGUE_BYTES), corrected);
        QCOMPARE(storedRevision(), 9);

        // And the start after that reads it from the cache.
        QCOMPARE(start(&loaded), noError);
        QCOMPARE(loaded, QStringList({"One", "Two", "Thirty"}));
        QCOMPARE(downloads(), 1);
    }

    // A cache that breaks the catalogue's rules under the server's revision
    // (as an earlier run could leave it) is broken like any other: the load
    // downloads in its place.
    void cacheAgainstTheRulesIsDownloadedAgain()
    {
        QVERIFY(writeAll("data.dat", Zlib::gzipCompress(streamWithoutUrl)));
        Options::setCacheRevision(9);
        service->setRevision(9);
        const QByteArray good = RefService::catalogueDocument({entry(1, "One")});
        service->setCatalogue(good);
        StreamsManager manager;
        QCOMPARE(failureKey([&] { manager.fetchStreams(); }), QStringLiteral("(no error)"));
        QCOMPARE(names(manager.getAllStreams()), QStringList({"One"}));
        QCOMPARE(downloads(), 1);
        QCOMPARE(Zlib::gzipDecompress(readAll("data.dat"), StreamsFetcher::MAX_CATALOGUE_BYTES), good);
        QCOMPARE(Options::getCacheRevision(), 9);
    }

    // A download that breaks the rules is not stored, with the revision
    // unchanged or not.
    void brokenDownloadIsNotCached_data()
    {
        QTest::addColumn<int>("server");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("newer revision, not XML") << 8 << QByteArray("not xml at all");
        QTest::newRow("newer revision, no Streams") << 8 << QByteArray("<Catalogue><Info/></Catalogue>");
        QTest::newRow("newer revision, Stream without Url") << 8 << streamWithoutUrl;
        QTest::newRow("same revision, Stream without Url") << 7 << streamWithoutUrl;
    }
    void brokenDownloadIsNotCached()
    {
        QFETCH(int, server);
        QFETCH(QByteArray, body);
        const QByteArray earlier = Zlib::gzipCompress(RefService::catalogueDocument({entry(1, "One")}));
        // The same revision reads the cache first: make it unreadable so that
        // the load downloads.
        QVERIFY(writeAll("data.dat", server == 7 ? QByteArray("not gzip") : earlier));
        const QByteArray before = readAll("data.dat");
        Options::setCacheRevision(7);
        service->setRevision(server);
        service->setCatalogue(body);
        StreamsManager manager;
        QCOMPARE(failureKey([&] { manager.fetchStreams(); }), LangMsg::getMsg("ParseError"));
        QCOMPARE(readAll("data.dat"), before);
        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{"data.dat"});
        QCOMPARE(Options::getCacheRevision(), 7);
        // The next load downloads again.
        service->clearRequests();
        QCOMPARE(failureKey([&] { manager.fetchStreams(); }), LangMsg::getMsg("ParseError"));
        QVERIFY(downloads() >= 1);
    }

    // data.dat is the program's own: a symbolic link in its place is
    // replaced, and what it points to is never written.
    void cacheReplacesSymbolicLink_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("link to a file") << true;
        QTest::newRow("dangling link") << false;
    }
    void cacheReplacesSymbolicLink()
    {
        QFETCH(bool, targetExists);
        QTemporaryDir elsewhere;
        QVERIFY(elsewhere.isValid());
        const QString target = elsewhere.filePath("precious.txt");
        if (targetExists)
            QVERIFY(writeAll(target, "the user's own file\n"));
        QVERIFY(QFile::link(target, "data.dat"));
        service->setRevision(8);
        const QByteArray document = RefService::catalogueDocument({entry(1, "One")});
        service->setCatalogue(document);
        StreamsManager manager;
        QVERIFY(manager.fetchStreams());
        const QFileInfo cache("data.dat");
        QVERIFY(!cache.isSymLink());
        QVERIFY(cache.isFile());
        QCOMPARE(Zlib::gzipDecompress(readAll("data.dat"), StreamsFetcher::MAX_CATALOGUE_BYTES), document);
        if (targetExists)
            QCOMPARE(readAll(target), QByteArray("the user's own file\n"));
        else
            QVERIFY(!QFileInfo::exists(target));
        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{"data.dat"});
        QCOMPARE(Options::getCacheRevision(), 8);
    }

    // Only a file is read as the cache: a device or a named pipe in its
    // place (or a link to one) would give endless data or block the read.
    // The load takes it for a broken cache and downloads.
    void cacheThatIsNoFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("link to an endless device") << "device";
        QTest::newRow("named pipe") << "pipe";
    }
    void cacheThatIsNoFile()
    {
        QFETCH(QString, kind);
        if (kind == "device")
            QVERIFY(QFile::link("/dev/zero", "data.dat"));
        else
            QCOMPARE(::mkfifo("data.dat", 0600), 0);
        {
            StreamsFetcher fetcher;
            QCOMPARE(failureKey([&] { fetcher.openGZipFile("data.dat"); }),
                     "data.dat: " + LangMsg::getMsg("FileNotFoundError"));
        }
        Options::setCacheRevision(7);
        service->setRevision(7);
        const QByteArray document = RefService::catalogueDocument({entry(1, "One")});
        service->setCatalogue(document);
        StreamsManager manager;
        QCOMPARE(failureKey([&] { manager.fetchStreams(); }), QStringLiteral("(no error)"));
        QCOMPARE(names(manager.getAllStreams()), QStringList({"One"}));
        QCOMPARE(downloads(), 1);
        QVERIFY(QFileInfo("data.dat").isFile());
        QVERIFY(!QFileInfo("data.dat").isSymLink());
        QCOMPARE(Zlib::gzipDecompress(readAll("data.dat"), StreamsFetcher::MAX_CATALOGUE_BYTES), document);
    }

    // "LastStreamId" is the highest identifier seen, or 0: loads without
    // records or with lower identifiers leave it.
    void lastStreamIdStaysHighest_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QList<int>>("lastIds"); // per load: highest id, 0 for an empty catalogue
        QTest::addColumn<int>("expected");
        QTest::newRow("none stored, empty loads") << 0 << QList<int>{0, 0, 0} << 0;
        QTest::newRow("42, empty loads") << 42 << QList<int>{0, 0} << 42;
        QTest::newRow("42, lower ids") << 42 << QList<int>{10, 0, 10} << 42;
        QTest::newRow("42, then higher ids") << 42 << QList<int>{0, 60, 0} << 60;
        QTest::newRow("none stored, then ids") << 0 << QList<int>{0, 30} << 30;
    }
    void lastStreamIdStaysHighest()
    {
        QFETCH(int, stored);
        QFETCH(QList<int>, lastIds);
        QFETCH(int, expected);
        Options::setLastStreamId(stored);
        StreamsManager manager;
        int revision = 10;
        for (const int last : lastIds) {
            service->setRevision(++revision);
            service->setCatalogue(RefService::catalogueDocument(last > 0 ? entries(1, last)
                                                                          : std::vector<RefService::CatalogueEntry>{}));
            QCOMPARE(manager.fetchStreams(), last > 0);
        }
        QCOMPARE(Options::getLastStreamId(), expected);
    }

    // After empty loads the "Last 25" tab still shows the 25 streams below
    // the highest identifier, not more.
    void latestViewKeepsItsThreshold()
    {
        Options::setLastStreamId(42);
        StreamsManager manager;
        for (int load = 0; load < 2; ++load) {
            service->setRevision(20 + load);
            service->setCatalogue(RefService::catalogueDocument({}));
            QVERIFY(!manager.fetchStreams());
        }
        service->setRevision(30);
        service->setCatalogue(RefService::catalogueDocument(entries(1, 42)));
        QVERIFY(manager.fetchStreams());
        StreamsView latest(&manager, StreamsView::FILTER_LATEST);
        const auto rows = latest.getActiveStreams();
        QCOMPARE(int(rows.size()), 25);
        for (const auto &row : rows)
            QVERIFY2(row->getId() > 17, qPrintable(QString::number(row->getId())));
        QCOMPARE(Options::getLastStreamId(), 42);
    }
};

QTEST_GUILESS_MAIN(TestCatalogueCache)
#include "tst_catalogue_cache.moc"
