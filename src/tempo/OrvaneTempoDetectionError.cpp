#include "support/TextFormat.h"
#include "tempo/OrvaneTempoDetector.h"

namespace orvane::tempo {

OrvaneTempoDetectionError::OrvaneTempoDetectionError(Case errorCase, std::string description)
    : case_(errorCase), description_(std::move(description)) {}

OrvaneTempoDetectionError OrvaneTempoDetectionError::invalidSampleRate(double rate) {
    return {Case::invalidSampleRate,
            "Tempo analysis requires a positive sample/frame rate; got " + describeDouble(rate) + "."};
}

OrvaneTempoDetectionError OrvaneTempoDetectionError::invalidBPMRange(double min, double max) {
    return {Case::invalidBPMRange, "Tempo analysis requires bpmMin > 0 and bpmMax > bpmMin; got " +
                                       describeDouble(min) + "-" + describeDouble(max) + "."};
}

OrvaneTempoDetectionError OrvaneTempoDetectionError::invalidSignal(std::string message) {
    return {Case::invalidSignal, std::move(message)};
}

OrvaneTempoDetectionError OrvaneTempoDetectionError::invalidCandidateCount(std::int64_t count) {
    return {Case::invalidCandidateCount,
            "Tempo candidate count must be at least 1; got " + std::to_string(count) + "."};
}

OrvaneTempoDetectionError OrvaneTempoDetectionError::invalidMinimumSeparation(double separation) {
    return {Case::invalidMinimumSeparation, "Tempo candidate separation must be greater than 0 BPM; got " +
                                                describeDouble(separation) + "."};
}

OrvaneTempoDetectionError OrvaneTempoDetectionError::noValidLagRange() {
    return {Case::noValidLagRange,
            "No valid tempo lag range exists for the requested BPM range and signal length."};
}

OrvaneTempoDetectionError OrvaneTempoDetectionError::noTempoCandidates() {
    return {Case::noTempoCandidates, "No usable tempo candidates were found in the audio."};
}

}  // namespace orvane::tempo
