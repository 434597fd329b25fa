#pragma once
// One MIDI event: an absolute tick and the complete message bytes, status byte first.
// Messages of up to seven bytes (every channel message, tempo, time and key signatures,
// end of track) are kept inline, so reading a file does not allocate per event.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>
#include <utility>
#include <vector>

namespace orvane::midi {

using Bytes = std::vector<std::uint8_t>;

class MIDIEvent {
public:
    static constexpr std::size_t inlineCapacity = 7;

    // Absolute time in ticks from the start of the track (not a delta).
    std::uint32_t tick = 0;

    MIDIEvent() noexcept { setInline(0); }
    MIDIEvent(std::uint32_t atTick, std::span<const std::uint8_t> bytes) : tick(atTick) {
        setInline(0);
        assign(bytes);
    }
    MIDIEvent(std::uint32_t atTick, std::initializer_list<std::uint8_t> bytes)
        : MIDIEvent(atTick, std::span<const std::uint8_t>(bytes.begin(), bytes.size())) {}

    // A message of one to three bytes (every channel message), built inline in a few stores.
    // Bytes past size stay 0.
    [[nodiscard]] static MIDIEvent shortMessage(std::uint32_t atTick, std::uint8_t status, std::uint8_t data1,
                                                std::uint8_t data2, std::uint32_t size) noexcept {
        MIDIEvent event;
        event.tick = atTick;
        const std::uint32_t clamped = size < 3 ? size : 3;
        event.setInline(clamped);
        event.storage_[1] = status;
        event.storage_[2] = clamped >= 2 ? data1 : 0;
        event.storage_[3] = clamped >= 3 ? data2 : 0;
        return event;
    }
    // An event of `size` bytes, all 0, to be filled through mutableData(); long messages
    // (system exclusive, text) are then copied only once.
    [[nodiscard]] static MIDIEvent zeroed(std::uint32_t atTick, std::size_t size) {
        MIDIEvent event;
        event.tick = atTick;
        if (size > inlineCapacity) {
            std::uint8_t* block = newBlock(size);
            std::memset(block + lengthPrefix, 0, size);
            event.setHeap(block);
        } else {
            event.setInline(size);
        }
        return event;
    }

    MIDIEvent(const MIDIEvent& other) : tick(other.tick) {
        setInline(0);
        assign(other.data());
    }
    MIDIEvent(MIDIEvent&& other) noexcept : tick(other.tick) {
        std::memcpy(storage_, other.storage_, sizeof storage_);
        other.storage_[0] = emptyTag;
    }
    MIDIEvent& operator=(const MIDIEvent& other) {
        if (this != &other) {
            tick = other.tick;
            assign(other.data());
        }
        return *this;
    }
    MIDIEvent& operator=(MIDIEvent&& other) noexcept {
        if (this != &other) {
            release();
            tick = other.tick;
            std::memcpy(storage_, other.storage_, sizeof storage_);
            other.storage_[0] = emptyTag;
        }
        return *this;
    }
    ~MIDIEvent() {
        if (!isInline()) delete[] heap();
    }

    // The complete message bytes.
    [[nodiscard]] std::span<const std::uint8_t> data() const noexcept { return {bytes(), size()}; }
    // The bytes for in-place edits of data bytes (the length cannot change this way).
    [[nodiscard]] std::span<std::uint8_t> mutableData() noexcept { return {bytes(), size()}; }
    void setData(std::span<const std::uint8_t> newBytes) { assign(newBytes); }

    [[nodiscard]] std::size_t size() const noexcept {
        if (isInline()) return storage_[0] >> 1;
        std::uint32_t length;
        std::memcpy(&length, heap(), sizeof length);
        return length;
    }
    [[nodiscard]] bool empty() const noexcept { return size() == 0; }
    [[nodiscard]] std::uint8_t operator[](std::size_t index) const noexcept { return bytes()[index]; }
    // The status byte, or 0 for an empty event.
    [[nodiscard]] std::uint8_t status() const noexcept { return empty() ? 0 : bytes()[0]; }

    // Byte classification shared by every layer.
    [[nodiscard]] bool isMeta() const noexcept { return size() >= 2 && bytes()[0] == 0xFF; }
    [[nodiscard]] bool isMeta(std::uint8_t type) const noexcept { return isMeta() && bytes()[1] == type; }
    [[nodiscard]] bool isEndOfTrack() const noexcept { return isMeta(0x2F); }
    [[nodiscard]] bool isChannelMessage() const noexcept {
        return size() >= 1 && bytes()[0] >= 0x80 && bytes()[0] <= 0xEF;
    }
    [[nodiscard]] std::uint8_t channel() const noexcept { return static_cast<std::uint8_t>(status() & 0x0F); }
    // Status 0x9n, at least three bytes, velocity not 0.
    [[nodiscard]] bool isNoteOn() const noexcept {
        return size() >= 3 && (bytes()[0] & 0xF0) == 0x90 && bytes()[2] != 0;
    }
    // Status 0x8n with three bytes, or 0x9n with velocity 0.
    [[nodiscard]] bool isNoteOff() const noexcept {
        if (size() < 3) return false;
        const std::uint8_t kind = bytes()[0] & 0xF0;
        return kind == 0x80 || (kind == 0x90 && bytes()[2] == 0);
    }
    [[nodiscard]] bool isControlChange() const noexcept { return size() >= 2 && (bytes()[0] & 0xF0) == 0xB0; }
    [[nodiscard]] bool isProgramChange() const noexcept { return size() >= 2 && (bytes()[0] & 0xF0) == 0xC0; }

    friend bool operator==(const MIDIEvent& a, const MIDIEvent& b) noexcept {
        const std::size_t size = a.size();
        return a.tick == b.tick && size == b.size() && (size == 0 || std::memcmp(a.bytes(), b.bytes(), size) == 0);
    }

private:
    // The eight storage bytes hold either a short message or a pointer to a heap block. A short
    // message keeps (size << 1) | 1 in the first byte and its bytes in the next seven. A long
    // one keeps the block's address, whose lowest bit is 0 (blocks from new[] are aligned),
    // and the block starts with the message length. So an event is 12 bytes, not 16: millions
    // of them make up a large song.
    static_assert(std::endian::native == std::endian::little, "the tag is the pointer's lowest byte");
    static constexpr std::size_t lengthPrefix = sizeof(std::uint32_t);
    static constexpr std::uint8_t emptyTag = 1;  // inline, no bytes

    [[nodiscard]] bool isInline() const noexcept { return (storage_[0] & 1) != 0; }
    void setInline(std::size_t size) noexcept {
        std::memset(storage_, 0, sizeof storage_);
        storage_[0] = static_cast<std::uint8_t>((size << 1) | 1);
    }
    [[nodiscard]] std::uint8_t* heap() const noexcept {
        std::uint8_t* block;
        std::memcpy(&block, storage_, sizeof block);
        return block;
    }
    void setHeap(std::uint8_t* block) noexcept { std::memcpy(storage_, &block, sizeof block); }
    [[nodiscard]] const std::uint8_t* bytes() const noexcept {
        return isInline() ? storage_ + 1 : heap() + lengthPrefix;
    }
    [[nodiscard]] std::uint8_t* bytes() noexcept { return isInline() ? storage_ + 1 : heap() + lengthPrefix; }
    void release() noexcept {
        if (!isInline()) delete[] heap();
        setInline(0);
    }
    void assign(std::span<const std::uint8_t> newBytes) {
        if (newBytes.size() <= inlineCapacity) {
            // Copy first: newBytes may point into our own heap block.
            std::uint8_t copy[inlineCapacity] = {};
            if (!newBytes.empty()) std::memcpy(copy, newBytes.data(), newBytes.size());
            release();
            setInline(newBytes.size());
            std::memcpy(storage_ + 1, copy, inlineCapacity);
        } else {
            std::uint8_t* block = heapCopy(newBytes);
            release();
            setHeap(block);
        }
    }
    // A heap block for a message of size bytes, its length in front.
    [[nodiscard]] static std::uint8_t* newBlock(std::size_t size) {
        auto* block = new std::uint8_t[lengthPrefix + size];
        const auto length = static_cast<std::uint32_t>(size);
        std::memcpy(block, &length, sizeof length);
        return block;
    }
    // Kept out of line: long messages are rare, and inlined into callers that pass short
    // fixed-size buffers this branch only confuses the optimiser's bounds warnings.
    [[gnu::noinline]] static std::uint8_t* heapCopy(std::span<const std::uint8_t> bytes) {
        std::uint8_t* block = newBlock(bytes.size());
        std::memcpy(block + lengthPrefix, bytes.data(), bytes.size());
        return block;
    }

    std::uint8_t storage_[8];
};

static_assert(sizeof(MIDIEvent) == 12, "MIDIEvent should stay compact");

using EventList = std::vector<MIDIEvent>;
// A list of (tick, complete meta-event bytes): the tempo map and the time signatures.
using TimedMetaList = std::vector<MIDIEvent>;

}  // namespace orvane::midi
