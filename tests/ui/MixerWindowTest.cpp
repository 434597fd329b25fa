// The mixer window over the real controller: strips for the tracks, slider actions that change
// the song, redraws that change nothing, the lock while playback runs (the strip goes back,
// the shield refuses clicks), pan reset, the advanced rows, one window per panel, and meters
// that repaint only when a segment changes. The panel's own rules are tested in tests/app.

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include "UiTestSupport.h"
#include "ui/ActivityMeterWidget.h"
#include "ui/MixerWindow.h"
#include "ui/PromptPanelDialog.h"

using namespace orvane;
using namespace orvane::ui::testing;

namespace {

// The demo loaded, its mixer open.
struct MixerHarness : Harness {
    ui::MixerWindow* mixer = nullptr;
    MixerHarness() {
        load();
        controller->showMixerWindow();
        mixer = findWindow<ui::MixerWindow>();
    }
    const midi::MIDITrack& track(int row) { return controller->midiFile()->musicalTracks()[static_cast<std::size_t>(row)]; }
    QSize contentSize() { return {mixer->panel()->contentSize().width, mixer->panel()->contentSize().height}; }
};

// Closes the prompt panel that is open and answers its message.
QString dismissPrompt() {
    auto* prompt = findWindow<ui::PromptPanelDialog>();
    if (prompt == nullptr) return {};
    const QString message = prompt->findChild<QLabel*>(QStringLiteral("message"))->text();
    prompt->accept();
    settle();
    return message;
}

}  // namespace

class MixerWindowTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { settle(); }

    void stripsShowTheSongAndMovingThemChangesIt() {
        MixerHarness h;
        ui::MixerWindow* mixer = h.mixer;
        QVERIFY(mixer != nullptr);
        QCOMPARE(mixer->strips().size(), h.controller->trackRows().size());
        QCOMPARE(mixer->size(), h.contentSize());
        QCOMPARE(mixer->minimumSize(), mixer->maximumSize());  // not resizable
        QVERIFY(!mixer->emptyLabel()->isVisible() && !mixer->shield()->isVisible());
        ui::MixerStripWidget* strip = mixer->strips().front();
        const int before = h.track(0).volume;
        QCOMPARE(QPoint(strip->volumeSlider()->value(), strip->panSlider()->value()), QPoint(before, h.track(0).pan));
        QCOMPARE(strip->volumeValueLabel()->text(), QString::number(before));
        h.controller->showMixerWindow();  // asking again brings the same window forward
        const auto isMixer = [](QWidget* w) { return w->isVisible() && qobject_cast<ui::MixerWindow*>(w) != nullptr; };
        QCOMPARE(std::ranges::count_if(QApplication::topLevelWidgets(), isMixer), qsizetype{1});

        // A drag: press, moves, release; the song follows, and the drag is one step to undo.
        const std::size_t steps = h.controller->editHistory().undoCount();
        const int dragged = before > 60 ? before - 30 : before + 30;
        QSlider* volume = strip->volumeSlider();
        volume->setSliderDown(true);
        volume->setSliderPosition((before + dragged) / 2);
        volume->setSliderPosition(dragged);
        volume->setSliderDown(false);
        QCOMPARE(int{h.track(0).volume}, dragged);
        QCOMPARE(strip->volumeValueLabel()->text(), QString::number(dragged));
        QCOMPARE(h.controller->editHistory().undoCount(), steps + 1);
        // The keyboard moves a slider too.
        strip->panSlider()->setFocus();
        const int pan = strip->panSlider()->value();
        QTest::keyClick(strip->panSlider(), pan < 127 ? Qt::Key_Right : Qt::Key_Left);
        QCOMPARE(int{h.track(0).pan}, pan < 127 ? pan + 1 : pan - 1);
        // Values drawn from the panel are not reported back as changes.
        const int revision = h.controller->mixerSettingsRevision();
        std::vector<app::MixerStripState> shown = mixer->panel()->strips();
        shown[0].volume = 5;
        mixer->panel()->updateStrips(shown);
        QCOMPARE(QPoint(volume->value(), h.track(0).volume), QPoint(5, dragged));
        QCOMPARE(h.controller->mixerSettingsRevision(), revision);

        // Control-click and right-click centre the pan.
        ui::CenterResetSlider* lastPan = mixer->strips().back()->panSlider();
        const int row = mixer->panel()->strips().back().row;
        const QPoint at(lastPan->width() / 4, lastPan->height() / 2);
        for (const auto& [button, modifiers] : {std::pair{Qt::LeftButton, Qt::ControlModifier}, {Qt::RightButton, Qt::NoModifier}}) {
            lastPan->triggerAction(QAbstractSlider::SliderToMinimum);
            QCOMPARE(int{h.track(row).pan}, 0);
            sendMouse(lastPan, QEvent::MouseButtonPress, at, button, button, modifiers);
            sendMouse(lastPan, QEvent::MouseButtonRelease, at, button, Qt::NoButton, modifiers);
            QVERIFY(h.track(row).pan == 64 && mixer->strips().back()->panValueLabel()->text() == QStringLiteral("C"));
        }

        // The advanced rows grow the window, and their sliders change the song.
        QVERIFY(!strip->advancedRows()->isVisible());
        QTest::mouseClick(mixer->advancedButton(), Qt::LeftButton);
        QCOMPARE(mixer->advancedButton()->text(), QStringLiteral("Collapse Mixer"));
        QVERIFY(mixer->size() == h.contentSize() && strip->advancedRows()->isVisible());
        strip->reverbSlider()->triggerAction(QAbstractSlider::SliderToMaximum);
        strip->velocitySlider()->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(std::pair(int{h.track(0).reverb}, int{h.track(0).velocity}), std::pair(127, 1));
        QTest::mouseClick(mixer->advancedButton(), Qt::LeftButton);
        QVERIFY(mixer->size() == h.contentSize() && !strip->advancedRows()->isVisible());
    }

    void whilePlayingTheStripReturnsAndTheShieldRefuses() {
        MixerHarness h;
        ui::MixerWindow* mixer = h.mixer;
        ui::MixerStripWidget* strip = mixer->strips().front();
        const int volume = h.track(0).volume;
        h.controller->playAction();
        h.runLoop.advance(0.1);
        QVERIFY(mixer->shield()->isVisible());
        QVERIFY(mixer->shield()->geometry().contains(strip->mapTo(mixer, strip->rect().center())));
        const QString refusal = QStringLiteral("Track Mixer changes cannot be used during playback");

        // A key on a focused fader is refused: the song keeps its value and so does the strip.
        strip->volumeSlider()->setFocus();
        keyAndSettle(strip->volumeSlider(), volume < 127 ? Qt::Key_Up : Qt::Key_Down);
        QCOMPARE(QPoint(h.track(0).volume, strip->volumeSlider()->value()), QPoint(volume, volume));
        QCOMPARE(dismissPrompt(), refusal);
        // A click on the strips lands on the shield.
        const QPoint centre = mixer->shield()->rect().center();
        QCOMPARE(mixer->childAt(mixer->shield()->mapTo(mixer, centre)), static_cast<QWidget*>(mixer->shield()));
        QTest::mouseClick(mixer->shield(), Qt::LeftButton, {}, centre);
        QCOMPARE(dismissPrompt(), refusal);
        // The advanced rows cannot be opened either.
        const QSize size = mixer->size();
        QTest::mouseClick(mixer->advancedButton(), Qt::LeftButton);
        QCOMPARE(dismissPrompt(), refusal);
        QCOMPARE(mixer->size(), size);

        // The lock ends with playback.
        h.runLoop.advance(2.0);
        h.controller->pauseAction();
        h.runLoop.runUntilIdle();
        QVERIFY(!mixer->shield()->isVisible());
    }

    void closingTheWindowLetsTheControllerForgetIt() {
        MixerHarness h;
        QVERIFY(h.controller->mixerPanel() != nullptr);
        h.mixer->close();
        settle();
        QVERIFY(h.controller->mixerPanel() == nullptr);
        // A new file closes an open mixer.
        h.controller->showMixerWindow();
        QVERIFY(findWindow<ui::MixerWindow>() != nullptr);
        h.load();
        settle();
        QVERIFY(findWindow<ui::MixerWindow>() == nullptr);
    }

    void emptyAndCrowdedPanels() {
        useApplicationLook();
        QWidget parent;
        ui::QtModalPort port(&parent);
        auto panel = std::make_shared<app::MixerPanel>();
        port.showMixerWindow(panel);
        auto* mixer = findWindow<ui::MixerWindow>();
        QVERIFY(mixer->emptyLabel()->isVisible() && mixer->width() == panel->contentSize().width);
        panel->updateStrips({{0, "Acoustic Grand Piano", 100, 30, 64, 0, 0}, {2, "String Ensemble 1", 80, 100, 64, 0, 3}});
        QVERIFY(!mixer->emptyLabel()->isVisible() && mixer->width() == panel->contentSize().width);
        QCOMPARE(mixer->strips()[0]->panValueLabel()->text() + "|" + mixer->strips()[1]->nameLabel()->text(),
                 QStringLiteral("L34|String\nEnsemble 1"));

        // Many strips scroll rather than widen the window past the screen.
        std::vector<app::MixerStripState> strips;
        for (int row = 0; row < 40; ++row) strips.push_back({row, "Track " + std::to_string(row + 1), 100, 64, 64, 0, 0});
        panel->updateStrips(strips);
        settle();
        const int screenWidth = mixer->screen()->availableGeometry().width();
        QVERIFY(panel->contentSize().width > screenWidth && mixer->width() <= screenWidth);
        QVERIFY(mixer->findChild<QScrollArea*>()->horizontalScrollBar()->maximum() > 0);
        QVERIFY(mixer->height() > panel->contentSize().height);  // room for the scroll bar below the strips
        QCOMPARE(mixer->strips().size(), std::size_t{40});
        mixer->close();
    }

    void meterRepaintsOnlyWhenASegmentChanges() {
        ui::ActivityMeterWidget meter;
        meter.resize(12, 160);
        meter.show();
        const int start = meter.repaintRequests();
        app::ActivityMeterState state;
        // 6 segments; still 6 (nothing to draw); fewer lit with the peak held at 6; the peak drops.
        for (const auto& [level, time, repaints] : {std::tuple{0.5, 0.0, 1}, {0.48, 0.03, 1}, {0.2, 0.06, 2}, {0.2, 1.0, 3}}) {
            state.update(level, false, time);
            meter.setState(state);
            QCOMPARE(meter.repaintRequests(), start + repaints);
        }
        // Segments stack from the bottom, the same size, inside the meter.
        const QRectF bottom = meter.segmentRect(0);
        const QRectF top = meter.segmentRect(app::ActivityMeterState::segmentCount - 1);
        QVERIFY(bottom.top() > top.bottom() && bottom.height() == top.height());
        QVERIFY(QRectF(meter.rect()).contains(top) && QRectF(meter.rect()).contains(bottom));
        // What is drawn: the lowest segment green and the highest red when full, unlit dark.
        state = {};
        state.update(1.0, false, 0);
        meter.setState(state);
        const QColor lowest = meter.grab().toImage().pixelColor(bottom.center().toPoint());
        const QColor highest = meter.grab().toImage().pixelColor(top.center().toPoint());
        QVERIFY(lowest.green() > 200 && lowest.red() < 120);
        QVERIFY(highest.red() > 180 && highest.green() < 120);
        state.update(0, true, 5);
        meter.setState(state);
        const QColor unlit = meter.grab().toImage().pixelColor(top.center().toPoint());
        QVERIFY(unlit.green() < 100 && unlit.red() < 40);
        // A meter too small for segments draws none and does not fail.
        meter.resize(4, 20);
        QVERIFY(meter.segmentRect(0).isEmpty());
        (void)meter.grab();
    }
};

QTEST_MAIN(MixerWindowTest)
#include "MixerWindowTest.moc"
