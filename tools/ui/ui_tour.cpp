// ui_tour DIR: walks the window through its main states and writes a PNG of each into DIR,
// for a person to look at. Runs on any Qt platform (QT_QPA_PLATFORM=offscreen needs no
// display); plays silently.
//
//   ui_tour DIR [--demo FILE]

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <string>

#include "app/MainViewController.h"
#include "ui/Appearance.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"

namespace {

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
    tour.then("done", [&] {
        QApplication::quit();
        return true;
    });
    QTimer::singleShot(0, [&] { tour.run(); });
    const int code = QApplication::exec();
    return code != 0 ? code : (failures > 0 ? 1 : 0);
}
