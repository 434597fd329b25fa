// The view arithmetic of the application layer on the stress song (16 tracks of 200000 notes):
// building the mixer's activity lists and the timeline lanes, as loading and every tempo change
// do (baseline: copying as many bytes as the activity lists hold into a fresh buffer), and one
// 30 ms progress tick, the level of every row (baseline: filling the same map of 16 rows with a
// constant level). A tick iteration runs 1000 ticks, so its time in milliseconds is the time of
// one tick in microseconds.

#include <algorithm>
#include <chrono>
#include <memory>

#include "BenchSupport.h"
#include "app/ActivityMeters.h"
#include "app/TimelineLanes.h"

namespace orvane::bench {
namespace {

constexpr int ticksPerIteration = 1000;

std::size_t activityBytes(const std::vector<app::MIDIActivityTrack>& activity) {
    std::size_t bytes = 0;
    for (const auto& track : activity) {
        bytes += track.notes.size() * sizeof(app::MIDIActivityNote) + track.startTimes.size() * sizeof(double);
    }
    return bytes;
}

void BM_BuildActivityAndLanes(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const midi::MIDIFile& song = parsedStressSong();
    const std::size_t bytes = activityBytes(app::buildActivityTracks(song, std::nullopt));
    const Bytes source(bytes, 0x5A);
    double activitySeconds = 0;
    double lanesSeconds = 0;
    timeAgainstBaseline(
        state, [&] { return freshCopy(source); },
        [&] {
            const auto start = Clock::now();
            auto activity = app::buildActivityTracks(song, std::nullopt);
            const auto middle = Clock::now();
            auto lanes = app::buildTimelineLanes(song, std::nullopt);
            activitySeconds += std::chrono::duration<double>(middle - start).count();
            lanesSeconds += std::chrono::duration<double>(Clock::now() - middle).count();
            return std::make_pair(std::move(activity), std::move(lanes));
        });
    const auto iterations = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["activity_ms"] = activitySeconds * 1000 / iterations;
    state.counters["lanes_ms"] = lanesSeconds * 1000 / iterations;
    state.counters["notes_M"] = static_cast<double>(bytes / (sizeof(app::MIDIActivityNote) + sizeof(double))) / 1e6;
}

// Arg 0: playback, 1000 ticks 30 ms apart from a different place in every iteration; arg 1:
// 1000 ticks scattered over the whole song, so that every tick searches cold memory.
void BM_ProgressTickEveryRow(benchmark::State& state) {
    const midi::MIDIFile& song = parsedStressSong();
    const auto activity = app::buildActivityTracks(song, std::nullopt);
    const double duration = app::buildTimelineLanes(song, std::nullopt).songDuration;
    const bool scattered = state.range(0) == 1;
    std::set<int> rows;
    for (int row = 0; row < static_cast<int>(activity.size()); ++row) rows.insert(row);
    int iteration = 0;
    timeAgainstBaseline(
        state,
        [&] {
            double sum = 0;
            for (int tick = 0; tick < ticksPerIteration; ++tick) {
                std::map<int, double> levels;
                for (const int row : rows) levels.emplace_hint(levels.end(), row, 0.5);
                sum += levels.begin()->second;
            }
            return sum;
        },
        [&] {
            const double from = duration * ((iteration++ * 7919) % 1000) / 1000 * 0.9;
            double sum = 0;
            for (int tick = 0; tick < ticksPerIteration; ++tick) {
                const double t = scattered ? duration * (tick + 0.5) / ticksPerIteration : from + 0.03 * tick;
                for (const auto& [row, level] : app::activityLevels(song, activity, rows, t)) sum += level;
            }
            return sum;
        });
    state.counters["rows"] = static_cast<double>(rows.size());
}

BENCHMARK(BM_BuildActivityAndLanes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgressTickEveryRow)->Arg(0)->Arg(1)->ArgName("scattered")->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane::bench

BENCHMARK_MAIN();
