#include "support/ThreadRunLoop.h"

#include <algorithm>

namespace orvane {

ThreadRunLoop::ThreadRunLoop() = default;

ThreadRunLoop::~ThreadRunLoop() {
    {
        std::lock_guard lock(backgroundMutex_);
        backgroundStopping_ = true;
    }
    backgroundWake_.notify_all();
    if (backgroundThread_.joinable()) backgroundThread_.join();
}

double ThreadRunLoop::now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - origin_).count();
}

TimerHandle ThreadRunLoop::add(double delay, double interval, std::function<void()> work) {
    TimerHandle handle;
    {
        std::lock_guard lock(mutex_);
        handle = queue_.add(now() + std::max(delay, 0.0), interval, std::move(work));
    }
    wake_.notify_all();
    return handle;
}

void ThreadRunLoop::postToMain(std::function<void()> work) { add(0, 0, std::move(work)); }

TimerHandle ThreadRunLoop::after(double seconds, std::function<void()> work) {
    return add(seconds, 0, std::move(work));
}

TimerHandle ThreadRunLoop::every(double interval, std::function<void()> work) {
    return add(interval, interval, std::move(work));
}

void ThreadRunLoop::run() {
    std::unique_lock lock(mutex_);
    while (!quitRequested_) {
        if (auto entry = queue_.popDue(now(), TimerQueue::MissedTicks::skip)) {
            TimerQueue::runUnlocked(std::move(*entry), lock);
            continue;
        }
        if (const auto next = queue_.nextDue()) {
            const auto wakeTime = origin_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                std::chrono::duration<double>(*next));
            wake_.wait_until(lock, wakeTime);
        } else {
            wake_.wait(lock);
        }
    }
    quitRequested_ = false;
}

void ThreadRunLoop::quit() {
    {
        std::lock_guard lock(mutex_);
        quitRequested_ = true;
    }
    wake_.notify_all();
}

void ThreadRunLoop::postToBackground(std::function<void()> work) {
    {
        std::lock_guard lock(backgroundMutex_);
        backgroundWork_.push_back(std::move(work));
        if (!backgroundThread_.joinable()) backgroundThread_ = std::thread([this] { backgroundLoop(); });
    }
    backgroundWake_.notify_one();
}

void ThreadRunLoop::backgroundLoop() {
    std::unique_lock lock(backgroundMutex_);
    for (;;) {
        backgroundWake_.wait(lock, [this] { return backgroundStopping_ || !backgroundWork_.empty(); });
        if (backgroundWork_.empty()) return;
        auto work = std::move(backgroundWork_.front());
        backgroundWork_.pop_front();
        lock.unlock();
        work();
        work = nullptr;
        lock.lock();
    }
}

}  // namespace orvane
