// orvane-cli render FILE -o OUT.wav [--tracks LIST] [--transpose N] [--tempo BPM] [--soundfont SF2]
// [--force]: the song through the General MIDI synthesizer into a 44.1 kHz stereo 16-bit WAV
// file, faster than real time.

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/PlaybackInput.h"
#include "playback/FluidSynthPlayer.h"
#include "playback/MIDIPlayerController.h"
#include "support/AtomicFile.h"

namespace orvane::cli {
namespace {

constexpr const char* usage =
    "render FILE -o OUT.wav [--tracks LIST] [--transpose N] [--tempo BPM] [--soundfont SF2] [--force]";

int runRender(std::span<const std::string> args) {
    const Arguments arguments(args, {{"-o", 1}, {"--soundfont", 1}, {"--force", 0}, {"--tracks", 1}, {"--transpose", 1}, {"--tempo", 1}});
    if (!arguments.error().empty() || arguments.positional().size() != 1 || !arguments.has("-o")) {
        const char* problem = !arguments.error().empty() ? arguments.error().c_str()
                              : arguments.positional().size() != 1 ? "expected one FILE"
                                                                    : "missing -o OUT.wav";
        std::fprintf(stderr, "orvane-cli render: %s\nUsage: orvane-cli %s\n", problem, usage);
        return exitRejected;
    }
    const std::filesystem::path output = *arguments.value("-o");
    std::error_code ignored;
    if (!arguments.has("--force") && std::filesystem::exists(output, ignored)) {
        std::fprintf(stderr, "orvane-cli render: %s exists (use --force to replace it)\n", output.c_str());
        return exitWouldReplace;
    }
    int exitCode = exitSuccess;
    const auto input = loadPlaybackInput(arguments, "render", exitCode);
    if (!input) return exitCode;

    try {
        const auto rendered = playback::renderWAV(input->stream, input->synthesizer);
        writeFileAtomically(output, rendered.bytes);
        const double seconds = static_cast<double>(rendered.frames) / input->synthesizer.sampleRate;
        std::printf("Wrote %s: %s (%.3f s), 44100 Hz stereo 16-bit\n", output.c_str(),
                    playback::MIDIPlayerController::formatTime(seconds).c_str(), seconds);
    } catch (const playback::MIDIFilePlayerError& error) {
        std::fprintf(stderr, "orvane-cli render: %s\n", error.description().c_str());
        return exitFailure;
    } catch (const FileWriteError& error) {
        std::fprintf(stderr, "orvane-cli render: %s\n", error.description().c_str());
        return exitFailure;
    }
    return exitSuccess;
}

const CommandRegistration registration({"render", usage,
                                        "render the song to a WAV file through the General MIDI synthesizer",
                                        runRender});

}  // namespace
}  // namespace orvane::cli
