#pragma once
// What the widget tests share: the light look of the application, a main-window stand-in with
// the real controller behind it (manual run loop, fake player), finding the windows the port
// opened, keys and clicks, audio files written for beat detection, and screenshots of what
// the tests drove (written when ORVANE_UI_SHOT_DIR names a folder).

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPalette>
#include <QStyleFactory>
#include <QTest>
#include <QWidget>

#include <cmath>
#include <numbers>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/MainViewController.h"
#include "playback/FakeMIDIFilePlayer.h"
#include "support/ManualRunLoop.h"
#include "ui/QtModalPort.h"

namespace orvane::ui::testing {

// Fusion with a light palette, as the application shows itself.
inline void applyLightLook() {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
    palette.setColor(QPalette::WindowText, QColor(0x1d, 0x1d, 0x1f));
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, QColor(0xf5, 0xf5, 0xf7));
    palette.setColor(QPalette::Text, QColor(0x1d, 0x1d, 0x1f));
    palette.setColor(QPalette::Button, QColor(0xf6, 0xf6, 0xf6));
    palette.setColor(QPalette::ButtonText, QColor(0x1d, 0x1d, 0x1f));
    palette.setColor(QPalette::Highlight, QColor(0x2f, 0x7b, 0xf5));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xf0));
    palette.setColor(QPalette::ToolTipText, QColor(0x1d, 0x1d, 0x1f));
    palette.setColor(QPalette::PlaceholderText, QColor(0x8e, 0x8e, 0x93));
    QApplication::setPalette(palette);
}

inline std::filesystem::path sourceDir() { return ORVANE_SOURCE_DIR; }
inline std::filesystem::path demoSong() { return sourceDir() / "examples" / "demo.mid"; }

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
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

inline void sendMouse(QWidget* widget, QEvent::Type type, QPointF at, Qt::MouseButton button,
                      Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, buttons, modifiers);
    QApplication::sendEvent(widget, &event);
}

// Writes the widget as a PNG into ORVANE_UI_SHOT_DIR, when that is set.
inline void shoot(QWidget* widget, const QString& name) {
    const QByteArray folder = qgetenv("ORVANE_UI_SHOT_DIR");
    if (folder.isEmpty() || widget == nullptr) return;
    QCoreApplication::processEvents();
    QDir().mkpath(QString::fromLocal8Bit(folder));
    widget->grab().save(QString::fromLocal8Bit(folder) + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// A 16-bit mono WAV file of clicks at a tempo; a steady tone without beats when bpm is 0.
inline void writeClickWAV(const std::filesystem::path& path, double bpm, double seconds, int rate = 22050) {
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<std::int16_t> samples(frames, 0);
    if (bpm <= 0) {
        for (std::size_t i = 0; i < frames; ++i) {
            samples[i] = static_cast<std::int16_t>(12000.0 * std::sin(2.0 * std::numbers::pi * 220.0 * static_cast<double>(i) / rate));
        }
    } else {
        const double period = 60.0 / bpm * rate;
        for (double beat = 0; beat < static_cast<double>(frames); beat += period) {
            const auto start = static_cast<std::size_t>(beat);
            for (std::size_t i = 0; i < 600 && start + i < frames; ++i) {
                const double decay = std::exp(-static_cast<double>(i) / 120.0);
                const double tone = std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(i) / rate);
                samples[start + i] = static_cast<std::int16_t>(28000.0 * decay * tone);
            }
        }
    }
    std::ofstream out(path, std::ios::binary);
    const auto put32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto put16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const auto dataBytes = static_cast<std::uint32_t>(frames * 2);
    out.write("RIFF", 4);
    put32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(1);
    put32(static_cast<std::uint32_t>(rate));
    put32(static_cast<std::uint32_t>(rate * 2));
    put16(2);
    put16(16);
    out.write("data", 4);
    put32(dataBytes);
    out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(dataBytes));
}

class NullSink final : public app::MainViewSink {
public:
    void render(const app::MainViewState&, unsigned) override {}
};

// The controller with a stand-in main window, the Qt port, a manual run loop and fake players.
struct Harness {
    QWidget mainWindow;
    ManualRunLoop runLoop;
    playback::FakeMIDIFilePlayerFactory players{runLoop};
    std::unique_ptr<QtModalPort> port;
    NullSink sink;
    std::shared_ptr<app::MainViewController> controller;

    Harness() {
        mainWindow.resize(720, 560);
        mainWindow.setWindowTitle(QStringLiteral("Orvane"));
        mainWindow.show();
        port = std::make_unique<QtModalPort>(&mainWindow);
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

}  // namespace orvane::ui::testing
