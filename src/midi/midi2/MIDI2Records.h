#pragma once
// The value records of the MIDI 2.0 layer that a song keeps or hands around: the inventory of
// the packets of an imported clip, its preservation summary, the re-export eligibility of an
// export with its loop classification and dry run, and the operation report.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvane::midi {

// ---- Packet inventory of an imported clip -----------------------------------------------

enum class MIDI2NativePacketScope : std::uint8_t { safelyScoped, global, structural, unsupported, ambiguous };
enum class MIDI2NativePacketAction : std::uint8_t {
    structuralOnly,
    importedToEditableModel,
    downConvertedToEditableModel,
    storedNativeCandidate,
    skippedUnsupported,
};

std::string_view rawValue(MIDI2NativePacketScope scope);
std::string_view rawValue(MIDI2NativePacketAction action);

// The record of one packet of an imported clip.
struct MIDI2NativePacketSnapshot {
    int packetIndex = 0;                        // position in the file's packet list, from 0
    std::uint32_t absoluteTick = 0;             // sum of every Delta Clockstamp before it
    std::optional<std::uint32_t> sequenceTick;  // relative to Start of Clip, inside the sequence only
    std::optional<std::uint8_t> group;
    std::optional<std::uint8_t> channel;
    std::string messageType;  // e.g. "midi2ChannelVoice"
    std::vector<std::uint32_t> words;
    MIDI2NativePacketScope scope = MIDI2NativePacketScope::unsupported;
    MIDI2NativePacketAction action = MIDI2NativePacketAction::skippedUnsupported;
    bool wasDownConverted = false;
    bool hasHighResolutionValue = false;
    std::string reason;

    friend bool operator==(const MIDI2NativePacketSnapshot&, const MIDI2NativePacketSnapshot&) = default;
};

// Why the import treated a packet as it did; each code has its fixed text.
enum class MIDI2PacketReason : std::uint8_t {
    deltaClockstamp,
    deltaClockstampTicksPerQuarterNote,
    unsupportedUtility,
    startOfClip,
    endOfClip,
    unsupportedStream,
    flexSetTempo,
    flexSetTimeSignature,
    unsupportedFlexData,
    midi1InsideSequence,
    midi1OutsideSequence,
    midi2NotDownConverted,  // the text names the failure, derived from the packet's status
    midi2InsideSequence,
    midi2OutsideSequence,
    unsupportedMessageType,
    custom,  // a snapshot built by hand with its own text
};

// The snapshots of every packet of an imported clip, stored compactly: the clip's bytes, and
// once they are read, its words (in place of the bytes) and 20 bytes per packet. The packet
// index, group and channel of an imported packet follow from its position and words. Reading
// an element builds the snapshot value. Copies share the (immutable) storage.
class MIDI2NativePacketInventory {
public:
    // What the planners read for each packet, without building a snapshot.
    struct Entry {
        std::uint32_t absoluteTick = 0;
        std::uint32_t sequenceTick = 0;  // meaningful when hasSequenceTick
        std::uint32_t firstWord = 0;     // index into the word store
        std::uint8_t wordCount = 0;
        MIDI2NativePacketScope scope = MIDI2NativePacketScope::unsupported;
        MIDI2NativePacketAction action = MIDI2NativePacketAction::skippedUnsupported;
        MIDI2PacketReason reason = MIDI2PacketReason::custom;
        bool hasSequenceTick = false;
        bool wasDownConverted = false;
        bool hasHighResolutionValue = false;

        [[nodiscard]] std::optional<std::uint32_t> optionalSequenceTick() const {
            return hasSequenceTick ? std::optional<std::uint32_t>(sequenceTick) : std::nullopt;
        }
    };

    // Counts that exports read without walking the entries.
    struct Tally {
        std::size_t storedCandidates = 0;  // action storedNativeCandidate
        std::size_t unsafe = 0;            // action skippedUnsupported, or scope unsupported or ambiguous
        friend bool operator==(const Tally&, const Tally&) = default;
        void add(const Entry& entry);
    };

    // The inventory of an imported clip of packetCount packets: the clip file's bytes (its
    // words start at payloadOffset) and their tally. The host-order words and the entries are
    // worked out from the bytes the first time entries are read (only exports of clips that
    // hold native candidates or go into loops need them).
    static MIDI2NativePacketInventory ofClipBytes(std::vector<std::uint8_t> clip, std::size_t payloadOffset,
                                                  std::size_t packetCount, Tally tally);

    MIDI2NativePacketInventory() = default;
    MIDI2NativePacketInventory(std::initializer_list<MIDI2NativePacketSnapshot> snapshots);
    explicit MIDI2NativePacketInventory(std::span<const MIDI2NativePacketSnapshot> snapshots);

    [[nodiscard]] std::size_t size() const noexcept;
    [[nodiscard]] Tally tally() const noexcept;
    [[nodiscard]] bool empty() const noexcept { return size() == 0; }
    [[nodiscard]] MIDI2NativePacketSnapshot operator[](std::size_t position) const;
    [[nodiscard]] std::vector<MIDI2NativePacketSnapshot> snapshots() const;

    [[nodiscard]] std::span<const Entry> entries() const;
    [[nodiscard]] std::span<const std::uint32_t> words(const Entry& entry) const noexcept;
    // The fields of the snapshot at position that the entry does not hold.
    [[nodiscard]] int packetIndex(std::size_t position) const;
    [[nodiscard]] std::optional<std::uint8_t> group(std::size_t position) const;
    [[nodiscard]] std::optional<std::uint8_t> channel(std::size_t position) const;
    [[nodiscard]] std::string reason(std::size_t position) const;

    friend bool operator==(const MIDI2NativePacketInventory& a, const MIDI2NativePacketInventory& b);

private:
    // What a snapshot built by hand says beyond its entry.
    struct HandBuilt {
        int packetIndex = 0;
        std::optional<std::uint8_t> group;
        std::optional<std::uint8_t> channel;
        std::string messageType;
        std::string reason;
    };
    struct Storage;
    [[nodiscard]] const HandBuilt* handBuilt(std::size_t position) const;
    std::shared_ptr<const Storage> storage_;
};

// Counts over the inventory of one import.
struct MIDI2NativePreservationSummary {
    int totalSnapshots = 0;
    int editableModelPackets = 0;
    int nativeCandidatePackets = 0;
    int highResolutionCandidatePackets = 0;
    int downConvertedPackets = 0;
    int skippedUnsupportedPackets = 0;
    int structuralPackets = 0;
    int globalPackets = 0;
    int ambiguousPackets = 0;
    bool nativeReexportEnabled = false;

    [[nodiscard]] std::vector<std::string> reportLines() const;
    friend bool operator==(const MIDI2NativePreservationSummary&, const MIDI2NativePreservationSummary&) = default;
};

// ---- Re-export eligibility ----------------------------------------------------------------

enum class MIDI2NativeReexportOperation : std::uint8_t { fullMergedExport, singleTrackExport, splitExport, loopExport };

enum class MIDI2NativeReexportBlocker : std::uint8_t {
    noNativeInventory,
    unsupportedOperation,
    transpose,
    tempoOverride,
    mixerSettings,
    partialTrackExport,
    noNativeCandidates,
    unsafeNativeMetadata,
    editedOrNonmatchingEvents,
    loopTimingRewrite,
    loopRepeat,
    effectiveStartState,
    writerDisabled,
    noExactMatchReplacements,
};

std::string_view rawValue(MIDI2NativeReexportOperation operation);
std::string_view rawValue(MIDI2NativeReexportBlocker blocker);

enum class MIDI2NativeLoopPacketPolicy : std::uint8_t { copyOnceEffectiveStart, moveToLoopStart, repeatPerPass, skip };
std::string_view rawValue(MIDI2NativeLoopPacketPolicy policy);

struct MIDI2NativeLoopPacketAction {
    int packetIndex = 0;
    std::optional<std::uint32_t> sourceTick;
    std::optional<std::uint32_t> outputTick;
    MIDI2NativeLoopPacketPolicy policy = MIDI2NativeLoopPacketPolicy::skip;
    std::string reason;
    friend bool operator==(const MIDI2NativeLoopPacketAction&, const MIDI2NativeLoopPacketAction&) = default;
};

struct MIDI2NativeLoopPacketClassification {
    std::uint32_t startTick = 0;
    std::uint32_t endTick = 0;
    std::uint32_t lengthTick = 0;
    int repeatCount = 0;
    bool tightenLoop = false;
    int effectiveStartCandidatePackets = 0;
    int copyOnceEffectiveStartCandidatePackets = 0;
    int repeatPerPassCandidatePackets = 0;
    int boundaryStartCandidatePackets = 0;
    int unsafePackets = 0;
    int tempoEffectiveStartEvents = 0;
    int channelEffectiveStartStates = 0;
    std::vector<MIDI2NativeLoopPacketAction> packetActions;

    [[nodiscard]] int actionPackets(MIDI2NativeLoopPacketPolicy policy) const;
    [[nodiscard]] int copyOnceActionPackets() const {
        return actionPackets(MIDI2NativeLoopPacketPolicy::copyOnceEffectiveStart);
    }
    [[nodiscard]] int moveToLoopStartActionPackets() const {
        return actionPackets(MIDI2NativeLoopPacketPolicy::moveToLoopStart);
    }
    [[nodiscard]] int repeatPerPassActionPackets() const {
        return actionPackets(MIDI2NativeLoopPacketPolicy::repeatPerPass);
    }
    [[nodiscard]] int skipActionPackets() const { return actionPackets(MIDI2NativeLoopPacketPolicy::skip); }
    [[nodiscard]] std::vector<std::string> reportLines() const;
    friend bool operator==(const MIDI2NativeLoopPacketClassification&,
                           const MIDI2NativeLoopPacketClassification&) = default;
};

struct MIDI2NativeLoopDryRunPacketPlan {
    int packetIndex = 0;
    MIDI2NativeLoopPacketPolicy policy = MIDI2NativeLoopPacketPolicy::skip;
    std::optional<std::uint32_t> sourceTick;
    std::vector<std::uint32_t> outputTicks;
    std::vector<std::uint32_t> matchedOutputTicks;
    std::vector<std::uint32_t> unmatchedOutputTicks;
    std::vector<std::uint32_t> duplicateRiskOutputTicks;
    std::string reason;
    friend bool operator==(const MIDI2NativeLoopDryRunPacketPlan&, const MIDI2NativeLoopDryRunPacketPlan&) = default;
};

struct MIDI2NativeLoopDryRunPlan {
    int repeatCount = 0;
    std::uint32_t lengthTick = 0;
    std::vector<MIDI2NativeLoopDryRunPacketPlan> packetPlans;

    [[nodiscard]] int plannedOutputEvents() const;
    [[nodiscard]] int replacementMatchedOutputEvents() const;
    [[nodiscard]] int unmatchedOutputEvents() const;
    [[nodiscard]] int duplicateRiskOutputEvents() const;
    [[nodiscard]] int skippedPackets() const;
    [[nodiscard]] std::vector<std::string> reportLines() const;
    friend bool operator==(const MIDI2NativeLoopDryRunPlan&, const MIDI2NativeLoopDryRunPlan&) = default;
};

// The verdict on writing imported native packets back into one export.
struct MIDI2NativeReexportEligibility {
    MIDI2NativeReexportOperation operation = MIDI2NativeReexportOperation::fullMergedExport;
    int candidatePackets = 0;
    int structurallyEligiblePackets = 0;
    int highResolutionEligiblePackets = 0;
    int unsafePackets = 0;
    int nativeReexportedPackets = 0;
    bool canReexportNativePackets = false;
    std::vector<MIDI2NativeReexportBlocker> blockerCategories;  // each once, in order of first use
    std::vector<std::string> blockers;                          // one message per raised blocker
    std::vector<std::string> notes;
    std::optional<MIDI2NativeLoopPacketClassification> loopPacketClassification;
    std::optional<MIDI2NativeLoopDryRunPlan> loopDryRunPlan;

    [[nodiscard]] std::vector<std::string> reportLines() const;
    friend bool operator==(const MIDI2NativeReexportEligibility&, const MIDI2NativeReexportEligibility&) = default;
};

// ---- Operation report -----------------------------------------------------------------------

struct MIDI2OperationReport {
    struct Operation {
        enum class Kind : std::uint8_t { imported, exported };
        Kind kind = Kind::imported;
        std::string fileName;
        std::string formatLabel;  // exports only

        static Operation imported(std::string fileName) { return {Kind::imported, std::move(fileName), {}}; }
        static Operation exported(std::string fileName, std::string formatLabel) {
            return {Kind::exported, std::move(fileName), std::move(formatLabel)};
        }
        friend bool operator==(const Operation&, const Operation&) = default;
    };

    Operation operation;
    std::string fileType;
    int totalPackets = 0;
    int tracks = 0;
    std::uint16_t ticksPerQuarterNote = 0;
    std::set<std::uint8_t> groups;
    std::map<std::uint8_t, std::set<std::uint8_t>> channelsByGroup;
    int midi1ChannelVoicePackets = 0;
    int midi2ChannelVoicePackets = 0;
    int midi2ChannelVoiceDownConverted = 0;
    int flexTempoPackets = 0;
    int flexTimeSignaturePackets = 0;
    int unsupportedPackets = 0;
    int deltaClockstampPackets = 0;
    std::vector<std::string> preservedItems;
    std::vector<std::string> convertedItems;
    std::vector<std::string> skippedItems;
    std::optional<MIDI2NativePreservationSummary> nativePreservationSummary;
    std::optional<MIDI2NativeReexportEligibility> nativeReexportEligibility;

    [[nodiscard]] std::string oneLineStatus() const;
    [[nodiscard]] std::string detailText() const;
    friend bool operator==(const MIDI2OperationReport&, const MIDI2OperationReport&) = default;

private:
    [[nodiscard]] std::string groupChannelSummary() const;
};

// "- " + item per item, or the single line "- None reported".
std::vector<std::string> bulletLines(const std::vector<std::string>& items);

// The skipped items shared by import and export reports.
std::vector<std::string> midi2SkippedItems(int unsupportedPackets, int midi2ChannelVoicePackets,
                                           const std::optional<MIDI2NativeReexportEligibility>& eligibility);

}  // namespace orvane::midi
