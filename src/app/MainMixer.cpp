// The mixer: strips from the song, strip changes into the song (refused while playing), the
// revision that tells the transport its stream is stale, and the reconciliation before export.

#include "app/AppLog.h"
#include "app/MainViewController.h"

namespace orvane::app {

namespace {

constexpr const char* playbackLockMessage = "Track Mixer changes cannot be used during playback";

std::uint8_t& settingOf(midi::MIDITrack& track, MixerSetting setting) {
    switch (setting) {
        case MixerSetting::volume: return track.volume;
        case MixerSetting::pan: return track.pan;
        case MixerSetting::velocity: return track.velocity;
        case MixerSetting::reverb: return track.reverb;
    }
    return track.volume;
}

const char* settingName(MixerSetting setting) {
    switch (setting) {
        case MixerSetting::volume: return "volume";
        case MixerSetting::pan: return "pan";
        case MixerSetting::velocity: return "velocity";
        case MixerSetting::reverb: return "reverb";
    }
    return "volume";
}

std::uint8_t snapshotValue(const MixerStripUISnapshot& snapshot, MixerSetting setting) {
    switch (setting) {
        case MixerSetting::volume: return snapshot.volume;
        case MixerSetting::pan: return snapshot.pan;
        case MixerSetting::velocity: return snapshot.velocity;
        case MixerSetting::reverb: return snapshot.reverb;
    }
    return snapshot.volume;
}

constexpr MixerSetting allSettings[] = {MixerSetting::volume, MixerSetting::pan, MixerSetting::velocity,
                                        MixerSetting::reverb};

}  // namespace

std::vector<MixerStripState> MainViewController::currentMixerStrips() const {
    std::vector<MixerStripState> strips;
    if (!midiFile_) return strips;
    const midi::MusicalTrackList musical = midiFile_->musicalTracks();
    std::vector<int> rows;
    const std::set<int> ticked = tickedRows();
    if (!ticked.empty() && ticked.size() < trackRows_.size()) {
        rows.assign(ticked.begin(), ticked.end());
    } else {
        for (std::size_t row = 0; row < trackRows_.size(); ++row) rows.push_back(static_cast<int>(row));
    }
    for (const int row : rows) {
        const auto index = static_cast<std::size_t>(row);
        if (index >= musical.size() || index >= trackRows_.size()) continue;
        const midi::MIDITrack& track = musical[index];
        strips.push_back({row, trackRows_[index].instrument, track.volume, track.pan, track.velocity, track.reverb,
                          trackRows_[index].paletteIdx});
    }
    return strips;
}

void MainViewController::refreshMixerPanel() {
    if (!mixerPanel_) return;
    mixerPanel_->updateStrips(currentMixerStrips());
    mixerPanel_->setPlaybackLocked(isPlayerPlaying());
}

void MainViewController::showMixerWindow() {
    if (!midiFile_) return;
    if (!mixerPanel_) {
        auto panel = std::make_shared<MixerPanel>();
        const std::weak_ptr<MainViewController> weak = weak_from_this();
        panel->onChange = [weak](int row, MixerSetting setting, std::uint8_t value) {
            if (const auto self = weak.lock()) self->applyMixerValue(row, setting, value);
        };
        panel->onGestureBegan = [weak] {
            if (const auto self = weak.lock()) self->mixerGestureOpen_ = true;
        };
        panel->onGestureEnded = [weak] {
            if (const auto self = weak.lock()) {
                self->mixerGestureOpen_ = false;
                self->mixerGestureStepRecorded_ = false;
            }
        };
        panel->onBlockedInteraction = [weak] {
            if (const auto self = weak.lock()) {
                self->modal_.showPrompt({playbackLockMessage, std::nullopt, std::nullopt, false, "OK", std::nullopt},
                                        [](PromptResult) {});
            }
        };
        panel->onClose = [weak, raw = panel.get()] {
            const auto self = weak.lock();
            if (self && self->mixerPanel_.get() == raw) self->mixerPanel_.reset();
        };
        mixerPanel_ = std::move(panel);
    }
    refreshMixerPanel();
    modal_.showMixerWindow(mixerPanel_);
}

void MainViewController::closeMixerWindow() {
    if (!mixerPanel_) return;
    const auto panel = std::move(mixerPanel_);
    mixerPanel_.reset();
    panel->close();
}

void MainViewController::applyMixerChange(int row, std::optional<std::uint8_t> volume) {
    applyMixerValue(row, MixerSetting::volume, volume);
}
void MainViewController::applyMixerPanChange(int row, std::uint8_t pan) { applyMixerValue(row, MixerSetting::pan, pan); }
void MainViewController::applyMixerVelocityChange(int row, std::uint8_t velocity) {
    applyMixerValue(row, MixerSetting::velocity, velocity);
}
void MainViewController::applyMixerReverbChange(int row, std::uint8_t reverb) {
    applyMixerValue(row, MixerSetting::reverb, reverb);
}

void MainViewController::applyMixerValue(int row, MixerSetting setting, std::optional<std::uint8_t> value) {
    const std::string rowText = std::to_string(row + 1);
    switch (setting) {
        case MixerSetting::volume:
            appLog("Apply mixer change row " + rowText + ", volume " +
                   (value ? std::to_string(*value) : std::string("unchanged")));
            break;
        case MixerSetting::pan: appLog("Apply mixer pan row " + rowText + ", pan " + std::to_string(*value)); break;
        case MixerSetting::velocity:
            appLog("Apply mixer velocity row " + rowText + ", velocity " + std::to_string(*value));
            break;
        case MixerSetting::reverb:
            appLog("Apply mixer reverb row " + rowText + ", reverb " + std::to_string(*value));
            break;
    }
    if (isPlayerPlaying()) {
        modal_.beep();
        modal_.showPrompt({playbackLockMessage, std::nullopt, std::nullopt, false, "OK", std::nullopt},
                          [](PromptResult) {});
        // The strip shows what the song still holds.
        refreshMixerPanel();
        return;
    }
    midi::MIDITrack* track = sourceTrack(row);
    if (track == nullptr) return;
    if (value) {
        std::uint8_t& field = settingOf(*track, setting);
        const std::uint8_t before = field;
        field = *value;
        // A drag of one slider is one step.
        EditStep* last = history_.lastStep();
        MixerEdit* open = mixerGestureOpen_ && mixerGestureStepRecorded_ && last != nullptr
                              ? std::get_if<MixerEdit>(&last->edit)
                              : nullptr;
        if (open != nullptr && open->changes.size() == 1 && open->changes.front().row == row &&
            open->changes.front().setting == setting) {
            open->changes.front().after = *value;
            history_.lastStepChanged();
        } else if (before != *value) {
            recordEdit({"Mixer Change", MixerEdit{{MixerValueChange{row, setting, before, *value}}}});
            mixerGestureStepRecorded_ = mixerGestureOpen_;
        }
    }
    commitMixerSettingsChange();
}

void MainViewController::commitMixerSettingsChange() {
    ++mixerSettingsRevision_;
    rebuildFullSongMIDIData();
    reloadPlaybackAfterMixerSettingsChangeIfNeeded();
}

bool MainViewController::reconcileMixerUIToMIDIModel(std::string_view reason) {
    if (!midiFile_) return false;
    const std::string prefix = "STATE-RECONCILE[MIXER->MIDI] reason=" + std::string(reason);
    if (!mixerPanel_) {
        appLog(prefix + " status=no-open-mixer");
        return false;
    }
    const std::vector<MixerStripUISnapshot> snapshots = mixerPanel_->currentMixerSnapshots();
    if (snapshots.empty()) {
        appLog(prefix + " status=no-visible-strips");
        return false;
    }
    appLog(prefix + " status=begin strips=" + std::to_string(snapshots.size()));
    MixerEdit edit;
    for (const MixerStripUISnapshot& snapshot : snapshots) {
        midi::MIDITrack* track = sourceTrack(snapshot.row);
        if (track == nullptr) {
            appLog(prefix + " row=" + std::to_string(snapshot.row + 1) + " status=missing-source-track");
            continue;
        }
        for (const MixerSetting setting : allSettings) {
            std::uint8_t& model = settingOf(*track, setting);
            const std::uint8_t shown = snapshotValue(snapshot, setting);
            if (model == shown) continue;
            appLog(prefix + " row=" + std::to_string(snapshot.row + 1) + " setting=" + settingName(setting) +
                   " midi=" + std::to_string(model) + " ui=" + std::to_string(shown) + " action=apply-ui");
            edit.changes.push_back({snapshot.row, setting, model, shown});
            model = shown;
        }
    }
    if (edit.changes.empty()) {
        appLog(prefix + " status=already-in-sync");
        return false;
    }
    recordEdit({"Mixer Change", std::move(edit)});
    ++mixerSettingsRevision_;
    rebuildFullSongMIDIData();
    appLog(prefix + " status=changed revision=" + std::to_string(mixerSettingsRevision_));
    return true;
}

}  // namespace orvane::app
