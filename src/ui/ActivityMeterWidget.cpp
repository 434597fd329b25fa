#include "ui/ActivityMeterWidget.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

#include "ui/PanelStyle.h"

namespace orvane::ui {

namespace {

QColor segmentColor(const app::MeterSegmentLook& look) {
    QColor result = look.color ? panel::color(*look.color) : panel::color(app::ColorRole::red);
    return panel::withAlpha(result, look.alpha);
}

}  // namespace

ActivityMeterWidget::ActivityMeterWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setAccessibleName(tr("Activity meter"));
    setToolTip(tr("How busy this track is while it plays"));
}

void ActivityMeterWidget::setState(const app::ActivityMeterState& state) {
    const bool looksDifferent =
        state.litSegments != state_.litSegments || state.heldPeakSegments != state_.heldPeakSegments;
    state_ = state;
    if (!looksDifferent) return;
    ++repaintRequests_;
    update();
}

QRectF ActivityMeterWidget::segmentRect(int segment) const {
    if (!hasSegments_ || segment < 0 || segment >= app::ActivityMeterState::segmentCount) return {};
    return segments_[static_cast<std::size_t>(segment)];
}

void ActivityMeterWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    rebuildBands();
}

void ActivityMeterWidget::rebuildBands() {
    const qreal ratio = devicePixelRatioF();
    unlit_ = QPixmap((QSizeF(size()) * ratio).toSize());
    unlit_.setDevicePixelRatio(ratio);
    unlit_.fill(Qt::transparent);
    hasSegments_ = false;

    QPainter painter(&unlit_);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(QPointF(0, 0), QSizeF(size()));
    painter.setPen(Qt::NoPen);
    painter.setBrush(panel::color(app::meterColors::surround));
    painter.drawRoundedRect(bounds, 4, 4);
    painter.setBrush(panel::color(app::meterColors::background));
    painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), 3, 3);

    const QRectF inner = bounds.adjusted(3, 3, -3, -3);
    if (inner.width() <= 4 || inner.height() <= 4) return;
    constexpr int count = app::ActivityMeterState::segmentCount;
    const double h = (inner.height() - 26) / count;
    if (h <= 1) return;
    const double width = std::max(inner.width() - 4, 1.0);
    for (int i = 0; i < count; ++i) {
        const double y = inner.bottom() - 2 - (h + 2) * i - h;
        segments_[static_cast<std::size_t>(i)] = QRectF(inner.left() + 2, y, width, h);
    }
    hasSegments_ = true;

    QPen outline(panel::color(app::meterColors::inactiveOutline));
    outline.setWidthF(0.6);
    painter.setPen(outline);
    painter.setBrush(panel::color(app::meterColors::inactiveSegment));
    for (const QRectF& segment : segments_) painter.drawRoundedRect(segment, 1, 1);
}

void ActivityMeterWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (unlit_.isNull() || unlit_.deviceIndependentSize() != QSizeF(size())) rebuildBands();
    painter.drawPixmap(0, 0, unlit_);
    if (!hasSegments_) return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < app::ActivityMeterState::segmentCount; ++i) {
        const app::MeterSegmentLook look = app::meterSegmentLook(state_, i);
        if (look.kind == app::MeterSegmentLook::Kind::inactive) continue;
        painter.setBrush(segmentColor(look));
        painter.drawRoundedRect(segments_[static_cast<std::size_t>(i)], 1, 1);
    }
}

}  // namespace orvane::ui
