#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/FileRead.h"

namespace fs = std::filesystem;
using orvane::FileReadError;
using orvane::readWholeFile;

namespace {

fs::path scratchFolder() {
    const fs::path folder = fs::temp_directory_path() / ("orvane-read-" + std::to_string(::getpid()) + "-" +
                                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

const FileReadError& errorOf(const std::variant<orvane::FileBytes, FileReadError>& result) {
    return std::get<FileReadError>(result);
}

}  // namespace

TEST(FileReadTest, ReadsRegularFilesWholeAndEmptyFilesAsNothing) {
    const fs::path folder = scratchFolder();
    std::ofstream(folder / "song.mid", std::ios::binary) << std::string(70000, 'x') << "end";
    std::ofstream(folder / "empty.mid", std::ios::binary);
    const auto whole = readWholeFile(folder / "song.mid");
    ASSERT_TRUE(std::holds_alternative<orvane::FileBytes>(whole));
    EXPECT_EQ(std::get<orvane::FileBytes>(whole).size(), 70003u);
    EXPECT_EQ(std::get<orvane::FileBytes>(whole).back(), 'd');
    EXPECT_TRUE(std::get<orvane::FileBytes>(readWholeFile(folder / "empty.mid")).empty());
    fs::remove_all(folder);
}

TEST(FileReadTest, RefusalsSayWhy) {
    const fs::path folder = scratchFolder();
    EXPECT_EQ(errorOf(readWholeFile(folder / "missing.mid")).description(), "No such file or directory");
    EXPECT_EQ(errorOf(readWholeFile(folder)).description(), "Is a directory");
    std::ofstream(folder / "big.mid", std::ios::binary) << std::string(100, 'x');
    const auto tooLarge = readWholeFile(folder / "big.mid", 99);
    EXPECT_EQ(errorOf(tooLarge).reason(), FileReadError::Reason::tooLarge);
    EXPECT_EQ(errorOf(tooLarge).description(), "File too large");
    fs::remove_all(folder);
}

TEST(FileReadTest, AFIFOIsRefusedWithoutWaitingForAWriter) {
    const fs::path folder = scratchFolder();
    ASSERT_EQ(::mkfifo((folder / "pipe.mid").c_str(), 0600), 0);
    const auto result = readWholeFile(folder / "pipe.mid");
    EXPECT_EQ(errorOf(result).reason(), FileReadError::Reason::notRegular);
    EXPECT_EQ(errorOf(result).description(), "Not a regular file");
    fs::remove_all(folder);
}
