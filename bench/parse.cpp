// Reading the stress song: 16 tracks of 200000 notes (Format 1) and the same song as one
// Format 0 track that the reader explodes into channel tracks. Baseline: copying the file's
// bytes into a fresh buffer.

#include <memory>

#include "BenchSupport.h"

namespace orvane::bench {
namespace {

void parseStressSong(benchmark::State& state, int format) {
    const Bytes& bytes = stressSong(format);
    timeAgainstBaseline(
        state, [&] { return freshCopy(bytes); },
        [&] {
            auto file = std::make_unique<midi::MIDIFile>();
            if (!file->parse(bytes)) state.SkipWithError("the stress song was rejected");
            return file;
        });
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes.size()));
}

void BM_ParseFormat1(benchmark::State& state) { parseStressSong(state, 1); }
void BM_ParseFormat0(benchmark::State& state) { parseStressSong(state, 0); }

BENCHMARK(BM_ParseFormat1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseFormat0)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane::bench

BENCHMARK_MAIN();
