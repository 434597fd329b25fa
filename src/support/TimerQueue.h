#pragma once
// The queue of timed work behind both run loops: entries ordered by due time, then by the
// order in which they were added. Not synchronised; the run loops hold their own lock.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "support/RunLoop.h"

namespace orvane {

class TimerQueue {
public:
    struct Entry {
        double due = 0;
        std::uint64_t order = 0;
        double interval = 0;  // 0 for work that runs once
        std::shared_ptr<std::function<void()>> work;
        std::shared_ptr<std::atomic<bool>> cancelled;
    };

    enum class MissedTicks {
        keepCadence,  // a repeating entry's next due time is always due + interval
        skip,         // when that time has already passed, the next one is now + interval
    };

    TimerHandle add(double due, double interval, std::function<void()> work);

    // Removes the earliest live entry due at or before `time` and returns it. A repeating
    // entry is added again for its next due time before it is returned.
    std::optional<Entry> popDue(double time, MissedTicks missed);
    // The due time of the earliest live entry.
    std::optional<double> nextDue();
    [[nodiscard]] bool empty();

    // Runs an entry's work with `lock` released; the work's captures are destroyed before the
    // lock is taken again, so that their destructors may schedule work themselves.
    static void runUnlocked(Entry entry, std::unique_lock<std::mutex>& lock);

private:
    void dropCancelledFront();
    void push(Entry entry);

    std::vector<Entry> heap_;
    std::uint64_t nextOrder_ = 0;
};

}  // namespace orvane
