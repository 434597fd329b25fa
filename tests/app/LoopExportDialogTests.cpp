// The loop export dialog with a fake player on a manual run loop: markers, the preview's
// start, pause, resume and stop, the repeat count, and answers given exactly once.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "DiagnosticsCapture.h"
#include "app/LoopExportDialog.h"
#include "playback/FakeMIDIFilePlayer.h"
#include "playback/TestSongs.h"
#include "support/ManualRunLoop.h"

namespace orvane::app {
namespace {

using namespace playback::testing;

// 12 s at 120 BPM. Row 0 plays a note every whole second, row 1 holds one long note, row 2
// (left out of the preview) plays on the half seconds.
std::shared_ptr<const midi::MIDIFile> wholeSecondsSong() {
    EventList conductor = {endOfTrack(12)};
    EventList steps, drone, offbeats;
    addNotes(steps, 0, 60, 0, 12, 1.0, 1.0);
    drone = {noteOn(0, 1, 48), noteOff(12, 1, 48)};
    addNotes(offbeats, 2, 72, 0.5, 12, 1.0, 0.25);
    auto song = std::make_shared<midi::MIDIFile>();
    EXPECT_TRUE(song->parse(songBytes({conductor, steps, drone, offbeats})));
    return song;
}

class LoopDialog : public ::testing::Test {
protected:
    void open(double loopStart = 4, double loopEnd = 6, std::vector<bool> included = {true, true, false}) {
        LoopExportDialog::Settings settings;
        settings.midi = wholeSecondsSong();
        const auto tracks = settings.midi->musicalTracks();
        for (std::size_t row = 0; row < tracks.size(); ++row) {
            settings.previewTracks.push_back(
                {tracks[row], static_cast<int>(row), "Track " + std::to_string(row + 1), static_cast<int>(row),
                 included[row]});
        }
        settings.loopStart = loopStart;
        settings.loopEnd = loopEnd;
        settings.songDuration = 12;
        players.nextDuration = 2.0;  // one pass of the loop
        dialog = LoopExportDialog::create(loop, players.factory(), std::move(settings));
        dialog->onFinish = [this](std::optional<LoopExportOptions> answer) { answers.push_back(answer); };
        dialog->onPreviewProgress = [this](double seconds) { progress.push_back(seconds); };
        dialog->onPreviewStopped = [this] { ++stops; };
        dialog->onCloseRequested = [this] { ++closeRequests; };
        dialog->show();
    }

    testing::DiagnosticsCapture log;
    ManualRunLoop loop;
    playback::FakeMIDIFilePlayerFactory players{loop};
    std::shared_ptr<LoopExportDialog> dialog;
    std::vector<std::optional<LoopExportOptions>> answers;
    std::vector<double> progress;
    int stops = 0;
    int closeRequests = 0;
};

TEST_F(LoopDialog, ShowsTheLoopWithItsNeighbourhood) {
    open();
    const LoopExportDialogState& state = dialog->state();
    EXPECT_EQ(state.visibleStartSeconds, 3);
    EXPECT_EQ(state.visibleEndSeconds, 7);
    EXPECT_EQ(state.startText, "0:04.0");
    EXPECT_EQ(state.endText, "0:06.0");
    EXPECT_EQ(state.lengthText, "0:02.0");
    EXPECT_EQ(state.timeCounter, "0:00.0");
    EXPECT_EQ(state.playTitle, "▶");
    EXPECT_EQ(state.repeatText, "1");
    EXPECT_EQ(state.size, loopDialogSize(3));
    ASSERT_EQ(state.lanes.size(), 3u);
    EXPECT_EQ(state.lanes[0].notes.size(), 4u);
    EXPECT_EQ(state.lanes[1].notes, (std::vector<NoteBlock>{{3, 7, 48}}));
    EXPECT_FALSE(state.lanes[2].included);
    EXPECT_EQ(state.lanes[2].notes.size(), 4u);  // drawn in grey, but never a boundary
    EXPECT_EQ(dialog->includedRows(), (std::vector<int>{0, 1}));
    // A 1-bar loop: half-quarter cells across the window.
    EXPECT_EQ(state.gridCells.size(), 16u);
    // Boundaries 3, 4, 5, 6, 7 and the song's end.
    EXPECT_TRUE(log.contains("Show loop export prompt with editable event-block markers: range 4.000-6.000, "
                             "blockBoundaries=6"));
}

TEST_F(LoopDialog, MarkersSnapToBoundariesAndLogOncePerValue) {
    open();
    dialog->moveMarker(LoopMarker::end, 2.0);  // left of the start: one gap after it
    EXPECT_EQ(dialog->state().loopEndSeconds, 5);
    EXPECT_EQ(dialog->state().lengthText, "0:01.0");
    dialog->moveMarker(LoopMarker::end, 5.2);
    dialog->moveMarker(LoopMarker::start, 3.4);
    EXPECT_EQ(dialog->state().loopStartSeconds, 3);
    EXPECT_EQ(log.starting("Loop export "), (std::vector<std::string>{
        "Loop export end marker snapped: requested=2.000, snapped=5.000, source=visible event-block boundary, "
        "boundaries=6",
        "Loop export start marker snapped: requested=3.400, snapped=3.000, source=visible event-block boundary, "
        "boundaries=6",
    }));
    // Far right the song's end is the nearest boundary; the grid follows the loop length.
    dialog->moveMarker(LoopMarker::end, 11);
    EXPECT_EQ(dialog->state().loopEndSeconds, 12);
    EXPECT_EQ(dialog->state().gridCells.front().end - dialog->state().gridCells.front().start, 1.0);
    // Marker moves alone do not touch a preview that is not running.
    EXPECT_EQ(stops, 0);
    EXPECT_TRUE(log.starting("Stop loop export preview").empty());
}

TEST_F(LoopDialog, PreviewPlaysTheSectionAndMapsPositionsToSongTime) {
    open();
    dialog->togglePreviewPlayback();
    ASSERT_TRUE(dialog->isPreviewPlaying());
    const auto player = players.lastPlayer();
    ASSERT_TRUE(player);
    EXPECT_EQ(dialog->state().playTitle, "■");
    ASSERT_EQ(log.starting("Start loop export preview: ").size(), 1u);
    EXPECT_EQ(log.starting("Start loop export preview: ")[0],
              "Start loop export preview: rows=[1, 2], tracks=2, range=4.000-6.000, bytes=" +
                  std::to_string(player->data.size()));

    loop.advance(0.31);  // ticks every 30 ms; the last one at 0.3 s
    ASSERT_FALSE(progress.empty());
    EXPECT_NEAR(progress.back(), 4.3, 1e-9);
    EXPECT_EQ(dialog->state().playbackPositionSeconds, progress.back());
    EXPECT_EQ(dialog->state().timeCounter, "0:04.3");

    dialog->pausePreviewPlayback();
    EXPECT_TRUE(log.contains("Loop export preview paused at 0.31"));
    EXPECT_FALSE(dialog->isPreviewPlaying());
    EXPECT_TRUE(dialog->isPreviewPaused());
    EXPECT_EQ(dialog->state().playTitle, "▶");
    const std::size_t reportsWhilePaused = progress.size();
    loop.advance(1);
    EXPECT_EQ(progress.size(), reportsWhilePaused);

    dialog->togglePreviewPlayback();  // resumes where it paused
    EXPECT_TRUE(log.contains("Resume loop export preview at 0.31"));
    EXPECT_TRUE(dialog->isPreviewPlaying());
    EXPECT_EQ(players.players().size(), 1u);
    loop.advance(0.2);
    EXPECT_NEAR(progress.back(), 4.5, 0.03);

    // The section repeats: the position never leaves the loop.
    loop.advance(5);
    for (const double seconds : progress) {
        EXPECT_GE(seconds, 4);
        EXPECT_LE(seconds, 6);
    }
    EXPECT_TRUE(dialog->isPreviewPlaying());

    dialog->togglePreviewPlayback();  // stops
    EXPECT_FALSE(dialog->isPreviewPlaying());
    EXPECT_FALSE(player->alive);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(dialog->state().playbackPositionSeconds, std::nullopt);
    EXPECT_EQ(dialog->state().timeCounter, "0:00.0");
    EXPECT_TRUE(log.contains("Stop loop export preview; resetProgress=true"));
}

TEST_F(LoopDialog, MovingAMarkerStopsThePreviewButKeepsItsPosition) {
    open();
    dialog->togglePreviewPlayback();
    loop.advance(0.61);
    dialog->moveMarker(LoopMarker::start, 5.1);
    EXPECT_FALSE(dialog->isPreviewPlaying());
    EXPECT_FALSE(players.lastPlayer()->alive);
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(log.contains("Stop loop export preview; resetProgress=false"));
    EXPECT_NEAR(*dialog->state().playbackPositionSeconds, 4.6, 1e-9);

    // The next start plays the new section, offset by the new start.
    dialog->togglePreviewPlayback();
    loop.advance(0.31);
    EXPECT_NEAR(progress.back(), 5.3, 1e-9);
}

TEST_F(LoopDialog, PreviewRefusals) {
    // Markers in the wrong order.
    open(6, 6);
    dialog->togglePreviewPlayback();
    EXPECT_EQ(dialog->state().errorText, "Move the end marker after the start marker.");
    EXPECT_FALSE(dialog->isPreviewPlaying());
    EXPECT_EQ(players.creationAttempts(), 0);

    // Nothing included that plays a note.
    open(4, 6, {false, false, false});
    dialog->togglePreviewPlayback();
    EXPECT_EQ(dialog->state().errorText, "No MIDI notes are available for preview.");
    EXPECT_EQ(players.creationAttempts(), 0);

    // A player that cannot be made: the dialog does not claim to play.
    open();
    players.failNextCreation("no synthesizer");
    dialog->togglePreviewPlayback();
    EXPECT_FALSE(dialog->isPreviewPlaying());
    EXPECT_EQ(dialog->state().playTitle, "▶");
    dialog->pausePreviewPlayback();
    EXPECT_FALSE(dialog->isPreviewPaused());

    // A sliver of a loop is previewed as 50 ms.
    open(4, 4.01);
    dialog->togglePreviewPlayback();
    EXPECT_TRUE(dialog->isPreviewPlaying());
    EXPECT_NE(log.starting("Start loop export preview: ").back().find(", range=4.000-4.050, "), std::string::npos);
}

TEST_F(LoopDialog, RepeatCountIsCheckedBeforeTheAnswer) {
    open();
    dialog->repeatFieldChanged("12");
    EXPECT_EQ(dialog->state().repeatStepperValue, 12);
    dialog->repeatFieldChanged("abc");
    EXPECT_EQ(dialog->state().repeatStepperValue, 12);  // the stepper keeps the last valid count
    for (const char* refused : {"abc", "0", "1000"}) {
        dialog->repeatFieldChanged(refused);
        dialog->confirm();
        EXPECT_EQ(dialog->state().errorText, "Enter a repeat count from 1 to 999.") << refused;
    }
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(closeRequests, 0);

    dialog->repeatStepperChanged(0);
    EXPECT_EQ(dialog->state().repeatText, "1");
    dialog->repeatStepperChanged(5);
    EXPECT_EQ(dialog->state().repeatText, "5");
    dialog->repeatFieldChanged("999");
    dialog->moveMarker(LoopMarker::end, 7);
    dialog->confirm();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0], (LoopExportOptions{999, true, 4, 7}));
    EXPECT_EQ(closeRequests, 1);
    EXPECT_GE(stops, 1);
}

TEST_F(LoopDialog, EveryWayOutAnswersOnce) {
    open();
    dialog->togglePreviewPlayback();
    dialog->confirm();
    dialog->confirm();
    dialog->cancel();
    dialog->windowWillClose();
    dialog->close();
    EXPECT_EQ(answers, (std::vector<std::optional<LoopExportOptions>>{LoopExportOptions{1, true, 4, 6}}));
    EXPECT_EQ(closeRequests, 1);
    EXPECT_FALSE(players.lastPlayer()->alive);
    // A finished dialog ignores the window's remaining actions.
    dialog->togglePreviewPlayback();
    dialog->moveMarker(LoopMarker::start, 3);
    EXPECT_FALSE(dialog->isPreviewPlaying());
    EXPECT_EQ(dialog->state().loopStartSeconds, 4);

    // Cancel: nothing, and the window is asked to close.
    answers.clear();
    closeRequests = 0;
    open();
    dialog->cancel();
    EXPECT_EQ(answers, (std::vector<std::optional<LoopExportOptions>>{std::nullopt}));
    EXPECT_EQ(closeRequests, 1);

    // The window closed by itself: nothing, and no request to close again.
    answers.clear();
    closeRequests = 0;
    stops = 0;
    open();
    dialog->togglePreviewPlayback();
    dialog->windowWillClose();
    EXPECT_EQ(answers, (std::vector<std::optional<LoopExportOptions>>{std::nullopt}));
    EXPECT_EQ(closeRequests, 0);
    EXPECT_EQ(stops, 1);
    EXPECT_FALSE(players.lastPlayer()->alive);
}

TEST_F(LoopDialog, TheOpenerMayLetGoOfTheDialogInItsAnswer) {
    open();
    dialog->togglePreviewPlayback();
    const auto player = players.lastPlayer();
    dialog->onFinish = [this](std::optional<LoopExportOptions> answer) {
        answers.push_back(answer);
        dialog.reset();
    };
    dialog->cancel();
    EXPECT_EQ(dialog, nullptr);
    EXPECT_EQ(answers.size(), 1u);
    EXPECT_FALSE(player->alive);
    loop.advance(1);

    // Dropping an open dialog silences its preview.
    open();
    dialog->togglePreviewPlayback();
    dialog.reset();
    EXPECT_FALSE(players.lastPlayer()->alive);
    loop.advance(1);
}

}  // namespace
}  // namespace orvane::app
