// Universal MIDI Packets and the MIDI Clip container: framing, damaged data, recognisers,
// conversion to MIDI 1.0 and when the debug markers are written.

#include <gtest/gtest.h>

#include "MIDI2TestSupport.h"
#include "midi/midi2/MIDI2ClipFile.h"
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
        EXPECT_EQ(static_cast<std::uint32_t>(packets[0].messageType()), type);
        if (count > 1) {
            words.pop_back();
            EXPECT_EQ(thrownBy<MIDI2UMPError>([&] { (void)MIDI2UMPPacket::parseWordStream(words); }),
                      MIDI2UMPError::truncatedPacket(static_cast<std::uint8_t>(type), count, count - 1));
        }
    }
    EXPECT_FALSE(midi2UMPMessageType(0x10));
}

TEST(MIDI2UMPPacket, ConstructionValidatesTheWordCountAndTheFields) {
    EXPECT_EQ(thrownBy<MIDI2UMPError>([] { MIDI2UMPPacket packet(std::span<const std::uint32_t>{}); }),
              MIDI2UMPError::emptyPacket());
    EXPECT_EQ(thrownBy<MIDI2UMPError>([] { MIDI2UMPPacket packet{0x50000000, 0, 0, 0, 0}; }),
              MIDI2UMPError::tooManyWords(5));
    EXPECT_EQ(thrownBy<MIDI2UMPError>([] { MIDI2UMPPacket packet{0x00400000, 0}; }),
              MIDI2UMPError::incorrectWordCount(0x0, 1, 2));
    EXPECT_EQ(descriptionThrownBy<MIDI2UMPError>([] { (void)MIDI2UMPPacket::utilityDeltaClockstamp(0x100000); }),
              "Delta Clockstamp exceeds 20-bit UMP Utility range.");
    EXPECT_EQ(thrownBy<MIDI2UMPError>([] { (void)MIDI2UMPPacket::flexDataSetTempo(16, 1); }),
              MIDI2UMPError::invalidGroup(16));
    // The largest ticks per quarter note keeps all sixteen bits.
    EXPECT_EQ(MIDI2UMPPacket::utilityDeltaClockstampTPQ(0xFFFF).bigEndianData(), (Bytes{0x00, 0x30, 0xFF, 0xFF}));
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

TEST(MIDI2ByteStreamRendering, SystemAndMIDI1PacketsBecomeTheirBytes) {
    EXPECT_EQ(MIDI2UMPPacket({0x10F81234}).midi1ByteStream().toBytes(), (Bytes{0xF8}));
    EXPECT_EQ(MIDI2UMPPacket({0x10F31234}).midi1ByteStream().toBytes(), (Bytes{0xF3, 0x12}));
    EXPECT_EQ(MIDI2UMPPacket({0x20C57F11}).midi1ByteStream().toBytes(), (Bytes{0xC5, 0x7F}));
    for (const std::uint32_t word : {0x10F00000u, 0x10F70000u, 0x10F40000u, 0x10800000u, 0x20700000u}) {
        EXPECT_EQ(thrownBy<MIDI2UMPError>([&] { (void)MIDI2UMPPacket({word}).midi1ByteStream(); }),
                  MIDI2UMPError::invalidStatus(static_cast<std::uint8_t>(word >> 16)));
    }
}

// ---- The MIDI Clip container ------------------------------------------------------------

TEST(MIDI2ClipFile, RejectsShortMisnamedUnalignedAndTruncatedData) {
    const auto parsing = [](const Bytes& bytes) {
        return descriptionThrownBy<MIDI2ClipFileError>([&] { (void)MIDI2ClipFile::parse(bytes); });
    };
    EXPECT_FALSE(MIDI2ClipFile::isMIDI2Clip(Bytes{'S', 'M', 'F', '2', 'C', 'L', 'I'}));
    EXPECT_EQ(parsing(Bytes(7, 'S')), "SMF2/MIDI Clip data is too short: 7 bytes.");
    EXPECT_EQ(parsing({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 1, 0xE0}),
              "SMF2/MIDI Clip header is invalid: 4D 54 68 64 00 00 00 06.");
    Bytes unaligned = testing::clipBytes({});
    unaligned.resize(14, 0);
    EXPECT_EQ(parsing(unaligned), "SMF2/MIDI Clip UMP payload must be aligned to 32-bit words: 6 bytes.");
    EXPECT_EQ(parsing(testing::clipBytes({0x00400000, 0x40903C00})),
              "SMF2/MIDI Clip packet error: UMP type 0x4 expected 2 words, only 1 remain.");
}

// ---- Markers ------------------------------------------------------------------------------

TEST(MIDI2Diagnostics, MarkersAreOffOnlyWhenTheVariableIsExactlyZero) {
    {
        MarkerCapture capture(nullptr);
        (void)MIDI2UMPPacket::utilityDeltaClockstamp(7);
        EXPECT_EQ(capture.lines(),
                  (std::vector<std::string>{"[MIDI2] UMP_CREATE_UTILITY_DELTA_CLOCKSTAMP | ticksSinceLastEvent=7"}));
    }
    // orvane-cli's tests check that "0" turns them off.
    for (const char* value : {"", "00"}) {
        MarkerCapture capture(value);
        MIDI2Diagnostics::marker("NAME", "");
        EXPECT_EQ(capture.lines(), (std::vector<std::string>{"[MIDI2] NAME"})) << value;
    }
}

}  // namespace
}  // namespace orvane::midi
