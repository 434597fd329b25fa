#pragma once
// Shared pieces of the benchmarks: the stress song (generated once and kept in the temporary
// folder between runs) and timing against a same-run baseline.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "StressSong.h"
#include "midi/model/MIDIFile.h"
#include "ToolFiles.h"

namespace orvane::bench {

using midi::Bytes;

inline constexpr std::uint32_t stressNotesPerTrack = 200000;

// The stress song's bytes. Generated into <temp>/orvane-bench on first use; later runs read
// the file from there. The version in the name changes whenever the generator does.
inline const Bytes& stressSong(int format) {
    static const auto load = [](int which) {
        namespace fs = std::filesystem;
        const fs::path folder = fs::temp_directory_path() / "orvane-bench";
        const fs::path path = folder / ("stress-v1-" + std::to_string(stressNotesPerTrack) + "-format" +
                                        std::to_string(which) + ".mid");
        std::ifstream in(path, std::ios::binary);
        Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!bytes.empty()) return bytes;
        const auto tracks = tools::stress::songTracks(stressNotesPerTrack);
        bytes = which == 0 ? tools::stress::format0File(tracks) : tools::stress::format1File(tracks);
        std::error_code ignored;
        fs::create_directories(folder, ignored);
        (void)tools::writeFileOrReport(path, bytes);  // only a cache: the benchmark runs either way
        return bytes;
    };
    static const Bytes format0 = load(0);
    static const Bytes format1 = load(1);
    return format == 0 ? format0 : format1;
}

// The baseline most benchmarks compare with: the same bytes copied into a fresh buffer.
inline Bytes freshCopy(std::span<const std::uint8_t> bytes) { return Bytes(bytes.begin(), bytes.end()); }

// Runs baseline() and then measured() in every iteration and reports the measured time as
// the benchmark's (manual) time, the baseline's mean time as "baseline_ms", and their ratio
// as "ratio". Both return what they made, so that freeing it is not timed.
template <typename Baseline, typename Measured>
void timeAgainstBaseline(benchmark::State& state, Baseline&& baseline, Measured&& measured) {
    using Clock = std::chrono::steady_clock;
    double baselineSeconds = 0;
    double measuredSeconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto reference = baseline();
        benchmark::DoNotOptimize(reference);
        const auto middle = Clock::now();
        auto result = measured();
        benchmark::DoNotOptimize(result);
        const auto end = Clock::now();
        const double seconds = std::chrono::duration<double>(end - middle).count();
        baselineSeconds += std::chrono::duration<double>(middle - start).count();
        measuredSeconds += seconds;
        state.SetIterationTime(seconds);
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.counters["baseline_ms"] = iterations > 0 ? baselineSeconds * 1000 / iterations : 0;
    state.counters["ratio"] = baselineSeconds > 0 ? measuredSeconds / baselineSeconds : 0;
}

}  // namespace orvane::bench
