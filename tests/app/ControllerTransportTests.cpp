// The transport: its state table, rebasing of streams that begin later in the song, loop
// mode with its markers and bar snapping, and audition. The space bar is driven through the
// window (tests/ui/MainWindowTest.cpp).

#include <cmath>

#include "app/ControllerHarness.h"

namespace orvane::app::testing {
namespace {

using Kind = TransportState::Kind;

TEST(ControllerTransport, PlayPauseResumeStopAndTheNaturalEnd) {
    ControllerHarness h(demoSong());
    h->playAction();
    EXPECT_EQ(h->transportState(), TransportState::playing("demo"));
    EXPECT_FALSE(h.view().controls.mixerMenuEnabled);
    h.advance(2.0);
    EXPECT_NEAR(h.view().transport.sliderValue, 2.0, 0.031);

    const auto players = h.players.players().size();
    h->pauseAction();
    EXPECT_EQ(h->transportState().kind, Kind::paused);
    h->pauseAction();  // pause toggles to resume the same player
    EXPECT_EQ(std::pair(h->transportState().kind, h.players.players().size()), std::pair(Kind::playing, players));
    h->playAction();  // Play while playing stops
    EXPECT_EQ(std::pair(h->transportState().kind, h.view().transport.currentTime),
              std::pair(Kind::idle, std::string("0:00")));
    h->playAction();
    h.advance(41);
    EXPECT_EQ(std::pair(h->transportState().kind, h.view().transport.sliderValue), std::pair(Kind::idle, 0.0));
    EXPECT_TRUE(h.view().controls.transposeEnabled);
}

TEST(ControllerTransport, APausedStreamIsRebuiltOnlyWhenSomethingChangedOrASeekLeavesIt) {
    ControllerHarness h(demoSong());
    h->playAction();
    h.advance(5);
    h->pauseAction();
    auto players = h.players.players().size();
    h->applyTransposeOffset(2);  // while paused: rebuilt at once at the paused position
    EXPECT_EQ(h.players.players().size(), ++players);
    EXPECT_EQ(h->playbackTimelineOffset(), 5.0);
    h->playAction();  // resumed, not rebuilt
    EXPECT_EQ(std::pair(h->transportState().kind, h.players.players().size()), std::pair(Kind::playing, players));
    h->pauseAction();

    // A stream begins at the song's start, or exactly where it was asked to.
    for (const auto& [start, offset] : {std::pair{0.002, 0.002}, std::pair{0.0005, 0.0}}) {
        h->sliderMoved(start);
        h->applyTransposeOffset(h->transposeOffset() + 1);  // forces a build at the paused position
        EXPECT_DOUBLE_EQ(h->playbackTimelineOffset(), offset) << start;
    }
    // A stream from the start is only ever seeked within; one that begins later is rebuilt.
    players = h.players.players().size();
    h->sliderMoved(10);
    EXPECT_EQ(std::pair(h.players.players().size(), h->transportState().position), std::pair(players, 10.0));
    h->sliderMoved(30);
    h->applyTransposeOffset(1);
    ASSERT_EQ(h->playbackTimelineOffset(), 30);
    players = h.players.players().size();
    h->sliderMoved(10);
    EXPECT_EQ(std::pair(h.players.players().size(), h->playbackTimelineOffset()), std::pair(players + 1, 10.0));
    h->timelineClicked(500);  // beyond the end: the song's end
    EXPECT_NEAR(h.view().transport.sliderValue, h.view().timeline.songDuration, 1e-9);

    ControllerHarness idle(demoSong());
    idle->applyTransposeOffset(3);  // nothing is built while idle
    EXPECT_TRUE(idle.players.players().empty());
}

TEST(ControllerTransport, LoopModePlacesThirtySecondsInTheMiddleAndKeepsMarkersApart) {
    ScratchFolder folder;
    ControllerHarness h(steadySong(folder.path(), 100));
    h->loopAction(true);
    EXPECT_NEAR(h->loopStartFraction() * 100, 35, 1e-9);
    EXPECT_NEAR(h->loopEndFraction() * 100, 65, 1e-9);
    h->loopMarkerDragged(LoopMarker::end, 0.3);  // gap of a quarter second is raised to 1 %
    EXPECT_NEAR(h->loopEndFraction(), 0.36, 1e-9);
    h->loopMarkerDragged(LoopMarker::start, 0.9);
    EXPECT_NEAR(h->loopStartFraction(), 0.35, 1e-9);

    ControllerHarness shortSong(steadySong(folder.path(), 20, 2, "short.mid"));
    shortSong->loopAction(true);
    EXPECT_EQ(std::pair(shortSong->loopStartFraction(), shortSong->loopEndFraction()), std::pair(0.0, 1.0));
    shortSong->loopMarkerDragged(LoopMarker::start, 0.995);
    EXPECT_NEAR(shortSong->loopStartFraction(), 1 - 0.25 / 20, 1e-9);  // a quarter second apart
}

TEST(ControllerTransport, LoopPlaybackPlaysTheSectionTheOverlayShows) {
    ScratchFolder folder;
    ControllerHarness h(steadySong(folder.path(), 100));
    h->playAction();  // the whole song is playing when the loop goes on
    h.advance(3);
    h->loopAction(true);
    EXPECT_TRUE(h->loadedStreamIsLoopSection());
    EXPECT_NEAR(h->playbackTimelineOffset(), 35, 1e-9);
    EXPECT_TRUE(h->player().loopEnabled() && h->player().loopStart() == 0);
    EXPECT_NEAR(h->player().loopEnd(), 30, 1e-6);
    EXPECT_NEAR(h->player().duration(), 30, 0.01);  // the loaded stream is the section only
    h.advance(1);
    EXPECT_NEAR(h.view().transport.sliderValue, 36, 0.04);

    // Moving a marker and letting go reloads the section from its new start.
    h->loopMarkerDragged(LoopMarker::start, 0.5);
    h->loopMarkerReleased();
    EXPECT_NEAR(h->playbackTimelineOffset(), 50, 1e-9);
    EXPECT_NEAR(h->player().duration(), 15, 0.01);

    // Loop off: the whole song again, from where the loop had got to.
    h.advance(2);
    h->loopAction(false);
    EXPECT_FALSE(h->loadedStreamIsLoopSection() || h->player().loopEnabled());
    EXPECT_NEAR(h->currentTransportTimelinePosition(), 52, 0.05);
    EXPECT_EQ(h->transportState().kind, Kind::playing);
}

TEST(ControllerTransport, SnappingTheLoopToBars) {
    ScratchFolder folder;
    ControllerHarness h;
    h->loadMIDI(steadySong(folder.path(), 40));  // 2 s bars at 120 BPM in 4/4
    h->loopAction(true);
    const double length = h->loopDuration(std::nullopt);
    const auto snap = [&](double startBar, double endBar) {
        h->loopMarkerDragged(LoopMarker::start, 0);
        h->loopMarkerDragged(LoopMarker::end, endBar * 2 / length);
        h->loopMarkerDragged(LoopMarker::start, startBar * 2 / length);
        return *h->snapCurrentLoopRangeToBars(std::nullopt);
    };
    // Halves round up; a start that rounds onto the song's end keeps one bar to loop.
    for (const auto& [startBar, endBar, snapped] : {std::tuple{2.4, 6.0, std::pair{4.0, 12.0}}, {2.5, 6.0, {6.0, 12.0}},
                                                    {3.1, 3.3, {6.0, 8.0}}, {19.9, 20.0, {38.0, 40.0}}}) {
        const auto [start, end] = snap(startBar, endBar);
        EXPECT_NEAR(start, snapped.first, 1e-9) << startBar;
        EXPECT_NEAR(end, snapped.second, 1e-9) << startBar;
    }
}

TEST(ControllerTransport, ASongWithoutATimeDivisionStaysFinite) {
    ScratchFolder folder;
    using namespace playback::testing;
    auto bytes = songBytes({{noteOn(0, 0, 60), noteOff(0.5, 0, 60), noteOn(1, 0, 62), noteOff(2, 0, 62)}});
    bytes[12] = bytes[13] = 0;  // the header's division
    writeBytes(folder / "zero.mid", bytes);
    ControllerHarness h(folder / "zero.mid");
    ASSERT_EQ(h->trackRows().size(), 1u);
    EXPECT_TRUE(std::isfinite(h.view().timeline.songDuration));
    h->loopAction(true);
    const auto range = h->snapCurrentLoopRangeToBars(std::nullopt);
    ASSERT_TRUE(range);
    EXPECT_TRUE(std::isfinite(range->first) && std::isfinite(range->second) && range->first < range->second);
    h->playAction();
    h.advance(0.5);
    EXPECT_TRUE(std::isfinite(h.view().transport.sliderValue));
}

TEST(ControllerTransport, AuditionMetersItsRowAndItsButtonAgainStopsAndClearsTheMeters) {
    ControllerHarness h(demoSong());
    h->showMixerWindow();
    ASSERT_NE(h.modal.mixer, nullptr);
    h->auditionButtonPressed(2);  // the chords sound from the start
    h.advance(1.0);
    EXPECT_EQ(h->transportState(), TransportState::playing("Chords"));
    EXPECT_EQ(h.view().table.auditionedRow, 2);
    const auto& meters = h.modal.mixer->meters();
    ASSERT_EQ(meters.size(), 5u);
    EXPECT_TRUE(meters[2].level > 0 && meters[4].level == 0);
    h->auditionButtonPressed(2);  // the same row again stops
    EXPECT_EQ(h->transportState().kind, Kind::idle);
    for (const auto& meter : h.modal.mixer->meters()) {
        EXPECT_EQ(std::pair(meter.level, meter.heldPeakSegments), std::pair(0.0, 0));
    }
}

}  // namespace
}  // namespace orvane::app::testing
