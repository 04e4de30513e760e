// The favourites folder: the Favorites tab, the Pay Tv rentals tab, the
// favourites actions and drag and drop of streams onto the favourites.
#include "window/Gui.h"

#include "catalogue/LangMsg.h"
#include "catalogue/Options.h"
#include "catalogue/StreamsManager.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"

#include <QHeaderView>
#include <QMimeData>
#include <QRandomGenerator>
#include <QVBoxLayout>

const char *const Gui::STREAM_MIME_TYPE = "application/x-quorvantel-stream";

namespace {

QString msg(const char *key)
{
    return LangMsg::getMsg(QString::fromLatin1(key));
}

std::vector<StreamInfoPtr> favoritesList()
{
    std::optional<std::vector<StreamInfoPtr>> favorites = Options::loadFavorites();
    return favorites ? *favorites : std::vector<StreamInfoPtr>();
}

QWidget *tablePage(QWidget *folder, QTableView *&table, const std::function<QTableView *(QWidget *)> &makeTable)
{
    auto *page = new QWidget(folder);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    table = makeTable(page);
    layout->addWidget(table);
    return page;
}

} // namespace

void Gui::createFavoritesTable(TabFolder *folder, bool withPpv)
{
    TabFolder::Quiet quiet(folder);
    if (favoritesTab) {
        retireTab(favoritesTab);
        retireTab(ppvTab);
    }
    const QColor background = getLighterColor(palette().color(QPalette::Window), 2);
    auto tint = [&](QTableView *table) {
        QPalette p = table->palette();
        p.setColor(QPalette::Base, background);
        table->setPalette(p);
    };

    // Favorites first, the rentals second.
    QTableView *favorites = nullptr;
    favoritesTab = tablePage(folder, favorites, [this](QWidget *page) {
        auto *model = new RecordTableModel({msg("TABLECOLUMN_NAME"), msg("TABLECOLUMN_TYPE")},
                                           std::make_unique<FavoritesTableLabelAndColorProvider>(), nullptr);
        return new RecordTableView(this, model, page);
    });
    favoritesTable = static_cast<RecordTableView *>(favorites);
    favoritesTableViewer = favoritesTable->recordModel();
    favoritesTable->setObjectName(QStringLiteral("favoritesTable"));
    tint(favoritesTable);
    favoritesTable->setColumnWidth(0, 90);
    favoritesTable->setColumnWidth(1, 60);
    // The rule listens before the tab goes into the folder: a folder on
    // screen sizes its new tab at once.
    new ResizeColumnListener(favoritesTable, 0, 60, 90);
    folder->addTab(favoritesTab, QIcon(loadIcon(QStringLiteral(":/images/favorites.ico"))), msg("FAVORITES_TAB"));
    folder->setTabBold(favoritesTab, true);
    RecordTableView *favTable = favoritesTable;
    connect(favTable, &RecordTableView::selectionChangedByAnyone, this, [this, favTable] { tableTouched(favTable); });
    connect(favTable, &QTableView::doubleClicked, this, [this, favTable] {
        tableTouched(favTable);
        actionPlay->run();
    });
    attachContextMenu(favTable, menu(favTable,
                                     {msg("CONTEXTMENU_FAVORITES_PLAY"), msg("CONTEXTMENU_FAVORITES_DELETE_ITEM")},
                                     {actionPlayFromCurrentTable, actionRemoveFavorite}));
    // Opening the menu makes this table current, also over a row that was
    // selected already (no selection change): its Play plays a favourite.
    connect(favTable, &QWidget::customContextMenuRequested, this, [this, favTable] { tableTouched(favTable); });
    // Every favourites table takes the program's own stream drags.
    favTable->setDropTarget(true);

    if (withPpv && manager->getAdultVisible()) {
        QTableView *rentals = nullptr;
        ppvTab = tablePage(folder, rentals, [this](QWidget *page) {
            auto *model = new RecordTableModel({msg("TABLECOLUMN_NAME")},
                                               std::make_unique<PPVTableLabelAndColorProvider>(), nullptr);
            return new RecordTableView(this, model, page);
        });
        folder->addTab(ppvTab, msg("PAYTV_TAB"));
        folder->setTabBold(ppvTab, true);
        ppvTable = static_cast<RecordTableView *>(rentals);
        ppvTableViewer = ppvTable->recordModel();
        ppvTable->setObjectName(QStringLiteral("ppvTable"));
        tint(ppvTable);
        ppvTable->setColumnWidth(0, 200);
        RecordTableView *rentalTable = ppvTable;
        connect(rentalTable, &RecordTableView::selectionChangedByAnyone, this,
                [this, rentalTable] { tableTouched(rentalTable); });
        connect(rentalTable, &QTableView::doubleClicked, this, [this, rentalTable] {
            tableTouched(rentalTable);
            actionPlay->run();
        });
    }
}

void Gui::playFavorite(int number)
{
    if (!favoritesTable)
        return;
    // A favourite the list does not have plays nothing.
    if (number < 1 || number > favoritesTableViewer->rowCount())
        return;
    currentTableViewer = favoritesTableViewer;
    currentTable = favoritesTable;
    favoritesTable->select(number - 1);
    favoritesTable->setFocus();
    actionPlayFromCurrentTable->run();
}

void Gui::runRemoveFavorite()
{
    if (!favoritesTable)
        return;
    const int index = favoritesTable->selectionIndex();
    const StreamInfoPtr record = favoritesTableViewer->element(index);
    if (record)
        Options::removeFavorite(record);
    favoritesTable->setInput(favoritesList());
    favoritesTable->select(index);
    if (favoritesTable->selectionIndex() == -1)
        favoritesTable->select(index - 1);
    if (favoritesTableViewer->rowCount() == 0)
        actionRemoveFavorite->setEnabled(false);
}

void Gui::runCurrentTableFavorite()
{
    // The row selected in the current viewer's own table: after a tab switch
    // the current viewer is the new tab's while currentTable may still be
    // the table touched before.
    RecordTableView *table = currentTableViewer ? currentTableViewer->view() : nullptr;
    if (!table)
        return;
    addFavoriteStream(currentTableViewer->element(table->selectionIndex()));
}

void Gui::addFavoriteStream(const StreamInfoPtr &stream)
{
    if (stream)
        Options::addFavorite(stream);
    if (favoritesTable)
        favoritesTable->setInput(favoritesList());
    actionRemoveFavorite->setEnabled(true);
}

// --- Drag and drop --------------------------------------------------------------

QMimeData *Gui::streamDragData(const StreamInfoPtr &stream)
{
    auto *data = new QMimeData;
    if (!stream)
        return data;
    ++m_dragSerial;
    m_dragToken = QByteArray::number(QRandomGenerator::global()->generate64(), 16) + '-' +
                  QByteArray::number(m_dragSerial);
    m_dragStream = stream;
    data->setData(QString::fromLatin1(STREAM_MIME_TYPE), m_dragToken);
    // Other programs get the stream's identifier as plain text.
    data->setText(QString::number(stream->getId()));
    return data;
}

bool Gui::isStreamDrag(const QMimeData *data) const
{
    return draggedStream(data) != nullptr;
}

StreamInfoPtr Gui::draggedStream(const QMimeData *data) const
{
    if (!data || m_dragToken.isEmpty() || !data->hasFormat(QString::fromLatin1(STREAM_MIME_TYPE)))
        return nullptr;
    if (data->data(QString::fromLatin1(STREAM_MIME_TYPE)) != m_dragToken)
        return nullptr;
    return m_dragStream.lock();
}

void Gui::dropStream(const QMimeData *data)
{
    const StreamInfoPtr stream = draggedStream(data);
    if (stream)
        addFavoriteStream(stream);
}

void Gui::streamDragFinished()
{
    m_dragToken.clear();
    m_dragStream.reset();
}
