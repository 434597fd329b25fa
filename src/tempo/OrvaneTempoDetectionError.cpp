#include <charconv>
#include <cmath>

#include "tempo/OrvaneTempoDetector.h"

namespace orvane::tempo {

std::string shortestDecimalText(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // Whole numbers are exact in fixed notation up to 2^53; beyond that, and below 1e-4,
    // exponent notation is the short form.
    const double magnitude = std::fabs(value);
    const bool exponent = magnitude != 0 && (magnitude < 1e-4 || magnitude > 9007199254740992.0);
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                         exponent ? std::chars_format::scientific : std::chars_format::fixed);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    if (!exponent && text.find('.') == std::string::npos) text += ".0";
    return text;
}

OrvaneTempoDetectionError::OrvaneTempoDetectionError(Case errorCase, std::string description)
    : case_(errorCase), description_(std::move(description)) {}

OrvaneTempoDetectionError OrvaneTempoDetectionError::invalidSampleRate(double rate) {
    return {Case::invalidSampleRate,
            "Tempo analysis requires a positive sample/frame rate; got " + shortestDecimalText(rate) + "."};
}

OrvaneTempoDetectionError OrvaneTempoDetectionError::invalidBPMRange(double min, double max) {
    return {Case::invalidBPMRange, "Tempo analysis requires bpmMin > 0 and bpmMax > bpmMin; got " +
                                       shortestDecimalText(min) + "-" + shortestDecimalText(max) + "."};
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
                                                shortestDecimalText(separation) + "."};
}

OrvaneTempoDetectionError OrvaneTempoDetectionError::noValidLagRange() {
    return {Case::noValidLagRange,
            "No valid tempo lag range exists for the requested BPM range and signal length."};
}

OrvaneTempoDetectionError OrvaneTempoDetectionError::noTempoCandidates() {
    return {Case::noTempoCandidates, "No usable tempo candidates were found in the audio."};
}

}  // namespace orvane::tempo
