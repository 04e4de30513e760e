#pragma once

#include "catalogue/StreamInfo.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class StreamsManager;
struct StreamOrderIndex;

// The model behind one stream table: a stream type, the chosen category and
// country, a search text and a sort column with its direction. It hands out
// the catalogue streams that pass the filter, sorted, as the shared records
// themselves (never copies), and the categories, languages and countries that
// occur in them.
//
// The catalogue views are used on the UI thread; the manager is read only
// through its snapshots, so a load running on the worker thread never shows
// through half-done. The Icecast and pay-per-view kinds are also filled from
// the catalogue worker thread: every operation takes the view's lock, and
// their downloads run outside it.
//
// Sorting: every column has one strict weak ordering (the column, then the
// identifier). The order of a whole list under a column is computed once per
// list (StreamOrderIndex, published by the manager with its list) and shared
// by all views of that list; a request then only picks its rows out of it.
// The sorted rows are kept until the rows, the column or the direction
// change, and a change of direction alone reverses them.
class StreamsView
{
public:
    // Filter numbers: which streams a catalogue view keeps.
    static constexpr int FILTER_ALL = 0;
    static constexpr int FILTER_TV = 1;
    static constexpr int FILTER_RADIO = 2;
    static constexpr int FILTER_VIDEOCLIP = 3;
    static constexpr int FILTER_EROTIC = 4;
    static constexpr int FILTER_MOVIES = 5;
    static constexpr int FILTER_LATEST = 6;
    static constexpr int FILTER_WEBCAM = 7;

    // Sort columns. Column 9 (and any number outside 0..8) sorts by
    // identifier only.
    static constexpr int SORT_NAME = 0;
    static constexpr int SORT_CATEGORY = 1;
    static constexpr int SORT_LANGUAGE = 2;
    static constexpr int SORT_COUNTRY = 3;
    static constexpr int SORT_BITRATE = 4;
    static constexpr int SORT_FORMAT = 5;
    static constexpr int SORT_RATING = 6;
    static constexpr int SORT_LIVE = 7;
    static constexpr int SORT_ID = 8;
    static constexpr int NUM_SORTERS = 10;

    // The comparator of one sort column: texts ignoring case (an unset text
    // compares as the empty text), numbers by value, a stream that is not
    // live before one that is; equal values are ordered by identifier, the
    // smaller first. A strict weak ordering for every column, so it is safe
    // for the standard sorts.
    class StreamInfoSorter
    {
    public:
        explicit StreamInfoSorter(int sortby) : m_sortby(sortby) {}
        // Negative when a comes first, positive when b comes first, 0 only
        // for equal identifiers and equal column values.
        int compare(const StreamInfo &a, const StreamInfo &b) const;
        bool operator()(const StreamInfoPtr &a, const StreamInfoPtr &b) const { return compare(*a, *b) < 0; }
        int getSortBy() const { return m_sortby; }

    private:
        int m_sortby;
    };

    // A catalogue view on manager (not owned) with one of the filter numbers;
    // a number outside 0..7 keeps every type, like FILTER_ALL.
    StreamsView(StreamsManager *manager, int filter);
    virtual ~StreamsView();
    StreamsView(const StreamsView &) = delete;
    StreamsView &operator=(const StreamsView &) = delete;

    // Sets the sort column and direction; the next getActiveStreams applies
    // them (no rebuild of the rows).
    virtual void selectSorter(int sorter, bool ascending);
    // Country and category numbers to keep (0 = all); each marks the rows for
    // rebuilding, as does a new search text (a null text = no search).
    virtual void selectCountry(int countryId);
    virtual void selectCategory(int categoryId);
    virtual void searchForString(const QString &query);
    virtual int getSelectedSorter() const;
    bool getSorterAscending() const;
    int getSelectedCategory() const;
    int getSelectedCountry() const;
    QString getSearchString() const;
    QString getSelectedType() const;
    bool isLatestStreams() const;

    // Selector entries, "all" entry first, then by text ignoring case. The
    // Icecast and pay-per-view kinds give none.
    virtual std::vector<StreamFilterPtr> getLanguages();
    virtual std::vector<StreamFilterPtr> getCountries();
    virtual std::vector<StreamFilterPtr> getCategories();

    // The rows: rebuilt when marked, in the order of the sort column and
    // direction.
    virtual std::vector<StreamInfoPtr> getActiveStreams();

protected:
    // For the Icecast and pay-per-view kinds: no manager and no type.
    StreamsView();

    // Rebuilds the rows; called by the view itself with its lock held.
    virtual void buildActiveStreams();

    // What a rebuild keeps of a list. Streams pass when `latest` is off or
    // their identifier is above `threshold`, and when matches() holds.
    struct RowFilter
    {
        int category = 0;
        int country = 0;
        bool catalogue = true; // matchQueryCountry, else matchQuery (name only)
        bool latestOnly = false;
        bool latest = true;
        int threshold = 0;
        bool operator==(const RowFilter &) const = default;
    };
    // Replaces the rows with the streams of list (null = none) that pass
    // filter and the current search text, in list order. Reuses the previous
    // rows when nothing changed, and tests only them when the new search text
    // narrows the old one. order is the index published with list (null for
    // a list published without one: the view then makes the index of the
    // list itself). Lock held.
    void rebuildRows(const std::shared_ptr<const StreamList> &list, const std::shared_ptr<StreamOrderIndex> &order,
                     const RowFilter &filter);
    // The rows of the last rebuild in list order (lock held).
    std::vector<StreamInfoPtr> rowsInListOrder() const;

    mutable std::mutex m_mutex; // guards the state below

    StreamsManager *m_manager = nullptr;
    int m_selectedCategory = 0;
    int m_selectedCountry = 0;
    QString m_searchString;
    int m_selectedSorter = 0;
    QString m_selectedType;
    bool m_dirty = true;
    bool m_latestStreams = false;
    bool m_getLatest = true;
    bool m_streamSorterAscending = true;

private:
    std::vector<StreamInfoPtr> sortedRows();

    // The rows: positions in m_rowsList, in list order.
    std::shared_ptr<const StreamList> m_rowsList;
    std::vector<std::uint32_t> m_rows;
    bool m_haveRows = false;
    RowFilter m_rowsFilter;
    QString m_rowsSearch;
    std::shared_ptr<StreamOrderIndex> m_order;

    // The rows handed out last, for the sorter and direction they had.
    std::vector<StreamInfoPtr> m_sorted;
    bool m_sortedValid = false;
    int m_sortedSorter = 0;
    bool m_sortedAscending = true;
};
