#pragma once
// Dialogs answered by the test: each request is recorded, and answered from the queue the test
// filled (or cancelled when the queue is empty). Answers arrive on a later event-loop turn, as
// a real dialog's would.

#include <QTimer>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/LoopExportDialog.h"
#include "app/ModalPort.h"

namespace orvane::ui::test {

class ScriptedModalPort final : public app::ModalPort {
public:
    std::vector<app::AlertRequest> alerts;
    std::deque<int> alertAnswers;
    std::vector<app::FolderRequest> folderRequests;
    std::deque<std::filesystem::path> folders;
    std::vector<app::SavePanelRequest> saveRequests;
    std::deque<std::filesystem::path> saveLocations;
    std::vector<std::filesystem::path> revealed;
    std::vector<app::PromptRequest> prompts;
    int beeps = 0;
    int beatDetectionWindows = 0;
    int mixerWindows = 0;

    void runAlert(app::AlertRequest request, std::function<void(int)> answer) override {
        alerts.push_back(request);
        const int button = take(alertAnswers, -1);
        later([answer = std::move(answer), button] { answer(button); });
    }
    void chooseFolder(app::FolderRequest request, app::PathAnswer answer) override {
        folderRequests.push_back(request);
        auto folder = takePath(folders);
        later([answer = std::move(answer), folder] { answer(folder); });
    }
    void chooseSaveLocation(app::SavePanelRequest request, app::PathAnswer answer) override {
        saveRequests.push_back(request);
        auto file = takePath(saveLocations);
        later([answer = std::move(answer), file] { answer(file); });
    }
    void chooseFileToOpen(app::OpenPanelRequest, app::PathAnswer answer) override {
        later([answer = std::move(answer)] { answer(std::nullopt); });
    }
    void revealInFileManager(const std::filesystem::path& path) override { revealed.push_back(path); }
    void beep() override { ++beeps; }
    void showPrompt(app::PromptRequest request, std::function<void(app::PromptResult)> answer) override {
        prompts.push_back(request);
        later([answer = std::move(answer)] { answer({app::ModalResponse::ok, std::nullopt, false}); });
    }
    void askTempo(app::TempoPromptRequest, std::function<void(std::optional<app::TempoPromptAnswer>)> answer) override {
        later([answer = std::move(answer)] { answer(std::nullopt); });
    }
    void showInstrumentPicker(std::shared_ptr<app::InstrumentPicker>,
                              std::function<void(std::optional<app::InstrumentPickerSelection>)> answer) override {
        later([answer = std::move(answer)] { answer(std::nullopt); });
    }
    void showDrumPicker(std::shared_ptr<app::DrumPicker>,
                        std::function<void(std::optional<app::DrumInstrumentSelection>)> answer) override {
        later([answer = std::move(answer)] { answer(std::nullopt); });
    }
    void showLoopExportDialog(std::shared_ptr<app::LoopExportDialog> dialog) override {
        later([dialog] { dialog->cancel(); });
    }
    void showMixerWindow(std::shared_ptr<app::MixerPanel>) override { ++mixerWindows; }
    void showBeatDetectionWindow(std::shared_ptr<app::BeatDetectionController>) override { ++beatDetectionWindows; }

private:
    static void later(std::function<void()> work) { QTimer::singleShot(0, std::move(work)); }
    static int take(std::deque<int>& queue, int fallback) {
        if (queue.empty()) return fallback;
        const int value = queue.front();
        queue.pop_front();
        return value;
    }
    static std::optional<std::filesystem::path> takePath(std::deque<std::filesystem::path>& queue) {
        if (queue.empty()) return std::nullopt;
        auto value = queue.front();
        queue.pop_front();
        return value;
    }
};

}  // namespace orvane::ui::test
