#pragma once
// The mixer's activity meters. The player reports no audio levels, so each track's level is
// worked out from its own notes: per musical track a list of notes in seconds, and at any song
// time a level with a short attack and an exponential release. The meter itself is a value
// type: twelve segments with a held peak, which the window only draws.

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "app/ViewTypes.h"
#include "midi/model/MIDIFile.h"

namespace orvane::app {

struct MIDIActivityNote {
    double time = 0;
    double endTime = 0;
    std::uint8_t velocity = 0;
    friend bool operator==(const MIDIActivityNote&, const MIDIActivityNote&) = default;
};

struct MIDIActivityTrack {
    std::vector<MIDIActivityNote> notes;  // by start time
    std::vector<double> startTimes;       // the notes' start times, for bisection
    int baselineVelocity = 64;            // mean note velocity, 1...127
    friend bool operator==(const MIDIActivityTrack&, const MIDIActivityTrack&) = default;
};

// One activity track per musical track, in row order, timed with the tempo override.
[[nodiscard]] std::vector<MIDIActivityTrack> buildActivityTracks(const midi::MIDIFile& song,
                                                                 std::optional<double> newBPM);

// The level (0...1) of one track at song time t. The walk starts at the last note that starts
// at or before t (found by bisection), so its cost does not grow with the song.
[[nodiscard]] double activityLevel(const MIDIActivityTrack& activity, const midi::MIDITrack& track, double t);

// The levels of the given musical rows at song time t; rows without a track or an activity
// entry are left out.
[[nodiscard]] std::map<int, double> activityLevels(const midi::MIDIFile& song,
                                                   const std::vector<MIDIActivityTrack>& activity,
                                                   const std::set<int>& rows, double t);

// The state of one LED meter. update() answers whether what is drawn changed.
struct ActivityMeterState {
    static constexpr int segmentCount = 12;
    static constexpr double peakHoldDuration = 0.65;

    double level = 0;
    int litSegments = 0;
    int heldPeakSegments = 0;
    double peakHoldUntil = -std::numeric_limits<double>::infinity();

    // level: not finite counts as 0, limited to 0...1; now: seconds on the run loop's clock.
    bool update(double newLevel, bool resetPeak, double now);
    friend bool operator==(const ActivityMeterState&, const ActivityMeterState&) = default;
};

// The meter's colours.
namespace meterColors {
inline constexpr RGBA surround{0.22, 0.22, 0.22, 1};
inline constexpr RGBA background{0.018, 0.105, 0.04, 1};
inline constexpr RGBA inactiveSegment{0.055, 0.285, 0.105, 1};
inline constexpr RGBA inactiveOutline{0.075, 0.37, 0.14, 0.75};
inline constexpr RGBA activeGreen{0.24, 0.98, 0.34, 1};
inline constexpr RGBA activeYellow{1.0, 0.92, 0.24, 1};
}  // namespace meterColors

// How segment i (0 at the bottom) of a meter is drawn.
struct MeterSegmentLook {
    enum class Kind { lit, heldPeak, inactive };
    Kind kind = Kind::inactive;
    // lit and heldPeak: green below 8, yellow at 8 and 9, red (ColorRole::red) from 10.
    std::optional<RGBA> color;  // absent: the system red
    double alpha = 1;           // 0.95 for the held peak
};
[[nodiscard]] MeterSegmentLook meterSegmentLook(const ActivityMeterState& meter, int segment);

}  // namespace orvane::app
