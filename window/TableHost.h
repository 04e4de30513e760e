#pragma once

#include "catalogue/StreamInfo.h"

#include <QList>
#include <QStringList>

class QMimeData;
class RecordTableModel;
class RecordTableView;
class StreamsView;

// What the tables of the window (a RecordTableView, a tab of the stream
// folder) ask of the window that holds them: where their drags come from and
// go to, what a double-click and a touch do, what their context menus run,
// and the table call guard under which their input events run. The main
// window implements it; a table knows nothing else of it.
class TableHost
{
public:
    // The commands a stream table's context menu offers.
    enum class TableCommand { PlayFromTable, AddFavorite, ReportBrokenLink };

    // A call that a table started: one of its input events (a double-click
    // that plays, a drag, a key) or an entry of its context menu. Such a
    // call may run a nested event loop (a dialog, a message box, a drag) in
    // which a rebuild replaces the tables; while any is held, the host
    // deletes no table.
    class TableCall
    {
    public:
        explicit TableCall(TableHost *host) : m_host(host) { m_host->tableCallStarted(); }
        ~TableCall() { m_host->tableCallEnded(); }
        TableCall(const TableCall &) = delete;
        TableCall &operator=(const TableCall &) = delete;

    private:
        TableHost *m_host;
    };

    // The drag of a stream out of a table: the data the drag carries, and
    // the end of the drag (whatever became of it).
    virtual QMimeData *streamDragData(const StreamInfoPtr &stream) = 0;
    virtual void streamDragFinished() = 0;
    // A drop onto a table that takes drops: only the host's own stream drags
    // are taken.
    virtual bool isStreamDrag(const QMimeData *data) const = 0;
    virtual void dropStream(const QMimeData *data) = 0;

    // A row of table was touched (a mouse press, a change of selection, a
    // context menu).
    virtual void tableTouched(RecordTableView *table) = 0;
    // A row of table was double-clicked: it plays.
    virtual void tableDoubleClicked(RecordTableView *table) = 0;
    // A tab of the stream folder became the current one: rows are its
    // table's rows, view the view they come from.
    virtual void tabSelected(RecordTableModel *rows, StreamsView *view, bool payPerView) = 0;
    // Gives table a context menu: entry i shows texts[i] and runs
    // commands[i].
    virtual void attachTableMenu(RecordTableView *table, const QStringList &texts,
                                 const QList<TableCommand> &commands) = 0;

    virtual ~TableHost() = default;

protected:
    virtual void tableCallStarted() = 0;
    virtual void tableCallEnded() = 0;
};
