#pragma once
// What one pass over a track's events learns about it: per channel the first program, the
// number of note-ons and the position of the first one; the keys struck on the percussion
// channel; the first value of every controller; the note-on velocities. The reader feeds it
// while it reads, so a track's identity and mixer values cost no extra pass over its events.

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "midi/model/MIDIEvent.h"
#include "midi/model/MIDITrack.h"

namespace orvane::midi {

inline constexpr int percussionChannel = 9;

// The value byte of a control change of at least three bytes.
[[nodiscard]] inline std::optional<std::uint8_t> controlChangeValue(const MIDIEvent& event) noexcept {
    if (event.size() < 3 || !event.isControlChange()) return std::nullopt;
    return event[2];
}

class TrackSurvey {
public:
    [[nodiscard]] static TrackSurvey of(std::span<const MIDIEvent> events) noexcept {
        TrackSurvey survey;
        for (std::size_t i = 0; i < events.size(); ++i) survey.add(events[i], i);
        return survey;
    }

    // index: the event's position in its track.
    void add(const MIDIEvent& event, std::size_t index) noexcept {
        const std::size_t channel = event.channel();
        if (event.isNoteOn()) {
            ChannelUse& use = channels_[channel];
            if (use.noteOnCount == 0) use.firstNoteOnIndex = index;
            ++use.noteOnCount;
            velocitySum_ += event[2];
            ++noteOnCount_;
            if (channel == percussionChannel) percussionKeys_.set(event[1]);
        } else if (event.isProgramChange()) {
            ChannelUse& use = channels_[channel];
            if (!use.firstProgram) use.firstProgram = event[1];
        } else if (const auto value = controlChangeValue(event)) {
            auto& first = firstControllerValue_[event[1]];
            if (!first) first = *value;
        }
    }

    [[nodiscard]] bool hasNoteOn() const noexcept { return noteOnCount_ != 0; }

    // Channel: the one with the most note-ons (on equal counts, the one whose first note-on
    // comes first). Instrument: that channel's first program. A track without note-ons takes
    // its channel from its program changes. A percussion track striking a single key gets
    // that key as its drum note. Values without evidence are left as they were.
    void applyIdentity(MIDITrack& track) const noexcept {
        if (const auto busiest = busiestChannel()) {
            track.channel = *busiest;
            if (const auto program = firstProgram(*busiest)) track.instrument = *program;
        } else if (track.channel == -1) {
            if (const auto channel = lowestChannelWithProgram()) {
                track.channel = *channel;
                track.instrument = *firstProgram(*channel);
            }
        } else if (const auto program = firstProgram(track.channel)) {
            track.instrument = *program;
        }
        if (track.channel == percussionChannel && percussionKeys_.count() == 1) {
            for (std::size_t key = 0; key < percussionKeys_.size(); ++key) {
                if (percussionKeys_.test(key)) track.drumNote = static_cast<std::uint8_t>(key);
            }
        }
    }

    // The first value of controller on any channel, or defaultValue.
    [[nodiscard]] std::uint8_t controllerValue(std::uint8_t controller, std::uint8_t defaultValue) const noexcept {
        return firstControllerValue_[controller].value_or(defaultValue);
    }

    // The mean note-on velocity rounded half away from zero, within 1...127; defaultValue
    // without note-ons.
    [[nodiscard]] std::uint8_t averageNoteVelocity(std::uint8_t defaultValue) const noexcept;

    // Volume, pan and reverb are the first controllers 7, 10 and 91; velocity is the mean
    // note-on velocity.
    void applyInitialMixerValues(MIDITrack& track) const noexcept {
        track.volume = controllerValue(7, 64);
        track.pan = controllerValue(10, 64);
        track.velocity = averageNoteVelocity(64);
        track.reverb = controllerValue(91, 0);
    }

private:
    struct ChannelUse {
        std::optional<std::uint8_t> firstProgram;
        std::size_t noteOnCount = 0;
        std::size_t firstNoteOnIndex = 0;
    };

    [[nodiscard]] std::optional<int> busiestChannel() const noexcept {
        std::optional<int> best;
        for (int channel = 0; channel < 16; ++channel) {
            const ChannelUse& use = channels_[static_cast<std::size_t>(channel)];
            if (use.noteOnCount == 0) continue;
            if (best) {
                const ChannelUse& leader = channels_[static_cast<std::size_t>(*best)];
                const bool busier = use.noteOnCount > leader.noteOnCount ||
                                    (use.noteOnCount == leader.noteOnCount &&
                                     use.firstNoteOnIndex < leader.firstNoteOnIndex);
                if (!busier) continue;
            }
            best = channel;
        }
        return best;
    }

    [[nodiscard]] std::optional<int> lowestChannelWithProgram() const noexcept {
        for (int channel = 0; channel < 16; ++channel) {
            if (channels_[static_cast<std::size_t>(channel)].firstProgram) return channel;
        }
        return std::nullopt;
    }

    [[nodiscard]] std::optional<std::uint8_t> firstProgram(int channel) const noexcept {
        if (channel < 0 || channel > 15) return std::nullopt;
        return channels_[static_cast<std::size_t>(channel)].firstProgram;
    }

    std::array<ChannelUse, 16> channels_{};
    std::bitset<256> percussionKeys_;
    std::array<std::optional<std::uint8_t>, 256> firstControllerValue_{};
    std::uint64_t velocitySum_ = 0;
    std::uint64_t noteOnCount_ = 0;
};

}  // namespace orvane::midi
