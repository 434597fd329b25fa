#pragma once
// Universal MIDI Packets: the packet value, its message types and word counts, parsing of word
// streams and big-endian bytes, the constructors of every packet this program writes, the
// recognisers of the packets it interprets, and conversion to MIDI 1.0 bytes.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::midi {

using Bytes = std::vector<std::uint8_t>;

// The message type in bits 31..28 of a packet's first word.
enum class MIDI2UMPMessageType : std::uint8_t {
    utility = 0x0,
    system = 0x1,
    midi1ChannelVoice = 0x2,
    data = 0x3,
    midi2ChannelVoice = 0x4,
    extendedData = 0x5,
    reserved32Bit6 = 0x6,
    reserved32Bit7 = 0x7,
    reserved64Bit8 = 0x8,
    reserved64Bit9 = 0x9,
    reserved64BitA = 0xA,
    reserved96BitB = 0xB,
    reserved96BitC = 0xC,
    flexData = 0xD,
    reserved128BitE = 0xE,
    stream = 0xF,
};

// Every message type, in raw-value order.
std::span<const MIDI2UMPMessageType> allMIDI2UMPMessageTypes();
// The type of a raw value; nothing when any of bits 7..4 is set.
std::optional<MIDI2UMPMessageType> midi2UMPMessageType(std::uint8_t raw);
// Words that a packet of this type has.
inline int midi2UMPWordCount(MIDI2UMPMessageType type) {
    constexpr std::uint8_t counts[16] = {1, 1, 1, 2, 2, 4, 1, 1, 2, 2, 2, 3, 3, 4, 4, 4};
    return counts[static_cast<std::size_t>(type) & 0xF];
}
// The case name, e.g. "midi2ChannelVoice".
std::string_view midi2UMPMessageTypeName(MIDI2UMPMessageType type);

// Failures of the packet layer. Thrown as an exception; description() is the fixed text.
class MIDI2UMPError : public std::exception {
public:
    enum class Case {
        tooManyWords,
        unknownMessageType,
        incorrectWordCount,
        truncatedPacket,
        invalidGroup,
        invalidStatus,
        invalidDataByte,
        unsupportedMessage,
        emptyPacket,
    };

    static MIDI2UMPError tooManyWords(int count);
    static MIDI2UMPError unknownMessageType(std::uint8_t typeNibble);
    static MIDI2UMPError incorrectWordCount(std::uint8_t type, int expected, int actual);
    static MIDI2UMPError truncatedPacket(std::uint8_t type, int expected, int remaining);
    static MIDI2UMPError invalidGroup(std::uint8_t group);
    static MIDI2UMPError invalidStatus(std::uint8_t status);
    static MIDI2UMPError invalidDataByte(std::uint8_t byte);
    static MIDI2UMPError unsupportedMessage(std::string text);
    static MIDI2UMPError emptyPacket();

    [[nodiscard]] Case errorCase() const noexcept { return case_; }
    // The type nibble, group, status or data byte the error carries (0 when none).
    [[nodiscard]] std::uint8_t byteValue() const noexcept { return byte_; }
    // The word count of tooManyWords, or the expected word count.
    [[nodiscard]] int expected() const noexcept { return first_; }
    // The actual or remaining word count.
    [[nodiscard]] int found() const noexcept { return second_; }
    [[nodiscard]] const std::string& text() const noexcept { return text_; }

    [[nodiscard]] std::string description() const;
    [[nodiscard]] const char* what() const noexcept override { return description_.c_str(); }

    friend bool operator==(const MIDI2UMPError& a, const MIDI2UMPError& b) noexcept {
        return a.case_ == b.case_ && a.byte_ == b.byte_ && a.first_ == b.first_ && a.second_ == b.second_ &&
               a.text_ == b.text_;
    }

private:
    MIDI2UMPError(Case errorCase, std::uint8_t byte, int first, int second, std::string text);

    Case case_;
    std::uint8_t byte_;
    int first_;
    int second_;
    std::string text_;
    std::string description_;
};

// Facts about MIDI 1.0 byte streams.
namespace MIDI2UMPByteStream {
// Data bytes that follow a status byte in a complete short message; nothing for a byte that
// cannot start one (data bytes, System Exclusive, undefined and End of Exclusive statuses).
std::optional<int> expectedDataByteCount(std::uint8_t status);
}  // namespace MIDI2UMPByteStream

// The failure text of a MIDI 2.0 Channel Voice status that has no MIDI 1.0 form.
std::string midi2NotDownConvertedText(std::uint8_t status);

// One MIDI 1.0 short message of 1 to 3 bytes, kept inline.
struct MIDI1ByteMessage {
    std::array<std::uint8_t, 3> bytes{};
    std::uint8_t size = 0;

    [[nodiscard]] std::span<const std::uint8_t> data() const noexcept { return {bytes.data(), size}; }
    [[nodiscard]] Bytes toBytes() const { return Bytes(bytes.begin(), bytes.begin() + size); }
    friend bool operator==(const MIDI1ByteMessage& a, const MIDI1ByteMessage& b) noexcept {
        return a.size == b.size && std::equal(a.bytes.begin(), a.bytes.begin() + a.size, b.bytes.begin());
    }
};

struct MIDI2TimeSignatureFields {
    std::uint8_t numerator = 0;
    std::uint8_t denominatorExponent = 0;
    std::uint8_t thirtySecondNotesPerQuarter = 0;
    friend bool operator==(const MIDI2TimeSignatureFields&, const MIDI2TimeSignatureFields&) = default;
};

// One Universal MIDI Packet of 1 to 4 words in host order. Every packet has passed validation:
// its word count is that of its message type.
class MIDI2UMPPacket {
public:
    // Validates and wraps the words (throws MIDI2UMPError).
    explicit MIDI2UMPPacket(std::span<const std::uint32_t> words);
    MIDI2UMPPacket(std::initializer_list<std::uint32_t> words)
        : MIDI2UMPPacket(std::span<const std::uint32_t>(words.begin(), words.size())) {}

    // Splits a flat word stream into packets; one bad packet fails the whole stream.
    static std::vector<MIDI2UMPPacket> parseWordStream(std::span<const std::uint32_t> words);
    // Checks the framing of a word stream exactly as parseWordStream does (same markers, same
    // errors) without building packets; returns the packet count.
    static std::size_t validateWordStream(std::span<const std::uint32_t> words);
    // The same over big-endian words read in place (data holds whole words).
    static std::size_t validateBigEndianWordStream(std::span<const std::uint8_t> data);
    // Reads big-endian 32-bit words, then parses them as a word stream.
    static std::vector<MIDI2UMPPacket> packetsFromBigEndianData(std::span<const std::uint8_t> data);

    // ---- Constructors of the packets this program writes ------------------------------
    static MIDI2UMPPacket flexDataSetTempo(std::uint8_t group, std::uint32_t tenNanosecondsPerQuarterNote);
    static MIDI2UMPPacket flexDataSetTimeSignature(std::uint8_t numerator, std::uint8_t denominatorExponent,
                                                   std::uint8_t thirtySecondNotesPerQuarter);
    // Fails for 0x100000 ticks or more (20 bits).
    static MIDI2UMPPacket utilityDeltaClockstamp(std::uint32_t ticksSinceLastEvent);
    static MIDI2UMPPacket utilityDeltaClockstampTPQ(std::uint16_t ticksPerQuarterNote);
    static MIDI2UMPPacket midi1ChannelVoice(std::uint8_t group, std::uint8_t status, std::uint8_t data1,
                                            std::uint8_t data2);
    static MIDI2UMPPacket system(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    // One SysEx7 Data packet: status 0 complete, 1 start, 2 continue, 3 end; up to 6 bytes.
    static MIDI2UMPPacket systemExclusive7(std::uint8_t group, std::uint8_t status,
                                           std::span<const std::uint8_t> bytes);
    static const MIDI2UMPPacket& startOfClip();
    static const MIDI2UMPPacket& endOfClip();

    // ---- Reading ----------------------------------------------------------------------
    [[nodiscard]] std::span<const std::uint32_t> words() const noexcept { return {words_.data(), count_}; }
    [[nodiscard]] std::size_t wordCount() const noexcept { return count_; }
    [[nodiscard]] std::uint32_t word(std::size_t index) const noexcept { return words_[index]; }
    [[nodiscard]] MIDI2UMPMessageType messageType() const noexcept {
        return static_cast<MIDI2UMPMessageType>(words_[0] >> 28);
    }
    // Bits 27..24 of word 0.
    [[nodiscard]] std::uint8_t groupField() const noexcept {
        return static_cast<std::uint8_t>((words_[0] >> 24) & 0xF);
    }
    // Bits 23..16 of word 0.
    [[nodiscard]] std::uint8_t statusField() const noexcept { return static_cast<std::uint8_t>(words_[0] >> 16); }
    // Bits 19..16 of word 0 for MIDI 1.0 and MIDI 2.0 Channel Voice packets.
    [[nodiscard]] std::optional<std::uint8_t> channel() const noexcept;

    [[nodiscard]] bool isFlexDataSetTempo() const noexcept;
    [[nodiscard]] bool isFlexDataSetTimeSignature() const noexcept;
    [[nodiscard]] std::optional<std::uint32_t> flexDataSetTempoTenNanosecondsPerQuarterNote() const noexcept;
    [[nodiscard]] std::optional<MIDI2TimeSignatureFields> flexDataSetTimeSignature() const noexcept;

    // The words as bytes, most significant byte of each word first.
    [[nodiscard]] Bytes bigEndianData() const;
    void appendBigEndianData(Bytes& out) const;

    // ---- Conversion to MIDI 1.0 -------------------------------------------------------
    // A MIDI 1.0 Channel Voice packet unchanged; a MIDI 2.0 Channel Voice packet down-converted.
    [[nodiscard]] MIDI2UMPPacket downConvertedMIDI1ChannelVoice() const;
    // The bytes of a MIDI 1.0 Channel Voice or System packet.
    [[nodiscard]] MIDI1ByteMessage midi1ByteStream() const;

    // Each word as "0x%08X", joined by single spaces.
    [[nodiscard]] std::string description() const;

    friend bool operator==(const MIDI2UMPPacket& a, const MIDI2UMPPacket& b) noexcept {
        return a.count_ == b.count_ && std::equal(a.words_.begin(), a.words_.begin() + a.count_, b.words_.begin());
    }

private:
    MIDI2UMPPacket() = default;
    // Words whose count is known to match their type.
    static MIDI2UMPPacket trusted(std::span<const std::uint32_t> words) noexcept;
    [[nodiscard]] MIDI2UMPPacket downConvertMIDI2ChannelVoice() const;

    std::array<std::uint32_t, 4> words_{};
    std::uint8_t count_ = 0;
};

}  // namespace orvane::midi
