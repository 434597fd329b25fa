// Song edits: the tempo prompt, transpose, instruments and drum sounds, names, and the mixer.

#include "app/ControllerHarness.h"
#include "app/SongEditParsing.h"

namespace orvane::app::testing {
namespace {

using namespace std::string_literals;

double tempoAfterPrompt(ControllerHarness& h, std::string whole, std::string decimal) {
    h.modal.tempoAnswers.push_back(TempoPromptAnswer{std::move(whole), std::move(decimal)});
    h->changeTempoAction();
    h.settle();
    return h->overrideBPM().value_or(-1);
}

TEST(ControllerEdits, TheTempoPromptAcceptsDigitsOnlyAndClampsWithAWarning) {
    ControllerHarness h(demoSong());
    const auto fields = [&asked = h.modal.tempoPrompts] { return asked.back().wholeText + "." + asked.back().decimalText; };
    EXPECT_EQ(tempoAfterPrompt(h, "120", "5"), 120.5);
    EXPECT_EQ(fields(), "96.");
    EXPECT_NEAR(tempoAfterPrompt(h, "120", "12345"), 120.123, 1e-9);
    EXPECT_EQ(fields(), "120.500");
    EXPECT_EQ(h.view().dropZone.info, "♩120.123  4/4  A minor");

    EXPECT_EQ(tempoAfterPrompt(h, "5", ""), 10);
    EXPECT_EQ(h.view().status,
              (StatusLine{"⚠️  Tempo is limited to 10.000–300.000 BPM. Applied 10 BPM.", ColorRole::orange}));
    EXPECT_EQ(tempoAfterPrompt(h, "400", ""), 300);
    EXPECT_EQ(tempoAfterPrompt(h, "", "500"), 10);

    for (const std::string& text : {"nan"s, "inf"s, "1e3"s, "-5"s, "+5"s, "12.5"s, std::string(400, '9')}) {
        EXPECT_EQ(tempoAfterPrompt(h, text, ""), 10) << text;
        EXPECT_EQ(h.view().status.text, "⚠️  Please enter a numeric BPM value.") << text;
    }
    EXPECT_EQ(tempoAfterPrompt(h, "120", "x1"), 10);
    EXPECT_EQ(h.view().status.text, "⚠️  Please enter a numeric decimal value.");
    h.modal.tempoAnswers.push_back(std::nullopt);
    h->changeTempoAction();
    h.settle();
    EXPECT_EQ(h->overrideBPM(), 10);
}

TEST(ControllerEdits, TheTempoFieldsShowTheTempoRoundedToThreeDecimals) {
    for (const auto& [bpm, shown] : {std::pair{60000000.0 / 545455, TempoFieldTexts{"110", ""}},
                                     {119.9996, {"120", ""}}, {99.9996, {"100", ""}}, {120.05, {"120", "050"}}}) {
        EXPECT_EQ(tempoFieldTexts(bpm), shown) << bpm;
    }
}

TEST(ControllerEdits, TransposeFieldStepperAndReset) {
    ControllerHarness h(demoSong());
    const auto shown = [&] { return std::pair(h->transposeOffset(), h.view().controls.transposeText); };
    h->transposeFieldCommitted(" +7 ");
    EXPECT_EQ(shown(), std::pair(7, "+7"s));
    EXPECT_EQ(h.view().dropZone.info, "♩96  4/4  E minor");
    h->transposeFieldCommitted("abc");
    EXPECT_EQ(shown(), std::pair(7, "+7"s));
    h->transposeFieldCommitted("-20");
    EXPECT_EQ(shown(), std::pair(-12, "-12"s));
    EXPECT_EQ(h.view().status.text, "⚠️  Pitch offset is limited to ±12 semitones (one octave).");
    h->transposeFieldCommitted("99999999999999999999");
    EXPECT_EQ(h->transposeOffset(), 12);
    h->transposeStepperChanged(-3);
    EXPECT_EQ(shown(), std::pair(-3, "-3"s));
    h->transposeResetAction();
    EXPECT_EQ(std::pair(h.view().controls.transposeValue, h.view().controls.transposeText), std::pair(0, "0"s));
}

TEST(ControllerEdits, AnInstrumentChangeRewritesProgramChangesAndNamesUntouchedRows) {
    ControllerHarness h(demoSong());
    h->tableSelectionChanged(1);
    h.modal.instrumentAnswers.push_back(InstrumentPickerSelection::melodic(0));
    h->showInstrumentPicker();
    h.settle();
    EXPECT_EQ(h.modal.instrumentPickersOpenedOn.back(), InstrumentPickerSelection::melodic(33));
    const midi::MIDITrack& track = h->midiFile()->musicalTracks()[1];
    EXPECT_EQ(h->trackRows()[1].name + "/" + track.name, "Acoustic Grand Piano/Acoustic Grand Piano");
    EXPECT_EQ(track.events.front(), midi::MIDIEvent(0, {0xC1, 0}));
    EXPECT_EQ(std::count_if(track.events.begin(), track.events.end(),
                            [](const midi::MIDIEvent& e) { return e.status() == 0xC1; }),
              1);

    h->trackNameEdited(2, "  Keys  ");
    h->tableSelectionChanged(2);
    h.modal.instrumentAnswers.push_back(InstrumentPickerSelection::melodic(80));
    h->showInstrumentPicker();
    h.settle();
    EXPECT_EQ(h->trackRows()[2].name + "/" + h->trackRows()[2].instrument, "Keys/Square Lead");
}

TEST(ControllerEdits, DrumsOpenTheDrumPickerOnceTheInstrumentPickerHasClosed) {
    ControllerHarness h(demoSong());
    h->tableSelectionChanged(3);
    h.modal.instrumentAnswers.push_back(InstrumentPickerSelection::drums());
    h.modal.drumAnswers.push_back(DrumInstrumentSelection{0, 38});
    h->showInstrumentPicker();
    h.settle();
    ASSERT_EQ(h.modal.drumPickersOpenedOn.size(), 1u);
    EXPECT_EQ(h->trackRows()[3].channel + "/" + h->trackRows()[3].name, "10/Drums - Acoustic Snare");
    EXPECT_EQ(h.view().status, (StatusLine{"Drum track mapped to Acoustic Snare on Channel 10.", ColorRole::blue}));

    // A drum track goes straight to the drum picker, its kit selected and the first sound
    // when it strikes more than one.
    h->tableSelectionChanged(0);
    h->showInstrumentPicker();
    h.settle();
    EXPECT_EQ(h.modal.drumPickersOpenedOn.back(), (DrumInstrumentSelection{0, midi::MIDIFile::gmDrumNotes().front().note}));
}

TEST(ControllerEdits, AnswersForAnEarlierSongAreDropped) {
    ScratchFolder folder;
    ControllerHarness h(demoSong());
    h->tableSelectionChanged(4);
    h->showInstrumentPicker();  // left open
    h->loadMIDI(steadySong(folder.path(), 4, 2));
    h.modal.instrumentAnswers.push_back(InstrumentPickerSelection::melodic(5));
    h.modal.dismissOldest();
    h.settle();
    EXPECT_EQ(std::pair(h->trackRows().size(), int{h->midiFile()->musicalTracks()[1].instrument}),
              std::pair(std::size_t{2}, 10));
    h->trackNameEdited(4, "Ghost");
    EXPECT_TRUE(h.log.starting("Renamed track row").empty());
}

TEST(ControllerEdits, MixerStripsFollowTheTicksAndChangesAreRefusedWhilePlaying) {
    ControllerHarness h(demoSong());
    EXPECT_EQ(h->currentMixerStrips().size(), 5u);
    h->checkboxToggled(1, true);
    h->checkboxToggled(3, true);
    const auto strips = h->currentMixerStrips();
    ASSERT_EQ(strips.size(), 2u);
    EXPECT_EQ(std::pair(strips[1].row, strips[1].instrument), std::pair(3, "Flute"s));
    h->showMixerWindow();
    ASSERT_NE(h.modal.mixer, nullptr);

    const int revision = h->mixerSettingsRevision();
    h.modal.mixer->userSetValue(0, MixerSetting::volume, 30);
    EXPECT_EQ(h->midiFile()->musicalTracks()[1].volume, 30);
    EXPECT_EQ(h->mixerSettingsRevision(), revision + 1);
    h->applyMixerChange(1, std::nullopt);  // no value: still a change of the revision
    EXPECT_EQ(h->mixerSettingsRevision(), revision + 2);

    const std::uint8_t pan = h->midiFile()->musicalTracks()[3].pan;
    h->playAction();
    h.modal.mixer->setPlaybackLocked(false);  // as if the lock had not reached the window
    h.modal.mixer->userSetValue(1, MixerSetting::pan, 0);
    // The prompt's text: tests/ui/MixerWindowTest.cpp. The strip shows the song again.
    EXPECT_EQ(std::pair(h.modal.beeps, h.modal.prompts.size()), std::pair(1, std::size_t{1}));
    EXPECT_EQ(std::pair(h->midiFile()->musicalTracks()[3].pan, h.modal.mixer->strips()[1].pan), std::pair(pan, pan));
    EXPECT_TRUE(h->mixerSettingsRevision() == revision + 2 && h.modal.mixer->isPlaybackLocked());
}

TEST(ControllerEdits, ReconcilingPullsWhatTheMixerShowsIntoTheSong) {
    ControllerHarness h(demoSong());
    h->showMixerWindow();
    EXPECT_FALSE(h->reconcileMixerUIToMIDIModel("test"));
    auto strips = h->currentMixerStrips();
    strips[1].volume = 11;
    strips[3].pan = 99;
    h.modal.mixer->updateStrips(strips);  // the window shows values the song does not hold
    const int revision = h->mixerSettingsRevision();
    EXPECT_TRUE(h->reconcileMixerUIToMIDIModel("test"));
    EXPECT_EQ(std::pair(h->mixerSettingsRevision(), h.log.starting("STATE-RECONCILE[MIXER->MIDI] reason=test row=").size()),
              std::pair(revision + 1, std::size_t{2}));
    EXPECT_EQ(std::pair(int{h->midiFile()->musicalTracks()[1].volume}, int{h->midiFile()->musicalTracks()[3].pan}),
              std::pair(11, 99));
}

}  // namespace
}  // namespace orvane::app::testing
