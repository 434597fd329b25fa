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

TEST(ManualRunLoop, RunsWorkInOrderOfDueTimeThenOfPosting) {
    ManualRunLoop loop;
    std::vector<std::string> ran;
    loop.after(0.5, [&] { ran.push_back("b@" + std::to_string(loop.now())); });
    loop.after(0.2, [&] { ran.push_back("a@" + std::to_string(loop.now())); });
    loop.after(0.5, [&] { ran.push_back("c@" + std::to_string(loop.now())); });
    loop.postToMain([&] { ran.push_back("posted"); });
    loop.postToBackground([&] { ran.push_back("background"); });
    loop.advance(0.1);
    EXPECT_EQ(ran, (std::vector<std::string>{"posted", "background"}));
    loop.advance(1.0);
    EXPECT_EQ(ran, (std::vector<std::string>{"posted", "background", "a@0.200000", "b@0.500000", "c@0.500000"}));
    EXPECT_DOUBLE_EQ(loop.now(), 1.1);
    EXPECT_FALSE(loop.hasPendingWork());
}

TEST(ManualRunLoop, RepeatsOnAFixedCadenceUntilCancelledEvenFromInside) {
    ManualRunLoop loop;
    std::vector<double> times;
    TimerHandle handle;
    handle = loop.every(0.03, [&] {
        times.push_back(loop.now());
        if (times.size() == 4) handle.cancel();
    });
    loop.advance(1.0);
    ASSERT_EQ(times.size(), 4U);
    EXPECT_NEAR(times[0], 0.03, 1e-12);
    EXPECT_NEAR(times[3], 0.12, 1e-12);
    EXPECT_TRUE(handle.isCancelled());
}

TEST(ManualRunLoop, WorkAddedWhileAdvancingRunsWhenItFallsDue) {
    ManualRunLoop loop;
    std::vector<double> times;
    loop.after(0.1, [&] {
        times.push_back(loop.now());
        loop.postToMain([&] { times.push_back(loop.now()); });
        loop.after(0.1, [&] { times.push_back(loop.now()); });
        loop.after(5.0, [&] { times.push_back(-1); });
    });
    loop.advance(0.3);
    EXPECT_EQ(times, (std::vector<double>{0.1, 0.1, 0.2}));
    EXPECT_TRUE(loop.hasPendingWork());
}

TEST(ManualRunLoop, CancelledWorkNeverRunsAndPostsFromOtherThreadsArrive) {
    ManualRunLoop loop;
    int ran = 0;
    loop.after(0.1, [&] { ran += 100; }).cancel();
    std::thread other([&] {
        for (int i = 0; i < 50; ++i) loop.postToMain([&] { ++ran; });
    });
    other.join();
    loop.runUntilIdle();
    EXPECT_EQ(ran, 50);
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
