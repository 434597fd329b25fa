// Writing imported native packets back: candidates, exact matches, blockers, the all-or-nothing
// rule, ambiguity on split, and the loop classification and dry run.

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "MIDI2TestSupport.h"
#include "midi/midi2/MIDI2ClipFile.h"
#include "midi/midi2/MIDI2Export.h"

namespace orvane::midi {
namespace {

using testing::ClipWords;
using testing::imported;
using Blocker = MIDI2NativeReexportBlocker;
using Words = std::vector<std::uint32_t>;

constexpr std::uint32_t velocityHighRes = 0xC8140000;  // velocity7 100 and low bits set

// Two tracks of MIDI 2.0 notes: group 0 channel 0 and group 0 channel 1.
ClipWords twoTrackClip() {
    ClipWords clip;
    clip.header(480)
        .dc(0).midi2(0, 0x90, 60, velocityHighRes)
        .dc(0).midi2(0, 0x91, 40, 0x80000000)
        .dc(480).midi2(0, 0x80, 60, 0)
        .dc(0).midi2(0, 0x81, 40, 0)
        .dc(480).midi2(0, 0x90, 62, velocityHighRes)
        .dc(480).midi2(0, 0x80, 62, 0)
        .footer();
    return clip;
}

std::vector<Words> packetWords(const Bytes& data) {
    std::vector<Words> words;
    for (const auto& packet : MIDI2ClipFile::parse(data).packets) words.push_back(testing::wordsOf(packet));
    return words;
}

MIDI2NativeReplacementExport mergeOf(const MIDIFile& file, const std::vector<MIDITrack>& tracks) {
    return buildMIDI2ClipWithNativeReplacement(file, midi2FullMergedExportRequest(file, tracks, 0, std::nullopt, false));
}
MIDI2NativeReplacementExport fullMerge(const MIDIFile& file) { return mergeOf(file, file.musicalTracks().copies()); }

TEST(MIDI2NativePlanning, UnsafePacketsAreCountedAndNamedInTheNotes) {
    ClipWords clip;
    clip.dc(0).midi1(0, 0x90, 30, 90)  // before Start of Clip: ambiguous
        .add({0x00300000 | 480}).dc(0).startOfClip()
        .dc(0).midi2(0, 0x90, 60, velocityHighRes)
        .dc(0).add({0x10F80000})  // a System packet: skipped
        .dc(480).midi2(0, 0x80, 60, 0)
        .footer();
    const MIDIFile file = imported(clip);
    EXPECT_EQ(file.midi2NativePacketSnapshots.tally(), (MIDI2NativePacketInventory::Tally{2, 2}));
    // The inventory worked out from the clip's words reads like one built from its snapshots.
    const auto snapshots = file.midi2NativePacketSnapshots.snapshots();
    EXPECT_EQ(MIDI2NativePacketInventory(snapshots).snapshots(), snapshots);
    EXPECT_EQ(MIDI2NativePacketInventory(snapshots).tally(), file.midi2NativePacketSnapshots.tally());
    const auto eligibility = fullMerge(file).eligibility;
    EXPECT_EQ(std::tuple(eligibility.unsafePackets, eligibility.notes.front()),
              std::tuple(2, "2 unsafe/unsupported native packet(s) would remain skipped and reported."));
}

// orvane-cli's tests check the blockers of mixer values, transposition and tempo overrides.
TEST(MIDI2NativePlanning, AMergeOfSomeTracksBlocks) {
    const MIDIFile file = imported(twoTrackClip());
    EXPECT_EQ(mergeOf(file, {file.musicalTracks()[0]}).eligibility.blockerCategories,
              (std::vector<Blocker>{Blocker::partialTrackExport, Blocker::editedOrNonmatchingEvents}));
}

TEST(MIDI2NativePlanning, OneEditedNoteBlocksTheWholeFile) {
    MIDIFile file = imported(twoTrackClip());
    file.mutableTracks()[0].events[2].mutableData()[2] = 90;  // the second note's velocity
    const auto exported = fullMerge(file);
    EXPECT_EQ(exported.eligibility.blockers,
              (std::vector<std::string>{
                  "1 native candidate packet(s) do not exactly match the current editable export events."}));
    const auto packets = packetWords(exported.data);
    EXPECT_EQ(std::count_if(packets.begin(), packets.end(), [](const Words& w) { return w[0] >> 28 == 0x4; }), 0);
}

TEST(MIDI2NativePlanning, ASplitReexportsOnlyItsOwnTracksPackets) {
    const MIDIFile file = imported(twoTrackClip());
    const auto exported =
        buildSingleTrackMIDI2ClipWithNativeReplacement(file, file.musicalTracks()[1], 0, std::nullopt);
    EXPECT_EQ(exported.eligibility.nativeReexportedPackets, 2);
    const auto packets = packetWords(exported.data);
    EXPECT_EQ(std::ranges::count(packets, Words{0x40912800, 0x80000000}), 1);
    EXPECT_EQ(std::ranges::count(packets, Words{0x40903C00, velocityHighRes}), 0);
}

TEST(MIDI2NativePlanning, CandidatesSharingAKeyAcrossGroupsAreAmbiguousOnSplit) {
    ClipWords clip;
    clip.header(480)
        .dc(0).midi2(0, 0x90, 60, 0x80000000)
        .dc(0).midi2(1, 0x90, 60, 0x80000000)  // same channel and note in group 2
        .dc(480).midi2(0, 0x80, 60, 0)
        .footer();
    const MIDIFile file = imported(clip);
    const auto exported = buildSingleTrackMIDI2ClipWithNativeReplacement(file, file.tracks()[0], 0, std::nullopt);
    EXPECT_EQ(exported.eligibility.blockers,
              (std::vector<std::string>{"2 native candidate packet(s) have ambiguous split ownership."}));
}

TEST(MIDI2NativePlanning, EqualKeysTakeTheirPacketsInListOrder) {
    ClipWords clip;
    clip.header(480)
        .dc(0).midi2(0, 0x90, 60, 0xC8000000)
        .dc(0).midi2(0, 0x90, 60, 0xC8010000)  // the same MIDI 1.0 bytes, other native words
        .footer();
    const MIDIFile file = imported(clip);
    EXPECT_EQ(fullMerge(file).data, clip.bytes());

    // One event for two packets: the second does not match.
    const EventList one = {MIDIEvent(0, {0x90, 60, 100})};
    const auto single = midi2NativeReplacementPlan(file, one, std::nullopt);
    EXPECT_EQ(std::tuple(single.matchedPackets, single.nonmatchingPackets), std::tuple(1, 1));
}

// ---- Loops ------------------------------------------------------------------------------------

// Notes every 480 ticks from 0 to 4320 on group 0 channel 0, a volume controller at tick 0,
// and a note of group 1 channel 0 at 2400 with the same bytes as group 0's note there.
ClipWords loopClip() {
    ClipWords clip;
    clip.header(480).dc(0).midi2(0, 0xB0, 7, 0xC8000000);
    std::uint32_t last = 0;
    for (std::uint32_t tick = 0; tick <= 4320; tick += 480) {
        clip.dc(tick - last).midi2(0, 0x90, 60, 0xC8000000).dc(240).midi2(0, 0x80, 60, 0);
        last = tick + 240;
    }
    return clip.footer();
}

TEST(MIDI2LoopPlanning, PacketsInsideTheLoopRepeatEveryPassAndPreLoopStateIsCopiedOnce) {
    const MIDIFile file = imported(loopClip());
    const MIDIEventRelationshipSnapshot relationship = relationshipSnapshot(file, std::nullopt, 1920, 3840);
    const auto classification = midi2NativeLoopPacketClassification(relationship, 1920, 3840, 1920, 4, false);
    // Before 1920: the controller and the notes at 0 ... 1440 (8 packets) are start state;
    // 2160 ... 3600 repeat.
    EXPECT_EQ((std::vector<int>{classification.copyOnceEffectiveStartCandidatePackets,
                                classification.copyOnceActionPackets(), classification.boundaryStartCandidatePackets,
                                classification.moveToLoopStartActionPackets(), classification.repeatPerPassActionPackets()}),
              (std::vector<int>{9, 9, 1, 1, 7}));
    const auto& actions = classification.packetActions;
    ASSERT_FALSE(actions.empty());
    EXPECT_EQ(std::tuple(actions.front().policy, actions.front().outputTick),
              std::tuple(MIDI2NativeLoopPacketPolicy::copyOnceEffectiveStart, 0u));
    EXPECT_TRUE(std::is_sorted(actions.begin(), actions.end(),
                               [](const auto& a, const auto& b) { return a.packetIndex < b.packetIndex; }));

    // The exported loop holds the note of 2400 at 480 + k * 1920 for four passes.
    EventList exported;
    for (std::uint32_t pass = 0; pass < 4; ++pass) exported.emplace_back(480 + pass * 1920, Bytes{0x90, 60, 100});
    const auto plan = midi2NativeLoopDryRunPlan(classification, relationship, exported);
    ASSERT_TRUE(plan);
    const auto note = std::find_if(plan->packetPlans.begin(), plan->packetPlans.end(), [](const auto& p) {
        return p.sourceTick == 2400u && p.policy == MIDI2NativeLoopPacketPolicy::repeatPerPass;
    });
    ASSERT_NE(note, plan->packetPlans.end());
    EXPECT_EQ(note->outputTicks, (std::vector<std::uint32_t>{480, 2400, 4320, 6240}));
    EXPECT_EQ(note->matchedOutputTicks, note->outputTicks);
}

TEST(MIDI2LoopPlanning, TwoPacketsForOneExportedEventLeaveADuplicateRiskPerPass) {
    ClipWords clip;
    clip.header(480)
        .dc(120).midi2(0, 0x90, 60, 0xC8000000)
        .dc(0).midi2(1, 0x90, 60, 0xC8000000)  // the same bytes in group 2
        .dc(120).midi2(0, 0x80, 60, 0)
        .footer();
    const MIDIFile file = imported(clip);
    const MIDIEventRelationshipSnapshot relationship = relationshipSnapshot(file, std::nullopt, 0, 480);
    const auto classification = midi2NativeLoopPacketClassification(relationship, 0, 480, 480, 2, false);
    EXPECT_EQ(classification.repeatPerPassActionPackets(), 3);
    const EventList exported = {MIDIEvent(120, {0x90, 60, 100}), MIDIEvent(240, {0x80, 60, 0}),
                                MIDIEvent(600, {0x90, 60, 100}), MIDIEvent(720, {0x80, 60, 0})};
    const auto plan = midi2NativeLoopDryRunPlan(classification, relationship, exported);
    ASSERT_TRUE(plan);
    ASSERT_EQ(plan->packetPlans.size(), 3u);
    EXPECT_EQ(plan->packetPlans[0].matchedOutputTicks, (std::vector<std::uint32_t>{120, 600}));
    EXPECT_EQ(plan->packetPlans[1].duplicateRiskOutputTicks, (std::vector<std::uint32_t>{120, 600}));
    EXPECT_EQ((std::vector<int>{plan->replacementMatchedOutputEvents(), plan->duplicateRiskOutputEvents(),
                                plan->unmatchedOutputEvents()}),
              (std::vector<int>{4, 2, 0}));
}

}  // namespace
}  // namespace orvane::midi
