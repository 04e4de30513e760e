// More of the stream tabs and the favourites after real loads: the tab plan
// for catalogues that leave some lists empty, the rented list, a reload while
// a stream plays, a reload started before the previous load's rebuild ran,
// adding a favourite and a keyboard menu after a tab switch, the favourites'
// menu over a row already selected, directory streams dropped twice, the
// favourites' Name column, Ctrl+1 with the rentals in front and the Pay Tv
// name header.
#include "GuiTestSupport.h"

#include "BottomList.h"
#include "MediaPlayerStaticImage.h"
#include "MediaPlayerWMP.h"
#include "PPVView.h"
#include "RecordTable.h"
#include "StreamsView.h"
#include "TabFolder.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QStyle>
#include <chrono>
#include <thread>

namespace {

QStringList folderTitles(TabFolder *folder)
{
    QStringList titles;
    for (int i = 0; i < folder->count(); ++i)
        titles << folder->tabText(i);
    return titles;
}

QList<int> liveSlots(const Gui &gui)
{
    QList<int> tabSlots;
    for (int i = 0; i < Gui::TAB_SLOTS; ++i) {
        if (gui.bottomTab(i))
            tabSlots << i;
    }
    return tabSlots;
}

QStringList names(RecordTableModel *model)
{
    QStringList list;
    for (int i = 0; i < model->rowCount(); ++i)
        list << model->element(i)->getName();
    return list;
}

bool dropOnFavorites(Gui &gui, const QMimeData *data)
{
    QWidget *target = gui.favoritesTable->viewport();
    const QPoint pos(10, 10);
    QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(pos), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

RefService::PpvMovie movie(int id, const QString &name, int length)
{
    RefService::PpvMovie m;
    m.id = id;
    m.name = name;
    m.category = QStringLiteral("Drama");
    m.length = length;
    return m;
}

using Entries = std::vector<RefService::CatalogueEntry>;

QByteArray document(const Entries &entries)
{
    RefService::CatalogueInfo info;
    info.withInfo = true;
    return RefService::catalogueDocument(entries, info);
}

QByteArray directory()
{
    RefService::DirectoryEntry e;
    e.serverName = QStringLiteral("Ice Only");
    e.genre = QStringLiteral("Rock");
    e.bitrate = QStringLiteral("128");
    e.listenUrl = unreachableUrl(QStringLiteral("/ice"));
    return RefService::directoryDocument({e});
}

} // namespace

class TestGuiTabs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void tabPlanEdgeCases_data();
    void tabPlanEdgeCases();
    void rentedListHoldsMoviesWithTimeLeft();
    void reloadWhilePlaying();
    void addFavoriteAfterTabSwitch();
    void keyboardMenuAfterTabSwitch();
    void directoryStreamDroppedTwice();
    void favoritesNameColumnWidth_data();
    void favoritesNameColumnWidth();
    void playFirstFavoriteWithRentalsInFront();
    void favoritesMenuPlaysTheFavorite();
    void payTvNameHeader();
    void reloadStartedBeforeRebuildAnimates();

private:
    // Starts the window on catalogue and waits for its first load.
    bool startWindow(const QByteArray &catalogue, bool adultVisible = true);

    std::unique_ptr<TestWorkspace> m_workspace;
    std::unique_ptr<ReferenceService> m_service;
    std::unique_ptr<Gui> m_gui;
};

void TestGuiTabs::initTestCase()
{
    qputenv("QUORVANTEL_MPV_AO", "null");
}

void TestGuiTabs::cleanup()
{
    m_gui.reset();
    m_service.reset();
    m_workspace.reset();
}

bool TestGuiTabs::startWindow(const QByteArray &catalogue, bool adultVisible)
{
    m_workspace = std::make_unique<TestWorkspace>();
    if (!adultVisible)
        Options::setPasswd(QStringLiteral("secret"));
    if (!m_service) {
        m_service = startService();
        if (!m_service)
            return false;
        m_service->setDirectory(directory());
        m_service->setPpvMovies({movie(701, QStringLiteral("Rented Movie"), 5400)});
        m_service->clearRentals();
    }
    m_service->setCatalogue(catalogue);
    m_gui = std::make_unique<Gui>();
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    m_gui->resize(1000, 700);
    m_gui->open(true);
    if (!QTest::qWaitForWindowExposed(m_gui.get()))
        return false;
    return waitForLoads(loads, 1) && loads.at(0).at(0).toBool();
}

void TestGuiTabs::tabPlanEdgeCases_data()
{
    QTest::addColumn<QByteArray>("catalogue");
    QTest::addColumn<bool>("adultVisible");
    QTest::addColumn<bool>("withDirectory");
    QTest::addColumn<bool>("withMovies");
    QTest::addColumn<QList<int>>("tabSlots");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<int>("currentSlot");

    const auto tv = entry(11, QStringLiteral("Tv One"), QStringLiteral("TV"), QStringLiteral("News"),
                          QStringLiteral("Norway"), 300);
    const auto radio = entry(21, QStringLiteral("Radio One"), QStringLiteral("Radio"), QStringLiteral("Pop"),
                             QStringLiteral("Sweden"), 128);
    const auto film = entry(31, QStringLiteral("Movie One"), QStringLiteral("Movie"), QStringLiteral("Drama"),
                            QStringLiteral("France"), 900);
    const auto adult = entry(41, QStringLiteral("Late Show"), QStringLiteral("Erotic"), QStringLiteral("Adult"),
                             QStringLiteral("Spain"), 500, true);
    const auto clip = entry(51, QStringLiteral("Clip One"), QStringLiteral("Videoclip"), QStringLiteral("Music"),
                            QStringLiteral("USA"), 256);
    const auto webcam = entry(61, QStringLiteral("Cam One"), QStringLiteral("Webcam"), QStringLiteral("City"),
                              QStringLiteral("Chile"), 64);

    // Slot order, not folder order, picks the current tab.
    QTest::newRow("no Last 25, Tv or Radio: Adult content before Movies")
        << document({film, adult}) << true << true << true << QList<int>{4, 5, 8, 9}
        << QStringList{"Movies", "Icecast", "Adult content", "Pay Tv"} << 4;
    QTest::newRow("empty Radio view: no Radio tab")
        << document({tv, film}) << false << true << true << QList<int>{1, 5, 8}
        << QStringList{"Tv", "Movies", "Icecast"} << 1;
    QTest::newRow("adult content shown, no adult streams, no pay-per-view movies")
        << document({tv}) << true << false << false << QList<int>{1, 4} << QStringList{"Tv", "Adult content"} << 1;
    QTest::newRow("only video clips and webcams, adult content hidden")
        << document({clip, webcam}) << false << false << true << QList<int>{} << QStringList{} << -1;
}

void TestGuiTabs::tabPlanEdgeCases()
{
    QFETCH(QByteArray, catalogue);
    QFETCH(bool, adultVisible);
    QFETCH(bool, withDirectory);
    QFETCH(bool, withMovies);
    QFETCH(QList<int>, tabSlots);
    QFETCH(QStringList, titles);
    QFETCH(int, currentSlot);
    m_service = startService();
    QVERIFY(m_service);
    m_service->setDirectory(withDirectory ? directory() : RefService::directoryDocument({}));
    if (withMovies)
        m_service->setPpvMovies({movie(701, QStringLiteral("Rented Movie"), 5400)});
    else
        m_service->setPpvMovies({});
    m_service->setGlobalRental(701, 600);
    QVERIFY(startWindow(catalogue, adultVisible));

    QCOMPARE(liveSlots(*m_gui), tabSlots);
    QCOMPARE(folderTitles(m_gui->cBottomTab), titles);
    QCOMPARE(m_gui->statusLine2->text(), QStringLiteral("Database loaded."));
    if (currentSlot < 0) {
        QVERIFY(!m_gui->currentTable);
        QVERIFY(!m_gui->currentTableViewer);
        QCOMPARE(m_gui->cBottomTab->count(), 0);
    } else {
        BottomList *current = m_gui->bottomTab(currentSlot);
        QCOMPARE(m_gui->cBottomTab->currentWidget(), current);
        QVERIFY(m_gui->cBottomTab->isTabBold(current));
        QCOMPARE(m_gui->currentTable.data(), current->getTable());
        QCOMPARE(m_gui->currentTableViewer.data(), current->getTableViewer());
        QVERIFY(m_gui->actionPlay->isEnabled());
    }
    // The Adult content tab is made whenever adult content is shown, also
    // with an empty list.
    if (BottomList *adultTab = m_gui->bottomTab(4)) {
        if (!catalogue.contains("Erotic"))
            QCOMPARE(adultTab->getTableViewer()->rowCount(), 0);
    }
    // Without a Pay Tv tab the rented list ends empty and no rentals tab is
    // made.
    if (!m_gui->bottomTab(9)) {
        if (adultVisible)
            QVERIFY(m_gui->pPVView->getPpvActive().empty());
        QVERIFY(!m_gui->ppvTab);
    }
    QCOMPARE(m_gui->cTabFavLoc->currentIndex(), 0);
}

void TestGuiTabs::rentedListHoldsMoviesWithTimeLeft()
{
    m_service = startService();
    QVERIFY(m_service);
    m_service->setPpvMovies({movie(701, QStringLiteral("Rented A"), 5400), movie(702, QStringLiteral("Expired"), 3000),
                             movie(703, QStringLiteral("Rented B"), 4000), movie(704, QStringLiteral("Never"), 100)});
    m_service->clearRentals();
    m_service->setGlobalRental(701, 1000);
    m_service->setGlobalRental(702, 0);
    m_service->setGlobalRental(703, 20);
    QVERIFY(startWindow(smallCatalogue()));
    QVERIFY(m_gui->bottomTab(9));
    QCOMPARE(m_gui->bottomTab(9)->getTableViewer()->rowCount(), 4);
    const std::vector<PPVStreamInfoPtr> rented = m_gui->pPVView->getPpvActive();
    QStringList rentedNames;
    for (const PPVStreamInfoPtr &m : rented)
        rentedNames << m->getName();
    rentedNames.sort();
    QCOMPARE(rentedNames, (QStringList{"Rented A", "Rented B"}));
    QVERIFY(m_gui->ppvTab);
    QCOMPARE(m_gui->ppvTableViewer->rowCount(), 2);

    // A second load adds each rental once again, not twice.
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    m_gui->updateDatabase();
    QVERIFY(waitForLoads(loads, 1));
    QCOMPARE(m_gui->pPVView->getPpvActive().size(), size_t(2));
    QCOMPARE(m_gui->ppvTableViewer->rowCount(), 2);

    // A double click on a rental plays it through the play path.
    m_gui->cTabFavLoc->setCurrentIndex(1);
    RecordTableView *rentals = m_gui->ppvTable;
    const QRect rect = rentals->visualRect(rentals->model()->index(1, 0));
    QTest::mouseClick(rentals->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    QTest::mouseDClick(rentals->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    QCOMPARE(m_gui->currentTable.data(), rentals);
    QVERIFY(m_gui->currentStream);
    QCOMPARE(m_gui->currentStream.get(), m_gui->ppvTableViewer->element(1).get());
    m_gui->actionStop->run();
}

void TestGuiTabs::reloadWhilePlaying()
{
    m_service = startService();
    QVERIFY(m_service);
    m_service->setPpvMovies({movie(701, QStringLiteral("Rented Movie"), 5400)});
    m_service->clearRentals();
    m_service->setGlobalRental(701, 600);
    // The media answer late, so the player is still waiting when the
    // reload comes.
    const QString media = heldMedia(*m_service);
    QVERIFY(startWindow(smallCatalogue(media)));

    BottomList *tv = m_gui->bottomTab(1);
    clickRow(tv->getTable(), 0);
    QTest::mouseDClick(tv->getTable()->viewport(), Qt::LeftButton, Qt::NoModifier,
                       tv->getTable()->visualRect(tv->getTable()->model()->index(0, 0)).center());
    QVERIFY(dynamic_cast<MediaPlayerWMP *>(m_gui->mediaPlayer.get()));
    QVERIFY(m_gui->actionStop->isEnabled());
    // The rentals in front of the favourites folder.
    QVERIFY(m_gui->ppvTab);
    m_gui->cTabFavLoc->setCurrentIndex(1);

    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    m_gui->actionUpdateDatabase->trigger();
    QVERIFY(waitForLoads(loads, 1));
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(m_gui->mediaPlayer.get()));
    QVERIFY(!m_gui->actionStop->isEnabled());
    QCOMPARE(m_gui->cTabFavLoc->currentIndex(), 0);
}

void TestGuiTabs::addFavoriteAfterTabSwitch()
{
    QVERIFY(startWindow(smallCatalogue()));
    BottomList *tv = m_gui->bottomTab(1);
    BottomList *radio = m_gui->bottomTab(2);
    QTabBar *bar = m_gui->cBottomTab->tabBar();
    // A row of the Radio tab is selected, then a row of the Tv tab.
    bar->setCurrentIndex(m_gui->cBottomTab->indexOf(radio));
    clickRow(radio->getTable(), 1);
    bar->setCurrentIndex(m_gui->cBottomTab->indexOf(tv));
    clickRow(tv->getTable(), 0);
    QCOMPARE(m_gui->currentTable.data(), tv->getTable());
    // Back to Radio: its viewer is current, and its table still shows its
    // selected row.
    bar->setCurrentIndex(m_gui->cBottomTab->indexOf(radio));
    QCOMPARE(m_gui->currentTableViewer.data(), radio->getTableViewer());
    QCOMPARE(radio->getTable()->selectionIndex(), 1);
    const StreamInfoPtr shown = radio->getTableViewer()->element(1);
    // Adding takes the row selected in the current viewer's own table.
    m_gui->actionCurrentTableFavorite->run();
    QCOMPARE(m_gui->favoritesTableViewer->rowCount(), 1);
    QCOMPARE(m_gui->favoritesTableViewer->element(0).get(), shown.get());
}

void TestGuiTabs::keyboardMenuAfterTabSwitch()
{
    m_service = startService();
    QVERIFY(m_service);
    const QString media = heldMedia(*m_service);
    QVERIFY(startWindow(smallCatalogue(media)));
    BottomList *tv = m_gui->bottomTab(1);
    BottomList *radio = m_gui->bottomTab(2);
    QTabBar *bar = m_gui->cBottomTab->tabBar();
    bar->setCurrentIndex(m_gui->cBottomTab->indexOf(radio));
    clickRow(radio->getTable(), 1);
    bar->setCurrentIndex(m_gui->cBottomTab->indexOf(tv));
    clickRow(tv->getTable(), 0);
    bar->setCurrentIndex(m_gui->cBottomTab->indexOf(radio));
    QCOMPARE(m_gui->currentTable.data(), tv->getTable());
    // The menu key on the Radio table, then its Play.
    RecordTableView *table = radio->getTable();
    const QPoint pos = table->visualRect(table->model()->index(1, 0)).center();
    QContextMenuEvent event(QContextMenuEvent::Keyboard, pos, table->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(table->viewport(), &event);
    QCOMPARE(m_gui->currentTable.data(), table);
    QMenu *menu = table->findChild<QMenu *>();
    QVERIFY(menu);
    menu->actions().at(0)->trigger();
    menu->close();
    QVERIFY(m_gui->currentStream);
    QCOMPARE(m_gui->currentStream.get(), radio->getTableViewer()->element(1).get());
    m_gui->actionStop->run();
}

void TestGuiTabs::directoryStreamDroppedTwice()
{
    QVERIFY(startWindow(smallCatalogue()));
    BottomList *ice = m_gui->bottomTab(8);
    QVERIFY(ice);
    const StreamInfoPtr entry = ice->getTableViewer()->element(0);
    QCOMPARE(entry->getId(), 0);
    for (int round = 1; round <= 2; ++round) {
        std::unique_ptr<QMimeData> data(m_gui->streamDragData(entry));
        QVERIFY(dropOnFavorites(*m_gui, data.get()));
        m_gui->streamDragFinished();
        QCOMPARE(m_gui->favoritesTableViewer->rowCount(), round);
    }
    // Shown with the directory's type and the Windows Media Player picture.
    RecordTableModel *favorites = m_gui->favoritesTableViewer;
    QCOMPARE(favorites->data(favorites->index(1, 0)).toString(), QStringLiteral(" Ice Only"));
    QCOMPARE(favorites->data(favorites->index(1, 1)).toString(), QStringLiteral("Icecast"));
    QVERIFY(!favorites->data(favorites->index(1, 0), Qt::DecorationRole).value<QIcon>().isNull());
}

void TestGuiTabs::favoritesNameColumnWidth_data()
{
    QTest::addColumn<int>("tableWidth");
    QTest::addColumn<int>("extraOverRule");
    // Wide: the table's width minus 60 and the scroll bar; narrow: 90.
    QTest::newRow("wide") << 500 << 0;
    QTest::newRow("narrow") << 120 << -1;
}

void TestGuiTabs::favoritesNameColumnWidth()
{
    QFETCH(int, tableWidth);
    QFETCH(int, extraOverRule);
    QVERIFY(startWindow(smallCatalogue()));
    RecordTableView *favorites = m_gui->favoritesTable;
    favorites->resize(tableWidth, 200);
    const int scrollBar = favorites->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, favorites);
    const int expected = extraOverRule < 0 ? 90 : tableWidth - 60 - scrollBar;
    QTRY_COMPARE(favorites->columnWidth(0), expected);
    QCOMPARE(favorites->columnWidth(1), 60);
}

void TestGuiTabs::playFirstFavoriteWithRentalsInFront()
{
    m_service = startService();
    QVERIFY(m_service);
    m_service->setPpvMovies({movie(701, QStringLiteral("Rented Movie"), 5400)});
    m_service->clearRentals();
    m_service->setGlobalRental(701, 600);
    const QString media = heldMedia(*m_service);
    QVERIFY(startWindow(smallCatalogue(media)));
    BottomList *tv = m_gui->bottomTab(1);
    clickRow(tv->getTable(), 0);
    m_gui->actionCurrentTableFavorite->run();
    QCOMPARE(m_gui->favoritesTableViewer->rowCount(), 1);
    QVERIFY(m_gui->ppvTab);
    m_gui->cTabFavLoc->setCurrentIndex(1);
    QCOMPARE(m_gui->favoritesTable->selectionIndex(), -1);

    m_gui->actionFavoritesPlay1Menu->trigger();
    QCOMPARE(m_gui->favoritesTable->selectionIndex(), 0);
    QCOMPARE(m_gui->currentTable.data(), m_gui->favoritesTable.data());
    QVERIFY(m_gui->currentStream);
    QCOMPARE(m_gui->currentStream.get(), m_gui->favoritesTableViewer->element(0).get());
    // The folder stays at the rentals.
    QCOMPARE(m_gui->cTabFavLoc->currentIndex(), 1);
    m_gui->actionStop->run();
}

void TestGuiTabs::favoritesMenuPlaysTheFavorite()
{
    m_service = startService();
    QVERIFY(m_service);
    const QString media = heldMedia(*m_service);
    QVERIFY(startWindow(smallCatalogue(media)));
    BottomList *tv = m_gui->bottomTab(1);
    clickRow(tv->getTable(), 0);
    m_gui->actionCurrentTableFavorite->run();
    // The favourite is selected, then a Tv row is touched.
    clickRow(m_gui->favoritesTable, 0);
    clickRow(tv->getTable(), 2);
    QCOMPARE(m_gui->currentTable.data(), tv->getTable());
    // The menu of the favourites, over the favourite already selected.
    RecordTableView *favorites = m_gui->favoritesTable;
    const QPoint pos = favorites->visualRect(favorites->model()->index(0, 0)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, favorites->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(favorites->viewport(), &event);
    QMenu *menu = favorites->findChild<QMenu *>();
    QVERIFY(menu);
    menu->actions().at(0)->trigger();
    menu->close();
    QVERIFY(m_gui->currentStream);
    QCOMPARE(m_gui->currentStream.get(), m_gui->favoritesTableViewer->element(0).get());
    m_gui->actionStop->run();
}

void TestGuiTabs::payTvNameHeader()
{
    m_service = startService();
    QVERIFY(m_service);
    m_service->setPpvMovies({movie(701, QStringLiteral("Beta"), 5400), movie(702, QStringLiteral("alpha"), 3000),
                             movie(703, QStringLiteral("Gamma"), 4000)});
    QVERIFY(startWindow(smallCatalogue()));
    BottomList *ppv = m_gui->bottomTab(9);
    QVERIFY(ppv);
    QCOMPARE(names(ppv->getTableViewer()), (QStringList{"alpha", "Beta", "Gamma"}));
    // The view starts by name ascending: the first click sorts descending.
    ppv->sortByColumn(0);
    QCOMPARE(names(ppv->getTableViewer()), (QStringList{"Gamma", "Beta", "alpha"}));
    QHeaderView *header = ppv->getTable()->horizontalHeader();
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    ppv->sortByColumn(0);
    QCOMPARE(names(ppv->getTableViewer()), (QStringList{"alpha", "Beta", "Gamma"}));
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
}

void TestGuiTabs::reloadStartedBeforeRebuildAnimates()
{
    QVERIFY(startWindow(smallCatalogue()));
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    m_gui->updateDatabase();
    // The UI thread is busy until the load has cleared its running flag: its
    // rebuild is still waiting in the queue when the next load starts.
    QElapsedTimer timer;
    timer.start();
    while (m_gui->isLoadRunning() && timer.elapsed() < 10000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    QVERIFY(!m_gui->isLoadRunning());
    QCOMPARE(loads.count(), 0);
    // The next load waits for the catalogue revision until the test lets
    // it go on.
    m_service->holdReplies(QStringLiteral("/cacheversion.txt"));
    m_gui->updateDatabase();
    QVERIFY(m_gui->isLoadRunning());
    // The earlier load's rebuild and its final text come now...
    QTRY_COMPARE(loads.count(), 1);
    QVERIFY(waitForPostedTasks());
    QVERIFY(m_gui->isLoadRunning());
    // ...and the running load's animation goes on saying so.
    QTRY_COMPARE(m_gui->statusLine2->text(), QStringLiteral("Loading database."));
    QVERIFY(m_gui->isLoadRunning());
    m_service->releaseReplies(QStringLiteral("/cacheversion.txt"));
    QVERIFY(waitForLoads(loads, 2));
    QCOMPARE(m_gui->statusLine2->text(), QStringLiteral("Database loaded."));
}

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestGuiTabs test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_gui_tabs.moc"
