// Converting ticks and seconds over the tempo map, with and without a tempo override.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <utility>

#include "midi/model/MIDIFile.h"
#include "midi/model/TempoMap.h"

namespace orvane::midi {
namespace {

MIDIEvent tempoAt(std::uint32_t tick, std::uint32_t microseconds) {
    return MIDIEvent(tick, {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(microseconds >> 16),
                            static_cast<std::uint8_t>(microseconds >> 8), static_cast<std::uint8_t>(microseconds)});
}

std::uint32_t tempoOf(const MIDIEvent& event) { return (event[3] << 16) | (event[4] << 8) | event[5]; }

MIDIFile songWithTempos(TimedMetaList tempos, double bpm = 120.0) {
    MIDIFile file;
    file.tempoEvents = file.originalTempoEvents = std::move(tempos);
    file.bpm = bpm;
    return file;
}

// A musical track whose last event lies at lastTick.
MIDITrack notesUntil(std::uint32_t lastTick) {
    MIDITrack track;
    track.events = {MIDIEvent(0, {0x90, 60, 100}), MIDIEvent(lastTick, {0x80, 60, 0})};
    return track;
}

// The tempo map walked from the start for every conversion: the slow, obvious reading.
double walkedSeconds(const MIDIFile& file, std::uint32_t tick, std::optional<double> newBPM) {
    const TimedMetaList list = file.effectiveTempoEvents(newBPM);
    const double quarter = file.timeDivision;
    double elapsed = 0;
    std::uint32_t current = 500000;
    std::uint32_t last = 0;
    for (const MIDIEvent& event : list) {
        if (event.tick >= tick) break;
        if (event.size() < 6 || tempoOf(event) == 0) continue;
        elapsed += static_cast<double>(current) * static_cast<double>(event.tick - last) / quarter;
        current = tempoOf(event);
        last = event.tick;
    }
    return (elapsed + static_cast<double>(current) * static_cast<double>(tick - last) / quarter) / 1000000.0;
}

TEST(TempoMapTicksToSeconds, SkipsEmptyTemposAndCopesWithUnorderedMaps) {
    const MIDIFile empty = songWithTempos({tempoAt(0, 0), MIDIEvent(0, {0xFF, 0x51, 0x02, 0x01, 0x02}),
                                           tempoAt(480, 1000000)});
    EXPECT_DOUBLE_EQ(empty.ticksToSeconds(960, std::nullopt), 0.5 + 1.0);

    const MIDIFile unordered = songWithTempos({tempoAt(960, 250000), tempoAt(0, 1000000), tempoAt(960, 125000)});
    const MIDIFile ordered = songWithTempos({tempoAt(0, 1000000), tempoAt(960, 250000), tempoAt(960, 125000)});
    for (const std::uint32_t tick : {0u, 500u, 960u, 961u, 5000u}) {
        EXPECT_EQ(unordered.ticksToSeconds(tick, std::nullopt), ordered.ticksToSeconds(tick, std::nullopt)) << tick;
        EXPECT_EQ(unordered.ticksToSeconds(tick, 77.0), ordered.ticksToSeconds(tick, 77.0)) << tick;
    }
    EXPECT_DOUBLE_EQ(ordered.ticksToSeconds(1440, std::nullopt), 2.0 + 0.125);
}

TEST(TempoMapSMPTE, FramesTimesTicksPerFrame) {
    MIDIFile file;
    file.isSMPTE = true;
    file.timeDivision = 0xE728;  // -25 frames per second, 40 ticks per frame
    file.tempoEvents = {tempoAt(0, 100000)};
    EXPECT_DOUBLE_EQ(file.ticksToSeconds(1000, std::nullopt), 1.0) << "the tempo map does not apply";
    EXPECT_DOUBLE_EQ(file.ticksToSeconds(1000, 60.0), 1.0);
    EXPECT_EQ(file.secondsToTicks(1.0, 10, std::nullopt), 1000u) << "no clamping to the song's end";
    for (const auto& [seconds, tick] :
         {std::pair{0.0102, 10u}, {0.0098, 10u}, {1e12, std::numeric_limits<std::uint32_t>::max()}, {-3.0, 0u}}) {
        EXPECT_EQ(file.secondsToTicks(seconds, std::nullopt, std::nullopt), tick) << seconds;
    }

    file.timeDivision = 0xE350;  // 29 frames per second exactly, 80 ticks per frame
    EXPECT_DOUBLE_EQ(file.ticksToSeconds(2320, std::nullopt), 1.0);

    for (const std::uint16_t division : {std::uint16_t{0xE700}, std::uint16_t{0x1928}}) {
        file.timeDivision = division;  // no ticks per frame; a positive frame count
        EXPECT_EQ(file.ticksToSeconds(1000, std::nullopt), 0.0);
        EXPECT_EQ(file.secondsToTicks(1.0, std::nullopt, std::nullopt), 0u);
    }
}

TEST(TempoMapSecondsToTicks, ClampsAndSearches) {
    MIDIFile file = songWithTempos({tempoAt(960, 250000)});
    file.setTracks({notesUntil(4000)});
    // Past the end: the last tick; otherwise the first tick at or after the time (a dense map
    // below is searched against the walked one).
    for (const auto& [seconds, tick] : {std::pair{1000.0, 4000u}, {-1.0, 0u}, {std::nan(""), 0u},
                                        {std::numeric_limits<double>::infinity(), 0u}, {1.1251, 1201u}}) {
        EXPECT_EQ(file.secondsToTicks(seconds, std::nullopt, std::nullopt), tick) << seconds;
    }
    EXPECT_EQ(file.secondsToTicks(1.125, 1000, std::nullopt), 1000u) << "an explicit bound wins";
    EXPECT_EQ(file.secondsToTicks(2.0, std::nullopt, 60.0), 1920u);
}

TEST(TempoMapSecondsToTicks, TheBoundComesFromTheMusicalTracksOnly) {
    MIDIFile file;
    MIDITrack conductor;
    conductor.events = {MIDIEvent(100000, {0xFF, 0x2F, 0x00})};
    file.setTracks({conductor, notesUntil(960)});
    EXPECT_EQ(file.secondsToTicks(50.0, std::nullopt, std::nullopt), 960u);

    MIDIFile empty;
    EXPECT_EQ(empty.secondsToTicks(10.0, std::nullopt, std::nullopt), 1u);
    EXPECT_EQ(empty.secondsToTicks(0.0001, std::nullopt, std::nullopt), 1u);
    EXPECT_EQ(empty.secondsToTicks(10.0, 0, std::nullopt), 1u);
}

TEST(TempoMapSecondsToTicks, ADenseMapGivesTheSameResultsAsWalkingIt) {
    std::mt19937 random(7);
    const auto below = [&random](std::uint32_t bound) { return static_cast<std::uint32_t>(random() % bound); };
    TimedMetaList tempos;
    std::uint32_t tick = 0;
    for (int i = 0; i < 3000; ++i) {
        tick += below(200);
        tempos.push_back(tempoAt(tick, i % 97 == 0 ? 0 : 100000 + below(900000)));
    }
    MIDIFile file = songWithTempos(tempos, 93.5);
    file.timeDivision = 384;
    file.setTracks({notesUntil(tick + 500)});
    const TempoMap map(file, 133.0);
    for (int i = 0; i < 2000; ++i) {
        const std::uint32_t probe = below(tick + 1000);
        ASSERT_EQ(file.ticksToSeconds(probe, std::nullopt), walkedSeconds(file, probe, std::nullopt)) << probe;
        ASSERT_EQ(map.ticksToSeconds(probe), walkedSeconds(file, probe, 133.0)) << probe;
    }
    const double end = walkedSeconds(file, tick + 500, std::nullopt);
    for (int i = 0; i < 300; ++i) {
        const double seconds = end * below(10000) / 9000.0;
        const std::uint32_t found = file.secondsToTicks(seconds, std::nullopt, std::nullopt);
        if (seconds <= 0) continue;
        if (found < tick + 500) { ASSERT_GE(walkedSeconds(file, found, std::nullopt), seconds); }
        if (found > 0) { ASSERT_LT(walkedSeconds(file, found - 1, std::nullopt), seconds); }
    }
}

TEST(TempoMapOverride, RewritesTheOriginalTemposWithinRange) {
    MIDIFile file = songWithTempos({tempoAt(0, 500000), MIDIEvent(10, {0xFF, 0x51, 0x03, 0, 0, 0}),
                                    tempoAt(20, 10000000), tempoAt(30, 3)},
                                   120.0);
    file.tempoEvents = {tempoAt(0, 999)};  // the override starts from the tempos as read
    // An empty tempo is copied; others are clamped to the largest tempo and to 1.
    EXPECT_EQ(file.rewrittenTempoEvents(60.0), (TimedMetaList{tempoAt(0, 1000000), MIDIEvent(10, {0xFF, 0x51, 0x03, 0, 0, 0}),
                                                              tempoAt(20, 16777215), tempoAt(30, 6)}));
    EXPECT_EQ(tempoOf(file.rewrittenTempoEvents(1e9)[3]), 1u);
    EXPECT_EQ(tempoOf(file.rewrittenTempoEvents(1e9)[0]), 1u);
    EXPECT_EQ(tempoOf(file.rewrittenTempoEvents(49.0)[0]), 1224489u) << "truncated toward zero";

    EXPECT_EQ(file.rewrittenTempoEvents(-5.0), file.tempoEvents) << "no usable override";
    EXPECT_EQ(file.rewrittenTempoEvents(std::nan("")), file.tempoEvents);
}

TEST(TempoMapOverride, ASongWithoutTempoGetsOneAtTickZero) {
    MIDIFile file;
    EXPECT_EQ(file.rewrittenTempoEvents(100.0), TimedMetaList{tempoAt(0, 600000)});
    EXPECT_DOUBLE_EQ(file.ticksToSeconds(960, 100.0), 1.2);
    EXPECT_EQ(tempoOf(file.rewrittenTempoEvents(1.0)[0]), 16777215u);

    // Only empty tempo events: the supplied tempo comes first, the others stay.
    MIDIFile silent = songWithTempos({MIDIEvent(5, {0xFF, 0x51, 0x03, 0, 0, 0})});
    EXPECT_EQ(silent.rewrittenTempoEvents(60.0), (TimedMetaList{tempoAt(0, 1000000), silent.originalTempoEvents[0]}));
}

TEST(TempoMapMaximumTick, LargestTickOfAllEventsInAnyOrder) {
    MIDITrack unordered;
    unordered.events = {MIDIEvent(50, {0x90, 1, 1}), MIDIEvent(700, {0x80, 1, 0}), MIDIEvent(20, {0xB0, 1, 1})};
    EXPECT_EQ(MIDIFile::maximumTick(std::vector<MIDITrack>{MIDITrack{}, unordered}), 700u);
}

}  // namespace
}  // namespace orvane::midi
