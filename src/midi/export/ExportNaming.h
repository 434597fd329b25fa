#pragma once
// What an export writes and under which names: the output formats, the tracks a split or
// merge covers for a selection of rows, and the file names made from track and instrument
// names. File names made from track names are safe to create: path separators, the
// characters other systems forbid and every control character become "-", and a name is
// shortened (never inside a UTF-8 sequence) to the 255 bytes a file name may have, keeping its
// suffixes and extension.

#include <cstddef>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "midi/model/MIDIFile.h"

namespace orvane::midi {

enum class MIDIExportFormat {
    standardMIDI,  // ".mid", "MIDI 1.0"
    midi2Clip,     // ".midi2", "MIDI 2.0"
};

[[nodiscard]] std::string_view fileExtension(MIDIExportFormat format) noexcept;  // "mid", "midi2"
[[nodiscard]] std::string_view formatLabel(MIDIExportFormat format) noexcept;    // "MIDI 1.0", "MIDI 2.0"

// The longest file name, in bytes, that the file system accepts.
inline constexpr std::size_t maximumFileNameBytes = 255;

// One entry of an export list: a musical row (0-based) and a copy of its track.
struct ExportTrack {
    int row = 0;
    MIDITrack track;
    friend bool operator==(const ExportTrack&, const ExportTrack&) = default;
};

// The rows an export covers: the selected rows in ascending order when some but not all of
// the rowCount rows are selected, else every row. Rows that are not musical tracks of the
// song (musicalTrackCount) are left out.
[[nodiscard]] std::vector<int> rowsToExport(const std::set<int>& selectedRows, std::size_t rowCount,
                                            std::size_t musicalTrackCount);
// The export list: rowsToExport with a copy of each row's musical track.
[[nodiscard]] std::vector<ExportTrack> tracksWithRowsToExport(const MIDIFile& midi, const std::set<int>& selectedRows,
                                                              std::size_t rowCount);
// The number of rows an export covers: the selected rows when some but not all are selected,
// else every row.
[[nodiscard]] std::size_t exportCount(const std::set<int>& selectedRows, std::size_t rowCount) noexcept;

// One file name per track, in order: "<track>_<instrument>.<extension>", with "_loopx<N>"
// before the extension for a loop export, "_Ch<N>" for names that would collide (ignoring
// letter case), and "_2", "_3", ... while a name is still taken.
[[nodiscard]] std::vector<std::string> splitExportFileNames(std::span<const MIDITrack> tracks,
                                                            std::optional<int> repeatCount,
                                                            std::string_view fileExtension);
// "<stem>_loopx<repeatCount>.<fileExtension>".
[[nodiscard]] std::string loopExportFileName(std::string_view from, int repeatCount, std::string_view fileExtension);
// "<stem>_<suffix>" followed by the name's extension when it has one.
[[nodiscard]] std::string fileNameByAppendingSuffix(std::string_view name, std::string_view suffix);

// A name part made safe for a file name: "/", ":", "\", "|", "?", "*" become "-", spaces and
// tabs are trimmed at both ends, and any other control character becomes "-".
[[nodiscard]] std::string cleanedFileNamePart(std::string_view text);
// name shortened to maximumFileNameBytes by cutting the end of its first headBytes bytes (at
// a UTF-8 character boundary); only when that is not enough is the rest of the stem cut too.
// The extension is always kept.
[[nodiscard]] std::string fittedFileName(std::string_view name, std::size_t headBytes);
// Lower case for comparing names (ASCII, Latin, Greek and Cyrillic letters).
[[nodiscard]] std::string foldedCase(std::string_view text);

}  // namespace orvane::midi
