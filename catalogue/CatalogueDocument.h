#pragma once

#include <QByteArray>

#include <pugixml.hpp>

#include <memory>

// A parsed catalogue document.
struct CatalogueDocument
{
    QByteArray buffer; // holds the parsed text when parsed in place
    pugi::xml_document doc;
    pugi::xml_node root;
    pugi::xml_node streams; // first Streams child of the root; may be empty

    // Parses body into a document; throws std::runtime_error when it is
    // not well-formed.
    static std::shared_ptr<CatalogueDocument> parse(QByteArray body, bool inPlace);
};
