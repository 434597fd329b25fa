#pragma once
// A run loop for tests: a virtual clock that moves only when the test says so. Nothing
// sleeps. Work posted to the main queue or the background queue runs on the thread that
// calls advance() or runUntilIdle(), in the order it became due.

#include <mutex>

#include "support/RunLoop.h"
#include "support/TimerQueue.h"

namespace orvane {

class ManualRunLoop final : public RunLoop {
public:
    void postToMain(std::function<void()> work) override;
    TimerHandle after(double seconds, std::function<void()> work) override;
    TimerHandle every(double interval, std::function<void()> work) override;
    void postToBackground(std::function<void()> work) override;
    [[nodiscard]] double now() const override;

    // Moves the clock forward by `seconds`, running everything that falls due on the way in
    // order of due time (work added while advancing included); the clock stands at each
    // entry's due time while it runs.
    void advance(double seconds);
    // Runs everything that is due now, without moving the clock.
    void runUntilIdle() { advance(0); }
    // Whether any work is waiting (due now or later).
    [[nodiscard]] bool hasPendingWork();

private:
    mutable std::mutex mutex_;
    TimerQueue queue_;
    double now_ = 0;
};

}  // namespace orvane
