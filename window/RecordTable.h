#pragma once

#include "catalogue/StreamInfo.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>
#include <QPointer>
#include <QStringList>
#include <QTableView>
#include <memory>
#include <vector>

class RecordTableView;
class TableHost;

// How a table draws its rows: the text and picture of a cell, and the
// foreground and background of a row (an invalid colour keeps the table's
// own). A cell shows a record's text as shownText cuts it.
class TableLabelProvider
{
public:
    virtual ~TableLabelProvider() = default;
    virtual QColor getForeground(const StreamInfo &record) const = 0;
    virtual QString getColumnText(const StreamInfo &record, int column) const = 0;
    virtual QIcon getColumnImage(const StreamInfo &record, int column) const = 0;
    // row: the row's index in the table, so stripes follow the rows
    // whatever order they are drawn in.
    virtual QColor getBackground(const StreamInfo &record, int row) const = 0;
};

// Stream and Icecast tabs: " " + name, category, country, bit rate ("N/A"
// for 0); the Windows Media Player picture in the first column except for
// RealPlayer and QuickTime streams; streams without address in grey; rows
// alternately white and light grey.
class StreamsTableLabelAndColorProvider : public TableLabelProvider
{
public:
    StreamsTableLabelAndColorProvider();
    QColor getForeground(const StreamInfo &record) const override;
    QString getColumnText(const StreamInfo &record, int column) const override;
    QIcon getColumnImage(const StreamInfo &record, int column) const override;
    QColor getBackground(const StreamInfo &record, int row) const override;

    QColor color1, color2, cblack, cgrey;
    QIcon iconWmp;
};

// Pay-per-view tabs and the rentals table: " " + name, category, length,
// (column 5) bit rate; rentals without time left in dark grey; every other
// row light grey.
class PPVTableLabelAndColorProvider : public TableLabelProvider
{
public:
    PPVTableLabelAndColorProvider();
    QColor getForeground(const StreamInfo &record) const override;
    QString getColumnText(const StreamInfo &record, int column) const override;
    QIcon getColumnImage(const StreamInfo &record, int column) const override;
    QColor getBackground(const StreamInfo &record, int row) const override;

    QColor color1, color2, cblack, cgrey;
    QIcon iconWmp;
};

// The favourites table: " " + name and the type ("Icecast" for directory
// streams); the player picture by format; the table's own colours.
class FavoritesTableLabelAndColorProvider : public TableLabelProvider
{
public:
    FavoritesTableLabelAndColorProvider();
    QColor getForeground(const StreamInfo &record) const override;
    QString getColumnText(const StreamInfo &record, int column) const override;
    QIcon getColumnImage(const StreamInfo &record, int column) const override;
    QColor getBackground(const StreamInfo &record, int row) const override;

    QIcon iconWmp, iconRm, iconQt;
};

// The rows of one table: the shared records a view or the favourites hand
// out, shown as the label provider says. A new input replaces the rows at
// once (model reset).
class RecordTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    RecordTableModel(const QStringList &headers, std::unique_ptr<TableLabelProvider> provider, QObject *parent);

    void setInput(std::vector<StreamInfoPtr> rows);
    const std::vector<StreamInfoPtr> &input() const { return m_rows; }
    // The record at row, none outside the rows.
    StreamInfoPtr element(int row) const;
    // The row of this very record, -1 when it is not shown.
    int rowOf(const StreamInfo *record) const;
    TableLabelProvider *labelProvider() const { return m_provider.get(); }
    // The table that shows these rows (the model's parent), none without.
    RecordTableView *view() const;
    void setDragEnabled(bool enabled) { m_dragEnabled = enabled; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QStringList m_headers;
    std::unique_ptr<TableLabelProvider> m_provider;
    std::vector<StreamInfoPtr> m_rows;
    bool m_dragEnabled = false;
};

// A table of records: whole rows are selected, one at a time. Touching it (a
// mouse press, a change of selection) is reported, so the window knows which
// table its actions work on. It can be a drag source of the window's stream
// drags and a drop target that takes only those.
class RecordTableView : public QTableView
{
    Q_OBJECT
public:
    RecordTableView(TableHost *host, RecordTableModel *model, QWidget *parent);

    RecordTableModel *recordModel() const { return m_model; }
    // The selected row, -1 when none.
    int selectionIndex() const;
    // The record of the selected row, none when no row is selected.
    StreamInfoPtr selectedElement() const;
    // Selects row (ignored when the table has no such row).
    void select(int row);
    // Hands the model new rows; the selected record stays selected when it
    // is among them.
    void setInput(std::vector<StreamInfoPtr> rows);

    void setDragSource(bool source);
    void setDropTarget(bool target);
    bool isDropTarget() const { return m_dropTarget; }

signals:
    void mousePressed();
    void selectionChangedByAnyone();

protected:
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    TableHost *m_host;
    RecordTableModel *m_model;
    bool m_dragSource = false;
    bool m_dropTarget = false;
    // Set while the window itself changes the selection: that is no touch.
    bool m_programmatic = false;
};

// Keeps one column as wide as the table minus a fixed width (and the
// vertical scroll bar's width), never narrower than a threshold.
class ResizeColumnListener : public QObject
{
    Q_OBJECT
public:
    ResizeColumnListener(QTableView *parent, int resizeColumn, int subtract, int threshold);

    // The width the rule gives the column for a table width.
    static int columnWidth(int tableWidth, int subtractedLength, int threshold);
    int subtractedLength() const { return m_subtractedLength; }
    int threshold() const { return m_threshold; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QTableView *m_table;
    int m_column;
    int m_subtractedLength;
    int m_threshold;
};
