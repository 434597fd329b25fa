#pragma once
// The command line's run loop: the thread that calls run() is the main thread; timers use the
// steady clock; background work runs on one worker thread, in order.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "support/RunLoop.h"
#include "support/TimerQueue.h"

namespace orvane {

class ThreadRunLoop final : public RunLoop {
public:
    ThreadRunLoop();
    // Finishes the background work already posted, then stops the worker.
    ~ThreadRunLoop() override;

    void postToMain(std::function<void()> work) override;
    TimerHandle after(double seconds, std::function<void()> work) override;
    TimerHandle every(double interval, std::function<void()> work) override;
    void postToBackground(std::function<void()> work) override;
    [[nodiscard]] double now() const override;

    // Services the main queue and the timers on the calling thread until quit().
    void run();
    // Makes run() return after the work it is running. Safe from any thread; a quit() before
    // run() makes the next run() return at once.
    void quit();

private:
    TimerHandle add(double delay, double interval, std::function<void()> work);
    void backgroundLoop();

    const std::chrono::steady_clock::time_point origin_ = std::chrono::steady_clock::now();

    std::mutex mutex_;
    std::condition_variable wake_;
    TimerQueue queue_;
    bool quitRequested_ = false;

    std::mutex backgroundMutex_;
    std::condition_variable backgroundWake_;
    std::deque<std::function<void()>> backgroundWork_;
    bool backgroundStopping_ = false;
    std::thread backgroundThread_;
};

}  // namespace orvane
