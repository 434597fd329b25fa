#pragma once
// Reading a whole file that the user named. Only regular files are read: a folder, a device
// or a FIFO is refused without blocking on it, and so is a file larger than a song could be.
// A failure says why, in the operating system's words where it has them.

#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

namespace orvane {

// The largest file the program reads (2 GiB).
inline constexpr std::uint64_t maximumReadableFileBytes = std::uint64_t{2} << 30;

class FileReadError {
public:
    enum class Reason {
        system,      // the operating system refused (errorNumber says why)
        notRegular,  // a folder, device, socket or FIFO
        tooLarge,    // over maximumReadableFileBytes
    };

    FileReadError(Reason reason, int errorNumber, bool isDirectory = false)
        : reason_(reason), errorNumber_(errorNumber), isDirectory_(isDirectory) {}

    [[nodiscard]] Reason reason() const noexcept { return reason_; }
    [[nodiscard]] int errorNumber() const noexcept { return errorNumber_; }
    [[nodiscard]] bool isDirectory() const noexcept { return isDirectory_; }
    // "No such file or directory", "Is a directory", "Not a regular file", "File too large".
    [[nodiscard]] std::string description() const;

private:
    Reason reason_;
    int errorNumber_;
    bool isDirectory_;
};

using FileBytes = std::vector<std::uint8_t>;

// The whole content of path, or why it could not be read.
[[nodiscard]] std::variant<FileBytes, FileReadError> readWholeFile(const std::filesystem::path& path,
                                                                   std::uint64_t maximumBytes = maximumReadableFileBytes);

}  // namespace orvane
