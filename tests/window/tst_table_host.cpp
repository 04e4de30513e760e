// The tables over a host of the test's own, without a window or a service:
// a double-click and a drag start reach the host, each under a table call.

#include "catalogue/StreamsManager.h"
#include "catalogue/StreamsView.h"
#include "window/BottomList.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"
#include "window/TableHost.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMimeData>
#include <QStyleHints>
#include <QtTest>
#include <memory>
#include <vector>

namespace {

// Records what the tables ask, and how many table calls were running then.
class RecordingHost : public TableHost
{
public:
    QMimeData *streamDragData(const StreamInfoPtr &stream) override
    {
        dragged = stream;
        callsAtDrag = calls;
        auto *data = new QMimeData;
        data->setData(QStringLiteral("application/x-test-stream"), QByteArray::number(stream->getId()));
        return data;
    }
    void streamDragFinished() override
    {
        ++dragsFinished;
        callsAtDragEnd = calls;
    }
    bool isStreamDrag(const QMimeData *data) const override
    {
        return data && data->hasFormat(QStringLiteral("application/x-test-stream"));
    }
    void dropStream(const QMimeData *) override { ++drops; }
    void tableTouched(RecordTableView *table) override
    {
        touched = table;
        ++touches;
    }
    void tableDoubleClicked(RecordTableView *table) override
    {
        doubleClicked = table;
        callsAtDoubleClick = calls;
    }
    void tabSelected(RecordTableModel *rows, StreamsView *view, bool payPerView) override
    {
        selectedRows = rows;
        selectedView = view;
        selectedPayPerView = payPerView;
    }
    void attachTableMenu(RecordTableView *table, const QStringList &texts,
                         const QList<TableCommand> &commands) override
    {
        menuTable = table;
        menuTexts = texts;
        menuCommands = commands;
    }

    int calls = 0;
    int maxCalls = 0;
    StreamInfoPtr dragged;
    int callsAtDrag = -1;
    int callsAtDragEnd = -1;
    int dragsFinished = 0;
    int drops = 0;
    RecordTableView *touched = nullptr;
    int touches = 0;
    RecordTableView *doubleClicked = nullptr;
    int callsAtDoubleClick = -1;
    RecordTableModel *selectedRows = nullptr;
    StreamsView *selectedView = nullptr;
    bool selectedPayPerView = true;
    RecordTableView *menuTable = nullptr;
    QStringList menuTexts;
    QList<TableCommand> menuCommands;

protected:
    void tableCallStarted() override
    {
        ++calls;
        maxCalls = std::max(maxCalls, calls);
    }
    void tableCallEnded() override { --calls; }
};

StreamInfoPtr stream(int id, const QString &name)
{
    auto s = std::make_shared<StreamInfo>();
    s->setId(id);
    s->setName(name);
    s->setUrl(QStringLiteral("http://127.0.0.1:9/%1").arg(id));
    return s;
}

std::vector<StreamInfoPtr> threeStreams()
{
    return {stream(1, QStringLiteral("One")), stream(2, QStringLiteral("Two")), stream(3, QStringLiteral("Three"))};
}

QPoint rowCenter(RecordTableView *table, int row)
{
    return table->visualRect(table->model()->index(row, 0)).center();
}

// Selects the row and double-clicks it.
void doubleClickRow(RecordTableView *table, int row)
{
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rowCenter(table, row));
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rowCenter(table, row));
}

// Presses on row and moves the pointer beyond the drag distance.
void dragRow(RecordTableView *table, int row)
{
    const QPoint start = rowCenter(table, row);
    QTest::mousePress(table->viewport(), Qt::LeftButton, Qt::NoModifier, start);
    const int distance = QGuiApplication::styleHints()->startDragDistance() + 5;
    QTest::mouseMove(table->viewport(), start + QPoint(distance, 0));
    QTest::mouseMove(table->viewport(), start + QPoint(2 * distance, 0));
    QTest::mouseRelease(table->viewport(), Qt::LeftButton, Qt::NoModifier, start + QPoint(2 * distance, 0));
}

} // namespace

class TestTableHost : public QObject
{
    Q_OBJECT
private slots:
    void recordTableReachesHost_data();
    void recordTableReachesHost();
    void streamTabReachesHost();
};

void TestTableHost::recordTableReachesHost_data()
{
    QTest::addColumn<int>("row");
    QTest::newRow("first row") << 0;
    QTest::newRow("last row") << 2;
}

void TestTableHost::recordTableReachesHost()
{
    QFETCH(int, row);
    RecordingHost host;
    QWidget page;
    page.resize(400, 300);
    auto *model = new RecordTableModel({QStringLiteral("Name"), QStringLiteral("Genre")},
                                       std::make_unique<StreamsTableLabelAndColorProvider>(), nullptr);
    auto *table = new RecordTableView(&host, model, &page);
    table->resize(400, 300);
    table->setDragSource(true);
    const std::vector<StreamInfoPtr> rows = threeStreams();
    table->setInput(rows);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));

    // A double-click runs under a table call.
    int callsAtDoubleClick = -1;
    connect(table, &QTableView::doubleClicked, this, [&] { callsAtDoubleClick = host.calls; });
    doubleClickRow(table, row);
    QCOMPARE(callsAtDoubleClick, 1);
    QCOMPARE(host.calls, 0);
    // The table alone reports no touch to the host (its tab does).
    QVERIFY(!host.touched);
    QCOMPARE(table->selectedElement(), rows[size_t(row)]);

    // The drag of the selected row asks the host for its data under the
    // mouse event's table call; its end is reported under the same call.
    dragRow(table, row);
    QCOMPARE(host.dragged, rows[size_t(row)]);
    QCOMPARE(host.callsAtDrag, 1);
    QCOMPARE(host.dragsFinished, 1);
    QCOMPARE(host.callsAtDragEnd, 1);
    QCOMPARE(host.calls, 0);

    // Not a drag source: no drag reaches the host.
    table->setDragSource(false);
    host.dragged = nullptr;
    dragRow(table, row);
    QVERIFY(!host.dragged);
    QCOMPARE(host.dragsFinished, 1);
    QCOMPARE(host.calls, 0);
}

void TestTableHost::streamTabReachesHost()
{
    RecordingHost host;
    TabFolder folder;
    folder.resize(500, 400);
    StreamsManager manager;
    StreamsView view(&manager, StreamsView::FILTER_TV);
    const QStringList columns = {QStringLiteral("Name"), QStringLiteral("Genre"), QStringLiteral("Country"),
                                 QStringLiteral("Quality")};
    auto *tab = new BottomList(&folder, QStringLiteral("TV"), 0, columns, {200, 100, 100, 50},
                               {StreamsView::SORT_NAME, StreamsView::SORT_CATEGORY, StreamsView::SORT_COUNTRY,
                                StreamsView::SORT_BITRATE},
                               &view, &host, QIcon());
    RecordTableView *table = tab->getTable();
    // The stream tab's menu offers play, add to favourites and the broken
    // link report.
    QCOMPARE(host.menuTable, table);
    QCOMPARE(host.menuTexts.size(), 3);
    QCOMPARE(host.menuCommands,
             (QList<TableHost::TableCommand>{TableHost::TableCommand::PlayFromTable,
                                             TableHost::TableCommand::AddFavorite,
                                             TableHost::TableCommand::ReportBrokenLink}));

    const std::vector<StreamInfoPtr> rows = threeStreams();
    table->setInput(rows);
    folder.show();
    QVERIFY(QTest::qWaitForWindowExposed(&folder));
    QTRY_VERIFY(table->isVisible());

    doubleClickRow(table, 1);
    QCOMPARE(host.doubleClicked, table);
    QCOMPARE(host.callsAtDoubleClick, 1);
    QCOMPARE(host.touched, table);
    QCOMPARE(host.calls, 0);

    dragRow(table, 1);
    QCOMPARE(host.dragged, rows[1]);
    QCOMPARE(host.callsAtDrag, 1);
    QCOMPARE(host.dragsFinished, 1);
    QCOMPARE(host.calls, 0);

    // Tab activation hands the host the tab's rows and view.
    tab->setSelected();
    QCOMPARE(host.selectedRows, tab->getTableViewer());
    QCOMPARE(host.selectedView, &view);
    QVERIFY(!host.selectedPayPerView);
}

QTEST_MAIN(TestTableHost)
#include "tst_table_host.moc"
