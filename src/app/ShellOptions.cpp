#include "app/ShellOptions.h"

#include <cstring>

#ifndef ORVANE_VERSION
#error "ORVANE_VERSION is set by src/app/CMakeLists.txt"
#endif

namespace orvane::app {
namespace {

bool isHelp(std::string_view argument) { return argument == "--help" || argument == "-h"; }

bool looksLikeOption(std::string_view argument) { return argument.size() > 1 && argument.front() == '-'; }

ShellExit helpExit() { return ShellExit{0, shellUsage(), {}}; }

ShellExit versionExit() { return ShellExit{0, "orvane " + std::string(applicationVersion()) + "\n", {}}; }

ShellExit usageError(const std::string& message) {
    return ShellExit{2, {}, "orvane: " + message + "\n" + shellUsage()};
}

}  // namespace

std::string_view applicationVersion() { return ORVANE_VERSION; }

std::string shellUsage() {
    return "Usage: orvane [OPTION]... [FILE]...\n"
           "Opens the window with the first MIDI file loaded (further files are ignored).\n"
           "\n"
           "  --soundfont FILE           General MIDI SoundFont to play with\n"
           "  --quit-after-first-frame   quit once the window has painted with the file loaded\n"
           "                             (also ORVANE_QUIT_AFTER_FIRST_FRAME=1)\n"
           "  -h, --help                 show this help\n"
           "  --version                  show the version\n"
           "\n"
           "ORVANE_SOUNDFONT=FILE picks the SoundFont, ORVANE_AUDIO_OUTPUT=null plays silently,\n"
           "ORVANE_LOG=stderr prints the diagnostics log. See orvane(1).\n";
}

ShellCommand parseShellArguments(std::span<const std::string> arguments, const char* quitAfterFirstFrameEnvironment) {
    ShellOptions options;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || !looksLikeOption(argument)) {
            options.files.emplace_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (isHelp(argument)) {
            return helpExit();
        } else if (argument == "--version") {
            return versionExit();
        } else if (argument == "--quit-after-first-frame") {
            options.quitAfterFirstFrame = true;
        } else if (argument == "--soundfont") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) return usageError("--soundfont needs a file");
            options.soundFont = arguments[++i];
        } else {
            return usageError("unknown option " + argument);
        }
    }
    if (quitAfterFirstFrameEnvironment != nullptr && std::strcmp(quitAfterFirstFrameEnvironment, "1") == 0) {
        options.quitAfterFirstFrame = true;
    }
    return options;
}

std::optional<ShellExit> helpOrVersionRequest(std::span<const std::string> arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") break;
        if (isHelp(argument)) return helpExit();
        if (argument == "--version") return versionExit();
        if (argument == "--soundfont") ++i;
    }
    return std::nullopt;
}

}  // namespace orvane::app
