#include "catalogue/ServerConfig.h"

#include <QSet>
#include <QtGlobal>
#include <mutex>

#ifndef QV_DEFAULT_CATALOGUE_HOST
#define QV_DEFAULT_CATALOGUE_HOST "catalogue.quorvantel.tv"
#endif
#ifndef QV_DEFAULT_ORDER_HOST
#define QV_DEFAULT_ORDER_HOST "secure.quorvantel.tv"
#endif
#ifndef QV_DEFAULT_FORUM_HOST
#define QV_DEFAULT_FORUM_HOST "forum.quorvantel.tv"
#endif
#ifndef QV_DEFAULT_MAKER_HOST
#define QV_DEFAULT_MAKER_HOST "www.quorvantel.com"
#endif
#ifndef QV_DEFAULT_ICECAST_HOST
#define QV_DEFAULT_ICECAST_HOST "dir.xiph.org"
#endif

namespace ServerConfig {

namespace {

const char *defaultHost(Server server)
{
    switch (server) {
    case Server::Catalogue: return QV_DEFAULT_CATALOGUE_HOST;
    case Server::Order: return QV_DEFAULT_ORDER_HOST;
    case Server::Forum: return QV_DEFAULT_FORUM_HOST;
    case Server::Maker: return QV_DEFAULT_MAKER_HOST;
    case Server::Icecast: return QV_DEFAULT_ICECAST_HOST;
    }
    return QV_DEFAULT_CATALOGUE_HOST;
}

bool isNameChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-'
        || u == u'.' || u == u'_';
}

bool isIpv6Char(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F') || (u >= u'0' && u <= u'9') || u == u':'
        || u == u'.';
}

bool isPort(QStringView port)
{
    if (port.isEmpty() || port.size() > 5)
        return false;
    for (QChar c : port) {
        if (c < u'0' || c > u'9')
            return false;
    }
    const int value = port.toInt();
    return value >= 1 && value <= 65535;
}

// "host" or "host:port", host a DNS name, an IPv4 address or a bracketed
// IPv6 address. Anything that could change the meaning of the address it is
// put into (a path, query, fragment, user part or blank) is refused.
bool isPlainHostPort(const QString &value)
{
    QStringView rest;
    if (value.startsWith(u'[')) {
        const qsizetype close = value.indexOf(u']');
        if (close < 2)
            return false;
        for (QChar c : QStringView(value).mid(1, close - 1)) {
            if (!isIpv6Char(c))
                return false;
        }
        rest = QStringView(value).mid(close + 1);
    } else {
        const qsizetype colon = value.indexOf(u':');
        const QStringView name = colon < 0 ? QStringView(value) : QStringView(value).left(colon);
        if (name.isEmpty())
            return false;
        for (QChar c : name) {
            if (!isNameChar(c))
                return false;
        }
        rest = colon < 0 ? QStringView() : QStringView(value).mid(colon);
    }
    if (rest.isEmpty())
        return true;
    return rest.startsWith(u':') && isPort(rest.mid(1));
}

// Says once per variable and value that a setting was refused, so that an
// address built on every request does not flood the console.
void warnRejected(const char *variable, const QString &value, const char *fallback)
{
    static std::mutex mutex;
    static QSet<QString> reported;
    const QString key = QString::fromLatin1(variable) + u'=' + value;
    {
        std::lock_guard lock(mutex);
        if (reported.contains(key))
            return;
        reported.insert(key);
    }
    qWarning("Ignoring %s=\"%s\": not a host or host:port; using %s", variable, qPrintable(value), fallback);
}

} // namespace

const char *environmentVariable(Server server)
{
    switch (server) {
    case Server::Catalogue: return "QUORVANTEL_CATALOGUE_HOST";
    case Server::Order: return "QUORVANTEL_ORDER_HOST";
    case Server::Forum: return "QUORVANTEL_FORUM_HOST";
    case Server::Maker: return "QUORVANTEL_MAKER_HOST";
    case Server::Icecast: return "QUORVANTEL_ICECAST_HOST";
    }
    return "QUORVANTEL_CATALOGUE_HOST";
}

QString host(Server server)
{
    const char *variable = environmentVariable(server);
    const char *fallback = defaultHost(server);
    const QString value = qEnvironmentVariable(variable);
    if (value.isEmpty())
        return QString::fromUtf8(fallback);
    if (isPlainHostPort(value))
        return value;
    warnRejected(variable, value, fallback);
    return QString::fromUtf8(fallback);
}

} // namespace ServerConfig
