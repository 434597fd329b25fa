#pragma once
// The General MIDI file player that the player controller drives: it plays one Standard MIDI
// File held in memory with a General MIDI sound bank, and reports its length and position.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace orvane::playback {

// A player that could not be created: the data was refused or no sound could be set up.
class MIDIFilePlayerError {
public:
    explicit MIDIFilePlayerError(std::string description) : description_(std::move(description)) {}
    [[nodiscard]] const std::string& description() const noexcept { return description_; }

private:
    std::string description_;
};

class MIDIFilePlayer {
public:
    MIDIFilePlayer() = default;
    MIDIFilePlayer(const MIDIFilePlayer&) = delete;
    MIDIFilePlayer& operator=(const MIDIFilePlayer&) = delete;
    virtual ~MIDIFilePlayer() = default;

    // Loads what is needed so that play() starts without delay.
    virtual void prepareToPlay() = 0;
    // The length of the file in seconds.
    [[nodiscard]] virtual double duration() const = 0;
    // The play position in seconds; setting it while playing jumps there.
    [[nodiscard]] virtual double currentPosition() const = 0;
    virtual void setCurrentPosition(double seconds) = 0;
    [[nodiscard]] virtual bool isPlaying() const = 0;
    // Starts sounding from the current position. The completion runs once, on any thread,
    // when playback stops: at the end of the file or after stop(). Does nothing while playing.
    virtual void play(std::function<void()> completion) = 0;
    // Stops sounding; the position stays where it was.
    virtual void stop() = 0;
};

// Creates a player for a Standard MIDI File held in memory, with the default General MIDI
// bank; throws MIDIFilePlayerError when it cannot.
using MIDIFilePlayerFactory = std::function<std::unique_ptr<MIDIFilePlayer>(std::span<const std::uint8_t> data)>;

}  // namespace orvane::playback
