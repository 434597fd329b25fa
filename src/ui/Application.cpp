#include "ui/Application.h"

#include <QApplication>
#include <QTimer>

#include "app/AppLog.h"
#include "playback/FluidSynthPlayer.h"
#include "ui/MainWindow.h"
#include "ui/QtRunLoop.h"

#include "ui/QtModalPort.h"

namespace orvane::ui {

namespace {

playback::FluidSynthOptions synthOptions(const ApplicationOptions& options) {
    playback::FluidSynthOptions synth;
    synth.soundFont = options.soundFont;
    synth.silentOutput = options.silentAudio;
    return synth;
}

}  // namespace

Application::Application(ApplicationOptions options)
    : options_(std::move(options)), runLoop_(std::make_unique<QtRunLoop>()) {}

Application::~Application() {
    // The controller goes first: it stops the player and closes the windows it opened, which
    // the dialogs and the main window still hold.
    controller_.reset();
    modal_.reset();
    window_.reset();
}

bool Application::openFiles(const std::vector<std::filesystem::path>& paths) { return shell_.openLaunchFiles(paths); }

void Application::createWindow() {
    if (window_) return;
    window_ = std::make_unique<MainWindow>();
    if (options_.makeModalPort) {
        modal_ = options_.makeModalPort(*window_);
    } else {
        modal_ = std::make_unique<QtModalPort>(window_.get());
    }
    playback::MIDIFilePlayerFactory makePlayer =
        options_.makePlayer ? options_.makePlayer : playback::makeFluidSynthPlayerFactory(synthOptions(options_));
    controller_ = app::MainViewController::create(
        {*runLoop_, *modal_, *window_, std::move(makePlayer), options_.openAudio});
    window_->attach(controller_);
    shell_.attach(controller_);
}

void Application::launch(std::function<void()> loaded) {
    createWindow();
    window_->show();
    window_->raise();
    window_->activateWindow();
    // The first frame, or a short wait where no frame comes (a hidden window), starts the load.
    auto done = std::make_shared<bool>(false);
    auto load = [this, done, loaded = std::move(loaded)] {
        if (*done) return;
        *done = true;
        shell_.openPendingLaunchFilesIfNeeded();
        if (loaded) loaded();
    };
    auto* firstFrame = new QObject(window_.get());
    QObject::connect(window_.get(), &MainWindow::framePainted, firstFrame, [load, firstFrame] {
        firstFrame->deleteLater();
        load();
    });
    QTimer::singleShot(200, firstFrame, [load, firstFrame] {
        firstFrame->deleteLater();
        load();
    });
}

void Application::preloadSoundFontInBackground() {
    runLoop_->postToBackground([options = synthOptions(options_)] {
        try {
            playback::preloadSoundFont(options);
        } catch (const playback::MIDIFilePlayerError& error) {
            // Play says so when pressed; loading and exports work without sound.
            app::appLog("SoundFont not loaded: " + error.description());
        }
    });
}

}  // namespace orvane::ui
