#pragma once
// Audio made by the tests: an in-memory decoder fed by a sample generator, click trains at
// known tempos, and files encoded with the ffmpeg program.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "TemporaryFolder.h"
#include "tempo/AudioFileDecoder.h"

namespace orvane::tempo::testing {

// Sample of channel c at frame i.
using SampleGenerator = std::function<float(std::size_t frame, unsigned channel)>;

// A decoder over generated samples. It hands them out in chunks of an awkward size.
class GeneratedAudioFile final : public AudioFileDecoder {
public:
    GeneratedAudioFile(double rate, unsigned channels, std::uint64_t frames, SampleGenerator generator)
        : rate_(rate), channels_(channels), frames_(frames), generator_(std::move(generator)) {}

    [[nodiscard]] double sampleRate() const override { return rate_; }
    [[nodiscard]] unsigned channelCount() const override { return channels_; }
    [[nodiscard]] std::uint64_t lengthInFrames() override { return frames_; }

    std::uint64_t decodeFromStart(std::uint64_t maximumFrames,
                                  const std::function<void(const PlanarChunk&)>& sink) override {
        std::uint64_t delivered = 0;
        constexpr std::size_t chunk = 1000;
        std::vector<std::vector<float>> planes(channels_, std::vector<float>(chunk));
        std::vector<const float*> pointers;
        for (const auto& plane : planes) pointers.push_back(plane.data());
        const std::uint64_t total = std::min(maximumFrames, frames_);
        while (delivered < total) {
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, total - delivered));
            for (unsigned c = 0; c < channels_; ++c) {
                for (std::size_t i = 0; i < count; ++i) planes[c][i] = generator_(static_cast<std::size_t>(delivered) + i, c);
            }
            sink(PlanarChunk{std::span<const float* const>(pointers.data(), pointers.size()), count});
            delivered += count;
        }
        return delivered;
    }

private:
    double rate_;
    unsigned channels_;
    std::uint64_t frames_;
    SampleGenerator generator_;
};

// A decoder over samples already in memory (mono).
inline std::unique_ptr<GeneratedAudioFile> memoryFile(std::vector<float> samples, double rate = 44100) {
    auto shared = std::make_shared<std::vector<float>>(std::move(samples));
    return std::make_unique<GeneratedAudioFile>(rate, 1, shared->size(),
                                                [shared](std::size_t i, unsigned) { return (*shared)[i]; });
}

// An opener that ignores the path and hands out the given decoder once.
inline AudioFileOpener openerFor(std::unique_ptr<AudioFileDecoder> decoder) {
    auto holder = std::make_shared<std::unique_ptr<AudioFileDecoder>>(std::move(decoder));
    return [holder](const std::filesystem::path&) { return std::move(*holder); };
}

// A short decaying click every beat.
inline SampleGenerator clickTrain(double bpm, double rate) {
    const double period = rate * 60.0 / bpm;
    return [period](std::size_t frame, unsigned) {
        const double phase = std::fmod(static_cast<double>(frame), period);
        if (phase >= 600) return 0.0f;
        return static_cast<float>(0.9 * std::exp(-phase / 120.0) * std::sin(phase * 0.35));
    };
}

inline std::vector<float> render(const SampleGenerator& generator, std::size_t frames) {
    std::vector<float> samples(frames);
    for (std::size_t i = 0; i < frames; ++i) samples[i] = generator(i, 0);
    return samples;
}

using orvane::testing::TemporaryFolder;

// Writes mono samples as a 16-bit PCM WAVE file.
inline void writeWave16(const std::filesystem::path& path, const std::vector<float>& samples, int rate) {
    std::string bytes;
    const auto put = [&](std::uint32_t value, int width) {
        for (int i = 0; i < width; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
    };
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    bytes += "RIFF";
    put(36 + dataBytes, 4);
    bytes += "WAVEfmt ";
    // Chunk size 16, PCM, one channel, the rate, bytes per second, two bytes per frame, 16 bits.
    const std::pair<std::uint32_t, int> format[] = {{16, 4}, {1, 2}, {1, 2}, {static_cast<std::uint32_t>(rate), 4},
                                                    {static_cast<std::uint32_t>(rate * 2), 4}, {2, 2}, {16, 2}};
    for (const auto& [value, width] : format) put(value, width);
    bytes += "data";
    put(dataBytes, 4);
    for (const float sample : samples) {
        const long value = std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767.0f);
        put(static_cast<std::uint16_t>(static_cast<std::int16_t>(value)), 2);
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

inline bool haveFFmpegProgram() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

// Writes interleaved float samples as raw f32le and encodes them with the ffmpeg program.
inline bool encodeWithFFmpeg(const std::vector<float>& interleaved, unsigned channels, int rate,
                             const std::filesystem::path& output, const std::string& codecOptions) {
    const auto raw = output.string() + ".f32";
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(interleaved.data()),
               static_cast<std::streamsize>(interleaved.size() * sizeof(float)));
    const std::string command = "ffmpeg -nostdin -v error -y -f f32le -ar " + std::to_string(rate) + " -ac " +
                                std::to_string(channels) + " -i '" + raw + "' " + codecOptions + " '" +
                                output.string() + "'";
    const bool ok = std::system(command.c_str()) == 0;
    std::filesystem::remove(raw);
    return ok && std::filesystem::exists(output);
}

}  // namespace orvane::tempo::testing
