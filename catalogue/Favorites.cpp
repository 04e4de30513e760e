#include "catalogue/Favorites.h"

#include "catalogue/OptionsXml.h"

#include <QString>

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

using OptionsXml::appendText;
using OptionsXml::boolText;
using OptionsXml::childTextTrim;
using OptionsXml::parseDecimal;
using OptionsXml::xmlText;

namespace {

const QString ICECAST = QStringLiteral("Icecast");

bool isPayPerView(const StreamInfoPtr &record)
{
    return dynamic_cast<const PPVStreamInfo *>(record.get()) != nullptr;
}

} // namespace

// A favourite read from the file that stays a stored entry.
void Favorites::keepStored(Favorite &favorite, const std::shared_ptr<const pugi::xml_document> &file,
                           pugi::xml_node entry)
{
    favorite.file = file;
    favorite.stored = entry;
}

// A stored entry bound to its stream: the file is no longer needed for it.
void Favorites::bind(Favorite &favorite, const StreamInfoPtr &record)
{
    favorite.record = record;
    favorite.file.reset();
    favorite.stored = pugi::xml_node();
}

Favorites::Favorite Favorites::favoriteFromEntry(const std::shared_ptr<const pugi::xml_document> &file,
                                                 pugi::xml_node entry)
{
    Favorite favorite;
    favorite.fromFile = true;
    const pugi::xml_attribute format = entry.attribute("format");
    if (!format) {
        keepStored(favorite, file, entry);
        return favorite;
    }
    const QString formatText = QString::fromUtf8(format.value());
    if (formatText == ICECAST) {
        const std::optional<int> bitrate = parseDecimal(childTextTrim(entry, "Bitrate"));
        if (!bitrate) {
            keepStored(favorite, file, entry);
            return favorite;
        }
        auto record = std::make_shared<StreamInfo>();
        record->setName(childTextTrim(entry, "Name"));
        record->setAdult(childTextTrim(entry, "Adult") == QLatin1String("true"));
        record->setBitrate(*bitrate);
        record->setUrl(childTextTrim(entry, "Url"));
        record->setFormat(ICECAST);
        favorite.record = record;
        return favorite;
    }
    keepStored(favorite, file, entry);
    const std::optional<int> id = parseDecimal(childTextTrim(entry, "StreamId"));
    if (id) {
        favorite.bindable = true;
        favorite.streamId = *id;
    }
    return favorite;
}

// The favourites of the file in ascending stored position ("index", the
// place of a favourite's first occurrence when it was written). Of two
// entries with one position the later one in the file takes it, as the
// writer gives a directory stream listed twice the position of the first.
// Positions have no upper limit. An entry without a usable position
// (missing, negative, not a number) is kept too: after the others, in file
// order.
Favorites Favorites::fromSection(const std::shared_ptr<const pugi::xml_document> &file, pugi::xml_node section)
{
    std::vector<std::pair<int, Favorite>> placed;
    std::vector<Favorite> unplaced;
    for (pugi::xml_node entry : section.children("Entry")) {
        const std::optional<int> position = parseDecimal(QString::fromUtf8(entry.attribute("index").value()));
        if (position && *position >= 0)
            placed.emplace_back(*position, favoriteFromEntry(file, entry));
        else
            unplaced.push_back(favoriteFromEntry(file, entry));
    }
    std::stable_sort(placed.begin(), placed.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    Favorites stored;
    stored.m_list.reserve(placed.size() + unplaced.size());
    for (size_t i = 0; i < placed.size(); ++i) {
        if (i + 1 < placed.size() && placed[i + 1].first == placed[i].first)
            continue; // a later entry has this position
        stored.m_list.push_back(std::move(placed[i].second));
    }
    for (Favorite &f : unplaced)
        stored.m_list.push_back(std::move(f));
    return stored;
}

// The file's favourites come first, then those added in this run before the
// file was read (without the ones the file already holds).
void Favorites::takeFromFile(Favorites &&stored)
{
    std::vector<Favorite> added;
    for (Favorite &f : m_list) {
        if (!f.fromFile)
            added.push_back(std::move(f));
    }
    m_list = std::move(stored.m_list);
    for (const Favorite &f : added)
        add(f.record);
}

// Appends a record unless it is refused; a stored entry waiting for the same
// stream is bound to it in its place instead.
void Favorites::add(const StreamInfoPtr &stream)
{
    if (!stream || isPayPerView(stream))
        return;
    const int id = stream->getId();
    if (id != 0) {
        for (const Favorite &f : m_list) {
            if (f.record && f.record->getId() == id)
                return;
        }
        for (Favorite &f : m_list) {
            if (!f.record && f.bindable && f.streamId == id) {
                bind(f, stream);
                return;
            }
        }
    }
    Favorite favorite;
    favorite.record = stream;
    m_list.push_back(std::move(favorite));
}

void Favorites::remove(const StreamInfoPtr &stream)
{
    for (auto it = m_list.begin(); it != m_list.end(); ++it) {
        if (it->record == stream) {
            m_list.erase(it);
            return;
        }
    }
}

// Binds stored catalogue entries whose stream the catalogue now holds. An
// entry for a stream that is already a favourite is dropped (it was the same
// favourite twice). One pass: the ids given out are kept in a set, and the
// list is compacted as it goes, so many stored entries naming the same few
// streams cost no more than as many different ones.
void Favorites::bindStored(const StreamMap &map)
{
    const auto waiting = [](const Favorite &f) { return !f.record && f.bindable; };
    if (std::none_of(m_list.begin(), m_list.end(), waiting))
        return;
    std::unordered_set<int> present;
    present.reserve(m_list.size());
    for (const Favorite &f : m_list) {
        if (f.record)
            present.insert(f.record->getId());
    }
    auto kept = m_list.begin();
    for (auto it = m_list.begin(); it != m_list.end(); ++it) {
        if (waiting(*it)) {
            const auto found = map.find(it->streamId);
            if (found != map.end() && found->second && !isPayPerView(found->second)) {
                if (!present.insert(it->streamId).second)
                    continue; // the same favourite twice: dropped
                bind(*it, found->second);
            }
        }
        if (kept != it)
            *kept = std::move(*it);
        ++kept;
    }
    m_list.erase(kept, m_list.end());
}

std::vector<StreamInfoPtr> Favorites::records() const
{
    std::vector<StreamInfoPtr> list;
    list.reserve(m_list.size());
    for (const Favorite &f : m_list) {
        if (f.record)
            list.push_back(f.record);
    }
    return list;
}

// Appends the "Entry" of the favourite at position; first is the position of
// its record's first occurrence in the list.
void Favorites::appendEntry(pugi::xml_node favorites, const Favorite &f, size_t position, size_t first)
{
    if (!f.record) {
        pugi::xml_node entry = favorites.append_copy(f.stored);
        pugi::xml_attribute index = entry.attribute("index");
        if (!index)
            index = entry.prepend_attribute("index");
        index.set_value(static_cast<long long>(position));
        return;
    }
    pugi::xml_node entry = favorites.append_child("Entry");
    entry.append_attribute("index").set_value(static_cast<long long>(first));
    const QString format = f.record->getFormat();
    if (!format.isNull())
        entry.append_attribute("format").set_value(xmlText(format).constData());
    appendText(entry, "StreamId", QString::number(f.record->getId()));
    appendText(entry, "Name", f.record->getName());
    appendText(entry, "Adult", boolText(f.record->getAdult()));
    if (format == ICECAST) {
        appendText(entry, "Bitrate", QString::number(f.record->getBitrate()));
        appendText(entry, "Url", f.record->getUrl());
    }
}

// The favourites in list order. The first occurrence of each record is
// found in one pass, so a long list is written in linear time.
void Favorites::appendTo(pugi::xml_node section) const
{
    std::unordered_map<const StreamInfo *, size_t> firstPosition;
    firstPosition.reserve(m_list.size());
    for (size_t i = 0; i < m_list.size(); ++i) {
        const Favorite &f = m_list[i];
        const size_t first = f.record ? firstPosition.try_emplace(f.record.get(), i).first->second : i;
        appendEntry(section, f, i, first);
    }
}
