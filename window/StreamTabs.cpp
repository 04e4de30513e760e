// The stream tab folder's tabs: their slots, the making of the tabs after a
// load and the folder's listeners (tab activation and tab switch).
#include "window/StreamTabs.h"

#include "catalogue/IcecastView.h"
#include "catalogue/LangMsg.h"
#include "catalogue/PPVView.h"
#include "catalogue/StreamsManager.h"
#include "catalogue/StreamsView.h"
#include "window/BottomList.h"
#include "window/Gui.h"
#include "window/PlaybackControl.h"
#include "window/RecordTable.h"
#include "window/TabFolder.h"

#include <QLineEdit>

namespace {

QString msg(const char *key)
{
    return LangMsg::getMsg(QString::fromLatin1(key));
}

bool present(const std::vector<StreamInfoPtr> &rows)
{
    return !rows.empty();
}

} // namespace

StreamTabs::StreamTabs(Gui &gui) : m_gui(gui)
{
    streamColNames = {msg("TABLECOLUMN_NAME"), msg("TABLECOLUMN_CATEGORY"), msg("TABLECOLUMN_COUNTRY"),
                      msg("TABLECOLUMN_BITRATE")};
    streamColumnWith = {113, 110, 75, 75};
    // The sorter of each column is the one for what the column shows: name,
    // genre (category), country, quality (bit rate); the pay-per-view tab's
    // third column is the length, which the tab sorts itself.
    streamSorterIdentifier = {StreamsView::SORT_NAME, StreamsView::SORT_CATEGORY, StreamsView::SORT_COUNTRY,
                              StreamsView::SORT_BITRATE};
    streamSorterIdentifierPPV = {StreamsView::SORT_NAME, StreamsView::SORT_CATEGORY, BottomList::SORT_LENGTH};
}

BottomList *StreamTabs::bottomTab(int slot) const
{
    if (slot < 0 || slot >= TAB_SLOTS)
        return nullptr;
    return bottomTabs[size_t(slot)].data();
}

QList<BottomList *> StreamTabs::liveTabs() const
{
    QList<BottomList *> tabs;
    for (const auto &slot : bottomTabs) {
        if (slot)
            tabs << slot.data();
    }
    return tabs;
}

void StreamTabs::retireAll()
{
    for (auto &slot : bottomTabs) {
        BottomList *tab = slot.data();
        slot = nullptr;
        m_gui.retireTab(tab);
    }
}

void StreamTabs::removeTab(int slot)
{
    BottomList *tab = bottomTab(slot);
    if (!tab)
        return;
    if (m_gui.currentView == tab->getStreamsView())
        m_gui.currentView = nullptr;
    bottomTabs[size_t(slot)] = nullptr;
    m_gui.retireTab(tab);
}

void StreamTabs::forget(const QWidget *page)
{
    for (auto &slot : bottomTabs) {
        if (slot == page)
            slot = nullptr;
    }
}

void StreamTabs::makeTabs(const std::vector<StreamInfoPtr> &icecastRows, const std::vector<StreamInfoPtr> &ppvRows)
{
    Gui &gui = m_gui;
    const QStringList movieCols = {LangMsg::getMsg(QStringLiteral("TABLECOLUMN_NAME")),
                                   LangMsg::getMsg(QStringLiteral("TABLECOLUMN_CATEGORY")),
                                   LangMsg::getMsg(QStringLiteral("TABLECOLUMN_COUNTRY"))};
    const QStringList icecastCols = {LangMsg::getMsg(QStringLiteral("TABLECOLUMN_NAME")),
                                     LangMsg::getMsg(QStringLiteral("TABLECOLUMN_PLAYING_NOW")),
                                     LangMsg::getMsg(QStringLiteral("TABLECOLUMN_CATEGORY")),
                                     LangMsg::getMsg(QStringLiteral("TABLECOLUMN_BITRATE"))};
    const QStringList ppvCols = {LangMsg::getMsg(QStringLiteral("TABLECOLUMN_NAME")),
                                 LangMsg::getMsg(QStringLiteral("TABLECOLUMN_CATEGORY")),
                                 LangMsg::getMsg(QStringLiteral("TABLECOLUMN_LENGTH"))};
    // Each column sorts by what it shows: name, genre, country, quality.
    const QList<int> threeColumnSorters = {StreamsView::SORT_NAME, StreamsView::SORT_CATEGORY,
                                           StreamsView::SORT_COUNTRY};
    auto title = [](const char *key) { return LangMsg::getMsg(QString::fromLatin1(key)); };
    auto make = [&](int slot, const char *key, const QStringList &cols, const QList<int> &widths,
                    const QList<int> &sorters, StreamsView *view, const char *icon, int style) {
        bottomTabs[size_t(slot)] = new BottomList(gui.cBottomTab, title(key), style, cols, widths, sorters, view,
                                                  &gui, QIcon(Gui::loadIcon(QString::fromLatin1(icon))));
        return bottomTabs[size_t(slot)].data();
    };

    if (present(gui.newView->getActiveStreams())) {
        BottomList *latest = make(0, "CTAB_LABEL_NEWSTREAMS", streamColNames, streamColumnWith,
                                  streamSorterIdentifier, gui.newView.get(), ":/images/25latest.ico", 0);
        latest->setSortList(StreamsView::SORT_ID, true);
    }
    if (present(gui.tvView->getActiveStreams()))
        make(1, "CTAB_LABEL_TV", streamColNames, streamColumnWith, streamSorterIdentifier, gui.tvView.get(),
             ":/images/TV16.ico", 0);
    if (present(gui.radioView->getActiveStreams()))
        make(2, "CTAB_LABEL_RADIO", streamColNames, streamColumnWith, streamSorterIdentifier, gui.radioView.get(),
             ":/images/radio.ico", 0);
    if (present(gui.movieView->getActiveStreams()))
        make(5, "CTAB_LABEL_MOVIES", movieCols, {100, 100, 100}, threeColumnSorters, gui.movieView.get(),
             ":/images/movies.ico", 0);
    if (present(icecastRows))
        make(8, "CTAB_LABEL_ICE", icecastCols, {250, 172, 0, 75}, streamSorterIdentifier, gui.icecastView.get(),
             ":/images/icecast.ico", 0);
    const bool adultVisible = gui.manager->getAdultVisible();
    if (adultVisible) {
        make(4, "CTAB_LABEL_EROTIC", movieCols, {150, 150, 120}, threeColumnSorters, gui.eroticView.get(),
             ":/images/erotic.ico", BottomList::CLOSE);
        gui.pPVView->clearPpvActive();
    }
    if (adultVisible && present(ppvRows)) {
        BottomList *ppv = make(9, "CTAB_LABEL_PPV", ppvCols, {200, 168, 84, 60}, streamSorterIdentifierPPV,
                               gui.pPVView.get(), ":/images/erotic.ico", BottomList::CLOSE);
        for (const StreamInfoPtr &row : ppv->getTableViewer()->input()) {
            auto movie = std::dynamic_pointer_cast<PPVStreamInfo>(row);
            if (movie && movie->getTimeLeftInt() > 0)
                gui.pPVView->addActive(movie);
        }
    }
}

void StreamTabs::selectFirst()
{
    for (auto &slot : bottomTabs) {
        BottomList *first = slot.data();
        if (!first)
            continue;
        m_gui.cBottomTab->setTabBold(first, true);
        first->selectCategory(0);
        first->selectCountry(0);
        m_gui.currentTableViewer = first->getTableViewer();
        m_gui.currentTable = first->getTable();
        m_gui.currentView = first->getStreamsView();
        m_gui.playback()->setPlayEnabled(true);
        m_gui.cBottomTab->setCurrentWidget(first);
        break;
    }
}

void StreamTabs::bottomTabSelected(int index)
{
    auto *selected = qobject_cast<BottomList *>(m_gui.cBottomTab->widget(index));
    // First the tab activation, then the tab switch.
    if (selected)
        selected->setSelected();
    tabSwitch(selected);
}

void StreamTabs::tabSwitch(BottomList *selected)
{
    for (BottomList *tab : liveTabs()) {
        if (tab == selected) {
            m_gui.cBottomTab->setTabBold(tab, true);
            m_gui.searchText->setText(QString());
            tab->selectCategory(0);
            tab->selectCountry(0);
            m_gui.actionSearch->run();
        } else {
            m_gui.cBottomTab->setTabBold(tab, false);
        }
    }
    // Play waits until a row of the new tab is touched.
    m_gui.playback()->setPlayEnabled(false);
}
