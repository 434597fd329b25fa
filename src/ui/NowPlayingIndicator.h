#pragma once
// The small now-playing indicator: three rounded bars that rise and fall while playing and
// rest low, faded, when idle. The painting is shared by the transport panel's widget and the
// audition cells of the track table.

#include <QColor>
#include <QElapsedTimer>
#include <QRectF>
#include <QTimer>
#include <QWidget>

class QPainter;

namespace orvane::ui {

// When the indicator last started or stopped, on a monotonic clock in seconds.
struct IndicatorMotion {
    bool playing = false;
    double changedAt = -1000;  // long ago: at rest
    double stoppedFromPhase = 0;  // seconds into the play animation when it stopped

    // Whether the bars still move at `now` (playing, or settling after a stop).
    [[nodiscard]] bool isMoving(double now) const noexcept;
    void setPlaying(bool on, double now) noexcept;
};

inline constexpr double indicatorBarWidth = 3;
inline constexpr double indicatorBarHeight = 14;
inline constexpr double indicatorBarGap = 2;
inline constexpr double indicatorWidth = 3 * indicatorBarWidth + 2 * indicatorBarGap;  // 13

// The height of bar 0...2 at `now`.
[[nodiscard]] double indicatorBarHeightAt(const IndicatorMotion& motion, int bar, double now) noexcept;
// Draws the three bars bottom-aligned in a 13 x 14 frame centred in `area`.
void paintNowPlayingIndicator(QPainter& painter, const QRectF& area, const QColor& color, const IndicatorMotion& motion,
                              double now);

// Seconds on the indicators' shared clock.
[[nodiscard]] double indicatorClock();

class NowPlayingIndicator final : public QWidget {
    Q_OBJECT
public:
    explicit NowPlayingIndicator(QWidget* parent = nullptr);
    void setPlaying(bool playing);
    [[nodiscard]] bool isPlaying() const noexcept { return motion_.playing; }
    void setColor(const QColor& color);
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    IndicatorMotion motion_;
    QColor color_;
    QTimer frameTimer_;
};

}  // namespace orvane::ui
