// Universal MIDI Packets: framing, errors, the packets this program writes (hand-computed
// bytes), recognisers, conversion to MIDI 1.0 and when the debug markers are written.

#include <gtest/gtest.h>

#include "MIDI2TestSupport.h"
#include "midi/midi2/MIDI2UMPPacket.h"

namespace orvane::midi {
namespace {

using testing::descriptionThrownBy;
using testing::MarkerCapture;
using testing::thrownBy;
using testing::wordsOf;

using Words = std::vector<std::uint32_t>;

TEST(MIDI2UMPPacket, EveryTypeHasItsWordCountAndReportsTruncationWithItsOwnNumbers) {
    const int expectedCounts[16] = {1, 1, 1, 2, 2, 4, 1, 1, 2, 2, 2, 3, 3, 4, 4, 4};
    for (std::uint32_t type = 0; type < 16; ++type) {
        SCOPED_TRACE(type);
        const int count = expectedCounts[type];
        Words words(static_cast<std::size_t>(count), 0);
        words[0] = type << 28 | 0x0ABCDEF;
        const auto packets = MIDI2UMPPacket::parseWordStream(words);
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].wordCount(), static_cast<std::size_t>(count));
        EXPECT_EQ(static_cast<std::uint32_t>(packets[0].messageType()), type);
        EXPECT_EQ(midi2UMPMessageType(static_cast<std::uint8_t>(type)), packets[0].messageType());
        if (count > 1) {
            words.pop_back();
            EXPECT_EQ(thrownBy<MIDI2UMPError>([&] { (void)MIDI2UMPPacket::parseWordStream(words); }),
                      MIDI2UMPError::truncatedPacket(static_cast<std::uint8_t>(type), count, count - 1));
        }
    }
    EXPECT_EQ(allMIDI2UMPMessageTypes().size(), 16u);
    EXPECT_FALSE(midi2UMPMessageType(0x10));
}

TEST(MIDI2UMPPacket, StreamsSplitIntoPacketsIncludingReservedTypes) {
    const Words words = {0x6123ABCD, 0xB0000000, 1, 2, 0x20903C64};
    const auto packets = MIDI2UMPPacket::parseWordStream(words);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].messageType(), MIDI2UMPMessageType::reserved32Bit6);
    EXPECT_EQ(wordsOf(packets[1]), (Words{0xB0000000, 1, 2}));
    EXPECT_EQ(packets[2].messageType(), MIDI2UMPMessageType::midi1ChannelVoice);
    EXPECT_TRUE(MIDI2UMPPacket::parseWordStream({}).empty());
    // A Flex Data word followed by two words: three of the four words are there.
    EXPECT_EQ(descriptionThrownBy<MIDI2UMPError>([] { (void)MIDI2UMPPacket::parseWordStream(Words{0xD0100000, 0, 0}); }),
              "UMP type 0xD expected 4 words, only 3 remain.");
}

TEST(MIDI2UMPPacket, ConstructionValidatesTheWordCountAndTheFields) {
    EXPECT_EQ(thrownBy<MIDI2UMPError>([] { MIDI2UMPPacket packet(std::span<const std::uint32_t>{}); }),
              MIDI2UMPError::emptyPacket());
    EXPECT_EQ(thrownBy<MIDI2UMPError>([] { MIDI2UMPPacket packet{0x50000000, 0, 0, 0, 0}; }),
              MIDI2UMPError::tooManyWords(5));
    EXPECT_EQ(thrownBy<MIDI2UMPError>([] { MIDI2UMPPacket packet{0x00400000, 0}; }),
              MIDI2UMPError::incorrectWordCount(0x0, 1, 2));
    EXPECT_NE(MIDI2UMPError::incorrectWordCount(0x0, 1, 2), MIDI2UMPError::incorrectWordCount(0x0, 1, 3));
    EXPECT_EQ(descriptionThrownBy<MIDI2UMPError>([] { (void)MIDI2UMPPacket::utilityDeltaClockstamp(0x100000); }),
              "Delta Clockstamp exceeds 20-bit UMP Utility range.");
    EXPECT_EQ(thrownBy<MIDI2UMPError>([] { (void)MIDI2UMPPacket::flexDataSetTempo(16, 1); }),
              MIDI2UMPError::invalidGroup(16));
    EXPECT_STREQ(MIDI2UMPError::emptyPacket().what(), "UMP packet is empty.");
}

TEST(MIDI2UMPPacket, BigEndianBytesAreReadAndWrittenMostSignificantFirst) {
    const std::vector<std::uint8_t> bytes = {0x40, 0x91, 0x3C, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x40, 0x01, 0xE0};
    const auto packets = MIDI2UMPPacket::packetsFromBigEndianData(bytes);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(wordsOf(packets[0]), (Words{0x40913C00, 0xFFFF0000}));
    EXPECT_EQ(wordsOf(packets[1]), (Words{0x004001E0}));
    Bytes written = packets[0].bigEndianData();
    const Bytes second = packets[1].bigEndianData();
    written.insert(written.end(), second.begin(), second.end());
    EXPECT_EQ(written, bytes);

    EXPECT_TRUE(MIDI2UMPPacket::packetsFromBigEndianData({}).empty());
    EXPECT_EQ(descriptionThrownBy<MIDI2UMPError>(
                  [] { (void)MIDI2UMPPacket::packetsFromBigEndianData(std::vector<std::uint8_t>(7, 0)); }),
              "UMP word data must be a multiple of 4 bytes.");
}

// The clip tests check these packets in place; here the largest values and the group bits.
TEST(MIDI2UMPPacket, WrittenPacketsCarryTheirGroupAndLargestValues) {
    EXPECT_EQ(MIDI2UMPPacket::utilityDeltaClockstampTPQ(0xFFFF).bigEndianData(), (Bytes{0x00, 0x30, 0xFF, 0xFF}));
    EXPECT_EQ(MIDI2UMPPacket::utilityDeltaClockstamp(0xFFFFF).bigEndianData(), (Bytes{0x00, 0x4F, 0xFF, 0xFF}));
    EXPECT_EQ(MIDI2UMPPacket::flexDataSetTempo(2, 50000000).bigEndianData(),
              (Bytes{0xD2, 0x10, 0x00, 0x00, 0x02, 0xFA, 0xF0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(MIDI2UMPPacket::midi1ChannelVoice(1, 0x93, 60, 100).bigEndianData(), (Bytes{0x21, 0x93, 0x3C, 0x64}));
    // SysEx7: status in bits 23..20, byte count in 19..16.
    EXPECT_EQ(MIDI2UMPPacket::systemExclusive7(0, 0x3, {}).bigEndianData(), (Bytes{0x30, 0x30, 0, 0, 0, 0, 0, 0}));
}

TEST(MIDI2UMPPacket, RecognisersChannelsAndDescription) {
    // Flex Data recognisers ignore group and channel but not the address or the status.
    const MIDI2UMPPacket tempo{0xD31F0000, 50000000, 0, 0};  // group 3, channel 15
    EXPECT_EQ(tempo.flexDataSetTempoTenNanosecondsPerQuarterNote(), 50000000u);
    EXPECT_FALSE(tempo.flexDataSetTimeSignature());
    EXPECT_FALSE(MIDI2UMPPacket({0xD0000000, 50000000, 0, 0}).flexDataSetTempoTenNanosecondsPerQuarterNote());
    EXPECT_FALSE(MIDI2UMPPacket({0xD0500000, 50000000, 0, 0}).flexDataSetTempoTenNanosecondsPerQuarterNote());
    const MIDI2UMPPacket timeSignature{0xD0100001, 0x07031800, 0, 0};
    EXPECT_EQ(timeSignature.flexDataSetTimeSignature(), (MIDI2TimeSignatureFields{7, 3, 0x18}));
    EXPECT_FALSE(timeSignature.flexDataSetTempoTenNanosecondsPerQuarterNote());

    // Only Channel Voice packets have a channel.
    EXPECT_EQ(MIDI2UMPPacket({0x2A9B3C64}).channel(), 0xB);
    EXPECT_EQ(MIDI2UMPPacket({0x4395407F, 0}).channel(), 0x5);
    EXPECT_FALSE(MIDI2UMPPacket({0x10F80000}).channel());
    EXPECT_FALSE(MIDI2UMPPacket({0xD0100000, 1, 0, 0}).channel());
    EXPECT_EQ(MIDI2UMPPacket({0x40903C00, 0xabcd0000}).description(), "0x40903C00 0xABCD0000");
}

TEST(MIDI2UMPByteStream, DataByteCountsOfStatusBytes) {
    // -1: not a status that stands alone (data bytes, System Exclusive, undefined ones).
    const std::pair<int, int> counts[] = {{0x7F, -1}, {0x80, 2}, {0xBF, 2}, {0xC0, 1}, {0xDF, 1}, {0xEF, 2},
                                          {0xF0, -1}, {0xF1, 1},  {0xF2, 2},  {0xF3, 1},  {0xF4, -1}, {0xF5, -1},
                                          {0xF6, 0},  {0xF7, -1}, {0xF8, 0},  {0xF9, -1}, {0xFD, -1}, {0xFF, 0}};
    for (const auto& [status, count] : counts) {
        EXPECT_EQ(MIDI2UMPByteStream::expectedDataByteCount(static_cast<std::uint8_t>(status)).value_or(-1), count)
            << status;
    }
}

// ---- Conversion to MIDI 1.0 ---------------------------------------------------------------

Bytes midi1Bytes(const MIDI2UMPPacket& packet) {
    return packet.downConvertedMIDI1ChannelVoice().midi1ByteStream().toBytes();
}

TEST(MIDI2DownConversion, ValuesKeepTheirTopBits) {
    const std::pair<Words, Bytes> cases[] = {
        // Note velocities keep their top seven bits; only a note-on is raised to 1; the note
        // number uses the low seven bits of the index byte.
        {{0x40923C00, 0x00000000}, {0x92, 0x3C, 0x01}}, {{0x40923C00, 0x01FF0000}, {0x92, 0x3C, 0x01}},
        {{0x40923C00, 0xFFFF1234}, {0x92, 0x3C, 0x7F}}, {{0x40923C00, 0x80000000}, {0x92, 0x3C, 0x40}},
        {{0x40823C00, 0x00000000}, {0x82, 0x3C, 0x00}}, {{0x4092BC00, 0xFFFF0000}, {0x92, 0x3C, 0x7F}},
        // Pitch bend keeps fourteen bits, so that the centre stays the centre.
        {{0x40E00000, 0x80000000}, {0xE0, 0x00, 0x40}}, {{0x40E00000, 0xFFFFFFFF}, {0xE0, 0x7F, 0x7F}},
        {{0x40E00000, 0x0003FFFF}, {0xE0, 0x00, 0x00}}, {{0x40E00000, 0x00040000}, {0xE0, 0x01, 0x00}},
        // Controllers, pressures and programs (bank bytes dropped, program 0x85 masked to 5).
        {{0x40B50700, 0xFE000000}, {0xB5, 0x07, 0x7F}}, {{0x40B58700, 0x01FFFFFF}, {0xB5, 0x07, 0x00}},
        {{0x40A13C00, 0x40000000}, {0xA1, 0x3C, 0x20}}, {{0x40D10000, 0xFFFFFFFF}, {0xD1, 0x7F}},
        {{0x40C30001, 0x85000102}, {0xC3, 0x05}},
    };
    for (const auto& [words, bytes] : cases) {
        EXPECT_EQ(midi1Bytes(MIDI2UMPPacket(words)), bytes) << MIDI2UMPPacket(words).description();
    }
    // Group and channel stay; MIDI 1.0 packets pass through.
    EXPECT_EQ(wordsOf(MIDI2UMPPacket({0x4B9A3C00, 0xFFFF0000}).downConvertedMIDI1ChannelVoice()), (Words{0x2B9A3C7F}));
    const MIDI2UMPPacket midi1{0x25C40300};
    EXPECT_EQ(midi1.downConvertedMIDI1ChannelVoice(), midi1);
}

TEST(MIDI2DownConversion, UnsupportedMessagesFailWithTheirTexts) {
    const auto downConverting = [](Words words) {
        return descriptionThrownBy<MIDI2UMPError>(
            [&] { (void)MIDI2UMPPacket(words).downConvertedMIDI1ChannelVoice(); });
    };
    EXPECT_EQ(downConverting({0x40250000, 0}), "MIDI 2.0 Channel Voice status 0x25 is not yet down-converted.");
    EXPECT_EQ(downConverting({0x40F03C00, 0}), "MIDI 2.0 Channel Voice status 0xF0 is not yet down-converted.");
    EXPECT_EQ(downConverting({0x10F80000}),
              "Only MIDI Channel Voice packets can be down-converted to MIDI 1.0 Channel Voice.");
    EXPECT_EQ(descriptionThrownBy<MIDI2UMPError>([] { (void)MIDI2UMPPacket({0x40903C00, 0}).midi1ByteStream(); }),
              "Only MIDI 1 Channel Voice and System packets can be converted to MIDI 1 byte stream without "
              "down-conversion.");
}

TEST(MIDI2ByteStreamRendering, SystemAndMIDI1PacketsBecomeTheirBytes) {
    EXPECT_EQ(MIDI2UMPPacket({0x10F81234}).midi1ByteStream().toBytes(), (Bytes{0xF8}));
    EXPECT_EQ(MIDI2UMPPacket({0x10F31234}).midi1ByteStream().toBytes(), (Bytes{0xF3, 0x12}));
    EXPECT_EQ(MIDI2UMPPacket({0x10F21020}).midi1ByteStream().toBytes(), (Bytes{0xF2, 0x10, 0x20}));
    EXPECT_EQ(MIDI2UMPPacket({0x20C57F11}).midi1ByteStream().toBytes(), (Bytes{0xC5, 0x7F}));
    EXPECT_EQ(MIDI2UMPPacket({0x20E50040}).midi1ByteStream().toBytes(), (Bytes{0xE5, 0x00, 0x40}));
    for (const std::uint32_t word : {0x10F00000u, 0x10F70000u, 0x10F40000u, 0x10800000u, 0x20700000u}) {
        EXPECT_EQ(thrownBy<MIDI2UMPError>([&] { (void)MIDI2UMPPacket({word}).midi1ByteStream(); }),
                  MIDI2UMPError::invalidStatus(static_cast<std::uint8_t>(word >> 16)));
    }
}

// ---- Markers ------------------------------------------------------------------------------

TEST(MIDI2Diagnostics, MarkersAreOffOnlyWhenTheVariableIsExactlyZero) {
    {
        MarkerCapture capture(nullptr);
        (void)MIDI2UMPPacket::utilityDeltaClockstamp(7);
        EXPECT_EQ(capture.lines(),
                  (std::vector<std::string>{"[MIDI2] UMP_CREATE_UTILITY_DELTA_CLOCKSTAMP | ticksSinceLastEvent=7"}));
    }
    {
        MarkerCapture capture("0");
        (void)MIDI2UMPPacket::parseWordStream(Words{0x00400000});
        EXPECT_TRUE(capture.lines().empty());
    }
    for (const char* value : {"false", "", "00"}) {
        MarkerCapture capture(value);
        MIDI2Diagnostics::marker("NAME", "");
        EXPECT_EQ(capture.lines(), (std::vector<std::string>{"[MIDI2] NAME"})) << value;
    }
}

}  // namespace
}  // namespace orvane::midi
