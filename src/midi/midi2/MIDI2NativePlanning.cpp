// Whether the native MIDI 2.0 packets of an imported clip may be written back into an export:
// the candidates in scope, their exact matches among the exported events, and the blockers.

#include <algorithm>

#include "midi/midi2/MIDI2Export.h"

namespace orvane::midi {
namespace {

using Entry = MIDI2NativePacketInventory::Entry;

bool isStoredCandidate(const Entry& entry) { return entry.action == MIDI2NativePacketAction::storedNativeCandidate; }

// A stored candidate with everything a safe copy needs: sequence timing, group and channel.
bool isUsableCandidate(const MIDI2NativePacketInventory& inventory, std::size_t position) {
    const Entry& entry = inventory.entries()[position];
    return isStoredCandidate(entry) && entry.scope == MIDI2NativePacketScope::safelyScoped && entry.hasSequenceTick &&
           inventory.group(position) && inventory.channel(position);
}

bool isStoredCandidateAt(const MIDI2NativePacketInventory& inventory, std::size_t position) {
    return isStoredCandidate(inventory.entries()[position]);
}

std::vector<std::uint32_t> storedCandidatePositions(const MIDI2NativePacketInventory& inventory,
                                                    bool (*accepts)(const MIDI2NativePacketInventory&, std::size_t)) {
    std::vector<std::uint32_t> positions;
    if (inventory.tally().storedCandidates == 0) return positions;  // no entry can be accepted
    for (std::size_t i = 0; i < inventory.size(); ++i) {
        if (accepts(inventory, i)) positions.push_back(static_cast<std::uint32_t>(i));
    }
    return positions;
}

struct KeyedCandidates {
    std::vector<std::uint32_t> positions;
    std::vector<std::optional<MIDI2NativeReplacementKey>> keys;
};

KeyedCandidates keyed(const MIDI2NativePacketInventory& inventory, std::vector<std::uint32_t> positions) {
    KeyedCandidates result;
    result.keys.reserve(positions.size());
    for (const std::uint32_t position : positions) result.keys.push_back(midi2CandidateKey(inventory, position));
    result.positions = std::move(positions);
    return result;
}

// The events of the tracks an export represents, optionally within a tick range.
EventList sourceEvents(std::span<const MIDITrack> tracks, std::optional<MIDI2NativeCandidateScope::SourceRange> range) {
    EventList events;
    for (const MIDITrack& track : tracks) {
        for (const MIDIEvent& event : track.events) {
            if (!range || (event.tick >= range->startTick && event.tick < range->endTick)) events.push_back(event);
        }
    }
    return events;
}

class EligibilityBuilder {
public:
    explicit EligibilityBuilder(MIDI2NativeReexportEligibility& eligibility) : eligibility_(eligibility) {}
    void addBlocker(MIDI2NativeReexportBlocker category, std::string message) {
        eligibility_.blockers.push_back(std::move(message));
        if (std::find(eligibility_.blockerCategories.begin(), eligibility_.blockerCategories.end(), category) ==
            eligibility_.blockerCategories.end()) {
            eligibility_.blockerCategories.push_back(category);
        }
    }

private:
    MIDI2NativeReexportEligibility& eligibility_;
};

}  // namespace

std::optional<MIDI2NativeReplacementKey> midi2CandidateKey(const MIDI2NativePacketInventory& inventory,
                                                           std::size_t position) {
    const Entry& entry = inventory.entries()[position];
    if (!entry.hasSequenceTick) return std::nullopt;
    try {
        const MIDI2UMPPacket packet(inventory.words(entry));
        return MIDI2NativeReplacementKey::of(entry.sequenceTick,
                                             packet.downConvertedMIDI1ChannelVoice().midi1ByteStream());
    } catch (const MIDI2UMPError&) {
        return std::nullopt;
    }
}

MIDI2ScopedNativeCandidates midi2ScopedNativeCandidates(const MIDIFile& file, std::span<const MIDIEvent> events) {
    const MIDI2NativePacketInventory& inventory = file.midi2NativePacketSnapshots;
    const KeyedCandidates candidates = keyed(inventory, storedCandidatePositions(inventory, isUsableCandidate));
    MIDI2ScopedNativeCandidates result;
    if (candidates.positions.empty()) return result;
    const MIDI2NativeKeyCounts eventCounts = MIDI2NativeKeyCounts::ofChannelEvents(events);

    // The candidates whose key the events carry, and how many share each key.
    std::vector<std::optional<std::size_t>> keyIndex(candidates.positions.size());
    std::vector<int> candidatesOfKey(eventCounts.size(), 0);
    for (std::size_t i = 0; i < candidates.positions.size(); ++i) {
        if (!candidates.keys[i]) continue;
        keyIndex[i] = eventCounts.indexOf(*candidates.keys[i]);
        if (keyIndex[i]) ++candidatesOfKey[*keyIndex[i]];
    }
    for (std::size_t i = 0; i < candidates.positions.size(); ++i) {
        if (!keyIndex[i]) continue;
        // More candidates than events of one key: which packet belongs to which event is unknown.
        if (candidatesOfKey[*keyIndex[i]] > eventCounts.count(*keyIndex[i])) {
            ++result.ambiguousPackets;
        } else {
            result.snapshots.push_back(candidates.positions[i]);
        }
    }
    return result;
}

MIDI2NativePreservationDecision midi2NativeReplacementPlan(
    const MIDIFile& file, std::span<const MIDIEvent> events,
    const std::optional<std::vector<std::uint32_t>>& candidateSnapshots) {
    const MIDI2NativePacketInventory& inventory = file.midi2NativePacketSnapshots;
    const KeyedCandidates candidates = keyed(
        inventory, candidateSnapshots ? *candidateSnapshots : storedCandidatePositions(inventory, isStoredCandidateAt));
    MIDI2NativePreservationDecision decision;
    decision.candidateSnapshots = candidateSnapshots;
    if (candidates.positions.empty()) return decision;
    const MIDI2NativeKeyCounts eventCounts = MIDI2NativeKeyCounts::ofChannelEvents(events);

    std::vector<int> planned(eventCounts.size(), 0);
    for (std::size_t i = 0; i < candidates.positions.size(); ++i) {
        const auto index = candidates.keys[i] ? eventCounts.indexOf(*candidates.keys[i]) : std::nullopt;
        if (!index || planned[*index] >= eventCounts.count(*index)) {
            ++decision.nonmatchingPackets;
            continue;
        }
        ++planned[*index];
        const Entry& entry = inventory.entries()[candidates.positions[i]];
        decision.replacementPlan.append(*candidates.keys[i], MIDI2UMPPacket(inventory.words(entry)));
        ++decision.matchedPackets;
    }
    return decision;
}

MIDI2NativePreservationDecision midi2NativePreservationDecision(const MIDIFile& file,
                                                                const MIDI2NativePreservationRequest& request) {
    const auto& scope = request.candidateScope.value;
    // The events are read only to match stored candidates; a merge is not built without them.
    const bool hasCandidates = file.midi2NativePacketSnapshots.tally().storedCandidates > 0;
    const std::span<const MIDIEvent> events = hasCandidates ? request.events.list() : std::span<const MIDIEvent>();
    if (std::holds_alternative<MIDI2NativeCandidateScope::AllImportedCandidates>(scope)) {
        return midi2NativeReplacementPlan(file, events, std::nullopt);
    }
    std::optional<MIDI2NativeCandidateScope::SourceRange> range;
    if (const auto* sourceRange = std::get_if<MIDI2NativeCandidateScope::SourceRange>(&scope)) range = *sourceRange;
    // Without stored candidates nothing is in scope, and the source events are not gathered.
    const MIDI2ScopedNativeCandidates scoped =
        hasCandidates ? midi2ScopedNativeCandidates(file, sourceEvents(request.sourceTracks, range))
                      : MIDI2ScopedNativeCandidates{};
    MIDI2NativePreservationDecision decision = midi2NativeReplacementPlan(file, events, scoped.snapshots);
    decision.ambiguousPackets = scoped.ambiguousPackets;
    return decision;
}

MIDI2NativeReexportEligibility midi2NativeReexportEligibility(const MIDIFile& file,
                                                              const MIDI2NativePreservationRequest& request,
                                                              const MIDI2NativePreservationDecision& decision,
                                                              int nativeReexportedPackets) {
    using Blocker = MIDI2NativeReexportBlocker;
    using Operation = MIDI2NativeReexportOperation;
    const auto& loop = request.loopContext;
    const bool isLoop = request.operation == Operation::loopExport;
    // Outside loops only the channel state at the start is read from the events, so a merge
    // not yet built is walked only that far.
    const std::uint32_t startTick = loop ? loop->startTick : 0;
    EventList startEvents;
    std::span<const MIDIEvent> exportedEvents;
    if (request.events.unbuiltMerge() != nullptr && !(isLoop && loop.has_value())) {
        startEvents = request.events.through(startTick);
        exportedEvents = startEvents;
    } else {
        exportedEvents = request.events.list();
    }
    const std::span<const MIDIEvent> exported[] = {exportedEvents};
    const MIDIEventRelationshipSnapshot relationship = relationshipSnapshot(
        file, exported, startTick, loop ? std::optional<std::uint32_t>(loop->endTick) : std::nullopt,
        RelationshipParts{false, isLoop && loop.has_value(), isLoop && loop.has_value()});

    const MIDI2NativePacketInventory& inventory = file.midi2NativePacketSnapshots;
    const std::vector<std::uint32_t> candidates = decision.candidateSnapshots
                                                      ? *decision.candidateSnapshots
                                                      : storedCandidatePositions(inventory, isStoredCandidateAt);
    MIDI2NativeReexportEligibility eligibility;
    eligibility.operation = request.operation;
    eligibility.candidatePackets = static_cast<int>(candidates.size());
    for (const std::uint32_t position : candidates) {
        const Entry& entry = inventory.entries()[position];
        if (!isUsableCandidate(inventory, position) || entry.wordCount == 0) continue;
        ++eligibility.structurallyEligiblePackets;
        if (entry.hasHighResolutionValue) ++eligibility.highResolutionEligiblePackets;
    }
    // Outside loops only the number of unsafe packets is read; the inventory keeps it.
    eligibility.unsafePackets =
        static_cast<int>(isLoop && loop ? relationship.unsafeNativePackets.size() : inventory.tally().unsafe);
    eligibility.nativeReexportedPackets = nativeReexportedPackets;
    if (isLoop && loop) {
        eligibility.loopPacketClassification = midi2NativeLoopPacketClassification(
            relationship, loop->startTick, loop->endTick, loop->lengthTick, loop->repeatCount, loop->tightenLoop);
        eligibility.loopDryRunPlan =
            midi2NativeLoopDryRunPlan(*eligibility.loopPacketClassification, relationship, request.events.list());
    }

    EligibilityBuilder blockers(eligibility);
    if (!file.wasImportedFromMIDI2Clip) {
        blockers.addBlocker(Blocker::noNativeInventory, "Source file has no MIDI 2.0 native packet inventory.");
    }
    if (request.operation == Operation::singleTrackExport || isLoop) {
        blockers.addBlocker(Blocker::unsupportedOperation,
                            "Native re-export is currently limited to full merged/all-track export or exact-match "
                            "split export planning.");
    }
    if (isLoop && !loop) {
        blockers.addBlocker(Blocker::loopTimingRewrite,
                            "Loop export rewrites source timing, but no loop tick range was supplied to the native "
                            "preservation planner.");
    }
    if (isLoop && loop) {
        blockers.addBlocker(Blocker::loopTimingRewrite,
                            "Loop export rebases source tick range " + std::to_string(loop->startTick) + "-" +
                                std::to_string(loop->endTick) +
                                " to tick 0, so native packet timing must be classified before re-export.");
        if (!relationship.effectiveChannelStates.empty() || !relationship.tempoEventsAtOrBeforeStart.empty() ||
            !relationship.nativeEffectiveStartCandidates.empty()) {
            blockers.addBlocker(Blocker::effectiveStartState,
                                "Loop export needs effective-start setup/tempo state at tick 0; native setup packets "
                                "before the loop must be copied, moved, converted, or skipped deliberately.");
        }
        if (loop->repeatCount >= 2) {
            blockers.addBlocker(Blocker::loopRepeat,
                                "Loop export repeats the source range " + std::to_string(loop->repeatCount) +
                                    " time(s); native packets must be classified as repeat-per-pass or copy-once "
                                    "before native re-export is safe.");
        }
        if (loop->tightenLoop) {
            blockers.addBlocker(Blocker::loopTimingRewrite,
                                "Tighten-loop can trim or shift the effective source range, so native packet "
                                "ownership must be revalidated before native re-export.");
        }
    }
    if (request.transpose != 0) {
        blockers.addBlocker(Blocker::transpose,
                            "Transpose changes note meaning, so original native note packets cannot be copied safely "
                            "yet.");
    }
    if (request.newBPM) {
        blockers.addBlocker(Blocker::tempoOverride,
                            "Tempo override changes timing semantics, so original native packet timing cannot be "
                            "copied safely yet.");
    }
    if (request.applyMixerSettings) {
        blockers.addBlocker(Blocker::mixerSettings,
                            "Mixer export can overwrite channel state, so native controller/program packets need "
                            "edit-aware replacement first.");
    }
    if (request.operation == Operation::splitExport && request.sourceTracks.size() != 1) {
        blockers.addBlocker(Blocker::partialTrackExport, "Split native re-export expects exactly one exported track.");
    }
    if (request.operation == Operation::fullMergedExport &&
        request.sourceTracks.size() != file.musicalTracks().size()) {
        blockers.addBlocker(Blocker::partialTrackExport,
                            "Export does not represent every musical track from the imported file.");
    }
    if (candidates.empty()) {
        blockers.addBlocker(Blocker::noNativeCandidates,
                            "No stored native MIDI 2.0 Channel Voice candidates were found.");
    }
    if (const int unsafe = eligibility.candidatePackets - eligibility.structurallyEligiblePackets; unsafe > 0) {
        blockers.addBlocker(Blocker::unsafeNativeMetadata,
                            std::to_string(unsafe) +
                                " native candidate packet(s) are missing safe timing, group, channel, or scope "
                                "metadata.");
    }
    if (decision.ambiguousPackets >= 1) {
        blockers.addBlocker(Blocker::unsafeNativeMetadata, std::to_string(decision.ambiguousPackets) +
                                                               " native candidate packet(s) have ambiguous split "
                                                               "ownership.");
    }
    if (decision.nonmatchingPackets >= 1) {
        blockers.addBlocker(Blocker::editedOrNonmatchingEvents,
                            std::to_string(decision.nonmatchingPackets) +
                                " native candidate packet(s) do not exactly match the current editable export events.");
    }
    if (nativeReexportedPackets == 0 && !candidates.empty()) {
        blockers.addBlocker(Blocker::noExactMatchReplacements,
                            "Native packet replacement writer found no exact-match packets to re-export.");
    }

    if (const auto& classification = eligibility.loopPacketClassification) {
        eligibility.notes.push_back("Loop planner classified " +
                                    std::to_string(classification->repeatPerPassCandidatePackets) +
                                    " native packet candidate(s) as repeat-per-pass candidates.");
        eligibility.notes.push_back("Loop planner classified " +
                                    std::to_string(classification->copyOnceEffectiveStartCandidatePackets) +
                                    " pre-loop native packet candidate(s) as copy-once/effective-start candidates.");
    }
    if (const auto& plan = eligibility.loopDryRunPlan) {
        eligibility.notes.push_back("Loop dry-run writer planned " + std::to_string(plan->plannedOutputEvents()) +
                                    " native output event(s), matched " +
                                    std::to_string(plan->replacementMatchedOutputEvents()) +
                                    " editable replacement event(s), and found " +
                                    std::to_string(plan->unmatchedOutputEvents() + plan->duplicateRiskOutputEvents()) +
                                    " unresolved output event(s).");
    }
    if (eligibility.unsafePackets >= 1) {
        eligibility.notes.push_back(std::to_string(eligibility.unsafePackets) +
                                    " unsafe/unsupported native packet(s) would remain skipped and reported.");
    }
    if (!relationship.tempoEventsAtOrBeforeStart.empty()) {
        eligibility.notes.emplace_back("Tempo effective-start state is available for export validation.");
    }
    eligibility.notes.emplace_back(
        "Native re-export must replace, not duplicate, down-converted editable events before it can be enabled.");
    eligibility.canReexportNativePackets = eligibility.blockerCategories.empty() && nativeReexportedPackets > 0;
    return eligibility;
}

}  // namespace orvane::midi
