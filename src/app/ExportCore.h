#pragma once
// The non-interactive core of every export, shared by the window and orvane-cli so that both
// write exactly the same files: which builder makes a split, merged or looped file in each
// output format, the names of the files, and their safe writing.

#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "midi/export/ExportNaming.h"
#include "midi/midi2/MIDI2Records.h"
#include "midi/model/MIDIFile.h"

namespace orvane::app {

// The song-wide edits every export and playback applies.
struct ExportEdits {
    int transpose = 0;
    std::optional<double> newBPM;
    friend bool operator==(const ExportEdits&, const ExportEdits&) = default;
};

// A loop export: the section in seconds of song time, repeated repeatCount times (1...999).
struct ExportLoop {
    double startSeconds = 0;
    double endSeconds = 0;
    int repeatCount = 1;
    bool tightenLoop = false;
    friend bool operator==(const ExportLoop&, const ExportLoop&) = default;
};

// One file ready to be written, and for a MIDI 2.0 Clip its export report.
struct GeneratedFile {
    std::string fileName;
    midi::Bytes bytes;
    std::optional<midi::MIDI2OperationReport> report;
};

// A MIDI 2.0 Clip could not be made of the song; description() says why.
class ExportGenerationError : public std::runtime_error {
public:
    explicit ExportGenerationError(const std::string& description) : std::runtime_error(description) {}
    [[nodiscard]] std::string description() const { return what(); }
};

// Throws ExportGenerationError when the song cannot be written in format: a MIDI 2.0 Clip
// counts ticks per quarter note, so a song timed in SMPTE frames is refused before anything
// is built.
void requireWritable(const midi::MIDIFile& song, midi::MIDIExportFormat format);

// One split file: the track alone, or its loop. Throws ExportGenerationError.
GeneratedFile buildSplitFile(const midi::MIDIFile& song, const midi::MIDITrack& track, const ExportEdits& edits,
                             const std::optional<ExportLoop>& loop, midi::MIDIExportFormat format,
                             std::string fileName);
// The merged file of tracks (or their merged loop), with the mixer values applied. Throws
// ExportGenerationError.
GeneratedFile buildMergedFile(const midi::MIDIFile& song, std::span<const midi::MIDITrack> tracks,
                              const ExportEdits& edits, const std::optional<ExportLoop>& loop,
                              midi::MIDIExportFormat format, std::string fileName);
// Every musical track merged as it is (no mixer values, no edits): a MIDI 2.0 Clip that was
// imported and not edited gets its native packets back. Throws ExportGenerationError.
GeneratedFile buildConvertedFile(const midi::MIDIFile& song, midi::MIDIExportFormat format, std::string fileName);

// The split file names of the musical rows, in order (see midi::splitExportFileNames).
std::vector<std::string> splitFileNames(const midi::MIDIFile& song, std::span<const int> rows,
                                        std::optional<int> repeatCount, midi::MIDIExportFormat format);
// The suggested name of a merged file: "<stem>_merged.<ext>", or "<stem>_loopx<N>_merged.<ext>"
// for a loop; the stem is cleaned as track names are for split files.
std::string mergedFileName(std::string_view stem, std::optional<int> repeatCount, midi::MIDIExportFormat format);

// A file that could not be written, and why.
struct WriteFailure {
    std::string fileName;
    std::string description;
    friend bool operator==(const WriteFailure&, const WriteFailure&) = default;
};

// A file written by writeConvertedFile: its size and, for a MIDI 2.0 Clip, its export report.
struct WrittenFile {
    std::size_t bytes = 0;
    std::optional<midi::MIDI2OperationReport> report;
};
// buildConvertedFile written safely to path: a MIDI 2.0 Clip goes to the file as it is made
// (its bytes are never held whole) and its report is read from the bytes on their way. The
// same file and report as buildConvertedFile then writeGeneratedFile. Throws
// ExportGenerationError (the file is then left as it was).
std::variant<WrittenFile, WriteFailure> writeConvertedFile(const midi::MIDIFile& song, midi::MIDIExportFormat format,
                                                           const std::filesystem::path& path);

// Writes one file safely (temporary file, flush, rename over the target): on failure the
// old file is untouched and the result says why.
std::optional<WriteFailure> writeGeneratedFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
// Writes every file into folder, going on after a failure; the failures, in order.
std::vector<WriteFailure> writeGeneratedFiles(const std::filesystem::path& folder,
                                              std::span<const GeneratedFile> files);

}  // namespace orvane::app
