// The timing shared by the benchmark programs: a piece of work run a number
// of rounds, each after a preparation that is not timed, summed up as the
// median and the slowest round.
#pragma once

#include <QElapsedTimer>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <vector>

namespace bench {

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
