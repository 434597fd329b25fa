#pragma once
// The window's run loop: main-thread work through Qt's event queue, timers as precise QTimers
// on the main thread, background work on a thread pool of its own.

#include <QObject>
#include <QThreadPool>
#include <chrono>

#include "support/RunLoop.h"

namespace orvane::ui {

class QtRunLoop final : public RunLoop {
public:
    // Must be made on the thread that runs the Qt event loop (the main thread).
    QtRunLoop();
    // Waits for the background work already running; main-thread work not yet run is dropped.
    ~QtRunLoop() override;

    void postToMain(std::function<void()> work) override;
    TimerHandle after(double seconds, std::function<void()> work) override;
    TimerHandle every(double interval, std::function<void()> work) override;
    void postToBackground(std::function<void()> work) override;
    [[nodiscard]] double now() const override;

    // Background work posted and not yet finished (for tests that wait for it).
    [[nodiscard]] bool waitForBackground(int milliseconds);

private:
    TimerHandle schedule(double seconds, bool repeating, std::function<void()> work);

    const std::chrono::steady_clock::time_point origin_ = std::chrono::steady_clock::now();
    QObject context_;  // lives on the main thread; its death drops queued work
    QThreadPool pool_;
};

}  // namespace orvane::ui
