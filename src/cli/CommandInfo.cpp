// orvane-cli info FILE [--json]: the song and its musical tracks, as text or as one JSON object.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/MIDI2ReportOutput.h"
#include "cli/SongInput.h"
#include "midi/model/MIDIFile.h"
#include "support/TextFormat.h"

namespace orvane::cli {
namespace {

using midi::MIDIFile;
using midi::MIDITrack;

struct TrackSummary {
    std::size_t row;  // 1-based
    const MIDITrack* track;
    std::string instrument;
    std::size_t noteOns = 0;
    std::uint32_t lastTick = 0;
};

// One pass over each musical track counts its note-ons and finds its last tick.
std::vector<TrackSummary> summarizeMusicalTracks(const MIDIFile& file) {
    std::vector<TrackSummary> summaries;
    std::size_t row = 0;
    for (const MIDITrack& track : file.musicalTracks()) {
        TrackSummary summary{++row, &track, MIDIFile::instrumentName(track.instrument, track.channel, track.drumNote)};
        for (const auto& event : track.events) {
            summary.noteOns += event.isNoteOn() ? 1u : 0u;
            summary.lastTick = std::max(summary.lastTick, event.tick);
        }
        summaries.push_back(std::move(summary));
    }
    return summaries;
}

// The seconds of the last tick of the musical tracks.
double durationSeconds(const MIDIFile& file, const std::vector<TrackSummary>& summaries) {
    std::uint32_t lastTick = 0;
    for (const auto& summary : summaries) lastTick = std::max(lastTick, summary.lastTick);
    return file.ticksToSeconds(lastTick, std::nullopt);
}

std::string timeSignatureText(const MIDIFile& file) {
    return std::to_string(file.timeSignatureNumerator) + "/" + std::to_string(file.timeSignatureDenominator);
}

const char* yesNo(bool value) { return value ? "yes" : "no"; }

// The import report of a MIDI 2.0 Clip, stamped with the file's name.
std::optional<midi::MIDI2OperationReport> importReport(const std::string& path, const MIDIFile& file) {
    auto report = file.midi2LastImportReport;
    if (report) report->operation.fileName = std::filesystem::path(path).filename().string();
    return report;
}

// Pads text with spaces to width characters (UTF-8 aware, so names and "—" line up).
std::string padded(std::string_view text, std::size_t width) {
    std::size_t characters = 0;
    for (const char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1u : 0u;
    std::string out(text);
    if (characters < width) out.append(width - characters, ' ');
    return out;
}

std::string printText(const std::string& path, const MIDIFile& file, double durationSeconds,
                      const std::vector<TrackSummary>& summaries) {
    std::string out;
    out += "File: " + path + "\n";
    out += "Format: " + std::to_string(file.format) + "\n";
    out += "Time division: " + std::to_string(file.timeDivision) + (file.isSMPTE ? " (SMPTE)" : "") + "\n";
    out += std::string("SMPTE: ") + yesNo(file.isSMPTE) + "\n";
    out += std::string("Exploded from Format 0: ") + yesNo(file.wasExplodedFromFormat0) + "\n";
    out += std::string("Imported from MIDI 2.0 Clip: ") + yesNo(file.wasImportedFromMIDI2Clip) + "\n";
    out += "Tracks: " + std::to_string(file.tracks().size()) + " (" + std::to_string(summaries.size()) +
           " musical)\n";
    out += "Tempo: " + formatBPM(file.bpm) + " BPM (" + std::to_string(file.tempoEvents.size()) +
           " tempo events)\n";
    out += "Time signature: " + timeSignatureText(file) + "\n";
    out += "Key: " + file.keySignature + "\n";
    out += formatString("Duration: %.3f s\n", durationSeconds);
    const auto report = importReport(path, file);
    const std::string reportSection = report ? "\nMIDI 2.0 Import Report\n" + reportText(*report) : std::string();
    if (summaries.empty()) return out + reportSection;
    out += "\n  # " + padded("Name", 28) + " Ch  " + padded("Instrument", 30) + "   Events    Notes\n";
    for (const auto& summary : summaries) {
        const MIDITrack& track = *summary.track;
        const std::string channel = track.channel < 0 ? "—" : std::to_string(track.channel + 1);
        out += formatString("%3zu ", summary.row) + padded(track.name, 28) + " " + padded(channel, 3) + " " +
               padded(summary.instrument, 30) + formatString(" %8zu %8zu\n", track.events.size(), summary.noteOns);
    }
    return out + reportSection;
}

std::string optionalNumber(bool present, double value) { return present ? jsonNumber(value) : "null"; }

std::string printJSON(const std::string& path, const MIDIFile& file, double durationSeconds,
                      const std::vector<TrackSummary>& summaries) {
    std::string out = "{";
    out += "\"file\":" + jsonString(path);
    out += ",\"format\":" + jsonNumber(file.format);
    out += ",\"timeDivision\":" + jsonNumber(file.timeDivision);
    out += std::string(",\"smpte\":") + (file.isSMPTE ? "true" : "false");
    out += std::string(",\"explodedFromFormat0\":") + (file.wasExplodedFromFormat0 ? "true" : "false");
    out += std::string(",\"importedFromMIDI2Clip\":") + (file.wasImportedFromMIDI2Clip ? "true" : "false");
    out += ",\"trackCount\":" + jsonNumber(static_cast<double>(file.tracks().size()));
    out += ",\"tempoEventCount\":" + jsonNumber(static_cast<double>(file.tempoEvents.size()));
    out += ",\"bpm\":" + jsonNumber(file.bpm);
    out += ",\"tempo\":" + jsonString(formatBPM(file.bpm));
    out += ",\"timeSignature\":" + jsonString(timeSignatureText(file));
    out += ",\"key\":" + jsonString(file.keySignature);
    out += ",\"durationSeconds\":" + jsonNumber(durationSeconds);
    const auto report = importReport(path, file);
    out += ",\"midi2ImportReport\":" + (report ? reportJSON(*report) : std::string("null"));
    out += ",\"tracks\":[";
    for (const auto& summary : summaries) {
        const MIDITrack& track = *summary.track;
        if (summary.row > 1) out += ",";
        out += "{\"row\":" + jsonNumber(static_cast<double>(summary.row));
        out += ",\"name\":" + jsonString(track.name);
        out += ",\"channel\":" + optionalNumber(track.channel >= 0, track.channel);
        out += ",\"instrument\":" + jsonString(summary.instrument);
        out += ",\"program\":" + jsonNumber(track.instrument);
        out += ",\"drumNote\":" + optionalNumber(track.drumNote.has_value(), track.drumNote.value_or(0));
        out += ",\"events\":" + jsonNumber(static_cast<double>(track.events.size()));
        out += ",\"notes\":" + jsonNumber(static_cast<double>(summary.noteOns));
        out += ",\"volume\":" + jsonNumber(track.volume);
        out += ",\"pan\":" + jsonNumber(track.pan);
        out += ",\"velocity\":" + jsonNumber(track.velocity);
        out += ",\"reverb\":" + jsonNumber(track.reverb);
        out += "}";
    }
    out += "]}\n";
    return out;
}

int runInfo(std::span<const std::string> args) {
    const Arguments arguments(args, {{"--json", 0}});
    if (!arguments.error().empty() || arguments.positional().size() != 1) {
        std::fprintf(stderr, "orvane-cli info: %s\nUsage: orvane-cli info FILE [--json]\n",
                     arguments.error().empty() ? "expected one FILE" : arguments.error().c_str());
        return exitRejected;
    }
    const std::string& path = arguments.positional().front();
    // The song lives to the end of the process (and is freed then).
    static MIDIFile file;
    if (const auto failure = readSong(path, file)) {
        std::fprintf(stderr, "%s\n", failure->message.c_str());
        return failure->exitCode;
    }
    const auto summaries = summarizeMusicalTracks(file);
    const double seconds = durationSeconds(file, summaries);
    const std::string out = arguments.has("--json") ? printJSON(path, file, seconds, summaries)
                                                    : printText(path, file, seconds, summaries);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return exitSuccess;
}

const CommandRegistration registration({"info", "info FILE [--json]",
                                        "print the song and its musical tracks (format, tempo, key, channels)",
                                        runInfo});

}  // namespace
}  // namespace orvane::cli
