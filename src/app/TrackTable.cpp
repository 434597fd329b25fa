// The track table's rows and what their cells show.

#include "app/TrackTable.h"

namespace orvane::app {

TrackRow makeTrackRow(const midi::MIDITrack& track, std::size_t position) {
    TrackRow row;
    row.index = static_cast<int>(position + 1);
    row.name = track.name;
    row.channel = channelText(track.channel);
    row.instrument = instrumentText(track);
    row.events = track.events.size();
    row.paletteIdx = paletteIndex(position);
    return row;
}

std::string channelText(int channel) { return channel < 0 ? "—" : std::to_string(channel + 1); }

std::string instrumentText(const midi::MIDITrack& track) {
    return midi::MIDIFile::instrumentName(track.instrument, track.channel, track.drumNote);
}

std::string cellText(const TrackRow& row, TrackColumn column) {
    switch (column) {
        case TrackColumn::num: return std::to_string(row.index);
        case TrackColumn::name: return row.name;
        case TrackColumn::channel: return row.channel;
        case TrackColumn::instrument: return row.instrument;
        case TrackColumn::events: return std::to_string(row.events);
        case TrackColumn::dot:
        case TrackColumn::check:
        case TrackColumn::audition: return {};
    }
    return {};
}

ColorRole rowTextColor(const TrackRow& row) noexcept { return row.selected ? ColorRole::accent : ColorRole::label; }

AuditionButtonLook auditionButtonLook(int row, std::optional<int> auditionedRow) {
    if (auditionedRow == row) return {"■", true, true};
    return {"▶", false, false};
}

}  // namespace orvane::app
