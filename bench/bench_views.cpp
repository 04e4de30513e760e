// Figures for the stream views at catalogue size: rebuilding a view's rows
// after one more search character, after a change of sort column and after a
// tab switch, with 100,000 catalogue streams, and reading an Icecast
// directory of 20,000 entries. A frame is 16 ms.
#include "bench/BenchSupport.h"
#include "catalogue/IcecastFetcher.h"
#include "catalogue/IcecastView.h"
#include "catalogue/Options.h"
#include "catalogue/StreamOrderIndex.h"
#include "catalogue/StreamsManager.h"
#include "catalogue/StreamsView.h"
#include "service/ReferenceService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {
constexpr int STREAMS = 100000;
constexpr int DIRECTORY_ENTRIES = 20000;
constexpr int ROUNDS = 15;

using bench::Figure;

// frame: work of the UI thread, which must fit in a frame.
void print(const char *what, const Figure &f, bool frame = true)
{
    std::printf("%-62s median %7.2f ms  max %7.2f ms  rows %zu%s\n", what, f.medianMs, f.maxMs, f.count,
                !frame || f.maxMs <= 16.0 ? "" : "  (over one frame)");
}

double once(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    QDir::setCurrent(dir.path());

    // The real load path: a catalogue in the cache file, every stream in the
    // one format the reader keeps.
    {
        auto entries = RefService::generateCatalogueEntries(STREAMS, QStringLiteral("127.0.0.1:1"));
        for (auto &e : entries)
            e.format = QStringLiteral("WMP");
        if (!bench::cacheCatalogue(entries))
            return 1;
    }
    StreamsManager manager;
    manager.setAdultVisible(true);
    const double loadMs = once([&] { manager.fetchStreams(); });
    const auto all = manager.getAllStreams();
    std::printf("catalogue: %zu streams loaded from data.dat in %.1f ms\n\n", all ? all->size() : 0, loadMs);
    if (!all || all->size() < std::size_t(STREAMS))
        return 1;

    {
        // The same catalogue as a new list, its order index prepared the way
        // a load with views prepares it on the catalogue worker.
        auto copy = std::make_shared<const StreamList>(*all);
        StreamOrderIndex index(copy);
        const double prepareMs = once([&] { index.prepareAll(); });
        std::printf("%-62s %7.2f ms\n", "order index of 100,000 streams prepared (worker thread)", prepareMs);
    }

    StreamsView allView(&manager, StreamsView::FILTER_ALL);
    StreamsView tvView(&manager, StreamsView::FILTER_TV);
    StreamsView radioView(&manager, StreamsView::FILTER_RADIO);
    StreamsView movieView(&manager, StreamsView::FILTER_MOVIES);

    const double firstMs = once([&] { allView.getActiveStreams(); });
    std::printf("%-62s %7.2f ms (once per catalogue load)\n", "first rows of the first view (name order computed)",
                firstMs);
    const double secondMs = once([&] { tvView.getActiveStreams(); });
    std::printf("%-62s %7.2f ms\n\n", "first rows of a second view (order shared)", secondMs);

    // One more search character: "ra" -> "rad" and "r" -> "ra".
    print("search: one more character (\"ra\" -> \"rad\"), all streams", bench::measure(ROUNDS,
        [&] {
            allView.searchForString(QStringLiteral("ra"));
            allView.getActiveStreams();
            allView.searchForString(QStringLiteral("rad"));
        },
        [&] { return allView.getActiveStreams().size(); }));
    print("search: one more character (\"r\" -> \"ra\"), all streams", bench::measure(ROUNDS,
        [&] {
            allView.searchForString(QStringLiteral("r"));
            allView.getActiveStreams();
            allView.searchForString(QStringLiteral("ra"));
        },
        [&] { return allView.getActiveStreams().size(); }));
    print("search: first character (\"\" -> \"r\"), all streams", bench::measure(ROUNDS,
        [&] {
            allView.searchForString(QString());
            allView.getActiveStreams();
            allView.searchForString(QStringLiteral("r"));
        },
        [&] { return allView.getActiveStreams().size(); }));
    print("search: character removed (\"rad\" -> \"ra\"), all streams", bench::measure(ROUNDS,
        [&] {
            allView.searchForString(QStringLiteral("rad"));
            allView.getActiveStreams();
            allView.searchForString(QStringLiteral("ra"));
        },
        [&] { return allView.getActiveStreams().size(); }));
    allView.searchForString(QString());
    allView.getActiveStreams();
    std::printf("\n");

    // Sort column changes, each column's order used for the first time in
    // the first round (the maximum) and from then on shared.
    const int columns[] = {StreamsView::SORT_CATEGORY, StreamsView::SORT_COUNTRY, StreamsView::SORT_LANGUAGE,
                           StreamsView::SORT_BITRATE, StreamsView::SORT_ID, StreamsView::SORT_NAME};
    for (int column : columns) {
        char label[96];
        std::snprintf(label, sizeof label, "sort column change to %d, all streams", column);
        print(label, bench::measure(ROUNDS, [&] {
            allView.selectSorter(column == StreamsView::SORT_NAME ? StreamsView::SORT_ID : StreamsView::SORT_NAME, true);
            allView.getActiveStreams();
            allView.selectSorter(column, true);
        },
                             [&] { return allView.getActiveStreams().size(); }));
    }
    print("sort direction flip, all streams", bench::measure(ROUNDS, [&] { allView.selectSorter(StreamsView::SORT_NAME, true);
                                                         allView.getActiveStreams();
                                                         allView.selectSorter(StreamsView::SORT_NAME, false); },
                                                     [&] { return allView.getActiveStreams().size(); }));
    std::printf("\n");

    // A tab switch: the new tab's view is reset to all categories and
    // countries and searched with the emptied text, after it had a search.
    print("tab switch: another view after a search (\"ra\" -> \"\")", bench::measure(ROUNDS,
        [&] {
            radioView.searchForString(QStringLiteral("ra"));
            radioView.getActiveStreams();
            radioView.selectCategory(0);
            radioView.selectCountry(0);
            radioView.searchForString(QString());
        },
        [&] { return radioView.getActiveStreams().size(); }));
    print("tab switch: another view, nothing changed", bench::measure(ROUNDS,
        [&] {
            movieView.getActiveStreams();
            movieView.selectCategory(0);
            movieView.selectCountry(0);
            movieView.searchForString(QString());
        },
        [&] { return movieView.getActiveStreams().size(); }));
    print("tab switch: another view, search cleared on the whole catalogue", bench::measure(ROUNDS,
        [&] {
            allView.searchForString(QStringLiteral("zzz-no-match"));
            allView.getActiveStreams();
            allView.selectCategory(0);
            allView.selectCountry(0);
            allView.searchForString(QString());
        },
        [&] { return allView.getActiveStreams().size(); }));
    std::printf("\n");

    // The Icecast directory.
    const QByteArray directory = RefService::generateDirectory(DIRECTORY_ENTRIES, QStringLiteral("127.0.0.1:1"));
    IcecastFetcher fetcher;
    std::size_t entries = 0;
    std::printf("Icecast directory (worker thread):\n");
    print("directory: parse 20,000 entries", bench::measure(ROUNDS, [] {}, [&] {
              fetcher.parse(directory);
              return std::size_t(DIRECTORY_ENTRIES);
          }), false);
    print("directory: records of 20,000 entries", bench::measure(ROUNDS, [] {}, [&] {
              entries = fetcher.getStreamList()->size();
              return entries;
          }), false);
    std::printf("directory document: %.1f MB\n", double(directory.size()) / 1e6);
    return 0;
}
