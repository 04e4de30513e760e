#pragma once

#include "catalogue/CatalogueDocument.h"
#include "catalogue/NameIndex.h"
#include "catalogue/StreamInfo.h"

#include <atomic>
#include <memory>

// Whether the document follows the catalogue's rules: a Streams element,
// and every Stream in it complete (the checks buildStreamList makes).
bool followsRules(const CatalogueDocument &document);

// The records of document, registered in indexes; a flush mark on the
// document empties the category and language indexes first. Adult records
// are kept while adultVisible is true. latestStreamId is raised to the
// highest identifier read. Throws TulException("ParseError") for a document
// that breaks the catalogue's rules; indexes and latestStreamId are then
// partly updated. Large catalogues are built on a few threads.
std::shared_ptr<StreamList> buildStreamList(const CatalogueDocument &document, const std::atomic<bool> &adultVisible,
                                            CatalogueIndexes &indexes, int &latestStreamId);
