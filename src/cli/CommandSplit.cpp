// orvane-cli split FILE -o DIR [...]: every chosen track as a file of its own, named after
// its track and instrument, or the loop of each track with --loop.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/ExportCore.h"
#include "midi/export/ParallelWork.h"
#include "cli/ExportOptions.h"

namespace orvane::cli {
namespace {

using midi::MIDITrack;

constexpr std::string_view usage =
    "split FILE -o DIR [--tracks LIST] [--transpose N] [--tempo BPM] [--loop START END] [--repeat N] "
    "[--format mid|midi2] [--force] [--json]";

int runSplit(std::span<const std::string> args) {
    return runCommand("split", [&] {
        const Arguments arguments = outputCommandArguments(args, exportOptions, "expected FILE and -o DIR", usage);
        const midi::MIDIFile& song = loadSong(arguments.positional().front());
        const ExportSettings settings = parseExportSettings(arguments, song);
        const midi::MusicalTrackList musical = song.musicalTracks();
        const std::vector<int> rows = midi::rowsToExport(settings.edits.selectedRows, musical.size(), musical.size());
        if (rows.empty()) throw CommandFailure(exitRejected, "⚠️  No tracks to export.");

        const auto repeatCount = settings.loop ? std::optional(settings.loop->repeatCount) : std::nullopt;
        const auto names = app::splitFileNames(song, rows, repeatCount, settings.format);

        const std::filesystem::path folder = *arguments.value("-o");
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (!std::filesystem::is_directory(folder)) {
            throw CommandFailure(exitFailure, "Could not create the folder " + folder.string() + ".");
        }
        std::vector<std::string> paths;
        for (const auto& name : names) paths.push_back((folder / name).string());
        refuseToReplace(paths, settings.force);

        // The files are independent: build and write them on every core.
        std::vector<std::optional<OutputFile>> outputs(rows.size());
        midi::forEachInParallel(rows.size(), [&](std::size_t i) {
            app::GeneratedFile built = app::buildSplitFile(song, musical[static_cast<std::size_t>(rows[i])],
                                                           settings.edits, settings.loop, settings.format,
                                                           names[i]);
            if (writeOutput(paths[i], built.bytes)) {
                outputs[i] = OutputFile{paths[i], {rows[i] + 1}, built.bytes.size(), std::move(built.report)};
            }
        });
        std::vector<OutputFile> written;
        std::size_t failures = 0;
        for (auto& output : outputs) {
            if (output) {
                written.push_back(std::move(*output));
            } else {
                ++failures;
            }
        }
        printOutputs(written, settings.json, false);
        if (failures > 0) throw CommandFailure(exitFailure, "⚠️  " + std::to_string(failures) + " file(s) failed.");
        return exitSuccess;
    });
}

const CommandRegistration registration({"split", usage,
                                        "write each chosen track (or its loop) as a file of its own", runSplit});

}  // namespace
}  // namespace orvane::cli
