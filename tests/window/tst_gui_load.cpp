// The catalogue load against the reference service, as the window shows it:
// the tab plan after a load, a failed load, an empty catalogue, reloads asked
// for during a load, closing the window during a load, the parental rule of
// the first load and the message of the day.
#include "tests/window/GuiTestSupport.h"

#include "catalogue/LangMsg.h"
#include "catalogue/PPVView.h"
#include "catalogue/StreamsManager.h"
#include "catalogue/StreamsView.h"
#include "window/BottomList.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"
#include "window/dialogs/TulErrorDialog.h"
#include "window/dialogs/UserWizard.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QWizard>

namespace {

QStringList headers(BottomList *tab)
{
    QStringList list;
    QAbstractItemModel *model = tab->getTable()->model();
    for (int c = 0; c < model->columnCount(); ++c) {
        if (!tab->getTable()->isColumnHidden(c))
            list << model->headerData(c, Qt::Horizontal).toString();
    }
    return list;
}

std::vector<RefService::PpvMovie> movies()
{
    RefService::PpvMovie a;
    a.id = 701;
    a.name = QStringLiteral("Rented Movie");
    a.category = QStringLiteral("Drama");
    a.length = 5400;
    RefService::PpvMovie b;
    b.id = 702;
    b.name = QStringLiteral("Other Movie");
    b.category = QStringLiteral("Comedy");
    b.length = 3600;
    return {a, b};
}

} // namespace

class TestGuiLoad : public QObject
{
    Q_OBJECT

private slots:
    void tabPlan_data();
    void tabPlan();
    void latestTabIsCurrent();
    void failedLoad();
    void failureOfAnyKind();
    void emptyCatalogue();
    void reloadDuringLoadRunsAfterIt();
    void updateActionIgnoredDuringLoad();
    void closeDuringLoad();
    void parentalRuleBeforeFirstLoad();
    void limitedModeAtFirstStart();
    void messageOfTheDayParent();
    void lateProgressStepKeepsFinalText();
};

void TestGuiLoad::tabPlan_data()
{
    QTest::addColumn<bool>("passwordSet");
    QTest::addColumn<QList<int>>("tabSlots");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<bool>("rentalsTab");
    QTest::newRow("adult content shown")
        << false << QList<int>{1, 2, 4, 5, 8, 9}
        << QStringList{"Tv", "Radio", "Movies", "Icecast", "Adult content", "Pay Tv"} << true;
    QTest::newRow("password set: adult content hidden")
        << true << QList<int>{1, 2, 5, 8} << QStringList{"Tv", "Radio", "Movies", "Icecast"} << false;
}

void TestGuiLoad::tabPlan()
{
    QFETCH(bool, passwordSet);
    QFETCH(QList<int>, tabSlots);
    QFETCH(QStringList, titles);
    QFETCH(bool, rentalsTab);
    TestWorkspace workspace;
    if (passwordSet)
        Options::setPasswd(QStringLiteral("secret"));
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    service->setPpvMovies(movies());
    service->clearRentals();
    service->setGlobalRental(701, 3600);

    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.open(false);
    QVERIFY(waitForLoads(loads, 1));
    QCOMPARE(loads.at(0).at(0).toBool(), true);

    QCOMPARE(liveSlots(gui), tabSlots);
    QCOMPARE(folderTitles(probe(gui).cBottomTab()), titles);
    QCOMPARE(probe(gui).statusLine2()->text(), QStringLiteral("Database loaded."));
    QVERIFY(!gui.isLoadRunning());
    QVERIFY(!probe(gui).progressBar());

    // Columns of each kind of tab.
    const QStringList streamCols = {"Name", "Genre", "Country", "Quality"};
    QCOMPARE(headers(gui.streamTabs()->bottomTab(1)), streamCols);
    QCOMPARE(headers(gui.streamTabs()->bottomTab(2)), streamCols);
    QCOMPARE(headers(gui.streamTabs()->bottomTab(5)), (QStringList{"Name", "Genre", "Country"}));
    // The Icecast genre column has width 0: hidden.
    QCOMPARE(headers(gui.streamTabs()->bottomTab(8)), (QStringList{"Name", "Currently playing", "Quality"}));
    if (!passwordSet) {
        QCOMPARE(headers(gui.streamTabs()->bottomTab(4)), (QStringList{"Name", "Genre", "Country"}));
        QCOMPARE(headers(gui.streamTabs()->bottomTab(9)), (QStringList{"Name", "Genre", "Length"}));
        // The adult tabs can be closed.
        QVERIFY(probe(gui).cBottomTab()->closeButton(gui.streamTabs()->bottomTab(4)));
        QVERIFY(probe(gui).cBottomTab()->closeButton(gui.streamTabs()->bottomTab(9)));
        QVERIFY(!probe(gui).cBottomTab()->closeButton(gui.streamTabs()->bottomTab(1)));
    }

    // The tab of the lowest slot is current and drawn bold.
    BottomList *tv = gui.streamTabs()->bottomTab(1);
    QCOMPARE(probe(gui).cBottomTab()->currentWidget(), tv);
    QVERIFY(probe(gui).cBottomTab()->isTabBold(tv));
    QVERIFY(!probe(gui).cBottomTab()->isTabBold(gui.streamTabs()->bottomTab(2)));
    QCOMPARE(probe(gui).currentTable().data(), tv->getTable());
    QCOMPARE(probe(gui).currentTableViewer().data(), tv->getTableViewer());
    QVERIFY(probe(gui).actionPlay()->isEnabled());
    QCOMPARE(tv->getTableViewer()->rowCount(), 4);
    QCOMPARE(gui.streamTabs()->bottomTab(2)->getTableViewer()->rowCount(), 2);
    // The rows are the manager's records themselves.
    const auto all = probe(gui).manager()->getAllStreams();
    const StreamInfoPtr row = tv->getTableViewer()->element(0);
    QVERIFY(std::any_of(all->begin(), all->end(), [&](const StreamInfoPtr &s) { return s.get() == row.get(); }));

    // The favourites folder: Favorites first (in front), the rentals second.
    QCOMPARE(probe(gui).cTabFavLoc()->tabText(0), QStringLiteral("Favorites"));
    QCOMPARE(probe(gui).cTabFavLoc()->currentIndex(), 0);
    QCOMPARE(bool(probe(gui).ppvTab()), rentalsTab);
    if (rentalsTab) {
        QCOMPARE(probe(gui).cTabFavLoc()->tabText(1), QStringLiteral("Pay Tv"));
        QCOMPARE(probe(gui).ppvTableViewer()->rowCount(), 1);
        QCOMPARE(probe(gui).ppvTableViewer()->element(0)->getName(), QStringLiteral("Rented Movie"));
    }
    QVERIFY(probe(gui).searchText()->isEnabled());
    QVERIFY(probe(gui).searchText()->text().isEmpty());
}

void TestGuiLoad::latestTabIsCurrent()
{
    TestWorkspace workspace;
    // A stored last stream id lets the Last 25 tab fill: every id above
    // 12 - 25 counts as latest.
    Options::setLastStreamId(12);
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.open(false);
    QVERIFY(waitForLoads(loads, 1));
    BottomList *latest = gui.streamTabs()->bottomTab(0);
    QVERIFY(latest);
    QCOMPARE(probe(gui).cBottomTab()->tabText(0), QStringLiteral("Last 25"));
    QCOMPARE(probe(gui).cBottomTab()->currentWidget(), latest);
    // Highest identifiers first.
    RecordTableModel *model = latest->getTableViewer();
    QVERIFY(model->rowCount() > 2);
    for (int i = 1; i < model->rowCount(); ++i)
        QVERIFY(model->element(i - 1)->getId() > model->element(i)->getId());
}

void TestGuiLoad::failedLoad()
{
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setStatus(QStringLiteral("/getstreams.php"), 500);

    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    bool runningWhileShown = false;
    bool reloadIgnored = false;
    QWidget *parent = nullptr;
    QString message;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        auto *dialog = qobject_cast<TulErrorDialog *>(w);
        QVERIFY2(dialog, w->metaObject()->className());
        parent = dialog->parentWidget();
        message = dialog->getMessage();
        runningWhileShown = gui.isLoadRunning();
        // F5 while the error is shown does nothing.
        const int before = service->requestCount(QStringLiteral("/cacheversion.txt"));
        probe(gui).actionUpdateDatabase()->run();
        reloadIgnored = service->requestCount(QStringLiteral("/cacheversion.txt")) == before;
        dialog->close();
    });
    gui.open(false);
    QVERIFY(waitForLoads(loads, 1));
    QCOMPARE(loads.at(0).at(0).toBool(), false);
    QCOMPARE(answers.handled(), 1);
    QCOMPARE(parent, &gui);
    QCOMPARE(message, LangMsg::getMsg(QStringLiteral("ConnectError")));
    QVERIFY(runningWhileShown);
    QVERIFY(reloadIgnored);
    QCOMPARE(probe(gui).statusLine2()->text(), QStringLiteral("Database was not loaded"));
    QVERIFY(!gui.isLoadRunning());
    QVERIFY(!probe(gui).progressBar());
    QVERIFY(liveSlots(gui).isEmpty());

    // Reloading works again once the error has been seen.
    service->setStatus(QStringLiteral("/getstreams.php"), 0);
    service->setCatalogue(smallCatalogue());
    probe(gui).actionUpdateDatabase()->trigger();
    QVERIFY(waitForLoads(loads, 2));
    QCOMPARE(loads.at(1).at(0).toBool(), true);
    QCOMPARE(probe(gui).statusLine2()->text(), QStringLiteral("Database loaded."));
    QVERIFY(gui.streamTabs()->bottomTab(1));
}

void TestGuiLoad::failureOfAnyKind()
{
    // A catalogue document that is not well-formed fails the parse; the
    // window shows it and can load again.
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(QByteArray("<Streams><Stream"));
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    QPointer<QWidget> seen;
    ModalAnswers answers;
    answers.recordAndClose(&seen);
    gui.open(false);
    QVERIFY(waitForLoads(loads, 1));
    QCOMPARE(answers.handled(), 1);
    QCOMPARE(probe(gui).statusLine2()->text(), QStringLiteral("Database was not loaded"));
    QVERIFY(!gui.isLoadRunning());
    service->setCatalogue(smallCatalogue());
    gui.updateDatabase();
    QVERIFY(waitForLoads(loads, 2));
    QCOMPARE(probe(gui).statusLine2()->text(), QStringLiteral("Database loaded."));
}

void TestGuiLoad::emptyCatalogue()
{
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(RefService::catalogueDocument({}));
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.open(false);
    QVERIFY(waitForLoads(loads, 1));
    QVERIFY(liveSlots(gui).isEmpty());
    QVERIFY(!gui.isLoadRunning());
    QVERIFY(!probe(gui).progressBar());
    // Not "Loading database." forever.
    QCOMPARE(probe(gui).statusLine2()->text(), QStringLiteral("Database was not loaded"));
    QVERIFY(waitForPostedTasks());
    QCOMPARE(probe(gui).statusLine2()->text(), QStringLiteral("Database was not loaded"));
}

void TestGuiLoad::reloadDuringLoadRunsAfterIt()
{
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    // The first load waits for the catalogue revision until released.
    service->holdReplies(QStringLiteral("/cacheversion.txt"));
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.open(false);
    QVERIFY(gui.isLoadRunning());
    // A reload the parental filter or an order asks for is kept...
    gui.reloadCatalogue();
    QVERIFY(gui.isReloadPending());
    service->releaseReplies(QStringLiteral("/cacheversion.txt"));
    QVERIFY(waitForLoads(loads, 1));
    // ...and runs when the first load has ended.
    QVERIFY(waitForLoads(loads, 2));
    QCOMPARE(service->requestCount(QStringLiteral("/cacheversion.txt")), 2);
    QVERIFY(!gui.isReloadPending());
    QVERIFY(!gui.isLoadRunning());
    QVERIFY(waitForPostedTasks());
    QCOMPARE(loads.count(), 2);
}

void TestGuiLoad::updateActionIgnoredDuringLoad()
{
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    // The first load waits for the catalogue revision until released.
    service->holdReplies(QStringLiteral("/cacheversion.txt"));
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.open(false);
    QVERIFY(gui.isLoadRunning());
    probe(gui).actionUpdateDatabase()->trigger();
    QVERIFY(!gui.isReloadPending());
    service->releaseReplies(QStringLiteral("/cacheversion.txt"));
    QVERIFY(waitForLoads(loads, 1));
    QVERIFY(waitForPostedTasks());
    QCOMPARE(loads.count(), 1);
    QCOMPARE(service->requestCount(QStringLiteral("/cacheversion.txt")), 1);
    // After the load F5 starts a new one.
    probe(gui).actionUpdateDatabase()->trigger();
    QVERIFY(waitForLoads(loads, 2));
    QCOMPARE(service->requestCount(QStringLiteral("/cacheversion.txt")), 2);
}

void TestGuiLoad::closeDuringLoad()
{
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    // The catalogue is held: the window closes while it downloads.
    service->holdReplies(QStringLiteral("/getstreams.php"));
    auto gui = std::make_unique<Gui>();
    QSignalSpy loads(gui.get(), &Gui::loadFinished);
    gui->open(true);
    QVERIFY(QTest::qWaitForWindowExposed(gui.get()));
    QTRY_COMPARE_WITH_TIMEOUT(service->heldRequestCount(QStringLiteral("/getstreams.php")), 1, 15000);
    QVERIFY(gui->isLoadRunning());
    gui->close();
    // The program's end: the load is stopped (its download ends at once)
    // and waited for, then the settings are written. The stopped load
    // stored neither a revision nor a cache file.
    QVERIFY(gui->shutdown());
    QVERIFY(!gui->isLoadRunning());
    QVERIFY(Options::writeToDisk());
    QFile file(workspace.file(QStringLiteral("options.xml")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("<CacheRevision>0</CacheRevision>"));
    QVERIFY(!QFile::exists(workspace.file(QStringLiteral("data.dat"))));
    // What the load had queued for the window changes nothing any more.
    QVERIFY(waitForPostedTasks());
    QVERIFY(liveSlots(*gui).isEmpty());
    QCOMPARE(loads.count(), 0);
    gui.reset();
}

void TestGuiLoad::parentalRuleBeforeFirstLoad()
{
    TestWorkspace workspace;
    Options::setPasswd(QStringLiteral("secret"));
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.open(false);
    QVERIFY(!probe(gui).manager()->getAdultVisible());
    QVERIFY(waitForLoads(loads, 1));
    // The first load already left the adult streams out.
    const auto all = probe(gui).manager()->getAllStreams();
    QVERIFY(!all->empty());
    for (const StreamInfoPtr &s : *all)
        QVERIFY2(!s->getAdult(), qPrintable(s->getName()));
    QVERIFY(!gui.streamTabs()->bottomTab(4));
    QVERIFY(!gui.streamTabs()->bottomTab(9));
}

void TestGuiLoad::limitedModeAtFirstStart()
{
    TestWorkspace workspace(false);
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    bool loadStartedBefore = true;
    ModalAnswers answers;
    answers.then([&](QWidget *w) {
        auto *wizard = qobject_cast<UserWizard *>(w);
        QVERIFY2(wizard, w->metaObject()->className());
        loadStartedBefore = gui.isLoadRunning() || service->requestCount(QStringLiteral("/cacheversion.txt")) > 0;
        wizard->page0()->limitedModeButton()->click();
        wizard->button(QWizard::FinishButton)->click();
    });
    gui.open(false);
    QCOMPARE(answers.handled(), 1);
    QVERIFY(!loadStartedBefore);
    QCOMPARE(Options::getMode(), std::optional<bool>(false));
    QVERIFY(!probe(gui).manager()->getAdultVisible());
    QVERIFY(waitForLoads(loads, 1));
    // Limited mode holds in this very run.
    for (const StreamInfoPtr &s : *probe(gui).manager()->getAllStreams())
        QVERIFY2(!s->getAdult(), qPrintable(s->getName()));
    QVERIFY(!gui.streamTabs()->bottomTab(4));
}

void TestGuiLoad::messageOfTheDayParent()
{
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setMotd(QStringLiteral("Hello from the service"));
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    QPointer<QWidget> seen;
    QWidget *parent = nullptr;
    QString title, text;
    ModalAnswers answers;
    answers.recordAndClose(&seen, &parent, &title, &text);
    gui.open(false);
    QVERIFY(waitForLoads(loads, 1));
    QCOMPARE(answers.handled(), 1);
    QCOMPARE(parent, &gui);
    QCOMPARE(title, QStringLiteral("Note"));
    QCOMPARE(text, QStringLiteral("Hello from the service"));
    // Shown after every load.
    gui.updateDatabase();
    QVERIFY(waitForLoads(loads, 2));
    QCOMPARE(answers.unexpected(), 1);
}

void TestGuiLoad::lateProgressStepKeepsFinalText()
{
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.open(false);
    QVERIFY(waitForLoads(loads, 1));
    QCOMPARE(probe(gui).statusLine2()->text(), QStringLiteral("Database loaded."));
    // A step of that load's animation that arrives late changes nothing.
    probe(gui).progressStep(gui.lastLoadId(), 7);
    QCOMPARE(probe(gui).statusLine2()->text(), QStringLiteral("Database loaded."));
}

QTEST_MAIN(TestGuiLoad)
#include "tst_gui_load.moc"
