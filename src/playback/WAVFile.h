#pragma once
// A 16-bit PCM WAV file of known length, built in memory and filled block by block.

#include <cstdint>
#include <span>
#include <vector>

namespace orvane::playback {

class PCM16WAVFile {
public:
    // The largest number of stereo frames a WAV file can describe (its sizes are 32-bit).
    static constexpr std::uint64_t maximumStereoFrames = (0xFFFFFFFFULL - 36) / 4;

    // A stereo file of `frames` frames, all silent. frames must not exceed maximumStereoFrames.
    PCM16WAVFile(std::uint64_t frames, std::uint32_t sampleRate);

    // Writes left/right (same length, full scale ±1, clipped) from frame `first` on.
    void setFrames(std::uint64_t first, std::span<const float> left, std::span<const float> right);

    [[nodiscard]] std::uint64_t frames() const noexcept { return frames_; }
    [[nodiscard]] std::span<const std::uint8_t> bytes() const noexcept { return bytes_; }
    // The largest absolute sample value written so far (0...32767).
    [[nodiscard]] int peak() const noexcept { return peak_; }
    // The finished file's bytes, moved out.
    [[nodiscard]] std::vector<std::uint8_t> takeBytes() && { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
    std::uint64_t frames_;
    int peak_ = 0;
};

}  // namespace orvane::playback
