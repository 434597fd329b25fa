#include "app/MainViewController.h"

#include <algorithm>
#include <cctype>

#include "app/BeatDetectionController.h"

namespace orvane::app {

FileKind fileKind(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    if (!extension.empty()) extension.erase(0, 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (std::find(midiExtensions.begin(), midiExtensions.end(), extension) != midiExtensions.end()) {
        return FileKind::midi;
    }
    if (std::find(audioExtensions.begin(), audioExtensions.end(), extension) != audioExtensions.end()) {
        return FileKind::audio;
    }
    return FileKind::unsupported;
}

std::shared_ptr<MainViewController> MainViewController::create(Environment environment) {
    std::shared_ptr<MainViewController> controller(new MainViewController(std::move(environment)));
    controller->player_ = playback::MIDIPlayerController::create(controller->runLoop_, controller->makePlayer_);
    controller->wirePlayerCallbacks();
    controller->publish(allSections);
    return controller;
}

MainViewController::MainViewController(Environment environment)
    : runLoop_(environment.runLoop),
      modal_(environment.modal),
      sink_(environment.view),
      makePlayer_(std::move(environment.makePlayer)),
      openAudio_(std::move(environment.openAudio)) {}

MainViewController::~MainViewController() {
    if (player_) {
        player_->onProgress = nullptr;
        player_->onNaturalEnd = nullptr;
        player_->onPaused = nullptr;
        player_->onStopped = nullptr;
        player_->reset();
    }
    if (beatDetectionWindowController_) beatDetectionWindowController_->close();
    if (mixerPanel_) mixerPanel_->close();
}

void MainViewController::wirePlayerCallbacks() {
    // The player belongs to this controller and dies with it, so its callbacks may hold it
    // weakly without a document check: they describe the player's own state.
    const std::weak_ptr<MainViewController> weak = weak_from_this();
    player_->onProgress = [weak](double position, double duration) {
        if (const auto self = weak.lock()) self->handleProgress(position, duration);
    };
    player_->onNaturalEnd = [weak] {
        if (const auto self = weak.lock()) self->handleNaturalEnd();
    };
    player_->onPaused = [weak](double position, double duration) {
        if (const auto self = weak.lock()) self->handlePaused(position, duration);
    };
    player_->onStopped = [weak](double position, double duration) {
        if (const auto self = weak.lock()) self->handleStopped(position, duration);
    };
}

bool MainViewController::isPlayerPlaying() const {
    const playback::MIDIFilePlayer* player = player_->player();
    return player != nullptr && player->isPlaying();
}

}  // namespace orvane::app
