// Converting between ticks and seconds under the tempo map, with or without a tempo
// override, and the tempo events an override writes.

#include "midi/model/TempoMap.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvane::midi {

namespace {

constexpr std::uint32_t defaultMicrosecondsPerQuarter = 500000;
constexpr double largestTempoValue = 16777215.0;

// The microseconds per quarter note of a tempo event; 0 when it carries none.
std::uint32_t tempoValue(const MIDIEvent& event) {
    if (event.size() < 6) return 0;
    return (std::uint32_t{event[3]} << 16) | (std::uint32_t{event[4]} << 8) | event[5];
}

void setTempoValue(MIDIEvent& event, std::uint32_t value) {
    const auto bytes = event.mutableData();
    bytes[3] = static_cast<std::uint8_t>(value >> 16);
    bytes[4] = static_cast<std::uint8_t>(value >> 8);
    bytes[5] = static_cast<std::uint8_t>(value);
}

std::uint32_t clampedTempoValue(double microseconds) {
    return static_cast<std::uint32_t>(std::clamp(microseconds, 1.0, largestTempoValue));
}

// Frames per second times ticks per frame of an SMPTE division; 0 when it is unusable.
double smpteTicksPerSecond(std::uint16_t division) {
    const auto framesCode = static_cast<std::int8_t>(division >> 8);
    const auto ticksPerFrame = static_cast<int>(division & 0xFF);
    if (ticksPerFrame == 0 || framesCode >= 0) return 0;
    return static_cast<double>(-framesCode * ticksPerFrame);
}

bool isSortedByTick(const TimedMetaList& events) {
    return std::is_sorted(events.begin(), events.end(),
                          [](const MIDIEvent& a, const MIDIEvent& b) { return a.tick < b.tick; });
}

}  // namespace

TempoMap::TempoMap(const MIDIFile& file, std::optional<double> newBPM)
    : isSMPTE_(file.isSMPTE),
      smpteTicksPerSecond_(smpteTicksPerSecond(file.timeDivision)),
      // A division of 0 counts as one tick per quarter note: times stay finite.
      ticksPerQuarter_(static_cast<double>(std::max<std::uint16_t>(file.timeDivision, 1))) {
    if (isSMPTE_) return;
    if (newBPM) {
        buildSegments(file.rewrittenTempoEvents(*newBPM));
    } else {
        buildSegments(file.tempoEvents);
    }
}

void TempoMap::buildSegments(const TimedMetaList& tempoEvents) {
    TimedMetaList ordered;
    const TimedMetaList* events = &tempoEvents;
    if (!isSortedByTick(tempoEvents)) {
        ordered = tempoEvents;
        std::stable_sort(ordered.begin(), ordered.end(),
                         [](const MIDIEvent& a, const MIDIEvent& b) { return a.tick < b.tick; });
        events = &ordered;
    }
    segments_.reserve(events->size() + 1);
    Segment current{0, defaultMicrosecondsPerQuarter, 0.0};
    segments_.push_back(current);
    for (const MIDIEvent& event : *events) {
        const std::uint32_t value = tempoValue(event);
        if (value == 0) continue;
        current.elapsedMicroseconds += static_cast<double>(current.microsecondsPerQuarter) *
                                       static_cast<double>(event.tick - current.tick) / ticksPerQuarter_;
        current.microsecondsPerQuarter = value;
        current.tick = event.tick;
        segments_.push_back(current);
    }
}

double TempoMap::ticksToSeconds(std::uint32_t tick) const {
    if (isSMPTE_) {
        return smpteTicksPerSecond_ == 0 ? 0.0 : static_cast<double>(tick) / smpteTicksPerSecond_;
    }
    // The last segment that starts before tick; a tempo change exactly at tick does not
    // affect tick's own time.
    const auto after = std::partition_point(segments_.begin() + 1, segments_.end(),
                                            [tick](const Segment& segment) { return segment.tick < tick; });
    const Segment& segment = *(after - 1);
    return (segment.elapsedMicroseconds + static_cast<double>(segment.microsecondsPerQuarter) *
                                              static_cast<double>(tick - segment.tick) / ticksPerQuarter_) /
           1000000.0;
}

std::uint32_t TempoMap::secondsToTicks(double seconds, std::uint32_t lastTick) const {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    if (isSMPTE_) {
        if (smpteTicksPerSecond_ == 0) return 0;
        const double ticks = std::round(seconds * smpteTicksPerSecond_);
        return static_cast<std::uint32_t>(
            std::clamp(ticks, 0.0, static_cast<double>(std::numeric_limits<std::uint32_t>::max())));
    }
    if (seconds <= 0) return 0;
    std::uint32_t high = lastTick == 0 ? 1 : lastTick;
    if (ticksToSeconds(high) <= seconds) return high;
    std::uint32_t low = 0;
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        if (ticksToSeconds(middle) < seconds) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

double MIDIFile::ticksToSeconds(std::uint32_t tick, std::optional<double> newBPM) const {
    return TempoMap(*this, newBPM).ticksToSeconds(tick);
}

std::uint32_t MIDIFile::secondsToTicks(double seconds, std::optional<std::uint32_t> maxTick,
                                       std::optional<double> newBPM) const {
    const TempoMap map(*this, newBPM);
    if (isSMPTE) return map.secondsToTicks(seconds, 0);
    return map.secondsToTicks(seconds, maxTick ? *maxTick : maximumTick(musicalTracks()));
}

TimedMetaList MIDIFile::rewrittenTempoEvents(double newBPM) const {
    if (!(newBPM > 0 && bpm > 0)) return tempoEvents;
    const double factor = bpm / newBPM;
    TimedMetaList rewritten = originalTempoEvents;
    bool hasTempo = false;
    for (MIDIEvent& event : rewritten) {
        const std::uint32_t value = tempoValue(event);
        if (value == 0) continue;
        setTempoValue(event, clampedTempoValue(factor * static_cast<double>(value)));
        hasTempo = true;
    }
    if (hasTempo) return rewritten;
    // A song without a tempo of its own still follows the override: it gets one at tick 0.
    TimedMetaList supplied;
    supplied.reserve(rewritten.size() + 1);
    supplied.emplace_back(0, std::initializer_list<std::uint8_t>{0xFF, 0x51, 0x03, 0, 0, 0});
    setTempoValue(supplied.back(), clampedTempoValue(60000000.0 / newBPM));
    for (MIDIEvent& event : rewritten) supplied.push_back(std::move(event));
    return supplied;
}

TimedMetaList MIDIFile::effectiveTempoEvents(std::optional<double> newBPM) const {
    return newBPM ? rewrittenTempoEvents(*newBPM) : tempoEvents;
}

std::uint32_t MIDIFile::maximumTick(std::span<const MIDITrack> tracks) {
    std::uint32_t maximum = 0;
    for (const MIDITrack& track : tracks) {
        for (const MIDIEvent& event : track.events) maximum = std::max(maximum, event.tick);
    }
    return maximum;
}

std::uint32_t MIDIFile::maximumTick(const MusicalTrackList& tracks) {
    std::uint32_t maximum = 0;
    for (const MIDITrack& track : tracks) maximum = std::max(maximum, maximumTick(std::span(&track, 1)));
    return maximum;
}

}  // namespace orvane::midi
