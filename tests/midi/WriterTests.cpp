// Header and track chunks, variable-length quantities and the same-tick export order.

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

#include "midi/model/MIDIFile.h"

namespace orvane::midi {
namespace {

Bytes chunk(std::initializer_list<std::uint8_t> body) {
    Bytes out = {'M', 'T', 'r', 'k', 0, 0, 0, static_cast<std::uint8_t>(body.size())};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

TEST(Writer, VariableLengthQuantities) {
    const std::pair<std::uint32_t, Bytes> cases[] = {
        {127, {0x7F}}, {128, {0x81, 0x00}}, {0x4000, {0x81, 0x80, 0x00}}, {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
        {0x10000000, {0x81, 0x80, 0x80, 0x80, 0x00}}, {0xFFFFFFFF, {0x8F, 0xFF, 0xFF, 0xFF, 0x7F}}};
    for (const auto& [value, bytes] : cases) EXPECT_EQ(MIDIFile::encodeVarLen(value), bytes) << value;
}

TEST(Writer, HeaderCarriesFormatCountAndTheSongsDivision) {
    MIDIFile file;
    file.timeDivision = 0xE728;  // SMPTE -25 fps, 40 ticks per frame: written back as read
    EXPECT_EQ(file.header(0, 65535), (Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0xFF, 0xFF, 0xE7, 0x28}));
    EXPECT_THROW((void)file.header(1, 65536), std::out_of_range);
    EXPECT_THROW((void)file.header(1, -1), std::out_of_range);
}

TEST(Writer, EndOfTrackGoesAfterEverythingAtItsTick) {
    EXPECT_EQ(MIDIFile::buildTrackChunk({}), chunk({0x00, 0xFF, 0x2F, 0x00}));
    const EventList events = {{0, {0xFF, 0x2F, 0x00}}, {0, {0xFF, 0x03, 1, 'A'}}, {0, {0x90, 60, 100}}};
    EXPECT_EQ(MIDIFile::buildTrackChunk(events),
              chunk({0, 0xFF, 0x03, 1, 'A', 0, 0x90, 60, 100, 0, 0xFF, 0x2F, 0x00}));

    const EventList later = {{50, {0xFF, 0x2F, 0x00}}, {50, {0x80, 60, 0}}, {50, {0xC0, 5}}};
    EXPECT_EQ(MIDIFile::sortedEventsForExport(later), (EventList{later[1], later[2], later[0]}));
}

TEST(Writer, TickZeroOrder) {
    const EventList events = {
        {0, {0x90, 60, 100}},          // 0 note
        {0, {0xB0, 7, 90}},            // 1 volume
        {0, {0xC0, 24}},               // 2 program
        {0, {0xFF, 0x58, 4, 4, 2, 24, 8}},  // 3 time signature
        {0, {0xB0, 0, 1}},             // 4 bank select MSB
        {0, {0xFF, 0x03, 1, 'B'}},     // 5 name
        {0, {0xB0, 32, 2}},            // 6 bank select LSB
        {0, {0xC1, 25}},               // 7 program on another channel
        {0, {0xB0, 10, 64}},           // 8 pan
        {0, {}},                       // 9 empty event
    };
    EventList expected;
    for (const std::size_t i : {5u, 4u, 6u, 2u, 7u, 3u, 1u, 8u, 0u, 9u}) expected.push_back(events[i]);
    EXPECT_EQ(MIDIFile::sortedEventsForExport(events), expected);
}

TEST(Writer, AfterTickZeroInputOrderHolds) {
    const EventList events = {{100, {0x90, 60, 100}}, {100, {0xC0, 5}}, {100, {0xFF, 0x03, 1, 'C'}},
                              {100, {0xB0, 0, 1}}};
    EXPECT_EQ(MIDIFile::sortedEventsForExport(events), events);
}

TEST(Writer, OutOfOrderTicksAreSortedStably) {
    // The disorder is found late, after a run that was already in order, and at index 1.
    const EventList late = {{10, {0x90, 1, 1}}, {20, {0x90, 2, 1}}, {20, {0x90, 3, 1}}, {5, {0x90, 4, 1}},
                            {20, {0x90, 5, 1}}};
    EXPECT_EQ(MIDIFile::sortedEventsForExport(late), (EventList{late[3], late[0], late[1], late[2], late[4]}));

    const EventList early = {{7, {0x90, 1, 1}}, {3, {0x90, 2, 1}}};
    EXPECT_EQ(MIDIFile::buildTrackChunk(early), chunk({3, 0x90, 2, 1, 4, 0x90, 1, 1, 0, 0xFF, 0x2F, 0x00}));
}

TEST(Writer, GapsBeyondFourByteDeltasAreBridged) {
    // 0x0FFFFFFF is the largest four-byte delta; a longer gap gets empty text events in
    // between, so that the file stays readable.
    const EventList largest = {{0x0FFFFFFF, {0x90, 60, 1}}};
    EXPECT_EQ(MIDIFile::buildTrackChunk(largest), chunk({0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 1, 0, 0xFF, 0x2F, 0}));

    const EventList beyond = {{5, {0x90, 60, 1}}, {5 + 0x0FFFFFFF + 0x0FFFFFFF + 3, {0x80, 60, 0}}};
    EXPECT_EQ(MIDIFile::buildTrackChunk(beyond),
              chunk({5, 0x90, 60, 1, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x01, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x01, 0, 3, 0x80,
                     60, 0, 0, 0xFF, 0x2F, 0}));

    MIDIFile song;
    Bytes file = song.header(1, 1);
    MIDIFile::appendTrackChunk(file, beyond);
    ASSERT_TRUE(song.parse(file));
    ASSERT_EQ(song.tracks().size(), 1u);
    const EventList& read = song.tracks()[0].events;
    ASSERT_EQ(read.size(), 5u);
    EXPECT_EQ((EventList{read[0], read[3]}), beyond);
}

TEST(Writer, PriorityBandsOverlapWithManyEventsAtTickZero) {
    // Meta events rank by position + 10000 and other controllers by position + 30000, so a
    // meta event more than 20000 places after a volume controller is written after it.
    EventList events;
    events.push_back({0, {0xB0, 7, 100}});                            // rank 30000
    for (int i = 0; i < 19998; ++i) events.push_back({0, {0x90, 60, 1}});
    events.push_back({0, {0xFF, 0x01, 1, 'x'}});                      // index 19999: rank 29999
    events.push_back({0, {0x90, 60, 1}});
    events.push_back({0, {0xFF, 0x01, 1, 'y'}});                      // index 20001: rank 30001
    const EventList sorted = MIDIFile::sortedEventsForExport(events);
    ASSERT_EQ(sorted.size(), events.size());
    EXPECT_EQ(EventList(sorted.begin(), sorted.begin() + 4), (EventList{events[19999], events[0], events[20001], events[1]}));
}

}  // namespace
}  // namespace orvane::midi
