#pragma once

#include "catalogue/StreamInfo.h"

#include <QIcon>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <vector>

class RecordTableModel;
class RecordTableView;
class StreamsView;
class TabFolder;
class TableHost;

// One tab of the stream tab folder: a table over one view's rows (a stream
// list, the Icecast directory or the pay-per-view catalogue), with sorting by
// column header, a first column that grows with the table, row colours, a
// context menu by kind and a drag source. The tab never copies records: every
// change of filter, search text or sort order is made on the view, and the
// tab hands the view's new rows to its table. Deleting the tab removes it
// from its folder.
class BottomList : public QWidget
{
    Q_OBJECT
public:
    enum Kind { StreamTab, IcecastTab, PayPerViewTab };
    // Tab style bit: the tab has a close button.
    static constexpr int CLOSE = 64;
    // Sorter number of the pay-per-view length column, which the tab sorts
    // itself (the views have no length column).
    static constexpr int SORT_LENGTH = -1;

    BottomList(TabFolder *parent, const QString &text, int style, const QStringList &streamColNames,
               const QList<int> &streamColumnWith, const QList<int> &streamSorterIdentifier, StreamsView *view,
               TableHost *host, const QIcon &image);
    ~BottomList() override;

    // Sorts the view by identifier (whatever sorter is given), descending
    // when the flag is set; the table keeps its rows until the next re-input.
    virtual void setSortList(int sorter, bool descending);
    // Makes this tab the host's current one (tab activation).
    virtual void setSelected();
    // Hands the table the view's rows again.
    virtual void setInputRefresh();
    virtual void selectCountry(int id);
    virtual void selectCategory(int id);
    virtual RecordTableModel *getTableViewer() const { return tableViewer; }
    virtual RecordTableView *getTable() const { return table; }
    virtual StreamsView *getStreamsView() const { return view; }

    Kind kind() const { return m_kind; }
    QString title() const { return m_title; }
    // A click on the header of column: sorts as that column's sorter says.
    void sortByColumn(int column);
    // The sorter each column selects.
    QList<int> sorterIdentifiers() const { return streamSorterIdentifier; }

    TabFolder *parentFolder;
    QStringList streamColNames;
    QList<int> streamColumnWith;
    QList<int> streamSorterIdentifier;
    StreamsView *view;
    TableHost *host;
    RecordTableModel *tableViewer = nullptr;
    RecordTableView *table = nullptr;

private:
    void createContents();
    std::vector<StreamInfoPtr> sortedRows();

    Kind m_kind;
    QString m_title;
    // Per column: the next click on this header while its sorter is the
    // current one sorts descending.
    std::vector<char> m_invert;
    // The length sort of a pay-per-view tab, kept by the tab.
    bool m_lengthSort = false;
    bool m_lengthAscending = true;
};
