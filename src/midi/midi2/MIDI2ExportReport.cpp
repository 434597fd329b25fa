// The report of a MIDI 2.0 export, read back from the bytes that were written.

#include <array>

#include "midi/midi2/MIDI2ClipFile.h"
#include "midi/midi2/MIDI2Diagnostics.h"
#include "midi/midi2/MIDI2Export.h"

namespace orvane::midi {
namespace {

// A SysEx7 Data packet (status complete, start, continue or end) as this program writes them.
bool isSysEx7(const MIDI2UMPPacket& packet) {
    return packet.messageType() == MIDI2UMPMessageType::data && (packet.statusField() >> 4) <= 0x3;
}

// The first packet of a System Exclusive message: complete in one packet, or its start.
bool startsSystemExclusive(const MIDI2UMPPacket& packet) {
    return isSysEx7(packet) && (packet.statusField() >> 4) <= 0x1;
}

}  // namespace

std::optional<MIDI2OperationReport> midi2ExportReport(const MIDIFile& file, std::span<const std::uint8_t> data,
                                                      const std::string& fileName, const std::string& formatLabel,
                                                      int representedTrackCount,
                                                      const std::optional<MIDI2NativeReexportEligibility>& eligibility,
                                                      const std::vector<std::string>& skippedEventItems) {
    MIDI2ClipPayload clip;
    if (MIDI2Diagnostics::markersEnabled() || !MIDI2ClipFile::isMIDI2Clip(data) || data.size() % 4 != 0) {
        // The checks of a clip read from a file, with their markers.
        try {
            clip = MIDI2ClipFile::checkedPayload(data);
        } catch (const MIDI2ClipFileError&) {
            return std::nullopt;
        }
    } else {
        // Every packet whole is checked in the pass that counts them.
        clip.bytes = data.subspan(MIDI2ClipFile::magicBytes().size());
    }
    MIDI2OperationReport report;
    int systemExclusiveMessages = 0;
    std::array<bool, 256> seen{};  // (group, channel) pairs with Channel Voice packets
    std::size_t packetCount = 0;
    // Delta Clockstamps and Channel Voice packets, almost all of a clip, are read from their
    // first bytes; the rest are built as packets.
    const std::size_t words = clip.wordCount();
    for (std::size_t index = 0; index < words; ++packetCount) {
        const std::uint8_t* at = clip.bytes.data() + 4 * index;
        // The two packets almost every clip is made of first: one word each.
        if (at[0] >> 4 == 0x2) {
            ++report.midi1ChannelVoicePackets;
            seen[static_cast<std::size_t>((at[0] & 0xF) * 16 + (at[1] & 0xF))] = true;
            ++index;
            continue;
        }
        if (at[0] >> 4 == 0x0) {
            if ((at[1] >> 4) == 0x4) ++report.deltaClockstampPackets;
            ++index;
            continue;
        }
        const std::size_t size = clip.packetWordCount(index);
        if (size > words - index) return std::nullopt;
        switch (static_cast<MIDI2UMPMessageType>(at[0] >> 4)) {
            case MIDI2UMPMessageType::utility:
                if ((at[1] >> 4) == 0x4) ++report.deltaClockstampPackets;
                break;
            case MIDI2UMPMessageType::midi1ChannelVoice:
            case MIDI2UMPMessageType::midi2ChannelVoice:
                ++(at[0] >> 4 == 0x2 ? report.midi1ChannelVoicePackets : report.midi2ChannelVoicePackets);
                seen[static_cast<std::size_t>((at[0] & 0xF) * 16 + (at[1] & 0xF))] = true;
                break;
            case MIDI2UMPMessageType::stream:
                break;
            default: {
                const MIDI2UMPPacket packet = clip.packet(index);
                if (packet.isFlexDataSetTempo()) {
                    ++report.flexTempoPackets;
                } else if (packet.isFlexDataSetTimeSignature()) {
                    ++report.flexTimeSignaturePackets;
                } else if (isSysEx7(packet)) {
                    // System Exclusive messages of the song, written on purpose: not unsupported.
                    if (startsSystemExclusive(packet)) ++systemExclusiveMessages;
                } else {
                    ++report.unsupportedPackets;
                }
                break;
            }
        }
        index += size;
    }
    for (std::size_t key = 0; key < seen.size(); ++key) {
        if (!seen[key]) continue;
        const auto group = static_cast<std::uint8_t>(key / 16);
        report.groups.insert(group);
        report.channelsByGroup[group].insert(static_cast<std::uint8_t>(key % 16));
    }
    const int nativeReexported = eligibility ? eligibility->nativeReexportedPackets : 0;
    report.preservedItems = {
        "Edited channel voice events from Orvane's current export snapshot",
        "Mixer CC/program state emitted at the effective start of exported tracks",
        "MIDI Clip Delta Clockstamp timing",
    };
    if (report.flexTempoPackets >= 1)
        report.preservedItems.emplace_back("Tempo override/source tempo as Flex Data Set Tempo");
    if (report.flexTimeSignaturePackets >= 1) {
        report.preservedItems.emplace_back("Source time signature as Flex Data Set Time Signature");
    }
    if (nativeReexported >= 1) {
        report.preservedItems.push_back(std::to_string(nativeReexported) +
                                        " exact-match native MIDI 2.0 packet(s) re-exported");
    }
    if (systemExclusiveMessages >= 1) {
        report.preservedItems.push_back(std::to_string(systemExclusiveMessages) +
                                        " System Exclusive message(s) as UMP SysEx7 Data packets");
    }
    report.convertedItems = {nativeReexported >= 1
                                 ? "Non-native or nonmatching editable events written as MIDI 1.0-resolution UMP/MIDI "
                                   "Clip data"
                                 : "Current MIDI 1.0-resolution edit state written as UMP/MIDI Clip data"};
    report.skippedItems = skippedEventItems;
    const auto common = midi2SkippedItems(report.unsupportedPackets, report.midi2ChannelVoicePackets, eligibility);
    report.skippedItems.insert(report.skippedItems.end(), common.begin(), common.end());

    report.operation = MIDI2OperationReport::Operation::exported(fileName, formatLabel);
    report.fileType = "MIDI 2.0 MIDI Clip (.midi2 / SMF2CLIP)";
    report.totalPackets = static_cast<int>(packetCount);
    report.tracks = representedTrackCount;
    report.ticksPerQuarterNote = file.timeDivision;
    report.midi2ChannelVoiceDownConverted = 0;
    report.nativeReexportEligibility = eligibility;
    return report;
}

}  // namespace orvane::midi
