#pragma once

#include "catalogue/StreamInfo.h"
#include "catalogue/StreamsView.h"

#include <QString>
#include <QStringView>
#include <array>
#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

// What the views need of one list, computed once and shared by the views of
// the same list: the order under every sort column, the fields the filter
// tests as compact arrays, and the upper-case search texts. The records are
// read-only once published, so none of it goes stale. A manager publishes
// the index of its list with the list (StreamsManager::Snapshot); a view of
// any other list makes one for it. As soon as a view first uses the index a
// thread of its own builds the search texts and then the orders nobody has
// asked for yet; whoever asks first for a part builds it (or waits for the
// one building it).
struct StreamOrderIndex
{
    // Builds nothing yet: every part is built when first asked for, by
    // prepareInBackground or by prepareAll.
    explicit StreamOrderIndex(std::shared_ptr<const StreamList> streams);
    ~StreamOrderIndex();
    StreamOrderIndex(const StreamOrderIndex &) = delete;
    StreamOrderIndex &operator=(const StreamOrderIndex &) = delete;

    // Positions in list, ascending under the column (0..8). Thread-safe; the
    // vector is never changed once computed.
    const std::vector<std::uint32_t> &order(int column);

    // The filter's numbers of each record, and its type as a number into
    // typeTexts (0 for an unset type).
    struct Fields
    {
        std::vector<int> id;
        std::vector<int> category;
        std::vector<int> country;
        std::vector<std::uint32_t> type;
        std::vector<QString> typeTexts{QString()};
    };
    const Fields &fields();

    // The upper-case forms that the records search (StreamInfo keeps the
    // same): each name as a slice of one buffer, categories and countries
    // as numbers into their distinct texts.
    struct Texts
    {
        QString names;
        std::vector<std::uint32_t> nameStart; // size + 1 entries
        std::vector<std::uint32_t> category;
        std::vector<std::uint32_t> country;
        std::vector<QString> categoryTexts;
        std::vector<QString> countryTexts;
        QStringView name(std::uint32_t pos) const
        {
            return QStringView(names).mid(nameStart[pos], nameStart[pos + 1] - nameStart[pos]);
        }
    };
    const Texts &texts();

    const std::shared_ptr<const StreamList> list;

    // Builds every part now, on the calling thread.
    void prepareAll();
    // Starts, on the first call only, the thread that builds every part
    // nobody has asked for yet.
    void prepareInBackground();

    // Sort column numbers as the index keeps them: 9 and every number
    // outside 0..8 sort by identifier only, which is the identifier column.
    static int orderColumn(int sorter);
    // The columns compared as texts ignoring case, and the values of a
    // record that the columns compare.
    static bool isTextColumn(int column);
    static QString columnText(const StreamInfo &s, int column);
    static int columnNumber(const StreamInfo &s, int column);

private:
    void buildFields();
    void buildTexts();
    void computeIdOrder();
    void computeNumberOrder(int column);
    void computeTextOrder(int column);

    std::array<std::vector<std::uint32_t>, StreamsView::SORT_ID + 1> orders;
    std::array<std::once_flag, StreamsView::SORT_ID + 1> orderOnce;
    std::unique_ptr<Fields> fieldData;
    std::once_flag fieldsOnce;
    std::unique_ptr<Texts> textData;
    std::once_flag textsOnce;
    std::once_flag startOnce;
    std::atomic<bool> stopping{false};
    std::future<void> preparing; // last: waited for before the rest goes
};
