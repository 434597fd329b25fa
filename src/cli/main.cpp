#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/ShellOptions.h"
#include "cli/Command.h"
#include "midi/midi2/MIDI2Diagnostics.h"

namespace orvane::cli {
namespace {

std::vector<Command>& commandTable() {
    static std::vector<Command> table;
    return table;
}

void printHelp(std::FILE* stream) {
    std::fprintf(stream,
                 "orvane-cli: take a MIDI file apart and put parts of it back together.\n\n"
                 "Usage: orvane-cli COMMAND [ARGS...]\n"
                 "       orvane-cli --help | --version\n\nCommands:\n");
    auto commands = registeredCommands();
    std::sort(commands.begin(), commands.end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
    for (const auto& command : commands) {
        std::fprintf(stream, "  %-10.*s %.*s\n", static_cast<int>(command.name.size()), command.name.data(),
                     static_cast<int>(command.summary.size()), command.summary.data());
        std::fprintf(stream, "             orvane-cli %.*s\n", static_cast<int>(command.usage.size()),
                     command.usage.data());
    }
    std::fprintf(stream,
                 "\nExit codes: 0 success, 1 a file could not be read or written, 2 bad arguments or\n"
                 "data that is not valid, 3 outputs exist (use --force to replace them).\n"
                 "Set ORVANE_LOG=stderr to see diagnostic messages.\n");
}

}  // namespace

CommandRegistration::CommandRegistration(const Command& command) { commandTable().push_back(command); }

const std::vector<Command>& registeredCommands() { return commandTable(); }

}  // namespace orvane::cli

int main(int argc, char** argv) {
    using namespace orvane::cli;
    // Standard output carries only results: MIDI 2.0 debug markers are written only when
    // MIDI2_DEBUG_MARKERS asks for them, and then to standard error.
    orvane::midi::MIDI2Diagnostics::setOutputStream(stderr);
    orvane::midi::MIDI2Diagnostics::setEnabledWhenUnset(false);
    if (argc < 2) {
        printHelp(stderr);
        return exitRejected;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printHelp(stdout);
        return exitSuccess;
    }
    if (name == "--version") {
        std::printf("orvane-cli %.*s\n", static_cast<int>(orvane::app::applicationVersion().size()),
                    orvane::app::applicationVersion().data());
        return exitSuccess;
    }
    const auto& commands = registeredCommands();
    const auto found = std::find_if(commands.begin(), commands.end(),
                                    [&](const Command& command) { return command.name == name; });
    if (found == commands.end()) {
        std::fprintf(stderr, "orvane-cli: unknown command '%s'. See 'orvane-cli --help'.\n", name.c_str());
        return exitRejected;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::printf("Usage: orvane-cli %.*s\n%.*s\n", static_cast<int>(found->usage.size()),
                        found->usage.data(), static_cast<int>(found->summary.size()), found->summary.data());
            return exitSuccess;
        }
    }
    return found->run(args);
}
