#pragma once
// What the commands that export or play a song share: reading the song, the options that
// choose tracks and song edits, the loop and format options, the check for files that would
// be replaced, the safe writing of outputs and the report of what was written.
//
// Options handled here (list them in the command's Arguments):
//   --tracks LIST      1-based musical rows, "1,3-5"; without it, every track
//   --transpose N      semitones, clamped to -12...12 with a warning
//   --tempo BPM        tempo override, clamped to 10...300 with a warning
//   --loop START END   loop section in seconds          --repeat N   1...999 (default 1)
//   --format mid|midi2 output format                    --force      replace existing files
//   --json             print the outputs as JSON

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/ExportCore.h"
#include "cli/Arguments.h"
#include "cli/Command.h"
#include "midi/export/ExportNaming.h"
#include "midi/midi2/MIDI2Records.h"
#include "midi/model/MIDIFile.h"

namespace orvane::cli {

// A failure that ends a command: the message (printed on standard error) and the exit code.
class CommandFailure : public std::runtime_error {
public:
    CommandFailure(int exitCode, const std::string& message) : std::runtime_error(message), exitCode_(exitCode) {}
    [[nodiscard]] int exitCode() const noexcept { return exitCode_; }

private:
    int exitCode_;
};

// Runs body and turns a CommandFailure into its message on standard error and its exit code.
int runCommand(std::string_view command, const std::function<int()>& body);

// The options of a command that reads one file and writes to -o: fails (exit 2) with the
// problem and the usage when they are malformed, the file is missing or -o is not given.
// expected names what is missing, e.g. "expected FILE and -o DIR".
Arguments outputCommandArguments(std::span<const std::string> args, std::span<const OptionSpec> options,
                                 std::string_view expected, std::string_view usage);
// The options of split and merge.
inline constexpr OptionSpec exportOptions[] = {{"-o", 1},     {"--tracks", 1}, {"--transpose", 1},
                                               {"--tempo", 1}, {"--loop", 2},   {"--repeat", 1},
                                               {"--format", 1}, {"--force", 0}, {"--json", 0}};

// Reads and parses a song (a Standard MIDI File or a MIDI 2.0 Clip). The song lives until the
// process ends (freed at exit, which costs no measurable time even for millions of events). A
// process reads one song.
const midi::MIDIFile& loadSong(const std::string& path);

// The user's edits of the song that every export and playback applies, and the chosen rows.
struct SongEdits : app::ExportEdits {
    std::set<int> selectedRows;  // 0-based musical rows of --tracks; empty when not given
};

// --tracks, --transpose and --tempo. Out-of-range values are clamped with the application's
// warnings on standard error.
SongEdits parseSongEdits(const Arguments& arguments, const midi::MIDIFile& song);
int clampedTranspose(long long semitones);          // warns when it clamps
double clampedTempo(double bpm);                    // warns when it clamps

struct ExportSettings {
    SongEdits edits;
    std::optional<app::ExportLoop> loop;  // the command line never tightens a loop
    midi::MIDIExportFormat format = midi::MIDIExportFormat::standardMIDI;
    bool force = false;
    bool json = false;
};

// Everything above plus --loop, --repeat, --format, --force and --json.
ExportSettings parseExportSettings(const Arguments& arguments, const midi::MIDIFile& song);

// A file an export writes: where, its bytes, the 1-based rows it holds, and for a MIDI 2.0
// Clip its export report.
struct OutputFile {
    std::string path;
    std::vector<int> rows;
    std::size_t bytes = 0;
    std::optional<midi::MIDI2OperationReport> report;
};

// Unless force is set, fails (exit 3) listing the paths that already exist.
void refuseToReplace(const std::vector<std::string>& paths, bool force);

// Writes bytes to path safely (temporary file, flush, rename). On failure the old file stays,
// the writer's message goes to standard error and the result is false.
bool writeOutput(const std::string& path, const midi::Bytes& bytes);

// Prints what was written: one line per file (followed by its report, if any), or with json
// an array of {"file", "track", "bytes"} (and "report" {"oneLineStatus", "detailText"} for a
// MIDI 2.0 Clip) where track is a row, or the array of rows for a file holding several
// (listRows).
void printOutputs(const std::vector<OutputFile>& outputs, bool json, bool listRows);

}  // namespace orvane::cli
