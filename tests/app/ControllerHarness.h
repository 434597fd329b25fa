#pragma once
// The main controller with everything around it scripted: a manual run loop, fake players
// whose length comes from the stream they play, a view sink that keeps what it was shown, a
// modal port whose answers the test queues (answered later on the run loop, as a user would),
// and the diagnostics log captured line by line.

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DiagnosticsCapture.h"
#include "TemporaryFolder.h"
#include "app/BeatDetectionController.h"
#include "app/ControllerSongs.h"
#include "app/LoopExportDialog.h"
#include "app/MainViewController.h"
#include "app/MixerPanel.h"
#include "playback/FakeMIDIFilePlayer.h"
#include "support/ManualRunLoop.h"

namespace orvane::app::testing {

class RecordingSink final : public MainViewSink {
public:
    void render(const MainViewState& state, unsigned) override { shown = state; }
    MainViewState shown;
};

// A modal port that answers from queues, on the run loop after the request returned. A request
// without a queued answer waits; dismissOldest() dismisses it.
class ScriptedModalPort final : public ModalPort {
public:
    explicit ScriptedModalPort(RunLoop& loop) : loop_(loop) {}

    std::deque<int> alertAnswers;
    std::deque<std::optional<std::filesystem::path>> folderAnswers, saveAnswers, openAnswers;
    std::deque<std::optional<TempoPromptAnswer>> tempoAnswers;
    std::deque<std::optional<InstrumentPickerSelection>> instrumentAnswers;
    std::deque<std::optional<DrumInstrumentSelection>> drumAnswers;
    // What the loop export dialog does when it opens; without one the dialog stays open.
    std::function<void(LoopExportDialog&)> loopDialogScript;

    std::vector<AlertRequest> alerts;
    std::vector<FolderRequest> folders;
    std::vector<SavePanelRequest> savePanels;
    std::vector<OpenPanelRequest> openPanels;
    std::vector<TempoPromptRequest> tempoPrompts;
    std::vector<PromptRequest> prompts;
    std::vector<std::filesystem::path> revealed;
    // What each picker had selected when it opened.
    std::vector<std::optional<InstrumentPickerSelection>> instrumentPickersOpenedOn;
    std::vector<std::optional<DrumInstrumentSelection>> drumPickersOpenedOn;
    int beeps = 0;
    std::shared_ptr<MixerPanel> mixer;
    std::shared_ptr<BeatDetectionController> beatDetection;
    std::shared_ptr<LoopExportDialog> loopDialog;
    std::vector<PathAnswer> pendingFolderAnswers;  // folder choosers without a queued answer
    std::deque<std::function<void()>> unanswered;

    void runAlert(AlertRequest request, std::function<void(int)> answer) override {
        alerts.push_back(request);
        answerFrom(alertAnswers, std::move(answer), -1);
    }
    void chooseFolder(FolderRequest request, PathAnswer answer) override {
        folders.push_back(request);
        if (folderAnswers.empty()) pendingFolderAnswers.push_back(answer);
        answerFrom(folderAnswers, std::move(answer));
    }
    // As the save panel does, an answer without an extension gets the requested one.
    void chooseSaveLocation(SavePanelRequest request, PathAnswer answer) override {
        savePanels.push_back(request);
        if (!saveAnswers.empty() && saveAnswers.front() && !saveAnswers.front()->has_extension()) {
            saveAnswers.front()->replace_extension(request.extension);
        }
        answerFrom(saveAnswers, std::move(answer));
    }
    void chooseFileToOpen(OpenPanelRequest request, PathAnswer answer) override {
        openPanels.push_back(request);
        answerFrom(openAnswers, std::move(answer));
    }
    void revealInFileManager(const std::filesystem::path& path) override { revealed.push_back(path); }
    void beep() override { ++beeps; }
    void showPrompt(PromptRequest request, std::function<void(PromptResult)> answer) override {
        prompts.push_back(request);
        loop_.postToMain([answer = std::move(answer)] { answer({ModalResponse::ok, std::nullopt, false}); });
    }
    void askTempo(TempoPromptRequest request, std::function<void(std::optional<TempoPromptAnswer>)> answer) override {
        tempoPrompts.push_back(request);
        answerFrom(tempoAnswers, std::move(answer));
    }
    void showInstrumentPicker(std::shared_ptr<InstrumentPicker> picker,
                              std::function<void(std::optional<InstrumentPickerSelection>)> answer) override {
        instrumentPickersOpenedOn.push_back(picker->confirm());
        answerFrom(instrumentAnswers, std::move(answer));
    }
    void showDrumPicker(std::shared_ptr<DrumPicker> picker,
                        std::function<void(std::optional<DrumInstrumentSelection>)> answer) override {
        drumPickersOpenedOn.push_back(picker->confirm());
        answerFrom(drumAnswers, std::move(answer));
    }
    void showLoopExportDialog(std::shared_ptr<LoopExportDialog> dialog) override {
        loopDialog = dialog;
        if (!loopDialogScript) return;
        loop_.postToMain([weak = std::weak_ptr<LoopExportDialog>(dialog), script = loopDialogScript] {
            if (const auto open = weak.lock()) script(*open);
        });
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
    void answerFrom(std::deque<Answer>& queue, Callback callback, Answer dismissed = {}) {
        if (queue.empty()) {
            unanswered.push_back([callback, dismissed] { callback(dismissed); });
            return;
        }
        loop_.postToMain([callback = std::move(callback), answer = std::move(queue.front())] { callback(answer); });
        queue.pop_front();
    }

    RunLoop& loop_;
};

// A folder of its own for one test, removed afterwards.
using ScratchFolder = orvane::testing::TemporaryFolder;

// Every file below a folder by relative path, with its bytes; and the merge's suggested name.
struct Exports {
    std::map<std::string, std::vector<std::uint8_t>> files;
    std::string mergeName;
    friend bool operator==(const Exports&, const Exports&) = default;
};

struct ControllerHarness {
    ManualRunLoop loop;
    playback::FakeMIDIFilePlayerFactory players{loop};
    RecordingSink sink;
    ScriptedModalPort modal{loop};
    DiagnosticsCapture log;
    std::shared_ptr<MainViewController> controller;

    // With a song, loaded once the controller has settled.
    explicit ControllerHarness(const std::optional<std::filesystem::path>& song = std::nullopt) {
        players.durationFromData = true;
        controller = MainViewController::create({loop, modal, sink, players.factory()});
        settle();
        if (song) controller->loadMIDI(*song);
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

    // A split or merge with the answers to its alerts (the format first) and its destination.
    void split(std::deque<int> alerts, std::optional<std::filesystem::path> folder) {
        modal.alertAnswers = std::move(alerts);
        modal.folderAnswers = {std::move(folder)};
        controller->splitTracks();
        settle();
    }
    void merge(std::deque<int> alerts, std::optional<std::filesystem::path> file) {
        modal.alertAnswers = std::move(alerts);
        modal.saveAnswers = {std::move(file)};
        controller->mergeAction();
        settle();
    }

    // What split, merge and a loop split of three repeats write, each run in a folder of its own.
    Exports exportAll(const std::filesystem::path& scratch) {
        const auto folder = scratch / ("run" + std::to_string(++exportRuns));
        for (const char* part : {"split", "loop"}) std::filesystem::create_directories(folder / part);
        split({0}, folder / "split");
        merge({0}, folder / "merged.mid");
        controller->loopAction(true);
        modal.loopDialogScript = [](LoopExportDialog& dialog) {
            dialog.repeatFieldChanged("3");
            dialog.confirm();
        };
        split({0}, folder / "loop");
        controller->loopAction(false);
        modal.loopDialogScript = nullptr;
        Exports exports{{}, modal.savePanels.back().suggestedName};
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            if (entry.is_regular_file()) {
                exports.files[std::filesystem::relative(entry.path(), folder).string()] = readBytes(entry.path());
            }
        }
        return exports;
    }
    int exportRuns = 0;
};

}  // namespace orvane::app::testing
