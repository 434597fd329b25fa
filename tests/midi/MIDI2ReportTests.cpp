// Report texts: one-line status forms, detail text sections, eligibility and loop lines, and
// export reports read back from written clips.

#include <gtest/gtest.h>

#include "MIDI2TestSupport.h"
#include "midi/midi2/MIDI2Export.h"

namespace orvane::midi {
namespace {

using testing::ClipWords;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

TEST(MIDI2OperationReport, OneLineStatusUsesSingularAndPluralForms) {
    MIDI2OperationReport report;
    report.operation = MIDI2OperationReport::Operation::imported("a.midi2");
    report.tracks = 1;
    report.totalPackets = 1;
    EXPECT_EQ(report.oneLineStatus(), "MIDI 2.0 Clip imported. 1 track, 1 UMP packet.");

    report.operation = MIDI2OperationReport::Operation::exported("b.midi2", "MIDI 2.0");
    report.tracks = 3;
    report.totalPackets = 120;
    report.unsupportedPackets = 2;
    EXPECT_EQ(report.oneLineStatus(),
              "MIDI 2.0 export report ready. 3 tracks, 120 UMP packets. 2 unsupported packet(s).");
}

TEST(MIDI2OperationReport, DetailTextWithEmptyListsAndGroups) {
    MIDI2OperationReport report;
    report.operation = MIDI2OperationReport::Operation::exported("out.midi2", "MIDI 2.0");
    report.fileType = "MIDI 2.0 MIDI Clip (.midi2 / SMF2CLIP)";
    report.ticksPerQuarterNote = 96;
    EXPECT_EQ(report.detailText(),
              "File: out.midi2\n"
              "File type: MIDI 2.0 MIDI Clip (.midi2 / SMF2CLIP)\n"
              "Ticks per quarter note: 96\n"
              "Tracks represented: 0\n"
              "UMP packets: 0\n"
              "Delta Clockstamp packets: 0\n"
              "Groups/channels: none\n"
              "MIDI 1.0 Channel Voice packets: 0\n"
              "MIDI 2.0 Channel Voice packets: 0\n"
              "MIDI 2.0 Channel Voice down-converted: 0\n"
              "Flex Data Set Tempo packets: 0\n"
              "Flex Data Set Time Signature packets: 0\n"
              "Unsupported/skipped packets: 0\n"
              "\n"
              "Preserved:\n"
              "- None reported\n"
              "\n"
              "Converted:\n"
              "- None reported\n"
              "\n"
              "Skipped or not yet preserved:\n"
              "- None reported");
    report.groups = {0, 1};
    report.channelsByGroup = {{0, {9, 0}}, {1, {2}}};
    EXPECT_EQ(linesOf(report.detailText())[6], "Groups/channels: Group 1: Ch 1, 10; Group 2: Ch 3");
}

TEST(MIDI2OperationReport, EligibilityLinesWithAndWithoutBlockers) {
    MIDI2NativeReexportEligibility eligibility;
    eligibility.operation = MIDI2NativeReexportOperation::splitExport;
    eligibility.candidatePackets = 4;
    eligibility.structurallyEligiblePackets = 4;
    eligibility.nativeReexportedPackets = 4;
    eligibility.canReexportNativePackets = true;
    eligibility.notes = {"A note."};
    EXPECT_EQ(eligibility.reportLines(), (std::vector<std::string>{
                                             "Operation checked: split export",
                                             "Native MIDI 2.0 candidate packets: 4",
                                             "Structurally eligible native packets: 4",
                                             "High-resolution eligible packets: 0",
                                             "Unsafe/unsupported native packets: 0",
                                             "Natively re-exported in this file: 4",
                                             "Native re-export status: eligible",
                                             "Blocker categories: ",
                                             "Blockers: none reported",
                                             "Notes:",
                                             "  - A note.",
                                         }));
    eligibility.canReexportNativePackets = false;
    eligibility.blockerCategories = {MIDI2NativeReexportBlocker::loopTimingRewrite,
                                     MIDI2NativeReexportBlocker::loopRepeat};
    eligibility.blockers = {"First.", "Second.", "Third."};
    eligibility.loopPacketClassification = MIDI2NativeLoopPacketClassification{};
    eligibility.loopPacketClassification->lengthTick = 1;
    eligibility.loopDryRunPlan = MIDI2NativeLoopDryRunPlan{};
    eligibility.loopDryRunPlan->lengthTick = 480;
    const auto lines = eligibility.reportLines();
    EXPECT_EQ(lines[6], "Native re-export status: not enabled for this export");
    EXPECT_EQ(lines[7], "Blocker categories: loop timing rewrite, loop repeat required");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 8, lines.begin() + 12),
              (std::vector<std::string>{"Blockers:", "  - First.", "  - Second.", "  - Third."}));
    EXPECT_EQ(lines[14], "Loop native packet classification:");
    EXPECT_EQ(lines[15], "  - Source loop tick range: 0-0");
    EXPECT_EQ(lines[16], "  - Source loop length: 1 tick");
    EXPECT_EQ(lines[30], "Loop native dry-run writer plan:");
    EXPECT_EQ(lines[32], "  - Dry-run loop length: 480 ticks");
    EXPECT_EQ(lines.back(), "  - Dry-run unresolved output events: 0");
}

TEST(MIDI2OperationReport, DryRunCountsSumOverThePlans) {
    MIDI2NativeLoopDryRunPlan plan;
    plan.repeatCount = 2;
    plan.lengthTick = 960;
    MIDI2NativeLoopDryRunPacketPlan first;
    first.outputTicks = {0, 960};
    first.matchedOutputTicks = {0};
    first.duplicateRiskOutputTicks = {960};
    MIDI2NativeLoopDryRunPacketPlan second;
    second.policy = MIDI2NativeLoopPacketPolicy::skip;
    MIDI2NativeLoopDryRunPacketPlan third;
    third.policy = MIDI2NativeLoopPacketPolicy::repeatPerPass;
    third.outputTicks = {5};
    third.unmatchedOutputTicks = {5};
    plan.packetPlans = {first, second, third};
    EXPECT_EQ(plan.reportLines(), (std::vector<std::string>{
                                      "Dry-run repeat count: 2",
                                      "Dry-run loop length: 960 ticks",
                                      "Dry-run packet actions planned: 3",
                                      "Dry-run native output events proposed: 3",
                                      "Dry-run replacement matches: 1",
                                      "Dry-run unmatched output events: 1",
                                      "Dry-run duplicate-risk output events: 1",
                                      "Dry-run skipped native packets: 2",
                                      "Dry-run unresolved output events: 2",
                                  }));
}

TEST(MIDI2ExportReport, ReadsTheWrittenClipBack) {
    MIDIFile file;
    file.timeDivision = 96;
    const EventList events = {MIDIEvent(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}), MIDIEvent(0, {0x92, 60, 100}),
                              MIDIEvent(10, {0xF2, 0x00, 0x01}),  // Song Position: a System packet
                              MIDIEvent(20, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}),
                              MIDIEvent(30, {0xF7, 0x01, 0x05})};
    const MIDI2ClipData clip = midi2ClipData(file, events, "test", nullptr);
    const auto report =
        midi2ExportReport(file, clip.data, "song.midi2", "MIDI 2.0", 1, std::nullopt, clip.skippedEventItems);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->unsupportedPackets, 1);
    EXPECT_EQ(report->midi1ChannelVoicePackets, 1);
    EXPECT_EQ(report->flexTempoPackets, 1);
    EXPECT_EQ(report->deltaClockstampPackets, 7);
    EXPECT_EQ(report->groups, (std::set<std::uint8_t>{0}));
    EXPECT_EQ(report->channelsByGroup.at(0), (std::set<std::uint8_t>{2}));
    EXPECT_EQ(report->ticksPerQuarterNote, 96);
    EXPECT_EQ(report->oneLineStatus(),
              "MIDI 2.0 export report ready. 1 track, 14 UMP packets. 1 unsupported packet(s).");
    EXPECT_EQ(report->preservedItems,
              (std::vector<std::string>{"Edited channel voice events from Orvane's current export snapshot",
                                        "Mixer CC/program state emitted at the effective start of exported tracks",
                                        "MIDI Clip Delta Clockstamp timing",
                                        "Tempo override/source tempo as Flex Data Set Tempo",
                                        "1 System Exclusive message(s) as UMP SysEx7 Data packets"}));
    EXPECT_EQ(report->convertedItems,
              (std::vector<std::string>{"Current MIDI 1.0-resolution edit state written as UMP/MIDI Clip data"}));
    EXPECT_EQ(report->skippedItems,
              (std::vector<std::string>{"1 incomplete System Exclusive event(s) skipped (tick 30)",
                                        "1 unsupported UMP packet(s) were skipped",
                                        "Project/clip name Flex Data, track/instrument-name metadata, SysEx8, "
                                        "per-note controllers, MIDI-CI, and live UMP I/O are not yet supported"}));
    EXPECT_FALSE(midi2ExportReport(file, Bytes{1, 2, 3}, "x", "MIDI 2.0", 1, std::nullopt));

    // Counted from the bytes as they are written, in pieces of any size, the report is the same;
    // a clip cut inside a packet has none.
    for (std::size_t piece = 1; piece <= 17; ++piece) {
        MIDI2ClipPacketCounter written;
        for (std::size_t at = 0; at < clip.data.size(); at += piece) {
            written.add(std::span(clip.data).subspan(at, std::min(piece, clip.data.size() - at)));
        }
        EXPECT_EQ(midi2ExportReport(file, written, "song.midi2", "MIDI 2.0", 1, std::nullopt, clip.skippedEventItems),
                  report)
            << piece;
    }
    MIDI2ClipPacketCounter cut;
    cut.add(std::span(clip.data).first(clip.data.size() - 2));
    EXPECT_FALSE(midi2ExportReport(file, cut, "song.midi2", "MIDI 2.0", 1, std::nullopt));
}

TEST(MIDI2ExportReport, NativeReexportChangesThePreservedAndConvertedItems) {
    ClipWords clip;
    clip.header(480).dc(0).midi2(0, 0x90, 60, 0xC8000000).dc(480).midi2(0, 0x80, 60, 0).footer();
    MIDIFile file;
    ASSERT_TRUE(file.parse(clip.bytes()));
    const std::vector<MIDITrack> tracks = file.musicalTracks().copies();
    const auto exported =
        buildMIDI2ClipWithNativeReplacement(file, midi2FullMergedExportRequest(file, tracks, 0, std::nullopt, false));
    const auto report = midi2ExportReport(file, exported.data, "copy.midi2", "MIDI 2.0", 1, exported.eligibility, {});
    ASSERT_TRUE(report);
    EXPECT_EQ(report->midi2ChannelVoicePackets, 2);
    EXPECT_EQ(report->preservedItems.back(), "2 exact-match native MIDI 2.0 packet(s) re-exported");
    EXPECT_EQ(report->convertedItems.front(),
              "Non-native or nonmatching editable events written as MIDI 1.0-resolution UMP/MIDI Clip data");
    EXPECT_EQ(report->skippedItems.front(),
              "Native MIDI 2.0 re-export is limited to exact-match full-song and non-loop split replacement packets");
    const auto lines = linesOf(report->detailText());
    EXPECT_EQ(lines[14], "Native MIDI 2.0 re-export eligibility:");
    EXPECT_EQ(lines[15], "- Operation checked: full merged export");
    EXPECT_EQ(lines[21], "- Native re-export status: eligible");
}

}  // namespace
}  // namespace orvane::midi
