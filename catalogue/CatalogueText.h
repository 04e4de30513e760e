#pragma once

#include <QByteArray>
#include <QString>

#include <pugixml.hpp>

#include <cstring>
#include <string>

// Reading texts of the catalogue document: trimmed byte ranges, decimal
// integers, element texts. Inline: the record builder calls them for every
// field.
namespace CatalogueText {

// Trims characters up to the blank (the control characters and the space).
inline void trimBytes(const char *&begin, const char *&end)
{
    while (begin < end && uchar(*begin) <= ' ')
        ++begin;
    while (end > begin && uchar(end[-1]) <= ' ')
        --end;
}

inline QString trimmedQString(const char *begin, const char *end)
{
    trimBytes(begin, end);
    return QString::fromUtf8(begin, end - begin);
}

// A decimal 32-bit integer with an optional sign, nothing else.
inline bool parseInt(const char *begin, const char *end, int &value)
{
    if (begin == end)
        return false;
    bool negative = false;
    if (*begin == '-' || *begin == '+') {
        negative = *begin == '-';
        ++begin;
        if (begin == end)
            return false;
    }
    qint64 n = 0;
    for (const char *p = begin; p < end; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        n = n * 10 + (*p - '0');
        if (n > 2147483648ll)
            return false;
    }
    if (negative)
        n = -n;
    if (n > 2147483647ll || n < -2147483648ll)
        return false;
    value = int(n);
    return true;
}

inline bool equalsIgnoreCase(const char *text, const char *word)
{
    return qstricmp(text, word) == 0;
}

// The text of an element as the XML object model gives it: its text and
// CDATA children joined (nested elements left out).
struct ElementText
{
    const char *begin = nullptr;
    const char *end = nullptr;
    std::string joined; // used when the text is in more than one piece
};

inline void elementText(const pugi::xml_node &element, ElementText &out)
{
    out.begin = out.end = nullptr;
    out.joined.clear();
    int pieces = 0;
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        const pugi::xml_node_type type = child.type();
        if (type != pugi::node_pcdata && type != pugi::node_cdata)
            continue;
        const char *value = child.value();
        const size_t length = std::strlen(value);
        if (pieces == 0) {
            out.begin = value;
            out.end = value + length;
        } else {
            if (pieces == 1)
                out.joined.assign(out.begin, out.end);
            out.joined.append(value, length);
        }
        ++pieces;
    }
    if (pieces > 1) {
        out.begin = out.joined.data();
        out.end = out.joined.data() + out.joined.size();
    } else if (pieces == 0) {
        out.begin = out.end = "";
    }
}

} // namespace CatalogueText
