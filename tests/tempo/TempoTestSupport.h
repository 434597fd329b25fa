#pragma once
// Audio made by the tests: an in-memory decoder fed by a sample generator, click trains and
// drum-like bursts at known tempos, and files encoded with the ffmpeg program.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TemporaryFolder.h"
#include "tempo/AudioFileDecoder.h"

namespace orvane::tempo::testing {

// Sample of channel c at frame i.
using SampleGenerator = std::function<float(std::size_t frame, unsigned channel)>;

struct DecodeCounters {
    std::uint64_t framesAsked = 0;
    std::uint64_t framesDelivered = 0;
};

// A decoder over generated samples. It hands them out in chunks of an awkward size and
// counts the frames it was asked for and delivered (the counters outlive it).
class GeneratedAudioFile final : public AudioFileDecoder {
public:
    GeneratedAudioFile(double rate, unsigned channels, std::uint64_t frames, SampleGenerator generator)
        : rate_(rate), channels_(channels), frames_(frames), generator_(std::move(generator)) {}

    [[nodiscard]] double sampleRate() const override { return rate_; }
    [[nodiscard]] unsigned channelCount() const override { return channels_; }
    [[nodiscard]] std::uint64_t lengthInFrames() override { return frames_; }

    std::uint64_t decodeFromStart(std::uint64_t maximumFrames,
                                  const std::function<void(const PlanarChunk&)>& sink) override {
        counters->framesAsked = maximumFrames;
        std::uint64_t delivered = 0;
        constexpr std::size_t chunk = 1000;
        std::vector<std::vector<float>> planes(channels_, std::vector<float>(chunk));
        std::vector<const float*> pointers;
        for (const auto& plane : planes) pointers.push_back(plane.data());
        const std::uint64_t total = std::min(maximumFrames, frames_);
        while (delivered < total) {
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, total - delivered));
            for (unsigned c = 0; c < channels_; ++c) {
                for (std::size_t i = 0; i < count; ++i) {
                    planes[c][i] = generator_(static_cast<std::size_t>(delivered) + i, c);
                }
            }
            sink(PlanarChunk{std::span<const float* const>(pointers.data(), pointers.size()), count});
            delivered += count;
            counters->framesDelivered += count;
        }
        return delivered;
    }

    std::shared_ptr<DecodeCounters> counters = std::make_shared<DecodeCounters>();

private:
    double rate_;
    unsigned channels_;
    std::uint64_t frames_;
    SampleGenerator generator_;
};

// A decoder over samples already in memory (mono).
inline std::unique_ptr<GeneratedAudioFile> memoryFile(std::vector<float> samples, double rate = 44100) {
    auto shared = std::make_shared<std::vector<float>>(std::move(samples));
    const auto frames = shared->size();
    return std::make_unique<GeneratedAudioFile>(rate, 1, frames,
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

// Drum-like bursts: a low thump on every beat and a noise snare on every second beat, over
// quiet noise.
inline SampleGenerator drumPattern(double bpm, double rate) {
    auto noise = std::make_shared<std::vector<float>>(1 << 16);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (float& value : *noise) value = uniform(random);
    const double period = rate * 60.0 / bpm;
    return [period, noise, rate](std::size_t frame, unsigned) {
        const double position = static_cast<double>(frame);
        const double beat = std::floor(position / period);
        const double phase = position - beat * period;
        const float hiss = 0.02f * (*noise)[frame & 0xFFFF];
        double value = 0;
        if (phase < 0.25 * rate) value += 0.7 * std::exp(-phase / (0.04 * rate)) * std::sin(phase * 2 * M_PI * 60 / rate);
        if (static_cast<long long>(beat) % 2 == 1 && phase < 0.15 * rate) {
            value += 0.5 * std::exp(-phase / (0.03 * rate)) * (*noise)[(frame * 7) & 0xFFFF];
        }
        return static_cast<float>(value) + hiss;
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
    std::ofstream out(path, std::ios::binary);
    const auto put32 = [&](std::uint32_t value) {
        const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
                               static_cast<char>(value >> 24)};
        out.write(bytes, 4);
    };
    const auto put16 = [&](std::uint16_t value) {
        const char bytes[2] = {static_cast<char>(value), static_cast<char>(value >> 8)};
        out.write(bytes, 2);
    };
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(1);
    put32(static_cast<std::uint32_t>(rate));
    put32(static_cast<std::uint32_t>(rate * 2));
    put16(2);
    put16(16);
    out.write("data", 4);
    put32(dataBytes);
    for (const float sample : samples) {
        const long value = std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767.0f);
        put16(static_cast<std::uint16_t>(static_cast<std::int16_t>(value)));
    }
}

inline bool haveFFmpegProgram() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

// Writes interleaved float samples as raw f32le and encodes them with the ffmpeg program.
inline bool encodeWithFFmpeg(const std::vector<float>& interleaved, unsigned channels, int rate,
                             const std::filesystem::path& output, const std::string& codecOptions) {
    const auto raw = output.string() + ".f32";
    {
        std::ofstream out(raw, std::ios::binary);
        out.write(reinterpret_cast<const char*>(interleaved.data()),
                  static_cast<std::streamsize>(interleaved.size() * sizeof(float)));
    }
    const std::string command = "ffmpeg -nostdin -v error -y -f f32le -ar " + std::to_string(rate) + " -ac " +
                                std::to_string(channels) + " -i '" + raw + "' " + codecOptions + " '" +
                                output.string() + "'";
    const bool ok = std::system(command.c_str()) == 0;
    std::filesystem::remove(raw);
    return ok && std::filesystem::exists(output);
}

}  // namespace orvane::tempo::testing
