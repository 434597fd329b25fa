// The building blocks of the tempo detector, one at a time, on hand-made inputs.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
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

TEST(TempoLoading, SeveralChannelsAreEachDividedByTheirCountAndAddedInOrder) {
    // Two channels take a one-pass path that must give the same sums as the general one.
    const auto value = [](std::size_t i, unsigned c) { return 0.3f * std::sin(0.01f * static_cast<float>(i * (c + 1))); };
    for (unsigned channels : {2u, 3u}) {
        GeneratedAudioFile file(8000, channels, 3001, value);
        const auto window = detector::loadMonoAnalysisWindow(file, 60.0);
        ASSERT_EQ(window.samples.size(), 3001u);
        for (std::size_t i = 0; i < window.samples.size(); ++i) {
            float expected = 0;
            for (unsigned c = 0; c < channels; ++c) expected += value(i, c) / static_cast<float>(channels);
            ASSERT_EQ(window.samples[i], expected) << channels << " channels, frame " << i;
        }
    }
}

TEST(TempoLoading, EmptyAndShortFilesAndThePeakLimit) {
    GeneratedAudioFile empty(44100, 2, 0, [](std::size_t, unsigned) { return 1.0f; });
    EXPECT_TRUE(detector::loadMonoAnalysisWindow(empty, 60.0).samples.empty());
    // A window shorter than one frame still reads one frame.
    GeneratedAudioFile tiny(10, 1, 50, [](std::size_t, unsigned) { return 0.5f; });
    EXPECT_EQ(detector::loadMonoAnalysisWindow(tiny, 0.01).samples.size(), 1u);

    // Peaks above 0.98 are limited to it, whatever their sign; nothing is ever amplified.
    const std::pair<std::vector<float>, std::vector<float>> limits[] = {
        {{0.5f, -0.25f, 0.1f}, {0.5f, -0.25f, 0.1f}},
        {{0.98f, -0.5f}, {0.98f, -0.5f}},
        {{1.0f, -0.5f, 0.25f}, {0.98f, -0.5f * 0.98f, 0.25f * 0.98f}},
        {{0.5f, -2.0f}, {0.5f * (0.98f / 2.0f), -2.0f * (0.98f / 2.0f)}},
        {std::vector<float>(10, 0.0f), std::vector<float>(10, 0.0f)},
    };
    for (auto [samples, expected] : limits) {
        detector::normalize(samples);
        EXPECT_EQ(samples, expected);
    }
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
    EXPECT_TRUE(std::isinf(withInfinity[0]));
    EXPECT_EQ(withInfinity[1], 0.0f);
}

TEST(TempoEnvelope, WhiteningOfShortFlatAndOddRateEnvelopes) {
    std::vector<float> four = {1, 2, 3, 4};
    detector::whiten(four, 100);
    EXPECT_EQ(four, (std::vector<float>{1, 2, 3, 4}));

    // Rate 1 gives the smallest radius, 3: index 4's window is 1...4, index 0's is 0...3.
    std::vector<float> five = {1, 2, 3, 4, 5};
    detector::whiten(five, 1);
    EXPECT_EQ(five, (std::vector<float>{0, 0, 0, 1.0f / 1.5f, 1}));

    std::vector<float> flat(50, 0.25f);
    detector::whiten(flat, 86.1328125);
    EXPECT_EQ(flat, std::vector<float>(50, 0.0f));

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
    EXPECT_EQ(check({1, 2, 3}, 88),
              "Onset envelope is too short for this BPM range; need at least 88 frames, got 3.");
    EXPECT_EQ(check({1, std::numeric_limits<float>::infinity(), 1}, 2), "Onset envelope contains NaN or infinite values.");
    EXPECT_EQ(check({std::numeric_limits<float>::quiet_NaN(), 1}, 2), "Onset envelope contains NaN or infinite values.");
    EXPECT_EQ(check(std::vector<float>(100, 0.3f), 2), "Onset envelope has no usable AC content.");
    EXPECT_EQ(failureOf([] { detector::validateSignal(std::vector<float>{}, 1, "Signal"); }), "Signal is empty.");

    const auto centred = detector::validateSignal(std::vector<float>{1, 2, 3, 6}, 4, "x");
    EXPECT_EQ(centred, (std::vector<double>{-2, -1, 0, 3}));
}

TEST(TempoScores, ValidatesRatesAndRangesWithExactTexts) {
    const std::vector<float> envelope(200, 0.5f);
    const auto scores = [&](double rate, double low, double high) {
        return failureOf([&] { detector::acfScores(envelope, rate, low, high); });
    };
    EXPECT_EQ(scores(0, 60, 200), "Tempo analysis requires a positive sample/frame rate; got 0.0.");
    EXPECT_EQ(scores(notANumber, 60, 200), "Tempo analysis requires a positive sample/frame rate; got nan.");
    EXPECT_EQ(scores(86, 60, infinity), "Tempo analysis requires bpmMin > 0 and bpmMax > bpmMin; got 60.0-inf.");
    EXPECT_EQ(scores(86, 60.5, 59.25), "Tempo analysis requires bpmMin > 0 and bpmMax > bpmMin; got 60.5-59.25.");
}

TEST(TempoScores, LagRangeAndMinimumLengthAtTheUsualFrameRate) {
    const double rate = 44100.0 / 512;
    std::vector<float> envelope(88);
    for (std::size_t i = 0; i < envelope.size(); ++i) envelope[i] = (i % 40 == 0) ? 1.0f : 0.0f;
    const auto acf = detector::acfScores(envelope, rate, 60, 200);
    EXPECT_EQ(acf.minLag, 25u);
    EXPECT_EQ(acf.maxLag, 86u);  // n - 2 limits the ceiling of 86.13
    ASSERT_EQ(acf.scores.size(), 87u);
    EXPECT_EQ(acf.scores[24], 0.0);
    EXPECT_GT(acf.scores[40], acf.scores[39]);
    EXPECT_GT(acf.scores[40], acf.scores[41]);

    envelope.pop_back();
    EXPECT_EQ(failureOf([&] { detector::acfScores(envelope, rate, 60, 200); }),
              "Onset envelope is too short for this BPM range; need at least 88 frames, got 87.");

    // A range so narrow that no lag fits between floor and the limit n - 2.
    std::vector<float> narrow(102);
    for (std::size_t i = 0; i < narrow.size(); ++i) narrow[i] = static_cast<float>(i % 7);
    EXPECT_EQ(failureOf([&] { detector::acfScores(narrow, 100, 59.5, 59.6); }),
              "No valid tempo lag range exists for the requested BPM range and signal length.");
}

TEST(TempoPeaks, NonStrictNeighboursAndRangeEnds) {
    TempoACF acf;
    acf.minLag = 2;
    acf.maxLag = 9;
    acf.scores = {0, 0, 0.5, 0.4, 0.6, 0.6, 0.6, 0.2, 0.3, 0.3};
    // 2 beats its only neighbour; the flat top 4-6 counts whole; 8 and 9 tie at the end.
    EXPECT_EQ(detector::peakLags(acf), (std::vector<std::size_t>{2, 4, 5, 6, 8, 9}));

    acf.scores = {0, 0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8};
    EXPECT_EQ(detector::peakLags(acf), (std::vector<std::size_t>{9}));
    // Rising to maxLag: the only candidate, unrefined.
    const auto rising = detector::rawCandidates(acf, 100);
    ASSERT_EQ(rising.size(), 1u);
    EXPECT_EQ(rising[0].bpm, 100 * 60.0 / 9);
}

TEST(TempoPrior, WeightsByOctaveDistanceFrom120) {
    const std::vector<double> bpms = {120, 60, 240, 0, -5, infinity, notANumber};
    const std::vector<double> raw = {0.5, 1, 1, 1, 1, 1, 1};
    const auto weighted = detector::applyTempoPrior(bpms, raw, 120, 1);
    EXPECT_EQ(weighted[0], 0.5);
    EXPECT_NEAR(weighted[1], 0.60653, 1e-5);
    EXPECT_EQ(weighted[1], weighted[2]);
    EXPECT_EQ((std::vector<double>(weighted.begin() + 3, weighted.end())), std::vector<double>(4, 0.0));

    EXPECT_EQ(failureOf([] { detector::applyTempoPrior(std::vector<double>{1, 2}, std::vector<double>{1}, 120, 1); }),
              "Tempo prior requires matching BPM and score counts.");
}

TEST(TempoCandidates, ParabolicRefinementIsClampedAndSkippedOnFlatCurves) {
    TempoACF acf;
    acf.minLag = 1;
    acf.maxLag = 10;
    acf.scores = {0, 0.1, 0.2, 0.5, 1.0, 0.9, 0.2, 0.2 + 1e-7, 0.2, 0.1, 0.3};
    const auto candidates = detector::rawCandidates(acf, 50);
    ASSERT_EQ(candidates.size(), 3u);
    const double offset = 0.5 * (0.5 - 0.9) / (0.5 - 2.0 * 1.0 + 0.9);
    EXPECT_DOUBLE_EQ(candidates[0].bpm, 50 * 60.0 / (4 + offset));
    // Lag 7 has a curvature below 1e-6, and lag 10 is maxLag: neither is refined.
    EXPECT_EQ(candidates[1].bpm, 50 * 60.0 / 7);
    EXPECT_EQ(candidates[2].bpm, 50 * 60.0 / 10);

    // At minLag the lower neighbour is the unscored 0 below the range, which can push the
    // offset past half a lag: it is clamped. Negative scores become 0.
    acf.minLag = 3;
    acf.maxLag = 8;
    acf.scores = {0, 0, 0, -0.1, -0.5, -0.6, -0.7, -0.8, -0.9};
    const auto clamped = detector::rawCandidates(acf, 50);
    ASSERT_EQ(clamped.size(), 1u);
    EXPECT_EQ(clamped[0].bpm, 50 * 60.0 / 2.5);
    EXPECT_EQ(clamped[0].score, 0.0);
}

TEST(TempoCandidates, SelectionFiltersSortsSeparatesAndRatesConfidence) {
    const auto pick = [](std::vector<OrvaneTempoCandidate> from, std::int64_t count = 3) {
        return detector::candidateSet(from, count, 5.0, 60, 200);
    };
    // The range filter is inclusive at both ends.
    const auto ranged = pick({{59.9, 0.9}, {60.0, 0.5}, {200.0, 0.4}, {200.1, 0.8}, {100, 0}, {notANumber, 1}});
    EXPECT_EQ(ranged.candidates, (std::vector<OrvaneTempoCandidate>{{60.0, 0.5}, {200.0, 0.4}}));

    // Equal scores keep the input (faster first) order.
    const auto tied = pick({{150, 0.5}, {100, 0.5}, {75, 0.5}});
    EXPECT_EQ(tied.candidates, (std::vector<OrvaneTempoCandidate>{{150, 0.5}, {100, 0.5}, {75, 0.5}}));
    EXPECT_EQ(tied.confidence, 0.0);
    EXPECT_FALSE(tied.confident);

    // Less than 5 BPM apart: only the better one; exactly 5 apart: both.
    EXPECT_EQ(pick({{124, 0.5}, {120, 0.9}}).candidates, (std::vector<OrvaneTempoCandidate>{{120, 0.9}}));
    EXPECT_EQ(pick({{125, 0.5}, {120, 0.9}}).candidates.size(), 2u);

    // At most N, best first.
    const auto many = pick({{190, 0.1}, {170, 0.2}, {150, 0.3}, {130, 0.4}, {110, 0.5}}, 2);
    EXPECT_EQ(many.candidates, (std::vector<OrvaneTempoCandidate>{{110, 0.5}, {130, 0.4}}));

    const auto single = pick({{120, 0.3}});
    EXPECT_EQ(single.confidence, 1.0);
    EXPECT_TRUE(single.confident);
    const auto close = pick({{120, 1.0}, {90, 0.9}});
    EXPECT_NEAR(close.confidence, 0.1, 1e-12);
    EXPECT_FALSE(close.confident);
    const auto threshold = pick({{120, 1.0}, {90, 0.85}});
    EXPECT_NEAR(threshold.confidence, 0.15, 1e-12);
    EXPECT_TRUE(threshold.confident);

    EXPECT_EQ(failureOf([&] { pick({{59, 1}, {100, 0}}); }), "No usable tempo candidates were found in the audio.");
    EXPECT_EQ(failureOf([] { detector::candidateSet({}, 0, 5, 60, 200); }),
              "Tempo candidate count must be at least 1; got 0.");
    EXPECT_EQ(failureOf([] { detector::candidateSet({}, 3, -1.5, 60, 200); }),
              "Tempo candidate separation must be greater than 0 BPM; got -1.5.");
}

TEST(TempoResult, RoundsTheTempoAndCountsBeatsOverTheWholeFile) {
    const auto resultFor = [](double bpm, double seconds) {
        OrvaneTempoCandidateSet set;
        set.candidates = {{bpm, 0.5}};
        set.confidence = 1;
        set.confident = true;
        return detector::makeResult(set, seconds);
    };
    EXPECT_EQ(resultFor(119.99949, 10).tempoBPM, 119.999);
    EXPECT_EQ(resultFor(119.9995, 10).tempoBPM, 120.0);
    EXPECT_EQ(resultFor(119.99949, 10).candidates[0].bpm, 119.99949);
    EXPECT_EQ(resultFor(120, 30).totalBeats, 60);
    EXPECT_EQ(resultFor(120, 300).totalBeats, 600);
    EXPECT_EQ(resultFor(120, 0.25).totalBeats, 1);  // half a beat rounds away from zero
    EXPECT_EQ(resultFor(120, 0).totalBeats, 0);
    EXPECT_EQ(resultFor(120, 1e300).totalBeats, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(resultFor(120, 300).songLengthSeconds, 300);
}

}  // namespace
}  // namespace orvane::tempo
