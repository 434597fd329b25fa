// The controller's view state: sections marked as changed are handed to the view once per
// run-loop turn; delayed work comes back only to the same controller and the same document.

#include "app/AppLog.h"
#include "app/MainViewController.h"

namespace orvane::app {

void MainViewController::publish(unsigned sections) {
    pendingSections_ |= sections;
    if (flushPosted_) return;
    flushPosted_ = true;
    runLoop_.postToMain([weak = weak_from_this()] {
        if (const auto self = weak.lock()) self->flushView();
    });
}

void MainViewController::flushView() {
    flushPosted_ = false;
    const unsigned sections = pendingSections_;
    pendingSections_ = 0;
    if (sections != 0) sink_.render(view_, sections);
}

void MainViewController::setStatus(std::string text, ColorRole color) {
    view_.status = {std::move(text), color};
    publish(statusSection);
}

void MainViewController::clearStatusAfter(double seconds) {
    later(seconds, [](MainViewController& self) { self.setStatus("", ColorRole::secondaryLabel); });
}

void MainViewController::later(double seconds, std::function<void(MainViewController&)> work) {
    runLoop_.after(seconds, [weak = weak_from_this(), generation = generation_, work = std::move(work)] {
        const auto self = weak.lock();
        if (self && self->generation_ == generation) work(*self);
    });
}

void MainViewController::updateTransportUI() {
    TransportViewState& transport = view_.transport;
    transport.playing = transportState_.kind == TransportState::Kind::playing;
    transport.paused = transportState_.kind == TransportState::Kind::paused;
    transport.loopOn = loopModeEnabled_;
    transport.indicatorPlaying = transport.playing;
    switch (transportState_.kind) {
        case TransportState::Kind::idle: transport.label = "Ready"; break;
        case TransportState::Kind::playing: transport.label = "Playing: " + transportState_.label; break;
        case TransportState::Kind::paused: transport.label = "Paused: " + transportState_.label; break;
    }
    // The audition column follows the player.
    std::optional<int> auditioned;
    if (isPlayerPlaying() && player_->currentMode().kind == playback::PlaybackMode::Kind::audition) {
        auditioned = player_->currentMode().row;
    }
    if (view_.table.auditionedRow != auditioned) {
        view_.table.auditionedRow = auditioned;
        publish(tableSection);
    }
    publish(transportSection);
}

void MainViewController::enableTransport(bool enabled) {
    view_.transport.enabled = enabled;
    publish(transportSection);
}

bool MainViewController::beginUserFlow() {
    if (waitingForUser_) {
        appLog("Ignored a request while another dialog is waiting for the user");
        return false;
    }
    waitingForUser_ = true;
    return true;
}

void MainViewController::endUserFlow() { waitingForUser_ = false; }

}  // namespace orvane::app
