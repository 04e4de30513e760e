// The stream tabs after a real load: sorting by header clicks, searching on
// every key release, the filter reset on focus, tab switching, the context
// menus by kind, and the table actions once their table is gone; the tab plan
// for catalogues that leave some lists empty, the rented list, a reload while
// a stream plays, a keyboard menu after a tab switch, the Pay Tv name header
// and a reload started before the previous load's rebuild ran.
#include "tests/window/GuiTestSupport.h"

#include "catalogue/PPVView.h"
#include "catalogue/StreamsView.h"
#include "window/BottomList.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"
#include "window/players/MediaPlayerStaticImage.h"
#include "window/players/MediaPlayerWMP.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <chrono>
#include <thread>

namespace {

QStringList names(BottomList *tab)
{
    QStringList list;
    RecordTableModel *model = tab->getTableViewer();
    for (int i = 0; i < model->rowCount(); ++i)
        list << model->element(i)->getName();
    return list;
}

void clickHeader(BottomList *tab, int column)
{
    QHeaderView *header = tab->getTable()->horizontalHeader();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
}

void clickRow(BottomList *tab, int row)
{
    clickRow(tab->getTable(), row);
}

QByteArray directory()
{
    std::vector<RefService::DirectoryEntry> entries;
    const struct
    {
        const char *name, *genre, *bitrate;
    } rows[] = {{"Ice Beta", "Rock", "192"}, {"Ice Alpha", "Jazz", "64"}, {"Ice Gamma", "Ambient", "128"}};
    for (const auto &r : rows) {
        RefService::DirectoryEntry e;
        e.serverName = QString::fromLatin1(r.name);
        e.genre = QString::fromLatin1(r.genre);
        e.bitrate = QString::fromLatin1(r.bitrate);
        e.listenUrl = unreachableUrl(QLatin1Char('/') + QString::fromLatin1(r.name).toLower());
        entries.push_back(e);
    }
    return RefService::directoryDocument(entries);
}

std::vector<RefService::PpvMovie> movies()
{
    return {movie(701, QStringLiteral("Long Drama"), 5400),
            movie(702, QStringLiteral("Short Comedy"), 3600, QStringLiteral("Comedy")),
            movie(703, QStringLiteral("Average Thriller"), 4000, QStringLiteral("Thriller"))};
}

using Entries = std::vector<RefService::CatalogueEntry>;

QByteArray document(const Entries &entries)
{
    RefService::CatalogueInfo info;
    info.withInfo = true;
    return RefService::catalogueDocument(entries, info);
}

} // namespace

class TestGuiTables : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void sorting_data();
    void sorting();
    void sortToggles();
    void searchOnEveryKey();
    void focusResetsFilters();
    void tabSwitch();
    void payPerViewTabSwitch();
    void contextMenus();
    void rowTouchMakesTableCurrent();
    void actionsAfterTableRemoved();
    void actionsBeforeAnyTable();
    void tabPlanEdgeCases_data();
    void tabPlanEdgeCases();
    void rentedListHoldsMoviesWithTimeLeft();
    void reloadWhilePlaying();
    void keyboardMenuAfterTabSwitch();
    void payTvNameHeader();
    void reloadStartedBeforeRebuildAnimates();

private:
    // Starts a window of the test's own on catalogue and waits for its first
    // load; the test drops the fixture's window and service first.
    bool startWindow(const QByteArray &catalogue, bool adultVisible = true);

    std::unique_ptr<TestWorkspace> m_workspace;
    std::unique_ptr<ReferenceService> m_service;
    std::unique_ptr<Gui> m_gui;
};

void TestGuiTables::initTestCase()
{
    // Streams play with no sound device.
    qputenv("QUORVANTEL_MPV_AO", "null");
}

void TestGuiTables::init()
{
    m_workspace = std::make_unique<TestWorkspace>();
    m_service = startService();
    QVERIFY(m_service);
    m_service->setCatalogue(smallCatalogue());
    m_service->setDirectory(directory());
    m_service->setPpvMovies(movies());
    m_service->clearRentals();
    m_gui = std::make_unique<Gui>();
    QVERIFY(openAndWaitForLoad(*m_gui));
    QVERIFY(m_gui->streamTabs()->bottomTab(1));
}

void TestGuiTables::cleanup()
{
    m_gui.reset();
    m_service.reset();
    m_workspace.reset();
}

bool TestGuiTables::startWindow(const QByteArray &catalogue, bool adultVisible)
{
    return startOwnWindow(m_workspace, m_service, m_gui, catalogue, adultVisible);
}

void TestGuiTables::sorting_data()
{
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<int>("direction");
    QTest::newRow("Tv Name: first click descending") << 1 << 0
                                                     << QStringList{"Delta Silent", "Charlie Kids", "Bravo News",
                                                                    "alpha Sport"}
                                                     << int(Qt::DescendingOrder);
    QTest::newRow("Tv Genre by category") << 1 << 1
                                          << QStringList{"Delta Silent", "Charlie Kids", "Bravo News", "alpha Sport"}
                                          << int(Qt::AscendingOrder);
    QTest::newRow("Tv Country by country") << 1 << 2
                                           << QStringList{"Charlie Kids", "Delta Silent", "alpha Sport", "Bravo News"}
                                           << int(Qt::AscendingOrder);
    QTest::newRow("Tv Quality by bit rate") << 1 << 3
                                            << QStringList{"alpha Sport", "Charlie Kids", "Bravo News", "Delta Silent"}
                                            << int(Qt::AscendingOrder);
    QTest::newRow("Radio Quality by bit rate") << 2 << 3 << QStringList{"Radio Two", "Radio One"}
                                               << int(Qt::AscendingOrder);
    QTest::newRow("Radio Country by country") << 2 << 2 << QStringList{"Radio Two", "Radio One"}
                                              << int(Qt::AscendingOrder);
    QTest::newRow("Movies Country by country") << 5 << 2 << QStringList{"Movie Night", "Film Club"}
                                               << int(Qt::AscendingOrder);
    QTest::newRow("Movies Genre by category") << 5 << 1 << QStringList{"Film Club", "Movie Night"}
                                              << int(Qt::AscendingOrder);
    QTest::newRow("Icecast Quality by bit rate") << 8 << 3 << QStringList{"Ice Alpha", "Ice Gamma", "Ice Beta"}
                                                 << int(Qt::AscendingOrder);
    QTest::newRow("Icecast genre column by genre") << 8 << 1 << QStringList{"Ice Gamma", "Ice Alpha", "Ice Beta"}
                                                   << int(Qt::AscendingOrder);
    QTest::newRow("Pay Tv Genre by category") << 9 << 1
                                              << QStringList{"Short Comedy", "Long Drama", "Average Thriller"}
                                              << int(Qt::AscendingOrder);
    QTest::newRow("Pay Tv Length by length") << 9 << 2
                                             << QStringList{"Short Comedy", "Average Thriller", "Long Drama"}
                                             << int(Qt::AscendingOrder);
}

void TestGuiTables::sorting()
{
    QFETCH(int, slot);
    QFETCH(int, column);
    QFETCH(QStringList, order);
    QFETCH(int, direction);
    BottomList *tab = m_gui->streamTabs()->bottomTab(slot);
    QVERIFY(tab);
    probe(m_gui).cBottomTab()->setCurrentWidget(tab);
    clickHeader(tab, column);
    QCOMPARE(names(tab), order);
    QHeaderView *header = tab->getTable()->horizontalHeader();
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorSection(), column);
    QCOMPARE(int(header->sortIndicatorOrder()), direction);
}

void TestGuiTables::sortToggles()
{
    BottomList *tv = m_gui->streamTabs()->bottomTab(1);
    // Genre: ascending, descending, ascending.
    clickHeader(tv, 1);
    QCOMPARE(names(tv).first(), QStringLiteral("Delta Silent"));
    clickHeader(tv, 1);
    QCOMPARE(names(tv).first(), QStringLiteral("alpha Sport"));
    QCOMPARE(tv->getTable()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    clickHeader(tv, 1);
    QCOMPARE(names(tv).first(), QStringLiteral("Delta Silent"));
    // Another column always starts ascending.
    clickHeader(tv, 3);
    QCOMPARE(names(tv).first(), QStringLiteral("alpha Sport"));
    QCOMPARE(tv->getTable()->horizontalHeader()->sortIndicatorSection(), 3);
    QCOMPARE(tv->getTable()->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    // The sort stays through a search.
    QTest::keyClicks(probe(m_gui).searchText(), QStringLiteral("a"));
    QCOMPARE(names(tv).first(), QStringLiteral("alpha Sport"));
}

void TestGuiTables::searchOnEveryKey()
{
    BottomList *tv = m_gui->streamTabs()->bottomTab(1);
    BottomList *radio = m_gui->streamTabs()->bottomTab(2);
    BottomList *ice = m_gui->streamTabs()->bottomTab(8);
    QTest::keyClick(probe(m_gui).searchText(), Qt::Key_R);
    // "r" is in many names, genres and countries.
    QVERIFY(!names(radio).isEmpty());
    QTest::keyClicks(probe(m_gui).searchText(), QStringLiteral("adio"));
    QCOMPARE(probe(m_gui).searchText()->text(), QStringLiteral("radio"));
    QCOMPARE(names(radio), (QStringList{"Radio One", "Radio Two"}));
    QVERIFY(names(tv).isEmpty());
    QVERIFY(names(ice).isEmpty());
    // Genres match in stream tabs; the directory is searched by name only.
    probe(m_gui).searchText()->clear();
    QTest::keyClicks(probe(m_gui).searchText(), QStringLiteral("jazz"));
    QCOMPARE(names(radio), QStringList{"Radio Two"});
    QVERIFY(names(ice).isEmpty());
    probe(m_gui).searchText()->clear();
    QTest::keyClicks(probe(m_gui).searchText(), QStringLiteral("ice a"));
    QCOMPARE(names(ice), QStringList{"Ice Alpha"});
    // Emptying the field shows everything again.
    probe(m_gui).searchText()->clear();
    QTest::keyClick(probe(m_gui).searchText(), Qt::Key_Backspace);
    QCOMPARE(names(tv).size(), 4);
    QCOMPARE(names(ice).size(), 3);
}

void TestGuiTables::focusResetsFilters()
{
    BottomList *tv = m_gui->streamTabs()->bottomTab(1);
    const auto categories = tv->getStreamsView()->getCategories();
    QVERIFY(categories.size() > 1);
    tv->selectCategory(categories.back()->getId());
    QVERIFY(names(tv).size() < 4);
    QFocusEvent focus(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(probe(m_gui).searchText(), &focus);
    QCOMPARE(tv->getStreamsView()->getSelectedCategory(), 0);
    QCOMPARE(tv->getStreamsView()->getSelectedCountry(), 0);
    QCOMPARE(names(tv).size(), 4);
}

void TestGuiTables::tabSwitch()
{
    BottomList *tv = m_gui->streamTabs()->bottomTab(1);
    BottomList *radio = m_gui->streamTabs()->bottomTab(2);
    QTest::keyClicks(probe(m_gui).searchText(), QStringLiteral("news"));
    QCOMPARE(names(tv), QStringList{"Bravo News"});
    clickRow(tv, 0);
    QVERIFY(probe(m_gui).actionPlay()->isEnabled());
    QCOMPARE(probe(m_gui).currentTable().data(), tv->getTable());

    // The user picks the Radio tab.
    probe(m_gui).cBottomTab()->tabBar()->setCurrentIndex(probe(m_gui).cBottomTab()->indexOf(radio));
    QVERIFY(probe(m_gui).cBottomTab()->isTabBold(radio));
    QVERIFY(!probe(m_gui).cBottomTab()->isTabBold(tv));
    QVERIFY(probe(m_gui).searchText()->text().isEmpty());
    QCOMPARE(names(tv).size(), 4);
    QCOMPARE(probe(m_gui).currentView(), radio->getStreamsView());
    QCOMPARE(probe(m_gui).currentTableViewer().data(), radio->getTableViewer());
    // Play waits for a touched row, even though the old table still shows a
    // selection; the current table follows on that touch.
    QVERIFY(!probe(m_gui).actionPlay()->isEnabled());
    QVERIFY(!probe(m_gui).actionPlayMenu()->isEnabled());
    QCOMPARE(probe(m_gui).currentTable().data(), tv->getTable());
    clickRow(radio, 1);
    QVERIFY(probe(m_gui).actionPlay()->isEnabled());
    QCOMPARE(probe(m_gui).currentTable().data(), radio->getTable());
    QVERIFY(probe(m_gui).searchText()->isEnabled());
    QCOMPARE(probe(m_gui).cTabFavLoc()->currentIndex(), 0);
}

void TestGuiTables::payPerViewTabSwitch()
{
    // Rentals make the favourites folder's second tab.
    m_service->setGlobalRental(701, 1000);
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    m_gui->updateDatabase();
    QVERIFY(waitForLoads(loads, 1));
    QVERIFY(probe(m_gui).ppvTab());
    BottomList *ppv = m_gui->streamTabs()->bottomTab(9);
    QVERIFY(ppv);
    probe(m_gui).cBottomTab()->tabBar()->setCurrentIndex(probe(m_gui).cBottomTab()->indexOf(ppv));
    QVERIFY(!probe(m_gui).searchText()->isEnabled());
    QCOMPARE(probe(m_gui).cTabFavLoc()->currentIndex(), 1);
    probe(m_gui).cBottomTab()->tabBar()->setCurrentIndex(probe(m_gui).cBottomTab()->indexOf(m_gui->streamTabs()->bottomTab(1)));
    QVERIFY(probe(m_gui).searchText()->isEnabled());
    QCOMPARE(probe(m_gui).cTabFavLoc()->currentIndex(), 0);
}

void TestGuiTables::contextMenus()
{
    auto entries = [](BottomList *tab) {
        QStringList texts;
        if (QMenu *menu = tab->getTable()->findChild<QMenu *>()) {
            for (QAction *a : menu->actions())
                texts << a->text();
        }
        return texts;
    };
    const QStringList stream = {"Play", "Add to favorites", "Report this stream as not working"};
    for (int slot : {1, 2, 4, 5})
        QCOMPARE(entries(m_gui->streamTabs()->bottomTab(slot)), stream);
    QCOMPARE(entries(m_gui->streamTabs()->bottomTab(8)), (QStringList{"Play", "Add to favorites"}));
    QVERIFY(entries(m_gui->streamTabs()->bottomTab(9)).isEmpty());
    QCOMPARE(m_gui->streamTabs()->bottomTab(9)->getTable()->contextMenuPolicy(), Qt::DefaultContextMenu);
    // The favourites table's menu.
    QMenu *favorites = probe(m_gui).favoritesTable()->findChild<QMenu *>();
    QVERIFY(favorites);
    QStringList texts;
    for (QAction *a : favorites->actions())
        texts << a->text();
    QCOMPARE(texts, (QStringList{"Play", "Remove from favorites"}));
}

void TestGuiTables::rowTouchMakesTableCurrent()
{
    BottomList *movies = m_gui->streamTabs()->bottomTab(5);
    probe(m_gui).cBottomTab()->setCurrentWidget(movies);
    // A press alone (as at the start of a drag or a right click).
    RecordTableView *table = movies->getTable();
    const QRect rect = table->visualRect(table->model()->index(0, 0));
    QTest::mousePress(table->viewport(), Qt::RightButton, Qt::NoModifier, rect.center());
    QCOMPARE(probe(m_gui).currentTable().data(), table);
    QCOMPARE(probe(m_gui).currentTableViewer().data(), movies->getTableViewer());
    QTest::mouseRelease(table->viewport(), Qt::RightButton, Qt::NoModifier, rect.center());
}

void TestGuiTables::actionsAfterTableRemoved()
{
    BottomList *adult = m_gui->streamTabs()->bottomTab(4);
    QVERIFY(adult);
    probe(m_gui).cBottomTab()->setCurrentWidget(adult);
    clickRow(adult, 0);
    QCOMPARE(probe(m_gui).currentTable().data(), adult->getTable());
    // The user closes the tab.
    auto *close = qobject_cast<QAbstractButton *>(probe(m_gui).cBottomTab()->closeButton(adult));
    QVERIFY(close);
    close->click();
    QTRY_VERIFY(!m_gui->streamTabs()->bottomTab(4));
    QVERIFY(!probe(m_gui).currentTable());
    // The tab now in front was activated: its viewer, but no table yet.
    QCOMPARE(probe(m_gui).currentTableViewer().data(),
             qobject_cast<BottomList *>(probe(m_gui).cBottomTab()->currentWidget())->getTableViewer());

    const QString status = probe(m_gui).statusLine()->text();
    ModalAnswers answers;
    probe(m_gui).actionReportBrokenLink()->run();
    probe(m_gui).actionCurrentTableFavorite()->run();
    probe(m_gui).actionPlayFromCurrentTable()->run();
    probe(m_gui).actionPlay()->run();
    QVERIFY(waitForPostedTasks());
    QCOMPARE(answers.unexpected(), 0);
    QCOMPARE(probe(m_gui).statusLine()->text(), status);
    QVERIFY(!m_gui->playback()->currentStream());
    QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), 0);
    // Search and tab switches skip the closed slot.
    QTest::keyClicks(probe(m_gui).searchText(), QStringLiteral("x"));
    probe(m_gui).cBottomTab()->tabBar()->setCurrentIndex(0);
}

void TestGuiTables::actionsBeforeAnyTable()
{
    cleanup();
    m_workspace = std::make_unique<TestWorkspace>();
    m_service = startService();
    QVERIFY(m_service);
    m_service->setCatalogue(smallCatalogue());
    // The first load waits for the catalogue revision until released.
    m_service->holdReplies(QStringLiteral("/cacheversion.txt"));
    m_gui = std::make_unique<Gui>();
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    ModalAnswers answers;
    // Before the window exists and while the first load runs, there is no
    // table to act on.
    for (GuiAction *a : {probe(m_gui).actionReportBrokenLink(), probe(m_gui).actionCurrentTableFavorite(),
                         probe(m_gui).actionPlayFromCurrentTable(), probe(m_gui).actionRemoveFavorite(), probe(m_gui).actionFavoritesPlay1Menu()})
        a->run();
    m_gui->open(false);
    for (GuiAction *a : {probe(m_gui).actionReportBrokenLink(), probe(m_gui).actionCurrentTableFavorite(),
                         probe(m_gui).actionPlayFromCurrentTable(), probe(m_gui).actionRemoveFavorite(), probe(m_gui).actionFavoritesPlay1Menu(),
                         probe(m_gui).actionSearch()})
        a->run();
    QCOMPARE(answers.unexpected(), 0);
    QVERIFY(!m_gui->playback()->currentStream());
    m_service->releaseReplies(QStringLiteral("/cacheversion.txt"));
    QVERIFY(waitForLoads(loads, 1));
}

void TestGuiTables::tabPlanEdgeCases_data()
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

void TestGuiTables::tabPlanEdgeCases()
{
    cleanup();
    QFETCH(QByteArray, catalogue);
    QFETCH(bool, adultVisible);
    QFETCH(bool, withDirectory);
    QFETCH(bool, withMovies);
    QFETCH(QList<int>, tabSlots);
    QFETCH(QStringList, titles);
    QFETCH(int, currentSlot);
    m_service = startService();
    QVERIFY(m_service);
    m_service->setDirectory(withDirectory ? oneStationDirectory() : RefService::directoryDocument({}));
    if (withMovies)
        m_service->setPpvMovies({movie(701, QStringLiteral("Rented Movie"), 5400)});
    else
        m_service->setPpvMovies({});
    m_service->setGlobalRental(701, 600);
    QVERIFY(startWindow(catalogue, adultVisible));

    QCOMPARE(liveSlots(*m_gui), tabSlots);
    QCOMPARE(folderTitles(probe(m_gui).cBottomTab()), titles);
    QCOMPARE(probe(m_gui).statusLine2()->text(), QStringLiteral("Database loaded."));
    if (currentSlot < 0) {
        QVERIFY(!probe(m_gui).currentTable());
        QVERIFY(!probe(m_gui).currentTableViewer());
        QCOMPARE(probe(m_gui).cBottomTab()->count(), 0);
    } else {
        BottomList *current = m_gui->streamTabs()->bottomTab(currentSlot);
        QCOMPARE(probe(m_gui).cBottomTab()->currentWidget(), current);
        QVERIFY(probe(m_gui).cBottomTab()->isTabBold(current));
        QCOMPARE(probe(m_gui).currentTable().data(), current->getTable());
        QCOMPARE(probe(m_gui).currentTableViewer().data(), current->getTableViewer());
        QVERIFY(probe(m_gui).actionPlay()->isEnabled());
    }
    // The Adult content tab is made whenever adult content is shown, also
    // with an empty list.
    if (BottomList *adultTab = m_gui->streamTabs()->bottomTab(4)) {
        if (!catalogue.contains("Erotic"))
            QCOMPARE(adultTab->getTableViewer()->rowCount(), 0);
    }
    // Without a Pay Tv tab the rented list ends empty and no rentals tab is
    // made.
    if (!m_gui->streamTabs()->bottomTab(9)) {
        if (adultVisible)
            QVERIFY(probe(m_gui).pPVView()->getPpvActive().empty());
        QVERIFY(!probe(m_gui).ppvTab());
    }
    QCOMPARE(probe(m_gui).cTabFavLoc()->currentIndex(), 0);
}

void TestGuiTables::rentedListHoldsMoviesWithTimeLeft()
{
    cleanup();
    m_service = startService();
    QVERIFY(m_service);
    m_service->setPpvMovies({movie(701, QStringLiteral("Rented A"), 5400), movie(702, QStringLiteral("Expired"), 3000),
                             movie(703, QStringLiteral("Rented B"), 4000), movie(704, QStringLiteral("Never"), 100)});
    m_service->clearRentals();
    m_service->setGlobalRental(701, 1000);
    m_service->setGlobalRental(702, 0);
    m_service->setGlobalRental(703, 20);
    QVERIFY(startWindow(smallCatalogue()));
    QVERIFY(m_gui->streamTabs()->bottomTab(9));
    QCOMPARE(m_gui->streamTabs()->bottomTab(9)->getTableViewer()->rowCount(), 4);
    const std::vector<PPVStreamInfoPtr> rented = probe(m_gui).pPVView()->getPpvActive();
    QStringList rentedNames;
    for (const PPVStreamInfoPtr &m : rented)
        rentedNames << m->getName();
    rentedNames.sort();
    QCOMPARE(rentedNames, (QStringList{"Rented A", "Rented B"}));
    QVERIFY(probe(m_gui).ppvTab());
    QCOMPARE(probe(m_gui).ppvTableViewer()->rowCount(), 2);

    // A second load adds each rental once again, not twice.
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    m_gui->updateDatabase();
    QVERIFY(waitForLoads(loads, 1));
    QCOMPARE(probe(m_gui).pPVView()->getPpvActive().size(), size_t(2));
    QCOMPARE(probe(m_gui).ppvTableViewer()->rowCount(), 2);

    // A double click on a rental plays it through the play path.
    probe(m_gui).cTabFavLoc()->setCurrentIndex(1);
    RecordTableView *rentals = probe(m_gui).ppvTable();
    const QRect rect = rentals->visualRect(rentals->model()->index(1, 0));
    QTest::mouseClick(rentals->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    QTest::mouseDClick(rentals->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    QCOMPARE(probe(m_gui).currentTable().data(), rentals);
    QVERIFY(m_gui->playback()->currentStream());
    QCOMPARE(m_gui->playback()->currentStream().get(), probe(m_gui).ppvTableViewer()->element(1).get());
    probe(m_gui).actionStop()->run();
}

void TestGuiTables::reloadWhilePlaying()
{
    cleanup();
    m_service = startServiceWithRental();
    QVERIFY(m_service);
    // The media answer late, so the player is still waiting when the
    // reload comes.
    const QString media = heldMedia(*m_service);
    QVERIFY(startWindow(smallCatalogue(media)));

    BottomList *tv = m_gui->streamTabs()->bottomTab(1);
    clickRow(tv->getTable(), 0);
    QTest::mouseDClick(tv->getTable()->viewport(), Qt::LeftButton, Qt::NoModifier,
                       tv->getTable()->visualRect(tv->getTable()->model()->index(0, 0)).center());
    QVERIFY(dynamic_cast<MediaPlayerWMP *>(m_gui->playback()->player()));
    QVERIFY(probe(m_gui).actionStop()->isEnabled());
    // The rentals in front of the favourites folder.
    QVERIFY(probe(m_gui).ppvTab());
    probe(m_gui).cTabFavLoc()->setCurrentIndex(1);

    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    probe(m_gui).actionUpdateDatabase()->trigger();
    QVERIFY(waitForLoads(loads, 1));
    QVERIFY(dynamic_cast<MediaPlayerStaticImage *>(m_gui->playback()->player()));
    QVERIFY(!probe(m_gui).actionStop()->isEnabled());
    QCOMPARE(probe(m_gui).cTabFavLoc()->currentIndex(), 0);
}

void TestGuiTables::keyboardMenuAfterTabSwitch()
{
    cleanup();
    m_service = startService();
    QVERIFY(m_service);
    const QString media = heldMedia(*m_service);
    QVERIFY(startWindow(smallCatalogue(media)));
    BottomList *tv = m_gui->streamTabs()->bottomTab(1);
    BottomList *radio = m_gui->streamTabs()->bottomTab(2);
    QTabBar *bar = probe(m_gui).cBottomTab()->tabBar();
    bar->setCurrentIndex(probe(m_gui).cBottomTab()->indexOf(radio));
    clickRow(radio->getTable(), 1);
    bar->setCurrentIndex(probe(m_gui).cBottomTab()->indexOf(tv));
    clickRow(tv->getTable(), 0);
    bar->setCurrentIndex(probe(m_gui).cBottomTab()->indexOf(radio));
    QCOMPARE(probe(m_gui).currentTable().data(), tv->getTable());
    // The menu key on the Radio table, then its Play.
    RecordTableView *table = radio->getTable();
    const QPoint pos = table->visualRect(table->model()->index(1, 0)).center();
    QContextMenuEvent event(QContextMenuEvent::Keyboard, pos, table->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(table->viewport(), &event);
    QCOMPARE(probe(m_gui).currentTable().data(), table);
    QMenu *menu = table->findChild<QMenu *>();
    QVERIFY(menu);
    menu->actions().at(0)->trigger();
    menu->close();
    QVERIFY(m_gui->playback()->currentStream());
    QCOMPARE(m_gui->playback()->currentStream().get(), radio->getTableViewer()->element(1).get());
    probe(m_gui).actionStop()->run();
}

void TestGuiTables::payTvNameHeader()
{
    cleanup();
    m_service = startService();
    QVERIFY(m_service);
    m_service->setPpvMovies({movie(701, QStringLiteral("Beta"), 5400), movie(702, QStringLiteral("alpha"), 3000),
                             movie(703, QStringLiteral("Gamma"), 4000)});
    QVERIFY(startWindow(smallCatalogue()));
    BottomList *ppv = m_gui->streamTabs()->bottomTab(9);
    QVERIFY(ppv);
    QCOMPARE(names(ppv), (QStringList{"alpha", "Beta", "Gamma"}));
    // The view starts by name ascending: the first click sorts descending.
    ppv->sortByColumn(0);
    QCOMPARE(names(ppv), (QStringList{"Gamma", "Beta", "alpha"}));
    QHeaderView *header = ppv->getTable()->horizontalHeader();
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    ppv->sortByColumn(0);
    QCOMPARE(names(ppv), (QStringList{"alpha", "Beta", "Gamma"}));
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
}

void TestGuiTables::reloadStartedBeforeRebuildAnimates()
{
    cleanup();
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
    QTRY_COMPARE(probe(m_gui).statusLine2()->text(), QStringLiteral("Loading database."));
    QVERIFY(m_gui->isLoadRunning());
    m_service->releaseReplies(QStringLiteral("/cacheversion.txt"));
    QVERIFY(waitForLoads(loads, 2));
    QCOMPARE(probe(m_gui).statusLine2()->text(), QStringLiteral("Database loaded."));
}

QTEST_MAIN(TestGuiTables)
#include "tst_gui_tables.moc"
