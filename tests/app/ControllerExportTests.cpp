// Split and merge as the user meets them: the prompts, the file names, replacing files, the
// background write, the completion texts and the MIDI 2.0 reports.

#include <sys/resource.h>

#include <csignal>

#include "app/ControllerHarness.h"

namespace orvane::app::testing {
namespace {

bool readsBack(const std::filesystem::path& path) {
    midi::MIDIFile song;
    return song.parse(readBytes(path)) && !song.musicalTracks().empty();
}

TEST(ControllerExport, SplittingEveryTrackWritesNamedFilesAndReports) {
    ScratchFolder folder;
    ControllerHarness h(demoSong());
    h.split({0}, folder.path());
    EXPECT_EQ(h.modal.alerts.size(), 1u);  // the format
    EXPECT_EQ(h.modal.folders, (std::vector<FolderRequest>{
                                   {"Choose output folder", "Split All Here", demoSong().parent_path()}}));
    EXPECT_EQ(fileNames(folder.path()), (std::vector<std::string>{"Bass_Finger Bass.mid", "Chords_Electric Piano 1.mid",
                                                                  "Drums_Drums - Standard Kit.mid", "Melody_Flute.mid",
                                                                  "Pad_Warm Pad.mid"}));
    EXPECT_EQ(h.view().status,
              (StatusLine{"Exported 5 tracks → " + folder.path().filename().string(), ColorRole::green}));
    EXPECT_EQ(h.modal.revealed, std::vector<std::filesystem::path>{folder.path()});
    EXPECT_TRUE(h.view().controls.splitEnabled);

    // Cancelling any prompt writes nothing and frees the flow.
    h.split({2}, folder / "never");
    EXPECT_EQ(h.modal.folders.size(), 1u);
    h.split({0}, std::nullopt);
    EXPECT_EQ(fileNames(folder.path()).size(), 5u);
    EXPECT_FALSE(h->isWaitingForUser());
}

TEST(ControllerExport, ReplacingAsksFirstAndAFailedWriteKeepsTheOldFile) {
    ScratchFolder folder;
    ControllerHarness h(demoSong());
    h->checkboxToggled(3, true);  // Melody only
    const std::vector<std::uint8_t> old{'o', 'l', 'd'};
    writeBytes(folder / "Melody_Flute.mid", old);

    h.split({0, 1}, folder.path());  // MIDI 1.0, then Cancel at the replace prompt
    ASSERT_EQ(h.modal.alerts.size(), 2u);
    EXPECT_EQ(h.modal.alerts[1].title + "|" + h.modal.alerts[1].informativeText,
              "Replace existing files?|1 file(s) already exist:\n\nMelody_Flute.mid");
    EXPECT_EQ(readBytes(folder / "Melody_Flute.mid"), old);

    // Replacing, but the disk refuses the new bytes part of the way (a file size limit): the
    // user's file is still whole, and the failure is reported.
    h.modal.alertAnswers = {0, 0};
    h.modal.folderAnswers = {folder.path()};
    h->splitTracks();
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limited{64, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    h.settle();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(h.view().status, (StatusLine{"⚠️  1 file(s) failed.", ColorRole::orange}));
    EXPECT_EQ(readBytes(folder / "Melody_Flute.mid"), old);
    EXPECT_EQ(fileNames(folder.path()), std::vector<std::string>{"Melody_Flute.mid"});  // no temporary file left
    EXPECT_TRUE(h.modal.revealed.empty());
}

TEST(ControllerExport, TheReplacePromptListsSixNamesAndCountsTheRest) {
    ScratchFolder folder;
    ControllerHarness h(steadySong(folder.path(), 4, 7));
    for (const auto& name : splitFileNames(*h->midiFile(), std::vector<int>{0, 1, 2, 3, 4, 5, 6}, std::nullopt,
                                           midi::MIDIExportFormat::standardMIDI)) {
        writeBytes(folder / name, {1});
    }
    h.split({0, 0}, folder.path());
    ASSERT_EQ(h.modal.alerts.size(), 2u);
    const std::string& text = h.modal.alerts[1].informativeText;
    EXPECT_TRUE(text.starts_with("7 file(s) already exist:\n\n") && text.ends_with("\n…and 1 more."));
    EXPECT_EQ(std::ranges::count(text, '\n'), 2 + 5 + 1);
    EXPECT_EQ(h.view().status.text, "Exported 7 tracks → " + folder.path().filename().string());
}

TEST(ControllerExport, ASecondSplitWaitsForTheFirstToFinishWriting) {
    ScratchFolder folder;
    ControllerHarness h(demoSong());
    h.modal.alertAnswers = {0};
    h->splitTracks();
    h.settle();
    // The folder is chosen now: the files are handed to the background, not yet written.
    ASSERT_EQ(h.modal.pendingFolderAnswers.size(), 1u);
    h.modal.pendingFolderAnswers.front()(folder.path());
    ASSERT_TRUE(h->isExportInProgress());
    EXPECT_FALSE(h.view().controls.splitEnabled);
    h->splitTracks();
    EXPECT_EQ(h.modal.alerts.size(), 1u);
    h.settle();
    EXPECT_TRUE(!h->isExportInProgress() && h.view().controls.splitEnabled);
}

TEST(ControllerExport, MIDI2SplitShowsOneReportPerFileOrTheirSum) {
    ScratchFolder folder;
    ControllerHarness h(demoSong());
    h.split({1}, folder.path());
    ASSERT_EQ(h.modal.alerts.size(), 2u);
    const std::string& report = h.modal.alerts[1].informativeText;
    EXPECT_EQ(h.modal.alerts[1].title, "MIDI 2.0 Export Report");
    EXPECT_TRUE(report.starts_with("Files: 5\nTracks represented: 5\nUMP packets: ") &&
                report.find("\nFiles:\n- Drums_Drums - Standard Kit.midi2: 1 track, ") != std::string::npos &&
                report.find("no MIDI 2.0 compatibility issues") != std::string::npos)
        << report;
    EXPECT_EQ(fileNames(folder.path()).size(), 5u);

    // One file: its own report.
    h->checkboxToggled(0, true);
    h.split({1, 0}, folder.path());  // MIDI 2.0, Replace
    ASSERT_EQ(h.modal.alerts.size(), 5u);
    EXPECT_EQ(h.modal.alerts[3].title + "|" + h.modal.alerts[4].title, "Replace existing files?|MIDI 2.0 Export Report");
    EXPECT_FALSE(h.modal.alerts[4].informativeText.starts_with("Files:"));
    EXPECT_EQ(h.view().status.text, "Exported 1 track → " + folder.path().filename().string());
}

TEST(ControllerExport, MergeSuggestsACleanNameAndWritesWhereTheUserSaid) {
    ScratchFolder folder;
    ControllerHarness h(demoSong());
    h->commitSongName("Live A/B: take*2");
    h.merge({0}, folder / "mix.mid");
    EXPECT_EQ(h.modal.savePanels, (std::vector<SavePanelRequest>{
                                      {"Live A-B- take-2_merged.mid", "mid", demoSong().parent_path()}}));
    EXPECT_TRUE(readsBack(folder / "mix.mid"));
    EXPECT_EQ(h.view().status, (StatusLine{"Merged 5 tracks → mix.mid", ColorRole::green}));
    EXPECT_EQ(h.modal.revealed.back(), folder / "mix.mid");

    // One ticked row counts as fewer than two: every track is merged.
    h->checkboxToggled(2, true);
    EXPECT_EQ(h.view().controls.mergeTitle, "Merge All…");  // two: "Merge 2…" (tests/ui)
}

TEST(ControllerExport, MergeRefusalsAndLoopMerges) {
    ScratchFolder folder;
    ControllerHarness h(steadySong(folder.path(), 4, 1, "solo.mid"));
    h->mergeAction();
    EXPECT_EQ(h.view().status, (StatusLine{"⚠️  Need at least 2 tracks to merge.", ColorRole::orange}));
    EXPECT_FALSE(h.view().controls.mergeEnabled);

    h->loadMIDI(demoSong());
    h->loopAction(true);
    h->checkboxToggled(1, true);
    EXPECT_FALSE(h.view().controls.mergeEnabled);
    h->mergeAction();
    EXPECT_EQ(h.view().status.text, "⚠️  Select at least 2 tracks to merge a loop.");
    h->checkboxToggled(1, false);

    h.modal.loopDialogScript = [](LoopExportDialog& dialog) {
        dialog.repeatFieldChanged("8");
        dialog.confirm();
    };
    h.merge({0}, folder / "loop.mid");
    EXPECT_EQ(h.modal.savePanels.at(0).suggestedName, "demo_loopx8_merged.mid");
    EXPECT_TRUE(readsBack(folder / "loop.mid"));
}

TEST(ControllerExport, SplitLoopUsesTheRangeTheDialogAccepted) {
    ScratchFolder folder;
    ControllerHarness h(steadySong(folder.path(), 40));
    h->playAction();
    h->loopAction(true);  // 5...35 s, snapped to bars: 6...36 s
    h.modal.loopDialogScript = [](LoopExportDialog& dialog) {
        dialog.moveMarker(LoopMarker::end, 20.2);
        dialog.repeatFieldChanged("4");
        dialog.confirm();
    };
    std::filesystem::create_directory(folder / "loops");
    h.split({0}, folder / "loops");
    EXPECT_EQ(h->transportState().kind, TransportState::Kind::idle);  // the dialog previews on its own
    const auto written = fileNames(folder / "loops");
    EXPECT_TRUE(written.size() == 2 && written[0].ends_with("_loopx4.mid")) << written.size();
    const double length = h->loopDuration(std::nullopt);
    EXPECT_NEAR(h->loopEndFraction() * length, h.modal.loopDialog->state().loopEndSeconds, 1e-9);
    EXPECT_LT(h->loopEndFraction() * length, 21);
}

}  // namespace
}  // namespace orvane::app::testing
