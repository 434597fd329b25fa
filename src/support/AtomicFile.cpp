#include "support/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

namespace orvane {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd = -1) noexcept : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    void reset(int fd) noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    [[nodiscard]] int get() const noexcept { return fd_; }
    [[nodiscard]] bool valid() const noexcept { return fd_ >= 0; }
    // Closes now and reports the result (a delayed write error can surface here).
    int close() noexcept {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

// A name no other writer uses at the same moment; O_EXCL or linkat catch the rest.
std::string temporaryName() {
    static std::atomic<unsigned> counter{0};
    const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    char name[64];
    std::snprintf(name, sizeof name, ".orvane-%d-%u-%llx.tmp", static_cast<int>(::getpid()),
                  counter.fetch_add(1, std::memory_order_relaxed), now & 0xFFFFFFFFFFULL);
    return name;
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ::ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

class AtomicWrite {
public:
    AtomicWrite(const std::filesystem::path& target, const std::function<void(const ByteSink&)>& fill)
        : target_(target), fill_(fill) {}

    ~AtomicWrite() {
        if (!temporaryName_.empty()) ::unlinkat(directory_.get(), temporaryName_.c_str(), 0);
    }

    void run() {
        const std::filesystem::path folder = target_.parent_path();
        name_ = target_.filename().string();
        if (name_.empty() || name_ == "." || name_ == "..") fail(FileWriteError::Stage::createTemporary, EISDIR);
        openDirectory(folder.empty() ? std::filesystem::path(".") : folder);
        rememberExistingMode();

        Descriptor file(::openat(directory_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
        const bool unnamed = file.valid();
        if (!unnamed) {
            if (!temporaryFilesUnsupported(errno)) fail(FileWriteError::Stage::createTemporary, errno);
            file.reset(createNamedTemporary());
        }
        fillAndFlush(file);
        if (unnamed) giveName(file);
        if (file.close() != 0) fail(FileWriteError::Stage::write, errno);

        if (::renameat(directory_.get(), temporaryName_.c_str(), directory_.get(), name_.c_str()) != 0) {
            fail(FileWriteError::Stage::replace, errno);
        }
        // The folder is not flushed: the new name reaches the disk with the file system's next
        // commit, and until then a crash shows the old file, which is whole as well.
        temporaryName_.clear();
    }

private:
    [[noreturn]] void fail(FileWriteError::Stage stage, int errorNumber) const {
        throw FileWriteError(target_, stage, errorNumber);
    }

    void openDirectory(const std::filesystem::path& folder) {
        directory_.reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!directory_.valid()) fail(FileWriteError::Stage::createTemporary, errno);
    }

    void rememberExistingMode() {
        struct stat existing {};
        if (::fstatat(directory_.get(), name_.c_str(), &existing, 0) == 0 && S_ISREG(existing.st_mode)) {
            existingMode_ = existing.st_mode & 07777;
        }
    }

    static bool temporaryFilesUnsupported(int errorNumber) {
        return errorNumber == EOPNOTSUPP || errorNumber == EISDIR || errorNumber == EINVAL;
    }

    int createNamedTemporary() {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = temporaryName();
            const int fd = ::openat(directory_.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                temporaryName_ = std::move(name);
                return fd;
            }
            if (errno != EEXIST) fail(FileWriteError::Stage::createTemporary, errno);
        }
        fail(FileWriteError::Stage::createTemporary, EEXIST);
    }

    void fillAndFlush(const Descriptor& file) const {
        fill_([&](std::span<const std::uint8_t> bytes) {
            if (!writeAll(file.get(), bytes)) fail(FileWriteError::Stage::write, errno);
        });
        if (existingMode_ && ::fchmod(file.get(), *existingMode_) != 0) fail(FileWriteError::Stage::write, errno);
        if (::fdatasync(file.get()) != 0) fail(FileWriteError::Stage::write, errno);
    }

    // An unnamed temporary file gets a hidden name only once it is complete, so a process
    // killed while writing leaves nothing behind.
    void giveName(const Descriptor& file) {
        const std::string procPath = "/proc/self/fd/" + std::to_string(file.get());
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = temporaryName();
            int result = ::linkat(AT_FDCWD, procPath.c_str(), directory_.get(), name.c_str(), AT_SYMLINK_FOLLOW);
            if (result != 0 && errno == ENOENT) {
                result = ::linkat(file.get(), "", directory_.get(), name.c_str(), AT_EMPTY_PATH);
            }
            if (result == 0) {
                temporaryName_ = std::move(name);
                return;
            }
            if (errno != EEXIST) fail(FileWriteError::Stage::replace, errno);
        }
        fail(FileWriteError::Stage::replace, EEXIST);
    }

    const std::filesystem::path& target_;
    const std::function<void(const ByteSink&)>& fill_;
    std::string name_;
    Descriptor directory_;
    std::optional<mode_t> existingMode_;
    std::string temporaryName_;  // set while a named temporary file exists
};

std::string describe(const std::filesystem::path& path, FileWriteError::Stage stage, int errorNumber) {
    const char* action = stage == FileWriteError::Stage::replace ? "replace" : "write";
    return std::string("Could not ") + action + " \u201C" + path.string() + "\u201D: " + std::strerror(errorNumber);
}

}  // namespace

FileWriteError::FileWriteError(std::filesystem::path path, Stage stage, int errorNumber)
    : path_(std::move(path)), stage_(stage), errorNumber_(errorNumber),
      description_(describe(path_, stage_, errorNumber_)) {}

std::string FileWriteError::description() const { return description_; }

void writeFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> bytes) {
    writeFileAtomicallyFrom(target, [bytes](const ByteSink& write) { write(bytes); });
}

void writeFileAtomicallyFrom(const std::filesystem::path& target, const std::function<void(const ByteSink&)>& fill) {
    AtomicWrite(target, fill).run();
}

}  // namespace orvane
