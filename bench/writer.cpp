// Writing the parsed stress song with buildTrackChunk: every track on its own, its events
// already in export order (the builders' usual case), and all tracks merged into one chunk,
// which must be sorted. Baseline: copying the source file's bytes into a fresh buffer.

#include <algorithm>
#include <memory>

#include "BenchSupport.h"

namespace orvane::bench {
namespace {

void BM_BuildTrackChunks(benchmark::State& state) {
    const midi::MIDIFile& file = parsedStressSong();
    const Bytes& source = stressSong(1);
    timeAgainstBaseline(
        state, [&] { return freshCopy(source); },
        [&] {
            std::vector<Bytes> chunks;
            chunks.reserve(file.tracks().size());
            for (const auto& track : file.tracks()) chunks.push_back(midi::MIDIFile::buildTrackChunk(track.events));
            return chunks;
        });
}

// Every track's events in one list, track after track, as a merge builds it: one chunk
// that must be sorted.
void BM_BuildMergedChunk(benchmark::State& state) {
    const midi::MIDIFile& file = parsedStressSong();
    static const midi::EventList merged = [&] {
        midi::EventList events;
        for (const auto& track : file.tracks()) events.insert(events.end(), track.events.begin(), track.events.end());
        return events;
    }();
    const Bytes& source = stressSong(1);
    timeAgainstBaseline(
        state, [&] { return freshCopy(source); }, [&] { return midi::MIDIFile::buildTrackChunk(merged); });
}

BENCHMARK(BM_BuildTrackChunks)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildMergedChunk)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane::bench

BENCHMARK_MAIN();
