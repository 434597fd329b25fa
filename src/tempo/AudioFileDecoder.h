#pragma once
// The audio file decoder seen by the tempo detector: open a file, read its native sample rate,
// its length in frames and its channel count, and decode frames from the start of the file
// into planar 32-bit float at the file's own rate. The FFmpeg implementation lives in
// FFmpegAudioFileDecoder.cpp; tests may supply samples through their own implementation.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace orvane::tempo {

// A failure to open, read or decode an audio file. `domain` is "OrvaneTempoDetector" for the
// loader's own failures (code 10: no buffer, code 11: no float channel data) and "FFmpeg" for
// the decoder's (code: FFmpeg's error number, description: FFmpeg's own message).
class AudioFileError : public std::exception {
public:
    AudioFileError(std::string domain, int code, std::string description);

    [[nodiscard]] const std::string& domain() const noexcept { return domain_; }
    [[nodiscard]] int code() const noexcept { return code_; }
    [[nodiscard]] std::string description() const { return description_; }
    [[nodiscard]] const char* what() const noexcept override { return description_.c_str(); }

    static AudioFileError unableToAllocateBuffer();
    static AudioFileError unsupportedAudioFormat();

private:
    std::string domain_;
    int code_ = 0;
    std::string description_;
};

inline constexpr const char* audioLoaderErrorDomain = "OrvaneTempoDetector";

// One decoded stretch of audio: `channels[c][i]` is frame i of channel c, for i < frameCount.
struct PlanarChunk {
    std::span<const float* const> channels;
    std::size_t frameCount = 0;
};

class AudioFileDecoder {
public:
    virtual ~AudioFileDecoder() = default;

    // The file's native sample rate in Hz; decoded frames come at this rate.
    [[nodiscard]] virtual double sampleRate() const = 0;
    [[nodiscard]] virtual unsigned channelCount() const = 0;
    // The whole file's length in sample frames. May have to read through the file when the
    // container does not record it; throws AudioFileError.
    [[nodiscard]] virtual std::uint64_t lengthInFrames() = 0;
    // Decodes from the start of the file, handing the frames to `sink` in order, and stops
    // after `maximumFrames` frames or at the end of the file. Returns the frames delivered.
    // Throws AudioFileError. Call it at most once per decoder.
    virtual std::uint64_t decodeFromStart(std::uint64_t maximumFrames,
                                          const std::function<void(const PlanarChunk&)>& sink) = 0;
};

// Opens an audio file: a WAVE file of plain PCM directly, anything else with FFmpeg, whose
// libraries are loaded on first use. Throws AudioFileError.
std::unique_ptr<AudioFileDecoder> openAudioFile(const std::filesystem::path& path);
// Opens a file with FFmpeg, whatever it holds. Throws AudioFileError.
std::unique_ptr<AudioFileDecoder> openAudioFileWithFFmpeg(const std::filesystem::path& path);
// Opens a WAVE file of 8/16/24/32-bit integer or 32/64-bit float samples; nothing for any
// other file.
std::unique_ptr<AudioFileDecoder> openPCMWaveFile(const std::filesystem::path& path);

using AudioFileOpener = std::function<std::unique_ptr<AudioFileDecoder>(const std::filesystem::path&)>;

// The first frames of a file as whole channels (`channels[c]` holds `frameLength` samples).
struct PlanarAudio {
    std::vector<std::vector<float>> channels;
    std::size_t frameLength = 0;
};
PlanarAudio decodeFirstFrames(AudioFileDecoder& decoder, std::uint64_t maximumFrames);

}  // namespace orvane::tempo
