#pragma once
// Plays one complete MIDI byte stream through a General MIDI file player and gives the
// transport what it needs: a start position, a loop section repeated without a gap, pause
// with position, stop, seek, a progress report every 30 ms, and a clear difference between
// the song ending by itself, the user pausing and the user stopping.
//
// Every operation and callback runs on the main thread of the run loop. The player's
// completion, which may arrive on any thread, is moved to the main thread holding the
// controller weakly, so the controller must be owned by a std::shared_ptr (see create()).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "playback/MIDIFilePlayer.h"
#include "support/RunLoop.h"

namespace orvane::playback {

// What is being played; kept only to tell the caller.
struct PlaybackMode {
    enum class Kind { none, fullSong, selectedTracks, audition };
    Kind kind = Kind::none;
    int row = 0;  // the auditioned track row (audition only)

    static PlaybackMode none() { return {}; }
    static PlaybackMode fullSong() { return {Kind::fullSong, 0}; }
    static PlaybackMode selectedTracks() { return {Kind::selectedTracks, 0}; }
    static PlaybackMode audition(int row) { return {Kind::audition, row}; }

    // "none", "fullSong", "selectedTracks", "audition(row: 3)".
    [[nodiscard]] std::string description() const;
    friend bool operator==(const PlaybackMode&, const PlaybackMode&) = default;
};

// A loop section in seconds of the player's timeline: [start, end).
struct PlaybackLoop {
    double start = 0;
    double end = 0;
    friend bool operator==(const PlaybackLoop&, const PlaybackLoop&) = default;
};

class MIDIPlayerController : public std::enable_shared_from_this<MIDIPlayerController> {
public:
    static constexpr double progressInterval = 0.03;
    // The loop restarts this long before its end, because the progress tick is coarse.
    static constexpr double loopRestartLead = 0.08;

    static std::shared_ptr<MIDIPlayerController> create(RunLoop& runLoop, MIDIFilePlayerFactory makePlayer);
    ~MIDIPlayerController();
    MIDIPlayerController(const MIDIPlayerController&) = delete;
    MIDIPlayerController& operator=(const MIDIPlayerController&) = delete;

    // Called on every tick and after a loop restart: (position, duration) in seconds.
    std::function<void(double, double)> onProgress;
    // The song played to its end.
    std::function<void()> onNaturalEnd;
    // pause() stopped a playing player: (position, duration).
    std::function<void(double, double)> onPaused;
    // stop() ran: (0, duration as it was).
    std::function<void(double, double)> onStopped;

    // The general entry point: replaces the player with one for `data`, positioned at `from`
    // (clamped to the song), with an optional loop section, sounding now or left prepared.
    void playPrepared(std::span<const std::uint8_t> data, PlaybackMode mode, double from,
                      std::optional<PlaybackLoop> loop, bool startPlaying);
    // playPrepared() with no loop, starting now.
    void play(std::span<const std::uint8_t> data, PlaybackMode mode, double from);
    void resume();
    void pause();
    void stop();
    // As stop(), without any callback, and forgetting the duration (the loaded song changed).
    void reset();
    void seek(double seconds);
    void setLoop(bool enabled, double start, double end);

    // "m:ss" for the transport labels; negative, infinite or undefined values give "0:00".
    static std::string formatTime(double seconds);

    // ---- State, for the owner -----------------------------------------------------------
    // The current player, or nullptr.
    [[nodiscard]] const MIDIFilePlayer* player() const noexcept { return player_.get(); }
    [[nodiscard]] double duration() const noexcept { return duration_; }
    [[nodiscard]] PlaybackMode currentMode() const noexcept { return currentMode_; }
    [[nodiscard]] bool loopEnabled() const noexcept { return loopEnabled_; }
    [[nodiscard]] double loopStart() const noexcept { return loopStart_; }
    [[nodiscard]] double loopEnd() const noexcept { return loopEnd_; }
    [[nodiscard]] bool isProgressTimerRunning() const noexcept { return !progressTimer_.isCancelled(); }

private:
    enum class StopIntent { none, paused };

    MIDIPlayerController(RunLoop& runLoop, MIDIFilePlayerFactory makePlayer);

    void dropPlayer();
    void startPlayer();
    void startProgressTimer();
    void cancelProgressTimer();
    void tick();
    void handleCompletion(std::uint64_t playerSerial);
    void restartLoop(std::uint64_t playerSerial);
    void finishNaturally();
    void sanitiseLoop(double start, double end);
    void clampLoopToDuration(double length);
    // The stored duration when positive, else the player's own.
    [[nodiscard]] double positionLimit() const;

    RunLoop& runLoop_;
    MIDIFilePlayerFactory makePlayer_;

    std::unique_ptr<MIDIFilePlayer> player_;
    std::uint64_t playerSerial_ = 0;  // identifies player_ in completions
    TimerHandle progressTimer_;
    StopIntent stopIntent_ = StopIntent::none;
    bool loopEnabled_ = false;
    double loopStart_ = 0;
    double loopEnd_ = 0;
    double duration_ = 0;
    PlaybackMode currentMode_;
};

}  // namespace orvane::playback
