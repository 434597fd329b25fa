#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "TemporaryFolder.h"
#include "support/FileRead.h"

namespace fs = std::filesystem;
using orvane::FileReadError;
using orvane::readWholeFile;

namespace {

const FileReadError& errorOf(const std::variant<orvane::FileBytes, FileReadError>& result) {
    return std::get<FileReadError>(result);
}

}  // namespace

TEST(FileReadTest, ReadsRegularFilesWholeAndEmptyFilesAsNothing) {
    const orvane::testing::TemporaryFolder temporary;
    const fs::path& folder = temporary.path();
    std::ofstream(folder / "song.mid", std::ios::binary) << std::string(70000, 'x') << "end";
    std::ofstream(folder / "empty.mid", std::ios::binary);
    const auto whole = readWholeFile(folder / "song.mid");
    ASSERT_TRUE(std::holds_alternative<orvane::FileBytes>(whole));
    EXPECT_EQ(std::get<orvane::FileBytes>(whole).size(), 70003u);
    EXPECT_EQ(std::get<orvane::FileBytes>(whole).back(), 'd');
    EXPECT_TRUE(std::get<orvane::FileBytes>(readWholeFile(folder / "empty.mid")).empty());
}

TEST(FileReadTest, RefusalsSayWhy) {
    const orvane::testing::TemporaryFolder temporary;
    const fs::path& folder = temporary.path();
    EXPECT_EQ(errorOf(readWholeFile(folder / "missing.mid")).description(), "No such file or directory");
    EXPECT_EQ(errorOf(readWholeFile(folder)).description(), "Is a directory");
    std::ofstream(folder / "big.mid", std::ios::binary) << std::string(100, 'x');
    const auto tooLarge = readWholeFile(folder / "big.mid", 99);
    EXPECT_EQ(errorOf(tooLarge).reason(), FileReadError::Reason::tooLarge);
    EXPECT_EQ(errorOf(tooLarge).description(), "File too large");
}

TEST(FileReadTest, AFIFOIsRefusedWithoutWaitingForAWriter) {
    const orvane::testing::TemporaryFolder temporary;
    const fs::path& folder = temporary.path();
    ASSERT_EQ(::mkfifo((folder / "pipe.mid").c_str(), 0600), 0);
    const auto result = readWholeFile(folder / "pipe.mid");
    EXPECT_EQ(errorOf(result).reason(), FileReadError::Reason::notRegular);
    EXPECT_EQ(errorOf(result).description(), "Not a regular file");
}
