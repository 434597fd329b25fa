// ui_bench STRESS.mid: the window's speed on this machine, in the real widgets with the silent
// audio output. Prints one line per figure:
//   play latency after the SoundFont is ready (demo song),
//   opening the stress song until its rows and timeline are painted,
//   the largest gap between progress ticks over 10 s of playing it,
//   what painting the timeline costs with it.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/MainViewController.h"
#include "playback/FluidSynthPlayer.h"
#include "ui/Appearance.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/TimelineView.h"
#include "ui/TrackTableModel.h"

namespace {

double ms(const QElapsedTimer& clock) { return static_cast<double>(clock.nsecsElapsed()) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("Usage: ui_bench STRESS.mid [SECONDS]\n", stderr);
        return 2;
    }
    setenv("ORVANE_AUDIO_OUTPUT", "null", 1);
    QApplication application(argc, argv);
    orvane::ui::applyLightAppearance(application);
    const std::string stress = argv[1];
    const double playSeconds = argc > 2 ? std::atof(argv[2]) : 10.0;

    QElapsedTimer clock;
    clock.start();
    orvane::playback::preloadSoundFont({});
    std::printf("SoundFont read in %.0f ms\n", ms(clock));

    orvane::ui::ApplicationOptions options;
    options.silentAudio = true;
    orvane::ui::Application orvane(std::move(options));
    orvane.createWindow();
    orvane.launch();
    auto& window = orvane.window();
    auto& controller = orvane.controller();
    const auto& parts = window.parts();

    enum class Phase { demo, playDemo, openStress, playStress, done };
    Phase phase = Phase::demo;
    QElapsedTimer phaseClock;
    std::vector<double> tickTimes;
    double playPressed = 0;
    int stressRows = -1;  // known once the load returned
    double loadReturned = 0;

    QObject::connect(&window, &orvane::ui::MainWindow::rendered, &application, [&](unsigned changed) {
        if (phase == Phase::playDemo && (changed & orvane::app::playheadSection) && controller.isPlayerPlaying()) {
            std::printf("demo: Play handled in %.1f ms; first progress drawn %.1f ms after the press\n", playPressed,
                        ms(phaseClock));
            controller.stopAction();
            phase = Phase::openStress;
            QTimer::singleShot(200, &application, [&] {
                phaseClock.restart();
                controller.loadMIDI(stress);
                loadReturned = ms(phaseClock);
                stressRows = static_cast<int>(controller.trackRows().size());
            });
        } else if (phase == Phase::playStress && (changed & orvane::app::playheadSection)) {
            tickTimes.push_back(ms(phaseClock));
        }
    });
    QObject::connect(&window, &orvane::ui::MainWindow::framePainted, &application, [&] {
        if (phase != Phase::openStress || stressRows <= 0 || parts.tableModel->rowCount() != stressRows) return;
        std::printf("stress: loaded in %.0f ms; %d rows and the timeline painted %.0f ms after the open request\n",
                    loadReturned, parts.tableModel->rowCount(), ms(phaseClock));
        window.finishResizing();
        // The timeline's paint cost: the whole view, and the strips a moving playhead asks for.
        orvane::ui::TimelineView* timeline = parts.timeline;
        QElapsedTimer paint;
        std::vector<double> full;
        std::vector<double> strips;
        for (int i = 0; i < 200; ++i) {
            const double before = timeline->playheadX();
            timeline->setPlayhead(i / 200.0);
            const double after = timeline->playheadX();
            paint.restart();
            timeline->repaint();
            full.push_back(ms(paint));
            // What a playhead step asks for: the strip it leaves and the one it enters.
            QRegion stripsRegion(QRect(static_cast<int>(before) - 4, 0, 8, timeline->height()));
            stripsRegion += QRect(static_cast<int>(after) - 4, 0, 8, timeline->height());
            paint.restart();
            timeline->repaint(stripsRegion);
            strips.push_back(ms(paint));
        }
        const auto summary = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return std::array<double, 3>{v[v.size() / 2], v[v.size() * 95 / 100], v.back()};
        };
        const auto f = summary(full);
        const auto s = summary(strips);
        std::printf("stress: timeline (%dx%d) whole repaint median %.2f ms, 95th %.2f ms, worst %.2f ms; "
                    "playhead strips median %.2f ms, 95th %.2f ms, worst %.2f ms\n",
                    timeline->width(), timeline->height(), f[0], f[1], f[2], s[0], s[1], s[2]);
        phase = Phase::playStress;
        QTimer::singleShot(100, &application, [&] {
            phaseClock.restart();
            controller.playAction();
            QTimer::singleShot(static_cast<int>(playSeconds * 1000), &application, [&] {
                phase = Phase::done;
                controller.stopAction();
                double worstGap = 0;
                for (std::size_t i = 1; i < tickTimes.size(); ++i) {
                    worstGap = std::max(worstGap, tickTimes[i] - tickTimes[i - 1]);
                }
                std::printf("stress: %zu progress ticks drawn in %.0f s of playing; largest gap %.1f ms\n",
                            tickTimes.size(), playSeconds, worstGap);
                QApplication::quit();
            });
        });
    });

    QTimer::singleShot(100, &application, [&] {
        controller.loadMIDI(std::string(ORVANE_SOURCE_DIR) + "/examples/demo.mid");
        QTimer::singleShot(300, &application, [&] {
            phase = Phase::playDemo;
            phaseClock.restart();
            QElapsedTimer press;
            press.start();
            controller.playAction();
            playPressed = ms(press);
        });
    });
    return QApplication::exec();
}
