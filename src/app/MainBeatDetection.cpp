// An audio file opens the beat-detection window; an accepted tempo becomes the song's tempo.

#include "app/AppLog.h"
#include "app/BeatDetectionController.h"
#include "app/MainViewController.h"
#include "support/TextFormat.h"

namespace orvane::app {

void MainViewController::detectAudioTempo(const std::filesystem::path& url) {
    const std::string name = url.filename().string();
    appLog("Dropped audio file for BPM detection: " + name);
    appLog("Open Beat Detection for " + name + "; loaded MIDI " + (midiFile_ ? "available" : "not available"));
    closeBeatDetectionWindow();
    const std::weak_ptr<MainViewController> weak = weak_from_this();
    const std::uint64_t generation = generation_;
    auto window = BeatDetectionController::create(
        runLoop_, url, midiFile_ != nullptr,
        [weak, generation](double bpm) {
            const auto self = weak.lock();
            if (!self) return;
            if (!self->midiFile_ || self->generation_ != generation) {
                appLog("Beat Detection Apply Tempo callback received " + formatBPM(bpm) +
                       " BPM without the MIDI file it was opened for");
                return;
            }
            appLog("Beat Detection Apply Tempo callback received " + formatBPM(bpm) + " BPM");
            self->applyTempo(bpm);
            self->setStatus("Applied detected tempo " + formatBPM(bpm) + " BPM.", ColorRole::green);
        },
        [weak] {
            if (const auto self = weak.lock()) self->beatDetectionWindowController_.reset();
        },
        openAudio_);
    beatDetectionWindowController_ = window;
    modal_.showBeatDetectionWindow(window);
    window->show();
}

void MainViewController::closeBeatDetectionWindow() {
    if (!beatDetectionWindowController_) return;
    const auto window = std::move(beatDetectionWindowController_);
    beatDetectionWindowController_.reset();
    window->close();
}

}  // namespace orvane::app
