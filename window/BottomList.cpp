#include "window/BottomList.h"

#include "catalogue/IcecastView.h"
#include "catalogue/LangMsg.h"
#include "catalogue/PPVView.h"
#include "catalogue/StreamsView.h"
#include "window/Gui.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

BottomList::BottomList(TabFolder *parent, const QString &text, int style, const QStringList &streamColNames,
                       const QList<int> &streamColumnWith, const QList<int> &streamSorterIdentifier,
                       StreamsView *view, Gui *gui, const QIcon &image)
    : QWidget(nullptr),
      parentFolder(parent),
      streamColNames(streamColNames),
      streamColumnWith(streamColumnWith),
      streamSorterIdentifier(streamSorterIdentifier),
      view(view),
      gui(gui),
      m_title(text)
{
    if (dynamic_cast<PPVView *>(view))
        m_kind = PayPerViewTab;
    else if (dynamic_cast<IcecastView *>(view))
        m_kind = IcecastTab;
    else
        m_kind = StreamTab;

    createContents();
    const int index = image.isNull() ? parent->addTab(this, text) : parent->addTab(this, image, text);
    Q_UNUSED(index);
    if (style & CLOSE)
        parent->setTabClosable(this);

    // Stream and Icecast rows can be dragged onto the favourites.
    table->setDragSource(m_kind != PayPerViewTab);
}

BottomList::~BottomList() = default;

void BottomList::createContents()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    std::unique_ptr<TableLabelProvider> provider;
    if (m_kind == PayPerViewTab)
        provider = std::make_unique<PPVTableLabelAndColorProvider>();
    else
        provider = std::make_unique<StreamsTableLabelAndColorProvider>();
    tableViewer = new RecordTableModel(streamColNames, std::move(provider), nullptr);
    table = new RecordTableView(gui, tableViewer, this);
    layout->addWidget(table);

    for (int i = 0; i < streamColNames.size(); ++i) {
        const int width = i < streamColumnWith.size() ? streamColumnWith.at(i) : 0;
        table->setColumnWidth(i, width);
        if (width == 0)
            table->setColumnHidden(i, true);
    }

    // The first column takes what the others leave: the table's width minus
    // every width but the second (extra entries included), at least the
    // second width.
    int subtract = 0;
    for (int i = 0; i < streamColumnWith.size(); ++i) {
        if (i != 1)
            subtract += streamColumnWith.at(i);
    }
    const int threshold = streamColumnWith.size() > 1 ? streamColumnWith.at(1) : 0;
    new ResizeColumnListener(table, 0, subtract, threshold);

    QHeaderView *header = table->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    m_invert.assign(size_t(streamColNames.size()), true);
    connect(header, &QHeaderView::sectionClicked, this, &BottomList::sortByColumn);

    table->setInput(view->getActiveStreams());

    connect(table, &QTableView::doubleClicked, this, [this] { gui->actionPlay->run(); });
    connect(table, &RecordTableView::mousePressed, this, [this] { gui->tableTouched(table); });
    connect(table, &RecordTableView::selectionChangedByAnyone, this, [this] { gui->tableTouched(table); });

    if (m_kind != PayPerViewTab) {
        QStringList texts = {LangMsg::getMsg(QStringLiteral("CONTEXTMENU_TV_PLAY")),
                             LangMsg::getMsg(QStringLiteral("CONTEXTMENU_TV_ADDFAVORITE"))};
        QList<GuiAction *> actions = {gui->actionPlayFromCurrentTable, gui->actionCurrentTableFavorite};
        if (m_kind == StreamTab) {
            texts << LangMsg::getMsg(QStringLiteral("CONTEXTMENU_TV_REPORTBROKENLINK"));
            actions << gui->actionReportBrokenLink;
        }
        Gui::attachContextMenu(table, gui->menu(table, texts, actions));
        // A menu opened from the keyboard comes without a mouse press: it
        // makes the table current all the same.
        connect(table, &QWidget::customContextMenuRequested, this, [this] { gui->tableTouched(table); });
    }
}

void BottomList::setSortList(int, bool descending)
{
    m_lengthSort = false;
    view->selectSorter(StreamsView::SORT_ID, !descending);
}

void BottomList::setSelected()
{
    gui->currentTableViewer = tableViewer;
    gui->currentView = view;
    TabFolder *favorites = gui->cTabFavLoc;
    const int index = m_kind == PayPerViewTab ? 1 : 0;
    if (favorites && index < favorites->count())
        favorites->setCurrentIndex(index);
    gui->playback()->setPlayEnabled(true);
    gui->searchText->setEnabled(m_kind != PayPerViewTab);
    gui->actionSearch->run();
}

std::vector<StreamInfoPtr> BottomList::sortedRows()
{
    std::vector<StreamInfoPtr> rows = view->getActiveStreams();
    if (m_lengthSort) {
        auto length = [](const StreamInfoPtr &s) {
            const auto *movie = dynamic_cast<const PPVStreamInfo *>(s.get());
            return movie ? movie->getLengthInt() : 0;
        };
        std::stable_sort(rows.begin(), rows.end(), [&](const StreamInfoPtr &a, const StreamInfoPtr &b) {
            const int la = length(a), lb = length(b);
            return la != lb ? la < lb : a->getId() < b->getId();
        });
        if (!m_lengthAscending)
            std::reverse(rows.begin(), rows.end());
    }
    return rows;
}

void BottomList::setInputRefresh()
{
    table->setInput(sortedRows());
}

void BottomList::selectCountry(int id)
{
    view->selectCountry(id);
    setInputRefresh();
}

void BottomList::selectCategory(int id)
{
    view->selectCategory(id);
    setInputRefresh();
}

void BottomList::sortByColumn(int column)
{
    if (column < 0 || column >= streamColNames.size())
        return;
    const int sorter = column < streamSorterIdentifier.size() ? streamSorterIdentifier.at(column)
                                                              : StreamsView::SORT_NAME;
    char &invert = m_invert[size_t(column)];
    bool ascending;
    if (sorter == SORT_LENGTH) {
        const bool current = m_lengthSort;
        ascending = !(current && invert);
        m_lengthSort = true;
        m_lengthAscending = ascending;
    } else {
        const bool current = !m_lengthSort && view->getSelectedSorter() == sorter;
        ascending = !(current && invert);
        m_lengthSort = false;
        view->selectSorter(sorter, ascending);
    }
    invert = ascending;
    QHeaderView *header = table->horizontalHeader();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    setInputRefresh();
}
