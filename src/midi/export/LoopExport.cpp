#include "midi/export/LoopExport.h"

#include <algorithm>
#include <array>
#include <limits>

#include "midi/export/EventTransforms.h"
#include "midi/export/ExportLog.h"
#include "midi/export/ExportOrder.h"
#include "midi/export/LoopSection.h"
#include "midi/export/ParallelWork.h"
#include "midi/export/TrackExport.h"
#include "support/TextFormat.h"

namespace orvane::midi {

namespace {

constexpr std::uint64_t lastTick = std::numeric_limits<std::uint32_t>::max();

MIDIEvent endOfTrack(std::uint32_t tick) { return MIDIEvent(tick, {0xFF, 0x2F, 0x00}); }

}  // namespace

LoopExportRange loopExportRange(const MIDIFile& midi, double loopStartSeconds, double loopEndSeconds, int repeatCount,
                                bool tightenLoop, std::optional<double> newBPM) {
    const LoopSectionBounds bounds = loopSectionBounds(midi, loopStartSeconds, loopEndSeconds, tightenLoop, newBPM);
    return {bounds, loopFinalTick(bounds.length, repeatCount)};
}

EventList loopConductorEvents(const MIDIFile& midi, const LoopExportRange& range, int repeatCount,
                              std::optional<double> newBPM) {
    EventList conductor =
        repeatedConductorSectionEvents(midi, range.bounds.startTick, range.bounds.endTick, repeatCount, newBPM);
    conductor.push_back(endOfTrack(range.finalTick));
    return conductor;
}

EventList mergedLoopTrackEvents(const MIDITrack& track, int channel, const LoopExportRange& range, int repeatCount,
                                bool tightenLoop, int transpose, bool applyMixerSettings) {
    const LoopSectionBounds& bounds = range.bounds;
    const EventList body = detail::mergedBodyBefore(track, applyMixerSettings, channel, bounds.endTick);
    const EventList mix = applyMixerSettings ? mixEvents(track, channel, 0) : EventList{};
    EventList explicitSetup = mix;
    const EventList program = detail::programEvents(track, channel);
    explicitSetup.insert(explicitSetup.end(), program.begin(), program.end());

    EventList head{trackNameEvent(track)};
    head.insert(head.end(), explicitSetup.begin(), explicitSetup.end());
    const EventList setup = loopRepeatSetupEvents(body, bounds.startTick, explicitSetup);
    MIDIFile::logMIDIDiagnostic(formatString("Merged loop repeat setup: track='%s', channel=%d, "
                                             "setupEventsPerRepeat=%zu",
                                             track.name.c_str(), channel, setup.size()),
                                "buildMergedLoopMIDI(tracks:loopStartSeconds:loopEndSeconds:repeatCount:tightenLoop:"
                                "transpose:newBPM:applyMixerSettings:)");
    EventList repeated = repeatedSectionEvents(body, bounds.startTick, bounds.endTick, repeatCount, channel,
                                               tightenLoop, setup);
    EventList tail{endOfTrack(range.finalTick)};
    EventList events = mergedInExportOrder({&head, &repeated, &tail});
    applyNoteEditsInPlace(events, applyMixerSettings ? velocityScale(track) : std::nullopt, transpose);
    return events;
}

EventList singleTrackLoopEvents(const MIDIFile& midi, const MIDITrack& track, const LoopExportRange& range,
                                int repeatCount, bool tightenLoop, int transpose, std::optional<double> newBPM) {
    const LoopSectionBounds& bounds = range.bounds;
    const EventList body = detail::singleTrackBodyBefore(track, bounds.endTick);
    const EventList setup =
        loopRepeatSetupEvents(body, bounds.startTick, detail::trackMixAndProgram(track, std::nullopt));
    MIDIFile::logMIDIDiagnostic(formatString("Single-track loop repeat setup: track='%s', setupEventsPerRepeat=%zu",
                                             track.name.c_str(), setup.size()),
                                "buildSingleTrackLoopMIDI(track:loopStartSeconds:loopEndSeconds:repeatCount:"
                                "tightenLoop:transpose:newBPM:)");
    EventList head = singleTrackSetupEvents(track);
    EventList repeated = repeatedSectionEvents(body, bounds.startTick, bounds.endTick, repeatCount, track.channel,
                                               tightenLoop, setup);
    EventList conductor = loopConductorEvents(midi, range, repeatCount, newBPM);
    EventList events = mergedInExportOrder({&head, &repeated, &conductor});
    applyNoteEditsInPlace(events, velocityScale(track), transpose);
    return events;
}

EventList repeatedConductorSectionEvents(const MIDIFile& midi, std::uint32_t startTick, std::uint32_t endTick,
                                         int repeatCount, std::optional<double> newBPM) {
    const int repeats = clampedRepeatCount(repeatCount);
    const std::uint32_t length = endTick > startTick ? endTick - startTick : 1;
    const EventList source = conductorEvents(midi, newBPM);

    // The latest tempo, time signature and key signature at or before startTick (the first
    // of several at one tick), in source order.
    constexpr std::array<std::uint8_t, 3> setupTypes = {0x51, 0x58, 0x59};
    std::array<std::optional<std::size_t>, 3> latest{};
    for (std::size_t i = 0; i < source.size(); ++i) {
        const MIDIEvent& event = source[i];
        if (event.tick > startTick) continue;
        for (std::size_t type = 0; type < setupTypes.size(); ++type) {
            if (!event.isMeta(setupTypes[type])) continue;
            if (!latest[type] || event.tick > source[*latest[type]].tick) latest[type] = i;
        }
    }
    std::vector<std::size_t> setup;
    for (const auto& position : latest) {
        if (position) setup.push_back(*position);
    }
    std::sort(setup.begin(), setup.end());
    std::vector<std::size_t> section;
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (source[i].tick >= startTick && source[i].tick < endTick) section.push_back(i);
    }
    MIDIFile::logMIDIDiagnostic(formatString("Conductor loop section: setupEvents=%zu, sectionEvents=%zu, repeats=%d, "
                                             "sectionLengthTicks=%u, tempoOverride=%s",
                                             setup.size(), section.size(), repeats, length,
                                             overrideText(newBPM).c_str()),
                                "repeatedConductorSectionEvents(startTick:endTick:repeatCount:newBPM:)");

    EventList out;
    out.reserve(static_cast<std::size_t>(repeats) * (setup.size() + section.size()));
    for (int r = 0; r < repeats; ++r) {
        const std::uint64_t base = std::uint64_t(r) * length;
        if (base > lastTick) break;
        for (const std::size_t i : setup) {
            out.push_back(source[i]);
            out.back().tick = static_cast<std::uint32_t>(base);
        }
        for (const std::size_t i : section) {
            const std::uint64_t tick = base + (source[i].tick - startTick);
            if (tick > lastTick) continue;
            out.push_back(source[i]);
            out.back().tick = static_cast<std::uint32_t>(tick);
        }
    }
    return out;
}

Bytes buildMergedLoopMIDI(const MIDIFile& midi, std::span<const MIDITrack> tracks, double loopStartSeconds,
                          double loopEndSeconds, int repeatCount, bool tightenLoop, int transpose,
                          std::optional<double> newBPM, bool applyMixerSettings) {
    MIDIFile::logMIDIDiagnostic(formatString("Build merged loop export: tracks=%zu, repeats=%d, tighten=%s, "
                                             "transpose=%d, tempoOverride=%s, mixerSettings=%s",
                                             tracks.size(), repeatCount, onOff(tightenLoop), transpose,
                                             overrideText(newBPM).c_str(), onOff(applyMixerSettings)),
                                "buildMergedLoopMIDI(tracks:loopStartSeconds:loopEndSeconds:repeatCount:tightenLoop:"
                                "transpose:newBPM:applyMixerSettings:)");
    const LoopExportRange range = loopExportRange(midi, loopStartSeconds, loopEndSeconds, repeatCount, tightenLoop, newBPM);
    Bytes out = midi.header(1, static_cast<int>(tracks.size() + 1));
    EventList conductor = loopConductorEvents(midi, range, repeatCount, newBPM);
    appendTrackChunkInExportOrder(out, conductor);
    const std::vector<int> channels = applyMixerSettings ? assignedChannelsForMergedTracks(tracks) : std::vector<int>{};
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        const int channel = applyMixerSettings ? channels[i] : tracks[i].channel;
        EventList events =
            mergedLoopTrackEvents(tracks[i], channel, range, repeatCount, tightenLoop, transpose, applyMixerSettings);
        MIDIFile::appendTrackChunk(out, events);
    }
    return out;
}

Bytes buildSingleTrackLoopMIDI(const MIDIFile& midi, const MIDITrack& track, double loopStartSeconds,
                               double loopEndSeconds, int repeatCount, bool tightenLoop, int transpose,
                               std::optional<double> newBPM) {
    MIDIFile::logMIDIDiagnostic(formatString("Build single-track loop export: track='%s', repeats=%d, tighten=%s, "
                                             "transpose=%d, tempoOverride=%s",
                                             track.name.c_str(), repeatCount, onOff(tightenLoop), transpose,
                                             overrideText(newBPM).c_str()),
                                "buildSingleTrackLoopMIDI(track:loopStartSeconds:loopEndSeconds:repeatCount:"
                                "tightenLoop:transpose:newBPM:)");
    const LoopExportRange range = loopExportRange(midi, loopStartSeconds, loopEndSeconds, repeatCount, tightenLoop, newBPM);
    EventList events = singleTrackLoopEvents(midi, track, range, repeatCount, tightenLoop, transpose, newBPM);
    Bytes out = midi.header(1, 1);
    MIDIFile::appendTrackChunk(out, events);
    return out;
}

Bytes buildLoopPreviewMIDI(const MIDIFile& midi, std::span<const MIDITrack> tracks, double loopStartSeconds,
                           double loopEndSeconds, int transpose, std::optional<double> newBPM,
                           bool applyMixerSettings) {
    if (tracks.size() == 1) {
        return buildSingleTrackLoopMIDI(midi, tracks.front(), loopStartSeconds, loopEndSeconds, 1, false, transpose,
                                        newBPM);
    }
    return buildMergedLoopMIDI(midi, tracks, loopStartSeconds, loopEndSeconds, 1, false, transpose, newBPM,
                               applyMixerSettings);
}

Bytes buildPlaybackSliceMIDI(const MIDIFile& midi, std::span<const MIDITrack> tracks, double startSeconds,
                             int transpose, std::optional<double> newBPM) {
    const std::uint32_t songEnd = MIDIFile::maximumTick(midi.musicalTracks());
    const std::uint32_t startTick = midi.secondsToTicks(std::max(startSeconds, 0.0), songEnd, newBPM);
    const std::uint32_t endTick =
        std::max(songEnd, static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{startTick} + 1, lastTick)));
    const std::uint32_t length = std::max<std::uint32_t>(endTick - startTick, 1);
    MIDIFile::logMIDIDiagnostic(formatString("STATE-PLAYBACK-REBASE[MIDI] startSeconds=%.3f, startTick=%u, "
                                             "endTick=%u, finalTick=%u, tracks=%zu, setupAtZero=on",
                                             startSeconds, startTick, endTick, length, tracks.size()),
                                "buildPlaybackSliceMIDI(tracks:startSeconds:transpose:newBPM:)");
    Bytes out = midi.header(1, static_cast<int>(tracks.size() + 1));
    EventList conductor = loopConductorEvents(midi, {{startTick, endTick, length}, length}, 1, newBPM);
    appendTrackChunkInExportOrder(out, conductor);
    // The tracks' chunks are independent: a large song builds each on a core of its own, then
    // the chunks follow one another in track order. (Starting threads costs more than a small
    // song's chunks.)
    std::size_t eventCount = 0;
    for (const MIDITrack& track : tracks) eventCount += track.events.size();
    constexpr std::size_t eventsWorthThreads = 100000;
    std::vector<Bytes> chunks(tracks.size());
    forEachInParallel(tracks.size(), [&](std::size_t i) {
        const MIDITrack& track = tracks[i];
        const std::span<const MIDIEvent> source(track.events);
        EventList setup;
        EventList section;
        if (std::is_sorted(source.begin(), source.end(), TickLess{})) {
            // Only the body before the start is copied (for the state in force there); the
            // rest is filtered as the section is cut.
            const auto split = std::partition_point(source.begin(), source.end(),
                                                    [&](const MIDIEvent& event) { return event.tick < startTick; });
            const EventList before = filteredEvents(
                source.first(static_cast<std::size_t>(split - source.begin())), isPlaybackBodyEvent);
            setup = detail::playbackSetupEventsFromBody(track, before, startTick);
            section = repeatedSectionEvents(source, startTick, endTick, 1, track.channel, false, {},
                                            isPlaybackBodyEvent);
        } else {
            const EventList body = playbackBodyEvents(track);
            setup = detail::playbackSetupEventsFromBody(track, body, startTick);
            section = repeatedSectionEvents(body, startTick, endTick, 1, track.channel, false, {});
        }
        EventList tail{endOfTrack(length)};
        EventList events = mergedInExportOrder({&setup, &section, &tail});
        applyNoteEditsInPlace(events, velocityScale(track), transpose);
        MIDIFile::appendTrackChunk(chunks[i], events);
    }, eventCount < eventsWorthThreads ? 1 : tracks.size());
    std::size_t total = out.size();
    for (const Bytes& chunk : chunks) total += chunk.size();
    out.reserve(total);
    for (Bytes& chunk : chunks) {
        out.insert(out.end(), chunk.begin(), chunk.end());
        Bytes().swap(chunk);
    }
    return out;
}

}  // namespace orvane::midi
