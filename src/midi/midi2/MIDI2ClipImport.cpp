// Reading a MIDI Clip file into the editable song: one track per (group, channel), the tempo
// and time signatures, an inventory of every packet, and the import report.

#include <algorithm>
#include <array>
#include <string>

#include "midi/midi2/MIDI2ClipFile.h"
#include "midi/midi2/MIDI2Diagnostics.h"
#include "midi/midi2/MIDI2PacketWalker.h"
#include "midi/midi2/MIDI2UMPPacket.h"
#include "midi/model/HugePages.h"
#include "midi/model/MIDIFile.h"
#include "midi/model/TrackSurvey.h"
#include "support/TextFormat.h"

namespace orvane::midi {
namespace {

using Entry = MIDI2NativePacketInventory::Entry;
using Reason = MIDI2PacketReason;
using Scope = MIDI2NativePacketScope;
using Action = MIDI2NativePacketAction;

constexpr std::size_t keyCount = 256;  // 16 groups x 16 channels

std::size_t trackKey(std::uint8_t group, std::uint8_t channel) { return std::size_t{group} * 16 + channel; }

// Writes a marker when markers are on; the detail is composed only then.
template <typename Detail>
void marker(bool enabled, std::string_view name, Detail&& detail) {
    if (enabled) MIDI2Diagnostics::marker(name, detail());
}

// FF 51 03 and the microseconds per quarter note (at least 1).
MIDIEvent midi2TempoEvent(std::uint32_t tenNanoseconds, std::uint32_t tick) {
    const std::uint32_t microseconds = tenNanoseconds < 100 ? 1 : tenNanoseconds / 100;
    return MIDIEvent(tick, {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(microseconds >> 16),
                            static_cast<std::uint8_t>(microseconds >> 8), static_cast<std::uint8_t>(microseconds)});
}

// FF 58 04 with 24 MIDI clocks per metronome click.
MIDIEvent midi2TimeSignatureEvent(const MIDI2TimeSignatureFields& fields, std::uint32_t tick) {
    return MIDIEvent(
        tick, {0xFF, 0x58, 0x04, fields.numerator, fields.denominatorExponent, 24, fields.thirtySecondNotesPerQuarter});
}

struct ImportCounters {
    int midi1ChannelVoice = 0;
    int midi2ChannelVoice = 0;
    int downConverted = 0;
    int flexTempo = 0;
    int flexTimeSignature = 0;
    int unsupported = 0;
    int deltaClockstamps = 0;
    int channelEvents = 0;
};

// The tracks of one import, one per (group, channel), created on first use.
class ImportedTracks {
public:
    explicit ImportedTracks(const std::array<std::size_t, keyCount>& expectedEvents) : expected_(expectedEvents) {}

    // A short message straight from a MIDI 1.0 Channel Voice word (no markers).
    void appendShort(std::uint32_t tick, std::uint32_t word0) {
        const auto status = static_cast<std::uint8_t>(word0 >> 16);
        const std::uint32_t size = status >= 0xC0 && status <= 0xDF ? 2 : 3;
        trackFor(static_cast<std::uint8_t>(word0 >> 24 & 0xF), static_cast<std::uint8_t>(status & 0xF))
            .events.push_back(MIDIEvent::shortMessage(tick, status, static_cast<std::uint8_t>(word0 >> 8),
                                                      static_cast<std::uint8_t>(word0), size));
    }

    void append(const MIDI1ByteMessage& bytes, std::uint32_t tick, std::uint8_t group, std::uint8_t channel,
                bool markers) {
        MIDITrack& track = trackFor(group, channel);
        track.events.emplace_back(tick, bytes.data());
        if (markers) {
            MIDI2Diagnostics::marker("SMF2_IMPORT_CHANNEL_EVENT",
                                     formatString("group=%u channel=%u tick=%u status=0x%02X bytes=%d", group, channel,
                                                  tick, bytes.size == 0 ? 0u : bytes.bytes[0], int{bytes.size}));
        }
    }

    [[nodiscard]] bool empty() const { return created_ == 0; }

    // The tracks ordered by group, then channel, with their identity, mixer values and names.
    std::vector<MIDITrack> finish() {
        std::vector<MIDITrack> result;
        result.reserve(created_);
        for (auto& slot : slots_) {
            if (!slot) continue;
            MIDITrack& track = *slot;
            const TrackSurvey survey = TrackSurvey::of(track.events);
            survey.applyIdentity(track);
            survey.applyInitialMixerValues(track);
            const bool hasProgramChange =
                std::any_of(track.events.begin(), track.events.end(),
                            [](const MIDIEvent& event) { return (event.status() & 0xF0) == 0xC0; });
            if (track.channel == 9 || hasProgramChange) {
                track.name = MIDIFile::instrumentName(track.instrument, track.channel,
                                                      track.channel == 9 ? track.drumNote : std::nullopt);
            }
            result.push_back(std::move(track));
        }
        return result;
    }

    // The groups and, per group, the channels that received events.
    void recordGroupsAndChannels(MIDI2OperationReport& report) const {
        for (std::size_t key = 0; key < keyCount; ++key) {
            if (!slots_[key]) continue;
            const auto group = static_cast<std::uint8_t>(key / 16);
            report.groups.insert(group);
            report.channelsByGroup[group].insert(static_cast<std::uint8_t>(key % 16));
        }
    }

private:
    MIDITrack& trackFor(std::uint8_t group, std::uint8_t channel) {
        auto& slot = slots_[trackKey(group, channel)];
        return slot ? *slot : created(group, channel);
    }
    [[gnu::noinline]] MIDITrack& created(std::uint8_t group, std::uint8_t channel) {
        auto& slot = slots_[trackKey(group, channel)];
        {
            MIDITrack track;
            track.name = group == 0 ? "Ch " + std::to_string(channel + 1)
                                    : "Group " + std::to_string(group + 1) + " Ch " + std::to_string(channel + 1);
            track.channel = channel;
            reserveLarge(track.events, expected_[trackKey(group, channel)]);
            slot = std::move(track);
            ++created_;
        }
        return *slot;
    }

    const std::array<std::size_t, keyCount>& expected_;
    std::array<std::optional<MIDITrack>, keyCount> slots_;
    std::size_t created_ = 0;
};

// Channel Voice packets per (group, channel): the most events each track can receive.
std::array<std::size_t, keyCount> channelVoiceCounts(const MIDI2ClipPayload& payload) {
    std::array<std::size_t, keyCount> counts{};
    for (std::size_t index = 0; index < payload.wordCount();) {
        const std::uint32_t word0 = payload.word(index);
        // Delta Clockstamps and MIDI 1.0 Channel Voice packets (one word each) take branches
        // of their own, so that the walk does not wait for each word's type to find the next.
        if (word0 >> 28 == 0x0) {
            ++index;
            continue;
        }
        if (word0 >> 28 == 0x2) {
            ++counts[(word0 >> 16 & 0xF) | (word0 >> 20 & 0xF0)];
            ++index;
            continue;
        }
        const auto type = static_cast<MIDI2UMPMessageType>(word0 >> 28);
        if (type == MIDI2UMPMessageType::midi1ChannelVoice || type == MIDI2UMPMessageType::midi2ChannelVoice) {
            ++counts[(word0 >> 16 & 0xF) | (word0 >> 20 & 0xF0)];
        }
        index += static_cast<std::size_t>(midi2UMPWordCount(type));
    }
    return counts;
}

// Counts one packet's entry into the preservation summary.
void addToSummary(MIDI2NativePreservationSummary& summary, const Entry& entry) {
    ++summary.totalSnapshots;
    switch (entry.action) {
        case Action::storedNativeCandidate:
            ++summary.nativeCandidatePackets;
            if (entry.hasHighResolutionValue) ++summary.highResolutionCandidatePackets;
            ++summary.editableModelPackets;
            break;
        case Action::importedToEditableModel:
        case Action::downConvertedToEditableModel:
            ++summary.editableModelPackets;
            break;
        case Action::skippedUnsupported:
            ++summary.skippedUnsupportedPackets;
            break;
        case Action::structuralOnly:
            break;
    }
    if (entry.wasDownConverted) ++summary.downConvertedPackets;
    if (entry.scope == Scope::structural) ++summary.structuralPackets;
    if (entry.scope == Scope::global) ++summary.globalPackets;
    if (entry.scope == Scope::ambiguous) ++summary.ambiguousPackets;
}

std::vector<std::string> midi2ImportConvertedItems(int midi2ChannelVoicePackets, int downConverted) {
    if (midi2ChannelVoicePackets == 0) return {"No native MIDI 2.0 Channel Voice down-conversion was required"};
    return {std::to_string(downConverted) +
            " MIDI 2.0 Channel Voice packet(s) down-converted to Orvane's current MIDI 1.0-resolution editing model"};
}

std::vector<std::string> importPreservedItems(const ImportCounters& counters, bool hasMusicalTrack,
                                              int nativeCandidatePackets) {
    std::vector<std::string> items;
    if (counters.midi1ChannelVoice >= 1)
        items.emplace_back("MIDI 1.0-resolution Channel Voice events carried inside UMP");
    if (counters.deltaClockstamps >= 1) items.emplace_back("Delta Clockstamp timing and ticks-per-quarter-note");
    if (counters.flexTempo >= 1) items.emplace_back("Flex Data Set Tempo");
    if (counters.flexTimeSignature >= 1) items.emplace_back("Flex Data Set Time Signature");
    if (hasMusicalTrack) items.emplace_back("Track separation from UMP group/channel identity");
    if (nativeCandidatePackets >= 1) {
        items.push_back(std::to_string(nativeCandidatePackets) +
                        " native MIDI 2.0 UMP packet(s) stored as future preservation candidates");
    }
    return items;
}

}  // namespace

bool MIDIFile::parseMIDI2Clip(std::span<const std::uint8_t> data, Bytes* ownedBytes) {
    MIDI2Diagnostics::MarkerScope markerScope;
    const bool markers = MIDI2Diagnostics::markersEnabled();
    marker(markers, "SMF2_IMPORT_BEGIN", [&] { return "bytes=" + std::to_string(data.size()); });
    format = 1;
    wasImportedFromMIDI2Clip = true;

    // The words are read from the file's bytes where they are; the bytes become the packet
    // inventory's store.
    MIDI2ClipPayload payload;
    try {
        payload = MIDI2ClipFile::checkedPayload(data);
    } catch (const MIDI2ClipFileError& error) {
        marker(markers, "SMF2_IMPORT_FAILED", [&] { return error.description(); });
        return false;
    }

    const auto expectedEvents = channelVoiceCounts(payload);
    ImportedTracks importedTracks(expectedEvents);
    ImportCounters counters;
    MIDI2NativePreservationSummary summary;
    MIDI2NativePacketInventory::Tally tally;
    std::optional<std::uint32_t> lastTempo;
    MIDI2PacketWalker walker;
    // Delta Clockstamps and MIDI 1.0 Channel Voice packets inside the sequence make up almost
    // every clip; without markers they take a short path with the same effect as the general
    // one below, and their summary counts are added at the end.
    int fastDeltaClockstamps = 0;
    int fastChannelVoice = 0;
    for (std::size_t wordIndex = 0; wordIndex < payload.wordCount();) {
        if (!markers) {
            const std::uint32_t word0 = payload.word(wordIndex);
            if ((word0 & 0xFFF00000) == 0x00400000) {
                if (!walker.advance(word0 & 0xFFFFF)) return false;
                ++fastDeltaClockstamps;
                ++wordIndex;
                continue;
            }
            const std::uint32_t status = word0 >> 16 & 0xFF;
            if (word0 >> 28 == 0x2 && walker.insideSequence() && status >= 0x80 && status <= 0xEF) {
                importedTracks.appendShort(walker.sequenceTick(), word0);
                ++fastChannelVoice;
                ++wordIndex;
                continue;
            }
        }
        const MIDI2UMPPacket packet = payload.packet(wordIndex);
        const MIDI2UMPMessageType type = packet.messageType();
        const auto entry = walker.next(packet, static_cast<std::uint32_t>(wordIndex));
        wordIndex += payload.packetWordCount(wordIndex);
        if (!entry) {
            marker(markers, "SMF2_IMPORT_FAILED", [] { return std::string("delta tick overflow"); });
            return false;
        }
        addToSummary(summary, *entry);
        tally.add(*entry);
        const std::uint32_t eventTick = entry->hasSequenceTick ? entry->sequenceTick : 0;
        if (entry->action == Action::skippedUnsupported) ++counters.unsupported;
        const auto unsupported = [&](auto&& detail) { marker(markers, "SMF2_IMPORT_UNSUPPORTED_PACKET", detail); };

        switch (entry->reason) {
            case Reason::deltaClockstamp:
                ++counters.deltaClockstamps;
                marker(markers, "SMF2_IMPORT_DELTA_TICKS", [&] {
                    return "delta=" + std::to_string(packet.word(0) & 0xFFFFF) +
                           " tick=" + std::to_string(walker.runningTick());
                });
                break;
            case Reason::deltaClockstampTicksPerQuarterNote:
                if (const auto ticksPerQuarterNote = static_cast<std::uint16_t>(packet.word(0) & 0xFFFF)) {
                    timeDivision = ticksPerQuarterNote;
                    marker(markers, "SMF2_IMPORT_DCTPQ",
                           [&] { return "ticksPerQuarterNote=" + std::to_string(ticksPerQuarterNote); });
                }
                break;
            case Reason::startOfClip:
                marker(markers, "SMF2_IMPORT_START_OF_CLIP",
                       [&] { return "absoluteTick=" + std::to_string(walker.runningTick()); });
                break;
            case Reason::endOfClip:
                marker(markers, "SMF2_IMPORT_END_OF_CLIP",
                       [&] { return "absoluteTick=" + std::to_string(walker.runningTick()); });
                break;
            case Reason::flexSetTempo: {
                const std::uint32_t tempo = packet.word(1);
                tempoEvents.push_back(midi2TempoEvent(tempo, eventTick));
                lastTempo = tempo;
                ++counters.flexTempo;
                marker(markers, "SMF2_IMPORT_FLEX_SET_TEMPO", [&] { return "tick=" + std::to_string(eventTick); });
                break;
            }
            case Reason::flexSetTimeSignature: {
                const MIDI2TimeSignatureFields signature = *packet.flexDataSetTimeSignature();
                timeSignatureEvents.push_back(midi2TimeSignatureEvent(signature, eventTick));
                timeSignatureNumerator = signature.numerator;
                timeSignatureDenominator = 1 << signature.denominatorExponent;
                ++counters.flexTimeSignature;
                marker(markers, "SMF2_IMPORT_FLEX_SET_TIME_SIGNATURE", [&] {
                    return "tick=" + std::to_string(eventTick) + " " + std::to_string(timeSignatureNumerator) + "/" +
                           std::to_string(timeSignatureDenominator);
                });
                break;
            }
            case Reason::midi1InsideSequence:
            case Reason::midi1OutsideSequence: {
                ++counters.midi1ChannelVoice;
                MIDI1ByteMessage bytes;
                try {
                    bytes = packet.midi1ByteStream();
                } catch (const MIDI2UMPError& error) {
                    marker(markers, "SMF2_IMPORT_FAILED", [&] { return error.description(); });
                    return false;
                }
                importedTracks.append(bytes, eventTick, packet.groupField(), *packet.channel(), markers);
                ++counters.channelEvents;
                break;
            }
            case Reason::midi2InsideSequence:
            case Reason::midi2OutsideSequence:
            case Reason::midi2NotDownConverted: {
                ++counters.midi2ChannelVoice;
                MIDI1ByteMessage bytes;
                try {
                    bytes = packet.downConvertedMIDI1ChannelVoice().midi1ByteStream();
                } catch (const MIDI2UMPError& error) {
                    unsupported([&] { return error.description(); });
                    break;
                }
                importedTracks.append(bytes, eventTick, packet.groupField(), *packet.channel(), markers);
                ++counters.channelEvents;
                ++counters.downConverted;
                break;
            }
            case Reason::unsupportedStream:
            case Reason::unsupportedFlexData:
                unsupported([&] { return packet.description(); });
                break;
            case Reason::unsupportedMessageType:
                unsupported([&] { return "type=" + std::string(midi2UMPMessageTypeName(type)); });
                break;
            case Reason::unsupportedUtility:  // skipped without a marker
            case Reason::custom:
                break;
        }
    }

    counters.deltaClockstamps += fastDeltaClockstamps;
    counters.midi1ChannelVoice += fastChannelVoice;
    counters.channelEvents += fastChannelVoice;
    summary.totalSnapshots += fastDeltaClockstamps + fastChannelVoice;
    summary.structuralPackets += fastDeltaClockstamps;
    summary.editableModelPackets += fastChannelVoice;

    if (importedTracks.empty()) {
        marker(markers, "SMF2_IMPORT_FAILED", [&] { return std::string("no importable channel voice packets"); });
        return false;
    }

    MIDI2OperationReport report;
    importedTracks.recordGroupsAndChannels(report);
    setTracks(importedTracks.finish());
    midi2ImportedPacketCount = counters.channelEvents + counters.flexTempo + counters.flexTimeSignature;
    midi2UnsupportedPacketCount = counters.unsupported;
    // The clip's tempo is the song's reference tempo, as the last tempo of a one-track
    // Standard MIDI File would be; tempo overrides scale from it.
    if (lastTempo) bpm = 60000000.0 / static_cast<double>(std::max<std::uint32_t>(*lastTempo / 100, 1));

    const std::size_t packetCount = payload.packetCount;
    const auto payloadOffset = static_cast<std::size_t>(payload.bytes.data() - data.data());
    midi2NativePacketSnapshots = MIDI2NativePacketInventory::ofClipBytes(
        ownedBytes != nullptr ? std::move(*ownedBytes) : Bytes(data.begin(), data.end()), payloadOffset, packetCount,
        tally);

    report.operation = MIDI2OperationReport::Operation::imported("Loaded MIDI 2.0 file");
    report.fileType = "MIDI 2.0 MIDI Clip (.midi2 / SMF2CLIP)";
    report.totalPackets = static_cast<int>(packetCount);
    report.tracks = static_cast<int>(tracks().size());
    report.ticksPerQuarterNote = timeDivision;
    report.midi1ChannelVoicePackets = counters.midi1ChannelVoice;
    report.midi2ChannelVoicePackets = counters.midi2ChannelVoice;
    report.midi2ChannelVoiceDownConverted = counters.downConverted;
    report.flexTempoPackets = counters.flexTempo;
    report.flexTimeSignaturePackets = counters.flexTimeSignature;
    report.unsupportedPackets = counters.unsupported;
    report.deltaClockstampPackets = counters.deltaClockstamps;
    report.preservedItems = importPreservedItems(counters, !musicalTracks().empty(), summary.nativeCandidatePackets);
    report.convertedItems = midi2ImportConvertedItems(counters.midi2ChannelVoice, counters.downConverted);
    report.skippedItems = midi2SkippedItems(counters.unsupported, counters.midi2ChannelVoice, std::nullopt);
    report.nativePreservationSummary = summary;
    midi2LastImportReport = std::move(report);

    originalTempoEvents = tempoEvents;
    marker(markers, "SMF2_IMPORT_OK", [&] {
        return "tracks=" + std::to_string(tracks().size()) +
               " channelPackets=" + std::to_string(midi2ImportedPacketCount) +
               " deltaMessages=" + std::to_string(counters.deltaClockstamps) +
               " unsupported=" + std::to_string(counters.unsupported) + " tpq=" + std::to_string(timeDivision);
    });
    return true;
}

}  // namespace orvane::midi
