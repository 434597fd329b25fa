#include "cli/SongInput.h"

#include <algorithm>
#include <utility>
#include <variant>

#include "cli/Command.h"
#include "midi/midi2/MIDI2ClipFile.h"
#include "support/FileRead.h"

namespace orvane::cli {

std::optional<SongReadFailure> readSong(const std::string& path, midi::MIDIFile& song) {
    const auto failure = [&](int exitCode, const std::string& reason) {
        return SongReadFailure{exitCode, "orvane-cli: " + path + ": " + reason};
    };
    auto read = readWholeFile(path);
    if (const auto* error = std::get_if<FileReadError>(&read)) return failure(exitFailure, error->description());
    FileBytes& bytes = std::get<FileBytes>(read);
    if (bytes.empty()) return failure(exitRejected, "File is empty");
    constexpr std::string_view header = "MThd";
    const bool looksLikeMIDI = midi::MIDI2ClipFile::isMIDI2Clip(bytes) ||
                               (bytes.size() >= header.size() && std::equal(header.begin(), header.end(), bytes.begin()));
    // Standard output carries only results.
    midi::MIDIFile::setNormalizingNoticeStream(stderr);
    if (!song.parse(std::move(bytes))) {
        return failure(exitRejected, looksLikeMIDI ? "Not a valid MIDI file" : "Not a MIDI file");
    }
    return std::nullopt;
}

}  // namespace orvane::cli
