#pragma once
// The modal port with Qt: alerts, file choosers, the file manager, the beep, the prompt panel,
// the tempo prompt, the pickers, and the loop export, mixer and beat-detection windows.
//
// Dialogs that answer are window-modal on the main window, opened with open() and deleted on
// close; none runs a nested event loop. Every answer is given at most once, and never after
// this port is gone: destroying the port closes what it opened without answering.

#include <QPointer>

#include <map>
#include <memory>
#include <vector>

#include "app/ModalPort.h"

class QWidget;

namespace orvane::ui {

class MixerWindow;

class QtModalPort final : public app::ModalPort {
public:
    // parent: the main window; the dialogs are modal on it and centred over it.
    explicit QtModalPort(QWidget* parent);
    ~QtModalPort() override;

    void runAlert(app::AlertRequest request, std::function<void(int)> answer) override;
    void chooseFolder(app::FolderRequest request, app::PathAnswer answer) override;
    void chooseSaveLocation(app::SavePanelRequest request, app::PathAnswer answer) override;
    void chooseFileToOpen(app::OpenPanelRequest request, app::PathAnswer answer) override;
    void revealInFileManager(const std::filesystem::path& path) override;
    void beep() override;
    void showPrompt(app::PromptRequest request, std::function<void(app::PromptResult)> answer) override;
    void askTempo(app::TempoPromptRequest request,
                  std::function<void(std::optional<app::TempoPromptAnswer>)> answer) override;
    void showInstrumentPicker(std::shared_ptr<app::InstrumentPicker> picker,
                              std::function<void(std::optional<app::InstrumentPickerSelection>)> answer) override;
    void showDrumPicker(std::shared_ptr<app::DrumPicker> picker,
                        std::function<void(std::optional<app::DrumInstrumentSelection>)> answer) override;
    void showLoopExportDialog(std::shared_ptr<app::LoopExportDialog> dialog) override;
    void showMixerWindow(std::shared_ptr<app::MixerPanel> panel) override;
    void showBeatDetectionWindow(std::shared_ptr<app::BeatDetectionController> controller) override;

    // The windows this port has open (for tests and the screenshot tour), newest last.
    [[nodiscard]] std::vector<QWidget*> openWindows() const;
    // What revealInFileManager did last: "dbus-items", "dbus-folders", "open-folder", or empty.
    [[nodiscard]] const std::string& lastRevealMethod() const noexcept { return lastRevealMethod_; }

private:
    void track(QWidget* window);
    // The window a message belongs over: the mixer or beat-detection window the user is
    // working in, else the main window.
    [[nodiscard]] QWidget* messageParent() const;

    QPointer<QWidget> parent_;
    // Expires with the port; answers check it before they run.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    std::vector<QPointer<QWidget>> windows_;
    std::map<const app::MixerPanel*, QPointer<MixerWindow>> mixerWindows_;
    std::string lastRevealMethod_;
};

}  // namespace orvane::ui
