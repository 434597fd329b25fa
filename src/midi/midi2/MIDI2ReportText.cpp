// The texts of MIDI 2.0 reports: the one-line status, the detail text, and the report lines of
// the preservation summary, the re-export eligibility, the loop classification and dry run.

#include <algorithm>
#include <numeric>
#include <string>

#include "midi/midi2/MIDI2Records.h"

namespace orvane::midi {
namespace {

std::string number(long long value) { return std::to_string(value); }

// "1 track", "2 tracks".
std::string counted(long long count, const std::string& noun) {
    return number(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += separator;
        text += parts[i];
    }
    return text;
}

void appendIndented(std::vector<std::string>& lines, const std::vector<std::string>& items) {
    for (const auto& item : items) lines.push_back("  - " + item);
}

int totalTicks(const std::vector<MIDI2NativeLoopDryRunPacketPlan>& plans,
               std::vector<std::uint32_t> MIDI2NativeLoopDryRunPacketPlan::*list) {
    return std::accumulate(plans.begin(), plans.end(), 0, [list](int sum, const MIDI2NativeLoopDryRunPacketPlan& plan) {
        return sum + static_cast<int>((plan.*list).size());
    });
}

}  // namespace

std::vector<std::string> bulletLines(const std::vector<std::string>& items) {
    if (items.empty()) return {"- None reported"};
    std::vector<std::string> lines;
    lines.reserve(items.size());
    for (const auto& item : items) lines.push_back("- " + item);
    return lines;
}

std::vector<std::string> midi2SkippedItems(int unsupportedPackets, int midi2ChannelVoicePackets,
                                           const std::optional<MIDI2NativeReexportEligibility>& eligibility) {
    std::vector<std::string> items;
    if (unsupportedPackets >= 1)
        items.push_back(number(unsupportedPackets) + " unsupported UMP packet(s) were skipped");
    if (midi2ChannelVoicePackets >= 1) {
        if (eligibility && eligibility->nativeReexportedPackets >= 1) {
            items.emplace_back(
                "Native MIDI 2.0 re-export is limited to exact-match full-song and non-loop split "
                "replacement packets");
        } else {
            items.emplace_back(
                "Native high-resolution MIDI 2.0 values are not yet preserved through editing/re-export");
        }
    }
    items.emplace_back(
        "Project/clip name Flex Data, track/instrument-name metadata, SysEx8, per-note controllers, "
        "MIDI-CI, and live UMP I/O are not yet supported");
    return items;
}

std::vector<std::string> MIDI2NativePreservationSummary::reportLines() const {
    return {
        "Original UMP packets inventoried: " + number(totalSnapshots),
        "Imported into Orvane's editable model: " + number(editableModelPackets),
        "Stored as native UMP preservation candidates: " + number(nativeCandidatePackets),
        "High-resolution native candidates: " + number(highResolutionCandidatePackets),
        "Down-converted into editable model: " + number(downConvertedPackets),
        "Skipped/unsupported native packets: " + number(skippedUnsupportedPackets),
        "Structural MIDI Clip packets: " + number(structuralPackets),
        "Global packets: " + number(globalPackets),
        "Ambiguous packets: " + number(ambiguousPackets),
        std::string("Native UMP re-export from this snapshot: ") +
            (nativeReexportEnabled ? "enabled" : "not enabled yet"),
    };
}

std::vector<std::string> MIDI2NativeReexportEligibility::reportLines() const {
    std::vector<std::string> lines = {
        "Operation checked: " + std::string(rawValue(operation)),
        "Native MIDI 2.0 candidate packets: " + number(candidatePackets),
        "Structurally eligible native packets: " + number(structurallyEligiblePackets),
        "High-resolution eligible packets: " + number(highResolutionEligiblePackets),
        "Unsafe/unsupported native packets: " + number(unsafePackets),
        "Natively re-exported in this file: " + number(nativeReexportedPackets),
        std::string("Native re-export status: ") +
            (canReexportNativePackets ? "eligible" : "not enabled for this export"),
    };
    std::vector<std::string> categories;
    for (const auto category : blockerCategories) categories.emplace_back(rawValue(category));
    lines.push_back("Blocker categories: " + joined(categories, ", "));
    if (blockers.empty()) {
        lines.emplace_back("Blockers: none reported");
    } else {
        lines.emplace_back("Blockers:");
        appendIndented(lines, blockers);
    }
    lines.emplace_back("Notes:");
    appendIndented(lines, notes);
    if (loopPacketClassification) {
        lines.emplace_back("Loop native packet classification:");
        appendIndented(lines, loopPacketClassification->reportLines());
    }
    if (loopDryRunPlan) {
        lines.emplace_back("Loop native dry-run writer plan:");
        appendIndented(lines, loopDryRunPlan->reportLines());
    }
    return lines;
}

int MIDI2NativeLoopPacketClassification::actionPackets(MIDI2NativeLoopPacketPolicy policy) const {
    return static_cast<int>(
        std::count_if(packetActions.begin(), packetActions.end(),
                      [policy](const MIDI2NativeLoopPacketAction& action) { return action.policy == policy; }));
}

std::vector<std::string> MIDI2NativeLoopPacketClassification::reportLines() const {
    return {
        "Source loop tick range: " + number(startTick) + "-" + number(endTick),
        "Source loop length: " + counted(lengthTick, "tick"),
        "Repeat count: " + number(repeatCount),
        std::string("Tighten loop: ") + (tightenLoop ? "on" : "off"),
        "Effective-start native candidate packets: " + number(effectiveStartCandidatePackets),
        "Copy-once pre-loop native candidate packets: " + number(copyOnceEffectiveStartCandidatePackets),
        "Repeat-per-pass native candidate packets: " + number(repeatPerPassCandidatePackets),
        "Native candidate packets exactly at loop start: " + number(boundaryStartCandidatePackets),
        "Unsafe/unsupported native packets: " + number(unsafePackets),
        "Tempo effective-start events: " + number(tempoEffectiveStartEvents),
        "Channel effective-start states: " + number(channelEffectiveStartStates),
        "Copy-once action packets: " + number(copyOnceActionPackets()),
        "Move-to-loop-start action packets: " + number(moveToLoopStartActionPackets()),
        "Repeat-per-pass action packets: " + number(repeatPerPassActionPackets()),
        "Skip action packets: " + number(skipActionPackets()),
    };
}

int MIDI2NativeLoopDryRunPlan::plannedOutputEvents() const {
    return totalTicks(packetPlans, &MIDI2NativeLoopDryRunPacketPlan::outputTicks);
}
int MIDI2NativeLoopDryRunPlan::replacementMatchedOutputEvents() const {
    return totalTicks(packetPlans, &MIDI2NativeLoopDryRunPacketPlan::matchedOutputTicks);
}
int MIDI2NativeLoopDryRunPlan::unmatchedOutputEvents() const {
    return totalTicks(packetPlans, &MIDI2NativeLoopDryRunPacketPlan::unmatchedOutputTicks);
}
int MIDI2NativeLoopDryRunPlan::duplicateRiskOutputEvents() const {
    return totalTicks(packetPlans, &MIDI2NativeLoopDryRunPacketPlan::duplicateRiskOutputTicks);
}
int MIDI2NativeLoopDryRunPlan::skippedPackets() const {
    return static_cast<int>(std::count_if(packetPlans.begin(), packetPlans.end(), [](const auto& plan) {
        return plan.policy == MIDI2NativeLoopPacketPolicy::skip;
    }));
}

std::vector<std::string> MIDI2NativeLoopDryRunPlan::reportLines() const {
    return {
        "Dry-run repeat count: " + number(repeatCount),
        "Dry-run loop length: " + counted(lengthTick, "tick"),
        "Dry-run packet actions planned: " + number(static_cast<long long>(packetPlans.size())),
        "Dry-run native output events proposed: " + number(plannedOutputEvents()),
        "Dry-run replacement matches: " + number(replacementMatchedOutputEvents()),
        "Dry-run unmatched output events: " + number(unmatchedOutputEvents()),
        "Dry-run duplicate-risk output events: " + number(duplicateRiskOutputEvents()),
        "Dry-run skipped native packets: " + number(skippedPackets()),
        "Dry-run unresolved output events: " + number(unmatchedOutputEvents() + duplicateRiskOutputEvents()),
    };
}

// ---- The report -------------------------------------------------------------------------

std::string MIDI2OperationReport::oneLineStatus() const {
    const std::string counts = counted(tracks, "track") + ", " + counted(totalPackets, "UMP packet") + ".";
    std::string text = operation.kind == Operation::Kind::imported
                           ? "MIDI 2.0 Clip imported. " + counts
                           : operation.formatLabel + " export report ready. " + counts;
    if (unsupportedPackets >= 1) text += " " + number(unsupportedPackets) + " unsupported packet(s).";
    return text;
}

std::string MIDI2OperationReport::groupChannelSummary() const {
    std::vector<std::string> parts;
    for (const auto group : groups) {
        std::vector<std::string> channels;
        const auto found = channelsByGroup.find(group);
        if (found != channelsByGroup.end()) {
            for (const auto channel : found->second) channels.push_back(number(channel + 1));
        }
        parts.push_back("Group " + number(group + 1) + ": Ch " + joined(channels, ", "));
    }
    return parts.empty() ? "none" : joined(parts, "; ");
}

std::string MIDI2OperationReport::detailText() const {
    std::vector<std::string> lines = {
        "File: " + operation.fileName,
        "File type: " + fileType,
        "Ticks per quarter note: " + number(ticksPerQuarterNote),
        "Tracks represented: " + number(tracks),
        "UMP packets: " + number(totalPackets),
        "Delta Clockstamp packets: " + number(deltaClockstampPackets),
        "Groups/channels: " + groupChannelSummary(),
        "MIDI 1.0 Channel Voice packets: " + number(midi1ChannelVoicePackets),
        "MIDI 2.0 Channel Voice packets: " + number(midi2ChannelVoicePackets),
        "MIDI 2.0 Channel Voice down-converted: " + number(midi2ChannelVoiceDownConverted),
        "Flex Data Set Tempo packets: " + number(flexTempoPackets),
        "Flex Data Set Time Signature packets: " + number(flexTimeSignaturePackets),
        "Unsupported/skipped packets: " + number(unsupportedPackets),
    };
    const auto section = [&lines](const std::string& heading, const std::vector<std::string>& items) {
        lines.emplace_back();
        lines.push_back(heading);
        const auto bullets = bulletLines(items);
        lines.insert(lines.end(), bullets.begin(), bullets.end());
    };
    if (nativePreservationSummary) {
        section("Native MIDI 2.0 preservation inventory:", nativePreservationSummary->reportLines());
    }
    if (nativeReexportEligibility) {
        section("Native MIDI 2.0 re-export eligibility:", nativeReexportEligibility->reportLines());
    }
    section("Preserved:", preservedItems);
    section("Converted:", convertedItems);
    section("Skipped or not yet preserved:", skippedItems);
    return joined(lines, "\n");
}

}  // namespace orvane::midi
