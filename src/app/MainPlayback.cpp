// What the main window plays and the byte stream for it: from the song start, from a later
// position (a stream that begins there, with the state in force there: rebasing), or the loop
// section alone; and the reloads after edits, so that a change is heard at once.

#include <algorithm>
#include <cmath>

#include "app/AppLog.h"
#include "app/MainViewController.h"
#include "midi/export/LoopExport.h"
#include "midi/export/TrackExport.h"
#include "support/TextFormat.h"

namespace orvane::app {

namespace {

constexpr double rebaseThreshold = 0.001;

std::string rowList(const std::vector<int>& rows) {
    std::string text = "[";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(rows[i]);
    }
    return text + "]";
}

}  // namespace

double MainViewController::loopDuration(std::optional<double> fallback) const {
    if (view_.timeline.songDuration > 0) return view_.timeline.songDuration;
    if (fallback && *fallback > 0) return *fallback;
    if (view_.transport.sliderMaximum > 0) return view_.transport.sliderMaximum;
    return std::max(player_->duration(), 0.0);
}

double MainViewController::currentTransportTimelinePosition() const {
    if (const playback::MIDIFilePlayer* player = player_->player()) {
        return player->currentPosition() + std::max(playbackTimelineOffset_, 0.0);
    }
    if (transportState_.kind == TransportState::Kind::paused) return transportState_.position;
    return view_.transport.sliderValue;
}

std::set<int> MainViewController::tickedRows() const {
    std::set<int> rows;
    for (std::size_t i = 0; i < trackRows_.size(); ++i) {
        if (trackRows_[i].selected) rows.insert(static_cast<int>(i));
    }
    return rows;
}

PlaybackRequest MainViewController::requestFromSelection() const {
    return app::requestFromSelection(tickedRows(), trackRows_.size());
}

std::vector<int> MainViewController::playbackRowsFor(const PlaybackRequest& request) const {
    return midiFile_ ? playbackRows(request, midiFile_->musicalTracks().size()) : std::vector<int>{};
}

std::span<const midi::MIDITrack> MainViewController::tracksOfRows(const std::vector<int>& rows,
                                                                std::vector<midi::MIDITrack>& storage) const {
    // Rows whose tracks follow one another in the song are handed over as they are; only
    // scattered rows are copied together.
    const std::vector<int>& indices = midiFile_->musicalTrackSourceIndices();
    bool adjacent = !rows.empty();
    for (std::size_t i = 1; i < rows.size() && adjacent; ++i) {
        adjacent = indices[static_cast<std::size_t>(rows[i])] == indices[static_cast<std::size_t>(rows[0])] + static_cast<int>(i);
    }
    if (adjacent) {
        return std::span(midiFile_->tracks()).subspan(static_cast<std::size_t>(indices[static_cast<std::size_t>(rows[0])]),
                                                      rows.size());
    }
    storage.clear();
    storage.reserve(rows.size());
    for (const int row : rows) storage.push_back(midiFile_->tracks()[static_cast<std::size_t>(indices[static_cast<std::size_t>(row)])]);
    return storage;
}

std::string MainViewController::currentLabel(const PlaybackRequest& request) const {
    const auto nameOf = [&](int row) {
        return static_cast<std::size_t>(row) < trackRows_.size() ? trackRows_[static_cast<std::size_t>(row)].name
                                                                 : std::string();
    };
    switch (request.kind) {
        case PlaybackRequest::Kind::fullSong: return currentSongDisplayName();
        case PlaybackRequest::Kind::audition: {
            const auto rows = playbackRowsFor(request);
            return rows.empty() ? std::string() : nameOf(rows.front());
        }
        case PlaybackRequest::Kind::selectedTracks: {
            std::string label;
            for (const int row : playbackRowsFor(request)) {
                if (!label.empty()) label += ", ";
                label += nameOf(row);
            }
            return label;
        }
    }
    return {};
}

std::optional<MainViewController::PlaybackData> MainViewController::buildPlaybackData(const PlaybackRequest& request) {
    if (!midiFile_) return std::nullopt;
    const midi::MIDIFile& song = *midiFile_;
    const std::vector<int> rows = playbackRowsFor(request);
    if (loopModeEnabled_) {
        const double length = loopDuration(std::nullopt);
        if (length <= 0) return std::nullopt;
        const double start = length * loopStartFraction_;
        const double end = length * loopEndFraction_;
        if (!(start < end) || rows.empty()) return std::nullopt;
        appLog(formatString("Build rebased main loop playback MIDI: range %.3f-%.3f, tracks %zu", start, end,
                            rows.size()));
        std::vector<midi::MIDITrack> storage;
        return PlaybackData{midi::buildLoopPreviewMIDI(song, tracksOfRows(rows, storage), start, end, transposeOffset_,
                                                       overrideBPM_, true),
                            currentLabel(request), start, true};
    }
    switch (request.kind) {
        case PlaybackRequest::Kind::selectedTracks: {
            if (rows.empty()) return std::nullopt;
            appLog("Build selected-track playback MIDI for rows " + rowList(request.rows));
            break;
        }
        case PlaybackRequest::Kind::fullSong: {
            fullSongMIDIData_ = midi::buildFormat1PlaybackMIDI(song, transposeOffset_, overrideBPM_);
            return PlaybackData{*fullSongMIDIData_, currentSongDisplayName(), 0, false};
        }
        case PlaybackRequest::Kind::audition: {
            if (rows.empty()) return std::nullopt;
            appLog("Build audition playback MIDI for row " + std::to_string(request.row + 1));
            break;
        }
    }
    auto bytes = buildPlaybackStream(song, request, transposeOffset_, overrideBPM_);
    if (!bytes) return std::nullopt;
    return PlaybackData{std::move(*bytes), currentLabel(request), 0, false};
}

std::optional<MainViewController::PlaybackData> MainViewController::buildPlaybackDataFromEffectiveStart(
    const PlaybackRequest& request, double startSeconds, std::string_view reason) {
    if (!midiFile_) return std::nullopt;
    if (loopModeEnabled_) return buildPlaybackData(request);
    const double length = loopDuration(std::nullopt);
    double start = std::isfinite(startSeconds) ? startSeconds : 0;
    start = std::clamp(start, 0.0, length > 0 ? length : std::max(start, 0.0));
    if (start > rebaseThreshold) {
        const std::vector<int> rows = playbackRowsFor(request);
        if (rows.empty()) return std::nullopt;
        appLog("STATE-PLAYBACK-REBASE[START-STATE] reason=" + std::string(reason) +
               formatString(" status=build start=%.3f", start) + " request=" + request.description() +
               " tracks=" + std::to_string(rows.size()));
        std::vector<midi::MIDITrack> storage;
        return PlaybackData{midi::buildPlaybackSliceMIDI(*midiFile_, tracksOfRows(rows, storage), start,
                                                         transposeOffset_, overrideBPM_),
                            currentLabel(request), start, false};
    }
    auto data = buildPlaybackData(request);
    if (data) {
        appLog("STATE-PLAYBACK-REBASE[START-STATE] reason=" + std::string(reason) +
               formatString(" status=not-needed start=%.3f", start));
    }
    return data;
}

void MainViewController::playCurrentPlaybackData(const PlaybackData& data, playback::PlaybackMode mode, double from) {
    loadStream(data, mode, from, true);
}

void MainViewController::prepareCurrentPlaybackDataPaused(const PlaybackData& data, playback::PlaybackMode mode,
                                                          double at) {
    loadStream(data, mode, at, false);
}

// Hands a stream to the player at a song position: a stream that begins later in the song is
// entered at the position less its start, and a loop section always loops as a whole.
void MainViewController::loadStream(const PlaybackData& data, playback::PlaybackMode mode, double songPosition,
                                    bool startPlaying) {
    loadedStreamIsLoopSection_ = data.isLoopSection;
    if (!data.isLoopSection) {
        playbackTimelineOffset_ = std::max(data.timelineOffset, 0.0);
        const double position =
            playbackTimelineOffset_ > 0 ? std::max(songPosition - playbackTimelineOffset_, 0.0) : songPosition;
        if (startPlaying) {
            player_->play(data.bytes, mode, position);
        } else {
            appLog("mode=" + mode.description() + ", position=" + describeDouble(position));
            player_->playPrepared(data.bytes, mode, position, std::nullopt, false);
        }
        syncLoopRangeToPlayer(std::nullopt);
        return;
    }
    const double length = loopDuration(std::nullopt);
    const double loopStart = length > 0 ? length * loopStartFraction_ : 0;
    const double loopEnd = length > 0 ? length * loopEndFraction_ : 0;
    playbackTimelineOffset_ = loopStart;
    const double section = std::max(loopEnd - loopStart, 0.001);
    double position = loopStart > 0 ? std::max(songPosition - loopStart, 0.0) : songPosition;
    position = std::min(std::max(position, 0.0), section - 0.001);
    appLog("mode=" + mode.description() + (startPlaying ? ", start=" : ", position=") + describeDouble(position) +
           (startPlaying ? ", end=" + describeDouble(section) : std::string()));
    player_->playPrepared(data.bytes, mode, position, playback::PlaybackLoop{0, section}, startPlaying);
}

void MainViewController::recordLoadedPlaybackRequest(const PlaybackRequest& request) {
    lastLoadedPlaybackRequest_ = request;
    lastPlayedTransposeOffset_ = transposeOffset_;
    lastPlayedOverrideBPM_ = overrideBPM_;
    lastPlayedMixerSettingsRevision_ = mixerSettingsRevision_;
}

bool MainViewController::shouldResumePlayback(const PlaybackRequest& request) const {
    const playback::MIDIFilePlayer* player = player_->player();
    return transportState_.kind == TransportState::Kind::paused && player != nullptr && !player->isPlaying() &&
           lastLoadedPlaybackRequest_ == request && lastPlayedTransposeOffset_ == transposeOffset_ &&
           lastPlayedOverrideBPM_ == overrideBPM_ && lastPlayedMixerSettingsRevision_ == mixerSettingsRevision_ &&
           loadedStreamIsLoopSection_ == loopModeEnabled_;
}

bool MainViewController::reloadPlaybackAfterUserPlaybackSettingChangeIfNeeded(std::string_view reason,
                                                                             std::optional<double> positionOverride) {
    if (loopModeEnabled_) return reloadLoopPlaybackFromStartIfNeeded();
    if (transportState_.kind == TransportState::Kind::idle) {
        appLog("STATE-PLAYBACK-REBASE[SETTING] reason=" + std::string(reason) + " status=idle");
        return false;
    }
    const PlaybackRequest request = lastLoadedPlaybackRequest_.value_or(requestFromSelection());
    const double length = loopDuration(std::nullopt);
    double position = positionOverride.value_or(currentTransportTimelinePosition());
    if (length > 0) position = std::clamp(position, 0.0, length);
    auto data = buildPlaybackDataFromEffectiveStart(request, position, reason);
    if (!data) return false;
    recordLoadedPlaybackRequest(request);
    setTransportPosition(position, std::nullopt);
    if (transportState_.kind == TransportState::Kind::paused) {
        appLog("STATE-PLAYBACK-REBASE[SETTING] reason=" + std::string(reason) +
               formatString(" status=pause position=%.3f", position));
        prepareCurrentPlaybackDataPaused(*data, request.mode(), position);
        transportState_ = TransportState::paused(data->label, position);
    } else {
        appLog("STATE-PLAYBACK-REBASE[SETTING] reason=" + std::string(reason) +
               formatString(" status=play position=%.3f", position));
        playCurrentPlaybackData(*data, request.mode(), position);
        transportState_ = TransportState::playing(data->label);
    }
    refreshAfterTransportChange();
    return true;
}

void MainViewController::reloadPlaybackKeepingPosition(const PlaybackRequest& request, std::string_view reason,
                                                       std::string_view logPlaying, std::string_view logPaused) {
    if (transportState_.kind == TransportState::Kind::idle) {
        appLog("STATE-PLAYBACK-REBASE[SETTING] reason=" + std::string(reason) + " status=idle");
        return;
    }
    const bool paused = transportState_.kind == TransportState::Kind::paused;
    const double length = loopDuration(player_->duration());
    double position = 0;
    if (loopModeEnabled_) {
        position = length > 0 ? length * loopStartFraction_ : 0;
        syncLoopRangeToPlayer(std::nullopt);
    } else {
        position = currentTransportTimelinePosition();
        if (length > 0) position = std::clamp(position, 0.0, length);
    }
    auto data = buildPlaybackDataFromEffectiveStart(request, position, reason);
    if (!data) return;
    recordLoadedPlaybackRequest(request);
    setTransportPosition(position, std::nullopt);
    if (paused) {
        appLog(std::string(logPaused) + data->label);
        prepareCurrentPlaybackDataPaused(*data, request.mode(), position);
        transportState_ = TransportState::paused(data->label, position);
    } else {
        appLog(std::string(logPlaying) + data->label);
        playCurrentPlaybackData(*data, request.mode(), position);
        transportState_ = TransportState::playing(data->label);
    }
    refreshAfterTransportChange();
}

void MainViewController::reloadMainPlaybackAfterSelectionChangeIfNeeded() {
    // An audition keeps playing its one track; only a playing or paused selection follows.
    if (lastLoadedPlaybackRequest_ && lastLoadedPlaybackRequest_->kind == PlaybackRequest::Kind::audition) return;
    reloadPlaybackKeepingPosition(requestFromSelection(), "selection-change-reload",
                                  "Reload playback after track selection change: ",
                                  "Reload paused playback after track selection change: ");
}

void MainViewController::reloadPlaybackAfterMixerSettingsChangeIfNeeded() {
    if (loopModeEnabled_) {
        reloadLoopPlaybackFromStartIfNeeded();
        return;
    }
    reloadPlaybackKeepingPosition(lastLoadedPlaybackRequest_.value_or(requestFromSelection()), "mixer-change-reload",
                                  "Reload playback after mixer change: ", "Reload paused playback after mixer change: ");
}

bool MainViewController::reloadLoopPlaybackFromStartIfNeeded() {
    if (!loopModeEnabled_ || !midiFile_) return false;
    const bool playing = transportState_.kind == TransportState::Kind::playing;
    const bool paused = transportState_.kind == TransportState::Kind::paused && player_->player() != nullptr;
    if (!playing && !paused) return false;
    const PlaybackRequest request = lastLoadedPlaybackRequest_.value_or(requestFromSelection());
    auto data = buildPlaybackData(request);
    if (!data) return false;
    recordLoadedPlaybackRequest(request);
    const double length = loopDuration(std::nullopt);
    const double start = length * loopStartFraction_;
    setTransportPosition(start, std::nullopt);
    if (playing) {
        appLog("Reload loop playback and continue playing from " + playback::MIDIPlayerController::formatTime(start));
        playCurrentPlaybackData(*data, request.mode(), start);
        transportState_ = TransportState::playing(data->label);
    } else {
        appLog("Reload loop playback and remain paused at " + playback::MIDIPlayerController::formatTime(start));
        prepareCurrentPlaybackDataPaused(*data, request.mode(), start);
        transportState_ = TransportState::paused(data->label, start);
    }
    syncLoopRangeToPlayer(std::nullopt);
    refreshAfterTransportChange();
    return true;
}

}  // namespace orvane::app
