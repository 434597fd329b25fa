// Writing a file whole or not at all. Replacing a file, a write the disk refuses half-way
// (with no temporary file left behind) and a folder in the file's place are checked where
// the exports write: tests/app/ControllerExportTests.cpp and tests/cli ExportCommandTests.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "TemporaryFolder.h"
#include "support/AtomicFile.h"

namespace fs = std::filesystem;
using orvane::FileWriteError;
using orvane::writeFileAtomically;

namespace {

class AtomicFileTest : public ::testing::Test {
protected:
    static std::vector<std::uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }
    std::vector<std::string> folderNames() const { return orvane::testing::fileNames(folder_); }

    orvane::testing::TemporaryFolder temporary_;
    fs::path folder_ = temporary_.path();
};

TEST_F(AtomicFileTest, ReplacingKeepsThePermissionsOfTheOldFile) {
    const fs::path target = folder_ / "kept.mid";
    writeFileAtomically(target, bytes("old"));
    ::chmod(target.c_str(), 0640);
    writeFileAtomically(target, bytes("new"));
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    const mode_t mask = ::umask(022);
    writeFileAtomically(folder_ / "fresh.mid", bytes("x"));
    ::umask(mask);
    ASSERT_EQ(::stat((folder_ / "fresh.mid").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST_F(AtomicFileTest, AMissingFolderOrAFolderThatIsAFileFailsAtTheStart) {
    EXPECT_THROW(writeFileAtomically(folder_ / "missing" / "a.mid", bytes("x")), FileWriteError);
    writeFileAtomically(folder_ / "plain", bytes("x"));
    try {
        writeFileAtomically(folder_ / "plain" / "a.mid", bytes("x"));
        FAIL();
    } catch (const FileWriteError& error) {
        EXPECT_EQ(std::pair(error.stage(), error.errorNumber()),
                  std::pair(FileWriteError::Stage::createTemporary, ENOTDIR));
    }
    EXPECT_EQ(orvane::testing::readText(folder_ / "plain"), "x");
}

TEST_F(AtomicFileTest, AFileMadeWhileWrittenArrivesWholeOrNotAtAll) {
    const fs::path target = folder_ / "made.mid";
    orvane::writeFileAtomicallyFrom(target, [](const orvane::ByteSink& write) {
        write(bytes("made "));
        write(bytes("in pieces"));
    });
    EXPECT_EQ(orvane::testing::readText(target), "made in pieces");
    EXPECT_THROW(orvane::writeFileAtomicallyFrom(target,
                                                 [](const orvane::ByteSink& write) {
                                                     write(bytes("half a file"));
                                                     throw std::runtime_error("the maker failed");
                                                 }),
                 std::runtime_error);
    EXPECT_EQ(orvane::testing::readText(target), "made in pieces");
    EXPECT_EQ(folderNames(), std::vector<std::string>{"made.mid"});
}

}  // namespace
