#include "catalogue/StreamsView.h"

#include "catalogue/LangMsg.h"
#include "catalogue/StreamsManager.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <array>
#include <atomic>
#include <future>
#include <system_error>

namespace {

__extension__ typedef unsigned __int128 ChunkKey;

// Sort column numbers as the order index keeps them: 9 and every number
// outside 0..8 sort by identifier only, which is the identifier column.
int orderColumn(int sorter)
{
    return sorter >= 0 && sorter < StreamsView::SORT_ID ? sorter : StreamsView::SORT_ID;
}

bool isTextColumn(int column)
{
    return column == StreamsView::SORT_NAME || column == StreamsView::SORT_CATEGORY
        || column == StreamsView::SORT_LANGUAGE || column == StreamsView::SORT_COUNTRY
        || column == StreamsView::SORT_FORMAT;
}

QString columnText(const StreamInfo &s, int column)
{
    switch (column) {
    case StreamsView::SORT_NAME:
        return s.getName();
    case StreamsView::SORT_CATEGORY:
        return s.getCategory();
    case StreamsView::SORT_LANGUAGE:
        return s.getLanguage();
    case StreamsView::SORT_COUNTRY:
        return s.getCountry();
    case StreamsView::SORT_FORMAT:
        return s.getFormat();
    default:
        return QString();
    }
}

int columnNumber(const StreamInfo &s, int column)
{
    switch (column) {
    case StreamsView::SORT_BITRATE:
        return s.getBitrate();
    case StreamsView::SORT_RATING:
        return s.getRating();
    case StreamsView::SORT_LIVE:
        return s.getLive() ? 1 : 0;
    default:
        return s.getId();
    }
}

int compareNumbers(int a, int b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}

// The value that the case-insensitive text comparison (compareIgnoreCase)
// gives the UTF-16 unit at i: the case-folded code point, where a low
// surrogate stands for the whole pair that ends with it.
inline char32_t foldedUnit(const char16_t *d, qsizetype i)
{
    static const std::array<char32_t, 0x250> latin = [] {
        std::array<char32_t, 0x250> table{};
        for (char32_t c = 0; c < table.size(); ++c)
            table[c] = QChar::toCaseFolded(c);
        return table;
    }();
    char32_t u = d[i];
    if (u < latin.size())
        return latin[u];
    if (QChar::isLowSurrogate(u) && i > 0 && QChar::isHighSurrogate(d[i - 1]))
        u = QChar::surrogateToUcs4(d[i - 1], char16_t(u));
    return QChar::toCaseFolded(u);
}

constexpr std::size_t CHUNK_UNITS = 6; // 6 units of 21 bits in a 128-bit key

} // namespace

// What the views need of one list, computed once and shared by the views of
// the same list: the order under every sort column, the fields the filter
// tests as compact arrays, and the upper-case search texts. The records are
// read-only once published, so none of it goes stale. As soon as the list is
// first seen a thread of its own builds the search texts and then the orders
// nobody has asked for yet; whoever asks first for a part builds it (or waits
// for the one building it).
struct StreamOrderIndex
{
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

    static std::shared_ptr<StreamOrderIndex> forList(const std::shared_ptr<const StreamList> &list,
                                                     bool keep = false);

    const std::shared_ptr<const StreamList> list;

    // Builds every part now, on the calling thread.
    void prepareAll();

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
    std::atomic<bool> stopping{false};
    std::future<void> preparing; // last: waited for before the rest goes
};

StreamOrderIndex::StreamOrderIndex(std::shared_ptr<const StreamList> streams) : list(std::move(streams))
{
    try {
        preparing = std::async(std::launch::async, [this] { prepareAll(); });
    } catch (const std::system_error &) {
        // No thread to be had: every part is built when first asked for.
    }
}

StreamOrderIndex::~StreamOrderIndex()
{
    stopping = true;
    if (preparing.valid())
        preparing.wait();
}

void StreamOrderIndex::prepareAll()
{
    try {
        texts();
        fields();
        for (int column : {StreamsView::SORT_NAME, StreamsView::SORT_CATEGORY, StreamsView::SORT_COUNTRY,
                           StreamsView::SORT_LANGUAGE, StreamsView::SORT_BITRATE, StreamsView::SORT_FORMAT,
                           StreamsView::SORT_LIVE, StreamsView::SORT_RATING}) {
            if (stopping)
                return;
            order(column);
        }
    } catch (...) {
        // Whoever asks for a part later builds it on its own thread (and
        // sees the failure there).
    }
}

const StreamOrderIndex::Fields &StreamOrderIndex::fields()
{
    std::call_once(fieldsOnce, [this] { buildFields(); });
    return *fieldData;
}

void StreamOrderIndex::buildFields()
{
    auto f = std::make_unique<Fields>();
    const std::size_t n = list->size();
    f->id.resize(n);
    f->category.resize(n);
    f->country.resize(n);
    f->type.resize(n);
    QHash<QString, std::uint32_t> types;
    for (std::size_t i = 0; i < n; ++i) {
        const StreamInfo &s = *(*list)[i];
        f->id[i] = s.getId();
        f->category[i] = s.getCategoryId();
        f->country[i] = s.getCountryId();
        const QString type = s.getType();
        if (type.isNull())
            continue; // number 0
        auto it = types.find(type);
        if (it == types.end()) {
            it = types.insert(type, std::uint32_t(f->typeTexts.size()));
            f->typeTexts.push_back(type);
        }
        f->type[i] = it.value();
    }
    fieldData = std::move(f);
}

const StreamOrderIndex::Texts &StreamOrderIndex::texts()
{
    std::call_once(textsOnce, [this] { buildTexts(); });
    return *textData;
}

void StreamOrderIndex::buildTexts()
{
    auto t = std::make_unique<Texts>();
    const std::size_t n = list->size();
    t->nameStart.resize(n + 1);
    t->category.resize(n);
    t->country.resize(n);
    QHash<QString, std::uint32_t> categories;
    QHash<QString, std::uint32_t> countries;
    auto number = [](QHash<QString, std::uint32_t> &known, std::vector<QString> &upper, const QString &text) {
        auto it = known.find(text);
        if (it == known.end()) {
            it = known.insert(text, std::uint32_t(upper.size()));
            upper.push_back(text.toUpper());
        }
        return it.value();
    };
    for (std::size_t i = 0; i < n; ++i) {
        const StreamInfo &s = *(*list)[i];
        t->nameStart[i] = std::uint32_t(t->names.size());
        t->names += s.getName().toUpper();
        t->category[i] = number(categories, t->categoryTexts, s.getCategory());
        t->country[i] = number(countries, t->countryTexts, s.getCountry());
    }
    t->nameStart[n] = std::uint32_t(t->names.size());
    textData = std::move(t);
}

std::shared_ptr<StreamOrderIndex> StreamOrderIndex::forList(const std::shared_ptr<const StreamList> &list, bool keep)
{
    static std::mutex cacheMutex;
    static std::vector<std::weak_ptr<StreamOrderIndex>> cache;
    // The index of the list prepared last stays until the next one is
    // prepared, so that the views find it when they first show the list.
    static std::shared_ptr<StreamOrderIndex> kept;
    std::lock_guard<std::mutex> lock(cacheMutex);
    std::shared_ptr<StreamOrderIndex> found;
    for (auto it = cache.begin(); it != cache.end();) {
        auto index = it->lock();
        if (!index) {
            it = cache.erase(it);
            continue;
        }
        if (index->list == list)
            found = index;
        ++it;
    }
    if (!found) {
        found = std::make_shared<StreamOrderIndex>(list);
        cache.push_back(found);
    }
    if (keep)
        kept = found;
    return found;
}

const std::vector<std::uint32_t> &StreamOrderIndex::order(int column)
{
    column = orderColumn(column);
    std::call_once(orderOnce[StreamsView::SORT_ID], [this] { computeIdOrder(); });
    if (column != StreamsView::SORT_ID) {
        std::call_once(orderOnce[column], [this, column] {
            if (isTextColumn(column))
                computeTextOrder(column);
            else
                computeNumberOrder(column);
        });
    }
    return orders[column];
}

void StreamOrderIndex::computeIdOrder()
{
    const std::size_t n = list->size();
    std::vector<std::pair<int, std::uint32_t>> keys(n);
    for (std::size_t i = 0; i < n; ++i)
        keys[i] = {(*list)[i]->getId(), std::uint32_t(i)};
    std::sort(keys.begin(), keys.end());
    auto &out = orders[StreamsView::SORT_ID];
    out.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = keys[i].second;
}

void StreamOrderIndex::computeNumberOrder(int column)
{
    // Ties keep the identifier order.
    const auto &byId = orders[StreamsView::SORT_ID];
    std::vector<std::pair<int, std::uint32_t>> keys(byId.size());
    for (std::size_t k = 0; k < byId.size(); ++k)
        keys[k] = {columnNumber(*(*list)[byId[k]], column), std::uint32_t(k)};
    std::sort(keys.begin(), keys.end());
    auto &out = orders[column];
    out.resize(keys.size());
    for (std::size_t k = 0; k < keys.size(); ++k)
        out[k] = byId[keys[k].second];
}

void StreamOrderIndex::computeTextOrder(int column)
{
    // Every text folded once into one buffer, each unit as its folded value
    // plus one.
    const std::size_t n = list->size();
    std::vector<std::uint32_t> units;
    std::vector<std::uint32_t> start(n + 1);
    units.reserve(n * 16);
    for (std::size_t i = 0; i < n; ++i) {
        const QString text = columnText(*(*list)[i], column);
        const char16_t *d = reinterpret_cast<const char16_t *>(text.constData());
        start[i] = std::uint32_t(units.size());
        for (qsizetype j = 0; j < text.size(); ++j)
            units.push_back(std::uint32_t(foldedUnit(d, j)) + 1);
    }
    start[n] = std::uint32_t(units.size());

    // Units [from, from + 6) of a text as one number that orders like the
    // comparison, 0 past the end, so a text that is a prefix of another
    // comes first.
    auto chunkKey = [&](std::uint32_t pos, std::size_t from) {
        const std::size_t begin = start[pos] + from;
        const std::size_t end = start[pos + 1];
        ChunkKey key = 0;
        for (std::size_t j = 0; j < CHUNK_UNITS; ++j)
            key = (key << 21) | (begin + j < end ? units[begin + j] : 0);
        return key;
    };
    auto longerThan = [&](std::uint32_t pos, std::size_t length) { return start[pos + 1] - start[pos] > length; };

    // A multikey sort: sorts by successive 6-unit chunks, starting from the
    // identifier order and keeping the order of ties, so equal texts end up
    // in identifier order. Only groups that still tie and hold a longer text
    // go on to the next chunk.
    std::vector<std::uint32_t> perm = orders[StreamsView::SORT_ID];
    struct Item
    {
        ChunkKey key;
        std::uint32_t rank; // place before this step: keeps ties in order
        std::uint32_t pos;
        bool operator<(const Item &o) const { return key < o.key || (key == o.key && rank < o.rank); }
    };
    struct Range
    {
        std::size_t begin;
        std::size_t end;
        std::size_t level;
    };
    std::vector<Item> items;
    std::vector<Range> pending{{0, n, 0}};
    while (!pending.empty()) {
        const Range r = pending.back();
        pending.pop_back();
        const std::size_t from = r.level * CHUNK_UNITS;
        items.resize(r.end - r.begin);
        for (std::size_t k = 0; k < items.size(); ++k) {
            const std::uint32_t pos = perm[r.begin + k];
            items[k] = {chunkKey(pos, from), std::uint32_t(k), pos};
        }
        std::sort(items.begin(), items.end());
        for (std::size_t k = 0; k < items.size(); ++k)
            perm[r.begin + k] = items[k].pos;
        for (std::size_t rb = 0; rb < items.size();) {
            std::size_t re = rb + 1;
            bool longer = longerThan(items[rb].pos, from + CHUNK_UNITS);
            while (re < items.size() && items[re].key == items[rb].key) {
                longer = longer || longerThan(items[re].pos, from + CHUNK_UNITS);
                ++re;
            }
            if (re - rb > 1 && longer)
                pending.push_back({r.begin + rb, r.begin + re, r.level + 1});
            rb = re;
        }
    }
    orders[column] = std::move(perm);
}

void StreamsView::prepareStreams(const std::shared_ptr<const StreamList> &streams)
{
    if (streams)
        StreamOrderIndex::forList(streams, true)->prepareAll();
}

int StreamsView::StreamInfoSorter::compare(const StreamInfo &a, const StreamInfo &b) const
{
    int c = 0;
    if (m_sortby >= 0 && m_sortby < SORT_ID) {
        if (isTextColumn(m_sortby))
            c = compareIgnoreCase(columnText(a, m_sortby), columnText(b, m_sortby));
        else
            c = compareNumbers(columnNumber(a, m_sortby), columnNumber(b, m_sortby));
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
    bool latest = false;
    int threshold = 0;
    if (m_manager) {
        // One consistent reading: a load on the worker thread publishes the
        // list, the latest flag and the threshold together.
        const StreamsManager::Snapshot snapshot = m_manager->snapshot();
        list = snapshot.streams;
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
    rebuildRows(list, filter);
}

void StreamsView::rebuildRows(const std::shared_ptr<const StreamList> &list, const RowFilter &filter)
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

    if (list != m_rowsList || !m_order)
        m_order = list ? StreamOrderIndex::forList(list) : nullptr;

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
    const int column = orderColumn(m_selectedSorter);
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
    prepareSource();
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
