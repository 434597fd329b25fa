#include "cli/ExportBuild.h"

#include "midi/export/LoopExport.h"
#include "midi/export/TrackExport.h"

namespace orvane::cli {

void requireAvailable(midi::MIDIExportFormat format) {
    if (format == midi::MIDIExportFormat::midi2Clip) {
        throw CommandFailure(exitRejected, "MIDI 2.0 export (--format midi2) is not yet available.");
    }
}

midi::Bytes buildSplitFile(const midi::MIDIFile& song, const midi::MIDITrack& track, const ExportSettings& settings) {
    requireAvailable(settings.format);
    const SongEdits& edits = settings.edits;
    if (const auto& loop = settings.loop) {
        return midi::buildSingleTrackLoopMIDI(song, track, loop->startSeconds, loop->endSeconds, loop->repeatCount,
                                              false, edits.transpose, edits.newBPM);
    }
    return midi::buildSingleTrackMIDI(song, track, edits.transpose, edits.newBPM);
}

midi::Bytes buildMergedFile(const midi::MIDIFile& song, std::span<const midi::MIDITrack> tracks,
                            const ExportSettings& settings) {
    requireAvailable(settings.format);
    const SongEdits& edits = settings.edits;
    if (const auto& loop = settings.loop) {
        return midi::buildMergedLoopMIDI(song, tracks, loop->startSeconds, loop->endSeconds, loop->repeatCount,
                                         false, edits.transpose, edits.newBPM, true);
    }
    return midi::buildMergedMIDI(song, tracks, edits.transpose, edits.newBPM, true);
}

}  // namespace orvane::cli
