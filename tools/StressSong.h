#pragma once
// A deterministic "black MIDI" style stress song, shared by the make_stress tool and the
// benchmarks: a conductor track (time signature and 1000 tempo changes) and 16 note tracks,
// one per channel, each with noteCount notes in two-note chords and a controller and a pitch
// bend every 64 chords. Notes end with velocity-0 note-ons, so running status carries almost
// every event (about 22.6 MB and 6.45 million events at 200000 notes per track). The Format 0
// version merges everything into one track, so running status breaks constantly.
//
// The bytes are written here directly (with running status), not by the project's writer,
// which never uses running status. The output is identical on every run and platform.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace orvane::tools::stress {

using Bytes = std::vector<std::uint8_t>;

struct RawEvent {
    std::uint32_t tick;
    std::uint8_t size;
    std::array<std::uint8_t, 15> bytes;  // room for the longest name meta event
};

inline RawEvent raw(std::uint32_t tick, std::initializer_list<std::uint8_t> bytes) {
    RawEvent event{tick, static_cast<std::uint8_t>(bytes.size()), {}};
    std::copy(bytes.begin(), bytes.end(), event.bytes.begin());
    return event;
}

// splitmix64: a fixed sequence on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint32_t below(std::uint32_t bound) { return static_cast<std::uint32_t>(next() % bound); }
    std::uint8_t byteBetween(std::uint8_t low, std::uint8_t high) {
        return static_cast<std::uint8_t>(low + below(static_cast<std::uint32_t>(high - low + 1)));
    }

private:
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::uint64_t state_;
};

inline std::vector<RawEvent> noteTrack(std::uint8_t channel, std::uint32_t noteCount) {
    Random random(0x5EED0000ULL + channel);
    std::vector<RawEvent> events;
    events.reserve(static_cast<std::size_t>(noteCount) * 2 + noteCount / 64 + 8);
    const std::string name = "Stress " + std::to_string(channel + 1);
    RawEvent nameEvent{0, static_cast<std::uint8_t>(3 + name.size()), {0xFF, 0x03, static_cast<std::uint8_t>(name.size())}};
    std::memcpy(nameEvent.bytes.data() + 3, name.data(), name.size());
    events.push_back(nameEvent);
    events.push_back(raw(0, {static_cast<std::uint8_t>(0xC0 | channel), static_cast<std::uint8_t>(channel * 8)}));

    const auto on = static_cast<std::uint8_t>(0x90 | channel);
    static constexpr std::uint8_t controllers[] = {1, 7, 10, 11};
    std::uint32_t tick = 0;
    for (std::uint32_t chord = 0; chord * 2 < noteCount; ++chord) {
        tick += 128 + random.below(256);  // gaps and lengths of 128 to 383 ticks: two-byte deltas
        if (chord % 64 == 0) {
            const std::uint8_t controller = controllers[(chord / 64) % 4];
            events.push_back(raw(tick, {static_cast<std::uint8_t>(0xB0 | channel), controller, random.byteBetween(0, 127)}));
            events.push_back(raw(tick, {static_cast<std::uint8_t>(0xE0 | channel), random.byteBetween(0, 127),
                                        random.byteBetween(0, 127)}));
        }
        const std::uint8_t low = random.byteBetween(24, 95);
        const auto high = static_cast<std::uint8_t>(low + random.byteBetween(3, 12));
        events.push_back(raw(tick, {on, low, random.byteBetween(1, 127)}));
        const bool single = chord * 2 + 1 == noteCount;
        if (!single) events.push_back(raw(tick, {on, high, random.byteBetween(1, 127)}));
        tick += 128 + random.below(256);
        events.push_back(raw(tick, {on, low, 0}));
        if (!single) events.push_back(raw(tick, {on, high, 0}));
    }
    events.push_back(raw(tick, {0xFF, 0x2F, 0x00}));
    return events;
}

inline std::vector<RawEvent> conductorTrack(std::uint32_t lastTick) {
    std::vector<RawEvent> events;
    events.push_back(raw(0, {0xFF, 0x58, 0x04, 4, 2, 24, 8}));
    constexpr std::uint32_t tempoChanges = 1000;
    for (std::uint32_t i = 0; i < tempoChanges; ++i) {
        const std::uint32_t tick = static_cast<std::uint32_t>(static_cast<std::uint64_t>(lastTick) * i / tempoChanges);
        const std::uint32_t microseconds = 300000 + (i * 7919) % 400000;  // 86 to 200 BPM
        events.push_back(raw(tick, {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(microseconds >> 16),
                                    static_cast<std::uint8_t>(microseconds >> 8), static_cast<std::uint8_t>(microseconds)}));
    }
    events.push_back(raw(lastTick, {0xFF, 0x2F, 0x00}));
    return events;
}

inline void putVarLen(Bytes& out, std::uint32_t value) {
    std::uint8_t groups[5];
    int count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count-- > 0) out.push_back(static_cast<std::uint8_t>(groups[count] | (count > 0 ? 0x80 : 0)));
}

inline void putBigEndian(Bytes& out, std::uint32_t value, int byteCount) {
    for (int shift = 8 * (byteCount - 1); shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// One "MTrk" chunk with running status: a channel status equal to the previous one is left
// out; meta events cancel it.
inline void appendChunk(Bytes& out, const std::vector<RawEvent>& events) {
    out.insert(out.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 0});
    const std::size_t bodyStart = out.size();
    std::uint8_t running = 0;
    std::uint32_t previousTick = 0;
    for (const RawEvent& event : events) {
        putVarLen(out, event.tick - previousTick);
        previousTick = event.tick;
        const std::uint8_t status = event.bytes[0];
        const std::size_t skip = status < 0xF0 && status == running ? 1 : 0;
        running = status < 0xF0 ? status : 0;
        out.insert(out.end(), event.bytes.begin() + static_cast<std::ptrdiff_t>(skip), event.bytes.begin() + event.size);
    }
    const auto length = static_cast<std::uint32_t>(out.size() - bodyStart);
    for (int i = 0; i < 4; ++i) out[bodyStart - 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
}

inline Bytes header(std::uint16_t format, std::uint16_t trackCount) {
    Bytes out = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    putBigEndian(out, format, 2);
    putBigEndian(out, trackCount, 2);
    putBigEndian(out, 960, 2);
    return out;
}

// All tracks merged by tick into one (earlier tracks first at equal ticks), ending with one
// end-of-track event.
inline std::vector<RawEvent> merged(const std::vector<std::vector<RawEvent>>& tracks) {
    std::size_t total = 0;
    for (const auto& track : tracks) total += track.size();
    std::vector<RawEvent> out;
    out.reserve(total);
    std::vector<std::size_t> cursor(tracks.size(), 0);
    std::uint32_t lastTick = 0;
    for (;;) {
        std::size_t best = tracks.size();
        for (std::size_t t = 0; t < tracks.size(); ++t) {
            if (cursor[t] == tracks[t].size()) continue;
            if (best == tracks.size() || tracks[t][cursor[t]].tick < tracks[best][cursor[best]].tick) best = t;
        }
        if (best == tracks.size()) break;
        const RawEvent& event = tracks[best][cursor[best]++];
        const bool endOfTrack = event.bytes[0] == 0xFF && event.bytes[1] == 0x2F;
        if (endOfTrack) {
            lastTick = std::max(lastTick, event.tick);
        } else {
            out.push_back(event);
        }
    }
    out.push_back(raw(lastTick, {0xFF, 0x2F, 0x00}));
    return out;
}

// The tracks of the song: the conductor first, then one note track per channel.
inline std::vector<std::vector<RawEvent>> songTracks(std::uint32_t noteCount) {
    std::vector<std::vector<RawEvent>> tracks;
    std::uint32_t lastTick = 0;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        tracks.push_back(noteTrack(channel, noteCount));
        lastTick = std::max(lastTick, tracks.back().back().tick);
    }
    tracks.insert(tracks.begin(), conductorTrack(lastTick));
    return tracks;
}

inline std::size_t eventCount(const std::vector<std::vector<RawEvent>>& tracks) {
    std::size_t count = 0;
    for (const auto& track : tracks) count += track.size();
    return count;
}

inline Bytes format1File(const std::vector<std::vector<RawEvent>>& tracks) {
    Bytes out = header(1, static_cast<std::uint16_t>(tracks.size()));
    out.reserve(eventCount(tracks) * 4);
    for (const auto& track : tracks) appendChunk(out, track);
    return out;
}

inline Bytes format0File(const std::vector<std::vector<RawEvent>>& tracks) {
    const std::vector<RawEvent> single = merged(tracks);
    Bytes out = header(0, 1);
    out.reserve(single.size() * 5);
    appendChunk(out, single);
    return out;
}

}  // namespace orvane::tools::stress
