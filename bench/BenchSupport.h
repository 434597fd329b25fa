#pragma once
// Shared pieces of the benchmarks: the stress song (generated once and kept in the temporary
// folder between runs) and timing against a same-run baseline.

#include <benchmark/benchmark.h>

#include <sys/mman.h>

#include <chrono>
#include <cstring>
#include <new>
#include <utility>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
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

// The Format 1 stress song read once.
inline const midi::MIDIFile& parsedStressSong() {
    static const auto file = [] {
        auto parsed = std::make_unique<midi::MIDIFile>();
        (void)parsed->parse(stressSong(1));
        return parsed;
    }();
    return *file;
}

// The baseline most benchmarks compare with: the same bytes copied into a fresh buffer. The
// buffer comes straight from the kernel (malloc would hand back pages an earlier iteration
// already touched), so the copy pays the first-touch page faults that any freshly read file
// pays on this kind of machine.
class FreshBuffer {
public:
    explicit FreshBuffer(std::span<const std::uint8_t> bytes) : size_(bytes.size()) {
        void* block = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED) throw std::bad_alloc();
        data_ = static_cast<std::uint8_t*>(block);
        std::memcpy(data_, bytes.data(), size_);
    }
    FreshBuffer(FreshBuffer&& other) noexcept : data_(std::exchange(other.data_, nullptr)), size_(other.size_) {}
    FreshBuffer(const FreshBuffer&) = delete;
    FreshBuffer& operator=(const FreshBuffer&) = delete;
    FreshBuffer& operator=(FreshBuffer&&) = delete;
    ~FreshBuffer() {
        if (data_ != nullptr) ::munmap(data_, size_);
    }
    [[nodiscard]] const std::uint8_t* data() const noexcept { return data_; }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_;
};

inline FreshBuffer freshCopy(std::span<const std::uint8_t> bytes) { return FreshBuffer(bytes); }

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
