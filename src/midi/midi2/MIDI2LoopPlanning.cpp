// Native packets of an imported clip in a loop export: which are start state to copy once,
// which move to the loop start, which repeat with every pass, which are skipped; and a dry
// run that places each at its output ticks and checks it against the exported events.

#include <algorithm>
#include <unordered_set>

#include "midi/midi2/MIDI2Export.h"

namespace orvane::midi {
namespace {

using Entry = MIDI2NativePacketInventory::Entry;
using Policy = MIDI2NativeLoopPacketPolicy;

bool isStoredCandidate(const Entry& entry) { return entry.action == MIDI2NativePacketAction::storedNativeCandidate; }

MIDI2NativeLoopPacketAction action(const MIDI2NativePacketInventory& inventory, std::size_t position,
                                   std::optional<std::uint32_t> outputTick, Policy policy, std::string reason) {
    return {inventory.packetIndex(position), inventory.entries()[position].optionalSequenceTick(), outputTick, policy,
            std::move(reason)};
}

std::vector<std::uint32_t> outputTicksOf(const MIDI2NativeLoopPacketAction& packetAction, int repeatCount,
                                         std::uint32_t lengthTick) {
    switch (packetAction.policy) {
        case Policy::copyOnceEffectiveStart:
        case Policy::moveToLoopStart:
            return {packetAction.outputTick.value_or(0)};
        case Policy::repeatPerPass: {
            std::vector<std::uint32_t> ticks;
            if (!packetAction.outputTick) return ticks;
            for (int pass = 0; pass < repeatCount; ++pass) {
                const std::uint64_t tick = *packetAction.outputTick + std::uint64_t(pass) * lengthTick;
                if (tick > 0xFFFFFFFFu) break;
                ticks.push_back(static_cast<std::uint32_t>(tick));
            }
            return ticks;
        }
        case Policy::skip:
            break;
    }
    return {};
}

}  // namespace

MIDI2NativeLoopPacketClassification midi2NativeLoopPacketClassification(
    const MIDIEventRelationshipSnapshot& relationship, std::uint32_t startTick, std::uint32_t endTick,
    std::uint32_t lengthTick, int repeatCount, bool tightenLoop) {
    const MIDI2NativePacketInventory& inventory = relationship.nativeInventory;
    const auto entries = inventory.entries();
    MIDI2NativeLoopPacketClassification result;
    result.startTick = startTick;
    result.endTick = endTick;
    result.lengthTick = lengthTick;
    result.repeatCount = repeatCount;
    result.tightenLoop = tightenLoop;
    result.unsafePackets = static_cast<int>(relationship.unsafeNativePackets.size());
    result.tempoEffectiveStartEvents = static_cast<int>(relationship.tempoEventsAtOrBeforeStart.size());
    result.channelEffectiveStartStates = static_cast<int>(relationship.effectiveChannelStates.size());

    std::unordered_set<int> claimed;
    const auto claim = [&](std::size_t position) { return claimed.insert(inventory.packetIndex(position)).second; };
    for (const std::uint32_t position : relationship.nativeEffectiveStartCandidates) {
        const Entry& entry = entries[position];
        if (!isStoredCandidate(entry)) continue;
        ++result.effectiveStartCandidatePackets;
        if (entry.hasSequenceTick && entry.sequenceTick < startTick) {
            ++result.copyOnceEffectiveStartCandidatePackets;
            if (claim(position)) {
                result.packetActions.push_back(
                    action(inventory, position, 0, Policy::copyOnceEffectiveStart,
                           "Pre-loop native setup/effective-start packet required before loop playback begins."));
            }
        }
    }
    // In range: a packet at the start moves to tick 0, every other one repeats with each pass.
    for (const std::uint32_t position : relationship.nativePacketsInRange) {
        const Entry& entry = entries[position];
        if (!isStoredCandidate(entry)) continue;
        ++result.repeatPerPassCandidatePackets;
        const bool atStart = entry.sequenceTick == startTick;
        if (atStart) ++result.boundaryStartCandidatePackets;
        if (!claim(position)) continue;
        if (atStart) {
            result.packetActions.push_back(
                action(inventory, position, 0, Policy::moveToLoopStart,
                       "Native packet occurs exactly at the source loop start and rebases to output tick 0."));
        } else {
            result.packetActions.push_back(action(inventory, position, entry.sequenceTick - startTick,
                                                  Policy::repeatPerPass,
                                                  "Native packet occurs inside the source loop range and must repeat "
                                                  "at the same loop-relative offset for each pass."));
        }
    }
    for (const std::uint32_t position : relationship.unsafeNativePackets) {
        if (!claim(position)) continue;
        result.packetActions.push_back(
            action(inventory, position, std::nullopt, Policy::skip, inventory.reason(position)));
    }
    std::stable_sort(result.packetActions.begin(), result.packetActions.end(),
                     [](const MIDI2NativeLoopPacketAction& a, const MIDI2NativeLoopPacketAction& b) {
                         if (a.packetIndex != b.packetIndex) return a.packetIndex < b.packetIndex;
                         return rawValue(a.policy) < rawValue(b.policy);
                     });
    return result;
}

std::optional<MIDI2NativeLoopDryRunPlan> midi2NativeLoopDryRunPlan(
    const MIDI2NativeLoopPacketClassification& classification, const MIDIEventRelationshipSnapshot& relationship,
    std::span<const MIDIEvent> exportedEvents) {
    const MIDI2NativePacketInventory& inventory = relationship.nativeInventory;
    const auto entries = inventory.entries();
    // An imported clip's snapshot of packet i sits at position i; others are searched.
    const auto positionOf = [&](int packetIndex) -> std::optional<std::size_t> {
        const auto index = static_cast<std::size_t>(packetIndex);
        if (packetIndex >= 0 && index < entries.size() && inventory.packetIndex(index) == packetIndex) return index;
        for (std::size_t position = 0; position < entries.size(); ++position) {
            if (inventory.packetIndex(position) == packetIndex) return position;
        }
        return std::nullopt;
    };

    // The key of each action's packet, and how many exported events carry each key.
    std::vector<std::optional<MIDI2NativeReplacementKey>> keys;
    for (const MIDI2NativeLoopPacketAction& packetAction : classification.packetActions) {
        std::optional<MIDI2NativeReplacementKey> key;
        const auto position = positionOf(packetAction.packetIndex);
        if (packetAction.policy != Policy::skip && position) {
            if (inventory.group(*position) && inventory.channel(*position))
                key = midi2CandidateKey(inventory, *position);
        }
        keys.push_back(key);
    }
    const MIDI2NativeKeyCounts exported = MIDI2NativeKeyCounts::ofChannelEvents(exportedEvents);
    std::vector<int> planned(exported.size(), 0);

    MIDI2NativeLoopDryRunPlan plan;
    plan.repeatCount = classification.repeatCount;
    plan.lengthTick = classification.lengthTick;
    for (std::size_t i = 0; i < classification.packetActions.size(); ++i) {
        const MIDI2NativeLoopPacketAction& packetAction = classification.packetActions[i];
        MIDI2NativeLoopDryRunPacketPlan packetPlan;
        packetPlan.packetIndex = packetAction.packetIndex;
        packetPlan.policy = packetAction.policy;
        packetPlan.sourceTick = packetAction.sourceTick;
        packetPlan.reason = packetAction.reason;
        packetPlan.outputTicks = outputTicksOf(packetAction, classification.repeatCount, classification.lengthTick);
        if (packetAction.policy != Policy::skip) {
            const auto& key = keys[i];
            for (const std::uint32_t tick : packetPlan.outputTicks) {
                const auto index =
                    key ? exported.indexOf(MIDI2NativeReplacementKey::of(tick, key->data())) : std::nullopt;
                if (!index) {
                    packetPlan.unmatchedOutputTicks.push_back(tick);
                } else if (planned[*index]++ < exported.count(*index)) {
                    packetPlan.matchedOutputTicks.push_back(tick);
                } else {
                    packetPlan.duplicateRiskOutputTicks.push_back(tick);
                }
            }
        }
        plan.packetPlans.push_back(std::move(packetPlan));
    }
    return plan;
}

}  // namespace orvane::midi
