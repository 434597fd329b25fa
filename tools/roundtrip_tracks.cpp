// Round trip of one file through the reader and the writer, for the peer checks:
//
//   roundtrip_tracks IN.mid OUT.mid EVENTS.json
//
// Reads IN.mid, writes every track of the song with header + buildTrackChunk to OUT.mid,
// reads OUT.mid back, and writes EVENTS.json: {"written": tracks, "reread": tracks}, each
// track a list of [tick, "hex bytes"]. "written" holds the events each chunk encodes (the
// export order, with the end of track the writer adds); "reread" what the reader made of
// OUT.mid. Exit 2 when either file is rejected, 1 when a file cannot be read or written.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ToolFiles.h"
#include "midi/model/MIDIFile.h"

namespace {

using orvane::midi::Bytes;
using orvane::midi::EventList;
using orvane::midi::MIDIEvent;
using orvane::midi::MIDIFile;

bool readFile(const char* path, Bytes& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

std::string eventsJSON(const std::vector<EventList>& tracks) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out = "[";
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        out += t == 0 ? "\n  [" : ",\n  [";
        for (std::size_t e = 0; e < tracks[t].size(); ++e) {
            const MIDIEvent& event = tracks[t][e];
            out += (e == 0 ? "[" : ", [") + std::to_string(event.tick) + ", \"";
            for (const std::uint8_t byte : event.data()) {
                out += digits[byte >> 4];
                out += digits[byte & 0x0F];
            }
            out += "\"]";
        }
        out += "]";
    }
    return out + "]";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: roundtrip_tracks IN.mid OUT.mid EVENTS.json\n");
        return 2;
    }
    Bytes input;
    if (!readFile(argv[1], input)) return 1;
    MIDIFile song;
    if (!song.parse(input)) return 2;

    Bytes output = song.header(1, static_cast<int>(song.tracks().size()));
    std::vector<EventList> written;
    for (const auto& track : song.tracks()) {
        MIDIFile::appendTrackChunk(output, track.events);
        EventList events = MIDIFile::sortedEventsForExport(track.events);
        if (events.empty() || !events.back().isEndOfTrack()) {
            events.push_back({events.empty() ? 0 : events.back().tick, {0xFF, 0x2F, 0x00}});
        }
        written.push_back(std::move(events));
    }
    if (!orvane::tools::writeFileOrReport(argv[2], output)) return 1;

    // A song without tracks is a bare header, which is too short to read back.
    MIDIFile reread;
    if (!written.empty() && !reread.parse(output)) return 2;
    std::vector<EventList> rereadTracks;
    for (const auto& track : reread.tracks()) rereadTracks.push_back(track.events);

    const std::string json = "{\"written\": " + eventsJSON(written) + ",\n\"reread\": " + eventsJSON(rereadTracks) + "}\n";
    const Bytes text(json.begin(), json.end());
    return orvane::tools::writeFileOrReport(argv[3], text) ? 0 : 1;
}
