// Reading a whole file. A missing file, a folder and a FIFO are refused with their reasons
// through every reader (tests/cli InfoCommand, tests/app ControllerDocument); here, a file
// longer than one read and the size limit.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "TemporaryFolder.h"
#include "support/FileRead.h"

using orvane::FileReadError;
using orvane::readWholeFile;

namespace {

const FileReadError& errorOf(const std::variant<orvane::FileBytes, FileReadError>& result) {
    return std::get<FileReadError>(result);
}

}  // namespace

TEST(FileReadTest, ReadsAFileLongerThanOneReadWhole) {
    const orvane::testing::TemporaryFolder temporary;
    std::ofstream(temporary / "song.mid", std::ios::binary) << std::string(70000, 'x') << "end";
    const auto whole = readWholeFile(temporary / "song.mid");
    ASSERT_TRUE(std::holds_alternative<orvane::FileBytes>(whole));
    EXPECT_TRUE(std::get<orvane::FileBytes>(whole).size() == 70003 && std::get<orvane::FileBytes>(whole).back() == 'd');
}

TEST(FileReadTest, AFileOverTheLimitIsRefused) {
    const orvane::testing::TemporaryFolder temporary;
    std::ofstream(temporary / "big.mid", std::ios::binary) << std::string(100, 'x');
    const auto tooLarge = readWholeFile(temporary / "big.mid", 99);
    EXPECT_EQ(std::pair(errorOf(tooLarge).reason(), errorOf(tooLarge).description()),
              std::pair(FileReadError::Reason::tooLarge, std::string("File too large")));
}
