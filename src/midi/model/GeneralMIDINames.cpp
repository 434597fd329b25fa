// General MIDI names: instruments, percussion keys, drum kits, and the names of keys.

#include <array>
#include <string>

#include "midi/model/MIDIFile.h"

namespace orvane::midi {

namespace {

constexpr int percussionChannel = 9;

// Short forms of the General MIDI Level 1 sound set, programs 0 to 127, and 128 for a kit.
constexpr std::array<std::string_view, 129> instrumentNames = {
    "Acoustic Grand Piano", "Bright Acoustic Piano", "Electric Grand Piano", "Honky-Tonk Piano",
    "Electric Piano 1", "Electric Piano 2", "Harpsichord", "Clavinet", "Celesta", "Glockenspiel",
    "Music Box", "Vibraphone", "Marimba", "Xylophone", "Tubular Bells", "Dulcimer", "Drawbar Organ",
    "Percussive Organ", "Rock Organ", "Church Organ", "Reed Organ", "Accordion", "Harmonica",
    "Tango Accordion", "Nylon Guitar", "Steel Guitar", "Jazz Guitar", "Clean Guitar", "Muted Guitar",
    "Overdriven Guitar", "Distortion Guitar", "Guitar Harmonics", "Acoustic Bass", "Finger Bass",
    "Pick Bass", "Fretless Bass", "Slap Bass 1", "Slap Bass 2", "Synth Bass 1", "Synth Bass 2",
    "Violin", "Viola", "Cello", "Contrabass", "Tremolo Strings", "Pizzicato Strings",
    "Orchestral Harp", "Timpani", "String Ensemble 1", "String Ensemble 2", "Synth Strings 1",
    "Synth Strings 2", "Choir Aahs", "Voice Oohs", "Synth Voice", "Orchestra Hit", "Trumpet",
    "Trombone", "Tuba", "Muted Trumpet", "French Horn", "Brass Section", "Synth Brass 1",
    "Synth Brass 2", "Soprano Sax", "Alto Sax", "Tenor Sax", "Baritone Sax", "Oboe", "English Horn",
    "Bassoon", "Clarinet", "Piccolo", "Flute", "Recorder", "Pan Flute", "Blown Bottle", "Shakuhachi",
    "Whistle", "Ocarina", "Square Lead", "Sawtooth Lead", "Calliope Lead", "Chiff Lead",
    "Charang Lead", "Voice Lead", "Fifths Lead", "Bass+Lead", "New Age Pad", "Warm Pad",
    "Polysynth Pad", "Choir Pad", "Bowed Pad", "Metallic Pad", "Halo Pad", "Sweep Pad", "Rain FX",
    "Soundtrack FX", "Crystal FX", "Atmosphere FX", "Brightness FX", "Goblins FX", "Echoes FX",
    "Sci-fi FX", "Sitar", "Banjo", "Shamisen", "Koto", "Kalimba", "Bag Pipe", "Fiddle", "Shanai",
    "Tinkle Bell", "Agogo", "Steel Drums", "Woodblock", "Taiko Drum", "Melodic Tom", "Synth Drum",
    "Reverse Cymbal", "Guitar Fret Noise", "Breath Noise", "Seashore", "Bird Tweet", "Telephone Ring",
    "Helicopter", "Applause", "Gunshot", "Drum Kit",
};

constexpr std::array<GMDrumNote, 47> drumNotes = {{
    {35, "Acoustic Bass Drum"}, {36, "Bass Drum 1"}, {37, "Side Stick"}, {38, "Acoustic Snare"},
    {39, "Hand Clap"}, {40, "Electric Snare"}, {41, "Low Floor Tom"}, {42, "Closed Hi-Hat"},
    {43, "High Floor Tom"}, {44, "Pedal Hi-Hat"}, {45, "Low Tom"}, {46, "Open Hi-Hat"},
    {47, "Low-Mid Tom"}, {48, "Hi-Mid Tom"}, {49, "Crash Cymbal 1"}, {50, "High Tom"},
    {51, "Ride Cymbal 1"}, {52, "Chinese Cymbal"}, {53, "Ride Bell"}, {54, "Tambourine"},
    {55, "Splash Cymbal"}, {56, "Cowbell"}, {57, "Crash Cymbal 2"}, {58, "Vibraslap"},
    {59, "Ride Cymbal 2"}, {60, "Hi Bongo"}, {61, "Low Bongo"}, {62, "Mute Hi Conga"},
    {63, "Open Hi Conga"}, {64, "Low Conga"}, {65, "High Timbale"}, {66, "Low Timbale"},
    {67, "High Agogo"}, {68, "Low Agogo"}, {69, "Cabasa"}, {70, "Maracas"}, {71, "Short Whistle"},
    {72, "Long Whistle"}, {73, "Short Guiro"}, {74, "Long Guiro"}, {75, "Claves"},
    {76, "Hi Wood Block"}, {77, "Low Wood Block"}, {78, "Mute Cuica"}, {79, "Open Cuica"},
    {80, "Mute Triangle"}, {81, "Open Triangle"},
}};

constexpr std::array<GMDrumKit, 1> drumKits = {{{0, "Standard Kit", true}}};

// Indexed by sharps/flats + 7 (-7 ... 7).
constexpr std::array<std::string_view, 15> majorKeyNames = {"Cb", "Gb", "Db", "Ab", "Eb", "Bb", "F", "C",
                                                            "G",  "D",  "A",  "E",  "B",  "F#", "C#"};
constexpr std::array<std::string_view, 15> minorKeyNames = {"Ab", "Eb", "Bb", "F",  "C",  "G",  "D", "A",
                                                            "E",  "B",  "F#", "C#", "G#", "D#", "A#"};
constexpr std::array<int, 15> majorRoots = {11, 6, 1, 8, 3, 10, 5, 0, 7, 2, 9, 4, 11, 6, 1};
constexpr std::array<int, 15> minorRoots = {8, 3, 10, 5, 0, 7, 2, 9, 4, 11, 6, 1, 8, 3, 10};

// Pitch-class names, 0 to 11; major and minor keys share them.
constexpr std::array<std::string_view, 12> sharpNames = {"C",  "C#", "D",  "D#", "E",  "F",
                                                          "F#", "G",  "G#", "A",  "A#", "B"};
constexpr std::array<std::string_view, 12> flatNames = {"C",  "Db", "D",  "Eb", "E",  "F",
                                                        "Gb", "G",  "Ab", "A",  "Bb", "B"};

std::optional<std::size_t> keyTableIndex(int sharpsFlats) {
    if (sharpsFlats < -7 || sharpsFlats > 7) return std::nullopt;
    return static_cast<std::size_t>(sharpsFlats + 7);
}

std::string withMode(std::string_view name, bool isMinor) {
    std::string text(name);
    text += isMinor ? " minor" : " major";
    return text;
}

}  // namespace

const std::map<int, std::string_view>& MIDIFile::gmInstruments() {
    static const std::map<int, std::string_view> table = [] {
        std::map<int, std::string_view> names;
        for (std::size_t program = 0; program < instrumentNames.size(); ++program) {
            names.emplace(static_cast<int>(program), instrumentNames[program]);
        }
        return names;
    }();
    return table;
}

std::span<const GMDrumNote> MIDIFile::gmDrumNotes() { return drumNotes; }

std::span<const GMDrumKit> MIDIFile::gmDrumKits() { return drumKits; }

std::string MIDIFile::instrumentName(std::uint8_t program, int channel, std::optional<std::uint8_t> drumNote) {
    if (channel != percussionChannel) {
        if (program < instrumentNames.size()) return std::string(instrumentNames[program]);
        return "Instrument " + std::to_string(program);
    }
    return "Drums - " + (drumNote ? drumNoteName(*drumNote) : drumKitName(program));
}

std::string MIDIFile::drumNoteName(std::uint8_t note) {
    for (const GMDrumNote& drum : drumNotes) {
        if (drum.note == note) return std::string(drum.name);
    }
    return "Drum Note " + std::to_string(note);
}

std::string MIDIFile::drumKitName(std::uint8_t program) {
    const GMDrumKit& kit = drumKits.front();
    if (program == kit.program) return std::string(kit.name);
    return "Drum Kit " + std::to_string(program + 1);
}

std::string MIDIFile::keyName(std::int8_t sharpsFlats, bool isMinor) {
    const auto index = keyTableIndex(sharpsFlats);
    const std::string_view name = !index ? "?" : isMinor ? minorKeyNames[*index] : majorKeyNames[*index];
    return withMode(name, isMinor);
}

std::string MIDIFile::transposedKeySignature(int semitones) const {
    if (semitones == 0) return keySignature;
    const auto index = keyTableIndex(rawKeySharpsFlats);
    if (!index) return keySignature;
    const int root = rawKeyIsMinor ? minorRoots[*index] : majorRoots[*index];
    const int pitchClass = ((root + semitones % 12) % 12 + 12) % 12;
    const auto& names = rawKeySharpsFlats < 0 ? flatNames : sharpNames;
    return withMode(names[static_cast<std::size_t>(pitchClass)], rawKeyIsMinor);
}

}  // namespace orvane::midi
