#pragma once
// What is going on around a tick window of a song: which notes sound (and which never end),
// the channel state in force at the window start, the tempo events that matter, and which
// stored MIDI 2.0 packets fall inside the window, can serve as start state, or can never be
// copied. The MIDI 2.0 export planners read it; it changes nothing.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "midi/midi2/MIDI2Records.h"
#include "midi/model/MIDIFile.h"

namespace orvane::midi {

struct MIDIResolvedNoteRange {
    int trackIndex = 0;  // index in the track list the snapshot was built from
    std::uint8_t channel = 0;
    std::uint8_t note = 0;
    std::uint32_t startTick = 0;
    std::optional<std::uint32_t> endTick;  // none for a note that never ends
    std::uint8_t velocity = 0;
    friend bool operator==(const MIDIResolvedNoteRange&, const MIDIResolvedNoteRange&) = default;
};

struct MIDIChannelEffectiveState {
    std::uint8_t channel = 0;
    std::optional<std::uint8_t> program;
    std::map<std::uint8_t, std::uint8_t> controllers;  // last value of every controller seen
    std::optional<std::uint16_t> pitchBend14;          // data1 | data2 << 7
    std::optional<std::uint8_t> channelPressure;
    std::map<std::uint8_t, std::uint8_t> polyPressure;  // per key
    friend bool operator==(const MIDIChannelEffectiveState&, const MIDIChannelEffectiveState&) = default;
};

struct MIDIEventRelationshipSnapshot {
    std::uint32_t startTick = 0;
    std::optional<std::uint32_t> endTick;  // exclusive; none = to the end of the song
    std::vector<MIDIResolvedNoteRange> noteRanges;
    std::vector<MIDIResolvedNoteRange> unresolvedNoteOns;
    std::map<std::uint8_t, MIDIChannelEffectiveState> effectiveChannelStates;
    TimedMetaList tempoEventsAtOrBeforeStart;
    TimedMetaList tempoEventsInRange;
    // The stored packets of the three lists, as positions in the song's packet inventory
    // (a clip of millions of packets is not copied); nativeSnapshots() gives the records.
    MIDI2NativePacketInventory nativeInventory;
    std::vector<std::uint32_t> nativePacketsInRange;
    std::vector<std::uint32_t> nativeEffectiveStartCandidates;
    std::vector<std::uint32_t> unsafeNativePackets;

    [[nodiscard]] std::vector<MIDI2NativePacketSnapshot> nativeSnapshots(
        std::span<const std::uint32_t> positions) const;
};

// The snapshot of the given tracks (the musical tracks when none are given) for the window
// startTick ..< endTick.
MIDIEventRelationshipSnapshot relationshipSnapshot(const MIDIFile& file,
                                                   std::optional<std::span<const MIDITrack>> tracks,
                                                   std::uint32_t startTick, std::optional<std::uint32_t> endTick);

// Which lists to compute; callers that never read the note ranges or the packets in range
// leave them empty and save the work.
struct RelationshipParts {
    bool noteRanges = true;
    bool nativePacketsInRange = true;
    bool nativePacketLists = true;  // all three packet lists
};

// The same over bare event lists, one per track.
MIDIEventRelationshipSnapshot relationshipSnapshot(const MIDIFile& file,
                                                   std::span<const std::span<const MIDIEvent>> trackEvents,
                                                   std::uint32_t startTick, std::optional<std::uint32_t> endTick,
                                                   RelationshipParts parts);

}  // namespace orvane::midi
