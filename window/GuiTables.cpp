// The stream tab folder's listeners (tab activation and tab switch), the
// search field and the current-table bookkeeping.
#include "Gui.h"

#include "BottomList.h"
#include "RecordTable.h"
#include "StreamsView.h"
#include "TabFolder.h"

#include <QEvent>
#include <QLineEdit>

BottomList *Gui::bottomTab(int slot) const
{
    if (slot < 0 || slot >= TAB_SLOTS)
        return nullptr;
    return bottomTabs[size_t(slot)].data();
}

QList<BottomList *> Gui::liveTabs() const
{
    QList<BottomList *> tabs;
    for (const auto &slot : bottomTabs) {
        if (slot)
            tabs << slot.data();
    }
    return tabs;
}

void Gui::tableTouched(RecordTableView *table)
{
    currentTable = table;
    currentTableViewer = table ? table->recordModel() : nullptr;
    setPlayEnabled(true);
}

void Gui::bottomTabSelected(int index)
{
    auto *selected = qobject_cast<BottomList *>(cBottomTab->widget(index));
    // First the tab activation, then the tab switch.
    if (selected)
        selected->setSelected();
    tabSwitch(selected);
}

void Gui::tabSwitch(BottomList *selected)
{
    for (BottomList *tab : liveTabs()) {
        if (tab == selected) {
            cBottomTab->setTabBold(tab, true);
            searchText->setText(QString());
            tab->selectCategory(0);
            tab->selectCountry(0);
            actionSearch->run();
        } else {
            cBottomTab->setTabBold(tab, false);
        }
    }
    // Play waits until a row of the new tab is touched.
    setPlayEnabled(false);
}

void Gui::runSearch()
{
    const QString text = searchText ? searchText->text() : QString();
    for (BottomList *tab : liveTabs()) {
        tab->getStreamsView()->searchForString(text);
        tab->setInputRefresh();
    }
}

void Gui::searchFocused()
{
    for (BottomList *tab : liveTabs()) {
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
