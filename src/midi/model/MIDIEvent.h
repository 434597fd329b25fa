#pragma once
// One MIDI event: an absolute tick and the complete message bytes, status byte first.
// Messages of up to eight bytes (every channel message, tempo, time and key signatures,
// end of track) are kept inline, so reading a file does not allocate per event.

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
    static constexpr std::size_t inlineCapacity = 8;

    // Absolute time in ticks from the start of the track (not a delta).
    std::uint32_t tick = 0;

    MIDIEvent() noexcept { storage_.heap = nullptr; }
    MIDIEvent(std::uint32_t atTick, std::span<const std::uint8_t> bytes) : tick(atTick) {
        storage_.heap = nullptr;
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
        event.size_ = size < 3 ? size : 3;
        event.storage_.inlineBytes[0] = status;
        event.storage_.inlineBytes[1] = event.size_ >= 2 ? data1 : 0;
        event.storage_.inlineBytes[2] = event.size_ >= 3 ? data2 : 0;
        return event;
    }
    // An event of `size` bytes, all 0, to be filled through mutableData(); long messages
    // (system exclusive, text) are then copied only once.
    [[nodiscard]] static MIDIEvent zeroed(std::uint32_t atTick, std::size_t size) {
        MIDIEvent event;
        event.tick = atTick;
        if (size > inlineCapacity) event.storage_.heap = new std::uint8_t[size]();
        event.size_ = static_cast<std::uint32_t>(size);
        return event;
    }

    MIDIEvent(const MIDIEvent& other) : tick(other.tick) {
        storage_.heap = nullptr;
        assign(other.data());
    }
    MIDIEvent(MIDIEvent&& other) noexcept : tick(other.tick), size_(other.size_), storage_(other.storage_) {
        other.size_ = 0;
        other.storage_.heap = nullptr;
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
            size_ = other.size_;
            storage_ = other.storage_;
            other.size_ = 0;
            other.storage_.heap = nullptr;
        }
        return *this;
    }
    ~MIDIEvent() { release(); }

    // The complete message bytes.
    [[nodiscard]] std::span<const std::uint8_t> data() const noexcept { return {bytes(), size_}; }
    // The bytes for in-place edits of data bytes (the length cannot change this way).
    [[nodiscard]] std::span<std::uint8_t> mutableData() noexcept { return {bytes(), size_}; }
    void setData(std::span<const std::uint8_t> newBytes) { assign(newBytes); }

    [[nodiscard]] std::size_t size() const noexcept { return size_; }
    [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
    [[nodiscard]] std::uint8_t operator[](std::size_t index) const noexcept { return bytes()[index]; }
    // The status byte, or 0 for an empty event.
    [[nodiscard]] std::uint8_t status() const noexcept { return size_ == 0 ? 0 : bytes()[0]; }

    // Byte classification shared by every layer.
    [[nodiscard]] bool isMeta() const noexcept { return size_ >= 2 && bytes()[0] == 0xFF; }
    [[nodiscard]] bool isMeta(std::uint8_t type) const noexcept { return isMeta() && bytes()[1] == type; }
    [[nodiscard]] bool isEndOfTrack() const noexcept { return isMeta(0x2F); }
    [[nodiscard]] bool isChannelMessage() const noexcept {
        return size_ >= 1 && bytes()[0] >= 0x80 && bytes()[0] <= 0xEF;
    }
    [[nodiscard]] std::uint8_t channel() const noexcept { return static_cast<std::uint8_t>(status() & 0x0F); }
    // Status 0x9n, at least three bytes, velocity not 0.
    [[nodiscard]] bool isNoteOn() const noexcept {
        return size_ >= 3 && (bytes()[0] & 0xF0) == 0x90 && bytes()[2] != 0;
    }
    // Status 0x8n with three bytes, or 0x9n with velocity 0.
    [[nodiscard]] bool isNoteOff() const noexcept {
        if (size_ < 3) return false;
        const std::uint8_t kind = bytes()[0] & 0xF0;
        return kind == 0x80 || (kind == 0x90 && bytes()[2] == 0);
    }
    [[nodiscard]] bool isControlChange() const noexcept { return size_ >= 2 && (bytes()[0] & 0xF0) == 0xB0; }
    [[nodiscard]] bool isProgramChange() const noexcept { return size_ >= 2 && (bytes()[0] & 0xF0) == 0xC0; }

    friend bool operator==(const MIDIEvent& a, const MIDIEvent& b) noexcept {
        return a.tick == b.tick && a.size_ == b.size_ &&
               (a.size_ == 0 || std::memcmp(a.bytes(), b.bytes(), a.size_) == 0);
    }

private:
    [[nodiscard]] bool isInline() const noexcept { return size_ <= inlineCapacity; }
    [[nodiscard]] const std::uint8_t* bytes() const noexcept {
        return isInline() ? storage_.inlineBytes : storage_.heap;
    }
    [[nodiscard]] std::uint8_t* bytes() noexcept { return isInline() ? storage_.inlineBytes : storage_.heap; }
    void release() noexcept {
        if (!isInline()) {
            delete[] storage_.heap;
        }
        storage_.heap = nullptr;
        size_ = 0;
    }
    void assign(std::span<const std::uint8_t> newBytes) {
        if (newBytes.size() <= inlineCapacity) {
            // Copy first: newBytes may point into our own heap block.
            std::uint8_t copy[inlineCapacity] = {};
            if (!newBytes.empty()) std::memcpy(copy, newBytes.data(), newBytes.size());
            release();
            std::memcpy(storage_.inlineBytes, copy, inlineCapacity);
        } else {
            std::uint8_t* block = heapCopy(newBytes);
            release();
            storage_.heap = block;
        }
        size_ = static_cast<std::uint32_t>(newBytes.size());
    }
    // Kept out of line: long messages are rare, and inlined into callers that pass short
    // fixed-size buffers this branch only confuses the optimiser's bounds warnings.
    [[gnu::noinline]] static std::uint8_t* heapCopy(std::span<const std::uint8_t> bytes) {
        auto* block = new std::uint8_t[bytes.size()];
        std::memcpy(block, bytes.data(), bytes.size());
        return block;
    }

    std::uint32_t size_ = 0;
    union Storage {
        std::uint8_t inlineBytes[inlineCapacity];
        std::uint8_t* heap;
    } storage_;
};

static_assert(sizeof(MIDIEvent) == 16, "MIDIEvent should stay compact");

using EventList = std::vector<MIDIEvent>;
// A list of (tick, complete meta-event bytes): the tempo map and the time signatures.
using TimedMetaList = std::vector<MIDIEvent>;

}  // namespace orvane::midi
