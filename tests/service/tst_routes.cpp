// The route table and the switchboard of the reference service on their
// own, without listeners or connections.

#include "service/Routes.h"

#include "service/ServiceState.h"
#include "service/Switchboard.h"

#include <httplib.h>

#include <QTest>

#include <atomic>
#include <thread>

using namespace RefService;

class TestRoutes : public QObject
{
    Q_OBJECT

private slots:
    void pathsFindTheirAnswer_data();
    void pathsFindTheirAnswer();
    void updatePathFollowsTheState();
    void answersFillTheResponse_data();
    void answersFillTheResponse();
    void heldWaitEndsOnRelease_data();
    void heldWaitEndsOnRelease();
    void switchesAreKeptPerPath();
};

void TestRoutes::pathsFindTheirAnswer_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<void *>("answer"); // nullptr: no route

    auto row = [](const char *method, const char *path, Answer answer) {
        QTest::addRow("%s %s", method, path) << QString::fromLatin1(method) << QString::fromLatin1(path)
                                             << reinterpret_cast<void *>(answer);
    };
    row("GET", "/cacheversion.txt", answerRevision);
    row("GET", "/getstreams.php", answerCatalogue);
    row("POST", "/getstreams.php", answerCatalogue);
    row("HEAD", "/getstreams.php", answerCatalogue);
    row("GET", "/getppv.php", answerPpv);
    row("GET", "/yp.xml", answerDirectory);
    row("GET", "/brokenstreamreport.php", answerServiceRequest);
    row("POST", "/tul/prog/streamtips.php", answerServiceRequest);
    row("GET", "/tul/prog/recruitperson.php", answerServiceRequest);
    row("GET", "/ppvshow.php", answerPpvShow);
    row("GET", "/getPPVDescription.php", answerPpvDescription);
    row("GET", "/ppv/ppvorder.php", answerOrder);
    row("GET", "/ppv/ppvorder_verify.php", answerOrderVerify);
    row("GET", "/viewforum.php", answerForum);
    row("GET", "/update/latest.bin", answerUpdate);
    row("GET", "/", answerIndex);
    row("GET", "/nothing/here", nullptr);
    row("GET", "/getstreams.php/", nullptr);
    row("GET", "/GETSTREAMS.PHP", nullptr);
    row("GET", "", nullptr);
}

void TestRoutes::pathsFindTheirAnswer()
{
    QFETCH(QString, method);
    QFETCH(QString, path);
    QFETCH(void *, answer);

    ServiceState state;
    state.updatePath = QStringLiteral("/update/latest.bin");
    const Route *route = findRoute(state, method.toStdString(), path);
    QCOMPARE(route ? reinterpret_cast<void *>(route->answer) : nullptr, answer);
}

void TestRoutes::updatePathFollowsTheState()
{
    ServiceState state;
    state.updatePath = QStringLiteral("/files/new.bin");
    const Route *moved = findRoute(state, "GET", QStringLiteral("/files/new.bin"));
    QVERIFY(moved);
    QCOMPARE(reinterpret_cast<void *>(moved->answer), reinterpret_cast<void *>(&answerUpdate));
    QVERIFY(!findRoute(state, "GET", QStringLiteral("/update/latest.bin")));

    // A fixed path keeps its own answer; "/" gives way to the update.
    state.updatePath = QStringLiteral("/cacheversion.txt");
    QCOMPARE(reinterpret_cast<void *>(findRoute(state, "GET", state.updatePath)->answer),
             reinterpret_cast<void *>(&answerRevision));
    state.updatePath = QStringLiteral("/");
    QCOMPARE(reinterpret_cast<void *>(findRoute(state, "GET", state.updatePath)->answer),
             reinterpret_cast<void *>(&answerUpdate));
}

void TestRoutes::answersFillTheResponse_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("bodyPart");

    QTest::newRow("revision") << QByteArray("/cacheversion.txt") << 200 << QByteArray("text/plain")
                              << QByteArray("7\n");
    QTest::newRow("service request") << QByteArray("/brokenstreamreport.php?id=3") << 200 << QByteArray("text/plain")
                                     << QByteArray("OK");
    QTest::newRow("forum") << QByteArray("/viewforum.php?f=11") << 200 << QByteArray("text/html; charset=UTF-8")
                           << QByteArray("<h1>Quorvantel help forum</h1>");
    QTest::newRow("index") << QByteArray("/") << 200 << QByteArray("text/html; charset=UTF-8")
                           << QByteArray("<h1>quorvantel-service</h1>");
    QTest::newRow("unknown") << QByteArray("/nothing?x=1") << 404 << QByteArray("text/html; charset=UTF-8")
                             << QByteArray("<h1>404 Not Found</h1>");
}

void TestRoutes::answersFillTheResponse()
{
    QFETCH(QByteArray, target);
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, bodyPart);

    ServiceState state;
    state.revision = revisionBody(7);
    httplib::Request req;
    req.method = "GET";
    req.target = target.toStdString();
    httplib::Response res;
    route(state, req, res);
    QCOMPARE(res.status, status);
    QCOMPARE(QByteArray::fromStdString(res.get_header_value("Content-Type")), contentType);
    QVERIFY2(QByteArray::fromStdString(res.body).contains(bodyPart), res.body.c_str());
}

void TestRoutes::heldWaitEndsOnRelease_data()
{
    QTest::addColumn<bool>("byStop");
    QTest::newRow("release") << false;
    QTest::newRow("stop") << true;
}

void TestRoutes::heldWaitEndsOnRelease()
{
    QFETCH(bool, byStop);

    const QString path = QStringLiteral("/getstreams.php");
    Switchboard switches;
    switches.hold(path);
    QVERIFY(switches.find(path).hold);
    std::atomic<int> result{-1};
    std::thread waiter([&] { result = switches.waitForRelease(path) ? 1 : 0; });
    QVERIFY(switches.waitForHeld(path, 15000));
    QCOMPARE(switches.heldCount(path), 1);
    QCOMPARE(switches.heldCount(QStringLiteral("/yp.xml")), 0);
    if (byStop)
        switches.setStopping(true);
    else
        switches.release(path, false);
    waiter.join();
    QCOMPARE(result.load(), byStop ? 0 : 1);
    QCOMPARE(switches.heldCount(path), 0);
    QCOMPARE(switches.find(path).hold, byStop);
}

void TestRoutes::switchesAreKeptPerPath()
{
    Switchboard switches;
    const QString path = QStringLiteral("/getppv.php");
    switches.setStatus(path, 500);
    switches.setDelay(path, 120000);
    switches.setReply(path, "body");
    switches.addHeader(path, "X-One", "1");
    switches.addHeader(path, "X-Two", "2");
    const Switch sw = switches.find(path);
    QCOMPARE(sw.status, 500);
    QCOMPARE(sw.delayMs, MAX_DELAY_MS);
    QVERIFY(sw.hasReply);
    QCOMPARE(sw.reply, QByteArray("body"));
    QCOMPARE(switches.headers(path).size(), size_t(2));
    QVERIFY(switches.headers(QStringLiteral("/yp.xml")).empty());

    switches.setSplitReply(path, "a", "b", 10);
    QVERIFY(switches.find(path).hasSplit);
    QVERIFY(!switches.find(path).hasReply);

    switches.clear();
    QCOMPARE(switches.find(path).status, 0);
    QVERIFY(switches.headers(path).empty());
}

QTEST_GUILESS_MAIN(TestRoutes)
#include "tst_routes.moc"
