#pragma once
// One strip's LED meter: twelve segments and a held peak, drawn from the meter state of the
// application layer. The unlit image and the segment rectangles are built when the size
// changes; a new state repaints only when a segment looks different.

#include <QPixmap>
#include <QWidget>

#include <array>

#include "app/ActivityMeters.h"

namespace orvane::ui {

class ActivityMeterWidget final : public QWidget {
    Q_OBJECT
public:
    explicit ActivityMeterWidget(QWidget* parent = nullptr);

    void setState(const app::ActivityMeterState& state);
    [[nodiscard]] const app::ActivityMeterState& state() const noexcept { return state_; }
    // How often a new state asked for a repaint (a test counts them).
    [[nodiscard]] int repaintRequests() const noexcept { return repaintRequests_; }
    // The rectangle of segment i (0 at the bottom), in widget coordinates; empty when the
    // meter is too small to show segments.
    [[nodiscard]] QRectF segmentRect(int segment) const;

    [[nodiscard]] QSize sizeHint() const override { return {12, 120}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void rebuildBands();

    app::ActivityMeterState state_;
    int repaintRequests_ = 0;
    QPixmap unlit_;
    std::array<QRectF, app::ActivityMeterState::segmentCount> segments_{};
    bool hasSegments_ = false;
};

}  // namespace orvane::ui
