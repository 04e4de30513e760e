#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "catalogue/PPVFetcher.h"
#include "catalogue/PPVView.h"
#include "catalogue/TulException.h"
#include "service/ReferenceService.h"
#include "tests/catalogue/CatalogueTestSupport.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using RefService::PpvMovie;

namespace {
PpvMovie movie(int id, const QString &name, bool adult = false, int length = 5400)
{
    PpvMovie m;
    m.id = id;
    m.name = name;
    m.bitrate = 700 + id;
    m.category = QStringLiteral("Drama");
    m.length = length;
    m.adult = adult;
    return m;
}

QByteArray ppvXml(const QByteArray &catalog, const QByteArray &inventory)
{
    return "<?xml version=\"1.0\"?>\n<PPVResponse><PPV><Catalog>" + catalog + "</Catalog><Inventory>" + inventory
        + "</Inventory></PPV></PPVResponse>\n";
}

QByteArray entryXml(const QByteArray &id, const QByteArray &adult, const QByteArray &name, const QByteArray &bitrate = "500",
                    const QByteArray &length = "60")
{
    return "<Entry id=\"" + id + "\" adult=\"" + adult + "\"><Name>" + name + "</Name><Bitrate>" + bitrate
        + "</Bitrate><Category>Film</Category><Length>" + length + "</Length></Entry>";
}

QByteArray purchased(const QByteArray &videoId, const QByteArray &timeLeft)
{
    return "<Purchased videoid=\"" + videoId + "\" timeleft=\"" + timeLeft + "\"/>";
}

QList<int> ids(const std::vector<StreamInfoPtr> &rows)
{
    QList<int> out;
    for (const auto &s : rows)
        out.append(s->getId());
    return out;
}

PPVStreamInfoPtr findMovie(const std::vector<StreamInfoPtr> &rows, int id)
{
    for (const auto &s : rows)
        if (s->getId() == id)
            return std::dynamic_pointer_cast<PPVStreamInfo>(s);
    return nullptr;
}

} // namespace

class TestPpv : public QObject
{
    Q_OBJECT

    std::unique_ptr<ReferenceService> m_service;
    // Each test works in a directory of its own: the account key is written
    // to "options.xml" there.
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_oldCurrent;

private slots:
    void initTestCase()
    {
        m_service = quietService();
        QVERIFY(m_service->start());
        qputenv("QUORVANTEL_CATALOGUE_HOST", m_service->hostPort().toUtf8());
    }
    void cleanupTestCase() { m_service.reset(); }
    void init()
    {
        m_oldCurrent = QDir::currentPath();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir::setCurrent(m_dir->path()));
        Options::resetToDefaults();
        m_service->clearSwitches();
        m_service->clearRequests();
        m_service->clearRentals();
        m_service->setPpvDocument(QByteArray());
        m_service->setPpvMovies({movie(3, "Gamma"), movie(1, "alpha"), movie(2, "Beta", false, 90000)});
    }
    void cleanup()
    {
        Options::resetToDefaults();
        QDir::setCurrent(m_oldCurrent);
        m_dir.reset();
    }

    void records()
    {
        Options::setSerial("KEY-1");
        m_service->setGlobalRental(2, 93784);
        PPVView view;
        QVERIFY(view.getCategories().empty() && view.getCountries().empty() && view.getLanguages().empty());
        QVERIFY(view.reload());
        const auto rows = view.getActiveStreams();
        QCOMPARE(ids(rows), (QList<int>{1, 2, 3})); // by name, ignoring case
        const auto beta = findMovie(rows, 2);
        QVERIFY(beta);
        QCOMPARE(beta->getName(), "Beta");
        QCOMPARE(beta->getBitrate(), 702);
        QCOMPARE(beta->getCategory(), "Drama");
        QCOMPARE(beta->getLengthInt(), 90000);
        QCOMPARE(beta->getLength(), "01:00:00");
        QCOMPARE(beta->getTimeLeftInt(), 93784);
        QCOMPARE(beta->getTimeLeft(), "Dager: 1--02:03:04");
        QCOMPARE(beta->getUrl(), Options::getPpvMovieUrl(2));
        QVERIFY(beta->getUrl().endsWith("/ppvshow.php?serial=KEY-1&videoid=2"));
        QCOMPARE(beta->getFormat(), "WMP");
        QCOMPARE(beta->getType(), "PPV");
        QVERIFY(!beta->getAdult());
        QCOMPARE(findMovie(rows, 1)->getTimeLeft(), findMovie(rows, 1)->getZeroTimeLeft());
        // Typed rows are the same records.
        const auto typed = view.getActivePpvStreams();
        QCOMPARE(typed.size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
            QCOMPARE(static_cast<StreamInfo *>(typed[i].get()), rows[i].get());
        const auto request = m_service->requests("/getppv.php").front();
        QCOMPARE(request.query, QByteArray("serial=KEY-1"));
        QCOMPARE(request.headers.value("accept-encoding"), "gzip, deflate");
    }

    void rentalTimes_data()
    {
        QTest::addColumn<QByteArray>("inventory");
        QTest::addColumn<int>("expected");
        QTest::newRow("later wins") << purchased("5", "100") + purchased("5", "200") << 200;
        QTest::newRow("later wins, smaller") << purchased("5", "200") + purchased("5", "100") << 100;
        QTest::newRow("negative is no time left") << purchased("5", "-30") << 0;
        QTest::newRow("not a number ignored") << purchased("5", "300") + purchased("5", "12x") << 300;
        QTest::newRow("beyond 32 bits ignored") << purchased("5", "9999999999") << 0;
        QTest::newRow("other movie") << purchased("6", "300") << 0;
        QTest::newRow("videoid not a number") << purchased("five", "300") << 0;
        QTest::newRow("no rental") << QByteArray() << 0;
    }
    void rentalTimes()
    {
        QFETCH(QByteArray, inventory);
        QFETCH(int, expected);
        m_service->setPpvDocument(ppvXml(entryXml("5", "false", "Five") + entryXml("6", "false", "Six"), inventory));
        PPVView view;
        view.reload();
        const auto five = findMovie(view.getActiveStreams(), 5);
        QVERIFY(five);
        QCOMPARE(five->getTimeLeftInt(), expected);
    }

    void adultMovies()
    {
        m_service->setPpvDocument(ppvXml(entryXml("1", "false", "Plain") + entryXml("2", "TRUE", "Adult")
                                             + entryXml("3", "yes", "Not adult"),
                                         purchased("2", "500") + purchased("1", "10")));
        PPVView view;
        view.reload();
        auto rows = view.getActiveStreams();
        QCOMPARE(ids(rows), (QList<int>{3, 1}));
        QVERIFY(!findMovie(rows, 2));
        view.setAdultVisible(true);
        // Takes effect at the next download, not before.
        QCOMPARE(ids(view.getActiveStreams()), (QList<int>{3, 1}));
        view.reload();
        rows = view.getActiveStreams();
        QCOMPARE(ids(rows), (QList<int>{2, 3, 1}));
        QVERIFY(findMovie(rows, 2)->getAdult());
        QCOMPARE(findMovie(rows, 2)->getTimeLeftInt(), 500);
        QCOMPARE(m_service->requestCount("/getppv.php"), 2);
    }

    void rentedList()
    {
        PPVView view;
        auto a = std::make_shared<PPVStreamInfo>();
        a->setId(7);
        a->setTimeLeft(100);
        auto b = std::make_shared<PPVStreamInfo>();
        b->setId(7);
        auto c = std::make_shared<PPVStreamInfo>();
        c->setId(3);
        view.addActive(a);
        view.addActive(b);
        view.addActive(c);
        view.addActive(nullptr);
        view.addActiveStream(std::make_shared<StreamInfo>()); // not a movie
        view.addActiveStream(a);
        const auto active = view.getPpvActive();
        QCOMPARE(active.size(), std::size_t(2));
        QCOMPARE(active[0].get(), a.get());
        QCOMPARE(active[1].get(), c.get());
        view.clearPpvActive();
        QVERIFY(view.getPpvActive().empty());
        QCOMPARE(m_service->requestCount("/getppv.php"), 0);
    }

    void reloadDownloadsAgain()
    {
        PPVView view;
        view.reload();
        const auto first = view.getActiveStreams();
        QCOMPARE(first.size(), std::size_t(3));
        const auto again = view.getActiveStreams();
        QCOMPARE(again.front().get(), first.front().get());
        QCOMPARE(m_service->requestCount("/getppv.php"), 1);
        m_service->setPpvMovies({movie(9, "New")});
        view.reload();
        QCOMPARE(ids(view.getActiveStreams()), QList<int>{9});
        QCOMPARE(m_service->requestCount("/getppv.php"), 2);
        QCOMPARE(ids(view.getActiveStreams()), QList<int>{9});
        QCOMPARE(m_service->requestCount("/getppv.php"), 2);
    }

    void searchByName()
    {
        m_service->setPpvMovies({movie(1, "Rock Movie"), movie(2, "Drama Queen"), movie(3, "Jazz")});
        PPVView view;
        view.reload();
        view.searchForString("drama"); // every category is "Drama": names only
        QCOMPARE(ids(view.getActiveStreams()), QList<int>{2});
        view.searchForString("");
        QCOMPARE(ids(view.getActiveStreams()), (QList<int>{2, 3, 1}));
        view.selectSorter(StreamsView::SORT_NAME, false);
        QCOMPARE(ids(view.getActiveStreams()), (QList<int>{1, 3, 2}));
    }

    void failureKeepsList_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::newRow("not well-formed") << QByteArray("<PPVResponse><PPV><Catalog></PPV>") << 0;
        QTest::newRow("no PPV element") << QByteArray("<error>database down</error>") << 0;
        QTest::newRow("html page") << QByteArray("<html><body>Server error<br></body></html>") << 0;
        QTest::newRow("empty body") << QByteArray("") << 0;
        QTest::newRow("server error") << QByteArray() << 500;
        QTest::newRow("not found") << QByteArray() << 404;
    }
    void failureKeepsList()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        PPVView view;
        view.reload();
        QCOMPARE(ids(view.getActiveStreams()), (QList<int>{1, 2, 3}));
        if (status)
            m_service->setStatus("/getppv.php", status);
        else
            m_service->setReply("/getppv.php", body);
        // Not reported: no output, no failure; the list of the last good
        // document stays.
        QTest::failOnWarning(QRegularExpression(".*"));
        QCOMPARE(ids(*view.reload()), (QList<int>{3, 1, 2}));
        QCOMPARE(ids(view.getActiveStreams()), (QList<int>{1, 2, 3}));
        QCOMPARE(m_service->requestCount("/getppv.php"), 2);

        // Without any good document the view stays empty, and every reload
        // tries again.
        PPVView fresh;
        QVERIFY(!fresh.reload());
        QVERIFY(fresh.getActiveStreams().empty());
        QVERIFY(!fresh.reload());
        QVERIFY(fresh.getActiveStreams().empty());
        QVERIFY(!fresh.getAllStreams());
        QCOMPARE(m_service->requestCount("/getppv.php"), 4);
        m_service->clearSwitches();
        fresh.reload();
        QCOMPARE(ids(fresh.getActiveStreams()), (QList<int>{1, 2, 3}));
    }

    void fetcherFailures_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("key");
        QTest::newRow("not well-formed") << QByteArray("<a><b></a>") << 0 << "ParseError";
        QTest::newRow("no PPV element") << QByteArray("<PPVResponse/>") << 0 << "ParseError";
        QTest::newRow("server error") << QByteArray() << 503 << "ConnectError";
    }
    void fetcherFailures()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, key);
        PPVFetcher fetcher;
        QVERIFY(!fetcher.getStreamList().has_value());
        fetcher.openURL(Options::getPpvUrlFetch());
        if (status)
            m_service->setStatus("/getppv.php", status);
        else
            m_service->setReply("/getppv.php", body);
        try {
            fetcher.openURL(Options::getPpvUrlFetch());
            QFAIL("no failure");
        } catch (const TulException &e) {
            QCOMPARE(e.getMsg(), LangMsg::getMsg(key));
        }
        QCOMPARE(fetcher.getStreamList()->size(), std::size_t(3));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not valid"));
        fetcher.openURL("no address");
        QCOMPARE(fetcher.getStreamList()->size(), std::size_t(3));
    }

    void incompleteDocument()
    {
        m_service->setPpvDocument(ppvXml(entryXml("x", "false", "Bad id") + entryXml("", "false", "No id")
                                             + entryXml("4", "false", "Odd numbers", "fast", "long")
                                             + "<Entry id=\" 5 \"><Category>Only</Category></Entry>"
                                             + entryXml("-6", "false", "Negative id"),
                                         purchased("4", "-1") + "<Purchased videoid=\"5\"/>" + purchased("-6", "77")));
        PPVView view;
        const auto rows = view.reload();
        QCOMPARE(view.getAllStreams().get(), rows.get());
        QCOMPARE(ids(*rows), (QList<int>{4, 5, -6}));
        const auto odd = std::static_pointer_cast<PPVStreamInfo>(rows->at(0));
        QCOMPARE(odd->getBitrate(), 0);
        QCOMPARE(odd->getLengthInt(), 0);
        QCOMPARE(odd->getTimeLeftInt(), 0);
        const auto only = std::static_pointer_cast<PPVStreamInfo>(rows->at(1));
        QCOMPARE(only->getName(), "");
        QCOMPARE(only->getCategory(), "Only");
        QVERIFY(!only->getAdult());
        QCOMPARE(std::static_pointer_cast<PPVStreamInfo>(rows->at(2))->getTimeLeftInt(), 77);

        m_service->setPpvDocument("<r><PPV><Inventory>" + purchased("1", "5") + "</Inventory></PPV></r>");
        view.reload();
        QVERIFY(view.getActiveStreams().empty());
        QVERIFY(view.getAllStreams());
        m_service->setPpvDocument("<r><PPV><Catalog>" + entryXml("8", "false", "Eight") + "</Catalog></PPV></r>");
        view.reload();
        QCOMPARE(ids(view.getActiveStreams()), QList<int>{8});
    }

    void requestDuringDownload()
    {
        HeldServer server("/getppv.php", ppvXml(entryXml("1", "false", "Only"), QByteArray()), 2);
        qputenv("QUORVANTEL_CATALOGUE_HOST", QByteArray("127.0.0.1:") + QByteArray::number(server.port()));
        PPVView view;
        view.reload(); // answered at once
        const auto first = view.getActiveStreams();
        std::vector<StreamInfoPtr> workerRows;
        std::thread worker([&] {
            view.reload();
            workerRows = view.getActiveStreams();
        });
        const bool arrived = server.waitForRequests(2);
        // The download runs: another thread is not held up and gets the list
        // held until then.
        const auto during = view.getActiveStreams();
        server.release();
        worker.join();
        qputenv("QUORVANTEL_CATALOGUE_HOST", m_service->hostPort().toUtf8());
        QVERIFY(arrived);
        QCOMPARE(ids(first), QList<int>{1});
        QCOMPARE(ids(during), QList<int>{1});
        QCOMPARE(during.front().get(), first.front().get());
        QCOMPARE(ids(workerRows), QList<int>{1});
        QVERIFY(workerRows.front().get() != first.front().get());
    }

    void requestsNeverDownload()
    {
        PPVView view;
        // Nothing loaded yet: no rows, and no request reaches the server.
        QVERIFY(view.getActiveStreams().empty());
        QVERIFY(!view.getAllStreams());
        view.searchForString("a");
        QVERIFY(view.getActiveStreams().empty());
        QCOMPARE(m_service->requestCount("/getppv.php"), 0);

        // reload downloads and publishes; requests give its records.
        view.searchForString(QString());
        const auto loaded = view.reload();
        QVERIFY(loaded);
        QCOMPARE(ids(*loaded), (QList<int>{3, 1, 2})); // catalogue order
        QCOMPARE(m_service->requestCount("/getppv.php"), 1);
        auto rows = view.getActiveStreams();
        QCOMPARE(ids(rows), (QList<int>{1, 2, 3}));
        QCOMPARE(rows.front().get(), loaded->at(1).get());

        // A changed catalogue on the server: the held list stays, the next
        // request does not download.
        m_service->setPpvMovies({movie(9, "New")});
        rows = view.getActiveStreams();
        QCOMPARE(ids(rows), (QList<int>{1, 2, 3}));
        QCOMPARE(rows.front().get(), loaded->at(1).get());
        QCOMPARE(view.getAllStreams().get(), loaded.get());
        QCOMPARE(m_service->requestCount("/getppv.php"), 1);

        // Only reload brings the new catalogue, with the adult switch set
        // since.
        m_service->setPpvMovies({movie(9, "New"), movie(8, "Adult", true)});
        view.setAdultVisible(true);
        QCOMPARE(ids(*view.reload()), (QList<int>{9, 8}));
        QCOMPARE(ids(view.getActiveStreams()), (QList<int>{8, 9}));
        QCOMPARE(m_service->requestCount("/getppv.php"), 2);
    }

    void failedReload_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::newRow("server error") << QByteArray() << 500;
        QTest::newRow("not well-formed") << QByteArray("<PPVResponse><PPV>") << 0;
    }
    void failedReload()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        auto fail = [&] {
            if (status)
                m_service->setStatus("/getppv.php", status);
            else
                m_service->setReply("/getppv.php", body);
        };
        fail();
        PPVView view;
        QTest::failOnWarning(QRegularExpression(".*"));
        QVERIFY(!view.reload());
        QCOMPARE(m_service->requestCount("/getppv.php"), 1);
        // No download ever succeeded: still the requests do not try again.
        for (const char *text : {"", "G", "Ga", "Gam"}) {
            view.searchForString(text);
            QVERIFY(view.getActiveStreams().empty());
        }
        QCOMPARE(m_service->requestCount("/getppv.php"), 1);

        m_service->clearSwitches();
        view.searchForString(QString());
        QVERIFY(view.getActiveStreams().empty());
        QCOMPARE(m_service->requestCount("/getppv.php"), 1);
        QCOMPARE(ids(*view.reload()), (QList<int>{3, 1, 2}));
        QCOMPARE(ids(view.getActiveStreams()), (QList<int>{1, 2, 3}));

        // A later failure keeps the list of the last good document.
        fail();
        QCOMPARE(ids(*view.reload()), (QList<int>{3, 1, 2}));
        QCOMPARE(ids(view.getActiveStreams()), (QList<int>{1, 2, 3}));
        QCOMPARE(m_service->requestCount("/getppv.php"), 3);
    }

    void reloadAfterRunningDownload()
    {
        HeldServer server("/getppv.php", ppvXml(entryXml("1", "false", "Only"), QByteArray()), 2);
        qputenv("QUORVANTEL_CATALOGUE_HOST", QByteArray("127.0.0.1:") + QByteArray::number(server.port()));
        PPVView view;
        view.reload();
        std::thread requester([&] { view.reload(); });
        const bool arrived = server.waitForRequests(2);
        // A reload while another reload's download runs does not take that
        // download's list for its own: it downloads once that one is done.
        std::shared_ptr<const StreamList> reloaded;
        std::thread reloader([&] { reloaded = view.reload(); });
        // Gives it time to arrive while the download still runs (the outcome
        // is the same if it comes later).
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        server.release();
        requester.join();
        reloader.join();
        qputenv("QUORVANTEL_CATALOGUE_HOST", m_service->hostPort().toUtf8());
        QVERIFY(arrived);
        QCOMPARE(server.requests(), 3);
        QVERIFY(reloaded);
        QCOMPARE(ids(*reloaded), QList<int>{1});
        QCOMPARE(view.getAllStreams().get(), reloaded.get());
    }
};

QTEST_GUILESS_MAIN(TestPpv)
#include "tst_ppv.moc"
