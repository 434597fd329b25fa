#pragma once
// Walks the packets of a clip in file order, keeping the clip's timing, and says what each
// packet is to the import: its timing, scope, action and reason. The import acts on the
// answer; the packet inventory works its entries out again from the words when first read.

#include <cstdint>
#include <optional>

#include "midi/midi2/MIDI2Records.h"
#include "midi/midi2/MIDI2UMPPacket.h"

namespace orvane::midi {

class MIDI2PacketWalker {
public:
    // The entry of the next packet, whose words start at firstWord. Nothing when a Delta
    // Clockstamp would take the running tick past 32 bits.
    std::optional<MIDI2NativePacketInventory::Entry> next(const MIDI2UMPPacket& packet, std::uint32_t firstWord);

    // The running tick: the sum of every Delta Clockstamp so far.
    [[nodiscard]] std::uint32_t runningTick() const noexcept { return runningTick_; }
    // Between Start of Clip and the end of the file; then the tick relative to Start of Clip.
    [[nodiscard]] bool insideSequence() const noexcept { return insideSequence_; }
    [[nodiscard]] std::uint32_t sequenceTick() const noexcept { return runningTick_ - sequenceStart_; }
    // What next() does with a Delta Clockstamp of delta ticks, for readers that handle the
    // common packets themselves: false when the running tick would pass 32 bits.
    [[nodiscard]] bool advance(std::uint32_t delta) noexcept {
        if (delta > UINT32_MAX - runningTick_) return false;
        runningTick_ += delta;
        return true;
    }

private:
    std::uint32_t runningTick_ = 0;
    std::uint32_t sequenceStart_ = 0;
    bool insideSequence_ = false;
};

// True when the down-conversion to MIDI 1.0 drops bits of the packet's value.
bool midi2PacketHasHighResolutionValue(const MIDI2UMPPacket& packet);

}  // namespace orvane::midi
