#include "catalogue/IcecastFetcher.h"
#include "catalogue/IcecastView.h"
#include "catalogue/LangMsg.h"
#include "catalogue/TulException.h"
#include "service/ReferenceService.h"
#include "tests/catalogue/CatalogueTestSupport.h"

#include <QRegularExpression>
#include <QtTest>

#include <thread>

namespace {
QByteArray directory(const QByteArray &entries)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<directory>\n" + entries + "</directory>\n";
}

QByteArray entryXml(const QByteArray &name, const QByteArray &genre, const QByteArray &bitrate, const QByteArray &url)
{
    return "<entry><server_name>" + name + "</server_name><genre>" + genre + "</genre><bitrate>" + bitrate
        + "</bitrate><listen_url>" + url + "</listen_url><server_type>audio/mpeg</server_type></entry>\n";
}

QStringList names(const std::vector<StreamInfoPtr> &rows)
{
    QStringList out;
    for (const auto &s : rows)
        out.append(s->getName());
    return out;
}

} // namespace

class TestIcecast : public QObject
{
    Q_OBJECT

    std::unique_ptr<ReferenceService> m_service;

    void serve(const QByteArray &xml)
    {
        m_service->clearSwitches();
        m_service->clearRequests();
        m_service->setDirectory(xml);
    }

private slots:
    void initTestCase()
    {
        m_service = quietService();
        QVERIFY(m_service->start());
        qputenv("QUORVANTEL_ICECAST_HOST", m_service->hostPort().toUtf8());
    }
    void cleanupTestCase() { m_service.reset(); }

    void address() { QCOMPARE(IcecastFetcher::directoryUrl(), "http://" + m_service->hostPort() + "/yp.xml"); }

    void bitrate_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("1000 stays") << QByteArray("1000") << 1000;
        QTest::newRow("1001 gives 0") << QByteArray("1001") << 0;
        QTest::newRow("letter gives 0") << QByteArray("12a") << 0;
        QTest::newRow("words give 0") << QByteArray("Quality 6") << 0;
        QTest::newRow("negative stays") << QByteArray("-5") << -5;
        QTest::newRow("plus sign") << QByteArray("+128") << 128;
        QTest::newRow("blanks trimmed") << QByteArray("  128\n") << 128;
        QTest::newRow("decimal point gives 0") << QByteArray("128.5") << 0;
        QTest::newRow("empty gives 0") << QByteArray("") << 0;
        QTest::newRow("sign only gives 0") << QByteArray("-") << 0;
        QTest::newRow("smallest 32-bit stays") << QByteArray("-2147483648") << INT_MIN;
        QTest::newRow("below 32 bits gives 0") << QByteArray("-2147483649") << 0;
        QTest::newRow("beyond 32 bits gives 0") << QByteArray("4294967424") << 0;
        QTest::newRow("huge gives 0") << QByteArray("99999999999999999999999999") << 0;
    }
    void bitrate()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, expected);
        serve(directory(entryXml("Radio", "Pop", text, "http://127.0.0.1/a")));
        IcecastFetcher fetcher;
        fetcher.openDatabase();
        const auto list = fetcher.getStreamList();
        QVERIFY(list.has_value());
        QCOMPARE(list->size(), std::size_t(1));
        QCOMPARE(list->front()->getBitrate(), expected);
    }

    void records()
    {
        serve(directory(entryXml("  Caf&#xE9; &amp; Jazz &#x1F3B5;\t", "<![CDATA[Jazz & Blues]]>", "128",
                                 " http://127.0.0.1/jazz.mp3 ")
                        + entryXml("", "", "", "http://127.0.0.1/empty")));
        m_service->setDirectoryEncoding(RefService::Encoding::Gzip);
        IcecastFetcher fetcher;
        QVERIFY(!fetcher.getStreamList().has_value());
        fetcher.openDatabase();
        const auto list = fetcher.getStreamList();
        QVERIFY(list.has_value());
        QCOMPARE(list->size(), std::size_t(2));
        const StreamInfo &s = *list->front();
        QCOMPARE(s.getName(), QString::fromUtf8("Café & Jazz \xF0\x9F\x8E\xB5"));
        QCOMPARE(s.getCategory(), "Jazz & Blues");
        QCOMPARE(s.getBitrate(), 128);
        QCOMPARE(s.getUrl(), "http://127.0.0.1/jazz.mp3");
        QCOMPARE(s.getFormat(), "Icecast");
        QCOMPARE(s.getId(), 0);
        QVERIFY(s.getType().isNull() && s.getLanguage().isNull() && s.getCountry().isNull());
        QVERIFY(!s.getLive() && !s.getAdult() && !s.getTopStream());
        QCOMPARE(list->at(1)->getName(), "");
        // Each call builds new records.
        QVERIFY(fetcher.getStreamList()->front().get() != list->front().get());
        QCOMPARE(m_service->requests("/yp.xml").front().headers.value("accept-encoding"), "gzip, deflate");
    }

    void missingChildren()
    {
        serve(directory("<entry><genre>Rock</genre><bitrate>64</bitrate><listen_url>http://127.0.0.1/1</listen_url></entry>"
                        "<entry><server_name>No genre</server_name><listen_url>http://127.0.0.1/2</listen_url></entry>"
                        "<entry><server_name>No address</server_name><genre>Pop</genre></entry>"
                        "<entry/><other><server_name>Not an entry</server_name></other>"
                        + entryXml("Last", "Pop", "32", "http://127.0.0.1/3")));
        IcecastFetcher fetcher;
        fetcher.openDatabase();
        const auto list = fetcher.getStreamList();
        QCOMPARE(names(*list), (QStringList{"", "No genre", "Last"}));
        QCOMPARE(list->at(0)->getCategory(), "Rock");
        QCOMPARE(list->at(1)->getCategory(), "");
        QCOMPARE(list->at(1)->getBitrate(), 0);
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("key");
        QTest::newRow("not well-formed") << QByteArray("<directory><entry></directory>") << 0 << "ParseError";
        QTest::newRow("cut short") << directory(entryXml("a", "b", "1", "u")).left(60) << 0 << "ParseError";
        QTest::newRow("empty body") << QByteArray("") << 0 << "ParseError";
        QTest::newRow("html page") << QByteArray("<html><body><p>Not found<br></body></html>") << 0 << "ParseError";
        QTest::newRow("two roots") << QByteArray("<a/><b/>") << 0 << "ParseError";
        QTest::newRow("binary") << QByteArray("\x1f\x8b\x08\x00garbage\xff\xfe", 13) << 0 << "ParseError";
        QTest::newRow("server error") << QByteArray() << 500 << "ConnectError";
        QTest::newRow("not found") << QByteArray() << 404 << "ConnectError";
    }
    void failures()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, key);
        // A good directory first: a failure keeps it.
        serve(directory(entryXml("Kept", "Pop", "1", "http://127.0.0.1/k")));
        IcecastFetcher fetcher;
        fetcher.openDatabase();
        if (status)
            m_service->setStatus("/yp.xml", status);
        else
            m_service->setReply("/yp.xml", body);
        try {
            fetcher.openDatabase();
            QFAIL("no failure");
        } catch (const TulException &e) {
            QCOMPARE(e.getMsg(), LangMsg::getMsg(key));
            QVERIFY(!e.getMessage().isEmpty());
        }
        QCOMPARE(names(*fetcher.getStreamList()), QStringList{"Kept"});

        // The view prints the failure and stays empty for the rest of the run.
        IcecastView view;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Icecast directory not loaded: " + LangMsg::getMsg(key)));
        QVERIFY(!view.load());
        QVERIFY(view.getActiveStreams().empty());
        m_service->clearSwitches();
        QVERIFY(!view.load());
        QVERIFY(view.getActiveStreams().empty());
        QVERIFY(!view.getAllStreams(false));
        QCOMPARE(m_service->requestCount("/yp.xml"), 3);
    }

    void unreachable()
    {
        qputenv("QUORVANTEL_ICECAST_HOST", "127.0.0.1:1");
        IcecastFetcher fetcher;
        try {
            fetcher.openDatabase();
            QFAIL("no failure");
        } catch (const TulException &e) {
            QCOMPARE(e.getMsg(), LangMsg::getMsg("ConnectError"));
        }
        qputenv("QUORVANTEL_ICECAST_HOST", m_service->hostPort().toUtf8());
        QVERIFY(!fetcher.getStreamList().has_value());
    }

    void invalidAddressIgnored()
    {
        serve(directory(entryXml("Kept", "Pop", "1", "http://127.0.0.1/k")));
        IcecastFetcher fetcher;
        fetcher.openDatabase();
        fetcher.openUrl("not a url at all");
        fetcher.openUrl("ftp://127.0.0.1/yp.xml");
        QCOMPARE(names(*fetcher.getStreamList()), QStringList{"Kept"});
    }

    void noExternalEntities()
    {
        QTemporaryDir dir;
        QFile secret(dir.filePath("secret.txt"));
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write("TOPSECRET");
        secret.close();
        const QByteArray url = QUrl::fromLocalFile(secret.fileName()).toEncoded();
        serve("<?xml version=\"1.0\"?>\n<!DOCTYPE directory [\n<!ENTITY ext SYSTEM \"" + url
              + "\">\n<!ENTITY big \"AAAAAAAAAA\">\n<!ENTITY bigger \"&big;&big;&big;&big;&big;&big;&big;&big;\">\n]>\n"
                "<directory><entry><server_name>x&ext;&bigger;y</server_name><genre>g</genre><bitrate>1</bitrate>"
                "<listen_url>http://127.0.0.1/e</listen_url></entry></directory>");
        IcecastFetcher fetcher;
        try {
            fetcher.openDatabase();
        } catch (const TulException &) {
            // Refusing the document is as good as not expanding it.
            return;
        }
        const auto list = fetcher.getStreamList();
        QVERIFY(list.has_value());
        for (const auto &s : *list) {
            QVERIFY(!s->getName().contains("TOPSECRET"));
            QVERIFY(!s->getName().contains("AAAAAAAAAA"));
        }
    }

    void largeDirectory()
    {
        // 20,000 entries, several megabytes: some without genre or bit rate,
        // some without an address, character references in names.
        QByteArray entries;
        int expected = 0;
        for (int i = 0; i < 20000; ++i) {
            QByteArray e = "<entry><server_name>Station &#" + QByteArray::number(0x400 + i % 200) + "; " + QByteArray::number(i)
                + " &lt;live&gt;</server_name>";
            if (i % 7 != 0)
                e += "<genre>Genre " + QByteArray::number(i % 50) + "</genre>";
            if (i % 5 != 0)
                e += "<bitrate>" + QByteArray::number(i % 1200) + "</bitrate>";
            if (i % 11 != 0) {
                e += "<listen_url>http://127.0.0.1:8000/stream" + QByteArray::number(i) + "</listen_url>";
                ++expected;
            }
            e += "<server_type>audio/mpeg</server_type><current_song>" + QByteArray(120, 'x') + "</current_song></entry>\n";
            entries += e;
        }
        const QByteArray doc = directory(entries);
        QVERIFY(doc.size() > 4 * 1024 * 1024);
        serve(doc);
        IcecastView view;
        QVERIFY(view.load());
        const auto rows = view.getActiveStreams();
        QCOMPARE(rows.size(), std::size_t(expected));
        const auto all = view.getAllStreams(false);
        QCOMPARE(all->at(0)->getName(), "Station " + QString(QChar(0x401)) + " 1 <live>");
        int previous = 0;
        for (const auto &s : *all) {
            const int i = s->getName().section(' ', 2, 2).toInt();
            QVERIFY(i > previous && i % 11 != 0); // document order, entries without address left out
            previous = i;
            QCOMPARE(s->getName(), "Station " + QString(QChar(0x400 + i % 200)) + ' ' + QString::number(i) + " <live>");
            QCOMPARE(s->getCategory(), i % 7 ? "Genre " + QString::number(i % 50) : QString(""));
            QCOMPARE(s->getBitrate(), i % 5 && i % 1200 <= 1000 ? i % 1200 : 0);
            QCOMPARE(s->getUrl(), "http://127.0.0.1:8000/stream" + QString::number(i));
        }
        const QString upperA(QChar(0x410)); // the upper case of U+0430
        view.searchForString(upperA);
        const auto found = view.getActiveStreams();
        const auto matching = std::count_if(all->begin(), all->end(),
                                            [&](const StreamInfoPtr &s) { return s->getName().toUpper().contains(upperA); });
        QVERIFY(matching > 0);
        QCOMPARE(qsizetype(found.size()), qsizetype(matching));
        for (const auto &s : found)
            QVERIFY(s->getName().contains(QChar(0x430)) || s->getName().contains(QChar(0x410)));
        QCOMPARE(m_service->requestCount("/yp.xml"), 1);
    }

    void viewSearchAndSort()
    {
        serve(directory(entryXml("Rock FM", "News", "128", "http://127.0.0.1/1")
                        + entryXml("Classic", "Rock", "64", "http://127.0.0.1/2")
                        + entryXml("hard rock", "Metal", "32", "http://127.0.0.1/3")
                        + entryXml("Alpha", "Pop", "256", "http://127.0.0.1/4")));
        IcecastView view;
        QVERIFY(view.load());
        QVERIFY(view.getCategories().empty() && view.getCountries().empty() && view.getLanguages().empty());
        QCOMPARE(names(view.getActiveStreams()), (QStringList{"Alpha", "Classic", "hard rock", "Rock FM"}));
        view.searchForString("ROCK"); // names only: not the genre of Classic
        QCOMPARE(names(view.getActiveStreams()), (QStringList{"hard rock", "Rock FM"}));
        view.selectSorter(StreamsView::SORT_NAME, false);
        QCOMPARE(names(view.getActiveStreams()), (QStringList{"Rock FM", "hard rock"}));
        view.searchForString(QString());
        // Every record has id 0 and no language or country: those columns
        // keep the directory's order.
        view.selectSorter(StreamsView::SORT_LANGUAGE, true);
        QCOMPARE(names(view.getActiveStreams()), (QStringList{"Rock FM", "Classic", "hard rock", "Alpha"}));
        view.selectSorter(StreamsView::SORT_COUNTRY, false);
        QCOMPARE(names(view.getActiveStreams()), (QStringList{"Alpha", "hard rock", "Classic", "Rock FM"}));
        view.selectSorter(StreamsView::SORT_BITRATE, true);
        QCOMPARE(names(view.getActiveStreams()), (QStringList{"hard rock", "Classic", "Rock FM", "Alpha"}));
        view.selectSorter(StreamsView::SORT_CATEGORY, true);
        QCOMPARE(names(view.getActiveStreams()), (QStringList{"hard rock", "Rock FM", "Alpha", "Classic"}));
        // The shared records, downloaded once.
        QCOMPARE(view.getActiveStreams().front().get(), view.getAllStreams(false)->at(2).get());
        QCOMPARE(m_service->requestCount("/yp.xml"), 1);
    }

    void requestDuringDownload()
    {
        HeldServer server("/yp.xml", directory(entryXml("Late", "Pop", "1", "http://127.0.0.1/l")));
        qputenv("QUORVANTEL_ICECAST_HOST", QByteArray("127.0.0.1:") + QByteArray::number(server.port()));
        IcecastView view;
        std::shared_ptr<const StreamList> loaded;
        std::vector<StreamInfoPtr> workerRows;
        std::thread worker([&] {
            loaded = view.load();
            workerRows = view.getActiveStreams();
        });
        const bool arrived = server.waitForRequests(1);
        // The download runs: a request is not held up and finds none.
        const auto early = view.getActiveStreams();
        server.release();
        worker.join();
        qputenv("QUORVANTEL_ICECAST_HOST", m_service->hostPort().toUtf8());
        QVERIFY(arrived);
        QVERIFY(early.empty());
        QVERIFY(loaded);
        QCOMPARE(names(*loaded), QStringList{"Late"});
        QCOMPARE(names(workerRows), QStringList{"Late"});
        QCOMPARE(names(view.getActiveStreams()), QStringList{"Late"});
    }

    void requestsNeverDownload()
    {
        serve(directory(entryXml("Rock FM", "News", "128", "http://127.0.0.1/1")
                        + entryXml("Alpha", "Pop", "256", "http://127.0.0.1/2")));
        IcecastView view;
        // Nothing loaded yet: no rows, and no request reaches the directory.
        QVERIFY(view.getActiveStreams().empty());
        view.searchForString("Rock");
        QVERIFY(view.getActiveStreams().empty());
        QVERIFY(!view.getAllStreams(false));
        QVERIFY(!view.getAllStreams(true));
        QCOMPARE(m_service->requestCount("/yp.xml"), 0);

        // load makes the run's one download; requests give its records.
        const auto loaded = view.load();
        QVERIFY(loaded);
        QCOMPARE(names(*loaded), (QStringList{"Rock FM", "Alpha"}));
        QCOMPARE(m_service->requestCount("/yp.xml"), 1);
        QCOMPARE(names(view.getActiveStreams()), QStringList{"Rock FM"});
        view.searchForString(QString());
        const auto rows = view.getActiveStreams();
        QCOMPARE(names(rows), (QStringList{"Alpha", "Rock FM"}));
        QCOMPARE(rows.front().get(), loaded->at(1).get());

        // Once per run: a second load gives the held list.
        serve(directory(entryXml("Other", "Pop", "1", "http://127.0.0.1/3")));
        QCOMPARE(view.load().get(), loaded.get());
        QCOMPARE(names(view.getActiveStreams()), (QStringList{"Alpha", "Rock FM"}));
        QCOMPARE(m_service->requestCount("/yp.xml"), 0);
    }

    void failedLoad_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("key");
        QTest::newRow("server error") << QByteArray() << 500 << "ConnectError";
        QTest::newRow("not well-formed") << QByteArray("<directory><entry>") << 0 << "ParseError";
    }
    void failedLoad()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, key);
        serve(directory(entryXml("Kept", "Pop", "1", "http://127.0.0.1/k")));
        if (status)
            m_service->setStatus("/yp.xml", status);
        else
            m_service->setReply("/yp.xml", body);
        IcecastView view;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Icecast directory not loaded: " + LangMsg::getMsg(key)));
        QVERIFY(!view.load());
        QCOMPARE(m_service->requestCount("/yp.xml"), 1);
        // The view stays empty and no request tries again, neither a table's
        // nor a later load.
        for (const char *text : {"", "K", "Ke"}) {
            view.searchForString(text);
            QVERIFY(view.getActiveStreams().empty());
        }
        m_service->clearSwitches();
        QVERIFY(!view.load());
        QVERIFY(view.getActiveStreams().empty());
        QCOMPARE(m_service->requestCount("/yp.xml"), 1);
    }

    void loadWaitsForRunningDownload()
    {
        HeldServer server("/yp.xml", directory(entryXml("Late", "Pop", "1", "http://127.0.0.1/l")));
        qputenv("QUORVANTEL_ICECAST_HOST", QByteArray("127.0.0.1:") + QByteArray::number(server.port()));
        IcecastView view;
        std::thread requester([&] { view.load(); });
        const bool arrived = server.waitForRequests(1);
        // The directory being downloaded by another load: load gives that
        // download's list, not the empty one held while it runs.
        std::shared_ptr<const StreamList> loaded;
        std::thread loader([&] { loaded = view.load(); });
        // Gives it time to arrive while the download still runs (the outcome
        // is the same if it comes later).
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        server.release();
        requester.join();
        loader.join();
        qputenv("QUORVANTEL_ICECAST_HOST", m_service->hostPort().toUtf8());
        QVERIFY(arrived);
        QVERIFY(loaded);
        QCOMPARE(names(*loaded), QStringList{"Late"});
        QCOMPARE(view.getAllStreams(false).get(), loaded.get());
    }
};

QTEST_GUILESS_MAIN(TestIcecast)
#include "tst_icecast.moc"
