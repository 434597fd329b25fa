// Reading Standard MIDI Files: header checks, the chunk walk, event decoding, the song-wide
// meta data, and the two layouts the reader normalises.

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "midi/SMFBytes.h"
#include "midi/model/MIDIFile.h"

namespace orvane::midi {
namespace {

using smf::Bytes;
using smf::join;
using smf::QuietNotices;

MIDIFile parsed(const Bytes& data) {
    MIDIFile file;
    EXPECT_TRUE(file.parse(data));
    return file;
}

std::vector<Bytes> eventBytes(const MIDITrack& track) {
    std::vector<Bytes> out;
    for (const MIDIEvent& event : track.events) out.emplace_back(event.data().begin(), event.data().end());
    return out;
}

TEST(ReaderHeader, ParseStartsFromAFreshSongAndReadsTheHeader) {
    const QuietNotices quiet;
    MIDIFile file;
    ASSERT_TRUE(file.parse(smf::file(
        1, {join({smf::tempo(400000), {0x00, 0xFF, 0x59, 0x02, 0x02, 0x00}, smf::noteOn(0, 60, 100), smf::endOfTrack()})})));
    ASSERT_EQ(file.bpm, 150.0);
    ASSERT_EQ(file.keySignature, "D major");
    ASSERT_TRUE(file.parse(join({smf::header(2, 0, 0xE728), {0x00}})));
    EXPECT_EQ(std::tuple(file.format, file.timeDivision, file.isSMPTE, file.bpm, file.keySignature),
              std::tuple(2, 0xE728, true, 120.0, "Unknown"));
    EXPECT_TRUE(file.tracks().empty() && file.tempoEvents.empty() && file.originalTempoEvents.empty() &&
                file.musicalTracks().empty());
    EXPECT_FALSE(parsed(join({smf::header(1, 0, 0x7FFF), {0x00}})).isSMPTE);
    EXPECT_FALSE(file.parse(Bytes(5, 0)));
    EXPECT_TRUE(file.tracks().empty()) << "a rejected read leaves no tracks of an earlier song";
}

TEST(ReaderChunkWalk, StopsAtAForeignChunkTheAnnouncedCountOrWhenBytesRunOut) {
    const Bytes notes = join({smf::noteOn(0, 60, 100), smf::endOfTrack()});
    // Seven stray bytes cannot hold a chunk header: the walk ends quietly.
    for (const Bytes& data : {join({smf::header(1, 3), smf::track(notes), smf::chunk("XFIH", {1, 2, 3}), smf::track(notes)}),
                              join({smf::header(1, 1), smf::track(notes), smf::track(notes)}),
                              join({smf::header(1, 5), smf::track(notes), {'M', 'T', 'r', 'k', 0, 0, 0}})}) {
        EXPECT_EQ(parsed(data).tracks().size(), 1u);
    }
    const MIDIFile two = parsed(join({smf::header(1, 0xFFFF), smf::track(notes), smf::track({})}));
    ASSERT_EQ(two.tracks().size(), 2u);
    EXPECT_EQ(two.tracks()[1].name, "Track 2");
}

TEST(ReaderEvents, MetaAndSystemMessagesClearRunningStatus) {
    // After the meta event the lone data byte 0x3E has no status: it is skipped, and reading
    // goes on with a delta time.
    const MIDIFile afterMeta = parsed(smf::file(
        1, {{0x00, 0x90, 60, 100, 0x00, 0xFF, 0x01, 0x00, 0x00, 0x3E, 0x05, 0x80, 60, 0x00}}));
    EXPECT_EQ(eventBytes(afterMeta.tracks()[0]), (std::vector<Bytes>{{0x90, 60, 100}, {0xFF, 0x01, 0x00}, {0x80, 60, 0}}));
    EXPECT_EQ(afterMeta.tracks()[0].events[2].tick, 5u);

    const MIDIFile afterSysex = parsed(smf::file(1, {{0x00, 0x90, 60, 100, 0x00, 0xF0, 0x01, 0xF7, 0x00, 0x3E, 0x00, 0x40}}));
    EXPECT_EQ(eventBytes(afterSysex.tracks()[0]), (std::vector<Bytes>{{0x90, 60, 100}, {0xF0, 0x01, 0xF7}}))
        << "the stray 0x3E and 0x40 are skipped";

    // A stray data byte before any status is skipped too.
    EXPECT_EQ(eventBytes(parsed(smf::file(1, {{0x00, 0x45, 0x00, 0x90, 60, 1}})).tracks()[0]),
              (std::vector<Bytes>{{0x90, 60, 1}}));
}

TEST(ReaderEvents, MessageLengthsAndWhatSetsTheChannel) {
    // Channel pressure does not give the track a channel; pitch bend does.
    const MIDIFile pressure = parsed(smf::file(1, {{0x00, 0xD3, 0x40}, {0x00, 0xE5, 0x00, 0x40, 0x00, 0xD3, 0x10}}));
    EXPECT_EQ(eventBytes(pressure.tracks()[0]), (std::vector<Bytes>{{0xD3, 0x40}}));
    EXPECT_EQ(pressure.tracks()[0].channel, -1);
    EXPECT_EQ(pressure.tracks()[1].channel, 5);

    // Other system messages take their status and one byte and are not kept.
    const MIDIFile system = parsed(smf::file(1, {{0x00, 0xF2, 0x7F, 0x05, 0x90, 60, 100}}));
    EXPECT_EQ(eventBytes(system.tracks()[0]), (std::vector<Bytes>{{0x90, 60, 100}}));
    EXPECT_EQ(system.tracks()[0].events[0].tick, 5u);
}

TEST(ReaderEvents, LengthsAreStoredInTheirShortestForm) {
    const MIDIFile file = parsed(smf::file(1, {{0x00, 0xFF, 0x01, 0x80, 0x03, 'a', 'b', 'c',        // two-byte 3
                                                0x00, 0xF0, 0x80, 0x80, 0x80, 0x02, 0x7E, 0xF7,  // four-byte 2
                                                0x00, 0xF7, 0x00}}));
    EXPECT_EQ(eventBytes(file.tracks()[0]),
              (std::vector<Bytes>{{0xFF, 0x01, 0x03, 'a', 'b', 'c'}, {0xF0, 0x02, 0x7E, 0xF7}, {0xF7, 0x00}}));
    Bytes longText = {0x00, 0xFF, 0x05, 0x81, 0x48};  // 200 bytes
    longText.insert(longText.end(), 200, 'x');
    EXPECT_EQ(eventBytes(parsed(smf::file(1, {longText})).tracks()[0]),
              (std::vector<Bytes>{{longText.begin() + 1, longText.end()}}));
}

TEST(ReaderEvents, TrackNamesMustBeValidUTF8) {
    const MIDIFile file = parsed(smf::file(1, {join({smf::trackName("First"), smf::trackName("Zweite Stimme \xC3\xBC")}),
                                               join({smf::trackName("Bad \xC3"), smf::noteOn(0, 60, 1)}),
                                               join({smf::trackName("\xED\xA0\x80")}),  // a surrogate
                                               join({smf::trackName("\xC0\xAF")}),      // an overlong form
                                               join({smf::trackName("\xF0\x9F\x8E\xB5")}),
                                               join({smf::trackName("\xF0\x8F\xBF\xBF")}),  // overlong
                                               join({smf::trackName("\xF4\x90\x80\x80")})}));  // past U+10FFFF
    std::vector<std::string> names;
    for (const MIDITrack& track : file.tracks()) names.push_back(track.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Zweite Stimme \xC3\xBC", "Track 2", "Track 3", "Track 4",
                                               "\xF0\x9F\x8E\xB5", "Track 6", "Track 7"}));
    EXPECT_EQ(file.tracks()[0].events.size(), 2u) << "name events stay in the track";
}

TEST(ReaderTempo, DuplicatesAcrossTracksAreStoredOnce) {
    const MIDIFile file = parsed(smf::file(1, {join({smf::tempo(500000), smf::tempo(500000, 0x60), smf::tempo(400000)}),
                                               join({smf::tempo(500000), smf::tempo(500000), {0x00, 0xFF, 0x01, 0x00}}),
                                               join({smf::tempo(400000), smf::tempo(500000, 0x60)})}));
    // (0, 500000), (0x60, 500000), (0x60, 400000), and (0, 400000) from the last track.
    EXPECT_EQ(file.tempoEvents, (EventList{MIDIEvent(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}),
                                           MIDIEvent(0, {0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80}),
                                           MIDIEvent(0x60, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}),
                                           MIDIEvent(0x60, {0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80})}));
    EXPECT_EQ(file.originalTempoEvents, file.tempoEvents);
    EXPECT_EQ(file.tracks()[1].events.size(), 3u) << "tempo events stay in their track";
}

TEST(ReaderTempo, TheSongTempoComesFromTheFirstChunkFirst) {
    const std::pair<Bytes, double> cases[] = {
        {smf::file(1, {join({smf::tempo(500000), smf::tempo(400000, 10)})}), 150.0},
        {smf::file(1, {smf::tempo(500000), smf::tempo(400000)}), 120.0},
        {smf::file(1, {smf::noteOn(0, 1, 1), smf::tempo(600000), smf::tempo(400000)}), 100.0},
        {smf::file(1, {join({smf::tempo(600000), smf::tempo(400000)}), smf::tempo(300000)}), 150.0},
    };
    for (const auto& [bytes, bpm] : cases) EXPECT_DOUBLE_EQ(parsed(bytes).bpm, bpm);
}

TEST(ReaderTempo, EmptyOrShortTemposSetNoBPMButAreKept) {
    const MIDIFile zero = parsed(smf::file(1, {smf::tempo(0), smf::tempo(400000)}));
    EXPECT_EQ(std::tuple(zero.bpm, zero.tempoEvents.size()), std::tuple(150.0, std::size_t{2}));
    const MIDIFile shortPayload = parsed(smf::file(1, {{0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}}));
    EXPECT_EQ(std::tuple(shortPayload.bpm, shortPayload.tempoEvents.size()), std::tuple(120.0, std::size_t{1}));
}

TEST(ReaderSignatures, TimeSignaturesAreAllKeptAndTheLastWins) {
    const MIDIFile file = parsed(smf::file(1, {{0x00, 0xFF, 0x58, 0x04, 0x06, 0x03, 0x18, 0x08,  //
                                                0x00, 0xFF, 0x58, 0x04, 0x06, 0x03, 0x18, 0x08,  //
                                                0x10, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08,  //
                                                0x00, 0xFF, 0x58, 0x01, 0x09}}));
    EXPECT_EQ(std::tuple(file.timeSignatureNumerator, file.timeSignatureDenominator), std::tuple(3, 4));
    EXPECT_EQ(file.timeSignatureEvents.size(), 4u) << "no de-duplication, short ones included";
    EXPECT_EQ(file.timeSignatureEvents[2].tick, 0x10u);
}

TEST(ReaderSignatures, AHugeDenominatorExponentIsClamped) {
    for (const std::uint8_t exponent : {std::uint8_t{30}, std::uint8_t{31}, std::uint8_t{63}, std::uint8_t{255}}) {
        const MIDIFile file = parsed(smf::file(1, {{0x00, 0xFF, 0x58, 0x02, 0x07, exponent}}));
        EXPECT_EQ(std::tuple(file.timeSignatureNumerator, file.timeSignatureDenominator), std::tuple(7, 1 << 30))
            << int(exponent);
    }
}

TEST(ReaderSignatures, KeySignatures) {
    EXPECT_EQ(parsed(smf::file(1, {{0x00, 0xFF, 0x59, 0x02, 0xFD, 0x00}})).rawKeySharpsFlats, -3);
    // Only the value 1 means minor; a short event is no key signature.
    const std::pair<Bytes, std::string> cases[] = {{{0x00, 0xFF, 0x59, 0x02, 0xFD, 0x00}, "Eb major"},
                                                   {{0x00, 0xFF, 0x59, 0x02, 0x00, 0x01}, "A minor"},
                                                   {{0x00, 0xFF, 0x59, 0x02, 0x00, 0x02}, "C major"},
                                                   {{0x00, 0xFF, 0x59, 0x01, 0x02}, "Unknown"}};
    for (const auto& [event, key] : cases) EXPECT_EQ(parsed(smf::file(1, {event})).keySignature, key);
}

TEST(ReaderNormalising, AFormat1TrackWithConductorDataIsSplit) {
    const QuietNotices quiet;
    const MIDIFile file = parsed(smf::file(
        1, {join({smf::trackName("Lead"), smf::tempo(500000), {0x00, 0xB9, 7, 100}, smf::noteOn(9, 38, 80),
                  {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08}, {0x00, 0xFF, 0x01, 0x01, 'x'},
                  smf::noteOn(9, 38, 60, 0x10), smf::endOfTrack()}),
            join({smf::noteOn(0, 60, 100)})}));
    ASSERT_EQ(file.tracks().size(), 3u);
    const MIDITrack& conductor = file.tracks()[0];
    EXPECT_EQ(std::tuple(conductor.name, conductor.channel), std::tuple("Conductor", -1));
    EXPECT_EQ(eventBytes(conductor),
              (std::vector<Bytes>{{0xFF, 0x03, 4, 'L', 'e', 'a', 'd'}, {0xFF, 0x51, 3, 0x07, 0xA1, 0x20},
                                  {0xFF, 0x58, 4, 4, 2, 0x18, 8}, {0xFF, 0x01, 1, 'x'}, {0xFF, 0x2F, 0}}));

    const MIDITrack& lead = file.tracks()[1];
    EXPECT_EQ(std::tuple(lead.name, lead.drumNote), std::tuple("Lead", 38));
    EXPECT_EQ(eventBytes(lead), (std::vector<Bytes>{{0xFF, 0x03, 4, 'L', 'e', 'a', 'd'}, {0xB9, 7, 100}, {0x99, 38, 80},
                                                    {0xFF, 0x01, 1, 'x'}, {0x99, 38, 60}, {0xFF, 0x2F, 0}}));
    EXPECT_EQ(lead.events[4].tick, 0x10u);
    EXPECT_EQ(file.musicalTrackSourceIndices(), (std::vector<int>{1, 2}));
}

TEST(ReaderNormalising, OnlyTracksWithRealNotesAndConductorDataAreSplit) {
    const QuietNotices quiet;
    // Format 0 is never split this way; silent note-ons are not notes; a key signature alone counts.
    const std::pair<Bytes, std::size_t> cases[] = {
        {smf::file(0, {join({smf::tempo(500000), smf::noteOn(0, 60, 100)})}), 1},
        {smf::file(1, {join({smf::tempo(500000), smf::noteOn(0, 60, 0)})}), 1},
        {smf::file(1, {join({{0x00, 0xFF, 0x01, 0x00}, smf::noteOn(0, 60, 1)})}), 1},
        {smf::file(2, {join({{0x00, 0xFF, 0x59, 0x02, 0x00, 0x00}, smf::noteOn(0, 60, 1)})}), 2}};
    for (const auto& [data, count] : cases) EXPECT_EQ(parsed(data).tracks().size(), count);
}

TEST(ReaderFormat0, NotesOnSeveralChannelsBecomeOneTrackPerChannel) {
    const Bytes body = join({
        smf::trackName("Song"),
        smf::tempo(500000),
        {0x00, 0xFF, 0x54, 0x05, 0x60, 0x00, 0x00, 0x00, 0x00},  // SMPTE offset
        {0x00, 0xFF, 0x01, 0x01, 't'},                            // text: conductor only
        smf::program(0, 25),
        {0x00, 0xB0, 7, 90},
        {0x00, 0xB5, 7, 10},  // a channel without notes: dropped
        smf::noteOn(9, 36, 100),
        smf::noteOn(0, 60, 100, 0x10),
        {0x00, 0xF0, 0x01, 0xF7},  // system exclusive follows the low four bits: channel 0
        {0x00, 0xF7, 0x01, 0x00},  // channel 7 has no notes: dropped
        smf::program(0, 30),
        smf::endOfTrack(),
    });
    const MIDIFile file = parsed(smf::file(0, {body, join({smf::noteOn(3, 1, 1)})}));
    EXPECT_TRUE(file.wasExplodedFromFormat0);
    ASSERT_EQ(file.tracks().size(), 3u) << "the other chunks of a Format 0 file are dropped";

    EXPECT_EQ(file.tracks()[0].events.size(), 5u) << "the conductor";
    const MIDITrack& guitar = file.tracks()[1];
    EXPECT_EQ(guitar.volume, 90);
    EXPECT_EQ(eventBytes(guitar),
              (std::vector<Bytes>{{0xFF, 0x51, 3, 0x07, 0xA1, 0x20}, {0xFF, 0x54, 5, 0x60, 0, 0, 0, 0}, {0xC0, 25},
                                  {0xB0, 7, 90}, {0x90, 60, 100}, {0xF0, 0x01, 0xF7}, {0xC0, 30}}));
    EXPECT_EQ(guitar.events[4].tick, 0x10u);

    EXPECT_EQ(file.tracks()[2].events.size(), 3u);
    EXPECT_FALSE(file.tracks()[2].drumNote) << "identity is not derived again for exploded tracks";
}

TEST(ReaderFormat0, ChannelsWithoutAGeneralMIDINameAreNumbered) {
    const MIDIFile file = parsed(smf::file(0, {join({{0x00, 0xC2, 0xC8}, smf::noteOn(2, 60, 1), smf::noteOn(4, 60, 1),
                                                     smf::program(5, 128), smf::noteOn(5, 60, 1)})}));
    ASSERT_EQ(file.tracks().size(), 4u);
    EXPECT_EQ(file.tracks()[1].name, "Ch 3") << "program 200 has no name";
    EXPECT_EQ(file.tracks()[3].name, "Drum Kit");
}

TEST(ReaderFormat0, OneNoteChannelKeepsTheTracksAsRead) {
    const MIDIFile file = parsed(smf::file(0, {join({smf::tempo(500000), {0x00, 0xB3, 7, 1}, smf::noteOn(2, 60, 1)}),
                                               join({smf::noteOn(3, 1, 1)})}));
    EXPECT_FALSE(file.wasExplodedFromFormat0);
    ASSERT_EQ(file.tracks().size(), 2u);
    EXPECT_EQ(std::tuple(file.tracks()[0].name, file.tracks()[0].events.size(), file.tracks()[0].channel),
              std::tuple("Track 1", 3u, 2));
}

}  // namespace
}  // namespace orvane::midi
