// orvane-cli tempo FILE [--json]: detects the tempo of the first 60 seconds of an audio file.

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/Arguments.h"
#include "cli/Command.h"
#include "support/TextFormat.h"
#include "tempo/OrvaneTempoDetector.h"

namespace orvane::cli {
namespace {

using namespace orvane::tempo;

// A one-line progress bar on standard error, redrawn in place.
void drawProgress(double fraction, std::string_view message) {
    constexpr std::size_t width = 30;
    const auto filled = static_cast<std::size_t>(std::lround(std::clamp(fraction, 0.0, 1.0) * width));
    std::string bar(width, '-');
    std::fill_n(bar.begin(), std::min(filled, bar.size()), '#');
    std::fprintf(stderr, "\r[%s] %3ld%%  %.*s\x1b[K", bar.c_str(), std::lround(fraction * 100.0),
                 static_cast<int>(message.size()), message.data());
    std::fflush(stderr);
}

void clearProgress() {
    std::fprintf(stderr, "\r\x1b[K");
    std::fflush(stderr);
}

// Seconds rounded to whole seconds as "m:ss", or "--" for a length that is not positive.
std::string songLengthText(double seconds) {
    if (!std::isfinite(seconds) || !(seconds > 0)) return "--";
    const double whole = std::round(seconds);
    if (whole >= 9.0e15) return "--";
    const auto total = static_cast<long long>(whole);
    return formatString("%lld:%02lld", total / 60, total % 60);
}

void printText(const OrvaneBeatDetectionResult& result) {
    std::printf("Tempo: %s BPM\n", formatBPM(result.tempoBPM).c_str());
    std::printf("Confidence: %.3f (%s)\n", result.confidence, result.confident ? "confident" : "not confident");
    std::printf("Candidates:\n");
    for (const auto& candidate : result.candidates) {
        std::printf("  %s BPM  score %.3f\n", formatBPM(candidate.bpm).c_str(), candidate.score);
    }
    std::printf("Song length: %s\n", songLengthText(result.songLengthSeconds).c_str());
    std::printf("Total beats: %lld\n", static_cast<long long>(result.totalBeats));
}

void printJSON(const OrvaneBeatDetectionResult& result) {
    std::string candidates;
    for (const auto& candidate : result.candidates) {
        candidates.append(candidates.empty() ? "[" : ",[");
        candidates.append(jsonNumber(candidate.bpm)).append(",").append(jsonNumber(candidate.score)).append("]");
    }
    std::printf("{\"tempoBPM\":%s,\"confidence\":%s,\"confident\":%s,\"totalBeats\":%lld,"
                "\"songLengthSeconds\":%s,\"candidates\":[%s]}\n",
                jsonNumber(result.tempoBPM).c_str(), jsonNumber(result.confidence).c_str(),
                result.confident ? "true" : "false", static_cast<long long>(result.totalBeats),
                jsonNumber(result.songLengthSeconds).c_str(), candidates.c_str());
}

int runTempo(std::span<const std::string> args) {
    const Arguments arguments(args, {{"--json", 0}});
    if (!arguments.error().empty() || arguments.positional().size() != 1) {
        std::fprintf(stderr, "orvane-cli tempo: %s\nUsage: orvane-cli tempo FILE [--json]\n",
                     arguments.error().empty() ? "expected one audio file" : arguments.error().c_str());
        return exitRejected;
    }
    const bool showProgress = ::isatty(STDERR_FILENO) == 1;
    const TempoProgress progress = showProgress ? TempoProgress(drawProgress) : TempoProgress();
    std::optional<std::string> failure;
    OrvaneBeatDetectionResult result;
    try {
        result = OrvaneTempoDetector::detectTempo(arguments.positional().front(), progress, {});
    } catch (const OrvaneTempoDetectionError& error) {
        failure = error.description();
    } catch (const AudioFileError& error) {
        failure = error.description();
    }
    if (showProgress) clearProgress();
    if (failure) {
        std::fprintf(stderr, "%s\n", failure->c_str());
        return exitFailure;
    }
    if (arguments.has("--json")) {
        printJSON(result);
    } else {
        printText(result);
    }
    return exitSuccess;
}

const CommandRegistration registration({
    "tempo",
    "tempo FILE [--json]",
    "detect the tempo of an audio file (wav, aiff, m4a, mp3, caf, flac)",
    runTempo,
});

}  // namespace
}  // namespace orvane::cli
