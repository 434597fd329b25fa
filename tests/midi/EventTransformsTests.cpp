// The event transforms the exports pass tracks through, and the export order the builders
// hand to the writer.

#include <gtest/gtest.h>

#include <random>

#include "ExportTestSupport.h"
#include "midi/export/EventTransforms.h"
#include "midi/export/ExportOrder.h"

namespace orvane::midi {
namespace {

using namespace testing;

TEST(EventTransforms, TransposeClampsKeysAndLeavesPercussionAndOtherEventsAlone) {
    const EventList events = {noteOn(0, 0, 125), noteOff(10, 0, 125), noteOn(0, 1, 2, 0),
                              noteOn(0, 9, 38), ev(5, {0xA0, 60, 10}), cc(5, 0, 7, 100)};
    const EventList up = transposeEvents(events, 5);
    EXPECT_EQ(up[0], noteOn(0, 0, 127));
    EXPECT_EQ(up[1], noteOff(10, 0, 127));
    EXPECT_EQ(up[2], noteOn(0, 1, 7, 0)) << "velocity-0 note-ons are notes too";
    EXPECT_EQ(up[3], noteOn(0, 9, 38));
    EXPECT_EQ(up[4], events[4]) << "key pressure is not transposed";
    EXPECT_EQ(up[5], events[5]);
    EXPECT_EQ(transposeEvents(events, -5)[2], noteOn(0, 1, 0, 0));
    EXPECT_EQ(transposeEvents(events, 0), events);
}

TEST(EventTransforms, VelocityScalesFromTheTracksOwnMeanToTheMixerVelocity) {
    MIDITrack piano = track("P", 0, {noteOn(0, 0, 60, 50), noteOn(10, 0, 62, 50), noteOn(20, 0, 64, 1),
                                     noteOn(30, 0, 65, 99), noteOff(40, 0, 60)});
    // Mean (50 + 50 + 1 + 99) / 4 = 50, target 100: doubled, capped at 127, note-offs untouched.
    piano.velocity = 100;
    const EventList scaled = applyVelocity(piano.events, piano);
    EXPECT_EQ(scaled[0][2], 100);
    EXPECT_EQ(scaled[2][2], 2);
    EXPECT_EQ(scaled[3][2], 127);
    EXPECT_EQ(scaled[4], piano.events[4]);

    // The factor comes from the track's own events, whatever list is transformed; halves
    // round away from zero.
    piano.velocity = 75;  // factor 1.5
    EXPECT_EQ(applyVelocity(EventList{noteOn(0, 0, 1, 3)}, piano)[0][2], 5);
    piano.velocity = 50;
    EXPECT_FALSE(velocityScale(piano)) << "target equal to the mean leaves velocities alone";
    piano.velocity = 0;
    EXPECT_EQ(applyVelocity(piano.events, piano)[0][2], 1) << "a target of 0 scales to 1";

    MIDITrack soft = track("S", 0, {noteOn(0, 0, 60, 1)});
    soft.velocity = 0;
    EXPECT_FALSE(velocityScale(soft));
}

TEST(EventTransforms, MixerControllersChannelsAndStrips) {
    MIDITrack silent = track("none", -1, {});
    EXPECT_TRUE(mixEvents(silent, std::nullopt, 0).empty());
    silent.volume = 90;
    silent.pan = 30;
    silent.reverb = 12;
    EXPECT_EQ(mixEvents(silent, 4, 7), (EventList{cc(7, 4, 7, 90), cc(7, 4, 10, 30), cc(7, 4, 91, 12)}));

    const EventList mixed = {cc(0, 0, 7, 1), cc(0, 0, 10, 2), cc(0, 0, 91, 3), cc(0, 0, 64, 127),
                             tempo(0, 500000), timeSignature(0, 3, 2), ev(0, {0xFF, 0x59, 0x02, 0, 0}),
                             endOfTrack(9), program(0, 0, 5), program(0, 1, 6), program(3, 0, 7)};
    EXPECT_EQ(stripAllMixCC(mixed).size(), mixed.size() - 3);
    const EventList noTempo = stripTempoMeta(mixed);
    EXPECT_EQ(noTempo.size(), mixed.size() - 2);
    EXPECT_EQ(noTempo[4], mixed[6]) << "key signatures stay";
    EXPECT_EQ(stripEndOfTrackMeta(mixed).size(), mixed.size() - 1);
    const EventList programs = stripTickZeroProgramEvents(mixed, 0);
    EXPECT_EQ(programs.size(), mixed.size() - 1) << "only tick-0 programs on the channel go";
    EXPECT_EQ(stripTickZeroProgramEvents(mixed, -1), mixed);

    const EventList channels = {noteOn(0, 2, 60), cc(0, 3, 1, 5), ev(0, {0xF0, 0x01, 0xF7}), program(0, 2, 1)};
    EXPECT_EQ(stripChannelEventsWithoutNotes(channels), (EventList{channels[0], channels[2], channels[3]}));
    const EventList noNotes = {cc(0, 3, 1, 5), program(0, 4, 1)};
    EXPECT_EQ(stripChannelEventsWithoutNotes(noNotes), noNotes);

    EXPECT_EQ(remapChannel(channels, 7)[1], cc(0, 7, 1, 5));
    EXPECT_EQ(remapChannel(channels, 7)[2], channels[2]);
    EXPECT_EQ(remapChannel(channels, 16), channels);
}

TEST(EventTransforms, TrackNamesAndDrumMapping) {
    EXPECT_EQ(trackNameEvent(track("", 0, {})), ev(0, {0xFF, 0x03, 0x00}));
    const MIDIEvent longName = trackNameEvent(track(std::string(200, 'x'), 0, {}));
    ASSERT_EQ(longName.size(), 4u + 200u);
    EXPECT_EQ(longName[2], 0x81);
    EXPECT_EQ(longName[3], 0x48);

    const EventList melodic = {program(0, 2, 40), noteOn(10, 2, 60), cc(10, 2, 1, 3), noteOff(20, 2, 60),
                               ev(20, {0xFF, 0x01, 0x01, 'a'})};
    EXPECT_EQ(drumMappedEvents(melodic, 0, 38),
              (EventList{program(0, 9, 0), noteOn(10, 9, 38), cc(10, 9, 1, 3), noteOff(20, 9, 38), melodic[4]}));
}

TEST(EventTransforms, MergeChannelAssignment) {
    const auto channelsOf = [](std::vector<int> own) {
        std::vector<MIDITrack> tracks;
        for (const int channel : own) tracks.push_back(track("t", channel, {}));
        return assignedChannelsForMergedTracks(tracks);
    };
    EXPECT_EQ(channelsOf({0, 0, 9, 9, -1}), (std::vector<int>{0, 1, 9, 9, 2}));
    std::vector<int> expected = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 9, 0};
    EXPECT_EQ(channelsOf(std::vector<int>(17, 0)), expected);
    EXPECT_EQ(channelsOf({5, 3, 5}), (std::vector<int>{5, 3, 0}));
}

// The order the builders produce must be exactly the writer's own order, and the writer must
// take it as it is.
TEST(ExportOrder, MatchesTheWritersOrderForRandomListsAndIsAFixedPoint) {
    std::mt19937 random(7);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const auto randomEvent = [&](std::uint32_t tick) -> MIDIEvent {
        switch (pick(9)) {
            case 0: return ev(tick, {0xFF, 0x03, 0x01, 'n'});
            case 1: return cc(tick, pick(16), pick(2) == 0 ? 0 : 32, 1);
            case 2: return program(tick, pick(16), 3);
            case 3: return tempo(tick, 400000);
            case 4: return cc(tick, pick(16), 7, 100);
            case 5: return endOfTrack(tick);
            case 6: return MIDIEvent(tick, std::span<const std::uint8_t>{});
            default: return noteOn(tick, pick(16), pick(128));
        }
    };
    for (int round = 0; round < 200; ++round) {
        EventList pieces[3];
        for (auto& piece : pieces) {
            // Half of the pieces are in tick order (as tracks read from files are).
            std::uint32_t tick = 0;
            const int count = pick(40);
            const bool ordered = pick(2) == 0;
            for (int i = 0; i < count; ++i) {
                if (pick(4) == 0) tick += static_cast<std::uint32_t>(pick(3));
                piece.push_back(randomEvent(!ordered && pick(8) == 0 ? static_cast<std::uint32_t>(pick(5)) : tick));
            }
        }
        EventList all = pieces[0];
        all.insert(all.end(), pieces[1].begin(), pieces[1].end());
        all.insert(all.end(), pieces[2].begin(), pieces[2].end());
        const EventList expected = MIDIFile::sortedEventsForExport(all);
        // The one-pass form keeps only some of the middle piece's events.
        const auto keep = [](const MIDIEvent& event) { return !event.isNoteOn() || event[1] % 3 != 0; };
        EventList kept;
        for (const auto& event : pieces[1]) {
            if (keep(event)) kept.push_back(event);
        }
        EventList keptAll = pieces[0];
        keptAll.insert(keptAll.end(), kept.begin(), kept.end());
        keptAll.insert(keptAll.end(), pieces[2].begin(), pieces[2].end());
        ASSERT_EQ(mergedAroundInExportOrder(pieces[0], pieces[1], keep, pieces[2]),
                  MIDIFile::sortedEventsForExport(keptAll))
            << "round " << round;
        const EventList merged = mergedInExportOrder({&pieces[0], &pieces[1], &pieces[2]});
        ASSERT_EQ(merged, expected) << "round " << round;
        ASSERT_EQ(MIDIFile::sortedEventsForExport(merged), merged);
    }
}

}  // namespace
}  // namespace orvane::midi
