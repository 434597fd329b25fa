#pragma once
// The one place where the output format chooses the builder of a split or merged file.

#include <span>

#include "cli/ExportOptions.h"
#include "midi/export/ExportNaming.h"
#include "midi/model/MIDIFile.h"

namespace orvane::cli {

// Fails (exit 2) for a format this build cannot write yet.
void requireAvailable(midi::MIDIExportFormat format);

// One split file: the track alone, or its loop when settings has one.
midi::Bytes buildSplitFile(const midi::MIDIFile& song, const midi::MIDITrack& track, const ExportSettings& settings);
// The merged file of tracks (or their merged loop), with the mixer values applied.
midi::Bytes buildMergedFile(const midi::MIDIFile& song, std::span<const midi::MIDITrack> tracks,
                            const ExportSettings& settings);

}  // namespace orvane::cli
