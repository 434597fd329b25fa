// Song edits: tempo, transpose, instruments and drum sounds, track and song names, the export
// checkboxes, the keyboard shortcuts and which controls are enabled.

#include <algorithm>
#include <variant>

#include "app/AppLog.h"
#include "app/MainViewController.h"
#include "app/PromptPanel.h"
#include "app/SongEditParsing.h"
#include "midi/export/EventTransforms.h"
#include "support/TextFormat.h"

namespace orvane::app {

// ---- Tempo --------------------------------------------------------------------------------

void MainViewController::changeTempoAction() {
    if (!midiFile_ || !beginUserFlow()) return;
    const TempoFieldTexts texts = tempoFieldTexts(overrideBPM_.value_or(midiFile_->bpm));
    TempoPromptRequest request{"Please enter a new song tempo",
                               "Enter a value between 10.000 and 300.000 BPM.\nLeave the decimal field blank for a "
                               "whole-number tempo.",
                               texts.whole, texts.decimal};
    modal_.askTempo(std::move(request), [weak = weak_from_this(), generation = generation_](
                                            std::optional<TempoPromptAnswer> answer) {
        const auto self = weak.lock();
        if (!self) return;
        self->endUserFlow();
        if (!answer || self->generation_ != generation || !self->midiFile_) return;
        const auto entry = parseTempoEntry(answer->wholeText, answer->decimalText);
        if (const auto* error = std::get_if<TempoEntryError>(&entry)) {
            self->setStatus(*error == TempoEntryError::wholeNotNumeric ? "⚠️  Please enter a numeric BPM value."
                                                                       : "⚠️  Please enter a numeric decimal value.",
                            ColorRole::orange);
            self->clearStatusAfter(3.0);
            return;
        }
        const double value = std::get<double>(entry);
        if (value >= minimumSongTempo && value <= maximumSongTempo) {
            self->applyTempo(value);
            return;
        }
        const double clamped = std::clamp(value, minimumSongTempo, maximumSongTempo);
        self->applyTempo(clamped);
        self->setStatus("⚠️  Tempo is limited to 10.000–300.000 BPM. Applied " + formatBPM(clamped) + " BPM.",
                        ColorRole::orange);
        self->clearStatusAfter(3.0);
    });
}

void MainViewController::applyTempo(double bpm) {
    if (!midiFile_) return;
    recordEdit({"Change Tempo", TempoEdit{overrideBPM_, bpm}});
    setOverrideBPM(bpm, "tempo-change");
}

void MainViewController::setOverrideBPM(std::optional<double> bpm, std::string_view reason) {
    std::optional<std::uint32_t> tick;
    if (player_->player() != nullptr) {
        tick = midiFile_->secondsToTicks(currentTransportTimelinePosition(), std::nullopt, overrideBPM_);
    }
    appLog("Applied tempo " + formatBPM(bpm.value_or(midiFile_->bpm)) + " BPM");
    overrideBPM_ = bpm;
    rebuildFullSongMIDIData();
    rebuildMixerActivityTracks();
    updateTimeline();
    updateDropZoneInfo();
    if (tick) {
        const double position = midiFile_->ticksToSeconds(*tick, overrideBPM_);
        if (!reloadPlaybackAfterUserPlaybackSettingChangeIfNeeded(reason, position)) {
            setTransportPosition(position, std::nullopt);
        }
    } else if (!reloadPlaybackAfterUserPlaybackSettingChangeIfNeeded(reason, std::nullopt)) {
        setTransportPosition(std::min(view_.timeline.songDuration, currentTransportTimelinePosition()), std::nullopt);
    }
}

// ---- Transpose ----------------------------------------------------------------------------

std::string MainViewController::formattedOffset(int offset) {
    return offset >= 1 ? "+" + std::to_string(offset) : std::to_string(offset);
}

void MainViewController::applyTransposeOffset(int value) {
    const int offset = std::clamp(value, -maximumTranspose, maximumTranspose);
    if (midiFile_ && offset != transposeOffset_) recordEdit({"Transpose", TransposeEdit{transposeOffset_, offset}});
    setTransposeOffset(offset, "pitch-change");
}

void MainViewController::setTransposeOffset(int offset, std::string_view reason) {
    transposeOffset_ = offset;
    appLog("Applied pitch offset " + std::to_string(offset));
    view_.controls.transposeValue = offset;
    view_.controls.transposeText = formattedOffset(offset);
    publish(controlsSection);
    updateDropZoneInfo();
    if (midiFile_) {
        rebuildFullSongMIDIData();
        reloadPlaybackAfterUserPlaybackSettingChangeIfNeeded(reason, std::nullopt);
    }
}

void MainViewController::transposeStepperChanged(int value) {
    appLog("Changed pitch stepper to " + std::to_string(value));
    applyTransposeOffset(value);
}

void MainViewController::transposeFieldCommitted(std::string_view text) {
    appLog("Committed pitch text field value " + std::string(text));
    const auto value = parseTransposeText(text);
    if (!value) {
        view_.controls.transposeText = formattedOffset(transposeOffset_);
        publish(controlsSection);
        return;
    }
    if (*value >= -maximumTranspose && *value <= maximumTranspose) {
        applyTransposeOffset(static_cast<int>(*value));
        return;
    }
    applyTransposeOffset(*value < 0 ? -maximumTranspose : maximumTranspose);
    setStatus("⚠️  Pitch offset is limited to ±12 semitones (one octave).", ColorRole::orange);
    clearStatusAfter(3.0);
}

void MainViewController::transposeResetAction() { applyTransposeOffset(0); }

// ---- Instruments and drum sounds ------------------------------------------------------------

const midi::MIDITrack* MainViewController::sourceTrack(int row) const {
    if (!midiFile_ || row < 0) return nullptr;
    const auto& indices = midiFile_->musicalTrackSourceIndices();
    if (static_cast<std::size_t>(row) >= indices.size()) return nullptr;
    return &midiFile_->tracks()[static_cast<std::size_t>(indices[static_cast<std::size_t>(row)])];
}

midi::MIDITrack* MainViewController::sourceTrack(int row) {
    if (!midiFile_ || row < 0) return nullptr;
    const auto& indices = midiFile_->musicalTrackSourceIndices();
    if (static_cast<std::size_t>(row) >= indices.size()) return nullptr;
    const auto index = static_cast<std::size_t>(indices[static_cast<std::size_t>(row)]);
    return &midiFile_->mutableTracks()[index];
}

TrackState MainViewController::trackState(int row) const {
    return {*sourceTrack(row), trackRows_[static_cast<std::size_t>(row)]};
}

void MainViewController::showInstrumentPicker() {
    if (!selectedTrackRow_) {
        setStatus("Select a track row first, then press Ctrl+I", ColorRole::secondaryLabel);
        clearStatusAfter(2.0);
        return;
    }
    const int row = *selectedTrackRow_;
    const midi::MIDITrack* track = sourceTrack(row);
    if (track == nullptr || static_cast<std::size_t>(row) >= trackRows_.size()) return;
    if (waitingForUser_) return;
    if (transportState_.kind != TransportState::Kind::idle || player_->player() != nullptr) stopAction();
    if (track->channel == midi::percussionChannel) {
        presentDrumInstrumentPicker(row);
        return;
    }
    if (!beginUserFlow()) return;
    modal_.showInstrumentPicker(
        std::make_shared<InstrumentPicker>(track->instrument),
        [weak = weak_from_this(), generation = generation_, row](std::optional<InstrumentPickerSelection> choice) {
            const auto self = weak.lock();
            if (!self) return;
            self->endUserFlow();
            if (!choice || self->generation_ != generation) return;
            if (choice->kind == InstrumentPickerSelection::Kind::melodic) {
                self->applyInstrumentChange(choice->program, row);
                return;
            }
            // The drum picker opens once the instrument picker has closed.
            self->runLoop_.postToMain([weak, generation, row] {
                const auto again = weak.lock();
                if (again && again->generation_ == generation) again->presentDrumInstrumentPicker(row);
            });
        });
}

void MainViewController::applyInstrumentChange(std::uint8_t program, int row) {
    midi::MIDITrack* track = sourceTrack(row);
    if (track == nullptr || static_cast<std::size_t>(row) >= trackRows_.size()) return;
    appLog("Apply instrument " + std::to_string(program + 1) + " to row " + std::to_string(row + 1));
    TrackState after = trackState(row);
    const TrackState before = after;
    midi::MIDITrack& edited = after.track;
    edited.instrument = program;
    edited.drumNote.reset();
    const int channel = std::clamp(edited.channel, 0, 15);
    const auto programChange = static_cast<std::uint8_t>(0xC0 + channel);
    std::erase_if(edited.events, [&](const midi::MIDIEvent& event) { return event.status() == programChange; });
    edited.events.insert(edited.events.begin(), midi::MIDIEvent::shortMessage(0, programChange, program, 0, 2));
    TrackRow& rowState = after.row;
    rowState.channel = channelText(edited.channel);
    rowState.instrument = midi::MIDIFile::instrumentName(program, edited.channel, std::nullopt);
    if (!rowState.wasManuallyRenamed) {
        rowState.name = rowState.instrument;
        edited.name = rowState.instrument;
    }
    applyTrackState(row, after, "instrument-change");
    recordEdit({"Change Instrument", TrackEdit{row, before, std::move(after)}});
}

void MainViewController::presentDrumInstrumentPicker(int row) {
    const midi::MIDITrack* track = sourceTrack(row);
    if (track == nullptr || !beginUserFlow()) return;
    modal_.showDrumPicker(std::make_shared<DrumPicker>(track->instrument, track->drumNote),
                          [weak = weak_from_this(), generation = generation_, row](
                              std::optional<DrumInstrumentSelection> choice) {
                              const auto self = weak.lock();
                              if (!self) return;
                              self->endUserFlow();
                              if (choice && self->generation_ == generation) self->applyDrumInstrumentChange(*choice, row);
                          });
}

void MainViewController::applyDrumInstrumentChange(DrumInstrumentSelection selection, int row) {
    if (sourceTrack(row) == nullptr || static_cast<std::size_t>(row) >= trackRows_.size()) return;
    appLog("Apply drum kit " + std::to_string(selection.kitProgram + 1) + ", note " + std::to_string(selection.note) +
           " to row " + std::to_string(row + 1));
    const TrackState before = trackState(row);
    TrackState after{before.track, before.row};
    midi::MIDITrack& edited = after.track;
    edited.channel = midi::percussionChannel;
    edited.instrument = selection.kitProgram;
    edited.drumNote = selection.note;
    edited.events = midi::drumMappedEvents(before.track.events, selection.kitProgram, selection.note);
    after.row.channel = channelText(edited.channel);
    after.row.instrument = midi::MIDIFile::instrumentName(selection.kitProgram, edited.channel, selection.note);
    const std::string soundName = midi::MIDIFile::drumNoteName(selection.note);
    if (!after.row.wasManuallyRenamed) {
        after.row.name = "Drums - " + soundName;
        edited.name = after.row.name;
    }
    applyTrackState(row, after, "drum-instrument-change");
    recordEdit({"Map Drum Sound", TrackEdit{row, before, std::move(after)}});
    setStatus("Drum track mapped to " + soundName + " on Channel 10.", ColorRole::blue);
    clearStatusAfter(3.0);
}

// The common path of every edit of one track: the model, the row and the mixer follow, and
// when the track sounds different, the playback stream and the playback too.
void MainViewController::applyTrackState(int row, const TrackState& state, std::string_view reason) {
    midi::MIDITrack* track = sourceTrack(row);
    if (track == nullptr || static_cast<std::size_t>(row) >= trackRows_.size()) return;
    const bool soundChanged = track->channel != state.track.channel ||
                              track->instrument != state.track.instrument ||
                              track->drumNote != state.track.drumNote || track->events != state.track.events;
    *track = state.track;
    trackRows_[static_cast<std::size_t>(row)] = state.row;
    view_.table.rows = trackRows_;
    publish(tableSection);
    refreshMixerPanel();
    if (!soundChanged) return;
    rebuildFullSongMIDIData();
    rebuildMixerActivityTracks();
    reloadPlaybackAfterUserPlaybackSettingChangeIfNeeded(reason, std::nullopt);
}

// ---- Names, checkboxes and the table selection ---------------------------------------------

void MainViewController::checkboxToggled(int row, bool on) {
    if (row < 0 || static_cast<std::size_t>(row) >= trackRows_.size()) return;
    trackRows_[static_cast<std::size_t>(row)].selected = on;
    appLog(std::string(on ? "Selected export checkbox for row " : "Deselected export checkbox for row ") +
           std::to_string(row + 1));
    view_.table.rows = trackRows_;
    publish(tableSection);
    updateExportUI();
    refreshMixerPanel();
    reloadMainPlaybackAfterSelectionChangeIfNeeded();
}

void MainViewController::tableSelectionChanged(std::optional<int> row) {
    if (row && (*row < 0 || static_cast<std::size_t>(*row) >= trackRows_.size())) row.reset();
    selectedTrackRow_ = row;
    view_.table.selectedRow = row;
    publish(tableSection);
    if (row) appLog("Selected track row " + std::to_string(*row + 1));
}

void MainViewController::trackNameEdited(int row, std::string_view text) {
    const std::string name = trimmedText(text);
    if (name.empty() || sourceTrack(row) == nullptr || static_cast<std::size_t>(row) >= trackRows_.size()) {
        publish(tableSection);  // the cell shows the stored name again
        return;
    }
    const TrackState before = trackState(row);
    if (before.row.name == name && before.row.wasManuallyRenamed) return;
    appLog("Renamed track row " + std::to_string(row + 1) + " to " + name);
    TrackState after = before;
    after.row.name = name;
    after.row.wasManuallyRenamed = true;
    after.track.name = name;
    applyTrackState(row, after, "track-rename");
    recordEdit({"Rename Track", TrackEdit{row, before, std::move(after)}});
}

std::string MainViewController::commitSongName(std::string_view text) {
    std::string name = trimmedText(text);
    if (name.empty()) name = view_.dropZone.originalFileStem;
    songNameDraft_.reset();
    if (!midiFile_) return name;
    appLog("Committed song display name from keyboard: " + name);
    if (name != editedFilename_) recordEdit({"Rename Song", SongNameEdit{editedFilename_, name}});
    setSongName(name);
    return name;
}

void MainViewController::setSongName(std::string name) {
    editedFilename_ = std::move(name);
    view_.dropZone.nameText = editedFilename_;
    publish(dropZoneSection);
    if (transportState_.kind != TransportState::Kind::idle && lastLoadedPlaybackRequest_ &&
        lastLoadedPlaybackRequest_->kind == PlaybackRequest::Kind::fullSong) {
        transportState_.label = currentSongDisplayName();
        updateTransportUI();
    }
}

void MainViewController::setSongNameDraft(std::optional<std::string> text) { songNameDraft_ = std::move(text); }

// ---- Keys and enabling ----------------------------------------------------------------------

bool MainViewController::keyDown(const KeyPress& key) {
    if (key.control && key.key == KeyPress::Key::b) {
        (void)BetaDiagnostics::shared();
        return true;
    }
    if (key.key == KeyPress::Key::space && !key.control) {
        // A held space bar does not toggle the transport again and again.
        if (key.autoRepeat) return true;
        if (isPlayerPlaying()) {
            pauseAction();
        } else if (midiFile_) {
            playAction();
        }
        return true;
    }
    if (key.control && key.key == KeyPress::Key::i) {
        showInstrumentPicker();
        return true;
    }
    return false;
}

void MainViewController::updateBottomControlsEnabled() {
    const bool loaded = midiFile_ != nullptr;
    const bool playing = isPlayerPlaying();
    EditControlsState& controls = view_.controls;
    controls.transposeEnabled = loaded && !playing;
    controls.loopButtonEnabled = loaded;
    controls.mixerButtonEnabled = loaded;
    controls.mixerMenuEnabled = loaded && !playing;
    publish(controlsSection);
    if (mixerPanel_) mixerPanel_->setPlaybackLocked(playing);
}

}  // namespace orvane::app
