#pragma once
// What the main window plays: the whole song, the ticked tracks or one auditioned track, and
// the byte stream for it from the start of the song. orvane-cli's play and render build their
// streams here too, so they sound exactly as the window does.

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "midi/model/MIDIFile.h"
#include "playback/MIDIPlayerController.h"

namespace orvane::app {

struct PlaybackRequest {
    enum class Kind { selectedTracks, audition, fullSong };
    Kind kind = Kind::fullSong;
    std::vector<int> rows;  // selectedTracks: musical rows, ascending
    int row = 0;            // audition: the auditioned row

    static PlaybackRequest fullSong() { return {}; }
    static PlaybackRequest selectedTracks(std::vector<int> rows) { return {Kind::selectedTracks, std::move(rows), 0}; }
    static PlaybackRequest audition(int row) { return {Kind::audition, {}, row}; }

    // "fullSong", "selectedTracks(rows: [0, 2])", "audition(row: 3)".
    [[nodiscard]] std::string description() const;
    [[nodiscard]] playback::PlaybackMode mode() const;
    friend bool operator==(const PlaybackRequest&, const PlaybackRequest&) = default;
};

// The request of a track selection: none or every row ticked plays the whole song, otherwise
// the ticked rows.
[[nodiscard]] PlaybackRequest requestFromSelection(const std::set<int>& tickedRows, std::size_t rowCount);

// The musical tracks a request plays (rows out of range are skipped), as indices of musical
// rows.
[[nodiscard]] std::vector<int> playbackRows(const PlaybackRequest& request, std::size_t musicalTrackCount);

// The stream of a request from the start of the song (no loop, no rebasing); nothing when the
// request has no tracks.
[[nodiscard]] std::optional<midi::Bytes> buildPlaybackStream(const midi::MIDIFile& song,
                                                             const PlaybackRequest& request, int transpose,
                                                             std::optional<double> newBPM);

}  // namespace orvane::app
