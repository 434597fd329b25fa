// orvane-cli tempo, run as a separate process.

#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
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
    const std::string& object = json.out;
    ASSERT_EQ(object.rfind("{\"tempoBPM\":", 0), 0u) << object;
    EXPECT_EQ(std::stod(object.substr(12)), expected.tempoBPM);
    std::size_t last = 0;
    for (const std::string key : {"\"confidence\":", "\"confident\":", "\"totalBeats\":", "\"songLengthSeconds\":30,",
                                  "\"candidates\":[["}) {
        const auto at = object.find(key);
        ASSERT_NE(at, std::string::npos) << key << " in " << object;
        EXPECT_GT(at, last) << key;
        last = at;
    }
    EXPECT_NE(object.find("\"confident\":" + std::string(expected.confident ? "true" : "false")), std::string::npos);
    EXPECT_EQ(std::count(object.begin(), object.end(), '['), 1 + static_cast<long>(expected.candidates.size()));
    EXPECT_EQ(object.substr(object.size() - 3), "]}\n");
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
