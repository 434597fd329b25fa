// Loading: the status line after loading, failed loads, drops, clearing and files handed over
// at launch. What a loaded song shows is checked through the window (tests/ui) and the CLI's
// info (tests/cli).

#include <sys/stat.h>

#include "app/AppShell.h"
#include "app/ControllerHarness.h"
#include "midi/SMFBytes.h"

namespace orvane::app::testing {
namespace {

namespace smf = midi::smf;

smf::Bytes noteBody(std::initializer_list<std::uint8_t> channels) {
    smf::Bytes body;
    for (const auto channel : channels) smf::append(body, smf::noteOn(channel, 60, 100));
    for (const auto channel : channels) smf::append(body, smf::noteOn(channel, 60, 0, 96));
    smf::append(body, smf::endOfTrack());
    return body;
}

TEST(ControllerDocument, StatusAfterLoadingFollowsItsPrecedence) {
    ScratchFolder folder;
    ControllerHarness h(demoClip(folder.path()));
    h.settle();
    ASSERT_EQ(h.modal.alerts.size(), 1u);
    EXPECT_EQ(h.modal.alerts[0].title, "MIDI 2.0 Import Report");
    EXPECT_TRUE(h.modal.alerts[0].informativeText.find("demo.midi2") != std::string::npos);
    EXPECT_TRUE(h.view().status.color == ColorRole::blue && !h.view().status.text.empty());

    writeBytes(folder / "smpte.mid", smf::file(1, {noteBody({0})}, 0xE728));
    h->loadMIDI(folder / "smpte.mid");
    EXPECT_EQ(h.view().status,
              (StatusLine{"⚠️  SMPTE timing detected — playback timing may be inaccurate.", ColorRole::orange}));

    writeBytes(folder / "two.mid", smf::file(0, {noteBody({0, 9})}));
    h->loadMIDI(folder / "two.mid");
    EXPECT_EQ(h.view().status, (StatusLine{"ℹ️  Format 0 file — exploded into 2 channel tracks.", ColorRole::blue}));
    h.advance(3.9);
    EXPECT_FALSE(h.view().status.text.empty());
    h.advance(0.2);
    EXPECT_EQ(h.view().status, (StatusLine{"", ColorRole::secondaryLabel}));

    writeBytes(folder / "three.mid", smf::file(0, {noteBody({0, 1, 2})}));
    h->loadMIDI(folder / "three.mid");
    EXPECT_EQ(h.view().status.text, "ℹ️  Format 0 file — exploded into 3 channel tracks.");
    // The clearing of an earlier document does not clear the next one's message.
    h->loadMIDI(folder / "two.mid");
    h.advance(3.0);
    h->loadMIDI(folder / "three.mid");
    h.advance(1.5);
    EXPECT_EQ(h.view().status.text, "ℹ️  Format 0 file — exploded into 3 channel tracks.");
}

TEST(ControllerDocument, AFailedLoadResetsTheEditsAndShowsWhatStillApplies) {
    ScratchFolder folder;
    ControllerHarness h(demoSong());
    h->applyTransposeOffset(5);
    h->applyTempo(140);
    h->loopAction(true);
    h.settle();
    ASSERT_EQ(h.view().dropZone.info, "♩140  4/4  D minor");

    h->loadMIDI(folder / "missing.mid");
    h.settle();
    EXPECT_EQ(h.view().status, (StatusLine{"❌ Could not read file.", ColorRole::red}));
    EXPECT_TRUE(h->transposeOffset() == 0 && !h->overrideBPM() && !h->loopModeEnabled());
    // The old song stays, and every display shows it without the dropped edits.
    ASSERT_NE(h->midiFile(), nullptr);
    EXPECT_EQ(h.sink.shown.controls.transposeText + " " + h.sink.shown.dropZone.info, "0 ♩96  4/4  A minor");
    EXPECT_FALSE(h.sink.shown.timeline.loopEnabled || h.sink.shown.transport.loopOn);
    EXPECT_TRUE(h->inputURL() == demoSong() && h->fullSongMIDIData());  // exports start beside the song shown

    writeBytes(folder / "junk.mid", {'n', 'o', 't', ' ', 'M', 'I', 'D', 'I'});
    h->loadMIDI(folder / "junk.mid");
    EXPECT_EQ(h.view().status, (StatusLine{"❌ Not a valid MIDI file.", ColorRole::red}));
}

TEST(ControllerDocument, OnlyRegularFilesAreReadAndAFIFONeverBlocks) {
    ScratchFolder folder;
    ControllerHarness h;
    ASSERT_EQ(::mkfifo((folder / "pipe.mid").c_str(), 0600), 0);
    std::filesystem::create_directory(folder / "folder.mid");
    for (const char* name : {"pipe.mid", "folder.mid"}) {
        h->loadMIDI(folder / name);
        EXPECT_EQ(h.view().status.text, "❌ Could not read file.") << name;
    }
    EXPECT_EQ(h->midiFile(), nullptr);
}

TEST(ControllerDocument, DropsAreSortedByExtensionInAnyLetterCase) {
    ScratchFolder folder;
    ControllerHarness h;
    std::filesystem::copy_file(demoSong(), folder / "SONG.MID");
    EXPECT_TRUE(h->dropFile(folder / "SONG.MID"));
    EXPECT_EQ(h->trackRows().size(), 5u);

    EXPECT_FALSE(h->dropFile(folder / "notes.txt"));
    EXPECT_EQ(std::pair(h.modal.alerts.size(), h->trackRows().size()), std::pair(std::size_t{1}, std::size_t{5}));

    EXPECT_TRUE(h->dropFile(folder / "Take.WAV"));
    ASSERT_NE(h.modal.beatDetection, nullptr);
    EXPECT_TRUE(h.modal.beatDetection->canApplyTempo());
    // A new song closes the window.
    h->loadMIDI(demoSong());
    EXPECT_TRUE(h.modal.beatDetection->cleanupCompleted() && h->beatDetection() == nullptr);
}

TEST(ControllerDocument, ClearingReturnsToTheEmptyWindow) {
    ControllerHarness h(demoSong());
    h->checkboxToggled(1, true);
    h->playAction();
    h->clearFile();
    h.settle();
    const MainViewState& shown = h.sink.shown;
    EXPECT_EQ(shown.dropZone, DropZoneState{});
    EXPECT_TRUE(shown.table.rows.empty() && h->midiFile() == nullptr);
    EXPECT_FALSE(shown.transport.enabled || shown.controls.splitEnabled || shown.controls.mergeEnabled);
    EXPECT_FALSE(h.players.lastPlayer()->alive);
}

TEST(ControllerDocument, TheOpenPanelLoadsTheChosenFileAndRefusesASecondPanel) {
    ControllerHarness h;
    h->browseForFile();
    h->browseForFile();
    EXPECT_EQ(h.modal.openPanels.size(), 1u);
    EXPECT_EQ(h.modal.openPanels[0].extensions, midiExtensions);
    h.modal.openAnswers.push_back(demoSong());
    h.modal.dismissOldest();  // the first panel is cancelled
    h->browseForFile();
    h.settle();
    EXPECT_EQ(std::pair(h.modal.openPanels.size(), h->trackRows().size()), std::pair(std::size_t{2}, std::size_t{5}));
}

TEST(ControllerDocument, FilesHandedOverBeforeTheWindowLoadAfterLaunchFirstOnly) {
    ScratchFolder folder;
    const auto second = steadySong(folder.path(), 4);
    ControllerHarness h;
    AppShell shell;
    EXPECT_FALSE(shell.openLaunchFiles({}));
    EXPECT_TRUE(shell.openLaunchFiles({demoSong(), second}));
    EXPECT_TRUE(shell.pendingOpenURLs().size() == 2 && h->midiFile() == nullptr);
    shell.attach(h.controller);
    shell.openPendingLaunchFilesIfNeeded();
    EXPECT_TRUE(shell.pendingOpenURLs().empty() && h->inputURL() == demoSong());
    // Later requests load at once, the first file only.
    shell.openLaunchFiles({second, demoSong()});
    EXPECT_EQ(h->inputURL(), second);
}

}  // namespace
}  // namespace orvane::app::testing
