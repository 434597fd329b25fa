#include "playback/MIDIPlayerController.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "support/Diagnostics.h"
#include "support/TextFormat.h"

namespace orvane::playback {
namespace {

constexpr std::string_view logSource = "MIDIPlayerController";

// value limited to lower...upper; an undefined value counts as lower.
double clampSeconds(double value, double lower, double upper) {
    if (std::isnan(value)) return lower;
    return std::min(std::max(value, lower), upper);
}

void reportRefusedStream(const std::string& description) {
    logDiagnostic(logSource, "AVMIDIPlayer init failed: " + description);
    std::printf("❌ AVMIDIPlayer init failed: %s\n", description.c_str());
    std::fflush(stdout);
}

}  // namespace

std::string PlaybackMode::description() const {
    switch (kind) {
        case Kind::none: return "none";
        case Kind::fullSong: return "fullSong";
        case Kind::selectedTracks: return "selectedTracks";
        case Kind::audition: return "audition(row: " + std::to_string(row) + ")";
    }
    return "none";
}

std::shared_ptr<MIDIPlayerController> MIDIPlayerController::create(RunLoop& runLoop,
                                                                   MIDIFilePlayerFactory makePlayer) {
    return std::shared_ptr<MIDIPlayerController>(new MIDIPlayerController(runLoop, std::move(makePlayer)));
}

MIDIPlayerController::MIDIPlayerController(RunLoop& runLoop, MIDIFilePlayerFactory makePlayer)
    : runLoop_(runLoop), makePlayer_(std::move(makePlayer)) {}

MIDIPlayerController::~MIDIPlayerController() {
    cancelProgressTimer();
    dropPlayer();
}

void MIDIPlayerController::playPrepared(std::span<const std::uint8_t> data, PlaybackMode mode, double from,
                                        std::optional<PlaybackLoop> loop, bool startPlaying) {
    dropPlayer();
    cancelProgressTimer();

    std::unique_ptr<MIDIFilePlayer> created;
    try {
        created = makePlayer_ ? makePlayer_(data) : nullptr;
        if (!created) throw MIDIFilePlayerError("no MIDI file player is available");
    } catch (const MIDIFilePlayerError& error) {
        reportRefusedStream(error.description());
        return;
    }
    created->prepareToPlay();
    created->setCurrentPosition(clampSeconds(from, 0, created->duration()));

    player_ = std::move(created);
    ++playerSerial_;
    duration_ = player_->duration();
    currentMode_ = mode;
    stopIntent_ = StopIntent::none;

    if (loop) {
        loopEnabled_ = true;
        sanitiseLoop(loop->start, loop->end);
    }
    if (duration_ > 0) clampLoopToDuration(duration_);

    if (startPlaying) {
        startPlayer();
        startProgressTimer();
    }
}

void MIDIPlayerController::play(std::span<const std::uint8_t> data, PlaybackMode mode, double from) {
    logDiagnostic(logSource, "mode=" + mode.description() + ", start=" + describeDouble(from));
    playPrepared(data, mode, from, std::nullopt, true);
}

void MIDIPlayerController::resume() {
    if (!player_ || player_->isPlaying()) return;
    stopIntent_ = StopIntent::none;
    startPlayer();
    startProgressTimer();
}

void MIDIPlayerController::pause() {
    if (!player_ || !player_->isPlaying()) return;
    const double position = player_->currentPosition();
    stopIntent_ = StopIntent::paused;
    player_->stop();
    cancelProgressTimer();
    if (onPaused) onPaused(position, duration_);
}

void MIDIPlayerController::stop() {
    stopIntent_ = StopIntent::none;
    dropPlayer();
    cancelProgressTimer();
    currentMode_ = PlaybackMode::none();
    if (onStopped) onStopped(0, duration_);
}

void MIDIPlayerController::reset() {
    stopIntent_ = StopIntent::none;
    dropPlayer();
    cancelProgressTimer();
    currentMode_ = PlaybackMode::none();
    duration_ = 0;
}

void MIDIPlayerController::seek(double seconds) {
    logDiagnostic(logSource, "Seek request to " + describeDouble(seconds));
    if (!player_) return;
    player_->setCurrentPosition(clampSeconds(seconds, 0, positionLimit()));
}

void MIDIPlayerController::setLoop(bool enabled, double start, double end) {
    loopEnabled_ = enabled;
    sanitiseLoop(start, end);
    const double length = duration_ > 0 ? duration_ : (player_ ? player_->duration() : 0);
    if (length > 0) clampLoopToDuration(length);
}

std::string MIDIPlayerController::formatTime(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return "0:00";
    const double whole = std::trunc(seconds);
    const double minutes = std::floor(whole / 60);
    const int remainder = static_cast<int>(whole - minutes * 60);
    return formatString("%.0f:%02d", minutes, remainder);
}

// ---- Private ---------------------------------------------------------------------------

void MIDIPlayerController::dropPlayer() {
    if (!player_) return;
    // Moved out first: the player's stop may call back into the controller.
    auto finished = std::move(player_);
    finished->stop();
}

void MIDIPlayerController::startPlayer() {
    std::weak_ptr<MIDIPlayerController> weakSelf = weak_from_this();
    RunLoop* runLoop = &runLoop_;
    const std::uint64_t serial = playerSerial_;
    player_->play([weakSelf, runLoop, serial] {
        runLoop->postToMain([weakSelf, serial] {
            if (auto self = weakSelf.lock()) self->handleCompletion(serial);
        });
    });
}

void MIDIPlayerController::startProgressTimer() {
    cancelProgressTimer();
    std::weak_ptr<MIDIPlayerController> weakSelf = weak_from_this();
    progressTimer_ = runLoop_.every(progressInterval, [weakSelf] {
        if (auto self = weakSelf.lock()) self->tick();
    });
}

void MIDIPlayerController::cancelProgressTimer() {
    progressTimer_.cancel();
    progressTimer_ = TimerHandle();
}

void MIDIPlayerController::tick() {
    if (!player_) return;
    const double position = player_->currentPosition();
    if (onProgress) onProgress(position, duration_);
    if (!player_) return;  // the owner may have stopped in its callback

    if (loopEnabled_ && duration_ > 0) {
        clampLoopToDuration(duration_);
        if (loopStart_ < loopEnd_ && position >= loopEnd_ - loopRestartLead) {
            restartLoop(playerSerial_);
            return;
        }
    }
    if (!player_->isPlaying() && position > 0 && duration_ > 0 && stopIntent_ != StopIntent::paused) {
        finishNaturally();
    }
}

void MIDIPlayerController::handleCompletion(std::uint64_t playerSerial) {
    if (!player_ || playerSerial != playerSerial_) return;  // a replaced player finished
    if (stopIntent_ == StopIntent::paused) return;          // pause()'s own stop
    // A completion that arrives while the same player sounds again belongs to an earlier run
    // (it was resumed, or the tick already restarted the loop).
    if (player_->isPlaying()) return;
    if (loopEnabled_ && duration_ > 0 && loopStart_ < std::min(duration_, loopEnd_)) {
        restartLoop(playerSerial);
        return;
    }
    finishNaturally();
}

void MIDIPlayerController::restartLoop(std::uint64_t playerSerial) {
    if (!player_ || playerSerial != playerSerial_) return;
    const double position = clampSeconds(loopStart_, 0, positionLimit());
    player_->setCurrentPosition(position);
    stopIntent_ = StopIntent::none;
    if (!player_->isPlaying()) {
        startPlayer();
        startProgressTimer();
    }
    if (onProgress) onProgress(position, duration_);
}

void MIDIPlayerController::finishNaturally() {
    cancelProgressTimer();
    if (player_) {
        player_->setCurrentPosition(0);
        player_.reset();
    }
    currentMode_ = PlaybackMode::none();
    stopIntent_ = StopIntent::none;
    if (onNaturalEnd) onNaturalEnd();
}

void MIDIPlayerController::sanitiseLoop(double start, double end) {
    loopStart_ = std::isfinite(start) && start >= 0 ? start : 0;
    loopEnd_ = std::isfinite(end) && end >= loopStart_ ? end : loopStart_;
}

void MIDIPlayerController::clampLoopToDuration(double length) {
    loopStart_ = clampSeconds(loopStart_, 0, length);
    loopEnd_ = std::max(std::min(length, loopEnd_), loopStart_);
}

double MIDIPlayerController::positionLimit() const {
    if (duration_ > 0) return duration_;
    return player_ ? player_->duration() : 0;
}

}  // namespace orvane::playback
