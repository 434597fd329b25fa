#pragma once
// The small pure functions every export passes a track's events through: they remove what
// the export writes anew (mixer controllers, tempo and time signatures, end-of-track events,
// setup program changes), apply the user's edits (transpose, mixer velocity, a new channel,
// one drum sound) and make the setup events that carry a track's name and mixer values.
// None of them changes the song; unless stated, order and ticks are kept and untouched
// events pass through unchanged.
//
// The builders use the in-place and predicate forms at the bottom, which let them do several
// of these steps in one pass over a track.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "midi/model/HugePages.h"
#include "midi/model/MIDIEvent.h"
#include "midi/model/MIDITrack.h"

namespace orvane::midi {

inline constexpr int percussionChannel = 9;

[[nodiscard]] constexpr bool isValidChannel(int channel) noexcept { return channel >= 0 && channel <= 15; }

// Note-ons and note-offs off the percussion channel get key + semitones, clamped to 0...127.
[[nodiscard]] EventList transposeEvents(std::span<const MIDIEvent> events, int semitones);
// Note-on velocities scaled from the track's own mean velocity to its mixer velocity.
[[nodiscard]] EventList applyVelocity(std::span<const MIDIEvent> events, const MIDITrack& track);
// Volume, pan and reverb controllers at tick, on channelOverride or the track's channel;
// empty when that channel is not 0...15.
[[nodiscard]] EventList mixEvents(const MIDITrack& track, std::optional<int> channelOverride, std::uint32_t tick);
// Every channel message moved to channel (unchanged when channel is not 0...15).
[[nodiscard]] EventList remapChannel(std::span<const MIDIEvent> events, int channel);
// Without the volume, pan and reverb controllers.
[[nodiscard]] EventList stripAllMixCC(std::span<const MIDIEvent> events);
// Without tempo and time-signature meta events.
[[nodiscard]] EventList stripTempoMeta(std::span<const MIDIEvent> events);
// Without the program changes at tick 0 on channel (unchanged when channel is not 0...15).
[[nodiscard]] EventList stripTickZeroProgramEvents(std::span<const MIDIEvent> events, int channel);
// Without the channel messages of channels that play no note (unchanged when none plays).
[[nodiscard]] EventList stripChannelEventsWithoutNotes(std::span<const MIDIEvent> events);
// Without end-of-track meta events.
[[nodiscard]] EventList stripEndOfTrackMeta(std::span<const MIDIEvent> events);
// The track-name meta event at tick 0.
[[nodiscard]] MIDIEvent trackNameEvent(const MIDITrack& track);
// Every channel message on the percussion channel, every note on drumNote, program changes
// replaced by one (0xC9, kitProgram) at the front.
[[nodiscard]] EventList drumMappedEvents(std::span<const MIDIEvent> events, std::uint8_t kitProgram,
                                         std::uint8_t drumNote);
// One output channel per merged track, distinct where the 16 channels allow.
[[nodiscard]] std::vector<int> assignedChannelsForMergedTracks(std::span<const MIDITrack> tracks);

// ---- Building blocks --------------------------------------------------------------------

[[nodiscard]] bool isMixController(const MIDIEvent& event) noexcept;          // CC 7, 10 or 91
[[nodiscard]] bool isTempoOrTimeSignature(const MIDIEvent& event) noexcept;   // meta 0x51 or 0x58
[[nodiscard]] bool isTrackName(const MIDIEvent& event) noexcept;              // meta 0x03
[[nodiscard]] bool isTickZeroProgramChange(const MIDIEvent& event, int channel) noexcept;

// Bit n set when channel n has a note-on.
[[nodiscard]] std::uint16_t channelsWithNotes(std::span<const MIDIEvent> events) noexcept;
// Whether a channel message survives stripChannelEventsWithoutNotes given those channels.
[[nodiscard]] bool keepsChannelMessage(const MIDIEvent& event, std::uint16_t noteChannels) noexcept;

// The factor applyVelocity scales note-on velocities by, or nothing when it leaves them.
[[nodiscard]] std::optional<double> velocityScale(const MIDITrack& track);

// applyVelocity (with the factor of velocityScale) and transposeEvents in one pass.
void applyNoteEditsInPlace(std::span<MIDIEvent> events, std::optional<double> velocityFactor, int semitones) noexcept;
void remapChannelInPlace(std::span<MIDIEvent> events, int channel) noexcept;

// The events for which keep(event) is true, in order.
template <class Keep>
[[nodiscard]] EventList filteredEvents(std::span<const MIDIEvent> events, Keep keep) {
    EventList kept;
    reserveLarge(kept, events.size());
    for (const MIDIEvent& event : events) {
        if (keep(event)) kept.push_back(event);
    }
    return kept;
}

}  // namespace orvane::midi
