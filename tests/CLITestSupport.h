#pragma once
// Running orvane-cli from the tests as a separate process, in a temporary folder of the
// test's own that is removed afterwards: the exit code and what it wrote on standard output
// and standard error.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TemporaryFolder.h"

namespace orvane::testing {

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class CLITest : public ::testing::Test {
protected:
    // Writes bytes to the file name in the folder.
    std::filesystem::path write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        const std::filesystem::path path = folder_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    static std::vector<std::uint8_t> bytesOf(const std::filesystem::path& path) {
        const std::string text = readText(path);
        return std::vector<std::uint8_t>(text.begin(), text.end());
    }
    // A path quoted for the shell.
    static std::string quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }
    // The quoted path of the file name in the folder.
    std::string in(const std::string& name) const { return quoted(folder_ / name); }

    // Runs orvane-cli with arguments (shell syntax). markers sets MIDI2_DEBUG_MARKERS; by
    // default the variable is removed.
    CommandResult run(const std::string& arguments, const std::string& markers = {}) const {
        const std::filesystem::path out = folder_ / "stdout.txt";
        const std::filesystem::path err = folder_ / "stderr.txt";
        const std::string environment =
            markers.empty() ? "env -u MIDI2_DEBUG_MARKERS " : "env MIDI2_DEBUG_MARKERS=" + markers + " ";
        const std::string command = environment + "'" + ORVANE_CLI_PATH + "' " + arguments + " >" + quoted(out) +
                                    " 2>" + quoted(err);
        const int status = std::system(command.c_str());
        CommandResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(out), readText(err)};
        std::filesystem::remove(out);
        std::filesystem::remove(err);
        return result;
    }

    TemporaryFolder temporary_;
    std::filesystem::path folder_ = temporary_.path();
};

}  // namespace orvane::testing
