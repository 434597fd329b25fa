// The loop export dialog's arithmetic: the time window around the loop, note blocks, the
// boundaries the markers snap to, the musical grid, the texts of times and repeat counts, and
// the geometry of the close-up.

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "app/LoopExportDialog.h"
#include "midi/model/TempoMap.h"
#include "support/TextFormat.h"

namespace orvane::app {
namespace {

// Conversions that look past the song's last tick: the close-up may show time after it.
constexpr std::uint32_t unboundedTick = std::numeric_limits<std::uint32_t>::max();
// More cells than this would be thinner than a point in any window; the grid coarsens instead.
constexpr std::uint64_t maximumGridCells = 2048;

// The song's tempo map under the override. A ticks-per-quarter division of 0 is taken as 1
// (the map would divide by it).
midi::TempoMap songTempoMap(const midi::MIDIFile& song, std::optional<double> newBPM) {
    if (song.isSMPTE || song.timeDivision != 0) return midi::TempoMap(song, newBPM);
    midi::MIDIFile tempoOnly;
    tempoOnly.timeDivision = 1;
    tempoOnly.bpm = song.bpm;
    tempoOnly.tempoEvents = song.tempoEvents;
    tempoOnly.originalTempoEvents = song.originalTempoEvents;
    return midi::TempoMap(tempoOnly, newBPM);
}

double finiteOr(double value, double fallback) { return std::isfinite(value) ? value : fallback; }

std::vector<GridCell> smpteGridCells(double loopStart, double loopEnd, double visibleStart, double visibleEnd,
                                     std::size_t previewTrackCount) {
    const double loopLength = std::max(finiteOr(loopEnd - loopStart, 0.0), 0.5);
    const bool fewTracks = previewTrackCount < 5;
    double divisions = 0;
    if (loopLength <= 8) {
        divisions = fewTracks ? 16 : 8;
    } else if (loopLength <= 24) {
        divisions = fewTracks ? 24 : 12;
    } else if (loopLength <= 64) {
        divisions = fewTracks ? 32 : 16;
    } else {
        divisions = fewTracks ? 48 : 24;
    }
    double cell = std::max(loopLength / divisions, 0.05);
    const double span = visibleEnd - std::floor(visibleStart / cell) * cell;
    if (span / cell > static_cast<double>(maximumGridCells)) cell = span / static_cast<double>(maximumGridCells);
    const double first = std::floor(visibleStart / cell) * cell;

    std::vector<GridCell> cells;
    for (std::uint64_t i = 0;; ++i) {
        const double start = first + static_cast<double>(i) * cell;
        if (!(start < visibleEnd)) break;
        cells.push_back({start, std::min(start + cell, visibleEnd), false, std::nullopt});
    }
    return cells;
}

}  // namespace

// ---- Time window, boundaries and snapping ---------------------------------------------------

std::pair<double, double> loopVisibleRange(double s, double e, double d) {
    const double length = e - s;
    const double pad = length < 0.5 ? 1.0 : std::clamp(length * 0.12, 1.0, 8.0);
    double start = std::max(s - pad, 0.0);
    double end = std::min(e + pad, d);
    if (end - start < 4.0) {
        const double centre = (s + e) / 2 - 2;
        end = centre >= 0 ? std::min(centre + 4, d) : std::min(4.0, d);
        start = std::max(end - 4, 0.0);
    }
    return {start, end};
}

std::vector<double> uniqueSeconds(std::vector<double> seconds) {
    // Undefined values have no place in an order (sorting them is undefined behaviour).
    std::erase_if(seconds, [](double value) { return !std::isfinite(value); });
    std::sort(seconds.begin(), seconds.end());
    std::vector<double> unique;
    unique.reserve(seconds.size());
    for (const double value : seconds) {
        if (unique.empty() || value - unique.back() >= 0.0005) unique.push_back(value);
    }
    return unique;
}

double minimumMarkerGapSeconds(std::span<const double> boundaries, double visibleSpan) {
    std::optional<double> smallest;
    for (std::size_t i = 1; i < boundaries.size(); ++i) {
        const double step = boundaries[i] - boundaries[i - 1];
        if (step > 0.001 && (!smallest || step < *smallest)) smallest = step;
    }
    if (smallest) return std::max(*smallest, 0.001);
    return std::clamp(finiteOr(visibleSpan, 0.0) * 0.01, 0.05, 1.0);
}

MarkerSnap markerSnap(LoopMarker marker, double requestedSeconds, double minimumGap,
                      std::span<const double> boundaries, double loopStart, double loopEnd, double songLength) {
    double low = 0;
    double high = 0;
    if (marker == LoopMarker::start) {
        high = std::max(loopEnd - minimumGap, 0.0);
    } else {
        low = loopStart + minimumGap;
        high = songLength;
        if (!(low <= high)) return {loopEnd, "current marker fallback"};
    }
    const double requested = std::isnan(requestedSeconds) ? (marker == LoopMarker::start ? loopStart : loopEnd)
                                                          : requestedSeconds;
    std::optional<double> nearest;
    for (const double boundary : boundaries) {
        if (boundary < low || boundary > high) continue;
        // The earlier boundary wins a tie: later ones must be strictly nearer.
        if (!nearest || std::fabs(boundary - requested) < std::fabs(*nearest - requested)) nearest = boundary;
    }
    if (nearest) return {*nearest, "visible event-block boundary"};
    return {std::clamp(requested, low, high), "time fallback"};
}

// ---- Note blocks and the grid ----------------------------------------------------------------

std::vector<NoteBlock> noteBlocks(const midi::MIDIFile& song, const midi::MIDITrack& track, double visibleStart,
                                  double visibleEnd, std::optional<double> newBPM) {
    std::vector<NoteBlock> blocks;
    if (!(visibleEnd > visibleStart) || track.events.empty()) return blocks;
    const midi::TempoMap map = songTempoMap(song, newBPM);
    const std::uint32_t firstTick = map.secondsToTicks(visibleStart, unboundedTick);
    const std::uint32_t lastVisibleTick = map.secondsToTicks(visibleEnd, unboundedTick);
    // One tick of slack each side: an SMPTE conversion rounds; the exact test is in seconds.
    const std::uint32_t lowTick = firstTick == 0 ? 0 : firstTick - 1;
    const std::uint32_t highTick = lastVisibleTick == unboundedTick ? unboundedTick : lastVisibleTick + 1;

    const auto addBlock = [&](std::uint32_t from, std::uint32_t to, int key) {
        if (to < lowTick || from > highTick) return;
        const double start = std::max(map.ticksToSeconds(from), visibleStart);
        const double end = std::min(map.ticksToSeconds(to), visibleEnd);
        if (start < end) blocks.push_back({start, end, key});
    };

    // The note events in tick order (file order within a tick).
    std::vector<std::size_t> order;
    std::uint32_t lastTick = 0;
    for (std::size_t i = 0; i < track.events.size(); ++i) {
        const midi::MIDIEvent& event = track.events[i];
        lastTick = std::max(lastTick, event.tick);
        if (event.isNoteOn() || event.isNoteOff()) order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return track.events[a].tick < track.events[b].tick; });

    std::array<std::vector<std::uint32_t>, 128> open;  // start ticks of the sounding notes per key
    for (const std::size_t index : order) {
        const midi::MIDIEvent& event = track.events[index];
        const int key = event[1] & 0x7F;
        auto& starts = open[static_cast<std::size_t>(key)];
        if (event.isNoteOn()) {
            starts.push_back(event.tick);
            continue;
        }
        if (starts.empty()) continue;
        // The most recent note that began before the release; one that began at the very
        // tick of the release only when there is no other (a repeated note is written
        // release-and-strike at one tick, in either order).
        auto ended = std::find_if(starts.rbegin(), starts.rend(), [&](std::uint32_t start) { return start < event.tick; });
        if (ended == starts.rend()) ended = starts.rbegin();
        addBlock(*ended, event.tick, key);
        starts.erase(std::next(ended).base());
    }
    // A note that is never released sounds to the track's last event.
    for (std::size_t key = 0; key < open.size(); ++key) {
        for (const std::uint32_t start : open[key]) addBlock(start, lastTick, static_cast<int>(key));
    }
    std::sort(blocks.begin(), blocks.end(), [](const NoteBlock& a, const NoteBlock& b) {
        return a.start != b.start ? a.start < b.start : (a.end != b.end ? a.end < b.end : a.note < b.note);
    });
    return blocks;
}

std::vector<GridCell> gridCells(const midi::MIDIFile& song, double loopStart, double loopEnd, double visibleStart,
                                double visibleEnd, std::size_t previewTrackCount, std::optional<double> newBPM) {
    if (!(visibleEnd > visibleStart)) return {};
    if (song.isSMPTE) return smpteGridCells(loopStart, loopEnd, visibleStart, visibleEnd, previewTrackCount);

    const midi::TempoMap map = songTempoMap(song, newBPM);
    const std::uint64_t quarter = std::max<std::uint64_t>(song.timeDivision, 1);
    const std::int64_t beatsPerBar = std::max<std::int64_t>(
        1, std::int64_t{song.timeSignatureNumerator} * 4 / std::max(song.timeSignatureDenominator, 1));
    const std::uint64_t bar = std::max(quarter * static_cast<std::uint64_t>(beatsPerBar), quarter);

    const std::uint32_t loopStartTick = map.secondsToTicks(loopStart, unboundedTick);
    const std::uint32_t loopEndTick = map.secondsToTicks(loopEnd, unboundedTick);
    const std::uint64_t loopTicks = loopEndTick > loopStartTick ? loopEndTick - loopStartTick : 0;
    const double bars = static_cast<double>(std::max(loopTicks, quarter)) / static_cast<double>(bar);
    std::uint64_t cell = bar;
    if (bars <= 2) {
        cell = quarter >= 2 ? quarter / 2 : 1;
    } else if (bars <= 4) {
        cell = quarter;
    } else if (bars <= 8) {
        cell = 2 * quarter;
    }

    const std::uint64_t firstVisibleTick = map.secondsToTicks(visibleStart, unboundedTick);
    const std::uint64_t endTick = map.secondsToTicks(visibleEnd, unboundedTick);
    std::uint64_t first = firstVisibleTick / cell * cell;
    if (endTick > first && (endTick - first) / cell > maximumGridCells) {
        // An extreme tempo packs too many cells into the window: whole multiples of the cell.
        cell *= (endTick - first) / cell / maximumGridCells + 1;
        first = firstVisibleTick / cell * cell;
    }

    std::vector<GridCell> cells;
    for (std::uint64_t tick = first; tick < endTick; tick += cell) {
        const std::uint64_t next = tick + cell;
        GridCell gridCell;
        gridCell.start = map.ticksToSeconds(static_cast<std::uint32_t>(tick));
        gridCell.end = next >= endTick ? visibleEnd : map.ticksToSeconds(static_cast<std::uint32_t>(next));
        gridCell.isBarStart = tick % bar == 0;
        if (gridCell.isBarStart) {
            gridCell.barNumber = static_cast<int>(
                std::min<std::uint64_t>(tick / bar + 1, static_cast<std::uint64_t>(std::numeric_limits<int>::max())));
        }
        cells.push_back(gridCell);
    }
    return cells;
}

// ---- Texts -----------------------------------------------------------------------------------

std::string preciseTime(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return "0:00.0";
    // Rounded to tenths first, so that 59.96 reads 1:00.0 rather than 0:59.0.
    const double tenths = std::round(seconds * 10);
    const double wholeSeconds = std::floor(tenths / 10);
    const double minutes = std::floor(wholeSeconds / 60);
    const int secondsOfMinute = static_cast<int>(wholeSeconds - minutes * 60);
    const int tenth = static_cast<int>(tenths - wholeSeconds * 10);
    return formatString("%.0f:%02d.%d", minutes, secondsOfMinute, tenth);
}

std::optional<int> parseRepeatCount(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '-') return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (value < 1 || value > 999) return std::nullopt;
    return value;
}

LoopDialogSize loopDialogSize(std::size_t previewTrackCount) {
    const auto rows = static_cast<int>(std::clamp<std::size_t>(previewTrackCount, 1, 1000));
    LoopDialogSize size;
    size.timelineHeight = std::clamp(rows * 21 + 54, 250, 390);
    size.height = std::clamp(size.timelineHeight + 220, 470, 630);
    return size;
}

// ---- Geometry --------------------------------------------------------------------------------

namespace {
constexpr double labelWidth = 230;
constexpr double rightPad = 10;
constexpr double topPad = 26;
constexpr double bottomPad = 10;
constexpr double markerHitSlop = 16;
}  // namespace

LoopTimelineGeometry::Rect LoopTimelineGeometry::plotRect() const noexcept {
    return {labelWidth, topPad, std::max(width - labelWidth - rightPad, 1.0),
            std::max(height - topPad - bottomPad, 1.0)};
}

double LoopTimelineGeometry::xForTime(double seconds) const noexcept {
    const Rect plot = plotRect();
    const double span = std::max(visibleEnd - visibleStart, 0.001);
    const double fraction = (seconds - visibleStart) / span;
    return plot.x + plot.width * (std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0));
}

double LoopTimelineGeometry::timeAt(double x) const noexcept {
    const Rect plot = plotRect();
    const double fraction = (x - plot.x) / plot.width;
    return visibleStart + (std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0)) * (visibleEnd - visibleStart);
}

LoopTimelineGeometry::Rect LoopTimelineGeometry::laneRow(std::size_t lane, std::size_t laneCount) const noexcept {
    const Rect plot = plotRect();
    const double count = static_cast<double>(std::max<std::size_t>(laneCount, 1));
    const double gap = laneCount < 13 ? 4 : 2;
    const double rowHeight = std::max((plot.height - gap * (count - 1)) / count, 7.0);
    return {0, plot.y + static_cast<double>(lane) * (rowHeight + gap), width, rowHeight};
}

LoopTimelineGeometry::Rect LoopTimelineGeometry::cellColumn(const GridCell& cell) const noexcept {
    const Rect plot = plotRect();
    const double x0 = xForTime(cell.start);
    return {x0, plot.y, std::max(xForTime(cell.end) - x0, 1.0), plot.height};
}

LoopTimelineGeometry::LaneLabel LoopTimelineGeometry::laneLabel(std::size_t lane,
                                                                std::size_t laneCount) const noexcept {
    const Rect row = laneRow(lane, laneCount);
    const double diameter = std::clamp(row.height - 5, 6.0, 10.0);
    LaneLabel label;
    label.dot = {12, row.y + (row.height - diameter) / 2, diameter, diameter};
    label.title = {30, row.y, 192, row.height};
    label.fontSize = laneCount < 15 ? 12 : 10;
    return label;
}

std::vector<LoopTimelineGeometry::Rect> LoopTimelineGeometry::noteCellBlocks(const LoopTimelineLane& lane,
                                                                             std::span<const GridCell> cells,
                                                                             const Rect& row) const {
    const double rowHeight = row.height;
    const double blockHeight = rowHeight > 12 ? std::max(rowHeight - 8, 3.0) : std::max(rowHeight - 3, 3.0);
    const double blockY = row.y + (rowHeight - blockHeight) / 2;
    std::vector<Rect> blocks;
    const auto addSpan = [&](double start, double end) {
        start = std::max(start, visibleStart);
        end = std::min(end, visibleEnd);
        if (start > end) return;
        const double x0 = xForTime(start);
        double blockWidth = xForTime(end) - x0;
        double inset = 1;
        if (blockWidth >= 2) {
            inset = std::min(std::max(blockWidth * 0.08, 1.0), 3.0);
        } else {
            blockWidth = 2;
        }
        blocks.push_back({x0 + inset, blockY, std::max(blockWidth - 2 * inset, 2.0), blockHeight});
    };

    if (cells.empty()) {
        blocks.reserve(lane.notes.size());
        for (const NoteBlock& note : lane.notes) addSpan(note.start, note.end);
        return blocks;
    }
    // One block per cell that holds sound, however many notes it holds.
    std::vector<bool> sounding(cells.size(), false);
    for (const NoteBlock& note : lane.notes) {
        auto cell = std::partition_point(cells.begin(), cells.end(),
                                         [&](const GridCell& c) { return c.end <= note.start; });
        for (; cell != cells.end() && cell->start < note.end; ++cell) {
            sounding[static_cast<std::size_t>(cell - cells.begin())] = true;
        }
    }
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (sounding[i]) addSpan(cells[i].start, cells[i].end);
    }
    return blocks;
}

std::optional<LoopMarker> loopDialogMarkerAt(const LoopTimelineGeometry& geometry, double x, double y,
                                             double loopStart, double loopEnd) {
    const LoopTimelineGeometry::Rect plot = geometry.plotRect();
    if (x < plot.x - markerHitSlop || x > plot.x + plot.width + markerHitSlop || y < plot.y - markerHitSlop ||
        y > plot.y + plot.height + markerHitSlop) {
        return std::nullopt;
    }
    const double startX = geometry.xForTime(loopStart);
    const double endX = geometry.xForTime(loopEnd);
    const double toStart = std::fabs(x - startX);
    const double toEnd = std::fabs(x - endX);
    if (std::min(toStart, toEnd) > markerHitSlop) return std::nullopt;
    if (toStart < toEnd) return LoopMarker::start;
    if (toEnd < toStart) return LoopMarker::end;
    // Equally near: the lines coincide or the press is halfway between them. A press right of
    // coinciding lines takes the end marker, so that a loop squeezed to one spot can still open.
    return startX == endX && x > endX ? LoopMarker::end : LoopMarker::start;
}

}  // namespace orvane::app
