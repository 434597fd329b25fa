// orvane-cli info on hand-built files: the exact JSON, the text form, and the exit codes.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "CLITestSupport.h"
#include "midi/SMFBytes.h"

namespace {

namespace fs = std::filesystem;
using orvane::midi::smf::Bytes;
using orvane::midi::smf::join;
namespace smf = orvane::midi::smf;

using orvane::testing::CommandResult;

class InfoCommand : public orvane::testing::CLITest {
protected:
    CommandResult info(const std::string& arguments) { return run("info " + arguments); }
};

// A Format 1 song whose first track mixes a tempo with notes, so the reader splits it.
Bytes sampleSong() {
    return smf::file(1, {join({smf::trackName("Keys"), smf::tempo(400000), {0x00, 0xFF, 0x59, 0x02, 0xFF, 0x00},
                               smf::program(1, 4), {0x00, 0xB1, 7, 99}, smf::noteOn(1, 60, 90),
                               smf::noteOn(1, 60, 0, 0x60), smf::endOfTrack()}),
                         join({smf::trackName("Kick"), smf::noteOn(9, 36, 101), smf::noteOn(9, 36, 0, 0x78),
                               smf::noteOn(9, 36, 100, 0x78), smf::endOfTrack()})},
                     96);
}

TEST_F(InfoCommand, PrintsTheSongAsJSON) {
    const fs::path path = write("song.mid", sampleSong());
    const CommandResult run = info("'" + path.string() + "' --json");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "Orvane: normalizing non-compliant Format 1 track 'Keys'\n");
    EXPECT_EQ(run.out,
              "{\"file\":\"" + path.string() +
                  "\",\"format\":1,\"timeDivision\":96,\"smpte\":false,\"explodedFromFormat0\":false,"
                  "\"importedFromMIDI2Clip\":false,\"trackCount\":3,\"tempoEventCount\":1,\"bpm\":150,"
                  "\"tempo\":\"150\",\"timeSignature\":\"4/4\",\"key\":\"F major\",\"durationSeconds\":1,"
                  "\"midi2ImportReport\":null,"
                  "\"tracks\":[{\"row\":1,\"name\":\"Keys\",\"channel\":1,\"instrument\":\"Electric Piano 1\","
                  "\"program\":4,\"drumNote\":null,\"events\":6,\"notes\":1,\"volume\":99,\"pan\":64,"
                  "\"velocity\":90,\"reverb\":0},{\"row\":2,\"name\":\"Kick\",\"channel\":9,"
                  "\"instrument\":\"Drums - Bass Drum 1\",\"program\":0,\"drumNote\":36,\"events\":5,\"notes\":2,"
                  "\"volume\":64,\"pan\":64,\"velocity\":101,\"reverb\":0}]}\n");
}

TEST_F(InfoCommand, PrintsTheSongAsText) {
    const fs::path path = write("song.mid", sampleSong());
    const CommandResult run = info("'" + path.string() + "'");
    EXPECT_EQ(run.exitCode, 0);
    for (const char* part : {"Tempo: 150 BPM", "Key: F major", "Duration: 1.000 s", "  2 Kick", "Drums - Bass Drum 1"}) {
        EXPECT_NE(run.out.find(part), std::string::npos) << part << " in\n" << run.out;
    }
    EXPECT_EQ(run.out.find("normalizing"), std::string::npos) << "standard output carries only the result";
}

TEST_F(InfoCommand, FilesThatCannotBeReadOrAreNotSongsAreNamedWithTheReason) {
    const std::string missing = (folder_ / "missing.mid").string();
    EXPECT_EQ(info("'" + missing + "' --json").err, "orvane-cli: " + missing + ": No such file or directory\n");
    const CommandResult directory = info(quoted(folder_));
    EXPECT_EQ(directory.exitCode, 1);
    EXPECT_EQ(directory.err, "orvane-cli: " + folder_.string() + ": Is a directory\n");

    const std::pair<Bytes, std::string> rejected[] = {
        {{}, "File is empty"}, {Bytes(40, 0x4D), "Not a MIDI file"}, {{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1}, "Not a valid MIDI file"}};
    for (const auto& [bytes, reason] : rejected) {
        const fs::path path = write("junk.mid", bytes);
        const CommandResult invalid = info(quoted(path) + " --json");
        EXPECT_EQ(std::tuple(invalid.exitCode, invalid.err, invalid.out),
                  std::tuple(2, "orvane-cli: " + path.string() + ": " + reason + "\n", ""));
    }
    EXPECT_EQ(info("").exitCode, 2) << "a file is required";

    // The commands that export or play read their song the same way.
    for (const std::string command : {"split", "merge", "convert", "render", "play"}) {
        const CommandResult other = run(command + " '" + missing + "'" + (command == "play" ? "" : " -o " + in("out.mid")));
        EXPECT_EQ(other.exitCode, 1) << command;
        EXPECT_EQ(other.err, "orvane-cli: " + missing + ": No such file or directory\n") << command;
    }
}

}  // namespace
