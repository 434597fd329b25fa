#pragma once
// The rows of the track table and what each cell shows, without a toolkit.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/ViewTypes.h"
#include "midi/model/MIDIFile.h"

namespace orvane::app {

// One row of the track table: one musical track.
struct TrackRow {
    int index = 0;             // 1-based position among the musical tracks ("#")
    std::string name;          // editable
    std::string channel;       // "1"..."16", or "—" without a channel
    std::string instrument;    // "Acoustic Grand Piano", "Drums - Standard Kit", ...
    std::size_t events = 0;
    bool selected = false;     // the export checkbox
    int paletteIdx = 0;        // position modulo 8
    bool wasManuallyRenamed = false;
    friend bool operator==(const TrackRow&, const TrackRow&) = default;
};

// The row of the musical track at position (0-based).
[[nodiscard]] TrackRow makeTrackRow(const midi::MIDITrack& track, std::size_t position);
// "—" for a negative channel, else channel + 1.
[[nodiscard]] std::string channelText(int channel);
// The instrument column: "Drums - <sound>" or "Drums - <kit>" on channel 10, else the
// General MIDI instrument name.
[[nodiscard]] std::string instrumentText(const midi::MIDITrack& track);

enum class TrackColumn { dot, check, num, name, channel, instrument, events, audition };

struct TrackColumnSpec {
    TrackColumn column;
    std::string_view identifier;
    std::string_view title;
    int width;
};
inline constexpr std::array<TrackColumnSpec, 8> trackColumns{{
    {TrackColumn::dot, "dot", "", 18},
    {TrackColumn::check, "check", "√", 28},
    {TrackColumn::num, "num", "#", 28},
    {TrackColumn::name, "name", "Track Name", 140},
    {TrackColumn::channel, "channel", "Ch", 36},
    {TrackColumn::instrument, "instrument", "Instrument", 160},
    {TrackColumn::events, "events", "Events", 52},
    {TrackColumn::audition, "audition", "▶", 72},
}};
inline constexpr int trackRowHeight = 24;

// The text of a text cell (num, name, channel, instrument, events); empty for the others.
[[nodiscard]] std::string cellText(const TrackRow& row, TrackColumn column);
// Texts of a row are in the accent colour while its export checkbox is set.
[[nodiscard]] ColorRole rowTextColor(const TrackRow& row) noexcept;

struct AuditionButtonLook {
    std::string title;       // "▶", or "■" while this row is auditioned
    bool red = false;
    bool indicatorPlaying = false;
    friend bool operator==(const AuditionButtonLook&, const AuditionButtonLook&) = default;
};
// auditionedRow: the row being auditioned while the player plays, if any.
[[nodiscard]] AuditionButtonLook auditionButtonLook(int row, std::optional<int> auditionedRow);

}  // namespace orvane::app
