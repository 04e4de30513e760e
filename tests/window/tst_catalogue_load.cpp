// The catalogue load on its own, without a window: against the reference
// service it reports its animation, then its rows or its failure, then its
// end, all by signals; a failure holds the load until it is acknowledged; a
// stop request ends a load at once.

#include "catalogue/IcecastView.h"
#include "catalogue/PPVView.h"
#include "catalogue/StreamsManager.h"
#include "tests/window/GuiTestSupport.h"
#include "window/CatalogueLoad.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <memory>

namespace {

// The catalogue objects a load works on, as the window makes them.
struct Catalogue
{
    Catalogue()
    {
        manager->setAdultVisible(true);
        ppvView->setAdultVisible(true);
    }

    std::unique_ptr<DatabaseLoadThread> load(quint64 loadId, std::atomic<bool> *running)
    {
        return std::make_unique<DatabaseLoadThread>(loadId, manager, icecastView, ppvView, running);
    }

    std::shared_ptr<StreamsManager> manager = std::make_shared<StreamsManager>();
    std::shared_ptr<PPVView> ppvView = std::make_shared<PPVView>();
    std::shared_ptr<IcecastView> icecastView = std::make_shared<IcecastView>();
};

// The order in which a load's reports reach the UI thread.
class Reports : public QObject
{
public:
    explicit Reports(DatabaseLoadThread *load)
    {
        connect(load, &DatabaseLoadThread::progressStarted, this, [this] { order << QStringLiteral("started"); },
                Qt::QueuedConnection);
        connect(load, &DatabaseLoadThread::progressStopped, this, [this] { order << QStringLiteral("stopped"); },
                Qt::QueuedConnection);
        connect(
            load, &DatabaseLoadThread::rowsReady, this,
            [this](quint64 id, bool got, const std::vector<StreamInfoPtr> &ice, const std::vector<StreamInfoPtr> &ppv) {
                order << QStringLiteral("rows");
                loadId = id;
                gotStreams = got;
                icecastRows = ice;
                ppvRows = ppv;
            },
            Qt::QueuedConnection);
        connect(
            load, &DatabaseLoadThread::failed, this,
            [this, load](quint64 id, const TulException &error) {
                order << QStringLiteral("failed");
                loadId = id;
                failure = error.getMsg();
                runningAtFailure = load->isRunning();
            },
            Qt::QueuedConnection);
        connect(
            load, &DatabaseLoadThread::ended, this,
            [this](quint64 id, bool succeeded) {
                order << QStringLiteral("ended");
                loadId = id;
                endedWith = succeeded ? 1 : 0;
            },
            Qt::QueuedConnection);
    }

    // The reports without the animation's steps.
    QStringList order;
    quint64 loadId = 0;
    bool gotStreams = false;
    std::vector<StreamInfoPtr> icecastRows;
    std::vector<StreamInfoPtr> ppvRows;
    QString failure;
    bool runningAtFailure = false;
    int endedWith = -1;
};

} // namespace

class TestCatalogueLoad : public QObject
{
    Q_OBJECT
private slots:
    void successfulLoad_data();
    void successfulLoad();
    void failureWaitsForAcknowledgement_data();
    void failureWaitsForAcknowledgement();
    void stopDuringHeldReply_data();
    void stopDuringHeldReply();
};

void TestCatalogueLoad::successfulLoad_data()
{
    QTest::addColumn<bool>("withDirectory");
    QTest::addColumn<int>("movieCount");
    QTest::newRow("directory and movies") << true << 2;
    QTest::newRow("no directory, one movie") << false << 1;
}

void TestCatalogueLoad::successfulLoad()
{
    QFETCH(bool, withDirectory);
    QFETCH(int, movieCount);
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    service->setDirectory(withDirectory ? oneStationDirectory() : RefService::directoryDocument({}));
    std::vector<RefService::PpvMovie> movies = {movie(701, QStringLiteral("First Feature"), 90),
                                                movie(702, QStringLiteral("Second Feature"), 100)};
    movies.resize(size_t(movieCount));
    service->setPpvMovies(movies);

    Catalogue catalogue;
    std::atomic<bool> running{true};
    auto load = catalogue.load(7, &running);
    Reports reports(load.get());
    QSignalSpy steps(load.get(), &DatabaseLoadThread::progressStep);
    load->start();
    QVERIFY(load->isRunning());
    QTRY_COMPARE_WITH_TIMEOUT(reports.endedWith, 1, 15000);

    // The animation started and was stopped before the rows came; the end
    // comes last.
    QCOMPARE(reports.order, (QStringList{"started", "stopped", "rows", "ended"}));
    QCOMPARE(reports.loadId, quint64(7));
    for (const QList<QVariant> &step : steps)
        QCOMPARE(step.at(0).toULongLong(), quint64(7));
    QVERIFY(reports.gotStreams);
    QCOMPARE(int(reports.icecastRows.size()), withDirectory ? 1 : 0);
    QCOMPARE(int(reports.ppvRows.size()), movieCount);
    QVERIFY(catalogue.manager->getAllStreams());
    QCOMPARE(int(catalogue.manager->getAllStreams()->size()), 10);
    // The flag it was given is clear before the end was reported.
    QVERIFY(!running);
    QVERIFY(!load->isRunning());
    load->join();
    // The first load had no previous catalogue list to hand back.
    const std::shared_ptr<const StreamList> none = load->takePreviousStreams();
    QVERIFY(!none || none->empty());

    // A second load over the same objects hands back the first one's list.
    const std::shared_ptr<const StreamList> first = catalogue.manager->getAllStreams();
    auto second = catalogue.load(8, nullptr);
    Reports secondReports(second.get());
    second->start();
    QTRY_COMPARE_WITH_TIMEOUT(secondReports.endedWith, 1, 15000);
    second->join();
    QCOMPARE(second->takePreviousStreams(), first);
}

void TestCatalogueLoad::failureWaitsForAcknowledgement_data()
{
    QTest::addColumn<bool>("serverAnswers");
    QTest::newRow("server error") << true;
    QTest::newRow("no server") << false;
}

void TestCatalogueLoad::failureWaitsForAcknowledgement()
{
    QFETCH(bool, serverAnswers);
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    service->setStatus(QStringLiteral("/getstreams.php"), 500);
    if (!serverAnswers)
        qputenv("QUORVANTEL_CATALOGUE_HOST", QStringLiteral("127.0.0.1:%1").arg(closedPort()).toUtf8());

    Catalogue catalogue;
    std::atomic<bool> running{true};
    auto load = catalogue.load(3, &running);
    Reports reports(load.get());
    load->start();
    QTRY_VERIFY_WITH_TIMEOUT(reports.order.contains(QStringLiteral("failed")), 15000);
    QCOMPARE(reports.loadId, quint64(3));
    QVERIFY(!reports.failure.isEmpty());
    // The load waits for the failure to be acknowledged: it was running when
    // its failure arrived, and it still is.
    QVERIFY(reports.runningAtFailure);
    QVERIFY(load->isRunning());
    QVERIFY(running);
    QCOMPARE(reports.endedWith, -1);

    load->acknowledgeFailure();
    QTRY_COMPARE_WITH_TIMEOUT(reports.endedWith, 0, 15000);
    QCOMPARE(reports.order, (QStringList{"started", "stopped", "failed", "ended"}));
    QVERIFY(!running);
    QVERIFY(!load->isRunning());
    load->join();
}

void TestCatalogueLoad::stopDuringHeldReply_data()
{
    QTest::addColumn<QString>("heldPath");
    QTest::addColumn<bool>("byDeletion");
    QTest::newRow("revision, stop") << QStringLiteral("/cacheversion.txt") << false;
    QTest::newRow("catalogue, stop") << QStringLiteral("/getstreams.php") << false;
    QTest::newRow("catalogue, deletion") << QStringLiteral("/getstreams.php") << true;
}

void TestCatalogueLoad::stopDuringHeldReply()
{
    QFETCH(QString, heldPath);
    QFETCH(bool, byDeletion);
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    service->holdReplies(heldPath);

    Catalogue catalogue;
    std::atomic<bool> running{true};
    auto load = catalogue.load(5, &running);
    Reports reports(load.get());
    QSignalSpy rows(load.get(), &DatabaseLoadThread::rowsReady);
    QSignalSpy ended(load.get(), &DatabaseLoadThread::ended);
    load->start();
    QTRY_COMPARE_WITH_TIMEOUT(service->heldRequestCount(heldPath), 1, 15000);
    QVERIFY(load->isRunning());

    // The stop ends the held download and the load at once; its failure
    // needs no acknowledgement.
    QElapsedTimer timer;
    timer.start();
    if (byDeletion) {
        load.reset();
    } else {
        load->requestStop();
        load->join();
    }
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!running);
    QCOMPARE(rows.count(), 0);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.at(0).at(1).toBool(), false);
    if (!byDeletion)
        QVERIFY(!load->isRunning());
    QVERIFY(!catalogue.manager->getAllStreams() || catalogue.manager->getAllStreams()->empty());
    service->releaseReplies(heldPath);
}

QTEST_MAIN(TestCatalogueLoad)
#include "tst_catalogue_load.moc"
