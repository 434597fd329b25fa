#pragma once
// The tempo map of a song prepared once for many conversions between ticks and seconds.
// Each tempo change records the seconds elapsed up to it, so a conversion looks up its
// segment by binary search instead of walking every tempo change before it. The results are
// the same, to the last bit, as walking the map from the start.

#include <cstdint>
#include <optional>
#include <vector>

#include "midi/model/MIDIFile.h"

namespace orvane::midi {

class TempoMap {
public:
    // The map of file under the optional tempo override newBPM. Tempo events that are not in
    // tick order are taken stably ordered by tick.
    TempoMap(const MIDIFile& file, std::optional<double> newBPM);

    [[nodiscard]] double ticksToSeconds(std::uint32_t tick) const;
    // The smallest tick at or after seconds, clamped to lastTick (or 1 when lastTick is 0).
    [[nodiscard]] std::uint32_t secondsToTicks(double seconds, std::uint32_t lastTick) const;

private:
    // From tick on, a quarter note lasts microsecondsPerQuarter; elapsedMicroseconds had
    // passed at tick.
    struct Segment {
        std::uint32_t tick;
        std::uint32_t microsecondsPerQuarter;
        double elapsedMicroseconds;
    };

    void buildSegments(const TimedMetaList& tempoEvents);

    bool isSMPTE_ = false;
    double smpteTicksPerSecond_ = 0;  // 0 when the SMPTE division is unusable
    double ticksPerQuarter_ = 480;
    std::vector<Segment> segments_;
};

}  // namespace orvane::midi
