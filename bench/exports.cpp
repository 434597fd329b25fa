// Building the exports of the stress song: every split file, the merged file (mixer values
// applied) and a merged loop of 100 repeats of one hundredth of the song. Baseline: copying
// as many bytes as the measured builder writes into a fresh buffer.

#include <memory>
#include <numeric>

#include "BenchSupport.h"
#include "midi/export/LoopExport.h"
#include "midi/export/TrackExport.h"

namespace orvane::bench {
namespace {

const std::vector<midi::MIDITrack>& musicalTracks() {
    static const std::vector<midi::MIDITrack> tracks = parsedStressSong().musicalTracks().copies();
    return tracks;
}

// A source of n bytes for the baseline to copy.
std::span<const std::uint8_t> bytesToCopy(std::size_t n) {
    static Bytes source;
    if (source.size() < n) source.assign(n, 0x5A);
    return std::span<const std::uint8_t>(source).first(n);
}

template <typename Build>
void timeBuild(benchmark::State& state, Build&& build) {
    const std::size_t outputBytes = [&] {
        const auto outputs = build();
        return std::accumulate(outputs.begin(), outputs.end(), std::size_t{0},
                               [](std::size_t sum, const Bytes& bytes) { return sum + bytes.size(); });
    }();
    timeAgainstBaseline(state, [&] { return freshCopy(bytesToCopy(outputBytes)); }, build);
    state.counters["output_MB"] = static_cast<double>(outputBytes) / 1e6;
}

void BM_SplitEveryTrack(benchmark::State& state) {
    const midi::MIDIFile& song = parsedStressSong();
    timeBuild(state, [&] {
        std::vector<Bytes> files;
        for (const auto& track : song.musicalTracks()) files.push_back(midi::buildSingleTrackMIDI(song, track, 0, std::nullopt));
        return files;
    });
}

void BM_MergedFile(benchmark::State& state) {
    const midi::MIDIFile& song = parsedStressSong();
    timeBuild(state, [&] {
        return std::vector<Bytes>{midi::buildMergedMIDI(song, musicalTracks(), 0, std::nullopt, true)};
    });
}

void BM_MergedLoop100(benchmark::State& state) {
    const midi::MIDIFile& song = parsedStressSong();
    const double duration = song.ticksToSeconds(midi::MIDIFile::maximumTick(song.musicalTracks()), std::nullopt);
    timeBuild(state, [&] {
        return std::vector<Bytes>{midi::buildMergedLoopMIDI(song, musicalTracks(), duration * 0.40, duration * 0.41,
                                                            100, false, 0, std::nullopt, true)};
    });
}

BENCHMARK(BM_SplitEveryTrack)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergedFile)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergedLoop100)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane::bench

BENCHMARK_MAIN();
