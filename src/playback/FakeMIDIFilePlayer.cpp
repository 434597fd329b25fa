#include "playback/FakeMIDIFilePlayer.h"

#include <algorithm>
#include <cmath>

#include "midi/model/MIDIFile.h"

namespace orvane::playback {
namespace {

class FakeMIDIFilePlayer final : public MIDIFilePlayer {
public:
    FakeMIDIFilePlayer(RunLoop& clock, std::shared_ptr<FakePlayerRecord> record,
                       FakeMIDIFilePlayerFactory::CompletionTiming timing, double delay)
        : clock_(clock), record_(std::move(record)), timing_(timing), delay_(delay) {}

    ~FakeMIDIFilePlayer() override {
        stop();
        endTimer_.cancel();
        record_->alive = false;
    }

    void prepareToPlay() override { record_->prepared = true; }
    [[nodiscard]] double duration() const override { return record_->duration; }

    [[nodiscard]] double currentPosition() const override {
        if (!playing_) return position_;
        return std::min(startPosition_ + (clock_.now() - startedAt_), record_->duration);
    }

    void setCurrentPosition(double seconds) override {
        record_->positionWrites.push_back(seconds);
        const double position = std::clamp(std::isnan(seconds) ? 0.0 : seconds, 0.0, record_->duration);
        if (isPlaying()) {
            startPosition_ = position;
            startedAt_ = clock_.now();
            scheduleEnd();
        } else {
            position_ = position;
        }
    }

    [[nodiscard]] bool isPlaying() const override { return playing_ && clock_.now() < endsAt_; }

    void play(std::function<void()> completion) override {
        if (playing_) return;
        ++record_->playCount;
        playing_ = true;
        startPosition_ = position_;
        startedAt_ = clock_.now();
        completion_ = std::move(completion);
        scheduleEnd();
    }

    void stop() override {
        if (!isPlaying()) return;
        ++record_->stopCount;
        position_ = currentPosition();
        finish();
    }

private:
    void scheduleEnd() {
        endTimer_.cancel();
        const double remaining = record_->duration - startPosition_;
        endsAt_ = startedAt_ + remaining;
        endTimer_ = clock_.after(remaining, [this] {
            position_ = record_->duration;
            finish();
        });
    }

    void finish() {
        playing_ = false;
        endTimer_.cancel();
        auto completion = std::move(completion_);
        completion_ = nullptr;
        if (!completion) return;
        // Weakly: a kept completion lives in the record itself.
        std::weak_ptr<FakePlayerRecord> weakRecord = record_;
        auto deliver = [weakRecord, completion = std::move(completion)] {
            if (auto record = weakRecord.lock()) ++record->completionsDelivered;
            completion();
        };
        if (timing_ == FakeMIDIFilePlayerFactory::CompletionTiming::held) {
            record_->heldCompletions.push_back(std::move(deliver));
        } else {
            clock_.after(delay_, std::move(deliver));
        }
    }

    RunLoop& clock_;
    std::shared_ptr<FakePlayerRecord> record_;
    FakeMIDIFilePlayerFactory::CompletionTiming timing_;
    double delay_;
    bool playing_ = false;
    double position_ = 0;
    double startPosition_ = 0;
    double startedAt_ = 0;
    double endsAt_ = 0;
    TimerHandle endTimer_;
    std::function<void()> completion_;
};

}  // namespace

void FakePlayerRecord::releaseCompletions() {
    auto completions = std::move(heldCompletions);
    heldCompletions.clear();
    for (auto& completion : completions) completion();
}

MIDIFilePlayerFactory FakeMIDIFilePlayerFactory::factory() {
    return [this](std::span<const std::uint8_t> data) { return make(data); };
}

std::unique_ptr<MIDIFilePlayer> FakeMIDIFilePlayerFactory::make(std::span<const std::uint8_t> data) {
    ++creationAttempts_;
    if (nextFailure_) {
        std::string description = std::move(*nextFailure_);
        nextFailure_.reset();
        throw MIDIFilePlayerError(std::move(description));
    }
    auto record = std::make_shared<FakePlayerRecord>();
    record->data.assign(data.begin(), data.end());
    record->duration = nextDuration;
    if (durationFromData) {
        midi::MIDIFile song;
        if (!song.parse(data)) throw MIDIFilePlayerError("The data is not a Standard MIDI File.");
        record->duration = song.ticksToSeconds(midi::MIDIFile::maximumTick(song.tracks()), std::nullopt);
    }
    players_.push_back(record);
    return std::make_unique<FakeMIDIFilePlayer>(clock_, record, completionTiming, completionDelay);
}

}  // namespace orvane::playback
