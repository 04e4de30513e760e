// quorvantel-service: the local reference service as a program. Serves the
// demo data set on 127.0.0.1 until SIGTERM or SIGINT.

#include "service/ReferenceService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <pthread.h>

using namespace RefService;

namespace {

std::optional<Encoding> parseEncoding(const QString &name)
{
    const QString n = name.toLower();
    if (n == QLatin1String("plain"))
        return Encoding::Plain;
    if (n == QLatin1String("gzip"))
        return Encoding::Gzip;
    if (n == QLatin1String("gzip-upper"))
        return Encoding::GzipUpper;
    if (n == QLatin1String("deflate"))
        return Encoding::Deflate;
    if (n == QLatin1String("zlib"))
        return Encoding::ZlibDeflate;
    if (n == QLatin1String("bogus"))
        return Encoding::BogusGzip;
    if (n == QLatin1String("unknown"))
        return Encoding::Unknown;
    return std::nullopt;
}

int fail(const QString &message)
{
    std::fprintf(stderr, "quorvantel-service: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    // SIGTERM and SIGINT are taken by sigwait below; every thread started
    // from here on inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvantel-service"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Local reference service for Quorvantel: serves a demo catalogue, "
                                                    "pay-per-view, Icecast directory, service requests and media on 127.0.0.1."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("HTTP port (0: any free port)."), QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption httpsOption(QStringLiteral("https"), QStringLiteral("Also serve HTTPS (order server) with a generated certificate."));
    const QCommandLineOption httpsPortOption(QStringLiteral("https-port"), QStringLiteral("HTTPS port (0: any free port)."), QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption dataDirOption(QStringLiteral("data-dir"), QStringLiteral("Directory for media and certificate."), QStringLiteral("dir"));
    const QCommandLineOption noMediaOption(QStringLiteral("no-media"), QStringLiteral("Do not generate the demo media."));
    const QCommandLineOption mediaSecondsOption(QStringLiteral("media-seconds"), QStringLiteral("Length of the generated clips."), QStringLiteral("seconds"), QStringLiteral("10"));
    const QCommandLineOption revisionOption(QStringLiteral("revision"), QStringLiteral("Catalogue revision."), QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption updateOption(QStringLiteral("update"),
                                          QStringLiteral("Announce this service's update file in the catalogue "
                                                         "(its https address with --https, else its http one)."));
    const QCommandLineOption updateUrlOption(QStringLiteral("update-url"), QStringLiteral("Announce this update address in the catalogue."), QStringLiteral("url"));
    const QCommandLineOption catalogueOption(QStringLiteral("catalogue"), QStringLiteral("Serve this catalogue file instead of the demo one."), QStringLiteral("file"));
    const QCommandLineOption countOption(QStringLiteral("catalogue-count"), QStringLiteral("Serve a generated catalogue of n streams."), QStringLiteral("n"));
    const QCommandLineOption encodingOption(QStringLiteral("encoding"), QStringLiteral("Catalogue coding: plain, gzip, gzip-upper, deflate, zlib, bogus, unknown."), QStringLiteral("name"), QStringLiteral("gzip"));
    const QCommandLineOption directoryCountOption(QStringLiteral("directory-count"), QStringLiteral("Serve a generated Icecast directory of n entries."), QStringLiteral("n"));
    const QCommandLineOption quietOption(QStringLiteral("quiet"), QStringLiteral("Do not log requests."));
    parser.addOptions({portOption, httpsOption, httpsPortOption, dataDirOption, noMediaOption, mediaSecondsOption, revisionOption,
                       updateOption, updateUrlOption, catalogueOption, countOption, encodingOption, directoryCountOption, quietOption});
    parser.process(app);

    ReferenceService::Config config;
    bool ok = true;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535)
        return fail(QStringLiteral("bad --port"));
    config.port = quint16(port);
    config.https = parser.isSet(httpsOption);
    const uint httpsPort = parser.value(httpsPortOption).toUInt(&ok);
    if (!ok || httpsPort > 65535)
        return fail(QStringLiteral("bad --https-port"));
    config.httpsPort = quint16(httpsPort);
    config.dataDir = parser.value(dataDirOption);
    config.mediaSeconds = parser.value(mediaSecondsOption).toInt(&ok);
    if (!ok || config.mediaSeconds < 1)
        return fail(QStringLiteral("bad --media-seconds"));
    config.revision = parser.value(revisionOption).toInt(&ok);
    if (!ok)
        return fail(QStringLiteral("bad --revision"));
    config.updateUrl = parser.value(updateUrlOption);
    config.logToStderr = !parser.isSet(quietOption);
    const std::optional<Encoding> encoding = parseEncoding(parser.value(encodingOption));
    if (!encoding)
        return fail(QStringLiteral("unknown --encoding %1").arg(parser.value(encodingOption)));

    ReferenceService service(config);
    service.setCatalogueEncoding(*encoding);
    if (parser.isSet(catalogueOption)) {
        QFile file(parser.value(catalogueOption));
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1").arg(file.fileName()));
        service.setCatalogue(file.readAll());
    }
    if (parser.isSet(directoryCountOption)) {
        const int n = parser.value(directoryCountOption).toInt(&ok);
        if (!ok || n < 0)
            return fail(QStringLiteral("bad --directory-count"));
        service.setDirectoryCount(n);
    }
    int catalogueCount = -1;
    if (parser.isSet(countOption)) {
        catalogueCount = parser.value(countOption).toInt(&ok);
        if (!ok || catalogueCount < 0)
            return fail(QStringLiteral("bad --catalogue-count"));
    }

    if (!service.start())
        return fail(QStringLiteral("cannot start"));
    if (catalogueCount >= 0)
        service.setCatalogue(generateCatalogue(catalogueCount, service.hostPort()));
    // The program downloads an update only over https: with the HTTPS
    // listener the catalogue names the file there.
    if (parser.isSet(updateOption) && config.updateUrl.isEmpty())
        service.setUpdateUrl(service.httpsRunning() ? service.httpsBaseUrl() + service.updatePath()
                                                    : service.updateFileUrl());

    std::printf("quorvantel-service listening on %s\n", qPrintable(service.hostPort()));
    if (service.httpsRunning())
        std::printf("quorvantel-service https on %s (certificate %s)\n", qPrintable(service.httpsHostPort()),
                    qPrintable(service.certificatePath()));
    std::fflush(stdout);

    if (!parser.isSet(noMediaOption)) {
        const MediaSet media = service.ensureMedia();
        if (media.ok)
            std::fprintf(stderr, "quorvantel-service: media in %s\n", qPrintable(media.dir));
        else
            std::fprintf(stderr, "quorvantel-service: %s; serving without media\n", qPrintable(media.error));
    }

    int received = 0;
    sigwait(&stopSignals, &received);
    std::fprintf(stderr, "quorvantel-service: signal %d, stopping\n", received);
    service.stop();
    return 0;
}
