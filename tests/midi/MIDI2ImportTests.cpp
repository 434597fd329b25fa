// Importing MIDI Clip files into the editable song: tracks per group and channel, timing,
// tempo and time signatures, the packet inventory, hostile clips and the import report.

#include <gtest/gtest.h>

#include <tuple>

#include "MIDI2TestSupport.h"
#include "midi/model/MIDIFile.h"

namespace orvane::midi {
namespace {

using testing::ClipWords;
using testing::imported;
using testing::MarkerCapture;

std::vector<MIDIEvent> events(std::initializer_list<MIDIEvent> list) { return list; }

TEST(MIDI2Import, ASimpleClipBecomesOneTrackWithItsTimingTempoAndTimeSignature) {
    ClipWords clip;
    clip.header(96)
        .dc(0).tempo(50000000)
        .dc(0).timeSignature(3, 2, 8)
        .dc(0).midi2(0, 0x90, 60, 0xFFFF0000)
        .dc(96).midi2(0, 0x80, 60, 0x00000000)
        .footer();
    const MIDIFile file = imported(clip);
    EXPECT_EQ(std::tuple(file.wasImportedFromMIDI2Clip, file.format, file.timeDivision, file.timeSignatureDenominator,
                         file.midi2ImportedPacketCount),
              std::tuple(true, 1, 96, 4, 4));
    ASSERT_EQ(file.tracks().size(), 1u);
    const MIDITrack& track = file.tracks()[0];
    EXPECT_EQ(std::tuple(track.name, track.channel, track.velocity), std::tuple("Ch 1", 0, 127));
    EXPECT_EQ(track.events, events({MIDIEvent(0, {0x90, 60, 127}), MIDIEvent(96, {0x80, 60, 0})}));
    EXPECT_EQ(file.tempoEvents, events({MIDIEvent(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20})}));
    EXPECT_EQ(file.originalTempoEvents, file.tempoEvents);
    EXPECT_EQ(file.timeSignatureEvents, events({MIDIEvent(0, {0xFF, 0x58, 0x04, 3, 2, 24, 8})}));
}

TEST(MIDI2Import, TheClipTempoIsTheSongsReferenceTempoAndTinyTempoValuesBecomeOneMicrosecond) {
    ClipWords clip;
    clip.header(480).dc(0).tempo(60000000).dc(0).midi1(0, 0x90, 60, 100).dc(10).tempo(50).footer();
    const MIDIFile file = imported(clip);
    EXPECT_EQ(file.tempoEvents, events({MIDIEvent(0, {0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0}),  // 600000 us
                                        MIDIEvent(10, {0xFF, 0x51, 0x03, 0x00, 0x00, 0x01})}));
    // The last tempo, as for a one-track Standard MIDI File.
    EXPECT_DOUBLE_EQ(file.bpm, 60000000.0);

    const MIDIFile slowFile = imported(ClipWords().header(480).dc(0).tempo(60000000).dc(0).midi1(0, 0x90, 60, 100).footer());
    EXPECT_DOUBLE_EQ(slowFile.bpm, 100.0);
    // An override of the song's own tempo leaves the tempo map as it is.
    EXPECT_EQ(slowFile.rewrittenTempoEvents(100.0), slowFile.tempoEvents);
}

TEST(MIDI2Import, TracksFollowGroupThenChannelWithTheirNames) {
    ClipWords clip;
    clip.header(480)
        .dc(0).midi2(1, 0x99, 38, 0x80000000)  // group 2, drums, one key
        .dc(0).midi1(0, 0x90, 60, 100)
        .dc(10).midi2(1, 0x99, 38, 0x80000000)
        .dc(0).midi1(2, 0x93, 64, 90)  // group 3, channel 4
        .dc(0).midi1(0, 0xC5, 40, 0)  // channel 6: a program change
        .dc(0).midi1(0, 0x95, 70, 80)
        .dc(0).midi1(0, 0x90, 62, 100)
        .footer();
    const MIDIFile file = imported(clip);
    ASSERT_EQ(file.tracks().size(), 4u);
    std::vector<std::string> names;
    for (const MIDITrack& track : file.tracks()) names.push_back(track.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Ch 1", "Violin", "Drums - Acoustic Snare", "Group 3 Ch 4"}));
    EXPECT_EQ(file.tracks()[0].events.size(), 2u);
    EXPECT_EQ(file.tracks()[1].instrument, 40);
    EXPECT_EQ(file.tracks()[2].drumNote, 38);
    const auto& report = *file.midi2LastImportReport;
    EXPECT_EQ(report.groups, (std::set<std::uint8_t>{0, 1, 2}));
    EXPECT_EQ(report.channelsByGroup, (std::map<std::uint8_t, std::set<std::uint8_t>>{{0, {0, 5}}, {1, {9}}, {2, {3}}}));
}

TEST(MIDI2Import, EventsBeforeStartOfClipSitAtTickZeroAndAreAmbiguous) {
    ClipWords clip;
    clip.dc(0).add({0x00300000 | 480}).dc(100).midi2(0, 0x90, 60, 0x80000000).dc(50).midi1(0, 0x90, 62, 90);
    const MIDIFile file = imported(clip);
    ASSERT_EQ(file.tracks().size(), 1u);
    EXPECT_EQ(file.tracks()[0].events, events({MIDIEvent(0, {0x90, 60, 64}), MIDIEvent(0, {0x90, 62, 90})}));
    const auto snapshots = file.midi2NativePacketSnapshots.snapshots();
    ASSERT_EQ(snapshots.size(), 6u);
    EXPECT_EQ(std::tuple(snapshots[3].scope, snapshots[3].action, snapshots[3].absoluteTick, snapshots[3].sequenceTick),
              std::tuple(MIDI2NativePacketScope::ambiguous, MIDI2NativePacketAction::downConvertedToEditableModel,
                         100u, std::nullopt));
    EXPECT_EQ(snapshots[5].scope, MIDI2NativePacketScope::ambiguous);
    EXPECT_EQ(file.midi2LastImportReport->nativePreservationSummary->ambiguousPackets, 2);
}

TEST(MIDI2Import, StartOfClipResetsTheSequenceOriginAndSnapshotsDescribeEveryPacket) {
    ClipWords clip;
    clip.dc(0)
        .add({0x00300000 | 480})
        .dc(1000).startOfClip()
        .dc(20).midi2(0, 0x93, 60, 0xFFFF0000)
        .dc(0).add({0x00000000})  // NOOP
        .footer();
    const MIDIFile file = imported(clip);
    EXPECT_EQ(file.tracks()[0].events, events({MIDIEvent(20, {0x93, 60, 127})}));
    const auto snapshots = file.midi2NativePacketSnapshots.snapshots();
    ASSERT_EQ(snapshots.size(), 10u);
    EXPECT_EQ(snapshots[3].absoluteTick, 1000u);
    EXPECT_FALSE(snapshots[3].sequenceTick);
    const MIDI2NativePacketSnapshot note = snapshots[5];
    EXPECT_EQ(std::tuple(note.packetIndex, note.absoluteTick, note.sequenceTick, note.channel, note.scope, note.action),
              std::tuple(5, 1020u, 20u, 3, MIDI2NativePacketScope::safelyScoped,
                         MIDI2NativePacketAction::storedNativeCandidate));
    EXPECT_EQ(note.words, (std::vector<std::uint32_t>{0x40933C00, 0xFFFF0000}));
    EXPECT_EQ(snapshots[7].action, MIDI2NativePacketAction::skippedUnsupported);
    EXPECT_EQ(file.midi2UnsupportedPacketCount, 1);
}

TEST(MIDI2Import, HighResolutionFlagFollowsTheBitsTheDownConversionDrops) {
    ClipWords clip;
    clip.header(480)
        .dc(0).midi2(0, 0x90, 60, 0xFE000000)  // velocity7 exactly: no extra bits
        .dc(0).midi2(0, 0xB0, 7, 0xFE000000)
        .dc(0).midi2(0, 0xB0, 7, 0xFE000001)
        .dc(0).midi2(0, 0xC0, 0, 0x05000000)  // programs keep any non-zero word
        .dc(0).midi2(0, 0xE0, 0, 0x80000000)
        .footer();
    const auto snapshots = imported(clip).midi2NativePacketSnapshots.snapshots();
    const std::vector<bool> expected = {false, false, true, true, false};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(snapshots[5 + 2 * i].hasHighResolutionValue, expected[i]) << i;
    }
}

TEST(MIDI2Import, UnsupportedPacketsAreSkippedAndCounted) {
    ClipWords clip;
    clip.header(480)
        .dc(0).midi2(0, 0x25, 0, 0)  // registered controller: no MIDI 1.0 form here
        .dc(0).midi1(0, 0x90, 60, 100)
        .dc(0).add({0x10F80000})  // timing clock
        .dc(0).add({0x30010000, 0})  // SysEx7
        .dc(0).add({0x60000000})  // reserved
        .dc(0).add({0xD0100002, 0, 0, 0})  // another Flex Data status
        .dc(0).timeSignature(0, 2, 8)  // numerator 0
        .dc(0).timeSignature(4, 8, 8)  // denominator 2^8
        .dc(0).add({0xF0010000, 0, 0, 0})  // another Stream packet
        .footer();
    const MIDIFile file = imported(clip);
    EXPECT_EQ(file.midi2UnsupportedPacketCount, 8);
    EXPECT_TRUE(file.timeSignatureEvents.empty());
    const auto snapshot = file.midi2NativePacketSnapshots.snapshots()[5];
    EXPECT_EQ(std::tuple(snapshot.wasDownConverted, snapshot.channel), std::tuple(false, 5));
    const auto& report = *file.midi2LastImportReport;
    EXPECT_EQ(std::tuple(report.midi2ChannelVoicePackets, report.midi2ChannelVoiceDownConverted), std::tuple(1, 0));
    EXPECT_EQ(report.oneLineStatus(), "MIDI 2.0 Clip imported. 1 track, 24 UMP packets. 8 unsupported packet(s).");
}

TEST(MIDI2Import, ClipsWithoutAnythingToEditOrWithBrokenPacketsAreRejected) {
    Bytes odd = ClipWords().header(480).bytes();
    odd.push_back(0);
    const std::pair<Bytes, std::string> rejected[] = {
        {ClipWords().header(480).dc(0).tempo(50000000).footer().bytes(), "no importable channel voice packets"},
        {ClipWords().header(480).dc(0).midi1(0, 0x90, 60, 100).dc(0).add({0x20700000}).footer().bytes(),
         "Invalid MIDI status byte 0x70."},
        {odd, "SMF2/MIDI Clip UMP payload must be aligned to 32-bit words: 29 bytes."},
        {ClipWords().header(480).dc(0).midi1(0, 0x90, 60, 100).add({0x40903C00}).bytes(),
         "SMF2/MIDI Clip packet error: UMP type 0x4 expected 2 words, only 1 remain."},
    };
    MarkerCapture capture("1");
    for (const auto& [bytes, reason] : rejected) {
        MIDIFile file;
        EXPECT_FALSE(file.parse(bytes)) << reason;
        EXPECT_EQ(capture.lines().back(), "[MIDI2] SMF2_IMPORT_FAILED | " + reason);
    }
}

TEST(MIDI2Import, DeltaClockstampsThatOverflowThirtyTwoBitsRejectTheClip) {
    // 4096 full Delta Clockstamps and then `last` more ticks.
    const auto clipSpanning = [](std::uint32_t last) {
        ClipWords clip;
        clip.header(480).midi1(0, 0x90, 60, 100);
        for (int i = 0; i < 4096; ++i) clip.dc(0xFFFFF);
        return clip.dc(last).midi1(0, 0x80, 60, 0).bytes();
    };
    MarkerCapture capture("1");
    MIDIFile file;
    EXPECT_FALSE(file.parse(clipSpanning(0xFFFFF)));
    EXPECT_EQ(capture.lines().back(), "[MIDI2] SMF2_IMPORT_FAILED | delta tick overflow");
    // Just below the limit the clip still reads.
    ASSERT_TRUE(file.parse(clipSpanning(4095)));
    EXPECT_EQ(file.tracks()[0].events.back().tick, 0xFFFFFFFFu);
}

TEST(MIDI2Import, MillionsOfPacketsAreReadInFull) {
    ClipWords clip;
    clip.header(480);
    clip.words.reserve(1'100'000);
    for (int i = 0; i < 500'000; ++i) {
        clip.dc(1).midi1(static_cast<std::uint8_t>(i & 15), static_cast<std::uint8_t>(0x90 | (i >> 4 & 15)), 60,
                         static_cast<std::uint8_t>(i & 1 ? 0 : 100));
    }
    clip.footer();
    MIDIFile file;
    MarkerCapture quiet("0");
    ASSERT_TRUE(file.parse(clip.bytes()));
    EXPECT_EQ(file.tracks().size(), 256u);
    EXPECT_EQ(file.midi2NativePacketSnapshots.size(), 1'000'006u);
    EXPECT_EQ(file.tracks()[255].name, "Group 16 Ch 16");
    EXPECT_EQ(file.tracks()[0].events.size(), 500'000u / 256 + 1);
}

// orvane-cli's tests check the text of the import report; here what it counts.
TEST(MIDI2Import, TheImportReportCountsThePacketsOfEachKind) {
    ClipWords clip;
    clip.header(480)
        .dc(0).tempo(50000000)
        .dc(0).midi1(0, 0xC0, 0, 0)
        .dc(0).midi2(0, 0x90, 60, 0x80010000)
        .dc(480).midi2(0, 0x80, 60, 0)
        .dc(0).midi1(1, 0x99, 36, 100)
        .footer();
    const MIDIFile file = imported(clip);
    const MIDI2OperationReport& report = *file.midi2LastImportReport;
    EXPECT_EQ(report.oneLineStatus(), "MIDI 2.0 Clip imported. 2 tracks, 16 UMP packets.");
    EXPECT_EQ((std::vector<int>{report.deltaClockstampPackets, report.midi1ChannelVoicePackets,
                                report.midi2ChannelVoicePackets, report.midi2ChannelVoiceDownConverted,
                                report.flexTempoPackets}),
              (std::vector<int>{8, 2, 2, 2, 1}));
    const auto& summary = *report.nativePreservationSummary;
    EXPECT_EQ((std::vector<int>{summary.editableModelPackets, summary.nativeCandidatePackets,
                                summary.highResolutionCandidatePackets, summary.structuralPackets,
                                summary.globalPackets}),
              (std::vector<int>{5, 2, 1, 11, 1}));
}

TEST(MIDI2Import, WithOrWithoutMarkersAClipReadsTheSame) {
    // Without markers the common packets take a short path; with them every packet takes the
    // general one. Both give the same song.
    ClipWords clip;
    clip.dc(3).midi1(0, 0x90, 50, 60);  // before Start of Clip: at tick 0, ambiguous
    clip.header(96).dc(5).midi1(1, 0x92, 60, 100).midi1(1, 0xC2, 7, 0);
    clip.add({0x01400002});  // a Delta Clockstamp with reserved bits set
    clip.dc(0xFFFFF).midi1(0, 0xE0, 0x00, 0x40).midi2(0, 0x91, 61, 0x80000000);
    clip.midi1(2, 0xB3, 0x87, 0x90).footer();  // data bytes of 0x80 and more are kept as they are
    const auto read = [&](const char* markers) {
        const MarkerCapture capture(markers);
        return imported(clip);
    };
    const MIDIFile quiet = read("0");
    const MIDIFile traced = read("1");
    EXPECT_EQ(std::tie(quiet.tracks(), quiet.midi2LastImportReport, quiet.midi2NativePacketSnapshots, quiet.midi2ImportedPacketCount),
              std::tie(traced.tracks(), traced.midi2LastImportReport, traced.midi2NativePacketSnapshots,
                       traced.midi2ImportedPacketCount));
    EXPECT_EQ(quiet.tracks().back().events.back(), MIDIEvent(0xFFFFF + 7, {0xB3, 0x87, 0x90}));
}

}  // namespace
}  // namespace orvane::midi
