// The main window's height from the number of tracks.

#include "app/WindowLayout.h"

#include <algorithm>

namespace orvane::app {
namespace {

constexpr int visibleRows = 20;
constexpr int emptyTableHeight = 65;
constexpr int laneSpacing = 8;
// Below this a layout would not hold one row.
constexpr int smallestWindowHeight = otherControlsHeight + tableHeaderAndMargins + tableRowHeight;
// Past this many lanes the timeline stops growing instead of overflowing.
constexpr std::size_t mostLanes = 100000;

}  // namespace

WindowLayout windowLayout(std::size_t trackCount) noexcept {
    WindowLayout layout;
    if (trackCount > 0) {
        const auto lanes = static_cast<int>(std::min(trackCount, mostLanes));
        layout.tableHeight = std::min(lanes, visibleRows) * tableRowHeight + tableHeaderAndMargins;
        layout.timelineHeight = lanes * laneSpacing + laneSpacing;
    } else {
        layout.tableHeight = emptyTableHeight;
        layout.timelineHeight = emptyTimelineHeight;
    }
    layout.windowHeight = layout.timelineHeight + layout.tableHeight + otherControlsHeight;
    layout.resizesWindow = layout.windowHeight >= smallestWindowHeight;
    return layout;
}

int fittedWindowHeight(int targetHeight, int availableHeight) noexcept {
    // An unknown screen (no available height) leaves the target as it is.
    return availableHeight > 0 ? std::min(targetHeight, availableHeight) : targetHeight;
}

}  // namespace orvane::app
