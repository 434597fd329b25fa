// A track's identity (channel, instrument, single drum key) and its initial mixer values,
// derived from its events.

#include <algorithm>
#include <cmath>

#include "midi/model/MIDIFile.h"
#include "midi/model/TrackSurvey.h"

namespace orvane::midi {

std::uint8_t TrackSurvey::averageNoteVelocity(std::uint8_t defaultValue) const noexcept {
    if (noteOnCount_ == 0) return defaultValue;
    const double mean = std::round(static_cast<double>(velocitySum_) / static_cast<double>(noteOnCount_));
    return static_cast<std::uint8_t>(std::clamp(mean, 1.0, 127.0));
}

void MIDIFile::updateTrackIdentityFromEvents(MIDITrack& track) { TrackSurvey::of(track.events).applyIdentity(track); }

void MIDIFile::setInitialMixerValues(MIDITrack& track) { TrackSurvey::of(track.events).applyInitialMixerValues(track); }

std::uint8_t MIDIFile::controllerValue(std::uint8_t controller, std::span<const MIDIEvent> events,
                                       std::uint8_t defaultValue) {
    for (const MIDIEvent& event : events) {
        if (const auto value = controlChangeValue(event); value && event[1] == controller) return *value;
    }
    return defaultValue;
}

std::uint8_t MIDIFile::averageNoteVelocity(std::span<const MIDIEvent> events, std::uint8_t defaultValue) {
    return TrackSurvey::of(events).averageNoteVelocity(defaultValue);
}

}  // namespace orvane::midi
