// ui_tour DIR: walks the window through its main states and writes a PNG of each into DIR,
// for a person to look at. Runs on any Qt platform (QT_QPA_PLATFORM=offscreen needs no
// display); plays silently.
//
//   ui_tour DIR [--demo FILE]

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <string>

#include "app/BeatDetectionController.h"
#include "app/MainViewController.h"
#include "ui/Appearance.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"

#include "ui/QtModalPort.h"

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

// Ten seconds of clicks at 120 BPM, 16-bit mono: something for tempo detection to find.
QByteArray clickTrackWAV() {
    const int rate = 22050;
    const int frames = rate * 10;
    QByteArray samples(frames * 2, 0);
    for (int beat = 0; beat * rate / 2 < frames; ++beat) {
        const int start = beat * rate / 2;
        for (int i = 0; i < 600 && start + i < frames; ++i) {
            const double envelope = 1.0 - i / 600.0;
            const auto value = static_cast<qint16>(26000 * envelope * ((i / 8) % 2 == 0 ? 1 : -1));
            samples[2 * (start + i)] = static_cast<char>(value & 0xFF);
            samples[2 * (start + i) + 1] = static_cast<char>((value >> 8) & 0xFF);
        }
    }
    QByteArray wav;
    const auto put32 = [&](quint32 v) {
        for (int i = 0; i < 4; ++i) wav.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    const auto put16 = [&](quint16 v) {
        wav.append(static_cast<char>(v & 0xFF));
        wav.append(static_cast<char>(v >> 8));
    };
    wav.append("RIFF");
    put32(static_cast<quint32>(36 + samples.size()));
    wav.append("WAVEfmt ");
    put32(16);
    put16(1);
    put16(1);
    put32(rate);
    put32(rate * 2);
    put16(2);
    put16(16);
    wav.append("data");
    put32(static_cast<quint32>(samples.size()));
    wav.append(samples);
    return wav;
}

// A Format 1 song of `tracks` tracks with General MIDI instruments, for the crowded mixer.
QByteArray bandSong(int tracks) {
    QByteArray song("MThd\0\0\0\x06\0\x01", 10);
    song.append(static_cast<char>(tracks >> 8));
    song.append(static_cast<char>(tracks & 0xFF));
    song.append("\x01\xE0", 2);
    for (int t = 0; t < tracks; ++t) {
        const int channel = t >= 9 ? (t + 1) % 16 : t;
        QByteArray body;
        body.append(static_cast<char>(0));
        body.append(static_cast<char>(0xC0 | channel));
        body.append(static_cast<char>((t * 9) % 128));
        for (int bar = 0; bar < 8; ++bar) {
            body.append(static_cast<char>(0));
            body.append(static_cast<char>(0x90 | channel));
            body.append(static_cast<char>(48 + (t * 5 + bar * 2) % 36));
            body.append(static_cast<char>(90));
            body.append("\x8F\x00", 2);  // a whole note later
            body.append(static_cast<char>(0x80 | channel));
            body.append(static_cast<char>(48 + (t * 5 + bar * 2) % 36));
            body.append(static_cast<char>(0));
        }
        body.append("\0\xFF\x2F\0", 4);
        song.append("MTrk");
        for (int shift = 24; shift >= 0; shift -= 8) song.append(static_cast<char>((body.size() >> shift) & 0xFF));
        song.append(body);
    }
    return song;
}

// Steps run one after another, each when the previous one says it is done; a step that waits
// for something polls every 50 ms.
class Tour {
public:
    using Step = std::function<bool()>;  // true when finished
    void then(std::string name, Step step) { steps_.push_back({std::move(name), std::move(step)}); }
    void wait(int milliseconds) {
        auto until = std::make_shared<qint64>(-1);
        then("wait", [until, milliseconds] {
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            if (*until < 0) *until = now + milliseconds;
            return now >= *until;
        });
    }
    void run() {
        if (steps_.empty()) {
            QApplication::quit();
            return;
        }
        if (!steps_.front().step()) {
            QTimer::singleShot(50, [this] { run(); });
            return;
        }
        steps_.pop_front();
        QTimer::singleShot(0, [this] { run(); });
    }

private:
    struct Named {
        std::string name;
        Step step;
    };
    std::deque<Named> steps_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) == "--help") {
        std::fputs("Usage: ui_tour DIR [--demo FILE]\nWrites PNG screenshots of the window's states into DIR.\n",
                   argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    setenv("ORVANE_AUDIO_OUTPUT", "null", 1);
    QApplication application(argc, argv);
    orvane::ui::applyLightAppearance(application);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    QString demo = QString(ORVANE_SOURCE_DIR) + "/examples/demo.mid";
    for (int i = 2; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--demo") demo = QString::fromLocal8Bit(argv[i + 1]);
    }

    orvane::ui::ApplicationOptions options;
    options.silentAudio = true;
    orvane::ui::Application orvane(std::move(options));
    orvane.createWindow();
    orvane::ui::MainWindow& window = orvane.window();
    auto& controller = orvane.controller();
    int failures = 0;

    const auto shoot = [&](const QString& name, QWidget& widget) {
        const QString path = folder + "/" + name + ".png";
        if (!widget.grab().save(path)) {
            std::fprintf(stderr, "ui_tour: could not write %s\n", qPrintable(path));
            ++failures;
        } else {
            std::printf("%s\n", qPrintable(path));
        }
    };
    const auto settled = [&] { return !window.isResizing(); };

    Tour tour;
    tour.then("show", [&] {
        orvane.launch();
        return true;
    });
    tour.wait(300);
    tour.then("empty", [&] {
        shoot("01-empty", window);
        controller.loadMIDI(demo.toStdString());
        return true;
    });
    tour.wait(100);
    tour.then("settle", settled);
    tour.then("demo", [&] {
        shoot("02-demo-loaded", window);
        controller.loopAction(true);
        return true;
    });
    tour.wait(200);
    tour.then("loop", [&] {
        shoot("03-loop-on", window);
        controller.loopAction(false);
        controller.checkboxToggled(1, true);
        controller.checkboxToggled(3, true);
        controller.tableSelectionChanged(2);
        controller.playAction();
        return true;
    });
    tour.wait(1600);
    tour.then("playing", [&] {
        shoot("04-playing", window);
        controller.stopAction();
        controller.auditionButtonPressed(0);
        return true;
    });
    tour.wait(900);
    tour.then("audition", [&] {
        shoot("05-audition", window);
        controller.stopAction();
        return true;
    });
    auto* port = dynamic_cast<orvane::ui::QtModalPort*>(&orvane.modal());
    const auto newest = [port]() -> QWidget* {
        const auto windows = port->openWindows();
        return windows.empty() ? nullptr : windows.back();
    };
    const auto shootNewest = [&](const QString& name) {
        QWidget* shown = newest();
        if (shown == nullptr) {
            std::fprintf(stderr, "ui_tour: no window for %s\n", qPrintable(name));
            ++failures;
            return;
        }
        shoot(name, *shown);
    };
    const auto closeNewest = [&] {
        if (QWidget* shown = newest()) {
            if (auto* dialog = qobject_cast<QDialog*>(shown)) {
                dialog->reject();
            } else {
                shown->close();
            }
        }
    };
    const auto windowShown = [&] { return newest() != nullptr && newest()->isVisible(); };
    // The files the tour drops and opens live in a folder of their own, not among the shots.
    QTemporaryDir inputs;
    const QString notes = inputs.filePath("notes.txt");
    writeFile(notes, "not a song");
    const QString clicks = inputs.filePath("clicks-120.wav");
    writeFile(clicks, clickTrackWAV());
    const QString broken = inputs.filePath("broken.wav");
    writeFile(broken, QByteArray("RIFF\x10\0\0\0WAVEjunkjunk", 20));
    const QString band = inputs.filePath("band.mid");
    writeFile(band, bandSong(14));

    tour.then("mixer", [&] {
        controller.showMixerWindow();
        return true;
    });
    tour.then("mixer shown", windowShown);
    tour.wait(300);
    tour.then("mixer shot", [&] {
        shootNewest("06-mixer-few-tracks");
        closeNewest();
        controller.tableSelectionChanged(3);
        controller.showInstrumentPicker();
        return true;
    });
    tour.then("instrument picker shown", windowShown);
    tour.wait(200);
    tour.then("instrument picker", [&] {
        if (QWidget* picker = newest()) {
            if (auto* filter = picker->findChild<QLineEdit*>()) filter->setText("piano");
        }
        return true;
    });
    tour.wait(200);
    tour.then("instrument picker shot", [&] {
        shootNewest("08-instrument-picker");
        closeNewest();
        controller.presentDrumInstrumentPicker(0);
        return true;
    });
    tour.then("drum picker shown", windowShown);
    tour.wait(200);
    tour.then("drum picker shot", [&] {
        shootNewest("09-drum-picker");
        closeNewest();
        orvane.modal().showPrompt({"Name the loop file. It is written next to the song.", std::string("demo loop"),
                                   std::string("Show the file when it is written"), true, "Save",
                                   std::string("Cancel")},
                                  [](orvane::app::PromptResult) {});
        return true;
    });
    tour.then("prompt shown", windowShown);
    tour.wait(200);
    tour.then("prompt shot", [&] {
        shootNewest("10-prompt-panel");
        closeNewest();
        controller.loopAction(true);
        controller.splitTracks();
        return true;
    });
    tour.then("loop export shown", windowShown);
    tour.wait(400);
    tour.then("loop export shot", [&] {
        shootNewest("07-loop-export-dialog");
        closeNewest();
        controller.loopAction(false);
        controller.dropFile(clicks.toStdString());
        return true;
    });
    tour.then("detection result", [&] {
        const auto& detection = controller.beatDetection();
        return detection && detection->state().gridVisible;
    });
    tour.wait(1500);
    tour.then("detection shot", [&] {
        shootNewest("11-beat-detection-result");
        closeNewest();
        return true;
    });
    tour.wait(300);
    tour.then("detection failure", [&] {
        controller.dropFile(broken.toStdString());
        return true;
    });
    tour.then("failure shown", [&] {
        const auto& detection = controller.beatDetection();
        return detection && detection->state().okVisible;
    });
    tour.wait(1500);
    tour.then("failure shot", [&] {
        shootNewest("12-beat-detection-failure");
        closeNewest();
        return true;
    });
    tour.wait(300);
    tour.then("unsupported", [&] {
        controller.dropFile(notes.toStdString());
        return true;
    });
    tour.then("alert shown", windowShown);
    tour.wait(300);
    tour.then("alert shot", [&] {
        shootNewest("13-unsupported-file-alert");
        closeNewest();
        controller.loadMIDI(band.toStdString());
        return true;
    });
    tour.wait(300);
    tour.then("settle many", settled);
    tour.then("many tracks", [&] {
        shoot("14-many-tracks", window);
        controller.showMixerWindow();
        return true;
    });
    tour.then("mixer many shown", windowShown);
    tour.wait(300);
    tour.then("mixer many shot", [&] {
        shootNewest("15-mixer-many-tracks");
        closeNewest();
        return true;
    });
    tour.then("warning", [&] {
        controller.loadMIDI(demo.toStdString());
        controller.transposeFieldCommitted("-20");
        return true;
    });
    tour.wait(300);
    tour.then("settle warning", settled);
    tour.then("warning shot", [&] {
        shoot("16-status-warning", window);
        const QString garbage = inputs.filePath("garbage.mid");
        QFile file(garbage);
        if (file.open(QIODevice::WriteOnly)) file.write("this is no MIDI file");
        file.close();
        controller.loadMIDI(garbage.toStdString());
        return true;
    });
    tour.wait(300);
    tour.then("settle error", settled);
    tour.then("error shot", [&] {
        shoot("17-status-error", window);
        return true;
    });
    tour.then("done", [&] {
        QApplication::quit();
        return true;
    });
    QTimer::singleShot(0, [&] { tour.run(); });
    const int code = QApplication::exec();
    return code != 0 ? code : (failures > 0 ? 1 : 0);
}
