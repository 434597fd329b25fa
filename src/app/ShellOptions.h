#pragma once
// The command line of the window, `orvane [OPTION]... [FILE]...`, as a pure function: the
// files to open, the SoundFont and the quit-after-first-frame switch, or the text to print and
// the exit code when the window should not open (--help, --version, a bad option). The
// application id names the desktop file, the AppStream metainfo and the icons.

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orvane::app {

// The reverse-DNS id of the installed application (io.orvane.Orvane.desktop, its metainfo and
// its icon's theme name).
inline constexpr std::string_view applicationID = "io.orvane.Orvane";

// The version of this build, e.g. "0.1.0".
[[nodiscard]] std::string_view applicationVersion();

struct ShellOptions {
    std::vector<std::filesystem::path> files;            // in the order given; the first loads
    std::optional<std::filesystem::path> soundFont;      // --soundfont FILE
    bool quitAfterFirstFrame = false;                    // or ORVANE_QUIT_AFTER_FIRST_FRAME=1
    friend bool operator==(const ShellOptions&, const ShellOptions&) = default;
};

// The window does not open: print standardOutput and standardError, exit with exitCode.
struct ShellExit {
    int exitCode = 0;
    std::string standardOutput;
    std::string standardError;
    friend bool operator==(const ShellExit&, const ShellExit&) = default;
};

using ShellCommand = std::variant<ShellOptions, ShellExit>;

// arguments are argv[1...] after Qt has taken out its own options. "--" ends the options;
// "-" alone is a file name. quitAfterFirstFrameEnvironment is the value of
// ORVANE_QUIT_AFTER_FIRST_FRAME (nullptr when unset); "1" turns the switch on.
[[nodiscard]] ShellCommand parseShellArguments(std::span<const std::string> arguments,
                                               const char* quitAfterFirstFrameEnvironment);

// The answer to --help, -h or --version when the arguments ask for one before any "--", for
// main() to print before Qt starts (no display needed). Unknown options are passed over (Qt's
// own, such as -platform NAME, are still there before QApplication exists), and so is the
// value of --soundfont.
[[nodiscard]] std::optional<ShellExit> helpOrVersionRequest(std::span<const std::string> arguments);

// The text of --help.
[[nodiscard]] std::string shellUsage();

}  // namespace orvane::app
