#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "catalogue/StreamsManager.h"
#include "catalogue/TulException.h"
#include "service/ReferenceService.h"
#include "tests/SlowServer.h"
#include "tests/catalogue/CatalogueTestSupport.h"

#include <QtTest>

#include <future>
#include <stop_token>

Q_DECLARE_METATYPE(SlowServer::Mode)

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
    return e;
}

} // namespace

class TestManager : public QObject, ServiceInTempDir
{
    Q_OBJECT

    const QString connectError = QStringLiteral("Firewall blocking error");
    const QString errorSending = QStringLiteral("Error, sending message failed");

    int downloads() const { return service->requestCount("/getstreams.php"); }

private slots:
    void initTestCase() { startService(); }
    void cleanupTestCase() { service.reset(); }

    void init()
    {
        enterTempDir();
        if (QTest::currentTestFailed())
            return;
        qputenv("QUORVANTEL_MAKER_HOST", service->hostPort().toLatin1());
        service->clearRequests();
        service->setCatalogueEncoding(RefService::Encoding::Gzip);
        service->setCatalogue(RefService::catalogueDocument({entry(1, "One"), entry(2, "Two")}));
        service->setRevision(8);
    }
    void cleanup()
    {
        leaveTempDir();
    }

    // --------------------------------------------------------------- indexes

    void indexNumbering()
    {
        StreamsManager manager;
        QCOMPARE(manager.addCategory("News"), 1);
        QCOMPARE(manager.addCategory("Sport"), 2);
        QCOMPARE(manager.addCategory("News"), 1);
        QCOMPARE(manager.addCategory("news"), 3); // letter case counts
        QCOMPARE(manager.addLanguage("English"), 1);
        QCOMPARE(manager.addCountry("Norway"), 1);
        QCOMPARE(manager.addCountry("Sweden"), 2);
        QCOMPARE(manager.addCountry("Norway"), 1);
        // "All categories" is the "all" entry, never a category's number.
        QCOMPARE(manager.addCategory("All categories"), 4);
        const auto categories = manager.getCategories();
        QCOMPARE(int(categories.size()), 5);
        QCOMPARE(categories[0]->getId(), 0);
        QCOMPARE(categories[0]->getText(), "All categories");
        QCOMPARE(manager.getLanguages()[0]->getText(), "All languages");
        QCOMPARE(int(manager.getCountries().size()), 2);
        QCOMPARE(manager.getCountries()[0]->getId(), 1);
    }

    void newManager()
    {
        StreamsManager manager;
        QVERIFY(manager.getAllStreams()->empty());
        QVERIFY(manager.getStreamMap()->empty());
        QVERIFY(!manager.getAdultVisible());
        QVERIFY(manager.getLatest());
        QVERIFY(manager.getMOTD().isNull());
        QVERIFY(manager.getUpdateUrl().isNull());
    }

    void numbersLastAcrossLoads()
    {
        StreamsManager manager;
        service->setCatalogue(RefService::catalogueDocument({entry(1, "A", "News"), entry(2, "B", "Sport")}));
        QVERIFY(manager.fetchStreams());
        service->setRevision(9);
        service->setCatalogue(RefService::catalogueDocument({entry(3, "C", "Film"), entry(4, "D", "Sport")}));
        QVERIFY(manager.fetchStreams());
        const auto list = manager.getAllStreams();
        QCOMPARE(list->at(0)->getCategoryId(), 3);
        QCOMPARE(list->at(1)->getCategoryId(), 2);
    }

    // -------------------------------------------------------- revision paths

    void revisionPaths_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("server");
        QTest::addColumn<QString>("cache"); // good, missing, broken
        QTest::addColumn<int>("expectedDownloads");
        QTest::addColumn<QString>("expectedFirst");
        QTest::addColumn<int>("expectedRevision");
        QTest::newRow("same revision, good cache") << 7 << 7 << "good" << 0 << "Cached" << 7;
        QTest::newRow("newer revision") << 7 << 8 << "good" << 1 << "One" << 8;
        QTest::newRow("same revision, no cache") << 7 << 7 << "missing" << 1 << "One" << 7;
        QTest::newRow("same revision, broken cache") << 7 << 7 << "broken" << 1 << "One" << 7;
        QTest::newRow("server without revision") << 7 << -99 << "good" << 0 << "Cached" << 7;
    }
    void revisionPaths()
    {
        QFETCH(int, stored);
        QFETCH(int, server);
        QFETCH(QString, cache);
        QFETCH(int, expectedDownloads);
        QFETCH(QString, expectedFirst);
        QFETCH(int, expectedRevision);
        Options::setCacheRevision(stored);
        if (server == -99)
            service->setStatus("/cacheversion.txt", 500);
        else
            service->setRevision(server);
        const QByteArray cached = RefService::catalogueDocument({entry(5, "Cached")});
        if (cache == "good")
            writeFile("data.dat", RefService::gzipCompress(cached));
        else if (cache == "broken")
            writeFile("data.dat", RefService::gzipCompress(cached).left(30));
        StreamsManager manager;
        QVERIFY(manager.fetchStreams());
        QCOMPARE(downloads(), expectedDownloads);
        QCOMPARE(manager.getAllStreams()->at(0)->getName(), expectedFirst);
        QCOMPARE(Options::getCacheRevision(), expectedRevision);
        if (expectedDownloads > 0) {
            QFile f("data.dat");
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(RefService::gzipDecompress(f.readAll()).value_or("?"), service->catalogue());
        }
    }

    void cacheHoldsDownload()
    {
        StreamsManager manager;
        QVERIFY(manager.fetchStreams());
        QFile f("data.dat");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(RefService::gzipDecompress(f.readAll()).value_or("?"), service->catalogue());
        // Unchanged revision: the next load reads the cache.
        QVERIFY(manager.fetchStreams());
        QCOMPARE(downloads(), 1);
        QCOMPARE(names(manager.getAllStreams()), QStringList({"One", "Two"}));
    }

    void downloadQuery()
    {
        Options::setLanguage("no");
        StreamsManager manager;
        QVERIFY(manager.fetchStreams());
        const auto logged = service->requests("/getstreams.php");
        QCOMPARE(int(logged.size()), 1);
        QCOMPARE(logged[0].query, QByteArray("version=10.0.0&serial=&lang=no"));
        QCOMPARE(logged[0].headers.value("accept-encoding"), "gzip, deflate");
    }

    void failedParseIsDownloadedTwice()
    {
        service->setCatalogue("<Catalogue><Streams>");
        StreamsManager manager;
        QCOMPARE(failureKey([&] { manager.fetchStreams(); }), LangMsg::getMsg("ParseError"));
        QCOMPARE(downloads(), 2);
        QCOMPARE(Options::getCacheRevision(), 0);
    }

    void twoFailingDownloadsKeepEverything()
    {
        StreamsManager manager;
        QVERIFY(manager.fetchStreams());
        QCOMPARE(Options::getCacheRevision(), 8);
        const auto list = manager.getAllStreams();
        const auto map = manager.getStreamMap();

        service->setRevision(9);
        service->setStatus("/getstreams.php", 500);
        service->clearRequests();
        QString cause;
        QCOMPARE(failureKey([&] { manager.fetchStreams(); }, &cause), connectError);
        QVERIFY(!cause.isEmpty());
        QCOMPARE(downloads(), 2);
        QCOMPARE(Options::getCacheRevision(), 8);
        QCOMPARE(manager.getAllStreams(), list);
        QCOMPARE(manager.getStreamMap(), map);
        QCOMPARE(names(manager.getAllStreams()), QStringList({"One", "Two"}));
    }

    void brokenCatalogueKeepsPublished()
    {
        StreamsManager manager;
        QVERIFY(manager.fetchStreams());
        const auto list = manager.getAllStreams();
        service->setRevision(9);
        // Well-formed, but a Stream without its Url: the load fails after the
        // new records were begun.
        service->setCatalogue("<C><Streams flush=\"True\"><Stream id=\"3\" adult=\"false\" topstream=\"false\">"
                              "<Name>X</Name><Language>L</Language><Country>C</Country><Bitrate>1</Bitrate>"
                              "<Format>WMP</Format><Type>TV</Type><Live>true</Live><Category>New</Category>"
                              "</Stream></Streams></C>");
        QCOMPARE(failureKey([&] { manager.fetchStreams(); }), LangMsg::getMsg("ParseError"));
        QCOMPARE(manager.getAllStreams(), list);
        QCOMPARE(int(manager.getCategories().size()), 2); // "all" and News: no flush, nothing new
        QCOMPARE(manager.addCategory("New"), 2);
    }

    void unreachableServerUsesCache()
    {
        Options::setCacheRevision(7);
        writeFile("data.dat", RefService::gzipCompress(RefService::catalogueDocument({entry(5, "Cached")})));
        qputenv("QUORVANTEL_CATALOGUE_HOST", closedHost());
        StreamsManager manager;
        QVERIFY(manager.fetchStreams());
        QCOMPARE(manager.getAllStreams()->at(0)->getName(), "Cached");
        QCOMPARE(Options::getCacheRevision(), 7);
    }

    void unwritableCacheForcesNextDownload()
    {
        QVERIFY(QDir().mkdir("data.dat"));
        StreamsManager manager;
        QVERIFY(manager.fetchStreams());
        QCOMPARE(names(manager.getAllStreams()), QStringList({"One", "Two"}));
        // The revision is not recorded for a cache that was not written.
        QCOMPARE(Options::getCacheRevision(), -1);
        QVERIFY(manager.fetchStreams());
        QCOMPARE(downloads(), 2);
    }

    void emptyCatalogue_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<bool>("adultVisible");
        QTest::newRow("no streams") << RefService::catalogueDocument({}) << false;
        auto adult = entry(1, "Adult");
        adult.adult = true;
        QTest::newRow("only adult, hidden") << RefService::catalogueDocument({adult}) << false;
        auto rm = entry(1, "Real");
        rm.format = "RM";
        QTest::newRow("only RM") << RefService::catalogueDocument({rm}) << true;
    }
    void emptyCatalogue()
    {
        QFETCH(QByteArray, document);
        QFETCH(bool, adultVisible);
        service->setCatalogue(document);
        StreamsManager manager;
        manager.setAdultVisible(adultVisible);
        QVERIFY(!manager.fetchStreams());
        QCOMPARE(Options::getCacheRevision(), -1);
        QVERIFY(manager.getAllStreams()->empty());
        // The next load downloads again.
        QVERIFY(!manager.fetchStreams());
        QCOMPARE(downloads(), 2);
    }

    void adultSwitch()
    {
        auto adult = entry(2, "Adult", "Hot", "English", "Nowhere");
        adult.adult = true;
        service->setCatalogue(RefService::catalogueDocument({entry(1, "One"), adult}));
        StreamsManager manager;
        // The reader keeps adult records until the switch is first set.
        QVERIFY(!manager.getAdultVisible());
        QVERIFY(manager.fetchStreams());
        QCOMPARE(int(manager.getAllStreams()->size()), 2);
        manager.setAdultVisible(false);
        QCOMPARE(int(manager.getAllStreams()->size()), 2); // loaded records stay
        QVERIFY(manager.fetchStreams());
        QCOMPARE(names(manager.getAllStreams()), QStringList({"One"}));
        manager.setAdultVisible(true);
        QVERIFY(manager.getAdultVisible());
        QVERIFY(manager.fetchStreams());
        QCOMPARE(int(manager.getAllStreams()->size()), 2);
    }

    void duplicateIds()
    {
        service->setCatalogue(RefService::catalogueDocument({entry(42, "First"), entry(7, "Seven"), entry(42, "Second")}));
        StreamsManager manager;
        QVERIFY(manager.fetchStreams());
        QCOMPARE(names(manager.getAllStreams()), QStringList({"First", "Seven", "Second"}));
        const auto map = manager.getStreamMap();
        QCOMPARE(int(map->size()), 2);
        QCOMPARE(map->at(42)->getName(), "Second");
        QCOMPARE(map->begin()->first, 7);
    }

    void latestThreshold_data()
    {
        QTest::addColumn<int>("lastStreamId");
        QTest::addColumn<bool>("getLatest");
        QTest::addColumn<int>("threshold");
        QTest::newRow("0") << 0 << false << -25;
        QTest::newRow("1000") << 1000 << true << 975;
    }
    void latestThreshold()
    {
        QFETCH(int, lastStreamId);
        QFETCH(bool, getLatest);
        QFETCH(int, threshold);
        Options::setLastStreamId(lastStreamId);
        service->setCatalogue(RefService::catalogueDocument({entry(5, "A"), entry(1200, "B"), entry(3, "C")}));
        StreamsManager manager;
        QVERIFY(manager.fetchStreams());
        QCOMPARE(manager.getLatest(), getLatest);
        QCOMPARE(manager.getLatestStreamId(), threshold);
        QCOMPARE(Options::getLastStreamId(), 1200);
        const auto snap = manager.snapshot();
        QCOMPARE(snap.getLatest, getLatest);
        QCOMPARE(snap.latestStreamId, threshold);
        QCOMPARE(snap.streams, manager.getAllStreams());
    }

    void highestIdStaysAcrossLoads()
    {
        // The running maximum starts from the threshold of the load before;
        // the stored id stays the highest one seen.
        Options::setLastStreamId(5000);
        StreamsManager manager;
        QVERIFY(manager.fetchStreams()); // ids 1, 2; threshold 4975
        QCOMPARE(manager.getLatestStreamId(), 5000 - 25);
        QCOMPARE(Options::getLastStreamId(), 5000);
        service->setRevision(9);
        QVERIFY(manager.fetchStreams());
        QCOMPARE(manager.getLatestStreamId(), 5000 - 25);
        QCOMPARE(Options::getLastStreamId(), 5000);
        service->setRevision(10);
        service->setCatalogue(RefService::catalogueDocument({entry(1, "One"), entry(5010, "New")}));
        QVERIFY(manager.fetchStreams());
        QCOMPARE(Options::getLastStreamId(), 5010);
    }

    void notices()
    {
        RefService::CatalogueInfo info;
        info.motd = QStringLiteral("  Welcome  ");
        info.updateUrl = QStringLiteral("http://127.0.0.1/latest.exe");
        service->setCatalogue(RefService::catalogueDocument({entry(1, "One")}, info));
        StreamsManager manager;
        QVERIFY(manager.fetchStreams());
        QCOMPARE(manager.getMOTD(), "Welcome");
        QCOMPARE(manager.getUpdateUrl(), "http://127.0.0.1/latest.exe");
    }

    void flushOnSecondLoad()
    {
        service->setCatalogue(RefService::catalogueDocument({entry(1, "A", "News", "English", "Norway")}));
        StreamsManager manager;
        QVERIFY(manager.fetchStreams());
        const auto first = manager.getAllStreams();
        QCOMPARE(first->at(0)->getCategoryId(), 1);

        RefService::CatalogueInfo info;
        info.flush = QStringLiteral("True");
        service->setCatalogue(
            RefService::catalogueDocument({entry(2, "B", "Sport", "Norsk", "Sweden"), entry(3, "C", "News")}, info));
        service->setRevision(9);
        QVERIFY(manager.fetchStreams());
        const auto second = manager.getAllStreams();
        QVERIFY(second != first);
        QCOMPARE(names(second), QStringList({"B", "C"}));
        // The list handed out before is a snapshot: it keeps its records.
        QCOMPARE(names(first), QStringList({"A"}));
        // Categories and languages count again from 1; countries keep theirs.
        QCOMPARE(second->at(0)->getCategoryId(), 1);
        QCOMPARE(second->at(1)->getCategoryId(), 2);
        QCOMPARE(second->at(0)->getLanguageId(), 1);
        QCOMPARE(second->at(0)->getCountryId(), 2);
        QCOMPARE(second->at(1)->getCountryId(), 1);
        QCOMPARE(manager.getCategories()[0]->getText(), "All categories");
    }

    void flushCache()
    {
        StreamsManager manager;
        QVERIFY(manager.fetchStreams());
        const auto map = manager.getStreamMap();
        manager.flushCache();
        QVERIFY(manager.getAllStreams()->empty());
        QCOMPARE(manager.getStreamMap(), map);
        QCOMPARE(int(manager.getCategories().size()), 1);
        QCOMPARE(int(manager.getLanguages().size()), 1);
        QCOMPARE(int(manager.getCountries().size()), 1);
        QCOMPARE(manager.addCategory("Fresh"), 1);
        QCOMPARE(manager.addLanguage("Fresh"), 1);
        QCOMPARE(manager.addCountry("Norway"), 1);
    }

    // ------------------------------------------------------------- requests

    void replies_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("split");
        QTest::addColumn<bool>("accepted");
        for (const char *request : {"report", "tips", "recruit"}) {
            auto row = [request](const char *name) -> QTestData & { return QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(request, name))); };
            row("OK") << request << QByteArray("OK") << false << true;
            row("OK in two reads") << request << QByteArray("OK") << true << true;
            row("OK CR LF") << request << QByteArray("OK\r\n") << false << false;
            row("OK LF") << request << QByteArray("OK\n") << false << false;
            row("ok") << request << QByteArray("ok") << false << false;
            row("Error") << request << QByteArray("Error") << false << false;
            row("empty") << request << QByteArray("") << false << false;
            row("blank OK") << request << QByteArray(" OK") << false << false;
            row("long") << request << QByteArray("OK").append(400, 'x') << false << false;
        }
    }
    void replies()
    {
        QFETCH(QString, request);
        QFETCH(QByteArray, reply);
        QFETCH(bool, split);
        QFETCH(bool, accepted);
        const QString path = request == "report" ? "/brokenstreamreport.php"
                             : request == "tips" ? "/tul/prog/streamtips.php"
                                                 : "/tul/prog/recruitperson.php";
        if (split)
            service->setSplitReply(path, reply.left(1), reply.mid(1), 200);
        else
            service->setReply(path, reply);
        StreamsManager manager;
        StreamInfo stream;
        auto call = [&] {
            if (request == "report")
                manager.reportBrokenLink("KEY", 42);
            else if (request == "tips")
                manager.streamTips(stream);
            else
                manager.recruitPerson(Options::getSerial(), "friend@example.org");
        };
        if (accepted)
            call();
        else
            QCOMPARE(failureKey(call), errorSending);
        QCOMPARE(service->requestCount(path), 1);
    }

    void failedRequests_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("expected");
        QTest::newRow("report, closed port") << "report" << "closed" << errorSending;
        QTest::newRow("tips, closed port") << "tips" << "closed" << errorSending;
        QTest::newRow("recruit, closed port") << "recruit" << "closed" << connectError;
        QTest::newRow("report, 404") << "report" << "404" << errorSending;
        QTest::newRow("tips, 500") << "tips" << "500" << errorSending;
        QTest::newRow("recruit, 404") << "recruit" << "404" << connectError;
    }
    void failedRequests()
    {
        QFETCH(QString, request);
        QFETCH(QString, failure);
        QFETCH(QString, expected);
        if (failure == "closed") {
            qputenv("QUORVANTEL_CATALOGUE_HOST", closedHost());
            qputenv("QUORVANTEL_MAKER_HOST", closedHost());
        } else {
            for (const char *path : {"/brokenstreamreport.php", "/tul/prog/streamtips.php", "/tul/prog/recruitperson.php"})
                service->setStatus(path, failure.toInt());
        }
        StreamsManager manager;
        StreamInfo stream;
        QString cause;
        const QString text = failureKey(
            [&] {
                if (request == "report")
                    manager.reportBrokenLink(QString(), 1);
                else if (request == "tips")
                    manager.streamTips(stream);
                else
                    manager.recruitPerson(QString(), "a@b.c");
            },
            &cause);
        QCOMPARE(text, expected);
        QVERIFY2(!cause.isEmpty(), "the failure carries its cause");
    }

    // A reply that trickles in a byte at a time ends the request after
    // Http::SMALL_REQUEST_TIMEOUT_MS, with the request's connection failure.
    void trickledReplyEnds_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("expected");
        QTest::newRow("report") << "report" << errorSending;
        QTest::newRow("tips") << "tips" << errorSending;
        QTest::newRow("recruit") << "recruit" << connectError;
    }
    void trickledReplyEnds()
    {
        QFETCH(QString, request);
        QFETCH(QString, expected);
        std::future<QString> outcome; // ends after the server
        SlowServer server;
        QVERIFY(server.start());
        SlowServer::Route route;
        route.mode = SlowServer::Mode::Trickle;
        route.body = QByteArray("OK").append(200, ' ');
        route.trickleBytes = 1;
        route.trickleMs = 250;
        for (const char *path : {"/brokenstreamreport.php", "/tul/prog/streamtips.php", "/tul/prog/recruitperson.php"})
            server.setRoute(QString::fromLatin1(path), route);
        qputenv("QUORVANTEL_CATALOGUE_HOST", server.hostPort().toLatin1());
        qputenv("QUORVANTEL_MAKER_HOST", server.hostPort().toLatin1());
        outcome = std::async(std::launch::async, [request] {
            StreamsManager manager;
            StreamInfo stream;
            return failureKey([&] {
                if (request == "report")
                    manager.reportBrokenLink("KEY", 42);
                else if (request == "tips")
                    manager.streamTips(stream);
                else
                    manager.recruitPerson(QString(), "a@b.c");
            });
        });
        QTRY_VERIFY_WITH_TIMEOUT(outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 30000);
        QCOMPARE(outcome.get(), expected);
    }

    // A stop request ends a load whose download the server holds: the load
    // fails at once with "ConnectError", the revision, the cache file and
    // the published catalogue stay as they were, and no further download
    // is tried.
    void stopEndsLoad_data()
    {
        QTest::addColumn<QString>("held");
        QTest::addColumn<SlowServer::Mode>("mode");
        QTest::addColumn<bool>("brokenCache");
        using M = SlowServer::Mode;
        QTest::newRow("revision stalls") << "/cacheversion.txt" << M::Stall << false;
        QTest::newRow("revision unanswered") << "/cacheversion.txt" << M::Silent << false;
        QTest::newRow("catalogue stalls") << "/getstreams.php" << M::Stall << false;
        QTest::newRow("catalogue trickles") << "/getstreams.php" << M::Trickle << false;
        QTest::newRow("download after a broken cache stalls") << "/getstreams.php" << M::Stall << true;
    }
    void stopEndsLoad()
    {
        QFETCH(QString, held);
        QFETCH(SlowServer::Mode, mode);
        QFETCH(bool, brokenCache);
        const QByteArray document = RefService::catalogueDocument({entry(1, "One"), entry(2, "Two")});
        const QByteArray cache = brokenCache ? QByteArray("not gzip")
                                             : RefService::gzipCompress(RefService::catalogueDocument({entry(5, "Cached")}));
        writeFile("data.dat", cache);
        Options::setCacheRevision(7);

        std::future<QString> outcome; // ends after the server
        SlowServer server;
        QVERIFY(server.start());
        // Blank lines first: a revision long enough to stall after its
        // first bytes; 7 reads the cache, 8 downloads.
        const QByteArray revision = QByteArray(100, '\n') + (brokenCache ? "7\n" : "8\n");
        server.setWhole(QStringLiteral("/cacheversion.txt"), revision);
        server.setWhole(QStringLiteral("/getstreams.php"), document);
        SlowServer::Route route;
        route.mode = mode;
        route.body = held == QLatin1String("/cacheversion.txt") ? revision : document;
        route.trickleMs = 200;
        server.setRoute(held, route);
        qputenv("QUORVANTEL_CATALOGUE_HOST", server.hostPort().toLatin1());

        StreamsManager manager;
        std::stop_source stop;
        outcome = std::async(std::launch::async, [&manager, token = stop.get_token()] {
            return failureKey([&] { manager.fetchStreams(token); });
        });
        QVERIFY(server.waitForRequests(held, 1));
        stop.request_stop();
        QTRY_VERIFY_WITH_TIMEOUT(outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 10000);
        QCOMPARE(outcome.get(), connectError);
        QCOMPARE(Options::getCacheRevision(), 7);
        QCOMPARE(readAll("data.dat"), cache);
        QVERIFY(manager.getAllStreams()->empty());
        QCOMPARE(server.requests(QStringLiteral("/getstreams.php")), held == QLatin1String("/getstreams.php") ? 1 : 0);
        QCOMPARE(QDir::current().entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("data.dat")});
    }

    void reportQuery()
    {
        service->setReply("/brokenstreamreport.php", "OK");
        StreamsManager manager;
        manager.reportBrokenLink("SECRET", -42);
        const auto logged = service->requests("/brokenstreamreport.php");
        QCOMPARE(logged.at(0).query, QByteArray("id=-42"));
        QVERIFY(!logged.at(0).headers.contains("accept-encoding"));
    }

    void suggestionQuery_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QByteArray>("encodedName");
        QTest::addColumn<QByteArray>("tail");
        QTest::newRow("ampersand and blanks") << "Rock & Roll" << QString() << QByteArray("Rock+%26+Roll") << QByteArray();
        QTest::newRow("latin-1 letters") << QString::fromUtf8("Blåbær ~+") << QString() << QByteArray("Bl%E5b%E6r+%7E%2B")
                                         << QByteArray();
        QTest::newRow("outside latin-1") << QString::fromUtf8("€ 漢") << QString() << QByteArray("%3F+%3F") << QByteArray();
        QTest::newRow("outside the BMP") << QString::fromUtf8("a😀b") << QString() << QByteArray("a%3Fb") << QByteArray();
        QTest::newRow("kept characters") << "a.b-c*d_e" << QString() << QByteArray("a.b-c*d_e") << QByteArray();
        QTest::newRow("with description") << "X" << QString::fromUtf8("Good & loud\nnews") << QByteArray("X")
                                          << QByteArray("&streamdescription=Good+%26+loud%0Anews");
        QTest::newRow("empty description") << "X" << QStringLiteral("") << QByteArray("X")
                                           << QByteArray("&streamdescription=");
    }
    void suggestionQuery()
    {
        QFETCH(QString, name);
        QFETCH(QString, description);
        QFETCH(QByteArray, encodedName);
        QFETCH(QByteArray, tail);
        Options::setSerial("K&1");
        service->setReply("/tul/prog/streamtips.php", "OK");
        StreamInfo stream;
        stream.setName(name);
        stream.setUrl("http://radio.example/live?x=1&y=2");
        stream.setHomepageUrl("http://radio.example/");
        stream.setCategory("Pop/Rock");
        stream.setLanguage("Norsk");
        stream.setCountry("Norge");
        stream.setLive(true);
        stream.setBitrate(-1);
        stream.setFormat("WMP");
        stream.setType("Radio");
        StreamsManager manager;
        if (description.isNull())
            manager.streamTips(stream);
        else
            manager.streamTips(stream, description);
        const QByteArray expected = "version=10.0.0&serial=K%261&streamname=" + encodedName
                                    + "&streamurl=http%3A%2F%2Fradio.example%2Flive%3Fx%3D1%26y%3D2"
                                      "&streamhomepage=http%3A%2F%2Fradio.example%2F"
                                      "&streamcategory=Pop%2FRock&streamlanguage=Norsk&streamcountry=Norge"
                                      "&streamlive=true&streambitrate=-1&streamformat=WMP&streamtype=Radio"
                                    + tail;
        const auto logged = service->requests("/tul/prog/streamtips.php");
        QCOMPARE(int(logged.size()), 1);
        QCOMPARE(logged[0].query, expected);
    }

    void suggestionWithUnsetFields()
    {
        service->setReply("/tul/prog/streamtips.php", "OK");
        StreamsManager manager;
        StreamInfo stream; // nothing set: every value goes empty
        manager.streamTips(stream);
        QCOMPARE(service->requests("/tul/prog/streamtips.php").at(0).query,
                 QByteArray("version=10.0.0&serial=&streamname=&streamurl=&streamhomepage=&streamcategory="
                            "&streamlanguage=&streamcountry=&streamlive=false&streambitrate=0&streamformat="
                            "&streamtype="));
    }

    // The account key reaches the server as stored in every request that
    // carries it; a plain key stays as it is.
    void accountKeyInRequests_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("sent");
        for (const char *request : {"tips", "recruit"}) {
            QTest::addRow("%s, plain", request) << request << "ABC123" << QByteArray("ABC123");
            QTest::addRow("%s, unset", request) << request << QString() << QByteArray();
            QTest::addRow("%s, ampersand", request) << request << "K&1" << QByteArray("K%261");
            QTest::addRow("%s, plus", request) << request << "K+1" << QByteArray("K%2B1");
            QTest::addRow("%s, blank and hash", request) << request << "a b#c" << QByteArray("a%20b%23c");
        }
    }
    void accountKeyInRequests()
    {
        QFETCH(QString, request);
        QFETCH(QString, key);
        QFETCH(QByteArray, sent);
        if (!key.isNull())
            Options::setSerial(key);
        const QString path = request == "tips" ? "/tul/prog/streamtips.php" : "/tul/prog/recruitperson.php";
        service->setReply(path, "OK");
        StreamsManager manager;
        StreamInfo stream;
        if (request == "tips")
            manager.streamTips(stream);
        else
            manager.recruitPerson(Options::getSerial(), "a@b.c");
        const auto logged = service->requests(path);
        QCOMPARE(int(logged.size()), 1);
        QVERIFY2(logged[0].query.startsWith("version=10.0.0&serial=" + sent + "&"), logged[0].query.constData());
        const QUrlQuery query(QString::fromLatin1(logged[0].query));
        QCOMPARE(query.queryItemValue("serial", QUrl::FullyDecoded), key.isNull() ? QString("") : key);
    }

    void tellAFriendQuery_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("plus") << "a+b@example.org" << QByteArray("a%2Bb%40example.org");
        QTest::newRow("ampersand and hash") << "x&y#z@example.org" << QByteArray("x%26y%23z%40example.org");
        QTest::newRow("blank") << "my friend@example.org" << QByteArray("my%20friend%40example.org");
    }
    void tellAFriendQuery()
    {
        QFETCH(QString, email);
        QFETCH(QByteArray, encoded);
        Options::setSerial("K+1");
        service->setReply("/tul/prog/recruitperson.php", "OK");
        StreamsManager manager;
        manager.recruitPerson("ignored", email);
        const auto logged = service->requests("/tul/prog/recruitperson.php");
        QCOMPARE(int(logged.size()), 1);
        QCOMPARE(logged[0].query, "version=10.0.0&serial=K%2B1&email=" + encoded);
        // What the server decodes is what was typed.
        const QUrlQuery query(QString::fromLatin1(logged[0].query));
        QCOMPARE(query.queryItemValue("email", QUrl::FullyDecoded), email);
    }

    void formEncode_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("null") << QString() << QString("");
        QTest::newRow("all kept") << "azAZ09.-*_" << "azAZ09.-*_";
        QTest::newRow("blank") << " " << "+";
        QTest::newRow("controls") << "\t\r\n" << "%09%0D%0A";
        QTest::newRow("ÿ") << QString(QChar(0xff)) << "%FF";
        QTest::newRow("Ā") << QString(QChar(0x100)) << "%3F";
        QTest::newRow("lone surrogate") << QString(QChar(0xd800)) << "%3F";
    }
    void formEncode()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        QCOMPARE(StreamsManager::formEncode(value), expected);
    }
};

QTEST_GUILESS_MAIN(TestManager)
#include "tst_manager.moc"
