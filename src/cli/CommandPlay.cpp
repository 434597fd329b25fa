// orvane-cli play FILE [--tracks LIST] [--transpose N] [--tempo BPM] [--from SECONDS]
// [--loop START END] [--soundfont SF2]: plays the song
// through the General MIDI synthesizer, showing position / duration on one terminal line,
// until it ends (or, with a loop, until Ctrl-C).

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/PlaybackInput.h"
#include "playback/FluidSynthPlayer.h"
#include "playback/MIDIPlayerController.h"
#include "support/ThreadRunLoop.h"

namespace orvane::cli {
namespace {

using playback::MIDIPlayerController;

constexpr const char* usage =
    "play FILE [--tracks LIST] [--transpose N] [--tempo BPM] [--from SECONDS] [--loop START END] [--soundfont SF2]";

volatile std::sig_atomic_t interrupted = 0;

void noteInterrupt(int) { interrupted = 1; }

// Ctrl-C and termination requests set a flag the run loop looks at; the old handlers come
// back when this goes out of scope.
class InterruptFlag {
public:
    InterruptFlag() {
        interrupted = 0;
        struct sigaction action {};
        action.sa_handler = noteInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInterrupt_);
        sigaction(SIGTERM, &action, &previousTerminate_);
    }
    ~InterruptFlag() {
        sigaction(SIGINT, &previousInterrupt_, nullptr);
        sigaction(SIGTERM, &previousTerminate_, nullptr);
    }
    InterruptFlag(const InterruptFlag&) = delete;
    InterruptFlag& operator=(const InterruptFlag&) = delete;

private:
    struct sigaction previousInterrupt_ {};
    struct sigaction previousTerminate_ {};
};

// "1:02 / 2:43": redrawn in place on a terminal; elsewhere one line whenever the text changes.
class PositionLine {
public:
    PositionLine() : terminal_(::isatty(STDOUT_FILENO) == 1) {}

    void show(double position, double duration) {
        const std::string text =
            MIDIPlayerController::formatTime(position) + " / " + MIDIPlayerController::formatTime(duration);
        if (text == shown_) return;
        shown_ = text;
        std::printf(terminal_ ? "\r%s\033[K" : "%s\n", text.c_str());
        std::fflush(stdout);
    }
    void finish() {
        if (terminal_ && !shown_.empty()) std::printf("\n");
        std::fflush(stdout);
    }

private:
    bool terminal_;
    std::string shown_;
};

struct PlayRequest {
    double from = 0;
    std::optional<playback::PlaybackLoop> loop;
};

std::optional<PlayRequest> readRequest(const Arguments& arguments) {
    PlayRequest request;
    if (const auto from = arguments.value("--from")) {
        const auto seconds = parseNumber(*from);
        if (!seconds || *seconds < 0) return std::nullopt;
        request.from = *seconds;
    }
    if (arguments.has("--loop")) {
        const auto values = arguments.values("--loop");
        const auto start = parseNumber(values[0]);
        const auto end = parseNumber(values[1]);
        if (!start || !end || *start < 0 || *end <= *start) return std::nullopt;
        request.loop = playback::PlaybackLoop{*start, *end};
    }
    return request;
}

int runPlay(std::span<const std::string> args) {
    const Arguments arguments(args, {{"--from", 1}, {"--loop", 2}, {"--soundfont", 1}, {"--tracks", 1}, {"--transpose", 1}, {"--tempo", 1}});
    const auto request = arguments.error().empty() ? readRequest(arguments) : std::nullopt;
    if (!arguments.error().empty() || arguments.positional().size() != 1 || !request) {
        const char* problem = !arguments.error().empty()           ? arguments.error().c_str()
                              : arguments.positional().size() != 1 ? "expected one FILE"
                                                                   : "--from needs seconds >= 0 and --loop START END with END > START >= 0";
        std::fprintf(stderr, "orvane-cli play: %s\nUsage: orvane-cli %s\n", problem, usage);
        return exitRejected;
    }
    int exitCode = exitSuccess;
    const auto input = loadPlaybackInput(arguments, "play", exitCode);
    if (!input) return exitCode;

    ThreadRunLoop runLoop;
    auto controller = MIDIPlayerController::create(runLoop, playback::makeFluidSynthPlayerFactory(input->synthesizer));
    PositionLine line;
    controller->onProgress = [&](double position, double duration) { line.show(position, duration); };
    controller->onNaturalEnd = [&] {
        line.show(controller->duration(), controller->duration());
        runLoop.quit();
    };

    const InterruptFlag interruptFlag;
    const auto mode = arguments.has("--tracks") ? playback::PlaybackMode::selectedTracks()
                                                : playback::PlaybackMode::fullSong();
    controller->playPrepared(input->stream, mode, request->from, request->loop, true);
    if (controller->player() == nullptr) return exitFailure;  // the controller said why
    if (playback::FluidSynthPlayer::fellBackToSilentOutput()) {
        std::fprintf(stderr, "orvane-cli play: no audio device could be opened; playing silently in real time\n");
    }
    const TimerHandle interruptWatch = runLoop.every(0.05, [&] {
        if (interrupted == 0) return;
        controller->stop();
        runLoop.quit();
    });
    runLoop.run();
    interruptWatch.cancel();
    line.finish();
    controller.reset();
    return exitSuccess;
}

const CommandRegistration registration({"play", usage,
                                        "play the song through the General MIDI synthesizer (Ctrl-C stops)",
                                        runPlay});

}  // namespace
}  // namespace orvane::cli
