// Undo and redo: a step is replayed through the same path as the edit it records.

#include "app/AppLog.h"
#include "app/MainViewController.h"

namespace orvane::app {

void MainViewController::recordEdit(EditStep step) {
    history_.record(std::move(step));
    updateUndoTitles();
}

void MainViewController::updateUndoTitles() {
    EditControlsState& controls = view_.controls;
    controls.undoTitle = history_.undoTitle();
    controls.redoTitle = history_.redoTitle();
    controls.undoEnabled = history_.canUndo() && !waitingForUser_;
    controls.redoEnabled = history_.canRedo() && !waitingForUser_;
    publish(controlsSection);
}

void MainViewController::undo() {
    if (!midiFile_ || waitingForUser_) return;
    auto step = history_.takeUndo();
    if (!step) return;
    appLog("Undo " + step->name);
    if (!applyEdit(step->edit, true)) {
        history_.restoreUndo(std::move(*step));
    } else {
        history_.restoreRedo(std::move(*step));
    }
    updateUndoTitles();
}

void MainViewController::redo() {
    if (!midiFile_ || waitingForUser_) return;
    auto step = history_.takeRedo();
    if (!step) return;
    appLog("Redo " + step->name);
    if (!applyEdit(step->edit, false)) {
        history_.restoreRedo(std::move(*step));
    } else {
        history_.restoreUndo(std::move(*step));
    }
    updateUndoTitles();
}

bool MainViewController::applyEdit(const SongEdit& edit, bool undoing) {
    if (const auto* tempo = std::get_if<TempoEdit>(&edit)) {
        setOverrideBPM(undoing ? tempo->before : tempo->after, "tempo-change");
    } else if (const auto* transpose = std::get_if<TransposeEdit>(&edit)) {
        setTransposeOffset(undoing ? transpose->before : transpose->after, "pitch-change");
    } else if (const auto* track = std::get_if<TrackEdit>(&edit)) {
        applyTrackState(track->row, undoing ? track->before : track->after, "undo-track-edit");
    } else if (const auto* name = std::get_if<SongNameEdit>(&edit)) {
        setSongName(undoing ? name->before : name->after);
    } else if (const auto* mixer = std::get_if<MixerEdit>(&edit)) {
        if (isPlayerPlaying()) {
            modal_.beep();
            modal_.showPrompt({"Track Mixer changes cannot be used during playback", std::nullopt, std::nullopt, false,
                               "OK", std::nullopt},
                              [](PromptResult) {});
            return false;
        }
        for (const MixerValueChange& change : mixer->changes) {
            midi::MIDITrack* source = sourceTrack(change.row);
            if (source == nullptr) continue;
            const std::uint8_t value = undoing ? change.before : change.after;
            switch (change.setting) {
                case MixerSetting::volume: source->volume = value; break;
                case MixerSetting::pan: source->pan = value; break;
                case MixerSetting::velocity: source->velocity = value; break;
                case MixerSetting::reverb: source->reverb = value; break;
            }
        }
        commitMixerSettingsChange();
        refreshMixerPanel();
    }
    return true;
}

}  // namespace orvane::app
