#include "LangMsg.h"

#include <QFile>
#include <QStringList>

MissingResourceException::MissingResourceException(const QString &key)
    : std::runtime_error("Can't find resource for bundle GuiBundle, key " + key.toStdString()), m_key(key)
{
}

namespace {

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\f';
}

// Joins continuation lines into logical lines, dropping comments and blanks.
QStringList logicalLines(const QString &text)
{
    QStringList result;
    QString current;
    bool continuing = false;
    const QStringList physical = text.split(u'\n');
    for (QString line : physical) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        qsizetype start = 0;
        while (start < line.size() && isBlank(line.at(start).unicode()))
            ++start;
        line = line.mid(start);
        if (!continuing) {
            if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u'!'))
                continue;
        }
        // A line continues when it ends in an odd number of backslashes.
        qsizetype slashes = 0;
        for (qsizetype i = line.size() - 1; i >= 0 && line.at(i) == u'\\'; --i)
            ++slashes;
        if (slashes % 2 == 1) {
            line.chop(1);
            current += line;
            continuing = true;
            continue;
        }
        current += line;
        result.append(current);
        current.clear();
        continuing = false;
    }
    if (continuing && !current.isEmpty())
        result.append(current);
    return result;
}

QString unescape(const QString &s)
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
            bool ok = false;
            const uint code = s.mid(i + 1, 4).toUInt(&ok, 16);
            if (ok && i + 4 < s.size()) {
                out.append(QChar(char16_t(code)));
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
        QString key;
        while (i < line.size()) {
            const QChar c = line.at(i);
            if (c == u'\\' && i + 1 < line.size()) {
                key.append(line.at(i));
                key.append(line.at(i + 1));
                i += 2;
                continue;
            }
            if (c == u'=' || c == u':' || isBlank(c.unicode()))
                break;
            key.append(c);
            ++i;
        }
        // Skip blanks, one separator, then blanks again.
        while (i < line.size() && isBlank(line.at(i).unicode()))
            ++i;
        if (i < line.size() && (line.at(i) == u'=' || line.at(i) == u':')) {
            ++i;
            while (i < line.size() && isBlank(line.at(i).unicode()))
                ++i;
        }
        result.insert(unescape(key), unescape(line.mid(i)));
    }
    return result;
}

namespace {
const QHash<QString, QString> &bundle()
{
    // Function-local static: initialised once, thread-safely.
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
