// Figures for the stored favourites: binding them to a catalogue of 100,000
// streams (the first loadFavorites after a load, on the UI thread), reading
// them from "options.xml" at start and writing them back at exit. Goal for
// the binding of 100,000 stored favourites: under 50 ms.
#include "bench/BenchSupport.h"
#include "catalogue/Options.h"
#include "catalogue/StreamsManager.h"
#include "service/ReferenceService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {
constexpr int STREAMS = 100000;
constexpr int ROUNDS = 5;
constexpr double BIND_GOAL_MS = 50.0;

using bench::Figure;

void print(const char *what, const Figure &f, double goalMs = 0)
{
    std::printf("%-66s median %8.2f ms  max %8.2f ms  favourites %zu%s\n", what, f.medianMs, f.maxMs, f.count,
                goalMs <= 0 ? "" : f.maxMs <= goalMs ? "  (within the goal)" : "  (over the goal)");
}

// A settings file in full mode whose favourites are catalogue streams: entry
// i stores stream idOf(i) at position positionOf(i).
QByteArray settings(int entries, const std::function<int(int)> &idOf, const std::function<int(int)> &positionOf)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Settings><Options><Serial/>"
                     "<UpdateEnabled>true</UpdateEnabled><Mode>true</Mode>"
                     "<UserWizardEnabled>true</UserWizardEnabled><CacheRevision>3</CacheRevision>"
                     "<Password/><Language>en</Language></Options><Favorites>";
    xml.reserve(qsizetype(entries) * 100 + 1000);
    for (int i = 0; i < entries; ++i) {
        xml += "<Entry index=\"" + QByteArray::number(positionOf(i)) + "\" format=\"WMP\"><StreamId>"
            + QByteArray::number(idOf(i)) + "</StreamId><Name>Stream " + QByteArray::number(idOf(i))
            + "</Name><Adult>false</Adult></Entry>";
    }
    return xml + "</Favorites></Settings>\n";
}

bool writeSettings(const QByteArray &bytes)
{
    QFile file(QStringLiteral("options.xml"));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A fresh process up to the first favourites load: the file read and the
// manager remembered.
void startUp(StreamsManager &manager)
{
    Options::resetToDefaults();
    Options::readFromDisk(nullptr, nullptr, false, true);
    Options::readFromDisk(&manager, nullptr, false, false);
}

std::size_t loadedCount()
{
    const auto list = Options::loadFavorites();
    return list ? list->size() : 0;
}

// goalMs: the goal of the binding (0: none).
void scenario(StreamsManager &manager, const char *name, int entries, const std::function<int(int)> &idOf,
              const std::function<int(int)> &positionOf, double goalMs)
{
    const QByteArray bytes = settings(entries, idOf, positionOf);
    if (!writeSettings(bytes))
        return;
    std::printf("%s (options.xml %.1f MB):\n", name, double(bytes.size()) / 1e6);
    print("  read options.xml at start", bench::measure(ROUNDS, [] { Options::resetToDefaults(); }, [] {
              Options::readFromDisk(nullptr, nullptr, false, true);
              return std::size_t(0);
          }));
    print("  bind to the catalogue (first loadFavorites, UI thread)",
          bench::measure(ROUNDS, [&] { startUp(manager); }, [] { return loadedCount(); }), goalMs);
    std::size_t bound = 0;
    print("  write options.xml (exit)", bench::measure(ROUNDS, [&] {
              startUp(manager);
              bound = loadedCount();
          },
                                              [&] {
                                                  Options::writeToDisk();
                                                  return bound;
                                              }));
    std::printf("\n");
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    QDir::setCurrent(dir.path());

    // The catalogue from the cache file.
    {
        auto entries = RefService::generateCatalogueEntries(STREAMS, QStringLiteral("127.0.0.1:1"));
        for (auto &e : entries) {
            e.format = QStringLiteral("WMP");
            e.adult = false;
        }
        if (!bench::cacheCatalogue(entries))
            return 1;
    }
    StreamsManager manager;
    manager.setAdultVisible(true);
    manager.fetchStreams();
    const auto map = manager.getStreamMap();
    std::printf("catalogue: %zu streams loaded from data.dat\n\n", map ? map->size() : 0);
    if (!map || map->size() < std::size_t(STREAMS))
        return 1;

    scenario(manager, "100,000 stored favourites, each another stream, in position order", STREAMS,
             [](int i) { return i + 1; }, [](int i) { return i; }, BIND_GOAL_MS);
    scenario(manager, "100,000 stored favourites, each another stream, stored backwards", STREAMS,
             [](int i) { return i + 1; }, [](int i) { return STREAMS - 1 - i; }, BIND_GOAL_MS);
    scenario(manager, "100,000 stored favourites repeating 30 streams", STREAMS, [](int i) { return 1 + i % 30; },
             [](int i) { return i; }, BIND_GOAL_MS);
    scenario(manager, "570,000 stored favourites repeating 30 streams", 570000, [](int i) { return 1 + i % 30; },
             [](int i) { return i; }, 0);
    return 0;
}
