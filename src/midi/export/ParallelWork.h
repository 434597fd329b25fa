#pragma once
// Independent pieces of work (one per track, one per file) spread over the machine's cores.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane::midi {

// Calls work(i) for every i below count, on up to as many threads as there are cores (the
// calling thread among them; at most maximumThreads). The first exception a piece throws is
// thrown again here, after every thread has finished.
inline void forEachInParallel(std::size_t count, const std::function<void(std::size_t)>& work,
                              std::size_t maximumThreads = 16) {
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureMutex;
    const auto worker = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            try {
                work(i);
            } catch (...) {
                const std::lock_guard lock(failureMutex);
                if (!failure) failure = std::current_exception();
            }
        }
    };
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t threads = std::min({count, cores, std::max<std::size_t>(maximumThreads, 1)});
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(worker);
    worker();
    for (auto& helper : helpers) helper.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace orvane::midi
