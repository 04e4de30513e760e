#include "catalogue/Options.h"

#include "catalogue/ServerConfig.h"

QString Options::encodeQueryValue(const QString &value)
{
    return QString::fromLatin1(value.toUtf8().toPercentEncoding());
}

namespace {

QString address(const char *scheme, ServerConfig::Server server, const QString &pathAndQuery)
{
    return QString::fromLatin1(scheme) + QLatin1String("://") + ServerConfig::host(server) + pathAndQuery;
}

QString catalogue(const QString &pathAndQuery)
{
    return address("http", ServerConfig::Server::Catalogue, pathAndQuery);
}

} // namespace

QString Options::getCacheRevisionUrl()
{
    return catalogue(QStringLiteral("/cacheversion.txt"));
}

QString Options::getFetchstreamsUrl()
{
    return catalogue(QLatin1String("/getstreams.php?version=") + encodeQueryValue(getVersion())
                     + QLatin1String("&serial=") + encodeQueryValue(getSerial()) + QLatin1String("&lang=")
                     + encodeQueryValue(getLanguage()));
}

QString Options::getPpvUrlFetch()
{
    return catalogue(QLatin1String("/getppv.php?serial=") + encodeQueryValue(getSerial()));
}

QString Options::getPpvMovieUrl(int videoId)
{
    return catalogue(QLatin1String("/ppvshow.php?serial=") + encodeQueryValue(getSerial())
                     + QLatin1String("&videoid=") + QString::number(videoId));
}

QString Options::getPpvDescriptionUrl()
{
    return catalogue(QLatin1String("/getPPVDescription.php?serial=") + encodeQueryValue(getSerial()));
}

QString Options::getReportBrokenLinkUrl(int streamId)
{
    return catalogue(QLatin1String("/brokenstreamreport.php?id=") + QString::number(streamId));
}

QString Options::getPpvUrl()
{
    return address("https", ServerConfig::Server::Order,
                   QLatin1String("/ppv/ppvorder.php?serial=") + encodeQueryValue(getSerial()));
}

QString Options::getManualUrl()
{
    return address("http", ServerConfig::Server::Forum, QStringLiteral("/viewforum.php?f=11"));
}
