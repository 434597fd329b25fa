// orvane-cli info on hand-built files: the exact JSON, the text form, and the exit codes.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "midi/SMFBytes.h"

namespace {

namespace fs = std::filesystem;
using orvane::midi::smf::Bytes;
using orvane::midi::smf::join;
namespace smf = orvane::midi::smf;

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class InfoCommand : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = fs::temp_directory_path() /
                     ("orvane-info-" + std::to_string(::getpid()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(directory_);
    }
    void TearDown() override { fs::remove_all(directory_); }

    fs::path write(const std::string& name, const Bytes& bytes) {
        const fs::path path = directory_ / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    static std::string slurp(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    CommandResult info(const std::string& arguments) {
        const fs::path out = directory_ / "stdout.txt";
        const fs::path err = directory_ / "stderr.txt";
        const std::string command = std::string("'") + ORVANE_CLI_PATH + "' info " + arguments + " >'" + out.string() +
                                    "' 2>'" + err.string() + "'";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
    }

    fs::path directory_;
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
    EXPECT_NE(run.out.find("Tempo: 150 BPM"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Key: F major"), std::string::npos);
    EXPECT_NE(run.out.find("Duration: 1.000 s"), std::string::npos);
    EXPECT_NE(run.out.find("  2 Kick"), std::string::npos);
    EXPECT_NE(run.out.find("Drums - Bass Drum 1"), std::string::npos);
    EXPECT_EQ(run.out.find("normalizing"), std::string::npos) << "standard output carries only the result";
}

TEST_F(InfoCommand, ReportsUnreadableAndInvalidFiles) {
    const CommandResult missing = info("'" + (directory_ / "missing.mid").string() + "' --json");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "Could not read file.\n");
    EXPECT_EQ(missing.out, "");

    const CommandResult directory = info("'" + directory_.string() + "'");
    EXPECT_EQ(directory.exitCode, 1);
    EXPECT_EQ(directory.err, "Could not read file.\n");

    for (const Bytes& junk : {Bytes{'h', 'e', 'l', 'l', 'o'}, Bytes(40, 0x4D), Bytes{}}) {
        const CommandResult invalid = info("'" + write("junk.mid", junk).string() + "' --json");
        EXPECT_EQ(invalid.exitCode, 2);
        EXPECT_EQ(invalid.err, "Not a valid MIDI file.\n");
        EXPECT_EQ(invalid.out, "");
    }
    EXPECT_EQ(info("").exitCode, 2) << "a file is required";
}

}  // namespace
