#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "midi/model/MIDIEvent.h"

namespace orvane::midi {

// One track of a song: its identity, its mixer values and its events in file order.
struct MIDITrack {
    std::string name;
    int channel = -1;                     // 0...15, or -1 when the track has no channel events
    std::uint8_t instrument = 0;          // General MIDI program
    std::optional<std::uint8_t> drumNote; // a channel-9 track that strikes exactly one key
    std::uint8_t volume = 64;
    std::uint8_t pan = 64;
    std::uint8_t velocity = 64;
    std::uint8_t reverb = 0;
    EventList events;

    friend bool operator==(const MIDITrack&, const MIDITrack&) = default;
};

}  // namespace orvane::midi
