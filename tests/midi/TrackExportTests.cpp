// Split, merge and playback files, read back with the tests' own decoder.

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "ExportTestSupport.h"
#include "midi/export/EventTransforms.h"
#include "midi/export/TrackExport.h"

namespace orvane::midi {
namespace {

using namespace testing;

// The events of a chunk at tick 0 before its first note-on.
EventList setupOf(const DecodedChunk& chunk) {
    EventList setup;
    for (const auto& event : chunk.events) {
        if (event.tick != 0 || event.isNoteOn()) break;
        setup.push_back(event);
    }
    return setup;
}

long countIf(const EventList& events, const MIDIEvent& wanted) {
    return std::count(events.begin(), events.end(), wanted);
}

MIDITrack pianoOnChannel3() {
    MIDITrack piano = track("Piano", 3,
                            {program(0, 3, 0), ev(0, {0xFF, 0x03, 0x03, 'O', 'l', 'd'}), cc(0, 3, 7, 20),
                             noteOn(0, 3, 60, 80), cc(240, 3, 10, 5), noteOff(480, 3, 60), cc(480, 5, 1, 2),
                             tempo(480, 400000), endOfTrack(480)},
                            19);
    piano.volume = 99;
    piano.pan = 40;
    piano.reverb = 7;
    return piano;
}

TEST(SingleTrackExport, WritesSetupFromTheTrackFieldsAndOnlyThat) {
    const MIDIFile midi = song({pianoOnChannel3()}, {tempo(0, 500000), tempo(240, 600000)}, {timeSignature(0, 3, 2)});
    const DecodedFile file = decode(buildSingleTrackMIDI(midi, midi.tracks()[0], 0, std::nullopt));
    EXPECT_EQ(std::tuple(file.format, file.division), std::tuple(1, 480));
    ASSERT_EQ(file.chunks.size(), 1u);
    const EventList& events = file.chunks[0].events;

    // Name, program, then the meta events, then the mixer controllers, then the notes.
    EXPECT_EQ(setupOf(file.chunks[0]),
              (EventList{ev(0, {0xFF, 0x03, 0x05, 'P', 'i', 'a', 'n', 'o'}), program(0, 3, 19),
                         timeSignature(0, 3, 2), tempo(0, 500000), cc(0, 3, 7, 99), cc(0, 3, 10, 40),
                         cc(0, 3, 91, 7)}));
    // The file's own volume and pan controllers anywhere are replaced, the only program at tick
    // 0 is the track's, channels without notes are dropped, and the track's own tempo events
    // give way to the song's.
    for (const MIDIEvent& gone : {cc(0, 3, 7, 20), cc(240, 3, 10, 5), program(0, 3, 0), cc(480, 5, 1, 2), tempo(480, 400000)}) {
        EXPECT_EQ(countIf(events, gone), 0) << gone.tick;
    }
    EXPECT_EQ(countIf(events, tempo(240, 600000)), 1);
    EXPECT_EQ(events.back(), endOfTrack(480));
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const MIDIEvent& e) { return e.isEndOfTrack(); }), 1);
}

TEST(SingleTrackExport, AppliesTransposeVelocityAndTheTempoOverride) {
    MIDITrack lead = track("Lead", 0, {noteOn(0, 0, 60, 40), noteOff(100, 0, 60), noteOn(100, 0, 126, 40)});
    lead.velocity = 80;
    MIDIFile midi = song({lead}, {tempo(0, 500000)});
    midi.bpm = 120;
    const EventList events = decode(buildSingleTrackMIDI(midi, lead, 3, 60.0)).chunks.at(0).events;
    for (const MIDIEvent& wanted : {noteOn(0, 0, 63, 80), noteOff(100, 0, 63), noteOn(100, 0, 127, 80), tempo(0, 1000000)}) {
        EXPECT_EQ(countIf(events, wanted), 1) << wanted.tick;
    }
}

TEST(MergedExport, AssignsChannelsAndRegeneratesSetupOnlyWithMixerSettings) {
    const MIDITrack a = track("A", 0, {program(0, 0, 5), cc(0, 0, 7, 30), noteOn(10, 0, 60), noteOff(20, 0, 60)}, 5);
    const MIDITrack b = track("B", 0, {program(0, 0, 6), cc(0, 0, 7, 40), noteOn(10, 0, 64), noteOff(20, 0, 64)}, 6);
    const MIDIFile midi = song({a, b}, {tempo(0, 500000)});

    const DecodedFile plain = decode(buildMergedMIDI(midi, midi.tracks(), 0, std::nullopt, false));
    ASSERT_EQ(plain.chunks.size(), 3u);
    EXPECT_EQ(plain.chunks[2].events,
              (EventList{ev(0, {0xFF, 0x03, 0x01, 'B'}), program(0, 0, 6), cc(0, 0, 7, 40), noteOn(10, 0, 64),
                         noteOff(20, 0, 64), endOfTrack(20)}));

    const DecodedFile mixed = decode(buildMergedMIDI(midi, midi.tracks(), 0, std::nullopt, true));
    EXPECT_EQ(mixed.chunks[0].events, (EventList{tempo(0, 500000), endOfTrack(0)}));
    EXPECT_EQ(mixed.chunks[2].events,
              (EventList{ev(0, {0xFF, 0x03, 0x01, 'B'}), program(0, 1, 6), cc(0, 1, 7, 64), cc(0, 1, 10, 64),
                         cc(0, 1, 91, 0), noteOn(10, 1, 64), noteOff(20, 1, 64), endOfTrack(20)}));
}

TEST(MergedExport, HasNoConductorChunkWithoutTempoOrTimeSignatures) {
    const MIDIFile midi = song({track("A", 0, {noteOn(0, 0, 60)}), track("B", 1, {noteOn(0, 1, 60)})});
    const DecodedFile file = decode(buildMergedMIDI(midi, midi.tracks(), 0, std::nullopt, true));
    EXPECT_EQ(file.declaredTracks, 2);
}

TEST(PlaybackFiles, CoverTheMusicalTracksAndLastAsLongAsTheSong) {
    const MIDITrack conductor = track("Conductor", -1, {tempo(0, 500000), ev(0, {0xFF, 0x06, 0x01, 'm'})});
    const MIDITrack a = track("A", 0, {noteOn(0, 0, 60), noteOff(960, 0, 60)});
    const MIDITrack b = track("B", 1, {noteOn(0, 1, 60), noteOff(100, 1, 60)});
    const MIDITrack c = track("C", 9, {noteOn(0, 9, 36), noteOff(50, 9, 36)});
    const MIDIFile midi = song({conductor, a, b, c}, {tempo(0, 500000)});

    const DecodedFile all = decode(buildFormat1PlaybackMIDI(midi, 0, std::nullopt));
    ASSERT_EQ(all.chunks.size(), 4u);
    EXPECT_EQ(all.chunks[0].events.back(), endOfTrack(960));
    // Name, program, then the mixer controllers in the order reverb, pan, volume.
    EXPECT_EQ(setupOf(all.chunks[1]), (EventList{ev(0, {0xFF, 0x03, 0x01, 'A'}), program(0, 0, 0),
                                                 cc(0, 0, 91, 0), cc(0, 0, 10, 64), cc(0, 0, 7, 64)}));

    const DecodedFile selected = decode(buildSelectedTracksMIDI(midi, {2, 0, 7}, 0, std::nullopt));
    ASSERT_EQ(selected.chunks.size(), 3u);
    EXPECT_EQ((EventList{selected.chunks[0].events.back(), selected.chunks[1].events.front(),
                         selected.chunks[2].events.front()}),
              (EventList{endOfTrack(960), ev(0, {0xFF, 0x03, 0x01, 'A'}), ev(0, {0xFF, 0x03, 0x01, 'C'})}));

    const auto audition = buildSingleTrackPlaybackMIDI(midi, 1, 0, std::nullopt);
    ASSERT_TRUE(audition);
    const DecodedFile one = decode(*audition);
    ASSERT_EQ(one.chunks.size(), 1u);
    EXPECT_EQ(one.chunks[0].events.back(), endOfTrack(960));
    EXPECT_FALSE(buildSingleTrackPlaybackMIDI(midi, 3, 0, std::nullopt));
    EXPECT_FALSE(buildSingleTrackPlaybackMIDI(midi, -1, 0, std::nullopt));
}

TEST(ExportBodies, StripWhatTheBuildersWriteAnew) {
    const MIDITrack noChannel = track("X", -1, {program(0, 0, 3), program(0, 1, 4), noteOn(0, 1, 60)});
    // Channel -1 counts as channel 0 when setup program changes are removed.
    EXPECT_EQ(singleTrackExportBodyEvents(noChannel), (EventList{program(0, 1, 4), noteOn(0, 1, 60)}));
    const EventList playback = playbackBodyEvents(pianoOnChannel3());
    EXPECT_EQ(countIf(playback, cc(480, 5, 1, 2)), 1) << "playback keeps silent channels";
    EXPECT_EQ(countIf(playback, endOfTrack(480)), 0);
}

}  // namespace
}  // namespace orvane::midi
