// orvane-cli tempo, run as a separate process.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "CLITestSupport.h"
#include "TempoTestSupport.h"
#include "support/TextFormat.h"
#include "tempo/OrvaneTempoDetector.h"

namespace orvane::tempo {
namespace {

using orvane::testing::CommandResult;

class TempoCommand : public orvane::testing::CLITest {
protected:
    CommandResult runCLI(const std::string& arguments) { return run("tempo " + arguments); }
};

TEST_F(TempoCommand, PrintsTheDetectionAsTextOrJSON) {
    const auto path = folder_ / "clicks.wav";
    testing::writeWave16(path, testing::render(testing::clickTrain(120, 44100), 30 * 44100), 44100);
    const auto expected = OrvaneTempoDetector::detectTempo(path, {}, {});

    const CommandResult text = runCLI(quoted(path));
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_EQ(text.err, "");  // no progress bar when standard error is not a terminal
    EXPECT_EQ(text.out.rfind("Tempo: " + formatBPM(expected.tempoBPM) + " BPM\n", 0), 0u) << text.out;
    EXPECT_NE(text.out.find("\nSong length: 0:30\nTotal beats: " + std::to_string(expected.totalBeats) + "\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("  " + formatBPM(expected.candidates[0].bpm) + " BPM  score "), std::string::npos);
    // The JSON form is read and compared with an independent detector in tests/peers.
}

TEST_F(TempoCommand, FailuresExitWithTheErrorOnStandardError) {
    const auto silence = folder_ / "silence.wav";
    testing::writeWave16(silence, std::vector<float>(44100 * 3, 0.0f), 44100);
    const CommandResult silent = runCLI(quoted(silence) + " --json");
    EXPECT_EQ(std::tuple(silent.exitCode, silent.out, silent.err),
              std::tuple(1, "", "Onset envelope has no usable AC content.\n"));

    const CommandResult missing = runCLI(in("gone.flac"));
    EXPECT_EQ(std::tuple(missing.exitCode, missing.err), std::tuple(1, "No such file or directory\n"));

    for (const char* wrong : {"", "a.wav b.wav", "a.wav --verbose"}) EXPECT_EQ(runCLI(wrong).exitCode, 2) << wrong;
}

}  // namespace
}  // namespace orvane::tempo
