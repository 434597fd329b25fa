// The main timeline's lanes, geometry, marker hit-test and span reduction.

#include "app/TimelineLanes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "app/SongTiming.h"
#include "app/ViewTypes.h"

namespace orvane::app {
namespace {

// A phrase reaches a hundredth of the song past its last note-on, so that a lone note shows.
constexpr double phraseTail = 0.01;

// Note-ons further apart than this start a new phrase: two quarter notes. A song timed in
// SMPTE frames has no quarter notes; there the gap is one second, two quarters at 120 BPM.
std::uint64_t phraseGapTicks(const midi::MIDIFile& song) {
    if (song.isSMPTE) return std::max<std::uint64_t>(timing::smpteTicksPerSecond(song.timeDivision), 1);
    return 2 * std::uint64_t{timing::ticksPerQuarter(song)};
}

// The lane of one track with its phrases still in ticks; lastTick grows to the track's last
// event tick.
TrackLane laneInTicks(const midi::MIDITrack& track, std::size_t position, std::uint64_t gap,
                      std::uint32_t& lastTick) {
    TrackLane lane;
    lane.label = std::to_string(position + 1);
    lane.paletteIndex = paletteIndex(position);
    bool inPhrase = false;
    std::uint32_t first = 0;
    std::uint32_t previous = 0;
    timing::forEachEventInTickOrder(track.events, [&](const midi::MIDIEvent& event) {
        lastTick = std::max(lastTick, event.tick);
        if (!event.isNoteOn()) return;
        if (inPhrase && event.tick - previous > gap) {
            lane.phrases.push_back({static_cast<double>(first), static_cast<double>(previous)});
            inPhrase = false;
        }
        if (!inPhrase) {
            first = event.tick;
            inPhrase = true;
        }
        previous = event.tick;
    });
    if (inPhrase) lane.phrases.push_back({static_cast<double>(first), static_cast<double>(previous)});
    return lane;
}

// Rectangles closer than this touch: positions computed from fractions differ in the last bits.
constexpr double touchTolerance = 1e-9;

// NaN counts as 0.
double clampedFraction(double fraction) { return std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0); }

}  // namespace

TimelineLanes buildTimelineLanes(const midi::MIDIFile& song, std::optional<double> newBPM) {
    TimelineLanes result;
    const midi::MusicalTrackList tracks = song.musicalTracks();
    if (tracks.empty()) return result;
    result.lanes.reserve(tracks.size());
    const std::uint64_t gap = phraseGapTicks(song);
    std::uint32_t lastTick = 0;
    for (std::size_t position = 0; position < tracks.size(); ++position) {
        result.lanes.push_back(laneInTicks(tracks[position], position, gap, lastTick));
    }

    const midi::TempoMap map = timing::tempoMap(song, newBPM);
    const double length = map.ticksToSeconds(lastTick);
    if (!std::isfinite(length) || length <= 0) {
        for (TrackLane& lane : result.lanes) lane.phrases.clear();
        return result;
    }
    result.songDuration = length;
    const auto fractionOf = [&](double tick) { return map.ticksToSeconds(static_cast<std::uint32_t>(tick)) / length; };
    for (TrackLane& lane : result.lanes) {
        for (Phrase& phrase : lane.phrases) {
            phrase = {fractionOf(phrase.start), std::min(fractionOf(phrase.end) + phraseTail, 1.0)};
        }
    }
    return result;
}

double TimelineGeometry::xForFraction(double fraction) const noexcept {
    return trackOriginX + clampedFraction(fraction) * trackWidth();
}

double TimelineGeometry::fractionAt(double x) const noexcept {
    const double w = trackWidth();
    if (!(w > 0)) return 0;
    return clampedFraction((x - trackOriginX) / w);
}

// Lanes are 8 points apart from the top edge down, lane 0 at the top; a lane is drawn only
// when its whole height, laneTop(i) + laneHeight, lies within the view.
double TimelineGeometry::laneTop(std::size_t lane) const noexcept {
    return laneSpacing * static_cast<double>(lane);
}

std::optional<LoopMarker> loopMarkerAt(const TimelineGeometry& geometry, double x, double loopStart,
                                       double loopEnd) {
    if (!std::isfinite(x)) return std::nullopt;
    const double toStart = std::abs(x - geometry.xForFraction(loopStart));
    const double toEnd = std::abs(x - geometry.xForFraction(loopEnd));
    if (std::min(toStart, toEnd) > TimelineGeometry::markerHitSlop) return std::nullopt;
    return toStart <= toEnd ? LoopMarker::start : LoopMarker::end;
}

std::vector<PixelSpan> laneSpans(const std::vector<Phrase>& phrases, const TimelineGeometry& geometry) {
    std::vector<PixelSpan> spans;
    const double w = geometry.trackWidth();
    if (!(w > 0)) return spans;
    // Spans are at least 2 points wide and never overlap, so there are at most w / 2 + 1.
    spans.reserve(std::min(phrases.size(), static_cast<std::size_t>(w / TimelineGeometry::minimumPhraseWidth) + 1));
    for (const Phrase& phrase : phrases) {
        if (std::isnan(phrase.start) || std::isnan(phrase.end)) continue;
        const double x = geometry.xForFraction(phrase.start);
        const double width = std::max(w * (clampedFraction(phrase.end) - clampedFraction(phrase.start)),
                                      TimelineGeometry::minimumPhraseWidth);
        if (!spans.empty()) {
            PixelSpan& last = spans.back();
            const double lastEnd = last.x + last.width;
            if (x >= last.x && x <= lastEnd + touchTolerance) {
                last.width = std::max(lastEnd, x + width) - last.x;
                continue;
            }
        }
        spans.push_back({x, width});
    }
    return spans;
}

}  // namespace orvane::app
