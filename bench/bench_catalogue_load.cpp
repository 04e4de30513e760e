// Catalogue load figures: fetchStreams from the local reference service
// (download, decode, cache write, parse, index) and from the cache file,
// each beside the floor measured on the same bytes: a zlib inflate plus a
// pugixml parse that builds no records.
#include "catalogue/Options.h"
#include "catalogue/StreamsManager.h"
#include "service/ReferenceService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <pugixml.hpp>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QByteArray inflateGzip(const QByteArray &gz, qsizetype expected)
{
    QByteArray out(expected + 1, Qt::Uninitialized);
    z_stream z{};
    inflateInit2(&z, 16 + MAX_WBITS);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(gz.constData()));
    z.avail_in = uInt(gz.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    inflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    inflateEnd(&z);
    return out;
}

// Median of the runs, in milliseconds; before runs untimed ahead of each.
double measure(int runs, const std::function<void()> &work, const std::function<void()> &before = {})
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        if (before)
            before();
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double floorFor(int runs, const QByteArray &gz, qsizetype plainSize)
{
    return measure(runs, [&] {
        QByteArray text = inflateGzip(gz, plainSize);
        pugi::xml_document doc;
        doc.load_buffer_inplace(text.data(), size_t(text.size()), pugi::parse_default);
        if (!doc.first_child())
            std::fprintf(stderr, "floor parse failed\n");
    });
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString original = QDir::currentPath();
    QDir::setCurrent(dir.path());

    ReferenceService::Config config;
    config.logToStderr = false;
    ReferenceService service(config);
    if (!service.start()) {
        std::fprintf(stderr, "cannot start the reference service\n");
        return 1;
    }
    qputenv("QUORVANTEL_CATALOGUE_HOST", service.hostPort().toLatin1());
    service.setCatalogueEncoding(RefService::Encoding::Gzip);

    std::printf("%-9s %9s %9s | %12s %10s %6s | %12s %10s %6s\n", "streams", "xml MB", "gzip MB", "download ms",
                "floor ms", "ratio", "cache ms", "floor ms", "ratio");
    for (const int count : {1000, 10000, 100000}) {
        const int runs = count >= 100000 ? 5 : 9;
        auto entries = RefService::generateCatalogueEntries(count, service.hostPort());
        for (auto &e : entries) // keep every record: the full cost
            e.format = QStringLiteral("WMP");
        const QByteArray xml = RefService::catalogueDocument(entries);
        service.setCatalogue(xml);
        const QByteArray wire = RefService::gzipCompress(xml);

        Options::resetToDefaults();
        StreamsManager manager;
        manager.setAdultVisible(true);
        int revision = 1;
        // Warm-up: the service encodes the body once.
        service.setRevision(++revision);
        manager.fetchStreams();

        // The catalogue a load replaces is held outside the timed part: its
        // records are freed by whoever lets go of them last (the tables, in
        // the program), not by the load.
        StreamsManager::Snapshot previous;
        auto hold = [&] {
            previous = manager.snapshot();
            service.setRevision(++revision);
        };
        const double download = measure(
            runs,
            [&] {
                if (!manager.fetchStreams() || int(manager.getAllStreams()->size()) != count)
                    std::fprintf(stderr, "download load failed\n");
            },
            hold);
        const double cached = measure(
            runs,
            [&] {
                if (!manager.fetchStreams() || int(manager.getAllStreams()->size()) != count)
                    std::fprintf(stderr, "cache load failed\n");
            },
            [&] { previous = manager.snapshot(); });
        QFile cacheFile("data.dat");
        cacheFile.open(QIODevice::ReadOnly);
        const QByteArray cacheBytes = cacheFile.readAll();
        const double wireFloor = floorFor(runs, wire, xml.size());
        const double cacheFloor = floorFor(runs, cacheBytes, xml.size());
        std::printf("%-9d %9.1f %9.1f | %12.1f %10.1f %6.2f | %12.1f %10.1f %6.2f\n", count, xml.size() / 1e6,
                    wire.size() / 1e6, download, wireFloor, download / wireFloor, cached, cacheFloor,
                    cached / cacheFloor);
        std::fflush(stdout);
    }
    QDir::setCurrent(original);
    return 0;
}
