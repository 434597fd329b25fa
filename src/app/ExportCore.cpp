#include "app/ExportCore.h"

#include <functional>

#include "midi/export/LoopExport.h"
#include "midi/export/TrackExport.h"
#include "midi/midi2/MIDI2Diagnostics.h"
#include "midi/midi2/MIDI2Export.h"
#include "support/AtomicFile.h"

namespace orvane::app {
namespace {

constexpr const char* midi2FormatLabel = "MIDI 2.0";

// Builds a MIDI 2.0 Clip and its report; a song the clip cannot carry throws.
GeneratedFile midi2File(const midi::MIDIFile& song,
                        const std::function<midi::MIDI2NativeReplacementExport()>& build, std::string fileName,
                        int representedTracks) {
    try {
        midi::MIDI2NativeReplacementExport exported = build();
        auto report = midi::midi2ExportReport(song, exported.data, fileName, midi2FormatLabel, representedTracks,
                                              exported.eligibility, exported.skippedEventItems);
        return {std::move(fileName), std::move(exported.data), std::move(report)};
    } catch (const midi::MIDI2UMPError& error) {
        throw ExportGenerationError(error.description());
    }
}

// The fields file names are made of, without the events.
midi::MIDITrack identityOf(const midi::MIDITrack& track) {
    midi::MIDITrack identity;
    identity.name = track.name;
    identity.channel = track.channel;
    identity.instrument = track.instrument;
    identity.drumNote = track.drumNote;
    return identity;
}

}  // namespace

void requireWritable(const midi::MIDIFile& song, midi::MIDIExportFormat format) {
    if (format == midi::MIDIExportFormat::midi2Clip && song.isSMPTE) {
        throw ExportGenerationError(
            "A MIDI 2.0 Clip counts time in ticks per quarter note; this song is timed in SMPTE frames.");
    }
}

GeneratedFile buildSplitFile(const midi::MIDIFile& song, const midi::MIDITrack& track, const ExportEdits& edits,
                             const std::optional<ExportLoop>& loop, midi::MIDIExportFormat format,
                             std::string fileName) {
    requireWritable(song, format);
    if (format == midi::MIDIExportFormat::midi2Clip) {
        return midi2File(
            song,
            [&] {
                return loop ? midi::buildSingleTrackLoopMIDI2ClipWithNativePlanning(
                                  song, track, loop->startSeconds, loop->endSeconds, loop->repeatCount,
                                  loop->tightenLoop, edits.transpose, edits.newBPM)
                            : midi::buildSingleTrackMIDI2ClipWithNativeReplacement(song, track, edits.transpose,
                                                                                   edits.newBPM);
            },
            std::move(fileName), 1);
    }
    if (loop) {
        return {std::move(fileName),
                midi::buildSingleTrackLoopMIDI(song, track, loop->startSeconds, loop->endSeconds, loop->repeatCount,
                                               loop->tightenLoop, edits.transpose, edits.newBPM),
                std::nullopt};
    }
    return {std::move(fileName), midi::buildSingleTrackMIDI(song, track, edits.transpose, edits.newBPM),
            std::nullopt};
}

GeneratedFile buildMergedFile(const midi::MIDIFile& song, std::span<const midi::MIDITrack> tracks,
                              const ExportEdits& edits, const std::optional<ExportLoop>& loop,
                              midi::MIDIExportFormat format, std::string fileName) {
    requireWritable(song, format);
    if (format == midi::MIDIExportFormat::midi2Clip) {
        return midi2File(
            song,
            [&] {
                return loop ? midi::buildMergedLoopMIDI2ClipWithNativePlanning(
                                  song, tracks, loop->startSeconds, loop->endSeconds, loop->repeatCount,
                                  loop->tightenLoop, edits.transpose, edits.newBPM, true)
                            : midi::buildMIDI2ClipWithNativeReplacement(
                                  song, midi::midi2FullMergedExportRequest(song, tracks, edits.transpose, edits.newBPM,
                                                                           true));
            },
            std::move(fileName), static_cast<int>(tracks.size()));
    }
    if (loop) {
        return {std::move(fileName),
                midi::buildMergedLoopMIDI(song, tracks, loop->startSeconds, loop->endSeconds, loop->repeatCount,
                                          loop->tightenLoop, edits.transpose, edits.newBPM, true),
                std::nullopt};
    }
    return {std::move(fileName), midi::buildMergedMIDI(song, tracks, edits.transpose, edits.newBPM, true),
            std::nullopt};
}

GeneratedFile buildConvertedFile(const midi::MIDIFile& song, midi::MIDIExportFormat format, std::string fileName) {
    requireWritable(song, format);
    std::vector<midi::MIDITrack> copies;  // only when the musical tracks are not consecutive
    const std::span<const midi::MIDITrack> tracks = song.musicalTracks().asSpan(copies);
    if (format == midi::MIDIExportFormat::midi2Clip) {
        return midi2File(
            song,
            [&] {
                return midi::buildMIDI2ClipWithNativeReplacement(
                    song, midi::midi2FullMergedExportRequest(song, tracks, 0, std::nullopt, false));
            },
            std::move(fileName), static_cast<int>(tracks.size()));
    }
    return {std::move(fileName), midi::buildMergedMIDI(song, tracks, 0, std::nullopt, false), std::nullopt};
}

std::variant<WrittenFile, WriteFailure> writeConvertedFile(const midi::MIDIFile& song, midi::MIDIExportFormat format,
                                                           const std::filesystem::path& path) {
    const std::string fileName = path.filename().string();
    // With the MIDI 2.0 markers on, the clip is made whole so that the markers tell every step.
    if (format != midi::MIDIExportFormat::midi2Clip || midi::MIDI2Diagnostics::markersEnabled()) {
        GeneratedFile built = buildConvertedFile(song, format, fileName);
        if (auto failure = writeGeneratedFile(path, built.bytes)) return std::move(*failure);
        return WrittenFile{built.bytes.size(), std::move(built.report)};
    }
    requireWritable(song, format);
    std::vector<midi::MIDITrack> copies;  // only when the musical tracks are not consecutive
    const std::span<const midi::MIDITrack> tracks = song.musicalTracks().asSpan(copies);
    const auto request = midi::midi2FullMergedExportRequest(song, tracks, 0, std::nullopt, false);
    midi::MIDI2ClipPacketCounter written;
    std::optional<midi::MIDI2NativeReplacementExport> exported;
    try {
        writeFileAtomicallyFrom(path, [&](const ByteSink& write) {
            exported = midi::buildMIDI2ClipWithNativeReplacement(song, request, [&](std::span<const std::uint8_t> bytes) {
                written.add(bytes);
                write(bytes);
            });
        });
    } catch (const FileWriteError& error) {
        return WriteFailure{fileName, error.description()};
    } catch (const midi::MIDI2UMPError& error) {
        throw ExportGenerationError(error.description());
    }
    auto report = midi::midi2ExportReport(song, written, fileName, midi2FormatLabel, static_cast<int>(tracks.size()),
                                          exported->eligibility, exported->skippedEventItems);
    return WrittenFile{written.byteCount, std::move(report)};
}

std::vector<std::string> splitFileNames(const midi::MIDIFile& song, std::span<const int> rows,
                                        std::optional<int> repeatCount, midi::MIDIExportFormat format) {
    const midi::MusicalTrackList musical = song.musicalTracks();
    std::vector<midi::MIDITrack> identities;
    identities.reserve(rows.size());
    for (const int row : rows) {
        if (row >= 0 && static_cast<std::size_t>(row) < musical.size()) {
            identities.push_back(identityOf(musical[static_cast<std::size_t>(row)]));
        }
    }
    return midi::splitExportFileNames(identities, repeatCount, midi::fileExtension(format));
}

std::string mergedFileName(std::string_view stem, std::optional<int> repeatCount, midi::MIDIExportFormat format) {
    const std::string cleanedStem = midi::cleanedFileNamePart(stem);
    std::string name = cleanedStem;
    if (repeatCount) name += "_loopx" + std::to_string(*repeatCount);
    name += "_merged.";
    name += midi::fileExtension(format);
    // A long name is shortened in its stem; the suffixes and the extension stay.
    return midi::fittedFileName(name, cleanedStem.size());
}

std::optional<WriteFailure> writeGeneratedFile(const std::filesystem::path& path,
                                               std::span<const std::uint8_t> bytes) {
    try {
        writeFileAtomically(path, bytes);
        return std::nullopt;
    } catch (const FileWriteError& error) {
        return WriteFailure{path.filename().string(), error.description()};
    }
}

std::vector<WriteFailure> writeGeneratedFiles(const std::filesystem::path& folder,
                                              std::span<const GeneratedFile> files) {
    std::vector<WriteFailure> failures;
    for (const GeneratedFile& file : files) {
        if (auto failure = writeGeneratedFile(folder / file.fileName, file.bytes)) {
            failures.push_back(std::move(*failure));
        }
    }
    return failures;
}

}  // namespace orvane::app
