#pragma once

#include "catalogue/StreamInfo.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <array>
#include <vector>

class BottomList;
class Gui;
class QWidget;

// The stream tab folder's tabs of the main window: one slot per kind of
// stream list (latest, TV, radio, movies, adult content, Icecast,
// pay-per-view), the tabs made after every load, and what a tab's
// activation and a tab switch do. The window owns it and keeps the folder
// widget (cBottomTab); a tab that goes leaves through the window's
// retireTab, which also clears its slot here.
class StreamTabs
{
public:
    static constexpr int TAB_SLOTS = 50;

    explicit StreamTabs(Gui &gui);
    StreamTabs(const StreamTabs &) = delete;
    StreamTabs &operator=(const StreamTabs &) = delete;

    BottomList *bottomTab(int slot) const;
    // Tabs of the stream folder in slot order (empty slots left out).
    QList<BottomList *> liveTabs() const;

    // The tabs of the previous load go, each through the window's
    // retireTab; no slot holds a tab afterwards.
    void retireAll();
    // The tab in slot goes through the window's retireTab (the view it
    // shows stops being the current one); an empty slot does nothing.
    void removeTab(int slot);
    // The slot that holds page, if any, becomes empty; the page itself is
    // left to retireTab.
    void forget(const QWidget *page);

    // The stream tabs of a load, each in its slot: the latest, TV, radio and
    // movies tabs when their views have rows, the Icecast tab when the
    // directory gave rows, the adult content tab while adult content is
    // shown and the pay-per-view tab when the catalogue has movies too
    // (whose rented movies become the active rentals).
    void makeTabs(const std::vector<StreamInfoPtr> &icecastRows, const std::vector<StreamInfoPtr> &ppvRows);
    // The tab in the lowest slot becomes the current one: bold title,
    // unfiltered, its table and view the window's current ones, Play
    // enabled. No tab: nothing changes.
    void selectFirst();

    // The folder's listener: the tab at index was picked by the user.
    void bottomTabSelected(int index);
    void tabSwitch(BottomList *selected);

private:
    Gui &m_gui;
    std::array<QPointer<BottomList>, TAB_SLOTS> bottomTabs;
    QStringList streamColNames;
    QList<int> streamColumnWith;
    QList<int> streamSorterIdentifier;
    QList<int> streamSorterIdentifierPPV;
};
