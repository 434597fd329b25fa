#include "midi/export/TrackExport.h"

#include <algorithm>
#include <limits>

#include "midi/export/EventTransforms.h"
#include "midi/export/ExportOrder.h"
#include "midi/export/LoopSection.h"
#include "midi/model/HugePages.h"

namespace orvane::midi {

namespace {

using detail::BodyFilter;
using detail::everyTick;

MIDIEvent endOfTrack(std::uint32_t tick) { return MIDIEvent(tick, {0xFF, 0x2F, 0x00}); }

EventList concatenated(EventList first, std::span<const MIDIEvent> second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The split export's body: without mixer controllers, silent channels, end-of-track and the
// tick-0 program changes on the track's channel (channel -1 counting as channel 0).
BodyFilter singleTrackBody(const MIDITrack& track, std::uint64_t endTick = everyTick) {
    return {endTick, true, true, track.channel < 0 ? 0 : track.channel, channelsWithNotes(track.events)};
}

// A merge's body: without silent channels and end-of-track; with the mixer values applied
// also without mixer controllers and the tick-0 program changes on the track's channel.
BodyFilter mergedBody(const MIDITrack& track, bool applyMixerSettings, std::uint16_t noteChannels,
                      std::uint64_t endTick = everyTick) {
    return {endTick, applyMixerSettings, true, applyMixerSettings ? std::optional(track.channel) : std::nullopt,
            noteChannels};
}
BodyFilter mergedBody(const MIDITrack& track, bool applyMixerSettings, std::uint64_t endTick = everyTick) {
    return mergedBody(track, applyMixerSettings, channelsWithNotes(track.events), endTick);
}

// One chunk of a playback file: the track's events without mixer controllers, tempo and
// setup program changes, led by its mixer values, program and name.
void appendPlaybackTrack(Bytes& out, const MIDITrack& track, int transpose) {
    const BodyFilter body{everyTick, true, false, track.channel, 0};
    EventList front = mixEvents(track, std::nullopt, 0);
    std::reverse(front.begin(), front.end());
    front = concatenated(std::move(front), detail::programEvents(track, track.channel));
    front.push_back(trackNameEvent(track));
    EventList events = mergedAroundInExportOrder(std::move(front), track.events, body, {});
    applyNoteEditsInPlace(events, velocityScale(track), transpose);
    MIDIFile::appendTrackChunk(out, events);
}

template <class Tracks>
Bytes buildPlaybackFile(const MIDIFile& midi, const Tracks& tracks, std::size_t trackCount, int transpose,
                        std::optional<double> newBPM) {
    const std::uint32_t end = MIDIFile::maximumTick(midi.musicalTracks());
    Bytes out = midi.header(1, static_cast<int>(trackCount + 1));
    const Bytes conductor = conductorChunk(midi, newBPM, end);
    out.insert(out.end(), conductor.begin(), conductor.end());
    for (const MIDITrack& track : tracks) appendPlaybackTrack(out, track, transpose);
    return out;
}

// The selected musical tracks in ascending row order.
class SelectedTracks {
public:
    SelectedTracks(const MusicalTrackList& musical, const std::set<int>& rows) {
        for (const int row : rows) {
            if (row >= 0 && static_cast<std::size_t>(row) < musical.size()) {
                tracks_.push_back(&musical[static_cast<std::size_t>(row)]);
            }
        }
    }
    class Iterator {
    public:
        explicit Iterator(std::vector<const MIDITrack*>::const_iterator at) : at_(at) {}
        const MIDITrack& operator*() const { return **at_; }
        Iterator& operator++() {
            ++at_;
            return *this;
        }
        bool operator!=(const Iterator& other) const { return at_ != other.at_; }

    private:
        std::vector<const MIDITrack*>::const_iterator at_;
    };
    [[nodiscard]] Iterator begin() const { return Iterator(tracks_.begin()); }
    [[nodiscard]] Iterator end() const { return Iterator(tracks_.end()); }
    [[nodiscard]] std::size_t size() const { return tracks_.size(); }

private:
    std::vector<const MIDITrack*> tracks_;
};

}  // namespace

namespace detail {

std::size_t estimatedFileBytes(std::span<const MIDITrack> tracks) {
    // Per event its bytes and a delta of at most 5 bytes; per chunk its header, name and setup.
    std::size_t bytes = 64;
    for (const MIDITrack& track : tracks) {
        bytes += 64 + track.name.size() + 5 * track.events.size();
        for (const MIDIEvent& event : track.events) bytes += event.size();
    }
    return bytes;
}

EventList programEvents(const MIDITrack& track, int channel) {
    if (!isValidChannel(channel)) return {};
    return {MIDIEvent(0, {static_cast<std::uint8_t>(0xC0 | channel), track.instrument})};
}

EventList trackMixAndProgram(const MIDITrack& track, std::optional<int> channelOverride) {
    const int channel = channelOverride.value_or(track.channel);
    return concatenated(mixEvents(track, channelOverride, 0), programEvents(track, channel));
}

EventList singleTrackBodyBefore(const MIDITrack& track, std::uint64_t endTick) {
    return filteredEvents(std::span<const MIDIEvent>(track.events), singleTrackBody(track, endTick));
}

EventList mergedBodyBefore(const MIDITrack& track, bool applyMixerSettings, int outputChannel, std::uint64_t endTick) {
    EventList body = filteredEvents(std::span<const MIDIEvent>(track.events),
                                    mergedBody(track, applyMixerSettings, endTick));
    if (applyMixerSettings && outputChannel != track.channel) remapChannelInPlace(body, outputChannel);
    return body;
}

EventList playbackSetupEventsFromBody(const MIDITrack& track, std::span<const MIDIEvent> body,
                                      std::uint32_t startTick) {
    EventList setup{trackNameEvent(track)};
    const EventList state = loopRepeatSetupEvents(body, startTick, trackMixAndProgram(track, std::nullopt));
    return concatenated(std::move(setup), state);
}

}  // namespace detail

EventList conductorEvents(const MIDIFile& midi, std::optional<double> newBPM) {
    return concatenated(midi.timeSignatureEvents, midi.effectiveTempoEvents(newBPM));
}

Bytes conductorChunk(const MIDIFile& midi, std::optional<double> newBPM, std::optional<std::uint32_t> durationTick) {
    EventList events = conductorEvents(midi, newBPM);
    if (durationTick) events.push_back(endOfTrack(*durationTick));
    Bytes chunk;
    appendTrackChunkInExportOrder(chunk, events);
    return chunk;
}

EventList singleTrackExportBodyEvents(const MIDITrack& track) {
    return filteredEvents(std::span<const MIDIEvent>(track.events), singleTrackBody(track));
}

EventList singleTrackSetupEvents(const MIDITrack& track) {
    return concatenated(EventList{trackNameEvent(track)}, detail::trackMixAndProgram(track, std::nullopt));
}

EventList mergedTrackExportBodyEvents(const MIDITrack& track, bool applyMixerSettings) {
    BodyFilter filter = mergedBody(track, applyMixerSettings);
    filter.setupProgramChannel.reset();
    return filteredEvents(std::span<const MIDIEvent>(track.events), filter);
}

EventList playbackBodyEvents(const MIDITrack& track) {
    return filteredEvents(std::span<const MIDIEvent>(track.events), BodyFilter{});
}

bool isPlaybackBodyEvent(const MIDIEvent& event) noexcept { return BodyFilter{}(event); }

EventList playbackSetupEvents(const MIDITrack& track, std::uint32_t startTick) {
    const EventList body = playbackBodyEvents(track);
    return detail::playbackSetupEventsFromBody(track, body, startTick);
}

EventList singleTrackExportEvents(const MIDIFile& midi, const MIDITrack& track, int transpose,
                                  std::optional<double> newBPM) {
    EventList events = mergedAroundInExportOrder(singleTrackSetupEvents(track), track.events,
                                                 singleTrackBody(track), conductorEvents(midi, newBPM));
    applyNoteEditsInPlace(events, velocityScale(track), transpose);
    return events;
}

EventList mergedTrackExportEvents(const MIDITrack& track, int outputChannel, int transpose, bool applyMixerSettings) {
    EventList head{trackNameEvent(track)};
    if (applyMixerSettings) head = concatenated(std::move(head), detail::trackMixAndProgram(track, outputChannel));
    EventList events =
        mergedAroundInExportOrder(std::move(head), track.events, mergedBody(track, applyMixerSettings), {});
    // The setup is already on the output channel; the body follows it there.
    if (applyMixerSettings && outputChannel != track.channel) remapChannelInPlace(events, outputChannel);
    applyNoteEditsInPlace(events, applyMixerSettings ? velocityScale(track) : std::nullopt, transpose);
    return events;
}

MergedTrackExportStream::Survey MergedTrackExportStream::survey(const MIDITrack& track, bool applyMixerSettings) {
    // One pass finds the channels with notes and whether the whole track is in export order;
    // then so are the events any filter keeps of it. A track out of order is checked again
    // on the events the merge keeps.
    const ExportOrderLess less;
    const std::span<const MIDIEvent> events = track.events;
    Survey survey;
    bool inOrder = true;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const MIDIEvent& event = events[i];
        if (event.isNoteOn()) survey.noteChannels = static_cast<std::uint16_t>(survey.noteChannels | (1u << event.channel()));
        if (i > 0 && event.tick <= events[i - 1].tick && less(event, events[i - 1])) inOrder = false;
    }
    const BodyFilter keep = mergedBody(track, applyMixerSettings, survey.noteChannels);
    const MIDIEvent* previous = nullptr;
    for (std::size_t i = 0; !inOrder && i < events.size(); ++i) {
        if (!keep(events[i])) continue;
        if (previous != nullptr && less(events[i], *previous)) {
            survey.keptInExportOrder = false;
            break;
        }
        previous = &events[i];
    }
    return survey;
}

MergedTrackExportStream::MergedTrackExportStream(const MIDITrack& track, const Survey& survey, int outputChannel,
                                                 int transpose, bool applyMixerSettings)
    : track_(&track), keep_(mergedBody(track, applyMixerSettings, survey.noteChannels)), transpose_(transpose) {
    if (!survey.keptInExportOrder) {
        walking_ = false;
        built_ = mergedTrackExportEvents(track, outputChannel, transpose, applyMixerSettings);
        return;
    }
    head_ = {trackNameEvent(track)};
    if (applyMixerSettings) head_ = concatenated(std::move(head_), detail::trackMixAndProgram(track, outputChannel));
    sortNearlyOrdered(std::span<MIDIEvent>(head_), ExportOrderLess{});
    if (applyMixerSettings && outputChannel != track.channel) remapTo_ = outputChannel;
    if (applyMixerSettings) velocityFactor_ = velocityScale(track);
    edits_ = remapTo_.has_value() || velocityFactor_.has_value() || transpose != 0;
}

const MIDIEvent* MergedTrackExportStream::edited(const MIDIEvent& event) {
    // The edits mergedTrackExportEvents applies to its whole list.
    edited_ = event;
    if (remapTo_) remapChannelInPlace(std::span<MIDIEvent>(&edited_, 1), *remapTo_);
    applyNoteEditsInPlace(std::span<MIDIEvent>(&edited_, 1), velocityFactor_, transpose_);
    return &edited_;
}

Bytes buildSingleTrackMIDI(const MIDIFile& midi, const MIDITrack& track, int transpose,
                           std::optional<double> newBPM) {
    EventList events = singleTrackExportEvents(midi, track, transpose, newBPM);
    Bytes out = midi.header(1, 1);
    MIDIFile::appendTrackChunk(out, events);
    return out;
}

Bytes buildMergedMIDI(const MIDIFile& midi, std::span<const MIDITrack> tracks, int transpose,
                      std::optional<double> newBPM, bool applyMixerSettings) {
    EventList conductor = conductorEvents(midi, newBPM);
    const bool hasConductor = !conductor.empty();
    Bytes out = midi.header(1, static_cast<int>(tracks.size() + (hasConductor ? 1 : 0)));
    if (hasConductor) {
        std::uint32_t latest = 0;
        for (const MIDIEvent& event : conductor) latest = std::max(latest, event.tick);
        conductor.push_back(endOfTrack(latest));
        appendTrackChunkInExportOrder(out, conductor);
    }
    reserveLarge(out, detail::estimatedFileBytes(tracks));
    const std::vector<int> channels = applyMixerSettings ? assignedChannelsForMergedTracks(tracks) : std::vector<int>{};
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const MIDITrack& track = tracks[i];
        const int channel = applyMixerSettings ? channels[i] : track.channel;
        EventList events = mergedTrackExportEvents(track, channel, transpose, applyMixerSettings);
        MIDIFile::appendTrackChunk(out, events);
    }
    return out;
}

Bytes buildFormat1PlaybackMIDI(const MIDIFile& midi, int transpose, std::optional<double> newBPM) {
    const MusicalTrackList musical = midi.musicalTracks();
    return buildPlaybackFile(midi, musical, musical.size(), transpose, newBPM);
}

Bytes buildSelectedTracksMIDI(const MIDIFile& midi, const std::set<int>& rows, int transpose,
                              std::optional<double> newBPM) {
    const SelectedTracks selected(midi.musicalTracks(), rows);
    return buildPlaybackFile(midi, selected, selected.size(), transpose, newBPM);
}

std::optional<Bytes> buildSingleTrackPlaybackMIDI(const MIDIFile& midi, int musicalRow, int transpose,
                                                  std::optional<double> newBPM) {
    const MusicalTrackList musical = midi.musicalTracks();
    if (musicalRow < 0 || static_cast<std::size_t>(musicalRow) >= musical.size()) return std::nullopt;
    const MIDITrack& track = musical[static_cast<std::size_t>(musicalRow)];
    EventList tail = conductorEvents(midi, newBPM);
    tail.push_back(endOfTrack(MIDIFile::maximumTick(musical)));
    EventList events =
        mergedAroundInExportOrder(singleTrackSetupEvents(track), track.events, singleTrackBody(track), std::move(tail));
    applyNoteEditsInPlace(events, velocityScale(track), transpose);
    Bytes out = midi.header(1, 1);
    MIDIFile::appendTrackChunk(out, events);
    return out;
}

}  // namespace orvane::midi
