#include "cli/ExportOptions.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "cli/MIDI2ReportOutput.h"
#include "cli/SongInput.h"
#include "midi/export/LoopSection.h"
#include "support/TextFormat.h"

namespace orvane::cli {

namespace {

constexpr int maximumTransposition = 12;
constexpr double minimumTempo = 10.0;
constexpr double maximumTempo = 300.0;

void warn(const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); }

template <class T>
T requiredValue(const Arguments& arguments, std::string_view option, std::optional<T> (*parse)(std::string_view),
                const std::string& complaint) {
    const auto text = arguments.value(option);
    const auto value = text ? parse(*text) : std::nullopt;
    if (!value) throw CommandFailure(exitRejected, complaint);
    return *value;
}

std::optional<app::ExportLoop> parseLoop(const Arguments& arguments) {
    if (!arguments.has("--loop")) {
        if (arguments.has("--repeat")) throw CommandFailure(exitRejected, "--repeat needs --loop START END");
        return std::nullopt;
    }
    const auto times = arguments.values("--loop");
    const auto start = parseNumber(times.at(0));
    const auto end = parseNumber(times.at(1));
    if (!start || !end || *start < 0 || *end < 0) {
        throw CommandFailure(exitRejected, "--loop needs two times in seconds, 0 or more");
    }
    app::ExportLoop loop{*start, *end, 1, false};
    if (arguments.has("--repeat")) {
        const auto count = parseInteger(arguments.value("--repeat").value_or(""));
        if (!count || *count < 1 || *count > midi::maximumRepeatCount) {
            throw CommandFailure(exitRejected, "Enter a repeat count from 1 to 999.");
        }
        loop.repeatCount = static_cast<int>(*count);
    }
    return loop;
}

midi::MIDIExportFormat parseFormat(const Arguments& arguments) {
    const std::string name = arguments.value("--format").value_or("mid");
    for (const auto format : {midi::MIDIExportFormat::standardMIDI, midi::MIDIExportFormat::midi2Clip}) {
        if (name == midi::fileExtension(format)) return format;
    }
    throw CommandFailure(exitRejected, "--format must be mid or midi2");
}

std::string joinedRows(const std::vector<int>& rows, std::string_view separator) {
    std::string text;
    for (const int row : rows) {
        if (!text.empty()) text.append(separator);
        text.append(std::to_string(row));
    }
    return text;
}

}  // namespace

int runCommand(std::string_view command, const std::function<int()>& body) {
    try {
        return body();
    } catch (const app::ExportGenerationError& error) {
        std::fprintf(stderr, "❌ Failed to generate MIDI 2.0 export.\n%s\n", error.what());
        return exitFailure;
    } catch (const CommandFailure& failure) {
        // The application's own warnings and errors, and messages that name their file, are
        // printed as they are.
        const std::string_view message = failure.what();
        if (message.starts_with("⚠️") || message.starts_with("❌") || message.starts_with("orvane-cli: ")) {
            std::fprintf(stderr, "%s\n", failure.what());
        } else {
            std::fprintf(stderr, "orvane-cli %.*s: %s\n", static_cast<int>(command.size()), command.data(),
                         failure.what());
        }
        return failure.exitCode();
    }
}

Arguments outputCommandArguments(std::span<const std::string> args, std::span<const OptionSpec> options,
                                 std::string_view expected, std::string_view usage) {
    Arguments arguments(args, options);
    if (!arguments.error().empty() || arguments.positional().size() != 1 || !arguments.has("-o")) {
        throw CommandFailure(exitRejected, (arguments.error().empty() ? std::string(expected) : arguments.error()) +
                                               "\nUsage: orvane-cli " + std::string(usage));
    }
    return arguments;
}

const midi::MIDIFile& loadSong(const std::string& path) {
    static midi::MIDIFile song;
    if (auto failure = readSong(path, song)) throw CommandFailure(failure->exitCode, failure->message);
    return song;
}

int clampedTranspose(long long semitones) {
    if (semitones < -maximumTransposition || semitones > maximumTransposition) {
        warn("⚠️  Pitch offset is limited to ±12 semitones (one octave).");
        return semitones < 0 ? -maximumTransposition : maximumTransposition;
    }
    return static_cast<int>(semitones);
}

double clampedTempo(double bpm) {
    if (bpm >= minimumTempo && bpm <= maximumTempo) return bpm;
    const double clamped = std::clamp(bpm, minimumTempo, maximumTempo);
    warn("⚠️  Tempo is limited to 10.000–300.000 BPM. Applied " + formatBPM(clamped) + " BPM.");
    return clamped;
}

SongEdits parseSongEdits(const Arguments& arguments, const midi::MIDIFile& song) {
    SongEdits edits;
    if (const auto list = arguments.value("--tracks")) {
        auto parsed = parseTrackList(*list, song.musicalTracks().size());
        if (!parsed.error.empty()) throw CommandFailure(exitRejected, parsed.error);
        edits.selectedRows = std::move(parsed.rows);
    }
    if (arguments.has("--transpose")) {
        edits.transpose = clampedTranspose(requiredValue<long long>(
            arguments, "--transpose", parseInteger, "--transpose needs a whole number of semitones"));
    }
    if (arguments.has("--tempo")) {
        edits.newBPM = clampedTempo(
            requiredValue<double>(arguments, "--tempo", parseNumber, "⚠️  Please enter a numeric BPM value."));
    }
    return edits;
}

ExportSettings parseExportSettings(const Arguments& arguments, const midi::MIDIFile& song) {
    ExportSettings settings;
    settings.format = parseFormat(arguments);
    app::requireWritable(song, settings.format);
    settings.loop = parseLoop(arguments);
    settings.edits = parseSongEdits(arguments, song);
    settings.force = arguments.has("--force");
    settings.json = arguments.has("--json");
    return settings;
}

void refuseToReplace(const std::vector<std::string>& paths, bool force) {
    if (force) return;
    std::vector<std::string> existing;
    for (const auto& path : paths) {
        std::error_code ignored;
        if (std::filesystem::symlink_status(path, ignored).type() != std::filesystem::file_type::not_found) {
            existing.push_back(path);
        }
    }
    if (existing.empty()) return;
    std::string message = std::to_string(existing.size()) + " file(s) already exist (use --force to replace them):";
    for (const auto& path : existing) message += "\n  " + path;
    throw CommandFailure(exitWouldReplace, message);
}

bool writeOutput(const std::string& path, const midi::Bytes& bytes) {
    const auto failure = app::writeGeneratedFile(path, bytes);
    if (failure) warn(failure->description);
    return !failure;
}

void printOutputs(const std::vector<OutputFile>& outputs, bool json, bool listRows) {
    std::string out;
    if (json) {
        out = "[";
        for (const auto& output : outputs) {
            if (out.size() > 1) out += ",";
            const std::string rows = joinedRows(output.rows, ",");
            out += "{\"file\":" + jsonString(output.path) + ",\"track\":" +
                   (listRows ? "[" + rows + "]" : rows) +
                   ",\"bytes\":" + jsonNumber(static_cast<double>(output.bytes));
            if (output.report) out += ",\"report\":" + reportJSON(*output.report);
            out += "}";
        }
        out += "]\n";
    } else {
        for (const auto& output : outputs) {
            out += "Wrote " + output.path + " (" + std::to_string(output.bytes) + " bytes, " +
                   (output.rows.size() == 1 ? "track " : "tracks ") + joinedRows(output.rows, ", ") + ")\n";
            if (output.report) out += "\nMIDI 2.0 Export Report\n" + reportText(*output.report) + "\n";
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

}  // namespace orvane::cli
