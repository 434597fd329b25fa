#pragma once
// Writing MIDI Clip files from the same event lists the Standard MIDI File exports build, and
// deciding whether the native MIDI 2.0 packets of an imported clip may be written back in
// place of their MIDI 1.0 form.
//
// Every export entry point returns the file bytes with a re-export eligibility record, and
// throws MIDI2UMPError when an event has no MIDI 2.0 form (a data byte of 0x80 or more, a
// status without a short-message form) or when the song is timed in SMPTE frames.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "midi/export/RelationshipSnapshot.h"
#include "midi/export/TrackExport.h"
#include "midi/midi2/MIDI2ClipFile.h"
#include "midi/midi2/MIDI2Records.h"
#include "midi/midi2/MIDI2UMPPacket.h"
#include "midi/model/MIDIFile.h"

namespace orvane::midi {

// An event's tick and MIDI 1.0 bytes: equal keys mean the same message at the same time.
// Only short messages (one to three bytes) have a native packet, so a key packs into 64 bits
// (the tick above the length and the bytes) and keys sort by tick first.
class MIDI2NativeReplacementKey {
public:
    // The key of a message of one to three bytes; nothing for any other length.
    static std::optional<MIDI2NativeReplacementKey> of(std::uint32_t tick, std::span<const std::uint8_t> data);
    static MIDI2NativeReplacementKey of(std::uint32_t tick, const MIDI1ByteMessage& message);

    [[nodiscard]] std::uint32_t tick() const noexcept { return static_cast<std::uint32_t>(packed_ >> 32); }
    [[nodiscard]] MIDI1ByteMessage data() const noexcept;
    [[nodiscard]] std::uint64_t packed() const noexcept { return packed_; }
    friend auto operator<=>(const MIDI2NativeReplacementKey&, const MIDI2NativeReplacementKey&) = default;

private:
    explicit MIDI2NativeReplacementKey(std::uint64_t packed) : packed_(packed) {}
    std::uint64_t packed_ = 0;
};

// How many events carry each key: sorted keys with their counts.
class MIDI2NativeKeyCounts {
public:
    MIDI2NativeKeyCounts() = default;
    explicit MIDI2NativeKeyCounts(std::vector<MIDI2NativeReplacementKey> keys);
    // The keys of the channel messages (status 0x80-0xEF) among events.
    static MIDI2NativeKeyCounts ofChannelEvents(std::span<const MIDIEvent> events);

    // The position of key among the distinct keys, if it is there.
    [[nodiscard]] std::optional<std::size_t> indexOf(MIDI2NativeReplacementKey key) const;
    [[nodiscard]] int count(std::size_t index) const { return counts_[index]; }
    [[nodiscard]] int count(MIDI2NativeReplacementKey key) const;
    [[nodiscard]] std::size_t size() const noexcept { return keys_.size(); }

private:
    std::vector<MIDI2NativeReplacementKey> keys_;
    std::vector<int> counts_;
};

// For each key, the native packets to write in place of the events with that key, in order.
class MIDI2NativeReplacementPlan {
public:
    void append(MIDI2NativeReplacementKey key, const MIDI2UMPPacket& packet);
    // Removes and returns the first packet of the key's list, if any.
    std::optional<MIDI2UMPPacket> takeFirst(MIDI2NativeReplacementKey key);
    [[nodiscard]] std::vector<MIDI2UMPPacket> packets(MIDI2NativeReplacementKey key) const;
    // Keys that still have packets.
    [[nodiscard]] std::size_t keyCount() const;
    [[nodiscard]] bool empty() const noexcept { return remaining_ == 0; }

private:
    struct Item {
        MIDI2NativeReplacementKey key;
        MIDI2UMPPacket packet;
    };
    // The items of a key, sorted stably by key on first use (appends come in tick order, so
    // this is usually a single pass).
    std::pair<std::size_t, std::size_t> range(MIDI2NativeReplacementKey key) const;
    mutable std::vector<Item> items_;
    mutable bool sorted_ = true;
    std::vector<std::uint32_t> taken_;  // per item: at the first item of a key, how many are taken
    std::size_t remaining_ = 0;
};

struct MIDI2NativeReplacementExport {
    Bytes data;
    MIDI2NativeReexportEligibility eligibility;
    // Events that could not be written (incomplete System Exclusive messages), for the report.
    std::vector<std::string> skippedEventItems;
};

// ---- Planning requests and decisions ------------------------------------------------------

struct MIDI2NativeCandidateScope {
    struct SourceRange {
        std::uint32_t startTick = 0;
        std::uint32_t endTick = 0;
        friend bool operator==(const SourceRange&, const SourceRange&) = default;
    };
    struct AllImportedCandidates {
        friend bool operator==(const AllImportedCandidates&, const AllImportedCandidates&) = default;
    };
    struct ExportEvents {
        friend bool operator==(const ExportEvents&, const ExportEvents&) = default;
    };
    std::variant<AllImportedCandidates, ExportEvents, SourceRange> value;

    static MIDI2NativeCandidateScope scopedToSourceRange(std::uint32_t startTick, std::uint32_t endTick) {
        return {SourceRange{startTick, endTick}};
    }
    static MIDI2NativeCandidateScope allImportedCandidates() { return {AllImportedCandidates{}}; }
    static MIDI2NativeCandidateScope scopedToExportEvents() { return {ExportEvents{}}; }
    friend bool operator==(const MIDI2NativeCandidateScope&, const MIDI2NativeCandidateScope&) = default;
};

struct MIDI2NativeLoopPlanningContext {
    std::uint32_t startTick = 0;
    std::uint32_t endTick = 0;
    std::uint32_t lengthTick = 0;
    int repeatCount = 1;
    bool tightenLoop = false;
    friend bool operator==(const MIDI2NativeLoopPlanningContext&, const MIDI2NativeLoopPlanningContext&) = default;
};

// The events an export writes, in export order: a list, or the merge of whole tracks
// (mergedMIDI2ExportEvents), which the clip writer walks as it writes and which is built as a
// list only when a planner needs every event. A merge refers to the song and tracks it was
// made from; they must outlive it.
class MIDI2ExportEvents {
public:
    struct MergedTracks {
        const MIDIFile* file = nullptr;
        std::span<const MIDITrack> tracks;
        int transpose = 0;
        std::optional<double> newBPM;
        bool applyMixerSettings = false;
    };

    MIDI2ExportEvents() = default;
    MIDI2ExportEvents(EventList events);  // NOLINT(google-explicit-constructor): a list is the common case
    explicit MIDI2ExportEvents(MergedTracks merge);

    // Every event; a merge is built on first use.
    [[nodiscard]] std::span<const MIDIEvent> list() const;
    // The events at ticks up to tick, in order; a merge is walked only that far.
    [[nodiscard]] EventList through(std::uint32_t tick) const;
    // The merge, while it is not built as a list.
    [[nodiscard]] const MergedTracks* unbuiltMerge() const noexcept { return merge_ && !built_ ? &*merge_ : nullptr; }
    // The surveys of the merge's tracks, made on first use: every walk of the merge shares them.
    [[nodiscard]] std::span<const MergedTrackExportStream::Survey> trackSurveys() const;

private:
    std::optional<MergedTracks> merge_;
    mutable EventList list_;
    mutable bool built_ = true;
    mutable std::vector<MergedTrackExportStream::Survey> surveys_;
};

struct MIDI2NativePreservationRequest {
    MIDI2NativeReexportOperation operation = MIDI2NativeReexportOperation::fullMergedExport;
    std::span<const MIDITrack> sourceTracks;  // the tracks the export represents (they outlive the request)
    MIDI2ExportEvents events;                 // exactly the events that will be written
    int transpose = 0;
    std::optional<double> newBPM;
    bool applyMixerSettings = false;
    MIDI2NativeCandidateScope candidateScope = MIDI2NativeCandidateScope::allImportedCandidates();
    std::string fallbackSourceLabel;
    std::string nativeSourceLabel;
    std::string debugLabel;
    std::optional<MIDI2NativeLoopPlanningContext> loopContext;
};

struct MIDI2NativePreservationDecision {
    MIDI2NativeReplacementPlan replacementPlan;
    int matchedPackets = 0;
    int nonmatchingPackets = 0;
    // The candidates in scope, as positions in the song's packet inventory; absent when every
    // stored candidate is in scope.
    std::optional<std::vector<std::uint32_t>> candidateSnapshots;
    int ambiguousPackets = 0;
};

// ---- Planning -----------------------------------------------------------------------------

// The key of a stored candidate: its sequence tick and its packet down-converted to MIDI 1.0
// bytes; nothing when its words are no valid packet or cannot be converted.
std::optional<MIDI2NativeReplacementKey> midi2CandidateKey(const MIDI2NativePacketInventory& inventory,
                                                           std::size_t position);

struct MIDI2ScopedNativeCandidates {
    std::vector<std::uint32_t> snapshots;  // positions in the inventory, grouped by key
    int ambiguousPackets = 0;
};
MIDI2ScopedNativeCandidates midi2ScopedNativeCandidates(const MIDIFile& file, std::span<const MIDIEvent> events);

MIDI2NativePreservationDecision midi2NativeReplacementPlan(
    const MIDIFile& file, std::span<const MIDIEvent> events,
    const std::optional<std::vector<std::uint32_t>>& candidateSnapshots);

MIDI2NativePreservationDecision midi2NativePreservationDecision(const MIDIFile& file,
                                                                const MIDI2NativePreservationRequest& request);

MIDI2NativeReexportEligibility midi2NativeReexportEligibility(const MIDIFile& file,
                                                              const MIDI2NativePreservationRequest& request,
                                                              const MIDI2NativePreservationDecision& decision,
                                                              int nativeReexportedPackets);

MIDI2NativeLoopPacketClassification midi2NativeLoopPacketClassification(
    const MIDIEventRelationshipSnapshot& relationship, std::uint32_t startTick, std::uint32_t endTick,
    std::uint32_t lengthTick, int repeatCount, bool tightenLoop);

std::optional<MIDI2NativeLoopDryRunPlan> midi2NativeLoopDryRunPlan(
    const MIDI2NativeLoopPacketClassification& classification, const MIDIEventRelationshipSnapshot& relationship,
    std::span<const MIDIEvent> exportedEvents);

// ---- Writing ------------------------------------------------------------------------------

// The packets of one event (none for events without a MIDI 2.0 form, such as track names).
// A complete System Exclusive message becomes SysEx7 Data packets.
std::vector<MIDI2UMPPacket> midi2Packets(const MIDIEvent& event);

struct MIDI2ClipData {
    Bytes data;
    int nativeReplacedPackets = 0;
    std::vector<std::string> skippedEventItems;
};

// The clip of events (in any order; they are written in export order), with the native
// packets of plan written in place of the events they match.
MIDI2ClipData midi2ClipData(const MIDIFile& file, std::span<const MIDIEvent> events, const std::string& sourceLabel,
                            MIDI2NativeReplacementPlan* plan);

EventList singleTrackMIDI2ExportEvents(const MIDIFile& file, const MIDITrack& track, int transpose,
                                       std::optional<double> newBPM);
EventList mergedMIDI2ExportEvents(const MIDIFile& file, std::span<const MIDITrack> tracks, int transpose,
                                  std::optional<double> newBPM, bool applyMixerSettings);

// ---- Entry points -------------------------------------------------------------------------

MIDI2NativeReplacementExport buildSingleTrackMIDI2ClipWithNativeReplacement(const MIDIFile& file,
                                                                            const MIDITrack& track, int transpose,
                                                                            std::optional<double> newBPM);
// With a sink, the clip's bytes go to it as they are made and the result's data stays empty
// (markers off: with markers on, the bytes are gathered and handed over whole at the end).
MIDI2NativeReplacementExport buildMIDI2ClipWithNativeReplacement(const MIDIFile& file,
                                                                 const MIDI2NativePreservationRequest& request,
                                                                 const MIDI2ByteSink& sink = {});
// The request of a full merged export of tracks (what the merge does).
MIDI2NativePreservationRequest midi2FullMergedExportRequest(const MIDIFile& file, std::span<const MIDITrack> tracks,
                                                            int transpose, std::optional<double> newBPM,
                                                            bool applyMixerSettings);
MIDI2NativeReplacementExport buildSingleTrackLoopMIDI2ClipWithNativePlanning(
    const MIDIFile& file, const MIDITrack& track, double loopStartSeconds, double loopEndSeconds, int repeatCount,
    bool tightenLoop, int transpose, std::optional<double> newBPM);
MIDI2NativeReplacementExport buildMergedLoopMIDI2ClipWithNativePlanning(
    const MIDIFile& file, std::span<const MIDITrack> tracks, double loopStartSeconds, double loopEndSeconds,
    int repeatCount, bool tightenLoop, int transpose, std::optional<double> newBPM, bool applyMixerSettings);

// Counts the packets of a clip from its bytes as they are written, whatever pieces they come
// in: what an export report reads back without holding the clip.
class MIDI2ClipPacketCounter {
public:
    void add(std::span<const std::uint8_t> bytes);
    // A clip signature and whole packets only.
    [[nodiscard]] bool whole() const noexcept;

    int deltaClockstampPackets = 0;
    int midi1ChannelVoicePackets = 0;
    int midi2ChannelVoicePackets = 0;
    int flexTempoPackets = 0;
    int flexTimeSignaturePackets = 0;
    int unsupportedPackets = 0;
    int systemExclusiveMessages = 0;
    std::size_t packetCount = 0;
    std::size_t byteCount = 0;
    std::array<bool, 256> channelsSeen{};  // (group * 16 + channel) of Channel Voice packets

private:
    void count(const std::uint8_t* packet);
    std::array<std::uint8_t, 8> signature_{};
    std::array<std::uint8_t, 16> pending_{};  // a packet cut between two pieces
    std::size_t pendingSize_ = 0;
};

// The report of an export, read back from the bytes written; nothing when they do not parse.
// skippedEventItems are the export's own skipped events (MIDI2NativeReplacementExport).
std::optional<MIDI2OperationReport> midi2ExportReport(const MIDIFile& file, std::span<const std::uint8_t> data,
                                                      const std::string& fileName, const std::string& formatLabel,
                                                      int representedTrackCount,
                                                      const std::optional<MIDI2NativeReexportEligibility>& eligibility,
                                                      const std::vector<std::string>& skippedEventItems = {});
// The same from the packets counted while the clip was written.
std::optional<MIDI2OperationReport> midi2ExportReport(const MIDIFile& file, const MIDI2ClipPacketCounter& written,
                                                      const std::string& fileName, const std::string& formatLabel,
                                                      int representedTrackCount,
                                                      const std::optional<MIDI2NativeReexportEligibility>& eligibility,
                                                      const std::vector<std::string>& skippedEventItems = {});

}  // namespace orvane::midi
