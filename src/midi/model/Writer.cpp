// Writing Standard MIDI Files: the header chunk, track chunks and the order in which events
// that share a tick are written.

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "midi/model/HugePages.h"
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

// The sort key of one event: tick in the high half, same-tick priority in the low half (the
// priority is below 2^32 because a track holds fewer than 2^32 - 100000 events), then the
// input position.
struct ExportKey {
    std::uint64_t tickAndPriority;
    std::uint32_t index;
};

bool precedes(const ExportKey& a, const ExportKey& b) noexcept {
    return a.tickAndPriority != b.tickAndPriority ? a.tickAndPriority < b.tickAndPriority : a.index < b.index;
}

void checkEventCount(std::span<const MIDIEvent> events) {
    if (events.size() > std::numeric_limits<std::uint32_t>::max() - 100000) {
        throw std::length_error("too many events for one track");
    }
}

// A delta time in a file has at most four bytes (28 bits). A longer gap between two events
// (possible after a Format 0 file is split by channel) is bridged with empty text events, each
// at most this far after the previous one, so that no reader stops at a five-byte delta.
constexpr std::uint32_t largestDelta = 0x0FFFFFFF;
constexpr std::uint8_t gapFillerBytes[] = {0xFF, 0x01, 0x00};
constexpr std::size_t gapFillerSize = 4 + sizeof gapFillerBytes;  // four-byte delta, then the event

std::size_t gapFillerCount(std::uint32_t delta) noexcept { return delta > largestDelta ? (delta - 1) / largestDelta : 0; }

// Bytes of the encoded events (delta times and messages) in the given order.
template <typename EventAt>
std::size_t encodedSize(std::size_t count, EventAt&& eventAt) {
    std::size_t size = 0;
    std::uint32_t previousTick = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const MIDIEvent& event = eventAt(i);
        const std::uint32_t delta = event.tick - previousTick;
        const std::size_t fillers = gapFillerCount(delta);
        size += fillers * gapFillerSize + varLenSize(delta - static_cast<std::uint32_t>(fillers) * largestDelta) +
                event.size();
        previousTick = event.tick;
    }
    return size;
}

// Whether the events are already in export order (the usual case for builders), found in
// one linear pass.
bool isInExportOrder(std::span<const MIDIEvent> events) {
    std::uint32_t previousTick = 0;
    std::int64_t previousPriority = std::numeric_limits<std::int64_t>::min();
    for (std::size_t i = 0; i < events.size(); ++i) {
        const std::int64_t priority = sameTickExportPriority(events[i], i);
        const std::uint32_t tick = events[i].tick;
        if (tick < previousTick || (tick == previousTick && priority < previousPriority)) return false;
        previousTick = tick;
        previousPriority = priority;
    }
    return true;
}

// The export order as positions into events. The input position is the last part of the
// key, so an unstable sort gives the stable order.
std::vector<std::uint32_t> exportPermutation(std::span<const MIDIEvent> events) {
    std::vector<ExportKey> keys;
    reserveLarge(keys, events.size());
    keys.resize(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        const auto priority = static_cast<std::uint64_t>(sameTickExportPriority(events[i], i));
        keys[i] = {std::uint64_t{events[i].tick} << 32 | priority, static_cast<std::uint32_t>(i)};
    }
    std::sort(keys.begin(), keys.end(), precedes);
    std::vector<std::uint32_t> permutation(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) permutation[i] = keys[i].index;
    return permutation;
}

// Calls visit with the number of events and an accessor that yields them in export order.
template <typename Visit>
void visitInExportOrder(std::span<const MIDIEvent> events, Visit&& visit) {
    checkEventCount(events);
    if (isInExportOrder(events)) {
        visit(events.size(), [&](std::size_t i) -> const MIDIEvent& { return events[i]; });
        return;
    }
    const std::vector<std::uint32_t> permutation = exportPermutation(events);
    visit(events.size(), [&](std::size_t i) -> const MIDIEvent& { return events[permutation[i]]; });
}

// Writes the events' delta times and bytes from cursor on. A message of up to seven bytes
// lives inline in its event and is copied as one 7-byte block, so the buffer needs
// copySlack bytes of room past the last event.
constexpr std::size_t copySlack = 7;
static_assert(MIDIEvent::inlineCapacity >= copySlack);

template <typename EventAt>
std::uint8_t* writeEvents(std::uint8_t* cursor, std::size_t count, EventAt&& eventAt) {
    std::uint32_t previousTick = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const MIDIEvent& event = eventAt(i);
        std::uint32_t delta = event.tick - previousTick;
        previousTick = event.tick;
        for (std::size_t filler = gapFillerCount(delta); filler > 0; --filler) {
            cursor = writeVarLen(cursor, largestDelta);
            std::memcpy(cursor, gapFillerBytes, sizeof gapFillerBytes);
            cursor += sizeof gapFillerBytes;
            delta -= largestDelta;
        }
        if (delta < 0x80) {
            *cursor++ = static_cast<std::uint8_t>(delta);
        } else {
            cursor = writeVarLen(cursor, delta);
        }
        const std::size_t size = event.size();
        const std::uint8_t* bytes = event.data().data();
        if (size <= copySlack) {
            std::memcpy(cursor, bytes, copySlack);
        } else {
            std::memcpy(cursor, bytes, size);
        }
        cursor += size;
    }
    return cursor;
}

// Makes room for `size` more bytes at the end of out, growing geometrically so that many
// appended chunks cost amortised linear time; large buffers are advised for huge pages.
void growBy(Bytes& out, std::size_t size) {
    const std::size_t needed = out.size() + size;
    if (out.capacity() < needed) {
        out.reserve(std::max(needed, out.capacity() * 2));
        adviseHugePages(out.data(), out.capacity());
    }
    out.resize(needed);
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
    visitInExportOrder(events, [&](std::size_t count, auto&& eventAt) {
        sorted.reserve(count);
        for (std::size_t i = 0; i < count; ++i) sorted.push_back(eventAt(i));
    });
    return sorted;
}

Bytes MIDIFile::buildTrackChunk(std::span<const MIDIEvent> events) {
    Bytes out;
    appendTrackChunk(out, events);
    return out;
}

void MIDIFile::appendTrackChunk(Bytes& out, std::span<const MIDIEvent> events) {
    visitInExportOrder(events, [&](std::size_t count, auto&& eventAt) {
        const bool needsEndOfTrack = count == 0 || !eventAt(count - 1).isEndOfTrack();
        const std::size_t bodySize = encodedSize(count, eventAt) + (needsEndOfTrack ? sizeof endOfTrackBytes : 0);
        if (bodySize > std::numeric_limits<std::uint32_t>::max()) {
            throw std::length_error("track chunk larger than 4 GiB");
        }
        const std::size_t start = out.size();
        growBy(out, 8 + bodySize + copySlack);
        std::uint8_t* cursor = out.data() + start;
        std::memcpy(cursor, "MTrk", 4);
        putBigEndian32(cursor + 4, static_cast<std::uint32_t>(bodySize));
        cursor = writeEvents(cursor + 8, count, eventAt);
        if (needsEndOfTrack) std::memcpy(cursor, endOfTrackBytes, sizeof endOfTrackBytes);
        out.resize(start + 8 + bodySize);
    });
}

}  // namespace orvane::midi
