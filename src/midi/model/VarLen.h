#pragma once
// The variable-length quantity of Standard MIDI Files: 7 bits per byte, most significant
// group first, bit 7 set on every byte but the last. These inline forms write straight into
// a buffer for the hot loops of the reader and the writer.

#include <cstddef>
#include <cstdint>

namespace orvane::midi {

// Number of bytes of the shortest encoding of value (1 to 5).
[[nodiscard]] constexpr std::size_t varLenSize(std::uint32_t value) noexcept {
    std::size_t size = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++size;
    }
    return size;
}

// Writes the shortest encoding of value at out and returns the position after it.
// out must have room for varLenSize(value) bytes.
constexpr std::uint8_t* writeVarLen(std::uint8_t* out, std::uint32_t value) noexcept {
    const std::size_t size = varLenSize(value);
    for (std::size_t i = size; i-- > 0;) {
        const auto group = static_cast<std::uint8_t>((value >> (7 * i)) & 0x7F);
        *out++ = i == 0 ? group : static_cast<std::uint8_t>(group | 0x80);
    }
    return out;
}

}  // namespace orvane::midi
