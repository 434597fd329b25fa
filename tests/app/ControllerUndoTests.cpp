// Undo and redo of every song edit: what the exports write after an edit and its undo is what
// they wrote before it, and after the redo what they wrote after it.

#include "app/ControllerHarness.h"

namespace orvane::app::testing {
namespace {

struct EditCase {
    const char* name;  // the menu's step name
    std::function<void(ControllerHarness&)> edit;
};

class ControllerUndo : public ::testing::TestWithParam<EditCase> {};

TEST_P(ControllerUndo, ExportsReturnToTheirStateBeforeAndAfterTheEdit) {
    ScratchFolder scratch;
    ControllerHarness h(demoSong());
    const Exports before = h.exportAll(scratch.path());
    EXPECT_GE(before.files.size(), 11u);
    GetParam().edit(h);
    h.settle();
    EXPECT_EQ(h.sink.shown.controls.undoTitle, std::string("Undo ") + GetParam().name);
    EXPECT_TRUE(h.sink.shown.controls.undoEnabled);
    const Exports after = h.exportAll(scratch.path());
    EXPECT_NE(before, after);
    h->undo();
    h.settle();
    EXPECT_EQ(h.sink.shown.controls.redoTitle, std::string("Redo ") + GetParam().name);
    EXPECT_EQ(h.exportAll(scratch.path()), before);
    h->redo();
    EXPECT_EQ(h.exportAll(scratch.path()), after);
}

INSTANTIATE_TEST_SUITE_P(
    EveryEdit, ControllerUndo,
    ::testing::Values(
        EditCase{"Change Tempo", [](ControllerHarness& h) { h->applyTempo(133); }},
        EditCase{"Transpose", [](ControllerHarness& h) { h->transposeStepperChanged(5); }},
        EditCase{"Change Instrument",
                 [](ControllerHarness& h) {
                     h->tableSelectionChanged(2);
                     h.modal.instrumentAnswers.push_back(InstrumentPickerSelection::melodic(40));
                     h->showInstrumentPicker();
                 }},
        EditCase{"Map Drum Sound", [](ControllerHarness& h) { h->applyDrumInstrumentChange({24, 40}, 4); }},
        EditCase{"Rename Track", [](ControllerHarness& h) { h->trackNameEdited(1, "Low End"); }},
        EditCase{"Rename Song", [](ControllerHarness& h) { h->commitSongName("Encore"); }},
        EditCase{"Mixer Change",
                 [](ControllerHarness& h) {
                     h->showMixerWindow();
                     h.modal.mixer->userBeganDrag();
                     for (int value = 64; value >= 20; value -= 4) h.modal.mixer->userSetValue(2, MixerSetting::pan, value);
                     h.modal.mixer->userEndedDrag();
                     EXPECT_EQ(h->editHistory().undoCount(), 1u);  // one drag, one step
                 }}),
    [](const ::testing::TestParamInfo<EditCase>& edit) {
        std::string name = edit.param.name;
        std::erase(name, ' ');
        return name;
    });

TEST(ControllerUndoHistory, ANewEditClearsRedoAndUndoRestoresATrackExactly) {
    ControllerHarness h(demoSong());
    EXPECT_FALSE(h.view().controls.undoEnabled);
    EXPECT_EQ(h.view().controls.undoTitle, "Undo");
    const midi::MIDITrack original = h->midiFile()->musicalTracks()[3];
    const TrackRow originalRow = h->trackRows()[3];
    h->applyDrumInstrumentChange({8, 42}, 3);
    h->undo();
    EXPECT_EQ(h->midiFile()->musicalTracks()[3], original);
    EXPECT_EQ(h->trackRows()[3], originalRow);
    EXPECT_TRUE(h.view().controls.redoEnabled);
    h->trackNameEdited(3, "Whistle");
    EXPECT_FALSE(h.view().controls.redoEnabled);
    EXPECT_EQ(h.view().controls.redoTitle, "Redo");
    EXPECT_EQ(h.view().controls.undoTitle, "Undo Rename Track");

    // Loading empties the history.
    h->loadMIDI(demoSong());
    EXPECT_FALSE(h.view().controls.undoEnabled);
}

TEST(ControllerUndoHistory, UndoReloadsPlaybackAndKeepsTheMixerLock) {
    ControllerHarness h(demoSong());
    h->showMixerWindow();
    h.modal.mixer->userSetValue(0, MixerSetting::volume, 10);
    h->transposeStepperChanged(4);
    h->playAction();
    h.advance(3);
    const auto players = h.players.players().size();
    h->undo();  // the transpose: heard at once, from the same place
    EXPECT_EQ(h->transposeOffset(), 0);
    EXPECT_EQ(h.players.players().size(), players + 1);
    EXPECT_NEAR(h->currentTransportTimelinePosition(), 3, 0.05);
    h->undo();  // the mixer step: refused while playing, as the edit would be
    EXPECT_EQ(h.modal.beeps, 1);
    EXPECT_EQ(h->midiFile()->musicalTracks()[0].volume, 10);
    EXPECT_EQ(h.view().controls.undoTitle, "Undo Mixer Change");
    h->stopAction();
    h->undo();
    EXPECT_NE(h->midiFile()->musicalTracks()[0].volume, 10);
}

TEST(ControllerUndoHistory, TheHistoryStaysWithinItsBudget) {
    EditHistory history;
    midi::MIDITrack big;
    big.events.assign(300'000, midi::MIDIEvent(0, {0x90, 60, 100}));
    for (int i = 0; i < 40; ++i) history.record({"Map Drum Sound", TrackEdit{0, {big, {}}, {big, {}}}});
    EXPECT_LE(history.bytes(), EditHistory::memoryBudget);
    EXPECT_GE(history.undoCount(), 1u);
    EditHistory small;
    for (int i = 0; i < 1000; ++i) small.record({"Transpose", TransposeEdit{i, i + 1}});
    EXPECT_GE(small.undoCount(), 100u);
    EXPECT_EQ(std::get<TransposeEdit>(small.takeUndo()->edit).after, 1000);
}

}  // namespace
}  // namespace orvane::app::testing
