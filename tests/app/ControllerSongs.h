#pragma once
// Songs the controller and window tests load: the bundled demo, and small files written for
// one case.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TemporaryFolder.h"
#include "app/ExportCore.h"
#include "midi/model/MIDIFile.h"
#include "playback/TestSongs.h"

namespace orvane::app::testing {

inline std::filesystem::path demoSong() { return std::filesystem::path(ORVANE_SOURCE_DIR) / "examples" / "demo.mid"; }

inline void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using orvane::testing::fileNames;

// A song of `seconds` at 120 BPM in 4/4 (960 ticks a second), one note a second on each of
// `tracks` tracks, track t on channel t % 16.
inline std::filesystem::path steadySong(const std::filesystem::path& folder, double seconds, int tracks = 2,
                                        const std::string& name = "steady.mid") {
    using namespace playback::testing;
    std::vector<midi::EventList> chunks;
    chunks.push_back({midi::MIDIEvent(0, {0xFF, 0x58, 4, 4, 2, 24, 8}), endOfTrack(seconds)});
    for (int track = 0; track < tracks; ++track) {
        midi::EventList events{program(0, track % 16, 10 * track % 128)};
        addNotes(events, track % 16, 60 + track % 12, 0, seconds, 1.0, 0.5);
        events.push_back(endOfTrack(seconds));
        chunks.push_back(std::move(events));
    }
    const auto path = folder / name;
    writeBytes(path, songBytes(chunks));
    return path;
}

// The demo written as a MIDI 2.0 Clip.
inline std::filesystem::path demoClip(const std::filesystem::path& folder) {
    midi::MIDIFile song;
    song.parse(readBytes(demoSong()));
    const auto path = folder / "demo.midi2";
    writeBytes(path, buildConvertedFile(song, midi::MIDIExportFormat::midi2Clip, "demo.midi2").bytes);
    return path;
}

}  // namespace orvane::app::testing
