// The window's command line: files and options in order, "--", the exits for help, version
// and bad options, the environment switch, and the question main() asks before Qt starts.

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "app/ShellOptions.h"

namespace {

using orvane::app::helpOrVersionRequest;
using orvane::app::parseShellArguments;
using orvane::app::ShellExit;
using orvane::app::ShellOptions;

ShellOptions options(const std::vector<std::string>& arguments, const char* environment = nullptr) {
    const auto command = parseShellArguments(arguments, environment);
    EXPECT_TRUE(std::holds_alternative<ShellOptions>(command)) << "the window should open";
    return std::holds_alternative<ShellOptions>(command) ? std::get<ShellOptions>(command) : ShellOptions{};
}

ShellExit noWindow(const std::vector<std::string>& arguments) {
    const auto command = parseShellArguments(arguments, nullptr);
    EXPECT_TRUE(std::holds_alternative<ShellExit>(command)) << "the window should not open";
    return std::holds_alternative<ShellExit>(command) ? std::get<ShellExit>(command) : ShellExit{-1, {}, {}};
}

TEST(ShellOptions, FilesKeepTheirOrderAndOptionsMayComeAnywhere) {
    const ShellOptions parsed = options({"a.mid", "--soundfont", "gm.sf2", "b.midi2", "--quit-after-first-frame", "-"});
    EXPECT_EQ(parsed.files, (std::vector<std::filesystem::path>{"a.mid", "b.midi2", "-"}));
    EXPECT_EQ(parsed.soundFont, std::filesystem::path("gm.sf2"));
    EXPECT_TRUE(parsed.quitAfterFirstFrame);

    EXPECT_EQ(options({}), ShellOptions{});
}

TEST(ShellOptions, DoubleDashMakesEverythingAfterItAFile) {
    const ShellOptions parsed = options({"--", "--help", "-h", "--version", "--soundfont", "--"});
    EXPECT_EQ(parsed.files, (std::vector<std::filesystem::path>{"--help", "-h", "--version", "--soundfont", "--"}));
    EXPECT_FALSE(parsed.soundFont);
}

TEST(ShellOptions, SoundFontTakesTheNextArgumentEvenWhenItLooksLikeAnOption) {
    EXPECT_EQ(options({"--soundfont", "--help"}).soundFont, std::filesystem::path("--help"));
    EXPECT_FALSE(helpOrVersionRequest(std::vector<std::string>{"--soundfont", "--help"}));
    EXPECT_EQ(options({"--soundfont", "a.sf2", "--soundfont", "b.sf2"}).soundFont, std::filesystem::path("b.sf2"));
}

TEST(ShellOptions, HelpAndVersionPrintOnStandardOutputAndSucceed) {
    for (const std::string help : {"--help", "-h"}) {
        const ShellExit shown = noWindow({"song.mid", help, "--no-such-option"});
        EXPECT_EQ(shown.exitCode, 0);
        EXPECT_EQ(shown.standardOutput, orvane::app::shellUsage());
        EXPECT_EQ(shown.standardError, "");
    }
    const ShellExit version = noWindow({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.standardOutput, "orvane " + std::string(orvane::app::applicationVersion()) + "\n");
    EXPECT_EQ(version.standardError, "");
    // A version a package can compare: numbers and dots.
    EXPECT_TRUE(std::string(orvane::app::applicationVersion()).find_first_not_of("0123456789.") == std::string::npos);
}

TEST(ShellOptions, BadOptionsFailWithTheReasonAndTheUsageOnStandardError) {
    const ShellExit unknown = noWindow({"song.mid", "--sound-font", "gm.sf2"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.standardOutput, "");
    EXPECT_EQ(unknown.standardError, "orvane: unknown option --sound-font\n" + orvane::app::shellUsage());

    for (const auto& arguments : {std::vector<std::string>{"--soundfont"}, std::vector<std::string>{"--soundfont", ""}}) {
        const ShellExit missing = noWindow(arguments);
        EXPECT_EQ(missing.exitCode, 2);
        EXPECT_EQ(missing.standardError, "orvane: --soundfont needs a file\n" + orvane::app::shellUsage());
    }
}

TEST(ShellOptions, OnlyOneTurnsOnTheEnvironmentSwitch) {
    EXPECT_TRUE(options({}, "1").quitAfterFirstFrame);
    for (const char* value : {"", "0", "yes", "true", "11"}) {
        EXPECT_FALSE(options({}, value).quitAfterFirstFrame) << value;
    }
}

TEST(ShellOptions, HelpOrVersionIsAnsweredAmongQtOptionsBeforeQtStarts) {
    using Arguments = std::vector<std::string>;
    // The same answers as once Qt has taken its options out.
    EXPECT_EQ(helpOrVersionRequest(Arguments{"-platform", "offscreen", "--help"}), noWindow({"--help"}));
    EXPECT_EQ(helpOrVersionRequest(Arguments{"song.mid", "-style", "fusion", "--version"}), noWindow({"--version"}));
    EXPECT_EQ(helpOrVersionRequest(Arguments{"-h"}), noWindow({"-h"}));
    for (const auto& arguments : {Arguments{"-platform", "offscreen", "song.mid"}, Arguments{"--", "--help"},
                                  Arguments{"--soundfont"}, Arguments{}}) {
        EXPECT_FALSE(helpOrVersionRequest(arguments)) << ::testing::PrintToString(arguments);
    }
}

}  // namespace
