// Activity meters: each track's notes in seconds, its level at a song time, and the LED meter.

#include "app/ActivityMeters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "app/SongTiming.h"
#include "midi/model/HugePages.h"

namespace orvane::app {
namespace {

constexpr double attackSeconds = 0.055;
// A released note fades as exp(-6.5 × age) and stops counting 0.45 s after its release
// (down to about 5 %).
constexpr double releaseRate = 6.5;
constexpr double releaseWindow = 0.45;
// A note of the same track starting within 0.12 s of a release takes over from the released
// note, which is ignored until 55 ms after that start: repeated short notes do not flicker.
constexpr double retriggerWindow = 0.12;
constexpr double retriggerEpsilon = 0.0005;

constexpr std::uint32_t noNote = UINT32_MAX;
constexpr std::size_t keyCount = 128 * 16;  // note + 128 × channel

// Notes waiting for their note-off, one first-in-first-out queue per key, linked through the
// note indices so that no queue allocates.
class PendingNotes {
public:
    void reset(std::size_t noteCapacity) {
        heads_.fill(noNote);
        tails_.fill(noNote);
        next_.clear();
        next_.reserve(noteCapacity);
    }
    void push(std::size_t key, std::uint32_t note) {
        next_.push_back(noNote);  // note == next_.size() - 1: notes are pushed in index order
        if (tails_[key] == noNote) {
            heads_[key] = note;
        } else {
            next_[tails_[key]] = note;
        }
        tails_[key] = note;
    }
    // The oldest pending note of key, or noNote.
    std::uint32_t pop(std::size_t key) {
        const std::uint32_t note = heads_[key];
        if (note == noNote) return noNote;
        heads_[key] = next_[note];
        if (heads_[key] == noNote) tails_[key] = noNote;
        return note;
    }
    // Calls end(note) for every note still pending.
    template <class End>
    void drain(End&& end) {
        for (std::size_t key = 0; key < keyCount; ++key) {
            for (std::uint32_t note = pop(key); note != noNote; note = pop(key)) end(note);
        }
    }

private:
    std::array<std::uint32_t, keyCount> heads_{};
    std::array<std::uint32_t, keyCount> tails_{};
    std::vector<std::uint32_t> next_;
};

std::size_t keyOf(const midi::MIDIEvent& event) {
    return std::size_t{event[1] & 0x7Fu} + 128 * std::size_t{event.channel()};
}

// Ticks to seconds, remembering the last conversion.
class LastConversion {
public:
    explicit LastConversion(const midi::TempoMap& map) : map_(map) {}
    double seconds(double tick) {
        if (tick != tick_) {
            tick_ = tick;
            seconds_ = map_.ticksToSeconds(static_cast<std::uint32_t>(tick));
        }
        return seconds_;
    }

private:
    const midi::TempoMap& map_;
    double tick_ = -1;
    double seconds_ = 0;
};

MIDIActivityTrack activityOf(const midi::MIDITrack& track, const midi::TempoMap& map, PendingNotes& pending) {
    MIDIActivityTrack activity;
    std::vector<MIDIActivityNote>& notes = activity.notes;
    midi::reserveLarge(notes, track.events.size());
    pending.reset(track.events.size());

    // First in ticks (time and endTime hold ticks), then converted in one pass.
    std::uint32_t lastTick = 0;
    timing::forEachEventInTickOrder(track.events, [&](const midi::MIDIEvent& event) {
        lastTick = event.tick;
        if (event.isNoteOn()) {
            pending.push(keyOf(event), static_cast<std::uint32_t>(notes.size()));
            notes.push_back({static_cast<double>(event.tick), static_cast<double>(event.tick), event[2]});
        } else if (event.isNoteOff()) {
            const std::uint32_t note = pending.pop(keyOf(event));
            if (note != noNote) notes[note].endTime = static_cast<double>(event.tick);
        }
    });
    pending.drain([&](std::uint32_t note) { notes[note].endTime = static_cast<double>(lastTick); });

    // Notes come in tick order and time only grows with the tick, so they stay sorted by
    // time. The notes of a chord share their start and often their end: each keeps the last
    // conversion.
    midi::reserveLarge(activity.startTimes, notes.size());
    LastConversion start(map);
    LastConversion end(map);
    std::uint64_t velocitySum = 0;
    for (MIDIActivityNote& note : notes) {
        const double endTick = std::max(note.endTime, note.time);
        note.time = start.seconds(note.time);
        note.endTime = end.seconds(endTick);
        activity.startTimes.push_back(note.time);
        velocitySum += note.velocity;
    }
    if (!notes.empty()) {
        const double mean = static_cast<double>(velocitySum) / static_cast<double>(notes.size());
        activity.baselineVelocity = static_cast<int>(std::clamp(std::lround(mean), 1L, 127L));
    }
    return activity;
}

// The index of the first of starts[from, count) later than value (count when there is none).
// Galloping from `from`: the answer is usually a few notes away, so this touches a few
// neighbouring entries instead of bisecting the whole song.
std::size_t firstStartAfter(const std::vector<double>& starts, std::size_t from, std::size_t count, double value) {
    std::size_t low = from;
    std::size_t high = from;
    for (std::size_t step = 1; high < count && starts[high] <= value; step *= 2) {
        low = high + 1;
        high = from + step;
    }
    high = std::min(high, count);
    const auto first = starts.begin();
    return static_cast<std::size_t>(
        std::upper_bound(first + static_cast<std::ptrdiff_t>(low), first + static_cast<std::ptrdiff_t>(high), value) -
        first);
}

// The segment colour of a lit or held segment; absent for the system red.
std::optional<RGBA> litColor(int segment) {
    if (segment < 8) return meterColors::activeGreen;
    if (segment < 10) return meterColors::activeYellow;
    return std::nullopt;
}

}  // namespace

std::vector<MIDIActivityTrack> buildActivityTracks(const midi::MIDIFile& song, std::optional<double> newBPM) {
    std::vector<MIDIActivityTrack> result;
    const midi::MusicalTrackList tracks = song.musicalTracks();
    if (tracks.empty()) return result;
    result.reserve(tracks.size());
    const midi::TempoMap map = timing::tempoMap(song, newBPM);
    PendingNotes pending;
    for (const midi::MIDITrack& track : tracks) result.push_back(activityOf(track, map, pending));
    return result;
}

double activityLevel(const MIDIActivityTrack& activity, const midi::MIDITrack& track, double t) {
    if (!std::isfinite(t)) return 0;
    const std::vector<double>& starts = activity.startTimes;
    const std::size_t count = std::min(activity.notes.size(), starts.size());
    const auto startsEnd = starts.begin() + static_cast<std::ptrdiff_t>(count);
    const double volumeFactor = track.volume / 127.0;
    const double velocityScale = (track.velocity == 0 ? 1.0 : static_cast<double>(track.velocity)) /
                                 static_cast<double>(std::max(activity.baselineVelocity, 1));

    double level = 0;
    // From the last note that starts at or before t back to older ones.
    auto index = static_cast<std::size_t>(std::upper_bound(starts.begin(), startsEnd, t) - starts.begin());
    while (index > 0) {
        const MIDIActivityNote& note = activity.notes[--index];
        const double releaseAge = std::max(t - note.endTime, 0.0);
        if (releaseAge > releaseWindow) break;
        if (t > note.endTime) {
            // Every later start is at or after this note's own start.
            const std::size_t next = firstStartAfter(starts, index + 1, count, note.endTime + retriggerEpsilon);
            if (next < count && starts[next] - note.endTime <= retriggerWindow && t < starts[next] + attackSeconds) {
                continue;
            }
        }
        const double attack = std::clamp((t - note.time) / attackSeconds, 0.0, 1.0);
        const double velocity = std::min(note.velocity * velocityScale, 127.0);
        level = std::max(level, std::exp(-releaseRate * releaseAge) * volumeFactor * velocity / 127.0 * attack);
    }
    return std::min(level, 1.0);
}

std::map<int, double> activityLevels(const midi::MIDIFile& song, const std::vector<MIDIActivityTrack>& activity,
                                     const std::set<int>& rows, double t) {
    std::map<int, double> levels;
    const midi::MusicalTrackList tracks = song.musicalTracks();
    const std::size_t available = std::min(tracks.size(), activity.size());
    for (const int row : rows) {
        if (row < 0 || static_cast<std::size_t>(row) >= available) continue;
        const auto index = static_cast<std::size_t>(row);
        levels.emplace_hint(levels.end(), row, activityLevel(activity[index], tracks[index], t));
    }
    return levels;
}

bool ActivityMeterState::update(double newLevel, bool resetPeak, double now) {
    const int previousLit = litSegments;
    const int previousPeak = heldPeakSegments;
    level = std::isfinite(newLevel) ? std::clamp(newLevel, 0.0, 1.0) : 0.0;
    litSegments = static_cast<int>(std::ceil(level * segmentCount));
    if (resetPeak) {
        heldPeakSegments = 0;
        peakHoldUntil = -std::numeric_limits<double>::infinity();
    } else if (litSegments >= heldPeakSegments) {
        heldPeakSegments = litSegments;
        peakHoldUntil = now + peakHoldDuration;
    } else if (now >= peakHoldUntil) {
        heldPeakSegments = litSegments;
    }
    return litSegments != previousLit || heldPeakSegments != previousPeak;
}

MeterSegmentLook meterSegmentLook(const ActivityMeterState& meter, int segment) {
    if (segment < 0 || segment >= ActivityMeterState::segmentCount) return {MeterSegmentLook::Kind::inactive, meterColors::inactiveSegment, 1};
    if (segment < meter.litSegments) return {MeterSegmentLook::Kind::lit, litColor(segment), 1};
    if (segment == meter.heldPeakSegments - 1) return {MeterSegmentLook::Kind::heldPeak, litColor(segment), 0.95};
    return {MeterSegmentLook::Kind::inactive, meterColors::inactiveSegment, 1};
}

}  // namespace orvane::app
