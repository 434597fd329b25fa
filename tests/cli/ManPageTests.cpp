// The manual pages against the programs: every command, option and exit code that
// orvane-cli --help lists, and every option of orvane --help, has its own entry in
// data/man/*.1, and nothing is documented that the programs do not have; every environment
// variable the sources read is described.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "TemporaryFolder.h"
#include "app/ShellOptions.h"

namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

std::string standardOutputOf(const std::string& arguments) {
    const std::string command = std::string("'") + ORVANE_CLI_PATH + "' " + arguments + " 2>/dev/null";
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

Names optionsIn(const std::string& text) {
    static const std::regex option(R"((?:^|[\s\[|])(--?[a-z][a-z0-9-]*))");
    Names names;
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) names.insert((*it)[1]);
    return names;
}

// A manual page as its sections, each with the tags of its .TP (and .TQ) entries, the roff
// escapes and macro names taken out: ".BI \-\-tracks " LIST"" becomes "--tracks LIST".
struct ManPage {
    std::map<std::string, std::vector<std::string>> tags;

    explicit ManPage(const fs::path& path) {
        std::istringstream lines(orvane::testing::readText(path));
        std::string line;
        std::string section;
        bool tagNext = false;
        while (std::getline(lines, line)) {
            if (line.starts_with(".SH ")) {
                section = line.substr(4);
                tagNext = false;
            } else if (line == ".TP" || line == ".TQ") {
                tagNext = true;
            } else if (tagNext) {
                tags[section].push_back(plain(line));
                tagNext = false;
            }
        }
    }

    static std::string plain(const std::string& line) {
        const std::string unescaped = std::regex_replace(line, std::regex(R"(\\-)"), "-");
        return std::regex_replace(unescaped, std::regex(R"(^\.[A-Z]+ |\\c|")"), "");
    }

    [[nodiscard]] Names firstWords(const std::string& section) const {
        Names words;
        for (const auto& tag : tags.at(section)) words.insert(tag.substr(0, tag.find(' ')));
        return words;
    }
    [[nodiscard]] Names options(const std::string& section) const {
        Names names;
        for (const auto& tag : tags.at(section)) names.merge(optionsIn(tag));
        return names;
    }
};

const fs::path manFolder = fs::path(ORVANE_SOURCE_DIR) / "data" / "man";

TEST(ManPages, OrvaneCliPageHasEveryCommandOptionAndExitCodeOfItsHelp) {
    const std::string help = standardOutputOf("--help");
    ASSERT_NE(help.find("Commands:"), std::string::npos) << help;
    const ManPage page(manFolder / "orvane-cli.1");

    Names commands;
    Names options = optionsIn(help.substr(0, help.find("Commands:")));
    static const std::regex commandLine(R"(\n  ([a-z0-9-]+) )");
    for (std::sregex_iterator it(help.begin(), help.end(), commandLine), end; it != end; ++it) {
        const std::string name = (*it)[1];
        commands.insert(name);
        const std::string usage = standardOutputOf(name + " --help");
        ASSERT_TRUE(usage.starts_with("Usage: orvane-cli " + name)) << usage;
        options.merge(optionsIn(usage.substr(0, usage.find('\n'))));
    }
    options.insert("-h");  // accepted by main() and every command
    EXPECT_GE(commands.size(), 7u);
    EXPECT_EQ(page.firstWords("COMMANDS"), commands);
    EXPECT_EQ(page.options("OPTIONS"), options);

    Names exitCodes;
    const std::string codes = help.substr(help.find("Exit codes:"));
    static const std::regex code(R"((?:: |, )([0-9]+) )");
    for (std::sregex_iterator it(codes.begin(), codes.end(), code), end; it != end; ++it) exitCodes.insert((*it)[1]);
    EXPECT_EQ(exitCodes, (Names{"0", "1", "2", "3"}));
    EXPECT_EQ(page.firstWords("EXIT STATUS"), exitCodes);
}

TEST(ManPages, OrvanePageHasEveryOptionOfItsHelp) {
    const Names options = optionsIn(orvane::app::shellUsage());
    EXPECT_GE(options.size(), 5u);
    EXPECT_EQ(ManPage(manFolder / "orvane.1").options("OPTIONS"), options);
}

// Where an environment variable is read, its page describes it: everything outside src/ui
// concerns both programs, src/ui only the window. HOME and XDG_DATA_HOME only place the
// diagnostics log's folder, and the log keeps nothing.
TEST(ManPages, EveryEnvironmentVariableTheSourcesReadIsDescribed) {
    const Names windowVariables = ManPage(manFolder / "orvane.1").firstWords("ENVIRONMENT");
    const Names cliVariables = ManPage(manFolder / "orvane-cli.1").firstWords("ENVIRONMENT");
    static const std::regex read(R"((?:getenv|qgetenv|qEnvironmentVariable\w*)\(\s*"([A-Z0-9_]+)\")");
    const Names ignored{"HOME", "XDG_DATA_HOME"};
    std::size_t found = 0;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(ORVANE_SOURCE_DIR) / "src")) {
        if (!entry.is_regular_file()) continue;
        const std::string text = orvane::testing::readText(entry.path());
        if (text.find("etenv") == std::string::npos && text.find("EnvironmentVariable") == std::string::npos) continue;
        const bool windowOnly = entry.path().parent_path().filename() == "ui";
        for (std::sregex_iterator it(text.begin(), text.end(), read), end; it != end; ++it) {
            const std::string name = (*it)[1];
            if (ignored.contains(name)) continue;
            ++found;
            EXPECT_TRUE(windowVariables.contains(name)) << name << " (read in " << entry.path() << ") is not in orvane.1";
            if (!windowOnly) {
                EXPECT_TRUE(cliVariables.contains(name)) << name << " (read in " << entry.path() << ") is not in orvane-cli.1";
            }
        }
    }
    EXPECT_GE(found, 5u);
}

}  // namespace
