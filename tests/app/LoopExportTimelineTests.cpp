// The loop export close-up's arithmetic: the window around the loop, boundaries, the minimum
// gap and snapping, note blocks, the grid, texts and the geometry the view draws with.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "app/LoopExportDialog.h"
#include "playback/TestSongs.h"

namespace orvane::app {
namespace {

using playback::testing::noteOff;
using playback::testing::noteOn;
using Range = std::pair<double, double>;

// A song of 120 BPM in 4/4 with 480 ticks per quarter: a bar lasts two seconds.
midi::MIDIFile plainSong() {
    midi::MIDIFile song;
    song.timeDivision = 480;
    return song;
}

midi::MIDITrack trackOf(midi::EventList events) {
    midi::MIDITrack track;
    track.channel = 0;
    track.events = std::move(events);
    return track;
}

TEST(LoopVisibleRange, PadsTheLoopAndKeepsAtLeastFourSeconds) {
    EXPECT_EQ(loopVisibleRange(10, 12, 60), (Range{9, 13}));          // a 2 s loop: 1 s each side
    EXPECT_EQ(loopVisibleRange(20, 20.5, 60), (Range{18.25, 22.25}));  // widened, centred on the loop
    EXPECT_EQ(loopVisibleRange(8, 33, 60), (Range{5, 36}));           // 12 % of 25 s
    EXPECT_EQ(loopVisibleRange(0, 100, 200), (Range{0, 108}));        // at most 8 s
    EXPECT_EQ(loopVisibleRange(0.5, 1, 60), (Range{0, 4}));           // at the song's start
    EXPECT_EQ(loopVisibleRange(58.5, 59.5, 60), (Range{56, 60}));     // at its end
    EXPECT_EQ(loopVisibleRange(0.5, 1.5, 3), (Range{0, 3}));          // a song shorter than 4 s
    EXPECT_EQ(loopVisibleRange(0, 0, 0), (Range{0, 0}));              // an empty song
}

TEST(LoopMarkerSnapping, BoundariesGapAndSnapSources) {
    EXPECT_EQ(uniqueSeconds({2.0, 1.0003, 0, 1.0, std::nan(""), 1.0008}), (std::vector<double>{0, 1.0, 1.0008, 2.0}));
    const std::vector<double> boundaries = uniqueSeconds({0, 1.0, 1.0003, 2.0});
    EXPECT_EQ(boundaries, (std::vector<double>{0, 1.0, 2.0}));
    EXPECT_EQ(minimumMarkerGapSeconds(boundaries, 4), 1.0);
    // Steps of a millisecond or less do not count; without a step, 1 % of the window, 0.05...1 s.
    EXPECT_DOUBLE_EQ(minimumMarkerGapSeconds(std::vector<double>{3, 3.0008}, 20), 0.2);
    EXPECT_EQ(minimumMarkerGapSeconds({}, 1), 0.05);
    EXPECT_EQ(minimumMarkerGapSeconds({}, 1000), 1.0);
    EXPECT_EQ(minimumMarkerGapSeconds({}, std::nan("")), 0.05);

    const std::vector<double> grid = {0, 1, 2, 3, 4, 5};
    const auto snap = [&](LoopMarker marker, double requested) {
        return markerSnap(marker, requested, 1.0, grid, 1, 3, 5);
    };
    // The end dragged left of the start stops one gap after it, on a boundary.
    EXPECT_EQ(snap(LoopMarker::end, 0.2), (MarkerSnap{2, "visible event-block boundary"}));
    EXPECT_EQ(snap(LoopMarker::start, 4.5), (MarkerSnap{2, "visible event-block boundary"}));
    EXPECT_EQ(snap(LoopMarker::start, 1.5), (MarkerSnap{1, "visible event-block boundary"}));  // a tie: earlier
    EXPECT_EQ(snap(LoopMarker::end, 4.4), (MarkerSnap{4, "visible event-block boundary"}));
    EXPECT_EQ(snap(LoopMarker::end, std::nan("")), (MarkerSnap{3, "visible event-block boundary"}));

    const std::vector<double> sparse = {0};
    EXPECT_EQ(markerSnap(LoopMarker::end, 3.7, 1, sparse, 1, 3, 5), (MarkerSnap{3.7, "time fallback"}));
    EXPECT_EQ(markerSnap(LoopMarker::end, 9, 1, sparse, 1, 3, 5), (MarkerSnap{5, "time fallback"}));
    EXPECT_EQ(markerSnap(LoopMarker::start, -2, 1, grid, 0.5, 0.7, 5), (MarkerSnap{0, "visible event-block boundary"}));
    // No room for the end after the start: it stays.
    EXPECT_EQ(markerSnap(LoopMarker::end, 2, 1, grid, 4.5, 5, 5), (MarkerSnap{5, "current marker fallback"}));
}

TEST(LoopNoteBlocks, NotesClippedToTheWindowInSeconds) {
    const midi::MIDIFile song = plainSong();
    const midi::MIDITrack track = trackOf({
        noteOn(0.2, 0, 50), noteOff(0.5, 0, 50),  // before the window
        noteOn(1.0, 0, 60), noteOff(1.5, 0, 60),  // clipped at its start
        noteOn(2.0, 0, 62), noteOn(4.0, 0, 62, 0),  // ended by a note-on of velocity 0
        noteOn(5.0, 0, 64), noteOn(5.5, 0, 64),   // the same key twice: the later one ends first
        noteOff(6.0, 0, 64), noteOff(6.5, 0, 64),
        noteOn(7.0, 0, 67),                       // never released: sounds to the track's end
        noteOff(3.0, 0, 70),                      // a release without a note
        playback::testing::endOfTrack(8.0),
    });
    const std::vector<NoteBlock> blocks = noteBlocks(song, track, 1.25, 7.5, std::nullopt);
    EXPECT_EQ(blocks, (std::vector<NoteBlock>{{1.25, 1.5, 60}, {2, 4, 62}, {5, 6.5, 64}, {5.5, 6, 64}, {7, 7.5, 67}}));

    // A repeated note written strike-then-release at one tick: the release ends the earlier
    // note; a note released at its own tick is empty, not endless.
    const midi::MIDITrack repeated = trackOf({noteOn(2, 0, 65), noteOn(3, 0, 65), noteOff(3, 0, 65),
                                              noteOff(4, 0, 65), noteOn(5, 0, 66), noteOff(5, 0, 66),
                                              playback::testing::endOfTrack(8)});
    EXPECT_EQ(noteBlocks(song, repeated, 0, 8, std::nullopt), (std::vector<NoteBlock>{{2, 3, 65}, {3, 4, 65}}));

    // Under a tempo override of 60 BPM every time doubles.
    EXPECT_EQ(noteBlocks(song, track, 0, 5, 60.0), (std::vector<NoteBlock>{{0.4, 1, 50}, {2, 3, 60}, {4, 5, 62}}));
    EXPECT_TRUE(noteBlocks(song, track, 3, 3, std::nullopt).empty());

    // A division of 0 counts as 1 tick per quarter note; SMPTE times come straight from ticks.
    midi::MIDIFile zero = plainSong();
    zero.timeDivision = 0;
    const midi::MIDITrack coarse = trackOf({midi::MIDIEvent(2, {0x90, 60, 100}), midi::MIDIEvent(4, {0x80, 60, 0})});
    EXPECT_EQ(noteBlocks(zero, coarse, 0, 10, std::nullopt), (std::vector<NoteBlock>{{1, 2, 60}}));
    midi::MIDIFile smpte = plainSong();
    smpte.isSMPTE = true;
    smpte.timeDivision = 0xE728;  // -25 frames per second, 40 ticks per frame
    const midi::MIDITrack frames = trackOf({midi::MIDIEvent(1000, {0x90, 60, 100}), midi::MIDIEvent(1500, {0x80, 60, 0})});
    EXPECT_EQ(noteBlocks(smpte, frames, 0, 10, std::nullopt), (std::vector<NoteBlock>{{1, 1.5, 60}}));
}

TEST(LoopGridCells, CellSizeFollowsTheLoopLengthInBars) {
    const midi::MIDIFile song = plainSong();
    // 1.5 bars: half-quarter cells of 0.25 s; bars start every 8 cells.
    const auto halves = gridCells(song, 0, 3, 0, 4, 2, std::nullopt);
    ASSERT_EQ(halves.size(), 16u);
    EXPECT_EQ(halves[0], (GridCell{0, 0.25, true, 1}));
    EXPECT_EQ(halves[1], (GridCell{0.25, 0.5, false, std::nullopt}));
    EXPECT_EQ(halves[8], (GridCell{2, 2.25, true, 2}));
    // 3 bars: quarter cells; the first cell starts at the cell before the window.
    const auto quarters = gridCells(song, 0, 6, 3.1, 7, 2, std::nullopt);
    ASSERT_EQ(quarters.size(), 8u);
    EXPECT_EQ(quarters.front(), (GridCell{3, 3.5, false, std::nullopt}));
    EXPECT_EQ(quarters[2], (GridCell{4, 4.5, true, 3}));
    // 5 bars: two quarters.
    EXPECT_EQ(gridCells(song, 0, 10, 0, 4, 2, std::nullopt)[1], (GridCell{1, 2, false, std::nullopt}));
    // 12 bars: one cell per bar, numbered from 1; the last one ends at the window's end.
    const auto bars = gridCells(song, 0, 24, 0, 26.88, 2, std::nullopt);
    ASSERT_EQ(bars.size(), 14u);
    for (std::size_t i = 0; i < bars.size(); ++i) {
        EXPECT_TRUE(bars[i].isBarStart);
        EXPECT_EQ(bars[i].barNumber, static_cast<int>(i) + 1);
    }
    EXPECT_EQ(bars.back().end, 26.88);
    // 6/8: a bar of three quarters.
    midi::MIDIFile compound = plainSong();
    compound.timeSignatureNumerator = 6;
    compound.timeSignatureDenominator = 8;
    const auto sixEight = gridCells(compound, 0, 30, 0, 4, 2, std::nullopt);
    EXPECT_EQ(sixEight[1], (GridCell{1.5, 3, true, 2}));
    // A zero-length window has no cells.
    EXPECT_TRUE(gridCells(song, 1, 2, 3, 3, 2, std::nullopt).empty());
}

TEST(LoopGridCells, SMPTEAndExtremeTempoGrids) {
    midi::MIDIFile smpte = plainSong();
    smpte.isSMPTE = true;
    smpte.timeDivision = 0xE728;
    // A 4 s loop with few tracks: sixteen cells of 0.25 s, from the cell before the window.
    const auto cells = gridCells(smpte, 1, 5, 0.1, 6, 2, std::nullopt);
    ASSERT_EQ(cells.size(), 24u);
    EXPECT_EQ(cells.front(), (GridCell{0, 0.25, false, std::nullopt}));
    EXPECT_EQ(cells.back().end, 6);
    // More tracks: coarser; cells never shorter than 0.05 s.
    EXPECT_EQ(gridCells(smpte, 1, 5, 0, 6, 8, std::nullopt)[0].end, 0.5);
    EXPECT_EQ(gridCells(smpte, 1, 1.1, 0, 4, 2, std::nullopt)[0].end, 0.05);

    // A quarter note of one microsecond packs billions of ticks into the window: the grid
    // stays bounded instead of allocating a cell per bar.
    midi::MIDIFile racing = plainSong();
    racing.tempoEvents.push_back(midi::MIDIEvent(0, {0xFF, 0x51, 0x03, 0x00, 0x00, 0x01}));
    const auto bounded = gridCells(racing, 0, 60, 0, 68, 2, std::nullopt);
    EXPECT_LE(bounded.size(), 2049u);
    EXPECT_GE(bounded.size(), 100u);
    EXPECT_TRUE(bounded.front().isBarStart);
}

TEST(LoopExportTexts, PreciseTimeRepeatCountAndDialogSize) {
    EXPECT_EQ(preciseTime(75.26), "1:15.3");
    EXPECT_EQ(preciseTime(0), "0:00.0");
    EXPECT_EQ(preciseTime(-1), "0:00.0");
    EXPECT_EQ(preciseTime(std::nan("")), "0:00.0");
    EXPECT_EQ(preciseTime(std::numeric_limits<double>::infinity()), "0:00.0");
    EXPECT_EQ(preciseTime(59.96), "1:00.0");  // not 0:59.0
    EXPECT_EQ(preciseTime(600.04), "10:00.0");

    for (const char* refused : {"0", "1000", "abc", "", " ", "-3", "1.5", "12abc", "99999999999", "+"}) {
        EXPECT_EQ(parseRepeatCount(refused), std::nullopt) << refused;
    }
    EXPECT_EQ(parseRepeatCount("1"), 1);
    EXPECT_EQ(parseRepeatCount("999"), 999);
    EXPECT_EQ(parseRepeatCount(" 42 "), 42);
    EXPECT_EQ(parseRepeatCount("007"), 7);

    EXPECT_EQ(loopDialogSize(0), (LoopDialogSize{1000, 470, 250}));
    EXPECT_EQ(loopDialogSize(10), (LoopDialogSize{1000, 484, 264}));
    EXPECT_EQ(loopDialogSize(40), (LoopDialogSize{1000, 610, 390}));
    EXPECT_EQ(loopDialogSize(std::numeric_limits<std::size_t>::max()), (LoopDialogSize{1000, 610, 390}));
}

TEST(LoopTimelineGeometry, PlotTimesAndLanes) {
    const LoopTimelineGeometry geometry{1000, 250, 10, 14};
    using Rect = LoopTimelineGeometry::Rect;
    EXPECT_EQ(geometry.plotRect(), (Rect{230, 26, 760, 214}));
    EXPECT_EQ(geometry.xForTime(12), 610);
    EXPECT_EQ(geometry.xForTime(0), 230);
    EXPECT_EQ(geometry.xForTime(20), 990);
    EXPECT_EQ(geometry.timeAt(610), 12);
    EXPECT_EQ(geometry.timeAt(5000), 14);
    EXPECT_EQ((LoopTimelineGeometry{100, 20, 0, 1}.plotRect()), (Rect{230, 26, 1, 1}));

    // A window of zero length is taken as a millisecond.
    const LoopTimelineGeometry still{1000, 250, 5, 5};
    EXPECT_EQ(still.xForTime(5), 230);
    EXPECT_NEAR(still.xForTime(5.0005), 610, 1e-6);
    EXPECT_EQ(still.timeAt(700), 5);
    EXPECT_FALSE(std::isnan(still.xForTime(std::nan(""))));

    // Three lanes share the plot with gaps of 4; from 13 lanes the gap is 2; rows are at least 7.
    EXPECT_DOUBLE_EQ(geometry.laneRow(1, 3).y, 26 + 206.0 / 3 + 4);
    EXPECT_EQ(geometry.laneRow(1, 3).height, 206.0 / 3);
    EXPECT_EQ(geometry.laneRow(1, 3).width, 1000);
    EXPECT_EQ(geometry.laneRow(0, 13).height, (214.0 - 24) / 13);
    EXPECT_EQ(geometry.laneRow(39, 40), (Rect{0, 26 + 39 * 9.0, 1000, 7}));

    // Titles shrink from 15 lanes on; the dot stays between 6 and 10 points.
    EXPECT_EQ(geometry.laneLabel(0, 14).fontSize, 12);
    EXPECT_EQ(geometry.laneLabel(0, 15).fontSize, 10);
    EXPECT_EQ(geometry.laneLabel(0, 1).dot, (Rect{12, 26 + 102, 10, 10}));
    EXPECT_EQ(geometry.laneLabel(0, 40).dot.width, 6);
    EXPECT_EQ(geometry.laneLabel(2, 3).title, (Rect{30, geometry.laneRow(2, 3).y, 192, 206.0 / 3}));

    // A cell narrower than a point is drawn one point wide.
    EXPECT_EQ(geometry.cellColumn(GridCell{11, 11.001, false, std::nullopt}).width, 1);
    EXPECT_EQ(geometry.cellColumn(GridCell{10, 11, true, 1}), (Rect{230, 26, 190, 214}));
}

TEST(LoopTimelineGeometry, NoteActivityIsDrawnPerGridCell) {
    const LoopTimelineGeometry geometry{1000, 250, 0, 4};  // 190 points per second
    const midi::MIDIFile song = plainSong();
    const auto cells = gridCells(song, 0, 3, 0, 4, 1, std::nullopt);  // 0.25 s, 47.5 points each
    LoopTimelineLane lane;
    lane.notes = {{0.3, 0.6, 60}, {0.55, 0.7, 64}, {2.0, 2.01, 67}};
    const LoopTimelineGeometry::Rect row{0, 26, 1000, 40};
    const auto blocks = geometry.noteCellBlocks(lane, cells, row);
    // Cells 1 and 2 hold the first two notes, once each; cell 8 the short one.
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0], (LoopTimelineGeometry::Rect{230 + 47.5 + 3, 30, 41.5, 32}));
    EXPECT_EQ(blocks[1].x, 230 + 95 + 3);
    EXPECT_EQ(blocks[2].x, 230 + 380 + 3);

    // Without cells, the notes themselves; a sliver is two points wide; short rows keep 3 points.
    const auto spans = geometry.noteCellBlocks(lane, {}, LoopTimelineGeometry::Rect{0, 26, 1000, 10});
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_DOUBLE_EQ(spans[0].x, 230 + 0.3 * 190 + 3);
    EXPECT_EQ(spans[2].width, 2);
    EXPECT_EQ(spans[2].height, 7);
    EXPECT_EQ(spans[2].y, 26 + 1.5);
    EXPECT_EQ(geometry.noteCellBlocks(lane, {}, LoopTimelineGeometry::Rect{0, 0, 1000, 4})[0].height, 3);
}

TEST(LoopTimelineGeometry, MarkerHitTest) {
    const LoopTimelineGeometry geometry{1000, 250, 0, 4};
    // Markers at 1 s (x 420) and 3 s (x 800).
    EXPECT_EQ(loopDialogMarkerAt(geometry, 430, 100, 1, 3), LoopMarker::start);
    EXPECT_EQ(loopDialogMarkerAt(geometry, 790, 100, 1, 3), LoopMarker::end);
    EXPECT_EQ(loopDialogMarkerAt(geometry, 437, 100, 1, 3), std::nullopt);  // 17 points away
    EXPECT_EQ(loopDialogMarkerAt(geometry, 420, 12, 1, 3), LoopMarker::start);  // in the slop above
    EXPECT_EQ(loopDialogMarkerAt(geometry, 420, 300, 1, 3), std::nullopt);    // below the slop
    // Coinciding markers: a press on the right takes the end, else the start.
    EXPECT_EQ(loopDialogMarkerAt(geometry, 235, 100, 0, 0), LoopMarker::end);
    EXPECT_EQ(loopDialogMarkerAt(geometry, 225, 100, 0, 0), LoopMarker::start);
    EXPECT_EQ(loopDialogMarkerAt(geometry, 230, 100, 0, 0), LoopMarker::start);
}

}  // namespace
}  // namespace orvane::app
