#pragma once
// Timing helpers shared by the views' arithmetic (timeline lanes, activity meters): one tempo
// map per build that never divides by a division of 0, and a walk over a track's events in
// tick order.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "midi/model/MIDIFile.h"
#include "midi/model/TempoMap.h"

namespace orvane::app::timing {

// Ticks per quarter note for arithmetic in ticks: the division, at least 1.
[[nodiscard]] inline std::uint32_t ticksPerQuarter(const midi::MIDIFile& song) noexcept {
    return std::max<std::uint32_t>(song.timeDivision, 1);
}

// Frames per second times ticks per frame of an SMPTE division; 0 when it is unusable.
[[nodiscard]] inline std::uint32_t smpteTicksPerSecond(std::uint16_t division) noexcept {
    const auto framesCode = static_cast<std::int8_t>(division >> 8);
    const auto ticksPerFrame = static_cast<std::uint32_t>(division & 0xFF);
    if (framesCode >= 0) return 0;
    return static_cast<std::uint32_t>(-framesCode) * ticksPerFrame;
}

// The song's tempo map under the override. A song whose division is 0 is timed as if it were
// 1 tick per quarter note: its times stay finite instead of becoming infinite or NaN.
[[nodiscard]] inline midi::TempoMap tempoMap(const midi::MIDIFile& song, std::optional<double> newBPM) {
    if (song.isSMPTE || song.timeDivision != 0) return midi::TempoMap(song, newBPM);
    midi::MIDIFile conductor;  // the tempo fields only, no tracks
    conductor.timeDivision = 1;
    conductor.bpm = song.bpm;
    conductor.tempoEvents = song.tempoEvents;
    conductor.originalTempoEvents = song.originalTempoEvents;
    return midi::TempoMap(conductor, newBPM);
}

// Calls visit(event) for every event in tick order, events of the same tick in list order.
// Tracks read from a file are already in that order and are walked in place; any other list
// is walked through a sorted list of pointers.
template <class Visit>
void forEachEventInTickOrder(const midi::EventList& events, Visit&& visit) {
    const auto byTick = [](const midi::MIDIEvent& a, const midi::MIDIEvent& b) { return a.tick < b.tick; };
    if (std::is_sorted(events.begin(), events.end(), byTick)) {
        for (const midi::MIDIEvent& event : events) visit(event);
        return;
    }
    std::vector<const midi::MIDIEvent*> ordered;
    ordered.reserve(events.size());
    for (const midi::MIDIEvent& event : events) ordered.push_back(&event);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [&](const midi::MIDIEvent* a, const midi::MIDIEvent* b) { return byTick(*a, *b); });
    for (const midi::MIDIEvent* event : ordered) visit(*event);
}

}  // namespace orvane::app::timing
