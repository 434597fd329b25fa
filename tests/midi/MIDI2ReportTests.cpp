// Report texts: detail text sections, eligibility and loop lines, and export reports read
// back from written clips.

#include <gtest/gtest.h>

#include "midi/midi2/MIDI2Export.h"

namespace orvane::midi {
namespace {

TEST(MIDI2OperationReport, DetailTextWithEmptyListsAndGroups) {
    MIDI2OperationReport report;
    report.operation = MIDI2OperationReport::Operation::exported("out.midi2", "MIDI 2.0");
    report.fileType = "MIDI 2.0 MIDI Clip (.midi2 / SMF2CLIP)";
    report.ticksPerQuarterNote = 96;
    const std::string empty = report.detailText();
    EXPECT_TRUE(empty.starts_with("File: out.midi2\nFile type: MIDI 2.0 MIDI Clip (.midi2 / SMF2CLIP)\n"
                                  "Ticks per quarter note: 96\nTracks represented: 0\n"));
    EXPECT_NE(empty.find("\nGroups/channels: none\n"), std::string::npos);
    EXPECT_TRUE(empty.ends_with("Unsupported/skipped packets: 0\n\nPreserved:\n- None reported\n\n"
                                "Converted:\n- None reported\n\nSkipped or not yet preserved:\n- None reported"));
    report.groups = {0, 1};
    report.channelsByGroup = {{0, {9, 0}}, {1, {2}}};
    EXPECT_NE(report.detailText().find("\nGroups/channels: Group 1: Ch 1, 10; Group 2: Ch 3\n"), std::string::npos);
}

TEST(MIDI2OperationReport, EligibilityLinesWithAndWithoutBlockers) {
    MIDI2NativeReexportEligibility eligibility;
    eligibility.operation = MIDI2NativeReexportOperation::splitExport;
    eligibility.canReexportNativePackets = true;
    eligibility.notes = {"A note."};
    const auto eligible = eligibility.reportLines();
    EXPECT_EQ(eligible[0], "Operation checked: split export");
    EXPECT_EQ(std::vector<std::string>(eligible.begin() + 6, eligible.end()),
              (std::vector<std::string>{"Native re-export status: eligible", "Blocker categories: ",
                                        "Blockers: none reported", "Notes:", "  - A note."}));
    eligibility.canReexportNativePackets = false;
    eligibility.blockerCategories = {MIDI2NativeReexportBlocker::loopTimingRewrite,
                                     MIDI2NativeReexportBlocker::loopRepeat};
    eligibility.blockers = {"First.", "Second.", "Third."};
    eligibility.loopPacketClassification = MIDI2NativeLoopPacketClassification{};
    eligibility.loopPacketClassification->lengthTick = 1;
    eligibility.loopDryRunPlan = MIDI2NativeLoopDryRunPlan{};
    eligibility.loopDryRunPlan->lengthTick = 480;
    const auto lines = eligibility.reportLines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 6, lines.begin() + 12),
              (std::vector<std::string>{"Native re-export status: not enabled for this export",
                                        "Blocker categories: loop timing rewrite, loop repeat required", "Blockers:",
                                        "  - First.", "  - Second.", "  - Third."}));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 14, lines.begin() + 17),
              (std::vector<std::string>{"Loop native packet classification:", "  - Source loop tick range: 0-0",
                                        "  - Source loop length: 1 tick"}));
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
    MIDI2NativeLoopDryRunPacketPlan third;
    third.policy = MIDI2NativeLoopPacketPolicy::repeatPerPass;
    third.outputTicks = third.unmatchedOutputTicks = {5};
    plan.packetPlans = {first, MIDI2NativeLoopDryRunPacketPlan{}, third};  // the second skips
    const auto lines = plan.reportLines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end()),
              (std::vector<std::string>{"Dry-run packet actions planned: 3", "Dry-run native output events proposed: 3",
                                        "Dry-run replacement matches: 1", "Dry-run unmatched output events: 1",
                                        "Dry-run duplicate-risk output events: 1", "Dry-run skipped native packets: 2",
                                        "Dry-run unresolved output events: 2"}));
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
    EXPECT_EQ((std::vector<int>{report->unsupportedPackets, report->midi1ChannelVoicePackets, report->flexTempoPackets,
                                report->deltaClockstampPackets, report->ticksPerQuarterNote}),
              (std::vector<int>{1, 1, 1, 7, 96}));
    EXPECT_EQ(report->channelsByGroup, (std::map<std::uint8_t, std::set<std::uint8_t>>{{0, {2}}}));
    EXPECT_EQ(report->groups, (std::set<std::uint8_t>{0}));
    EXPECT_EQ(report->oneLineStatus(),
              "MIDI 2.0 export report ready. 1 track, 14 UMP packets. 1 unsupported packet(s).");
    EXPECT_EQ(report->preservedItems.back(), "1 System Exclusive message(s) as UMP SysEx7 Data packets");
    EXPECT_EQ(std::vector<std::string>(report->skippedItems.begin(), report->skippedItems.begin() + 2),
              (std::vector<std::string>{"1 incomplete System Exclusive event(s) skipped (tick 30)",
                                        "1 unsupported UMP packet(s) were skipped"}));
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

}  // namespace
}  // namespace orvane::midi
