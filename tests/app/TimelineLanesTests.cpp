#include <gtest/gtest.h>

#include <cmath>

#include "app/TimelineLanes.h"
#include "midi/ExportTestSupport.h"

namespace orvane::app {
namespace {

using namespace midi::testing;

// One track with a short note at each tick; the song ends at `end`.
midi::MIDIFile notesAt(std::initializer_list<std::uint32_t> ticks, std::uint32_t end, std::uint16_t division = 480) {
    midi::EventList events;
    for (const std::uint32_t tick : ticks) events.push_back(noteOn(tick, 0, 60));
    events.push_back(endOfTrack(end));
    midi::MIDIFile file = song({track("t", 0, events)});
    file.timeDivision = division;
    file.isSMPTE = (division & 0x8000) != 0;
    return file;
}

template <class T>
void expectNear(const std::vector<T>& actual, const std::vector<std::pair<double, double>>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto [a, b] = actual[i];
        EXPECT_NEAR(a, expected[i].first, 1e-9) << "item " << i;
        EXPECT_NEAR(b, expected[i].second, 1e-9) << "item " << i;
    }
}

TEST(TimelineLanes, PhrasesSplitWhereNoteOnsAreMoreThanTwoQuartersApart) {
    // 1920 ticks = 2 s at 120 BPM.
    expectNear(buildTimelineLanes(notesAt({0, 960}, 1920), std::nullopt).lanes[0].phrases, {{0, 0.51}});
    const auto split = buildTimelineLanes(notesAt({0, 1440}, 1920), std::nullopt);
    expectNear(split.lanes[0].phrases, {{0, 0.01}, {0.75, 0.76}});
    EXPECT_DOUBLE_EQ(split.songDuration, 2.0);
    // A phrase ending on the song's last tick stops at the right edge.
    EXPECT_EQ(buildTimelineLanes(notesAt({0, 1920}, 1920), std::nullopt).lanes[0].phrases.back().end, 1.0);
}

TEST(TimelineLanes, TempoOverrideStretchesTheSongNotItsFractions) {
    midi::MIDIFile file = notesAt({0, 1440}, 1920);
    file.tempoEvents = file.originalTempoEvents = {tempo(0, 500000)};
    const auto slower = buildTimelineLanes(file, 60.0);
    EXPECT_DOUBLE_EQ(slower.songDuration, 4.0);
    EXPECT_EQ(slower.lanes, buildTimelineLanes(file, std::nullopt).lanes);
}

TEST(TimelineLanes, OneLabelledLanePerMusicalTrackWithThePaletteRepeating) {
    std::vector<midi::MIDITrack> tracks = {track("conductor", -1, {tempo(0, 500000)})};
    for (int i = 0; i < 9; ++i) tracks.push_back(track("t", i, {noteOn(0, i, 60), noteOff(480, i, 60)}));
    const auto lanes = buildTimelineLanes(song(tracks), std::nullopt).lanes;
    ASSERT_EQ(lanes.size(), 9u);
    EXPECT_EQ(lanes[8].label, "9");
    EXPECT_EQ(lanes[8].paletteIndex, 0);
    EXPECT_EQ(lanes[7].paletteIndex, 7);
}

TEST(TimelineLanes, DegenerateTimingNeverDividesByZero) {
    // Division 0 is taken as 1 tick per quarter: note-ons 2 ticks apart share a phrase.
    const auto zero = buildTimelineLanes(notesAt({0, 2, 10}, 10, 0), std::nullopt);
    EXPECT_DOUBLE_EQ(zero.songDuration, 5.0);
    expectNear(zero.lanes[0].phrases, {{0, 0.21}, {1.0, 1.0}});
    // A song of length 0 keeps its lanes but draws no phrases.
    const auto empty = buildTimelineLanes(notesAt({0, 0}, 0), std::nullopt);
    ASSERT_EQ(empty.lanes.size(), 1u);
    EXPECT_TRUE(empty.lanes[0].phrases.empty());
    EXPECT_EQ(empty.songDuration, 0);
    // SMPTE, 25 frames of 40 ticks: phrases split at gaps of more than one second.
    const auto smpte = buildTimelineLanes(notesAt({0, 900, 2100}, 3000, 0xE728), std::nullopt);
    EXPECT_EQ(smpte.lanes[0].phrases.size(), 2u);
    EXPECT_DOUBLE_EQ(smpte.songDuration, 3.0);
}

TEST(TimelineLanes, EventsOutOfTickOrderArePhrasedInTickOrder) {
    midi::MIDIFile file = song({track("t", 0, {noteOn(1440, 0, 60), noteOn(0, 0, 60), noteOn(1920, 0, 62)})});
    expectNear(buildTimelineLanes(file, std::nullopt).lanes[0].phrases, {{0, 0.01}, {0.75, 1.0}});
}

TEST(TimelineGeometry, SeeksAndMarkersIn332PointView) {
    const TimelineGeometry view{332, 40};
    EXPECT_EQ(view.trackWidth(), 300);
    EXPECT_EQ(view.fractionAt(176), 0.5);
    EXPECT_EQ(view.fractionAt(10), 0);
    EXPECT_EQ(view.fractionAt(400), 1);
    EXPECT_EQ(view.xForFraction(2), 326);
    EXPECT_EQ((TimelineGeometry{30, 40}.fractionAt(28)), 0);  // no track area
    // Markers 5 points apart, at x = 176 and 181.
    const double start = 0.5, end = 0.5 + 5.0 / 300;
    EXPECT_EQ(loopMarkerAt(view, 180, start, end), LoopMarker::end);
    EXPECT_EQ(loopMarkerAt(view, 178.5, start, end), LoopMarker::start);  // tie
    EXPECT_EQ(loopMarkerAt(view, 170, start, end), LoopMarker::start);
    EXPECT_EQ(loopMarkerAt(view, 188.5, start, end), LoopMarker::end);
    EXPECT_EQ(loopMarkerAt(view, 189.5, start, end), std::nullopt);
    EXPECT_EQ(loopMarkerAt(view, NAN, start, end), std::nullopt);
}

TEST(TimelineGeometry, SpansAreAtLeastTwoPointsAndMergeWhenTheyTouch) {
    const TimelineGeometry view{332, 40};
    expectNear(laneSpans({{0.5, 0.5}}, view), {{176, 2}});
    // 176..178 touches the next phrase at 178, which reaches 182; 200 stands apart.
    expectNear(laneSpans({{0.5, 0.5}, {0.5 + 2.0 / 300, 0.52}, {0.58, 0.6}}, view), {{176, 6}, {200, 6}});
    std::vector<Phrase> dense;
    for (int i = 0; i < 100000; ++i) dense.push_back({i / 100000.0, i / 100000.0});
    const auto spans = laneSpans(dense, view);
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_NEAR(spans[0].x + spans[0].width, 326 - 300 / 100000.0 + 2, 1e-9);
    EXPECT_TRUE(laneSpans(dense, TimelineGeometry{20, 40}).empty());
}

}  // namespace
}  // namespace orvane::app
