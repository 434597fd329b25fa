#include "midi/midi2/MIDI2UMPPacket.h"

#include <utility>

#include "midi/midi2/MIDI2Diagnostics.h"
#include "support/TextFormat.h"

namespace orvane::midi {
namespace {

constexpr std::array<MIDI2UMPMessageType, 16> messageTypes = {
    MIDI2UMPMessageType::utility,           MIDI2UMPMessageType::system,
    MIDI2UMPMessageType::midi1ChannelVoice, MIDI2UMPMessageType::data,
    MIDI2UMPMessageType::midi2ChannelVoice, MIDI2UMPMessageType::extendedData,
    MIDI2UMPMessageType::reserved32Bit6,    MIDI2UMPMessageType::reserved32Bit7,
    MIDI2UMPMessageType::reserved64Bit8,    MIDI2UMPMessageType::reserved64Bit9,
    MIDI2UMPMessageType::reserved64BitA,    MIDI2UMPMessageType::reserved96BitB,
    MIDI2UMPMessageType::reserved96BitC,    MIDI2UMPMessageType::flexData,
    MIDI2UMPMessageType::reserved128BitE,   MIDI2UMPMessageType::stream,
};

// Words per packet, indexed by the type nibble.
constexpr std::array<std::uint8_t, 16> wordCounts = {1, 1, 1, 2, 2, 4, 1, 1, 2, 2, 2, 3, 3, 4, 4, 4};

constexpr std::array<std::string_view, 16> typeNames = {
    "utility",        "system",         "midi1ChannelVoice", "data",           "midi2ChannelVoice", "extendedData",
    "reserved32Bit6", "reserved32Bit7", "reserved64Bit8",    "reserved64Bit9", "reserved64BitA",    "reserved96BitB",
    "reserved96BitC", "flexData",       "reserved128BitE",   "stream",
};

constexpr std::uint32_t flexSetTempoWord0 = 0xD0100000;
constexpr std::uint32_t flexSetTimeSignatureWord0 = 0xD0100001;
constexpr std::uint32_t flexRecogniserMask = 0x00F0FFFF;

std::uint8_t typeNibble(std::uint32_t word0) { return static_cast<std::uint8_t>(word0 >> 28); }

std::uint32_t wordFromBigEndian(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
           static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}

void emitMIDI1ChannelVoiceMarker(std::string_view name, std::uint8_t group, std::uint8_t status, std::uint8_t data1,
                                 std::uint8_t data2) {
    if (!MIDI2Diagnostics::markersEnabled()) return;
    MIDI2Diagnostics::marker(name,
                             formatString("group=%u status=0x%02X data1=%u data2=%u", group, status, data1, data2));
}

}  // namespace

// ---- Message types ----------------------------------------------------------------------

std::span<const MIDI2UMPMessageType> allMIDI2UMPMessageTypes() { return messageTypes; }

std::optional<MIDI2UMPMessageType> midi2UMPMessageType(std::uint8_t raw) {
    if ((raw & 0xF0) != 0) return std::nullopt;
    return static_cast<MIDI2UMPMessageType>(raw);
}

std::string_view midi2UMPMessageTypeName(MIDI2UMPMessageType type) {
    return typeNames[static_cast<std::size_t>(type) & 0xF];
}

// ---- Errors -----------------------------------------------------------------------------

MIDI2UMPError::MIDI2UMPError(Case errorCase, std::uint8_t byte, int first, int second, std::string text)
    : case_(errorCase), byte_(byte), first_(first), second_(second), text_(std::move(text)) {
    description_ = description();
}

MIDI2UMPError MIDI2UMPError::tooManyWords(int count) { return {Case::tooManyWords, 0, count, 0, {}}; }
MIDI2UMPError MIDI2UMPError::unknownMessageType(std::uint8_t typeNibble) {
    return {Case::unknownMessageType, typeNibble, 0, 0, {}};
}
MIDI2UMPError MIDI2UMPError::incorrectWordCount(std::uint8_t type, int expected, int actual) {
    return {Case::incorrectWordCount, type, expected, actual, {}};
}
MIDI2UMPError MIDI2UMPError::truncatedPacket(std::uint8_t type, int expected, int remaining) {
    return {Case::truncatedPacket, type, expected, remaining, {}};
}
MIDI2UMPError MIDI2UMPError::invalidGroup(std::uint8_t group) { return {Case::invalidGroup, group, 0, 0, {}}; }
MIDI2UMPError MIDI2UMPError::invalidStatus(std::uint8_t status) { return {Case::invalidStatus, status, 0, 0, {}}; }
MIDI2UMPError MIDI2UMPError::invalidDataByte(std::uint8_t byte) { return {Case::invalidDataByte, byte, 0, 0, {}}; }
MIDI2UMPError MIDI2UMPError::unsupportedMessage(std::string text) {
    return {Case::unsupportedMessage, 0, 0, 0, std::move(text)};
}
MIDI2UMPError MIDI2UMPError::emptyPacket() { return {Case::emptyPacket, 0, 0, 0, {}}; }

std::string MIDI2UMPError::description() const {
    switch (case_) {
        case Case::tooManyWords:
            return "UMP packet has " + std::to_string(first_) + " words; maximum is 4.";
        case Case::unknownMessageType:
            return formatString("Unknown UMP message type 0x%X.", byte_);
        case Case::incorrectWordCount:
            return formatString("UMP type 0x%X expected %d words, found %d.", byte_, first_, second_);
        case Case::truncatedPacket:
            return formatString("UMP type 0x%X expected %d words, only %d remain.", byte_, first_, second_);
        case Case::invalidGroup:
            return "UMP group " + std::to_string(byte_) + " is outside 0...15.";
        case Case::invalidStatus:
            return formatString("Invalid MIDI status byte 0x%02X.", byte_);
        case Case::invalidDataByte:
            return formatString("Invalid MIDI data byte 0x%02X.", byte_);
        case Case::unsupportedMessage:
            return text_;
        case Case::emptyPacket:
            return "UMP packet is empty.";
    }
    return {};
}

// ---- MIDI 1.0 byte-stream facts ---------------------------------------------------------

std::optional<int> MIDI2UMPByteStream::expectedDataByteCount(std::uint8_t status) {
    if (status < 0x80) return std::nullopt;
    if (status < 0xC0) return 2;
    if (status < 0xE0) return 1;
    if (status < 0xF0) return 2;
    switch (status) {
        case 0xF1:
        case 0xF3:
            return 1;
        case 0xF2:
            return 2;
        case 0xF6:
        case 0xF8:
        case 0xFA:
        case 0xFB:
        case 0xFC:
        case 0xFE:
        case 0xFF:
            return 0;
        default:  // 0xF0, 0xF4, 0xF5, 0xF7, 0xF9, 0xFD
            return std::nullopt;
    }
}

// ---- Packets ----------------------------------------------------------------------------

MIDI2UMPPacket::MIDI2UMPPacket(std::span<const std::uint32_t> words) {
    if (words.empty()) throw MIDI2UMPError::emptyPacket();
    if (words.size() > 4) throw MIDI2UMPError::tooManyWords(static_cast<int>(words.size()));
    const std::uint8_t type = typeNibble(words[0]);
    const int expected = wordCounts[type];
    if (static_cast<int>(words.size()) != expected) {
        throw MIDI2UMPError::incorrectWordCount(type, expected, static_cast<int>(words.size()));
    }
    std::copy(words.begin(), words.end(), words_.begin());
    count_ = static_cast<std::uint8_t>(words.size());
}

MIDI2UMPPacket MIDI2UMPPacket::trusted(std::span<const std::uint32_t> words) noexcept {
    MIDI2UMPPacket packet;
    std::copy(words.begin(), words.end(), packet.words_.begin());
    packet.count_ = static_cast<std::uint8_t>(words.size());
    return packet;
}

namespace {

// The framing check of a stream of wordCount words; typeAt(i) is the type nibble of word i.
template <typename TypeAt>
std::size_t validatedPacketCount(std::size_t wordCount, TypeAt&& typeAt) {
    MIDI2Diagnostics::MarkerScope scope;
    if (MIDI2Diagnostics::markersEnabled()) {
        MIDI2Diagnostics::marker("UMP_PARSE_WORD_STREAM_BEGIN", "words=" + std::to_string(wordCount));
    }
    std::size_t packetCount = 0;
    std::size_t index = 0;
    while (index < wordCount) {
        // Runs of one-word packets (Delta Clockstamps, MIDI 1.0 Channel Voice: most of a clip)
        // are walked by a loop whose next index does not wait for the type just read, so the
        // processor reads ahead instead of one word at a time.
        const std::size_t runStart = index;
        while (index < wordCount && wordCounts[typeAt(index)] == 1) ++index;
        packetCount += index - runStart;
        if (index == wordCount) break;
        const std::uint8_t type = typeAt(index);
        const std::size_t count = wordCounts[type];
        const std::size_t remaining = wordCount - index;
        if (remaining < count) {
            throw MIDI2UMPError::truncatedPacket(type, static_cast<int>(count), static_cast<int>(remaining));
        }
        index += count;
        ++packetCount;
    }
    if (MIDI2Diagnostics::markersEnabled()) {
        MIDI2Diagnostics::marker("UMP_PARSE_WORD_STREAM_OK", "packets=" + std::to_string(packetCount));
    }
    return packetCount;
}

}  // namespace

std::size_t MIDI2UMPPacket::validateWordStream(std::span<const std::uint32_t> words) {
    return validatedPacketCount(words.size(), [&](std::size_t i) { return typeNibble(words[i]); });
}

std::size_t MIDI2UMPPacket::validateBigEndianWordStream(std::span<const std::uint8_t> data) {
    return validatedPacketCount(data.size() / 4, [&](std::size_t i) { return static_cast<std::uint8_t>(data[4 * i] >> 4); });
}

std::vector<MIDI2UMPPacket> MIDI2UMPPacket::parseWordStream(std::span<const std::uint32_t> words) {
    std::vector<MIDI2UMPPacket> packets;
    packets.reserve(validateWordStream(words));
    for (std::size_t index = 0; index < words.size();) {
        const std::size_t count = wordCounts[typeNibble(words[index])];
        packets.push_back(trusted(words.subspan(index, count)));
        index += count;
    }
    return packets;
}

std::vector<MIDI2UMPPacket> MIDI2UMPPacket::packetsFromBigEndianData(std::span<const std::uint8_t> data) {
    if (data.size() % 4 != 0) {
        throw MIDI2UMPError::unsupportedMessage("UMP word data must be a multiple of 4 bytes.");
    }
    std::vector<std::uint32_t> words(data.size() / 4);
    for (std::size_t i = 0; i < words.size(); ++i) words[i] = wordFromBigEndian(data.data() + 4 * i);
    return parseWordStream(words);
}

MIDI2UMPPacket MIDI2UMPPacket::flexDataSetTempo(std::uint8_t group, std::uint32_t tenNanosecondsPerQuarterNote) {
    if (group > 15) throw MIDI2UMPError::invalidGroup(group);
    if (MIDI2Diagnostics::markersEnabled()) {
        MIDI2Diagnostics::marker("UMP_CREATE_FLEX_SET_TEMPO",
                                 "group=" + std::to_string(group) +
                                     " tenNanosecondsPerQuarterNote=" + std::to_string(tenNanosecondsPerQuarterNote));
    }
    const std::uint32_t word0 = flexSetTempoWord0 | static_cast<std::uint32_t>(group) << 24;
    const std::array<std::uint32_t, 4> words = {word0, tenNanosecondsPerQuarterNote, 0, 0};
    return trusted(words);
}

MIDI2UMPPacket MIDI2UMPPacket::flexDataSetTimeSignature(std::uint8_t numerator, std::uint8_t denominatorExponent,
                                                        std::uint8_t thirtySecondNotesPerQuarter) {
    if (MIDI2Diagnostics::markersEnabled()) {
        MIDI2Diagnostics::marker("UMP_CREATE_FLEX_SET_TIME_SIGNATURE",
                                 "group=0 numerator=" + std::to_string(numerator) +
                                     " denominatorExponent=" + std::to_string(denominatorExponent) +
                                     " thirtySecondNotesPerQuarter=" + std::to_string(thirtySecondNotesPerQuarter));
    }
    const std::uint32_t word1 = static_cast<std::uint32_t>(numerator) << 24 |
                                static_cast<std::uint32_t>(denominatorExponent) << 16 |
                                static_cast<std::uint32_t>(thirtySecondNotesPerQuarter) << 8;
    const std::array<std::uint32_t, 4> words = {flexSetTimeSignatureWord0, word1, 0, 0};
    return trusted(words);
}

MIDI2UMPPacket MIDI2UMPPacket::utilityDeltaClockstamp(std::uint32_t ticksSinceLastEvent) {
    if (ticksSinceLastEvent >= 0x100000) {
        throw MIDI2UMPError::unsupportedMessage("Delta Clockstamp exceeds 20-bit UMP Utility range.");
    }
    if (MIDI2Diagnostics::markersEnabled()) {
        MIDI2Diagnostics::marker("UMP_CREATE_UTILITY_DELTA_CLOCKSTAMP",
                                 "ticksSinceLastEvent=" + std::to_string(ticksSinceLastEvent));
    }
    const std::uint32_t word = 0x00400000 | ticksSinceLastEvent;
    return trusted({&word, 1});
}

MIDI2UMPPacket MIDI2UMPPacket::utilityDeltaClockstampTPQ(std::uint16_t ticksPerQuarterNote) {
    if (MIDI2Diagnostics::markersEnabled()) {
        MIDI2Diagnostics::marker("UMP_CREATE_UTILITY_DELTA_CLOCKSTAMP_TPQ",
                                 "ticksPerQuarterNote=" + std::to_string(ticksPerQuarterNote));
    }
    const std::uint32_t word = 0x00300000 | ticksPerQuarterNote;
    return trusted({&word, 1});
}

MIDI2UMPPacket MIDI2UMPPacket::midi1ChannelVoice(std::uint8_t group, std::uint8_t status, std::uint8_t data1,
                                                 std::uint8_t data2) {
    emitMIDI1ChannelVoiceMarker("UMP_CREATE_MIDI1_CHANNEL_VOICE", group, status, data1, data2);
    const std::uint32_t word = 0x20000000 | static_cast<std::uint32_t>(group & 0xF) << 24 |
                               static_cast<std::uint32_t>(status) << 16 | static_cast<std::uint32_t>(data1) << 8 |
                               data2;
    return trusted({&word, 1});
}

MIDI2UMPPacket MIDI2UMPPacket::system(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    emitMIDI1ChannelVoiceMarker("UMP_CREATE_SYSTEM", 0, status, data1, data2);
    const std::uint32_t word =
        0x10000000 | static_cast<std::uint32_t>(status) << 16 | static_cast<std::uint32_t>(data1) << 8 | data2;
    return trusted({&word, 1});
}

MIDI2UMPPacket MIDI2UMPPacket::systemExclusive7(std::uint8_t group, std::uint8_t status,
                                                std::span<const std::uint8_t> bytes) {
    std::array<std::uint8_t, 6> payload{};
    const std::size_t count = std::min<std::size_t>(bytes.size(), payload.size());
    std::copy_n(bytes.begin(), count, payload.begin());
    if (MIDI2Diagnostics::markersEnabled()) {
        MIDI2Diagnostics::marker("UMP_CREATE_SYSEX7",
                                 formatString("group=%u status=%u bytes=%zu", group & 0xF, status & 0xF, count));
    }
    const std::array<std::uint32_t, 2> words = {
        0x30000000 | static_cast<std::uint32_t>(group & 0xF) << 24 | static_cast<std::uint32_t>(status & 0xF) << 20 |
            static_cast<std::uint32_t>(count) << 16 | static_cast<std::uint32_t>(payload[0]) << 8 | payload[1],
        wordFromBigEndian(payload.data() + 2),
    };
    return trusted(words);
}

const MIDI2UMPPacket& MIDI2UMPPacket::startOfClip() {
    static const MIDI2UMPPacket packet{0xF0200000, 0, 0, 0};
    return packet;
}

const MIDI2UMPPacket& MIDI2UMPPacket::endOfClip() {
    static const MIDI2UMPPacket packet{0xF0210000, 0, 0, 0};
    return packet;
}

std::optional<std::uint8_t> MIDI2UMPPacket::channel() const noexcept {
    const auto type = messageType();
    if (type != MIDI2UMPMessageType::midi1ChannelVoice && type != MIDI2UMPMessageType::midi2ChannelVoice) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>((words_[0] >> 16) & 0xF);
}

bool MIDI2UMPPacket::isFlexDataSetTempo() const noexcept {
    return count_ == 4 && messageType() == MIDI2UMPMessageType::flexData &&
           (words_[0] & flexRecogniserMask) == (flexSetTempoWord0 & flexRecogniserMask);
}

bool MIDI2UMPPacket::isFlexDataSetTimeSignature() const noexcept {
    return count_ == 4 && messageType() == MIDI2UMPMessageType::flexData &&
           (words_[0] & flexRecogniserMask) == (flexSetTimeSignatureWord0 & flexRecogniserMask);
}

std::optional<std::uint32_t> MIDI2UMPPacket::flexDataSetTempoTenNanosecondsPerQuarterNote() const noexcept {
    if (!isFlexDataSetTempo()) return std::nullopt;
    return words_[1];
}

std::optional<MIDI2TimeSignatureFields> MIDI2UMPPacket::flexDataSetTimeSignature() const noexcept {
    if (!isFlexDataSetTimeSignature()) return std::nullopt;
    return MIDI2TimeSignatureFields{static_cast<std::uint8_t>(words_[1] >> 24),
                                    static_cast<std::uint8_t>(words_[1] >> 16),
                                    static_cast<std::uint8_t>(words_[1] >> 8)};
}

Bytes MIDI2UMPPacket::bigEndianData() const {
    Bytes out;
    out.reserve(4u * count_);
    appendBigEndianData(out);
    return out;
}

void MIDI2UMPPacket::appendBigEndianData(Bytes& out) const {
    for (std::size_t i = 0; i < count_; ++i) {
        const std::uint32_t word = words_[i];
        out.push_back(static_cast<std::uint8_t>(word >> 24));
        out.push_back(static_cast<std::uint8_t>(word >> 16));
        out.push_back(static_cast<std::uint8_t>(word >> 8));
        out.push_back(static_cast<std::uint8_t>(word));
    }
}

std::string MIDI2UMPPacket::description() const {
    std::string text;
    for (std::size_t i = 0; i < count_; ++i) {
        if (i > 0) text += ' ';
        text += formatString("0x%08X", words_[i]);
    }
    return text;
}

}  // namespace orvane::midi
