#include "midi/midi2/MIDI2PacketWalker.h"

namespace orvane::midi {
namespace {

using Entry = MIDI2NativePacketInventory::Entry;
using Reason = MIDI2PacketReason;
using Scope = MIDI2NativePacketScope;
using Action = MIDI2NativePacketAction;

void classify(Entry& entry, Scope scope, Action action, Reason reason) {
    entry.scope = scope;
    entry.action = action;
    entry.reason = reason;
}

void skip(Entry& entry, Reason reason) { classify(entry, Scope::unsupported, Action::skippedUnsupported, reason); }

// MIDI 2.0 Channel Voice opcodes that have a MIDI 1.0 form: note off to pitch bend.
bool downConverts(const MIDI2UMPPacket& packet) {
    const std::uint8_t opcode = packet.statusField() >> 4;
    return packet.wordCount() == 2 && opcode >= 0x8 && opcode <= 0xE;
}

}  // namespace

bool midi2PacketHasHighResolutionValue(const MIDI2UMPPacket& packet) {
    if (packet.messageType() != MIDI2UMPMessageType::midi2ChannelVoice || packet.wordCount() != 2) return false;
    const std::uint32_t value = packet.word(1);
    switch (packet.statusField() >> 4) {
        case 0x8:
        case 0x9:
            return ((value >> 16) & 0x1FF) != 0;
        case 0xA:
        case 0xB:
        case 0xD:
        case 0xE:
            return (value & 0x1FFFFFF) != 0;
        default:
            return value != 0;
    }
}

std::optional<Entry> MIDI2PacketWalker::next(const MIDI2UMPPacket& packet, std::uint32_t firstWord) {
    Entry entry;
    entry.absoluteTick = runningTick_;
    entry.hasSequenceTick = insideSequence_;
    entry.sequenceTick = runningTick_ - sequenceStart_;
    entry.firstWord = firstWord;
    entry.wordCount = static_cast<std::uint8_t>(packet.wordCount());
    const bool inside = insideSequence_;
    switch (packet.messageType()) {
        case MIDI2UMPMessageType::utility:
            switch ((packet.word(0) >> 20) & 0xF) {
                case 0x4: {
                    if (!advance(packet.word(0) & 0xFFFFF)) return std::nullopt;
                    classify(entry, Scope::structural, Action::structuralOnly, Reason::deltaClockstamp);
                    break;
                }
                case 0x3:
                    classify(entry, Scope::structural, Action::structuralOnly,
                             Reason::deltaClockstampTicksPerQuarterNote);
                    break;
                default:  // NOOP, JR Clock and JR Timestamp carry nothing a song can keep
                    skip(entry, Reason::unsupportedUtility);
                    break;
            }
            break;
        case MIDI2UMPMessageType::stream:
            if (packet == MIDI2UMPPacket::startOfClip()) {
                sequenceStart_ = runningTick_;
                insideSequence_ = true;
                entry.hasSequenceTick = false;  // the boundary itself lies outside the sequence
                classify(entry, Scope::structural, Action::structuralOnly, Reason::startOfClip);
            } else if (packet == MIDI2UMPPacket::endOfClip()) {
                classify(entry, Scope::structural, Action::structuralOnly, Reason::endOfClip);
            } else {
                skip(entry, Reason::unsupportedStream);
            }
            break;
        case MIDI2UMPMessageType::flexData:
            if (packet.isFlexDataSetTempo()) {
                classify(entry, Scope::global, Action::importedToEditableModel, Reason::flexSetTempo);
            } else if (const auto signature = packet.flexDataSetTimeSignature();
                       signature && signature->numerator != 0 && signature->denominatorExponent <= 7) {
                classify(entry, Scope::global, Action::importedToEditableModel, Reason::flexSetTimeSignature);
            } else {
                skip(entry, Reason::unsupportedFlexData);
            }
            break;
        case MIDI2UMPMessageType::midi1ChannelVoice:
            if (inside) {
                classify(entry, Scope::safelyScoped, Action::importedToEditableModel, Reason::midi1InsideSequence);
            } else {
                classify(entry, Scope::ambiguous, Action::importedToEditableModel, Reason::midi1OutsideSequence);
            }
            break;
        case MIDI2UMPMessageType::midi2ChannelVoice:
            if (!downConverts(packet)) {
                skip(entry, Reason::midi2NotDownConverted);
                break;
            }
            entry.wasDownConverted = true;
            entry.hasHighResolutionValue = midi2PacketHasHighResolutionValue(packet);
            if (inside) {
                classify(entry, Scope::safelyScoped, Action::storedNativeCandidate, Reason::midi2InsideSequence);
            } else {
                classify(entry, Scope::ambiguous, Action::downConvertedToEditableModel, Reason::midi2OutsideSequence);
            }
            break;
        default:  // System, Data, Extended Data and the reserved types
            skip(entry, Reason::unsupportedMessageType);
            break;
    }
    return entry;
}

}  // namespace orvane::midi
