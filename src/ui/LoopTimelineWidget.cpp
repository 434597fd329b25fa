#include "ui/LoopTimelineWidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "ui/PanelStyle.h"

namespace orvane::ui {

namespace {

using Rect = app::LoopTimelineGeometry::Rect;

QRectF qrect(const Rect& rect) { return {rect.x, rect.y, rect.width, rect.height}; }

QColor laneColor(int paletteIndex) {
    const int index = std::clamp(paletteIndex, 0, static_cast<int>(app::trackPalette.size()) - 1);
    return panel::color(app::trackPalette[static_cast<std::size_t>(index)]);
}

}  // namespace

LoopTimelineWidget::LoopTimelineWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    setMinimumHeight(120);
    setAccessibleName(tr("Loop close-up"));
    setToolTip(tr("Drag the black markers to set the loop; they snap to the edges of the notes"));
}

app::LoopTimelineGeometry LoopTimelineWidget::geometryNow() const {
    return {static_cast<double>(width()), static_cast<double>(height()), scene_.visibleStart, scene_.visibleEnd};
}

void LoopTimelineWidget::setState(const app::LoopExportDialogState& state) {
    Scene scene{state.lanes, state.gridCells, state.visibleStartSeconds, state.visibleEndSeconds,
                state.loopStartSeconds, state.loopEndSeconds};
    if (!(scene == scene_)) {
        scene_ = std::move(scene);
        backgroundDirty_ = true;
        position_ = state.playbackPositionSeconds;
        update();
        return;
    }
    if (state.playbackPositionSeconds == position_) return;
    const QRect before = positionStrip(position_);
    position_ = state.playbackPositionSeconds;
    const QRect after = positionStrip(position_);
    if (!before.isEmpty()) update(before);
    if (!after.isEmpty()) update(after);
}

QRect LoopTimelineWidget::positionStrip(std::optional<double> seconds) const {
    if (!seconds) return {};
    const double x = geometryNow().xForTime(*seconds);
    return QRect(static_cast<int>(std::floor(x)) - 5, 0, 11, height());
}

void LoopTimelineWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    backgroundDirty_ = true;
}

void LoopTimelineWidget::paintBackground() {
    ++backgroundPaints_;
    const qreal ratio = devicePixelRatioF();
    background_ = QPixmap((QSizeF(size()) * ratio).toSize());
    background_.setDevicePixelRatio(ratio);
    background_.fill(panel::color(app::ColorRole::controlBackground));
    backgroundDirty_ = false;

    QPainter painter(&background_);
    painter.setRenderHint(QPainter::Antialiasing);
    const app::LoopTimelineGeometry geometry = geometryNow();
    const QRectF plot = qrect(geometry.plotRect());
    const QColor separator = panel::color(app::ColorRole::separator);

    // Grid: bar columns darker than the beat columns between them.
    for (const app::GridCell& cell : scene_.gridCells) {
        const double x0 = geometry.xForTime(cell.start);
        const double x1 = geometry.xForTime(cell.end);
        const QRectF column(x0, plot.y(), std::max(x1 - x0, 1.0), plot.height());
        painter.fillRect(column, cell.isBarStart ? panel::withAlpha(separator, 0.18)
                                                 : panel::withAlpha(panel::color(app::ColorRole::textBackground), 0.34));
        painter.setPen(QPen(panel::withAlpha(separator, cell.isBarStart ? 0.72 : 0.24), 0.5));
        painter.drawLine(QPointF(x0, plot.top()), QPointF(x0, plot.bottom()));
    }

    // Bar ruler above the plot.
    const QRectF ruler(plot.x(), 4, plot.width(), std::max(plot.y() - 8, 14.0));
    painter.setFont(panel::font(10));
    for (std::size_t i = 0; i < scene_.gridCells.size(); ++i) {
        const app::GridCell& cell = scene_.gridCells[i];
        if (!cell.isBarStart) continue;
        const double x = geometry.xForTime(cell.start);
        painter.setPen(QPen(panel::withAlpha(separator, 0.52), 0.7));
        painter.drawLine(QPointF(x, ruler.top()), QPointF(x, ruler.bottom()));
        if (!cell.barNumber) continue;
        // The number sits beside its tick, kept inside the bar.
        double barEnd = geometry.xForTime(scene_.visibleEnd);
        for (std::size_t j = i + 1; j < scene_.gridCells.size(); ++j) {
            if (scene_.gridCells[j].isBarStart) {
                barEnd = geometry.xForTime(scene_.gridCells[j].start);
                break;
            }
        }
        const QString number = QString::number(*cell.barNumber);
        const double textWidth = painter.fontMetrics().horizontalAdvance(number);
        double textX = x + 4;
        if (textX + textWidth > barEnd - 2) textX = std::max(x + 1, barEnd - 2 - textWidth);
        painter.setPen(panel::color(app::ColorRole::secondaryLabel));
        painter.drawText(QRectF(textX, ruler.top(), textWidth + 2, ruler.height()), Qt::AlignVCenter | Qt::AlignLeft,
                         number);
    }

    // The loop region.
    const double loopX0 = geometry.xForTime(scene_.loopStart);
    const double loopX1 = geometry.xForTime(scene_.loopEnd);
    painter.fillRect(QRectF(loopX0, plot.y(), std::max(loopX1 - loopX0, 0.0), plot.height()),
                     panel::withAlpha(panel::color(app::ColorRole::blue), 0.14));

    // Lanes.
    if (scene_.lanes.empty()) {
        painter.setFont(panel::font(11));
        painter.setPen(panel::color(app::ColorRole::tertiaryLabel));
        painter.drawText(plot, Qt::AlignCenter, QStringLiteral("No notes in this loop section"));
    } else {
        const std::size_t count = scene_.lanes.size();
        const QFont titleFont = panel::font(count < 15 ? 12 : 10, QFont::Medium);
        painter.setFont(titleFont);
        for (std::size_t i = 0; i < count; ++i) {
            const app::LoopTimelineLane& lane = scene_.lanes[i];
            const Rect row = geometry.laneRow(i, count);
            const QRectF rowRect = qrect(row);
            if (i + 1 < count) {
                painter.setPen(QPen(panel::withAlpha(separator, 0.24), 0.5));
                const double y = rowRect.bottom() + (count < 13 ? 2.0 : 1.0);
                painter.drawLine(QPointF(0, y), QPointF(width(), y));
            }
            const QColor colour = laneColor(lane.paletteIndex);
            const double dot = std::clamp(row.height - 5, 6.0, 10.0);
            painter.setPen(Qt::NoPen);
            painter.setBrush(lane.included ? panel::withAlpha(colour, 0.95)
                                           : panel::withAlpha(panel::color(app::ColorRole::gray), 0.35));
            painter.drawEllipse(QRectF(12, rowRect.center().y() - dot / 2, dot, dot));
            painter.setPen(lane.included ? panel::color(app::ColorRole::label)
                                         : panel::color(app::ColorRole::tertiaryLabel));
            const QRectF titleBox(30, rowRect.y(), 192, rowRect.height());
            painter.drawText(titleBox, Qt::AlignVCenter | Qt::AlignLeft,
                             painter.fontMetrics().elidedText(panel::qstr(lane.title), Qt::ElideRight, 192));

            painter.setPen(Qt::NoPen);
            painter.setBrush(lane.included ? panel::withAlpha(colour, 0.84)
                                           : panel::withAlpha(panel::color(app::ColorRole::gray), 0.22));
            for (const Rect& block : geometry.noteCellBlocks(lane, scene_.gridCells, row)) {
                const QRectF shape = qrect(block);
                const double rx = std::min(shape.width() / 5, 2.0);
                const double ry = std::min(shape.height() / 5, 2.0);
                painter.drawRoundedRect(shape, rx, ry);
            }
        }
    }

    const QColor black = panel::color(app::ColorRole::black);
    drawMarker(painter, loopX0, black);
    drawMarker(painter, loopX1, black);

    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(separator, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(0, 0, width() - 1, height() - 1));
}

void LoopTimelineWidget::drawMarker(QPainter& painter, double x, const QColor& color) const {
    const QRectF plot = qrect(geometryNow().plotRect());
    painter.setPen(QPen(color, 1.5));
    painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(QRectF(x - 2.5, plot.top() - 7, 5, 7), 2, 2);
}

void LoopTimelineWidget::paintEvent(QPaintEvent* event) {
    if (backgroundDirty_ || background_.isNull()) paintBackground();
    QPainter painter(this);
    const QRect exposed = event->rect();
    const qreal ratio = background_.devicePixelRatio();
    painter.drawPixmap(exposed, background_,
                       QRect(QPoint(static_cast<int>(exposed.x() * ratio), static_cast<int>(exposed.y() * ratio)),
                             exposed.size() * ratio));
    if (position_) {
        painter.setRenderHint(QPainter::Antialiasing);
        drawMarker(painter, geometryNow().xForTime(*position_), panel::color(app::ColorRole::red));
    }
}

void LoopTimelineWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    const QPointF at = event->position();
    active_ = app::loopDialogMarkerAt(geometryNow(), at.x(), at.y(), scene_.loopStart, scene_.loopEnd);
    if (active_) setCursor(Qt::SizeHorCursor);
    event->accept();
}

void LoopTimelineWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!active_) return QWidget::mouseMoveEvent(event);
    const double seconds = geometryNow().timeAt(event->position().x());
    if (onMarkerDragged) onMarkerDragged(*active_, seconds);
    event->accept();
}

void LoopTimelineWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (active_) {
        active_.reset();
        unsetCursor();
    }
    event->accept();
}

}  // namespace orvane::ui
