// The loop export window, opened by the controller's split in loop mode: what it shows, the
// repeat count it accepts and refuses, the space bar wherever the focus is, marker drags, the
// preview's position drawn without repainting the close-up, and the whole export on disk.

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "UiTestSupport.h"
#include "ui/LoopExportWindow.h"
#include "ui/LoopTimelineWidget.h"
#include "ui/PromptPanelDialog.h"

using namespace orvane;
using orvane::ui::testing::findWindow;
using orvane::ui::testing::Harness;
using orvane::ui::testing::sendMouse;
using orvane::ui::testing::settle;
using orvane::ui::testing::shoot;

namespace {

ui::LoopExportWindow* openLoopExport(Harness& h) {
    h.load();
    h.controller->loopAction(true);
    h.runLoop.runUntilIdle();
    h.controller->splitTracks();
    auto* window = findWindow<ui::LoopExportWindow>();
    if (window != nullptr) QApplication::setActiveWindow(window);
    settle();
    return window;
}

void typeRepeatCount(ui::LoopExportWindow* window, const QString& text) {
    window->repeatField()->selectAll();
    QTest::keyClicks(window->repeatField(), text);
}

}  // namespace

class LoopExportWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ui::testing::applyLightLook(); }
    void cleanup() { settle(); }

    void showsTheLoopAndItsTimes() {
        Harness h;
        auto* window = openLoopExport(h);
        QVERIFY(window != nullptr);
        QVERIFY(window->isModal());
        QCOMPARE(window->windowTitle(), QStringLiteral("Loop Exporter"));
        const app::LoopExportDialogState& state = window->dialog()->state();
        QCOMPARE(window->size(), QSize(state.size.width, state.size.height));
        QCOMPARE(window->repeatField()->text(), QStringLiteral("1"));
        QCOMPARE(window->playButton()->text(), QStringLiteral("▶"));
        QCOMPARE(window->pauseButton()->text(), QStringLiteral("⏸"));
        QCOMPARE(window->counterLabel()->text(), QStringLiteral("0:00.0"));
        QCOMPARE(window->startLabel()->text(), QString::fromStdString(state.startText));
        QCOMPARE(window->endLabel()->text(), QString::fromStdString(state.endText));
        QCOMPARE(window->lengthLabel()->text(), QString::fromStdString(state.lengthText));
        QVERIFY(window->errorLabel()->text().isEmpty());
        QVERIFY(!state.lanes.empty());
        // The close-up takes the room the controls leave, at least its own height.
        QVERIFY(window->timeline()->height() >= state.size.timelineHeight);
        QCOMPARE(QApplication::focusWidget(), window->repeatField());
        shoot(window, QStringLiteral("loop-export"));
        QTest::keyClick(window, Qt::Key_Escape);
        settle();
        QVERIFY(findWindow<ui::LoopExportWindow>() == nullptr);
        QVERIFY(!h.controller->isWaitingForUser());
    }

    void refusesZeroAndAThousandAndAcceptsNineHundredNinetyNine() {
        Harness h;
        auto* window = openLoopExport(h);
        for (const QString& refused : {QStringLiteral("0"), QStringLiteral("1000"), QStringLiteral("x")}) {
            typeRepeatCount(window, refused);
            QTest::keyClick(window->repeatField(), Qt::Key_Return);
            settle();
            QVERIFY2(window->isVisible(), qPrintable(refused));
            QCOMPARE(window->errorLabel()->text(), QStringLiteral("Enter a repeat count from 1 to 999."));
            QVERIFY(findWindow<QMessageBox>() == nullptr);
        }
        shoot(window, QStringLiteral("loop-export-refused"));
        typeRepeatCount(window, QStringLiteral("999"));
        QTest::mouseClick(window->okButton(), Qt::LeftButton);
        settle();
        QVERIFY(findWindow<ui::LoopExportWindow>() == nullptr);
        // The split goes on: next it asks for the format.
        auto* format = findWindow<QMessageBox>();
        QVERIFY(format != nullptr);
        QCOMPARE(format->text(), QStringLiteral("Choose MIDI export format"));
        QTest::keyClick(format, Qt::Key_Escape);
        settle();
    }

    void stepperAndFieldMoveTogether() {
        Harness h;
        auto* window = openLoopExport(h);
        QVERIFY(!window->stepDownButton()->isEnabled());
        QTest::mouseClick(window->stepUpButton(), Qt::LeftButton);
        QTest::mouseClick(window->stepUpButton(), Qt::LeftButton);
        QCOMPARE(window->repeatField()->text(), QStringLiteral("3"));
        QTest::keyClick(window->repeatField(), Qt::Key_Down);
        QCOMPARE(window->repeatField()->text(), QStringLiteral("2"));
        typeRepeatCount(window, QStringLiteral("40"));
        QTest::keyClick(window->repeatField(), Qt::Key_Up);
        QCOMPARE(window->repeatField()->text(), QStringLiteral("41"));
        QCOMPARE(window->dialog()->state().repeatStepperValue, 41);
        window->reject();
        settle();
    }

    void spaceTogglesThePreviewWhereverTheFocusIs() {
        Harness h;
        auto* window = openLoopExport(h);
        QCOMPARE(QApplication::focusWidget(), window->repeatField());
        QTest::keyClick(window->repeatField(), Qt::Key_Space);
        QVERIFY(window->dialog()->isPreviewPlaying());
        QCOMPARE(window->playButton()->text(), QStringLiteral("■"));
        QCOMPARE(window->repeatField()->text(), QStringLiteral("1"));  // no space typed

        // The preview's position moves along without repainting the close-up.
        QImage before = window->timeline()->grab().toImage();
        const int paints = window->timeline()->backgroundPaints();
        h.runLoop.advance(0.6);
        QVERIFY(window->counterLabel()->text() != QStringLiteral("0:00.0"));
        QImage after = window->timeline()->grab().toImage();
        QCOMPARE(window->timeline()->backgroundPaints(), paints);
        QVERIFY(before != after);  // the red position line moved
        shoot(window, QStringLiteral("loop-export-preview"));

        // Space on a focused button toggles the preview rather than pressing the button.
        window->cancelButton()->setFocus();
        QTest::keyClick(window->cancelButton(), Qt::Key_Space);
        QVERIFY(!window->dialog()->isPreviewPlaying());
        QVERIFY(window->isVisible());
        QCOMPARE(window->playButton()->text(), QStringLiteral("▶"));

        // The pause button pauses; the play button resumes.
        QTest::mouseClick(window->playButton(), Qt::LeftButton);
        QVERIFY(window->dialog()->isPreviewPlaying());
        QTest::mouseClick(window->pauseButton(), Qt::LeftButton);
        h.runLoop.runUntilIdle();
        QVERIFY(window->dialog()->isPreviewPaused());
        window->reject();
        settle();
    }

    void draggingAMarkerMovesTheLoop() {
        Harness h;
        auto* window = openLoopExport(h);
        ui::LoopTimelineWidget* timeline = window->timeline();
        const app::LoopExportDialogState& state = window->dialog()->state();
        const double start = state.loopStartSeconds;
        const double end = state.loopEndSeconds;
        const app::LoopTimelineGeometry geometry = timeline->geometryNow();
        const double y = geometry.plotRect().y + geometry.plotRect().height / 2;

        // A press far from both markers grabs nothing.
        const double between = (geometry.xForTime(start) + geometry.xForTime(end)) / 2;
        sendMouse(timeline, QEvent::MouseButtonPress, QPointF(between, y), Qt::LeftButton, Qt::LeftButton);
        QVERIFY(!timeline->activeMarker());
        sendMouse(timeline, QEvent::MouseButtonRelease, QPointF(between, y), Qt::LeftButton, Qt::NoButton);

        // The end marker dragged towards the start: the loop shortens, snapped, after the start.
        const QPointF grab(geometry.xForTime(end) - 3, y);
        sendMouse(timeline, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(timeline->activeMarker(), std::optional(app::LoopMarker::end));
        const int paints = timeline->backgroundPaints();
        const QPointF to(geometry.xForTime(start + (end - start) / 2), y);
        sendMouse(timeline, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        sendMouse(timeline, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
        QVERIFY(!timeline->activeMarker());
        QVERIFY(state.loopEndSeconds < end);
        QVERIFY(state.loopEndSeconds > state.loopStartSeconds);
        QCOMPARE(window->endLabel()->text(), QString::fromStdString(state.endText));
        (void)timeline->grab();
        QCOMPARE(timeline->backgroundPaints(), paints + 1);

        // Dragged past the start, it stops after it.
        sendMouse(timeline, QEvent::MouseButtonPress, QPointF(timeline->geometryNow().xForTime(state.loopEndSeconds), y),
                  Qt::LeftButton, Qt::LeftButton);
        sendMouse(timeline, QEvent::MouseMove, QPointF(2, y), Qt::NoButton, Qt::LeftButton);
        sendMouse(timeline, QEvent::MouseButtonRelease, QPointF(2, y), Qt::LeftButton, Qt::NoButton);
        QVERIFY(state.loopEndSeconds > state.loopStartSeconds);
        window->reject();
        settle();
    }

    void aConfirmedLoopIsWrittenWithItsRepeatCount() {
        QTemporaryDir folder;
        Harness h;
        auto* window = openLoopExport(h);
        typeRepeatCount(window, QStringLiteral("4"));
        QTest::keyClick(window->repeatField(), Qt::Key_Return);
        settle();
        auto* format = findWindow<QMessageBox>();
        QVERIFY(format != nullptr);
        QTest::keyClick(format, Qt::Key_Return);  // MIDI 1.0
        settle();
        auto* chooser = findWindow<QFileDialog>();
        QVERIFY(chooser != nullptr);
        QCOMPARE(chooser->labelText(QFileDialog::Accept), QStringLiteral("Split Loop Here"));
        chooser->setDirectory(folder.path());
        QMetaObject::invokeMethod(chooser, "accept");
        settle();
        h.runLoop.runUntilIdle();
        settle();
        int written = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path().toStdString())) {
            QVERIFY2(entry.path().filename().string().find("_loopx4.mid") != std::string::npos,
                     entry.path().filename().c_str());
            ++written;
        }
        QCOMPARE(written, static_cast<int>(h.controller->trackRows().size()));
    }
};

QTEST_MAIN(LoopExportWindowTest)
#include "LoopExportWindowTest.moc"
