// Writing imported native packets back: candidates, exact matches, every blocker, the
// all-or-nothing rule, ambiguity on split, and the loop classification and dry run.

#include <gtest/gtest.h>

#include <algorithm>

#include "MIDI2TestSupport.h"
#include "midi/midi2/MIDI2ClipFile.h"
#include "midi/midi2/MIDI2Export.h"

namespace orvane::midi {
namespace {

using testing::ClipWords;
using Blocker = MIDI2NativeReexportBlocker;
using Words = std::vector<std::uint32_t>;

constexpr std::uint32_t velocityHighRes = 0xC8140000;  // velocity7 100 and low bits set

MIDIFile importedClip(const ClipWords& clip) {
    MIDIFile file;
    EXPECT_TRUE(file.parse(clip.bytes()));
    return file;
}

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

bool contains(const std::vector<Words>& packets, const Words& words) {
    return std::find(packets.begin(), packets.end(), words) != packets.end();
}

MIDI2NativeReplacementExport fullMerge(const MIDIFile& file, bool applyMixerSettings = false, int transpose = 0,
                                       std::optional<double> newBPM = std::nullopt) {
    const std::vector<MIDITrack> tracks = file.musicalTracks().copies();
    return buildMIDI2ClipWithNativeReplacement(
        file, midi2FullMergedExportRequest(file, tracks, transpose, newBPM, applyMixerSettings));
}

TEST(MIDI2NativePlanning, AnUneditedFullMergeWritesEveryNativePacketBack) {
    const MIDIFile file = importedClip(twoTrackClip());
    const auto exported = fullMerge(file);
    const auto& eligibility = exported.eligibility;
    EXPECT_TRUE(eligibility.blockers.empty());
    EXPECT_TRUE(eligibility.canReexportNativePackets);
    EXPECT_EQ(eligibility.candidatePackets, 6);
    EXPECT_EQ(eligibility.structurallyEligiblePackets, 6);
    EXPECT_EQ(eligibility.highResolutionEligiblePackets, 2);
    EXPECT_EQ(eligibility.nativeReexportedPackets, 6);
    EXPECT_EQ(eligibility.notes,
              (std::vector<std::string>{"Native re-export must replace, not duplicate, down-converted editable events "
                                        "before it can be enabled."}));
    // The clip was written in export order, so it comes back byte for byte.
    EXPECT_EQ(exported.data, twoTrackClip().bytes());
}

TEST(MIDI2NativePlanning, UnsafePacketsAreCountedAndNamedInTheNotes) {
    ClipWords clip;
    clip.dc(0).midi1(0, 0x90, 30, 90)  // before Start of Clip: ambiguous
        .add({0x00300000 | 480}).dc(0).startOfClip()
        .dc(0).midi2(0, 0x90, 60, velocityHighRes)
        .dc(0).add({0x10F80000})  // a System packet: skipped
        .dc(480).midi2(0, 0x80, 60, 0)
        .footer();
    const MIDIFile file = importedClip(clip);
    EXPECT_EQ(file.midi2NativePacketSnapshots.tally(), (MIDI2NativePacketInventory::Tally{2, 2}));
    // The inventory worked out from the clip's words reads like one built from its snapshots.
    const auto snapshots = file.midi2NativePacketSnapshots.snapshots();
    EXPECT_EQ(MIDI2NativePacketInventory(snapshots).snapshots(), snapshots);
    EXPECT_EQ(MIDI2NativePacketInventory(snapshots).tally(), file.midi2NativePacketSnapshots.tally());
    const auto exported = fullMerge(file);
    EXPECT_EQ(exported.eligibility.unsafePackets, 2);
    EXPECT_EQ(exported.eligibility.notes.front(), "2 unsafe/unsupported native packet(s) would remain skipped and reported.");
}

TEST(MIDI2NativePlanning, MixerValuesAloneBlockAndTheFileFallsBackToMIDI1Packets) {
    const MIDIFile file = importedClip(twoTrackClip());
    const auto exported = fullMerge(file, true);
    EXPECT_EQ(exported.eligibility.blockerCategories, (std::vector<Blocker>{Blocker::mixerSettings}));
    EXPECT_FALSE(exported.eligibility.canReexportNativePackets);
    EXPECT_EQ(exported.eligibility.nativeReexportedPackets, 0);
    const auto packets = packetWords(exported.data);
    EXPECT_FALSE(contains(packets, Words{0x40903C00, velocityHighRes}));
    EXPECT_TRUE(contains(packets, Words{0x20903C64}));
}

TEST(MIDI2NativePlanning, EditsTransposeTempoAndPartialMergesEachBlock) {
    const MIDIFile file = importedClip(twoTrackClip());
    EXPECT_EQ(fullMerge(file, false, 2).eligibility.blockerCategories,
              (std::vector<Blocker>{Blocker::transpose, Blocker::editedOrNonmatchingEvents,
                                    Blocker::noExactMatchReplacements}));
    EXPECT_EQ(fullMerge(file, false, 0, 90.0).eligibility.blockerCategories,
              (std::vector<Blocker>{Blocker::tempoOverride}));

    const std::vector<MIDITrack> first = {file.musicalTracks()[0]};
    const auto partial =
        buildMIDI2ClipWithNativeReplacement(file, midi2FullMergedExportRequest(file, first, 0, std::nullopt, false));
    EXPECT_EQ(partial.eligibility.blockerCategories,
              (std::vector<Blocker>{Blocker::partialTrackExport, Blocker::editedOrNonmatchingEvents}));
    EXPECT_EQ(partial.eligibility.blockers,
              (std::vector<std::string>{"Export does not represent every musical track from the imported file.",
                                        "2 native candidate packet(s) do not exactly match the current editable export "
                                        "events."}));
}

TEST(MIDI2NativePlanning, OneEditedNoteBlocksTheWholeFile) {
    MIDIFile file = importedClip(twoTrackClip());
    file.mutableTracks()[0].events[2].mutableData()[2] = 90;  // the second note's velocity
    const auto exported = fullMerge(file);
    EXPECT_EQ(exported.eligibility.blockerCategories, (std::vector<Blocker>{Blocker::editedOrNonmatchingEvents}));
    EXPECT_EQ(exported.eligibility.blockers,
              (std::vector<std::string>{
                  "1 native candidate packet(s) do not exactly match the current editable export events."}));
    const auto packets = packetWords(exported.data);
    EXPECT_EQ(std::count_if(packets.begin(), packets.end(), [](const Words& w) { return w[0] >> 28 == 0x4; }), 0);
}

TEST(MIDI2NativePlanning, ASplitReexportsOnlyItsOwnTracksPackets) {
    const MIDIFile file = importedClip(twoTrackClip());
    const auto exported =
        buildSingleTrackMIDI2ClipWithNativeReplacement(file, file.musicalTracks()[1], 0, std::nullopt);
    EXPECT_TRUE(exported.eligibility.blockers.empty());
    EXPECT_EQ(exported.eligibility.operation, MIDI2NativeReexportOperation::splitExport);
    EXPECT_EQ(exported.eligibility.candidatePackets, 2);
    EXPECT_EQ(exported.eligibility.nativeReexportedPackets, 2);
    const auto packets = packetWords(exported.data);
    EXPECT_TRUE(contains(packets, Words{0x40912800, 0x80000000}));
    EXPECT_FALSE(contains(packets, Words{0x40903C00, velocityHighRes}));
}

TEST(MIDI2NativePlanning, CandidatesSharingAKeyAcrossGroupsAreAmbiguousOnSplit) {
    ClipWords clip;
    clip.header(480)
        .dc(0).midi2(0, 0x90, 60, 0x80000000)
        .dc(0).midi2(1, 0x90, 60, 0x80000000)  // same channel and note in group 2
        .dc(480).midi2(0, 0x80, 60, 0)
        .footer();
    const MIDIFile file = importedClip(clip);
    const auto scoped = midi2ScopedNativeCandidates(file, file.tracks()[0].events);
    EXPECT_EQ(scoped.ambiguousPackets, 2);
    EXPECT_EQ(scoped.snapshots.size(), 1u);  // the note-off
    const auto exported = buildSingleTrackMIDI2ClipWithNativeReplacement(file, file.tracks()[0], 0, std::nullopt);
    EXPECT_EQ(exported.eligibility.blockerCategories, (std::vector<Blocker>{Blocker::unsafeNativeMetadata}));
    EXPECT_EQ(exported.eligibility.blockers,
              (std::vector<std::string>{"2 native candidate packet(s) have ambiguous split ownership."}));
}

TEST(MIDI2NativePlanning, EqualKeysTakeTheirPacketsInListOrder) {
    ClipWords clip;
    clip.header(480)
        .dc(0).midi2(0, 0x90, 60, 0xC8000000)
        .dc(0).midi2(0, 0x90, 60, 0xC8010000)  // the same MIDI 1.0 bytes, other native words
        .footer();
    const MIDIFile file = importedClip(clip);
    const auto decision = midi2NativeReplacementPlan(file, file.tracks()[0].events, std::nullopt);
    EXPECT_EQ(decision.matchedPackets, 2);
    const auto key = *MIDI2NativeReplacementKey::of(0, Bytes{0x90, 60, 100});
    EXPECT_EQ(decision.replacementPlan.packets(key),
              (std::vector<MIDI2UMPPacket>{MIDI2UMPPacket({0x40903C00, 0xC8000000}),
                                           MIDI2UMPPacket({0x40903C00, 0xC8010000})}));
    const auto exported = fullMerge(file);
    EXPECT_EQ(exported.data, clip.bytes());

    // One event for two packets: the second does not match.
    const EventList one = {MIDIEvent(0, {0x90, 60, 100})};
    const auto single = midi2NativeReplacementPlan(file, one, std::nullopt);
    EXPECT_EQ(single.matchedPackets, 1);
    EXPECT_EQ(single.nonmatchingPackets, 1);
}

TEST(MIDI2NativePlanning, CandidatesWithoutSafeMetadataBlock) {
    MIDIFile file = importedClip(twoTrackClip());
    MIDI2NativePacketSnapshot snapshot;
    snapshot.packetIndex = 0;
    snapshot.sequenceTick = 0;
    snapshot.channel = 0;  // no group
    snapshot.messageType = "midi2ChannelVoice";
    snapshot.words = {0x40903C00, velocityHighRes};
    snapshot.scope = MIDI2NativePacketScope::safelyScoped;
    snapshot.action = MIDI2NativePacketAction::storedNativeCandidate;
    snapshot.reason = "Built by hand.";
    file.midi2NativePacketSnapshots = MIDI2NativePacketInventory{snapshot};
    EXPECT_EQ(file.midi2NativePacketSnapshots[0], snapshot);
    const auto exported = fullMerge(file);
    EXPECT_EQ(exported.eligibility.structurallyEligiblePackets, 0);
    EXPECT_EQ(exported.eligibility.blockers.front(),
              "1 native candidate packet(s) are missing safe timing, group, channel, or scope metadata.");
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
    const MIDIFile file = importedClip(loopClip());
    const MIDIEventRelationshipSnapshot relationship = relationshipSnapshot(file, std::nullopt, 1920, 3840);
    const auto classification = midi2NativeLoopPacketClassification(relationship, 1920, 3840, 1920, 4, false);
    // Before 1920: the controller and the notes at 0 ... 1440 (8 packets) are start state.
    EXPECT_EQ(classification.copyOnceEffectiveStartCandidatePackets, 9);
    EXPECT_EQ(classification.copyOnceActionPackets(), 9);
    EXPECT_EQ(classification.boundaryStartCandidatePackets, 1);
    EXPECT_EQ(classification.moveToLoopStartActionPackets(), 1);
    EXPECT_EQ(classification.repeatPerPassActionPackets(), 7);  // 2160 ... 3600
    const auto& actions = classification.packetActions;
    ASSERT_FALSE(actions.empty());
    EXPECT_EQ(actions.front().policy, MIDI2NativeLoopPacketPolicy::copyOnceEffectiveStart);
    EXPECT_EQ(actions.front().outputTick, 0u);
    EXPECT_EQ(actions.front().reason,
              "Pre-loop native setup/effective-start packet required before loop playback begins.");
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
    const MIDIFile file = importedClip(clip);
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
    EXPECT_EQ(plan->replacementMatchedOutputEvents(), 4);
    EXPECT_EQ(plan->duplicateRiskOutputEvents(), 2);
    EXPECT_EQ(plan->unmatchedOutputEvents(), 0);
}

TEST(MIDI2LoopPlanning, WithoutNativePacketsEverythingIsEmpty) {
    MIDIFile file;
    const MIDIEventRelationshipSnapshot relationship = relationshipSnapshot(file, std::nullopt, 0, 480);
    const auto classification = midi2NativeLoopPacketClassification(relationship, 0, 480, 480, 2, false);
    EXPECT_TRUE(classification.packetActions.empty());
    EXPECT_EQ(classification.effectiveStartCandidatePackets, 0);
    const auto plan = midi2NativeLoopDryRunPlan(classification, relationship, {});
    ASSERT_TRUE(plan);
    EXPECT_TRUE(plan->packetPlans.empty());
    EXPECT_EQ(plan->plannedOutputEvents(), 0);
}

TEST(MIDI2LoopPlanning, LoopExportsNameEveryLoopBlockerOnceByCategory) {
    const MIDIFile file = importedClip(loopClip());
    const auto exported = buildSingleTrackLoopMIDI2ClipWithNativePlanning(file, file.musicalTracks()[0], 2.0, 4.0, 3,
                                                                          true, 0, std::nullopt);
    const auto& eligibility = exported.eligibility;
    EXPECT_EQ(eligibility.blockerCategories,
              (std::vector<Blocker>{Blocker::unsupportedOperation, Blocker::loopTimingRewrite,
                                    Blocker::effectiveStartState, Blocker::loopRepeat}));
    ASSERT_GE(eligibility.blockers.size(), 5u);
    EXPECT_EQ(eligibility.blockers[1],
              "Loop export rebases source tick range 1920-3840 to tick 0, so native packet timing must be classified "
              "before re-export.");
    EXPECT_EQ(eligibility.blockers[3],
              "Loop export repeats the source range 3 time(s); native packets must be classified as repeat-per-pass or "
              "copy-once before native re-export is safe.");
    EXPECT_EQ(eligibility.blockers[4],
              "Tighten-loop can trim or shift the effective source range, so native packet ownership must be "
              "revalidated before native re-export.");
    ASSERT_GE(eligibility.notes.size(), 3u);
    EXPECT_EQ(eligibility.notes[0],
              "Loop planner classified 8 native packet candidate(s) as repeat-per-pass candidates.");
    EXPECT_EQ(eligibility.notes[1],
              "Loop planner classified 9 pre-loop native packet candidate(s) as copy-once/effective-start candidates.");
    ASSERT_TRUE(eligibility.loopDryRunPlan);
    EXPECT_EQ(eligibility.loopDryRunPlan->repeatCount, 3);
    EXPECT_FALSE(eligibility.canReexportNativePackets);
}

}  // namespace
}  // namespace orvane::midi
