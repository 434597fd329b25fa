#pragma once
// Everything the main controller asks of the screen beyond its view state: alerts, file
// choosers, the file manager, the beep, and the panels and windows it opens. No toolkit
// types: the window implements this with Qt, tests script it. A request that waits for the
// user finishes through its callback (never a nested event loop); a callback may run later,
// after other work, and must be called at most once.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Pickers.h"
#include "app/PromptPanel.h"

namespace orvane::app {

class BeatDetectionController;
class LoopExportDialog;
class MixerPanel;

enum class AlertStyle { informational, warning };

struct AlertRequest {
    AlertStyle style = AlertStyle::informational;
    std::string title;
    std::string informativeText;
    std::vector<std::string> buttons;  // the first is the default (Return)
    friend bool operator==(const AlertRequest&, const AlertRequest&) = default;
};

struct FolderRequest {
    std::string message;                 // "Choose output folder"
    std::string prompt;                  // the confirm button: "Split All Here", ...
    std::filesystem::path startFolder;
    friend bool operator==(const FolderRequest&, const FolderRequest&) = default;
};

struct SavePanelRequest {
    std::string suggestedName;
    std::string extension;  // the only allowed type, without the dot; added when missing
    std::filesystem::path startFolder;
    friend bool operator==(const SavePanelRequest&, const SavePanelRequest&) = default;
};

struct OpenPanelRequest {
    std::vector<std::string> extensions;  // without dots, lower case
    std::filesystem::path startFolder;
    friend bool operator==(const OpenPanelRequest&, const OpenPanelRequest&) = default;
};

// The tempo prompt: an alert with a whole-number field, ".", a decimal field and "BPM".
struct TempoPromptRequest {
    std::string title;
    std::string informativeText;
    std::string wholeText;
    std::string decimalText;
    friend bool operator==(const TempoPromptRequest&, const TempoPromptRequest&) = default;
};
struct TempoPromptAnswer {
    std::string wholeText;
    std::string decimalText;
    friend bool operator==(const TempoPromptAnswer&, const TempoPromptAnswer&) = default;
};

using PathAnswer = std::function<void(std::optional<std::filesystem::path>)>;

class ModalPort {
public:
    ModalPort() = default;
    ModalPort(const ModalPort&) = delete;
    ModalPort& operator=(const ModalPort&) = delete;
    virtual ~ModalPort() = default;

    // answer: the index of the pressed button, or -1 when the alert was dismissed otherwise.
    virtual void runAlert(AlertRequest request, std::function<void(int)> answer) = 0;
    virtual void chooseFolder(FolderRequest request, PathAnswer answer) = 0;
    virtual void chooseSaveLocation(SavePanelRequest request, PathAnswer answer) = 0;
    virtual void chooseFileToOpen(OpenPanelRequest request, PathAnswer answer) = 0;
    // Shows a folder in the file manager, or the folder of a file with the file selected.
    virtual void revealInFileManager(const std::filesystem::path& path) = 0;
    virtual void beep() = 0;
    virtual void showPrompt(PromptRequest request, std::function<void(PromptResult)> answer) = 0;
    virtual void askTempo(TempoPromptRequest request, std::function<void(std::optional<TempoPromptAnswer>)> answer) = 0;
    virtual void showInstrumentPicker(std::shared_ptr<InstrumentPicker> picker,
                                      std::function<void(std::optional<InstrumentPickerSelection>)> answer) = 0;
    virtual void showDrumPicker(std::shared_ptr<DrumPicker> picker,
                                std::function<void(std::optional<DrumInstrumentSelection>)> answer) = 0;
    // Window-modal; the dialog reports through its own onFinish and asks its window to close.
    virtual void showLoopExportDialog(std::shared_ptr<LoopExportDialog> dialog) = 0;
    // Opens the mixer window for panel, or brings the open one to the front.
    virtual void showMixerWindow(std::shared_ptr<MixerPanel> panel) = 0;
    virtual void showBeatDetectionWindow(std::shared_ptr<BeatDetectionController> controller) = 0;
};

}  // namespace orvane::app
