#pragma once
// The run loop: everything that runs "on the main thread later", "after 0.7 s", "every 30 ms"
// or "on a background queue" goes through this interface, so that tests can drive time by
// hand (ManualRunLoop) while the command line uses real threads (ThreadRunLoop).

#include <atomic>
#include <functional>
#include <memory>

namespace orvane {

// A handle on scheduled work. Copies refer to the same work; cancel() from any copy (and from
// any thread) keeps it from running again. An empty handle is already cancelled. Dropping a
// handle does not cancel the work.
class TimerHandle {
public:
    TimerHandle() = default;
    explicit TimerHandle(std::shared_ptr<std::atomic<bool>> cancelled) : cancelled_(std::move(cancelled)) {}

    void cancel() const noexcept {
        if (cancelled_) cancelled_->store(true);
    }
    [[nodiscard]] bool isCancelled() const noexcept { return !cancelled_ || cancelled_->load(); }

private:
    std::shared_ptr<std::atomic<bool>> cancelled_;
};

class RunLoop {
public:
    RunLoop() = default;
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;
    virtual ~RunLoop() = default;

    // Runs work on the main thread after the work posted before it. Safe from any thread.
    virtual void postToMain(std::function<void()> work) = 0;
    // Runs work once on the main thread, `seconds` from now. Safe from any thread.
    virtual TimerHandle after(double seconds, std::function<void()> work) = 0;
    // Runs work on the main thread every `interval` seconds, first `interval` from now, until
    // the handle is cancelled. Safe from any thread.
    virtual TimerHandle every(double interval, std::function<void()> work) = 0;
    // Runs work on a background queue, away from the main thread. Work items may run one after
    // another (the manual and command-line loops) or at the same time (the window's), so each
    // must stand alone. Safe from any thread.
    virtual void postToBackground(std::function<void()> work) = 0;
    // Seconds on this loop's monotonic clock.
    [[nodiscard]] virtual double now() const = 0;
};

}  // namespace orvane
