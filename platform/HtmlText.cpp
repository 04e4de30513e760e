#include "platform/HtmlText.h"

namespace HtmlText {

QString escape(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QLatin1String("&amp;"); break;
        case u'"': out += QLatin1String("&quot;"); break;
        case u'\'': out += QLatin1String("&#39;"); break;
        case u'<': out += QLatin1String("&lt;"); break;
        case u'>': out += QLatin1String("&gt;"); break;
        default: out += c;
        }
    }
    return out;
}

namespace {

// The character of a numeric reference body ("#65", "#x41"), or -1.
char32_t numericReference(QStringView body, bool *ok)
{
    *ok = false;
    if (body.size() < 2 || body.at(0) != u'#')
        return 0;
    const bool hex = body.at(1) == u'x' || body.at(1) == u'X';
    const QStringView digits = body.mid(hex ? 2 : 1);
    if (digits.isEmpty() || digits.size() > 8)
        return 0;
    for (const QChar c : digits) {
        const bool digit = hex ? QStringView(u"0123456789abcdefABCDEF").contains(c) : c.isDigit();
        if (!digit || c.unicode() > 0x7f)
            return 0;
    }
    bool parsed = false;
    const uint value = digits.toUInt(&parsed, hex ? 16 : 10);
    if (!parsed)
        return 0;
    *ok = true;
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0xFFFD;
    return char32_t(value);
}

} // namespace

QString unescape(const QString &text)
{
    if (!text.contains(u'&'))
        return text;
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c != u'&') {
            out += c;
            ++i;
            continue;
        }
        // The longest reference we accept is "&#x10FFFF;" (10 characters).
        const qsizetype semicolon = text.indexOf(u';', i + 1);
        if (semicolon < 0 || semicolon - i > 12) {
            out += c;
            ++i;
            continue;
        }
        const QStringView body = QStringView(text).mid(i + 1, semicolon - i - 1);
        bool known = true;
        if (body == u"amp")
            out += u'&';
        else if (body == u"quot")
            out += u'"';
        else if (body == u"apos")
            out += u'\'';
        else if (body == u"lt")
            out += u'<';
        else if (body == u"gt")
            out += u'>';
        else if (body == u"nbsp")
            out += QChar(0xA0);
        else {
            bool numeric = false;
            const char32_t ch = numericReference(body, &numeric);
            if (numeric)
                out += QString::fromUcs4(&ch, 1);
            else
                known = false;
        }
        if (known) {
            i = semicolon + 1;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

} // namespace HtmlText
