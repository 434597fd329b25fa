#include "playback/WAVFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "midi/model/HugePages.h"

namespace orvane::playback {
namespace {

constexpr std::size_t headerSize = 44;

void put16(std::uint8_t* out, std::uint16_t value) {
    out[0] = static_cast<std::uint8_t>(value & 0xFF);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF);
}

std::int16_t toSample(float value) {
    const float scaled = std::clamp(value, -1.0f, 1.0f) * 32767.0f;
    return static_cast<std::int16_t>(std::lrint(scaled));
}

}  // namespace

PCM16WAVFile::PCM16WAVFile(std::uint64_t frames, std::uint32_t sampleRate)
    : frames_(std::min(frames, maximumStereoFrames)) {
    const auto dataSize = static_cast<std::uint32_t>(frames_ * 4);
    const std::size_t size = headerSize + dataSize;
    bytes_.reserve(size);
    midi::adviseHugePages(bytes_.data(), bytes_.capacity());
    bytes_.resize(size);
    std::uint8_t* out = bytes_.data();
    std::memcpy(out, "RIFF", 4);
    put32(out + 4, 36 + dataSize);
    std::memcpy(out + 8, "WAVEfmt ", 8);
    put32(out + 16, 16);              // format chunk size
    put16(out + 20, 1);               // PCM
    put16(out + 22, 2);               // channels
    put32(out + 24, sampleRate);
    put32(out + 28, sampleRate * 4);  // bytes per second
    put16(out + 32, 4);               // bytes per frame
    put16(out + 34, 16);              // bits per sample
    std::memcpy(out + 36, "data", 4);
    put32(out + 40, dataSize);
}

void PCM16WAVFile::setFrames(std::uint64_t first, std::span<const float> left, std::span<const float> right) {
    if (first >= frames_) return;
    const std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(std::min(left.size(), right.size()), frames_ - first));
    std::uint8_t* out = bytes_.data() + headerSize + first * 4;
    for (std::size_t i = 0; i < count; ++i, out += 4) {
        const std::int16_t l = toSample(left[i]);
        const std::int16_t r = toSample(right[i]);
        peak_ = std::max({peak_, std::abs(static_cast<int>(l)), std::abs(static_cast<int>(r))});
        put16(out, static_cast<std::uint16_t>(l));
        put16(out + 2, static_cast<std::uint16_t>(r));
    }
}

}  // namespace orvane::playback
