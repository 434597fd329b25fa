// WAVE files holding plain integer or float PCM are read directly: their samples need no
// decoding, and loading the FFmpeg libraries alone costs more than the whole tempo analysis
// of such a file. The conversions to float are the ones libswresample applies, so both
// routes give the same samples bit for bit. Anything else goes to FFmpeg.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <bit>
#include <cstring>
#include <optional>

#include "tempo/AudioFileDecoder.h"

namespace orvane::tempo {
namespace {

static_assert(std::endian::native == std::endian::little, "WAVE samples are read in place as little-endian");

// Frames converted at a time: at most this many, and no more than fit in 64 KiB of samples
// (a file may claim thousands of channels).
constexpr std::size_t maximumChunkFrames = 4096;
constexpr std::size_t chunkBytes = 64 * 1024;

enum class SampleEncoding { unsigned8, signed16, signed24, signed32, float32, float64 };

struct WaveLayout {
    SampleEncoding encoding = SampleEncoding::signed16;
    unsigned channels = 0;
    unsigned blockAlign = 0;
    double sampleRate = 0;
    std::uint64_t dataOffset = 0;
    std::uint64_t frames = 0;
};

std::uint32_t little32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint16_t little16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

// An open file descriptor, closed on destruction.
class FileHandle {
public:
    explicit FileHandle(const std::filesystem::path& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    [[nodiscard]] bool isOpen() const { return fd_ >= 0; }
    // Reads up to `size` bytes at `offset`; returns the bytes read (fewer at the end of the
    // file), or nothing on an error.
    std::optional<std::size_t> read(void* into, std::size_t size, std::uint64_t offset) const {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t got = ::pread(fd_, static_cast<char*>(into) + done, size - done,
                                        static_cast<off_t>(offset + done));
            if (got < 0) {
                if (errno == EINTR) continue;
                return std::nullopt;
            }
            if (got == 0) break;
            done += static_cast<std::size_t>(got);
        }
        return done;
    }
    [[nodiscard]] std::uint64_t size() const {
        const off_t end = ::lseek(fd_, 0, SEEK_END);
        return end > 0 ? static_cast<std::uint64_t>(end) : 0;
    }

private:
    int fd_ = -1;
};

std::optional<SampleEncoding> encodingFor(std::uint16_t formatTag, std::uint16_t bits) {
    constexpr std::uint16_t integerPCM = 1;
    constexpr std::uint16_t floatPCM = 3;
    if (formatTag == integerPCM) {
        switch (bits) {
            case 8: return SampleEncoding::unsigned8;
            case 16: return SampleEncoding::signed16;
            case 24: return SampleEncoding::signed24;
            case 32: return SampleEncoding::signed32;
            default: return std::nullopt;
        }
    }
    if (formatTag == floatPCM) {
        if (bits == 32) return SampleEncoding::float32;
        if (bits == 64) return SampleEncoding::float64;
    }
    return std::nullopt;
}

// The "fmt " chunk: plain PCM or float, directly or inside WAVE_FORMAT_EXTENSIBLE.
std::optional<WaveLayout> parseFormat(const std::uint8_t* chunk, std::size_t size) {
    if (size < 16) return std::nullopt;
    std::uint16_t formatTag = little16(chunk);
    WaveLayout layout;
    layout.channels = little16(chunk + 2);
    layout.sampleRate = little32(chunk + 4);
    layout.blockAlign = little16(chunk + 12);
    const std::uint16_t bits = little16(chunk + 14);
    constexpr std::uint16_t extensible = 0xFFFE;
    if (formatTag == extensible) {
        // The sub-format GUID is the format tag followed by a fixed suffix.
        static constexpr std::array<std::uint8_t, 14> suffix = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                                0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        if (size < 40 || std::memcmp(chunk + 26, suffix.data(), suffix.size()) != 0) return std::nullopt;
        formatTag = little16(chunk + 24);
    }
    const auto encoding = encodingFor(formatTag, bits);
    if (!encoding || layout.channels == 0 || layout.sampleRate <= 0 ||
        layout.blockAlign != layout.channels * (bits / 8u)) {
        return std::nullopt;
    }
    layout.encoding = *encoding;
    return layout;
}

// Walks the chunks of a RIFF WAVE file up to its "data" chunk.
std::optional<WaveLayout> readLayout(const FileHandle& file) {
    std::uint8_t header[12];
    if (file.read(header, sizeof header, 0) != sizeof header || std::memcmp(header, "RIFF", 4) != 0 ||
        std::memcmp(header + 8, "WAVE", 4) != 0) {
        return std::nullopt;
    }
    const std::uint64_t fileSize = file.size();
    std::optional<WaveLayout> layout;
    std::uint64_t offset = 12;
    while (offset + 8 <= fileSize) {
        std::uint8_t chunkHeader[8];
        if (file.read(chunkHeader, sizeof chunkHeader, offset) != sizeof chunkHeader) return std::nullopt;
        const std::uint64_t size = little32(chunkHeader + 4);
        const std::uint64_t body = offset + 8;
        if (std::memcmp(chunkHeader, "fmt ", 4) == 0) {
            std::uint8_t format[40] = {};
            const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof format));
            if (file.read(format, wanted, body) != wanted) return std::nullopt;
            layout = parseFormat(format, wanted);
            if (!layout) return std::nullopt;
        } else if (std::memcmp(chunkHeader, "data", 4) == 0) {
            if (!layout) return std::nullopt;
            // A streamed file leaves the size 0 or all ones; a truncated one claims more than
            // is there. Either way the samples run to the end of the file.
            const std::uint64_t available = fileSize - body;
            const bool unknown = size == 0 || size == 0xFFFFFFFFu;
            layout->dataOffset = body;
            layout->frames = (unknown ? available : std::min(size, available)) / layout->blockAlign;
            return layout;
        }
        offset = body + size + (size & 1);
    }
    return std::nullopt;
}

template <class Sample>
Sample loadSample(const std::uint8_t* bytes) {
    Sample value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

float sampleAsFloat(SampleEncoding encoding, const std::uint8_t* bytes) {
    switch (encoding) {
        case SampleEncoding::unsigned8: return static_cast<float>(bytes[0] - 0x80) * (1.0f / (1 << 7));
        case SampleEncoding::signed16: return static_cast<float>(loadSample<std::int16_t>(bytes)) * (1.0f / (1 << 15));
        case SampleEncoding::signed24: {
            const auto value = static_cast<std::int32_t>(little32(bytes - 1) & 0xFFFFFF00u);  // sign in bit 31
            return static_cast<float>(value) * (1.0f / 2147483648.0f);
        }
        case SampleEncoding::signed32:
            return static_cast<float>(loadSample<std::int32_t>(bytes)) * (1.0f / 2147483648.0f);
        case SampleEncoding::float32: return loadSample<float>(bytes);
        case SampleEncoding::float64: return static_cast<float>(loadSample<double>(bytes));
    }
    return 0;
}

class PCMWaveFileDecoder final : public AudioFileDecoder {
public:
    PCMWaveFileDecoder(std::unique_ptr<FileHandle> file, const WaveLayout& layout)
        : file_(std::move(file)), layout_(layout) {}

    [[nodiscard]] double sampleRate() const override { return layout_.sampleRate; }
    [[nodiscard]] unsigned channelCount() const override { return layout_.channels; }
    [[nodiscard]] std::uint64_t lengthInFrames() override { return layout_.frames; }

    std::uint64_t decodeFromStart(std::uint64_t maximumFrames,
                                  const std::function<void(const PlanarChunk&)>& sink) override {
        const std::size_t channels = layout_.channels;
        const std::size_t bytesPerSample = layout_.blockAlign / channels;
        const std::size_t chunkFrames = std::clamp<std::size_t>(chunkBytes / layout_.blockAlign, 1, maximumChunkFrames);
        std::vector<std::uint8_t> raw(chunkFrames * layout_.blockAlign + 1);
        std::vector<float> planar(chunkFrames * channels);
        std::vector<const float*> planes(channels);
        for (std::size_t c = 0; c < channels; ++c) planes[c] = planar.data() + c * chunkFrames;

        const std::uint64_t total = std::min(maximumFrames, layout_.frames);
        std::uint64_t delivered = 0;
        while (delivered < total) {
            const auto frames = static_cast<std::size_t>(std::min<std::uint64_t>(chunkFrames, total - delivered));
            // One spare byte in front lets a 24-bit sample be loaded as the top of 32 bits.
            const auto got = file_->read(raw.data() + 1, frames * layout_.blockAlign,
                                         layout_.dataOffset + delivered * layout_.blockAlign);
            if (!got) {
                if (delivered == 0) throw AudioFileError("POSIX", errno, std::strerror(errno));
                break;
            }
            const std::size_t complete = *got / layout_.blockAlign;
            if (complete == 0) break;
            convert(raw.data() + 1, complete, bytesPerSample, planar.data(), chunkFrames);
            sink(PlanarChunk{std::span<const float* const>(planes.data(), planes.size()), complete});
            delivered += complete;
            if (complete < frames) break;
        }
        return delivered;
    }

private:
    void convert(const std::uint8_t* bytes, std::size_t frames, std::size_t bytesPerSample, float* planar,
                 std::size_t stride) const {
        const std::size_t channels = layout_.channels;
        if (layout_.encoding == SampleEncoding::signed16 && channels <= 2) {
            // The common case, in loops the compiler can vectorise.
            std::int16_t values[2 * maximumChunkFrames];
            std::memcpy(values, bytes, frames * channels * 2);
            constexpr float scale = 1.0f / (1 << 15);
            if (channels == 1) {
                for (std::size_t i = 0; i < frames; ++i) planar[i] = static_cast<float>(values[i]) * scale;
            } else {
                for (std::size_t i = 0; i < frames; ++i) {
                    planar[i] = static_cast<float>(values[2 * i]) * scale;
                    planar[stride + i] = static_cast<float>(values[2 * i + 1]) * scale;
                }
            }
            return;
        }
        for (std::size_t i = 0; i < frames; ++i) {
            for (std::size_t c = 0; c < channels; ++c) {
                planar[c * stride + i] = sampleAsFloat(layout_.encoding, bytes + (i * channels + c) * bytesPerSample);
            }
        }
    }

    std::unique_ptr<FileHandle> file_;
    WaveLayout layout_;
};

}  // namespace

std::unique_ptr<AudioFileDecoder> openPCMWaveFile(const std::filesystem::path& path) {
    auto file = std::make_unique<FileHandle>(path);
    if (!file->isOpen()) return nullptr;
    const auto layout = readLayout(*file);
    if (!layout) return nullptr;
    return std::make_unique<PCMWaveFileDecoder>(std::move(file), *layout);
}

}  // namespace orvane::tempo
