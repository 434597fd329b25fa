// Whole detections on audio made by the tests: known tempos, silence and too-short audio. The
// steps of a successful detection are checked by the beat-detection window's flow
// (tests/app/BeatDetectionControllerTests.cpp), and long recordings, drum patterns and rendered
// songs are compared with a reference detector in tests/peers/test_tempo_reference.py.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "TempoTestSupport.h"
#include "tempo/OrvaneTempoDetector.h"

namespace orvane::tempo {
namespace {

namespace detector = OrvaneTempoDetector;
using testing::GeneratedAudioFile;

struct Detection {
    std::vector<std::pair<double, std::string>> progress;
    std::vector<std::size_t> waveformCalls;  // slice counts
    std::optional<OrvaneBeatDetectionResult> result;
    std::string failure;
};

Detection detect(AudioFileOpener opener) {
    Detection detection;
    try {
        detection.result = detector::detectTempo(
            "generated.wav",
            [&](double fraction, std::string_view message) { detection.progress.emplace_back(fraction, message); },
            [&](const std::vector<OrvaneWaveformSlice>& slices) { detection.waveformCalls.push_back(slices.size()); },
            std::move(opener));
    } catch (const OrvaneTempoDetectionError& error) {
        detection.failure = error.description();
    } catch (const AudioFileError& error) {
        detection.failure = error.description();
    }
    return detection;
}
Detection detect(std::unique_ptr<AudioFileDecoder> decoder) { return detect(testing::openerFor(std::move(decoder))); }

const std::vector<std::pair<double, std::string>> allSteps = {
    {0.05, "Opening audio file"},      {0.18, "Reading audio"},    {0.4, "Finding pulse"},
    {0.68, "Voting tempo candidates"}, {0.92, "Preparing result"}, {1.0, "Tempo detected"},
};

TEST(TempoDetection, ClickTrainsAtKnownTempos) {
    for (const double bpm : {100.0, 140.0}) {
        const Detection detection =
            detect(std::make_unique<GeneratedAudioFile>(44100, 2, 30 * 44100, testing::clickTrain(bpm, 44100)));
        ASSERT_TRUE(detection.result) << bpm << ": " << detection.failure;
        // Envelope frames quantise the beat period; the parabola brings it within a BPM or so.
        EXPECT_NEAR(detection.result->tempoBPM, bpm, 1.5) << bpm;
        EXPECT_EQ(detection.result->songLengthSeconds, 30.0);
    }
}

TEST(TempoDetection, SilenceShortAudioAndDecoderFailuresEndWithTheirErrors) {
    // Silence passes loading unamplified and ends at the signal check.
    const Detection silence = detect(std::make_unique<GeneratedAudioFile>(44100, 2, 10 * 44100,
                                                                          [](std::size_t, unsigned) { return 0.0f; }));
    EXPECT_EQ(silence.failure, "Onset envelope has no usable AC content.");
    EXPECT_EQ(silence.progress, (std::vector<std::pair<double, std::string>>(allSteps.begin(), allSteps.begin() + 4)));
    EXPECT_EQ(silence.waveformCalls, std::vector<std::size_t>{420});

    // Fewer samples than one envelope frame.
    EXPECT_EQ(detect(testing::memoryFile(std::vector<float>(1023, 0.5f))).failure, "Onset envelope is empty.");
    const Detection empty = detect(testing::memoryFile({}));
    EXPECT_EQ(empty.failure, "Onset envelope is empty.");
    EXPECT_EQ(empty.waveformCalls, std::vector<std::size_t>{0});

    // Errors of the opener pass through unchanged, after the first step only.
    const Detection unopened = detect([](const std::filesystem::path&) -> std::unique_ptr<AudioFileDecoder> {
        throw AudioFileError("FFmpeg", -2, "No such file or directory");
    });
    EXPECT_EQ(unopened.failure, "No such file or directory");
    EXPECT_EQ(unopened.progress, (std::vector<std::pair<double, std::string>>{allSteps[0]}));
}

}  // namespace
}  // namespace orvane::tempo
