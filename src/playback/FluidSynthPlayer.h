#pragma once
// The General MIDI file player on FluidSynth, and offline rendering to WAV through the same
// sequencer. One synthesizer per player; the General MIDI SoundFont is read once per process
// and shared. Where no audio device can be opened, a silent output keeps real time so that
// positions, the end and completions behave exactly as with sound.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "playback/MIDIFilePlayer.h"

namespace orvane::playback {

struct FluidSynthOptions {
    // The SoundFont to use; when absent, ORVANE_SOUNDFONT or Debian's usual locations.
    std::optional<std::filesystem::path> soundFont;
    // Never open an audio device (the environment variable ORVANE_AUDIO_OUTPUT=null does the
    // same); the silent output keeps real time.
    bool silentOutput = false;
    double sampleRate = 44100;
};

class FluidSynthPlayer final : public MIDIFilePlayer {
public:
    // Throws MIDIFilePlayerError when the data is refused or the synthesizer or its SoundFont
    // cannot be set up.
    FluidSynthPlayer(std::span<const std::uint8_t> data, const FluidSynthOptions& options);
    // Stops (its completion runs) and closes the output. Must not run inside its own completion.
    ~FluidSynthPlayer() override;

    void prepareToPlay() override;
    [[nodiscard]] double duration() const override;
    [[nodiscard]] double currentPosition() const override;
    void setCurrentPosition(double seconds) override;
    [[nodiscard]] bool isPlaying() const override;
    void play(std::function<void()> completion) override;
    void stop() override;

    // The General MIDI program the synthesizer has on a channel (0...15) now.
    [[nodiscard]] int channelProgram(int channel) const;
    // Whether this player sounds on the silent output (after prepareToPlay() or play()).
    [[nodiscard]] bool usesSilentOutput() const;

    // Whether any player of this process had to fall back to the silent output.
    static bool fellBackToSilentOutput();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

MIDIFilePlayerFactory makeFluidSynthPlayerFactory(FluidSynthOptions options);

// Reads the SoundFont the options name (or the default one) now, so that the first player
// starts without waiting for it. Safe from any thread; throws MIDIFilePlayerError when the
// SoundFont is missing or unreadable.
void preloadSoundFont(const FluidSynthOptions& options);

// A Standard MIDI File rendered as a 16-bit stereo WAV file: the song's length plus a short
// release tail, at the options' sample rate.
struct RenderedWAV {
    std::vector<std::uint8_t> bytes;
    std::uint64_t frames = 0;
    double songDuration = 0;
    int peak = 0;  // the largest absolute sample value, 0...32767
};

inline constexpr double renderReleaseTailSeconds = 1.5;

// Throws MIDIFilePlayerError when the data is refused, the SoundFont is missing or the song
// is too long for a WAV file.
RenderedWAV renderWAV(std::span<const std::uint8_t> data, const FluidSynthOptions& options,
                      double tailSeconds = renderReleaseTailSeconds);

}  // namespace orvane::playback
