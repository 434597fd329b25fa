// orvane-cli convert IN -o OUT [--force] [--json]: the whole song as a Standard MIDI File or a
// MIDI 2.0 Clip, chosen by OUT's extension. Every musical track is merged as it is, without
// mixer values or edits, so an imported clip that was not edited keeps its native packets.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/ExportCore.h"
#include "cli/ExportOptions.h"

namespace orvane::cli {
namespace {

constexpr std::string_view usage = "convert IN -o OUT [--force] [--json]";

std::optional<midi::MIDIExportFormat> formatOfExtension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".mid" || extension == ".midi") return midi::MIDIExportFormat::standardMIDI;
    if (extension == ".midi2" || extension == ".smf2" || extension == ".clip") return midi::MIDIExportFormat::midi2Clip;
    return std::nullopt;
}

int runConvert(std::span<const std::string> args) {
    return runCommand("convert", [&] {
        constexpr OptionSpec options[] = {{"-o", 1}, {"--force", 0}, {"--json", 0}};
        const Arguments arguments = outputCommandArguments(args, options, "expected IN and -o OUT", usage);
        const std::filesystem::path path = *arguments.value("-o");
        const auto format = formatOfExtension(path);
        if (!format) {
            throw CommandFailure(exitRejected, "OUT must end in .mid or .midi (MIDI 1.0) or .midi2 (MIDI 2.0)");
        }
        const midi::MIDIFile& song = loadSong(arguments.positional().front());
        app::requireWritable(song, *format);
        refuseToReplace({path.string()}, arguments.has("--force"));

        auto written = app::writeConvertedFile(song, *format, path);
        if (const auto* failure = std::get_if<app::WriteFailure>(&written)) {
            std::fprintf(stderr, "%s\n", failure->description.c_str());
            throw CommandFailure(exitFailure, "❌ Failed to write " + path.string() + ".");
        }
        auto& file = std::get<app::WrittenFile>(written);
        std::vector<int> rows(song.musicalTracks().size());
        for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i + 1);
        printOutputs({{path.string(), rows, file.bytes, std::move(file.report)}}, arguments.has("--json"), true);
        return exitSuccess;
    });
}

const CommandRegistration registration({"convert", usage,
                                        "write the whole song as .mid or .midi2 (by OUT's extension), tracks as they "
                                        "are",
                                        runConvert});

}  // namespace
}  // namespace orvane::cli
