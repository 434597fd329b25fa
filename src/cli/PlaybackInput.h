#pragma once
// What `play` and `render` share: reading the song named on the command line and building
// the Standard MIDI File byte stream that the player plays, as the window does: every musical
// track, or the rows of --tracks, with --transpose and --tempo applied; and the SoundFont.
//
// Options read here: --tracks LIST, --transpose N, --tempo BPM, --soundfont SF2.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/Arguments.h"
#include "playback/FluidSynthPlayer.h"

namespace orvane::cli {

struct PlaybackInput {
    std::vector<std::uint8_t> stream;  // a complete Standard MIDI File
    playback::FluidSynthOptions synthesizer;
};


// Reads FILE (the one positional argument) and builds the stream. On failure, prints the
// reason to standard error (prefixed with "orvane-cli " + command) and sets exitCode.
std::optional<PlaybackInput> loadPlaybackInput(const Arguments& arguments, std::string_view command, int& exitCode);

}  // namespace orvane::cli
