#pragma once
// Shared by the main window's tests: the application as the user meets it (the Qt dialogs,
// silent sound), finding and answering its dialogs, small song files written on the fly, and
// synthetic drags and drops.

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>

#include "support/Diagnostics.h"
#include "ui/Appearance.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/QtModalPort.h"

namespace orvane::ui::test {


inline std::filesystem::path demoSong() { return std::filesystem::path(ORVANE_SOURCE_DIR) / "examples" / "demo.mid"; }

inline void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A Format 1 song of `tracks` tracks, each playing one note on its own channel for a bar,
// one bar after the previous track's.
inline std::vector<std::uint8_t> songWithTracks(int tracks) {
    std::vector<std::uint8_t> bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    bytes.push_back(static_cast<std::uint8_t>(tracks >> 8));
    bytes.push_back(static_cast<std::uint8_t>(tracks & 0xFF));
    bytes.push_back(0x01);
    bytes.push_back(0xE0);  // 480 ticks per quarter
    for (int t = 0; t < tracks; ++t) {
        const auto channel = static_cast<std::uint8_t>(t % 16 == 9 ? 0 : t % 16);
        const std::uint32_t delay = static_cast<std::uint32_t>(t) * 1920;
        std::vector<std::uint8_t> body;
        // Delta as a variable-length quantity.
        std::vector<std::uint8_t> vlq{static_cast<std::uint8_t>(delay & 0x7F)};
        for (std::uint32_t rest = delay >> 7; rest != 0; rest >>= 7) {
            vlq.insert(vlq.begin(), static_cast<std::uint8_t>(0x80 | (rest & 0x7F)));
        }
        body.insert(body.end(), vlq.begin(), vlq.end());
        body.insert(body.end(), {static_cast<std::uint8_t>(0x90 | channel), 60, 100, 0x8F, 0x00,
                                 static_cast<std::uint8_t>(0x80 | channel), 60, 0, 0x00, 0xFF, 0x2F, 0x00});
        bytes.insert(bytes.end(), {'M', 'T', 'r', 'k'});
        const auto size = static_cast<std::uint32_t>(body.size());
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(size >> shift));
        bytes.insert(bytes.end(), body.begin(), body.end());
    }
    return bytes;
}

// A second of silence as 16-bit mono PCM.
inline std::vector<std::uint8_t> silentWAV() {
    const std::uint32_t rate = 8000;
    const std::uint32_t dataSize = rate * 2;
    std::vector<std::uint8_t> bytes;
    const auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const auto put16 = [&](std::uint16_t v) {
        bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
    put32(36 + dataSize);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(16);
    put16(1);
    put16(1);
    put32(rate);
    put32(rate * 2);
    put16(2);
    put16(16);
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    put32(dataSize);
    bytes.resize(bytes.size() + dataSize, 0);
    return bytes;
}

// The diagnostics log's lines while it lives.
class LogCapture {
public:
    LogCapture() {
        BetaDiagnostics::shared().setObserver([this](std::string_view line) {
            const std::lock_guard lock(mutex_);
            lines_.emplace_back(line);
        });
    }
    ~LogCapture() { BetaDiagnostics::shared().setObserver({}); }
    [[nodiscard]] int count(const std::string& prefix) {
        const std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto& line : lines_) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
    void clear() {
        const std::lock_guard lock(mutex_);
        lines_.clear();
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// The Qt dialogs, except that revealing a folder is only recorded: a test opens no file
// manager.
class RecordingRevealPort final : public app::ModalPort {
public:
    explicit RecordingRevealPort(QWidget* parent) : qt_(parent) {}
    std::vector<std::filesystem::path> revealed;

    void runAlert(app::AlertRequest request, std::function<void(int)> answer) override {
        qt_.runAlert(std::move(request), std::move(answer));
    }
    void chooseFolder(app::FolderRequest request, app::PathAnswer answer) override {
        qt_.chooseFolder(std::move(request), std::move(answer));
    }
    void chooseSaveLocation(app::SavePanelRequest request, app::PathAnswer answer) override {
        qt_.chooseSaveLocation(std::move(request), std::move(answer));
    }
    void chooseFileToOpen(app::OpenPanelRequest request, app::PathAnswer answer) override {
        qt_.chooseFileToOpen(std::move(request), std::move(answer));
    }
    void revealInFileManager(const std::filesystem::path& path) override { revealed.push_back(path); }
    void beep() override {}
    void showPrompt(app::PromptRequest request, std::function<void(app::PromptResult)> answer) override {
        qt_.showPrompt(std::move(request), std::move(answer));
    }
    void askTempo(app::TempoPromptRequest request,
                  std::function<void(std::optional<app::TempoPromptAnswer>)> answer) override {
        qt_.askTempo(std::move(request), std::move(answer));
    }
    void showInstrumentPicker(std::shared_ptr<app::InstrumentPicker> picker,
                              std::function<void(std::optional<app::InstrumentPickerSelection>)> answer) override {
        qt_.showInstrumentPicker(std::move(picker), std::move(answer));
    }
    void showDrumPicker(std::shared_ptr<app::DrumPicker> picker,
                        std::function<void(std::optional<app::DrumInstrumentSelection>)> answer) override {
        qt_.showDrumPicker(std::move(picker), std::move(answer));
    }
    void showLoopExportDialog(std::shared_ptr<app::LoopExportDialog> dialog) override {
        qt_.showLoopExportDialog(std::move(dialog));
    }
    void showMixerWindow(std::shared_ptr<app::MixerPanel> panel) override { qt_.showMixerWindow(std::move(panel)); }
    void showBeatDetectionWindow(std::shared_ptr<app::BeatDetectionController> controller) override {
        qt_.showBeatDetectionWindow(std::move(controller));
    }
    [[nodiscard]] std::vector<QWidget*> openWindows() const { return qt_.openWindows(); }

private:
    QtModalPort qt_;
};

// The visible top-level window of type T that opened last, or nullptr.
template <class T>
T* visibleWindow() {
    T* found = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<T*>(widget); window != nullptr && window->isVisible()) found = window;
    }
    return found;
}

// Presses the alert's button titled `title`; false when no alert shows one.
inline bool pressAlertButton(const QString& title) {
    auto* box = visibleWindow<QMessageBox>();
    if (box == nullptr) return false;
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == title) {
            button->click();
            return true;
        }
    }
    return false;
}

// The application as the user meets it.
struct Harness {
    RecordingRevealPort* modal = nullptr;
    std::unique_ptr<Application> app;

    Harness() {
        // The look the program has, which also decides how sliders take clicks.
        static const bool styled = [] {
            applyLightAppearance(*qobject_cast<QApplication*>(QCoreApplication::instance()));
            return true;
        }();
        (void)styled;
        ApplicationOptions options;
        options.silentAudio = true;
        options.makeModalPort = [this](MainWindow& window) {
            auto port = std::make_unique<RecordingRevealPort>(&window);
            modal = port.get();
            return port;
        };
        app = std::make_unique<Application>(std::move(options));
        app->createWindow();
        app->launch();
        QApplication::setActiveWindow(&window());
        settle();
    }

    [[nodiscard]] MainWindow& window() { return app->window(); }
    [[nodiscard]] const MainWindow::Parts& parts() { return app->window().parts(); }
    [[nodiscard]] app::MainViewController& controller() { return app->controller(); }

    ~Harness() {
        app.reset();
        settle();
    }

    // Lets queued work (the controller's view updates, dialogs closing) run.
    static void settle(int milliseconds = 0) {
        for (int i = 0; i < 4; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        if (milliseconds > 0) QTest::qWait(milliseconds);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
};

inline QMimeData* fileMime(const std::filesystem::path& path) {
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(QString::fromStdString(path.string()))});
    return mime;
}

// A drag entering the widget; answers whether it was accepted.
inline bool dragEnter(QWidget* target, const std::filesystem::path& path) {
    std::unique_ptr<QMimeData> mime(fileMime(path));
    QDragEnterEvent event(target->rect().center(), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
}

inline void dragLeave(QWidget* target) {
    QDragLeaveEvent event;
    QApplication::sendEvent(target, &event);
}

// A drop on the widget; answers whether it was accepted.
inline bool drop(QWidget* target, const std::filesystem::path& path) {
    dragEnter(target, path);
    std::unique_ptr<QMimeData> mime(fileMime(path));
    QDropEvent event(QPointF(target->rect().center()), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
    return event.isAccepted();
}

}  // namespace orvane::ui::test
