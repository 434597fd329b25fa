// A track's identity and mixer values from its events, the musical-track list, and the
// General MIDI and key names.

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "midi/model/MIDIFile.h"

namespace orvane::midi {
namespace {

MIDIEvent note(std::uint8_t channel, std::uint8_t key, std::uint8_t velocity = 100) {
    return MIDIEvent(0, {static_cast<std::uint8_t>(0x90 | channel), key, velocity});
}
MIDIEvent programChange(std::uint8_t channel, std::uint8_t program) {
    return MIDIEvent(0, {static_cast<std::uint8_t>(0xC0 | channel), program});
}
MIDIEvent controller(std::uint8_t channel, std::uint8_t number, std::uint8_t value) {
    return MIDIEvent(0, {static_cast<std::uint8_t>(0xB0 | channel), number, value});
}

MIDITrack identified(EventList events, int channel = -1) {
    MIDITrack track;
    track.channel = channel;
    track.events = std::move(events);
    MIDIFile::updateTrackIdentityFromEvents(track);
    return track;
}

// The identity of tracks with notes is compared with an independent reading of every corpus file
// in tests/peers/test_corpus_identity.py; here a tie, and tracks without notes.
TEST(TrackIdentity, TiesGoToTheChannelThatPlaysFirst) {
    const MIDITrack tie = identified({programChange(2, 33), note(5, 60), note(2, 60), programChange(5, 40)});
    // The instrument is the first program of the chosen channel, wherever it stands.
    EXPECT_EQ(std::tuple(tie.channel, tie.instrument), std::tuple(5, 40));
}

TEST(TrackIdentity, ProgramsDecideWhenThereAreNoNotes) {
    const MIDITrack unset = identified({controller(3, 7, 90), programChange(3, 12), programChange(1, 20),
                                        programChange(1, 21)});
    EXPECT_EQ(std::tuple(unset.channel, unset.instrument), std::tuple(1, 20));
    MIDITrack keeps;
    keeps.instrument = 99;
    keeps.channel = 6;
    keeps.events = {programChange(1, 20)};
    MIDIFile::updateTrackIdentityFromEvents(keeps);
    EXPECT_EQ(std::tuple(keeps.channel, keeps.instrument), std::tuple(6, 99));
}

TEST(TrackIdentity, APercussionTrackStrikingOneKeyGetsItsDrumNote) {
    EXPECT_EQ(identified({note(9, 38), note(9, 38, 0), note(9, 36, 0), note(9, 38)}).drumNote, 38);

    MIDITrack twoKeys;
    twoKeys.drumNote = 40;
    twoKeys.events = {note(9, 36), note(9, 38)};
    MIDIFile::updateTrackIdentityFromEvents(twoKeys);
    EXPECT_EQ(twoKeys.drumNote, 40) << "left as it was";

    EXPECT_FALSE(identified({note(9, 38), note(0, 60), note(0, 61)}).drumNote) << "channel 0 is busier";
    EXPECT_FALSE(identified({note(3, 38)}).drumNote);
}

TEST(TrackMixerValues, FirstControllersAndTheMeanVelocity) {
    const EventList events = {controller(2, 7, 100), MIDIEvent(0, {0xB0, 10}), controller(5, 10, 30),
                              controller(2, 7, 20), note(0, 60, 1), note(0, 60, 2), note(0, 61, 0)};
    EXPECT_EQ(MIDIFile::controllerValue(7, events, 64), 100) << "the first occurrence wins";
    EXPECT_EQ(MIDIFile::controllerValue(10, events, 64), 30) << "on any channel; two-byte events do not count";
    EXPECT_EQ(MIDIFile::averageNoteVelocity(events, 64), 2) << "1.5 rounds up";
    EXPECT_EQ(MIDIFile::averageNoteVelocity({}, 64), 64);
    EXPECT_EQ(MIDIFile::averageNoteVelocity(EventList{note(0, 1, 200), note(0, 1, 250)}, 64), 127) << "unmasked bytes clamp";
}

TEST(MusicalTracks, TracksWithRealNotesInOrderAndTheCacheFollowsEdits) {
    const auto named = [](std::string name, EventList events) {
        MIDITrack track;
        track.name = std::move(name);
        track.events = std::move(events);
        return track;
    };
    const MIDITrack lead = named("Lead", {note(0, 60)});
    MIDIFile file;
    file.setTracks({named("Conductor", {MIDIEvent(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20})}), lead,
                    named("Silent", {note(0, 60, 0)}), lead});
    EXPECT_EQ(file.musicalTrackSourceIndices(), (std::vector<int>{1, 3}));
    ASSERT_EQ(file.musicalTracks().size(), 2u);
    EXPECT_EQ(&file.musicalTracks()[0], &file.tracks()[1]) << "the list refers to the tracks, it does not copy them";

    file.mutableTracks()[2].events.push_back(note(1, 60, 5));
    EXPECT_EQ(file.musicalTrackSourceIndices(), (std::vector<int>{1, 2, 3}));
    file.mutableTracks()[2].name = "Renamed";
    EXPECT_EQ(file.musicalTracks().copies()[1].name, "Renamed");

    const MIDIFile copy = file;
    file.setTracks({});
    EXPECT_TRUE(file.musicalTracks().empty());
    EXPECT_EQ(copy.musicalTracks()[1].name, "Renamed") << "a copied song keeps its own tracks";
}

TEST(GeneralMIDINames, InstrumentsDrumsAndKits) {
    EXPECT_EQ(MIDIFile::instrumentName(200, 3, std::nullopt), "Instrument 200");
    EXPECT_EQ(MIDIFile::instrumentName(5, -1, 38), "Electric Piano 2") << "a drum note counts only on channel 9";
    EXPECT_EQ(MIDIFile::instrumentName(0, 9, std::nullopt), "Drums - Standard Kit");
    EXPECT_EQ(MIDIFile::instrumentName(0, 9, 90), "Drums - Drum Note 90");
    EXPECT_EQ(MIDIFile::instrumentName(255, 9, std::nullopt), "Drums - Drum Kit 256");
    EXPECT_EQ(MIDIFile::drumNoteName(81), "Open Triangle");
    EXPECT_EQ(MIDIFile::drumNoteName(34), "Drum Note 34");
}

TEST(KeyNames, NamesAndTransposition) {
    EXPECT_EQ((std::vector<std::string>{MIDIFile::keyName(-3, true), MIDIFile::keyName(7, true), MIDIFile::keyName(-7, false),
                                        MIDIFile::keyName(9, false), MIDIFile::keyName(-8, true)}),
              (std::vector<std::string>{"C minor", "A# minor", "Cb major", "? major", "? minor"}));

    MIDIFile song;
    EXPECT_EQ(song.transposedKeySignature(0), "Unknown");
    EXPECT_EQ(song.transposedKeySignature(2), "D major") << "no key signature reads as C major";
    EXPECT_EQ(song.transposedKeySignature(1), "C# major") << "zero sharps uses the sharp names";

    song.rawKeySharpsFlats = -3;
    song.keySignature = "Eb major";
    EXPECT_EQ(song.transposedKeySignature(-4), "B major");
    EXPECT_EQ(song.transposedKeySignature(12), "Eb major");
    EXPECT_EQ(song.transposedKeySignature(INT_MIN), "G major");
    EXPECT_EQ(song.transposedKeySignature(INT_MAX), "Bb major");

    song.rawKeySharpsFlats = -1;
    EXPECT_EQ(song.transposedKeySignature(1), "Gb major");
    song.rawKeySharpsFlats = 2;
    song.rawKeyIsMinor = true;
    EXPECT_EQ(song.transposedKeySignature(3), "D minor");
    song.rawKeySharpsFlats = 9;
    song.keySignature = "? minor";
    EXPECT_EQ(song.transposedKeySignature(3), "? minor");
}

}  // namespace
}  // namespace orvane::midi
