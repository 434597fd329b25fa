#pragma once
// The main timeline's arithmetic, without drawing: one lane per musical track with its note
// phrases as fractions of the song, the geometry that maps fractions to x positions, the
// hit-test of the loop markers, and the reduction of many phrases to one rectangle per run of
// pixels so that painting a huge song costs no more than painting a small one.

#include <optional>
#include <string>
#include <vector>

#include "midi/model/MIDIFile.h"

namespace orvane::app {

// A phrase: notes whose starts follow each other within two quarter notes, as fractions
// (0...1) of the song.
struct Phrase {
    double start = 0;
    double end = 0;
    friend bool operator==(const Phrase&, const Phrase&) = default;
};

struct TrackLane {
    std::string label;     // the track's number, "1", "2", ...
    int paletteIndex = 0;  // into trackPalette
    std::vector<Phrase> phrases;
    friend bool operator==(const TrackLane&, const TrackLane&) = default;
};

struct TimelineLanes {
    std::vector<TrackLane> lanes;
    double songDuration = 0;  // seconds of the last event tick of the musical tracks
    friend bool operator==(const TimelineLanes&, const TimelineLanes&) = default;
};

// The lanes of every musical track under the tempo override. A song of length 0 has lanes
// without phrases; a division of 0 is taken as 1.
[[nodiscard]] TimelineLanes buildTimelineLanes(const midi::MIDIFile& song, std::optional<double> newBPM);

enum class LoopMarker { start, end };

// The main timeline's geometry: lanes are drawn from x = 26 to width - 6.
struct TimelineGeometry {
    static constexpr double trackOriginX = 26;
    static constexpr double rightInset = 6;
    static constexpr double laneSpacing = 8;
    static constexpr double laneHeight = 4;
    static constexpr double markerHitSlop = 8;
    static constexpr double minimumPhraseWidth = 2;

    double width = 0;
    double height = 0;

    // W = width - 32.
    [[nodiscard]] double trackWidth() const noexcept { return width - trackOriginX - rightInset; }
    // x of a fraction, clamped to 0...1.
    [[nodiscard]] double xForFraction(double fraction) const noexcept;
    // The fraction under x, clamped to 0...1 (0 when the track area has no width).
    [[nodiscard]] double fractionAt(double x) const noexcept;
    // Top of lane i with the origin at the top left; lanes that would not fit are not drawn.
    [[nodiscard]] double laneTop(std::size_t lane) const noexcept;
};

// The loop marker a press at x grabs: the nearer marker line within 8 points, the start
// marker on a tie; nothing when both are farther.
[[nodiscard]] std::optional<LoopMarker> loopMarkerAt(const TimelineGeometry& geometry, double x, double loopStart,
                                                     double loopEnd);

// One filled rectangle of a lane, in x positions.
struct PixelSpan {
    double x = 0;
    double width = 0;
    friend bool operator==(const PixelSpan&, const PixelSpan&) = default;
};

// The phrases of a lane as the rectangles to fill: each phrase at least 2 points wide, and
// rectangles that touch or overlap merged, so a lane never needs more rectangles than the
// track area has pixels.
[[nodiscard]] std::vector<PixelSpan> laneSpans(const std::vector<Phrase>& phrases, const TimelineGeometry& geometry);

}  // namespace orvane::app
