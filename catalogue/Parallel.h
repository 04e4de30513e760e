#pragma once

#include <cstddef>
#include <functional>

// Runs work(0) .. work(count - 1), each on a thread of its own but the
// first, which runs on the calling thread; a thread that cannot be started
// leaves its part to the calling thread. Returns when every part is done.
void runParallel(size_t count, const std::function<void(size_t)> &work);
