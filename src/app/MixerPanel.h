#pragma once
// The mixer window's logic, without a toolkit: the strips it shows (one per track, from the
// main controller), what the user does with their sliders, the lock while playback runs, the
// advanced rows and the size of the window. The window draws this object's state and hands
// every user action to it; it never changes the song itself.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/ActivityMeters.h"

namespace orvane::app {

enum class MixerSetting { volume, pan, velocity, reverb };

// What the controller hands to the window for one strip.
struct MixerStripState {
    int row = 0;  // 0-based musical row
    std::string instrument;
    std::uint8_t volume = 64;
    std::uint8_t pan = 64;
    std::uint8_t velocity = 64;
    std::uint8_t reverb = 0;
    int paletteIndex = 0;
    friend bool operator==(const MixerStripState&, const MixerStripState&) = default;
};

// What the window shows for one strip.
struct MixerStripUISnapshot {
    int row = 0;
    std::uint8_t volume = 64;
    std::uint8_t pan = 64;
    std::uint8_t velocity = 64;
    std::uint8_t reverb = 0;
    friend bool operator==(const MixerStripUISnapshot&, const MixerStripUISnapshot&) = default;
};

// "C" for 64, "L<64 - value>" below, "R<value - 64>" above.
[[nodiscard]] std::string panDisplay(int value);
// The instrument name on one or two lines: words split at spaces (and "+", which stays in
// front of the piece it starts); three or more pieces become the first and the rest.
[[nodiscard]] std::vector<std::string> instrumentNameLines(std::string_view name);

struct MixerContentSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const MixerContentSize&, const MixerContentSize&) = default;
};
// 56-point strips 5 points apart inside 10-point insets, at least 160 wide; 520 high with the
// advanced rows, 406 without.
[[nodiscard]] MixerContentSize mixerContentSize(std::size_t stripCount, bool advancedExpanded);

class MixerPanel {
public:
    static constexpr int stripWidth = 56;
    static constexpr int stripSpacing = 5;
    static constexpr int panelInset = 10;
    static constexpr int collapsedStripHeight = 334;
    static constexpr int expandedStripHeight = 448;
    static constexpr int advancedRowsHeight = 104;

    // What changed, for the window to redraw.
    enum Change : unsigned {
        stripsChanged = 1u << 0,   // strips replaced (values, instruments, count)
        valuesChanged = 1u << 1,   // slider values of existing strips
        metersChanged = 1u << 2,   // at least one meter's drawing changed
        lockChanged = 1u << 3,     // lock or shield
        layoutChanged = 1u << 4,   // advanced rows or window size
        closeRequested = 1u << 5,  // the controller closes the window
    };

    // Set by the main controller. onChange reports a value the user set (row, setting, value).
    std::function<void(int, MixerSetting, std::uint8_t)> onChange;
    // A slider drag begins and ends: the changes between are one step for undo.
    std::function<void()> onGestureBegan;
    std::function<void()> onGestureEnded;
    std::function<void()> onBlockedInteraction;
    std::function<void()> onClose;
    // Set by the window: what to redraw (a mask of Change).
    std::function<void(unsigned)> onViewChange;

    // ---- From the controller --------------------------------------------------------
    void updateStrips(std::vector<MixerStripState> strips);
    [[nodiscard]] std::vector<MixerStripUISnapshot> currentMixerSnapshots() const;
    void setPlaybackLocked(bool locked);
    // Meters of the rows in levels show their level; every other meter drops to 0 with its
    // held peak cleared. now: seconds on the run loop's clock.
    void updateMeterLevels(const std::map<int, double>& levels, double now);
    void resetMeters();
    // Asks the window to close (it then calls windowWillClose()).
    void close();

    // ---- From the window ------------------------------------------------------------
    // A slider of strip moved to value (clamped; pan snaps to whole steps). Refused while
    // locked (onBlockedInteraction).
    void userSetValue(std::size_t strip, MixerSetting setting, int value);
    // Control-click or right click on the pan slider: back to the centre, 64.
    void userResetPan(std::size_t strip);
    void userBeganDrag();
    void userEndedDrag();
    // A click on the shield that covers the strips while playback runs.
    void shieldAttempt();
    // The "Advanced Mixer" / "Collapse Mixer" button.
    void toggleAdvancedMixer();
    void windowWillClose();

    // ---- What the window draws ------------------------------------------------------
    [[nodiscard]] const std::vector<MixerStripState>& strips() const noexcept { return strips_; }
    [[nodiscard]] const std::vector<ActivityMeterState>& meters() const noexcept { return meters_; }
    [[nodiscard]] bool isPlaybackLocked() const noexcept { return locked_; }
    [[nodiscard]] bool isAdvancedExpanded() const noexcept { return advancedExpanded_; }
    [[nodiscard]] bool shieldVisible() const noexcept { return locked_ && !strips_.empty(); }
    [[nodiscard]] bool emptyLabelVisible() const noexcept { return strips_.empty(); }
    [[nodiscard]] std::string advancedButtonTitle() const;  // "Advanced Mixer" / "Collapse Mixer"
    [[nodiscard]] int stripHeight() const noexcept;
    [[nodiscard]] MixerContentSize contentSize() const;

private:
    void notify(unsigned changes) const;

    std::vector<MixerStripState> strips_;
    std::vector<ActivityMeterState> meters_;
    bool locked_ = false;
    bool advancedExpanded_ = false;
    bool closed_ = false;
};

}  // namespace orvane::app
