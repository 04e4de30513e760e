#include "catalogue/LangMsg.h"

#include <QFile>
#include <QStringList>

MissingResourceException::MissingResourceException(const QString &key)
    : std::runtime_error("Can't find resource for bundle GuiBundle, key " + key.toStdString()), m_key(key)
{
}

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\f';
}

bool isLineEnd(QChar c)
{
    return c == u'\n' || c == u'\r';
}

// Splits the text into logical lines. A line ends at LF, CR or CR LF. Blank
// lines and comment lines (first non-blank character '#' or '!') are
// dropped. A line ending in an odd number of backslashes continues on the
// next physical line: the backslash and the line end are dropped, and so are
// the leading blanks of the continuation line, which is never a comment. A
// backslash before the end of the text is dropped as well.
QStringList logicalLines(const QString &text)
{
    QStringList result;
    const qsizetype size = text.size();
    qsizetype pos = 0;
    QString current;
    bool continuing = false;

    while (pos < size) {
        // Leading blanks of every physical line are dropped.
        while (pos < size && isBlank(text.at(pos)))
            ++pos;
        const qsizetype start = pos;
        while (pos < size && !isLineEnd(text.at(pos)))
            ++pos;
        const QStringView line = QStringView(text).mid(start, pos - start);
        // Step over the line end: CR LF counts as one.
        if (pos < size) {
            if (text.at(pos) == u'\r' && pos + 1 < size && text.at(pos + 1) == u'\n')
                pos += 2;
            else
                ++pos;
        }

        if (!continuing && (line.isEmpty() || line.front() == u'#' || line.front() == u'!'))
            continue;

        qsizetype slashes = 0;
        for (qsizetype i = line.size() - 1; i >= 0 && line.at(i) == u'\\'; --i)
            ++slashes;
        if (slashes % 2 == 1) {
            current += line.left(line.size() - 1);
            continuing = true;
            continue;
        }
        current += line;
        result.append(current);
        current.clear();
        continuing = false;
    }
    // The text ended inside a continued line: what was gathered is a line.
    if (continuing && !current.isEmpty())
        result.append(current);
    return result;
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Resolves \t \n \r \f and \uXXXX; a backslash before any other character
// stands for that character. A \u not followed by four hex digits is taken as
// a plain 'u', so one malformed entry cannot cost the whole bundle.
QString unescape(QStringView s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c != u'\\' || i + 1 >= s.size()) {
            out.append(c);
            continue;
        }
        const QChar e = s.at(++i);
        switch (e.unicode()) {
        case u'r': out.append(u'\r'); break;
        case u'n': out.append(u'\n'); break;
        case u't': out.append(u'\t'); break;
        case u'f': out.append(u'\f'); break;
        case u'u': {
            char16_t code = 0;
            bool ok = i + 4 < s.size();
            for (qsizetype d = 1; ok && d <= 4; ++d) {
                const int v = hexValue(s.at(i + d));
                ok = v >= 0;
                code = char16_t(code * 16 + v);
            }
            if (ok) {
                out.append(QChar(code));
                i += 4;
            } else {
                out.append(u'u');
            }
            break;
        }
        default: out.append(e); break;
        }
    }
    return out;
}

} // namespace

QHash<QString, QString> parseProperties(const QByteArray &bytes)
{
    QHash<QString, QString> result;
    const QString text = QString::fromLatin1(bytes);
    for (const QString &line : logicalLines(text)) {
        // The key ends at the first unescaped '=', ':' or blank.
        qsizetype i = 0;
        while (i < line.size()) {
            const QChar c = line.at(i);
            if (c == u'\\') {
                i += 2;
                continue;
            }
            if (c == u'=' || c == u':' || isBlank(c))
                break;
            ++i;
        }
        const qsizetype keyEnd = qMin(i, line.size());
        // Blanks, at most one '=' or ':', then blanks again.
        while (i < line.size() && isBlank(line.at(i)))
            ++i;
        if (i < line.size() && (line.at(i) == u'=' || line.at(i) == u':')) {
            ++i;
            while (i < line.size() && isBlank(line.at(i)))
                ++i;
        }
        const QStringView view(line);
        // A later entry for the same key replaces the earlier one.
        result.insert(unescape(view.left(keyEnd)), unescape(view.mid(qMin(i, line.size()))));
    }
    return result;
}

namespace {
const QHash<QString, QString> &bundle()
{
    // Loaded on the first lookup; a function-local static is initialised
    // exactly once even when several threads ask at the same time.
    static const QHash<QString, QString> messages = [] {
        QFile file(QStringLiteral(":/GuiBundle_en_GB.properties"));
        if (!file.open(QIODevice::ReadOnly))
            return QHash<QString, QString>();
        return parseProperties(file.readAll());
    }();
    return messages;
}
} // namespace

QString LangMsg::getMsg(const QString &key)
{
    const auto &messages = bundle();
    const auto it = messages.constFind(key);
    if (it == messages.constEnd())
        throw MissingResourceException(key);
    return it.value();
}

QStringList LangMsg::keys()
{
    return bundle().keys();
}
