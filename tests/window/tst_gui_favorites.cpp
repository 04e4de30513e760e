// The favourites folder after a real load: adding from a stream tab, also
// after a tab switch, drag and drop with synthetic events (the program's own
// drags only, after every reload; a directory stream dropped twice), removing
// with its selection rule, Ctrl+1 to Ctrl+9 (also with the rentals in front),
// the folder's menu over a row already selected, and the Name column's width.
#include "tests/window/GuiTestSupport.h"

#include "catalogue/StreamsView.h"
#include "window/BottomList.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QStyle>

namespace {

QStringList favoriteNames(Gui &gui)
{
    QStringList list;
    for (int i = 0; i < probe(gui).favoritesTableViewer()->rowCount(); ++i)
        list << probe(gui).favoritesTableViewer()->element(i)->getName();
    return list;
}

// Drags data over the favourites table and drops it; whether the table
// took the drag.
bool dropOnFavorites(Gui &gui, const QMimeData *data)
{
    QWidget *target = probe(gui).favoritesTable()->viewport();
    const QPoint pos(10, 10);
    QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(pos, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    if (!move.isAccepted())
        return false;
    QDropEvent drop(QPointF(pos), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

} // namespace

class TestGuiFavorites : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void addFromStreamTab();
    void dragAndDrop();
    void foreignDragsRefused_data();
    void foreignDragsRefused();
    void dropsAfterReload();
    void dragNeedsSelection();
    void removeSelectionRule();
    void removeLastDisablesDelete();
    void playFavoriteNumber();
    void favoritesAfterReload();
    void nameColumnRuleAfterReload_data();
    void nameColumnRuleAfterReload();
    void addFavoriteAfterTabSwitch();
    void directoryStreamDroppedTwice();
    void favoritesNameColumnWidth_data();
    void favoritesNameColumnWidth();
    void playFirstFavoriteWithRentalsInFront();
    void favoritesMenuPlaysTheFavorite();

private:
    void addTvRows(int count);
    // Starts a window of the test's own on catalogue and waits for its first
    // load; the test drops the fixture's window and service first.
    bool startWindow(const QByteArray &catalogue, bool adultVisible = true);

    std::unique_ptr<TestWorkspace> m_workspace;
    std::unique_ptr<ReferenceService> m_service;
    std::unique_ptr<Gui> m_gui;
};

void TestGuiFavorites::initTestCase()
{
    // Streams play with no sound device.
    qputenv("QUORVANTEL_MPV_AO", "null");
}

void TestGuiFavorites::init()
{
    m_workspace = std::make_unique<TestWorkspace>();
    m_service = startService();
    QVERIFY(m_service);
    m_service->setCatalogue(smallCatalogue());
    m_gui = std::make_unique<Gui>();
    QVERIFY(openAndWaitForLoad(*m_gui));
    QVERIFY(probe(m_gui).favoritesTable());
    QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), 0);
}

void TestGuiFavorites::cleanup()
{
    m_gui.reset();
    m_service.reset();
    m_workspace.reset();
}

bool TestGuiFavorites::startWindow(const QByteArray &catalogue, bool adultVisible)
{
    return startOwnWindow(m_workspace, m_service, m_gui, catalogue, adultVisible);
}

void TestGuiFavorites::addTvRows(int count)
{
    BottomList *tv = m_gui->streamTabs()->bottomTab(1);
    for (int i = 0; i < count; ++i) {
        clickRow(tv->getTable(), i);
        probe(m_gui).actionCurrentTableFavorite()->run();
    }
}

void TestGuiFavorites::addFromStreamTab()
{
    BottomList *tv = m_gui->streamTabs()->bottomTab(1);
    clickRow(tv->getTable(), 2);
    const StreamInfoPtr picked = tv->getTableViewer()->element(2);
    probe(m_gui).actionCurrentTableFavorite()->run();
    QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), 1);
    QCOMPARE(probe(m_gui).favoritesTableViewer()->element(0).get(), picked.get());
    QVERIFY(probe(m_gui).actionRemoveFavorite()->isEnabled());
    // The same stream again changes nothing.
    probe(m_gui).actionCurrentTableFavorite()->run();
    QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), 1);
    QCOMPARE(probe(m_gui).favoritesTableViewer()->data(probe(m_gui).favoritesTableViewer()->index(0, 1)).toString(),
             QStringLiteral("TV"));
}

void TestGuiFavorites::dragAndDrop()
{
    BottomList *tv = m_gui->streamTabs()->bottomTab(1);
    BottomList *radio = m_gui->streamTabs()->bottomTab(2);
    const StreamInfoPtr dragged = tv->getTableViewer()->element(1);
    std::unique_ptr<QMimeData> data(m_gui->streamDragData(dragged));
    QVERIFY(data->hasFormat(QString::fromLatin1(Gui::STREAM_MIME_TYPE)));
    QCOMPARE(data->text(), QString::number(dragged->getId()));
    // Another table is current: the dragged stream is what counts.
    probe(m_gui).cBottomTab()->setCurrentWidget(radio);
    clickRow(radio->getTable(), 0);
    QVERIFY(dropOnFavorites(*m_gui, data.get()));
    QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), 1);
    QCOMPARE(probe(m_gui).favoritesTableViewer()->element(0).get(), dragged.get());
    // Appended at the end; the same stream again adds nothing.
    std::unique_ptr<QMimeData> second(m_gui->streamDragData(radio->getTableViewer()->element(0)));
    QVERIFY(dropOnFavorites(*m_gui, second.get()));
    QCOMPARE(favoriteNames(*m_gui), (QStringList{dragged->getName(), radio->getTableViewer()->element(0)->getName()}));
    std::unique_ptr<QMimeData> again(m_gui->streamDragData(dragged));
    QVERIFY(dropOnFavorites(*m_gui, again.get()));
    QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), 2);
}

void TestGuiFavorites::foreignDragsRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("plain text from another program") << "text";
    QTest::newRow("our type with a wrong token") << "token";
    QTest::newRow("an earlier drag's data") << "stale";
}

void TestGuiFavorites::foreignDragsRefused()
{
    QFETCH(QString, kind);
    BottomList *tv = m_gui->streamTabs()->bottomTab(1);
    QMimeData data;
    std::unique_ptr<QMimeData> stale;
    if (kind == QLatin1String("text")) {
        data.setText(QString::number(tv->getTableViewer()->element(0)->getId()));
    } else if (kind == QLatin1String("token")) {
        std::unique_ptr<QMimeData> real(m_gui->streamDragData(tv->getTableViewer()->element(0)));
        data.setData(QString::fromLatin1(Gui::STREAM_MIME_TYPE), "forged");
    } else {
        stale.reset(m_gui->streamDragData(tv->getTableViewer()->element(0)));
        m_gui->streamDragFinished();
        std::unique_ptr<QMimeData> other(m_gui->streamDragData(tv->getTableViewer()->element(1)));
        data.setData(QString::fromLatin1(Gui::STREAM_MIME_TYPE), stale->data(QString::fromLatin1(Gui::STREAM_MIME_TYPE)));
    }
    QVERIFY(!dropOnFavorites(*m_gui, &data));
    // A drop sent without an accepted enter adds nothing either.
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(probe(m_gui).favoritesTable()->viewport(), &drop);
    QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), 0);
}

void TestGuiFavorites::dropsAfterReload()
{
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    for (int round = 1; round <= 2; ++round) {
        QPointer<RecordTableView> before = probe(m_gui).favoritesTable();
        m_gui->updateDatabase();
        QVERIFY(waitForLoads(loads, round));
        // A new favourites table...
        QVERIFY(!before);
        QVERIFY(probe(m_gui).favoritesTable()->isDropTarget());
        // ...that takes drops of the new tabs' streams.
        const StreamInfoPtr stream = m_gui->streamTabs()->bottomTab(1)->getTableViewer()->element(round);
        std::unique_ptr<QMimeData> data(m_gui->streamDragData(stream));
        QVERIFY(dropOnFavorites(*m_gui, data.get()));
        QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), round);
        QCOMPARE(probe(m_gui).favoritesTableViewer()->element(round - 1)->getId(), stream->getId());
    }
}

void TestGuiFavorites::dragNeedsSelection()
{
    // No record, no drag data of ours.
    std::unique_ptr<QMimeData> data(m_gui->streamDragData(nullptr));
    QVERIFY(!data->hasFormat(QString::fromLatin1(Gui::STREAM_MIME_TYPE)));
    QVERIFY(!m_gui->isStreamDrag(data.get()));
    // Stream tabs are drag sources, the pay-per-view tab is none.
    QVERIFY(m_gui->streamTabs()->bottomTab(1)->getTable()->dragEnabled());
    QVERIFY(m_gui->streamTabs()->bottomTab(8)->getTable()->dragEnabled());
    if (BottomList *ppv = m_gui->streamTabs()->bottomTab(9))
        QVERIFY(!ppv->getTable()->dragEnabled());
}

void TestGuiFavorites::removeSelectionRule()
{
    addTvRows(3);
    QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), 3);
    const QStringList all = favoriteNames(*m_gui);
    // Deleting the last row selects the new last row.
    clickRow(probe(m_gui).favoritesTable(), 2);
    QCOMPARE(probe(m_gui).currentTable().data(), probe(m_gui).favoritesTable().data());
    probe(m_gui).actionRemoveFavorite()->trigger();
    QCOMPARE(favoriteNames(*m_gui), all.mid(0, 2));
    QCOMPARE(probe(m_gui).favoritesTable()->selectionIndex(), 1);
    // Deleting the first keeps the selection at index 0.
    clickRow(probe(m_gui).favoritesTable(), 0);
    probe(m_gui).actionRemoveFavorite()->trigger();
    QCOMPARE(favoriteNames(*m_gui), all.mid(1, 1));
    QCOMPARE(probe(m_gui).favoritesTable()->selectionIndex(), 0);
    QVERIFY(probe(m_gui).actionRemoveFavorite()->isEnabled());
}

void TestGuiFavorites::removeLastDisablesDelete()
{
    addTvRows(1);
    clickRow(probe(m_gui).favoritesTable(), 0);
    probe(m_gui).favoritesTable()->setFocus();
    QTest::keyClick(m_gui.get(), Qt::Key_Delete);
    QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), 0);
    QCOMPARE(probe(m_gui).favoritesTable()->selectionIndex(), -1);
    QVERIFY(!probe(m_gui).actionRemoveFavorite()->isEnabled());
    // The next add enables it again.
    addTvRows(1);
    QVERIFY(probe(m_gui).actionRemoveFavorite()->isEnabled());
}

void TestGuiFavorites::playFavoriteNumber()
{
    addTvRows(2);
    QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), 2);
    clickRow(probe(m_gui).favoritesTable(), 0);
    // Ctrl+3 with two favourites does nothing at all.
    m_gui->playback()->setCurrentStream(nullptr);
    const QString status = probe(m_gui).statusLine()->text();
    probe(m_gui).actionFavoritesPlay3Menu()->trigger();
    QVERIFY(!m_gui->playback()->currentStream());
    QCOMPARE(probe(m_gui).statusLine()->text(), status);
    QCOMPARE(probe(m_gui).favoritesTable()->selectionIndex(), 0);
    // Ctrl+2 selects the second and plays it.
    probe(m_gui).actionFavoritesPlay2Menu()->trigger();
    QCOMPARE(probe(m_gui).favoritesTable()->selectionIndex(), 1);
    QCOMPARE(probe(m_gui).currentTable().data(), probe(m_gui).favoritesTable().data());
    QVERIFY(m_gui->playback()->currentStream());
    QCOMPARE(m_gui->playback()->currentStream().get(), probe(m_gui).favoritesTableViewer()->element(1).get());
    QVERIFY(probe(m_gui).statusLine()->text().startsWith(QStringLiteral("Playing")));
    QVERIFY(probe(m_gui).actionPause()->isEnabled());
    QVERIFY(probe(m_gui).actionPauseMenu()->isEnabled());
    probe(m_gui).actionStop()->run();
}

void TestGuiFavorites::favoritesAfterReload()
{
    addTvRows(2);
    const QStringList before = favoriteNames(*m_gui);
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    m_gui->updateDatabase();
    QVERIFY(waitForLoads(loads, 1));
    QCOMPARE(favoriteNames(*m_gui), before);
    QCOMPARE(probe(m_gui).cTabFavLoc()->currentIndex(), 0);
    QVERIFY(probe(m_gui).cTabFavLoc()->isTabBold(probe(m_gui).favoritesTab()));
}

void TestGuiFavorites::nameColumnRuleAfterReload_data()
{
    QTest::addColumn<int>("windowWidth");
    // The rule's width, and the 90 pixels it never goes below.
    QTest::newRow("wide window") << 1200;
    QTest::newRow("narrow window") << 420;
}

void TestGuiFavorites::nameColumnRuleAfterReload()
{
    QFETCH(int, windowWidth);
    m_gui->resize(windowWidth, 700);
    auto expected = [this] {
        RecordTableView *table = probe(m_gui).favoritesTable();
        const int scrollBar = table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, table);
        return std::max(90, table->width() - 60 - scrollBar);
    };
    QTRY_COMPARE(probe(m_gui).favoritesTable()->columnWidth(0), expected());
    QSignalSpy loads(m_gui.get(), &Gui::loadFinished);
    m_gui->updateDatabase();
    QVERIFY(waitForLoads(loads, 1));
    // The new table follows the rule at once, without a resize of the
    // window.
    QVERIFY(probe(m_gui).favoritesTable()->isVisible());
    QVERIFY(probe(m_gui).favoritesTable()->width() > 0);
    QCOMPARE(probe(m_gui).favoritesTable()->columnWidth(0), expected());
    QCOMPARE(probe(m_gui).favoritesTable()->columnWidth(1), 60);
}

void TestGuiFavorites::addFavoriteAfterTabSwitch()
{
    cleanup();
    QVERIFY(startWindow(smallCatalogue()));
    BottomList *tv = m_gui->streamTabs()->bottomTab(1);
    BottomList *radio = m_gui->streamTabs()->bottomTab(2);
    QTabBar *bar = probe(m_gui).cBottomTab()->tabBar();
    // A row of the Radio tab is selected, then a row of the Tv tab.
    bar->setCurrentIndex(probe(m_gui).cBottomTab()->indexOf(radio));
    clickRow(radio->getTable(), 1);
    bar->setCurrentIndex(probe(m_gui).cBottomTab()->indexOf(tv));
    clickRow(tv->getTable(), 0);
    QCOMPARE(probe(m_gui).currentTable().data(), tv->getTable());
    // Back to Radio: its viewer is current, and its table still shows its
    // selected row.
    bar->setCurrentIndex(probe(m_gui).cBottomTab()->indexOf(radio));
    QCOMPARE(probe(m_gui).currentTableViewer().data(), radio->getTableViewer());
    QCOMPARE(radio->getTable()->selectionIndex(), 1);
    const StreamInfoPtr shown = radio->getTableViewer()->element(1);
    // Adding takes the row selected in the current viewer's own table.
    probe(m_gui).actionCurrentTableFavorite()->run();
    QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), 1);
    QCOMPARE(probe(m_gui).favoritesTableViewer()->element(0).get(), shown.get());
}

void TestGuiFavorites::directoryStreamDroppedTwice()
{
    cleanup();
    QVERIFY(startWindow(smallCatalogue()));
    BottomList *ice = m_gui->streamTabs()->bottomTab(8);
    QVERIFY(ice);
    const StreamInfoPtr entry = ice->getTableViewer()->element(0);
    QCOMPARE(entry->getId(), 0);
    for (int round = 1; round <= 2; ++round) {
        std::unique_ptr<QMimeData> data(m_gui->streamDragData(entry));
        QVERIFY(dropOnFavorites(*m_gui, data.get()));
        m_gui->streamDragFinished();
        QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), round);
    }
    // Shown with the directory's type and the Windows Media Player picture.
    RecordTableModel *favorites = probe(m_gui).favoritesTableViewer();
    QCOMPARE(favorites->data(favorites->index(1, 0)).toString(), QStringLiteral(" Ice Only"));
    QCOMPARE(favorites->data(favorites->index(1, 1)).toString(), QStringLiteral("Icecast"));
    QVERIFY(!favorites->data(favorites->index(1, 0), Qt::DecorationRole).value<QIcon>().isNull());
}

void TestGuiFavorites::favoritesNameColumnWidth_data()
{
    QTest::addColumn<int>("tableWidth");
    QTest::addColumn<int>("extraOverRule");
    // Wide: the table's width minus 60 and the scroll bar; narrow: 90.
    QTest::newRow("wide") << 500 << 0;
    QTest::newRow("narrow") << 120 << -1;
}

void TestGuiFavorites::favoritesNameColumnWidth()
{
    cleanup();
    QFETCH(int, tableWidth);
    QFETCH(int, extraOverRule);
    QVERIFY(startWindow(smallCatalogue()));
    RecordTableView *favorites = probe(m_gui).favoritesTable();
    favorites->resize(tableWidth, 200);
    const int scrollBar = favorites->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, favorites);
    const int expected = extraOverRule < 0 ? 90 : tableWidth - 60 - scrollBar;
    QTRY_COMPARE(favorites->columnWidth(0), expected);
    QCOMPARE(favorites->columnWidth(1), 60);
}

void TestGuiFavorites::playFirstFavoriteWithRentalsInFront()
{
    cleanup();
    m_service = startServiceWithRental();
    QVERIFY(m_service);
    const QString media = heldMedia(*m_service);
    QVERIFY(startWindow(smallCatalogue(media)));
    BottomList *tv = m_gui->streamTabs()->bottomTab(1);
    clickRow(tv->getTable(), 0);
    probe(m_gui).actionCurrentTableFavorite()->run();
    QCOMPARE(probe(m_gui).favoritesTableViewer()->rowCount(), 1);
    QVERIFY(probe(m_gui).ppvTab());
    probe(m_gui).cTabFavLoc()->setCurrentIndex(1);
    QCOMPARE(probe(m_gui).favoritesTable()->selectionIndex(), -1);

    probe(m_gui).actionFavoritesPlay1Menu()->trigger();
    QCOMPARE(probe(m_gui).favoritesTable()->selectionIndex(), 0);
    QCOMPARE(probe(m_gui).currentTable().data(), probe(m_gui).favoritesTable().data());
    QVERIFY(m_gui->playback()->currentStream());
    QCOMPARE(m_gui->playback()->currentStream().get(), probe(m_gui).favoritesTableViewer()->element(0).get());
    // The folder stays at the rentals.
    QCOMPARE(probe(m_gui).cTabFavLoc()->currentIndex(), 1);
    probe(m_gui).actionStop()->run();
}

void TestGuiFavorites::favoritesMenuPlaysTheFavorite()
{
    cleanup();
    m_service = startService();
    QVERIFY(m_service);
    const QString media = heldMedia(*m_service);
    QVERIFY(startWindow(smallCatalogue(media)));
    BottomList *tv = m_gui->streamTabs()->bottomTab(1);
    clickRow(tv->getTable(), 0);
    probe(m_gui).actionCurrentTableFavorite()->run();
    // The favourite is selected, then a Tv row is touched.
    clickRow(probe(m_gui).favoritesTable(), 0);
    clickRow(tv->getTable(), 2);
    QCOMPARE(probe(m_gui).currentTable().data(), tv->getTable());
    // The menu of the favourites, over the favourite already selected.
    RecordTableView *favorites = probe(m_gui).favoritesTable();
    const QPoint pos = favorites->visualRect(favorites->model()->index(0, 0)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, favorites->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(favorites->viewport(), &event);
    QMenu *menu = favorites->findChild<QMenu *>();
    QVERIFY(menu);
    menu->actions().at(0)->trigger();
    menu->close();
    QVERIFY(m_gui->playback()->currentStream());
    QCOMPARE(m_gui->playback()->currentStream().get(), probe(m_gui).favoritesTableViewer()->element(0).get());
    probe(m_gui).actionStop()->run();
}

QTEST_MAIN(TestGuiFavorites)
#include "tst_gui_favorites.moc"
