// The run loops. The manual loop's order of due times and its fixed cadence are what the
// controller and player tests measure their times with (tests/playback, tests/app); here,
// what those do not reach: cancelling, posts from other threads, and the real thread loop.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/ManualRunLoop.h"
#include "support/ThreadRunLoop.h"

namespace orvane {
namespace {

TEST(ManualRunLoop, CancelledWorkNeverRunsAndPostsFromOtherThreadsArrive) {
    ManualRunLoop loop;
    int ran = 0;
    loop.after(0.1, [&] { ran += 100; }).cancel();
    TimerHandle repeating;  // cancelled from inside its own run
    repeating = loop.every(0.03, [&] {
        if (++ran == 4) repeating.cancel();
    });
    loop.advance(1.0);
    std::thread other([&] {
        for (int i = 0; i < 50; ++i) loop.postToMain([&] { ++ran; });
    });
    other.join();
    loop.runUntilIdle();
    EXPECT_EQ(ran, 54);
    EXPECT_TRUE(TimerHandle().isCancelled());
}

TEST(ThreadRunLoop, RunsPostsTimersAndBackgroundWorkUntilQuit) {
    ThreadRunLoop loop;
    const auto mainThread = std::this_thread::get_id();
    std::vector<std::string> ran;  // touched on the main thread only
    std::atomic<bool> backgroundOnOtherThread{false};
    int ticks = 0;

    loop.after(0.02, [&] { ran.push_back("after"); });
    TimerHandle never = loop.after(0.01, [&] { ran.push_back("cancelled"); });
    never.cancel();
    TimerHandle repeating;
    repeating = loop.every(0.005, [&] {
        if (++ticks == 3) repeating.cancel();
    });
    std::thread poster([&] { loop.postToMain([&] { ran.push_back("posted"); }); });
    loop.postToBackground([&] {
        backgroundOnOtherThread = std::this_thread::get_id() != mainThread;
        loop.postToMain([&] { ran.push_back("from background"); });
    });
    loop.after(0.2, [&] { loop.quit(); });
    loop.run();
    poster.join();

    EXPECT_TRUE(backgroundOnOtherThread);
    EXPECT_EQ(ticks, 3);
    std::sort(ran.begin(), ran.end());
    EXPECT_EQ(ran, (std::vector<std::string>{"after", "from background", "posted"}));
}

TEST(ThreadRunLoop, QuitBeforeRunReturnsAtOnceAndTheLoopCanRunAgain) {
    ThreadRunLoop loop;
    loop.quit();
    loop.run();
    bool ran = false;
    loop.postToMain([&] {
        ran = true;
        loop.quit();
    });
    loop.run();
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace orvane
