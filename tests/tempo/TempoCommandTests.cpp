// orvane-cli tempo, run as a separate process.

#include <gtest/gtest.h>

#include <string>
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

    const CommandResult text = runCLI("'" + path.string() + "'");
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_EQ(text.err, "");  // no progress bar when standard error is not a terminal
    EXPECT_EQ(text.out.rfind("Tempo: " + formatBPM(expected.tempoBPM) + " BPM\n", 0), 0u) << text.out;
    EXPECT_NE(text.out.find("\nSong length: 0:30\nTotal beats: " + std::to_string(expected.totalBeats) + "\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("  " + formatBPM(expected.candidates[0].bpm) + " BPM  score "), std::string::npos);

    const CommandResult json = runCLI("--json '" + path.string() + "'");
    EXPECT_EQ(json.exitCode, 0);
    // Its fields are compared with an independent detector in tests/peers/test_tempo_reference.py.
    EXPECT_EQ(json.out.rfind("{\"tempoBPM\":", 0), 0u) << json.out;
    EXPECT_EQ(json.out.substr(json.out.size() - 3), "]}\n");
}

TEST_F(TempoCommand, FailuresExitWithTheErrorOnStandardError) {
    const auto silence = folder_ / "silence.wav";
    testing::writeWave16(silence, std::vector<float>(44100 * 3, 0.0f), 44100);
    const CommandResult silent = runCLI("'" + silence.string() + "' --json");
    EXPECT_EQ(silent.exitCode, 1);
    EXPECT_EQ(silent.out, "");
    EXPECT_EQ(silent.err, "Onset envelope has no usable AC content.\n");

    const CommandResult missing = runCLI("'" + (folder_ / "gone.flac").string() + "'");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "No such file or directory\n");

    EXPECT_EQ(runCLI("").exitCode, 2);
    EXPECT_EQ(runCLI("a.wav b.wav").exitCode, 2);
    EXPECT_EQ(runCLI("a.wav --verbose").exitCode, 2);
}

}  // namespace
}  // namespace orvane::tempo
