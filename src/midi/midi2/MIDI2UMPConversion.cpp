// Conversion of Channel Voice and System packets to MIDI 1.0: the MIDI 2.0 to MIDI 1.0
// Channel Voice down-conversion and the rendering of a packet as MIDI 1.0 bytes.

#include "midi/midi2/MIDI2Diagnostics.h"
#include "midi/midi2/MIDI2UMPPacket.h"
#include "support/TextFormat.h"

namespace orvane::midi {
namespace {

std::uint8_t top7Bits(std::uint32_t value) { return static_cast<std::uint8_t>(value >> 25); }

MIDI1ByteMessage message(std::initializer_list<std::uint8_t> bytes) {
    MIDI1ByteMessage result;
    for (const std::uint8_t byte : bytes) result.bytes[result.size++] = byte;
    return result;
}

// The detail of the marker that closes a down-conversion.
std::string downConversionDetail(std::uint8_t status, std::uint8_t data1, std::uint8_t data2, std::uint32_t value) {
    switch (status >> 4) {
        case 0x8:
        case 0x9:
            return formatString("status=0x%02X velocity16=%u velocity7=%u", status, value >> 16, data2);
        case 0xA:
            return formatString("status=0x%02X note=%u pressure7=%u", status, data1, data2);
        case 0xB:
            return formatString("status=0x%02X controller=%u value7=%u", status, data1, data2);
        case 0xC:
            return formatString("status=0x%02X program=%u", status, data1);
        case 0xD:
            return formatString("status=0x%02X pressure7=%u", status, data1);
        default:
            return formatString("status=0x%02X bend14=%u", status,
                                static_cast<unsigned>(data1) | static_cast<unsigned>(data2) << 7);
    }
}

}  // namespace

std::string midi2NotDownConvertedText(std::uint8_t status) {
    return formatString("MIDI 2.0 Channel Voice status 0x%02X is not yet down-converted.", status);
}

MIDI2UMPPacket MIDI2UMPPacket::downConvertedMIDI1ChannelVoice() const {
    switch (messageType()) {
        case MIDI2UMPMessageType::midi1ChannelVoice:
            return *this;
        case MIDI2UMPMessageType::midi2ChannelVoice:
            if (MIDI2Diagnostics::markersEnabled()) {
                MIDI2Diagnostics::marker("UMP_DOWNCONVERT_MIDI2_TO_MIDI1_BEGIN",
                                         formatString("group=%u status=0x%02X", groupField(), statusField()));
            }
            return downConvertMIDI2ChannelVoice();
        default:
            throw MIDI2UMPError::unsupportedMessage(
                "Only MIDI Channel Voice packets can be down-converted to MIDI 1.0 Channel Voice.");
    }
}

MIDI2UMPPacket MIDI2UMPPacket::downConvertMIDI2ChannelVoice() const {
    if (count_ != 2) {
        throw MIDI2UMPError::incorrectWordCount(static_cast<std::uint8_t>(messageType()), 2, count_);
    }
    const std::uint8_t status = statusField();
    const std::uint8_t group = groupField();
    const auto index = static_cast<std::uint8_t>((words_[0] >> 8) & 0x7F);
    const std::uint32_t value = words_[1];
    std::uint8_t data1 = index;
    std::uint8_t data2 = top7Bits(value);
    switch (status >> 4) {
        case 0x8:
        case 0xA:
        case 0xB:
            break;
        case 0x9:
            if (data2 == 0) data2 = 1;  // a MIDI 1.0 note-on of velocity 0 would be a note-off
            break;
        case 0xC:
            data1 = static_cast<std::uint8_t>((value >> 24) & 0x7F);
            data2 = 0;
            break;
        case 0xD:
            data1 = top7Bits(value);
            data2 = 0;
            break;
        case 0xE: {
            // The top 14 bits, so that the centre 0x80000000 becomes the MIDI 1.0 centre 8192.
            const std::uint32_t bend14 = value >> 18;
            data1 = static_cast<std::uint8_t>(bend14 & 0x7F);
            data2 = static_cast<std::uint8_t>(bend14 >> 7);
            break;
        }
        default:
            throw MIDI2UMPError::unsupportedMessage(midi2NotDownConvertedText(status));
    }
    MIDI2UMPPacket converted = midi1ChannelVoice(group, status, data1, data2);
    if (MIDI2Diagnostics::markersEnabled()) {
        MIDI2Diagnostics::marker("UMP_DOWNCONVERT_MIDI2_TO_MIDI1_OK",
                                 downConversionDetail(status, data1, data2, value));
    }
    return converted;
}

MIDI1ByteMessage MIDI2UMPPacket::midi1ByteStream() const {
    const std::uint8_t status = statusField();
    const auto data1 = static_cast<std::uint8_t>(words_[0] >> 8);
    const auto data2 = static_cast<std::uint8_t>(words_[0]);
    switch (messageType()) {
        case MIDI2UMPMessageType::system:
            if (MIDI2Diagnostics::markersEnabled()) {
                MIDI2Diagnostics::marker("UMP_TO_MIDI1_BYTE_STREAM", formatString("type=system status=0x%02X", status));
            }
            if (status <= 0xF0) throw MIDI2UMPError::invalidStatus(status);
            switch (MIDI2UMPByteStream::expectedDataByteCount(status).value_or(-1)) {
                case 0:
                    return message({status});
                case 1:
                    return message({status, data1});
                case 2:
                    return message({status, data1, data2});
                default:
                    throw MIDI2UMPError::invalidStatus(status);
            }
        case MIDI2UMPMessageType::midi1ChannelVoice:
            if (MIDI2Diagnostics::markersEnabled()) {
                MIDI2Diagnostics::marker("UMP_TO_MIDI1_BYTE_STREAM",
                                         formatString("type=midi1ChannelVoice status=0x%02X", status));
            }
            if (status < 0x80 || status > 0xEF) throw MIDI2UMPError::invalidStatus(status);
            if (status >= 0xC0 && status <= 0xDF) return message({status, data1});
            return message({status, data1, data2});
        default:
            throw MIDI2UMPError::unsupportedMessage(
                "Only MIDI 1 Channel Voice and System packets can be converted to MIDI 1 byte stream without "
                "down-conversion.");
    }
}

}  // namespace orvane::midi
