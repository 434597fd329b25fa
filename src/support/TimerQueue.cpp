#include "support/TimerQueue.h"

#include <algorithm>

namespace orvane {
namespace {

// std::push_heap builds a max-heap; "greater" puts the earliest entry on top.
bool later(const TimerQueue::Entry& a, const TimerQueue::Entry& b) {
    if (a.due != b.due) return a.due > b.due;
    return a.order > b.order;
}

}  // namespace

TimerHandle TimerQueue::add(double due, double interval, std::function<void()> work) {
    Entry entry;
    entry.due = due;
    entry.interval = interval > 0 ? interval : 0;
    entry.work = std::make_shared<std::function<void()>>(std::move(work));
    entry.cancelled = std::make_shared<std::atomic<bool>>(false);
    TimerHandle handle(entry.cancelled);
    push(std::move(entry));
    return handle;
}

void TimerQueue::push(Entry entry) {
    entry.order = nextOrder_++;
    heap_.push_back(std::move(entry));
    std::push_heap(heap_.begin(), heap_.end(), later);
}

void TimerQueue::dropCancelledFront() {
    while (!heap_.empty() && heap_.front().cancelled->load()) {
        std::pop_heap(heap_.begin(), heap_.end(), later);
        heap_.pop_back();
    }
}

std::optional<TimerQueue::Entry> TimerQueue::popDue(double time, MissedTicks missed) {
    dropCancelledFront();
    if (heap_.empty() || heap_.front().due > time) return std::nullopt;
    std::pop_heap(heap_.begin(), heap_.end(), later);
    Entry entry = std::move(heap_.back());
    heap_.pop_back();
    if (entry.interval > 0) {
        Entry next = entry;
        next.due = entry.due + entry.interval;
        if (missed == MissedTicks::skip && next.due <= time) next.due = time + entry.interval;
        push(std::move(next));
    }
    return entry;
}

std::optional<double> TimerQueue::nextDue() {
    dropCancelledFront();
    if (heap_.empty()) return std::nullopt;
    return heap_.front().due;
}

void TimerQueue::runUnlocked(Entry entry, std::unique_lock<std::mutex>& lock) {
    auto work = std::move(entry.work);
    entry = Entry();
    lock.unlock();
    (*work)();
    work.reset();
    lock.lock();
}

bool TimerQueue::empty() {
    dropCancelledFront();
    return heap_.empty();
}

}  // namespace orvane
