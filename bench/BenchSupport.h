// What the benchmark programs share: a catalogue in the cache file for the
// manager to load, and the timing of a piece of work run a number of rounds,
// each after a preparation that is not timed, summed up as the median and
// the slowest round.
#pragma once

#include "catalogue/Options.h"
#include "service/ReferenceService.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <vector>

namespace bench {

// Writes these entries as the cache file "data.dat" in the working
// directory, with a stored revision that the unreachable catalogue server
// cannot contradict, so that the manager's load reads the file (the real
// load path). False when the file cannot be made.
inline bool cacheCatalogue(const std::vector<RefService::CatalogueEntry> &entries)
{
    qputenv("QUORVANTEL_CATALOGUE_HOST", "127.0.0.1:1");
    {
        QFile cache(QStringLiteral("data.dat"));
        if (!cache.open(QIODevice::WriteOnly))
            return false;
        cache.write(RefService::gzipCompress(RefService::catalogueDocument(entries)));
    }
    Options::setCacheRevision(3);
    return true;
}

struct Figure
{
    double medianMs = 0;
    double maxMs = 0;
    // What the last round of work returned (rows, favourites, ...).
    std::size_t count = 0;
};

// Runs prepare (not timed) then work (timed) rounds times.
inline Figure measure(int rounds, const std::function<void()> &prepare, const std::function<std::size_t()> &work)
{
    std::vector<double> times;
    std::size_t count = 0;
    for (int i = 0; i < rounds; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        count = work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.back(), count};
}

} // namespace bench
