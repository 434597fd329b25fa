// The loop engine and the loop, preview and playback-slice files. At the default 120 BPM and
// 480 ticks per quarter note, 960 ticks last one second.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "ExportTestSupport.h"
#include "midi/export/LoopExport.h"
#include "midi/export/LoopSection.h"

namespace orvane::midi {
namespace {

using namespace testing;

MIDIFile twoSecondSong() { return song({track("A", 0, {noteOn(0, 0, 60), noteOff(1920, 0, 60)})}); }

TEST(LoopSectionBounds, OrdersMarkersAndClampsToTheSongEnd) {
    const MIDIFile midi = twoSecondSong();
    const LoopSectionBounds middle{480, 960, 480};
    EXPECT_EQ(loopSectionBounds(midi, 0.5, 1.0, false, std::nullopt), middle);
    EXPECT_EQ(loopSectionBounds(midi, 1.0, 0.5, true, std::nullopt), middle);
    EXPECT_EQ(loopSectionBounds(midi, 0.5, 0.5, false, std::nullopt), (LoopSectionBounds{480, 481, 1}));
    EXPECT_EQ(loopSectionBounds(midi, 1.5, 9.0, false, std::nullopt), (LoopSectionBounds{1440, 1920, 480}));
    EXPECT_EQ(loopSectionBounds(midi, 5.0, 9.0, false, std::nullopt), (LoopSectionBounds{1920, 1921, 1}));
    // Under a tempo override of 60 BPM a second is only 480 ticks.
    MIDIFile slow = twoSecondSong();
    slow.tempoEvents = slow.originalTempoEvents = {tempo(0, 500000)};
    EXPECT_EQ(loopSectionBounds(slow, 0.5, 1.0, false, 60.0), (LoopSectionBounds{240, 480, 240}));
}

TEST(LoopFinalTick, ClampsRepeatsAndTheLastTick) {
    EXPECT_EQ(loopFinalTick(480, 5000), 999u * 480u);
    EXPECT_EQ(loopFinalTick(0, 3), 3u);
    constexpr std::uint32_t lastTick = std::numeric_limits<std::uint32_t>::max();
    EXPECT_EQ(loopFinalTick(lastTick - 5, 2), lastTick);
}

TEST(RepeatedSection, ClosesNotesAtEveryBoundaryAndDropsUnmatchedNoteOffs) {
    const EventList events = {noteOn(10, 0, 50), noteOn(900, 0, 60), noteOff(1200, 0, 60), noteOff(100, 0, 50)};
    EXPECT_EQ(repeatedSectionEvents(events, 0, 960, 2, 0, false, {}),
              (EventList{noteOn(10, 0, 50), noteOff(100, 0, 50), noteOn(900, 0, 60), noteOff(960, 0, 60),
                         cc(960, 0, 123, 0), noteOn(970, 0, 50), noteOff(1060, 0, 50), noteOn(1860, 0, 60),
                         noteOff(1920, 0, 60), cc(1920, 0, 123, 0)}));
    // From tick 50 the note-off at 100 has no note-on: it is dropped. Without a channel there
    // is no All Notes Off; a note struck twice is closed twice.
    const EventList twice = {noteOn(60, 2, 70), noteOn(70, 2, 70, 0), noteOn(80, 2, 70), noteOn(90, 2, 70)};
    EXPECT_EQ(repeatedSectionEvents(events, 50, 960, 1, std::nullopt, false, {}),
              (EventList{noteOn(900 - 50, 0, 60), noteOff(910, 0, 60)}));
    EXPECT_EQ(repeatedSectionEvents(twice, 50, 100, 1, 16, false, {}),
              (EventList{noteOn(10, 2, 70), noteOn(20, 2, 70, 0), noteOn(30, 2, 70), noteOn(40, 2, 70),
                         noteOff(50, 2, 70), noteOff(50, 2, 70)}));
}

TEST(RepeatedSection, StartsEveryRepeatWithTheSetupAndSortsUnorderedInput) {
    const EventList unordered = {cc(30, 0, 1, 1), cc(10, 0, 1, 2), cc(30, 0, 1, 3)};
    const EventList setup = {program(0, 0, 5), cc(0, 0, 7, 90)};
    EXPECT_EQ(repeatedSectionEvents(unordered, 0, 40, 3, std::nullopt, false, setup), (EventList{program(0, 0, 5), cc(0, 0, 7, 90), cc(10, 0, 1, 2), cc(30, 0, 1, 1), cc(30, 0, 1, 3),
                              program(40, 0, 5), cc(40, 0, 7, 90), cc(50, 0, 1, 2), cc(70, 0, 1, 1), cc(70, 0, 1, 3),
                              program(80, 0, 5), cc(80, 0, 7, 90), cc(90, 0, 1, 2), cc(110, 0, 1, 1),
                              cc(110, 0, 1, 3)}));
}

TEST(RepeatSetup, CapturesTheLatestChannelStateButNeverChannelModeControllers) {
    const EventList events = {cc(10, 0, 7, 90),  cc(20, 0, 7, 70),      cc(5, 0, 7, 10),   cc(30, 0, 121, 0),
                              cc(30, 0, 123, 0), program(40, 0, 4),     program(40, 0, 8), ev(50, {0xE0, 1, 64}),
                              ev(60, {0xA0, 61, 9}), ev(60, {0xA0, 62, 9}), ev(70, {0xD0, 3}), cc(500, 0, 7, 1),
                              ev(80, {0xB0, 200, 1}), cc(15, 1, 64, 127)};
    const EventList explicitSetup = {cc(999, 0, 7, 100)};
    EXPECT_EQ(loopRepeatSetupEvents(events, 480, explicitSetup),
              (EventList{cc(0, 1, 64, 127), cc(0, 0, 7, 70), program(0, 0, 8), ev(0, {0xE0, 1, 64}),
                         ev(0, {0xA0, 61, 9}), ev(0, {0xA0, 62, 9}), ev(0, {0xD0, 3}), cc(0, 0, 7, 100)}));
    EXPECT_EQ(loopRepeatSetupEvents(events, 0, {}), EventList{});
}

TEST(MergedLoop, EveryChunkEndsAtTheFinalTickAndStartsWithItsProgram) {
    const MIDITrack a = track("A", 0, {program(0, 0, 3), noteOn(0, 0, 60), noteOff(1900, 0, 60)}, 3);
    const MIDITrack b = track("B", 1, {noteOn(500, 1, 64), noteOff(700, 1, 64)}, 9);
    const MIDIFile midi = song({a, b}, {tempo(0, 500000), tempo(600, 400000)});
    const DecodedFile file = decode(buildMergedLoopMIDI(midi, midi.tracks(), 0.5, 1.0, 3, false, 0, std::nullopt, false));
    // The section starts at tick 480 (0.5 s); the second tempo at 600 shortens it.
    ASSERT_EQ(file.chunks.size(), 3u);
    const std::uint32_t final = file.chunks[0].events.back().tick;
    for (const auto& chunk : file.chunks) EXPECT_EQ(chunk.events.back(), endOfTrack(final));
    EXPECT_EQ(file.chunks[1].events[1], program(0, 0, 3));
    EXPECT_EQ(file.chunks[2].events[1], program(0, 1, 9));
    EXPECT_EQ(final, 3 * loopSectionBounds(midi, 0.5, 1.0, false, std::nullopt).length);
}

TEST(ConductorLoop, RepeatsTheTempoInForceAndTheSectionsOwnChanges) {
    const MIDIFile midi = song({track("A", 0, {noteOn(0, 0, 60), noteOff(960, 0, 60)})},
                               {tempo(0, 500000), tempo(100, 400000), tempo(700, 300000)}, {timeSignature(0, 3, 2)});
    EXPECT_EQ(repeatedConductorSectionEvents(midi, 0, 480, 2, std::nullopt),
              (EventList{timeSignature(0, 3, 2), tempo(0, 500000), timeSignature(0, 3, 2), tempo(0, 500000),
                         tempo(100, 400000), timeSignature(480, 3, 2), tempo(480, 500000),
                         timeSignature(480, 3, 2), tempo(480, 500000), tempo(580, 400000)}));
    // From tick 200 the tempo in force is the one set at 100.
    EXPECT_EQ(repeatedConductorSectionEvents(midi, 200, 480, 1, std::nullopt),
              (EventList{timeSignature(0, 3, 2), tempo(0, 400000)}));
}

TEST(LoopPreview, OneChunkForOneTrackThreeForTwo) {
    const MIDIFile midi = song({track("A", 0, {noteOn(0, 0, 60), noteOff(960, 0, 60)}),
                                track("B", 1, {noteOn(0, 1, 60), noteOff(960, 1, 60)})});
    for (const std::size_t count : {1u, 2u}) {
        const auto tracks = std::span(midi.tracks()).first(count);
        EXPECT_EQ(decode(buildLoopPreviewMIDI(midi, tracks, 0, 0.5, 0, std::nullopt, true)).chunks.size(), 2 * count - 1);
    }
}

TEST(PlaybackSlice, RebasesTheRestOfTheSongAndReplaysTheStateInForce) {
    const MIDITrack a = track("A", 0, {noteOn(0, 0, 60), program(960, 0, 33), noteOn(1000, 0, 62),
                                       noteOff(2500, 0, 62), noteOn(2800, 0, 64), noteOff(2880, 0, 60)},
                              1);
    const MIDIFile midi = song({a}, {tempo(0, 500000)});

    const EventList all = decode(buildPlaybackSliceMIDI(midi, midi.tracks(), 0, 0, std::nullopt)).chunks.at(1).events;
    EXPECT_EQ(all.back(), endOfTrack(2880));
    EXPECT_EQ(std::count(all.begin(), all.end(), noteOff(2880, 0, 64)), 1) << "closed at the last tick";
    EXPECT_EQ(std::count(all.begin(), all.end(), noteOff(2880, 0, 60)), 1);

    const EventList events = decode(buildPlaybackSliceMIDI(midi, midi.tracks(), 2.0, 0, std::nullopt)).chunks.at(1).events;
    // The name, the program set at tick 960, then the track's own.
    EXPECT_EQ(EventList(events.begin(), events.begin() + 3),
              (EventList{ev(0, {0xFF, 0x03, 0x01, 'A'}), program(0, 0, 33), program(0, 0, 1)}));
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const MIDIEvent& e) { return e.isNoteOff(); }), 1)
        << "notes sounding across the start lose their note-off";

    for (const DecodedChunk& chunk : decode(buildPlaybackSliceMIDI(midi, midi.tracks(), 60.0, 0, std::nullopt)).chunks) {
        EXPECT_EQ(chunk.events.back(), endOfTrack(1));
    }
}

}  // namespace
}  // namespace orvane::midi
