#pragma once
// The one place where the output format chooses the builder of a split or merged file.

#include <optional>
#include <span>
#include <string>

#include "cli/ExportOptions.h"
#include "midi/export/ExportNaming.h"
#include "midi/midi2/MIDI2Records.h"
#include "midi/model/MIDIFile.h"

namespace orvane::cli {

// A file built for writing and, for a MIDI 2.0 Clip, its export report.
struct BuiltFile {
    midi::Bytes bytes;
    std::optional<midi::MIDI2OperationReport> report;
};

// Fails (exit 1) when the song cannot be written in format: a MIDI 2.0 Clip counts ticks per
// quarter note, so a song timed in SMPTE frames is refused before anything is written.
void requireWritable(const midi::MIDIFile& song, midi::MIDIExportFormat format);

// One split file: the track alone, or its loop when settings has one. fileName names the
// file in its report.
BuiltFile buildSplitFile(const midi::MIDIFile& song, const midi::MIDITrack& track, const ExportSettings& settings,
                         const std::string& fileName);
// The merged file of tracks (or their merged loop), with the mixer values applied.
BuiltFile buildMergedFile(const midi::MIDIFile& song, std::span<const midi::MIDITrack> tracks,
                          const ExportSettings& settings, const std::string& fileName);
// Every musical track merged as they are (no mixer values, no edits): for a MIDI 2.0 Clip that
// was imported and not edited, its native packets are written back.
BuiltFile buildConvertedFile(const midi::MIDIFile& song, midi::MIDIExportFormat format, const std::string& fileName);

}  // namespace orvane::cli
