#include "app/LoopExportDialog.h"

#include <algorithm>
#include <cmath>

#include "midi/export/LoopExport.h"
#include "support/Diagnostics.h"
#include "support/TextFormat.h"

namespace orvane::app {
namespace {

constexpr double shortestPreviewSection = 0.05;
constexpr const char* playTitle = "▶";
constexpr const char* stopTitle = "■";
constexpr const char* markerOrderError = "Move the end marker after the start marker.";
constexpr const char* noNotesError = "No MIDI notes are available for preview.";
constexpr const char* repeatCountError = "Enter a repeat count from 1 to 999.";

void logLine(std::string_view message) { BetaDiagnostics::shared().log(message); }

bool hasNoteOn(const midi::MIDITrack& track) {
    return std::any_of(track.events.begin(), track.events.end(),
                       [](const midi::MIDIEvent& event) { return event.isNoteOn(); });
}

// "[1, 3]": the rows as the user counts them.
std::string rowNumbersText(const std::vector<int>& rows) {
    std::string text = "[";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(rows[i] + 1);
    }
    return text + "]";
}

}  // namespace

std::shared_ptr<LoopExportDialog> LoopExportDialog::create(RunLoop& runLoop,
                                                           playback::MIDIFilePlayerFactory makePlayer,
                                                           Settings settings) {
    auto dialog =
        std::shared_ptr<LoopExportDialog>(new LoopExportDialog(runLoop, std::move(makePlayer), std::move(settings)));
    dialog->wirePreviewPlayer();
    return dialog;
}

LoopExportDialog::LoopExportDialog(RunLoop& runLoop, playback::MIDIFilePlayerFactory makePlayer, Settings settings)
    : runLoop_(runLoop),
      settings_(std::move(settings)),
      previewPlayer_(playback::MIDIPlayerController::create(runLoop, std::move(makePlayer))) {
    if (!settings_.midi) settings_.midi = std::make_shared<const midi::MIDIFile>();
    if (!std::isfinite(settings_.songDuration) || settings_.songDuration < 0) settings_.songDuration = 0;
    const midi::MIDIFile& song = *settings_.midi;

    const auto [visibleStart, visibleEnd] =
        loopVisibleRange(settings_.loopStart, settings_.loopEnd, settings_.songDuration);
    state_.visibleStartSeconds = visibleStart;
    state_.visibleEndSeconds = visibleEnd;
    state_.loopStartSeconds = settings_.loopStart;
    state_.loopEndSeconds = settings_.loopEnd;
    state_.songDuration = settings_.songDuration;
    state_.size = loopDialogSize(settings_.previewTracks.size());

    // The window shows only this stretch of time, so the blocks and the boundaries the markers
    // snap to are worked out once.
    std::vector<double> boundaries;
    for (const PreviewTrack& preview : settings_.previewTracks) {
        LoopTimelineLane lane;
        lane.title = preview.title;
        lane.paletteIndex = preview.paletteIndex;
        lane.included = preview.included;
        lane.notes = noteBlocks(song, preview.track, visibleStart, visibleEnd, settings_.newBPM);
        if (preview.included) {
            includedTracks_.push_back(preview.track);
            for (const NoteBlock& block : lane.notes) {
                boundaries.push_back(block.start);
                boundaries.push_back(block.end);
            }
        }
        state_.lanes.push_back(std::move(lane));
    }
    boundaries.push_back(settings_.songDuration);
    for (double& boundary : boundaries) boundary = std::clamp(boundary, 0.0, settings_.songDuration);
    boundaries_ = uniqueSeconds(std::move(boundaries));

    state_.gridCells = gridCells(song, state_.loopStartSeconds, state_.loopEndSeconds, visibleStart, visibleEnd,
                                 settings_.previewTracks.size(), settings_.newBPM);
    updateLabels();
}

LoopExportDialog::~LoopExportDialog() {
    // Quietly: nobody is left to tell.
    previewPlayer_->onProgress = nullptr;
    previewPlayer_->onPaused = nullptr;
    previewPlayer_->onNaturalEnd = nullptr;
    previewPlayer_->reset();
}

void LoopExportDialog::wirePreviewPlayer() {
    std::weak_ptr<LoopExportDialog> weakSelf = weak_from_this();
    previewPlayer_->onProgress = [weakSelf](double position, double) {
        if (auto self = weakSelf.lock()) self->previewProgressed(position);
    };
    previewPlayer_->onPaused = [weakSelf](double position, double) {
        if (auto self = weakSelf.lock()) self->previewPaused(position);
    };
    previewPlayer_->onNaturalEnd = [weakSelf] {
        if (auto self = weakSelf.lock()) self->previewEnded();
    };
}

void LoopExportDialog::show() {
    updateLabels();
    logLine(formatString("Show loop export prompt with editable event-block markers: range %.3f-%.3f, "
                         "blockBoundaries=%zu",
                         state_.loopStartSeconds, state_.loopEndSeconds, boundaries_.size()));
    changed();
}

std::vector<int> LoopExportDialog::includedRows() const {
    std::vector<int> rows;
    for (const PreviewTrack& preview : settings_.previewTracks) {
        if (preview.included) rows.push_back(preview.row);
    }
    return rows;
}

// ---- Preview ---------------------------------------------------------------------------------

void LoopExportDialog::togglePreviewPlayback() {
    if (finished_) return;
    if (isPreviewPlaying_) {
        stopPreview(true);
    } else if (isPreviewPaused_) {
        if (!previewPlayer_->player()) {
            stopPreview(true);
            return;
        }
        logLine("Resume loop export preview at " + describeDouble(previewPlayer_->player()->currentPosition()));
        previewPlayer_->resume();
        isPreviewPlaying_ = true;
        isPreviewPaused_ = false;
        state_.playTitle = stopTitle;
        changed();
    } else {
        startPreview();
    }
}

void LoopExportDialog::pausePreviewPlayback() {
    if (finished_ || !isPreviewPlaying_) return;
    previewPlayer_->pause();  // reports through previewPaused
}

void LoopExportDialog::startPreview() {
    const double start = state_.loopStartSeconds;
    const double end = state_.loopEndSeconds;
    if (!(start < end)) {
        setError(markerOrderError);
        return;
    }
    if (std::none_of(includedTracks_.begin(), includedTracks_.end(), hasNoteOn)) {
        setError(noNotesError);
        return;
    }
    const double buildEnd = std::max(end, start + shortestPreviewSection);
    const midi::Bytes data = midi::buildLoopPreviewMIDI(*settings_.midi, includedTracks_, start, buildEnd,
                                                        settings_.transpose, settings_.newBPM,
                                                        settings_.applyMixerSettings);
    if (data.empty()) {
        setError(noNotesError);
        return;
    }
    logLine("Start loop export preview: rows=" + rowNumbersText(includedRows()) +
            ", tracks=" + std::to_string(includedTracks_.size()) +
            formatString(", range=%.3f-%.3f, bytes=%zu", start, buildEnd, data.size()));
    const double sectionLength = std::max(end - start, shortestPreviewSection);
    previewPlayer_->playPrepared(data, playback::PlaybackMode::selectedTracks(), 0,
                                 playback::PlaybackLoop{0, sectionLength}, true);
    if (!previewPlayer_->player()) return;  // the player refused the stream (it logs why)
    previewPositionOffset_ = start;
    isPreviewPlaying_ = true;
    isPreviewPaused_ = false;
    state_.playTitle = stopTitle;
    changed();
}

void LoopExportDialog::stopPreview(bool resetProgress) {
    logLine(std::string("Stop loop export preview; resetProgress=") + (resetProgress ? "true" : "false"));
    previewPlayer_->reset();
    isPreviewPlaying_ = false;
    isPreviewPaused_ = false;
    state_.playTitle = playTitle;
    if (resetProgress) {
        state_.playbackPositionSeconds.reset();
        state_.timeCounter = preciseTime(0);
    }
    if (onPreviewStopped) onPreviewStopped();
    changed();
}

void LoopExportDialog::previewProgressed(double playerPosition) {
    const double position = std::min(playerPosition + previewPositionOffset_, state_.loopEndSeconds);
    state_.playbackPositionSeconds = position;
    state_.timeCounter = preciseTime(position);
    if (onPreviewProgress) onPreviewProgress(position);
    const playback::MIDIFilePlayer* player = previewPlayer_->player();
    if (!player || !player->isPlaying()) state_.playTitle = playTitle;
    changed();
}

void LoopExportDialog::previewPaused(double playerPosition) {
    logLine("Loop export preview paused at " + describeDouble(playerPosition));
    isPreviewPlaying_ = false;
    isPreviewPaused_ = true;
    state_.playTitle = playTitle;
    changed();
}

void LoopExportDialog::previewEnded() {
    // The section did not start again (the player could not loop it): the preview is over.
    isPreviewPlaying_ = false;
    isPreviewPaused_ = false;
    state_.playTitle = playTitle;
    if (onPreviewStopped) onPreviewStopped();
    changed();
}

// ---- Markers and the repeat count -------------------------------------------------------------

void LoopExportDialog::moveMarker(LoopMarker marker, double seconds) {
    if (finished_) return;
    if (isPreviewPlaying_ || isPreviewPaused_) stopPreview(false);
    const double gap =
        minimumMarkerGapSeconds(boundaries_, state_.visibleEndSeconds - state_.visibleStartSeconds);
    const MarkerSnap snap = markerSnap(marker, seconds, gap, boundaries_, state_.loopStartSeconds,
                                       state_.loopEndSeconds, settings_.songDuration);
    const bool isStart = marker == LoopMarker::start;
    (isStart ? state_.loopStartSeconds : state_.loopEndSeconds) = snap.seconds;
    std::optional<double>& lastLogged = isStart ? lastLoggedStartSnapSeconds_ : lastLoggedEndSnapSeconds_;
    if (lastLogged != snap.seconds) {
        lastLogged = snap.seconds;
        logLine(formatString("Loop export %s marker snapped: requested=%.3f, snapped=%.3f, source=",
                             isStart ? "start" : "end", seconds, snap.seconds) +
                std::string(snap.source) + ", boundaries=" + std::to_string(boundaries_.size()));
    }
    state_.gridCells =
        gridCells(*settings_.midi, state_.loopStartSeconds, state_.loopEndSeconds, state_.visibleStartSeconds,
                  state_.visibleEndSeconds, settings_.previewTracks.size(), settings_.newBPM);
    updateLabels();
    changed();
}

void LoopExportDialog::repeatFieldChanged(std::string_view text) {
    state_.repeatText = std::string(text);
    if (const auto count = parseRepeatCount(text)) {
        state_.repeatStepperValue = *count;
        lastRepeatStepperValue_ = *count;
    }
    changed();
}

void LoopExportDialog::repeatStepperChanged(int value) {
    const int count = std::clamp(value, 1, 999);
    state_.repeatStepperValue = count;
    state_.repeatText = std::to_string(count);
    lastRepeatStepperValue_ = count;
    changed();
}

// ---- Answers -----------------------------------------------------------------------------------

void LoopExportDialog::confirm() {
    if (finished_) return;
    const auto self = shared_from_this();
    stopPreview(true);
    const auto count = parseRepeatCount(state_.repeatText);
    if (!count) {
        setError(repeatCountError);
        return;
    }
    lastRepeatStepperValue_ = *count;
    state_.repeatStepperValue = *count;
    if (!(state_.loopStartSeconds < state_.loopEndSeconds)) {
        setError(markerOrderError);
        return;
    }
    finish(LoopExportOptions{*count, true, state_.loopStartSeconds, state_.loopEndSeconds}, true);
}

void LoopExportDialog::cancel() { finish(std::nullopt, true); }

void LoopExportDialog::close() { finish(std::nullopt, true); }

void LoopExportDialog::windowWillClose() { finish(std::nullopt, false); }

void LoopExportDialog::finish(std::optional<LoopExportOptions> answer, bool askWindowToClose) {
    if (finished_) return;
    finished_ = true;
    const auto self = shared_from_this();  // the answer may drop the opener's reference
    if (auto answerCallback = std::move(onFinish)) {
        onFinish = nullptr;
        answerCallback(answer);
    }
    if (askWindowToClose && onCloseRequested) {
        const auto request = onCloseRequested;
        request();
    }
    stopPreview(true);
}

// ---- State -------------------------------------------------------------------------------------

void LoopExportDialog::updateLabels() {
    state_.startText = preciseTime(state_.loopStartSeconds);
    state_.endText = preciseTime(state_.loopEndSeconds);
    state_.lengthText = preciseTime(state_.loopEndSeconds - state_.loopStartSeconds);
}

void LoopExportDialog::setError(std::string text) {
    state_.errorText = std::move(text);
    changed();
}

void LoopExportDialog::changed() {
    if (onStateChange) onStateChange();
}

}  // namespace orvane::app
