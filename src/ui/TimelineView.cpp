#include "ui/TimelineView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "ui/Appearance.h"

namespace orvane::ui {
namespace {

constexpr double cornerRadius = 8;
constexpr double markerLineWidth = 1.5;
constexpr double dotSize = 4;
constexpr double dotTop = 1;
constexpr double keyboardStepSeconds = 5;

QPainterPath roundedOutline(const QRectF& bounds) {
    QPainterPath path;
    path.addRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    return path;
}

void drawLineWithDot(QPainter& painter, double x, double height, const QColor& color) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRect(QRectF(x - markerLineWidth / 2, 0, markerLineWidth, height));
    painter.drawEllipse(QRectF(x - dotSize / 2, dotTop, dotSize, dotSize));
}

}  // namespace

TimelineView::TimelineView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName("Timeline");
    setToolTip("The whole song: click to move the playhead; in loop mode, drag the black markers");
}

QSize TimelineView::sizeHint() const { return {680, 44}; }

app::TimelineGeometry TimelineView::geometry() const noexcept {
    return {static_cast<double>(width()), static_cast<double>(height())};
}

double TimelineView::playheadX() const noexcept { return geometry().xForFraction(playhead_); }

void TimelineView::setLanes(const std::vector<app::TrackLane>& lanes, double songDuration) {
    songDuration_ = songDuration;
    if (lanes == lanes_) return;
    lanes_ = lanes;
    rebuildSpans();
    update();
}

void TimelineView::setLoop(bool enabled, double start, double end) {
    if (enabled == loopEnabled_ && start == loopStart_ && end == loopEnd_) return;
    loopEnabled_ = enabled;
    loopStart_ = start;
    loopEnd_ = end;
    if (!enabled) {
        activeMarker_.reset();
        if (drag_ == Drag::marker) drag_ = Drag::none;
    }
    update();
}

void TimelineView::setPlayhead(double fraction) {
    if (!std::isfinite(fraction)) fraction = 0;
    const double oldX = playheadX();
    playhead_ = fraction;
    const double newX = playheadX();
    if (std::abs(newX - oldX) < 0.25) return;
    update(playheadStrip(oldX));
    update(playheadStrip(newX));
}

QRect TimelineView::playheadStrip(double x) const {
    const int left = static_cast<int>(std::floor(x - dotSize / 2 - 1.5));
    return {left, 0, static_cast<int>(dotSize) + 4, height()};
}

double TimelineView::laneOffsetY() const noexcept {
    // The lanes sit centred in the view: 8 points apart, 4 high.
    if (lanes_.empty()) return 0;
    const double block = app::TimelineGeometry::laneSpacing * static_cast<double>(lanes_.size() - 1) +
                         app::TimelineGeometry::laneHeight;
    return std::max((height() - block) / 2, 0.0);
}

void TimelineView::rebuildSpans() {
    const app::TimelineGeometry g = geometry();
    spans_.clear();
    spans_.reserve(lanes_.size());
    for (const app::TrackLane& lane : lanes_) spans_.push_back(app::laneSpans(lane.phrases, g));
    backgroundDirty_ = true;
}

void TimelineView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    rebuildSpans();
}

void TimelineView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) backgroundDirty_ = true;
}

void TimelineView::rebuildBackground() {
    ++backgroundBuilds_;
    const qreal ratio = devicePixelRatioF();
    background_ = QPixmap((QSizeF(size()) * ratio).toSize());
    background_.setDevicePixelRatio(ratio);
    background_.fill(Qt::transparent);

    QPainter painter(&background_);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(0, 0, width(), height());
    const QPainterPath outline = roundedOutline(bounds);
    painter.fillPath(outline, color(app::ColorRole::controlBackground));

    const app::TimelineGeometry g = geometry();
    const double w = g.trackWidth();
    QColor grid = color(app::ColorRole::separator);
    grid.setAlphaF(0.6f);
    painter.setPen(QPen(grid, 0.5));
    for (int k = 1; k <= 9; ++k) {
        const double x = app::TimelineGeometry::trackOriginX + w * k / 10.0;
        painter.drawLine(QPointF(x, 1), QPointF(x, height() - 1));
    }

    if (lanes_.empty()) {
        painter.setPen(color(app::ColorRole::tertiaryLabel));
        painter.setFont(uiFont(11));
        painter.drawText(bounds, Qt::AlignCenter, "Load a MIDI file to see the timeline");
    } else {
        const double offset = laneOffsetY();
        painter.setFont(monoFont(8));
        painter.setPen(color(app::ColorRole::secondaryLabel));
        for (std::size_t i = 0; i < lanes_.size(); ++i) {
            const double top = g.laneTop(i) + offset;
            if (top + app::TimelineGeometry::laneHeight > height()) break;
            painter.drawText(QRectF(3, top - 3, 20, 10), Qt::AlignLeft | Qt::AlignVCenter,
                             QString::fromStdString(lanes_[i].label));
        }
        painter.setPen(Qt::NoPen);
        for (std::size_t i = 0; i < lanes_.size(); ++i) {
            const double top = g.laneTop(i) + offset;
            if (top + app::TimelineGeometry::laneHeight > height()) break;
            QColor fill = trackColor(lanes_[i].paletteIndex);
            fill.setAlphaF(0.85f);
            painter.setBrush(fill);
            for (const app::PixelSpan& span : spans_[i]) {
                painter.drawRoundedRect(QRectF(span.x, top, span.width, app::TimelineGeometry::laneHeight), 2, 2);
            }
        }
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color(app::ColorRole::separator), 1));
    painter.drawPath(outline);
    backgroundDirty_ = false;
}

void TimelineView::paintEvent(QPaintEvent* event) {
    if (backgroundDirty_ || background_.deviceIndependentSize() != QSizeF(size())) rebuildBackground();
    QPainter painter(this);
    const QRect exposed = event->rect();
    const qreal ratio = background_.devicePixelRatio();
    painter.drawPixmap(QRectF(exposed), background_,
                       QRectF(exposed.x() * ratio, exposed.y() * ratio, exposed.width() * ratio,
                              exposed.height() * ratio));

    const app::TimelineGeometry g = geometry();
    const double h = height();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipPath(roundedOutline(QRectF(0, 0, width(), h)));
    painter.setClipRect(exposed, Qt::IntersectClip);
    if (loopEnabled_ && !lanes_.empty()) {
        const double startX = g.xForFraction(loopStart_);
        const double endX = g.xForFraction(loopEnd_);
        if (startX < endX) {
            QColor fill = color(app::ColorRole::blue);
            fill.setAlphaF(0.14f);
            painter.fillRect(QRectF(startX, 0, endX - startX, h), fill);
        }
        drawLineWithDot(painter, startX, h, color(app::ColorRole::black));
        drawLineWithDot(painter, endX, h, color(app::ColorRole::black));
    }
    QColor red = color(app::ColorRole::red);
    red.setAlphaF(0.9f);
    drawLineWithDot(painter, playheadX(), h, red);
    if (keyboardFocus_ && hasFocus()) {
        painter.setClipping(false);
        painter.setPen(QPen(color(app::ColorRole::accent), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(0.75, 0.75, width() - 1.5, h - 1.5), cornerRadius, cornerRadius);
    }
}

void TimelineView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    // A ring where the keyboard is; a click does not draw one.
    keyboardFocus_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    update();
}

void TimelineView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void TimelineView::seekAt(double x) {
    const double fraction = geometry().fractionAt(x);
    setPlayhead(fraction);
    emit seekRequested(songDuration_ * fraction);
}

void TimelineView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    const double x = event->position().x();
    activeMarker_.reset();
    if (loopEnabled_ && !lanes_.empty()) activeMarker_ = app::loopMarkerAt(geometry(), x, loopStart_, loopEnd_);
    if (activeMarker_) {
        drag_ = Drag::marker;
        emit loopMarkerDragged(*activeMarker_, geometry().fractionAt(x));
    } else {
        drag_ = Drag::seek;
        seekAt(x);
    }
    event->accept();
}

void TimelineView::mouseMoveEvent(QMouseEvent* event) {
    const double x = event->position().x();
    if (drag_ == Drag::marker && activeMarker_) {
        emit loopMarkerDragged(*activeMarker_, geometry().fractionAt(x));
    } else if (drag_ == Drag::seek) {
        seekAt(x);
    } else {
        const bool overMarker = loopEnabled_ && !lanes_.empty() && app::loopMarkerAt(geometry(), x, loopStart_, loopEnd_);
        setCursor(overMarker ? Qt::SizeHorCursor : Qt::ArrowCursor);
    }
    event->accept();
}

void TimelineView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    const bool wasMarker = drag_ == Drag::marker && activeMarker_;
    drag_ = Drag::none;
    activeMarker_.reset();
    if (wasMarker) emit loopMarkerReleased();
    event->accept();
}

void TimelineView::keyPressEvent(QKeyEvent* event) {
    // Left and right move the playhead by five seconds, Home to the start.
    if (songDuration_ > 0 && event->modifiers() == Qt::NoModifier) {
        const double position = playhead_ * songDuration_;
        std::optional<double> target;
        if (event->key() == Qt::Key_Left) target = position - keyboardStepSeconds;
        if (event->key() == Qt::Key_Right) target = position + keyboardStepSeconds;
        if (event->key() == Qt::Key_Home) target = 0;
        if (target) {
            const double clamped = std::clamp(*target, 0.0, songDuration_);
            setPlayhead(clamped / songDuration_);
            emit seekRequested(clamped);
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

}  // namespace orvane::ui
