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

Detection detect(std::unique_ptr<AudioFileDecoder> decoder) {
    Detection detection;
    try {
        detection.result = detector::detectTempo(
            "generated.wav",
            [&](double fraction, std::string_view message) { detection.progress.emplace_back(fraction, message); },
            [&](const std::vector<OrvaneWaveformSlice>& slices) { detection.waveformCalls.push_back(slices.size()); },
            testing::openerFor(std::move(decoder)));
    } catch (const OrvaneTempoDetectionError& error) {
        detection.failure = error.description();
    } catch (const AudioFileError& error) {
        detection.failure = error.description();
    }
    return detection;
}

const std::vector<std::pair<double, std::string>> allSteps = {
    {0.05, "Opening audio file"},      {0.18, "Reading audio"},    {0.4, "Finding pulse"},
    {0.68, "Voting tempo candidates"}, {0.92, "Preparing result"}, {1.0, "Tempo detected"},
};

TEST(TempoDetection, ClickTrainsAtKnownTempos) {
    for (const double bpm : {100.0, 140.0}) {
        const double seconds = 30;
        auto file = std::make_unique<GeneratedAudioFile>(44100, 2, static_cast<std::uint64_t>(seconds * 44100),
                                                         testing::clickTrain(bpm, 44100));
        const Detection detection = detect(std::move(file));
        ASSERT_TRUE(detection.result) << bpm << ": " << detection.failure;
        const auto& result = *detection.result;
        // Envelope frames quantise the beat period; the parabola brings it within a BPM or so.
        EXPECT_NEAR(result.tempoBPM, bpm, 1.5) << bpm;
        EXPECT_EQ(result.songLengthSeconds, seconds);
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
    const Detection crumb = detect(testing::memoryFile(std::vector<float>(1023, 0.5f)));
    EXPECT_EQ(crumb.failure, "Onset envelope is empty.");
    const Detection empty = detect(testing::memoryFile({}));
    EXPECT_EQ(empty.failure, "Onset envelope is empty.");
    EXPECT_EQ(empty.waveformCalls, std::vector<std::size_t>{0});

    // Errors of the opener pass through unchanged, after the first step only.
    Detection unopened;
    try {
        detector::detectTempo(
            "missing.wav", [&](double f, std::string_view m) { unopened.progress.emplace_back(f, m); }, {},
            [](const std::filesystem::path&) -> std::unique_ptr<AudioFileDecoder> {
                throw AudioFileError("FFmpeg", -2, "No such file or directory");
            });
    } catch (const AudioFileError& error) {
        unopened.failure = error.description();
    }
    EXPECT_EQ(unopened.failure, "No such file or directory");
    EXPECT_EQ(unopened.progress, (std::vector<std::pair<double, std::string>>{allSteps[0]}));
}

}  // namespace
}  // namespace orvane::tempo
