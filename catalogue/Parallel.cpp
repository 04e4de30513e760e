#include "catalogue/Parallel.h"

#include <system_error>
#include <thread>
#include <vector>

void runParallel(size_t count, const std::function<void(size_t)> &work)
{
    std::vector<std::thread> threads;
    std::vector<size_t> inline_;
    for (size_t i = 1; i < count; ++i) {
        try {
            threads.emplace_back(work, i);
        } catch (const std::system_error &) {
            inline_.push_back(i);
        }
    }
    work(0);
    for (const size_t i : inline_)
        work(i);
    for (auto &thread : threads)
        thread.join();
}
