// orvane-cli merge FILE -o OUT [...]: the chosen tracks (every track when fewer than two are
// chosen) merged into one file with their mixer values, or their merged loop with --loop.

#include <filesystem>
#include <string>
#include <vector>

#include "app/ExportCore.h"
#include "cli/ExportOptions.h"

namespace orvane::cli {
namespace {

constexpr std::string_view usage =
    "merge FILE -o OUT [--tracks LIST] [--transpose N] [--tempo BPM] [--loop START END] [--repeat N] "
    "[--format mid|midi2] [--force] [--json]";

// The rows a merge covers: every row when fewer than two are chosen (a loop refuses one).
std::vector<int> mergedRows(const ExportSettings& settings, std::size_t rowCount) {
    const std::set<int>& chosen = settings.edits.selectedRows;
    if (settings.loop && chosen.size() == 1) {
        throw CommandFailure(exitRejected, "⚠️  Select at least 2 tracks to merge a loop.");
    }
    const std::vector<int> rows = midi::rowsToExport(chosen.size() < 2 ? std::set<int>{} : chosen, rowCount, rowCount);
    if (rows.size() < 2) throw CommandFailure(exitRejected, "⚠️  Need at least 2 tracks to merge.");
    return rows;
}

int runMerge(std::span<const std::string> args) {
    return runCommand("merge", [&] {
        const Arguments arguments = outputCommandArguments(args, exportOptions, "expected FILE and -o OUT", usage);
        const midi::MIDIFile& song = loadSong(arguments.positional().front());
        const ExportSettings settings = parseExportSettings(arguments, song);
        const midi::MusicalTrackList musical = song.musicalTracks();
        const std::vector<int> rows = mergedRows(settings, musical.size());
        const std::string path = *arguments.value("-o");
        refuseToReplace({path}, settings.force);

        std::vector<midi::MIDITrack> tracks;
        tracks.reserve(rows.size());
        for (const int row : rows) tracks.push_back(musical[static_cast<std::size_t>(row)]);
        app::GeneratedFile built =
            app::buildMergedFile(song, tracks, settings.edits, settings.loop, settings.format,
                                 std::filesystem::path(path).filename().string());
        if (!writeOutput(path, built.bytes)) throw CommandFailure(exitFailure, "❌ Failed to write merged file.");

        std::vector<int> oneBased;
        for (const int row : rows) oneBased.push_back(row + 1);
        printOutputs({{path, oneBased, built.bytes.size(), std::move(built.report)}}, settings.json, true);
        return exitSuccess;
    });
}

const CommandRegistration registration({"merge", usage,
                                        "merge the chosen tracks (or their loop) into one file with their mixer values",
                                        runMerge});

}  // namespace
}  // namespace orvane::cli
