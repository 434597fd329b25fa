// secondsToTicks over a dense tempo map: 20000 tempo changes, one every 120 ticks, with and
// without a tempo override. Each iteration converts 100 times spread over the song.
// Baseline: copying the tempo map into a fresh list once per conversion.

#include <memory>
#include <optional>

#include "BenchSupport.h"

namespace orvane::bench {
namespace {

constexpr std::uint32_t tempoChanges = 20000;
constexpr std::uint32_t tempoSpacing = 120;
constexpr int conversions = 100;

const midi::MIDIFile& denseTempoSong() {
    static const auto file = [] {
        midi::EventList conductor;
        for (std::uint32_t i = 0; i < tempoChanges; ++i) {
            const std::uint32_t microseconds = 400000 + (i * 7919) % 300000;
            conductor.push_back({i * tempoSpacing,
                                 {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(microseconds >> 16),
                                  static_cast<std::uint8_t>(microseconds >> 8), static_cast<std::uint8_t>(microseconds)}});
        }
        const std::uint32_t end = tempoChanges * tempoSpacing;
        const midi::EventList notes = {{0, {0x90, 60, 100}}, {end, {0x80, 60, 0}}};
        auto song = std::make_unique<midi::MIDIFile>();
        Bytes bytes = song->header(1, 2);
        midi::MIDIFile::appendTrackChunk(bytes, conductor);
        midi::MIDIFile::appendTrackChunk(bytes, notes);
        (void)song->parse(bytes);
        return song;
    }();
    return *file;
}

void BM_SecondsToTicksDenseTempoMap(benchmark::State& state) {
    const midi::MIDIFile& song = denseTempoSong();
    const std::optional<double> newBPM = state.range(0) == 0 ? std::nullopt : std::optional<double>(140.0);
    const double duration = song.ticksToSeconds(tempoChanges * tempoSpacing, newBPM);
    timeAgainstBaseline(
        state,
        [&] {
            std::vector<midi::TimedMetaList> copies;
            copies.reserve(conversions);
            for (int i = 0; i < conversions; ++i) copies.push_back(song.tempoEvents);
            return copies;
        },
        [&] {
            std::uint64_t sum = 0;
            for (int i = 0; i < conversions; ++i) {
                sum += song.secondsToTicks(duration * (i + 0.5) / conversions, std::nullopt, newBPM);
            }
            return sum;
        });
    state.counters["tempo_events"] = static_cast<double>(song.tempoEvents.size());
}

BENCHMARK(BM_SecondsToTicksDenseTempoMap)->Arg(0)->Arg(1)->ArgName("override")->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane::bench

BENCHMARK_MAIN();
