#pragma once
// Plays a PlaybackSchedule into a synthesizer, frame by frame: every message is sent just
// before the first sample frame at or after its time, so the position (in frames of the
// output), jumps and the end are exact. The caller serialises all calls (the audio thread
// renders while other threads start, stop and move it).

#include <cstdint>
#include <span>
#include <vector>

#include "midi/model/MIDIEvent.h"
#include "playback/PlaybackSchedule.h"

namespace orvane::playback {

// The synthesizer a sequencer drives.
class SynthesizerPort {
public:
    SynthesizerPort() = default;
    SynthesizerPort(const SynthesizerPort&) = delete;
    SynthesizerPort& operator=(const SynthesizerPort&) = delete;
    virtual ~SynthesizerPort() = default;

    // A channel message, or a system-exclusive message as PlaybackSchedule holds it.
    virtual void send(const midi::MIDIEvent& message) = 0;
    // Silences everything at once and returns every channel to its power-on state.
    virtual void resetAll() = 0;
    // Releases every sounding note (and the sustain pedal), letting the notes fade out.
    virtual void releaseAll() = 0;
    // Adds the next left.size() frames of sound to left and right (same size).
    virtual void render(std::span<float> left, std::span<float> right) = 0;
};

class Sequencer {
public:
    Sequencer(PlaybackSchedule schedule, SynthesizerPort& synthesizer, double sampleRate);

    [[nodiscard]] double sampleRate() const noexcept { return sampleRate_; }
    [[nodiscard]] double duration() const noexcept { return schedule_.duration(); }
    [[nodiscard]] std::uint64_t endFrame() const noexcept { return endFrame_; }
    [[nodiscard]] std::uint64_t positionFrame() const noexcept { return position_; }
    [[nodiscard]] double position() const noexcept { return static_cast<double>(position_) / sampleRate_; }
    [[nodiscard]] bool isPlaying() const noexcept { return playing_; }

    // Moves to `seconds` (limited to the song). While playing, sounding notes stop at once and
    // each channel's setup at the new position is restored before the next frame.
    void setPosition(double seconds);
    // Starts playing from the position, with every channel set up as the song has it there.
    void start();
    // Stops playing and releases the sounding notes; the position stays.
    void stop();
    // Renders the next frames (left and right of the same size, added to). Returns true when
    // the song reached its end during this block; playing has then stopped.
    bool render(std::span<float> left, std::span<float> right);

private:
    void restoreStateAtPosition();
    [[nodiscard]] std::size_t firstMessageAtOrAfter(std::uint64_t frame) const;

    PlaybackSchedule schedule_;
    SynthesizerPort& synthesizer_;
    double sampleRate_;
    std::vector<std::uint64_t> frames_;  // the frame of each scheduled message
    std::uint64_t endFrame_ = 0;
    std::uint64_t position_ = 0;
    std::size_t next_ = 0;  // the next message to send while playing
    bool playing_ = false;
};

}  // namespace orvane::playback
