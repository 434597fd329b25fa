#include "midi/export/EventTransforms.h"

#include <algorithm>
#include <bitset>
#include <cmath>

#include "midi/model/MIDIFile.h"

namespace orvane::midi {

namespace {

constexpr std::uint8_t volumeController = 7;
constexpr std::uint8_t panController = 10;
constexpr std::uint8_t reverbController = 91;

std::uint8_t channelStatus(std::uint8_t kind, int channel) noexcept {
    return static_cast<std::uint8_t>(kind | (channel & 0x0F));
}

bool isNoteMessage(const MIDIEvent& event) noexcept {
    const std::uint8_t kind = event.status() & 0xF0;
    return event.size() >= 3 && (kind == 0x80 || kind == 0x90);
}

std::uint8_t transposedKey(std::uint8_t key, int semitones) noexcept {
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(key) + semitones, 0, 127));
}

std::uint8_t scaledVelocity(std::uint8_t velocity, double factor) noexcept {
    const double scaled = std::round(factor * static_cast<double>(velocity));
    return static_cast<std::uint8_t>(std::clamp(scaled, 1.0, 127.0));
}

}  // namespace

// ---- Building blocks --------------------------------------------------------------------

bool isMixController(const MIDIEvent& event) noexcept {
    if (!event.isControlChange()) return false;
    const std::uint8_t controller = event[1];
    return controller == volumeController || controller == panController || controller == reverbController;
}

bool isTempoOrTimeSignature(const MIDIEvent& event) noexcept { return event.isMeta(0x51) || event.isMeta(0x58); }

bool isTrackName(const MIDIEvent& event) noexcept { return event.isMeta(0x03); }

bool isTickZeroProgramChange(const MIDIEvent& event, int channel) noexcept {
    return event.tick == 0 && event.isProgramChange() && event.channel() == channel;
}

std::uint16_t channelsWithNotes(std::span<const MIDIEvent> events) noexcept {
    std::uint16_t channels = 0;
    for (const MIDIEvent& event : events) {
        if (event.isNoteOn()) channels = static_cast<std::uint16_t>(channels | (1u << event.channel()));
    }
    return channels;
}

bool keepsChannelMessage(const MIDIEvent& event, std::uint16_t noteChannels) noexcept {
    return noteChannels == 0 || !event.isChannelMessage() || (noteChannels & (1u << event.channel())) != 0;
}

std::optional<double> velocityScale(const MIDITrack& track) {
    int source = MIDIFile::averageNoteVelocity(track.events, 64);
    int target = track.velocity;
    if (source == 0) {
        if (target < 2) return std::nullopt;
        source = 1;
    }
    if (target == 0) {
        if (source == 1) return std::nullopt;
        target = 1;
    }
    if (target == source) return std::nullopt;
    return static_cast<double>(target) / static_cast<double>(source);
}

void applyNoteEditsInPlace(std::span<MIDIEvent> events, std::optional<double> velocityFactor, int semitones) noexcept {
    if (!velocityFactor && semitones == 0) return;
    for (MIDIEvent& event : events) {
        if (!isNoteMessage(event)) continue;
        const auto bytes = event.mutableData();
        if (velocityFactor && event.isNoteOn()) bytes[2] = scaledVelocity(bytes[2], *velocityFactor);
        if (semitones != 0 && event.channel() != percussionChannel) bytes[1] = transposedKey(bytes[1], semitones);
    }
}

void remapChannelInPlace(std::span<MIDIEvent> events, int channel) noexcept {
    if (!isValidChannel(channel)) return;
    for (MIDIEvent& event : events) {
        if (event.isChannelMessage()) event.mutableData()[0] = channelStatus(event.status() & 0xF0, channel);
    }
}

// ---- The transforms ---------------------------------------------------------------------

EventList transposeEvents(std::span<const MIDIEvent> events, int semitones) {
    EventList result(events.begin(), events.end());
    applyNoteEditsInPlace(result, std::nullopt, semitones);
    return result;
}

EventList applyVelocity(std::span<const MIDIEvent> events, const MIDITrack& track) {
    EventList result(events.begin(), events.end());
    applyNoteEditsInPlace(result, velocityScale(track), 0);
    return result;
}

EventList mixEvents(const MIDITrack& track, std::optional<int> channelOverride, std::uint32_t tick) {
    const int channel = channelOverride.value_or(track.channel);
    if (!isValidChannel(channel)) return {};
    const std::uint8_t status = channelStatus(0xB0, channel);
    return {MIDIEvent(tick, {status, volumeController, track.volume}),
            MIDIEvent(tick, {status, panController, track.pan}),
            MIDIEvent(tick, {status, reverbController, track.reverb})};
}

EventList remapChannel(std::span<const MIDIEvent> events, int channel) {
    EventList result(events.begin(), events.end());
    remapChannelInPlace(result, channel);
    return result;
}

EventList stripAllMixCC(std::span<const MIDIEvent> events) {
    return filteredEvents(events, [](const MIDIEvent& event) { return !isMixController(event); });
}

EventList stripTempoMeta(std::span<const MIDIEvent> events) {
    return filteredEvents(events, [](const MIDIEvent& event) { return !isTempoOrTimeSignature(event); });
}

EventList stripTickZeroProgramEvents(std::span<const MIDIEvent> events, int channel) {
    if (!isValidChannel(channel)) return {events.begin(), events.end()};
    return filteredEvents(events, [channel](const MIDIEvent& event) { return !isTickZeroProgramChange(event, channel); });
}

EventList stripChannelEventsWithoutNotes(std::span<const MIDIEvent> events) {
    const std::uint16_t noteChannels = channelsWithNotes(events);
    return filteredEvents(events, [noteChannels](const MIDIEvent& event) {
        return keepsChannelMessage(event, noteChannels);
    });
}

EventList stripEndOfTrackMeta(std::span<const MIDIEvent> events) {
    return filteredEvents(events, [](const MIDIEvent& event) { return !event.isEndOfTrack(); });
}

MIDIEvent trackNameEvent(const MIDITrack& track) {
    const Bytes length = MIDIFile::encodeVarLen(static_cast<std::uint32_t>(track.name.size()));
    Bytes bytes;
    bytes.reserve(2 + length.size() + track.name.size());
    bytes.push_back(0xFF);
    bytes.push_back(0x03);
    bytes.insert(bytes.end(), length.begin(), length.end());
    bytes.insert(bytes.end(), track.name.begin(), track.name.end());
    return MIDIEvent(0, bytes);
}

EventList drumMappedEvents(std::span<const MIDIEvent> events, std::uint8_t kitProgram, std::uint8_t drumNote) {
    EventList mapped;
    mapped.reserve(events.size() + 1);
    mapped.push_back(MIDIEvent(0, {channelStatus(0xC0, percussionChannel), kitProgram}));
    for (const MIDIEvent& event : events) {
        if (!event.isChannelMessage()) {
            mapped.push_back(event);
            continue;
        }
        const std::uint8_t kind = event.status() & 0xF0;
        if (kind == 0xC0) continue;
        MIDIEvent moved = event;
        const auto bytes = moved.mutableData();
        bytes[0] = channelStatus(kind, percussionChannel);
        if (isNoteMessage(moved)) bytes[1] = drumNote;
        mapped.push_back(std::move(moved));
    }
    return mapped;
}

std::vector<int> assignedChannelsForMergedTracks(std::span<const MIDITrack> tracks) {
    std::bitset<16> used;
    std::vector<int> assigned;
    assigned.reserve(tracks.size());
    for (const MIDITrack& track : tracks) {
        if (track.channel == percussionChannel) {
            used.set(percussionChannel);
            assigned.push_back(percussionChannel);
            continue;
        }
        // The track's own channel first, then the melodic channels in order, then percussion.
        std::vector<int> candidates;
        candidates.reserve(16);
        if (isValidChannel(track.channel)) candidates.push_back(track.channel);
        for (int channel = 0; channel < 16; ++channel) {
            if (channel != track.channel && channel != percussionChannel) candidates.push_back(channel);
        }
        candidates.push_back(percussionChannel);
        const auto free = std::find_if(candidates.begin(), candidates.end(),
                                       [&](int channel) { return !used.test(static_cast<std::size_t>(channel)); });
        if (free == candidates.end()) {
            assigned.push_back(std::clamp(track.channel, 0, 15));
            continue;
        }
        used.set(static_cast<std::size_t>(*free));
        assigned.push_back(*free);
    }
    return assigned;
}

}  // namespace orvane::midi
