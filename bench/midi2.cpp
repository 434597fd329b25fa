// MIDI 2.0 Clips of the stress song: importing the clip (baseline: reading the same song as a
// Standard MIDI File) and writing it back as a full merged clip (baseline: the merged
// Standard MIDI File of the same tracks). Twice: with MIDI 1.0 Channel Voice packets, as the
// song converts, and with every channel message as a native MIDI 2.0 packet, so that the
// import keeps millions of preservation candidates and the export writes them all back.

#include <map>
#include <memory>

#include "BenchSupport.h"
#include "midi/export/TrackExport.h"
#include "midi/midi2/MIDI2ClipFile.h"
#include "midi/midi2/MIDI2Diagnostics.h"
#include "midi/midi2/MIDI2Export.h"

namespace orvane::bench {
namespace {

const midi::MIDIFile& parsedStressSong() {
    static const auto file = [] {
        midi::MIDI2Diagnostics::setEnabledWhenUnset(false);
        auto parsed = std::make_unique<midi::MIDIFile>();
        (void)parsed->parse(stressSong(1));
        return parsed;
    }();
    return *file;
}

midi::MIDI2NativeReplacementExport fullClip(const midi::MIDIFile& song) {
    const auto tracks = song.musicalTracks().copies();
    return midi::buildMIDI2ClipWithNativeReplacement(
        song, midi::midi2FullMergedExportRequest(song, tracks, 0, std::nullopt, false));
}

// The stress song as a clip with MIDI 1.0 Channel Voice packets.
const Bytes& stressClip() {
    static const Bytes clip = fullClip(parsedStressSong()).data;
    return clip;
}

// A MIDI 1.0 Channel Voice packet as the MIDI 2.0 packet that down-converts back to it (a
// note-on of velocity 0 becomes a note-off, which MIDI 2.0 has no other way to say).
midi::MIDI2UMPPacket upConverted(const midi::MIDI2UMPPacket& packet) {
    const std::uint32_t word = packet.word(0);
    std::uint32_t opcode = (word >> 20) & 0xF;
    const std::uint32_t data1 = (word >> 8) & 0x7F;
    const std::uint32_t data2 = word & 0x7F;
    if (opcode == 0x9 && data2 == 0) opcode = 0x8;
    std::uint32_t index = data1;
    std::uint32_t value = data2 << 25;  // notes, key pressure, controllers
    if (opcode == 0xC || opcode == 0xD) {
        index = 0;
        value = opcode == 0xC ? data1 << 24 : data1 << 25;
    } else if (opcode == 0xE) {
        index = 0;
        value = (data1 | data2 << 7) << 18;
    }
    return midi::MIDI2UMPPacket({0x40000000 | (word & 0x0F0F0000) | opcode << 20 | index << 8, value});
}

// The stress clip with every channel message as a native MIDI 2.0 packet.
const Bytes& nativeStressClip() {
    static const Bytes clip = [] {
        midi::MIDI2ClipFile file = midi::MIDI2ClipFile::parse(stressClip());
        for (auto& packet : file.packets) {
            if (packet.messageType() == midi::MIDI2UMPMessageType::midi1ChannelVoice) packet = upConverted(packet);
        }
        return file.data();
    }();
    return clip;
}

const midi::MIDIFile& imported(const Bytes& clip) {
    static std::map<const Bytes*, std::unique_ptr<midi::MIDIFile>> songs;
    auto& song = songs[&clip];
    if (!song) {
        song = std::make_unique<midi::MIDIFile>();
        (void)song->parse(clip);
    }
    return *song;
}

void timeImport(benchmark::State& state, const Bytes& clip) {
    timeAgainstBaseline(
        state,
        [] {
            auto song = std::make_unique<midi::MIDIFile>();
            (void)song->parse(stressSong(1));
            return song;
        },
        [&] {
            auto song = std::make_unique<midi::MIDIFile>();
            (void)song->parse(clip);
            return song;
        });
    state.counters["clip_MB"] = static_cast<double>(clip.size()) / 1e6;
}

void timeExport(benchmark::State& state, const Bytes& clip) {
    const midi::MIDIFile& song = imported(clip);
    const auto tracks = song.musicalTracks().copies();
    int replaced = 0;
    timeAgainstBaseline(
        state, [&] { return midi::buildMergedMIDI(song, tracks, 0, std::nullopt, false); },
        [&] {
            auto exported = fullClip(song);
            replaced = exported.eligibility.nativeReexportedPackets;
            return exported;
        });
    state.counters["native_packets"] = replaced;
}

void BM_ImportClip(benchmark::State& state) { timeImport(state, stressClip()); }
void BM_ExportClip(benchmark::State& state) { timeExport(state, stressClip()); }
void BM_ImportNativeClip(benchmark::State& state) { timeImport(state, nativeStressClip()); }
void BM_ExportNativeClip(benchmark::State& state) { timeExport(state, nativeStressClip()); }

BENCHMARK(BM_ImportClip)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportClip)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportNativeClip)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportNativeClip)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane::bench

BENCHMARK_MAIN();
