// The relationship snapshot around a tick window, as the MIDI 2.0 loop planning reads it: the
// channels with state at the start, and the stored packets in range, at the start and unsafe.
// (The loop planning tests check how the packets are then classified.)

#include <gtest/gtest.h>

#include "MIDI2TestSupport.h"
#include "midi/export/RelationshipSnapshot.h"

namespace orvane::midi {
namespace {

using testing::ClipWords;

TEST(RelationshipSnapshot, ChannelStateCountsEventsAtTheStartTickButNotAfter) {
    // Channels 3 (a note) and 1 (a controller at the start tick) have state; channel 2 starts later.
    MIDITrack track;
    track.events = {MIDIEvent(0, {0x93, 60, 100}), MIDIEvent(480, {0xB1, 7, 70}), MIDIEvent(481, {0xC2, 5})};
    const std::vector<MIDITrack> tracks = {track};
    const MIDIFile file;
    const auto snapshot = relationshipSnapshot(file, std::span<const MIDITrack>(tracks), 480, std::nullopt);
    ASSERT_EQ(snapshot.effectiveChannelStates.size(), 2u);
    EXPECT_EQ(snapshot.effectiveChannelStates.at(1).controllers, (std::map<std::uint8_t, std::uint8_t>{{7, 70}}));
}

TEST(RelationshipSnapshot, StoredPacketsAreSortedIntoRangeStartStateAndUnsafe) {
    ClipWords clip;
    clip.dc(0)
        .midi1(0, 0x90, 10, 100)  // before Start of Clip: ambiguous
        .add({0x00300000 | 480})
        .dc(0).startOfClip()
        .dc(0).midi2(0, 0xB0, 7, 0x80000000)  // 6: tick 0, start-state candidate
        .dc(0).tempo(50000000)  // 8: global, tick 0
        .dc(960).midi2(0, 0x90, 60, 0x80000000)  // 10: tick 960 (its Delta Clockstamp sits at 0)
        .dc(0).midi2(0, 0x25, 0, 0)  // 12: unsupported
        .dc(960).midi2(0, 0x80, 60, 0)  // 14: tick 1920
        .footer();
    const MIDIFile file = testing::imported(clip);
    const auto snapshot = relationshipSnapshot(file, std::nullopt, 960, 1920);
    const auto indices = [&](const std::vector<std::uint32_t>& positions) {
        std::vector<int> result;
        for (const auto& packet : snapshot.nativeSnapshots(positions)) result.push_back(packet.packetIndex);
        return result;
    };
    EXPECT_EQ(indices(snapshot.nativePacketsInRange), (std::vector<int>{10, 11, 12, 13}));
    EXPECT_EQ(indices(snapshot.nativeEffectiveStartCandidates), (std::vector<int>{6, 8, 10}));
    EXPECT_EQ(indices(snapshot.unsafeNativePackets), (std::vector<int>{1, 12}));
}

}  // namespace
}  // namespace orvane::midi
