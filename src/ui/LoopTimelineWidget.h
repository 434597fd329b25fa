#pragma once
// The loop export dialog's close-up: bar ruler, grid, one lane per track with its notes as
// blocks per grid cell, the loop shaded between two draggable markers, and the preview's
// position. Everything but the position is painted once into a cached image; the position
// repaints only the strips it leaves and enters.

#include <QPixmap>
#include <QWidget>

#include <functional>
#include <optional>

#include "app/LoopExportDialog.h"

namespace orvane::ui {

class LoopTimelineWidget final : public QWidget {
    Q_OBJECT
public:
    explicit LoopTimelineWidget(QWidget* parent = nullptr);

    void setState(const app::LoopExportDialogState& state);
    // A marker dragged to a time in seconds (before the dialog snaps it).
    std::function<void(app::LoopMarker, double)> onMarkerDragged;

    [[nodiscard]] app::LoopTimelineGeometry geometryNow() const;
    [[nodiscard]] std::optional<app::LoopMarker> activeMarker() const noexcept { return active_; }
    // How often the cached image was painted (a test counts them).
    [[nodiscard]] int backgroundPaints() const noexcept { return backgroundPaints_; }

    [[nodiscard]] QSize sizeHint() const override { return {980, 250}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void paintBackground();
    void drawMarker(QPainter& painter, double x, const QColor& color) const;
    [[nodiscard]] QRect positionStrip(std::optional<double> seconds) const;

    // What the cached image shows.
    struct Scene {
        std::vector<app::LoopTimelineLane> lanes;
        std::vector<app::GridCell> gridCells;
        double visibleStart = 0, visibleEnd = 1, loopStart = 0, loopEnd = 1;
        friend bool operator==(const Scene&, const Scene&) = default;
    };
    Scene scene_;
    std::optional<double> position_;
    QPixmap background_;
    bool backgroundDirty_ = true;
    int backgroundPaints_ = 0;
    std::optional<app::LoopMarker> active_;
};

}  // namespace orvane::ui
