// The FluidSynth player, for real (offline rendering and the command-line player are checked
// against the fluidsynth program in tests/peers). Every test here needs a General MIDI
// SoundFont and skips without one; none needs a sound device (the silent output is forced).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "PeerAvailability.h"
#include "playback/FluidSynthPlayer.h"
#include "playback/SoundFontLocation.h"
#include "TestSongs.h"

namespace orvane::playback {
namespace {

using namespace testing;
using Clock = std::chrono::steady_clock;

bool soundFontAvailable() {
    try {
        locateSoundFont(std::nullopt);
        return true;
    } catch (const MIDIFilePlayerError&) {
        return false;
    }
}

#define REQUIRE_SOUNDFONT()                                                                                     \
    ORVANE_REQUIRE_PEER(soundFontAvailable(), "no General MIDI SoundFont installed (fluid-soundfont-gm) and " \
                                              "ORVANE_SOUNDFONT not set")

FluidSynthOptions silent() {
    FluidSynthOptions options;
    options.silentOutput = true;
    return options;
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

template <class Condition>
bool waitFor(Condition condition, double seconds) {
    const auto start = Clock::now();
    while (!condition()) {
        if (secondsSince(start) > seconds) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(SoundFontLocation, NamedThenEnvironmentThenStandardPlacesWithAClearMessage) {
    const std::string_view none[] = {"/nonexistent/a.sf2", "/nonexistent/b.sf2"};
    try {
        locateSoundFont(std::nullopt, nullptr, none);
        FAIL() << "a SoundFont was found where there is none";
    } catch (const MIDIFilePlayerError& error) {
        for (const char* part : {"/nonexistent/a.sf2, /nonexistent/b.sf2", "ORVANE_SOUNDFONT", "--soundfont"}) {
            EXPECT_NE(error.description().find(part), std::string::npos) << part;
        }
    }
    const std::string_view here[] = {"/nonexistent/a.sf2", ORVANE_SOURCE_DIR "/CMakeLists.txt"};
    EXPECT_EQ(locateSoundFont(std::nullopt, "", here), ORVANE_SOURCE_DIR "/CMakeLists.txt");
    EXPECT_EQ(locateSoundFont(std::nullopt, ORVANE_SOURCE_DIR "/test", here), ORVANE_SOURCE_DIR "/test");
    EXPECT_THROW(locateSoundFont(std::nullopt, "/nonexistent/env.sf2", here), MIDIFilePlayerError);
    EXPECT_THROW(locateSoundFont(std::filesystem::path("/nonexistent/named.sf2"), nullptr, here), MIDIFilePlayerError);
}

TEST(FluidSynthPlayer, PositionsFollowTheWallClockOnTheSilentOutput) {
    REQUIRE_SOUNDFONT();
    FluidSynthPlayer player(songBytes(demoLikeTracks()), silent());
    player.prepareToPlay();
    EXPECT_TRUE(player.usesSilentOutput() && player.duration() == 12.0);
    player.setCurrentPosition(1.0);
    player.play([] {});
    const auto start = Clock::now();
    const double startPosition = player.currentPosition();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    // A few readings over 100 ms, so that a late wake-up of the output thread on a busy
    // machine is not taken for a slow clock; a wrong pace shows in every reading.
    double bestRatio = 0;
    for (int reading = 0; reading < 20; ++reading) {
        const double ratio = (player.currentPosition() - startPosition) / secondsSince(start);
        if (std::fabs(ratio - 1.0) < std::fabs(bestRatio - 1.0)) bestRatio = ratio;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_NEAR(bestRatio, 1.0, 0.02);
    EXPECT_TRUE(player.isPlaying());
}

TEST(FluidSynthPlayer, CompletesOnceAtTheEndAndOnceAfterStopKeepingThePosition) {
    REQUIRE_SOUNDFONT();
    std::atomic<int> completions{0};
    FluidSynthPlayer player(songBytes({{noteOn(0, 0, 60), noteOff(0.5, 0, 60), endOfTrack(0.6)}}), silent());
    player.prepareToPlay();
    player.play([&] { ++completions; });
    ASSERT_TRUE(waitFor([&] { return completions > 0; }, 5.0));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(std::tuple(completions.load(), player.isPlaying(), player.currentPosition()), std::tuple(1, false, 0.6));

    FluidSynthPlayer longer(songBytes(demoLikeTracks()), silent());
    completions = 0;
    longer.play([&] { ++completions; });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    longer.stop();
    const double stoppedAt = longer.currentPosition();
    EXPECT_TRUE(completions == 1 && stoppedAt > 0.1) << stoppedAt;
    longer.stop();  // not playing: nothing more
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(std::pair(completions.load(), longer.currentPosition()), std::pair(1, stoppedAt));
}

}  // namespace
}  // namespace orvane::playback
