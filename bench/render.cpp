// Offline rendering speed through the FluidSynth sequencer: seconds of music rendered per
// second of wall time ("music_s_per_s"), for the demo song and for a dense song (sixteen
// channels of sixteenth notes with controller and pitch-bend sweeps), plus the densest file
// of the real-world corpus when it is installed. The SoundFont is loaded once beforehand, as
// a process that renders several songs loads it once.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "midi/model/MIDIFile.h"
#include "playback/FluidSynthPlayer.h"

namespace {

using orvane::midi::Bytes;
using orvane::midi::EventList;
using orvane::midi::MIDIEvent;
using orvane::playback::FluidSynthOptions;

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// 60 s at 150 BPM: every channel plays sixteenths, with a controller or bend every eighth.
Bytes denseSong() {
    constexpr std::uint32_t sixteenth = 120;
    constexpr std::uint32_t length = 150 * 480;  // 150 quarters
    orvane::midi::MIDIFile file;
    file.timeDivision = 480;
    std::vector<EventList> tracks = {{MIDIEvent(0, {0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80})}};
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        EventList track = {MIDIEvent(0, {static_cast<std::uint8_t>(0xC0 | channel), static_cast<std::uint8_t>(channel * 7)})};
        for (std::uint32_t tick = 0, step = 0; tick < length; tick += sixteenth, ++step) {
            const auto key = static_cast<std::uint8_t>(40 + (channel * 3 + step * 5) % 40);
            track.emplace_back(tick, std::initializer_list<std::uint8_t>{static_cast<std::uint8_t>(0x90 | channel), key, 90});
            track.emplace_back(tick + sixteenth - 10, std::initializer_list<std::uint8_t>{static_cast<std::uint8_t>(0x80 | channel), key, 0});
            if (step % 2 == 0) {
                const auto value = static_cast<std::uint8_t>(step % 128);
                track.emplace_back(tick, std::initializer_list<std::uint8_t>{static_cast<std::uint8_t>(0xB0 | channel), 1, value});
                track.emplace_back(tick, std::initializer_list<std::uint8_t>{static_cast<std::uint8_t>(0xE0 | channel), 0, value});
            }
        }
        tracks.push_back(std::move(track));
    }
    Bytes out = file.header(1, static_cast<int>(tracks.size()));
    for (const auto& track : tracks) orvane::midi::MIDIFile::appendTrackChunk(out, track);
    return out;
}

FluidSynthOptions silentOptions() {
    FluidSynthOptions options;
    options.silentOutput = true;
    return options;
}

void renderSong(benchmark::State& state, const Bytes& song) {
    if (song.empty()) {
        state.SkipWithError("song not found");
        return;
    }
    const FluidSynthOptions options = silentOptions();
    double musicSeconds = 0;
    try {
        (void)orvane::playback::renderWAV(song, options, 0);  // loads the SoundFont
        for (auto _ : state) {
            const auto wav = orvane::playback::renderWAV(song, options);
            musicSeconds += static_cast<double>(wav.frames) / options.sampleRate;
            benchmark::DoNotOptimize(wav.bytes.data());
        }
    } catch (const orvane::playback::MIDIFilePlayerError& error) {
        state.SkipWithError(error.description().c_str());
        return;
    }
    state.counters["music_s_per_s"] = benchmark::Counter(musicSeconds, benchmark::Counter::kIsRate);
}

void BM_RenderDemoSong(benchmark::State& state) {
    static const Bytes song = readFile(std::filesystem::path(ORVANE_SOURCE_DIR) / "examples" / "demo.mid");
    renderSong(state, song);
}

void BM_RenderDenseSong(benchmark::State& state) {
    static const Bytes song = denseSong();
    renderSong(state, song);
}

void BM_RenderDenseCorpusFile(benchmark::State& state) {
    static const Bytes song = readFile("/usr/share/games/openttd/baseset/openmsx/keep_on_rolling.mid");
    renderSong(state, song);
}

BENCHMARK(BM_RenderDemoSong)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderDenseSong)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderDenseCorpusFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
