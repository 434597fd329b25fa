// Thousands of random user actions from fixed seeds: nothing crashes, the transport only
// moves along its allowed transitions, every written file reads back (in our reader and in
// mido), no file the user had is lost; and after random edits of every kind, undoing every
// edit gives back the exports of the freshly loaded song and redoing them the edited ones.

#include <cstdlib>
#include <random>

#include "app/ControllerHarness.h"

namespace orvane::app::testing {
namespace {

using Kind = TransportState::Kind;

class RandomSession {
public:
    RandomSession(unsigned seed, const std::filesystem::path& scratch) : random_(seed), scratch_(scratch) {
        std::filesystem::create_directories(scratch / "out");
        songs_ = {demoSong(), demoClip(scratch), steadySong(scratch, 30, 3), scratch / "missing.mid"};
        writeBytes(scratch / "junk.mid", {'j', 'u', 'n', 'k'});
        songs_.push_back(scratch / "junk.mid");
        // Files the user already had, named as exports would be.
        midi::MIDIFile demo;
        demo.parse(readBytes(demoSong()));
        for (const auto& name : splitFileNames(demo, std::vector<int>{0, 1, 2}, std::nullopt,
                                               midi::MIDIExportFormat::standardMIDI)) {
            std::filesystem::copy_file(demoSong(), scratch / "out" / name);
            userFiles_.push_back(scratch / "out" / name);
        }
    }

    void step() {
        const Kind before = h_->transportState().kind;
        const int action = pick(0, 27);
        act(action);
        if (pick(0, 3) == 0) h_.advance(pick(0, 1000) / 1000.0 * 3);
        h_.settle();
        const Kind after = h_->transportState().kind;
        // An idle transport only starts playing; it is never paused by anything else.
        if (action != 0 && action != 1) {
            EXPECT_FALSE(before == Kind::idle && after == Kind::paused) << "action " << action;
        }
        const double position = h_->transportState().position;
        EXPECT_TRUE(after != Kind::paused || (position >= 0 && std::isfinite(position))) << "action " << action;
        if (after == Kind::playing && h_->midiFile() != nullptr) {
            EXPECT_NE(h_->player().player(), nullptr) << "action " << action;
        }
        EXPECT_GT(h_->loopEndFraction(), h_->loopStartFraction());
    }

    void checkFiles() {
        for (const auto& file : userFiles_) {
            ASSERT_TRUE(std::filesystem::exists(file)) << file;
            EXPECT_GT(std::filesystem::file_size(file), 0u) << file;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(scratch_ / "out")) {
            if (!entry.is_regular_file()) continue;
            midi::MIDIFile song;
            EXPECT_TRUE(song.parse(readBytes(entry.path()))) << entry.path();
        }
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    void answerPrompts() {
        h_.modal.alertAnswers = {pick(0, 2), pick(0, 1), 0, 0, 0};
        h_.modal.folderAnswers = {scratch_ / "out"};
        h_.modal.saveAnswers = {scratch_ / "out" / ("merged" + std::to_string(pick(0, 3)))};
        h_.modal.loopDialogScript = [this, repeat = pick(0, 1001), confirm = pick(0, 3)](LoopExportDialog& dialog) {
            dialog.repeatFieldChanged(std::to_string(repeat));
            dialog.moveMarker(LoopMarker::end, dialog.state().loopEndSeconds - 0.3);
            dialog.togglePreviewPlayback();
            if (confirm > 0) dialog.confirm();
            dialog.cancel();
        };
    }

    void act(int action) {
        MainViewController& c = *h_;
        const int rows = static_cast<int>(c.trackRows().size());
        const int row = pick(-1, std::max(rows, 1));
        switch (action) {
            case 0: c.loadMIDI(songs_[static_cast<std::size_t>(pick(0, static_cast<int>(songs_.size()) - 1))]); break;
            case 1: if (pick(0, 9) == 0) c.clearFile(); break;
            case 2: c.checkboxToggled(row, pick(0, 1) == 1); break;
            case 3: case 4: c.playAction(); break;
            case 5: c.pauseAction(); break;
            case 6: c.sliderMoved(pick(-10, 60)); break;
            case 7: c.timelineClicked(pick(-10, 60)); break;
            case 8: c.loopAction(pick(0, 1) == 1); break;
            case 9:
                c.loopMarkerDragged(pick(0, 1) ? LoopMarker::start : LoopMarker::end, pick(-10, 110) / 100.0);
                if (pick(0, 1)) c.loopMarkerReleased();
                break;
            case 10: c.transposeStepperChanged(pick(-14, 14)); break;
            case 11: c.applyTempo(pick(5, 320)); break;
            case 12:
                c.tableSelectionChanged(row);
                h_.modal.instrumentAnswers = {pick(0, 4) == 0 ? InstrumentPickerSelection::drums()
                                                              : InstrumentPickerSelection::melodic(
                                                                    static_cast<std::uint8_t>(pick(0, 127)))};
                h_.modal.drumAnswers = {DrumInstrumentSelection{static_cast<std::uint8_t>(pick(0, 50)),
                                                                static_cast<std::uint8_t>(pick(30, 90))}};
                c.showInstrumentPicker();
                break;
            case 13: c.trackNameEdited(row, pick(0, 3) ? "Part/" + std::to_string(pick(0, 9)) : "  "); break;
            case 14:
                c.showMixerWindow();
                if (h_.modal.mixer && !h_.modal.mixer->strips().empty()) {
                    h_.modal.mixer->userBeganDrag();
                    h_.modal.mixer->userSetValue(static_cast<std::size_t>(pick(0, 20)) % h_.modal.mixer->strips().size(),
                                                 static_cast<MixerSetting>(pick(0, 3)), pick(-5, 140));
                    h_.modal.mixer->userEndedDrag();
                }
                break;
            case 15: answerPrompts(); c.splitTracks(); break;
            case 16: answerPrompts(); c.mergeAction(); break;
            case 17: c.auditionButtonPressed(row); break;
            case 18: c.rtzAction(); break;
            case 19: case 20: c.undo(); break;
            case 21: c.redo(); break;
            case 22:
                h_.players.completionTiming = pick(0, 1) ? playback::FakeMIDIFilePlayerFactory::CompletionTiming::held
                                                         : playback::FakeMIDIFilePlayerFactory::CompletionTiming::afterDelay;
                h_.players.completionDelay = pick(0, 100) / 1000.0;
                break;
            case 23:
                for (const auto& player : h_.players.players()) player->releaseCompletions();
                break;
            case 24: c.commitSongName(pick(0, 1) ? "Song " + std::to_string(pick(0, 9)) : ""); break;
            case 25: c.keyDown({MainViewController::KeyPress::Key::space, false, pick(0, 3) == 0}); break;
            case 26:
                h_.modal.tempoAnswers = {TempoPromptAnswer{std::to_string(pick(-5, 400)), std::to_string(pick(0, 999))}};
                c.changeTempoAction();
                break;
            case 27: h_.modal.dismissOldest(); break;
        }
    }

    std::mt19937 random_;
    std::filesystem::path scratch_;
    std::vector<std::filesystem::path> songs_;
    std::vector<std::filesystem::path> userFiles_;
    ControllerHarness h_;
};

class ControllerRandom : public ::testing::TestWithParam<unsigned> {};

TEST_P(ControllerRandom, ThousandsOfActionsKeepTheInvariants) {
    ScratchFolder scratch;
    RandomSession session(GetParam(), scratch.path());
    for (int i = 0; i < 1500 && !::testing::Test::HasFatalFailure(); ++i) session.step();
    session.checkFiles();
    // mido reads every Standard MIDI File the session wrote.
    const std::string command = "/usr/bin/python3 -c \"import mido,sys,pathlib; "
                                "[mido.MidiFile(str(p)) for p in pathlib.Path(sys.argv[1]).rglob('*.mid')]\" '" +
                                (scratch.path() / "out").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

INSTANTIATE_TEST_SUITE_P(Seeds, ControllerRandom, ::testing::Values(1u, 2u, 3u));

TEST(ControllerRandomEdits, UndoingEveryEditGivesBackTheLoadedSongsExportsAndRedoingTheEditedOnes) {
    ScratchFolder scratch;
    ControllerHarness h(demoSong());
    const Exports fresh = h.exportAll(scratch.path());
    std::mt19937 random(7);
    const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int i = 0; i < 150; ++i) {
        switch (pick(0, 7)) {
            case 0: h->applyTempo(pick(40, 250)); break;
            case 1: h->transposeStepperChanged(pick(-12, 12)); break;
            case 2: h->applyInstrumentChange(static_cast<std::uint8_t>(pick(0, 127)), pick(0, 4)); break;
            case 3: h->applyDrumInstrumentChange({static_cast<std::uint8_t>(pick(0, 40)),
                                                  static_cast<std::uint8_t>(pick(35, 81))},
                                                 pick(0, 4));
                break;
            case 4: h->trackNameEdited(pick(0, 4), "T" + std::to_string(pick(0, 99))); break;
            case 5: h->applyMixerVelocityChange(pick(0, 4), static_cast<std::uint8_t>(pick(1, 127))); break;
            case 6: h->commitSongName("Song " + std::to_string(pick(0, 99))); break;
            case 7: if (pick(0, 2) == 0) h->undo(); break;
        }
    }
    h.settle();
    const Exports edited = h.exportAll(scratch.path());
    EXPECT_NE(edited, fresh);
    std::size_t steps = 0;
    for (; h->editHistory().canUndo(); ++steps) h->undo();
    EXPECT_EQ(h.exportAll(scratch.path()), fresh);
    while (steps-- > 0) h->redo();
    EXPECT_EQ(h.exportAll(scratch.path()), edited);
}

}  // namespace
}  // namespace orvane::app::testing
