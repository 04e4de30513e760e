#include "platform/MediaPage.h"

#include "platform/HtmlText.h"

#include <QRegularExpression>

QString MediaObject::param(const QString &name) const
{
    for (const auto &entry : params) {
        if (entry.first.compare(name, Qt::CaseInsensitive) == 0)
            return entry.second;
    }
    return QString();
}

bool MediaObject::hasParam(const QString &name) const
{
    for (const auto &entry : params) {
        if (entry.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString MediaObject::url() const
{
    for (const char *name : {"url", "FileName", "src"}) {
        if (hasParam(QLatin1String(name)))
            return param(QLatin1String(name));
    }
    return QString();
}

bool MediaObject::autoStart() const
{
    return parseHtmlBoolean(param(QStringLiteral("autoStart")), true);
}

QString MediaObject::uiMode() const
{
    const QString mode = param(QStringLiteral("uiMode")).trimmed().toLower();
    return mode.isEmpty() ? QStringLiteral("full") : mode;
}

bool MediaObject::stretchToFit() const
{
    return parseHtmlBoolean(param(QStringLiteral("stretchToFit")), false);
}

int MediaObject::playCount() const
{
    bool ok = false;
    const int count = param(QStringLiteral("PlayCount")).trimmed().toInt(&ok);
    return ok && count > 1 ? count : 1;
}

bool parseHtmlBoolean(const QString &text, bool fallback)
{
    const QString value = text.trimmed().toLower();
    if (value == QLatin1String("true") || value == QLatin1String("yes") || value == QLatin1String("1")
        || value == QLatin1String("-1"))
        return true;
    if (value == QLatin1String("false") || value == QLatin1String("no") || value == QLatin1String("0"))
        return false;
    return fallback;
}

namespace {

struct Tag
{
    QString name; // lower case, "/name" for an end tag
    QList<QPair<QString, QString>> attributes;

    QString attribute(const QString &key) const
    {
        for (const auto &entry : attributes) {
            if (entry.first.compare(key, Qt::CaseInsensitive) == 0)
                return entry.second;
        }
        return QString();
    }
    bool hasAttribute(const QString &key) const
    {
        for (const auto &entry : attributes) {
            if (entry.first.compare(key, Qt::CaseInsensitive) == 0)
                return true;
        }
        return false;
    }
};

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

// Reads the tag that starts at html[pos] == '<'; pos ends after its '>'.
// Returns false for something that is not a tag (a lone '<').
bool readTag(const QString &html, qsizetype &pos, Tag &tag)
{
    qsizetype i = pos + 1;
    const qsizetype n = html.size();
    qsizetype start = i;
    if (i < n && html.at(i) == u'/')
        ++i;
    if (i >= n || !html.at(i).isLetter())
        return false;
    while (i < n && !isSpace(html.at(i)) && html.at(i) != u'>' && html.at(i) != u'/')
        ++i;
    tag.name = html.mid(start, i - start).toLower();
    tag.attributes.clear();
    while (i < n) {
        while (i < n && (isSpace(html.at(i)) || html.at(i) == u'/'))
            ++i;
        if (i >= n)
            break;
        if (html.at(i) == u'>') {
            ++i;
            break;
        }
        const qsizetype nameStart = i;
        while (i < n && !isSpace(html.at(i)) && html.at(i) != u'=' && html.at(i) != u'>' && html.at(i) != u'/')
            ++i;
        QString key = html.mid(nameStart, i - nameStart);
        if (key.isEmpty()) {
            ++i;
            continue;
        }
        while (i < n && isSpace(html.at(i)))
            ++i;
        QString value;
        if (i < n && html.at(i) == u'=') {
            ++i;
            while (i < n && isSpace(html.at(i)))
                ++i;
            if (i < n && (html.at(i) == u'"' || html.at(i) == u'\'')) {
                const QChar quote = html.at(i);
                const qsizetype close = html.indexOf(quote, i + 1);
                const qsizetype end = close < 0 ? n : close;
                value = html.mid(i + 1, end - i - 1);
                i = close < 0 ? n : close + 1;
            } else {
                const qsizetype valueStart = i;
                while (i < n && !isSpace(html.at(i)) && html.at(i) != u'>')
                    ++i;
                value = html.mid(valueStart, i - valueStart);
            }
        }
        tag.attributes.append({key, HtmlText::unescape(value)});
    }
    pos = i;
    return true;
}

void readSizing(const QString &script, const QString &playerId, MediaPage &page)
{
    if (playerId.isEmpty())
        return;
    const QString id = QRegularExpression::escape(playerId);
    static const QString pattern = QStringLiteral(
        "(?:^|[^\\w.])%1\\s*\\.\\s*%2\\s*=\\s*document\\s*\\.\\s*body\\s*\\.\\s*%3\\s*(?:-\\s*(\\d{1,5}))?\\s*;");
    const QRegularExpression width(pattern.arg(id, QStringLiteral("width"), QStringLiteral("offsetWidth")));
    const QRegularExpression height(pattern.arg(id, QStringLiteral("height"), QStringLiteral("offsetHeight")));
    const QRegularExpressionMatch w = width.match(script);
    if (w.hasMatch())
        page.shrinkWidth = w.captured(1).isEmpty() ? 0 : w.captured(1).toInt();
    const QRegularExpressionMatch h = height.match(script);
    if (h.hasMatch())
        page.shrinkHeight = h.captured(1).isEmpty() ? 0 : h.captured(1).toInt();
}

} // namespace

MediaPage parseMediaPage(const QString &html)
{
    MediaPage page;
    QString scripts;
    bool inPlayer = false;
    bool playerDone = false;
    qsizetype pos = 0;
    const qsizetype n = html.size();
    while (pos < n) {
        const qsizetype lt = html.indexOf(u'<', pos);
        if (lt < 0)
            break;
        pos = lt;
        if (html.mid(pos, 4) == QLatin1String("<!--")) {
            const qsizetype end = html.indexOf(QLatin1String("-->"), pos + 4);
            pos = end < 0 ? n : end + 3;
            continue;
        }
        Tag tag;
        if (!readTag(html, pos, tag)) {
            ++pos;
            continue;
        }
        if (tag.name == QLatin1String("script") || tag.name == QLatin1String("style")) {
            // Raw text up to the end tag.
            const QString endTag = QLatin1String("</") + tag.name;
            const qsizetype end = html.indexOf(endTag, pos, Qt::CaseInsensitive);
            const qsizetype textEnd = end < 0 ? n : end;
            if (tag.name == QLatin1String("script"))
                scripts += html.mid(pos, textEnd - pos) + u'\n';
            pos = textEnd;
            if (end >= 0) {
                const qsizetype close = html.indexOf(u'>', end);
                pos = close < 0 ? n : close + 1;
            }
            continue;
        }
        if (tag.name == QLatin1String("object") && !playerDone && !inPlayer) {
            if (tag.attribute(QStringLiteral("classid")).trimmed().compare(QLatin1String(MediaObject::CLASS_ID), Qt::CaseInsensitive) == 0) {
                inPlayer = true;
                page.hasPlayer = true;
                page.player.id = tag.attribute(QStringLiteral("id"));
                if (page.player.id.isEmpty())
                    page.player.id = tag.attribute(QStringLiteral("name"));
                page.player.classId = tag.attribute(QStringLiteral("classid"));
                bool ok = false;
                const int w = tag.attribute(QStringLiteral("width")).trimmed().toInt(&ok);
                page.player.width = ok && tag.hasAttribute(QStringLiteral("width")) && w >= 0 ? w : -1;
                const int h = tag.attribute(QStringLiteral("height")).trimmed().toInt(&ok);
                page.player.height = ok && tag.hasAttribute(QStringLiteral("height")) && h >= 0 ? h : -1;
            }
        } else if (tag.name == QLatin1String("param") && inPlayer) {
            if (tag.hasAttribute(QStringLiteral("name")))
                page.player.params.append({tag.attribute(QStringLiteral("name")).trimmed(), tag.attribute(QStringLiteral("value"))});
        } else if (tag.name == QLatin1String("/object") && inPlayer) {
            inPlayer = false;
            playerDone = true;
        }
    }
    if (page.hasPlayer)
        readSizing(scripts, page.player.id, page);
    return page;
}
