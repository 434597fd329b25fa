#pragma once
// Reading the song a command names. A failure is told in the usual form of command-line
// tools, "orvane-cli: PATH: REASON", with the reason in the operating system's words where it
// has them (a missing file, a folder, no permission) and the program's own otherwise (an
// empty file, a file that is not MIDI).

#include <optional>
#include <string>

#include "midi/model/MIDIFile.h"

namespace orvane::cli {

struct SongReadFailure {
    int exitCode;         // 1: the file cannot be read; 2: its data is not a song
    std::string message;  // the line for standard error, without its newline
};

// Reads and parses the song at path into song (a Standard MIDI File or a MIDI 2.0 Clip).
std::optional<SongReadFailure> readSong(const std::string& path, midi::MIDIFile& song);

}  // namespace orvane::cli
