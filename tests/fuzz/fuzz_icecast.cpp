// The Icecast directory "yp.xml". What must hold for any bytes:
// - parsing fails only with "ParseError", for exactly the documents the
//   catalogue reader finds not well-formed, and the directory read before
//   stays;
// - every entry with a "listen_url" gives one record, in order: format
//   "Icecast", id 0, no type, language or country, no flags, trimmed texts
//   and a bit rate of at most 1000.

#include "catalogue/IcecastFetcher.h"
#include "catalogue/StreamsFetcher.h"
#include "tests/fuzz/FuzzSupport.h"

#include <pugixml.hpp>

namespace {

const QByteArray BASE = "<icecast><entry><server_name>Base</server_name><listen_url>http://127.0.0.1/a</listen_url>"
                        "</entry></icecast>";

bool catalogueReaderParses(const QByteArray &input)
{
    StreamsFetcher fetcher;
    try {
        fetcher.parseDocument(input);
        return true;
    } catch (const TulException &) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    IcecastFetcher fetcher;
    FUZZ_CHECK(!fetcher.getStreamList(), "a list before any directory");
    fetcher.parse(BASE);
    bool parsed = false;
    try {
        fetcher.parse(input);
        parsed = true;
    } catch (const TulException &e) {
        FUZZ_CHECK(fuzz::hasKey(e, "ParseError"), "error \"%s\"", fuzz::show(e.getMsg()).c_str());
    }
    FUZZ_CHECK(parsed == catalogueReaderParses(input), "the directory reader %s a document the catalogue reader %s",
               parsed ? "took" : "refused", parsed ? "refuses" : "takes");
    const std::optional<StreamList> list = fetcher.getStreamList();
    FUZZ_CHECK(list, "no list after a directory was read");
    if (!parsed) {
        FUZZ_CHECK(list->size() == 1 && list->front()->getName() == QLatin1String("Base"),
                   "the directory read before was lost");
        return 0;
    }

    // The entries with a listen_url, as the XML library sees them.
    pugi::xml_document doc;
    doc.load_buffer(input.constData(), size_t(input.size()), pugi::parse_default, pugi::encoding_auto);
    size_t expected = 0;
    for (pugi::xml_node e = doc.document_element().child("entry"); e; e = e.next_sibling("entry"))
        expected += e.child("listen_url") ? 1 : 0;
    FUZZ_CHECK(list->size() == expected, "%zu records for %zu entries", list->size(), expected);

    for (const StreamInfoPtr &s : *list) {
        FUZZ_CHECK(s && s->getFormat() == QLatin1String("Icecast"), "format");
        FUZZ_CHECK(s->getId() == 0 && !s->getAdult() && !s->getLive() && !s->getTopStream(), "id or flags set");
        FUZZ_CHECK(s->getType().isEmpty() && s->getLanguage().isEmpty() && s->getCountry().isEmpty(),
                   "type, language or country set");
        FUZZ_CHECK(s->getBitrate() <= 1000, "bit rate %d", s->getBitrate());
        for (const QString &t : {s->getName(), s->getCategory(), s->getUrl()})
            FUZZ_CHECK(fuzz::isTrimmed(t), "untrimmed \"%s\"", fuzz::show(t).c_str());
        // Searching by name is safe on any text.
        (void)s->matchQuery(s->getName().left(3));
    }
    return 0;
}
