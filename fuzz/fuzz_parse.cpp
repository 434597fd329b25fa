// Feeds arbitrary bytes to the Standard MIDI File reader. A song that loads is also walked
// through the tempo map and written back chunk by chunk; the written file must load again
// with the same musical tracks.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>

#include "midi/model/MIDIFile.h"

namespace {

void checkWrittenSongLoads(const orvane::midi::MIDIFile& song) {
    using orvane::midi::MIDIFile;
    // Without tracks the file is a bare header, too short to read back.
    if (song.tracks().empty() || song.tracks().size() > 0xFFFF) return;
    orvane::midi::Bytes written = song.header(1, static_cast<int>(song.tracks().size()));
    for (const auto& track : song.tracks()) MIDIFile::appendTrackChunk(written, track.events);
    MIDIFile reread;
    if (!reread.parse(written)) std::abort();
    if (reread.musicalTracks().size() != song.musicalTracks().size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    orvane::midi::MIDIFile::setNormalizingNoticeStream(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orvane::midi::MIDIFile song;
    if (!song.parse(std::span<const std::uint8_t>(data, size))) return 0;
    const std::uint32_t lastTick = orvane::midi::MIDIFile::maximumTick(song.musicalTracks());
    (void)song.ticksToSeconds(lastTick, std::nullopt);
    (void)song.secondsToTicks(1.5, std::nullopt, std::nullopt);
    (void)song.secondsToTicks(0.5, std::nullopt, 97.0);
    checkWrittenSongLoads(song);
    return 0;
}
