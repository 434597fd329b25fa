// orvane-cli split and merge: names, selections, messages, exit codes, refusing to replace
// files, failed writes, and interrupted runs.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "CLITestSupport.h"
#include "midi/model/MIDIFile.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using orvane::midi::Bytes;
using orvane::midi::EventList;
using orvane::midi::MIDIEvent;
using orvane::midi::MIDIFile;

using orvane::testing::CommandResult;
using orvane::testing::readText;
using orvane::testing::fileNames;

// A song of `tracks` tracks named Lead 1, Lead 2, ... on channels 0, 1, ..., with a tempo
// track first, written by our own writer.
Bytes songBytes(int tracks, std::uint32_t notesPerTrack, const std::vector<std::string>& names = {}) {
    MIDIFile writer;
    writer.timeDivision = 480;
    Bytes file = writer.header(1, tracks + 1);
    MIDIFile::appendTrackChunk(file, EventList{MIDIEvent(0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20})});
    for (int t = 0; t < tracks; ++t) {
        const std::string name = t < static_cast<int>(names.size()) ? names[static_cast<std::size_t>(t)] : "Lead " + std::to_string(t + 1);
        Bytes nameBytes = {0xFF, 0x03, static_cast<std::uint8_t>(name.size())};
        nameBytes.insert(nameBytes.end(), name.begin(), name.end());
        EventList events{MIDIEvent(0, nameBytes), MIDIEvent(0, {static_cast<std::uint8_t>(0xC0 | t), 0})};
        for (std::uint32_t n = 0; n < notesPerTrack; ++n) {
            const auto key = static_cast<std::uint8_t>(40 + n % 40);
            events.push_back(MIDIEvent(n * 120, {static_cast<std::uint8_t>(0x90 | t), key, 90}));
            events.push_back(MIDIEvent(n * 120 + 100, {static_cast<std::uint8_t>(0x80 | t), key, 0}));
        }
        MIDIFile::appendTrackChunk(file, events);
    }
    return file;
}

class ExportCommand : public orvane::testing::CLITest {};

TEST_F(ExportCommand, SplitWritesChosenTracksUnderTheirNamesAndReportsThem) {
    const fs::path song = write("song.mid", songBytes(3, 4, {"Lead/Vox?", "Piano", "piano"}));
    const fs::path out = folder_ / "out";
    const CommandResult all = run("split " + quoted(song) + " -o " + quoted(out));
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(fileNames(out), (std::vector<std::string>{"Lead-Vox-_Acoustic Grand Piano.mid",
                                                    "Piano_Acoustic Grand Piano_Ch2.mid",
                                                    "piano_Acoustic Grand Piano_Ch3.mid"}));
    EXPECT_NE(all.out.find("Wrote " + (out / "Piano_Acoustic Grand Piano_Ch2.mid").string() + " ("), std::string::npos);

    const fs::path loops = folder_ / "loops";
    const CommandResult some =
        run("split " + quoted(song) + " -o " + quoted(loops) + " --tracks 3,1 --loop 0 0.2 --repeat 4 --json");
    EXPECT_EQ(some.exitCode, 0) << some.err;
    const fs::path first = loops / "Lead-Vox-_Acoustic Grand Piano_loopx4.mid";
    const fs::path second = loops / "piano_Acoustic Grand Piano_loopx4.mid";
    EXPECT_EQ(some.out, "[{\"file\":\"" + first.string() + "\",\"track\":1,\"bytes\":" +
                            std::to_string(fs::file_size(first)) + "},{\"file\":\"" + second.string() +
                            "\",\"track\":3,\"bytes\":" + std::to_string(fs::file_size(second)) + "}]\n");
}

TEST_F(ExportCommand, ExistingFilesAreListedAndKeptUnlessForced) {
    const fs::path song = write("song.mid", songBytes(2, 4));
    const fs::path out = folder_ / "out";
    ASSERT_EQ(run("split " + quoted(song) + " -o " + quoted(out)).exitCode, 0);
    const fs::path kept = out / "Lead 1_Acoustic Grand Piano.mid";
    std::ofstream(kept) << "mine";

    const CommandResult refused = run("split " + quoted(song) + " -o " + quoted(out));
    EXPECT_EQ(std::tuple(refused.exitCode, refused.out), std::tuple(3, ""));
    EXPECT_NE(refused.err.find(kept.string()), std::string::npos);
    EXPECT_NE(refused.err.find("Lead 2_Acoustic Grand Piano.mid"), std::string::npos);
    EXPECT_EQ(readText(kept), "mine");

    const fs::path merged = folder_ / "merged.mid";
    std::ofstream(merged) << "mine too";
    EXPECT_EQ(run("merge " + quoted(song) + " -o " + quoted(merged)).exitCode, 3);
    EXPECT_EQ(readText(merged), "mine too");

    EXPECT_EQ(run("split " + quoted(song) + " -o " + quoted(out) + " --force").exitCode, 0);
    EXPECT_EQ(readText(kept).substr(0, 4), "MThd");
    const CommandResult forced = run("merge " + quoted(song) + " -o " + quoted(merged) + " --force --json");
    EXPECT_EQ(forced.exitCode, 0);
    EXPECT_EQ(forced.out, "[{\"file\":\"" + merged.string() + "\",\"track\":[1,2],\"bytes\":" +
                              std::to_string(fs::file_size(merged)) + "}]\n");
}

TEST_F(ExportCommand, MergeNeedsTwoTracksAndALoopNeedsTwoChosen) {
    const fs::path song = write("song.mid", songBytes(3, 4));
    const fs::path merged = folder_ / "m.mid";
    const CommandResult loopOfOne = run("merge " + quoted(song) + " -o " + quoted(merged) + " --tracks 2 --loop 0 1");
    EXPECT_EQ(std::tuple(loopOfOne.exitCode, loopOfOne.err), std::tuple(2, "⚠️  Select at least 2 tracks to merge a loop.\n"));
    // Outside loop mode one chosen track means every track.
    const CommandResult one = run("merge " + quoted(song) + " -o " + quoted(merged) + " --tracks 2 --json");
    EXPECT_EQ(one.exitCode, 0);
    EXPECT_NE(one.out.find("\"track\":[1,2,3]"), std::string::npos);

    const fs::path single = write("single.mid", songBytes(1, 4));
    const CommandResult alone = run("merge " + quoted(single) + " -o " + quoted(folder_ / "x.mid"));
    EXPECT_EQ(std::tuple(alone.exitCode, alone.err), std::tuple(2, "⚠️  Need at least 2 tracks to merge.\n"));
    EXPECT_FALSE(fs::exists(folder_ / "x.mid"));
}

TEST_F(ExportCommand, EditsAreClampedWithTheApplicationsWarnings) {
    const fs::path song = write("song.mid", songBytes(2, 4));
    const CommandResult clamped =
        run("merge " + quoted(song) + " -o " + quoted(folder_ / "m.mid") + " --transpose -20 --tempo 5");
    EXPECT_EQ(std::tuple(clamped.exitCode, clamped.err),
              std::tuple(0, "⚠️  Pitch offset is limited to ±12 semitones (one octave).\n"
                            "⚠️  Tempo is limited to 10.000–300.000 BPM. Applied 10 BPM.\n"));
    MIDIFile merged;
    ASSERT_TRUE(merged.parse(bytesOf(folder_ / "m.mid")));
    EXPECT_NEAR(merged.bpm, 10.0, 1e-3);
    const auto& notes = merged.musicalTracks()[0].events;
    const auto firstNote = std::find_if(notes.begin(), notes.end(), [](const MIDIEvent& e) { return e.isNoteOn(); });
    ASSERT_NE(firstNote, notes.end());
    EXPECT_EQ((*firstNote)[1], 40 - 12);
}

TEST_F(ExportCommand, RejectsBadOptions) {
    const fs::path song = write("song.mid", songBytes(2, 4));
    const std::string base = "split " + quoted(song) + " -o " + quoted(folder_ / "o");
    for (const char* bad : {" --format wav", " --loop 0 1 --repeat 0", " --loop 0 1 --repeat 1000", " --repeat 3",
                            " --tracks 3", " --transpose 1.5", " --tempo fast"}) {
        EXPECT_EQ(run(base + bad).exitCode, 2) << bad;
    }
    EXPECT_EQ(run("split " + quoted(song)).exitCode, 2);
    EXPECT_EQ(run("split " + quoted(folder_ / "missing.mid") + " -o " + quoted(folder_)).exitCode, 1);
    EXPECT_FALSE(fs::exists(folder_ / "o"));
}

TEST_F(ExportCommand, AFailedWriteKeepsTheOldFileAndIsReported) {
    const fs::path song = write("song.mid", songBytes(2, 4));
    // A folder where the merged file should go cannot be replaced.
    const fs::path taken = folder_ / "taken.mid";
    fs::create_directories(taken / "inside");
    const CommandResult merge = run("merge " + quoted(song) + " -o " + quoted(taken) + " --force");
    EXPECT_EQ(merge.exitCode, 1);
    EXPECT_NE(merge.err.find("❌ Failed to write merged file."), std::string::npos);
    EXPECT_TRUE(fs::is_directory(taken / "inside"));

    // Split goes on with the other files and counts the failure.
    const fs::path out = folder_ / "out";
    fs::create_directories(out / "Lead 1_Acoustic Grand Piano.mid");
    const CommandResult split = run("split " + quoted(song) + " -o " + quoted(out) + " --force");
    EXPECT_EQ(split.exitCode, 1);
    EXPECT_NE(split.err.find("⚠️  1 file(s) failed."), std::string::npos);
    EXPECT_EQ(fileNames(out), (std::vector<std::string>{"Lead 1_Acoustic Grand Piano.mid", "Lead 2_Acoustic Grand Piano.mid"}));
    EXPECT_TRUE(fs::is_directory(out / "Lead 1_Acoustic Grand Piano.mid"));
}

// However early a split is killed, every file in the folder is either the old one or a
// complete new one, and no temporary file is left behind.
TEST_F(ExportCommand, KillingASplitNeverLeavesATruncatedFile) {
    const fs::path song = write("big.mid", songBytes(16, 40000));
    const fs::path reference = folder_ / "reference";
    ASSERT_EQ(run("split " + quoted(song) + " -o " + quoted(reference)).exitCode, 0);
    std::map<std::string, std::string> complete;
    for (const auto& name : fileNames(reference)) complete[name] = readText(reference / name);
    ASSERT_EQ(complete.size(), 16u);

    const fs::path out = folder_ / "out";
    fs::create_directories(out);
    const std::string songPath = song.string(), outPath = out.string();
    for (int attempt = 0; attempt < 12; ++attempt) {
        for (const auto& [name, bytes] : complete) std::ofstream(out / name) << "old";
        const char* argv[] = {ORVANE_CLI_PATH, "split", songPath.c_str(), "-o", outPath.c_str(), "--force", nullptr};
        pid_t child = 0;
        ASSERT_EQ(::posix_spawn(&child, ORVANE_CLI_PATH, nullptr, nullptr, const_cast<char**>(argv), environ), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 40 * attempt));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        for (const auto& name : fileNames(out)) {
            SCOPED_TRACE(name);
            ASSERT_EQ(complete.count(name), 1u) << "a file that is not an output";
            const std::string bytes = readText(out / name);
            EXPECT_TRUE(bytes == "old" || bytes == complete[name]);
        }
    }
}

}  // namespace
