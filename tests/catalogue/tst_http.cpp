#include "catalogue/Http.h"

#include "service/ReferenceService.h"
#include "tests/SlowServer.h"
#include "tests/catalogue/CatalogueTestSupport.h"

#include <QtTest>

#include <httplib.h>

#include <atomic>
#include <future>
#include <stop_token>
#include <thread>

Q_DECLARE_METATYPE(RefService::Encoding)
Q_DECLARE_METATYPE(Http::HttpError::Kind)
Q_DECLARE_METATYPE(SlowServer::Mode)

namespace {

// A small server for answers the reference service does not give
// (redirects, broken or chunked bodies).
class LocalServer
{
public:
    httplib::Server server;

    bool start()
    {
        m_port = server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0)
            return false;
        m_thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running())
            std::this_thread::yield();
        return true;
    }
    ~LocalServer()
    {
        server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }
    QString url(const char *path) const { return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(QLatin1String(path)); }

private:
    int m_port = 0;
    std::thread m_thread;
};

QByteArray sampleDocument(int size)
{
    QByteArray text = "<?xml version=\"1.0\"?><Root>";
    int i = 0;
    while (text.size() < size - 7)
        text += "<a n=\"" + QByteArray::number(i++) + "\"/>";
    text = text.left(size - 7);
    text += "</Root>";
    return text;
}

Http::Request decoding()
{
    Http::Request request;
    request.decode = true;
    return request;
}

Http::HttpError::Kind failureKind(const QString &url, const Http::Request &request)
{
    try {
        Http::get(url, request);
    } catch (const Http::HttpError &e) {
        return e.kind();
    }
    return Http::HttpError::Kind(-1);
}

} // namespace

class TestHttp : public QObject
{
    Q_OBJECT

    std::unique_ptr<ReferenceService> service;
    LocalServer local;
    QByteArray document = sampleDocument(20000);

private slots:
    void initTestCase()
    {
        service = quietService();
        QVERIFY(service->start());

        local.server.Get("/to-http", [this](const httplib::Request &, httplib::Response &res) {
            res.set_redirect((service->baseUrl() + QStringLiteral("/getstreams.php")).toStdString());
        });
        local.server.Get("/to-ftp", [](const httplib::Request &, httplib::Response &res) {
            res.set_redirect("ftp://127.0.0.1/data.xml");
        });
        local.server.Get("/to-file", [](const httplib::Request &, httplib::Response &res) {
            res.set_redirect("file:///etc/hostname");
        });
        local.server.Get("/loop", [](const httplib::Request &, httplib::Response &res) { res.set_redirect("/loop"); });
        const QByteArray doc = document;
        local.server.Get("/truncated-gzip", [doc](const httplib::Request &, httplib::Response &res) {
            const QByteArray gz = RefService::gzipCompress(doc);
            res.set_header("Content-Encoding", "gzip");
            res.set_content(std::string(gz.constData(), size_t(gz.size() - 12)), "application/octet-stream");
        });
        local.server.Get("/two-members", [doc](const httplib::Request &, httplib::Response &res) {
            const QByteArray gz = RefService::gzipCompress(doc.left(5000)) + RefService::gzipCompress(doc.mid(5000));
            res.set_header("Content-Encoding", "gzip");
            res.set_content(std::string(gz.constData(), size_t(gz.size())), "application/octet-stream");
        });
        local.server.Get("/chunked", [doc](const httplib::Request &, httplib::Response &res) {
            res.set_chunked_content_provider("application/octet-stream", [doc](size_t offset, httplib::DataSink &sink) {
                if (offset >= size_t(doc.size())) {
                    sink.done();
                    return true;
                }
                const size_t n = std::min<size_t>(1000, size_t(doc.size()) - offset);
                sink.write(doc.constData() + offset, n);
                return true;
            });
        });
        local.server.Get("/empty-gzip", [](const httplib::Request &, httplib::Response &res) {
            res.set_header("Content-Encoding", "gzip");
            res.set_content("", "application/octet-stream");
        });
        QVERIFY(local.start());
    }

    void cleanupTestCase() { service.reset(); }

    void init()
    {
        service->clearSwitches();
        service->clearRequests();
        service->setCatalogue(document);
        service->setCatalogueEncoding(RefService::Encoding::Plain);
    }

    void decodingDownload_data()
    {
        QTest::addColumn<RefService::Encoding>("encoding");
        QTest::addColumn<QString>("announced");
        QTest::newRow("plain") << RefService::Encoding::Plain << QString();
        QTest::newRow("gzip") << RefService::Encoding::Gzip << QStringLiteral("gzip");
        QTest::newRow("GZIP in capitals") << RefService::Encoding::GzipUpper << QStringLiteral("GZIP");
        QTest::newRow("raw deflate") << RefService::Encoding::Deflate << QStringLiteral("deflate");
        QTest::newRow("zlib deflate") << RefService::Encoding::ZlibDeflate << QStringLiteral("deflate");
        QTest::newRow("br left unchanged") << RefService::Encoding::Unknown << QStringLiteral("br");
    }
    void decodingDownload()
    {
        QFETCH(RefService::Encoding, encoding);
        QFETCH(QString, announced);
        service->setCatalogueEncoding(encoding);
        Http::Request request;
        request.decode = true;
        const Http::Response response = Http::get(service->baseUrl() + "/getstreams.php", request);
        QCOMPARE(response.status, 200L);
        QCOMPARE(response.contentEncoding, announced);
        QCOMPARE(response.body, document);
        QCOMPARE(Http::decodingDownload(service->baseUrl() + "/getstreams.php"), document);
        const auto logged = service->requests("/getstreams.php");
        QCOMPARE(int(logged.size()), 2);
        QCOMPARE(logged[0].headers.value("accept-encoding"), QStringLiteral("gzip, deflate"));
    }

    void plainGetSendsNoAcceptEncoding()
    {
        service->setCatalogueEncoding(RefService::Encoding::Gzip);
        // Nothing accepted: the service sends the document plain.
        QCOMPARE(Http::getBody(service->baseUrl() + "/getstreams.php"), document);
        const auto logged = service->requests("/getstreams.php");
        QCOMPARE(int(logged.size()), 1);
        QVERIFY(!logged[0].headers.contains("accept-encoding"));
    }

    void bogusGzipIsDecodeError()
    {
        service->setCatalogueEncoding(RefService::Encoding::BogusGzip);
        QCOMPARE(failureKind(service->baseUrl() + "/getstreams.php", decoding()),
                 Http::HttpError::Kind::Decode);
        // Without decoding the bytes come as they are.
        QCOMPARE(Http::getBody(service->baseUrl() + "/getstreams.php"), document);
    }

    void brokenCompressedBodies_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("gzip cut short") << QStringLiteral("/truncated-gzip");
        QTest::newRow("empty gzip body") << QStringLiteral("/empty-gzip");
    }
    void brokenCompressedBodies()
    {
        QFETCH(QString, path);
        QCOMPARE(failureKind(local.url(path.toLatin1().constData()), decoding()),
                 Http::HttpError::Kind::Decode);
    }

    void gzipMembersAreJoined()
    {
        QCOMPARE(Http::decodingDownload(local.url("/two-members")), document);
    }

    void errorStatus_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("400") << 400;
        QTest::newRow("403") << 403;
        QTest::newRow("404") << 404;
        QTest::newRow("500") << 500;
        QTest::newRow("503") << 503;
    }
    void errorStatus()
    {
        QFETCH(int, status);
        service->setStatus("/getstreams.php", status);
        try {
            Http::get(service->baseUrl() + "/getstreams.php");
            QFAIL("no error");
        } catch (const Http::HttpError &e) {
            QCOMPARE(e.kind(), Http::HttpError::Kind::Status);
            QCOMPARE(e.status(), long(status));
        }
    }

    void redirects_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("followed");
        QTest::newRow("to http") << QStringLiteral("/to-http") << true;
        QTest::newRow("to ftp refused") << QStringLiteral("/to-ftp") << false;
        QTest::newRow("to file refused") << QStringLiteral("/to-file") << false;
        QTest::newRow("endless loop") << QStringLiteral("/loop") << false;
    }
    void redirects()
    {
        QFETCH(QString, path);
        QFETCH(bool, followed);
        const QString url = local.url(path.toLatin1().constData());
        if (followed) {
            QCOMPARE(Http::getBody(url), document);
        } else {
            QCOMPARE(failureKind(url, {}), Http::HttpError::Kind::Connect);
        }
    }

    void invalidUrl_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("empty") << QString();
        QTest::newRow("words") << QStringLiteral("not an address");
        QTest::newRow("ftp") << QStringLiteral("ftp://127.0.0.1/x");
        QTest::newRow("file") << QStringLiteral("file:///etc/hostname");
        QTest::newRow("no host") << QStringLiteral("http:///getstreams.php");
        QTest::newRow("scheme only") << QStringLiteral("http://");
        QTest::newRow("relative") << QStringLiteral("/getstreams.php");
        QTest::newRow("blank before") << QStringLiteral(" http://127.0.0.1/");
    }
    void invalidUrl()
    {
        QFETCH(QString, url);
        QVERIFY(!Http::isValidUrl(url));
        QCOMPARE(failureKind(url, {}), Http::HttpError::Kind::InvalidUrl);
        QCOMPARE(int(service->requests().size()), 0);
    }

    void validUrl_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("http with port") << QStringLiteral("http://127.0.0.1:8080/a?b=c&d=e");
        QTest::newRow("https capitals") << QStringLiteral("HTTPS://example.org/");
        QTest::newRow("blank in query") << QStringLiteral("http://example.org/getstreams.php?lang= en ");
    }
    void validUrl()
    {
        QFETCH(QString, url);
        QVERIFY(Http::isValidUrl(url));
    }

    void blanksInQueryAreSent()
    {
        service->setReply("/echo", "OK");
        QCOMPARE(Http::getBody(service->baseUrl() + "/echo?lang= en &serial=a&b"), QByteArray("OK"));
        const auto logged = service->requests("/echo");
        QCOMPARE(int(logged.size()), 1);
        QCOMPARE(logged[0].query, QByteArray("lang=%20en%20&serial=a&b"));
    }

    void sizeLimit_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<RefService::Encoding>("encoding");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<bool>("fits");
        const qint64 size = 20000;
        QTest::newRow("plain at the limit") << "service" << RefService::Encoding::Plain << size << true;
        QTest::newRow("plain one over") << "service" << RefService::Encoding::Plain << size - 1 << false;
        QTest::newRow("gzip at the limit") << "service" << RefService::Encoding::Gzip << size << true;
        QTest::newRow("gzip decoded one over") << "service" << RefService::Encoding::Gzip << size - 1 << false;
        QTest::newRow("deflate decoded over") << "service" << RefService::Encoding::Deflate << size / 2 << false;
        QTest::newRow("chunked at the limit") << "chunked" << RefService::Encoding::Plain << size << true;
        QTest::newRow("chunked over, no length") << "chunked" << RefService::Encoding::Plain << size - 1 << false;
    }
    void sizeLimit()
    {
        QFETCH(QString, source);
        QFETCH(RefService::Encoding, encoding);
        QFETCH(qint64, limit);
        QFETCH(bool, fits);
        service->setCatalogueEncoding(encoding);
        const QString url = source == "chunked" ? local.url("/chunked") : service->baseUrl() + "/getstreams.php";
        Http::Request request;
        request.decode = true;
        request.maxBytes = limit;
        if (fits)
            QCOMPARE(Http::get(url, request).body, document);
        else
            QCOMPARE(failureKind(url, request), Http::HttpError::Kind::TooLarge);
    }

    void stallEndsInError()
    {
        service->setDelay("/cacheversion.txt", 60000);
        Http::Request request;
        request.stallTimeoutMs = 200;
        QCOMPARE(failureKind(service->baseUrl() + "/cacheversion.txt", request), Http::HttpError::Kind::Connect);
    }

    // No slow server holds a transfer open: the rate bound ends a trickle
    // whatever its pace between single bytes, the overall limit ends one
    // that is never answered, and a whole answer within the bounds passes.
    void slowServersEnd_data()
    {
        QTest::addColumn<SlowServer::Mode>("mode");
        QTest::addColumn<int>("trickleMs");
        QTest::addColumn<int>("totalTimeoutMs");
        QTest::addColumn<bool>("succeeds");
        using M = SlowServer::Mode;
        QTest::newRow("whole answer") << M::Whole << 0 << 0 << true;
        QTest::newRow("trickle below the rate") << M::Trickle << 50 << 0 << false;
        QTest::newRow("trickle, a byte at a time") << M::Trickle << 20 << 0 << false;
        QTest::newRow("stall after the first bytes") << M::Stall << 0 << 0 << false;
        QTest::newRow("no answer, overall limit") << M::Silent << 0 << 600 << false;
        QTest::newRow("trickle, overall limit") << M::Trickle << 100 << 600 << false;
    }
    void slowServersEnd()
    {
        QFETCH(SlowServer::Mode, mode);
        QFETCH(int, trickleMs);
        QFETCH(int, totalTimeoutMs);
        QFETCH(bool, succeeds);
        std::future<Http::HttpError::Kind> outcome; // ends after the server
        SlowServer server;
        QVERIFY(server.start());
        SlowServer::Route route;
        route.mode = mode;
        route.body = document.left(4000);
        route.trickleBytes = 1;
        route.trickleMs = trickleMs;
        server.setRoute(QStringLiteral("/slow"), route);
        Http::Request request;
        // At least 200 bytes in every 400 ms; the tests trickle 1 byte every
        // 20 to 100 ms.
        request.minRateBytes = 200;
        request.rateWindowMs = 400;
        request.stallTimeoutMs = mode == SlowServer::Mode::Stall ? 500 : 30000;
        request.totalTimeoutMs = totalTimeoutMs;
        if (totalTimeoutMs > 0)
            request.rateWindowMs = 0; // the overall limit alone
        const QString url = server.url(QStringLiteral("/slow"));
        outcome = std::async(std::launch::async, [url, request] { return failureKind(url, request); });
        QTRY_VERIFY_WITH_TIMEOUT(outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 20000);
        QCOMPARE(outcome.get(), succeeds ? Http::HttpError::Kind(-1) : Http::HttpError::Kind::Connect);
    }

    // A stop request ends a transfer that the server holds, and one whose
    // stop came before it makes no request at all.
    void stopEndsTransfer_data()
    {
        QTest::addColumn<SlowServer::Mode>("mode");
        QTest::newRow("no answer") << SlowServer::Mode::Silent;
        QTest::newRow("stalled") << SlowServer::Mode::Stall;
        QTest::newRow("trickling") << SlowServer::Mode::Trickle;
    }
    void stopEndsTransfer()
    {
        QFETCH(SlowServer::Mode, mode);
        std::future<Http::HttpError::Kind> outcome;
        SlowServer server;
        QVERIFY(server.start());
        SlowServer::Route route;
        route.mode = mode;
        route.body = document;
        route.trickleMs = 300;
        server.setRoute(QStringLiteral("/held"), route);
        const QString url = server.url(QStringLiteral("/held"));
        std::stop_source stop;
        Http::Request request;
        request.stop = stop.get_token();
        outcome = std::async(std::launch::async, [url, request] { return failureKind(url, request); });
        QVERIFY(server.waitForRequests(QStringLiteral("/held"), 1));
        stop.request_stop();
        QTRY_VERIFY_WITH_TIMEOUT(outcome.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 10000);
        QCOMPARE(outcome.get(), Http::HttpError::Kind::Connect);

        // Stopped before it began: nothing is sent.
        QCOMPARE(failureKind(url, request), Http::HttpError::Kind::Connect);
        QCOMPARE(server.requests(QStringLiteral("/held")), 1);
    }

    void closedPortIsConnectError()
    {
        const QString url = QStringLiteral("http://127.0.0.1:%1/cacheversion.txt").arg(closedPort());
        QCOMPARE(failureKind(url, {}), Http::HttpError::Kind::Connect);
    }

    void progressReportsAndCancels()
    {
        std::vector<std::pair<qint64, qint64>> calls;
        Http::Request request;
        request.progress = [&calls](qint64 received, qint64 total) {
            calls.emplace_back(received, total);
            return true;
        };
        QCOMPARE(Http::get(service->baseUrl() + "/getstreams.php", request).body, document);
        QVERIFY(!calls.empty());
        QCOMPARE(calls.back().first, qint64(document.size()));
        QCOMPARE(calls.back().second, qint64(document.size()));

        request.progress = [](qint64, qint64) { return false; };
        QCOMPARE(failureKind(service->baseUrl() + "/getstreams.php", request), Http::HttpError::Kind::Connect);
    }

    void decodeBodyInPieces_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("coding");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray doc = sampleDocument(70000);
        // A raw deflate stream whose first two bytes also pass as a zlib
        // header (a stored block of one byte, then an empty final one).
        const QByteArray lookalike("\x78\x01\x00\xfe\xff" "A" "\x01\x00\x00\xff\xff", 11);
        QTest::newRow("gzip") << RefService::gzipCompress(doc) << "gzip" << doc;
        QTest::newRow("Gzip, two members") << RefService::gzipCompress(doc.left(100)) + RefService::gzipCompress(doc.mid(100))
                                          << "Gzip" << doc;
        QTest::newRow("raw deflate") << RefService::rawDeflate(doc) << "deflate" << doc;
        QTest::newRow("zlib deflate") << RefService::zlibDeflate(doc) << "DEFLATE" << doc;
        QTest::newRow("zlib-looking raw deflate") << lookalike << "deflate" << QByteArray("A");
        QTest::newRow("identity") << doc << "identity" << doc;
        QTest::newRow("none") << doc << QString() << doc;
        QTest::newRow("empty deflate") << RefService::rawDeflate(QByteArray()) << "deflate" << QByteArray();
    }
    void decodeBodyInPieces()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, coding);
        QFETCH(QByteArray, expected);
        for (const qsizetype piece : {qsizetype(0), qsizetype(1), qsizetype(2), qsizetype(7), qsizetype(4096)})
            QCOMPARE(Http::decodeBody(body, coding, 1 << 20, piece), expected);
    }

    void decodeBodyFailures_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("coding");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<Http::HttpError::Kind>("kind");
        const QByteArray doc = sampleDocument(5000);
        const QByteArray gz = RefService::gzipCompress(doc);
        QTest::newRow("plain text as gzip") << doc << "gzip" << qint64(1 << 20) << Http::HttpError::Kind::Decode;
        QTest::newRow("gzip cut short") << gz.left(gz.size() - 3) << "gzip" << qint64(1 << 20)
                                        << Http::HttpError::Kind::Decode;
        QTest::newRow("deflate garbage") << QByteArray("\xff\xff\xff\xff") << "deflate" << qint64(1 << 20)
                                         << Http::HttpError::Kind::Decode;
        QTest::newRow("gzip over the limit") << gz << "gzip" << qint64(doc.size() - 1) << Http::HttpError::Kind::TooLarge;
        QTest::newRow("plain over the limit") << doc << "" << qint64(doc.size() - 1) << Http::HttpError::Kind::TooLarge;
    }
    void decodeBodyFailures()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, coding);
        QFETCH(qint64, limit);
        QFETCH(Http::HttpError::Kind, kind);
        for (const qsizetype piece : {qsizetype(0), qsizetype(1), qsizetype(3)}) {
            try {
                Http::decodeBody(body, coding, limit, piece);
                QFAIL("no error");
            } catch (const Http::HttpError &e) {
                QCOMPARE(e.kind(), kind);
            }
        }
    }

    void usableFromManyThreads()
    {
        service->setCatalogueEncoding(RefService::Encoding::Gzip);
        std::atomic<int> good{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 6; ++t)
            threads.emplace_back([&] {
                for (int i = 0; i < 5; ++i)
                    if (Http::decodingDownload(service->baseUrl() + "/getstreams.php") == document)
                        ++good;
            });
        for (auto &thread : threads)
            thread.join();
        QCOMPARE(good.load(), 30);
    }
};

QTEST_GUILESS_MAIN(TestHttp)
#include "tst_http.moc"
