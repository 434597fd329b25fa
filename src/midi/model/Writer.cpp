// Writing Standard MIDI Files: the header chunk, track chunks and the order in which events
// that share a tick are written.

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "midi/model/MIDIFile.h"
#include "midi/model/VarLen.h"

namespace orvane::midi {

namespace {

constexpr std::uint8_t endOfTrackBytes[] = {0x00, 0xFF, 0x2F, 0x00};

// The rank of an event among the events of its tick. At tick 0 a track's name comes first,
// then bank selects, program changes, other meta events, other controllers and everything
// else; an end-of-track event goes after everything at its tick. The input position is
// added to most ranks so that events of one kind keep their order. The offsets are plain
// additions: with more than 10000 events at tick 0 the bands overlap, and that is intended.
std::int64_t sameTickExportPriority(const MIDIEvent& event, std::size_t originalOrder) {
    const auto order = static_cast<std::int64_t>(originalOrder);
    if (event.isEndOfTrack()) return order + 100000;
    if (event.tick != 0) return order + 50000;
    const std::uint8_t status = event.status();
    if (status == 0xFF) {
        return event.isMeta(0x03) ? 0 : order + 10000;
    }
    if (event.empty()) return order + 50000;
    if ((status & 0xF0) == 0xC0) return 40;
    if (event.isControlChange()) {
        const std::uint8_t controller = event[1];
        return controller == 0 || controller == 32 ? 20 : order + 30000;
    }
    return order + 50000;
}

struct ExportKey {
    std::uint32_t tick;
    std::uint32_t index;
    std::int64_t priority;
};

bool precedes(const ExportKey& a, const ExportKey& b) noexcept {
    if (a.tick != b.tick) return a.tick < b.tick;
    if (a.priority != b.priority) return a.priority < b.priority;
    return a.index < b.index;
}

// The export order as positions into events, or nothing when events are already in that
// order (the usual case for builders, checked in one linear pass).
std::optional<std::vector<std::uint32_t>> exportPermutation(std::span<const MIDIEvent> events) {
    if (events.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("too many events for one track");
    }
    std::vector<ExportKey> keys;
    bool inOrder = true;
    ExportKey previous{};
    for (std::size_t i = 0; i < events.size(); ++i) {
        const ExportKey key{events[i].tick, static_cast<std::uint32_t>(i), sameTickExportPriority(events[i], i)};
        if (inOrder && i > 0 && precedes(key, previous)) {
            inOrder = false;
            keys.reserve(events.size());
            for (std::size_t j = 0; j < i; ++j) {
                keys.push_back({events[j].tick, static_cast<std::uint32_t>(j), sameTickExportPriority(events[j], j)});
            }
        }
        if (!inOrder) keys.push_back(key);
        previous = key;
    }
    if (inOrder) return std::nullopt;
    // The input position is the last part of the key, so an unstable sort gives the stable order.
    std::sort(keys.begin(), keys.end(), precedes);
    std::vector<std::uint32_t> permutation(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) permutation[i] = keys[i].index;
    return permutation;
}

// Calls visit(event) for every event in export order.
template <typename Visit>
void forEachInExportOrder(std::span<const MIDIEvent> events, Visit&& visit) {
    const auto permutation = exportPermutation(events);
    if (!permutation) {
        for (const MIDIEvent& event : events) visit(event);
        return;
    }
    for (const std::uint32_t index : *permutation) visit(events[index]);
}

void putBigEndian32(std::uint8_t* out, std::uint32_t value) noexcept {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

void putBigEndian16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

}  // namespace

Bytes MIDIFile::header(std::uint16_t fileFormat, int trackCount) const {
    if (trackCount < 0 || trackCount > 0xFFFF) {
        throw std::out_of_range("a Standard MIDI File holds 0 to 65535 track chunks");
    }
    Bytes out = {'M', 'T', 'h', 'd', 0x00, 0x00, 0x00, 0x06};
    out.reserve(14);
    putBigEndian16(out, fileFormat);
    putBigEndian16(out, static_cast<std::uint16_t>(trackCount));
    putBigEndian16(out, timeDivision);
    return out;
}

Bytes MIDIFile::encodeVarLen(std::uint32_t value) {
    Bytes out(varLenSize(value));
    writeVarLen(out.data(), value);
    return out;
}

EventList MIDIFile::sortedEventsForExport(std::span<const MIDIEvent> events) {
    EventList sorted;
    sorted.reserve(events.size());
    forEachInExportOrder(events, [&](const MIDIEvent& event) { sorted.push_back(event); });
    return sorted;
}

Bytes MIDIFile::buildTrackChunk(std::span<const MIDIEvent> events) {
    Bytes out;
    appendTrackChunk(out, events);
    return out;
}

void MIDIFile::appendTrackChunk(Bytes& out, std::span<const MIDIEvent> events) {
    const auto permutation = exportPermutation(events);
    const auto eventAt = [&](std::size_t i) -> const MIDIEvent& {
        return permutation ? events[(*permutation)[i]] : events[i];
    };

    // First pass: the exact body size, so the output grows once.
    std::size_t bodySize = 0;
    std::uint32_t previousTick = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const MIDIEvent& event = eventAt(i);
        bodySize += varLenSize(event.tick - previousTick) + event.size();
        previousTick = event.tick;
    }
    const bool needsEndOfTrack = events.empty() || !eventAt(events.size() - 1).isEndOfTrack();
    if (needsEndOfTrack) bodySize += sizeof endOfTrackBytes;
    if (bodySize > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("track chunk larger than 4 GiB");
    }

    const std::size_t start = out.size();
    out.resize(start + 8 + bodySize);
    std::uint8_t* cursor = out.data() + start;
    std::memcpy(cursor, "MTrk", 4);
    putBigEndian32(cursor + 4, static_cast<std::uint32_t>(bodySize));
    cursor += 8;

    previousTick = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const MIDIEvent& event = eventAt(i);
        cursor = writeVarLen(cursor, event.tick - previousTick);
        previousTick = event.tick;
        const auto bytes = event.data();
        if (!bytes.empty()) std::memcpy(cursor, bytes.data(), bytes.size());
        cursor += bytes.size();
    }
    if (needsEndOfTrack) std::memcpy(cursor, endOfTrackBytes, sizeof endOfTrackBytes);
}

}  // namespace orvane::midi
