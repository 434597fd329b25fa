#include "app/PlaybackRequest.h"

#include "midi/export/TrackExport.h"

namespace orvane::app {

std::string PlaybackRequest::description() const {
    switch (kind) {
        case Kind::fullSong: return "fullSong";
        case Kind::audition: return "audition(row: " + std::to_string(row) + ")";
        case Kind::selectedTracks: {
            std::string text = "selectedTracks(rows: [";
            for (std::size_t i = 0; i < rows.size(); ++i) {
                if (i > 0) text += ", ";
                text += std::to_string(rows[i]);
            }
            return text + "])";
        }
    }
    return "fullSong";
}

playback::PlaybackMode PlaybackRequest::mode() const {
    switch (kind) {
        case Kind::fullSong: return playback::PlaybackMode::fullSong();
        case Kind::selectedTracks: return playback::PlaybackMode::selectedTracks();
        case Kind::audition: return playback::PlaybackMode::audition(row);
    }
    return playback::PlaybackMode::fullSong();
}

PlaybackRequest requestFromSelection(const std::set<int>& tickedRows, std::size_t rowCount) {
    if (tickedRows.empty() || tickedRows.size() == rowCount) return PlaybackRequest::fullSong();
    return PlaybackRequest::selectedTracks(std::vector<int>(tickedRows.begin(), tickedRows.end()));
}

std::vector<int> playbackRows(const PlaybackRequest& request, std::size_t musicalTrackCount) {
    const auto exists = [&](int row) { return row >= 0 && static_cast<std::size_t>(row) < musicalTrackCount; };
    std::vector<int> rows;
    switch (request.kind) {
        case PlaybackRequest::Kind::fullSong:
            for (std::size_t row = 0; row < musicalTrackCount; ++row) rows.push_back(static_cast<int>(row));
            break;
        case PlaybackRequest::Kind::selectedTracks:
            for (const int row : request.rows) {
                if (exists(row)) rows.push_back(row);
            }
            break;
        case PlaybackRequest::Kind::audition:
            if (exists(request.row)) rows.push_back(request.row);
            break;
    }
    return rows;
}

std::optional<midi::Bytes> buildPlaybackStream(const midi::MIDIFile& song, const PlaybackRequest& request,
                                               int transpose, std::optional<double> newBPM) {
    const std::vector<int> rows = playbackRows(request, song.musicalTracks().size());
    if (rows.empty()) return std::nullopt;
    switch (request.kind) {
        case PlaybackRequest::Kind::fullSong: return midi::buildFormat1PlaybackMIDI(song, transpose, newBPM);
        case PlaybackRequest::Kind::selectedTracks:
            return midi::buildSelectedTracksMIDI(song, std::set<int>(rows.begin(), rows.end()), transpose, newBPM);
        case PlaybackRequest::Kind::audition:
            return midi::buildSingleTrackPlaybackMIDI(song, request.row, transpose, newBPM);
    }
    return std::nullopt;
}

}  // namespace orvane::app
