// The window's command line: files and options in order, "--", the exits for help, version
// and bad options, the environment switch, and the question main() asks before Qt starts.

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "app/ShellOptions.h"

namespace orvane::app {
namespace {

using Arguments = std::vector<std::string>;
using Files = std::vector<std::filesystem::path>;

ShellCommand parse(const Arguments& arguments, const char* environment = nullptr) {
    return parseShellArguments(arguments, environment);
}

TEST(ShellOptions, FilesKeepTheirOrderAndOptionsMayComeAnywhere) {
    EXPECT_EQ(parse({"a.mid", "--soundfont", "gm.sf2", "b.midi2", "--quit-after-first-frame", "-"}),
              ShellCommand(ShellOptions{{"a.mid", "b.midi2", "-"}, "gm.sf2", true}));
    EXPECT_EQ(parse({}), ShellCommand(ShellOptions{}));
    // After "--" everything is a file.
    EXPECT_EQ(parse({"--", "--help", "-h", "--version", "--soundfont", "--"}),
              ShellCommand(ShellOptions{{"--help", "-h", "--version", "--soundfont", "--"}, std::nullopt, false}));
    // --soundfont takes the next argument even when it looks like an option; the last one wins.
    EXPECT_EQ(parse({"--soundfont", "--help"}), ShellCommand(ShellOptions{{}, "--help", false}));
    EXPECT_FALSE(helpOrVersionRequest(Arguments{"--soundfont", "--help"}));
    EXPECT_EQ(parse({"--soundfont", "a.sf2", "--soundfont", "b.sf2"}), ShellCommand(ShellOptions{{}, "b.sf2", false}));
    // Only "1" turns the environment switch on.
    EXPECT_EQ(parse({}, "1"), ShellCommand(ShellOptions{{}, std::nullopt, true}));
    for (const char* value : {"", "0", "yes", "true", "11"}) EXPECT_EQ(parse({}, value), parse({})) << value;
}

TEST(ShellOptions, HelpVersionAndBadOptionsExitWithoutAWindow) {
    for (const std::string help : {"--help", "-h"}) {
        EXPECT_EQ(parse({"song.mid", help, "--no-such-option"}), ShellCommand(ShellExit{0, shellUsage(), ""}));
    }
    EXPECT_EQ(parse({"--version"}), ShellCommand(ShellExit{0, "orvane " + std::string(applicationVersion()) + "\n", ""}));
    // A version a package can compare: numbers and dots.
    EXPECT_EQ(std::string(applicationVersion()).find_first_not_of("0123456789."), std::string::npos);
    EXPECT_EQ(parse({"song.mid", "--sound-font", "gm.sf2"}),
              ShellCommand(ShellExit{2, "", "orvane: unknown option --sound-font\n" + shellUsage()}));
    for (const auto& arguments : {Arguments{"--soundfont"}, Arguments{"--soundfont", ""}}) {
        EXPECT_EQ(parse(arguments), ShellCommand(ShellExit{2, "", "orvane: --soundfont needs a file\n" + shellUsage()}));
    }
}

TEST(ShellOptions, HelpOrVersionIsAnsweredAmongQtOptionsBeforeQtStarts) {
    // The same answers as once Qt has taken its options out.
    const auto exitOf = [](const Arguments& arguments) { return std::get<ShellExit>(parse(arguments)); };
    EXPECT_EQ(helpOrVersionRequest(Arguments{"-platform", "offscreen", "--help"}), exitOf({"--help"}));
    EXPECT_EQ(helpOrVersionRequest(Arguments{"song.mid", "-style", "fusion", "--version"}), exitOf({"--version"}));
    EXPECT_EQ(helpOrVersionRequest(Arguments{"-h"}), exitOf({"-h"}));
    for (const auto& arguments : {Arguments{"-platform", "offscreen", "song.mid"}, Arguments{"--", "--help"},
                                  Arguments{"--soundfont"}, Arguments{}}) {
        EXPECT_FALSE(helpOrVersionRequest(arguments)) << ::testing::PrintToString(arguments);
    }
}

}  // namespace
}  // namespace orvane::app
