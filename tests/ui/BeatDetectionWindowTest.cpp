// The beat-detection window on real WAV files: the detected tempo with its waveform fully
// revealed, corrections, Apply Tempo handing the tempo to the song, a failure drawn in red,
// and closing the window during detection. The flow's texts are tested in tests/app.

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include "UiTestSupport.h"
#include "app/BeatDetectionController.h"
#include "ui/BeatDetectionWindow.h"

using namespace orvane;
using namespace orvane::ui::testing;

class BeatDetectionWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;

    // The window for a dropped file, after detection and the reveal.
    ui::BeatDetectionWindow* detect(Harness& h, const std::filesystem::path& file) {
        h.controller->dropFile(file);
        auto* window = findWindow<ui::BeatDetectionWindow>();
        h.runLoop.advance(2.0);
        settle();
        return window;
    }
    std::filesystem::path audio(const char* name, double bpm, double seconds) {
        const std::filesystem::path path = std::filesystem::path(folder_.path().toStdString()) / name;
        writeClickWAV(path, bpm, seconds);
        return path;
    }
    static double shownTempo(const ui::BeatDetectionWindow* window) {
        return window->tempoValue()->text().section(QLatin1Char(' '), 0, 0).toDouble();
    }

private slots:
    void cleanup() { settle(); }

    void showsTheResultAndAppliesTheTempoToTheSong() {
        Harness h;
        h.load();
        h.controller->dropFile(audio("drums 120.wav", 120, 12));
        auto* window = findWindow<ui::BeatDetectionWindow>();
        QVERIFY(window != nullptr);
        QVERIFY(!window->okButton()->isVisible() && !window->resultGrid()->isVisible());
        h.runLoop.advance(0.1);  // detection on the background queue; the waveform revealed
        QCOMPARE(window->waveform()->drawing().clipWidth, window->waveform()->drawing().frame.width);
        h.runLoop.advance(1.0);  // the report after the reveal
        settle();
        const app::BeatDetectionState& state = window->controller()->state();
        QVERIFY(window->resultGrid()->isVisible() && window->okButton()->isVisible() && window->okButton()->isEnabled() &&
                window->applyButton()->isEnabled());
        QCOMPARE(window->statusLabel()->text() + "|" + window->fileNameValue()->text() + "|" + window->tempoValue()->text(),
                 QString::fromStdString(state.status + "|drums 120.wav|" + state.tempoValue));
        const double detected = shownTempo(window);
        QVERIFY2(std::fabs(detected - 120) < 1.5 || std::fabs(detected - 60) < 1 || std::fabs(detected - 240) < 2,
                 qPrintable(window->tempoValue()->text()));
        QVERIFY(!window->waveform()->isFailed() && !window->waveform()->drawing().lines.empty());
        QVERIFY(window->candidatePicker()->itemText(0).startsWith(QStringLiteral("Use detected ")));

        // The first correction halves the tempo shown.
        const auto& buttons = window->correctionButtons();
        QVERIFY(buttons.size() == 4 && buttons[0]->accessibleName() == QStringLiteral("1/2"));  // not the typographic ½
        QTest::mouseClick(buttons[0], Qt::LeftButton);
        const double halved = std::round(detected / 2 * 1000) / 1000;
        QCOMPARE(shownTempo(window), halved);

        clickAndSettle(window->applyButton(), Qt::LeftButton);
        QVERIFY(findWindow<ui::BeatDetectionWindow>() == nullptr && h.controller->beatDetection() == nullptr);
        QCOMPARE(h.controller->overrideBPM(), std::optional(halved));
    }

    void withoutASongApplyStaysOffAndReturnCloses() {
        Harness h;
        auto* window = detect(h, audio("loop.wav", 100, 8));
        QVERIFY(window->applyButton()->isVisible() && !window->applyButton()->isEnabled());
        QCOMPARE(window->applyButton()->toolTip(), QString::fromStdString(window->controller()->state().applyTooltip));
        QApplication::setActiveWindow(window);
        keyAndSettle(window, Qt::Key_Return);
        QVERIFY(findWindow<ui::BeatDetectionWindow>() == nullptr && h.controller->beatDetection() == nullptr);
    }

    void aFailureIsDrawnInRed() {
        // Audio too short to find beats in: its waveform is shown, in the failure colour.
        Harness h;
        h.load();
        auto* window = detect(h, audio("short tone.wav", 0, 0.5));
        QCOMPARE(window->statusLabel()->text() + "|" + window->tempoValue()->text(),
                 QStringLiteral("Beat detection failed|--"));
        QVERIFY(window->waveform()->isFailed() && window->resultGrid()->isVisible());
        QVERIFY(!window->correctionButtons().front()->isVisible() && !window->applyButton()->isEnabled());
        const app::WaveformDrawing drawing = window->waveform()->drawing();
        QVERIFY(!drawing.lines.empty() && drawing.clipWidth == drawing.frame.width);
        const auto x = static_cast<int>(drawing.lines[drawing.lines.size() / 2].x);
        const QColor middle = window->waveform()->grab().toImage().pixelColor(x, static_cast<int>(drawing.centreY));
        QVERIFY2(middle.red() > 150 && middle.blue() < 120, qPrintable(middle.name()));
        clickAndSettle(window->okButton(), Qt::LeftButton);
        QVERIFY(findWindow<ui::BeatDetectionWindow>() == nullptr && h.controller->overrideBPM() == std::nullopt);
    }

    void closingDuringDetectionEndsIt() {
        Harness h;
        h.load();
        h.controller->dropFile(audio("long.wav", 90, 10));
        auto* window = findWindow<ui::BeatDetectionWindow>();
        const std::shared_ptr<app::BeatDetectionController> controller = window->controller();
        window->close();
        settle();
        QVERIFY(controller->cleanupCompleted() && h.controller->beatDetection() == nullptr);
        h.runLoop.advance(2.0);  // the detection's late answers change nothing
        settle();
        QVERIFY(findWindow<ui::BeatDetectionWindow>() == nullptr && h.controller->overrideBPM() == std::nullopt);
    }
};

QTEST_MAIN(BeatDetectionWindowTest)
#include "BeatDetectionWindowTest.moc"
