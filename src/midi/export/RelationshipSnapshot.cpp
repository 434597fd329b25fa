#include "midi/export/RelationshipSnapshot.h"

#include <algorithm>
#include <array>
#include <limits>

namespace orvane::midi {
namespace {

using Entry = MIDI2NativePacketInventory::Entry;

struct NoteRanges {
    std::vector<MIDIResolvedNoteRange> completed;
    std::vector<MIDIResolvedNoteRange> unresolved;
};

// Pending note-ons of one track, first in first out per (channel, key).
class PendingNotes {
public:
    void push(std::uint8_t channel, std::uint8_t note, std::uint32_t tick, std::uint8_t velocity) {
        queues_[slot(channel, note)].push_back({tick, velocity});
    }
    // The oldest pending note-on of the key, if any.
    std::optional<std::pair<std::uint32_t, std::uint8_t>> pop(std::uint8_t channel, std::uint8_t note) {
        const std::size_t index = slot(channel, note);
        auto& queue = queues_[index];
        std::size_t& head = heads_[index];
        if (head == queue.size()) return std::nullopt;
        const auto pending = queue[head++];
        if (head == queue.size()) {
            queue.clear();
            head = 0;
        }
        return pending;
    }
    template <typename Visit>
    void forEachPending(Visit&& visit) const {
        for (std::size_t index = 0; index < queues_.size(); ++index) {
            for (std::size_t i = heads_[index]; i < queues_[index].size(); ++i) {
                visit(static_cast<std::uint8_t>(index >> 8), static_cast<std::uint8_t>(index & 0xFF),
                      queues_[index][i]);
            }
        }
    }

private:
    static std::size_t slot(std::uint8_t channel, std::uint8_t note) { return std::size_t{channel} << 8 | note; }
    std::array<std::vector<std::pair<std::uint32_t, std::uint8_t>>, 16 * 256> queues_;
    std::array<std::size_t, 16 * 256> heads_{};
};

bool rangePrecedes(const MIDIResolvedNoteRange& a, const MIDIResolvedNoteRange& b) {
    if (a.startTick != b.startTick) return a.startTick < b.startTick;
    if (a.trackIndex != b.trackIndex) return a.trackIndex < b.trackIndex;
    if (a.channel != b.channel) return a.channel < b.channel;
    return a.note < b.note;
}

NoteRanges resolveNoteRanges(std::span<const std::span<const MIDIEvent>> trackEvents) {
    NoteRanges ranges;
    for (std::size_t trackIndex = 0; trackIndex < trackEvents.size(); ++trackIndex) {
        PendingNotes pending;
        const int index = static_cast<int>(trackIndex);
        for (const MIDIEvent& event : MIDIFile::sortedEventsForExport(trackEvents[trackIndex])) {
            if (event.isNoteOn()) {
                pending.push(event.channel(), event[1], event.tick, event[2]);
            } else if (event.isNoteOff()) {
                // A note-off without a pending note-on is ignored.
                if (const auto start = pending.pop(event.channel(), event[1])) {
                    ranges.completed.push_back(
                        {index, event.channel(), event[1], start->first, event.tick, start->second});
                }
            }
        }
        pending.forEachPending(
            [&](std::uint8_t channel, std::uint8_t note, std::pair<std::uint32_t, std::uint8_t> start) {
                ranges.unresolved.push_back({index, channel, note, start.first, std::nullopt, start.second});
            });
    }
    std::stable_sort(ranges.completed.begin(), ranges.completed.end(), rangePrecedes);
    std::stable_sort(ranges.unresolved.begin(), ranges.unresolved.end(), rangePrecedes);
    return ranges;
}

// A note overlaps the window when it starts before the window's end and does not end before
// its start; a note ending exactly at the window start counts.
std::vector<MIDIResolvedNoteRange> overlapping(std::vector<MIDIResolvedNoteRange> ranges, std::uint32_t startTick,
                                               std::optional<std::uint32_t> endTick) {
    const std::uint32_t end = endTick.value_or(std::numeric_limits<std::uint32_t>::max());
    std::erase_if(ranges, [&](const MIDIResolvedNoteRange& range) {
        return !(range.startTick < end && (!range.endTick || *range.endTick >= startTick));
    });
    return ranges;
}

std::map<std::uint8_t, MIDIChannelEffectiveState> relationshipEffectiveChannelStates(
    std::span<const std::span<const MIDIEvent>> trackEvents, std::uint32_t tick) {
    EventList upToTick;
    for (const auto events : trackEvents) {
        for (const MIDIEvent& event : events) {
            if (event.tick <= tick) upToTick.push_back(event);
        }
    }
    std::map<std::uint8_t, MIDIChannelEffectiveState> states;
    for (const MIDIEvent& event : MIDIFile::sortedEventsForExport(upToTick)) {
        if (!event.isChannelMessage()) continue;
        const std::uint8_t channel = event.channel();
        MIDIChannelEffectiveState& state = states[channel];
        state.channel = channel;
        const std::size_t size = event.size();
        switch (event.status() & 0xF0) {
            case 0xA0:
                if (size >= 3) state.polyPressure[event[1]] = event[2];
                break;
            case 0xB0:
                if (size >= 3) state.controllers[event[1]] = event[2];
                break;
            case 0xC0:
                if (size >= 2) state.program = event[1];
                break;
            case 0xD0:
                if (size >= 2) state.channelPressure = event[1];
                break;
            case 0xE0:
                if (size >= 3) state.pitchBend14 = static_cast<std::uint16_t>(event[1] | event[2] << 7);
                break;
            default:
                break;
        }
    }
    return states;
}

}  // namespace

std::vector<MIDI2NativePacketSnapshot> MIDIEventRelationshipSnapshot::nativeSnapshots(
    std::span<const std::uint32_t> positions) const {
    std::vector<MIDI2NativePacketSnapshot> snapshots;
    snapshots.reserve(positions.size());
    for (const std::uint32_t position : positions) snapshots.push_back(nativeInventory[position]);
    return snapshots;
}

MIDIEventRelationshipSnapshot relationshipSnapshot(const MIDIFile& file,
                                                   std::span<const std::span<const MIDIEvent>> trackEvents,
                                                   std::uint32_t startTick, std::optional<std::uint32_t> endTick,
                                                   RelationshipParts parts) {
    MIDIEventRelationshipSnapshot snapshot;
    snapshot.startTick = startTick;
    snapshot.endTick = endTick;
    if (parts.noteRanges) {
        NoteRanges ranges = resolveNoteRanges(trackEvents);
        snapshot.noteRanges = overlapping(std::move(ranges.completed), startTick, endTick);
        snapshot.unresolvedNoteOns = overlapping(std::move(ranges.unresolved), startTick, endTick);
    }
    snapshot.effectiveChannelStates = relationshipEffectiveChannelStates(trackEvents, startTick);
    for (const MIDIEvent& tempo : file.tempoEvents) {
        if (tempo.tick <= startTick) snapshot.tempoEventsAtOrBeforeStart.push_back(tempo);
        if (tempo.tick >= startTick && (!endTick || tempo.tick < *endTick))
            snapshot.tempoEventsInRange.push_back(tempo);
    }

    snapshot.nativeInventory = file.midi2NativePacketSnapshots;
    if (!parts.nativePacketLists) return snapshot;
    const auto entries = snapshot.nativeInventory.entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& entry = entries[i];
        const auto position = static_cast<std::uint32_t>(i);
        if (parts.nativePacketsInRange && entry.hasSequenceTick && entry.sequenceTick >= startTick &&
            (!endTick || entry.sequenceTick < *endTick)) {
            snapshot.nativePacketsInRange.push_back(position);
        }
        if (entry.hasSequenceTick && entry.sequenceTick <= startTick &&
            entry.action != MIDI2NativePacketAction::structuralOnly &&
            entry.action != MIDI2NativePacketAction::skippedUnsupported &&
            (entry.scope == MIDI2NativePacketScope::safelyScoped || entry.scope == MIDI2NativePacketScope::global)) {
            snapshot.nativeEffectiveStartCandidates.push_back(position);
        }
        if (entry.action == MIDI2NativePacketAction::skippedUnsupported ||
            entry.scope == MIDI2NativePacketScope::unsupported || entry.scope == MIDI2NativePacketScope::ambiguous) {
            snapshot.unsafeNativePackets.push_back(position);
        }
    }
    return snapshot;
}

MIDIEventRelationshipSnapshot relationshipSnapshot(const MIDIFile& file,
                                                   std::optional<std::span<const MIDITrack>> tracks,
                                                   std::uint32_t startTick, std::optional<std::uint32_t> endTick) {
    std::vector<std::span<const MIDIEvent>> trackEvents;
    if (tracks) {
        for (const MIDITrack& track : *tracks) trackEvents.emplace_back(track.events);
    } else {
        for (const MIDITrack& track : file.musicalTracks()) trackEvents.emplace_back(track.events);
    }
    return relationshipSnapshot(file, trackEvents, startTick, endTick, RelationshipParts{});
}

}  // namespace orvane::midi
