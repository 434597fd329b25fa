// The song's tracks, the cached list of musical tracks, and the model's diagnostics.

#include "midi/model/MIDIFile.h"

#include <algorithm>
#include <string>

#include "support/Diagnostics.h"

namespace orvane::midi {

std::vector<MIDITrack> MusicalTrackList::copies() const {
    std::vector<MIDITrack> result;
    result.reserve(size());
    for (const MIDITrack& track : *this) result.push_back(track);
    return result;
}

std::span<const MIDITrack> MusicalTrackList::asSpan(std::vector<MIDITrack>& storage) const {
    if (empty()) return {};
    const auto first = static_cast<std::size_t>(indices_->front());
    for (std::size_t row = 0; row < size(); ++row) {
        if (static_cast<std::size_t>((*indices_)[row]) != first + row) {
            storage = copies();
            return storage;
        }
    }
    return std::span<const MIDITrack>(*tracks_).subspan(first, size());
}

std::vector<MIDITrack>& MIDIFile::mutableTracks() noexcept {
    clearMusicalTrackCaches();
    return tracks_;
}

void MIDIFile::setTracks(std::vector<MIDITrack> tracks) {
    tracks_ = std::move(tracks);
    clearMusicalTrackCaches();
}

MusicalTrackList MIDIFile::musicalTracks() const {
    rebuildMusicalTrackCachesIfNeeded();
    return MusicalTrackList(tracks_, *musicalTrackSourceIndicesCache_);
}

const std::vector<int>& MIDIFile::musicalTrackSourceIndices() const {
    rebuildMusicalTrackCachesIfNeeded();
    return *musicalTrackSourceIndicesCache_;
}

void MIDIFile::rebuildMusicalTrackCachesIfNeeded() const {
    if (musicalTrackSourceIndicesCache_) return;
    std::vector<int> indices;
    for (std::size_t i = 0; i < tracks_.size(); ++i) {
        const auto& events = tracks_[i].events;
        if (std::any_of(events.begin(), events.end(), [](const MIDIEvent& event) { return event.isNoteOn(); })) {
            indices.push_back(static_cast<int>(i));
        }
    }
    musicalTrackSourceIndicesCache_ = std::move(indices);
}

void MIDIFile::logMIDIDiagnostic(std::string_view message, std::string_view function) {
    if (!BetaDiagnostics::shared().isEchoing()) return;
    std::string source = "MIDIFile.";
    source.append(function);
    logDiagnostic(source, message);
}

}  // namespace orvane::midi
