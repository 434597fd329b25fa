#pragma once
// Complete Standard MIDI Files (Format 1) made with the loop engine: a merged loop (a
// conductor chunk and one chunk per track), a single-track loop (one chunk holding
// everything), the one-pass preview played while the loop markers move, and the playback
// slice: the rest of the song from a start time, moved to tick 0, with the channel state in
// force at that time replayed at tick 0.

#include <cstdint>
#include <optional>
#include <span>

#include "midi/export/LoopSection.h"
#include "midi/model/MIDIFile.h"

namespace orvane::midi {

// The time signatures and tempo changes of the looped output: at the start of every repeat
// the tempo and time signature in force at startTick, then the section's own changes.
[[nodiscard]] EventList repeatedConductorSectionEvents(const MIDIFile& midi, std::uint32_t startTick,
                                                       std::uint32_t endTick, int repeatCount,
                                                       std::optional<double> newBPM);

// The section of a loop export and the tick at which its output ends.
struct LoopExportRange {
    LoopSectionBounds bounds;
    std::uint32_t finalTick = 1;
};
[[nodiscard]] LoopExportRange loopExportRange(const MIDIFile& midi, double loopStartSeconds, double loopEndSeconds,
                                              int repeatCount, bool tightenLoop, std::optional<double> newBPM);

// The event lists of the loop files' chunks, in export order. The MIDI 2.0 writer writes the
// same lists. The conductor: the repeated conductor section and an end-of-track at finalTick.
[[nodiscard]] EventList loopConductorEvents(const MIDIFile& midi, const LoopExportRange& range, int repeatCount,
                                            std::optional<double> newBPM);
// One track of a merged loop on outputChannel.
[[nodiscard]] EventList mergedLoopTrackEvents(const MIDITrack& track, int outputChannel, const LoopExportRange& range,
                                              int repeatCount, bool tightenLoop, int transpose,
                                              bool applyMixerSettings);
// The one chunk of a single-track loop.
[[nodiscard]] EventList singleTrackLoopEvents(const MIDIFile& midi, const MIDITrack& track,
                                              const LoopExportRange& range, int repeatCount, bool tightenLoop,
                                              int transpose, std::optional<double> newBPM);

[[nodiscard]] Bytes buildMergedLoopMIDI(const MIDIFile& midi, std::span<const MIDITrack> tracks,
                                        double loopStartSeconds, double loopEndSeconds, int repeatCount,
                                        bool tightenLoop, int transpose, std::optional<double> newBPM,
                                        bool applyMixerSettings);

[[nodiscard]] Bytes buildSingleTrackLoopMIDI(const MIDIFile& midi, const MIDITrack& track, double loopStartSeconds,
                                             double loopEndSeconds, int repeatCount, bool tightenLoop, int transpose,
                                             std::optional<double> newBPM);

// One pass of the loop: a single-track loop for one track (always with its mixer values),
// else a merged loop.
[[nodiscard]] Bytes buildLoopPreviewMIDI(const MIDIFile& midi, std::span<const MIDITrack> tracks,
                                         double loopStartSeconds, double loopEndSeconds, int transpose,
                                         std::optional<double> newBPM, bool applyMixerSettings);

// The song from startSeconds on, rebased to tick 0.
[[nodiscard]] Bytes buildPlaybackSliceMIDI(const MIDIFile& midi, std::span<const MIDITrack> tracks,
                                           double startSeconds, int transpose, std::optional<double> newBPM);

}  // namespace orvane::midi
