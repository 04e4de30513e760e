#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace pugi {
class xml_node;
} // namespace pugi

// How the values of "options.xml" are read from and written to its
// elements; shared by the settings and the favourites sections.
namespace OptionsXml {

// Removes characters of code 32 and below at either end.
QString trimLow(const QString &text);
std::optional<int> parseDecimal(const QString &text);
// The text content of an element (its own text and CDATA children); a null
// text when the element is missing, "" when it is empty.
QString elementText(pugi::xml_node element);
QString childTextTrim(pugi::xml_node parent, const char *name);
// Drops the characters XML 1.0 cannot carry, so that a stray control
// character in a value does not leave a file that is not well-formed.
QByteArray xmlText(const QString &value);
void appendText(pugi::xml_node parent, const char *name, const QString &value);
QString boolText(bool value);

} // namespace OptionsXml
