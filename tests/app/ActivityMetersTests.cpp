#include <gtest/gtest.h>

#include <cmath>

#include "app/ActivityMeters.h"
#include "midi/ExportTestSupport.h"

namespace orvane::app {
namespace {

using namespace midi::testing;

// 960 ticks are one second. Full volume; the mixer velocity is the track's average.
midi::MIDIFile loudSong(midi::EventList events) {
    midi::MIDITrack loud = track("t", 0, std::move(events));
    loud.volume = 127;
    return song({loud});
}

TEST(ActivityTracks, NotesPairFirstInFirstOutPerKeyAndChannel) {
    midi::MIDIFile file = song({track("conductor", -1, {tempo(0, 500000)}),
                                track("a", 0,
                                      {noteOn(0, 0, 60, 100), noteOn(480, 0, 60, 50), noteOn(480, 1, 60, 10),
                                       noteOff(500, 2, 60), noteOff(960, 0, 60), noteOn(1440, 0, 60, 0),
                                       endOfTrack(2400)}),
                                track("b", 2, {noteOn(0, 2, 64, 100), noteOn(0, 2, 65, 101)})},
                               {tempo(0, 500000)});
    const auto activity = buildActivityTracks(file, std::nullopt);
    ASSERT_EQ(activity.size(), 2u);
    // The channel-1 note is never released: it ends with the track.
    EXPECT_EQ(activity[0].notes, (std::vector<MIDIActivityNote>{{0, 1.0, 100}, {0.5, 1.5, 50}, {0.5, 2.5, 10}}));
    EXPECT_EQ(std::pair(activity[0].baselineVelocity, activity[1].baselineVelocity), std::pair(53, 101));  // 100.5 up
    EXPECT_EQ(buildActivityTracks(file, 60.0)[0].notes[1], (MIDIActivityNote{1.0, 3.0, 50}));
}

TEST(ActivityLevel, ShortAttackThenExponentialRelease) {
    const midi::MIDIFile file = loudSong({noteOn(0, 0, 60, 127), noteOff(960, 0, 60)});
    const auto activity = buildActivityTracks(file, std::nullopt)[0];
    midi::MIDITrack track = file.musicalTracks()[0];
    EXPECT_DOUBLE_EQ(activityLevel(activity, track, 0.055), 1.0);
    EXPECT_DOUBLE_EQ(activityLevel(activity, track, 0.0275), 0.5);
    EXPECT_NEAR(activityLevel(activity, track, 1.45), 0.054, 0.001);
    EXPECT_TRUE(activityLevel(activity, track, 1.46) == 0 && activityLevel(activity, track, NAN) == 0);
    track.volume = 64;
    track.velocity = 0;  // taken as 1
    EXPECT_DOUBLE_EQ(activityLevel(activity, track, 0.5), 64 / 127.0 / 127);
}

TEST(ActivityLevel, RetriggeredNoteHidesTheReleasedOne) {
    // A 50 ms chord of 12 notes; one note starts 0.1 s after its release, another 0.2 s later.
    midi::EventList events;
    for (int key = 60; key < 72; ++key) events.push_back(noteOn(0, 0, key, 127));
    for (int key = 60; key < 72; ++key) events.push_back(noteOff(48, 0, key));
    for (const std::uint32_t start : {144u, 384u}) {
        events.push_back(noteOn(start, 0, 60, 127));
        events.push_back(noteOff(start + 48, 0, 60));
    }
    const midi::MIDIFile file = loudSong(events);
    const auto activity = buildActivityTracks(file, std::nullopt)[0];
    const midi::MIDITrack& track = file.musicalTracks()[0];
    // At 0.17 s only the new note's attack counts, not the chord's tail (0.46).
    EXPECT_NEAR(activityLevel(activity, track, 0.17), 0.02 / 0.055, 1e-9);
    // 0.2 s is no retrigger: the tail of the note released at 0.2 s still shows at 0.405 s.
    EXPECT_NEAR(activityLevel(activity, track, 0.405), std::exp(-6.5 * 0.205), 1e-9);
}

TEST(ActivityLevel, LevelsOnlyForRowsWithTrackAndActivity) {
    const midi::MIDIFile file = song({track("a", 0, {noteOn(0, 0, 60)}), track("b", 1, {noteOn(0, 1, 60)})});
    auto activity = buildActivityTracks(file, std::nullopt);
    activity.pop_back();
    EXPECT_EQ(activityLevels(file, activity, {-1, 0, 1, 2}, 0.1).size(), 1u);
}

TEST(ActivityMeter, SegmentsAndHeldPeak) {
    ActivityMeterState meter;
    const auto lit = [&](double level) {
        meter.update(level, true, 0);
        return meter.litSegments;
    };
    EXPECT_EQ((std::vector{lit(0.5), lit(0.51), lit(3.0), lit(NAN)}), (std::vector{6, 7, 12, 0}));

    EXPECT_TRUE(meter.update(0.8, false, 0));    // 10 lit
    EXPECT_TRUE(meter.update(0.1, false, 0.3));  // 2 lit, peak 10 held
    EXPECT_FALSE(meter.update(0.1, false, 0.6));  // nothing drawn changes
    EXPECT_EQ(meterSegmentLook(meter, 9).kind, MeterSegmentLook::Kind::heldPeak);
    EXPECT_EQ(meterSegmentLook(meter, 9).color, meterColors::activeYellow);
    EXPECT_TRUE(meter.update(0.1, false, 0.66));
    EXPECT_EQ(meter.heldPeakSegments, 2);
    meter.update(1.0, false, 1);
    EXPECT_EQ(meterSegmentLook(meter, 7).color, meterColors::activeGreen);
    EXPECT_EQ(meterSegmentLook(meter, 10).color, std::nullopt);  // the system red
    meter.update(0, true, 1.1);  // stopping playback
    EXPECT_EQ(std::pair(meter.heldPeakSegments, meterSegmentLook(meter, 0).kind),
              std::pair(0, MeterSegmentLook::Kind::inactive));
}

}  // namespace
}  // namespace orvane::app
