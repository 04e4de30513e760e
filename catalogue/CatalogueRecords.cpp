#include "catalogue/CatalogueRecords.h"

#include "catalogue/CatalogueText.h"
#include "catalogue/Parallel.h"
#include "catalogue/TulException.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

using namespace CatalogueText;

namespace {

// The texts that many records share (category, language, country, type),
// converted once per builder and handed out as shared strings. number is
// the index number, filled in when the record is registered.
class InternTable
{
public:
    struct Entry
    {
        QString text;
        int number = -1;
    };

    // begin/end: the trimmed UTF-8 text; stable says whether those bytes
    // outlive the build (they do when they point into the parsed document).
    // The entry's address stays valid for the table's life.
    Entry *get(const char *begin, const char *end, bool stable)
    {
        std::string_view key(begin, size_t(end - begin));
        const auto found = m_map.find(key);
        if (found != m_map.end())
            return &found->second;
        if (!stable) {
            m_ownedKeys.emplace_back(key);
            key = m_ownedKeys.back();
        }
        Entry entry;
        entry.text = QString::fromUtf8(begin, end - begin);
        return &m_map.emplace(key, std::move(entry)).first->second;
    }

private:
    std::unordered_map<std::string_view, Entry> m_map;
    std::list<std::string> m_ownedKeys;
};

// The records of one run of Stream elements, built on one thread.
struct RecordChunk
{
    struct Keys
    {
        InternTable::Entry *category;
        InternTable::Entry *language;
        InternTable::Entry *country;
    };
    std::vector<StreamInfoPtr> records; // the kept ones, in document order
    std::vector<Keys> keys;             // one per kept record
    InternTable categories, languages, countries, types;
    bool failed = false;
    std::string error;            // the first broken rule of the run
    std::exception_ptr exception; // a failure of another kind
};

[[noreturn]] void parseError(const std::string &detail)
{
    throw TulException(QStringLiteral("ParseError"), std::runtime_error(detail));
}

enum Field { Name, Language, Country, Bitrate, Format, Type, Live, Category, Url, FieldCount };
const char *const fieldNames[FieldCount] = {"Name", "Language", "Country",  "Bitrate", "Format",
                                            "Type", "Live",     "Category", "Url"};

// The field a child element name stands for, or -1.
int fieldOf(const char *name)
{
    switch (name[0]) {
    case 'N':
        return std::strcmp(name, "Name") == 0 ? Name : -1;
    case 'L':
        if (std::strcmp(name, "Language") == 0)
            return Language;
        return std::strcmp(name, "Live") == 0 ? Live : -1;
    case 'C':
        if (std::strcmp(name, "Country") == 0)
            return Country;
        return std::strcmp(name, "Category") == 0 ? Category : -1;
    case 'B':
        return std::strcmp(name, "Bitrate") == 0 ? Bitrate : -1;
    case 'F':
        return std::strcmp(name, "Format") == 0 ? Format : -1;
    case 'T':
        return std::strcmp(name, "Type") == 0 ? Type : -1;
    case 'U':
        return std::strcmp(name, "Url") == 0 ? Url : -1;
    default:
        return -1;
    }
}

// What the catalogue's rules require of one Stream element: its three
// attributes, a child of each of the nine names (the first of a name
// counts), and an id and a bit rate that are decimal integers.
struct StreamParts
{
    int id = 0;
    bool adult = false;
    bool topStream = false;
    int bitrate = 0;
    pugi::xml_node fields[FieldCount];
};

// Reads the Stream element s, the position-th of its document (counting from
// 1), into parts; false, with the broken rule in error, when it breaks one.
bool readStreamParts(const pugi::xml_node &s, size_t position, StreamParts &parts, ElementText &text,
                     std::string &error)
{
    const pugi::xml_attribute idAttribute = s.attribute("id");
    const pugi::xml_attribute adultAttribute = s.attribute("adult");
    const pugi::xml_attribute topAttribute = s.attribute("topstream");
    if (!idAttribute || !adultAttribute || !topAttribute) {
        error = "Stream " + std::to_string(position) + " lacks one of the attributes id, adult, topstream";
        return false;
    }
    const char *v = idAttribute.value();
    if (!parseInt(v, v + std::strlen(v), parts.id)) {
        error = "Stream " + std::to_string(position) + ": id \"" + v + "\" is not a number";
        return false;
    }
    parts.adult = equalsIgnoreCase(adultAttribute.value(), "true");
    parts.topStream = equalsIgnoreCase(topAttribute.value(), "true");

    for (auto &f : parts.fields)
        f = pugi::xml_node();
    int found = 0;
    for (pugi::xml_node child = s.first_child(); child && found < FieldCount; child = child.next_sibling()) {
        if (child.type() != pugi::node_element)
            continue;
        const int field = fieldOf(child.name());
        if (field >= 0 && !parts.fields[field]) {
            parts.fields[field] = child; // the first of a name counts
            ++found;
        }
    }
    if (found < FieldCount) {
        for (int i = 0; i < FieldCount; ++i) {
            if (!parts.fields[i]) {
                error = "Stream " + std::to_string(position) + " has no " + fieldNames[i] + " element";
                return false;
            }
        }
    }

    elementText(parts.fields[Bitrate], text);
    const char *b = text.begin, *e = text.end;
    trimBytes(b, e);
    if (!parseInt(b, e, parts.bitrate)) {
        error = "Stream " + std::to_string(position) + ": Bitrate \"" + std::string(b, e) + "\" is not a number";
        return false;
    }
    return true;
}

// Builds the records of nodes[begin, end) into chunk; stops at the first
// element that breaks the catalogue's rules. Reads the document only.
void buildRecords(const std::vector<pugi::xml_node> &nodes, size_t begin, size_t end,
                  const std::atomic<bool> &adultVisible, RecordChunk &chunk)
{
    chunk.records.reserve(end - begin);
    chunk.keys.reserve(end - begin);
    const QString wmpFormat = QStringLiteral("WMP");
    StreamParts parts;
    const pugi::xml_node *fields = parts.fields;
    ElementText text;
    // The trimmed text of a field; true when its bytes lie in the document.
    auto fieldText = [&](Field field, const char *&b, const char *&e) {
        elementText(fields[field], text);
        b = text.begin;
        e = text.end;
        trimBytes(b, e);
        return text.joined.empty();
    };

    for (size_t index = begin; index < end; ++index) {
        if (!readStreamParts(nodes[index], index + 1, parts, text, chunk.error)) {
            chunk.failed = true;
            return;
        }
        const char *b = nullptr, *e = nullptr;
        fieldText(Format, b, e);
        const bool wmp = e - b == 3 && std::memcmp(b, "WMP", 3) == 0;
        if (!wmp || (parts.adult && !adultVisible.load(std::memory_order_relaxed)))
            continue; // dropped: registers nothing

        auto record = std::make_shared<StreamInfo>();
        record->setId(parts.id);
        record->setAdult(parts.adult);
        record->setTopStream(parts.topStream);
        record->setBitrate(parts.bitrate);
        record->setFormat(wmpFormat);
        fieldText(Name, b, e);
        record->setName(QString::fromUtf8(b, e - b));
        bool stable = fieldText(Type, b, e);
        record->setType(chunk.types.get(b, e, stable)->text);
        fieldText(Live, b, e);
        record->setLive(e - b == 4 && qstrnicmp(b, "True", 4) == 0);
        fieldText(Url, b, e);
        record->setUrl(QString::fromUtf8(b, e - b));
        RecordChunk::Keys keys{};
        stable = fieldText(Category, b, e);
        keys.category = chunk.categories.get(b, e, stable);
        stable = fieldText(Language, b, e);
        keys.language = chunk.languages.get(b, e, stable);
        stable = fieldText(Country, b, e);
        keys.country = chunk.countries.get(b, e, stable);
        record->setCategory(keys.category->text);
        record->setLanguage(keys.language->text);
        record->setCountry(keys.country->text);
        chunk.records.push_back(std::move(record));
        chunk.keys.push_back(keys);
    }
}

int registered(InternTable::Entry *entry, NameIndex &index)
{
    if (entry->number < 0)
        entry->number = index.add(entry->text);
    return entry->number;
}

} // namespace

bool followsRules(const CatalogueDocument &document)
{
    if (!document.streams)
        return false;
    StreamParts parts;
    ElementText text;
    std::string error;
    size_t position = 0;
    for (pugi::xml_node s = document.streams.child("Stream"); s; s = s.next_sibling("Stream"))
        if (!readStreamParts(s, ++position, parts, text, error))
            return false;
    return true;
}

std::shared_ptr<StreamList> buildStreamList(const CatalogueDocument &document, const std::atomic<bool> &adultVisible,
                                            CatalogueIndexes &indexes, int &latestStreamId)
{
    const pugi::xml_node streams = document.streams;
    if (!streams)
        parseError("The catalogue has no Streams element");
    const pugi::xml_attribute flush = streams.attribute("flush");
    if (flush && equalsIgnoreCase(flush.value(), "True")) {
        indexes.categories.clear();
        indexes.languages.clear();
    }

    std::vector<pugi::xml_node> nodes;
    for (pugi::xml_node s = streams.child("Stream"); s; s = s.next_sibling("Stream"))
        nodes.push_back(s);

    // Large catalogues are built on a few threads, each a run of elements;
    // the runs are then registered in document order, so the numbers are
    // those of a single pass.
    constexpr size_t recordsPerThread = 2000;
    const size_t hardware = std::max(1u, std::thread::hardware_concurrency());
    const size_t runs = std::clamp<size_t>(nodes.size() / recordsPerThread, 1, std::min<size_t>(4, hardware));
    std::vector<RecordChunk> chunks(runs);
    const size_t step = (nodes.size() + runs - 1) / runs;
    runParallel(runs, [&](size_t i) {
        try {
            buildRecords(nodes, std::min(nodes.size(), i * step), std::min(nodes.size(), (i + 1) * step),
                         adultVisible, chunks[i]);
        } catch (...) {
            chunks[i].exception = std::current_exception();
        }
    });

    size_t kept = 0;
    for (const RecordChunk &chunk : chunks) {
        if (chunk.exception)
            std::rethrow_exception(chunk.exception);
        if (chunk.failed)
            parseError(chunk.error);
        kept += chunk.records.size();
    }
    auto list = std::make_shared<StreamList>();
    list->reserve(kept);
    for (RecordChunk &chunk : chunks) {
        for (size_t i = 0; i < chunk.records.size(); ++i) {
            StreamInfoPtr &record = chunk.records[i];
            const RecordChunk::Keys &keys = chunk.keys[i];
            if (record->getId() > latestStreamId)
                latestStreamId = record->getId();
            record->setIndexIds(registered(keys.category, indexes.categories),
                                registered(keys.language, indexes.languages),
                                registered(keys.country, indexes.countries));
            list->push_back(std::move(record));
        }
    }
    return list;
}
