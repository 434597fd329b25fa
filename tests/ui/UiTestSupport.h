#pragma once
// What the widget tests share: the application's own look, two harnesses (the controller
// with a stand-in main window, a manual run loop and fake players; and the whole application
// with silent sound), finding and answering the windows the port opened, mouse events, and
// WAV files written for beat detection. Songs and the log capture are the controller tests'.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>

#include <filesystem>
#include <memory>

#include "app/ControllerSongs.h"
#include "app/DiagnosticsCapture.h"
#include "app/MainViewController.h"
#include "playback/FakeMIDIFilePlayer.h"
#include "support/ManualRunLoop.h"
#include "tempo/TempoTestSupport.h"
#include "ui/Appearance.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/QtModalPort.h"

namespace orvane::ui::testing {

using app::testing::demoSong;
using app::testing::DiagnosticsCapture;
using app::testing::steadySong;
using app::testing::writeBytes;

// The look the program has, which also decides how sliders take clicks; once per process.
inline void useApplicationLook() {
    static const bool styled = (applyLightAppearance(*qApp), true);
    (void)styled;
}

// The visible top-level window of type T that opened last, or nullptr.
template <class T>
T* findWindow() {
    T* found = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<T*>(widget); window != nullptr && window->isVisible()) found = window;
    }
    return found;
}

// Lets deferred deletes and queued work of Qt run.
inline void settle() {
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// A click or a key press as QTest sends them, then what Qt does about it.
template <class... Arguments>
void clickAndSettle(Arguments&&... arguments) {
    QTest::mouseClick(std::forward<Arguments>(arguments)...);
    settle();
}
template <class... Arguments>
void keyAndSettle(Arguments&&... arguments) {
    QTest::keyClick(std::forward<Arguments>(arguments)...);
    settle();
}

// Presses the open alert's button titled `title`; false when no alert shows one.
inline bool pressAlertButton(const QString& title) {
    auto* box = findWindow<QMessageBox>();
    for (QAbstractButton* button : box != nullptr ? box->buttons() : QList<QAbstractButton*>{}) {
        if (button->text() == title) {
            button->click();
            return true;
        }
    }
    return false;
}

inline void sendMouse(QWidget* widget, QEvent::Type type, QPointF at, Qt::MouseButton button,
                      Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, buttons, modifiers);
    QApplication::sendEvent(widget, &event);
}

// A 16-bit mono WAV file of clicks at a tempo; a steady tone without beats when bpm is 0.
inline void writeClickWAV(const std::filesystem::path& path, double bpm, double seconds, int rate = 22050) {
    const auto tone = [](std::size_t i, unsigned) { return 0.4f * std::sin(0.2f * static_cast<float>(i)); };
    tempo::testing::writeWave16(path, tempo::testing::render(bpm > 0 ? tempo::testing::clickTrain(bpm, rate) : tone,
                                                             static_cast<std::size_t>(seconds * rate)), rate);
}

// The Qt dialogs, except that revealing a folder does nothing: a test opens no file manager.
class NoRevealPort final : public app::ModalPort {
public:
    explicit NoRevealPort(QWidget* parent) : qt(parent) {}
    QtModalPort qt;

    void revealInFileManager(const std::filesystem::path&) override {}
    void beep() override {}
    void runAlert(app::AlertRequest r, std::function<void(int)> a) override { qt.runAlert(std::move(r), std::move(a)); }
    void chooseFolder(app::FolderRequest r, app::PathAnswer a) override { qt.chooseFolder(std::move(r), std::move(a)); }
    void chooseSaveLocation(app::SavePanelRequest r, app::PathAnswer a) override {
        qt.chooseSaveLocation(std::move(r), std::move(a));
    }
    void chooseFileToOpen(app::OpenPanelRequest r, app::PathAnswer a) override {
        qt.chooseFileToOpen(std::move(r), std::move(a));
    }
    void showPrompt(app::PromptRequest r, std::function<void(app::PromptResult)> a) override {
        qt.showPrompt(std::move(r), std::move(a));
    }
    void askTempo(app::TempoPromptRequest r, std::function<void(std::optional<app::TempoPromptAnswer>)> a) override {
        qt.askTempo(std::move(r), std::move(a));
    }
    void showInstrumentPicker(std::shared_ptr<app::InstrumentPicker> p,
                              std::function<void(std::optional<app::InstrumentPickerSelection>)> a) override {
        qt.showInstrumentPicker(std::move(p), std::move(a));
    }
    void showDrumPicker(std::shared_ptr<app::DrumPicker> p,
                        std::function<void(std::optional<app::DrumInstrumentSelection>)> a) override {
        qt.showDrumPicker(std::move(p), std::move(a));
    }
    void showLoopExportDialog(std::shared_ptr<app::LoopExportDialog> d) override { qt.showLoopExportDialog(std::move(d)); }
    void showMixerWindow(std::shared_ptr<app::MixerPanel> p) override { qt.showMixerWindow(std::move(p)); }
    void showBeatDetectionWindow(std::shared_ptr<app::BeatDetectionController> c) override {
        qt.showBeatDetectionWindow(std::move(c));
    }
};

class NullSink final : public app::MainViewSink {
public:
    void render(const app::MainViewState&, unsigned) override {}
};

// The controller with a stand-in main window, the Qt dialogs, a manual run loop and fake players.
struct Harness {
    QWidget mainWindow;
    ManualRunLoop runLoop;
    playback::FakeMIDIFilePlayerFactory players{runLoop};
    std::unique_ptr<NoRevealPort> port = std::make_unique<NoRevealPort>(&mainWindow);
    NullSink sink;
    std::shared_ptr<app::MainViewController> controller;

    Harness() {
        useApplicationLook();
        mainWindow.resize(720, 560);
        mainWindow.show();
        players.nextDuration = 60.0;
        controller = app::MainViewController::create({runLoop, *port, sink, players.factory()});
    }
    ~Harness() {
        controller.reset();
        port.reset();
        settle();
    }
    void load(const std::filesystem::path& file = demoSong()) {
        controller->loadMIDI(file);
        runLoop.runUntilIdle();
    }
};

// The application as the user meets it: the real window, run loop and dialogs, silent sound.
struct AppHarness {
    std::unique_ptr<Application> app;

    AppHarness() {
        useApplicationLook();
        ApplicationOptions options;
        options.silentAudio = true;
        options.makeModalPort = [](MainWindow& window) -> std::unique_ptr<app::ModalPort> {
            return std::make_unique<NoRevealPort>(&window);
        };
        app = std::make_unique<Application>(std::move(options));
        app->createWindow();
        app->launch();
        QApplication::setActiveWindow(&window());
        settle();
    }
    ~AppHarness() {
        app.reset();
        settle();
    }
    [[nodiscard]] MainWindow& window() { return app->window(); }
    [[nodiscard]] const MainWindow::Parts& parts() { return app->window().parts(); }
    [[nodiscard]] app::MainViewController& controller() { return app->controller(); }
};

}  // namespace orvane::ui::testing
