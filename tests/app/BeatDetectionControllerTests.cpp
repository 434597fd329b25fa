// The beat-detection window's flow on generated audio, driven by a manual run loop: progress
// and reveal, the delayed report, corrections and their limits, applying a tempo, and
// callbacks that arrive after the window was cleaned up.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "DiagnosticsCapture.h"
#include "app/BeatDetectionController.h"
#include "support/ManualRunLoop.h"
#include "support/TextFormat.h"
#include "tempo/TempoTestSupport.h"

namespace orvane::app {
namespace {

using tempo::OrvaneBeatDetectionResult;
using tempo::OrvaneTempoCandidate;

std::unique_ptr<tempo::AudioFileDecoder> clicks(double bpm, double seconds) {
    return std::make_unique<tempo::testing::GeneratedAudioFile>(44100, 1, static_cast<std::uint64_t>(seconds * 44100),
                                                                tempo::testing::clickTrain(bpm, 44100));
}

std::unique_ptr<tempo::AudioFileDecoder> silence(double seconds) {
    return std::make_unique<tempo::testing::GeneratedAudioFile>(
        44100, 1, static_cast<std::uint64_t>(seconds * 44100), [](std::size_t, unsigned) { return 0.0f; });
}

class BeatDetectionFlow : public ::testing::Test {
protected:
    struct Frame {
        std::string status;
        double reveal;
        bool okVisible;
    };

    void open(std::unique_ptr<tempo::AudioFileDecoder> decoder, bool canApply = true) {
        controller = BeatDetectionController::create(
            loop, "/music/take one.wav", canApply, [this](double bpm) { applied.push_back(bpm); },
            [this] { ++closeCalls; }, tempo::testing::openerFor(std::move(decoder)));
        controller->onStateChange = [this] {
            const auto& state = controller->state();
            if (frames.empty() || frames.back().status != state.status || frames.back().reveal != state.reveal ||
                frames.back().okVisible != state.okVisible) {
                frames.push_back({state.status, state.reveal, state.okVisible});
            }
        };
        controller->onCloseRequested = [this] { ++windowCloses; };
    }

    // Detection and the report, up to the result on screen.
    void detectAndReveal() {
        controller->show();
        loop.runUntilIdle();
        loop.advance(BeatDetectionController::reportRevealDelay);
    }

    testing::DiagnosticsCapture log;
    ManualRunLoop loop;
    std::shared_ptr<BeatDetectionController> controller;
    std::vector<Frame> frames;
    std::vector<double> applied;
    int closeCalls = 0;
    int windowCloses = 0;
};

TEST_F(BeatDetectionFlow, RevealsTheWaveformStepByStepAndTheResultAfterThePause) {
    open(clicks(120, 10));
    controller->show();
    EXPECT_EQ(controller->state().status, "Opening take one.wav");
    EXPECT_EQ(controller->state().fileNameValue, "take one.wav");
    EXPECT_EQ(log.lines, (std::vector<std::string>{"Present Beat Detection window; Apply Tempo enabled",
                                                   "Started BPM detection for take one.wav"}));

    loop.runUntilIdle();
    // Every step shows its message and reveals as far as it got, never fully before the report.
    std::vector<std::pair<std::string, double>> steps;
    for (const Frame& frame : frames) steps.emplace_back(frame.status, frame.reveal);
    const std::vector<std::pair<std::string, double>> expected = {
        {"Opening take one.wav", 0},     {"Opening audio file", 0.05},      {"Reading audio", 0.18},
        {"Finding pulse", 0.4},          {"Voting tempo candidates", 0.68}, {"Preparing result", 0.92},
        {"Finishing analysis...", 0.985}, {"Finishing analysis...", 1.0},
    };
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(controller->state().slices.size(), 420u);
    EXPECT_FALSE(controller->state().gridVisible);
    EXPECT_FALSE(controller->state().okVisible);
    ASSERT_TRUE(controller->result());
    const OrvaneBeatDetectionResult result = *controller->result();
    EXPECT_NEAR(result.tempoBPM, 120, 1.5);
    EXPECT_TRUE(log.contains("BPM detection progress 5%: Opening audio file"));
    EXPECT_TRUE(log.contains("BPM detection progress 68%: Voting tempo candidates"));
    EXPECT_TRUE(log.contains("BPM detection progress 100%: Tempo detected"));
    EXPECT_TRUE(log.contains("Loaded BPM waveform preview with 420 slice(s)"));
    ASSERT_EQ(log.starting("BPM detection complete: ").size(), 1u);
    EXPECT_TRUE(log.starting("BPM detection complete: ")[0].starts_with(
        formatString("BPM detection complete: %.3f BPM, confidence %.3f, confident=%s, beats %lld, candidates [%.3f/%.3f",
                     result.tempoBPM, result.confidence, result.confident ? "true" : "false",
                     static_cast<long long>(result.totalBeats), result.candidates[0].bpm, result.candidates[0].score)));

    loop.advance(0.69);
    EXPECT_FALSE(controller->state().okVisible);
    loop.advance(0.01);
    const BeatDetectionState& state = controller->state();
    EXPECT_TRUE(state.gridVisible);
    EXPECT_TRUE(state.correctionsVisible);
    EXPECT_TRUE(state.okVisible && state.okEnabled);
    EXPECT_TRUE(state.applyVisible && state.applyEnabled);
    EXPECT_EQ(state.applyTooltip, "Apply detected tempo to the loaded MIDI file.");
    EXPECT_EQ(state.status, result.confident ? "Tempo detected" : "Review tempo candidates");
    EXPECT_EQ(state.tempoValue, formatString("%.3f BPM", result.tempoBPM));
    EXPECT_EQ(state.lengthValue, "0:10");
    EXPECT_EQ(state.totalBeatsValue, "20");
    EXPECT_EQ(state.detectionNoteValue, detectionNote(result));
    ASSERT_EQ(state.candidateTitles.size(), result.candidates.size());
    EXPECT_EQ(state.candidateTitles[0], formatString("Use detected %.3f BPM", result.candidates[0].bpm));
    for (std::size_t i = 1; i < result.candidates.size(); ++i) {
        EXPECT_EQ(state.candidateTitles[i], formatString("Use alternate %.3f BPM", result.candidates[i].bpm));
    }
    EXPECT_EQ(state.candidateRowVisible, result.candidates.size() >= 2);
    EXPECT_EQ(state.selectedCandidate, std::optional<std::size_t>(0));
    EXPECT_TRUE(log.contains("Reveal BPM result UI; Apply Tempo available"));
    EXPECT_TRUE(log.contains(formatString("Selected BPM %.3f via detected top candidate", result.tempoBPM)));

    controller->applyTempoButtonClicked();
    EXPECT_EQ(applied, std::vector<double>{result.tempoBPM});
    EXPECT_TRUE(log.contains(formatString("Apply selected BPM %.3f to loaded MIDI", result.tempoBPM)));
    EXPECT_TRUE(log.contains("Clean up BPM detection state after Apply Tempo button; purge 420 waveform slice(s)"));
    EXPECT_EQ(closeCalls, 1);
    EXPECT_EQ(windowCloses, 1);
    EXPECT_TRUE(controller->cleanupCompleted());
    EXPECT_FALSE(controller->result());
    EXPECT_TRUE(controller->state().slices.empty());
    EXPECT_EQ(controller->state().reveal, 0);

    // The window then reports its closing: nothing more happens.
    controller->windowWillClose();
    EXPECT_EQ(log.starting("Clean up BPM detection state").size(), 1u);
    EXPECT_EQ(closeCalls, 1);
}

TEST_F(BeatDetectionFlow, FailureShowsOnlyOKAndLogsTheReason) {
    open(silence(5));
    detectAndReveal();
    const BeatDetectionState& state = controller->state();
    EXPECT_TRUE(log.contains("BPM detection failed: Onset envelope has no usable AC content."));
    EXPECT_EQ(state.status, "Beat detection failed");
    EXPECT_TRUE(state.waveformFailed);
    EXPECT_EQ(state.reveal, 1.0);
    EXPECT_EQ(state.fileNameValue, "take one.wav");
    EXPECT_EQ(state.tempoValue, "--");
    EXPECT_EQ(state.lengthValue, "--");
    EXPECT_EQ(state.detectionNoteValue, "--");
    EXPECT_EQ(state.totalBeatsValue, "--");
    EXPECT_TRUE(state.gridVisible);
    EXPECT_FALSE(state.correctionsVisible);
    EXPECT_TRUE(state.applyVisible);
    EXPECT_FALSE(state.applyEnabled);
    EXPECT_TRUE(state.okVisible && state.okEnabled);
    EXPECT_FALSE(controller->result());

    // Nothing to apply or correct.
    controller->applyTempoButtonClicked();
    EXPECT_TRUE(log.contains("Apply Tempo ignored; canApplyTempo=true, resultAvailable=false"));
    controller->correctionClicked(TempoCorrection::twice);
    EXPECT_EQ(controller->state().status, "Beat detection failed");
    controller->okButtonClicked();
    EXPECT_TRUE(log.contains("Clean up BPM detection state after OK button; purge 420 waveform slice(s)"));
    EXPECT_EQ(windowCloses, 1);
    EXPECT_TRUE(applied.empty());
}

TEST_F(BeatDetectionFlow, DecoderErrorsAndUnexpectedExceptionsAreFailuresToo) {
    controller = BeatDetectionController::create(loop, "broken.mp3", true, {}, {},
                                                 [](const std::filesystem::path&) -> std::unique_ptr<tempo::AudioFileDecoder> {
                                                     throw tempo::AudioFileError("FFmpeg", -2, "Invalid data found");
                                                 });
    controller->show();
    loop.advance(1);
    EXPECT_TRUE(log.contains("BPM detection failed: Invalid data found"));
    EXPECT_EQ(controller->state().status, "Beat detection failed");

    controller = BeatDetectionController::create(loop, "odd.wav", true, {}, {},
                                                 [](const std::filesystem::path&) -> std::unique_ptr<tempo::AudioFileDecoder> {
                                                     throw std::runtime_error("out of sorts");
                                                 });
    controller->show();
    loop.advance(1);
    EXPECT_TRUE(log.contains("BPM detection failed: out of sorts"));
}

TEST_F(BeatDetectionFlow, CorrectionsCompoundWithinTenToThreeHundred) {
    open(clicks(120, 10));
    detectAndReveal();
    ASSERT_TRUE(controller->result());

    struct Step {
        double start;
        std::vector<TempoCorrection> presses;
        double selected;
        std::string status;
        std::string beats;  // of the 10-second file
    };
    const std::vector<Step> steps = {
        {240, {TempoCorrection::half}, 120, "Corrected tempo selected", "20"},
        {240, {TempoCorrection::half, TempoCorrection::half}, 60, "Corrected tempo selected", "10"},
        {12, {TempoCorrection::half}, 10, "Tempo limited to 10-300 BPM", "2"},
        {200, {TempoCorrection::twice}, 300, "Tempo limited to 10-300 BPM", "50"},
        {90, {TempoCorrection::twoThirds}, 60, "Corrected tempo selected", "10"},
        {100, {TempoCorrection::twoThirds, TempoCorrection::threeHalves}, 100.001, "Corrected tempo selected", "17"},
        {250, {TempoCorrection::threeHalves}, 300, "Tempo limited to 10-300 BPM", "50"},
    };
    for (const Step& step : steps) {
        EXPECT_FALSE(controller->updateSelectedTempo(step.start, "test"));
        for (const TempoCorrection press : step.presses) controller->correctionClicked(press);
        EXPECT_EQ(controller->selectedTempoBPM(), step.selected) << step.start;
        EXPECT_EQ(controller->state().tempoValue, formatString("%.3f BPM", step.selected));
        EXPECT_EQ(controller->state().status, step.status) << step.start;
        EXPECT_EQ(controller->state().totalBeatsValue, step.beats) << step.start;
    }
    EXPECT_TRUE(log.contains("Selected BPM 60.000 via half tempo correction"));
    EXPECT_TRUE(log.contains("Selected BPM 300.000 via double tempo correction"));
    EXPECT_TRUE(log.contains("Selected BPM 66.667 via two-thirds tempo correction"));

    // Values outside the range are limited and say so; values that are no tempo change nothing.
    EXPECT_TRUE(controller->updateSelectedTempo(5, "test"));
    EXPECT_EQ(controller->selectedTempoBPM(), 10);
    EXPECT_FALSE(controller->updateSelectedTempo(10.0004, "test"));
    EXPECT_EQ(controller->selectedTempoBPM(), 10);
    for (const double invalid : {0.0, -20.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(controller->updateSelectedTempo(invalid, "test"));
        EXPECT_EQ(controller->selectedTempoBPM(), 10);
    }

    // A candidate replaces the corrected value; the status stays.
    const auto candidates = controller->result()->candidates;
    controller->correctionClicked(TempoCorrection::twice);
    const std::size_t last = candidates.size() - 1;
    controller->candidatePickerChanged(last);
    EXPECT_EQ(controller->selectedTempoBPM(), std::round(candidates[last].bpm * 1000) / 1000);
    EXPECT_EQ(controller->state().selectedCandidate, std::optional<std::size_t>(last));
    EXPECT_EQ(controller->state().status, "Corrected tempo selected");
    controller->candidatePickerChanged(candidates.size());  // no such item
    EXPECT_EQ(controller->selectedTempoBPM(), std::round(candidates[last].bpm * 1000) / 1000);

    // Apply Tempo takes the selected tempo, not the detected one.
    controller->updateSelectedTempo(133.3333, "test");
    controller->applyTempoButtonClicked();
    EXPECT_EQ(applied, std::vector<double>{133.333});
}

TEST_F(BeatDetectionFlow, WithoutALoadedMIDIFileApplyTempoStaysDisabled) {
    open(clicks(120, 10), false);
    detectAndReveal();
    const BeatDetectionState& state = controller->state();
    EXPECT_TRUE(state.applyVisible);
    EXPECT_FALSE(state.applyEnabled);
    EXPECT_EQ(state.applyTooltip, "Load a MIDI file before applying detected tempo.");
    EXPECT_TRUE(log.contains("Present Beat Detection window; Apply Tempo disabled until MIDI is loaded"));
    EXPECT_TRUE(log.contains("Reveal BPM result UI; Apply Tempo disabled because no MIDI file is loaded"));

    controller->applyTempoButtonClicked();
    EXPECT_TRUE(log.contains("Apply Tempo ignored; canApplyTempo=false, resultAvailable=true"));
    EXPECT_TRUE(applied.empty());
    EXPECT_FALSE(controller->cleanupCompleted());
    EXPECT_EQ(windowCloses, 0);
}

TEST_F(BeatDetectionFlow, CallbacksAfterCleanupAreIgnoredAndLoggedOnce) {
    // Closed before the background work ran: every one of its callbacks is late.
    open(clicks(120, 10));
    controller->show();
    controller->windowWillClose();
    EXPECT_EQ(closeCalls, 1);
    EXPECT_EQ(windowCloses, 0);  // the window is closing already
    loop.advance(2);
    EXPECT_EQ(log.starting("Ignored late BPM detection callback after cleanup: "),
              std::vector<std::string>{
                  "Ignored late BPM detection callback after cleanup: progress update 'Opening audio file'"});
    EXPECT_TRUE(log.starting("BPM detection progress").empty());
    EXPECT_TRUE(controller->state().slices.empty());
    EXPECT_FALSE(controller->result());
    EXPECT_EQ(controller->state().reveal, 0);
    EXPECT_TRUE(log.contains("Clean up BPM detection state after window close; purge 0 waveform slice(s)"));

    // Closed from outside half-way through: the waveform had arrived.
    log.lines.clear();
    frames.clear();
    open(clicks(120, 10));
    bool closed = false;
    controller->onStateChange = [&] {
        if (!closed && controller->state().status == "Finding pulse") {
            closed = true;
            controller->close();
        }
    };
    controller->show();
    loop.advance(2);
    EXPECT_EQ(windowCloses, 1);
    EXPECT_TRUE(log.contains("Clean up BPM detection state after window close; purge 420 waveform slice(s)"));
    EXPECT_EQ(log.starting("Ignored late BPM detection callback after cleanup: "),
              std::vector<std::string>{
                  "Ignored late BPM detection callback after cleanup: progress update 'Voting tempo candidates'"});
    EXPECT_FALSE(controller->state().gridVisible);
}

TEST_F(BeatDetectionFlow, CleanupWithinThePauseCancelsTheReport) {
    open(clicks(120, 10));
    controller->show();
    loop.runUntilIdle();
    ASSERT_TRUE(controller->result());
    loop.advance(0.5);
    controller->okButtonClicked();
    loop.advance(2);
    EXPECT_FALSE(controller->state().gridVisible);
    EXPECT_FALSE(controller->state().okVisible);
    EXPECT_TRUE(log.starting("Reveal BPM result UI").empty());
    EXPECT_EQ(closeCalls, 1);
    EXPECT_EQ(windowCloses, 1);
}

TEST_F(BeatDetectionFlow, AControllerThatIsGoneReceivesNothing) {
    int closes = 0;
    auto gone = BeatDetectionController::create(loop, "gone.wav", true, {}, [&] { ++closes; },
                                                tempo::testing::openerFor(clicks(120, 10)));
    gone->show();
    gone.reset();
    loop.advance(2);
    EXPECT_TRUE(log.starting("BPM detection progress").empty());
    EXPECT_TRUE(log.starting("Ignored late").empty());
    EXPECT_EQ(closes, 0);
}

TEST_F(BeatDetectionFlow, TheOpenerMayDropTheControllerWhileItCloses) {
    // The document controller forgets the window in its close callback; the controller must
    // survive until its own call returns.
    controller = BeatDetectionController::create(loop, "held.wav", true, {}, [this] { controller.reset(); },
                                                 tempo::testing::openerFor(clicks(120, 10)));
    bool asked = false;
    controller->onCloseRequested = [&] { asked = true; };
    controller->show();
    controller->close();
    EXPECT_TRUE(asked);
    EXPECT_EQ(controller, nullptr);
    loop.advance(2);
}

TEST(BeatDetectionTexts, SongLength) {
    EXPECT_EQ(songLengthText(0), "--");
    EXPECT_EQ(songLengthText(std::nan("")), "--");
    EXPECT_EQ(songLengthText(-4), "--");
    EXPECT_EQ(songLengthText(std::numeric_limits<double>::infinity()), "--");
    EXPECT_EQ(songLengthText(59.5), "1:00");
    EXPECT_EQ(songLengthText(125.2), "2:05");
    EXPECT_EQ(songLengthText(0.4), "0:00");
    EXPECT_EQ(songLengthText(3600), "60:00");
    EXPECT_EQ(songLengthText(1e12), "16666666666:40");  // no overflow
}

TEST(BeatDetectionTexts, DetectionNote) {
    OrvaneBeatDetectionResult result;
    result.tempoBPM = 120;
    EXPECT_EQ(detectionNote(result), "Detected 120.000 BPM.");

    result.candidates = {{120, 1.0}};
    EXPECT_EQ(detectionNote(result), "Detected BPM is very likely 120.000.");
    // An alternative below 0.45 of the best score is no alternative, confident or not.
    result.candidates = {{120, 1.0}, {60, 0.4}};
    EXPECT_EQ(detectionNote(result), "Detected BPM is very likely 120.000.");
    result.candidates = {{120, 1.0}, {60, 0.45}};
    EXPECT_EQ(detectionNote(result), "Detected BPM is likely 120.000, but it could also be 60.000.");
    result.candidates = {{120, 1.0}, {60, 0.3}, {180.25, 0.9}};
    EXPECT_EQ(detectionNote(result), "Detected BPM is likely 120.000, but it could also be 180.250.");
    result.candidates = {{120, 1.0}, {60, 0.5}, {180.25, 0.9}};
    EXPECT_EQ(detectionNote(result), "Detected BPM is likely 120.000, but it could also be 60.000 or 180.250.");
    result.confident = true;
    EXPECT_EQ(detectionNote(result), "Detected BPM is very likely 120.000.");
    // Without a positive best score there are no alternatives.
    result.confident = false;
    result.candidates = {{120, 0}, {60, 0}};
    EXPECT_EQ(detectionNote(result), "Detected BPM is very likely 120.000.");
}

TEST(BeatDetectionWaveform, LinesFollowTheSlicesInsideTheRevealedPart) {
    const std::vector<tempo::OrvaneWaveformSlice> slices = {{0.5f, -0.25f}, {1.0f, -1.0f}, {0.0f, 0.0f}};
    const WaveformDrawing full = waveformLines(slices, 1.0, 120, 56);
    ASSERT_TRUE(full.visible);
    EXPECT_EQ(full.frame, (WaveformDrawing::Rect{1, 1, 118, 54}));
    EXPECT_EQ(full.centreY, 28);
    EXPECT_EQ(full.centreStartX, 9);
    EXPECT_EQ(full.centreEndX, 111);
    EXPECT_EQ(full.clipWidth, 118);
    // The inner area is x 10...110 and y 8...48; three slices span it end to end.
    EXPECT_DOUBLE_EQ(full.lineWidth, 100.0 / 3 * 0.58);
    EXPECT_EQ(full.lines, (std::vector<WaveformDrawing::Line>{{10, 18, 33}, {60, 8, 48}, {110, 28, 28}}));

    // Half revealed: clipped at x 60, so the last line is left out.
    const WaveformDrawing half = waveformLines(slices, 0.5, 120, 56);
    EXPECT_EQ(half.clipWidth, 59);
    EXPECT_EQ(half.lines.size(), 2u);

    // One slice sits at the left edge; many slices are at least one point wide.
    EXPECT_EQ(waveformLines(std::vector<tempo::OrvaneWaveformSlice>{{0.5f, -0.5f}}, 1, 120, 56).lines[0].x, 10);
    EXPECT_EQ(waveformLines(std::vector<tempo::OrvaneWaveformSlice>(420), 1, 120, 56).lineWidth, 1.0);

    // Nothing revealed, no slices, an empty frame, an undefined reveal.
    EXPECT_TRUE(waveformLines(slices, 0, 120, 56).lines.empty());
    EXPECT_EQ(waveformLines(slices, 0, 120, 56).clipWidth, 0);
    EXPECT_TRUE(waveformLines({}, 1, 120, 56).visible);
    EXPECT_TRUE(waveformLines({}, 1, 120, 56).lines.empty());
    EXPECT_FALSE(waveformLines(slices, 1, 2, 56).visible);
    EXPECT_FALSE(waveformLines(slices, 1, 120, 0).visible);
    EXPECT_TRUE(waveformLines(slices, std::nan(""), 120, 56).lines.empty());
    EXPECT_EQ(waveformLines(slices, 7, 120, 56).clipWidth, 118);
}

}  // namespace
}  // namespace orvane::app
