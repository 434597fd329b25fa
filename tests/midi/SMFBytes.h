#pragma once
// Standard MIDI File bytes built by hand for reader tests: every fixture states its bytes.

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "midi/model/MIDIFile.h"

namespace orvane::midi::smf {

// Keeps the reader's normalising notice (its text is checked through orvane-cli info) quiet.
struct QuietNotices {
    QuietNotices() { MIDIFile::setNormalizingNoticeStream(nullptr); }
    ~QuietNotices() { MIDIFile::setNormalizingNoticeStream(stdout); }
};

using Bytes = std::vector<std::uint8_t>;

// Appends byte by byte (range inserts into short vectors trip optimised g++'s bounds warnings).
template <class Range>
void append(Bytes& out, const Range& bytes) {
    for (const auto byte : bytes) out.push_back(static_cast<std::uint8_t>(byte));
}

inline void appendBigEndian(Bytes& out, std::uint32_t value, int width) {
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

inline Bytes header(std::uint16_t format, std::uint16_t trackCount, std::uint16_t division = 480) {
    Bytes out = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    appendBigEndian(out, format, 2);
    appendBigEndian(out, trackCount, 2);
    appendBigEndian(out, division, 2);
    return out;
}

// A chunk with the given tag and body; declaredLength overrides the true length.
inline Bytes chunk(std::string_view tag, const Bytes& body, std::int64_t declaredLength = -1) {
    Bytes out;
    append(out, tag);
    const std::int64_t length = declaredLength < 0 ? static_cast<std::int64_t>(body.size()) : declaredLength;
    appendBigEndian(out, static_cast<std::uint32_t>(length), 4);
    append(out, body);
    return out;
}

inline Bytes track(const Bytes& body) { return chunk("MTrk", body); }

inline Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) append(out, part);
    return out;
}

// A file of the given format whose header announces exactly the given track bodies.
inline Bytes file(std::uint16_t format, std::initializer_list<Bytes> bodies, std::uint16_t division = 480) {
    Bytes out = header(format, static_cast<std::uint16_t>(bodies.size()), division);
    for (const Bytes& body : bodies) append(out, track(body));
    return out;
}

// Common events with a zero delta.
inline Bytes endOfTrack() { return {0x00, 0xFF, 0x2F, 0x00}; }
inline Bytes tempo(std::uint32_t microseconds, std::uint8_t delta = 0) {
    return {delta, 0xFF, 0x51, 0x03, static_cast<std::uint8_t>(microseconds >> 16),
            static_cast<std::uint8_t>(microseconds >> 8), static_cast<std::uint8_t>(microseconds)};
}
inline Bytes noteOn(std::uint8_t channel, std::uint8_t key, std::uint8_t velocity, std::uint8_t delta = 0) {
    return {delta, static_cast<std::uint8_t>(0x90 | channel), key, velocity};
}
inline Bytes program(std::uint8_t channel, std::uint8_t number, std::uint8_t delta = 0) {
    return {delta, static_cast<std::uint8_t>(0xC0 | channel), number};
}
inline Bytes trackName(std::string_view name) {
    Bytes out = {0x00, 0xFF, 0x03, static_cast<std::uint8_t>(name.size())};
    append(out, name);
    return out;
}

}  // namespace orvane::midi::smf
