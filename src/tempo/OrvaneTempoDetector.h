#pragma once
// The audio tempo detector: pure functions over samples. It reads the first 60 seconds of an
// audio file, builds an onset envelope (one value per hop of 512 samples), scores every beat
// period between 60 and 200 BPM by autocorrelation, weights the peaks with a tempo prior
// centred on 120 BPM and keeps up to three well-separated candidates.
//
// Sample and envelope arithmetic is 32-bit float; the signal check converts to 64-bit, and all
// scoring after it is 64-bit. Failures throw OrvaneTempoDetectionError or, from the file
// loader, AudioFileError.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tempo/AudioFileDecoder.h"
#include "tempo/LargeBufferAllocator.h"

namespace orvane::tempo {

// One column of the waveform preview.
struct OrvaneWaveformSlice {
    float positivePeak = 0;  // 0 to 1
    float negativePeak = 0;  // -1 to 0
    bool operator==(const OrvaneWaveformSlice&) const = default;
};

struct OrvaneTempoCandidate {
    double bpm = 0;
    double score = 0;  // prior-weighted autocorrelation, never negative
    bool operator==(const OrvaneTempoCandidate&) const = default;
};

struct OrvaneBeatDetectionResult {
    double tempoBPM = 0;           // the best candidate's BPM rounded to three decimals
    double songLengthSeconds = 0;  // the whole file, not only the analysed window
    double confidence = 0;         // 0 to 1
    std::int64_t totalBeats = 0;   // beats in the whole file at the best tempo
    std::vector<OrvaneTempoCandidate> candidates;  // 1 to 3, best first, BPM not rounded
    bool confident = false;                        // confidence >= 0.15
    bool operator==(const OrvaneBeatDetectionResult&) const = default;
};

class OrvaneTempoDetectionError : public std::exception {
public:
    enum class Case {
        invalidSampleRate,
        invalidBPMRange,
        invalidSignal,
        invalidCandidateCount,
        invalidMinimumSeparation,
        noValidLagRange,
        noTempoCandidates,
    };

    static OrvaneTempoDetectionError invalidSampleRate(double rate);
    static OrvaneTempoDetectionError invalidBPMRange(double min, double max);
    static OrvaneTempoDetectionError invalidSignal(std::string message);
    static OrvaneTempoDetectionError invalidCandidateCount(std::int64_t count);
    static OrvaneTempoDetectionError invalidMinimumSeparation(double separation);
    static OrvaneTempoDetectionError noValidLagRange();
    static OrvaneTempoDetectionError noTempoCandidates();

    [[nodiscard]] Case errorCase() const noexcept { return case_; }
    [[nodiscard]] const std::string& description() const noexcept { return description_; }
    [[nodiscard]] const char* what() const noexcept override { return description_.c_str(); }

private:
    OrvaneTempoDetectionError(Case errorCase, std::string description);
    Case case_;
    std::string description_;
};

// The decoded analysis window: mono samples, already peak-limited to 0.98.
struct OrvaneAudioWindow {
    SampleBuffer samples;
    double sampleRate = 0;
};

struct TempoEnvelope {
    std::vector<float> values;  // whitened, largest value 1.0
    double frameRate = 0;       // sample rate / 512
};

struct TempoACF {
    std::vector<double> scores;  // indexed by lag; entries below minLag are 0
    std::size_t minLag = 0;
    std::size_t maxLag = 0;
};

struct OrvaneTempoCandidateSet {
    std::vector<OrvaneTempoCandidate> candidates;
    double confidence = 0;
    bool confident = false;
};

using TempoProgress = std::function<void(double fraction, std::string_view message)>;
using TempoWaveform = std::function<void(const std::vector<OrvaneWaveformSlice>& slices)>;

namespace OrvaneTempoDetector {

inline constexpr double analysisWindowSeconds = 60.0;
inline constexpr int previewSlices = 420;
inline constexpr double minimumBPM = 60.0;
inline constexpr double maximumBPM = 200.0;
inline constexpr double priorCenterBPM = 120.0;
inline constexpr double priorWidthOctaves = 1.0;
inline constexpr int candidatesKept = 3;
inline constexpr double minimumCandidateSeparationBPM = 5.0;
inline constexpr double confidentThreshold = 0.15;

// Runs the whole analysis. `progress` and `waveform` are called on the calling thread; either
// may be empty. `open` opens the file (FFmpeg unless a test supplies its own).
OrvaneBeatDetectionResult detectTempo(const std::filesystem::path& audioURL, const TempoProgress& progress,
                                      const TempoWaveform& waveform, const AudioFileOpener& open = openAudioFile);

// The analysis after loading (waveform preview onwards), on a window already in memory.
OrvaneBeatDetectionResult analyzeWindow(const OrvaneAudioWindow& window, double durationSeconds,
                                        const TempoProgress& progress, const TempoWaveform& waveform);

// The whole file's duration in seconds (0 when the rate is not positive).
double audioDurationSeconds(const std::filesystem::path& url, const AudioFileOpener& open = openAudioFile);
double audioDurationSeconds(AudioFileDecoder& decoder);

// The first `maximumSeconds` of the file, mixed down to mono and peak-limited.
OrvaneAudioWindow loadMonoAnalysisWindow(const std::filesystem::path& url, double maximumSeconds,
                                         const AudioFileOpener& open = openAudioFile);
OrvaneAudioWindow loadMonoAnalysisWindow(AudioFileDecoder& decoder, double maximumSeconds);

// The steps of the analysis, in the order detectTempo runs them.
void normalize(std::span<float> samples);
std::vector<OrvaneWaveformSlice> waveformSlices(std::span<const float> samples, int maximumSlices);
TempoEnvelope onsetEnvelope(std::span<const float> samples, double sampleRate);
void whiten(std::vector<float>& values, double rate);
void normalizeEnvelope(std::span<float> values);
std::vector<double> validateSignal(std::span<const float> values, std::size_t minLength, std::string_view name);
TempoACF acfScores(std::span<const float> envelopeValues, double frameRate, double bpmMin, double bpmMax);
// Lags from minLag to maxLag whose score is at least each neighbour's inside the range.
std::vector<std::size_t> peakLags(const TempoACF& acf);
std::vector<double> applyTempoPrior(std::span<const double> bpms, std::span<const double> scores, double centerBPM,
                                    double sigmaOctaves);
// One candidate per peak lag (ascending lag), BPM refined by a parabola through the
// unweighted scores, score from the prior.
std::vector<OrvaneTempoCandidate> rawCandidates(const TempoACF& acf, double frameRate);
OrvaneTempoCandidateSet candidateSet(std::span<const OrvaneTempoCandidate> from, std::int64_t count,
                                     double minSeparationBPM, double bpmMin, double bpmMax);
// The result record from the candidate set and the whole file's duration.
OrvaneBeatDetectionResult makeResult(const OrvaneTempoCandidateSet& set, double durationSeconds);

}  // namespace OrvaneTempoDetector

}  // namespace orvane::tempo
