// Real songs through a MIDI Clip and back: every corpus file, merged as it is into a clip and
// imported again, keeps its musical channels, programs and note events (ticks and bytes).

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "PeerAvailability.h"
#include "MIDI2TestSupport.h"
#include "midi/midi2/MIDI2Export.h"

namespace orvane::midi {
namespace {

std::vector<std::string> corpusFiles() {
    std::vector<std::string> files;
    std::FILE* listing = ::popen("dpkg -L openttd-openmsx 2>/dev/null", "r");
    if (listing == nullptr) return files;
    char line[4096];
    while (std::fgets(line, sizeof line, listing) != nullptr) {
        std::string path(line);
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
        if (path.size() > 4 && path.compare(path.size() - 4, 4, ".mid") == 0) files.push_back(path);
    }
    ::pclose(listing);
    return files;
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using ChannelEvent = std::tuple<std::uint8_t, std::uint32_t, Bytes>;  // channel, tick, bytes

// Notes and program changes of the musical tracks on the channels where each plays notes.
std::multiset<ChannelEvent> musicalEvents(const MIDIFile& file) {
    std::multiset<ChannelEvent> events;
    for (const MIDITrack& track : file.musicalTracks()) {
        std::uint16_t noteChannels = 0;
        for (const MIDIEvent& event : track.events) {
            if (event.isNoteOn()) noteChannels = static_cast<std::uint16_t>(noteChannels | 1u << event.channel());
        }
        for (const MIDIEvent& event : track.events) {
            const std::uint8_t kind = event.status() & 0xF0;
            if ((kind != 0x80 && kind != 0x90 && kind != 0xC0) || (noteChannels & 1u << event.channel()) == 0) continue;
            events.emplace(event.channel(), event.tick, Bytes(event.data().begin(), event.data().end()));
        }
    }
    return events;
}

// The programs of the musical tracks on each channel.
std::map<int, std::multiset<int>> programsByChannel(const MIDIFile& file) {
    std::map<int, std::multiset<int>> programs;
    for (const MIDITrack& track : file.musicalTracks()) programs[track.channel].insert(track.instrument);
    return programs;
}

std::set<int> noteChannels(const MIDIFile& file) {
    std::set<int> channels;
    for (const MIDITrack& track : file.musicalTracks()) {
        for (const MIDIEvent& event : track.events) {
            if (event.isNoteOn()) channels.insert(event.channel());
        }
    }
    return channels;
}

TEST(MIDI2RoundTrip, EveryCorpusSongComesBackFromAClipWithItsNotesAndPrograms) {
    const auto files = corpusFiles();
    ORVANE_REQUIRE_PEER(!files.empty(), "the openttd-openmsx corpus is not installed (run ./bootstrap)");
    testing::MarkerCapture quiet("0");
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        MIDIFile source;
        if (!source.parse(readFile(path)) || source.isSMPTE) continue;
        const std::vector<MIDITrack> tracks = source.musicalTracks().copies();
        const auto exported = buildMIDI2ClipWithNativeReplacement(
            source, midi2FullMergedExportRequest(source, tracks, 0, std::nullopt, false));
        MIDIFile clip;
        ASSERT_TRUE(clip.parse(exported.data));
        EXPECT_EQ(clip.timeDivision, source.timeDivision);
        EXPECT_EQ(clip.tempoEvents, source.tempoEvents);
        EXPECT_EQ(clip.timeSignatureEvents.size(), source.timeSignatureEvents.size());
        EXPECT_EQ(musicalEvents(clip), musicalEvents(source));
        // A clip keeps one track per channel: tracks that share a channel come back as one,
        // and a track playing on several channels as one per channel. A track that has its
        // channel to itself comes back with its program.
        std::set<int> clipChannels;
        for (const MIDITrack& track : clip.musicalTracks()) clipChannels.insert(track.channel);
        EXPECT_EQ(clipChannels, noteChannels(source));
        const auto clipPrograms = programsByChannel(clip);
        for (const auto& [channel, programs] : programsByChannel(source)) {
            if (programs.size() == 1) {
                EXPECT_EQ(clipPrograms.at(channel), programs) << "channel " << channel;
            }
        }
    }
}

}  // namespace
}  // namespace orvane::midi
