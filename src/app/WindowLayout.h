#pragma once
// The main window's height follows the number of tracks: the table shows up to 20 rows and the
// timeline one lane per track; the width is fixed.

#include <cstddef>

namespace orvane::app {

inline constexpr int mainWindowWidth = 720;
inline constexpr int mainWindowMinimumHeight = 400;
// The parts of the height rule the window's widgets share: the table's header and margins
// and one row, the timeline without tracks, and every other control of the window together.
inline constexpr int tableHeaderAndMargins = 41;
inline constexpr int tableRowHeight = 24;
inline constexpr int emptyTimelineHeight = 44;
inline constexpr int otherControlsHeight = 210;

struct WindowLayout {
    int tableHeight = 65;      // the table's scroll area
    int timelineHeight = 44;
    int windowHeight = 319;    // the target height of the window's content
    bool resizesWindow = true; // false when the target is below 275 (never for a real layout)
    friend bool operator==(const WindowLayout&, const WindowLayout&) = default;
};

// table = min(n, 20) × 24 + 41 (65 for no tracks), timeline = n × 8 + 8 (44 for none),
// window = timeline + table + 210.
[[nodiscard]] WindowLayout windowLayout(std::size_t trackCount) noexcept;
// The window height the screen allows: the target, but no more than the available height.
[[nodiscard]] int fittedWindowHeight(int targetHeight, int availableHeight) noexcept;

}  // namespace orvane::app
