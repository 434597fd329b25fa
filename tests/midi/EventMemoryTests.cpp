// How a song is held in memory: events keep short messages inside themselves and long ones on
// the heap, and a MIDI 2.0 Clip keeps the file's bytes it was given instead of a copy of them.

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "midi/SMFBytes.h"
#include "midi/midi2/MIDI2Export.h"
#include "midi/model/MIDIFile.h"

namespace orvane::midi {
namespace {

Bytes messageOfSize(std::size_t size) {
    Bytes bytes;
    for (std::size_t i = 0; i < size; ++i) bytes.push_back(static_cast<std::uint8_t>(0xF0 + i % 16));
    return bytes;
}

// Sizes on both sides of what fits inside an event.
const std::size_t sizes[] = {0, 1, 3, MIDIEvent::inlineCapacity, MIDIEvent::inlineCapacity + 1, 300};

TEST(EventStorage, EveryCopyMoveAndAssignmentKeepsTheBytesAcrossTheInlineLimit) {
    for (const std::size_t size : sizes) {
        for (const std::size_t otherSize : sizes) {
            SCOPED_TRACE(testing::Message() << size << " over " << otherSize);
            const Bytes bytes = messageOfSize(size);
            const MIDIEvent original(7, bytes);
            ASSERT_EQ(Bytes(original.data().begin(), original.data().end()), bytes);
            EXPECT_EQ(original.size(), size);

            MIDIEvent copied(9, messageOfSize(otherSize));
            copied = original;
            EXPECT_EQ(copied, original);
            MIDIEvent moved(9, messageOfSize(otherSize));
            MIDIEvent source = original;
            moved = std::move(source);
            EXPECT_EQ(moved, original);
            EXPECT_TRUE(source.empty());  // NOLINT(bugprone-use-after-move): a moved-from event is empty
            MIDIEvent constructed(std::move(moved));
            EXPECT_EQ(constructed, original);

            // Replacing the bytes with a part of themselves, growing or shrinking across the limit.
            MIDIEvent edited(1, messageOfSize(otherSize));
            edited.setData(edited.data().first(std::min(size, otherSize)));
            EXPECT_EQ(Bytes(edited.data().begin(), edited.data().end()), messageOfSize(std::min(size, otherSize)));
            edited.setData(bytes);
            EXPECT_EQ(edited, MIDIEvent(1, bytes));
        }
        EXPECT_EQ(MIDIEvent::zeroed(3, size), MIDIEvent(3, Bytes(size, 0)));
    }
    MIDIEvent self(5, messageOfSize(300));
    const MIDIEvent& alias = self;
    self = alias;
    EXPECT_EQ(self, MIDIEvent(5, messageOfSize(300)));
    EXPECT_EQ(MIDIEvent::shortMessage(4, 0x93, 60, 100, 3), MIDIEvent(4, {0x93, 60, 100}));
    EXPECT_EQ(MIDIEvent::shortMessage(4, 0xC2, 5, 99, 2), MIDIEvent(4, {0xC2, 5}));
}

TEST(EventStorage, MessagesAtTheInlineLimitAreWrittenWhole) {
    // A time signature (7 bytes) is the longest inline message, a SMPTE offset (8) the shortest
    // on the heap; the writer copies inline messages as one block.
    const EventList events = {{0, {0xFF, 0x58, 0x04, 3, 2, 24, 8}}, {0, {0xFF, 0x54, 0x05, 1, 2, 3, 4, 5}}};
    EXPECT_EQ(MIDIFile::buildTrackChunk(events), (Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 21, 0, 0xFF, 0x58, 0x04, 3, 2, 24, 8, 0,
                                                        0xFF, 0x54, 5, 1, 2, 3, 4, 5, 0, 0xFF, 0x2F, 0x00}));
}

TEST(ClipReading, TakingTheBytesReadsTheSameSong) {
    MIDIFile song;
    ASSERT_TRUE(song.parse(smf::file(1, {smf::join({{0x00, 0xC0, 5, 0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0},
                                                    smf::endOfTrack()})})));
    Bytes clip = midi2ClipData(song, song.tracks()[0].events, "test", nullptr).data;

    MIDIFile fromSpan;
    ASSERT_TRUE(fromSpan.parse(std::span<const std::uint8_t>(clip)));
    MIDIFile taking;
    ASSERT_TRUE(taking.parse(std::move(clip)));
    EXPECT_EQ(clip.capacity(), 0u);  // NOLINT(bugprone-use-after-move): the song took the buffer
    EXPECT_EQ(taking.tracks(), fromSpan.tracks());
    EXPECT_EQ(taking.midi2NativePacketSnapshots, fromSpan.midi2NativePacketSnapshots);
}

}  // namespace
}  // namespace orvane::midi
