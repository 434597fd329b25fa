#pragma once
// The loop engine: the section between two markers (in seconds) as ticks, and a track's
// section repeated back to back from tick 0, with the notes cleaned at every repeat boundary
// and the channel state in force at the section start replayed at the start of every repeat.

#include <cstdint>
#include <optional>
#include <span>

#include "midi/model/MIDIFile.h"

namespace orvane::midi {

inline constexpr int maximumRepeatCount = 999;

// startTick < endTick (unless startTick is the last tick there is) and length >= 1.
struct LoopSectionBounds {
    std::uint32_t startTick = 0;
    std::uint32_t endTick = 1;
    std::uint32_t length = 1;
    friend bool operator==(const LoopSectionBounds&, const LoopSectionBounds&) = default;
};

// A repeat count brought into 1...999.
[[nodiscard]] int clampedRepeatCount(int repeatCount) noexcept;

// The section between the two marker times (in either order), clamped to the song's end.
// tightenLoop does not change the result.
[[nodiscard]] LoopSectionBounds loopSectionBounds(const MIDIFile& midi, double startSeconds, double endSeconds,
                                                  bool tightenLoop, std::optional<double> newBPM);

// The tick at which a looped output ends.
[[nodiscard]] std::uint32_t loopFinalTick(std::uint32_t length, int repeatCount) noexcept;

// The channel state in force just before startTick (programs, controllers 0-119, pitch bend,
// channel and key pressure), each at tick 0 in the order it was set, followed by
// explicitSetupEvents at tick 0, which therefore win.
[[nodiscard]] EventList loopRepeatSetupEvents(std::span<const MIDIEvent> events, std::uint32_t startTick,
                                              std::span<const MIDIEvent> explicitSetupEvents);

// The events of [startTick, endTick) repeated repeatCount times from tick 0. Every repeat
// starts with repeatSetupEvents; note-offs without their note-on in the section are dropped;
// notes still open at a repeat's end are closed there, followed by an All Notes Off on channel
// when it is 0...15. tightenLoop does not change the result. With keep, only the events it
// accepts take part (as if the others had been filtered out of events first).
[[nodiscard]] EventList repeatedSectionEvents(std::span<const MIDIEvent> events, std::uint32_t startTick,
                                              std::uint32_t endTick, int repeatCount, std::optional<int> channel,
                                              bool tightenLoop, std::span<const MIDIEvent> repeatSetupEvents,
                                              bool (*keep)(const MIDIEvent&) = nullptr);

}  // namespace orvane::midi
