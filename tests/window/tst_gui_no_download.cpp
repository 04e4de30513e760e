// The window never waits for the network while it shows the tables: typing
// in the search field, switching tabs and sorting take the Icecast and
// pay-per-view rows the views hold, even while those servers fail or hang,
// and the pay-per-view catalogue is downloaded again by every load, on the
// loading thread.
#include "tests/window/GuiTestSupport.h"

#include "catalogue/IcecastView.h"
#include "catalogue/PPVView.h"
#include "window/BottomList.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"

#include <QLineEdit>

namespace {

const QString PPV_PATH = QStringLiteral("/getppv.php");
const QString DIRECTORY_PATH = QStringLiteral("/yp.xml");

RefService::PpvMovie movie(int id, const QString &name)
{
    RefService::PpvMovie m;
    m.id = id;
    m.name = name;
    m.category = QStringLiteral("Drama");
    m.length = 5400;
    return m;
}

QByteArray smallDirectory()
{
    RefService::DirectoryEntry a;
    a.serverName = QStringLiteral("Movie Radio FM");
    a.genre = QStringLiteral("Soundtracks");
    a.bitrate = QStringLiteral("128");
    a.listenUrl = unreachableUrl(QStringLiteral("/media/test.mp3"));
    RefService::DirectoryEntry b = a;
    b.serverName = QStringLiteral("Jazz Stream");
    b.genre = QStringLiteral("Jazz");
    return RefService::directoryDocument({a, b});
}

std::unique_ptr<ReferenceService> serviceWithLists()
{
    auto service = startService();
    if (!service)
        return nullptr;
    service->setCatalogue(smallCatalogue());
    service->setPpvMovies({movie(701, QStringLiteral("Rented Movie")), movie(702, QStringLiteral("Other Movie"))});
    service->clearRentals();
    service->setDirectory(smallDirectory());
    return service;
}

// Types text into the search field key by key.
void typeSearch(Gui &gui, const QString &text)
{
    for (const QChar c : text)
        QTest::keyClick(probe(gui).searchText(), c.toLatin1());
}

} // namespace

class TestGuiNoDownload : public QObject
{
    Q_OBJECT

private slots:
    void tablesNeverDownload_data();
    void tablesNeverDownload();
    void reloadDownloadsOnWorker();
    void failedListsFromTheStart();
};

void TestGuiNoDownload::tablesNeverDownload_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("hang");
    QTest::newRow("servers answer 500") << 500 << false;
    QTest::newRow("servers hang") << 0 << true;
}

void TestGuiNoDownload::tablesNeverDownload()
{
    QFETCH(int, status);
    QFETCH(bool, hang);
    TestWorkspace workspace;
    auto service = serviceWithLists();
    QVERIFY(service);
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.open(false);
    QVERIFY(waitForLoads(loads, 1));
    BottomList *ppvTab = gui.streamTabs()->bottomTab(9);
    BottomList *icecastTab = gui.streamTabs()->bottomTab(8);
    QVERIFY(ppvTab && icecastTab && gui.streamTabs()->bottomTab(1));
    QCOMPARE(ppvTab->getTableViewer()->rowCount(), 2);
    QCOMPARE(icecastTab->getTableViewer()->rowCount(), 2);
    QCOMPARE(service->requestCount(PPV_PATH), 1);
    QCOMPARE(service->requestCount(DIRECTORY_PATH), 1);

    for (const QString &path : {PPV_PATH, DIRECTORY_PATH}) {
        if (status)
            service->setStatus(path, status);
        // A request to a server that hangs is held until the service
        // stops: a step that waited for it would not come back.
        if (hang)
            service->holdReplies(path);
    }

    QCOMPARE(probe(gui).cBottomTab()->currentWidget(), gui.streamTabs()->bottomTab(1));
    typeSearch(gui, QStringLiteral("Movie"));
    QCOMPARE(probe(gui).searchText()->text(), QStringLiteral("Movie"));
    // Every tab searched, from the held lists.
    QCOMPARE(ppvTab->getTableViewer()->rowCount(), 2);
    QCOMPARE(icecastTab->getTableViewer()->rowCount(), 1);
    QCOMPARE(icecastTab->getTableViewer()->element(0)->getName(), QStringLiteral("Movie Radio FM"));
    QCOMPARE(gui.streamTabs()->bottomTab(5)->getTableViewer()->rowCount(), 1);
    typeSearch(gui, QStringLiteral("s"));
    QCOMPARE(ppvTab->getTableViewer()->rowCount(), 0);

    // Switching to the two tabs and sorting them.
    probe(gui).cBottomTab()->setCurrentWidget(ppvTab);
    QCOMPARE(probe(gui).cBottomTab()->currentWidget(), ppvTab);
    QCOMPARE(ppvTab->getTableViewer()->rowCount(), 2);
    ppvTab->sortByColumn(0);
    ppvTab->sortByColumn(0);
    QCOMPARE(ppvTab->getTableViewer()->rowCount(), 2);
    probe(gui).cBottomTab()->setCurrentWidget(icecastTab);
    icecastTab->sortByColumn(0);
    QCOMPARE(icecastTab->getTableViewer()->rowCount(), 2);
    typeSearch(gui, QStringLiteral("Jazz"));
    QCOMPARE(icecastTab->getTableViewer()->rowCount(), 1);

    // Not one request went to either server.
    QCOMPARE(service->requestCount(PPV_PATH), 1);
    QCOMPARE(service->requestCount(DIRECTORY_PATH), 1);
    QCOMPARE(service->heldRequestCount(PPV_PATH), 0);
    QCOMPARE(service->heldRequestCount(DIRECTORY_PATH), 0);
    QVERIFY(!gui.isLoadRunning());
}

void TestGuiNoDownload::reloadDownloadsOnWorker()
{
    TestWorkspace workspace;
    auto service = serviceWithLists();
    QVERIFY(service);
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.open(false);
    QVERIFY(waitForLoads(loads, 1));
    QVERIFY(gui.streamTabs()->bottomTab(9));
    QCOMPARE(service->requestCount(PPV_PATH), 1);

    // The next catalogue has a third movie, and the server holds it until
    // the test releases it.
    service->setPpvMovies({movie(701, QStringLiteral("Rented Movie")), movie(702, QStringLiteral("Other Movie")),
                           movie(703, QStringLiteral("New Movie"))});
    service->holdReplies(PPV_PATH);
    gui.updateDatabase();
    QVERIFY(gui.isLoadRunning());
    // Once the catalogue revision is in, the load goes on to the pay-per-view
    // catalogue; meanwhile the window searches, switches and sorts, with the
    // rows it holds.
    QTRY_COMPARE_WITH_TIMEOUT(service->heldRequestCount(PPV_PATH), 1, 15000);
    BottomList *ppvTab = gui.streamTabs()->bottomTab(9);
    typeSearch(gui, QStringLiteral("Movie"));
    probe(gui).cBottomTab()->setCurrentWidget(ppvTab);
    ppvTab->sortByColumn(0);
    QVERIFY(gui.isLoadRunning());
    QCOMPARE(ppvTab->getTableViewer()->rowCount(), 2);
    QCOMPARE(service->heldRequestCount(PPV_PATH), 1);
    service->releaseReplies(PPV_PATH);

    // The load brings the new catalogue: one more download, the one of the
    // loading thread; the directory is not downloaded again.
    QVERIFY(waitForLoads(loads, 2));
    QCOMPARE(loads.at(1).at(0).toBool(), true);
    QCOMPARE(service->requestCount(PPV_PATH), 2);
    QCOMPARE(service->requestCount(DIRECTORY_PATH), 1);
    QVERIFY(gui.streamTabs()->bottomTab(9));
    QCOMPARE(gui.streamTabs()->bottomTab(9)->getTableViewer()->rowCount(), 3);
}

void TestGuiNoDownload::failedListsFromTheStart()
{
    TestWorkspace workspace;
    auto service = serviceWithLists();
    QVERIFY(service);
    service->setStatus(PPV_PATH, 500);
    service->setStatus(DIRECTORY_PATH, 500);
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Icecast directory not loaded"));
    gui.open(false);
    QVERIFY(waitForLoads(loads, 1));
    // Neither list: no Icecast and no Pay Tv tab, and the tables asking the
    // two views for rows do not try the servers again.
    QVERIFY(gui.streamTabs()->bottomTab(1) && gui.streamTabs()->bottomTab(4));
    QVERIFY(!gui.streamTabs()->bottomTab(8) && !gui.streamTabs()->bottomTab(9));
    QVERIFY(probe(gui).pPVView()->getActiveStreams().empty());
    QVERIFY(probe(gui).icecastView()->getActiveStreams().empty());
    typeSearch(gui, QStringLiteral("Radio"));
    QCOMPARE(gui.streamTabs()->bottomTab(2)->getTableViewer()->rowCount(), 2);
    QCOMPARE(service->requestCount(PPV_PATH), 1);
    QCOMPARE(service->requestCount(DIRECTORY_PATH), 1);

    // Each load tries the pay-per-view catalogue again; the directory is
    // tried once per run.
    gui.updateDatabase();
    QVERIFY(waitForLoads(loads, 2));
    QCOMPARE(service->requestCount(PPV_PATH), 2);
    QVERIFY(!gui.streamTabs()->bottomTab(9));
    service->clearSwitches();
    gui.updateDatabase();
    QVERIFY(waitForLoads(loads, 3));
    QCOMPARE(service->requestCount(PPV_PATH), 3);
    QCOMPARE(service->requestCount(DIRECTORY_PATH), 1);
    QVERIFY(gui.streamTabs()->bottomTab(9));
    QCOMPARE(gui.streamTabs()->bottomTab(9)->getTableViewer()->rowCount(), 2);
    QVERIFY(!gui.streamTabs()->bottomTab(8));
}

QTEST_MAIN(TestGuiNoDownload)
#include "tst_gui_no_download.moc"
