// The beat-detection window on real WAV files: the detected tempo with its waveform fully
// revealed, corrections, Apply Tempo handing the tempo to the song, a failure drawn in red,
// and closing the window during detection.

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "UiTestSupport.h"
#include "app/BeatDetectionController.h"
#include "ui/BeatDetectionWindow.h"

using namespace orvane;
using orvane::ui::testing::findWindow;
using orvane::ui::testing::Harness;
using orvane::ui::testing::settle;
using orvane::ui::testing::shoot;

class BeatDetectionWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;

    std::filesystem::path audio(const char* name, double bpm, double seconds) {
        const std::filesystem::path path = std::filesystem::path(folder_.path().toStdString()) / name;
        ui::testing::writeClickWAV(path, bpm, seconds);
        return path;
    }

    static double shownTempo(const ui::BeatDetectionWindow* window) {
        return window->tempoValue()->text().section(QLatin1Char(' '), 0, 0).toDouble();
    }

private slots:
    void initTestCase() { ui::testing::applyLightLook(); }
    void cleanup() { settle(); }

    void showsTheResultAndAppliesTheTempoToTheSong() {
        Harness h;
        h.load();
        h.controller->dropFile(audio("drums 120.wav", 120, 12));
        auto* window = findWindow<ui::BeatDetectionWindow>();
        QVERIFY(window != nullptr);
        QCOMPARE(window->windowTitle(), QStringLiteral("Beat Detection"));
        QCOMPARE(window->size(), QSize(520, 430));
        QVERIFY(!window->okButton()->isVisible());
        QVERIFY(!window->resultGrid()->isVisible());

        h.runLoop.advance(0.1);  // detection on the background queue
        QCOMPARE(window->waveform()->drawing().clipWidth, window->waveform()->drawing().frame.width);
        h.runLoop.advance(1.0);  // the report after the reveal
        settle();
        QVERIFY(window->resultGrid()->isVisible());
        QVERIFY(window->okButton()->isVisible() && window->okButton()->isEnabled());
        QVERIFY(window->applyButton()->isEnabled());
        QCOMPARE(window->applyButton()->toolTip(), QStringLiteral("Apply detected tempo to the loaded MIDI file."));
        QVERIFY(window->statusLabel()->text() == QStringLiteral("Tempo detected") ||
                window->statusLabel()->text() == QStringLiteral("Review tempo candidates"));
        QCOMPARE(window->fileNameValue()->text(), QStringLiteral("drums 120.wav"));
        const double detected = shownTempo(window);
        QVERIFY2(std::fabs(detected - 120) < 1.5 || std::fabs(detected - 60) < 1 || std::fabs(detected - 240) < 2,
                 qPrintable(window->tempoValue()->text()));
        QVERIFY(window->tempoValue()->text().endsWith(QStringLiteral(" BPM")));
        QVERIFY(!window->waveform()->isFailed());
        QVERIFY(!window->waveform()->drawing().lines.empty());
        QVERIFY(window->candidatePicker()->count() >= 1);
        QVERIFY(window->candidatePicker()->itemText(0).startsWith(QStringLiteral("Use detected ")));
        shoot(window, QStringLiteral("beat-detection-result"));

        // The corrections: typographic titles, the plain texts as names, exact tooltips.
        const auto& buttons = window->correctionButtons();
        QCOMPARE(buttons.size(), std::size_t{4});
        const QStringList titles{QStringLiteral("½"), QStringLiteral("⅔"), QStringLiteral("3⁄2"), QStringLiteral("2×")};
        const QStringList tooltips{QStringLiteral("Use half of the selected BPM."),
                                   QStringLiteral("Use two-thirds of the selected BPM."),
                                   QStringLiteral("Use one-and-a-half times the selected BPM."),
                                   QStringLiteral("Use double the selected BPM.")};
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            QCOMPARE(buttons[i]->text(), titles[static_cast<int>(i)]);
            QCOMPARE(buttons[i]->toolTip(), tooltips[static_cast<int>(i)]);
            QVERIFY(buttons[i]->width() >= 46);
        }
        QCOMPARE(buttons[0]->accessibleName(), QStringLiteral("1/2"));
        QTest::mouseClick(buttons[0], Qt::LeftButton);
        QCOMPARE(window->statusLabel()->text(), QStringLiteral("Corrected tempo selected"));
        const double halved = std::round(detected / 2 * 1000) / 1000;
        QCOMPARE(shownTempo(window), halved);

        std::optional<double> applied;
        QTest::mouseClick(window->applyButton(), Qt::LeftButton);
        settle();
        QVERIFY(findWindow<ui::BeatDetectionWindow>() == nullptr);
        QVERIFY(h.controller->overrideBPM().has_value());
        QCOMPARE(*h.controller->overrideBPM(), halved);
        QVERIFY(h.controller->beatDetection() == nullptr);
    }

    void withoutASongApplyStaysOffAndOKCloses() {
        Harness h;
        h.controller->dropFile(audio("loop.wav", 100, 8));
        auto* window = findWindow<ui::BeatDetectionWindow>();
        h.runLoop.advance(2.0);
        settle();
        QVERIFY(window->applyButton()->isVisible());
        QVERIFY(!window->applyButton()->isEnabled());
        QCOMPARE(window->applyButton()->toolTip(), QStringLiteral("Load a MIDI file before applying detected tempo."));
        QApplication::setActiveWindow(window);
        QTest::keyClick(window, Qt::Key_Return);
        settle();
        QVERIFY(findWindow<ui::BeatDetectionWindow>() == nullptr);
        QVERIFY(h.controller->beatDetection() == nullptr);
    }

    void aFailureIsDrawnInRed() {
        Harness h;
        h.load();
        const std::filesystem::path broken = std::filesystem::path(folder_.path().toStdString()) / "broken.wav";
        std::ofstream(broken) << "not audio at all";
        h.controller->dropFile(broken);
        auto* window = findWindow<ui::BeatDetectionWindow>();
        h.runLoop.advance(2.0);
        settle();
        QCOMPARE(window->statusLabel()->text(), QStringLiteral("Beat detection failed"));
        QVERIFY(window->waveform()->isFailed());
        QVERIFY(window->resultGrid()->isVisible());
        QVERIFY(!window->correctionButtons().front()->isVisible());
        QVERIFY(!window->applyButton()->isEnabled());
        QCOMPARE(window->tempoValue()->text(), QStringLiteral("--"));
        QTest::mouseClick(window->okButton(), Qt::LeftButton);
        settle();
        QVERIFY(h.controller->overrideBPM() == std::nullopt);

        // Audio too short to find beats in: its waveform is shown, in the failure colour.
        h.controller->dropFile(audio("short tone.wav", 0, 0.5));
        window = findWindow<ui::BeatDetectionWindow>();
        h.runLoop.advance(2.0);
        settle();
        QCOMPARE(window->statusLabel()->text(), QStringLiteral("Beat detection failed"));
        QVERIFY(window->waveform()->isFailed());
        const app::WaveformDrawing drawing = window->waveform()->drawing();
        QVERIFY(!drawing.lines.empty());
        QCOMPARE(drawing.clipWidth, drawing.frame.width);
        const QImage image = window->waveform()->grab().toImage();
        const auto x = static_cast<int>(drawing.lines[drawing.lines.size() / 2].x);
        const QColor middle = image.pixelColor(x, static_cast<int>(drawing.centreY));
        QVERIFY2(middle.red() > 150 && middle.blue() < 120, qPrintable(middle.name()));
        shoot(window, QStringLiteral("beat-detection-failed"));
        QTest::mouseClick(window->okButton(), Qt::LeftButton);
        settle();
    }

    void closingDuringDetectionEndsIt() {
        Harness h;
        h.load();
        h.controller->dropFile(audio("long.wav", 90, 10));
        auto* window = findWindow<ui::BeatDetectionWindow>();
        const std::shared_ptr<app::BeatDetectionController> controller = window->controller();
        window->close();
        settle();
        QVERIFY(controller->cleanupCompleted());
        QVERIFY(h.controller->beatDetection() == nullptr);
        h.runLoop.advance(2.0);  // the detection's late answers change nothing
        settle();
        QVERIFY(findWindow<ui::BeatDetectionWindow>() == nullptr);
        QVERIFY(h.controller->overrideBPM() == std::nullopt);
    }
};

QTEST_MAIN(BeatDetectionWindowTest)
#include "BeatDetectionWindowTest.moc"
