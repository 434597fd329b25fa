#include "support/FileRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace orvane {

namespace {

// Closes a descriptor when the read ends, however it ends.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    [[nodiscard]] int get() const noexcept { return fd_; }

private:
    int fd_;
};

}  // namespace

std::string FileReadError::description() const {
    switch (reason_) {
        case Reason::system: return std::strerror(errorNumber_);
        case Reason::notRegular: return isDirectory_ ? std::strerror(EISDIR) : "Not a regular file";
        case Reason::tooLarge: return std::strerror(EFBIG);
    }
    return "Unknown error";
}

std::variant<FileBytes, FileReadError> readWholeFile(const std::filesystem::path& path, std::uint64_t maximumBytes) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0) return FileReadError(FileReadError::Reason::system, errno);
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) return FileReadError(FileReadError::Reason::system, errno);
    if (!S_ISREG(status.st_mode)) {
        return FileReadError(FileReadError::Reason::notRegular, 0, S_ISDIR(status.st_mode));
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    if (size > maximumBytes) return FileReadError(FileReadError::Reason::tooLarge, EFBIG);

    FileBytes bytes(static_cast<std::size_t>(size));
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0) {
            if (errno == EINTR) continue;
            return FileReadError(FileReadError::Reason::system, errno);
        }
        if (got == 0) break;  // the file shrank while it was read
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return bytes;
}

}  // namespace orvane
