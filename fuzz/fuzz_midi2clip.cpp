// Feeds arbitrary bytes to the MIDI Clip reader: the container parser, then the import through
// MIDIFile::parse (the bytes get the clip signature when they lack it, so every input reaches
// the importer). A clip that imports is written back as a clip of its musical tracks, which
// must import again; an unedited import that is written back keeps every native packet.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "midi/midi2/MIDI2ClipFile.h"
#include "midi/midi2/MIDI2Diagnostics.h"
#include "midi/midi2/MIDI2Export.h"
#include "midi/model/MIDIFile.h"

namespace {

using orvane::midi::Bytes;
using orvane::midi::MIDIFile;

void checkWrittenClipLoads(const MIDIFile& song) {
    if (song.musicalTracks().empty()) return;
    const auto tracks = song.musicalTracks().copies();
    orvane::midi::MIDI2NativeReplacementExport exported;
    try {
        exported = orvane::midi::buildMIDI2ClipWithNativeReplacement(
            song, orvane::midi::midi2FullMergedExportRequest(song, tracks, 0, std::nullopt, false));
    } catch (const orvane::midi::MIDI2UMPError&) {
        return;  // data bytes of 0x80 or more have no MIDI 1.0 Channel Voice form
    }
    MIDIFile reread;
    if (!reread.parse(exported.data)) std::abort();
    if (reread.musicalTracks().size() > song.musicalTracks().size() * 16) std::abort();
    if (exported.eligibility.canReexportNativePackets &&
        exported.eligibility.nativeReexportedPackets != exported.eligibility.candidatePackets) {
        std::abort();
    }
    (void)orvane::midi::midi2ExportReport(reread, exported.data, "fuzz.midi2", "MIDI 2.0",
                                          static_cast<int>(tracks.size()), exported.eligibility);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    MIDIFile::setNormalizingNoticeStream(nullptr);
    orvane::midi::MIDI2Diagnostics::setEnabledWhenUnset(false);
    ::unsetenv("MIDI2_DEBUG_MARKERS");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    try {
        (void)orvane::midi::MIDI2ClipFile::parse(input);
    } catch (const orvane::midi::MIDI2ClipFileError&) {}
    Bytes clip;
    if (!orvane::midi::MIDI2ClipFile::isMIDI2Clip(input)) {
        const auto& signature = orvane::midi::MIDI2ClipFile::magicBytes();
        clip.assign(signature.begin(), signature.end());
    }
    clip.insert(clip.end(), input.begin(), input.end());
    MIDIFile song;
    if (!song.parse(clip)) return 0;
    if (!song.midi2LastImportReport || song.midi2NativePacketSnapshots.empty()) std::abort();
    (void)song.midi2LastImportReport->detailText();
    checkWrittenClipLoads(song);
    return 0;
}
