// Generates the bundled demo song: about 40 seconds in A minor, a conductor track and five
// instruments (drums, bass, electric piano chords, flute melody, warm pad), written with the
// project's own Standard MIDI File writer.
//
//   make_demo OUTPUT.mid        writes the song
//   make_demo --check FILE      exits 0 when FILE holds exactly the bytes the generator makes

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

#include "ToolFiles.h"
#include "midi/model/MIDIFile.h"

namespace {

using orvane::midi::Bytes;
using orvane::midi::EventList;
using orvane::midi::MIDIEvent;
using orvane::midi::MIDIFile;

constexpr std::uint32_t ticksPerQuarter = 480;
constexpr std::uint32_t eighth = ticksPerQuarter / 2;
constexpr std::uint32_t bar = ticksPerQuarter * 4;
constexpr std::uint32_t barCount = 16;

std::uint32_t barStart(std::uint32_t barIndex) { return barIndex * bar; }

// One chord of the progression: the root of the bass and the tones of the keyboard parts.
struct Chord {
    std::uint8_t bassRoot;
    std::array<std::uint8_t, 3> keys;  // electric piano voicing, smooth voice leading
    std::array<std::uint8_t, 3> pad;   // open voicing for the pad
};

constexpr Chord aMinor{33, {57, 60, 64}, {45, 52, 60}};
constexpr Chord fMajor{29, {57, 60, 65}, {41, 48, 57}};
constexpr Chord cMajor{36, {55, 60, 64}, {48, 55, 64}};
constexpr Chord gMajor{31, {55, 59, 62}, {43, 50, 59}};
constexpr Chord eMajor{28, {56, 59, 64}, {40, 47, 56}};

// Am F C G three times, then F G E Am as the cadence.
constexpr std::array<Chord, barCount> progression = {aMinor, fMajor, cMajor, gMajor, aMinor, fMajor, cMajor, gMajor,
                                                     aMinor, fMajor, cMajor, gMajor, fMajor, gMajor, eMajor, aMinor};

MIDIEvent metaEvent(std::uint32_t tick, std::uint8_t type, const Bytes& payload) {
    Bytes bytes = {0xFF, type};
    const Bytes length = MIDIFile::encodeVarLen(static_cast<std::uint32_t>(payload.size()));
    bytes.insert(bytes.end(), length.begin(), length.end());
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return {tick, bytes};
}

class Part {
public:
    Part(std::string_view name, std::uint8_t channel, std::uint8_t program, std::uint8_t volume, std::uint8_t pan,
         std::uint8_t reverb)
        : channel_(channel) {
        events_.push_back(metaEvent(0, 0x03, Bytes(name.begin(), name.end())));
        events_.push_back({0, {static_cast<std::uint8_t>(0xC0 | channel), program}});
        controller(0, 7, volume);
        controller(0, 10, pan);
        controller(0, 91, reverb);
    }

    void controller(std::uint32_t tick, std::uint8_t number, std::uint8_t value) {
        events_.push_back({tick, {static_cast<std::uint8_t>(0xB0 | channel_), number, value}});
    }

    void note(std::uint32_t start, std::uint32_t length, std::uint8_t key, std::uint8_t velocity) {
        events_.push_back({start, {static_cast<std::uint8_t>(0x90 | channel_), key, velocity}});
        events_.push_back({start + length, {static_cast<std::uint8_t>(0x80 | channel_), key, 64}});
    }

    // The events in time order; at one tick a note ends before the next one starts.
    [[nodiscard]] EventList finished() const {
        EventList events = events_;
        std::stable_sort(events.begin(), events.end(), [](const MIDIEvent& a, const MIDIEvent& b) {
            if (a.tick != b.tick) return a.tick < b.tick;
            return !a.isNoteOn() && b.isNoteOn();
        });
        return events;
    }

private:
    std::uint8_t channel_;
    EventList events_;
};

Bytes tempoPayload(std::uint32_t microsecondsPerQuarter) {
    return {static_cast<std::uint8_t>(microsecondsPerQuarter >> 16), static_cast<std::uint8_t>(microsecondsPerQuarter >> 8),
            static_cast<std::uint8_t>(microsecondsPerQuarter)};
}

EventList conductor() {
    const std::string_view title = "Orvane Demo";
    return {
        metaEvent(0, 0x03, Bytes(title.begin(), title.end())),
        metaEvent(0, 0x58, {4, 2, 24, 8}),                          // 4/4
        metaEvent(0, 0x59, {0, 1}),                                 // A minor
        metaEvent(0, 0x51, tempoPayload(681818)),                   // 88 BPM for the intro
        metaEvent(barStart(2), 0x51, tempoPayload(625000)),         // 96 BPM when the band comes in
        metaEvent(barStart(barCount), 0x2F, {}),
    };
}

EventList drums() {
    Part part("Drums", 9, 0, 100, 64, 30);
    constexpr std::uint8_t kick = 36, snare = 38, closedHat = 42, openHat = 46, crash = 49;
    for (std::uint32_t b = 2; b < barCount - 1; ++b) {
        const std::uint32_t start = barStart(b);
        const bool fill = b == 11 || b == 14;
        for (std::uint32_t e = 0; e < 8; ++e) {
            if (fill && e >= 6) continue;
            const bool lastOfPhrase = (b % 4 == 3) && e == 7;
            part.note(start + e * eighth, eighth / 2, lastOfPhrase ? openHat : closedHat,
                      static_cast<std::uint8_t>(e % 2 == 0 ? 80 : 56));
        }
        part.note(start, eighth, kick, 110);
        part.note(start + 4 * eighth, eighth, kick, 100);
        if (b % 2 == 1) part.note(start + 5 * eighth, eighth, kick, 84);
        part.note(start + 2 * eighth, eighth, snare, 96);
        if (!fill) part.note(start + 6 * eighth, eighth, snare, 100);
        if (b == 4 || b == 12) part.note(start, 4 * eighth, crash, 100);
        if (fill) {
            constexpr std::array<std::uint8_t, 4> toms = {50, 48, 45, 43};
            for (std::uint32_t s = 0; s < 4; ++s) {
                part.note(start + 6 * eighth + s * (eighth / 2), eighth / 2, toms[s], static_cast<std::uint8_t>(90 + 6 * s));
            }
        }
    }
    const std::uint32_t last = barStart(barCount - 1);
    part.note(last, bar, crash, 110);
    part.note(last, eighth, kick, 115);
    return part.finished();
}

EventList bass() {
    Part part("Bass", 1, 33, 104, 60, 10);  // Finger Bass
    for (std::uint32_t b = 2; b < barCount - 1; ++b) {
        const std::uint32_t start = barStart(b);
        const std::uint8_t root = progression[b].bassRoot;
        part.note(start, 3 * eighth - 20, root, 100);
        part.note(start + 3 * eighth, eighth - 20, root, 80);
        part.note(start + 4 * eighth, 2 * eighth - 20, static_cast<std::uint8_t>(root + 12), 90);
        part.note(start + 6 * eighth, 2 * eighth - 20, static_cast<std::uint8_t>(root + 7), 84);
    }
    part.note(barStart(barCount - 1), bar, progression[barCount - 1].bassRoot, 100);
    return part.finished();
}

EventList chords() {
    Part part("Chords", 2, 4, 84, 44, 50);  // Electric Piano 1
    for (std::uint32_t b = 0; b < barCount; ++b) {
        const std::uint32_t start = barStart(b);
        const Chord& chord = progression[b];
        const bool sustained = b < 2 || b == barCount - 1;
        for (const std::uint8_t key : chord.keys) {
            if (sustained) {
                part.note(start, bar - 30, key, 70);
                continue;
            }
            // Stabs on beat 1, the "and" of 2 and beat 4.
            part.note(start, 3 * eighth - 30, key, 82);
            part.note(start + 3 * eighth, 3 * eighth - 30, key, 68);
            part.note(start + 6 * eighth, 2 * eighth - 30, key, 74);
        }
    }
    return part.finished();
}

EventList melody() {
    Part part("Melody", 3, 73, 100, 76, 60);  // Flute
    struct Note {
        std::uint32_t bar, startEighth, lengthEighths;
        std::uint8_t key;
    };
    static constexpr Note tune[] = {
        {4, 0, 3, 76},  {4, 3, 1, 74},  {4, 4, 2, 72},  {4, 6, 2, 69},
        {5, 0, 2, 69},  {5, 2, 2, 72},  {5, 4, 3, 77},  {5, 7, 1, 76},
        {6, 0, 3, 79},  {6, 3, 1, 76},  {6, 4, 4, 72},
        {7, 0, 2, 74},  {7, 2, 2, 71},  {7, 4, 2, 67},  {7, 6, 2, 74},
        {8, 0, 3, 72},  {8, 3, 1, 71},  {8, 4, 2, 69},  {8, 6, 2, 76},
        {9, 0, 2, 77},  {9, 2, 2, 76},  {9, 4, 2, 72},  {9, 6, 2, 69},
        {10, 0, 2, 67}, {10, 2, 2, 72}, {10, 4, 3, 76}, {10, 7, 1, 74},
        {11, 0, 6, 74}, {11, 6, 2, 71},
        {12, 0, 3, 72}, {12, 3, 1, 74}, {12, 4, 2, 77}, {12, 6, 2, 76},
        {13, 0, 3, 74}, {13, 3, 1, 72}, {13, 4, 4, 71},
        {14, 0, 3, 71}, {14, 3, 1, 68}, {14, 4, 2, 71}, {14, 6, 2, 68},
        {15, 0, 8, 69},
    };
    for (const Note& n : tune) {
        const bool accent = n.startEighth % 4 == 0;
        part.note(barStart(n.bar) + n.startEighth * eighth, n.lengthEighths * eighth - 24, n.key,
                  static_cast<std::uint8_t>(accent ? 96 : 84));
    }
    return part.finished();
}

EventList pad() {
    Part part("Pad", 4, 89, 70, 84, 90);  // Warm Pad
    part.controller(0, 93, 40);            // a little chorus
    for (std::uint32_t b = 0; b < barCount; ++b) {
        for (const std::uint8_t key : progression[b].pad) {
            part.note(barStart(b), bar - 10, key, 58);
        }
    }
    return part.finished();
}

Bytes demoSong() {
    const std::vector<EventList> tracks = {conductor(), drums(), bass(), chords(), melody(), pad()};
    MIDIFile song;
    song.timeDivision = static_cast<std::uint16_t>(ticksPerQuarter);
    Bytes out = song.header(1, static_cast<int>(tracks.size()));
    for (const EventList& track : tracks) MIDIFile::appendTrackChunk(out, track);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--check") == 0) {
        std::ifstream in(argv[2], std::ios::binary);
        const Bytes existing((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (existing == demoSong()) return 0;
        std::fprintf(stderr, "%s differs from the generated demo song; run make_demo %s\n", argv[2], argv[2]);
        return 1;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo OUTPUT.mid | make_demo --check FILE\n");
        return 2;
    }
    return orvane::tools::writeFileOrReport(argv[1], demoSong()) ? 0 : 1;
}
