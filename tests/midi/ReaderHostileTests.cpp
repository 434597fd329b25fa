// Damaged and hostile files: truncated anywhere, lying about lengths, or plain noise. The
// reader must load or reject them as its rules say, never read outside the data and never
// allocate more than the data can justify. Run under the asan preset to check the first two.

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "midi/SMFBytes.h"
#include "midi/model/MIDIFile.h"

namespace orvane::midi {
namespace {

using smf::Bytes;
using smf::join;

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

struct Quiet {
    Quiet() { MIDIFile::setNormalizingNoticeStream(nullptr); }
    ~Quiet() { MIDIFile::setNormalizingNoticeStream(stdout); }
};

// Whatever loads must satisfy the model's basic promises.
void expectSoundModel(const MIDIFile& file) {
    for (const MIDITrack& track : file.tracks()) {
        EXPECT_GE(track.channel, -1);
        EXPECT_LE(track.channel, 15);
        for (const MIDIEvent& event : track.events) EXPECT_FALSE(event.empty());
    }
    for (const int index : file.musicalTrackSourceIndices()) {
        ASSERT_LT(static_cast<std::size_t>(index), file.tracks().size());
    }
    (void)file.secondsToTicks(1e9, std::nullopt, 90.0);
}

TEST(ReaderHostile, EveryPrefixOfAFileIsRejectedOrLoaded) {
    const Quiet quiet;
    const Bytes whole = smf::file(1, {richTrackBody(), join({smf::noteOn(0, 1, 1), smf::endOfTrack()})});
    MIDIFile file;
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        const bool loaded = file.parse(prefix);
        // Cutting into a chunk makes its declared length a lie; cutting between chunks or
        // inside a chunk header only ends the walk.
        const bool cutInsideFirstChunk = length >= 22 && length < 22 + richTrackBody().size();
        if (length < 15 || cutInsideFirstChunk) {
            EXPECT_FALSE(loaded) << length;
        }
        if (loaded) expectSoundModel(file);
    }
    ASSERT_TRUE(file.parse(whole));
    expectSoundModel(file);
}

TEST(ReaderHostile, ATrackCutShortKeepsTheEventsBeforeTheCut) {
    const Quiet quiet;
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
    const Quiet quiet;
    const Bytes note = smf::noteOn(0, 60, 100);
    const std::vector<Bytes> liars = {
        {0x00, 0xFF, 0x01, 0x7F, 'a', 'b'},                       // text longer than the chunk
        {0x00, 0xF0, 0x8F, 0xFF, 0xFF, 0x7F, 0x01},               // 256 MiB of system exclusive
        {0x00, 0xF7, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F},               // a five-byte length
        {0x00, 0xFF, 0x51, 0x80, 0x80, 0x80, 0x80, 0x03},         // a five-byte meta length
        {0x00, 0xFF},                                             // no meta type
        {0x00, 0xFF, 0x51},                                       // no meta length
        {0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 60, 100},            // a five-byte delta time
        {0x00, 0x90, 60},                                         // a missing data byte
        {0x00, 0xC0},                                             // a missing program
        {0x81},                                                   // a delta cut short
        {0x00},                                                   // no status after the delta
    };
    for (const Bytes& liar : liars) {
        MIDIFile file;
        ASSERT_TRUE(file.parse(smf::file(1, {join({note, liar}), join({note})})));
        ASSERT_EQ(file.tracks().size(), 2u);
        EXPECT_EQ(file.tracks()[0].events.size(), 1u) << "only the note before the damage survives";
        EXPECT_EQ(file.tracks()[1].events.size(), 1u) << "the next track is read as usual";
    }
}

TEST(ReaderHostile, NoiseAndMutationsNeverBreakTheReader) {
    const Quiet quiet;
    std::mt19937 random(20240611);
    const Bytes seed = smf::file(1, {richTrackBody(), join({smf::tempo(300000, 5), smf::noteOn(9, 38, 1)})});
    MIDIFile file;
    for (int round = 0; round < 3000; ++round) {
        Bytes data = seed;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) {
            data[14 + random() % (data.size() - 14)] = static_cast<std::uint8_t>(random());
        }
        if (file.parse(data)) expectSoundModel(file);

        // A valid header and chunk frame around random bytes.
        Bytes body(random() % 64);
        for (auto& byte : body) byte = static_cast<std::uint8_t>(random());
        if (file.parse(smf::file(static_cast<std::uint16_t>(random() % 3), {body}))) expectSoundModel(file);
    }
}

}  // namespace
}  // namespace orvane::midi
