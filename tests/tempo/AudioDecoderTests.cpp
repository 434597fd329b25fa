// The audio file decoder on files made at test time with the ffmpeg program: plain WAVE files
// read directly, lengths, long files, and files that are not audio or are damaged. That every
// accepted format gives the tempo of the same recording as WAVE is checked in
// tests/peers/test_tempo_formats.py.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "PeerAvailability.h"
#include "TempoTestSupport.h"
#include "tempo/OrvaneTempoDetector.h"

namespace orvane::tempo {
namespace {

using testing::TemporaryFolder;

constexpr int rate = 44100;
constexpr std::size_t frames = 2 * rate + 123;

float sourceSample(std::size_t i, unsigned channel) {
    const double t = static_cast<double>(i) / rate;
    return channel == 0 ? static_cast<float>(0.5 * std::sin(2 * M_PI * 440 * t))
                        : static_cast<float>(0.3 * std::sin(2 * M_PI * 660 * t) + 0.1 * std::sin(2 * M_PI * 97 * t));
}

std::vector<float> interleavedSource(unsigned channels, std::size_t count = frames) {
    std::vector<float> samples(count * channels);
    for (std::size_t i = 0; i < count; ++i) {
        for (unsigned c = 0; c < channels; ++c) samples[i * channels + c] = sourceSample(i, c);
    }
    return samples;
}

std::string decoderError(const std::filesystem::path& path) {
    try {
        auto decoder = openAudioFile(path);
        decoder->lengthInFrames();
        EXPECT_LE(decodeFirstFrames(*decoder, 1 << 20).frameLength, frames);
    } catch (const AudioFileError& error) {
        return error.description();
    }
    return "(no error)";
}

class AudioDecoder : public ::testing::Test {
protected:
    void SetUp() override {
        ORVANE_REQUIRE_PEER(testing::haveFFmpegProgram(), "the ffmpeg program is not installed (run ./bootstrap)");
        ASSERT_FALSE(folder_.path().empty());
    }

    std::filesystem::path encode(const std::string& name, const std::string& options, unsigned channels = 2,
                                 std::size_t count = frames, int sampleRate = rate) {
        const auto path = folder_.path() / name;
        EXPECT_TRUE(testing::encodeWithFFmpeg(interleavedSource(channels, count), channels, sampleRate, path, options))
            << name;
        return path;
    }

    TemporaryFolder folder_;
};

TEST_F(AudioDecoder, PlainWaveFilesReadDirectlyMatchFFmpegBitForBit) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"s16.wav", "-c:a pcm_s16le"}, {"s24.wav", "-c:a pcm_s24le"}, {"s32.wav", "-c:a pcm_s32le"},
        {"u8.wav", "-c:a pcm_u8"},     {"f32.wav", "-c:a pcm_f32le"}, {"f64.wav", "-c:a pcm_f64le"},
    };
    for (const auto& [name, options] : cases) {
        for (unsigned channels : {1u, 2u, 3u}) {
            SCOPED_TRACE(name + " with " + std::to_string(channels) + " channels");
            const auto path = encode(std::to_string(channels) + name, options, channels, 5000);
            auto direct = openPCMWaveFile(path);
            ASSERT_NE(direct, nullptr);
            auto ffmpeg = openAudioFileWithFFmpeg(path);
            EXPECT_EQ(std::tuple(direct->sampleRate(), direct->channelCount(), direct->lengthInFrames()),
                      std::tuple(ffmpeg->sampleRate(), channels, ffmpeg->lengthInFrames()));
            EXPECT_EQ(direct->lengthInFrames(), 5000u);
            const auto decoded = decodeFirstFrames(*direct, 6000);
            EXPECT_EQ(decoded.frameLength, 5000u);
            EXPECT_EQ(decoded.channels, decodeFirstFrames(*ffmpeg, 6000).channels);
        }
    }
    // Files that are not plain PCM WAVE go to FFmpeg.
    EXPECT_EQ(openPCMWaveFile(encode("alaw.wav", "-c:a pcm_alaw")), nullptr);
    EXPECT_EQ(openPCMWaveFile(encode("plain.flac", "")), nullptr);
    EXPECT_EQ(openAudioFile(folder_.path() / "alaw.wav")->lengthInFrames(), frames);
}

// Overwrites bytes of a file at `offset`.
void overwrite(const std::filesystem::path& path, std::streamoff offset, const std::string& bytes) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(offset);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST_F(AudioDecoder, WaveLengthComesFromTheDataChunk) {
    // A chunk after the samples does not count as audio.
    const auto trailing = encode("trailing.wav", "-c:a pcm_s16le", 2, 3000);
    {
        std::ofstream out(trailing, std::ios::binary | std::ios::app);
        out.write("LIST\x0a\x00\x00\x00INFOabcdef", 18);
    }
    EXPECT_EQ(openAudioFile(trailing)->lengthInFrames(), 3000u);

    // A streamed file (size left at all ones) and a truncated one run to the end of the file.
    const auto streamed = encode("streamed.wav", "-c:a pcm_s16le", 2, 3000);
    overwrite(streamed, static_cast<std::streamoff>(orvane::testing::readText(streamed).find("data")) + 4, "\xFF\xFF\xFF\xFF");
    EXPECT_EQ(openAudioFile(streamed)->lengthInFrames(), 3000u);
    const auto truncated = encode("truncated.wav", "-c:a pcm_s16le", 2, 3000);
    std::filesystem::resize_file(truncated, std::filesystem::file_size(truncated) - 400 * 4 - 1);
    EXPECT_EQ(openAudioFile(truncated)->lengthInFrames(), 2599u);
    EXPECT_EQ(decodeFirstFrames(*openAudioFile(truncated), 5000).frameLength, 2599u);
}

// Counts the frames a decoder hands out.
class CountingDecoder final : public AudioFileDecoder {
public:
    explicit CountingDecoder(std::unique_ptr<AudioFileDecoder> inner) : inner_(std::move(inner)) {}
    [[nodiscard]] double sampleRate() const override { return inner_->sampleRate(); }
    [[nodiscard]] unsigned channelCount() const override { return inner_->channelCount(); }
    [[nodiscard]] std::uint64_t lengthInFrames() override { return inner_->lengthInFrames(); }
    std::uint64_t decodeFromStart(std::uint64_t maximumFrames,
                                  const std::function<void(const PlanarChunk&)>& sink) override {
        return inner_->decodeFromStart(maximumFrames, [&](const PlanarChunk& chunk) {
            delivered += chunk.frameCount;
            sink(chunk);
        });
    }
    std::uint64_t delivered = 0;

private:
    std::unique_ptr<AudioFileDecoder> inner_;
};

TEST_F(AudioDecoder, LongFilesReportTheirWholeLengthWhileOnlyTheWindowIsDecoded) {
    constexpr std::size_t longFrames = 65 * 22050 + 17;
    for (const std::string name : {"long.flac", "long.mp3", "long.wav"}) {
        SCOPED_TRACE(name);
        const auto path = encode(name, name == "long.mp3" ? "-c:a libmp3lame" : "", 1, longFrames, 22050);
        EXPECT_DOUBLE_EQ(OrvaneTempoDetector::audioDurationSeconds(path), static_cast<double>(longFrames) / 22050);
        CountingDecoder counting(openAudioFile(path));
        const auto window = OrvaneTempoDetector::loadMonoAnalysisWindow(counting, 60.0);
        EXPECT_EQ(window.samples.size(), 60u * 22050);
        EXPECT_EQ(counting.delivered, 60u * 22050);
    }
}

TEST_F(AudioDecoder, FilesThatAreNotAudioFailClearly) {
    for (const auto& [name, text] : {std::pair{"notes.mp3", "These are my notes, not a song.\n"}, {"empty.wav", ""}}) {
        std::ofstream(folder_.path() / name) << text;
        EXPECT_EQ(decoderError(folder_.path() / name), "Unsupported audio format.") << name;
    }

    // A container with pictures but no sound.
    const auto video = folder_.path() / "video.m4a";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -f lavfi -i color=c=red:s=32x32:d=0.2 -c:v mpeg4 -f mp4 '" +
                           video.string() + "'")
                              .c_str()),
              0);
    EXPECT_EQ(decoderError(video), "Unsupported audio format.");
}

// A file cut in half or with garbage in its middle decodes what it can, or fails with a reason.
TEST_F(AudioDecoder, DamagedFilesDecodeWhatTheyCanWithoutCrashing) {
    for (const std::string name : {"cut.mp3", "cut.flac", "cut.m4a", "cut.caf"}) {
        SCOPED_TRACE(name);
        const auto path = encode(name, name == "cut.m4a" ? "-c:a aac -movflags +faststart" : "");
        std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
        EXPECT_NE(decoderError(path), "");
        const auto scrambled = encode("scrambled-" + name, "");
        overwrite(scrambled, static_cast<std::streamoff>(std::filesystem::file_size(scrambled) / 3), std::string(2000, 'Z'));
        EXPECT_NE(decoderError(scrambled), "");
    }
}

}  // namespace
}  // namespace orvane::tempo
