#pragma once
// What a General MIDI player sends to its synthesizer, and when: every channel message and
// system-exclusive message of a song merged into one list in time order, with the time of
// each in seconds from the song's tempo map, and the song's length.

#include <cstdint>
#include <span>
#include <vector>

#include "midi/model/MIDIEvent.h"
#include "midi/model/MIDIFile.h"

namespace orvane::playback {

struct ScheduledMessage {
    double seconds = 0;
    // A channel message, or a system-exclusive message as the file holds it
    // (0xF0, the length as a variable-length number, the bytes after 0xF0).
    midi::MIDIEvent message;
};

class PlaybackSchedule {
public:
    PlaybackSchedule() = default;
    explicit PlaybackSchedule(const midi::MIDIFile& song);
    // Reads a Standard MIDI File; throws MIDIFilePlayerError when the data is refused.
    static PlaybackSchedule fromStandardMIDIFile(std::span<const std::uint8_t> data);

    // In time order. At the same tick, note-ons come after every other message, so that a
    // note ended and struck again at one tick sounds, and a program or controller set at a
    // note's own tick applies to it; otherwise the order is track by track, as in the file.
    [[nodiscard]] std::span<const ScheduledMessage> messages() const noexcept { return messages_; }
    // The time of the song's last event (its end-of-track markers included), in seconds.
    [[nodiscard]] double duration() const noexcept { return duration_; }

private:
    std::vector<ScheduledMessage> messages_;
    double duration_ = 0;
};

// The payload of a system-exclusive message as a synthesizer takes it: the bytes between
// 0xF0 and the closing 0xF7. Empty for anything else or a truncated message.
std::span<const std::uint8_t> systemExclusivePayload(const midi::MIDIEvent& message);

// The messages that, sent after a full reset of the synthesizer, restore the state that
// `before` (the messages before a position, in order) leaves behind: each channel's bank and
// program, controllers, registered and non-registered parameters, pitch bend and channel
// pressure, and the system-exclusive setup. Notes are not restored.
std::vector<midi::MIDIEvent> stateRestorationMessages(std::span<const ScheduledMessage> before);

}  // namespace orvane::playback
