// orvane-cli and MIDI 2.0 Clips: convert (native packets written back byte for byte), split
// and merge with --format midi2 and their reports, info's import report, songs the clip
// cannot carry, System Exclusive messages, and the debug markers kept off standard output.

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>

#include "CLITestSupport.h"
#include "midi/MIDI2TestSupport.h"
#include "midi/SMFBytes.h"

namespace {

namespace fs = std::filesystem;
namespace smf = orvane::midi::smf;
using orvane::midi::testing::ClipWords;
using Bytes = std::vector<std::uint8_t>;

using orvane::testing::CommandResult;

class MIDI2Command : public orvane::testing::CLITest {};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
void expectHasAll(const std::string& text, std::initializer_list<std::string> parts) {
    for (const std::string& part : parts) EXPECT_TRUE(has(text, part)) << part << " in\n" << text;
}

// Three tracks of MIDI 2.0 Channel Voice packets (piano on channel 1, bass on channel 2,
// drums), a tempo and a time signature, written in the order an export writes them.
ClipWords nativeClip() {
    ClipWords clip;
    clip.header(480)
        .dc(0).midi2(0, 0xC0, 0, 0x04000000)  // programs first
        .dc(0).midi2(0, 0xC1, 0, 0x21000000)
        .dc(0).timeSignature(3, 2, 8)  // then meta events: time signature, tempo
        .dc(0).tempo(60000000)
        .dc(0).midi2(0, 0xB0, 7, 0xC8000000)  // then controllers
        .dc(0).midi2(0, 0x90, 60, 0xC8140000)  // then everything else, track by track
        .dc(0).midi2(0, 0x91, 36, 0xA0000000)
        .dc(0).midi2(0, 0x99, 42, 0x80000000)
        .dc(240).midi2(0, 0xE0, 0, 0x80001234)
        .dc(0).midi2(0, 0x89, 42, 0)
        .dc(240).midi2(0, 0x80, 60, 0)
        .dc(0).midi2(0, 0x81, 36, 0x12340000)
        .dc(0).midi2(0, 0x99, 42, 0x80000000)
        .dc(480).midi2(0, 0x89, 42, 0)
        .footer();
    return clip;
}

// A song whose first track begins with a General MIDI reset.
Bytes songWithSystemExclusive() {
    return smf::file(1, {smf::join({smf::tempo(500000), {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, smf::program(0, 5),
                                    smf::noteOn(0, 60, 100), smf::noteOn(0, 60, 0, 0x60), smf::endOfTrack()}),
                         smf::join({smf::noteOn(1, 40, 90), smf::noteOn(1, 40, 0, 0x60), smf::endOfTrack()})});
}

TEST_F(MIDI2Command, ConvertWritesAnUneditedClipBackByteForByte) {
    const Bytes original = nativeClip().bytes();
    write("song.midi2", original);
    const CommandResult result = run("convert " + in("song.midi2") + " -o " + in("copy.midi2"));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(bytesOf(folder_ / "copy.midi2"), original);
    expectHasAll(result.out, {"Natively re-exported in this file: 12", "- 12 exact-match native MIDI 2.0 packet(s) re-exported",
                              "- Non-native or nonmatching editable events written as MIDI 1.0-resolution",
                              "Blocker categories: \n"});

    // Through a Standard MIDI File and back the notes stay, at MIDI 1.0 resolution.
    ASSERT_EQ(run("convert " + in("song.midi2") + " -o " + in("song.mid")).exitCode, 0);
    ASSERT_EQ(run("convert " + in("song.mid") + " -o " + in("again.midi2") + " --json").exitCode, 0);
    const CommandResult info = run("info " + in("again.midi2") + " --json");
    ASSERT_EQ(info.exitCode, 0) << info.err;
    expectHasAll(info.out, {"\"notes\":1,", "\"midi2ImportReport\":{\"oneLineStatus\":\"MIDI 2.0 Clip imported. 3 tracks, "});
}

TEST_F(MIDI2Command, EveryEditFallsBackToMIDI1PacketsWithItsBlockers) {
    write("song.midi2", nativeClip().bytes());
    const auto blockers = [&](const std::string& arguments) {
        const CommandResult result = run(arguments + " --json");
        EXPECT_EQ(result.exitCode, 0) << arguments << ": " << result.err;
        const auto start = result.out.find("Blocker categories: ");
        return start == std::string::npos ? std::string("(no report)")
                                          : result.out.substr(start, result.out.find("\\n", start) - start);
    };
    EXPECT_EQ(blockers("merge " + in("song.midi2") + " -o " + in("merged.midi2") + " --format midi2"),
              "Blocker categories: mixer settings active");
    EXPECT_EQ(blockers("split " + in("song.midi2") + " -o " + in("split") + " --format midi2 --tracks 1 --transpose 2"),
              "Blocker categories: transpose active, edited or nonmatching events");
    EXPECT_EQ(blockers("split " + in("song.midi2") + " -o " + in("tempo") + " --format midi2 --tracks 2 --tempo 90"),
              "Blocker categories: tempo override active");
    EXPECT_EQ(
        blockers("merge " + in("song.midi2") + " -o " + in("loop.midi2") + " --format midi2 --loop 0 0.5 --repeat 2"),
        "Blocker categories: unsupported operation, loop timing rewrite, effective-start state required, "
        "loop repeat required, mixer settings active");
    // An unedited split of one track writes that track's packets back.
    EXPECT_EQ(blockers("split " + in("song.midi2") + " -o " + in("plain") + " --format midi2 --tracks 2"),
              "Blocker categories: ");
    const Bytes merged = bytesOf(folder_ / "merged.midi2");
    const Bytes nativeNote = {0x40, 0x90, 0x3C, 0x00, 0xC8, 0x14, 0x00, 0x00};
    EXPECT_EQ(std::search(merged.begin(), merged.end(), nativeNote.begin(), nativeNote.end()), merged.end());
}

TEST_F(MIDI2Command, SplitAndMergeWriteClipsWithTheirReports) {
    write("song.mid", songWithSystemExclusive());
    const CommandResult split = run("split " + in("song.mid") + " -o " + in("parts") + " --format midi2 --json");
    ASSERT_EQ(split.exitCode, 0) << split.err;
    expectHasAll(split.out, {".midi2\",\"track\":1,", "\"report\":{\"oneLineStatus\":\"MIDI 2.0 export report ready. 1 track, ",
                             "1 System Exclusive message(s) as UMP SysEx7 Data packets"});
    const auto parts = orvane::testing::fileNames(folder_ / "parts");
    EXPECT_EQ(parts.size(), 2u);
    EXPECT_TRUE(parts[0].ends_with(".midi2"));

    const CommandResult merge = run("merge " + in("song.mid") + " -o " + in("both.midi2") + " --format midi2");
    ASSERT_EQ(merge.exitCode, 0) << merge.err;
    expectHasAll(merge.out, {"MIDI 2.0 Export Report\nMIDI 2.0 export report ready. 2 tracks, ", "File: both.midi2\n",
                             "Unsupported/skipped packets: 0\n"});
}

TEST_F(MIDI2Command, InfoPrintsTheImportReport) {
    write("song.midi2", nativeClip().bytes());
    const CommandResult text = run("info " + in("song.midi2"));
    ASSERT_EQ(text.exitCode, 0) << text.err;
    expectHasAll(text.out, {"MIDI 2.0 Import Report\nMIDI 2.0 Clip imported. 3 tracks, 34 UMP packets.\nFile: song.midi2\n",
                            "- Stored as native UMP preservation candidates: 12\n"});
    const CommandResult json = run("info " + in("song.midi2") + " --json");
    EXPECT_TRUE(has(json.out,
                    "\"midi2ImportReport\":{\"oneLineStatus\":\"MIDI 2.0 Clip imported. 3 tracks, 34 UMP "
                    "packets.\",\"detailText\":\"File: song.midi2\\nFile type: "));
}

TEST_F(MIDI2Command, SongsTimedInSMPTEFramesAreNotWrittenAsClips) {
    write("smpte.mid",
          smf::file(1, {smf::join({smf::noteOn(0, 60, 100), smf::noteOn(0, 60, 0, 0x28), smf::endOfTrack()})}, 0xE728));
    EXPECT_EQ(run("convert " + in("smpte.mid") + " -o " + in("smpte.txt")).exitCode, 2);
    // A data byte a clip cannot carry (the reader keeps it as read) is found while the clip is
    // being written: nothing is left at the target.
    write("loud.mid", smf::file(1, {{0x00, 0x90, 60, 100, 0x00, 0xB0, 7, 0xFF, 0x10, 0x80, 60, 0}}));
    for (const std::string name : {"smpte", "loud"}) {
        const CommandResult result = run("convert " + in(name + ".mid") + " -o " + in(name + ".midi2"));
        EXPECT_EQ(result.exitCode, 1) << name;
        EXPECT_TRUE(has(result.err, "❌ Failed to generate MIDI 2.0 export.")) << name;
        EXPECT_FALSE(fs::exists(folder_ / (name + ".midi2")));
    }

    // A clip that cannot be written where it should go is reported, and the folder there stays.
    write("song.mid", songWithSystemExclusive());
    fs::create_directories(folder_ / "taken.midi2" / "inside");
    const CommandResult taken = run("convert " + in("song.mid") + " -o " + in("taken.midi2") + " --force");
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_TRUE(has(taken.err, "❌ Failed to write " + (folder_ / "taken.midi2").string() + "."));
    EXPECT_TRUE(fs::is_directory(folder_ / "taken.midi2" / "inside"));
}

TEST_F(MIDI2Command, MarkersStayOffStandardOutput) {
    write("song.midi2", nativeClip().bytes());
    for (const std::string markers : {"", "0"}) {
        const CommandResult off = run("info " + in("song.midi2"), markers);
        EXPECT_FALSE(has(off.out + off.err, "[MIDI2]")) << markers;
    }
    const CommandResult on = run("convert " + in("song.midi2") + " -o " + in("copy.midi2"), "1");
    ASSERT_EQ(on.exitCode, 0);
    EXPECT_FALSE(has(on.out, "[MIDI2]"));
    expectHasAll(on.err, {"[MIDI2] SMF2_IMPORT_BEGIN | bytes=", "[MIDI2] SMF2_NATIVE_REPLACE_OK | source=merged nativeReplaced=12\n"});
}

}  // namespace
