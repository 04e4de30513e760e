// The search field, the current-table bookkeeping and the retirement of the
// tabs that go.
#include "window/Gui.h"

#include "catalogue/StreamsView.h"
#include "window/BottomList.h"
#include "window/PlaybackControl.h"
#include "window/RecordTable.h"
#include "window/StreamTabs.h"
#include "window/TabFolder.h"

#include <QEvent>
#include <QLineEdit>
#include <QMenu>
#include <utility>

void Gui::tableCallStarted()
{
    ++m_tableCalls;
}

void Gui::tableCallEnded()
{
    if (--m_tableCalls > 0 || m_retiredTabs.isEmpty())
        return;
    // The last call has returned to the code of the table that started it:
    // its pages go once that code has returned to the event loop.
    const QList<QPointer<QWidget>> retired = std::exchange(m_retiredTabs, {});
    for (const QPointer<QWidget> &page : retired) {
        if (page)
            page->deleteLater();
    }
}

void Gui::retireTab(QWidget *page)
{
    if (!page)
        return;
    // Nothing acts on the rows of a table that is going: the window forgets
    // every table and model of the page, as it would on its deletion.
    auto inPage = [page](QWidget *widget) { return widget && (widget == page || page->isAncestorOf(widget)); };
    auto modelInPage = [&](RecordTableModel *model) { return model && inPage(model->view()); };
    if (inPage(currentTable))
        currentTable = nullptr;
    if (modelInPage(currentTableViewer))
        currentTableViewer = nullptr;
    if (inPage(favoritesTab))
        favoritesTab = nullptr;
    if (inPage(favoritesTable))
        favoritesTable = nullptr;
    if (modelInPage(favoritesTableViewer))
        favoritesTableViewer = nullptr;
    if (inPage(ppvTab))
        ppvTab = nullptr;
    if (inPage(ppvTable))
        ppvTable = nullptr;
    if (modelInPage(ppvTableViewer))
        ppvTableViewer = nullptr;
    m_streamTabs->forget(page);

    if (m_tableCalls == 0) {
        delete page;
        return;
    }
    // A table of the page may be on the stack below a nested event loop:
    // the page leaves its folder now and goes when the last call returns.
    for (TabFolder *folder : {cBottomTab, cTabFavLoc}) {
        const int index = folder ? folder->indexOf(page) : -1;
        if (index >= 0)
            folder->removeTab(index);
    }
    page->hide();
    for (QMenu *menu : page->findChildren<QMenu *>())
        menu->close();
    m_retiredTabs << page;
}

void Gui::tableTouched(RecordTableView *table)
{
    for (const QPointer<QWidget> &page : m_retiredTabs) {
        if (page && table && page->isAncestorOf(table))
            return;
    }
    currentTable = table;
    currentTableViewer = table ? table->recordModel() : nullptr;
    m_playback->setPlayEnabled(true);
}

void Gui::runSearch()
{
    const QString text = searchText ? searchText->text() : QString();
    for (BottomList *tab : m_streamTabs->liveTabs()) {
        tab->getStreamsView()->searchForString(text);
        tab->setInputRefresh();
    }
}

void Gui::searchFocused()
{
    for (BottomList *tab : m_streamTabs->liveTabs()) {
        tab->getStreamsView()->selectCategory(0);
        tab->getStreamsView()->selectCountry(0);
        tab->setInputRefresh();
    }
}

bool Gui::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == searchText) {
        if (event->type() == QEvent::KeyRelease)
            actionSearch->run();
        else if (event->type() == QEvent::FocusIn)
            searchFocused();
    }
    return QMainWindow::eventFilter(watched, event);
}
