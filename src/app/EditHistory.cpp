#include "app/EditHistory.h"

namespace orvane::app {

namespace {

std::size_t trackBytes(const TrackState& state) {
    std::size_t bytes = sizeof(TrackState) + state.track.name.size() + state.row.name.size() +
                        state.row.instrument.size() + state.track.events.capacity() * sizeof(midi::MIDIEvent);
    for (const midi::MIDIEvent& event : state.track.events) {
        if (event.size() > midi::MIDIEvent::inlineCapacity) bytes += event.size();
    }
    return bytes;
}

struct StepBytes {
    std::size_t operator()(const TempoEdit&) const { return 0; }
    std::size_t operator()(const TransposeEdit&) const { return 0; }
    std::size_t operator()(const TrackEdit& edit) const { return trackBytes(edit.before) + trackBytes(edit.after); }
    std::size_t operator()(const SongNameEdit& edit) const { return edit.before.size() + edit.after.size(); }
    std::size_t operator()(const MixerEdit& edit) const { return edit.changes.size() * sizeof(MixerValueChange); }
};

}  // namespace

std::size_t editStepBytes(const EditStep& step) {
    return sizeof(EditStep) + step.name.size() + std::visit(StepBytes{}, step.edit);
}

void EditHistory::record(EditStep step) {
    for (const EditStep& undone : redo_) bytes_ -= editStepBytes(undone);
    redo_.clear();
    lastStepBytes_ = editStepBytes(step);
    bytes_ += lastStepBytes_;
    undo_.push_back(std::move(step));
    trim();
}

EditStep* EditHistory::lastStep() { return undo_.empty() || !redo_.empty() ? nullptr : &undo_.back(); }

void EditHistory::lastStepChanged() {
    if (undo_.empty()) return;
    const std::size_t now = editStepBytes(undo_.back());
    bytes_ = bytes_ - lastStepBytes_ + now;
    lastStepBytes_ = now;
    trim();
}

std::optional<EditStep> EditHistory::takeUndo() {
    if (undo_.empty()) return std::nullopt;
    EditStep step = std::move(undo_.back());
    undo_.pop_back();
    bytes_ -= editStepBytes(step);
    return step;
}

std::optional<EditStep> EditHistory::takeRedo() {
    if (redo_.empty()) return std::nullopt;
    EditStep step = std::move(redo_.back());
    redo_.pop_back();
    bytes_ -= editStepBytes(step);
    return step;
}

void EditHistory::restoreUndo(EditStep step) {
    bytes_ += editStepBytes(step);
    undo_.push_back(std::move(step));
    lastStepBytes_ = editStepBytes(undo_.back());
}

void EditHistory::restoreRedo(EditStep step) {
    bytes_ += editStepBytes(step);
    redo_.push_back(std::move(step));
}

void EditHistory::clear() {
    undo_.clear();
    redo_.clear();
    bytes_ = 0;
    lastStepBytes_ = 0;
}

std::string EditHistory::undoTitle() const { return undo_.empty() ? "Undo" : "Undo " + undo_.back().name; }
std::string EditHistory::redoTitle() const { return redo_.empty() ? "Redo" : "Redo " + redo_.back().name; }

void EditHistory::trim() {
    // The oldest steps go first; the newest step always stays, however large it is.
    while (undo_.size() > 1 && (undo_.size() > maximumSteps || bytes_ > memoryBudget)) {
        bytes_ -= editStepBytes(undo_.front());
        undo_.pop_front();
    }
}

}  // namespace orvane::app
