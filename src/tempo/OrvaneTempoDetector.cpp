#include "tempo/OrvaneTempoDetector.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>

namespace orvane::tempo::OrvaneTempoDetector {
namespace {

constexpr std::size_t envelopeFrameLength = 1024;
constexpr std::size_t envelopeHop = 512;
constexpr float peakLimit = 0.98f;
constexpr float energyWeight = 0.65f;
constexpr float brightnessWeight = 0.35f;
constexpr double curvatureFloor = 1e-6;
constexpr double refinementLimit = 0.5;

// Positive part of a difference; a not-a-number difference counts as 0.
float positivePart(float difference) { return difference > 0 ? difference : 0.0f; }

// Block sums for the onset envelope are accumulated in 64-bit (products of two floats are
// exact there), so the 32-bit frame sums built from them are as exact as a float can hold,
// whatever order they are combined in. A block is one hop long.
constexpr std::size_t lanes = 8;
static_assert(envelopeHop % lanes == 0);

double laneTotal(const double (&sums)[lanes]) {
    return ((sums[0] + sums[1]) + (sums[2] + sums[3])) + ((sums[4] + sums[5]) + (sums[6] + sums[7]));
}

double blockSumOfSquares(const float* block) {
    double sums[lanes] = {};
    for (std::size_t i = 0; i < envelopeHop; i += lanes) {
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            const double value = block[i + lane];
            sums[lane] += value * value;
        }
    }
    return laneTotal(sums);
}

// Sum of (x[i] - x[i-1])^2 for i in [1, hop) inside the block; the differences are taken in
// 32-bit float.
double blockSumOfSquaredSteps(const float* block) {
    constexpr std::size_t steps = envelopeHop - 1;
    double sums[lanes] = {};
    std::size_t k = 0;
    for (; k + lanes <= steps; k += lanes) {
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            const double step = block[k + lane + 1] - block[k + lane];
            sums[lane] += step * step;
        }
    }
    for (; k < steps; ++k) {
        const double step = block[k + 1] - block[k];
        sums[k % lanes] += step * step;
    }
    return laneTotal(sums);
}

// A double truncated toward zero into an index, saturating instead of overflowing.
std::size_t truncatedIndex(double value) {
    if (!(value > 0)) return 0;
    if (value >= 1.8e19) return std::numeric_limits<std::size_t>::max();
    return static_cast<std::size_t>(value);
}

void report(const TempoProgress& progress, double fraction, std::string_view message) {
    if (progress) progress(fraction, message);
}

// Adds one decoded stretch to the mono mix: one channel is copied; several are each divided
// by the channel count and added, channel by channel, onto zeros.
void mixIntoMono(const PlanarChunk& chunk, float* mono) {
    const std::size_t channels = chunk.channels.size();
    if (channels == 1) {
        std::copy_n(chunk.channels[0], chunk.frameCount, mono);
        return;
    }
    const auto divisor = static_cast<float>(channels);
    if (channels == 2) {  // the same sums, in one pass
        const float* left = chunk.channels[0];
        const float* right = chunk.channels[1];
        for (std::size_t i = 0; i < chunk.frameCount; ++i) mono[i] = (mono[i] + left[i] / divisor) + right[i] / divisor;
        return;
    }
    for (std::size_t c = 0; c < channels; ++c) {
        const float* samples = chunk.channels[c];
        for (std::size_t i = 0; i < chunk.frameCount; ++i) mono[i] += samples[i] / divisor;
    }
}

// The largest and smallest of a run of samples, starting from 0, found in vector lanes (the
// order does not change a maximum); not-a-number samples are passed over.
struct Extremes {
    float highest = 0;
    float lowest = 0;
};

Extremes extremes(const float* samples, std::size_t count) {
    Extremes result;
    std::size_t i = 0;
#if defined(__SSE__)
    // maxps and minps return their second operand when the first is not a number.
    __m128 highest = _mm_setzero_ps();
    __m128 lowest = _mm_setzero_ps();
    for (; i + 4 <= count; i += 4) {
        const __m128 values = _mm_loadu_ps(samples + i);
        highest = _mm_max_ps(values, highest);
        lowest = _mm_min_ps(values, lowest);
    }
    alignas(16) float high[4];
    alignas(16) float low[4];
    _mm_store_ps(high, highest);
    _mm_store_ps(low, lowest);
    for (std::size_t lane = 0; lane < 4; ++lane) {
        result.highest = std::max(result.highest, high[lane]);
        result.lowest = std::min(result.lowest, low[lane]);
    }
#endif
    for (; i < count; ++i) {
        result.highest = samples[i] > result.highest ? samples[i] : result.highest;
        result.lowest = samples[i] < result.lowest ? samples[i] : result.lowest;
    }
    return result;
}

}  // namespace

double audioDurationSeconds(AudioFileDecoder& decoder) {
    const double rate = decoder.sampleRate();
    if (!(rate > 0)) return 0;
    return static_cast<double>(decoder.lengthInFrames()) / rate;
}

double audioDurationSeconds(const std::filesystem::path& url, const AudioFileOpener& open) {
    const auto decoder = open(url);
    if (!decoder) throw AudioFileError::unsupportedAudioFormat();
    return audioDurationSeconds(*decoder);
}

OrvaneAudioWindow loadMonoAnalysisWindow(AudioFileDecoder& decoder, double maximumSeconds) {
    OrvaneAudioWindow window;
    window.sampleRate = decoder.sampleRate();
    const double wanted = std::trunc(maximumSeconds * window.sampleRate);
    const std::uint64_t length = decoder.lengthInFrames();
    const std::uint64_t frames =
        length == 0 ? 0 : std::min<std::uint64_t>(length, std::max<std::uint64_t>(1, truncatedIndex(wanted)));
    if (frames > std::numeric_limits<std::uint32_t>::max()) throw AudioFileError::unableToAllocateBuffer();
    try {
        window.samples.resize(static_cast<std::size_t>(frames));
    } catch (const std::bad_alloc&) {
        throw AudioFileError::unableToAllocateBuffer();
    }
    std::size_t frameLength = 0;
    decoder.decodeFromStart(frames, [&](const PlanarChunk& chunk) {
        const std::size_t count = std::min(chunk.frameCount, window.samples.size() - frameLength);
        if (count == 0 || chunk.channels.empty()) {
            frameLength += count;
            return;
        }
        mixIntoMono(PlanarChunk{chunk.channels, count}, window.samples.data() + frameLength);
        frameLength += count;
    });
    window.samples.resize(frameLength);
    normalize(window.samples);
    return window;
}

OrvaneAudioWindow loadMonoAnalysisWindow(const std::filesystem::path& url, double maximumSeconds,
                                         const AudioFileOpener& open) {
    const auto decoder = open(url);
    if (!decoder) throw AudioFileError::unsupportedAudioFormat();
    return loadMonoAnalysisWindow(*decoder, maximumSeconds);
}

void normalize(std::span<float> samples) {
    const Extremes range = extremes(samples.data(), samples.size());
    const float peak = std::max(range.highest, -range.lowest);
    if (!(peak > 0)) return;
    const float scale = peakLimit / peak;
    if (scale < 1.0f) {
        for (float& sample : samples) sample *= scale;
    }
}

std::vector<OrvaneWaveformSlice> waveformSlices(std::span<const float> samples, int maximumSlices) {
    std::vector<OrvaneWaveformSlice> slices;
    if (samples.empty() || maximumSlices < 1) return slices;
    const std::size_t count = samples.size();
    const std::size_t sliceCount = std::min(count, static_cast<std::size_t>(maximumSlices));
    const std::size_t step = std::max<std::size_t>(count / sliceCount, 1);
    slices.reserve(count / step + 1);
    float scale = 0;
    for (std::size_t start = 0; start < count; start += step) {
        const std::size_t end = std::min(start + step, count);
        const Extremes range = extremes(samples.data() + start, end - start);
        const OrvaneWaveformSlice slice{range.highest, range.lowest};
        scale = std::max({scale, slice.positivePeak, std::fabs(slice.negativePeak)});
        slices.push_back(slice);
    }
    if (scale > 0) {
        for (auto& slice : slices) {
            slice.positivePeak /= scale;
            slice.negativePeak /= scale;
        }
    }
    return slices;
}

TempoEnvelope onsetEnvelope(std::span<const float> samples, double sampleRate) {
    TempoEnvelope envelope;
    envelope.frameRate = sampleRate * 0.001953125;
    if (samples.size() < envelopeFrameLength || !(sampleRate > 0)) return envelope;

    // Each frame is two hop-sized blocks: its energy is the sum of theirs, and its sum of
    // squared steps is the inner steps of both blocks plus the step between them.
    const std::size_t frames = (samples.size() - envelopeFrameLength) / envelopeHop + 1;
    const std::size_t blocks = frames + 1;
    std::vector<double> blockEnergy(blocks);
    std::vector<double> blockSteps(blocks);
    std::vector<double> stepIntoBlock(blocks, 0.0);
    for (std::size_t b = 0; b < blocks; ++b) {
        const float* block = samples.data() + b * envelopeHop;
        blockEnergy[b] = blockSumOfSquares(block);
        blockSteps[b] = blockSumOfSquaredSteps(block);
        if (b > 0) {
            const double step = block[0] - block[-1];
            stepIntoBlock[b] = step * step;
        }
    }
    envelope.values.resize(frames);
    float previousEnergy = 0;
    float previousSteps = 0;
    for (std::size_t k = 0; k < frames; ++k) {
        const auto energy = static_cast<float>(blockEnergy[k] + blockEnergy[k + 1]);
        const auto steps = static_cast<float>(blockSteps[k] + stepIntoBlock[k + 1] + blockSteps[k + 1]);
        envelope.values[k] = energyWeight * positivePart(energy - previousEnergy) +
                             brightnessWeight * positivePart(steps - previousSteps);
        previousEnergy = energy;
        previousSteps = steps;
    }
    whiten(envelope.values, envelope.frameRate);
    return envelope;
}

void whiten(std::vector<float>& values, double rate) {
    const std::size_t n = values.size();
    if (n < 5) return;
    const std::size_t radius = std::min(std::max<std::size_t>(truncatedIndex(rate * 0.45), 3), n);
    std::vector<float> output(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t lo = i >= radius ? i - radius : 0;
        const std::size_t hi = std::min(i + radius, n - 1);
        float sum = 0;
        for (std::size_t j = lo; j <= hi; ++j) sum += values[j];
        const float mean = sum / static_cast<float>(hi - lo + 1);
        output[i] = std::max(0.0f, values[i] - mean);
    }
    values.swap(output);
    normalizeEnvelope(values);
}

void normalizeEnvelope(std::span<float> values) {
    if (values.empty()) return;
    float largest = values[0];
    for (const float value : values) largest = std::max(largest, value);
    if (largest > 0) {
        for (float& value : values) value /= largest;
    }
}

std::vector<double> validateSignal(std::span<const float> values, std::size_t minLength, std::string_view name) {
    const std::string label(name);
    if (values.empty()) throw OrvaneTempoDetectionError::invalidSignal(label + " is empty.");
    if (values.size() < minLength) {
        throw OrvaneTempoDetectionError::invalidSignal(label + " is too short for this BPM range; need at least " +
                                                       std::to_string(minLength) + " frames, got " +
                                                       std::to_string(values.size()) + ".");
    }
    std::vector<double> x(values.size());
    double sum = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        x[i] = values[i];
        if (!std::isfinite(x[i])) {
            throw OrvaneTempoDetectionError::invalidSignal(label + " contains NaN or infinite values.");
        }
        sum += x[i];
    }
    const double count = static_cast<double>(x.size());
    const double mean = sum / count;
    double squares = 0;
    for (const double value : x) squares += (value - mean) * (value - mean);
    if (!(squares / count > 1e-10)) {
        throw OrvaneTempoDetectionError::invalidSignal(label + " has no usable AC content.");
    }
    for (double& value : x) value -= mean;
    return x;
}

TempoACF acfScores(std::span<const float> envelopeValues, double frameRate, double bpmMin, double bpmMax) {
    if (!(frameRate > 0) || !std::isfinite(frameRate)) throw OrvaneTempoDetectionError::invalidSampleRate(frameRate);
    if (!std::isfinite(bpmMin) || !(bpmMin > 0) || !(bpmMin < bpmMax) || !std::isfinite(bpmMax)) {
        throw OrvaneTempoDetectionError::invalidBPMRange(bpmMin, bpmMax);
    }
    const double longestPeriod = frameRate * 60.0 / bpmMin;
    const std::size_t periodFrames = truncatedIndex(longestPeriod);
    const std::size_t minimumLength = periodFrames > std::numeric_limits<std::size_t>::max() - 2
                                          ? std::numeric_limits<std::size_t>::max()
                                          : periodFrames + 2;
    const std::vector<double> x = validateSignal(envelopeValues, minimumLength, "Onset envelope");
    const std::size_t n = x.size();

    TempoACF acf;
    acf.minLag = std::max<std::size_t>(truncatedIndex(std::floor(frameRate * 60.0 / bpmMax)), 1);
    acf.maxLag = std::min(n - 2, truncatedIndex(std::ceil(longestPeriod)));
    if (acf.minLag >= acf.maxLag) throw OrvaneTempoDetectionError::noValidLagRange();

    double energy = 0;
    for (const double value : x) energy += value * value;
    if (!(energy > 1e-12)) throw OrvaneTempoDetectionError::invalidSignal("Onset envelope has no usable AC content.");

    acf.scores.assign(acf.maxLag + 1, 0.0);
    for (std::size_t lag = acf.minLag; lag <= acf.maxLag; ++lag) {
        double sum = 0;
        for (std::size_t i = lag; i < n; ++i) sum += x[i] * x[i - lag];
        acf.scores[lag] = sum / energy;
    }
    return acf;
}

std::vector<std::size_t> peakLags(const TempoACF& acf) {
    std::vector<std::size_t> lags;
    const auto& s = acf.scores;
    for (std::size_t lag = acf.minLag; lag <= acf.maxLag && lag < s.size(); ++lag) {
        const bool aboveLower = lag == acf.minLag || s[lag - 1] <= s[lag];
        const bool aboveUpper = lag == acf.maxLag || s[lag + 1] <= s[lag];
        if (aboveLower && aboveUpper) lags.push_back(lag);
    }
    return lags;
}

std::vector<double> applyTempoPrior(std::span<const double> bpms, std::span<const double> scores, double centerBPM,
                                    double sigmaOctaves) {
    if (bpms.size() != scores.size()) {
        throw OrvaneTempoDetectionError::invalidSignal("Tempo prior requires matching BPM and score counts.");
    }
    std::vector<double> weighted(bpms.size(), 0.0);
    for (std::size_t i = 0; i < bpms.size(); ++i) {
        const double bpm = bpms[i];
        if (!(bpm > 0) || !std::isfinite(bpm)) continue;
        const double octaves = std::log2(bpm / centerBPM) / sigmaOctaves;
        weighted[i] = scores[i] * std::exp(-0.5 * (octaves * octaves));
    }
    return weighted;
}

std::vector<OrvaneTempoCandidate> rawCandidates(const TempoACF& acf, double frameRate) {
    const std::vector<std::size_t> lags = peakLags(acf);
    const auto& s = acf.scores;
    std::vector<double> bpms;
    std::vector<double> raw;
    for (const std::size_t lag : lags) {
        bpms.push_back(frameRate * 60.0 / static_cast<double>(lag));
        raw.push_back(s[lag]);
    }
    const std::vector<double> weighted = applyTempoPrior(bpms, raw, priorCenterBPM, priorWidthOctaves);

    std::vector<OrvaneTempoCandidate> candidates;
    candidates.reserve(lags.size());
    for (std::size_t i = 0; i < lags.size(); ++i) {
        const std::size_t lag = lags[i];
        double refinedLag = static_cast<double>(lag);
        if (lag >= 1 && lag + 1 < s.size()) {
            const double y0 = s[lag - 1];
            const double y1 = s[lag];
            const double y2 = s[lag + 1];
            const double curvature = y0 - 2.0 * y1 + y2;
            if (std::fabs(curvature) > curvatureFloor) {
                const double offset = std::clamp(0.5 * (y0 - y2) / curvature, -refinementLimit, refinementLimit);
                refinedLag = static_cast<double>(lag) + offset;
            }
        }
        const double bpm = refinedLag > 1 ? frameRate * 60.0 / refinedLag : frameRate * 60.0;
        candidates.push_back({bpm, weighted[i] >= 0 ? weighted[i] : 0.0});
    }
    return candidates;
}

OrvaneTempoCandidateSet candidateSet(std::span<const OrvaneTempoCandidate> from, std::int64_t count,
                                     double minSeparationBPM, double bpmMin, double bpmMax) {
    if (count < 1) throw OrvaneTempoDetectionError::invalidCandidateCount(count);
    if (!(minSeparationBPM > 0)) throw OrvaneTempoDetectionError::invalidMinimumSeparation(minSeparationBPM);

    std::vector<OrvaneTempoCandidate> usable;
    for (const auto& candidate : from) {
        if (candidate.score > 0 && std::isfinite(candidate.bpm) && bpmMin <= candidate.bpm && candidate.bpm <= bpmMax) {
            usable.push_back(candidate);
        }
    }
    std::stable_sort(usable.begin(), usable.end(),
                     [](const OrvaneTempoCandidate& a, const OrvaneTempoCandidate& b) { return a.score > b.score; });

    OrvaneTempoCandidateSet set;
    for (const auto& candidate : usable) {
        if (static_cast<std::int64_t>(set.candidates.size()) >= count) break;
        const bool tooClose = std::any_of(set.candidates.begin(), set.candidates.end(), [&](const auto& accepted) {
            return std::fabs(accepted.bpm - candidate.bpm) < minSeparationBPM;
        });
        if (!tooClose) set.candidates.push_back(candidate);
    }
    if (set.candidates.empty()) throw OrvaneTempoDetectionError::noTempoCandidates();

    if (set.candidates.size() == 1) {
        set.confidence = 1.0;
    } else {
        const double first = set.candidates[0].score;
        const double second = set.candidates[1].score;
        set.confidence = first > 0 ? std::max(std::min((first - second) / first, 1.0), 0.0) : 0.0;
    }
    set.confident = set.confidence >= confidentThreshold;
    return set;
}

OrvaneBeatDetectionResult makeResult(const OrvaneTempoCandidateSet& set, double durationSeconds) {
    OrvaneBeatDetectionResult result;
    const double best = set.candidates.empty() ? 0.0 : set.candidates.front().bpm;
    result.tempoBPM = std::round(best * 1000.0) / 1000.0;
    result.songLengthSeconds = durationSeconds;
    result.confidence = set.confidence;
    if (best > 0 && 60.0 / best > 0) {
        const double beats = std::round(durationSeconds / (60.0 / best));
        if (beats >= 9.2e18) {
            result.totalBeats = std::numeric_limits<std::int64_t>::max();
        } else if (beats > 0) {
            result.totalBeats = static_cast<std::int64_t>(beats);
        }
    }
    result.candidates = set.candidates;
    result.confident = set.confident;
    return result;
}

OrvaneBeatDetectionResult analyzeWindow(const OrvaneAudioWindow& window, double durationSeconds,
                                        const TempoProgress& progress, const TempoWaveform& waveform) {
    const auto slices = waveformSlices(window.samples, previewSlices);
    if (waveform) waveform(slices);
    report(progress, 0.4, "Finding pulse");
    const TempoEnvelope envelope = onsetEnvelope(window.samples, window.sampleRate);
    report(progress, 0.68, "Voting tempo candidates");
    const TempoACF acf = acfScores(envelope.values, envelope.frameRate, minimumBPM, maximumBPM);
    const auto candidates = rawCandidates(acf, envelope.frameRate);
    const OrvaneTempoCandidateSet set =
        candidateSet(candidates, candidatesKept, minimumCandidateSeparationBPM, minimumBPM, maximumBPM);
    report(progress, 0.92, "Preparing result");
    OrvaneBeatDetectionResult result = makeResult(set, durationSeconds);
    report(progress, 1.0, "Tempo detected");
    return result;
}

OrvaneBeatDetectionResult detectTempo(const std::filesystem::path& audioURL, const TempoProgress& progress,
                                      const TempoWaveform& waveform, const AudioFileOpener& open) {
    report(progress, 0.05, "Opening audio file");
    // One decoder serves both the duration and the analysis window.
    const auto decoder = open(audioURL);
    if (!decoder) throw AudioFileError::unsupportedAudioFormat();
    const double duration = audioDurationSeconds(*decoder);
    report(progress, 0.18, "Reading audio");
    const OrvaneAudioWindow window = loadMonoAnalysisWindow(*decoder, analysisWindowSeconds);
    return analyzeWindow(window, duration, progress, waveform);
}

}  // namespace orvane::tempo::OrvaneTempoDetector
