#include "catalogue/StreamsView.h"

#include "catalogue/LangMsg.h"
#include "catalogue/StreamOrderIndex.h"
#include "catalogue/StreamsManager.h"

#include <QSet>
#include <algorithm>

namespace {
int compareNumbers(int a, int b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}
} // namespace

int StreamsView::StreamInfoSorter::compare(const StreamInfo &a, const StreamInfo &b) const
{
    int c = 0;
    if (m_sortby >= 0 && m_sortby < SORT_ID) {
        if (StreamOrderIndex::isTextColumn(m_sortby))
            c = compareIgnoreCase(StreamOrderIndex::columnText(a, m_sortby), StreamOrderIndex::columnText(b, m_sortby));
        else
            c = compareNumbers(StreamOrderIndex::columnNumber(a, m_sortby),
                               StreamOrderIndex::columnNumber(b, m_sortby));
    } else if (m_sortby == SORT_ID) {
        c = compareNumbers(a.getId(), b.getId());
    }
    if (c != 0)
        return c < 0 ? -1 : 1;
    return compareNumbers(a.getId(), b.getId());
}

namespace {
QString typeOfFilter(int filter)
{
    switch (filter) {
    case StreamsView::FILTER_TV:
        return QStringLiteral("TV");
    case StreamsView::FILTER_RADIO:
        return QStringLiteral("Radio");
    case StreamsView::FILTER_VIDEOCLIP:
        return QStringLiteral("Videoclip");
    case StreamsView::FILTER_EROTIC:
        return QStringLiteral("Erotic");
    case StreamsView::FILTER_MOVIES:
        return QStringLiteral("Movie");
    case StreamsView::FILTER_WEBCAM:
        return QStringLiteral("Webcam");
    default:
        return QStringLiteral("ALL");
    }
}

bool noQuery(const QString &query)
{
    return query.isEmpty(); // unset and empty both keep every stream
}
} // namespace

StreamsView::StreamsView(StreamsManager *manager, int filter)
    : m_manager(manager), m_selectedType(typeOfFilter(filter)), m_latestStreams(filter == FILTER_LATEST)
{
    // The loads of a manager that has views prepare their lists for them.
    if (m_manager)
        m_manager->prepareOrderOnLoad();
}

StreamsView::StreamsView() = default;

StreamsView::~StreamsView() = default;

void StreamsView::selectSorter(int sorter, bool ascending)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_selectedSorter = sorter;
    m_streamSorterAscending = ascending;
}

void StreamsView::selectCountry(int countryId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_selectedCountry = countryId;
    m_dirty = true;
}

void StreamsView::selectCategory(int categoryId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_selectedCategory = categoryId;
    m_dirty = true;
}

void StreamsView::searchForString(const QString &query)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_searchString = query;
    m_dirty = true;
}

int StreamsView::getSelectedSorter() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_selectedSorter;
}

bool StreamsView::getSorterAscending() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_streamSorterAscending;
}

int StreamsView::getSelectedCategory() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_selectedCategory;
}

int StreamsView::getSelectedCountry() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_selectedCountry;
}

QString StreamsView::getSearchString() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_searchString;
}

QString StreamsView::getSelectedType() const
{
    return m_selectedType;
}

bool StreamsView::isLatestStreams() const
{
    return m_latestStreams;
}

void StreamsView::buildActiveStreams()
{
    m_dirty = false;
    std::shared_ptr<const StreamList> list;
    std::shared_ptr<StreamOrderIndex> order;
    bool latest = false;
    int threshold = 0;
    if (m_manager) {
        // One consistent reading: a load on the worker thread publishes the
        // list, its order index, the latest flag and the threshold together.
        const StreamsManager::Snapshot snapshot = m_manager->snapshot();
        list = snapshot.streams;
        order = snapshot.order;
        latest = snapshot.getLatest;
        threshold = snapshot.latestStreamId;
    }
    m_getLatest = latest;
    RowFilter filter;
    filter.category = m_selectedCategory;
    filter.country = m_selectedCountry;
    filter.catalogue = true;
    filter.latestOnly = m_latestStreams;
    filter.latest = latest;
    filter.threshold = threshold;
    rebuildRows(list, order, filter);
}

void StreamsView::rebuildRows(const std::shared_ptr<const StreamList> &list,
                              const std::shared_ptr<StreamOrderIndex> &order, const RowFilter &filter)
{
    const bool sameBase = m_haveRows && list == m_rowsList && filter == m_rowsFilter;
    const bool oldAll = noQuery(m_rowsSearch);
    const bool newAll = noQuery(m_searchString);
    if (sameBase && ((oldAll && newAll) || m_rowsSearch == m_searchString))
        return;
    // Every stream that passes a search text also passes any text it
    // contains, so a longer search only needs to test the previous rows.
    const QString upperQuery = m_searchString.toUpper();
    const bool narrowing = sameBase && (oldAll || upperQuery.contains(m_rowsSearch.toUpper()));

    if (list != m_rowsList || !m_order) {
        m_order = order && order->list == list ? order : nullptr;
        if (!m_order && list)
            m_order = std::make_shared<StreamOrderIndex>(list);
        if (m_order)
            m_order->prepareInBackground();
    }

    // The test of StreamInfo::matchQueryCountry (catalogue views) or
    // StreamInfo::matchQuery (name only), on the index's arrays.
    std::vector<std::uint32_t> rows;
    if (list) {
        const StreamOrderIndex::Fields &f = m_order->fields();
        std::vector<char> typeOk(f.typeTexts.size(), 1);
        if (filter.catalogue) {
            for (std::size_t c = 0; c < typeOk.size(); ++c) {
                const QString &type = f.typeTexts[c];
                typeOk[c] = (!type.isNull() && !m_selectedType.isNull() && compareIgnoreCase(m_selectedType, type) == 0)
                    || m_selectedType == QLatin1String("ALL");
            }
        }
        // An empty search text is found in every text, as no search text is.
        const bool query = !noQuery(m_searchString);
        const StreamOrderIndex::Texts *t = query ? &m_order->texts() : nullptr;
        std::vector<char> categoryOk;
        std::vector<char> countryOk;
        if (query && filter.catalogue) {
            categoryOk.resize(t->categoryTexts.size());
            for (std::size_t c = 0; c < categoryOk.size(); ++c)
                categoryOk[c] = t->categoryTexts[c].contains(upperQuery);
            countryOk.resize(t->countryTexts.size());
            for (std::size_t c = 0; c < countryOk.size(); ++c)
                countryOk[c] = t->countryTexts[c].contains(upperQuery);
        }
        auto keep = [&](std::uint32_t pos) {
            if (filter.latestOnly && !(filter.latest && f.id[pos] > filter.threshold))
                return false;
            if (filter.catalogue) {
                if (filter.category != 0 && filter.category != f.category[pos])
                    return false;
                if (filter.country != 0 && filter.country != f.country[pos])
                    return false;
                if (!typeOk[f.type[pos]])
                    return false;
            }
            if (!query)
                return true;
            if (t->name(pos).contains(upperQuery))
                return true;
            return filter.catalogue && (categoryOk[t->category[pos]] || countryOk[t->country[pos]]);
        };
        if (narrowing) {
            rows.reserve(m_rows.size());
            for (std::uint32_t pos : m_rows)
                if (keep(pos))
                    rows.push_back(pos);
        } else {
            for (std::uint32_t pos = 0; pos < list->size(); ++pos)
                if (keep(pos))
                    rows.push_back(pos);
        }
    }
    m_rowsList = list;
    m_rows = std::move(rows);
    m_rowsFilter = filter;
    m_rowsSearch = m_searchString;
    m_haveRows = true;
    m_sortedValid = false;
}

std::vector<StreamInfoPtr> StreamsView::rowsInListOrder() const
{
    std::vector<StreamInfoPtr> out;
    if (!m_rowsList)
        return out;
    out.reserve(m_rows.size());
    for (std::uint32_t pos : m_rows)
        out.push_back((*m_rowsList)[pos]);
    return out;
}

std::vector<StreamInfoPtr> StreamsView::sortedRows()
{
    const int column = StreamOrderIndex::orderColumn(m_selectedSorter);
    if (m_sortedValid && m_sortedSorter == column) {
        if (m_sortedAscending != m_streamSorterAscending) {
            std::reverse(m_sorted.begin(), m_sorted.end());
            m_sortedAscending = m_streamSorterAscending;
        }
        return m_sorted;
    }
    m_sorted.clear();
    if (m_rowsList && !m_rows.empty()) {
        const StreamList &list = *m_rowsList;
        const std::vector<std::uint32_t> &order = m_order->order(column);
        m_sorted.reserve(m_rows.size());
        if (m_rows.size() == list.size()) {
            for (std::uint32_t pos : order)
                m_sorted.push_back(list[pos]);
        } else {
            std::vector<unsigned char> member(list.size(), 0);
            for (std::uint32_t pos : m_rows)
                member[pos] = 1;
            for (std::uint32_t pos : order)
                if (member[pos])
                    m_sorted.push_back(list[pos]);
        }
        if (!m_streamSorterAscending)
            std::reverse(m_sorted.begin(), m_sorted.end());
    }
    m_sortedValid = true;
    m_sortedSorter = column;
    m_sortedAscending = m_streamSorterAscending;
    return m_sorted;
}

std::vector<StreamInfoPtr> StreamsView::getActiveStreams()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_dirty)
        buildActiveStreams();
    return sortedRows();
}

namespace {
// Selector entries from streams: the "all" entry, then one entry per text
// not seen before, sorted with the selector order.
template<typename Text, typename Number, typename Keep>
std::vector<StreamFilterPtr> selectorEntries(const QString &allText, const std::vector<StreamInfoPtr> &streams,
                                             Text text, Number number, Keep keep)
{
    std::vector<StreamFilterPtr> entries;
    QSet<QString> seen;
    entries.push_back(std::make_shared<StreamFilter>(0, allText));
    seen.insert(allText);
    for (const StreamInfoPtr &s : streams) {
        const QString key = text(*s);
        if (seen.contains(key) || !keep(*s))
            continue;
        seen.insert(key);
        entries.push_back(std::make_shared<StreamFilter>(number(*s), key));
    }
    sortSelectorEntries(entries);
    return entries;
}
} // namespace

std::vector<StreamFilterPtr> StreamsView::getLanguages()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_dirty)
        buildActiveStreams();
    const QString type = m_selectedType;
    const int category = m_selectedCategory;
    return selectorEntries(
        QStringLiteral("Alle språk"), rowsInListOrder(), [](const StreamInfo &s) { return s.getLanguage(); },
        [](const StreamInfo &s) { return s.getLanguageId(); },
        [&](const StreamInfo &s) { return s.matchQueryCountry(type, category, 0, QStringLiteral("")); });
}

std::vector<StreamFilterPtr> StreamsView::getCountries()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_dirty)
        buildActiveStreams();
    const QString type = m_selectedType;
    const int category = m_selectedCategory;
    return selectorEntries(
        LangMsg::getMsg(QStringLiteral("COUNTRY_SELECTOR_ALL_COUNTRIES")), rowsInListOrder(),
        [](const StreamInfo &s) { return s.getCountry(); }, [](const StreamInfo &s) { return s.getCountryId(); },
        [&](const StreamInfo &s) { return s.matchQueryCountry(type, category, 0, QStringLiteral("")); });
}

std::vector<StreamFilterPtr> StreamsView::getCategories()
{
    static const StreamList none;
    const std::shared_ptr<const StreamList> all = m_manager ? m_manager->getAllStreams() : nullptr;
    const QString type = m_selectedType;
    return selectorEntries(
        QStringLiteral("Alle kategorier"), all ? *all : none,
        [](const StreamInfo &s) { return s.getCategory(); }, [](const StreamInfo &s) { return s.getCategoryId(); },
        [&](const StreamInfo &s) { return s.matchQueryCountry(type, 0, 0, QStringLiteral("")); });
}
