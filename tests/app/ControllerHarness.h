#pragma once
// The main controller with everything around it scripted: a manual run loop, fake players
// whose length comes from the stream they play, a view sink that keeps what it was shown, a
// modal port whose answers the test queues (answered later on the run loop, as a user would),
// and the diagnostics log captured line by line.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DiagnosticsCapture.h"
#include "app/BeatDetectionController.h"
#include "app/LoopExportDialog.h"
#include "app/MainViewController.h"
#include "app/MixerPanel.h"
#include "playback/FakeMIDIFilePlayer.h"
#include "support/Diagnostics.h"
#include "support/ManualRunLoop.h"

namespace orvane::app::testing {

class RecordingSink final : public MainViewSink {
public:
    void render(const MainViewState& state, unsigned changed) override {
        shown = state;
        ++renders;
        changedSections |= changed;
    }
    MainViewState shown;
    int renders = 0;
    unsigned changedSections = 0;
};

// A modal port that answers from queues. A request without a queued answer waits: pending()
// answers it later. Answers arrive on the run loop, after the request returned.
class ScriptedModalPort final : public ModalPort {
public:
    explicit ScriptedModalPort(RunLoop& loop) : loop_(loop) {}

    std::deque<int> alertAnswers;
    std::deque<std::optional<std::filesystem::path>> folderAnswers, saveAnswers, openAnswers;
    std::deque<std::optional<TempoPromptAnswer>> tempoAnswers;
    std::deque<std::optional<InstrumentPickerSelection>> instrumentAnswers;
    std::deque<std::optional<DrumInstrumentSelection>> drumAnswers;
    // What the loop export dialog does when it opens (move markers, set the repeat count,
    // confirm or cancel); without one the dialog stays open.
    std::function<void(LoopExportDialog&)> loopDialogScript;

    std::vector<AlertRequest> alerts;
    std::vector<FolderRequest> folders;
    std::vector<SavePanelRequest> savePanels;
    std::vector<OpenPanelRequest> openPanels;
    std::vector<TempoPromptRequest> tempoPrompts;
    std::vector<PromptRequest> prompts;
    std::vector<std::filesystem::path> revealed;
    std::vector<std::uint8_t> instrumentPickerPrograms;
    std::vector<std::pair<std::uint8_t, std::optional<std::uint8_t>>> drumPickerCurrent;
    int beeps = 0;
    std::shared_ptr<MixerPanel> mixer;
    std::shared_ptr<BeatDetectionController> beatDetection;
    std::shared_ptr<LoopExportDialog> loopDialog;
    // Folder choosers that had no queued answer, to answer by hand.
    std::vector<PathAnswer> pendingFolderAnswers;
    // Requests that had no queued answer, oldest first.
    std::deque<std::function<void()>> unanswered;

    void runAlert(AlertRequest request, std::function<void(int)> answer) override {
        alerts.push_back(request);
        answerFrom(alertAnswers, std::move(answer), -1);
    }
    void chooseFolder(FolderRequest request, PathAnswer answer) override {
        folders.push_back(request);
        if (folderAnswers.empty()) {
            pendingFolderAnswers.push_back(answer);
            unanswered.push_back([answer] { answer(std::nullopt); });
            return;
        }
        answerFrom(folderAnswers, std::move(answer), std::optional<std::filesystem::path>());
    }
    // As the save panel does, an answer without an extension gets the requested one.
    void chooseSaveLocation(SavePanelRequest request, PathAnswer answer) override {
        savePanels.push_back(request);
        if (!saveAnswers.empty() && saveAnswers.front() && !saveAnswers.front()->has_extension()) {
            saveAnswers.front()->replace_extension(request.extension);
        }
        answerFrom(saveAnswers, std::move(answer), std::optional<std::filesystem::path>());
    }
    void chooseFileToOpen(OpenPanelRequest request, PathAnswer answer) override {
        openPanels.push_back(request);
        answerFrom(openAnswers, std::move(answer), std::optional<std::filesystem::path>());
    }
    void revealInFileManager(const std::filesystem::path& path) override { revealed.push_back(path); }
    void beep() override { ++beeps; }
    void showPrompt(PromptRequest request, std::function<void(PromptResult)> answer) override {
        prompts.push_back(request);
        loop_.postToMain([answer = std::move(answer)] { answer({ModalResponse::ok, std::nullopt, false}); });
    }
    void askTempo(TempoPromptRequest request, std::function<void(std::optional<TempoPromptAnswer>)> answer) override {
        tempoPrompts.push_back(request);
        answerFrom(tempoAnswers, std::move(answer), std::optional<TempoPromptAnswer>());
    }
    void showInstrumentPicker(std::shared_ptr<InstrumentPicker> picker,
                              std::function<void(std::optional<InstrumentPickerSelection>)> answer) override {
        const auto selected = picker->selectedIndex();
        instrumentPickerPrograms.push_back(selected ? picker->filtered()[*selected].program.value_or(255) : 255);
        answerFrom(instrumentAnswers, std::move(answer), std::optional<InstrumentPickerSelection>());
    }
    void showDrumPicker(std::shared_ptr<DrumPicker> picker,
                        std::function<void(std::optional<DrumInstrumentSelection>)> answer) override {
        drumPickerCurrent.emplace_back(picker->kits()[picker->selectedKitIndex()].program,
                                       picker->selectedIndex() ? std::optional<std::uint8_t>(picker->filteredNotes()
                                                                                                 [*picker->selectedIndex()]
                                                                                                     .note)
                                                               : std::nullopt);
        answerFrom(drumAnswers, std::move(answer), std::optional<DrumInstrumentSelection>());
    }
    void showLoopExportDialog(std::shared_ptr<LoopExportDialog> dialog) override {
        loopDialog = dialog;
        if (loopDialogScript) {
            loop_.postToMain([weak = std::weak_ptr<LoopExportDialog>(dialog), script = loopDialogScript] {
                if (const auto open = weak.lock()) script(*open);
            });
        }
    }
    void showMixerWindow(std::shared_ptr<MixerPanel> panel) override { mixer = std::move(panel); }
    void showBeatDetectionWindow(std::shared_ptr<BeatDetectionController> controller) override {
        beatDetection = std::move(controller);
    }

    // Answers the oldest waiting request with its "dismissed" answer.
    void dismissOldest() {
        if (unanswered.empty()) return;
        auto answer = std::move(unanswered.front());
        unanswered.pop_front();
        answer();
    }

private:
    template <class Answer, class Callback>
    void answerFrom(std::deque<Answer>& queue, Callback callback, Answer dismissed) {
        if (queue.empty()) {
            unanswered.push_back([callback, dismissed] { callback(dismissed); });
            return;
        }
        Answer answer = std::move(queue.front());
        queue.pop_front();
        loop_.postToMain([callback = std::move(callback), answer = std::move(answer)] { callback(answer); });
    }

    RunLoop& loop_;
};

// A folder of its own for one test, removed afterwards.
class ScratchFolder {
public:
    ScratchFolder() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("orvane-app-" + std::to_string(::getpid()) + "-" + test->test_suite_name() + "-" + test->name());
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const noexcept { return path_; }
    [[nodiscard]] std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct ControllerHarness {
    ManualRunLoop loop;
    playback::FakeMIDIFilePlayerFactory players{loop};
    RecordingSink sink;
    ScriptedModalPort modal{loop};
    DiagnosticsCapture log;
    std::shared_ptr<MainViewController> controller;

    ControllerHarness() {
        players.durationFromData = true;
        controller = MainViewController::create({loop, modal, sink, players.factory()});
        settle();
    }
    ~ControllerHarness() {
        controller.reset();
        loop.runUntilIdle();
    }
    ControllerHarness(const ControllerHarness&) = delete;
    ControllerHarness& operator=(const ControllerHarness&) = delete;

    void settle() { loop.runUntilIdle(); }
    void advance(double seconds) { loop.advance(seconds); }
    MainViewController& operator*() { return *controller; }
    MainViewController* operator->() { return controller.get(); }
    [[nodiscard]] const MainViewState& view() const { return controller->viewState(); }
};

}  // namespace orvane::app::testing
