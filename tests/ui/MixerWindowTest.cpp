// The mixer window over the real controller: strips for the tracks, slider actions that change
// the song, redraws that change nothing, the lock while playback runs (the strip goes back,
// the shield refuses clicks), pan reset, the advanced rows, one window per panel, and meters
// that repaint only when a segment changes.

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/ActivityMeterWidget.h"
#include "ui/MixerWindow.h"
#include "ui/PromptPanelDialog.h"

using namespace orvane;
using orvane::ui::testing::findWindow;
using orvane::ui::testing::Harness;
using orvane::ui::testing::sendMouse;
using orvane::ui::testing::settle;
using orvane::ui::testing::shoot;

namespace {

const midi::MIDITrack& musicalTrack(const app::MainViewController& controller, int row) {
    return *std::next(controller.midiFile()->musicalTracks().begin(), row);
}

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
    void initTestCase() { ui::testing::applyLightLook(); }
    void cleanup() { settle(); }

    void opensOneStripPerTrackAtTheSizeOfItsContent() {
        Harness h;
        h.load();
        h.controller->showMixerWindow();
        auto* mixer = findWindow<ui::MixerWindow>();
        QVERIFY(mixer != nullptr);
        QCOMPARE(mixer->windowTitle(), QStringLiteral("Track Mixer"));
        const std::size_t rows = h.controller->trackRows().size();
        QCOMPARE(mixer->strips().size(), rows);
        const app::MixerContentSize content = mixer->panel()->contentSize();
        QCOMPARE(mixer->size(), QSize(content.width, content.height));
        QCOMPARE(mixer->minimumSize(), mixer->maximumSize());  // not resizable
        QCOMPARE(mixer->advancedButton()->text(), QStringLiteral("Advanced Mixer"));
        QVERIFY(!mixer->emptyLabel()->isVisible());
        QVERIFY(!mixer->shield()->isVisible());

        const ui::MixerStripWidget* strip = mixer->strips().front();
        const midi::MIDITrack& track = musicalTrack(*h.controller, 0);
        QCOMPARE(strip->volumeSlider()->value(), int{track.volume});
        QCOMPARE(strip->panSlider()->value(), int{track.pan});
        QCOMPARE(strip->volumeValueLabel()->text(), QString::number(track.volume));
        QCOMPARE(strip->panValueLabel()->text(), QString::fromStdString(app::panDisplay(track.pan)));
        QCOMPARE(strip->nameLabel()->toolTip(), QString::fromStdString(h.controller->trackRows()[0].instrument));
        QVERIFY(strip->nameLabel()->text().count(QLatin1Char('\n')) <= 1);
        shoot(mixer, QStringLiteral("mixer"));

        // Asking again brings the same window forward.
        h.controller->showMixerWindow();
        int windows = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<ui::MixerWindow*>(widget) != nullptr && widget->isVisible()) ++windows;
        }
        QCOMPARE(windows, 1);
    }

    void movingAStripChangesTheSongAndARedrawDoesNot() {
        Harness h;
        h.load();
        h.controller->showMixerWindow();
        auto* mixer = findWindow<ui::MixerWindow>();
        ui::MixerStripWidget* strip = mixer->strips().front();
        const int before = musicalTrack(*h.controller, 0).volume;

        // A drag: press, moves, release; the song follows, and the drag is one step to undo.
        const std::size_t steps = h.controller->editHistory().undoCount();
        QSlider* volume = strip->volumeSlider();
        volume->setSliderDown(true);
        volume->setSliderPosition(before > 60 ? before - 20 : before + 20);
        volume->setSliderPosition(before > 60 ? before - 30 : before + 30);
        volume->setSliderDown(false);
        const int dragged = before > 60 ? before - 30 : before + 30;
        QCOMPARE(int{musicalTrack(*h.controller, 0).volume}, dragged);
        QCOMPARE(strip->volumeValueLabel()->text(), QString::number(dragged));
        QCOMPARE(h.controller->editHistory().undoCount(), steps + 1);

        // The keyboard moves a slider too.
        strip->panSlider()->setFocus();
        const int pan = strip->panSlider()->value();
        QTest::keyClick(strip->panSlider(), pan < 127 ? Qt::Key_Right : Qt::Key_Left);
        QCOMPARE(int{musicalTrack(*h.controller, 0).pan}, pan < 127 ? pan + 1 : pan - 1);

        // Values drawn from the panel are not reported back as changes.
        const int revision = h.controller->mixerSettingsRevision();
        std::vector<app::MixerStripState> shown = mixer->panel()->strips();
        shown[0].volume = 5;
        mixer->panel()->updateStrips(shown);
        QCOMPARE(volume->value(), 5);
        QCOMPARE(int{musicalTrack(*h.controller, 0).volume}, dragged);
        QCOMPARE(h.controller->mixerSettingsRevision(), revision);
    }

    void controlOrRightClickCentresThePan() {
        Harness h;
        h.load();
        h.controller->showMixerWindow();
        auto* mixer = findWindow<ui::MixerWindow>();
        ui::CenterResetSlider* pan = mixer->strips().back()->panSlider();
        const int row = mixer->panel()->strips().back().row;
        pan->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(int{musicalTrack(*h.controller, row).pan}, 0);
        QCOMPARE(mixer->strips().back()->panValueLabel()->text(), QStringLiteral("L64"));

        const QPoint at(pan->width() / 4, pan->height() / 2);
        sendMouse(pan, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, Qt::ControlModifier);
        sendMouse(pan, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, Qt::ControlModifier);
        QCOMPARE(int{musicalTrack(*h.controller, row).pan}, 64);
        QCOMPARE(pan->value(), 64);
        QCOMPARE(mixer->strips().back()->panValueLabel()->text(), QStringLiteral("C"));

        pan->triggerAction(QAbstractSlider::SliderToMaximum);
        QCOMPARE(mixer->strips().back()->panValueLabel()->text(), QStringLiteral("R63"));
        sendMouse(pan, QEvent::MouseButtonPress, at, Qt::RightButton, Qt::RightButton);
        sendMouse(pan, QEvent::MouseButtonRelease, at, Qt::RightButton, Qt::NoButton);
        QCOMPARE(int{musicalTrack(*h.controller, row).pan}, 64);
    }

    void whilePlayingTheStripReturnsAndTheShieldRefuses() {
        Harness h;
        h.load();
        h.controller->showMixerWindow();
        auto* mixer = findWindow<ui::MixerWindow>();
        ui::MixerStripWidget* strip = mixer->strips().front();
        const int volume = musicalTrack(*h.controller, 0).volume;

        h.controller->playAction();
        h.runLoop.advance(0.1);
        QVERIFY(h.controller->isPlayerPlaying());
        QVERIFY(mixer->shield()->isVisible());
        QVERIFY(mixer->shield()->geometry().contains(strip->mapTo(mixer, strip->rect().center())));
        shoot(mixer, QStringLiteral("mixer-playing"));

        // A key on a focused fader is refused: the song keeps its value and so does the strip.
        strip->volumeSlider()->setFocus();
        QTest::keyClick(strip->volumeSlider(), volume < 127 ? Qt::Key_Up : Qt::Key_Down);
        settle();
        QCOMPARE(int{musicalTrack(*h.controller, 0).volume}, volume);
        QCOMPARE(strip->volumeSlider()->value(), volume);
        QCOMPARE(strip->volumeValueLabel()->text(), QString::number(volume));
        QCOMPARE(dismissPrompt(), QStringLiteral("Track Mixer changes cannot be used during playback"));

        // A click on the strips lands on the shield.
        const QPoint centre = mixer->shield()->rect().center();
        QCOMPARE(mixer->childAt(mixer->shield()->mapTo(mixer, centre)), static_cast<QWidget*>(mixer->shield()));
        QTest::mouseClick(mixer->shield(), Qt::LeftButton, {}, centre);
        QCOMPARE(dismissPrompt(), QStringLiteral("Track Mixer changes cannot be used during playback"));

        // The advanced rows cannot be opened either.
        const QSize size = mixer->size();
        QTest::mouseClick(mixer->advancedButton(), Qt::LeftButton);
        QCOMPARE(dismissPrompt(), QStringLiteral("Track Mixer changes cannot be used during playback"));
        QCOMPARE(mixer->size(), size);
        QCOMPARE(mixer->advancedButton()->text(), QStringLiteral("Advanced Mixer"));

        // Meters follow playback, then the lock ends with it.
        h.runLoop.advance(2.0);
        h.controller->pauseAction();
        h.runLoop.runUntilIdle();
        QVERIFY(!mixer->shield()->isVisible());
    }

    void advancedRowsGrowTheWindow() {
        Harness h;
        h.load();
        h.controller->showMixerWindow();
        auto* mixer = findWindow<ui::MixerWindow>();
        ui::MixerStripWidget* strip = mixer->strips().front();
        QVERIFY(!strip->advancedRows()->isVisible());
        QCOMPARE(strip->height(), app::MixerPanel::collapsedStripHeight);
        QTest::mouseClick(mixer->advancedButton(), Qt::LeftButton);
        QCOMPARE(mixer->advancedButton()->text(), QStringLiteral("Collapse Mixer"));
        QCOMPARE(mixer->height(), 520);
        QCOMPARE(strip->height(), app::MixerPanel::expandedStripHeight);
        QVERIFY(strip->advancedRows()->isVisible());
        shoot(mixer, QStringLiteral("mixer-advanced"));

        strip->reverbSlider()->triggerAction(QAbstractSlider::SliderToMaximum);
        strip->velocitySlider()->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(int{musicalTrack(*h.controller, 0).reverb}, 127);
        QCOMPARE(int{musicalTrack(*h.controller, 0).velocity}, 1);
        QCOMPARE(strip->velocityValueLabel()->text(), QStringLiteral("1"));

        QTest::mouseClick(mixer->advancedButton(), Qt::LeftButton);
        QCOMPARE(mixer->height(), 406);
        QVERIFY(!strip->advancedRows()->isVisible());
    }

    void closingTheWindowLetsTheControllerForgetIt() {
        Harness h;
        h.load();
        h.controller->showMixerWindow();
        QVERIFY(h.controller->mixerPanel() != nullptr);
        findWindow<ui::MixerWindow>()->close();
        settle();
        QVERIFY(h.controller->mixerPanel() == nullptr);
        // A new file closes an open mixer.
        h.controller->showMixerWindow();
        QVERIFY(findWindow<ui::MixerWindow>() != nullptr);
        h.load();
        settle();
        QVERIFY(findWindow<ui::MixerWindow>() == nullptr);
    }

    void emptyPanelSaysWhatToDo() {
        QWidget parent;
        ui::QtModalPort port(&parent);
        auto panel = std::make_shared<app::MixerPanel>();
        port.showMixerWindow(panel);
        auto* mixer = findWindow<ui::MixerWindow>();
        QVERIFY(mixer->emptyLabel()->isVisible());
        QCOMPARE(mixer->emptyLabel()->text(), QStringLiteral("Select tracks to populate the mixer."));
        QCOMPARE(mixer->width(), 160);
        shoot(mixer, QStringLiteral("mixer-empty"));
        panel->updateStrips({{0, "Acoustic Grand Piano", 100, 64, 64, 0, 0},
                             {1, "Synth Bass 1", 90, 30, 80, 20, 1},
                             {2, "String Ensemble 1", 80, 100, 64, 0, 2},
                             {3, "Lead 1 (square)", 70, 64, 64, 0, 3}});
        QVERIFY(!mixer->emptyLabel()->isVisible());
        QCOMPARE(mixer->width(), 4 * 56 + 3 * 5 + 20);
        QCOMPARE(mixer->strips()[1]->panValueLabel()->text(), QStringLiteral("L34"));
        QCOMPARE(mixer->strips()[2]->panValueLabel()->text(), QStringLiteral("R36"));
        // Long names get a smaller font before they are cut short.
        QCOMPARE(mixer->strips()[2]->nameLabel()->text(), QStringLiteral("String\nEnsemble 1"));
        QCOMPARE(mixer->strips()[3]->barColor(), QColor::fromRgbF(0.72f, 0.4f, 0.85f));
        mixer->close();
    }

    void manyStripsScrollRatherThanWidenPastTheScreen() {
        QWidget parent;
        ui::QtModalPort port(&parent);
        auto panel = std::make_shared<app::MixerPanel>();
        std::vector<app::MixerStripState> strips;
        for (int row = 0; row < 40; ++row) {
            strips.push_back({row, "Track instrument " + std::to_string(row + 1), static_cast<std::uint8_t>(60 + row),
                              64, 64, 0, app::paletteIndex(static_cast<std::size_t>(row))});
        }
        panel->updateStrips(strips);
        port.showMixerWindow(panel);
        auto* mixer = findWindow<ui::MixerWindow>();
        const int screenWidth = mixer->screen()->availableGeometry().width();
        QVERIFY(panel->contentSize().width > screenWidth);
        QVERIFY(mixer->width() <= screenWidth);
        auto* scroll = mixer->findChild<QScrollArea*>();
        QVERIFY(scroll->horizontalScrollBar()->maximum() > 0);
        QVERIFY(mixer->height() > 406);  // room for the scroll bar below the strips
        QCOMPARE(mixer->strips().size(), std::size_t{40});
        shoot(mixer, QStringLiteral("mixer-many"));
        mixer->close();
    }

    void meterRepaintsOnlyWhenASegmentChanges() {
        ui::ActivityMeterWidget meter;
        meter.resize(12, 160);
        meter.show();
        const int start = meter.repaintRequests();
        app::ActivityMeterState state;
        state.update(0.5, false, 0);  // 6 segments
        meter.setState(state);
        QCOMPARE(meter.repaintRequests(), start + 1);
        state.update(0.48, false, 0.03);  // still 6 segments: nothing to draw
        meter.setState(state);
        QCOMPARE(meter.repaintRequests(), start + 1);
        state.update(0.2, false, 0.06);  // fewer lit, the peak holds at 6
        meter.setState(state);
        QCOMPARE(meter.repaintRequests(), start + 2);
        state.update(0.2, false, 1.0);  // the held peak drops
        meter.setState(state);
        QCOMPARE(meter.repaintRequests(), start + 3);

        // Segments stack from the bottom, the same size, inside the meter.
        const QRectF bottom = meter.segmentRect(0);
        const QRectF top = meter.segmentRect(app::ActivityMeterState::segmentCount - 1);
        QVERIFY(bottom.top() > top.bottom());
        QCOMPARE(bottom.height(), top.height());
        QVERIFY(QRectF(meter.rect()).contains(top) && QRectF(meter.rect()).contains(bottom));

        // What is drawn: the lit segments green, the rest dark.
        state = {};
        state.update(1.0, false, 0);
        meter.setState(state);
        const QImage image = meter.grab().toImage();
        const QColor lowest = image.pixelColor(bottom.center().toPoint());
        const QColor highest = image.pixelColor(top.center().toPoint());
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
