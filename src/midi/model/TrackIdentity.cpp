// A track's identity (channel, instrument, single drum key) and its initial mixer values,
// derived from its events.

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <cstddef>
#include <optional>

#include "midi/model/MIDIFile.h"

namespace orvane::midi {

namespace {

constexpr int percussionChannel = 9;

// What one pass over a track's events learns about each channel.
struct ChannelUse {
    std::optional<std::uint8_t> firstProgram;
    std::size_t noteOnCount = 0;
    std::size_t firstNoteOnIndex = 0;
};

struct ChannelSurvey {
    std::array<ChannelUse, 16> channels{};
    std::bitset<256> percussionKeys;  // keys struck on the percussion channel

    explicit ChannelSurvey(std::span<const MIDIEvent> events) {
        for (std::size_t i = 0; i < events.size(); ++i) {
            const MIDIEvent& event = events[i];
            ChannelUse& use = channels[event.channel()];
            if (event.isNoteOn()) {
                if (use.noteOnCount == 0) use.firstNoteOnIndex = i;
                ++use.noteOnCount;
                if (event.channel() == percussionChannel) percussionKeys.set(event[1]);
            } else if (event.isProgramChange() && !use.firstProgram) {
                use.firstProgram = event[1];
            }
        }
    }

    // The channel with the most note-ons; on equal counts the one whose first note-on comes
    // first. Nothing when no channel has note-ons.
    [[nodiscard]] std::optional<int> busiestChannel() const {
        std::optional<int> best;
        for (int channel = 0; channel < 16; ++channel) {
            const ChannelUse& use = channels[static_cast<std::size_t>(channel)];
            if (use.noteOnCount == 0) continue;
            if (!best) {
                best = channel;
                continue;
            }
            const ChannelUse& leader = channels[static_cast<std::size_t>(*best)];
            if (use.noteOnCount > leader.noteOnCount ||
                (use.noteOnCount == leader.noteOnCount && use.firstNoteOnIndex < leader.firstNoteOnIndex)) {
                best = channel;
            }
        }
        return best;
    }

    [[nodiscard]] std::optional<int> lowestChannelWithProgram() const {
        for (int channel = 0; channel < 16; ++channel) {
            if (channels[static_cast<std::size_t>(channel)].firstProgram) return channel;
        }
        return std::nullopt;
    }

    [[nodiscard]] std::optional<std::uint8_t> firstProgram(int channel) const {
        if (channel < 0 || channel > 15) return std::nullopt;
        return channels[static_cast<std::size_t>(channel)].firstProgram;
    }
};

}  // namespace

void MIDIFile::updateTrackIdentityFromEvents(MIDITrack& track) {
    const ChannelSurvey survey(track.events);
    if (const auto busiest = survey.busiestChannel()) {
        track.channel = *busiest;
        if (const auto program = survey.firstProgram(*busiest)) track.instrument = *program;
    } else if (track.channel == -1) {
        if (const auto channel = survey.lowestChannelWithProgram()) {
            track.channel = *channel;
            track.instrument = *survey.firstProgram(*channel);
        }
    } else if (const auto program = survey.firstProgram(track.channel)) {
        track.instrument = *program;
    }
    if (track.channel == percussionChannel && survey.percussionKeys.count() == 1) {
        for (std::size_t key = 0; key < survey.percussionKeys.size(); ++key) {
            if (survey.percussionKeys.test(key)) track.drumNote = static_cast<std::uint8_t>(key);
        }
    }
}

std::uint8_t MIDIFile::controllerValue(std::uint8_t controller, std::span<const MIDIEvent> events,
                                       std::uint8_t defaultValue) {
    for (const MIDIEvent& event : events) {
        if (event.size() >= 3 && event.isControlChange() && event[1] == controller) return event[2];
    }
    return defaultValue;
}

std::uint8_t MIDIFile::averageNoteVelocity(std::span<const MIDIEvent> events, std::uint8_t defaultValue) {
    std::uint64_t sum = 0;
    std::uint64_t count = 0;
    for (const MIDIEvent& event : events) {
        if (event.isNoteOn()) {
            sum += event[2];
            ++count;
        }
    }
    if (count == 0) return defaultValue;
    const double mean = std::round(static_cast<double>(sum) / static_cast<double>(count));
    return static_cast<std::uint8_t>(std::clamp(mean, 1.0, 127.0));
}

}  // namespace orvane::midi
