// The relationship snapshot around a tick window: note ranges, channel state at the start,
// tempo events and the stored MIDI 2.0 packets.

#include <gtest/gtest.h>

#include "MIDI2TestSupport.h"
#include "midi/export/RelationshipSnapshot.h"

namespace orvane::midi {
namespace {

using testing::ClipWords;

MIDITrack trackWith(std::initializer_list<MIDIEvent> events) {
    MIDITrack track;
    track.events = events;
    return track;
}

MIDIEventRelationshipSnapshot snapshotOf(const std::vector<MIDITrack>& tracks, std::uint32_t start,
                                         std::optional<std::uint32_t> end = std::nullopt) {
    const MIDIFile file;
    return relationshipSnapshot(file, std::span<const MIDITrack>(tracks), start, end);
}

TEST(RelationshipSnapshot, OverlappingNotesOfOneKeyPairFirstInFirstOut) {
    const std::vector<MIDITrack> tracks = {trackWith({
        MIDIEvent(0, {0x90, 60, 100}), MIDIEvent(10, {0x90, 60, 90}), MIDIEvent(20, {0x80, 60, 0}),
        MIDIEvent(30, {0x90, 60, 0}), MIDIEvent(40, {0x80, 61, 0}),  // nothing pending: ignored
    })};
    const auto snapshot = snapshotOf(tracks, 0);
    EXPECT_EQ(snapshot.noteRanges,
              (std::vector<MIDIResolvedNoteRange>{{0, 0, 60, 0, 20, 100}, {0, 0, 60, 10, 30, 90}}));
    EXPECT_TRUE(snapshot.unresolvedNoteOns.empty());
}

TEST(RelationshipSnapshot, ANoteOffListedBeforeItsNoteOnAtTheSameTickLeavesTheNoteUnresolved) {
    const std::vector<MIDITrack> tracks = {
        trackWith({MIDIEvent(100, {0x82, 64, 0}), MIDIEvent(100, {0x92, 64, 80})}),
        trackWith({MIDIEvent(5, {0x95, 30, 70})}),
    };
    const auto snapshot = snapshotOf(tracks, 0);
    EXPECT_TRUE(snapshot.noteRanges.empty());
    EXPECT_EQ(snapshot.unresolvedNoteOns,
              (std::vector<MIDIResolvedNoteRange>{{1, 5, 30, 5, std::nullopt, 70}, {0, 2, 64, 100, std::nullopt, 80}}));
}

TEST(RelationshipSnapshot, ANoteEndingAtTheWindowStartStillOverlapsIt) {
    const std::vector<MIDITrack> tracks = {trackWith({
        MIDIEvent(0, {0x90, 60, 100}),
        MIDIEvent(0, {0x90, 62, 100}),
        MIDIEvent(479, {0x80, 62, 0}),
        MIDIEvent(480, {0x80, 60, 0}),
        MIDIEvent(960, {0x90, 64, 100}),
        MIDIEvent(1000, {0x80, 64, 0}),
    })};
    const auto snapshot = snapshotOf(tracks, 480, 960);
    ASSERT_EQ(snapshot.noteRanges.size(), 1u);
    EXPECT_EQ(snapshot.noteRanges[0].note, 60);
}

TEST(RelationshipSnapshot, ChannelStateCountsEventsAtTheStartTickButNotAfter) {
    const std::vector<MIDITrack> tracks = {trackWith({
        MIDIEvent(0, {0x93, 60, 100}),
        MIDIEvent(10, {0xB1, 7, 90}),
        MIDIEvent(480, {0xB1, 7, 70}),
        MIDIEvent(481, {0xC1, 5}),
        MIDIEvent(100, {0xC1, 3}),
        MIDIEvent(200, {0xE1, 0x00, 0x40}),
        MIDIEvent(300, {0xD1, 33}),
        MIDIEvent(300, {0xA1, 60, 12}),
    })};
    const auto snapshot = snapshotOf(tracks, 480);
    ASSERT_EQ(snapshot.effectiveChannelStates.size(), 2u);
    MIDIChannelEffectiveState notesOnly;
    notesOnly.channel = 3;
    EXPECT_EQ(snapshot.effectiveChannelStates.at(3), notesOnly);
    const MIDIChannelEffectiveState& state = snapshot.effectiveChannelStates.at(1);
    EXPECT_EQ(state.controllers, (std::map<std::uint8_t, std::uint8_t>{{7, 70}}));
    EXPECT_EQ(state.program, 3);
    EXPECT_EQ(state.pitchBend14, 8192);
    EXPECT_EQ(state.channelPressure, 33);
    EXPECT_EQ(state.polyPressure, (std::map<std::uint8_t, std::uint8_t>{{60, 12}}));
}

TEST(RelationshipSnapshot, TempoEventsAroundTheWindowAndNoPacketsForAStandardFile) {
    MIDIFile file;
    file.tempoEvents = {MIDIEvent(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}),
                        MIDIEvent(480, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x21}),
                        MIDIEvent(960, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x22})};
    const auto snapshot = relationshipSnapshot(file, std::nullopt, 480, 960);
    EXPECT_EQ(snapshot.tempoEventsAtOrBeforeStart, (TimedMetaList{file.tempoEvents[0], file.tempoEvents[1]}));
    EXPECT_EQ(snapshot.tempoEventsInRange, (TimedMetaList{file.tempoEvents[1]}));
    EXPECT_TRUE(snapshot.nativePacketsInRange.empty());
    EXPECT_TRUE(snapshot.nativeEffectiveStartCandidates.empty());
    EXPECT_TRUE(snapshot.unsafeNativePackets.empty());
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
    MIDIFile file;
    ASSERT_TRUE(file.parse(clip.bytes()));
    const auto snapshot = relationshipSnapshot(file, std::nullopt, 960, 1920);
    const auto indices = [&](const std::vector<std::uint32_t>& positions) {
        std::vector<int> result;
        for (const auto& packet : snapshot.nativeSnapshots(positions)) result.push_back(packet.packetIndex);
        return result;
    };
    EXPECT_EQ(indices(snapshot.nativePacketsInRange), (std::vector<int>{10, 11, 12, 13}));
    EXPECT_EQ(indices(snapshot.nativeEffectiveStartCandidates), (std::vector<int>{6, 8, 10}));
    EXPECT_EQ(indices(snapshot.unsafeNativePackets), (std::vector<int>{1, 12}));
    EXPECT_EQ(snapshot.noteRanges.size(), 1u);
    EXPECT_EQ(snapshot.unresolvedNoteOns.size(), 1u);
}

}  // namespace
}  // namespace orvane::midi
