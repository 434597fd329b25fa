#include "cli/ExportBuild.h"

#include <functional>

#include "midi/export/LoopExport.h"
#include "midi/export/TrackExport.h"
#include "midi/midi2/MIDI2Export.h"

namespace orvane::cli {
namespace {

constexpr const char* midi2FormatLabel = "MIDI 2.0";

// Builds a MIDI 2.0 Clip and its report; a song the clip cannot carry ends the command.
BuiltFile midi2File(const midi::MIDIFile& song, const std::function<midi::MIDI2NativeReplacementExport()>& build,
                    const std::string& fileName, int representedTracks) {
    try {
        midi::MIDI2NativeReplacementExport exported = build();
        auto report = midi::midi2ExportReport(song, exported.data, fileName, midi2FormatLabel, representedTracks,
                                              exported.eligibility, exported.skippedEventItems);
        return {std::move(exported.data), std::move(report)};
    } catch (const midi::MIDI2UMPError& error) {
        throw CommandFailure(exitFailure, "❌ Failed to generate MIDI 2.0 export.\n" + error.description());
    }
}

}  // namespace

void requireWritable(const midi::MIDIFile& song, midi::MIDIExportFormat format) {
    if (format == midi::MIDIExportFormat::midi2Clip && song.isSMPTE) {
        throw CommandFailure(exitFailure,
                             "❌ Failed to generate MIDI 2.0 export.\nA MIDI 2.0 Clip counts time in ticks per "
                             "quarter note; this song is timed in SMPTE frames.");
    }
}

BuiltFile buildSplitFile(const midi::MIDIFile& song, const midi::MIDITrack& track, const ExportSettings& settings,
                         const std::string& fileName) {
    const SongEdits& edits = settings.edits;
    const auto& loop = settings.loop;
    if (settings.format == midi::MIDIExportFormat::midi2Clip) {
        return midi2File(
            song,
            [&] {
                return loop ? midi::buildSingleTrackLoopMIDI2ClipWithNativePlanning(
                                  song, track, loop->startSeconds, loop->endSeconds, loop->repeatCount, false,
                                  edits.transpose, edits.newBPM)
                            : midi::buildSingleTrackMIDI2ClipWithNativeReplacement(song, track, edits.transpose,
                                                                                   edits.newBPM);
            },
            fileName, 1);
    }
    if (loop) {
        return {midi::buildSingleTrackLoopMIDI(song, track, loop->startSeconds, loop->endSeconds, loop->repeatCount,
                                               false, edits.transpose, edits.newBPM),
                std::nullopt};
    }
    return {midi::buildSingleTrackMIDI(song, track, edits.transpose, edits.newBPM), std::nullopt};
}

BuiltFile buildMergedFile(const midi::MIDIFile& song, std::span<const midi::MIDITrack> tracks,
                          const ExportSettings& settings, const std::string& fileName) {
    const SongEdits& edits = settings.edits;
    const auto& loop = settings.loop;
    if (settings.format == midi::MIDIExportFormat::midi2Clip) {
        return midi2File(
            song,
            [&] {
                return loop ? midi::buildMergedLoopMIDI2ClipWithNativePlanning(
                                  song, tracks, loop->startSeconds, loop->endSeconds, loop->repeatCount, false,
                                  edits.transpose, edits.newBPM, true)
                            : midi::buildMIDI2ClipWithNativeReplacement(
                                  song, midi::midi2FullMergedExportRequest(song, tracks, edits.transpose, edits.newBPM,
                                                                           true));
            },
            fileName, static_cast<int>(tracks.size()));
    }
    if (loop) {
        return {midi::buildMergedLoopMIDI(song, tracks, loop->startSeconds, loop->endSeconds, loop->repeatCount, false,
                                          edits.transpose, edits.newBPM, true),
                std::nullopt};
    }
    return {midi::buildMergedMIDI(song, tracks, edits.transpose, edits.newBPM, true), std::nullopt};
}

BuiltFile buildConvertedFile(const midi::MIDIFile& song, midi::MIDIExportFormat format, const std::string& fileName) {
    const std::vector<midi::MIDITrack> tracks = song.musicalTracks().copies();
    if (format == midi::MIDIExportFormat::midi2Clip) {
        return midi2File(
            song,
            [&] {
                return midi::buildMIDI2ClipWithNativeReplacement(
                    song, midi::midi2FullMergedExportRequest(song, tracks, 0, std::nullopt, false));
            },
            fileName, static_cast<int>(tracks.size()));
    }
    return {midi::buildMergedMIDI(song, tracks, 0, std::nullopt, false), std::nullopt};
}

}  // namespace orvane::cli
