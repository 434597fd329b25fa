// The window's run loop: order, timing, cancellation from other threads, and background work
// that runs side by side.

#include <QCoreApplication>
#include <QTest>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "ui/QtRunLoop.h"

using orvane::TimerHandle;
using orvane::ui::QtRunLoop;

class QtRunLoopTest : public QObject {
    Q_OBJECT

private slots:
    void postsFromAnyThreadRunOnTheMainThreadInOrder() {
        QtRunLoop loop;
        std::vector<int> ran;
        bool onMain = true;
        const auto main = QThread::currentThread();
        std::thread other([&] {
            for (int i = 0; i < 100; ++i) {
                loop.postToMain([&, i] {
                    onMain = onMain && QThread::currentThread() == main;
                    ran.push_back(i);
                });
            }
        });
        other.join();
        std::vector<int> expected(100);
        std::iota(expected.begin(), expected.end(), 0);
        QTRY_COMPARE(ran, expected);
        QVERIFY(onMain);
    }

    void timersKeepTheirTimeAndStopWhenCancelledFromAnotherThread() {
        QtRunLoop loop;
        const double start = loop.now();
        double fired = -1;
        loop.after(0.05, [&] { fired = loop.now() - start; });
        std::atomic<int> ticks{0};
        std::vector<double> tickTimes;
        TimerHandle every = loop.every(0.03, [&] {
            tickTimes.push_back(loop.now() - start);
            ++ticks;
        });
        TimerHandle never = loop.after(0.02, [] { QFAIL("a cancelled timer ran"); });
        std::thread([never] { never.cancel(); }).join();
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 5, 2000);
        std::thread([every] { every.cancel(); }).join();
        const int stoppedAt = ticks;
        QTest::qWait(120);
        QVERIFY(ticks <= stoppedAt + 1 && every.isCancelled());
        QVERIFY(fired >= 0.045 && fired < 0.5);
        // A precise timer: the first tick comes one interval in, not later than a few ms late.
        QVERIFY(tickTimes.front() >= 0.028 && tickTimes.front() < 0.2);

        // Timers asked for from another thread start on the main thread.
        bool ranOnMain = false;
        const auto main = QThread::currentThread();
        std::thread([&] { loop.after(0.01, [&] { ranOnMain = QThread::currentThread() == main; }); }).join();
        QTRY_VERIFY(ranOnMain);
    }

    void backgroundWorkRunsOffTheMainThreadAndSideBySide() {
        QtRunLoop loop;
        std::mutex mutex;
        std::condition_variable both;
        int arrived = 0;
        std::atomic<bool> offMain{true};
        std::atomic<int> done{0};
        const auto main = QThread::currentThread();
        // Each task waits for the other: this finishes only if they run at the same time.
        for (int i = 0; i < 2; ++i) {
            loop.postToBackground([&] {
                offMain = offMain && QThread::currentThread() != main;
                std::unique_lock lock(mutex);
                ++arrived;
                both.notify_all();
                both.wait_for(lock, std::chrono::seconds(5), [&] { return arrived == 2; });
                if (arrived == 2) ++done;
            });
        }
        QVERIFY(loop.waitForBackground(10000) && offMain);
        QCOMPARE(done.load(), 2);
    }

    void workQueuedForADeadLoopIsDropped() {
        auto loop = std::make_unique<QtRunLoop>();
        bool ran = false;
        loop->postToMain([&] { ran = true; });
        loop->after(0, [&] { ran = true; });
        loop.reset();
        QTest::qWait(20);
        QVERIFY(!ran);
    }
};

QTEST_MAIN(QtRunLoopTest)
#include "QtRunLoopTest.moc"
