// The event transforms the exports pass tracks through, and the export order the builders
// hand to the writer.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
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
    // Velocity-0 note-ons are notes too; key pressure is not transposed.
    EXPECT_EQ(transposeEvents(events, 5), (EventList{noteOn(0, 0, 127), noteOff(10, 0, 127), noteOn(0, 1, 7, 0),
                                                     noteOn(0, 9, 38), events[4], events[5]}));
    EXPECT_EQ(transposeEvents(events, -5)[2], noteOn(0, 1, 0, 0));
}

TEST(EventTransforms, VelocityScalesFromTheTracksOwnMeanToTheMixerVelocity) {
    MIDITrack piano = track("P", 0, {noteOn(0, 0, 60, 50), noteOn(10, 0, 62, 50), noteOn(20, 0, 64, 1),
                                     noteOn(30, 0, 65, 99), noteOff(40, 0, 60)});
    // Mean (50 + 50 + 1 + 99) / 4 = 50, target 100: doubled, capped at 127, note-offs untouched.
    piano.velocity = 100;
    EXPECT_EQ(applyVelocity(piano.events, piano), (EventList{noteOn(0, 0, 60, 100), noteOn(10, 0, 62, 100),
                                                             noteOn(20, 0, 64, 2), noteOn(30, 0, 65, 127),
                                                             noteOff(40, 0, 60)}));

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

// The strips and the mixer controllers are checked in the files the builders write
// (TrackExportTests.cpp); here the cases those files do not hold.
TEST(EventTransforms, StripsLeaveChannelsWithoutNotesAndUnknownChannelsAlone) {
    const EventList noNotes = {cc(0, 3, 1, 5), program(0, 4, 1)};
    EXPECT_EQ(stripChannelEventsWithoutNotes(noNotes), noNotes);
    EXPECT_EQ(stripTickZeroProgramEvents(noNotes, -1), noNotes);
    EXPECT_EQ(remapChannel(noNotes, 16), noNotes);
    EXPECT_TRUE(mixEvents(track("none", -1, {}), std::nullopt, 0).empty());
    const MIDIEvent key = ev(0, {0xFF, 0x59, 0x02, 0, 0});
    EXPECT_EQ(stripTempoMeta(EventList{tempo(0, 500000), timeSignature(0, 3, 2), key}), EventList{key}) << "keys stay";
}

TEST(EventTransforms, TrackNamesAndDrumMapping) {
    Bytes longName = {0xFF, 0x03, 0x81, 0x48};
    longName.insert(longName.end(), 200, 'x');
    EXPECT_EQ(trackNameEvent(track(std::string(200, 'x'), 0, {})), MIDIEvent(0, longName));

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
    EXPECT_EQ(channelsOf(std::vector<int>(17, 0)), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15, 9, 0}));
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
    const auto joined = [](EventList all, const EventList& middle, const EventList& last) {
        all.insert(all.end(), middle.begin(), middle.end());
        all.insert(all.end(), last.begin(), last.end());
        return all;
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
        const EventList expected = MIDIFile::sortedEventsForExport(joined(pieces[0], pieces[1], pieces[2]));
        // The one-pass form keeps only some of the middle piece's events.
        const auto keep = [](const MIDIEvent& event) { return !event.isNoteOn() || event[1] % 3 != 0; };
        EventList kept;
        std::copy_if(pieces[1].begin(), pieces[1].end(), std::back_inserter(kept), keep);
        ASSERT_EQ(mergedAroundInExportOrder(pieces[0], pieces[1], keep, pieces[2]),
                  MIDIFile::sortedEventsForExport(joined(pieces[0], kept, pieces[2])))
            << "round " << round;
        const EventList merged = mergedInExportOrder({&pieces[0], &pieces[1], &pieces[2]});
        ASSERT_EQ(merged, expected) << "round " << round;
        ASSERT_EQ(MIDIFile::sortedEventsForExport(merged), merged);
    }
}

}  // namespace
}  // namespace orvane::midi
