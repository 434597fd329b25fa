// The FluidSynth player and offline rendering, for real. Every test here needs a General MIDI
// SoundFont and skips without one; none needs a sound device (the silent output is forced).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "PeerAvailability.h"
#include "playback/FluidSynthPlayer.h"
#include "playback/MIDIPlayerController.h"
#include "playback/SoundFontLocation.h"
#include "support/ThreadRunLoop.h"
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

// The loudest sample of a rendered WAV between two times, both channels.
int peakBetween(const RenderedWAV& wav, double from, double to) {
    const auto first = static_cast<std::size_t>(from * 44100);
    const auto last = std::min(static_cast<std::size_t>(to * 44100), static_cast<std::size_t>(wav.frames));
    int peak = 0;
    for (std::size_t frame = first; frame < last; ++frame) {
        for (std::size_t side = 0; side < 2; ++side) {
            const std::size_t at = 44 + frame * 4 + side * 2;
            const auto sample = static_cast<std::int16_t>(wav.bytes[at] | (wav.bytes[at + 1] << 8));
            peak = std::max(peak, std::abs(static_cast<int>(sample)));
        }
    }
    return peak;
}

TEST(SoundFontLocation, NamedThenEnvironmentThenStandardPlacesWithAClearMessage) {
    const std::string_view none[] = {"/nonexistent/a.sf2", "/nonexistent/b.sf2"};
    try {
        locateSoundFont(std::nullopt, nullptr, none);
        FAIL() << "a SoundFont was found where there is none";
    } catch (const MIDIFilePlayerError& error) {
        EXPECT_NE(error.description().find("/nonexistent/a.sf2, /nonexistent/b.sf2"), std::string::npos);
        EXPECT_NE(error.description().find("ORVANE_SOUNDFONT"), std::string::npos);
        EXPECT_NE(error.description().find("--soundfont"), std::string::npos);
    }
    const std::string_view here[] = {"/nonexistent/a.sf2", ORVANE_SOURCE_DIR "/CMakeLists.txt"};
    EXPECT_EQ(locateSoundFont(std::nullopt, "", here), ORVANE_SOURCE_DIR "/CMakeLists.txt");
    EXPECT_EQ(locateSoundFont(std::nullopt, ORVANE_SOURCE_DIR "/test", here), ORVANE_SOURCE_DIR "/test");
    EXPECT_THROW(locateSoundFont(std::nullopt, "/nonexistent/env.sf2", here), MIDIFilePlayerError);
    EXPECT_THROW(locateSoundFont(std::filesystem::path("/nonexistent/named.sf2"), nullptr, here), MIDIFilePlayerError);
}

TEST(OfflineRendering, ADemoLikeSongSoundsForItsLengthAndARemovedChannelIsSilent) {
    REQUIRE_SOUNDFONT();
    auto tracks = demoLikeTracks();
    const RenderedWAV full = renderWAV(songBytes(tracks), silent());
    EXPECT_DOUBLE_EQ(full.songDuration, 12.0);
    EXPECT_EQ(full.frames, 12U * 44100 + static_cast<std::uint64_t>(renderReleaseTailSeconds * 44100));
    EXPECT_EQ(full.bytes.size(), 44 + full.frames * 4);
    EXPECT_EQ(std::string(full.bytes.begin(), full.bytes.begin() + 4), "RIFF");
    EXPECT_GT(full.peak, 1000);
    EXPECT_GT(peakBetween(full, 0.0, 1.0), 300);
    EXPECT_GT(peakBetween(full, 11.0, 12.0), 300);

    // Only the melody (channel 3) is left: between its notes, and before the first, silence.
    for (std::size_t track : {1U, 2U, 4U}) {
        std::erase_if(tracks[track], [](const MIDIEvent& event) { return event.isNoteOn() || event.isNoteOff(); });
    }
    const RenderedWAV melody = renderWAV(songBytes(tracks), silent());
    EXPECT_EQ(melody.frames, full.frames);
    EXPECT_LT(peakBetween(melody, 0.0, 0.24), 2);  // the melody starts at 0.25 s
    EXPECT_GT(peakBetween(melody, 0.3, 0.7), 300);
    tracks[3].clear();
    const RenderedWAV nothing = renderWAV(songBytes(tracks), silent());
    EXPECT_LT(nothing.peak, 2);
}

TEST(FluidSynthPlayer, PositionsFollowTheWallClockOnTheSilentOutput) {
    REQUIRE_SOUNDFONT();
    FluidSynthPlayer player(songBytes(demoLikeTracks()), silent());
    player.prepareToPlay();
    EXPECT_TRUE(player.usesSilentOutput());
    EXPECT_DOUBLE_EQ(player.duration(), 12.0);
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
    EXPECT_EQ(completions, 1);
    EXPECT_FALSE(player.isPlaying());
    EXPECT_DOUBLE_EQ(player.currentPosition(), 0.6);

    FluidSynthPlayer longer(songBytes(demoLikeTracks()), silent());
    completions = 0;
    longer.play([&] { ++completions; });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    longer.stop();
    const double stoppedAt = longer.currentPosition();
    EXPECT_EQ(completions, 1);
    EXPECT_GT(stoppedAt, 0.1);
    longer.stop();  // not playing: nothing more
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(completions, 1);
    EXPECT_DOUBLE_EQ(longer.currentPosition(), stoppedAt);
}

TEST(FluidSynthPlayer, ASeekContinuesWithTheInstrumentSetBeforeIt) {
    REQUIRE_SOUNDFONT();
    EventList violin = {program(0, 0, 0), noteOn(0, 0, 60), noteOff(4, 0, 60), program(5, 0, 40)};
    addNotes(violin, 0, 64, 5, 12, 0.5, 0.4);
    violin.push_back(program(12, 0, 56));
    violin.push_back(endOfTrack(14));
    FluidSynthPlayer player(songBytes({violin}), silent());
    player.play([] {});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(player.channelProgram(0), 0);
    player.setCurrentPosition(10);
    EXPECT_EQ(player.channelProgram(0), 40);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(player.channelProgram(0), 40);
    EXPECT_GT(player.currentPosition(), 10.1);
    player.setCurrentPosition(2);
    EXPECT_EQ(player.channelProgram(0), 0);
    player.stop();
    player.setCurrentPosition(13);  // while stopped: taken up when playing starts
    player.play([] {});
    EXPECT_EQ(player.channelProgram(0), 56);
}

TEST(FluidSynthPlayer, TheControllerPlaysARealSongToItsEnd) {
    REQUIRE_SOUNDFONT();
    ThreadRunLoop loop;
    auto controller = MIDIPlayerController::create(loop, makeFluidSynthPlayerFactory(silent()));
    int progressReports = 0;
    int ends = 0;
    controller->onProgress = [&](double, double) { ++progressReports; };
    controller->onNaturalEnd = [&] {
        ++ends;
        loop.after(0.2, [&] { loop.quit(); });  // time for a second report of the end, if any
    };
    loop.after(10, [&] { loop.quit(); });
    controller->play(songBytes({{noteOn(0, 0, 60), noteOff(0.7, 0, 60)}}), PlaybackMode::fullSong(), 0.2);
    ASSERT_NE(controller->player(), nullptr);
    loop.run();
    EXPECT_EQ(ends, 1);
    EXPECT_GT(progressReports, 5);
    EXPECT_EQ(controller->player(), nullptr);
}

}  // namespace
}  // namespace orvane::playback
