#pragma once
// Small Standard MIDI Files built in code for the playback tests. Without a tempo event a
// song runs at 120 BPM: with 480 ticks per quarter note, 960 ticks are one second.

#include <cstdint>
#include <vector>

#include "midi/model/MIDIEvent.h"
#include "midi/model/MIDIFile.h"

namespace orvane::playback::testing {

using midi::Bytes;
using midi::EventList;
using midi::MIDIEvent;

constexpr std::uint32_t ticksPerSecond = 960;

inline std::uint32_t at(double seconds) { return static_cast<std::uint32_t>(seconds * ticksPerSecond); }

// A channel message: the status's high nibble with the channel, then its data bytes.
inline MIDIEvent channelMessage(double seconds, int status, int channel, std::initializer_list<int> data) {
    Bytes bytes{static_cast<std::uint8_t>(status | channel)};
    for (const int byte : data) bytes.push_back(static_cast<std::uint8_t>(byte));
    return MIDIEvent(at(seconds), bytes);
}
inline MIDIEvent noteOn(double seconds, int channel, int key, int velocity = 100) {
    return channelMessage(seconds, 0x90, channel, {key, velocity});
}
inline MIDIEvent noteOff(double seconds, int channel, int key) { return channelMessage(seconds, 0x80, channel, {key, 0}); }
inline MIDIEvent program(double seconds, int channel, int number) {
    return channelMessage(seconds, 0xC0, channel, {number});
}
inline MIDIEvent controller(double seconds, int channel, int number, int value) {
    return channelMessage(seconds, 0xB0, channel, {number, value});
}
inline MIDIEvent endOfTrack(double seconds) { return MIDIEvent(at(seconds), {0xFF, 0x2F, 0x00}); }

// A format-1 file of the given track chunks.
inline Bytes songBytes(const std::vector<EventList>& tracks) {
    midi::MIDIFile file;
    file.timeDivision = 480;
    Bytes out = file.header(1, static_cast<int>(tracks.size()));
    for (const auto& track : tracks) midi::MIDIFile::appendTrackChunk(out, track);
    return out;
}

// Notes of `length` seconds on a channel, one every `step` seconds over [from, to).
inline void addNotes(EventList& track, int channel, int key, double from, double to, double step, double length) {
    for (double t = from; t + 1e-9 < to; t += step) {
        track.push_back(noteOn(t, channel, key));
        track.push_back(noteOff(t + length, channel, key));
    }
}

// Something like a short demo song, 12 s: bass, chords, a melody and drums, with programs.
inline std::vector<EventList> demoLikeTracks() {
    EventList conductor = {MIDIEvent(0, {0xFF, 0x03, 4, 'D', 'e', 'm', 'o'}), endOfTrack(12)};
    EventList bass = {program(0, 0, 33)};
    EventList keys = {program(0, 1, 4), controller(0, 1, 7, 90)};
    EventList melody = {program(0, 2, 73)};
    EventList drums;
    for (int bar = 0; bar < 6; ++bar) {
        const double start = bar * 2.0;
        addNotes(bass, 0, bar % 2 == 0 ? 45 : 41, start, start + 2, 0.5, 0.45);
        for (const int key : {57, 60, 64}) addNotes(keys, 1, key, start, start + 2, 1.0, 0.9);
        addNotes(melody, 2, 69 + (bar % 3) * 2, start + 0.25, start + 2, 0.75, 0.25);
        addNotes(drums, 9, 36, start, start + 2, 1.0, 0.1);
        addNotes(drums, 9, 42, start, start + 2, 0.25, 0.05);
    }
    return {conductor, bass, keys, melody, drums};
}

}  // namespace orvane::playback::testing
