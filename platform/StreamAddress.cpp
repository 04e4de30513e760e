#include "platform/StreamAddress.h"

#include <QUrl>

namespace StreamAddress {

QStringList acceptedSchemes()
{
    return {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mms"),
            QStringLiteral("mmsh"), QStringLiteral("rtsp"), QStringLiteral("rtmp")};
}

bool isAccepted(const QString &address, QString *reason)
{
    auto refuse = [reason](const char *why) {
        if (reason)
            *reason = QString::fromLatin1(why);
        return false;
    };
    const QString text = address.trimmed();
    if (text.isEmpty())
        return refuse("no address");
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return refuse("the address holds control characters");
    }
    const qsizetype colon = text.indexOf(QLatin1String("://"));
    if (colon <= 0)
        return refuse("the address has no scheme");
    const QString scheme = text.left(colon).toLower();
    if (!acceptedSchemes().contains(scheme))
        return refuse("unsupported address scheme");
    const QUrl url(engineAddress(text), QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty())
        return refuse("the address has no valid host");
    if (reason)
        reason->clear();
    return true;
}

QString engineAddress(const QString &address)
{
    QString text = address.trimmed();
    text.replace(u' ', QLatin1String("%20"));
    if (text.startsWith(QLatin1String("mms://"), Qt::CaseInsensitive))
        text = QLatin1String("mmsh://") + text.mid(6);
    return text;
}

} // namespace StreamAddress
