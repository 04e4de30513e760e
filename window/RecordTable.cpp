#include "window/RecordTable.h"

#include "window/Gui.h"
#include "window/TableHost.h"
#include "window/dialogs/PlainText.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>

// --- Label providers ----------------------------------------------------------

namespace {

QString bitrateText(int bitrate)
{
    return bitrate == 0 ? QStringLiteral("N/A") : QString::number(bitrate);
}

} // namespace

StreamsTableLabelAndColorProvider::StreamsTableLabelAndColorProvider()
    : color1(Gui::getLighterColor(QColor(232, 242, 254), 0)),
      color2(255, 255, 255),
      cblack(0, 0, 0),
      cgrey(200, 200, 200),
      iconWmp(Gui::loadIcon(QStringLiteral(":/images/wmp.ico")))
{
}

QColor StreamsTableLabelAndColorProvider::getForeground(const StreamInfo &record) const
{
    return record.getUrl().isEmpty() ? cgrey : cblack;
}

QString StreamsTableLabelAndColorProvider::getColumnText(const StreamInfo &record, int column) const
{
    switch (column) {
    case 0:
        return QLatin1Char(' ') + shownText(record.getName());
    case 1:
        return shownText(record.getCategory());
    case 2:
        return shownText(record.getCountry());
    case 3:
        return bitrateText(record.getBitrate());
    default:
        return QString();
    }
}

QIcon StreamsTableLabelAndColorProvider::getColumnImage(const StreamInfo &record, int column) const
{
    if (column != 0)
        return QIcon();
    const QString format = record.getFormat();
    if (format == QLatin1String("RM") || format == QLatin1String("QT"))
        return QIcon();
    return iconWmp;
}

QColor StreamsTableLabelAndColorProvider::getBackground(const StreamInfo &, int row) const
{
    return row % 2 == 0 ? color2 : color1;
}

PPVTableLabelAndColorProvider::PPVTableLabelAndColorProvider()
    : color1(Gui::getLighterColor(QColor(232, 242, 254), 0)),
      cblack(0, 0, 0),
      cgrey(100, 100, 100),
      iconWmp(Gui::loadIcon(QStringLiteral(":/images/wmp.ico")))
{
}

QColor PPVTableLabelAndColorProvider::getForeground(const StreamInfo &record) const
{
    const auto *movie = dynamic_cast<const PPVStreamInfo *>(&record);
    if (movie && movie->getTimeLeft() == movie->getZeroTimeLeft())
        return cgrey;
    return cblack;
}

QString PPVTableLabelAndColorProvider::getColumnText(const StreamInfo &record, int column) const
{
    switch (column) {
    case 0:
        return QLatin1Char(' ') + shownText(record.getName());
    case 1:
        return shownText(record.getCategory());
    case 2:
        if (const auto *movie = dynamic_cast<const PPVStreamInfo *>(&record))
            return shownText(movie->getLength());
        return QString();
    case 5:
        return bitrateText(record.getBitrate());
    default:
        return QString();
    }
}

QIcon PPVTableLabelAndColorProvider::getColumnImage(const StreamInfo &, int column) const
{
    return column == 0 ? iconWmp : QIcon();
}

QColor PPVTableLabelAndColorProvider::getBackground(const StreamInfo &, int row) const
{
    // color2 is none: every other row keeps the table's background.
    return row % 2 == 0 ? color2 : color1;
}

FavoritesTableLabelAndColorProvider::FavoritesTableLabelAndColorProvider()
    : iconWmp(Gui::loadIcon(QStringLiteral(":/images/wmp.ico"))),
      iconRm(Gui::loadIcon(QStringLiteral(":/images/rm.ico"))),
      iconQt(Gui::loadIcon(QStringLiteral(":/images/qt.ico")))
{
}

QColor FavoritesTableLabelAndColorProvider::getForeground(const StreamInfo &) const
{
    return QColor();
}

QString FavoritesTableLabelAndColorProvider::getColumnText(const StreamInfo &record, int column) const
{
    switch (column) {
    case 0:
        return QLatin1Char(' ') + shownText(record.getName());
    case 1:
        return record.getType().isEmpty() ? QStringLiteral("Icecast") : shownText(record.getType());
    default:
        return QString();
    }
}

QIcon FavoritesTableLabelAndColorProvider::getColumnImage(const StreamInfo &record, int column) const
{
    if (column != 0)
        return QIcon();
    const QString format = record.getFormat();
    if (format == QLatin1String("RM"))
        return iconRm;
    if (format == QLatin1String("QT"))
        return iconQt;
    return iconWmp;
}

QColor FavoritesTableLabelAndColorProvider::getBackground(const StreamInfo &, int) const
{
    return QColor();
}

// --- Model --------------------------------------------------------------------

RecordTableModel::RecordTableModel(const QStringList &headers, std::unique_ptr<TableLabelProvider> provider,
                                   QObject *parent)
    : QAbstractTableModel(parent), m_headers(headers), m_provider(std::move(provider))
{
}

void RecordTableModel::setInput(std::vector<StreamInfoPtr> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

RecordTableView *RecordTableModel::view() const
{
    return qobject_cast<RecordTableView *>(parent());
}

StreamInfoPtr RecordTableModel::element(int row) const
{
    if (row < 0 || row >= int(m_rows.size()))
        return nullptr;
    return m_rows[size_t(row)];
}

int RecordTableModel::rowOf(const StreamInfo *record) const
{
    if (!record)
        return -1;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].get() == record)
            return int(i);
    }
    return -1;
}

int RecordTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RecordTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_headers.size());
}

QVariant RecordTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()) || !m_provider)
        return QVariant();
    const StreamInfoPtr &record = m_rows[size_t(index.row())];
    if (!record)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return m_provider->getColumnText(*record, index.column());
    case Qt::DecorationRole: {
        const QIcon icon = m_provider->getColumnImage(*record, index.column());
        return icon.isNull() ? QVariant() : QVariant(icon);
    }
    case Qt::ForegroundRole: {
        const QColor color = m_provider->getForeground(*record);
        return color.isValid() ? QVariant(color) : QVariant();
    }
    case Qt::BackgroundRole: {
        const QColor color = m_provider->getBackground(*record, index.row());
        return color.isValid() ? QVariant(color) : QVariant();
    }
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_headers.size())
        return QVariant();
    if (role == Qt::DisplayRole)
        return m_headers.at(section);
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    return QVariant();
}

Qt::ItemFlags RecordTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_dragEnabled)
        f |= Qt::ItemIsDragEnabled;
    return f;
}

// --- View ---------------------------------------------------------------------

RecordTableView::RecordTableView(TableHost *host, RecordTableModel *model, QWidget *parent)
    : QTableView(parent), m_host(host), m_model(model)
{
    if (!m_model->parent())
        m_model->setParent(this);
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setMinimumSectionSize(0);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setIconSize(QSize(16, 16));
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_programmatic)
            emit selectionChangedByAnyone();
    });
}

int RecordTableView::selectionIndex() const
{
    const QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    return rows.isEmpty() ? -1 : rows.first().row();
}

StreamInfoPtr RecordTableView::selectedElement() const
{
    return m_model->element(selectionIndex());
}

void RecordTableView::select(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    m_programmatic = true;
    selectRow(row);
    m_programmatic = false;
}

void RecordTableView::setInput(std::vector<StreamInfoPtr> rows)
{
    const StreamInfoPtr selected = selectedElement();
    m_programmatic = true;
    m_model->setInput(std::move(rows));
    if (selected) {
        const int row = m_model->rowOf(selected.get());
        if (row >= 0)
            selectRow(row);
    }
    m_programmatic = false;
}

void RecordTableView::setDragSource(bool source)
{
    m_dragSource = source;
    m_model->setDragEnabled(source);
    setDragEnabled(source);
    setDragDropMode(source ? (m_dropTarget ? QAbstractItemView::DragDrop : QAbstractItemView::DragOnly)
                           : (m_dropTarget ? QAbstractItemView::DropOnly : QAbstractItemView::NoDragDrop));
}

void RecordTableView::setDropTarget(bool target)
{
    m_dropTarget = target;
    setDragSource(m_dragSource);
    setAcceptDrops(target);
    viewport()->setAcceptDrops(target);
    setDropIndicatorShown(false);
}

namespace {

// The events by which the user starts something in a table: what they start
// may run a nested event loop (a double-click that opens a dialog, a drag).
bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::Wheel:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

} // namespace

bool RecordTableView::event(QEvent *event)
{
    if (!isUserInput(event->type()))
        return QTableView::event(event);
    TableHost::TableCall call(m_host);
    return QTableView::event(event);
}

bool RecordTableView::viewportEvent(QEvent *event)
{
    if (!isUserInput(event->type()))
        return QTableView::viewportEvent(event);
    // The table stays while what this event starts runs (the host deletes no table meanwhile).
    TableHost::TableCall call(m_host);
    if (event->type() == QEvent::MouseButtonPress)
        emit mousePressed();
    return QTableView::viewportEvent(event);
}

void RecordTableView::startDrag(Qt::DropActions)
{
    if (!m_dragSource)
        return;
    const StreamInfoPtr record = selectedElement();
    // A drag needs a selected record.
    if (!record)
        return;
    // The drag runs an event loop of its own, in which the window may
    // rebuild its tabs; the mouse event that started it keeps this table
    // until the drag has ended.
    TableHost *host = m_host;
    auto *drag = new QDrag(this);
    drag->setMimeData(host->streamDragData(record));
    const QIcon icon = m_model->data(m_model->index(selectionIndex(), 0), Qt::DecorationRole).value<QIcon>();
    if (!icon.isNull())
        drag->setPixmap(icon.pixmap(16, 16));
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    host->streamDragFinished();
}

void RecordTableView::dragEnterEvent(QDragEnterEvent *event)
{
    if (m_dropTarget && m_host->isStreamDrag(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void RecordTableView::dragMoveEvent(QDragMoveEvent *event)
{
    if (m_dropTarget && m_host->isStreamDrag(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void RecordTableView::dropEvent(QDropEvent *event)
{
    if (!m_dropTarget || !m_host->isStreamDrag(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_host->dropStream(event->mimeData());
}

// --- Column resize rule ---------------------------------------------------------

ResizeColumnListener::ResizeColumnListener(QTableView *parent, int resizeColumn, int subtract, int threshold)
    : QObject(parent),
      m_table(parent),
      m_column(resizeColumn),
      m_subtractedLength(subtract + parent->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, parent)),
      m_threshold(threshold)
{
    parent->installEventFilter(this);
}

int ResizeColumnListener::columnWidth(int tableWidth, int subtractedLength, int threshold)
{
    const int w = tableWidth - subtractedLength;
    return w > threshold ? w : threshold;
}

bool ResizeColumnListener::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table && event->type() == QEvent::Resize) {
        const int width = static_cast<QResizeEvent *>(event)->size().width();
        m_table->setColumnWidth(m_column, columnWidth(width, m_subtractedLength, m_threshold));
    }
    return QObject::eventFilter(watched, event);
}
