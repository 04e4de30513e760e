#pragma once

#include "catalogue/StreamInfo.h"
#include "catalogue/StreamsManager.h"

#include <pugixml.hpp>

#include <memory>
#include <vector>

// The user's favourites in their order, as the settings keep them: streams
// given out, and stored entries of the settings file. Not locked: Options
// holds its list under its own lock.
class Favorites
{
public:
    // The favourites of the file's "Favorites" section in ascending stored
    // position ("index", the place of a favourite's first occurrence when it
    // was written). Of two entries with one position the later one in the
    // file takes it. An entry without a usable position (missing, negative,
    // not a number) is kept too: after the others, in file order.
    static Favorites fromSection(const std::shared_ptr<const pugi::xml_document> &file, pugi::xml_node section);

    // The file's favourites come first, then those added in this run before
    // the file was read (without the ones the file already holds).
    void takeFromFile(Favorites &&stored);
    // Appends a record unless it is refused (none, a pay-per-view movie, an
    // id other than 0 that is already a favourite); a stored entry waiting
    // for the same stream is bound to it in its place instead.
    void add(const StreamInfoPtr &stream);
    // Removes the first occurrence of this very record.
    void remove(const StreamInfoPtr &stream);
    // Binds stored catalogue entries whose stream the map now holds; an entry
    // for a stream that is already a favourite is dropped.
    void bindStored(const StreamMap &map);

    bool empty() const { return m_list.empty(); }
    // The records given out, in list order (stored entries left out).
    std::vector<StreamInfoPtr> records() const;
    // Appends one "Entry" per favourite, in list order, to section.
    void appendTo(pugi::xml_node section) const;

private:
    // One favourite. A catalogue favourite read from the file stays a stored
    // entry (record unset) until its stream turns up in the catalogue; an entry
    // the program cannot use (no "format" attribute, a "StreamId" or "Bitrate"
    // that is not a number) stays a stored entry for good. Stored entries are
    // not given out, keep their place in the list and are written back as they
    // were read, with "index" set to their place.
    struct Favorite
    {
        StreamInfoPtr record;
        // A stored entry's "Entry" element in the parsed settings file, which it
        // keeps alive; the stored entries of one file share it, so the file is
        // held once however many there are.
        std::shared_ptr<const pugi::xml_document> file;
        pugi::xml_node stored;
        int streamId = 0;      // the catalogue id of a stored entry that can be bound
        bool bindable = false; // a stored catalogue entry with a numeric "StreamId"
        bool fromFile = false; // came from the settings file (not added in this run)
    };

    static Favorite favoriteFromEntry(const std::shared_ptr<const pugi::xml_document> &file, pugi::xml_node entry);
    static void keepStored(Favorite &favorite, const std::shared_ptr<const pugi::xml_document> &file,
                           pugi::xml_node entry);
    static void bind(Favorite &favorite, const StreamInfoPtr &record);
    static void appendEntry(pugi::xml_node favorites, const Favorite &f, size_t position, size_t first);

    std::vector<Favorite> m_list;
};
