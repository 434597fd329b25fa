#include "support/ManualRunLoop.h"

#include <algorithm>

namespace orvane {

void ManualRunLoop::postToMain(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    queue_.add(now_, 0, std::move(work));
}

TimerHandle ManualRunLoop::after(double seconds, std::function<void()> work) {
    std::lock_guard lock(mutex_);
    return queue_.add(now_ + std::max(seconds, 0.0), 0, std::move(work));
}

TimerHandle ManualRunLoop::every(double interval, std::function<void()> work) {
    std::lock_guard lock(mutex_);
    return queue_.add(now_ + interval, interval, std::move(work));
}

void ManualRunLoop::postToBackground(std::function<void()> work) { postToMain(std::move(work)); }

double ManualRunLoop::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

void ManualRunLoop::advance(double seconds) {
    std::unique_lock lock(mutex_);
    const double target = now_ + std::max(seconds, 0.0);
    for (;;) {
        auto entry = queue_.popDue(target, TimerQueue::MissedTicks::keepCadence);
        if (!entry) break;
        now_ = std::max(now_, entry->due);
        TimerQueue::runUnlocked(std::move(*entry), lock);
    }
    now_ = target;
}

bool ManualRunLoop::hasPendingWork() {
    std::lock_guard lock(mutex_);
    return !queue_.empty();
}

}  // namespace orvane
