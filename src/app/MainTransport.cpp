// The transport: play, pause, stop, return to zero, the slider and timeline clicks, audition,
// what the player reports, and loop mode with its markers and bar snapping.

#include <algorithm>
#include <cmath>

#include "app/AppLog.h"
#include "app/MainViewController.h"
#include "support/TextFormat.h"

namespace orvane::app {

namespace {

using playback::MIDIPlayerController;

std::string timeText(double seconds) { return MIDIPlayerController::formatTime(seconds); }

}  // namespace

void MainViewController::playAction() {
    if (!midiFile_) return;
    const PlaybackRequest request = requestFromSelection();
    if (isPlayerPlaying()) {
        stopAction();
        return;
    }
    reconcileMixerUIToMIDIModel("main-playback-before-build");
    if (transportState_.kind == TransportState::Kind::paused && shouldResumePlayback(request)) {
        if (loopModeEnabled_) movePlaybackToLoopStart(false);
        const std::string label = transportState_.label;
        player_->resume();
        appLog("Resumed paused playback for " + label);
        transportState_ = TransportState::playing(label);
        refreshAfterTransportChange();
        return;
    }
    double start = transportState_.kind == TransportState::Kind::paused ? transportState_.position : 0;
    if (loopModeEnabled_) start = loopDuration(std::nullopt) * loopStartFraction_;
    auto data = buildPlaybackDataFromEffectiveStart(request, start, "main-playback-fresh-build");
    if (!data) return;
    recordLoadedPlaybackRequest(request);
    setTransportPosition(start, std::nullopt);
    playCurrentPlaybackData(*data, request.mode(), start);
    syncLoopRangeToPlayer(std::nullopt);
    appLog("Started playback: " + data->label);
    transportState_ = TransportState::playing(data->label);
    refreshAfterTransportChange();
}

void MainViewController::pauseAction() {
    if (isPlayerPlaying()) {
        std::string label = transportState_.kind == TransportState::Kind::playing ? transportState_.label
                                                                                   : view_.transport.label;
        if (transportState_.kind != TransportState::Kind::playing && label.starts_with("Playing: ")) {
            label.erase(0, std::string_view("Playing: ").size());
        }
        const double position = player_->player()->currentPosition() + std::max(playbackTimelineOffset_, 0.0);
        transportState_ = TransportState::paused(label, position);
        player_->pause();
        appLog("Paused playback: " + label);
        refreshAfterTransportChange();
        return;
    }
    if (transportState_.kind == TransportState::Kind::paused) playAction();
}

void MainViewController::stopAction() {
    transportState_ = TransportState::idle();
    playbackTimelineOffset_ = 0;
    loadedStreamIsLoopSection_ = false;
    player_->stop();
    view_.transport.sliderValue = 0;
    view_.transport.currentTime = "0:00";
    view_.playhead = 0;
    publish(playheadSection);
    refreshAfterTransportChange();
    resetMeters();
}

void MainViewController::rtzAction() {
    if (transportState_.kind == TransportState::Kind::paused) transportState_.position = 0;
    if (player_->player() != nullptr) seekTo(0, "return-to-zero");
    view_.transport.sliderValue = 0;
    view_.transport.currentTime = "0:00";
    view_.playhead = 0;
    publish(transportSection | playheadSection);
}

void MainViewController::seekTo(double position, std::string_view reason) {
    if (reloadRebasedPlaybackForSeekIfNeeded(position, reason)) return;
    player_->seek(playbackTimelineOffset_ > 0 ? std::max(position - playbackTimelineOffset_, 0.0) : position);
}

void MainViewController::sliderMoved(double seconds) {
    const double position = std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
    appLog("Moved transport slider to " + timeText(position));
    view_.transport.sliderValue = position;
    view_.transport.currentTime = timeText(position);
    publish(transportSection);
    if (player_->player() != nullptr) seekTo(position, "transport-slider");
    if (transportState_.kind == TransportState::Kind::paused) transportState_.position = position;
    const double length = loopDuration(std::nullopt);
    view_.playhead = length > 0 ? position / length : 0;
    publish(playheadSection);
}

void MainViewController::timelineClicked(double seconds) {
    appLog("Clicked timeline at " + timeText(seconds));
    const double position = std::clamp(std::isfinite(seconds) ? seconds : 0.0, 0.0,
                                       std::max(view_.timeline.songDuration, 0.0));
    if (player_->player() != nullptr) seekTo(position, "timeline-click");
    if (transportState_.kind == TransportState::Kind::paused) transportState_.position = position;
    setTransportPosition(position, std::nullopt);
}

bool MainViewController::reloadRebasedPlaybackForSeekIfNeeded(double target, std::string_view reason) {
    // A stream that begins later in the song cannot reach earlier positions: build one that
    // begins at the target. A loop section is only ever seeked within.
    if (loadedStreamIsLoopSection_ || !(playbackTimelineOffset_ > 0) || player_->player() == nullptr) return false;
    const PlaybackRequest request = lastLoadedPlaybackRequest_.value_or(requestFromSelection());
    const bool wasPlaying = isPlayerPlaying();
    auto data = buildPlaybackDataFromEffectiveStart(request, target, reason);
    if (!data) return false;
    recordLoadedPlaybackRequest(request);
    setTransportPosition(target, std::nullopt);
    if (wasPlaying) {
        appLog("STATE-PLAYBACK-REBASE[SEEK] reason=" + std::string(reason) +
               formatString(" status=play position=%.3f", target));
        playCurrentPlaybackData(*data, request.mode(), target);
        transportState_ = TransportState::playing(data->label);
    } else {
        appLog("STATE-PLAYBACK-REBASE[SEEK] reason=" + std::string(reason) +
               formatString(" status=pause position=%.3f", target));
        prepareCurrentPlaybackDataPaused(*data, request.mode(), target);
        if (transportState_.kind == TransportState::Kind::paused) {
            transportState_ = TransportState::paused(data->label, target);
        }
    }
    refreshAfterTransportChange();
    return true;
}

void MainViewController::auditionButtonPressed(int row) {
    appLog("Clicked audition button for track row " + std::to_string(row + 1));
    const playback::PlaybackMode mode = player_->currentMode();
    if (isPlayerPlaying() && mode.kind == playback::PlaybackMode::Kind::audition && mode.row == row) {
        stopAction();
        return;
    }
    if (!midiFile_ || row < 0 || static_cast<std::size_t>(row) >= midiFile_->musicalTracks().size()) {
        appLog("Audition requested for missing MIDI row " + std::to_string(row + 1));
        return;
    }
    const PlaybackRequest request = PlaybackRequest::audition(row);
    const double start = loopModeEnabled_ ? loopDuration(std::nullopt) * loopStartFraction_ : 0;
    auto data = buildPlaybackDataFromEffectiveStart(request, start, "audition-playback");
    if (!data) return;
    setTransportPosition(start, std::nullopt);
    recordLoadedPlaybackRequest(request);
    playCurrentPlaybackData(*data, request.mode(), start);
    syncLoopRangeToPlayer(std::nullopt);
    appLog("Started audition playback for " + data->label);
    transportState_ = TransportState::playing(data->label);
    refreshAfterTransportChange();
}

void MainViewController::refreshAfterTransportChange() {
    updateTransportUI();
    updateBottomControlsEnabled();
}

// ---- What the player reports ---------------------------------------------------------------

void MainViewController::handleProgress(double position, double duration) {
    const double songPosition = position + std::max(playbackTimelineOffset_, 0.0);
    const double length = loopDuration(duration);
    TransportViewState& transport = view_.transport;
    transport.sliderMaximum = length > 0 ? length : 1.0;
    transport.sliderValue = songPosition;
    transport.currentTime = timeText(songPosition);
    transport.totalTime = timeText(length);
    view_.playhead = length > 0 ? songPosition / length : 0;
    publish(transportSection | playheadSection);
    if (loopModeEnabled_) syncLoopRangeToPlayer(duration);
    updateMeters(songPosition);
}

void MainViewController::handleNaturalEnd() {
    view_.transport.sliderValue = 0;
    view_.transport.currentTime = "0:00";
    view_.playhead = 0;
    publish(playheadSection);
    transportState_ = TransportState::idle();
    playbackTimelineOffset_ = 0;
    loadedStreamIsLoopSection_ = false;
    refreshAfterTransportChange();
    resetMeters();
}

void MainViewController::handlePaused(double position, double duration) {
    const double length = loopDuration(duration);
    const double songPosition = position + std::max(playbackTimelineOffset_, 0.0);
    appLog("Player paused at " + timeText(songPosition) + " of " + timeText(length));
    view_.transport.sliderMaximum = length > 0 ? length : 1.0;
    view_.transport.sliderValue = songPosition;
    view_.transport.currentTime = timeText(songPosition);
    view_.transport.totalTime = timeText(length);
    refreshAfterTransportChange();
    resetMeters();
}

void MainViewController::handleStopped(double, double duration) {
    const double length = loopDuration(duration);
    appLog("Player stopped; duration was " + timeText(duration));
    view_.transport.sliderMaximum = length > 0 ? length : 1.0;
    view_.transport.sliderValue = 0;
    view_.transport.currentTime = "0:00";
    view_.transport.totalTime = timeText(length);
    view_.playhead = 0;
    publish(playheadSection);
    playbackTimelineOffset_ = 0;
    refreshAfterTransportChange();
    resetMeters();
}

void MainViewController::setTransportPosition(double position, std::optional<double> duration) {
    const double length = loopDuration(duration);
    view_.transport.sliderValue = position;
    view_.transport.currentTime = timeText(position);
    view_.playhead = length > 0 ? position / length : 0;
    publish(transportSection | playheadSection);
}

// ---- Loop mode -------------------------------------------------------------------------------

void MainViewController::loopAction(bool on) {
    if (!midiFile_) return;
    const bool wasOn = loopModeEnabled_;
    loopModeEnabled_ = on;
    if (on) {
        const double length = loopDuration(std::nullopt);
        if (length > 0) {
            const double sectionLength = std::min(length, 30.0);
            const double margin = std::max((length - sectionLength) / 2, 0.0);
            setLoopFractions(margin / length, std::min(sectionLength + margin, length) / length);
        } else {
            setLoopFractions(0, 1);
        }
    }
    updateLoopOverlay();
    syncLoopRangeToPlayer(std::nullopt);
    const bool streamLoaded = transportState_.kind != TransportState::Kind::idle && player_->player() != nullptr;
    if (on && !wasOn && streamLoaded && !loadedStreamIsLoopSection_) {
        // The loaded stream is the song or a slice of it: the loop is a stream of its own.
        reloadLoopPlaybackFromStartIfNeeded();
    } else if (on) {
        movePlaybackToLoopStart(false);
    } else if (wasOn && streamLoaded && loadedStreamIsLoopSection_) {
        // Back to the whole song at the position the loop had reached.
        reloadPlaybackAfterUserPlaybackSettingChangeIfNeeded("loop-off", currentTransportTimelinePosition());
    }
    updateExportUI();
    updateTransportUI();
    updateBottomControlsEnabled();
}

void MainViewController::setLoopFractions(double start, double end) {
    loopStartFraction_ = start;
    loopEndFraction_ = end;
}

void MainViewController::updateLoopOverlay() {
    view_.timeline.loopEnabled = loopModeEnabled_;
    view_.timeline.loopStart = loopStartFraction_;
    view_.timeline.loopEnd = loopEndFraction_;
    view_.transport.loopOn = loopModeEnabled_;
    publish(timelineSection | transportSection);
}

void MainViewController::syncLoopRangeToPlayer(std::optional<double> duration) {
    const double length = loopDuration(duration);
    const double start = length > 0 ? length * loopStartFraction_ : 0;
    const double end = length > 0 ? length * loopEndFraction_ : 0;
    if (loopModeEnabled_ && loadedStreamIsLoopSection_) {
        player_->setLoop(true, 0, std::max(end - start, 0.001));
    } else {
        player_->setLoop(loopModeEnabled_, start, end);
    }
}

void MainViewController::movePlaybackToLoopStart(bool force) {
    const playback::MIDIFilePlayer* player = player_->player();
    if (!loopModeEnabled_ || player == nullptr) return;
    const double length = loopDuration(std::nullopt);
    const double start = length * loopStartFraction_;
    const double end = length * loopEndFraction_;
    if (!(length > 0) || !(start < end)) return;
    const double position = player->currentPosition() + std::max(playbackTimelineOffset_, 0.0);
    if (!force && start <= position && position <= end) return;
    syncLoopRangeToPlayer(std::nullopt);
    player_->seek(std::max(start - std::max(playbackTimelineOffset_, 0.0), 0.0));
    if (transportState_.kind == TransportState::Kind::paused) transportState_.position = start;
}

void MainViewController::loopMarkerDragged(LoopMarker marker, double fraction) {
    const double length = loopDuration(std::nullopt);
    const double gap = length > 0 ? std::min(std::max(0.25 / length, 0.01), 0.02) : 0.01;
    const double value = std::isfinite(fraction) ? fraction : 0;
    if (marker == LoopMarker::start) {
        loopStartFraction_ = std::max(std::min(value, loopEndFraction_ - gap), 0.0);
    } else {
        loopEndFraction_ = std::min(std::max(value, loopStartFraction_ + gap), 1.0);
    }
    loopRangeChangedDuringDrag_ = true;
    updateLoopOverlay();
    appLog(formatString(marker == LoopMarker::start ? "Moved start loop marker; range %.3f-%.3f"
                                                    : "Moved end loop marker; range %.3f-%.3f",
                        length * loopStartFraction_, length * loopEndFraction_));
    syncLoopRangeToPlayer(std::nullopt);
    movePlaybackToLoopStart(false);
}

void MainViewController::loopMarkerReleased() {
    if (!loopRangeChangedDuringDrag_) return;
    loopRangeChangedDuringDrag_ = false;
    // The loaded loop section was cut for the old range.
    if (loadedStreamIsLoopSection_) reloadLoopPlaybackFromStartIfNeeded();
}

std::optional<std::pair<double, double>> MainViewController::snapCurrentLoopRangeToBars(std::optional<double> duration) {
    if (!midiFile_) return std::nullopt;
    const midi::MIDIFile& song = *midiFile_;
    const double length = loopDuration(duration);
    if (!(length > 0)) return std::nullopt;
    const double unsnappedStart = length * loopStartFraction_;
    const double unsnappedEnd = length * loopEndFraction_;
    double start = 0;
    double end = 0;
    if (song.isSMPTE) {
        start = std::max(std::min(unsnappedStart, length), 0.0);
        end = std::max(start + 0.05, std::min(unsnappedEnd, length));
    } else {
        const std::uint64_t quarter = std::max<std::uint64_t>(song.timeDivision, 1);
        const std::uint64_t quartersPerBar = static_cast<std::uint64_t>(
            std::max(1, (song.timeSignatureNumerator * 4) / std::max(song.timeSignatureDenominator, 1)));
        const std::uint64_t bar = std::max(quarter * quartersPerBar, quarter);
        const std::uint64_t songEnd = song.secondsToTicks(length, std::nullopt, overrideBPM_);
        std::uint64_t startTick = song.secondsToTicks(unsnappedStart, std::nullopt, overrideBPM_);
        std::uint64_t endTick = song.secondsToTicks(unsnappedEnd, std::nullopt, overrideBPM_);
        if (startTick > endTick) std::swap(startTick, endTick);
        const auto nearestBar = [&](std::uint64_t tick) { return std::min((tick + bar / 2) / bar * bar, songEnd); };
        startTick = nearestBar(startTick);
        endTick = nearestBar(endTick);
        // A start rounded onto the song's end leaves nothing to loop: take the bar before.
        if (startTick >= songEnd && songEnd > 0) startTick = startTick >= bar ? startTick - bar : 0;
        if (endTick <= startTick) endTick = std::min(startTick + bar, songEnd);
        if (endTick <= startTick) endTick = startTick + 1;
        const auto seconds = [&](std::uint64_t tick) {
            const auto clampedTick = static_cast<std::uint32_t>(std::min<std::uint64_t>(tick, UINT32_MAX));
            return std::clamp(song.ticksToSeconds(clampedTick, overrideBPM_), 0.0, length);
        };
        start = seconds(startTick);
        end = seconds(endTick);
        // Still empty (a song shorter than a tick): keep the markers where the user put them.
        if (!(start < end) && unsnappedStart < unsnappedEnd) {
            start = unsnappedStart;
            end = unsnappedEnd;
        }
    }
    const double startFraction = std::clamp(start / length, 0.0, 1.0);
    const double endFraction = std::clamp(end / length, 0.0, 1.0);
    const bool changed = startFraction != loopStartFraction_ || endFraction != loopEndFraction_;
    setLoopFractions(startFraction, endFraction);
    if (changed && loadedStreamIsLoopSection_) reloadLoopPlaybackFromStartIfNeeded();
    return std::pair{start, end};
}

// ---- Mixer meters ----------------------------------------------------------------------------

void MainViewController::updateMeters(double songTime) {
    if (!mixerPanel_ || !midiFile_) return;
    std::set<int> rows;
    if (loopPreviewMeterRows_) {
        rows = *loopPreviewMeterRows_;
    } else if (isPlayerPlaying()) {
        const playback::PlaybackMode mode = player_->currentMode();
        switch (mode.kind) {
            case playback::PlaybackMode::Kind::audition: rows.insert(mode.row); break;
            case playback::PlaybackMode::Kind::fullSong:
                for (std::size_t row = 0; row < trackRows_.size(); ++row) rows.insert(static_cast<int>(row));
                break;
            case playback::PlaybackMode::Kind::selectedTracks:
                if (lastLoadedPlaybackRequest_ && lastLoadedPlaybackRequest_->kind == PlaybackRequest::Kind::selectedTracks) {
                    rows.insert(lastLoadedPlaybackRequest_->rows.begin(), lastLoadedPlaybackRequest_->rows.end());
                } else {
                    rows = tickedRows();
                }
                break;
            case playback::PlaybackMode::Kind::none: break;
        }
    }
    if (mixerActivityTracks_.size() != midiFile_->musicalTracks().size()) rebuildMixerActivityTracks();
    mixerPanel_->updateMeterLevels(activityLevels(*midiFile_, mixerActivityTracks_, rows, songTime), runLoop_.now());
}

void MainViewController::resetMeters() {
    if (mixerPanel_) mixerPanel_->resetMeters();
}

}  // namespace orvane::app
