#pragma once
// Writing a whole file safely. The bytes go to an unnamed (or hidden) temporary file in the
// target's folder, are flushed to the disk, and the file is then renamed over the target in
// one step. Whatever happens on the way (a full disk, a read-only folder, the process being
// killed), the target is either the old file, untouched, or the complete new one; a failed
// write removes its temporary file.

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

namespace orvane {

class FileWriteError : public std::exception {
public:
    enum class Stage {
        createTemporary,  // no temporary file could be made in the target's folder
        write,            // writing or flushing the bytes failed
        replace,          // the finished file could not be renamed over the target
    };

    FileWriteError(std::filesystem::path path, Stage stage, int errorNumber);

    [[nodiscard]] const std::filesystem::path& path() const noexcept { return path_; }
    [[nodiscard]] Stage stage() const noexcept { return stage_; }
    // The operating system's error number (errno).
    [[nodiscard]] int errorNumber() const noexcept { return errorNumber_; }

    // "Could not write “/music/a.mid”: Permission denied"
    [[nodiscard]] std::string description() const;
    [[nodiscard]] const char* what() const noexcept override { return description_.c_str(); }

private:
    std::filesystem::path path_;
    Stage stage_;
    int errorNumber_;
    std::string description_;
};

// Replaces (or creates) target with bytes, atomically. A file that is replaced keeps its
// permission bits; a new file gets 0666 less the umask. Throws FileWriteError; on failure the
// old target is unchanged and no temporary file is left behind.
void writeFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> bytes);

// Receives a file's bytes piece by piece.
using ByteSink = std::function<void(std::span<const std::uint8_t>)>;
// The same for a file made while it is written: fill hands its bytes to the sink in order, so
// that they never need to be held whole. An exception from fill (or a FileWriteError from the
// sink) ends the write as a failure would: the old target stays, and the exception goes on.
void writeFileAtomicallyFrom(const std::filesystem::path& target, const std::function<void(const ByteSink&)>& fill);

}  // namespace orvane
