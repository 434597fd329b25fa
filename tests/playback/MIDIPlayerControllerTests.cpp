#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "playback/FakeMIDIFilePlayer.h"
#include "playback/MIDIPlayerController.h"
#include "support/ManualRunLoop.h"

namespace orvane::playback {
namespace {

struct Report {
    std::string kind;  // "progress", "end", "paused", "stopped"
    double position = 0;
    double duration = 0;
    double at = 0;  // run-loop time of the call
    friend bool operator==(const Report&, const Report&) = default;
};

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakes.nextDuration = 10;  // each test's song lasts 10 s unless it says otherwise
        controller = MIDIPlayerController::create(loop, fakes.factory());
        controller->onProgress = [this](double p, double d) { reports.push_back({"progress", p, d, loop.now()}); };
        controller->onNaturalEnd = [this] { reports.push_back({"end", 0, 0, loop.now()}); };
        controller->onPaused = [this](double p, double d) { reports.push_back({"paused", p, d, loop.now()}); };
        controller->onStopped = [this](double p, double d) { reports.push_back({"stopped", p, d, loop.now()}); };
    }

    void start(double from, std::optional<PlaybackLoop> section = std::nullopt) {
        controller->playPrepared(song, PlaybackMode::fullSong(), from, section, true);
    }
    [[nodiscard]] auto count(const std::string& kind) const { return std::ranges::count(reports, kind, &Report::kind); }
    [[nodiscard]] double position() const { return controller->player()->currentPosition(); }

    ManualRunLoop loop;
    FakeMIDIFilePlayerFactory fakes{loop};
    std::shared_ptr<MIDIPlayerController> controller;
    std::vector<Report> reports;
    const std::vector<std::uint8_t> song{'M', 'T', 'h', 'd'};
};

TEST_F(ControllerTest, StartsAtTheClampedPositionAndTicksEvery30Milliseconds) {
    // Beyond the song: its end.
    for (const auto& [from, clamped] : {std::pair{15.0, 10.0}, {-3.0, 0.0}, {std::nan(""), 0.0}}) {
        start(from);
        EXPECT_EQ(fakes.lastPlayer()->positionWrites.back(), clamped) << from;
    }
    EXPECT_TRUE(fakes.lastPlayer()->prepared);

    loop.advance(0.1);
    ASSERT_EQ(count("progress"), 3);
    EXPECT_NEAR(reports[0].position, 0.03, 1e-9);
    EXPECT_NEAR(reports[2].position, 0.09, 1e-9);
    EXPECT_EQ(reports[2].duration, 10.0);
}

TEST_F(ControllerTest, TheSongEndsOnceWhicheverOfTickAndCompletionSeesItFirst) {
    for (const double completionDelay : {0.0, 0.5}) {
        reports.clear();
        fakes.nextDuration = 1.0;
        fakes.completionDelay = completionDelay;
        start(0);
        loop.advance(2.0);
        EXPECT_EQ(count("end"), 1) << "completion delay " << completionDelay;
        EXPECT_TRUE(controller->player() == nullptr && controller->currentMode() == PlaybackMode::none());
        EXPECT_FALSE(controller->isProgressTimerRunning());
        const auto& player = *fakes.lastPlayer();
        EXPECT_EQ(std::tuple(player.completionsDelivered, player.alive, player.positionWrites.back()),
                  std::tuple(1, false, 0.0));
    }
}

TEST_F(ControllerTest, PauseThenThePlatformCompletionIsNoEndAndResumeContinues) {
    start(1.0);
    loop.advance(0.5);
    controller->pause();
    loop.advance(1.0);  // the completion of the stop arrives meanwhile
    EXPECT_EQ(fakes.lastPlayer()->completionsDelivered, 1);
    EXPECT_EQ(count("end"), 0);
    ASSERT_EQ(reports.back().kind, "paused");
    EXPECT_NEAR(reports.back().position, 1.5, 1e-9);
    EXPECT_EQ(reports.back().duration, 10.0);
    ASSERT_NE(controller->player(), nullptr);
    EXPECT_FALSE(controller->isProgressTimerRunning());

    controller->resume();
    loop.advance(0.3);
    EXPECT_NEAR(position(), 1.8, 1e-9);
    EXPECT_TRUE(controller->player()->isPlaying());
}

TEST_F(ControllerTest, ACompletionFromAnEarlierRunOrAReplacedPlayerChangesNothing) {
    fakes.completionTiming = FakeMIDIFilePlayerFactory::CompletionTiming::held;
    start(0);
    auto first = fakes.lastPlayer();
    loop.advance(0.2);
    start(4);  // replaces the first player, whose completion is still on its way
    auto second = fakes.lastPlayer();
    first->releaseCompletions();
    loop.advance(0.2);
    EXPECT_EQ(count("end"), 0);
    EXPECT_NEAR(position(), 4.2, 1e-9);

    controller->pause();
    controller->resume();  // sounding again before the pause's completion arrives
    second->releaseCompletions();
    loop.advance(0.2);
    EXPECT_EQ(count("end"), 0);
    EXPECT_TRUE(controller->player()->isPlaying());
    EXPECT_NEAR(position(), 4.4, 1e-9);
}

TEST_F(ControllerTest, TheLoopJumpsBackAtTheFirstTickWithin80MillisecondsOfItsEnd) {
    start(3.0, PlaybackLoop{2.0, 4.0});
    loop.advance(1.0);
    std::size_t jump = 0;
    while (jump < reports.size() && reports[jump].position != 2.0) ++jump;
    ASSERT_LT(jump, reports.size()) << "the loop never restarted";
    ASSERT_GE(jump, 2U);
    EXPECT_GE(reports[jump - 1].position, 3.92);  // the tick that saw it...
    EXPECT_LT(reports[jump - 2].position, 3.92);  // ...is the first one past 3.92
    EXPECT_EQ(reports[jump].at, reports[jump - 1].at);  // 2.0 is reported at once
    EXPECT_EQ(count("end"), 0);
    EXPECT_TRUE(controller->player()->isPlaying());
}

TEST_F(ControllerTest, LoopBoundsAreCutToTheSongAndAnInvertedLoopNeverRepeats) {
    start(0, PlaybackLoop{2.0, 50.0});
    const auto bounds = [this] { return std::pair(controller->loopStart(), controller->loopEnd()); };
    EXPECT_EQ(bounds(), std::pair(2.0, 10.0));
    controller->setLoop(true, -1, 50);
    EXPECT_EQ(bounds(), std::pair(0.0, 10.0));
    controller->setLoop(true, 3, std::numeric_limits<double>::infinity());
    EXPECT_EQ(bounds(), std::pair(3.0, 3.0));
    controller->setLoop(true, 12, 20);
    EXPECT_EQ(bounds(), std::pair(10.0, 10.0));

    fakes.nextDuration = 3;
    start(0, PlaybackLoop{2.0, 1.0});
    EXPECT_EQ(bounds(), std::pair(2.0, 2.0));
    loop.advance(4.0);
    EXPECT_EQ(count("progress") > 0 ? reports.back().kind : "", "end");
    EXPECT_EQ(count("end"), 1);
}

TEST_F(ControllerTest, WithoutALoopArgumentThePreviousLoopStays) {
    start(0, PlaybackLoop{1.0, 2.0});
    controller->play(song, PlaybackMode::audition(2), 0);
    EXPECT_TRUE(controller->loopEnabled() && controller->loopEnd() == 2.0);
    EXPECT_EQ(controller->currentMode(), PlaybackMode::audition(2));
    controller->setLoop(false, 0, 0);
    loop.advance(3.0);
    EXPECT_GT(position(), 2.9);
}

TEST_F(ControllerTest, StopReportsZeroWithTheOldDurationAndResetReportsNothing) {
    fakes.nextDuration = 7.5;
    start(3);
    loop.advance(0.1);
    reports.clear();
    controller->stop();
    const std::vector<Report> stopped{{"stopped", 0.0, 7.5, loop.now()}};
    EXPECT_EQ(reports, stopped);
    EXPECT_TRUE(controller->player() == nullptr && controller->currentMode() == PlaybackMode::none());
    loop.advance(1.0);  // the stopped player's completion arrives: nothing happens
    EXPECT_EQ(reports, stopped);

    start(1);
    reports.clear();
    controller->reset();
    loop.advance(1.0);
    EXPECT_TRUE(reports.empty() && controller->duration() == 0.0 && controller->player() == nullptr);
}

TEST_F(ControllerTest, SeekClampsAndKeepsTheRunningState) {
    controller->playPrepared(song, PlaybackMode::selectedTracks(), 2, std::nullopt, false);
    EXPECT_FALSE(controller->player()->isPlaying() || controller->isProgressTimerRunning());
    controller->seek(25);
    EXPECT_EQ(position(), 10.0);
    controller->seek(4);
    EXPECT_FALSE(controller->player()->isPlaying());
    controller->resume();
    loop.advance(0.5);
    controller->seek(-2);
    EXPECT_EQ(std::pair(controller->player()->isPlaying(), position()), std::pair(true, 0.0));
}

// (What a refused stream prints is checked on orvane-cli play with a missing SoundFont, in
// tests/peers/test_render_play.py.)
TEST_F(ControllerTest, ARefusedStreamLeavesTheControllerIdle) {
    start(1);
    fakes.failNextCreation("The file is not a MIDI file.");
    reports.clear();
    start(0);
    EXPECT_TRUE(controller->player() == nullptr && !fakes.players().front()->alive);  // the earlier one dropped first

    controller->resume();
    controller->pause();
    controller->seek(3);
    loop.advance(1.0);
    EXPECT_TRUE(reports.empty());
}

TEST(FormatTime, MinutesAndTwoDigitSecondsAndZeroForWhatIsNoTime) {
    std::string shown;
    for (const double seconds : {0.0, 59.9, 61.0, 3600.0, -0.5, std::numeric_limits<double>::infinity(),
                                 std::numeric_limits<double>::quiet_NaN(), 1e12}) {
        shown += MIDIPlayerController::formatTime(seconds) + " ";
    }
    EXPECT_EQ(shown, "0:00 0:59 1:01 60:00 0:00 0:00 0:00 16666666666:40 ");
}

}  // namespace
}  // namespace orvane::playback
