// Damaged and hostile files. A corpus of several hundred fed to the reader: files built to make
// it allocate or work far beyond their size, files that break each rule that rejects a file,
// and truncations and mutations of real songs (the demo song and, where installed, Debian's
// openttd-openmsx music). For every file: no crash (run under the asan preset too), a bounded
// time, storage proportional to the input, and the outcome the reading rules decide. Then a
// track cut at every byte, and lengths inside a track that lie.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "TemporaryFolder.h"
#include "midi/SMFBytes.h"
#include "midi/model/MIDIFile.h"

namespace orvane::midi {
namespace {

using smf::Bytes;
using smf::join;
using smf::QuietNotices;

enum class Expect { load, reject, either };

struct HostileFile {
    std::string name;
    Bytes data;
    Expect expect;
    std::optional<std::size_t> trackCount;  // checked when the file loads
};

HostileFile loads(std::string name, Bytes data, std::size_t tracks) { return {std::move(name), std::move(data), Expect::load, tracks}; }
HostileFile rejects(std::string name, Bytes data) { return {std::move(name), std::move(data), Expect::reject, std::nullopt}; }
HostileFile survives(std::string name, Bytes data) { return {std::move(name), std::move(data), Expect::either, std::nullopt}; }

// Bytes the loaded song keeps, counting every event and track object. A reader that trusts
// a lying length, or copies without bound, breaks a fixed multiple of the input size.
std::size_t storedBytes(const MIDIFile& file) {
    const auto eventBytes = [](const EventList& events) {
        std::size_t total = 0;
        for (const MIDIEvent& event : events) {
            total += sizeof(MIDIEvent) + (event.size() > MIDIEvent::inlineCapacity ? event.size() : 0);
        }
        return total;
    };
    std::size_t total = eventBytes(file.tempoEvents) + eventBytes(file.originalTempoEvents) +
                        eventBytes(file.timeSignatureEvents);
    for (const MIDITrack& track : file.tracks()) total += sizeof(MIDITrack) + track.name.size() + eventBytes(track.events);
    return total;
}

constexpr std::size_t storageFactor = 64;
constexpr double timeLimitSeconds = 2.0;

void readHostileFile(const HostileFile& hostile) {
    SCOPED_TRACE(hostile.name + " (" + std::to_string(hostile.data.size()) + " bytes)");
    MIDIFile file;
    const std::clock_t start = std::clock();
    const bool loaded = file.parse(hostile.data);
    if (loaded) {
        // The first reads of the song after loading: the musical-track cache and the tempo map.
        const std::uint32_t last = MIDIFile::maximumTick(file.musicalTracks());
        (void)file.secondsToTicks(file.ticksToSeconds(last, std::nullopt) / 2, std::nullopt, std::nullopt);
        for (const MIDITrack& track : file.tracks()) EXPECT_TRUE(track.channel >= -1 && track.channel <= 15);
        for (const int index : file.musicalTrackSourceIndices()) EXPECT_LT(static_cast<std::size_t>(index), file.tracks().size());
    }
    // Processor time, so that a busy machine does not count; a hang guard, not a speed target.
    const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    EXPECT_LT(seconds, timeLimitSeconds);
    EXPECT_LE(storedBytes(file), storageFactor * hostile.data.size() + 4096);
    if (hostile.expect != Expect::either) { EXPECT_EQ(loaded, hostile.expect == Expect::load); }
    if (loaded && hostile.trackCount) { EXPECT_EQ(file.tracks().size(), *hostile.trackCount); }
}

// ---- Files built to amplify work or storage ---------------------------------------------

void append(Bytes& out, std::initializer_list<Bytes> parts) { smf::append(out, join(parts)); }

Bytes notesOnEveryChannel() {
    Bytes out;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        append(out, {smf::program(channel, static_cast<std::uint8_t>(channel * 7)), smf::noteOn(channel, 60, 90)});
    }
    return out;
}

std::vector<HostileFile> amplifiers() {
    std::vector<HostileFile> files;

    // A Format 0 song whose tempo, time, key and SMPTE events are copied into a conductor and
    // into each of 16 channel tracks.
    Bytes flood = notesOnEveryChannel();
    for (std::uint32_t i = 0; i < 4000; ++i) {
        append(flood, {smf::tempo(300000 + i, 1), {0x00, 0xFF, 0x58, 0x04, 3, 2, 24, 8},
                      {0x00, 0xFF, 0x59, 0x02, 0x01, 0x00}, {0x00, 0xFF, 0x54, 0x05, 1, 2, 3, 4, 5}});
    }
    files.push_back(loads("format 0 conductor flood", smf::file(0, {join({flood, smf::endOfTrack()})}), 17));

    // Every one of 65535 chunks mixes a tempo with a note, so each becomes two tracks.
    Bytes mixed = smf::header(1, 65535);
    for (std::uint32_t i = 0; i < 65535; ++i) {
        append(mixed, {smf::track(join({smf::tempo(400000 + i, 0), smf::noteOn(static_cast<std::uint8_t>(i % 16), 60, 1)}))});
    }
    files.push_back(loads("65535 conductor-and-note chunks", mixed, 131070));

    Bytes empty = smf::header(1, 65535);
    for (int i = 0; i < 65535; ++i) append(empty, {smf::track({})});
    files.push_back(loads("65535 empty chunks", empty, 65535));

    files.push_back(loads("header announces 65535 chunks, one follows",
                          join({smf::header(1, 65535), smf::track(join({smf::noteOn(0, 60, 1), smf::endOfTrack()}))}),
                          1));

    // 150000 distinct tempo changes, and the same tempo 150000 times in two tracks.
    Bytes distinct;
    Bytes same;
    for (std::uint32_t i = 0; i < 150000; ++i) {
        append(distinct, {smf::tempo(200000 + i * 37 % 800000, 1)});
        append(same, {smf::tempo(500000, 0)});
    }
    files.push_back(loads("150000 distinct tempos", smf::file(1, {distinct, join({smf::noteOn(0, 60, 1, 100)})}), 2));
    files.push_back(loads("one tempo repeated 300000 times", smf::file(1, {same, same}), 2));

    // A megabyte of data bytes with no status to run on: every byte is skipped.
    files.push_back(loads("a megabyte without status", smf::file(1, {Bytes(1 << 20, 0x40)}), 1));

    // Lengths that claim hundreds of megabytes inside a small chunk end the track.
    files.push_back(loads("huge meta and system exclusive claims",
                          smf::file(1, {join({smf::noteOn(0, 60, 1), {0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F, 'x'}}),
                                        join({smf::noteOn(1, 60, 1), {0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F, 0x7E}})}),
                          2));

    // Ticks summing to exactly the largest tick load; one tick more is an overflow.
    Bytes toTheTop;
    for (int i = 0; i < 16; ++i) append(toTheTop, {{0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 1}});
    // 16 * 0x0FFFFFFF = 0xFFFFFFF0; 15 more ticks reach 0xFFFFFFFF exactly.
    files.push_back(loads("ticks reach the largest value", smf::file(1, {join({toTheTop, {0x0F, 0x80, 60, 0}})}), 1));
    files.push_back(rejects("ticks pass the largest value", smf::file(1, {join({toTheTop, {0x10, 0x80, 60, 0}})})));
    return files;
}

// ---- Files that break one rule that rejects a file --------------------------------------

std::vector<HostileFile> rejections() {
    const Bytes valid = smf::file(1, {join({smf::noteOn(0, 60, 90), smf::endOfTrack()}), join({smf::noteOn(1, 62, 90)})});
    std::vector<HostileFile> files;
    files.push_back(loads("a header and one byte", join({smf::header(1, 0), {0x00}}), 0));
    for (std::size_t length = 0; length < 15; ++length) {
        files.push_back(rejects("first " + std::to_string(length) + " bytes",
                         Bytes(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(length))));
    }
    for (std::size_t at = 0; at < 4; ++at) {
        Bytes wrongTag = valid;
        wrongTag[at] ^= 0x20;
        files.push_back(rejects("header tag byte " + std::to_string(at), wrongTag));
    }
    for (const std::uint32_t length : {0u, 5u, 7u, 0x06000000u, 0xFFFFFFFFu}) {
        Bytes wrongLength = valid;
        for (int i = 0; i < 4; ++i) wrongLength[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
        files.push_back(rejects("header length " + std::to_string(length), wrongLength));
    }
    const Bytes body = join({smf::noteOn(0, 60, 90), smf::endOfTrack()});
    for (const std::int64_t lie : {std::int64_t{9}, std::int64_t{1000}, std::int64_t{0x7FFFFFFF}, std::int64_t{0xFFFFFFFF}}) {
        files.push_back(rejects("last chunk claims " + std::to_string(lie),
                                join({smf::header(1, 2), smf::track(body), smf::chunk("MTrk", body, lie)})));
        if (lie > 9) {
            files.push_back(rejects("first chunk claims " + std::to_string(lie),
                                    join({smf::header(1, 2), smf::chunk("MTrk", body, lie), smf::track(body)})));
        }
    }
    // A length that lies but stays inside the data is read as given; the walk then finds no
    // chunk tag where the next chunk should start, and stops.
    files.push_back(loads("first chunk claims one byte more",
                          join({smf::header(1, 2), smf::chunk("MTrk", body, 9), smf::track(body)}), 1));
    Bytes overflowing;
    for (int i = 0; i < 17; ++i) append(overflowing, {{0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x01, 0x00}});
    files.push_back(rejects("tick overflow in the second track", smf::file(1, {body, overflowing})));
    files.push_back(loads("foreign chunk before any track",
                          join({smf::header(1, 2), smf::chunk("MThd", body), smf::track(body)}), 0));
    return files;
}

// ---- Truncations and mutations of real songs ----------------------------------------------

Bytes readFile(const std::filesystem::path& path) {
    const std::string text = orvane::testing::readText(path);
    return Bytes(text.begin(), text.end());
}

std::vector<std::pair<std::string, Bytes>> realSongs() {
    std::vector<std::pair<std::string, Bytes>> songs;
    Bytes demo = readFile(std::filesystem::path(ORVANE_SOURCE_DIR) / "examples" / "demo.mid");
    if (!demo.empty()) songs.emplace_back("demo.mid", std::move(demo));
    const std::filesystem::path corpus = "/usr/share/games/openttd/baseset/openmsx";
    std::error_code error;
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(corpus, error)) {
        if (entry.path().extension() == ".mid") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    for (std::size_t i = 0; i < paths.size() && songs.size() < 8; i += 4) {
        songs.emplace_back(paths[i].filename().string(), readFile(paths[i]));
    }
    return songs;
}

std::size_t chunkEnd(const Bytes& data, std::size_t at) {
    return at + 8 + (std::size_t{data[at + 4]} << 24 | std::size_t{data[at + 5]} << 16 | std::size_t{data[at + 6]} << 8 |
                     data[at + 7]);
}

// The outcome of reading the first `length` bytes of a song. For a well-formed Format 1 song
// whose header announces every chunk: fewer than 15 bytes, or a cut inside a chunk's body (its
// length now lies), rejects; a cut elsewhere loads the complete chunks before it.
HostileFile truncated(const std::string& name, const Bytes& song, std::size_t length, bool plainFormat1) {
    HostileFile file = survives(name + " cut at " + std::to_string(length),
                                Bytes(song.begin(), song.begin() + static_cast<std::ptrdiff_t>(length)));
    if (!plainFormat1) return file;
    file.expect = length < 15 ? Expect::reject : Expect::load;
    std::size_t complete = 0;
    for (std::size_t at = 14; length >= 15 && at + 8 <= song.size() && length >= at + 8; at = chunkEnd(song, at)) {
        if (length < chunkEnd(song, at)) {
            file.expect = Expect::reject;
            return file;
        }
        ++complete;
    }
    file.trackCount = complete;
    return file;
}

std::vector<HostileFile> truncationsAndMutations() {
    std::vector<HostileFile> files;
    std::mt19937 random(7411);
    for (const auto& [name, song] : realSongs()) {
        const bool plainFormat1 = song.size() > 14 && song[8] == 0 && song[9] == 1;
        for (int step = 0; step < 48; ++step) {
            files.push_back(truncated(name, song, static_cast<std::size_t>(random() % song.size()), plainFormat1));
        }
        for (int round = 0; round < 40; ++round) {
            Bytes mutated = song;
            const int edits = 1 + static_cast<int>(random() % 6);
            for (int e = 0; e < edits; ++e) {
                const std::size_t at = 14 + random() % (mutated.size() - 14);
                switch (random() % 3) {
                    case 0: mutated[at] = static_cast<std::uint8_t>(random()); break;
                    case 1: mutated.insert(mutated.begin() + static_cast<std::ptrdiff_t>(at), static_cast<std::uint8_t>(random())); break;
                    default: mutated.erase(mutated.begin() + static_cast<std::ptrdiff_t>(at)); break;
                }
            }
            files.push_back(survives(name + " mutation " + std::to_string(round), mutated));
        }
    }
    return files;
}

TEST(HostileCorpus, FilesBuiltToAmplifyWorkStayBounded) {
    const QuietNotices quiet;
    for (const HostileFile& file : amplifiers()) readHostileFile(file);
}

TEST(HostileCorpus, EachRejectingRuleRejects) {
    for (const HostileFile& file : rejections()) readHostileFile(file);
}

TEST(HostileCorpus, TruncatedAndMutatedSongs) {
    const QuietNotices quiet;
    const auto files = truncationsAndMutations();
    ASSERT_FALSE(files.empty()) << "the demo song is missing";
    for (const HostileFile& file : files) readHostileFile(file);
}

// One track that exercises every kind of event, running status included.
Bytes richTrackBody() {
    Bytes longSysex = {0x00, 0xF0, 0x0C};
    for (std::uint8_t i = 0; i < 12; ++i) longSysex.push_back(i);
    return join({smf::trackName("Everything"), smf::tempo(500000), {0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08},
                 {0x00, 0xFF, 0x59, 0x02, 0xFE, 0x01}, smf::program(2, 40), {0x00, 0xB2, 7, 90, 0x00, 10, 30},
                 smf::noteOn(2, 60, 100, 0x60), {0x81, 0x00, 62, 90, 0x83, 0x60, 60, 0},  // running status
                 {0x00, 0xE2, 0x00, 0x40, 0x00, 0xD2, 0x20, 0x00, 0xA2, 60, 10}, longSysex,
                 {0x00, 0xF7, 0x01, 0xF7}, {0x00, 0xF1, 0x10}, {0x8F, 0xFF, 0xFF, 0x7F, 0x82, 60, 0},
                 smf::endOfTrack()});
}

TEST(ReaderHostile, ATrackCutShortKeepsTheEventsBeforeTheCut) {
    const QuietNotices quiet;
    const Bytes body = richTrackBody();
    MIDIFile full;
    ASSERT_TRUE(full.parse(smf::file(0, {body})));
    const EventList& all = full.tracks()[0].events;
    ASSERT_EQ(all.size(), 17u);
    std::size_t previousCount = 0;
    for (std::size_t length = 0; length <= body.size(); ++length) {
        MIDIFile cut;
        ASSERT_TRUE(cut.parse(smf::file(0, {Bytes(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(length))})))
            << length;
        ASSERT_EQ(cut.tracks().size(), 1u);
        const EventList& events = cut.tracks()[0].events;
        ASSERT_LE(events.size(), all.size());
        EXPECT_GE(events.size(), previousCount) << length;
        for (std::size_t i = 0; i < events.size(); ++i) EXPECT_EQ(events[i], all[i]) << length << " " << i;
        previousCount = events.size();
    }
}

TEST(ReaderHostile, LyingLengthsInsideATrackEndOnlyThatTrack) {
    const QuietNotices quiet;
    const Bytes note = smf::noteOn(0, 60, 100);
    // A track cut at every byte (above) covers lengths that run past the chunk's end.
    const std::vector<Bytes> liars = {
        {0x00, 0xF0, 0x8F, 0xFF, 0xFF, 0x7F, 0x01},        // 256 MiB of system exclusive
        {0x00, 0xF7, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F},        // a five-byte length
        {0x00, 0xFF, 0x51, 0x80, 0x80, 0x80, 0x80, 0x03},  // a five-byte meta length
        {0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 60, 100},     // a five-byte delta time
    };
    for (const Bytes& liar : liars) {
        MIDIFile file;
        ASSERT_TRUE(file.parse(smf::file(1, {join({note, liar}), join({note})})));
        ASSERT_EQ(file.tracks().size(), 2u);
        // Only the note before the damage survives; the next track is read as usual.
        EXPECT_EQ(std::tuple(file.tracks()[0].events.size(), file.tracks()[1].events.size()), std::tuple(1u, 1u));
    }
}

}  // namespace
}  // namespace orvane::midi
