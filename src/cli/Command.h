#pragma once
// orvane-cli's commands. Each command lives in its own file and registers itself with a
// static CommandRegistration, so main() needs no list of them.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::cli {

// Exit codes shared by every command.
enum ExitCode : int {
    exitSuccess = 0,
    exitFailure = 1,        // a file could not be read or written, or the work failed
    exitRejected = 2,       // bad arguments, or data the reader rejects
    exitWouldReplace = 3,   // outputs exist and --force was not given
};

struct Command {
    std::string_view name;
    std::string_view usage;    // e.g. "info FILE [--json]"
    std::string_view summary;  // one line for --help
    int (*run)(std::span<const std::string> args);
};

struct CommandRegistration {
    explicit CommandRegistration(const Command& command);
};

const std::vector<Command>& registeredCommands();

}  // namespace orvane::cli
