#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
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

TEST_F(AtomicFileTest, CreatesAndReplacesWholeFilesLeavingNothingElse) {
    const fs::path target = folder_ / "song.mid";
    writeFileAtomically(target, bytes("first version"));
    EXPECT_EQ(orvane::testing::readText(target), "first version");
    writeFileAtomically(target, bytes("second"));
    EXPECT_EQ(orvane::testing::readText(target), "second");
    writeFileAtomically(target, {});
    EXPECT_EQ(fs::file_size(target), 0u);
    EXPECT_EQ(folderNames(), std::vector<std::string>{"song.mid"});
}

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

TEST_F(AtomicFileTest, ATargetThatIsAFolderFailsAndIsLeftAsItWas) {
    const fs::path target = folder_ / "taken";
    fs::create_directories(target / "inside");
    try {
        writeFileAtomically(target, bytes("data"));
        FAIL() << "writing over a folder must fail";
    } catch (const FileWriteError& error) {
        EXPECT_EQ(error.stage(), FileWriteError::Stage::replace);
        EXPECT_NE(error.description().find("taken"), std::string::npos);
        EXPECT_STREQ(error.what(), error.description().c_str());
    }
    EXPECT_TRUE(fs::is_directory(target / "inside"));
    EXPECT_EQ(folderNames(), std::vector<std::string>{"taken"});
}

TEST_F(AtomicFileTest, AMissingFolderOrAFolderThatIsAFileFailsAtTheStart) {
    EXPECT_THROW(writeFileAtomically(folder_ / "missing" / "a.mid", bytes("x")), FileWriteError);
    writeFileAtomically(folder_ / "plain", bytes("x"));
    try {
        writeFileAtomically(folder_ / "plain" / "a.mid", bytes("x"));
        FAIL();
    } catch (const FileWriteError& error) {
        EXPECT_EQ(error.stage(), FileWriteError::Stage::createTemporary);
        EXPECT_EQ(error.errorNumber(), ENOTDIR);
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

TEST_F(AtomicFileTest, AWriteThatFailsHalfwayKeepsTheOldFileAndRemovesItsTemporaryFile) {
    const fs::path target = folder_ / "big.mid";
    writeFileAtomically(target, bytes("the user's file"));

    // A file size limit makes the kernel refuse the write part of the way through.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool threw = false;
    try {
        writeFileAtomically(target, std::vector<std::uint8_t>(100000, 0x42));
    } catch (const FileWriteError& error) {
        threw = true;
        EXPECT_EQ(error.stage(), FileWriteError::Stage::write);
        EXPECT_EQ(error.errorNumber(), EFBIG);
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(threw);
    EXPECT_EQ(orvane::testing::readText(target), "the user's file");
    EXPECT_EQ(folderNames(), std::vector<std::string>{"big.mid"});
}

}  // namespace
