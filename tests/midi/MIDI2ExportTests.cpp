// Writing MIDI Clip files: events to packets (hand-computed words), Delta Clockstamps, System
// Exclusive messages, the clip's length, refused songs, and the split, merge and loop exports.

#include <gtest/gtest.h>

#include <tuple>

#include "MIDI2TestSupport.h"
#include "midi/midi2/MIDI2ClipFile.h"
#include "midi/midi2/MIDI2Export.h"

namespace orvane::midi {
namespace {

using testing::thrownBy;
using Words = std::vector<std::uint32_t>;

// The words of every packet between Start of Clip and End of Clip.
std::vector<Words> sequenceOf(const Bytes& data) {
    const MIDI2ClipFile clip = MIDI2ClipFile::parse(data);
    EXPECT_GE(clip.packets.size(), 6u);
    EXPECT_EQ(clip.packets[3], MIDI2UMPPacket::startOfClip());
    EXPECT_EQ(clip.packets.back(), MIDI2UMPPacket::endOfClip());
    std::vector<Words> words;
    for (std::size_t i = 4; i + 1 < clip.packets.size(); ++i) words.push_back(testing::wordsOf(clip.packets[i]));
    return words;
}

std::vector<Words> clipOf(std::initializer_list<MIDIEvent> events, std::uint16_t division = 480) {
    MIDIFile file;
    file.timeDivision = division;
    return sequenceOf(midi2ClipData(file, EventList(events), "test", nullptr).data);
}

TEST(MIDI2ClipWriter, GapsWiderThanTwentyBitsBecomeSeveralDeltaClockstamps) {
    EXPECT_EQ(clipOf({MIDIEvent(0xFFFFF, {0xC3, 5})}), (std::vector<Words>{{0x004FFFFF}, {0x20C30500}, {0x00400000}}));
    EXPECT_EQ(clipOf({MIDIEvent(2000000, {0xC3, 5})}),
              (std::vector<Words>{{0x004FFFFF}, {0x00400000 | 951425}, {0x20C30500}, {0x00400000}}));
}

TEST(MIDI2ClipWriter, MetaEventsWithoutPacketsWriteNothingButTheEndOfTrackSetsTheClipLength) {
    // A name and an end-of-track at the last event's tick: nothing but the note.
    EXPECT_EQ(clipOf({MIDIEvent(0, {0xFF, 0x03, 0x01, 'A'}), MIDIEvent(100, {0x90, 60, 1}),
                      MIDIEvent(100, {0xFF, 0x2F, 0x00})}),
              (std::vector<Words>{{0x00400064}, {0x20903C01}, {0x00400000}}));
    // An end-of-track later than the last event: the clip runs on to it.
    EXPECT_EQ(clipOf({MIDIEvent(100, {0x90, 60, 1}), MIDIEvent(1900000, {0xFF, 0x2F, 0x00})}),
              (std::vector<Words>{{0x00400064}, {0x20903C01}, {0x004FFFFF}, {0x00400000 | (1900000 - 100 - 0xFFFFF)}}));
    // Key signatures and text have no packet either.
    EXPECT_EQ(clipOf({MIDIEvent(0, {0xFF, 0x59, 0x02, 0x00, 0x00}), MIDIEvent(0, {0xFF, 0x01, 0x00})}),
              (std::vector<Words>{{0x00400000}}));
}

// Tempos and time signatures of real songs are compared with an independent clip reader in
// tests/peers/test_midi2_clip.py; here the lengths no song from a file has.
TEST(MIDI2ClipWriter, TempoLengthsThatAreNotTheShortestForm) {
    // A length in a padded variable-length form still reads as 3.
    EXPECT_EQ(clipOf({MIDIEvent(0, {0xFF, 0x51, 0x80, 0x03, 0x00, 0x00, 0x01})})[1], (Words{0xD0100000, 100, 0, 0}));
    // A tempo event with a wrong length is no tempo.
    EXPECT_EQ(clipOf({MIDIEvent(0, {0xFF, 0x51, 0x02, 0x07, 0xA1})}).size(), 1u);
}

TEST(MIDI2ClipWriter, SystemMessagesAndMissingDataBytes) {
    EXPECT_EQ(clipOf({MIDIEvent(0, {0xF2, 0x10, 0x20}), MIDIEvent(0, {0xF8}), MIDIEvent(0, {0x90, 60})}),
              (std::vector<Words>{{0x00400000}, {0x10F21020}, {0x00400000}, {0x10F80000}, {0x00400000}, {0x20903C00},
                                  {0x00400000}}));
    MIDIFile file;
    EXPECT_EQ(thrownBy<MIDI2UMPError>([&] { (void)midi2ClipData(file, EventList{MIDIEvent(0, {0xF4})}, "test", nullptr); }),
              MIDI2UMPError::invalidStatus(0xF4));
}

TEST(MIDI2ClipWriter, CompleteSystemExclusiveMessagesBecomeSysEx7Packets) {
    // General MIDI reset: F0 05 7E 7F 09 01 F7.
    EXPECT_EQ(clipOf({MIDIEvent(0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7})})[1], (Words{0x30047E7F, 0x09010000}));
    // Fourteen bytes: start (6), continue (6), end (2).
    const Bytes longMessage = {0xF0, 0x0F, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0xF7};
    EXPECT_EQ(
        clipOf({MIDIEvent(5, longMessage)}),
        (std::vector<Words>{
            {0x00400005}, {0x30160102, 0x03040506}, {0x30260708, 0x090A0B0C}, {0x30320D0E, 0x00000000}, {0x00400000}}));
    // A whole message carried by an escape event.
    EXPECT_EQ(clipOf({MIDIEvent(0, {0xF7, 0x04, 0xF0, 0x43, 0x10, 0xF7})})[1], (Words{0x30024310, 0}));
    // Exactly six bytes fit one packet; an empty message is one packet of no bytes.
    EXPECT_EQ(clipOf({MIDIEvent(0, {0xF0, 0x07, 1, 2, 3, 4, 5, 6, 0xF7})})[1], (Words{0x30060102, 0x03040506}));
    EXPECT_EQ(clipOf({MIDIEvent(0, {0xF0, 0x01, 0xF7})})[1], (Words{0x30000000, 0}));
}

TEST(MIDI2ClipWriter, IncompleteSystemExclusiveEventsAreSkippedAndNamed) {
    MIDIFile file;
    const EventList events = {
        MIDIEvent(10, {0xF0, 0x03, 0x43, 0x10, 0x4C}),  // continues in a later event
        MIDIEvent(20, {0xF7, 0x02, 0x00, 0xF7}),        // the continuation
        MIDIEvent(30, {0x90, 60, 100}),
        MIDIEvent(40, {0xF0, 0x03, 0x43, 0x90, 0xF7}),  // a status byte inside the message
    };
    const MIDI2ClipData clip = midi2ClipData(file, events, "test", nullptr);
    EXPECT_EQ(sequenceOf(clip.data), (std::vector<Words>{{0x0040001E}, {0x20903C64}, {0x00400000}}));
    EXPECT_EQ(clip.skippedEventItems,
              (std::vector<std::string>{"3 incomplete System Exclusive event(s) skipped (ticks 10, 20, 40)"}));
    EXPECT_EQ(midi2ClipData(file, EventList{MIDIEvent(7, {0xF7, 0x01, 0x01})}, "test", nullptr).skippedEventItems,
              (std::vector<std::string>{"1 incomplete System Exclusive event(s) skipped (tick 7)"}));
}

// ---- Whole exports ----------------------------------------------------------------------------

// Volume 100, pan 64, reverb 0, and notes as loud as its mixer velocity.
MIDITrack pianoTrack() {
    MIDITrack track;
    track.name = "Piano";
    track.channel = 0;
    track.volume = track.velocity = 100;
    track.events = {MIDIEvent(0, {0x90, 60, 100}), MIDIEvent(480, {0x80, 60, 0})};
    return track;
}

TEST(MIDI2SplitExport, ASplitFileHasTheseExactBytes) {
    MIDIFile file;
    file.tempoEvents = {MIDIEvent(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20})};
    file.setTracks({pianoTrack()});
    const auto exported = buildSingleTrackMIDI2ClipWithNativeReplacement(file, file.tracks()[0], 0, std::nullopt);
    EXPECT_EQ(exported.data, testing::clipBytes({
        0x00400000, 0x003001E0, 0x00400000, 0xF0200000, 0, 0, 0,  // header, 480 ticks per quarter note
        0x00400000, 0x20C00000,                                   // program 0
        0x00400000, 0xD0100000, 50000000,   0,          0,        // tempo
        0x00400000, 0x20B00764,                                   // volume 100
        0x00400000, 0x20B00A40,                                   // pan 64
        0x00400000, 0x20B05B00,                                   // reverb 0
        0x00400000, 0x20903C64,                                   // note on
        0x004001E0, 0x20803C00,                                   // note off
        0x00400000, 0xF0210000, 0,          0,          0,        // end of clip
    }));
    EXPECT_EQ(exported.eligibility.blockerCategories,
              (std::vector<MIDI2NativeReexportBlocker>{MIDI2NativeReexportBlocker::noNativeInventory,
                                                       MIDI2NativeReexportBlocker::noNativeCandidates}));
}

TEST(MIDI2LoopExport, ALoopClipLastsAsLongAsItsRepeats) {
    MIDIFile file;
    MIDITrack track = pianoTrack();
    track.events = {MIDIEvent(0, {0x90, 60, 100}), MIDIEvent(240, {0x80, 60, 0}), MIDIEvent(960, {0x90, 62, 100}),
                    MIDIEvent(1000, {0x80, 62, 0})};
    file.setTracks({track});
    // One beat at 120 BPM is 0.5 s = 480 ticks; the loop covers ticks 0 ..< 480, three times.
    const auto exported =
        buildSingleTrackLoopMIDI2ClipWithNativePlanning(file, file.tracks()[0], 0.0, 0.5, 3, false, 0, std::nullopt);
    std::uint64_t total = 0;
    for (const Words& words : sequenceOf(exported.data)) {
        if ((words[0] & 0xFFF00000) == 0x00400000) total += words[0] & 0xFFFFF;
    }
    EXPECT_EQ(total, 3u * 480u);
}

TEST(MIDI2MergeExport, AMergeWrittenAsItIsMergedEqualsTheExportOfItsBuiltList) {
    MIDIFile file;
    file.tempoEvents = {MIDIEvent(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}),
                        MIDIEvent(0x200000, {0xFF, 0x51, 0x03, 0x06, 0x00, 0x00})};
    MIDITrack ordered = pianoTrack();
    // After a gap wider than one Delta Clockstamp, a System Exclusive message.
    ordered.events.push_back(MIDIEvent(0x300000, {0xF0, 0x03, 0x7E, 0x01, 0xF7}));
    MIDITrack unordered = pianoTrack();  // out of export order: its list is built
    unordered.name = "Bass";
    unordered.channel = 1;
    unordered.events = {MIDIEvent(480, {0x91, 40, 90}), MIDIEvent(0, {0xB1, 7, 80}), MIDIEvent(0, {0xC1, 33}),
                        MIDIEvent(960, {0x81, 40, 0})};
    file.setTracks({ordered, unordered});
    const std::vector<MIDITrack> tracks = file.tracks();
    for (const bool mixer : {false, true}) {
        const MIDI2NativePreservationRequest merged = midi2FullMergedExportRequest(file, tracks, 3, std::nullopt, mixer);
        MIDI2NativePreservationRequest listed = merged;
        listed.events = mergedMIDI2ExportEvents(file, tracks, 3, std::nullopt, mixer);
        const auto streamed = buildMIDI2ClipWithNativeReplacement(file, merged);
        const auto expected = buildMIDI2ClipWithNativeReplacement(file, listed);
        EXPECT_EQ(std::tuple(streamed.data, streamed.eligibility, streamed.skippedEventItems),
                  std::tuple(expected.data, expected.eligibility, expected.skippedEventItems))
            << mixer;
        // Handed to a sink as they are made, the bytes are the same, and none are kept.
        Bytes sunk;
        const auto sinking = buildMIDI2ClipWithNativeReplacement(
            file, merged, [&](std::span<const std::uint8_t> bytes) { sunk.insert(sunk.end(), bytes.begin(), bytes.end()); });
        EXPECT_EQ(sunk, expected.data) << mixer;
        EXPECT_TRUE(sinking.data.empty());
    }
}

}  // namespace
}  // namespace orvane::midi
