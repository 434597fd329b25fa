#include "cli/PlaybackInput.h"

#include <cstdio>
#include <string>

#include "cli/Command.h"
#include "midi/model/MIDIFile.h"

namespace orvane::cli {

std::optional<PlaybackInput> loadPlaybackInput(const Arguments& arguments, std::string_view command, int& exitCode) {
    const std::string prefix = "orvane-cli " + std::string(command) + ": ";
    const std::string& path = arguments.positional().front();
    auto bytes = readWholeFile(path);
    if (!bytes) {
        std::fprintf(stderr, "%sCould not read %s.\n", prefix.c_str(), path.c_str());
        exitCode = exitFailure;
        return std::nullopt;
    }
    midi::MIDIFile::setNormalizingNoticeStream(stderr);
    midi::MIDIFile song;
    if (!song.parse(*bytes)) {
        std::fprintf(stderr, "%s%s is not a valid MIDI file.\n", prefix.c_str(), path.c_str());
        exitCode = exitRejected;
        return std::nullopt;
    }
    PlaybackInput input;
    input.stream = std::move(*bytes);
    if (const auto soundFont = arguments.value("--soundfont")) input.synthesizer.soundFont = *soundFont;
    return input;
}

}  // namespace orvane::cli
