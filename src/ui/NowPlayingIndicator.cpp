#include "ui/NowPlayingIndicator.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <chrono>
#include <cmath>

namespace orvane::ui {
namespace {

constexpr double riseSeconds = 0.45;        // one way; the motion reverses and repeats
constexpr double settleSeconds = 0.3;       // back to rest after a stop
constexpr double barDelays[3] = {0.0, 0.15, 0.3};
constexpr double idleOpacity = 0.35;

double easeInOut(double u) { return u * u * (3 - 2 * u); }
double easeOut(double u) { return 1 - (1 - u) * (1 - u); }

double lowHeight() { return indicatorBarHeight / 4; }

// The height of a bar `t` seconds into the play animation.
double playingHeight(int bar, double t) {
    const double local = t - barDelays[bar];
    if (local <= 0) return lowHeight();
    const double phase = std::fmod(local, 2 * riseSeconds);
    const double u = phase < riseSeconds ? phase / riseSeconds : (2 * riseSeconds - phase) / riseSeconds;
    return lowHeight() + (indicatorBarHeight - lowHeight()) * easeInOut(u);
}

}  // namespace

bool IndicatorMotion::isMoving(double now) const noexcept {
    return playing || now - changedAt < settleSeconds;
}

void IndicatorMotion::setPlaying(bool on, double now) noexcept {
    if (on == playing) return;
    if (!on) stoppedFromPhase = now - changedAt;
    playing = on;
    changedAt = now;
}

double indicatorBarHeightAt(const IndicatorMotion& motion, int bar, double now) noexcept {
    bar = std::clamp(bar, 0, 2);
    if (motion.playing) return playingHeight(bar, now - motion.changedAt);
    const double since = now - motion.changedAt;
    if (since >= settleSeconds) return lowHeight();
    const double from = playingHeight(bar, motion.stoppedFromPhase);
    return from + (lowHeight() - from) * easeOut(std::max(since, 0.0) / settleSeconds);
}

void paintNowPlayingIndicator(QPainter& painter, const QRectF& area, const QColor& color, const IndicatorMotion& motion,
                              double now) {
    const QRectF frame(area.center().x() - indicatorWidth / 2, area.center().y() - indicatorBarHeight / 2,
                       indicatorWidth, indicatorBarHeight);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor fill = color;
    if (!motion.playing) fill.setAlphaF(fill.alphaF() * static_cast<float>(idleOpacity));
    painter.setBrush(fill);
    for (int bar = 0; bar < 3; ++bar) {
        const double height = indicatorBarHeightAt(motion, bar, now);
        const double x = frame.left() + bar * (indicatorBarWidth + indicatorBarGap);
        painter.drawRoundedRect(QRectF(x, frame.bottom() - height, indicatorBarWidth, height), 1.5, 1.5);
    }
    painter.restore();
}

double indicatorClock() {
    static const auto origin = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - origin).count();
}

NowPlayingIndicator::NowPlayingIndicator(QWidget* parent) : QWidget(parent), color_(palette().color(QPalette::Highlight)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    frameTimer_.setInterval(33);
    connect(&frameTimer_, &QTimer::timeout, this, [this] {
        update();
        if (!motion_.isMoving(indicatorClock())) frameTimer_.stop();
    });
}

void NowPlayingIndicator::setPlaying(bool playing) {
    if (playing == motion_.playing) return;
    motion_.setPlaying(playing, indicatorClock());
    if (!frameTimer_.isActive()) frameTimer_.start();
    update();
}

void NowPlayingIndicator::setColor(const QColor& color) {
    color_ = color;
    update();
}

QSize NowPlayingIndicator::sizeHint() const { return {20, 18}; }

void NowPlayingIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintNowPlayingIndicator(painter, rect(), color_, motion_, indicatorClock());
}

}  // namespace orvane::ui
