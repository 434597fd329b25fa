#pragma once
// Stands in for the Qt dialogs until they are part of the build: every request is answered
// as if the user cancelled it, with a beep, so that nothing waits for a dialog that never
// opens. Used only when ui/QtModalPort.h is absent.

#include <QApplication>
#include <QWidget>

#include "app/ModalPort.h"
#include "app/LoopExportDialog.h"

namespace orvane::ui {

class StandInModalPort final : public app::ModalPort {
public:
    explicit StandInModalPort(QWidget*) {}
    void runAlert(app::AlertRequest, std::function<void(int)> answer) override {
        beep();
        answer(-1);
    }
    void chooseFolder(app::FolderRequest, app::PathAnswer answer) override { answer(std::nullopt); }
    void chooseSaveLocation(app::SavePanelRequest, app::PathAnswer answer) override { answer(std::nullopt); }
    void chooseFileToOpen(app::OpenPanelRequest, app::PathAnswer answer) override { answer(std::nullopt); }
    void revealInFileManager(const std::filesystem::path&) override {}
    void beep() override { QApplication::beep(); }
    void showPrompt(app::PromptRequest, std::function<void(app::PromptResult)> answer) override { answer({}); }
    void askTempo(app::TempoPromptRequest, std::function<void(std::optional<app::TempoPromptAnswer>)> answer) override {
        answer(std::nullopt);
    }
    void showInstrumentPicker(std::shared_ptr<app::InstrumentPicker>,
                              std::function<void(std::optional<app::InstrumentPickerSelection>)> answer) override {
        answer(std::nullopt);
    }
    void showDrumPicker(std::shared_ptr<app::DrumPicker>,
                        std::function<void(std::optional<app::DrumInstrumentSelection>)> answer) override {
        answer(std::nullopt);
    }
    void showLoopExportDialog(std::shared_ptr<app::LoopExportDialog> dialog) override { dialog->cancel(); }
    void showMixerWindow(std::shared_ptr<app::MixerPanel>) override {}
    void showBeatDetectionWindow(std::shared_ptr<app::BeatDetectionController>) override {}
};

}  // namespace orvane::ui
