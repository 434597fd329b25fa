// The loop export dialog with a fake player on a manual run loop.

#include <gtest/gtest.h>

#include <algorithm>

#include "DiagnosticsCapture.h"
#include "app/LoopExportDialog.h"
#include "playback/FakeMIDIFilePlayer.h"
#include "playback/TestSongs.h"
#include "support/ManualRunLoop.h"

namespace orvane::app {
namespace {

using namespace playback::testing;
using Answers = std::vector<std::optional<LoopExportOptions>>;

// 12 s at 120 BPM. Row 0 strikes every whole second, row 1 holds one note throughout, row 2
// (left out of the preview) plays on the half seconds.
std::shared_ptr<const midi::MIDIFile> wholeSecondsSong() {
    EventList steps, offbeats;
    addNotes(steps, 0, 60, 0, 12, 1.0, 1.0);
    addNotes(offbeats, 2, 72, 0.5, 12, 1.0, 0.25);
    auto song = std::make_shared<midi::MIDIFile>();
    EXPECT_TRUE(song->parse(songBytes({{endOfTrack(12)}, steps, {noteOn(0, 1, 48), noteOff(12, 1, 48)}, offbeats})));
    return song;
}

class LoopDialog : public ::testing::Test {
protected:
    void open(double loopStart = 4, double loopEnd = 6, std::vector<bool> included = {true, true, false}) {
        LoopExportDialog::Settings settings;
        settings.midi = wholeSecondsSong();
        settings.loopStart = loopStart;
        settings.loopEnd = loopEnd;
        settings.songDuration = 12;
        const auto tracks = settings.midi->musicalTracks();
        for (std::size_t row = 0; row < tracks.size(); ++row) {
            settings.previewTracks.push_back({tracks[row], static_cast<int>(row), "", 0, included[row]});
        }
        players.nextDuration = 2.0;  // one pass of the loop
        dialog = LoopExportDialog::create(loop, players.factory(), std::move(settings));
        dialog->onFinish = [this](std::optional<LoopExportOptions> answer) { answers.push_back(answer); };
        dialog->onPreviewProgress = [this](double seconds) { progress.push_back(seconds); };
        dialog->onPreviewStopped = [this] { ++stops; };
        dialog->onCloseRequested = [this] { ++closeRequests; };
        dialog->show();
    }
    [[nodiscard]] const LoopExportDialogState& state() const { return dialog->state(); }

    testing::DiagnosticsCapture log;
    ManualRunLoop loop;
    playback::FakeMIDIFilePlayerFactory players{loop};
    std::shared_ptr<LoopExportDialog> dialog;
    Answers answers;
    std::vector<double> progress;
    int stops = 0;
    int closeRequests = 0;
};

TEST_F(LoopDialog, MarkersSnapToTheBoundariesOfIncludedTracks) {
    open();
    EXPECT_EQ(std::tuple(state().visibleStartSeconds, state().visibleEndSeconds), std::tuple(3.0, 7.0));
    EXPECT_EQ(state().startText + " " + state().endText + " " + state().lengthText, "0:04.0 0:06.0 0:02.0");
    EXPECT_EQ(dialog->includedRows(), (std::vector<int>{0, 1}));
    dialog->moveMarker(LoopMarker::end, 2.0);  // left of the start: one gap after it
    dialog->moveMarker(LoopMarker::end, 5.2);  // the same place: logged once
    dialog->moveMarker(LoopMarker::start, 3.4);  // to a whole second: row 2's half seconds are left out
    EXPECT_EQ(std::tuple(state().loopStartSeconds, state().loopEndSeconds), std::tuple(3.0, 5.0));
    EXPECT_EQ(log.starting("Loop export ").size(), 2u);
    dialog->moveMarker(LoopMarker::end, 11);  // 4.5 bars: cells of two quarters
    const auto& cell = state().gridCells[0];
    EXPECT_EQ(std::pair(state().loopEndSeconds, cell.end - cell.start), std::pair(12.0, 1.0));
    EXPECT_EQ(stops, 0);  // no preview was running
}

TEST_F(LoopDialog, PreviewStartsPausesResumesAndStopsInSongTime) {
    open();
    dialog->togglePreviewPlayback();
    const auto player = players.lastPlayer();
    ASSERT_TRUE(player && dialog->isPreviewPlaying());
    loop.advance(0.31);  // the last 30 ms tick at 0.3 s
    EXPECT_NEAR(progress.back(), 4.3, 1e-9);
    EXPECT_EQ(state().timeCounter, "0:04.3");

    dialog->pausePreviewPlayback();
    EXPECT_TRUE(dialog->isPreviewPaused() && !dialog->isPreviewPlaying());
    dialog->togglePreviewPlayback();
    loop.advance(5);  // the section repeats: song time stays inside the loop
    EXPECT_TRUE(std::all_of(progress.begin(), progress.end(), [](double s) { return s >= 4 && s <= 6; }));
    EXPECT_EQ(players.players().size(), 1u);

    // A marker move stops without forgetting the position; the next start plays the new section.
    dialog->moveMarker(LoopMarker::start, 5.1);
    EXPECT_TRUE(!player->alive && state().playbackPositionSeconds == progress.back());
    dialog->togglePreviewPlayback();
    loop.advance(0.31);
    EXPECT_NEAR(progress.back(), 5.3, 1e-9);
    dialog->togglePreviewPlayback();
    EXPECT_EQ(std::tuple(stops, state().playbackPositionSeconds, state().timeCounter),
              std::tuple(2, std::optional<double>(), std::string("0:00.0")));
}

TEST_F(LoopDialog, PreviewRefusals) {
    open(6, 6);
    dialog->togglePreviewPlayback();
    EXPECT_EQ(state().errorText, "Move the end marker after the start marker.");
    open(4, 6, {false, false, false});
    dialog->togglePreviewPlayback();
    EXPECT_EQ(state().errorText, "No MIDI notes are available for preview.");
    EXPECT_EQ(players.creationAttempts(), 0);

    open();  // a player that cannot be made: the dialog does not claim to play
    players.failNextCreation("no synthesizer");
    dialog->togglePreviewPlayback();
    EXPECT_EQ(std::pair(dialog->isPreviewPlaying(), state().playTitle), std::pair(false, std::string("▶")));

    open(4, 4.01);  // a sliver is previewed as 50 ms
    dialog->togglePreviewPlayback();
    EXPECT_NE(log.starting("Start loop export preview: ").back().find(", range=4.000-4.050, "), std::string::npos);
}

TEST_F(LoopDialog, RepeatCountIsCheckedBeforeTheOnlyAnswer) {
    open();
    dialog->repeatFieldChanged("12");
    dialog->repeatFieldChanged("abc");
    EXPECT_EQ(state().repeatStepperValue, 12);  // the last valid count
    for (const char* refused : {"abc", "0", "1000"}) {
        dialog->repeatFieldChanged(refused);
        dialog->confirm();
        EXPECT_EQ(state().errorText, "Enter a repeat count from 1 to 999.") << refused;
    }
    dialog->repeatStepperChanged(0);
    EXPECT_TRUE(state().repeatText == "1" && answers.empty() && closeRequests == 0);

    dialog->repeatFieldChanged("999");
    dialog->togglePreviewPlayback();
    dialog->confirm();
    dialog->confirm();
    dialog->cancel();
    dialog->windowWillClose();
    EXPECT_EQ(std::tuple(answers, closeRequests, players.lastPlayer()->alive),
              std::tuple(Answers{LoopExportOptions{999, true, 4, 6}}, 1, false));
    dialog->togglePreviewPlayback();  // a finished dialog does nothing more
    EXPECT_FALSE(dialog->isPreviewPlaying());

    answers.clear();
    open();
    dialog->cancel();
    EXPECT_EQ(std::tuple(answers, closeRequests), std::tuple(Answers{std::nullopt}, 2));

    // The window closed by itself: no request to close again; the preview stops.
    answers.clear();
    stops = 0;
    open();
    dialog->togglePreviewPlayback();
    dialog->windowWillClose();
    EXPECT_EQ(std::tuple(answers, closeRequests, stops), std::tuple(Answers{std::nullopt}, 2, 1));
}

TEST_F(LoopDialog, TheOpenerMayLetGoOfTheDialogAtAnyTime) {
    open();
    dialog->togglePreviewPlayback();
    dialog->onFinish = [this](std::optional<LoopExportOptions>) { dialog.reset(); };
    dialog->cancel();
    EXPECT_TRUE(dialog == nullptr && !players.lastPlayer()->alive);

    open();
    dialog->togglePreviewPlayback();
    dialog.reset();
    EXPECT_FALSE(players.lastPlayer()->alive);
    loop.advance(1);
}

}  // namespace
}  // namespace orvane::app
