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

// ---- Counting the written packets ------------------------------------------------------------

void MIDI2ClipPacketCounter::count(const std::uint8_t* at) {
    ++packetCount;
    switch (static_cast<MIDI2UMPMessageType>(at[0] >> 4)) {
        case MIDI2UMPMessageType::utility:
            if ((at[1] >> 4) == 0x4) ++deltaClockstampPackets;
            break;
        case MIDI2UMPMessageType::midi1ChannelVoice:
        case MIDI2UMPMessageType::midi2ChannelVoice:
            ++(at[0] >> 4 == 0x2 ? midi1ChannelVoicePackets : midi2ChannelVoicePackets);
            channelsSeen[static_cast<std::size_t>((at[0] & 0xF) * 16 + (at[1] & 0xF))] = true;
            break;
        case MIDI2UMPMessageType::stream:
            break;
        default: {
            std::array<std::uint32_t, 4> words{};
            const auto size = static_cast<std::size_t>(midi2UMPWordCount(static_cast<MIDI2UMPMessageType>(at[0] >> 4)));
            for (std::size_t w = 0; w < size; ++w) {
                words[w] = std::uint32_t{at[4 * w]} << 24 | std::uint32_t{at[4 * w + 1]} << 16 |
                           std::uint32_t{at[4 * w + 2]} << 8 | at[4 * w + 3];
            }
            const MIDI2UMPPacket packet(std::span<const std::uint32_t>(words.data(), size));
            if (packet.isFlexDataSetTempo()) {
                ++flexTempoPackets;
            } else if (packet.isFlexDataSetTimeSignature()) {
                ++flexTimeSignaturePackets;
            } else if (isSysEx7(packet)) {
                // System Exclusive messages of the song, written on purpose: not unsupported.
                if (startsSystemExclusive(packet)) ++systemExclusiveMessages;
            } else {
                ++unsupportedPackets;
            }
            break;
        }
    }
}

void MIDI2ClipPacketCounter::add(std::span<const std::uint8_t> bytes) {
    // The signature, then whole packets; a packet cut at the end of a piece waits for the next.
    while (byteCount < signature_.size() && !bytes.empty()) {
        signature_[byteCount++] = bytes.front();
        bytes = bytes.subspan(1);
    }
    byteCount += bytes.size();
    const auto packetBytes = [](std::uint8_t first) {
        return 4 * static_cast<std::size_t>(midi2UMPWordCount(static_cast<MIDI2UMPMessageType>(first >> 4)));
    };
    while (pendingSize_ > 0 && !bytes.empty()) {
        pending_[pendingSize_++] = bytes.front();
        bytes = bytes.subspan(1);
        if (pendingSize_ == packetBytes(pending_[0])) {
            count(pending_.data());
            pendingSize_ = 0;
        }
    }
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::uint8_t* packet = bytes.data() + at;
        // The two packets almost every clip is made of first: one word each.
        if (packet[0] >> 4 == 0x2 && bytes.size() - at >= 4) {
            ++packetCount;
            ++midi1ChannelVoicePackets;
            channelsSeen[static_cast<std::size_t>((packet[0] & 0xF) * 16 + (packet[1] & 0xF))] = true;
            at += 4;
            continue;
        }
        if (packet[0] >> 4 == 0x0 && bytes.size() - at >= 4) {
            ++packetCount;
            if ((packet[1] >> 4) == 0x4) ++deltaClockstampPackets;
            at += 4;
            continue;
        }
        const std::size_t size = packetBytes(packet[0]);
        if (size > bytes.size() - at) break;
        count(packet);
        at += size;
    }
    for (; at < bytes.size(); ++at) pending_[pendingSize_++] = bytes[at];
}

bool MIDI2ClipPacketCounter::whole() const noexcept {
    return byteCount >= signature_.size() && MIDI2ClipFile::isMIDI2Clip(signature_) && pendingSize_ == 0;
}

// ---- The report -------------------------------------------------------------------------------

std::optional<MIDI2OperationReport> midi2ExportReport(const MIDIFile& file, std::span<const std::uint8_t> data,
                                                      const std::string& fileName, const std::string& formatLabel,
                                                      int representedTrackCount,
                                                      const std::optional<MIDI2NativeReexportEligibility>& eligibility,
                                                      const std::vector<std::string>& skippedEventItems) {
    if (MIDI2Diagnostics::markersEnabled()) {
        // The checks of a clip read from a file, with their markers.
        try {
            (void)MIDI2ClipFile::checkedPayload(data);
        } catch (const MIDI2ClipFileError&) {
            return std::nullopt;
        }
    }
    MIDI2ClipPacketCounter written;
    written.add(data);
    return midi2ExportReport(file, written, fileName, formatLabel, representedTrackCount, eligibility,
                             skippedEventItems);
}

std::optional<MIDI2OperationReport> midi2ExportReport(const MIDIFile& file, const MIDI2ClipPacketCounter& written,
                                                      const std::string& fileName, const std::string& formatLabel,
                                                      int representedTrackCount,
                                                      const std::optional<MIDI2NativeReexportEligibility>& eligibility,
                                                      const std::vector<std::string>& skippedEventItems) {
    if (!written.whole()) return std::nullopt;
    MIDI2OperationReport report;
    report.deltaClockstampPackets = written.deltaClockstampPackets;
    report.midi1ChannelVoicePackets = written.midi1ChannelVoicePackets;
    report.midi2ChannelVoicePackets = written.midi2ChannelVoicePackets;
    report.flexTempoPackets = written.flexTempoPackets;
    report.flexTimeSignaturePackets = written.flexTimeSignaturePackets;
    report.unsupportedPackets = written.unsupportedPackets;
    const int systemExclusiveMessages = written.systemExclusiveMessages;
    const std::size_t packetCount = written.packetCount;
    const std::array<bool, 256>& seen = written.channelsSeen;
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
