#include "catalogue/StreamOrderIndex.h"

#include <QChar>
#include <QHash>
#include <algorithm>
#include <system_error>

namespace {

__extension__ typedef unsigned __int128 ChunkKey;

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

int StreamOrderIndex::orderColumn(int sorter)
{
    return sorter >= 0 && sorter < StreamsView::SORT_ID ? sorter : StreamsView::SORT_ID;
}

bool StreamOrderIndex::isTextColumn(int column)
{
    return column == StreamsView::SORT_NAME || column == StreamsView::SORT_CATEGORY
        || column == StreamsView::SORT_LANGUAGE || column == StreamsView::SORT_COUNTRY
        || column == StreamsView::SORT_FORMAT;
}

QString StreamOrderIndex::columnText(const StreamInfo &s, int column)
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

int StreamOrderIndex::columnNumber(const StreamInfo &s, int column)
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

StreamOrderIndex::StreamOrderIndex(std::shared_ptr<const StreamList> streams) : list(std::move(streams))
{
}

StreamOrderIndex::~StreamOrderIndex()
{
    stopping = true;
    if (preparing.valid())
        preparing.wait();
}

void StreamOrderIndex::prepareInBackground()
{
    std::call_once(startOnce, [this] {
        try {
            preparing = std::async(std::launch::async, [this] { prepareAll(); });
        } catch (const std::system_error &) {
            // No thread to be had: every part is built when first asked for.
        }
    });
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
