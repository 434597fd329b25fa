#include "ui/QtRunLoop.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <cmath>

namespace orvane::ui {

namespace {

int milliseconds(double seconds) {
    if (!(seconds > 0)) return 0;
    return static_cast<int>(std::min(std::lround(seconds * 1000.0), long{INT32_MAX}));
}

}  // namespace

QtRunLoop::QtRunLoop() {
    // Detection and a split's writing may run side by side; more would only compete for the
    // two cores the window shares with the synthesizer.
    pool_.setMaxThreadCount(2);
    pool_.setExpiryTimeout(30000);
}

QtRunLoop::~QtRunLoop() { pool_.waitForDone(); }

void QtRunLoop::postToMain(std::function<void()> work) {
    QMetaObject::invokeMethod(&context_, std::move(work), Qt::QueuedConnection);
}

TimerHandle QtRunLoop::after(double seconds, std::function<void()> work) {
    return schedule(seconds, false, std::move(work));
}

TimerHandle QtRunLoop::every(double interval, std::function<void()> work) {
    return schedule(interval, true, std::move(work));
}

TimerHandle QtRunLoop::schedule(double seconds, bool repeating, std::function<void()> work) {
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    const int interval = milliseconds(seconds);
    auto start = [this, cancelled, interval, repeating, work = std::move(work)]() mutable {
        if (cancelled->load()) return;
        auto* timer = new QTimer(&context_);
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(interval);
        timer->setSingleShot(!repeating);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, cancelled, repeating, work = std::move(work)] {
            if (cancelled->load()) {
                timer->stop();
                timer->deleteLater();
                return;
            }
            if (!repeating) timer->deleteLater();
            work();
        });
        timer->start();
    };
    // A timer belongs to the thread that starts it: from another thread it starts on the main
    // thread, one queue turn later.
    if (QThread::currentThread() == context_.thread()) {
        start();
    } else {
        QMetaObject::invokeMethod(&context_, std::move(start), Qt::QueuedConnection);
    }
    return TimerHandle(cancelled);
}

void QtRunLoop::postToBackground(std::function<void()> work) {
    pool_.start([work = std::move(work)] { work(); });
}

double QtRunLoop::now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - origin_).count();
}

bool QtRunLoop::waitForBackground(int milliseconds) { return pool_.waitForDone(milliseconds); }

}  // namespace orvane::ui
