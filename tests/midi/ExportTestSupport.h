#pragma once
// Helpers for the export tests: a small, separate decoder of the files the builders write
// (our writer never uses running status), and shorthands for events and tracks.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "midi/model/MIDIFile.h"

namespace orvane::midi::testing {

struct DecodedChunk {
    EventList events;  // absolute ticks
};

struct DecodedFile {
    std::uint16_t format = 0;
    std::uint16_t declaredTracks = 0;
    std::uint16_t division = 0;
    std::vector<DecodedChunk> chunks;
};

inline std::uint32_t readVarLen(const Bytes& bytes, std::size_t& at) {
    std::uint32_t value = 0;
    for (int i = 0; i < 5; ++i) {
        const std::uint8_t byte = bytes.at(at++);
        value = (value << 7) | (byte & 0x7Fu);
        if ((byte & 0x80) == 0) return value;
    }
    ADD_FAILURE() << "variable-length quantity longer than 5 bytes";
    return value;
}

// Decodes a file written without running status; records a test failure on anything else.
inline DecodedFile decode(const Bytes& bytes) {
    const auto be16 = [&](std::size_t at) { return static_cast<std::uint16_t>(bytes.at(at) << 8 | bytes.at(at + 1)); };
    const auto be32 = [&](std::size_t at) {
        return std::uint32_t{bytes.at(at)} << 24 | std::uint32_t{bytes.at(at + 1)} << 16 |
               std::uint32_t{bytes.at(at + 2)} << 8 | bytes.at(at + 3);
    };
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "MThd");
    DecodedFile file{be16(8), be16(10), be16(12), {}};
    std::size_t at = 14;
    while (at < bytes.size()) {
        EXPECT_EQ(std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at) + 4), "MTrk");
        const std::size_t end = at + 8 + be32(at + 4);
        EXPECT_LE(end, bytes.size());
        at += 8;
        DecodedChunk& chunk = file.chunks.emplace_back();
        std::uint32_t tick = 0;
        while (at < end) {
            tick += readVarLen(bytes, at);
            const std::uint8_t status = bytes.at(at);
            EXPECT_GE(status, 0x80) << "running status or a stray data byte at " << at;
            // Programs and channel pressure have one data byte; meta and system exclusive events a length.
            std::size_t size = (status & 0xE0) == 0xC0 ? 2 : 3;
            if (status == 0xFF || status == 0xF0 || status == 0xF7) {
                std::size_t lengthAt = at + (status == 0xFF ? 2 : 1);
                const std::uint32_t length = readVarLen(bytes, lengthAt);
                size = lengthAt - at + length;
            }
            chunk.events.push_back(MIDIEvent(tick, std::span<const std::uint8_t>(bytes.data() + at, size)));
            at += size;
        }
        EXPECT_EQ(at, end);
    }
    EXPECT_EQ(file.chunks.size(), file.declaredTracks);
    return file;
}

inline MIDIEvent ev(std::uint32_t tick, std::initializer_list<std::uint8_t> bytes) { return MIDIEvent(tick, bytes); }
inline MIDIEvent channelEvent(std::uint32_t tick, int status, int first, int second) {
    return MIDIEvent(tick, {static_cast<std::uint8_t>(status), static_cast<std::uint8_t>(first),
                            static_cast<std::uint8_t>(second)});
}
inline MIDIEvent noteOn(std::uint32_t tick, int channel, int key, int velocity = 100) {
    return channelEvent(tick, 0x90 | channel, key, velocity);
}
inline MIDIEvent noteOff(std::uint32_t tick, int channel, int key) { return channelEvent(tick, 0x80 | channel, key, 0); }
inline MIDIEvent cc(std::uint32_t tick, int channel, int controller, int value) {
    return channelEvent(tick, 0xB0 | channel, controller, value);
}
inline MIDIEvent program(std::uint32_t tick, int channel, int number) {
    return MIDIEvent(tick, {static_cast<std::uint8_t>(0xC0 | channel), static_cast<std::uint8_t>(number)});
}
inline MIDIEvent tempo(std::uint32_t tick, std::uint32_t microseconds) {
    return MIDIEvent(tick, {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(microseconds >> 16),
                            static_cast<std::uint8_t>(microseconds >> 8), static_cast<std::uint8_t>(microseconds)});
}
inline MIDIEvent timeSignature(std::uint32_t tick, int numerator, int denominatorPower) {
    return MIDIEvent(tick, {0xFF, 0x58, 0x04, static_cast<std::uint8_t>(numerator),
                            static_cast<std::uint8_t>(denominatorPower), 24, 8});
}
inline MIDIEvent endOfTrack(std::uint32_t tick) { return MIDIEvent(tick, {0xFF, 0x2F, 0x00}); }

inline MIDITrack track(std::string name, int channel, EventList events, std::uint8_t instrument = 0) {
    MIDITrack result;
    result.name = std::move(name);
    result.channel = channel;
    result.instrument = instrument;
    result.events = std::move(events);
    result.velocity = MIDIFile::averageNoteVelocity(result.events, 64);
    return result;
}

// A song (division 480) holding these tracks and conductor data.
inline MIDIFile song(std::vector<MIDITrack> tracks, EventList tempos = {}, EventList signatures = {}) {
    MIDIFile file;
    file.timeDivision = 480;
    file.tempoEvents = file.originalTempoEvents = tempos;
    file.timeSignatureEvents = std::move(signatures);
    file.setTracks(std::move(tracks));
    return file;
}

}  // namespace orvane::midi::testing
