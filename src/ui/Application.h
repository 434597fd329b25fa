#pragma once
// The application as a whole: the run loop, the shell that holds files handed over before the
// window exists, the main window with its modal port, and the main controller.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "app/AppShell.h"
#include "app/MainViewController.h"
#include "app/ModalPort.h"
#include "playback/MIDIFilePlayer.h"
#include "tempo/AudioFileDecoder.h"

namespace orvane::ui {

class MainWindow;
class QtRunLoop;

struct ApplicationOptions {
    // The SoundFont; when absent, ORVANE_SOUNDFONT or Debian's usual locations.
    std::optional<std::filesystem::path> soundFont;
    // Never open an audio device (ORVANE_AUDIO_OUTPUT=null does the same).
    bool silentAudio = false;
    // The dialogs, given the main window; when empty, the Qt dialogs.
    std::function<std::unique_ptr<app::ModalPort>(MainWindow&)> makeModalPort;
    // The player; when empty, FluidSynth with the options above.
    playback::MIDIFilePlayerFactory makePlayer;
    tempo::AudioFileOpener openAudio = tempo::openAudioFile;
};

class Application {
public:
    // Needs a QApplication. Makes the run loop and the shell; the window comes with
    // createWindow().
    explicit Application(ApplicationOptions options = {});
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Files named on the command line or handed over by the desktop: the first loads, or all
    // wait until the window exists.
    bool openFiles(const std::vector<std::filesystem::path>& paths);

    // Builds the main window, its dialogs and the controller.
    void createWindow();
    // Shows the window and, once it has painted (so that a big file never keeps the window
    // from appearing), loads the first file that waited; then runs loaded.
    void launch(std::function<void()> loaded = {});
    // Reads the SoundFont on a background thread, so that the first Play does not wait for it.
    void preloadSoundFontInBackground();

    [[nodiscard]] QtRunLoop& runLoop() noexcept { return *runLoop_; }
    [[nodiscard]] app::AppShell& shell() noexcept { return shell_; }
    [[nodiscard]] MainWindow& window() noexcept { return *window_; }
    [[nodiscard]] app::ModalPort& modal() noexcept { return *modal_; }
    [[nodiscard]] app::MainViewController& controller() noexcept { return *controller_; }
    [[nodiscard]] const std::shared_ptr<app::MainViewController>& controllerPointer() const noexcept {
        return controller_;
    }

private:
    ApplicationOptions options_;
    std::unique_ptr<QtRunLoop> runLoop_;
    app::AppShell shell_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<app::ModalPort> modal_;
    std::shared_ptr<app::MainViewController> controller_;
};

}  // namespace orvane::ui
