// Tempo detection: the analysis of a 60-second 44.1 kHz window already in memory, and decoding
// the first 60 seconds of WAV, FLAC, MP3 and M4A files (90 seconds long, made once with the
// ffmpeg program into the temporary folder). Baseline: copying the same samples.

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "tempo/OrvaneTempoDetector.h"

namespace orvane::bench {
namespace {

using namespace orvane::tempo;

constexpr int rate = 44100;
constexpr std::size_t windowFrames = 60 * rate;

// A drum pattern at 118 BPM over quiet noise: a kick on every beat, a noise snare on every
// second one.
float drumSample(std::size_t frame, unsigned channel) {
    static const std::vector<float> noise = [] {
        std::vector<float> values(1 << 16);
        std::mt19937 random(3);
        std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
        for (float& value : values) value = uniform(random);
        return values;
    }();
    const double period = rate * 60.0 / 118.0;
    const double position = static_cast<double>(frame);
    const double beat = std::floor(position / period);
    const double phase = position - beat * period;
    double value = 0.02 * noise[(frame + channel * 977) & 0xFFFF];
    if (phase < 0.25 * rate) value += 0.7 * std::exp(-phase / (0.04 * rate)) * std::sin(phase * 2 * M_PI * 60 / rate);
    if (static_cast<long long>(beat) % 2 == 1 && phase < 0.15 * rate) {
        value += 0.5 * std::exp(-phase / (0.03 * rate)) * noise[(frame * 7) & 0xFFFF];
    }
    return static_cast<float>(value);
}

void BM_AnalyzeWindow(benchmark::State& state) {
    OrvaneAudioWindow window;
    window.sampleRate = rate;
    window.samples.resize(windowFrames);
    for (std::size_t i = 0; i < windowFrames; ++i) window.samples[i] = drumSample(i, 0);
    OrvaneTempoDetector::normalize(window.samples);
    timeAgainstBaseline(
        state, [&] { return SampleBuffer(window.samples); },
        [&] { return OrvaneTempoDetector::analyzeWindow(window, 60.0, {}, {}); });
}

// A 90-second stereo file of the drum pattern in the given format, made once.
std::filesystem::path encodedFile(const std::string& extension, const std::string& options) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / "orvane-bench";
    const fs::path path = folder / ("tempo-drums-v1." + extension);
    if (fs::exists(path)) return path;
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    const fs::path raw = folder / "tempo-drums.f32";
    {
        std::ofstream out(raw, std::ios::binary);
        for (std::size_t i = 0; i < 90u * rate; ++i) {
            const float frame[2] = {drumSample(i, 0), drumSample(i, 1)};
            out.write(reinterpret_cast<const char*>(frame), sizeof frame);
        }
    }
    const fs::path partial = folder / ("tempo-drums-partial." + extension);
    const std::string command = "ffmpeg -nostdin -v error -y -f f32le -ar 44100 -ac 2 -i '" + raw.string() + "' " +
                                options + " '" + partial.string() + "'";
    if (std::system(command.c_str()) == 0) fs::rename(partial, path, ignored);
    fs::remove(raw, ignored);
    return path;
}

void decodeFirstMinute(benchmark::State& state, const std::string& extension, const std::string& options) {
    const auto path = encodedFile(extension, options);
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("the ffmpeg program could not make the file");
        return;
    }
    std::vector<float> left(windowFrames);
    std::vector<float> right(windowFrames);
    const std::vector<float> source(2 * windowFrames, 0.25f);
    (void)openAudioFile(path);  // FFmpeg is loaded on first use; that is not what is measured
    timeAgainstBaseline(
        state,
        [&] {
            std::copy(source.begin(), source.begin() + windowFrames, left.begin());
            std::copy(source.begin() + windowFrames, source.end(), right.begin());
            return left[windowFrames / 2] + right[windowFrames / 3];
        },
        [&] {
            auto decoder = openAudioFile(path);
            std::size_t at = 0;
            decoder->decodeFromStart(windowFrames, [&](const PlanarChunk& chunk) {
                std::copy_n(chunk.channels[0], chunk.frameCount, left.begin() + static_cast<std::ptrdiff_t>(at));
                std::copy_n(chunk.channels[1], chunk.frameCount, right.begin() + static_cast<std::ptrdiff_t>(at));
                at += chunk.frameCount;
            });
            if (at != windowFrames) state.SkipWithError("the file ended before 60 seconds");
            return at;
        });
}

void BM_DecodeWAV(benchmark::State& state) { decodeFirstMinute(state, "wav", "-c:a pcm_s16le"); }
void BM_DecodeFLAC(benchmark::State& state) { decodeFirstMinute(state, "flac", "-c:a flac"); }
void BM_DecodeMP3(benchmark::State& state) { decodeFirstMinute(state, "mp3", "-c:a libmp3lame -b:a 192k"); }
void BM_DecodeM4A(benchmark::State& state) { decodeFirstMinute(state, "m4a", "-c:a aac -b:a 192k"); }

BENCHMARK(BM_AnalyzeWindow)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeWAV)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeFLAC)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeMP3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeM4A)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane::bench

BENCHMARK_MAIN();
