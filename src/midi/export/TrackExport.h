#pragma once
// Complete Standard MIDI Files (Format 1) made from the song and the user's edits: one file
// per track for a split export, one file for a merge, and the in-memory files the player
// loads for the whole song, a selection of tracks or the audition of one track. Each builder
// keeps the events of a track that it does not write anew, writes the track's name, program
// and mixer controllers at tick 0 from the track's fields, and applies the song-wide edits:
// transpose (semitones), an optional tempo override newBPM, and for merges whether the mixer
// values apply.

#include <cstdint>
#include <optional>
#include <set>
#include <span>

#include "midi/export/EventTransforms.h"
#include "midi/export/ExportOrder.h"
#include "midi/model/MIDIFile.h"

namespace orvane::midi {

// The song's time signatures followed by its tempo list (rewritten under newBPM).
[[nodiscard]] EventList conductorEvents(const MIDIFile& midi, std::optional<double> newBPM);
// The conductor events, with an end-of-track at durationTick when given, as one track chunk.
[[nodiscard]] Bytes conductorChunk(const MIDIFile& midi, std::optional<double> newBPM,
                                   std::optional<std::uint32_t> durationTick);

[[nodiscard]] EventList singleTrackExportBodyEvents(const MIDITrack& track);
[[nodiscard]] EventList singleTrackSetupEvents(const MIDITrack& track);
[[nodiscard]] EventList mergedTrackExportBodyEvents(const MIDITrack& track, bool applyMixerSettings);
[[nodiscard]] EventList playbackBodyEvents(const MIDITrack& track);
// Whether playbackBodyEvents keeps an event.
[[nodiscard]] bool isPlaybackBodyEvent(const MIDIEvent& event) noexcept;
[[nodiscard]] EventList playbackSetupEvents(const MIDITrack& track, std::uint32_t startTick);

// The events of a split export's one chunk (setup, body and conductor events, velocity and
// transpose applied), in export order. The MIDI 2.0 writer writes the same list.
[[nodiscard]] EventList singleTrackExportEvents(const MIDIFile& midi, const MIDITrack& track, int transpose,
                                                std::optional<double> newBPM);
// The events of one track chunk of a merge on outputChannel, in export order.
[[nodiscard]] EventList mergedTrackExportEvents(const MIDITrack& track, int outputChannel, int transpose,
                                                bool applyMixerSettings);

namespace detail {

inline constexpr std::uint64_t everyTick = std::uint64_t{0xFFFFFFFF} + 1;

// What a builder keeps of a track's events. Tempo and time signatures and track names are
// always written anew; the rest depends on the builder.
struct BodyFilter {
    std::uint64_t endTick = everyTick;            // only events before this tick
    bool dropMixControllers = true;               // volume, pan and reverb
    bool dropEndOfTrack = true;
    std::optional<int> setupProgramChannel;       // tick-0 program changes on this channel go
    std::uint16_t noteChannels = 0;               // channel messages only of these (0: of all)

    bool operator()(const MIDIEvent& event) const noexcept {
        if (event.tick >= endTick) return false;
        const std::uint8_t status = event.status();
        if (status >= 0x80 && status <= 0xEF) {
            if (noteChannels != 0 && (noteChannels & (1u << (status & 0x0F))) == 0) return false;
            switch (status & 0xF0) {
                case 0xB0: return !(dropMixControllers && isMixController(event));
                case 0xC0: return !(setupProgramChannel && isTickZeroProgramChange(event, *setupProgramChannel));
                default: return true;
            }
        }
        if (status == 0xFF) {
            return !isTempoOrTimeSignature(event) && !isTrackName(event) && !(dropEndOfTrack && event.isEndOfTrack());
        }
        return true;
    }
};

}  // namespace detail

// The events of mergedTrackExportEvents one at a time, for writers that merge many tracks
// without building each track's list: a track whose kept events are in export order (as a
// track read from a file is) is walked in place; any other track's list is built once. The
// track must outlive the stream.
class MergedTrackExportStream {
public:
    // What a stream needs to know of its track before walking it, found in one pass; writers
    // that walk the same tracks twice survey them once.
    struct Survey {
        std::uint16_t noteChannels = 0;  // the channels with notes
        bool keptInExportOrder = true;   // the events the merge keeps are in export order
    };
    [[nodiscard]] static Survey survey(const MIDITrack& track, bool applyMixerSettings);

    MergedTrackExportStream(const MIDITrack& track, const Survey& survey, int outputChannel, int transpose,
                            bool applyMixerSettings);
    // The next event, or nullptr after the last. The event stays valid until the next call.
    [[gnu::always_inline]] const MIDIEvent* next() {
        if (!walking_) return nextBuilt_ == built_.size() ? nullptr : &built_[nextBuilt_++];
        const EventList& body = track_->events;
        while (nextBody_ < body.size() && !keep_(body[nextBody_])) ++nextBody_;
        const MIDIEvent* event = nullptr;
        if (nextHead_ < head_.size() && (nextBody_ == body.size() || !ExportOrderLess{}(body[nextBody_], head_[nextHead_]))) {
            event = &head_[nextHead_++];
        } else if (nextBody_ < body.size()) {
            event = &body[nextBody_++];
        } else {
            return nullptr;
        }
        return edits_ ? edited(*event) : event;
    }

private:
    const MIDIEvent* edited(const MIDIEvent& event);

    const MIDITrack* track_;
    detail::BodyFilter keep_;
    bool edits_ = false;       // a channel remap or note edits: events are copied and changed
    std::optional<int> remapTo_;
    std::optional<double> velocityFactor_;
    int transpose_ = 0;
    EventList head_;           // name and setup, in export order, ahead of body events in equal order
    EventList built_;          // the whole list, for a track whose kept events are out of order
    MIDIEvent edited_;         // the last event handed out, when edits change it
    bool walking_ = true;
    std::size_t nextBody_ = 0;
    std::size_t nextHead_ = 0;
    std::size_t nextBuilt_ = 0;
};

// Split export of one track: one chunk holding its setup, the conductor events and its notes.
[[nodiscard]] Bytes buildSingleTrackMIDI(const MIDIFile& midi, const MIDITrack& track, int transpose,
                                         std::optional<double> newBPM);
// Merge export: a conductor chunk when there is tempo or time-signature data, then one chunk
// per track in the given order.
[[nodiscard]] Bytes buildMergedMIDI(const MIDIFile& midi, std::span<const MIDITrack> tracks, int transpose,
                                    std::optional<double> newBPM, bool applyMixerSettings);
// Playback file of every musical track.
[[nodiscard]] Bytes buildFormat1PlaybackMIDI(const MIDIFile& midi, int transpose, std::optional<double> newBPM);
// Playback file of the musical rows in rows (rows that are not musical rows are skipped).
[[nodiscard]] Bytes buildSelectedTracksMIDI(const MIDIFile& midi, const std::set<int>& rows, int transpose,
                                            std::optional<double> newBPM);
// Audition file of one musical row, as long as the whole song; nothing for a row that does
// not exist.
[[nodiscard]] std::optional<Bytes> buildSingleTrackPlaybackMIDI(const MIDIFile& midi, int musicalRow, int transpose,
                                                                std::optional<double> newBPM);

namespace detail {
// An upper bound of the bytes of a file holding these tracks once.
std::size_t estimatedFileBytes(std::span<const MIDITrack> tracks);
// A track's program change at tick 0 on channel, or nothing when channel is not 0...15.
EventList programEvents(const MIDITrack& track, int channel);
// The track's events that lie before endTick and survive the split export's stripping.
EventList singleTrackBodyBefore(const MIDITrack& track, std::uint64_t endTick);
// The track's events before endTick that a merge keeps, on the output channel.
EventList mergedBodyBefore(const MIDITrack& track, bool applyMixerSettings, int outputChannel,
                           std::uint64_t endTick);
// playbackSetupEvents for a body already made by playbackBodyEvents.
EventList playbackSetupEventsFromBody(const MIDITrack& track, std::span<const MIDIEvent> body,
                                      std::uint32_t startTick);
// The single-track setup events with the program change last: the explicit setup of a repeat.
EventList trackMixAndProgram(const MIDITrack& track, std::optional<int> channelOverride);
}  // namespace detail

}  // namespace orvane::midi
