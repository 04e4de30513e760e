#include "catalogue/OptionsXml.h"

#include "catalogue/IcecastFetcher.h"

#include <pugixml.hpp>

#include <limits>
#include <string>

namespace OptionsXml {

// Removes characters of code 32 and below at either end.
QString trimLow(const QString &text)
{
    if (text.isNull())
        return text;
    QString result = FeedText::trimmed(text);
    if (result.isNull())
        result = QLatin1String("");
    return result;
}

std::optional<int> parseDecimal(const QString &text)
{
    const QString s = trimLow(text);
    if (s.isEmpty())
        return std::nullopt;
    qsizetype i = (s.at(0) == u'-' || s.at(0) == u'+') ? 1 : 0;
    if (i == s.size() || s.size() - i > 10)
        return std::nullopt;
    for (; i < s.size(); ++i) {
        if (s.at(i) < u'0' || s.at(i) > u'9')
            return std::nullopt;
    }
    bool ok = false;
    const qlonglong value = s.toLongLong(&ok);
    if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(value);
}

// The text content of an element (its own text and CDATA children); a null
// text when the element is missing, "" when it is empty.
QString elementText(pugi::xml_node element)
{
    if (!element)
        return QString();
    std::string text;
    for (pugi::xml_node child : element.children()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            text += child.value();
    }
    QString result = QString::fromStdString(text);
    if (result.isNull())
        result = QLatin1String("");
    return result;
}

QString childTextTrim(pugi::xml_node parent, const char *name)
{
    return trimLow(elementText(parent.child(name)));
}

// Drops the characters XML 1.0 cannot carry, so that a stray control
// character in a value does not leave a file that is not well-formed.
QByteArray xmlText(const QString &value)
{
    QString clean;
    clean.reserve(value.size());
    for (QChar c : value) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xFFFE || u == 0xFFFF)
            continue;
        clean.append(c);
    }
    return clean.toUtf8();
}

void appendText(pugi::xml_node parent, const char *name, const QString &value)
{
    pugi::xml_node element = parent.append_child(name);
    if (!value.isEmpty())
        element.text().set(xmlText(value).constData());
}

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace OptionsXml
