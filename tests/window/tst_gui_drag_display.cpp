// A real drag from a stream table (on the X display: the offscreen platform
// starts no drag) while a catalogue load ends: the rebuild comes inside the
// drag's own event loop, and the table the drag started from must outlive
// the drag.
#include "tests/window/GuiTestSupport.h"

#include "window/BottomList.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"

#include <QDrag>
#include <QStyleHints>

class TestGuiDrag : public QObject
{
    Q_OBJECT

private slots:
    void dragRunningWhenRebuildComes();
};

void TestGuiDrag::dragRunningWhenRebuildComes()
{
    TestWorkspace workspace;
    auto service = startService();
    QVERIFY(service);
    service->setCatalogue(smallCatalogue());
    Gui gui;
    QSignalSpy loads(&gui, &Gui::loadFinished);
    gui.resize(1000, 700);
    gui.open(true);
    QVERIFY(QTest::qWaitForWindowExposed(&gui));
    QVERIFY(waitForLoads(loads, 1));

    BottomList *tv = gui.streamTabs()->bottomTab(1);
    QPointer<RecordTableView> source = tv->getTable();
    const QRect rect = source->visualRect(source->model()->index(1, 0));
    QTest::mouseClick(source->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());

    bool moving = false;
    bool dragRan = false;
    bool rebuiltDuringDrag = false;
    bool sourceGoneDuringDrag = false;
    QPointer<BottomList> oldTab = tv;
    // Runs inside the drag's event loop: a reload whose rebuild comes while
    // the user still holds the row, then the user gives up the drag.
    QTimer::singleShot(0, &gui, [&] {
        if (!moving)
            return;
        dragRan = true;
        gui.updateDatabase();
        QElapsedTimer timer;
        timer.start();
        while (loads.count() < 2 && timer.elapsed() < 15000)
            QTest::qWait(10);
        rebuiltDuringDrag = loads.count() == 2;
        sourceGoneDuringDrag = source.isNull();
        QDrag::cancel();
    });
    moving = true;
    QTest::mousePress(source->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    const int distance = QGuiApplication::styleHints()->startDragDistance() + 5;
    QTest::mouseMove(source->viewport(), rect.center() + QPoint(distance, 0));
    QTest::mouseMove(source->viewport(), rect.center() + QPoint(2 * distance, 0));
    moving = false;
    if (!dragRan)
        QSKIP("no drag started on this display");
    QVERIFY(rebuiltDuringDrag);
    QVERIFY(!sourceGoneDuringDrag);
    // The old tab left the folder at the rebuild and goes after the drag.
    QTRY_VERIFY(source.isNull());
    QVERIFY(oldTab.isNull());
    // Only the new tabs are in the folder, the lowest slot in front.
    QList<BottomList *> tabs = gui.streamTabs()->liveTabs();
    QVERIFY(!tabs.isEmpty());
    QVERIFY(!tabs.contains(tv));
    QCOMPARE(probe(gui).cBottomTab()->count(), int(tabs.size()));
    for (BottomList *tab : tabs)
        QVERIFY(probe(gui).cBottomTab()->indexOf(tab) >= 0);
    QCOMPARE(probe(gui).cBottomTab()->currentWidget(), tabs.first());
    QVERIFY(gui.streamTabs()->bottomTab(1));
    // The new favourites table takes the new tabs' drags.
    std::unique_ptr<QMimeData> data(gui.streamDragData(gui.streamTabs()->bottomTab(1)->getTableViewer()->element(0)));
    QVERIFY(gui.isStreamDrag(data.get()));
    QVERIFY(probe(gui).favoritesTable()->isDropTarget());
    gui.streamDragFinished();
}

QTEST_MAIN(TestGuiDrag)
#include "tst_gui_drag_display.moc"
