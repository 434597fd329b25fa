// The edit history's rules. That undo and redo of every kind of edit give back what the exports
// wrote is the random edits test's (ControllerRandomTests.cpp).

#include "app/ControllerHarness.h"

namespace orvane::app::testing {
namespace {

TEST(ControllerUndoHistory, ANewEditClearsRedoAndUndoRestoresATrackExactly) {
    ControllerHarness h(demoSong());
    const auto& controls = h.view().controls;
    EXPECT_EQ(std::pair(controls.undoEnabled, controls.undoTitle), std::pair(false, std::string("Undo")));
    const auto original = std::pair(h->midiFile()->musicalTracks()[3], h->trackRows()[3]);
    h->applyDrumInstrumentChange({8, 42}, 3);
    h->undo();
    EXPECT_EQ(std::pair(h->midiFile()->musicalTracks()[3], h->trackRows()[3]), original);
    EXPECT_TRUE(h.view().controls.redoEnabled);
    h->trackNameEdited(3, "Whistle");
    EXPECT_EQ(std::tuple(h.view().controls.redoEnabled, h.view().controls.redoTitle, h.view().controls.undoTitle),
              std::tuple(false, std::string("Redo"), std::string("Undo Rename Track")));

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
    EXPECT_EQ(std::pair(h->transposeOffset(), h.players.players().size()), std::pair(0, players + 1));
    EXPECT_NEAR(h->currentTransportTimelinePosition(), 3, 0.05);
    h->undo();  // the mixer step: refused while playing, as the edit would be
    EXPECT_EQ(std::tuple(h.modal.beeps, int{h->midiFile()->musicalTracks()[0].volume}, h.view().controls.undoTitle),
              std::tuple(1, 10, std::string("Undo Mixer Change")));
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
