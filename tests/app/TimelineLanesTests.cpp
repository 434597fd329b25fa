#include <gtest/gtest.h>

#include <cmath>

#include "app/TimelineLanes.h"
#include "midi/ExportTestSupport.h"

namespace orvane::app {
namespace {

using namespace midi::testing;

// One track with a note-on at each tick; the song ends at `end` (1920 ticks = 2 s at 120 BPM).
midi::MIDIFile notesAt(std::vector<std::uint32_t> ticks, std::uint32_t end, std::uint16_t division = 480) {
    midi::EventList events = {endOfTrack(end)};
    for (const std::uint32_t tick : ticks) events.push_back(noteOn(tick, 0, 60));  // out of tick order
    midi::MIDIFile file = song({track("t", 0, events)});
    file.timeDivision = division;
    file.isSMPTE = (division & 0x8000) != 0;
    return file;
}

template <class T>
void expectNear(const std::vector<T>& actual, const std::vector<std::pair<double, double>>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& [a, b] = actual[i];
        EXPECT_NEAR(a, expected[i].first, 1e-9) << i;
        EXPECT_NEAR(b, expected[i].second, 1e-9) << i;
    }
}

std::vector<Phrase> phrasesOf(const midi::MIDIFile& file) { return buildTimelineLanes(file, std::nullopt).lanes[0].phrases; }

TEST(TimelineLanes, PhrasesLabelsAndColours) {
    expectNear(phrasesOf(notesAt({960, 0}, 1920)), {{0, 0.51}});
    expectNear(phrasesOf(notesAt({1440, 0}, 1920)), {{0, 0.01}, {0.75, 0.76}});
    expectNear(phrasesOf(notesAt({0, 1920}, 1920)), {{0, 0.01}, {1.0, 1.0}});  // capped at the right edge

    midi::MIDIFile file = notesAt({0, 1440}, 1920);
    file.tempoEvents = file.originalTempoEvents = {tempo(0, 500000)};
    const auto slower = buildTimelineLanes(file, 60.0);
    EXPECT_DOUBLE_EQ(slower.songDuration, 4.0);
    EXPECT_EQ(slower.lanes, buildTimelineLanes(file, std::nullopt).lanes);

    // One lane per musical track; the ninth takes the first colour again.
    std::vector<midi::MIDITrack> tracks = {track("conductor", -1, {tempo(0, 500000)})};
    for (int i = 0; i < 9; ++i) tracks.push_back(track("t", i, {noteOn(0, i, 60), noteOff(480, i, 60)}));
    const auto lanes = buildTimelineLanes(song(tracks), std::nullopt).lanes;
    ASSERT_EQ(lanes.size(), 9u);
    EXPECT_EQ(std::pair(lanes[8].label, lanes[8].paletteIndex), std::pair(std::string("9"), 0));
}

TEST(TimelineLanes, DegenerateTimingNeverDividesByZero) {
    // Division 0 is taken as 1 tick per quarter (0.5 s): note-ons 2 ticks apart share a phrase.
    const auto zero = buildTimelineLanes(notesAt({0, 2, 10}, 10, 0), std::nullopt);
    EXPECT_DOUBLE_EQ(zero.songDuration, 5.0);
    expectNear(zero.lanes[0].phrases, {{0, 0.21}, {1.0, 1.0}});
    // A song of length 0 keeps its lanes but draws no phrases.
    EXPECT_TRUE(phrasesOf(notesAt({0, 0}, 0)).empty());
    // SMPTE, 25 frames of 40 ticks: phrases split at gaps of more than one second.
    EXPECT_EQ(phrasesOf(notesAt({0, 900, 2100}, 3000, 0xE728)).size(), 2u);
}

TEST(TimelineGeometry, SeeksAndMarkersIn332PointView) {
    const TimelineGeometry view{332, 40};
    EXPECT_EQ((std::vector{view.fractionAt(176), view.fractionAt(10), view.fractionAt(400)}), (std::vector{0.5, 0., 1.}));
    EXPECT_EQ((TimelineGeometry{30, 40}.fractionAt(28)), 0);  // no track area
    // Markers 5 points apart, at x = 176 and 181.
    const double start = 0.5, end = 0.5 + 5.0 / 300;
    std::vector<std::optional<LoopMarker>> grabbed;
    for (const double x : {180.0, 178.5 /* a tie */, 188.5, 189.5, double{NAN}}) {
        grabbed.push_back(loopMarkerAt(view, x, start, end));
    }
    EXPECT_EQ(grabbed, (std::vector<std::optional<LoopMarker>>{LoopMarker::end, LoopMarker::start, LoopMarker::end,
                                                               std::nullopt, std::nullopt}));
}

TEST(TimelineGeometry, SpansAreAtLeastTwoPointsAndMergeWhenTheyTouch) {
    const TimelineGeometry view{332, 40};
    // 176..178 touches the next phrase at 178, which reaches 182; 200 stands apart.
    expectNear(laneSpans({{0.5, 0.5}, {0.5 + 2.0 / 300, 0.52}, {0.58, 0.6}}, view), {{176, 6}, {200, 6}});
    std::vector<Phrase> dense;
    for (int i = 0; i < 100000; ++i) dense.push_back({i / 100000.0, i / 100000.0});
    expectNear(laneSpans(dense, view), {{26, 300 - 300 / 100000.0 + 2}});
    EXPECT_TRUE(laneSpans(dense, TimelineGeometry{20, 40}).empty());
}

}  // namespace
}  // namespace orvane::app
