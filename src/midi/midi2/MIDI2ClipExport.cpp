// Writing MIDI Clip files: events to packets, the clip sequence with its Delta Clockstamps,
// the event lists of split, merge and loop exports, and the export entry points.

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string_view>

#include "midi/export/EventTransforms.h"
#include "midi/export/ExportLog.h"
#include "midi/export/ExportOrder.h"
#include "midi/export/LoopExport.h"
#include "midi/export/TrackExport.h"
#include "midi/midi2/MIDI2ClipFile.h"
#include "midi/midi2/MIDI2Diagnostics.h"
#include "midi/midi2/MIDI2Export.h"
#include "midi/model/HugePages.h"
#include "support/TextFormat.h"

namespace orvane::midi {
namespace {

constexpr std::size_t sysEx7BytesPerPacket = 6;

void marker(std::string_view name, const std::string& detail) {
    if (MIDI2Diagnostics::markersEnabled()) MIDI2Diagnostics::marker(name, detail);
}

bool isChannelStatus(std::uint8_t status) { return status >= 0x80 && status <= 0xEF; }

// A variable-length quantity of at most four bytes at offset: its value and the offset after it.
std::optional<std::pair<std::uint32_t, std::size_t>> readVarLen(std::span<const std::uint8_t> bytes,
                                                                std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && offset + i < bytes.size(); ++i) {
        const std::uint8_t byte = bytes[offset + i];
        value = value << 7 | (byte & 0x7F);
        if ((byte & 0x80) == 0) return std::make_pair(value, offset + i + 1);
    }
    return std::nullopt;
}

// The payload of a meta event of this type and declared length, when at least that many
// payload bytes are there.
std::optional<std::span<const std::uint8_t>> metaPayload(std::span<const std::uint8_t> bytes, std::uint8_t type,
                                                         std::uint32_t length) {
    if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != type) return std::nullopt;
    const auto declared = readVarLen(bytes, 2);
    if (!declared || declared->first != length || bytes.size() - declared->second < length) return std::nullopt;
    return bytes.subspan(declared->second, length);
}

std::optional<MIDI2UMPPacket> midi2TempoPacket(std::span<const std::uint8_t> bytes) {
    const auto payload = metaPayload(bytes, 0x51, 3);
    if (!payload) return std::nullopt;
    const std::uint32_t microseconds =
        std::uint32_t{(*payload)[0]} << 16 | std::uint32_t{(*payload)[1]} << 8 | (*payload)[2];
    return MIDI2UMPPacket::flexDataSetTempo(0, microseconds * 100);
}

std::optional<MIDI2UMPPacket> midi2TimeSignaturePacket(std::span<const std::uint8_t> bytes) {
    const auto payload = metaPayload(bytes, 0x58, 4);
    if (!payload) return std::nullopt;
    return MIDI2UMPPacket::flexDataSetTimeSignature((*payload)[0], (*payload)[1], (*payload)[3]);
}

// Data bytes of a short message: bytes 1 and 2, 0 when absent, each below 0x80.
std::pair<std::uint8_t, std::uint8_t> shortMessageData(std::span<const std::uint8_t> bytes) {
    const std::uint8_t data1 = bytes.size() > 1 ? bytes[1] : 0;
    const std::uint8_t data2 = bytes.size() > 2 ? bytes[2] : 0;
    if (data1 >= 0x80) throw MIDI2UMPError::invalidDataByte(data1);
    if (data2 >= 0x80) throw MIDI2UMPError::invalidDataByte(data2);
    return {data1, data2};
}

// The message bytes between 0xF0 and 0xF7 of a complete System Exclusive event: an 0xF0
// event whose payload ends with 0xF7, or an 0xF7 escape whose payload is a whole 0xF0 ... 0xF7
// message. Nothing for a message split over several events or with bytes of 0x80 or more.
std::optional<std::span<const std::uint8_t>> completeSystemExclusive(std::span<const std::uint8_t> bytes) {
    const auto length = readVarLen(bytes, 1);
    if (!length) return std::nullopt;
    std::span<const std::uint8_t> payload = bytes.subspan(length->second);
    if (bytes[0] == 0xF7) {
        if (payload.empty() || payload.front() != 0xF0) return std::nullopt;
        payload = payload.subspan(1);
    }
    if (payload.empty() || payload.back() != 0xF7) return std::nullopt;
    const auto message = payload.first(payload.size() - 1);
    if (std::any_of(message.begin(), message.end(), [](std::uint8_t byte) { return byte >= 0x80; })) {
        return std::nullopt;
    }
    return message;
}

// SysEx7 packets: one complete packet for up to six bytes, else start, continue ..., end.
void appendSysEx7Packets(std::vector<MIDI2UMPPacket>& out, std::span<const std::uint8_t> message) {
    if (message.size() <= sysEx7BytesPerPacket) {
        out.push_back(MIDI2UMPPacket::systemExclusive7(0, 0x0, message));
        return;
    }
    for (std::size_t offset = 0; offset < message.size(); offset += sysEx7BytesPerPacket) {
        const std::size_t count = std::min(sysEx7BytesPerPacket, message.size() - offset);
        const bool last = offset + count == message.size();
        const std::uint8_t status = offset == 0 ? 0x1 : last ? 0x3 : 0x2;
        out.push_back(MIDI2UMPPacket::systemExclusive7(0, status, message.subspan(offset, count)));
    }
}

enum class EventConversion { written, nothing, skipped };

// Appends the packets of one event to out.
EventConversion appendEventPackets(std::vector<MIDI2UMPPacket>& out, const MIDIEvent& event) {
    const auto bytes = event.data();
    if (bytes.empty() || bytes[0] < 0x80) return EventConversion::nothing;
    const std::uint8_t status = bytes[0];
    if (status == 0xFF) {
        if (auto tempo = midi2TempoPacket(bytes)) {
            out.push_back(*tempo);
        } else if (auto signature = midi2TimeSignaturePacket(bytes)) {
            out.push_back(*signature);
        } else {
            return EventConversion::nothing;
        }
        return EventConversion::written;
    }
    if (status == 0xF0 || status == 0xF7) {
        const auto message = completeSystemExclusive(bytes);
        if (!message) return EventConversion::skipped;
        appendSysEx7Packets(out, *message);
        return EventConversion::written;
    }
    if (isChannelStatus(status)) {
        const auto [data1, data2] = shortMessageData(bytes);
        out.push_back(MIDI2UMPPacket::midi1ChannelVoice(0, status, data1, data2));
        return EventConversion::written;
    }
    if (!MIDI2UMPByteStream::expectedDataByteCount(status)) throw MIDI2UMPError::invalidStatus(status);
    const auto [data1, data2] = shortMessageData(bytes);
    out.push_back(MIDI2UMPPacket::system(status, data1, data2));
    return EventConversion::written;
}

// "N incomplete System Exclusive event(s) skipped (ticks a, b, ...)": the events a clip cannot
// carry, named by their ticks.
std::vector<std::string> skippedSystemExclusiveItems(const std::vector<std::uint32_t>& ticks) {
    if (ticks.empty()) return {};
    constexpr std::size_t namedTicks = 8;
    std::string text = std::to_string(ticks.size()) + " incomplete System Exclusive event(s) skipped (tick" +
                       (ticks.size() == 1 ? " " : "s ");
    for (std::size_t i = 0; i < std::min(ticks.size(), namedTicks); ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(ticks[i]);
    }
    if (ticks.size() > namedTicks) text += ", …";
    return {text + ")"};
}

void requireTicksPerQuarterNote(const MIDIFile& file) {
    if (file.isSMPTE) {
        throw MIDI2UMPError::unsupportedMessage(
            "A MIDI 2.0 Clip counts time in ticks per quarter note; this song is timed in SMPTE frames and cannot be "
            "written as a MIDI 2.0 Clip.");
    }
}

// Merges sources that each yield their events in export order, as if the events were put one
// after another and sorted stably, handing each to emit(event) until it returns false: a heap
// of the sources' current events, the earlier source winning ties. next(i) is a pointer to
// source i's next event, valid until source i is asked again, or nullptr after its last. The
// heap holds (tick, rank, source) packed into one number, so that ordering two events is one
// comparison, and the source that was taken from is sifted down in place.
template <typename Next, typename Emit>
void mergeSources(std::size_t sourceCount, Next&& next, Emit&& emit) {
    constexpr unsigned sourceBits = 24;
    constexpr std::uint64_t sourceMask = (std::uint64_t{1} << sourceBits) - 1;
    if (sourceCount >= (std::size_t{1} << sourceBits)) throw std::length_error("too many export lists to merge");
    std::vector<const MIDIEvent*> current(sourceCount);
    std::vector<std::uint64_t> heap;
    heap.reserve(sourceCount);
    const auto key = [](const MIDIEvent& event, std::size_t source) {
        // After tick 0 only an end-of-track ranks apart (see exportRank).
        const int rank = event.tick != 0 ? (event.isEndOfTrack() ? 6 : 5) : exportRank(event);
        const std::uint64_t order = std::uint64_t{event.tick} << 3 | static_cast<unsigned>(rank);
        return order << sourceBits | source;
    };
    for (std::size_t i = 0; i < sourceCount; ++i) {
        if ((current[i] = next(i)) != nullptr) heap.push_back(key(*current[i], i));
    }
    std::make_heap(heap.begin(), heap.end(), std::greater<>{});
    while (!heap.empty()) {
        const std::size_t source = heap.front() & sourceMask;
        if (!emit(*current[source])) return;
        current[source] = next(source);
        if (current[source] == nullptr) {
            std::pop_heap(heap.begin(), heap.end(), std::greater<>{});
            heap.pop_back();
            continue;
        }
        // The new top: sift the source's next key down from the root.
        const std::uint64_t moving = key(*current[source], source);
        const std::size_t size = heap.size();
        std::size_t at = 0;
        for (;;) {
            std::size_t child = 2 * at + 1;
            if (child >= size) break;
            if (child + 1 < size && heap[child + 1] < heap[child]) ++child;
            if (heap[child] >= moving) break;
            heap[at] = heap[child];
            at = child;
        }
        heap[at] = moving;
    }
}

// The merge of sources as one list; total bounds its events.
template <typename Next>
EventList mergedSources(std::size_t sourceCount, std::size_t total, Next&& next) {
    EventList merged;
    reserveLarge(merged, total);
    mergeSources(sourceCount, next, [&](const MIDIEvent& event) {
        merged.push_back(event);
        return true;
    });
    return merged;
}

// Hands the events of mergedMIDI2ExportEvents to emit(event) until it returns false, walking
// each track as the merge takes its events instead of building the track's list.
// surveys: one per track, or none to make them here.
template <typename Emit>
void mergeTracks(const MIDI2ExportEvents::MergedTracks& merge, std::span<const MergedTrackExportStream::Survey> surveys,
                 Emit&& emit) {
    const std::span<const MIDITrack> tracks = merge.tracks;
    const std::vector<int> channels =
        merge.applyMixerSettings ? assignedChannelsForMergedTracks(tracks) : std::vector<int>{};
    std::vector<MergedTrackExportStream> streams;
    streams.reserve(tracks.size());
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const int channel = merge.applyMixerSettings ? channels[i] : tracks[i].channel;
        const auto survey = surveys.empty() ? MergedTrackExportStream::survey(tracks[i], merge.applyMixerSettings)
                                            : surveys[i];
        streams.emplace_back(tracks[i], survey, channel, merge.transpose, merge.applyMixerSettings);
    }
    EventList conductor = conductorEvents(*merge.file, merge.newBPM);
    sortNearlyOrdered(std::span<MIDIEvent>(conductor), ExportOrderLess{});
    std::size_t nextConductor = 0;
    mergeSources(
        streams.size() + 1,
        [&](std::size_t i) -> const MIDIEvent* {
            if (i < streams.size()) return streams[i].next();
            return nextConductor == conductor.size() ? nullptr : &conductor[nextConductor++];
        },
        emit);
}

// The most events mergeTracks can emit.
std::size_t mergedEventsAtMost(const MIDI2ExportEvents::MergedTracks& merge) {
    std::size_t total = merge.file->timeSignatureEvents.size() + merge.file->tempoEvents.size() + 1;
    for (const MIDITrack& track : merge.tracks) total += track.events.size() + 5;  // name, mixer values, program
    return total;
}

// The lists, each brought into export order, merged as above.
EventList mergedLists(std::vector<EventList> lists) {
    std::size_t total = 0;
    for (auto& list : lists) {
        sortNearlyOrdered(std::span<MIDIEvent>(list), ExportOrderLess{});
        total += list.size();
    }
    std::vector<std::size_t> position(lists.size(), 0);
    return mergedSources(lists.size(), total, [&](std::size_t i) -> const MIDIEvent* {
        return position[i] == lists[i].size() ? nullptr : &lists[i][position[i]++];
    });
}

std::string loopDebugRange(const LoopExportRange& range, int repeatCount) {
    return " startTick=" + std::to_string(range.bounds.startTick) + " endTick=" + std::to_string(range.bounds.endTick) +
           " repeats=" + std::to_string(repeatCount);
}

// The request of a loop export; the caller adds the labels.
MIDI2NativePreservationRequest loopRequest(std::span<const MIDITrack> tracks, EventList events, int transpose,
                                           std::optional<double> newBPM, bool applyMixerSettings,
                                           const LoopExportRange& range, int repeatCount, bool tightenLoop) {
    MIDI2NativePreservationRequest request;
    request.operation = MIDI2NativeReexportOperation::loopExport;
    request.sourceTracks = tracks;
    request.events = std::move(events);
    request.transpose = transpose;
    request.newBPM = newBPM;
    request.applyMixerSettings = applyMixerSettings;
    request.candidateScope =
        MIDI2NativeCandidateScope::scopedToSourceRange(range.bounds.startTick, range.bounds.endTick);
    request.loopContext =
        MIDI2NativeLoopPlanningContext{range.bounds.startTick, range.bounds.endTick, range.bounds.length,
                                       clampedRepeatCount(repeatCount), tightenLoop};
    return request;
}

// An upper bound of the words a clip of events takes, so that its buffer never grows: per
// event a Delta Clockstamp and its packets, plus one Delta Clockstamp per 0xFFFFF ticks of
// gaps; and whether the events are in export order.
struct WordBound {
    std::size_t words = 0;
    std::uint32_t latestTick = 0;
    bool inOrder = true;

    void add(const MIDIEvent& event) {
        words += 1 + (event.size() <= 3       ? 1
                      : event.status() == 0xFF ? 4
                                               : 2 * (event.size() / sysEx7BytesPerPacket + 1));
        latestTick = std::max(latestTick, event.tick);
    }
    [[nodiscard]] std::size_t total() const { return words + latestTick / 0xFFFFF + 1; }
};

WordBound wordBound(std::span<const MIDIEvent> events) {
    WordBound bound;
    for (std::size_t i = 0; i < events.size(); ++i) {
        bound.add(events[i]);
        if (i > 0 && bound.inOrder && ExportOrderLess{}(events[i], events[i - 1])) bound.inOrder = false;
    }
    return bound;
}

// Writes the clip of the events forEachEvent(write) hands to write, in export order, with the
// native packets of plan in place of the events they match.
// With a sink (markers off), the bytes go there as they are made.
template <typename ForEachEvent>
MIDI2ClipData writtenClip(const MIDIFile& file, std::size_t words, ForEachEvent&& forEachEvent,
                          const std::string& sourceLabel, MIDI2NativeReplacementPlan* plan,
                          const MIDI2ByteSink& sink) {
    const bool markers = MIDI2Diagnostics::markersEnabled();
    MIDI2ClipWriter clip = sink && !markers ? MIDI2ClipWriter(sink, file.timeDivision) : MIDI2ClipWriter(words);
    std::vector<MIDI2UMPPacket> eventPackets;
    std::vector<std::uint32_t> skippedTicks;
    std::uint32_t lastTick = 0;
    std::uint32_t endOfTrackTick = 0;
    int converted = 0;
    int nativeReplaced = 0;
    const bool replacing = plan != nullptr && !plan->empty();
    forEachEvent([&](const MIDIEvent& event) {
        if (!replacing && !markers && event.size() >= 2 && event.size() <= 3 && isChannelStatus(event.status())) {
            // Most events: a channel message becomes a MIDI 1.0 Channel Voice word after one
            // Delta Clockstamp, written directly.
            const std::uint8_t data1 = event[1];
            const std::uint8_t data2 = event.size() == 3 ? event[2] : 0;
            const std::uint32_t delta = event.tick > lastTick ? event.tick - lastTick : 0;
            if (data1 < 0x80 && data2 < 0x80 && delta < 0x100000) {
                clip.appendWord(0x00400000 | delta);
                clip.appendWord(0x20000000 | std::uint32_t{event.status()} << 16 | std::uint32_t{data1} << 8 | data2);
                ++converted;
                lastTick = event.tick;
                return;
            }
        }
        if (event.isEndOfTrack()) endOfTrackTick = std::max(endOfTrackTick, event.tick);
        eventPackets.clear();
        std::optional<MIDI2UMPPacket> native;
        if (replacing && isChannelStatus(event.status())) {
            if (const auto key = MIDI2NativeReplacementKey::of(event.tick, event.data()))
                native = plan->takeFirst(*key);
        }
        if (native) {
            eventPackets.push_back(*native);
            ++nativeReplaced;
            if (markers) {
                MIDI2Diagnostics::marker("SMF2_NATIVE_REPLACE_PACKET",
                                         formatString("tick=%u status=0x%02X", event.tick, event.status()));
            }
        } else {
            const EventConversion conversion = appendEventPackets(eventPackets, event);
            if (conversion == EventConversion::skipped) skippedTicks.push_back(event.tick);
            if (conversion != EventConversion::written) return;
        }
        clip.appendDeltaClockstamps(event.tick > lastTick ? event.tick - lastTick : 0);
        for (const MIDI2UMPPacket& packet : eventPackets) clip.append(packet);
        ++converted;
        lastTick = event.tick;
    });
    const std::size_t sequencePackets = clip.sequencePackets();
    marker("SMF2_EXPORT_SEQUENCE_OK", "source=" + sourceLabel + " packets=" + std::to_string(sequencePackets) +
                                          " convertedEvents=" + std::to_string(converted) +
                                          " skippedEvents=" + std::to_string(skippedTicks.size()) +
                                          " nativeReplaced=" + std::to_string(nativeReplaced));

    // A clip lasts as long as the exported song: up to its end-of-track when that comes later
    // than the last event written.
    const std::uint32_t trailingTicks = endOfTrackTick > lastTick ? endOfTrackTick - lastTick : 0;
    clip.wrap(file.timeDivision, trailingTicks);
    std::string detail = "source=" + sourceLabel + " sequencePackets=" + std::to_string(sequencePackets) +
                         " tpq=" + std::to_string(file.timeDivision);
    if (plan != nullptr) detail += " nativeReplaced=" + std::to_string(nativeReplaced);
    marker("SMF2_EXPORT_OK", detail);
    MIDI2ClipData result{clip.take(), nativeReplaced, skippedSystemExclusiveItems(skippedTicks)};
    if (sink && markers) {
        sink(result.data);
        result.data.clear();
    }
    return result;
}

}  // namespace

// ---- Events to packets ----------------------------------------------------------------------

std::vector<MIDI2UMPPacket> midi2Packets(const MIDIEvent& event) {
    std::vector<MIDI2UMPPacket> packets;
    appendEventPackets(packets, event);
    return packets;
}

namespace {

MIDI2ClipData clipOfList(const MIDIFile& file, std::span<const MIDIEvent> events, const std::string& sourceLabel,
                         MIDI2NativeReplacementPlan* plan, const MIDI2ByteSink& sink) {
    MIDI2Diagnostics::MarkerScope markerScope;
    requireTicksPerQuarterNote(file);
    marker("SMF2_EXPORT_SEQUENCE_BEGIN", "source=" + sourceLabel + " events=" + std::to_string(events.size()));
    // The export lists come in export order already; anything else is sorted on a copy.
    const WordBound bound = wordBound(events);
    EventList sorted;
    if (!bound.inOrder) {
        sorted.assign(events.begin(), events.end());
        sortNearlyOrdered(std::span<MIDIEvent>(sorted), ExportOrderLess{});
        events = sorted;
    }
    return writtenClip(file, bound.total(), [&](auto&& write) {
        for (const MIDIEvent& event : events) write(event);
    }, sourceLabel, plan, sink);
}

}  // namespace

MIDI2ClipData midi2ClipData(const MIDIFile& file, std::span<const MIDIEvent> events, const std::string& sourceLabel,
                            MIDI2NativeReplacementPlan* plan) {
    return clipOfList(file, events, sourceLabel, plan, {});
}


namespace {

// The clip of an export's events: a merge not yet built as a list is written as it is merged.
MIDI2ClipData clipOf(const MIDIFile& file, const MIDI2ExportEvents& events, const std::string& sourceLabel,
                     MIDI2NativeReplacementPlan* plan, const MIDI2ByteSink& sink) {
    const MIDI2ExportEvents::MergedTracks* merge = events.unbuiltMerge();
    // With markers on, the list is built so that they count its events.
    if (merge == nullptr || MIDI2Diagnostics::markersEnabled()) {
        return clipOfList(file, events.list(), sourceLabel, plan, sink);
    }
    requireTicksPerQuarterNote(file);
    WordBound bound;
    for (const MIDITrack& track : merge->tracks) {
        for (const MIDIEvent& event : track.events) bound.add(event);
        bound.words += 25;  // the name, mixer and program events written at its head
    }
    for (const MIDIEvent& event : merge->file->timeSignatureEvents) bound.add(event);
    for (const MIDIEvent& event : merge->file->effectiveTempoEvents(merge->newBPM)) bound.add(event);
    return writtenClip(
        file, bound.total(),
        [&](auto&& write) {
            mergeTracks(*merge, events.trackSurveys(), [&](const MIDIEvent& event) {
                write(event);
                return true;
            });
        },
        sourceLabel, plan, sink);
}

}  // namespace

// ---- Event lists ----------------------------------------------------------------------------

EventList singleTrackMIDI2ExportEvents(const MIDIFile& file, const MIDITrack& track, int transpose,
                                       std::optional<double> newBPM) {
    return singleTrackExportEvents(file, track, transpose, newBPM);
}

EventList mergedMIDI2ExportEvents(const MIDIFile& file, std::span<const MIDITrack> tracks, int transpose,
                                  std::optional<double> newBPM, bool applyMixerSettings) {
    const MIDI2ExportEvents::MergedTracks merge{&file, tracks, transpose, newBPM, applyMixerSettings};
    EventList events;
    reserveLarge(events, mergedEventsAtMost(merge));
    mergeTracks(merge, {}, [&](const MIDIEvent& event) {
        events.push_back(event);
        return true;
    });
    return events;
}

// ---- Export events ----------------------------------------------------------------------------

MIDI2ExportEvents::MIDI2ExportEvents(EventList events) : list_(std::move(events)), built_(true) {}

MIDI2ExportEvents::MIDI2ExportEvents(MergedTracks merge) : merge_(merge), built_(false) {}

std::span<const MIDIEvent> MIDI2ExportEvents::list() const {
    if (!built_) {
        list_ = mergedMIDI2ExportEvents(*merge_->file, merge_->tracks, merge_->transpose, merge_->newBPM,
                                        merge_->applyMixerSettings);
        built_ = true;
    }
    return list_;
}

std::span<const MergedTrackExportStream::Survey> MIDI2ExportEvents::trackSurveys() const {
    if (merge_ && surveys_.size() != merge_->tracks.size()) {
        surveys_.clear();
        for (const MIDITrack& track : merge_->tracks) {
            surveys_.push_back(MergedTrackExportStream::survey(track, merge_->applyMixerSettings));
        }
    }
    return surveys_;
}

EventList MIDI2ExportEvents::through(std::uint32_t tick) const {
    EventList head;
    if (const MergedTracks* merge = unbuiltMerge()) {
        mergeTracks(*merge, trackSurveys(), [&](const MIDIEvent& event) {
            if (event.tick > tick) return false;
            head.push_back(event);
            return true;
        });
        return head;
    }
    for (const MIDIEvent& event : list()) {
        if (event.tick <= tick) head.push_back(event);
    }
    return head;
}

// ---- Entry points ---------------------------------------------------------------------------

MIDI2NativeReplacementExport buildMIDI2ClipWithNativeReplacement(const MIDIFile& file,
                                                                 const MIDI2NativePreservationRequest& request,
                                                                 const MIDI2ByteSink& sink) {
    MIDI2Diagnostics::MarkerScope markerScope;
    requireTicksPerQuarterNote(file);
    MIDI2NativePreservationDecision decision = midi2NativePreservationDecision(file, request);
    MIDI2NativeReexportEligibility eligibility =
        midi2NativeReexportEligibility(file, request, decision, decision.matchedPackets);
    MIDI2ClipData clip;
    if (eligibility.canReexportNativePackets) {
        marker("SMF2_NATIVE_REPLACE_BEGIN",
               "source=" + request.debugLabel + " matched=" + std::to_string(decision.matchedPackets));
        clip = clipOf(file, request.events, request.nativeSourceLabel, &decision.replacementPlan, sink);
        eligibility = midi2NativeReexportEligibility(file, request, decision, clip.nativeReplacedPackets);
        marker("SMF2_NATIVE_REPLACE_OK",
               "source=" + request.debugLabel + " nativeReplaced=" + std::to_string(clip.nativeReplacedPackets));
    } else {
        std::string categories;
        for (const auto category : eligibility.blockerCategories) {
            if (!categories.empty()) categories += ", ";
            categories += rawValue(category);
        }
        marker("SMF2_NATIVE_REPLACE_FALLBACK",
               "source=" + request.debugLabel + " matched=" + std::to_string(decision.matchedPackets) +
                   " unmatched=" + std::to_string(decision.nonmatchingPackets) +
                   " ambiguous=" + std::to_string(decision.ambiguousPackets) +
                   " blockers=" + std::to_string(eligibility.blockers.size()) + " categories=" + categories);
        clip = clipOf(file, request.events, request.fallbackSourceLabel, nullptr, sink);
        // The file carries no native packet: the planned matches were not written.
        eligibility.nativeReexportedPackets = 0;
    }
    return {std::move(clip.data), std::move(eligibility), std::move(clip.skippedEventItems)};
}

MIDI2NativeReplacementExport buildSingleTrackMIDI2ClipWithNativeReplacement(const MIDIFile& file,
                                                                            const MIDITrack& track, int transpose,
                                                                            std::optional<double> newBPM) {
    MIDI2NativePreservationRequest request;
    request.operation = MIDI2NativeReexportOperation::splitExport;
    request.sourceTracks = std::span<const MIDITrack>(&track, 1);
    request.events = singleTrackMIDI2ExportEvents(file, track, transpose, newBPM);
    request.transpose = transpose;
    request.newBPM = newBPM;
    request.applyMixerSettings = false;
    request.candidateScope = MIDI2NativeCandidateScope::scopedToExportEvents();
    request.fallbackSourceLabel = "single-track:" + track.name;
    request.nativeSourceLabel = "single-track-native-replacement:" + track.name;
    request.debugLabel = "single-track track='" + track.name + "'";
    return buildMIDI2ClipWithNativeReplacement(file, request);
}

MIDI2NativePreservationRequest midi2FullMergedExportRequest(const MIDIFile& file, std::span<const MIDITrack> tracks,
                                                            int transpose, std::optional<double> newBPM,
                                                            bool applyMixerSettings) {
    MIDI2NativePreservationRequest request;
    request.operation = MIDI2NativeReexportOperation::fullMergedExport;
    request.sourceTracks = tracks;
    // The events are merged as the clip is written; planners that need them all build the list.
    request.events = MIDI2ExportEvents({&file, tracks, transpose, newBPM, applyMixerSettings});
    request.transpose = transpose;
    request.newBPM = newBPM;
    request.applyMixerSettings = applyMixerSettings;
    request.candidateScope = MIDI2NativeCandidateScope::allImportedCandidates();
    request.fallbackSourceLabel = "merged";
    request.nativeSourceLabel = "merged-native-replacement";
    request.debugLabel = "merged";
    return request;
}

MIDI2NativeReplacementExport buildSingleTrackLoopMIDI2ClipWithNativePlanning(
    const MIDIFile& file, const MIDITrack& track, double loopStartSeconds, double loopEndSeconds, int repeatCount,
    bool tightenLoop, int transpose, std::optional<double> newBPM) {
    MIDI2Diagnostics::MarkerScope markerScope;
    MIDIFile::logMIDIDiagnostic(
        formatString("Build single-track MIDI 2.0 loop export: track='%s', repeats=%d, "
                     "tighten=%s, transpose=%d, tempoOverride=%s",
                     track.name.c_str(), repeatCount, onOff(tightenLoop), transpose, overrideText(newBPM).c_str()),
        "buildSingleTrackLoopMIDI2ClipWithNativePlanning(track:loopStartSeconds:loopEndSeconds:"
        "repeatCount:tightenLoop:transpose:newBPM:)");
    const LoopExportRange range =
        loopExportRange(file, loopStartSeconds, loopEndSeconds, repeatCount, tightenLoop, newBPM);
    EventList events = singleTrackLoopEvents(file, track, range, repeatCount, tightenLoop, transpose, newBPM);
    const int repeats = clampedRepeatCount(repeatCount);
    marker("SMF2_EXPORT_SINGLE_TRACK_LOOP",
           "events=" + std::to_string(events.size()) + " repeats=" + std::to_string(repeats));
    MIDI2NativePreservationRequest request = loopRequest(std::span<const MIDITrack>(&track, 1), std::move(events),
                                                         transpose, newBPM, false, range, repeatCount, tightenLoop);
    request.fallbackSourceLabel = "single-track-loop:" + track.name;
    request.nativeSourceLabel = "single-track-loop-native-replacement:" + track.name;
    request.debugLabel = "single-track-loop track='" + track.name + "'" + loopDebugRange(range, repeats);
    return buildMIDI2ClipWithNativeReplacement(file, request);
}

MIDI2NativeReplacementExport buildMergedLoopMIDI2ClipWithNativePlanning(
    const MIDIFile& file, std::span<const MIDITrack> tracks, double loopStartSeconds, double loopEndSeconds,
    int repeatCount, bool tightenLoop, int transpose, std::optional<double> newBPM, bool applyMixerSettings) {
    MIDI2Diagnostics::MarkerScope markerScope;
    MIDIFile::logMIDIDiagnostic(formatString("Build merged MIDI 2.0 loop export: tracks=%zu, repeats=%d, tighten=%s, "
                                             "transpose=%d, tempoOverride=%s, mixerSettings=%s",
                                             tracks.size(), repeatCount, onOff(tightenLoop), transpose,
                                             overrideText(newBPM).c_str(), onOff(applyMixerSettings)),
                                "buildMergedLoopMIDI2ClipWithNativePlanning(tracks:loopStartSeconds:loopEndSeconds:"
                                "repeatCount:tightenLoop:transpose:newBPM:applyMixerSettings:)");
    const LoopExportRange range =
        loopExportRange(file, loopStartSeconds, loopEndSeconds, repeatCount, tightenLoop, newBPM);
    const std::vector<int> channels = applyMixerSettings ? assignedChannelsForMergedTracks(tracks) : std::vector<int>{};
    std::vector<EventList> lists;
    lists.reserve(tracks.size() + 1);
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const int channel = applyMixerSettings ? channels[i] : tracks[i].channel;
        lists.push_back(
            mergedLoopTrackEvents(tracks[i], channel, range, repeatCount, tightenLoop, transpose, applyMixerSettings));
    }
    lists.push_back(loopConductorEvents(file, range, repeatCount, newBPM));

    EventList events = mergedLists(std::move(lists));
    const int repeats = clampedRepeatCount(repeatCount);
    marker("SMF2_EXPORT_MERGED_LOOP",
           "events=" + std::to_string(events.size()) + " repeats=" + std::to_string(repeats));
    MIDI2NativePreservationRequest request =
        loopRequest(tracks, std::move(events), transpose, newBPM, applyMixerSettings, range, repeatCount, tightenLoop);
    request.fallbackSourceLabel = "merged-loop";
    request.nativeSourceLabel = "merged-loop-native-replacement";
    request.debugLabel = "merged-loop tracks=" + std::to_string(tracks.size()) + loopDebugRange(range, repeats);
    return buildMIDI2ClipWithNativeReplacement(file, request);
}

}  // namespace orvane::midi
