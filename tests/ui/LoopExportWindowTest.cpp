// The loop export window, opened by the controller's split in loop mode: what it shows, the
// repeat count it accepts and refuses, the space bar wherever the focus is, marker drags, the
// preview's position drawn without repainting the close-up, and the whole export on disk.

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>

#include "UiTestSupport.h"
#include "ui/LoopExportWindow.h"
#include "ui/LoopTimelineWidget.h"

using namespace orvane;
using namespace orvane::ui::testing;

namespace {

// The demo in loop mode, split: the loop export window is open.
struct LoopHarness : Harness {
    ui::LoopExportWindow* window = nullptr;
    LoopHarness() {
        load();
        controller->loopAction(true);
        runLoop.runUntilIdle();
        controller->splitTracks();
        window = findWindow<ui::LoopExportWindow>();
        if (window != nullptr) QApplication::setActiveWindow(window);
        settle();
    }
    const app::LoopExportDialogState& state() const { return window->dialog()->state(); }
    void typeRepeatCount(const QString& text, Qt::Key key) {
        window->repeatField()->selectAll();
        QTest::keyClicks(window->repeatField(), text);
        keyAndSettle(window->repeatField(), key);
    }
};

}  // namespace

class LoopExportWindowTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { settle(); }

    void showsTheLoopAndEscapeCancels() {
        LoopHarness h;
        ui::LoopExportWindow* window = h.window;
        QVERIFY(window != nullptr && window->isModal());
        QCOMPARE(window->size(), QSize(h.state().size.width, h.state().size.height));
        QCOMPARE(window->repeatField()->text() + window->playButton()->text() + window->pauseButton()->text(),
                 QStringLiteral("1▶⏸"));
        QCOMPARE(window->counterLabel()->text() + window->errorLabel()->text(), QStringLiteral("0:00.0"));
        QCOMPARE(window->startLabel()->text() + window->endLabel()->text() + window->lengthLabel()->text(),
                 QString::fromStdString(h.state().startText + h.state().endText + h.state().lengthText));
        // The close-up takes the room the controls leave, at least its own height.
        QVERIFY(window->timeline()->height() >= h.state().size.timelineHeight);
        QCOMPARE(QApplication::focusWidget(), window->repeatField());
        keyAndSettle(window, Qt::Key_Escape);
        QVERIFY(findWindow<ui::LoopExportWindow>() == nullptr && !h.controller->isWaitingForUser());
    }

    void refusesZeroAndAThousandThenWritesTheLoopWithItsRepeatCount() {
        QTemporaryDir folder;
        LoopHarness h;
        for (const QString& refused : {QStringLiteral("0"), QStringLiteral("1000"), QStringLiteral("x")}) {
            h.typeRepeatCount(refused, Qt::Key_Return);
            QVERIFY2(h.window->isVisible() && findWindow<QMessageBox>() == nullptr, qPrintable(refused));
            QCOMPARE(h.window->errorLabel()->text(), QString::fromStdString(h.state().errorText));
            QVERIFY(!h.window->errorLabel()->text().isEmpty());
        }
        h.typeRepeatCount(QStringLiteral("4"), Qt::Key_End);
        clickAndSettle(h.window->okButton(), Qt::LeftButton);
        QVERIFY(findWindow<ui::LoopExportWindow>() == nullptr);
        // The split goes on: the format, then the folder.
        keyAndSettle(findWindow<QMessageBox>(), Qt::Key_Return);  // the format alert: MIDI 1.0
        auto* chooser = findWindow<QFileDialog>();
        QCOMPARE(chooser->labelText(QFileDialog::Accept), QStringLiteral("Split Loop Here"));
        chooser->setDirectory(folder.path());
        QMetaObject::invokeMethod(chooser, "accept");
        settle();
        h.runLoop.runUntilIdle();
        const auto written = app::testing::fileNames(folder.path().toStdString());
        QCOMPARE(written.size(), h.controller->trackRows().size());
        for (const auto& name : written) QVERIFY2(name.ends_with("_loopx4.mid"), name.c_str());
    }

    void stepperAndFieldMoveTogether() {
        LoopHarness h;
        ui::LoopExportWindow* window = h.window;
        QVERIFY(!window->stepDownButton()->isEnabled());
        QTest::mouseClick(window->stepUpButton(), Qt::LeftButton);
        QTest::mouseClick(window->stepUpButton(), Qt::LeftButton);
        QCOMPARE(window->repeatField()->text(), QStringLiteral("3"));
        QTest::keyClick(window->repeatField(), Qt::Key_Down);
        QCOMPARE(window->repeatField()->text(), QStringLiteral("2"));
        h.typeRepeatCount(QStringLiteral("40"), Qt::Key_Up);
        QVERIFY(window->repeatField()->text() == QStringLiteral("41") && h.state().repeatStepperValue == 41);
        window->reject();
    }

    void spaceTogglesThePreviewWhereverTheFocusIs() {
        LoopHarness h;
        ui::LoopExportWindow* window = h.window;
        QTest::keyClick(window->repeatField(), Qt::Key_Space);
        QVERIFY(window->dialog()->isPreviewPlaying());
        QCOMPARE(window->playButton()->text() + window->repeatField()->text(), QStringLiteral("■1"));  // no space typed

        // The preview's position moves along without repainting the close-up.
        const QImage before = window->timeline()->grab().toImage();
        const int paints = window->timeline()->backgroundPaints();
        h.runLoop.advance(0.6);
        QVERIFY(window->counterLabel()->text() != QStringLiteral("0:00.0"));
        QVERIFY(before != window->timeline()->grab().toImage());  // the red position line moved
        QCOMPARE(window->timeline()->backgroundPaints(), paints);

        // Space on a focused button toggles the preview rather than pressing the button.
        window->cancelButton()->setFocus();
        QTest::keyClick(window->cancelButton(), Qt::Key_Space);
        QVERIFY(!window->dialog()->isPreviewPlaying() && window->isVisible());
        QCOMPARE(window->playButton()->text(), QStringLiteral("▶"));
        // The pause button pauses; the play button resumes.
        QTest::mouseClick(window->playButton(), Qt::LeftButton);
        QVERIFY(window->dialog()->isPreviewPlaying());
        QTest::mouseClick(window->pauseButton(), Qt::LeftButton);
        h.runLoop.runUntilIdle();
        QVERIFY(window->dialog()->isPreviewPaused());
        window->reject();
    }

    void draggingAMarkerMovesTheLoop() {
        LoopHarness h;
        ui::LoopTimelineWidget* timeline = h.window->timeline();
        const auto [start, end] = std::pair(h.state().loopStartSeconds, h.state().loopEndSeconds);
        const app::LoopTimelineGeometry geometry = timeline->geometryNow();
        const double y = geometry.plotRect().y + geometry.plotRect().height / 2;
        const auto drag = [&](double from, double to) {
            sendMouse(timeline, QEvent::MouseButtonPress, QPointF(from, y), Qt::LeftButton, Qt::LeftButton);
            const auto grabbed = timeline->activeMarker();
            sendMouse(timeline, QEvent::MouseMove, QPointF(to, y), Qt::NoButton, Qt::LeftButton);
            sendMouse(timeline, QEvent::MouseButtonRelease, QPointF(to, y), Qt::LeftButton, Qt::NoButton);
            return grabbed;
        };
        // The end marker dragged towards the start: the loop shortens, snapped, after the start;
        // the close-up is drawn again once.
        const int paints = timeline->backgroundPaints();
        QCOMPARE(drag(geometry.xForTime(end) - 3, geometry.xForTime(start + (end - start) / 2)),
                 std::optional(app::LoopMarker::end));
        QVERIFY(!timeline->activeMarker() && h.state().loopEndSeconds < end &&
                h.state().loopEndSeconds > h.state().loopStartSeconds);
        QCOMPARE(h.window->endLabel()->text(), QString::fromStdString(h.state().endText));
        (void)timeline->grab();
        QCOMPARE(timeline->backgroundPaints(), paints + 1);
        h.window->reject();
    }
};

QTEST_MAIN(LoopExportWindowTest)
#include "LoopExportWindowTest.moc"
