#pragma once

#include <QByteArray>
#include <optional>

// The XML parser decodes UTF-8, UTF-16 and UTF-32 text and, when the XML
// declaration says "ISO-8859-1" or "latin1", ISO-8859-1; any other 8-bit
// text it reads as UTF-8. For a document whose declaration names another
// encoding (windows-1252, ISO-8859-15, KOI8-R, Shift_JIS ...), this gives
// the document converted to UTF-8 by the C library's iconv, to be parsed as
// UTF-8; nothing for a document the parser decodes itself. A byte sequence
// that the named encoding has no character for becomes U+FFFD. Throws
// std::runtime_error when the name is not an encoding name or names an
// encoding that iconv does not know.
std::optional<QByteArray> utf8FromDeclaredEncoding(const QByteArray &body);
