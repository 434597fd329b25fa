// The loop export close-up's arithmetic and the geometry its view draws with.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/LoopExportDialog.h"
#include "playback/TestSongs.h"

namespace orvane::app {
namespace {

using playback::testing::noteOff;
using playback::testing::noteOn;
using Range = std::pair<double, double>;
using Rect = LoopTimelineGeometry::Rect;

// 120 BPM, 4/4, 480 ticks per quarter note: a bar lasts two seconds.
midi::MIDIFile song(std::uint16_t division = 480, bool smpte = false) {
    midi::MIDIFile file;
    file.timeDivision = division;
    file.isSMPTE = smpte;
    return file;
}

midi::MIDITrack trackOf(midi::EventList events) {
    midi::MIDITrack track;
    track.events = std::move(events);
    return track;
}

TEST(LoopExportArithmetic, VisibleRangeBoundariesAndSnapping) {
    EXPECT_EQ(loopVisibleRange(10, 12, 60), (Range{9, 13}));           // a 2 s loop: 1 s each side
    EXPECT_EQ(loopVisibleRange(20, 20.5, 60), (Range{18.25, 22.25}));  // widened to 4 s, centred
    EXPECT_EQ(loopVisibleRange(58.5, 59.5, 60), (Range{56, 60}));

    EXPECT_EQ(uniqueSeconds({2.0, 1.0003, 0, 1.0, std::nan("")}), (std::vector<double>{0, 1.0, 2.0}));
    EXPECT_EQ(minimumMarkerGapSeconds(std::vector<double>{0, 1, 2}, 4), 1.0);
    EXPECT_DOUBLE_EQ(minimumMarkerGapSeconds(std::vector<double>{3, 3.0008}, 20), 0.2);  // 1 % of the window
    EXPECT_EQ(minimumMarkerGapSeconds({}, 1000), 1.0);

    const std::vector<double> grid = {0, 1, 2, 3, 4, 5};
    const std::string_view boundary = "visible event-block boundary";
    // Loop 1...3 in a 5 s song, gap 1. The end dragged left of the start stops one gap after it.
    EXPECT_EQ(markerSnap(LoopMarker::end, 0.2, 1, grid, 1, 3, 5), (MarkerSnap{2, boundary}));
    EXPECT_EQ(markerSnap(LoopMarker::start, 4.5, 1, grid, 1, 3, 5), (MarkerSnap{2, boundary}));
    EXPECT_EQ(markerSnap(LoopMarker::start, 1.5, 1, grid, 1, 3, 5), (MarkerSnap{1, boundary}));  // tie: earlier
    EXPECT_EQ(markerSnap(LoopMarker::end, 9, 1, {}, 1, 3, 5), (MarkerSnap{5, "time fallback"}));
    EXPECT_EQ(markerSnap(LoopMarker::end, 2, 1, grid, 4.5, 5, 5), (MarkerSnap{5, "current marker fallback"}));
}

TEST(LoopExportArithmetic, NoteBlocksInSeconds) {
    const midi::MIDITrack track = trackOf({
        noteOn(0.2, 0, 50), noteOff(0.5, 0, 50),    // before the window
        noteOn(1.0, 0, 60), noteOff(1.5, 0, 60),    // clipped at the window's start
        noteOn(2.0, 0, 62), noteOn(4.0, 0, 62, 0),  // released by velocity 0
        noteOn(5.0, 0, 64), noteOn(5.5, 0, 64),     // the same key twice: the later ends first
        noteOff(6.0, 0, 64), noteOff(6.5, 0, 64),
        noteOn(7.0, 0, 67), playback::testing::endOfTrack(8.0),  // never released
    });
    EXPECT_EQ(noteBlocks(song(), track, 1.25, 7.5, std::nullopt),
              (std::vector<NoteBlock>{{1.25, 1.5, 60}, {2, 4, 62}, {5, 6.5, 64}, {5.5, 6, 64}, {7, 7.5, 67}}));
    EXPECT_EQ(noteBlocks(song(), track, 0, 3, 60.0), (std::vector<NoteBlock>{{0.4, 1, 50}, {2, 3, 60}}));

    // A repeat written strike-then-release at one tick ends the earlier note; a note released
    // at its own tick is empty, not endless.
    const midi::MIDITrack repeated = trackOf({noteOn(2, 0, 65), noteOn(3, 0, 65), noteOff(3, 0, 65),
                                              noteOff(4, 0, 65), noteOn(5, 0, 66), noteOff(5, 0, 66),
                                              playback::testing::endOfTrack(8)});
    EXPECT_EQ(noteBlocks(song(), repeated, 0, 8, std::nullopt), (std::vector<NoteBlock>{{2, 3, 65}, {3, 4, 65}}));

    // A division of 0 counts as 1; SMPTE -25 x 40 is 1000 ticks a second.
    const midi::MIDITrack ticks = trackOf({midi::MIDIEvent(2, {0x90, 60, 100}), midi::MIDIEvent(4, {0x80, 60, 0})});
    EXPECT_EQ(noteBlocks(song(0), ticks, 0, 10, std::nullopt), (std::vector<NoteBlock>{{1, 2, 60}}));
    EXPECT_EQ(noteBlocks(song(0xE728, true), ticks, 0, 10, std::nullopt),
              (std::vector<NoteBlock>{{0.002, 0.004, 60}}));
}

TEST(LoopExportArithmetic, GridCellsFollowTheLoopLengthInBars) {
    const auto cellLength = [](const std::vector<GridCell>& cells) { return cells[1].end - cells[1].start; };
    // 1.5 bars: half quarters, bars every 8 cells, numbered from 1.
    const auto halves = gridCells(song(), 0, 3, 0, 4, 2, std::nullopt);
    EXPECT_TRUE(halves.size() == 16 && halves[8] == (GridCell{2, 2.25, true, 2}));
    // 3 bars: quarters, from the cell before the window.
    EXPECT_EQ(gridCells(song(), 0, 6, 3.1, 7, 2, std::nullopt).front(), (GridCell{3, 3.5, false, std::nullopt}));
    // 12 bars: one cell per bar; the last ends at the window's end.
    const auto bars = gridCells(song(), 0, 24, 0, 26.88, 2, std::nullopt);
    EXPECT_TRUE(bars.size() == 14 && bars.back() == (GridCell{26, 26.88, true, 14}));
    midi::MIDIFile sixEight = song();
    sixEight.timeSignatureNumerator = 6;
    sixEight.timeSignatureDenominator = 8;
    EXPECT_EQ(gridCells(sixEight, 0, 30, 0, 4, 2, std::nullopt)[1], (GridCell{1.5, 3, true, 2}));
    EXPECT_TRUE(gridCells(song(), 1, 2, 3, 3, 2, std::nullopt).empty());

    // SMPTE: a 4 s loop in 16 cells with few tracks, never under 50 ms.
    EXPECT_EQ(cellLength(gridCells(song(0xE728, true), 1, 5, 0.1, 6, 2, std::nullopt)), 0.25);
    EXPECT_EQ(gridCells(song(0xE728, true), 1, 1.1, 0, 4, 2, std::nullopt)[0].end, 0.05);

    // A quarter note of one microsecond packs billions of ticks into the window; the grid
    // stays bounded instead of holding a cell per bar.
    midi::MIDIFile racing = song();
    racing.tempoEvents.push_back(midi::MIDIEvent(0, {0xFF, 0x51, 0x03, 0x00, 0x00, 0x01}));
    EXPECT_LE(gridCells(racing, 0, 60, 0, 68, 2, std::nullopt).size(), 2049u);
}

TEST(LoopExportArithmetic, Texts) {
    // 59.96 is rounded as a whole, not to 0:59.0.
    EXPECT_EQ(preciseTime(75.26) + " " + preciseTime(59.96) + " " + preciseTime(-1) + " " + preciseTime(std::nan("")),
              "1:15.3 1:00.0 0:00.0 0:00.0");
    for (const char* refused : {"0", "1000", "abc", "", "-3", "1.5", "12abc", "99999999999"}) {
        EXPECT_EQ(parseRepeatCount(refused), std::nullopt) << refused;
    }
    EXPECT_EQ(parseRepeatCount("999"), 999);
    EXPECT_EQ(loopDialogSize(std::numeric_limits<std::size_t>::max()), (LoopDialogSize{1000, 610, 390}));
}

TEST(LoopExportGeometry, PlotLanesBlocksAndMarkers) {
    const LoopTimelineGeometry geometry{1000, 250, 0, 4};  // plot 230...990 x 26...240: 190 points a second
    EXPECT_EQ(geometry.timeAt(5000), 4);
    const LoopTimelineGeometry still{1000, 250, 5, 5};  // a window of zero length counts as 1 ms
    EXPECT_NEAR(still.xForTime(5.0005), 610, 1e-6);

    EXPECT_EQ(geometry.laneRow(39, 40), (Rect{0, 26 + 39 * 9.0, 1000, 7}));  // rows at least 7 high
    EXPECT_EQ(geometry.cellColumn(GridCell{1, 1.001, false, std::nullopt}).width, 1);

    // One block per grid cell that holds sound: cells of 0.25 s are 47.5 points wide.
    const auto cells = gridCells(song(), 0, 3, 0, 4, 1, std::nullopt);
    LoopTimelineLane lane;
    lane.notes = {{0.3, 0.6, 60}, {0.55, 0.7, 64}, {2.0, 2.01, 67}};
    const auto blocks = geometry.noteCellBlocks(lane, cells, Rect{0, 26, 1000, 40});
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0], (Rect{230 + 47.5 + 3, 30, 41.5, 32}));
    // Without cells the notes themselves; a sliver is two points wide.
    const auto spans = geometry.noteCellBlocks(lane, {}, Rect{0, 26, 1000, 10});
    EXPECT_EQ(std::tuple(spans[2].width, spans[2].height, spans[2].y), std::tuple(2.0, 7.0, 27.5));

    // Markers at 1 s (x 420) and 3 s (x 800); coinciding ones open to the side of the press.
    EXPECT_EQ((std::vector{loopDialogMarkerAt(geometry, 430, 100, 1, 3), loopDialogMarkerAt(geometry, 790, 12, 1, 3),
                           loopDialogMarkerAt(geometry, 437, 100, 1, 3), loopDialogMarkerAt(geometry, 235, 100, 0, 0),
                           loopDialogMarkerAt(geometry, 225, 100, 0, 0)}),
              (std::vector<std::optional<LoopMarker>>{LoopMarker::start, LoopMarker::end, std::nullopt, LoopMarker::end,
                                                      LoopMarker::start}));
}

}  // namespace
}  // namespace orvane::app
