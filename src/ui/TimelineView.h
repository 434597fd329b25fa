#pragma once
// The main timeline: one thin lane per track with its phrases, a grid of tenths, the loop
// section with its two markers, and the playhead. A click seeks, a press on a loop marker
// drags it. The lanes are reduced to pixel spans when they or the size change, and drawn once
// into a cached background; the playhead repaints only the strips it leaves and enters.

#include <QPixmap>
#include <QWidget>
#include <optional>
#include <vector>

#include "app/TimelineLanes.h"

namespace orvane::ui {

class TimelineView final : public QWidget {
    Q_OBJECT
public:
    explicit TimelineView(QWidget* parent = nullptr);

    void setLanes(const std::vector<app::TrackLane>& lanes, double songDuration);
    void setLoop(bool enabled, double start, double end);
    void setPlayhead(double fraction);

    [[nodiscard]] double playhead() const noexcept { return playhead_; }
    [[nodiscard]] std::optional<app::LoopMarker> activeMarker() const noexcept { return activeMarker_; }
    [[nodiscard]] app::TimelineGeometry geometry() const noexcept;
    // The x of the playhead line, for tests and for the strips to repaint.
    [[nodiscard]] double playheadX() const noexcept;
    // How often the background was rebuilt (it must not be rebuilt per frame).
    [[nodiscard]] int backgroundBuilds() const noexcept { return backgroundBuilds_; }
    [[nodiscard]] QSize sizeHint() const override;

signals:
    void seekRequested(double seconds);
    void loopMarkerDragged(app::LoopMarker marker, double fraction);
    void loopMarkerReleased();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void rebuildSpans();
    void rebuildBackground();
    [[nodiscard]] double laneOffsetY() const noexcept;
    [[nodiscard]] QRect playheadStrip(double x) const;
    void seekAt(double x);

    std::vector<app::TrackLane> lanes_;
    std::vector<std::vector<app::PixelSpan>> spans_;
    double songDuration_ = 0;
    bool loopEnabled_ = false;
    double loopStart_ = 0;
    double loopEnd_ = 1;
    double playhead_ = 0;

    enum class Drag { none, seek, marker };
    Drag drag_ = Drag::none;
    std::optional<app::LoopMarker> activeMarker_;

    QPixmap background_;
    bool backgroundDirty_ = true;
    int backgroundBuilds_ = 0;
    bool keyboardFocus_ = false;
};

}  // namespace orvane::ui
