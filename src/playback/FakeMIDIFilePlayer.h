#pragma once
// A stand-in for the General MIDI file player, for tests of everything that drives one: its
// position follows the clock of a run loop (normally a ManualRunLoop), its completion comes
// after a chosen delay or only when the test releases it, and creation fails on demand.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "playback/MIDIFilePlayer.h"
#include "support/RunLoop.h"

namespace orvane::playback {

// What a test can see of one fake player; it outlives the player.
struct FakePlayerRecord {
    std::vector<std::uint8_t> data;
    double duration = 0;
    bool prepared = false;
    bool alive = true;
    int playCount = 0;
    int stopCount = 0;
    int completionsDelivered = 0;
    std::vector<double> positionWrites;
    // Completions kept back (CompletionTiming::held) until releaseCompletions().
    std::vector<std::function<void()>> heldCompletions;

    // Runs the kept completions now, as the platform would from its own thread.
    void releaseCompletions();
};

class FakeMIDIFilePlayerFactory {
public:
    enum class CompletionTiming {
        afterDelay,  // completionDelay seconds of run-loop time after the player stops
        held,        // kept in the record until the test releases it
    };

    explicit FakeMIDIFilePlayerFactory(RunLoop& clock) : clock_(clock) {}

    // Settings for the players created from now on.
    double nextDuration = 10.0;
    // Take each player's duration from its data instead (the end of its longest track), as
    // the real player does.
    bool durationFromData = false;
    CompletionTiming completionTiming = CompletionTiming::afterDelay;
    double completionDelay = 0.0;
    // The next creation throws MIDIFilePlayerError with this description.
    void failNextCreation(std::string description) { nextFailure_ = std::move(description); }

    // The factory to hand to the code under test; this object must outlive it.
    [[nodiscard]] MIDIFilePlayerFactory factory();

    [[nodiscard]] const std::vector<std::shared_ptr<FakePlayerRecord>>& players() const noexcept { return players_; }
    [[nodiscard]] std::shared_ptr<FakePlayerRecord> lastPlayer() const {
        return players_.empty() ? nullptr : players_.back();
    }
    [[nodiscard]] int creationAttempts() const noexcept { return creationAttempts_; }

private:
    std::unique_ptr<MIDIFilePlayer> make(std::span<const std::uint8_t> data);

    RunLoop& clock_;
    std::optional<std::string> nextFailure_;
    std::vector<std::shared_ptr<FakePlayerRecord>> players_;
    int creationAttempts_ = 0;
};

}  // namespace orvane::playback
