#include "playback/Sequencer.h"

#include <algorithm>
#include <cmath>

namespace orvane::playback {
namespace {

std::uint64_t frameAt(double seconds, double sampleRate) {
    if (!(seconds > 0)) return 0;
    return static_cast<std::uint64_t>(std::llround(seconds * sampleRate));
}

}  // namespace

Sequencer::Sequencer(PlaybackSchedule schedule, SynthesizerPort& synthesizer, double sampleRate)
    : schedule_(std::move(schedule)), synthesizer_(synthesizer), sampleRate_(sampleRate > 0 ? sampleRate : 44100) {
    const auto messages = schedule_.messages();
    frames_.reserve(messages.size());
    for (const auto& scheduled : messages) frames_.push_back(frameAt(scheduled.seconds, sampleRate_));
    endFrame_ = frameAt(schedule_.duration(), sampleRate_);
    if (!frames_.empty()) endFrame_ = std::max(endFrame_, frames_.back());
}

std::size_t Sequencer::firstMessageAtOrAfter(std::uint64_t frame) const {
    return static_cast<std::size_t>(std::lower_bound(frames_.begin(), frames_.end(), frame) - frames_.begin());
}

void Sequencer::restoreStateAtPosition() {
    next_ = firstMessageAtOrAfter(position_);
    synthesizer_.resetAll();
    for (const auto& message : stateRestorationMessages(schedule_.messages().first(next_))) {
        synthesizer_.send(message);
    }
}

void Sequencer::setPosition(double seconds) {
    const double limited = std::isnan(seconds) ? 0.0 : seconds;
    position_ = std::min(frameAt(limited, sampleRate_), endFrame_);
    if (playing_) restoreStateAtPosition();
}

void Sequencer::start() {
    if (playing_) return;
    playing_ = true;
    restoreStateAtPosition();
}

void Sequencer::stop() {
    if (!playing_) return;
    playing_ = false;
    synthesizer_.releaseAll();
}

bool Sequencer::render(std::span<float> left, std::span<float> right) {
    const auto messages = schedule_.messages();
    bool ended = false;
    std::size_t done = 0;
    const std::size_t total = std::min(left.size(), right.size());
    while (done < total) {
        std::size_t chunk = total - done;
        if (playing_) {
            while (next_ < frames_.size() && frames_[next_] <= position_) {
                synthesizer_.send(messages[next_].message);
                ++next_;
            }
            if (position_ >= endFrame_) {
                playing_ = false;
                ended = true;
                synthesizer_.releaseAll();  // notes the song never ended
            } else {
                std::uint64_t until = endFrame_;
                if (next_ < frames_.size()) until = std::min(until, frames_[next_]);
                chunk = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, until - position_));
            }
        }
        synthesizer_.render(left.subspan(done, chunk), right.subspan(done, chunk));
        if (playing_) position_ += chunk;
        done += chunk;
    }
    return ended;
}

}  // namespace orvane::playback
