// The mixer window's logic: strips, slider actions, lock, advanced rows, meters and size.

#include "app/MixerPanel.h"

#include <algorithm>

namespace orvane::app {
namespace {

constexpr std::uint8_t panCentre = 64;
constexpr int collapsedContentHeight = 406;
constexpr int expandedContentHeight = 520;
constexpr int minimumContentWidth = 160;

// The value a slider of this setting can hold: velocity starts at 1, the others at 0.
std::uint8_t sliderValue(MixerSetting setting, int value) {
    const int lowest = setting == MixerSetting::velocity ? 1 : 0;
    return static_cast<std::uint8_t>(std::clamp(value, lowest, 127));
}

std::uint8_t& field(MixerStripState& strip, MixerSetting setting) {
    switch (setting) {
        case MixerSetting::volume: return strip.volume;
        case MixerSetting::pan: return strip.pan;
        case MixerSetting::velocity: return strip.velocity;
        case MixerSetting::reverb: return strip.reverb;
    }
    return strip.volume;
}

}  // namespace

std::string panDisplay(int value) {
    if (value == panCentre) return "C";
    if (value < panCentre) return "L" + std::to_string(panCentre - value);
    return "R" + std::to_string(value - panCentre);
}

std::vector<std::string> instrumentNameLines(std::string_view name) {
    std::vector<std::string> pieces;
    std::size_t at = 0;
    while (at < name.size()) {
        const std::size_t space = std::min(name.find(' ', at), name.size());
        const std::string_view word = name.substr(at, space - at);
        at = space + 1;
        // "Bass+Lead" is two pieces, "Bass" and "+Lead"; empty pieces are dropped.
        bool firstOfWord = true;
        std::size_t from = 0;
        while (from <= word.size()) {
            const std::size_t plus = std::min(word.find('+', from), word.size());
            if (plus > from) {
                pieces.push_back((firstOfWord ? "" : "+") + std::string(word.substr(from, plus - from)));
                firstOfWord = false;
            }
            from = plus + 1;
        }
    }
    if (pieces.size() < 3) return pieces;
    std::string rest = pieces[1];
    for (std::size_t i = 2; i < pieces.size(); ++i) rest += ' ' + pieces[i];
    return {pieces[0], rest};
}

MixerContentSize mixerContentSize(std::size_t stripCount, bool advancedExpanded) {
    // Beyond a few thousand strips the width stops growing rather than overflowing.
    const auto count = static_cast<int>(std::min<std::size_t>(stripCount, 10000));
    const int spacing = count >= 2 ? (count - 1) * MixerPanel::stripSpacing : 0;
    const int width = count * MixerPanel::stripWidth + spacing + 2 * MixerPanel::panelInset;
    return {std::max(minimumContentWidth, width), advancedExpanded ? expandedContentHeight : collapsedContentHeight};
}

void MixerPanel::updateStrips(std::vector<MixerStripState> strips) {
    const bool shieldBefore = shieldVisible();
    const MixerContentSize sizeBefore = contentSize();
    strips_ = std::move(strips);
    meters_.assign(strips_.size(), ActivityMeterState{});
    unsigned changes = stripsChanged | metersChanged;
    if (shieldVisible() != shieldBefore) changes |= lockChanged;
    if (contentSize() != sizeBefore) changes |= layoutChanged;
    notify(changes);
}

std::vector<MixerStripUISnapshot> MixerPanel::currentMixerSnapshots() const {
    std::vector<MixerStripUISnapshot> snapshots;
    snapshots.reserve(strips_.size());
    for (const MixerStripState& strip : strips_) {
        snapshots.push_back({strip.row, sliderValue(MixerSetting::volume, strip.volume),
                             sliderValue(MixerSetting::pan, strip.pan),
                             sliderValue(MixerSetting::velocity, strip.velocity),
                             sliderValue(MixerSetting::reverb, strip.reverb)});
    }
    return snapshots;
}

void MixerPanel::setPlaybackLocked(bool locked) {
    if (locked == locked_) return;
    locked_ = locked;
    notify(lockChanged);
}

void MixerPanel::updateMeterLevels(const std::map<int, double>& levels, double now) {
    bool changed = false;
    for (std::size_t i = 0; i < strips_.size() && i < meters_.size(); ++i) {
        const auto level = levels.find(strips_[i].row);
        if (level == levels.end()) {
            changed |= meters_[i].update(0, true, now);
        } else {
            changed |= meters_[i].update(level->second, false, now);
        }
    }
    if (changed) notify(metersChanged);
}

void MixerPanel::resetMeters() { updateMeterLevels({}, 0); }

void MixerPanel::close() {
    if (!closed_) notify(closeRequested);
}

void MixerPanel::userSetValue(std::size_t strip, MixerSetting setting, int value) {
    if (strip >= strips_.size()) return;
    if (locked_) {
        notify(valuesChanged);  // the slider goes back to the value it shows
        if (onBlockedInteraction) onBlockedInteraction();
        return;
    }
    const std::uint8_t clamped = sliderValue(setting, value);
    field(strips_[strip], setting) = clamped;
    const int row = strips_[strip].row;
    notify(valuesChanged);
    if (onChange) onChange(row, setting, clamped);
}

void MixerPanel::userResetPan(std::size_t strip) { userSetValue(strip, MixerSetting::pan, panCentre); }

void MixerPanel::userBeganDrag() {
    if (onGestureBegan) onGestureBegan();
}

void MixerPanel::userEndedDrag() {
    if (onGestureEnded) onGestureEnded();
}

void MixerPanel::shieldAttempt() {
    if (onBlockedInteraction) onBlockedInteraction();
}

void MixerPanel::toggleAdvancedMixer() {
    if (locked_) {
        if (onBlockedInteraction) onBlockedInteraction();
        return;
    }
    advancedExpanded_ = !advancedExpanded_;
    notify(layoutChanged);
}

void MixerPanel::windowWillClose() {
    if (closed_) return;
    closed_ = true;
    if (onClose) onClose();
}

std::string MixerPanel::advancedButtonTitle() const {
    return advancedExpanded_ ? "Collapse Mixer" : "Advanced Mixer";
}

int MixerPanel::stripHeight() const noexcept {
    return advancedExpanded_ ? expandedStripHeight : collapsedStripHeight;
}

MixerContentSize MixerPanel::contentSize() const { return mixerContentSize(strips_.size(), advancedExpanded_); }

void MixerPanel::notify(unsigned changes) const {
    if (changes != 0 && onViewChange) onViewChange(changes);
}

}  // namespace orvane::app
