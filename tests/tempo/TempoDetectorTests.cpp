// The building blocks of the tempo detector on hand-made inputs: the edge cases that recorded
// audio does not reach. The detector as a whole is compared with an independent implementation
// on many recordings in tests/peers/test_tempo_reference.py.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "TempoTestSupport.h"
#include "tempo/OrvaneTempoDetector.h"

namespace orvane::tempo {
namespace {

namespace detector = OrvaneTempoDetector;
using testing::GeneratedAudioFile;

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

template <class Operation>
std::string failureOf(Operation operation) {
    try {
        operation();
    } catch (const OrvaneTempoDetectionError& error) {
        return error.description();
    }
    return "(no error)";
}

TEST(TempoLoading, EmptyAndShortFiles) {
    GeneratedAudioFile empty(44100, 2, 0, [](std::size_t, unsigned) { return 1.0f; });
    EXPECT_TRUE(detector::loadMonoAnalysisWindow(empty, 60.0).samples.empty());
    // A window shorter than one frame still reads one frame.
    GeneratedAudioFile tiny(10, 1, 50, [](std::size_t, unsigned) { return 0.5f; });
    EXPECT_EQ(detector::loadMonoAnalysisWindow(tiny, 0.01).samples.size(), 1u);
}

TEST(TempoWaveform, SlicesCoverStridesAndScaleToTheTallestExcursion) {
    std::vector<float> samples(1000);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = (i % 2 == 0 ? 0.2f : -0.1f);
    samples[10] = 0.4f;
    samples[501] = -0.8f;
    const auto slices = detector::waveformSlices(samples, 420);
    ASSERT_EQ(slices.size(), 500u);  // step 1000 / 420 = 2
    EXPECT_EQ(slices[0], (OrvaneWaveformSlice{0.2f / 0.8f, -0.1f / 0.8f}));
    EXPECT_EQ(slices[5].positivePeak, 0.5f);
    EXPECT_EQ(slices[250].negativePeak, -1.0f);

    EXPECT_EQ(detector::waveformSlices(std::vector<float>(1000, 0.0f), 420),
              std::vector<OrvaneWaveformSlice>(500, OrvaneWaveformSlice{0, 0}));

    // One sample more than a multiple of the budget: one short last slice.
    std::vector<float> oneMore(841, 0.5f);
    oneMore[840] = -1.0f;
    const auto extra = detector::waveformSlices(oneMore, 420);
    ASSERT_EQ(extra.size(), 421u);
    EXPECT_EQ(extra.back(), (OrvaneWaveformSlice{0.0f, -1.0f}));

    // Fewer samples than the budget: one slice per sample; positive-only audio keeps 0 below.
    const auto few = detector::waveformSlices(std::vector<float>{0.1f, 0.3f}, 420);
    EXPECT_EQ(few, (std::vector<OrvaneWaveformSlice>{{0.1f / 0.3f, 0.0f}, {1.0f, 0.0f}}));

    EXPECT_TRUE(detector::waveformSlices(std::vector<float>{}, 420).empty());
    EXPECT_TRUE(detector::waveformSlices(std::vector<float>{0.5f}, 0).empty());
}

TEST(TempoEnvelope, NonFiniteSamplesAndRatesGiveNoNaNFrames) {
    // The envelope's formula and hop are compared with an independent reference on many
    // recordings (tests/peers/test_tempo_reference.py); here, what no recording holds.
    EXPECT_TRUE(detector::onsetEnvelope(std::vector<float>(4096, 0.5f), 0).values.empty());
    // An infinite sample makes the next frame's difference not a number, which counts as 0.
    std::vector<float> broken(1536, 0.0f);
    broken[600] = std::numeric_limits<float>::infinity();
    const auto withInfinity = detector::onsetEnvelope(broken, 44100).values;
    EXPECT_TRUE(std::isinf(withInfinity[0]) && withInfinity[1] == 0.0f) << withInfinity[0] << " " << withInfinity[1];
}

TEST(TempoEnvelope, WhiteningOfShortFlatAndOddRateEnvelopes) {
    const auto whitened = [](std::vector<float> values, double rate) {
        detector::whiten(values, rate);
        return values;
    };
    EXPECT_EQ(whitened({1, 2, 3, 4}, 100), (std::vector<float>{1, 2, 3, 4}));
    // Rate 1 gives the smallest radius, 3: index 4's window is 1...4, index 0's is 0...3.
    EXPECT_EQ(whitened({1, 2, 3, 4, 5}, 1), (std::vector<float>{0, 0, 0, 1.0f / 1.5f, 1}));
    EXPECT_EQ(whitened(std::vector<float>(50, 0.25f), 86.1328125), std::vector<float>(50, 0.0f));

    std::vector<float> oddRates(20, 1.0f);
    oddRates[3] = 2;
    detector::whiten(oddRates, notANumber);
    detector::whiten(oddRates, infinity);
    detector::whiten(oddRates, -5);
}

TEST(TempoSignalCheck, RejectsEmptyShortNonFiniteAndFlatSignalsInThatOrder) {
    const auto check = [](std::vector<float> values, std::size_t minimum) {
        return failureOf([&] { detector::validateSignal(values, minimum, "Onset envelope"); });
    };
    EXPECT_EQ(check({}, 0), "Onset envelope is empty.");
    EXPECT_EQ(check({1, std::numeric_limits<float>::infinity()}, 3),
              "Onset envelope is too short for this BPM range; need at least 3 frames, got 2.");
    EXPECT_EQ(check({1, std::numeric_limits<float>::infinity(), 1}, 2), "Onset envelope contains NaN or infinite values.");
    EXPECT_EQ(check({std::numeric_limits<float>::quiet_NaN(), 1, 1}, 2), "Onset envelope contains NaN or infinite values.");

    EXPECT_EQ(detector::validateSignal(std::vector<float>{1, 2, 3, 6}, 4, "x"), (std::vector<double>{-2, -1, 0, 3}));
}

TEST(TempoScores, ARateThatIsNotANumberIsRefused) {
    EXPECT_EQ(failureOf([] { detector::acfScores(std::vector<float>(200, 0.5f), notANumber, 60, 200); }),
              "Tempo analysis requires a positive sample/frame rate; got nan.");
}

TEST(TempoPeaks, NonStrictNeighboursAndRangeEnds) {
    TempoACF acf{{0, 0, 0.5, 0.4, 0.6, 0.6, 0.6, 0.2, 0.3, 0.3}, 2, 9};
    // 2 beats its only neighbour; the flat top 4-6 counts whole; 8 and 9 tie at the end.
    EXPECT_EQ(detector::peakLags(acf), (std::vector<std::size_t>{2, 4, 5, 6, 8, 9}));

    acf.scores = {0, 0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8};
    EXPECT_EQ(detector::peakLags(acf), (std::vector<std::size_t>{9}));
    // Rising to maxLag: the only candidate, unrefined.
    const auto rising = detector::rawCandidates(acf, 100);
    ASSERT_EQ(rising.size(), 1u);
    EXPECT_EQ(rising[0].bpm, 100 * 60.0 / 9);
}

TEST(TempoPrior, TemposThatAreNotPositiveNumbersWeighNothing) {
    const std::vector<double> bpms = {0, -5, infinity, notANumber};
    EXPECT_EQ(detector::applyTempoPrior(bpms, std::vector<double>(4, 1.0), 120, 1), std::vector<double>(4, 0.0));
    EXPECT_EQ(failureOf([] { detector::applyTempoPrior(std::vector<double>{1, 2}, std::vector<double>{1}, 120, 1); }),
              "Tempo prior requires matching BPM and score counts.");
}

TEST(TempoCandidates, ParabolicRefinementIsClampedAndSkippedOnFlatCurves) {
    TempoACF acf{{0, 0.1, 0.2, 0.5, 1.0, 0.9, 0.2, 0.2 + 1e-7, 0.2, 0.1, 0.3}, 1, 10};
    const auto candidates = detector::rawCandidates(acf, 50);
    ASSERT_EQ(candidates.size(), 3u);
    EXPECT_DOUBLE_EQ(candidates[0].bpm, 50 * 60.0 / (4 + 0.5 * (0.5 - 0.9) / (0.5 - 2.0 * 1.0 + 0.9)));
    // Lag 7 has a curvature below 1e-6, and lag 10 is maxLag: neither is refined.
    EXPECT_EQ(std::tuple(candidates[1].bpm, candidates[2].bpm), std::tuple(50 * 60.0 / 7, 50 * 60.0 / 10));

    // At minLag the lower neighbour is the unscored 0 below the range, which can push the
    // offset past half a lag: it is clamped. Negative scores become 0.
    acf = {{0, 0, 0, -0.1, -0.5, -0.6, -0.7, -0.8, -0.9}, 3, 8};
    const auto clamped = detector::rawCandidates(acf, 50);
    ASSERT_EQ(clamped.size(), 1u);
    EXPECT_EQ(std::tuple(clamped[0].bpm, clamped[0].score), std::tuple(50 * 60.0 / 2.5, 0.0));
}

TEST(TempoCandidates, SelectionFiltersSortsSeparatesAndRatesConfidence) {
    const auto pick = [](std::vector<OrvaneTempoCandidate> from, std::int64_t count = 3) {
        return detector::candidateSet(from, count, 5.0, 60, 200);
    };
    // The range filter is inclusive at both ends.
    const auto ranged = pick({{59.9, 0.9}, {60.0, 0.5}, {200.0, 0.4}, {200.1, 0.8}, {100, 0}, {notANumber, 1}});
    EXPECT_EQ(ranged.candidates, (std::vector<OrvaneTempoCandidate>{{60.0, 0.5}, {200.0, 0.4}}));
    EXPECT_EQ(failureOf([&] { pick({{59, 1}, {100, 0}}); }), "No usable tempo candidates were found in the audio.");

    // Equal scores keep the input (faster first) order.
    const auto tied = pick({{150, 0.5}, {100, 0.5}, {75, 0.5}});
    EXPECT_EQ(tied.candidates, (std::vector<OrvaneTempoCandidate>{{150, 0.5}, {100, 0.5}, {75, 0.5}}));
    EXPECT_EQ(std::tuple(tied.confidence, tied.confident), std::tuple(0.0, false));

    // Less than 5 BPM apart: only the better one; exactly 5 apart: both.
    EXPECT_EQ(pick({{124, 0.5}, {120, 0.9}}).candidates, (std::vector<OrvaneTempoCandidate>{{120, 0.9}}));
    EXPECT_EQ(pick({{125, 0.5}, {120, 0.9}}).candidates.size(), 2u);

    // Confident from a margin of exactly 0.15.
    const auto threshold = pick({{120, 1.0}, {90, 0.85}});
    EXPECT_NEAR(threshold.confidence, 0.15, 1e-12);
    EXPECT_TRUE(threshold.confident);
}

TEST(TempoResult, RoundsTheTempoAndClampsTheBeatCount) {
    const auto resultFor = [](double bpm, double seconds) {
        return detector::makeResult(OrvaneTempoCandidateSet{{{bpm, 0.5}}, 1, true}, seconds);
    };
    EXPECT_EQ(resultFor(119.9995, 10).tempoBPM, 120.0);
    EXPECT_EQ(resultFor(119.99949, 10).candidates[0].bpm, 119.99949) << "candidates keep their precision";
    EXPECT_EQ(resultFor(120, 0.25).totalBeats, 1);  // half a beat rounds away from zero
    EXPECT_EQ(resultFor(120, 1e300).totalBeats, std::numeric_limits<std::int64_t>::max());
}

}  // namespace
}  // namespace orvane::tempo
