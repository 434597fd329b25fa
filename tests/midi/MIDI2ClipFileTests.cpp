// The MIDI Clip file container: signature, alignment, framing, the clip boundaries and the
// bytes at their offsets.

#include <gtest/gtest.h>

#include "MIDI2TestSupport.h"
#include "midi/midi2/MIDI2ClipFile.h"

namespace orvane::midi {
namespace {

using testing::clipBytes;
using testing::descriptionThrownBy;
using testing::thrownBy;
using Words = std::vector<std::uint32_t>;

Bytes slice(const Bytes& bytes, std::size_t offset, std::size_t count) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                 bytes.begin() + static_cast<std::ptrdiff_t>(offset + count));
}

TEST(MIDI2ClipFile, RecognisesTheSignature) {
    EXPECT_TRUE(MIDI2ClipFile::isMIDI2Clip(clipBytes({})));
    EXPECT_FALSE(MIDI2ClipFile::isMIDI2Clip(Bytes{'S', 'M', 'F', '2', 'C', 'L', 'I'}));
    EXPECT_FALSE(MIDI2ClipFile::isMIDI2Clip(Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1}));
    EXPECT_TRUE(MIDI2ClipFile::parse(clipBytes({})).packets.empty());
}

TEST(MIDI2ClipFile, RejectsShortMisnamedUnalignedAndTruncatedData) {
    const auto parsing = [](const Bytes& bytes) {
        return descriptionThrownBy<MIDI2ClipFileError>([&] { (void)MIDI2ClipFile::parse(bytes); });
    };
    EXPECT_EQ(thrownBy<MIDI2ClipFileError>([] { (void)MIDI2ClipFile::parse(Bytes(7, 'S')); }),
              MIDI2ClipFileError::dataTooShort(7));
    EXPECT_EQ(parsing(Bytes(7, 'S')), "SMF2/MIDI Clip data is too short: 7 bytes.");
    EXPECT_EQ(parsing({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 1, 0xE0}),
              "SMF2/MIDI Clip header is invalid: 4D 54 68 64 00 00 00 06.");
    Bytes unaligned = clipBytes({});
    unaligned.resize(14, 0);
    EXPECT_EQ(parsing(unaligned), "SMF2/MIDI Clip UMP payload must be aligned to 32-bit words: 6 bytes.");
    EXPECT_EQ(parsing(clipBytes({0x00400000, 0x40903C00})),
              "SMF2/MIDI Clip packet error: UMP type 0x4 expected 2 words, only 1 remain.");
}

TEST(MIDI2ClipFile, TheEmptyClipIsFiftySixBytesWithItsPacketsAtTheirOffsets) {
    const Bytes bytes = MIDI2ClipFile::withClipBoundaries({}, 960).data();
    ASSERT_EQ(bytes.size(), 56u);
    EXPECT_EQ(slice(bytes, 0, 8), (Bytes{'S', 'M', 'F', '2', 'C', 'L', 'I', 'P'}));
    EXPECT_EQ(slice(bytes, 8, 4), (Bytes{0x00, 0x40, 0x00, 0x00}));
    EXPECT_EQ(slice(bytes, 12, 4), (Bytes{0x00, 0x30, 0x03, 0xC0}));
    EXPECT_EQ(slice(bytes, 16, 4), (Bytes{0x00, 0x40, 0x00, 0x00}));
    EXPECT_EQ(slice(bytes, 20, 16), (Bytes{0xF0, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(slice(bytes, 36, 4), (Bytes{0x00, 0x40, 0x00, 0x00}));
    EXPECT_EQ(slice(bytes, 40, 16), (Bytes{0xF0, 0x21, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(MIDI2ClipFile, TheSequenceStartsAtOffsetThirtySixAndRoundTrips) {
    const std::vector<MIDI2UMPPacket> sequence = {MIDI2UMPPacket::utilityDeltaClockstamp(0),
                                                  MIDI2UMPPacket({0x40903C00, 0xC0000000})};
    const MIDI2ClipFile file = MIDI2ClipFile::withClipBoundaries(sequence, 480);
    const Bytes bytes = file.data();
    EXPECT_EQ(slice(bytes, 36, 12), (Bytes{0x00, 0x40, 0x00, 0x00, 0x40, 0x90, 0x3C, 0x00, 0xC0, 0x00, 0x00, 0x00}));
    EXPECT_EQ(bytes.size(), 56u + 12u);
    EXPECT_EQ(MIDI2ClipFile::parse(bytes), file);
    const MIDI2ClipWords words = MIDI2ClipFile::parseWords(bytes);
    EXPECT_EQ(words.packetCount, file.packets.size());
    EXPECT_EQ(words.words.size(), (bytes.size() - 8) / 4);
}

TEST(MIDI2ClipFile, TrailingTicksBeforeEndOfClipAreSplitIntoTwentyBitSteps) {
    const MIDI2ClipFile file = MIDI2ClipFile::withClipBoundaries({}, 480, 2000000);
    ASSERT_EQ(file.packets.size(), 7u);
    EXPECT_EQ(file.packets[4], MIDI2UMPPacket::utilityDeltaClockstamp(0xFFFFF));
    EXPECT_EQ(file.packets[5], MIDI2UMPPacket::utilityDeltaClockstamp(2000000 - 0xFFFFF));
    EXPECT_EQ(file.packets[6], MIDI2UMPPacket::endOfClip());

    std::vector<MIDI2UMPPacket> packets;
    appendDeltaClockstamps(packets, 0xFFFFF);
    EXPECT_EQ(packets.size(), 1u);
    appendDeltaClockstamps(packets, 0x100000);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[2], MIDI2UMPPacket::utilityDeltaClockstamp(1));
}

}  // namespace
}  // namespace orvane::midi
