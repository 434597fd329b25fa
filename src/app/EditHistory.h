#pragma once
// The song edits that can be taken back: each step records the state before and after one
// edit, so that undo and redo replay it through the same paths as the edit itself. The history
// is bounded: up to 500 steps, fewer when they hold more than a memory budget (the oldest go
// first), so that the drum mappings of a huge track cannot exhaust memory.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/MixerPanel.h"
#include "app/TrackTable.h"
#include "midi/model/MIDITrack.h"

namespace orvane::app {

struct TempoEdit {
    std::optional<double> before;
    std::optional<double> after;
};
struct TransposeEdit {
    int before = 0;
    int after = 0;
};
// An edit of one track (instrument, drum mapping, name): the source track and its row.
struct TrackState {
    midi::MIDITrack track;
    TrackRow row;
};
struct TrackEdit {
    int row = 0;
    TrackState before;
    TrackState after;
};
struct SongNameEdit {
    std::string before;
    std::string after;
};
struct MixerValueChange {
    int row = 0;
    MixerSetting setting = MixerSetting::volume;
    std::uint8_t before = 0;
    std::uint8_t after = 0;
};
struct MixerEdit {
    std::vector<MixerValueChange> changes;
};

using SongEdit = std::variant<TempoEdit, TransposeEdit, TrackEdit, SongNameEdit, MixerEdit>;

struct EditStep {
    std::string name;  // "Transpose", "Rename Track", ... (the menu says "Undo " + name)
    SongEdit edit;
};

// The bytes a step holds, for the memory budget.
[[nodiscard]] std::size_t editStepBytes(const EditStep& step);

class EditHistory {
public:
    static constexpr std::size_t maximumSteps = 500;
    static constexpr std::size_t memoryBudget = std::size_t{64} << 20;

    // A new step clears the steps that were undone.
    void record(EditStep step);
    // The last step again, for a change that continues it (a slider drag): replaces its
    // "after" state.
    [[nodiscard]] EditStep* lastStep();
    [[nodiscard]] std::optional<EditStep> takeUndo();  // moves the step to the redo side
    [[nodiscard]] std::optional<EditStep> takeRedo();  // moves it back
    // Puts a step back where take*() found it (an undo or redo that was refused).
    void restoreUndo(EditStep step);
    void restoreRedo(EditStep step);
    void clear();

    [[nodiscard]] bool canUndo() const noexcept { return !undo_.empty(); }
    [[nodiscard]] bool canRedo() const noexcept { return !redo_.empty(); }
    // "Undo Transpose" / "Undo" when there is nothing to undo.
    [[nodiscard]] std::string undoTitle() const;
    [[nodiscard]] std::string redoTitle() const;
    [[nodiscard]] std::size_t undoCount() const noexcept { return undo_.size(); }
    [[nodiscard]] std::size_t redoCount() const noexcept { return redo_.size(); }
    [[nodiscard]] std::size_t bytes() const noexcept { return bytes_; }
    // Recounts the bytes of the last step after it was changed through lastStep().
    void lastStepChanged();

private:
    void trim();

    std::deque<EditStep> undo_;
    std::vector<EditStep> redo_;
    std::size_t bytes_ = 0;  // of the undo and redo steps
    std::size_t lastStepBytes_ = 0;
};

}  // namespace orvane::app
