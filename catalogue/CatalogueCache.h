#pragma once

#include "catalogue/CatalogueDocument.h"

#include <QByteArray>
#include <QString>

#include <future>
#include <memory>

// The cache file: the last catalogue that loaded, gzip-compressed.
namespace CatalogueCache {

// Writes body, gzip-compressed, to a temporary file and renames it over
// cacheFile; when parsed is given, only once it gives the body's document
// and that follows the rules. True when the cache file now holds the body.
// A cache that cannot be written is reported on standard error.
bool write(const QString &cacheFile, const QByteArray &body,
           std::future<std::shared_ptr<const CatalogueDocument>> *parsed);

// The decoded text of the gzip file at path, at most maxBytes. Throws
// std::runtime_error when it is missing, unreadable, not a file (a device or
// a named pipe), larger than such a text compresses to, or not a complete
// gzip stream.
QByteArray read(const QString &path, qint64 maxBytes);

} // namespace CatalogueCache
