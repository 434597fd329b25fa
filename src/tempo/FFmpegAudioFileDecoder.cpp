// The audio file decoder on FFmpeg: libavformat demuxes, libavcodec decodes, libswresample
// converts sample formats to planar float at the file's own rate (it never changes the rate).
//
// The FFmpeg libraries are loaded on first use instead of being linked: loading them with the
// hundred-odd libraries they depend on costs tens of milliseconds, which every run of the
// program would pay otherwise, even when no file reaches FFmpeg.

#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>

#include "support/Diagnostics.h"
#include "tempo/AudioFileDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/intreadwrite.h>
#include <libavutil/log.h>
#include <libavutil/macros.h>
#include <libswresample/swresample.h>
}

namespace orvane::tempo {
namespace {

// library name, function name
#define ORVANE_FFMPEG_FUNCTIONS(X) \
    X(format, avformat_open_input) \
    X(format, avformat_find_stream_info) \
    X(format, avformat_close_input) \
    X(format, av_find_best_stream) \
    X(format, av_read_frame) \
    X(codec, avcodec_alloc_context3) \
    X(codec, avcodec_parameters_to_context) \
    X(codec, avcodec_open2) \
    X(codec, avcodec_free_context) \
    X(codec, avcodec_send_packet) \
    X(codec, avcodec_receive_frame) \
    X(codec, av_packet_alloc) \
    X(codec, av_packet_free) \
    X(codec, av_packet_unref) \
    X(codec, av_packet_get_side_data) \
    X(codec, av_get_bits_per_sample) \
    X(util, av_frame_alloc) \
    X(util, av_frame_free) \
    X(util, av_frame_unref) \
    X(util, av_strerror) \
    X(util, av_log_set_level) \
    X(util, av_log_set_callback) \
    X(util, av_log_format_line2) \
    X(util, av_rescale_q) \
    X(util, av_channel_layout_copy) \
    X(util, av_channel_layout_uninit) \
    X(resample, swr_alloc_set_opts2) \
    X(resample, swr_init) \
    X(resample, swr_free) \
    X(resample, swr_convert)

struct FFmpegLibraries {
#define ORVANE_FFMPEG_POINTER(library, name) decltype(&::name) name = nullptr;
    ORVANE_FFMPEG_FUNCTIONS(ORVANE_FFMPEG_POINTER)
#undef ORVANE_FFMPEG_POINTER
    std::string failure;  // why the libraries could not be used; empty when they can
};

FFmpegLibraries loadFFmpegLibraries() {
    FFmpegLibraries loaded;
    const auto open = [&](const char* soname) -> void* {
        void* handle = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr && loaded.failure.empty()) {
            const char* reason = ::dlerror();
            loaded.failure = std::string("Unable to load FFmpeg: ") + (reason != nullptr ? reason : soname);
        }
        return handle;
    };
    // Kept loaded for the rest of the process.
    void* util = open("libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR));
    void* resample = open("libswresample.so." AV_STRINGIFY(LIBSWRESAMPLE_VERSION_MAJOR));
    void* codec = open("libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR));
    void* format = open("libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR));
    if (!loaded.failure.empty()) return loaded;
#define ORVANE_FFMPEG_LOOKUP(library, name)                                               \
    loaded.name = reinterpret_cast<decltype(&::name)>(::dlsym(library, #name));          \
    if (loaded.name == nullptr && loaded.failure.empty()) {                               \
        loaded.failure = "Unable to load FFmpeg: " #name " is missing.";                  \
    }
    ORVANE_FFMPEG_FUNCTIONS(ORVANE_FFMPEG_LOOKUP)
#undef ORVANE_FFMPEG_LOOKUP
    return loaded;
}

// The loaded libraries; every caller below has gone through openContainer, which fails
// when they are missing.
const FFmpegLibraries& ffmpeg() {
    static const FFmpegLibraries libraries = loadFFmpegLibraries();
    return libraries;
}

// FFmpeg's own log lines go to the diagnostics log, never straight to the terminal.
void forwardFFmpegLog(void* context, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR || !BetaDiagnostics::shared().isEchoing()) return;
    char line[1024];
    int printPrefix = 1;
    ffmpeg().av_log_format_line2(context, level, format, arguments, line, sizeof line, &printPrefix);
    std::string_view text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    if (!text.empty()) logDiagnostic("FFmpeg", text);
}

void routeFFmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        ffmpeg().av_log_set_level(AV_LOG_ERROR);
        ffmpeg().av_log_set_callback(forwardFFmpegLog);
    });
}

AudioFileError ffmpegError(int code) {
    char message[AV_ERROR_MAX_STRING_SIZE] = {};
    if (ffmpeg().av_strerror(code, message, sizeof message) < 0) {
        std::snprintf(message, sizeof message, "FFmpeg error %d", code);
    }
    return AudioFileError("FFmpeg", code, message);
}

struct FormatCloser {
    void operator()(AVFormatContext* context) const noexcept { ffmpeg().avformat_close_input(&context); }
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const noexcept { ffmpeg().avcodec_free_context(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const noexcept { ffmpeg().av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const noexcept { ffmpeg().av_frame_free(&frame); }
};
struct ResamplerFreer {
    void operator()(SwrContext* context) const noexcept { ffmpeg().swr_free(&context); }
};
using FormatPointer = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPointer = std::unique_ptr<AVCodecContext, CodecFreer>;
using PacketPointer = std::unique_ptr<AVPacket, PacketFreer>;
using FramePointer = std::unique_ptr<AVFrame, FrameFreer>;
using ResamplerPointer = std::unique_ptr<SwrContext, ResamplerFreer>;

// A file FFmpeg cannot open. Contents it does not recognise (FFmpeg says "Invalid data found
// when processing input" or, for some demuxers, "Invalid argument") are an unsupported
// format; other failures (a missing or unreadable file) keep FFmpeg's own message.
AudioFileError openError(int code) {
    if (code == AVERROR_INVALIDDATA || code == AVERROR(EINVAL)) {
        return AudioFileError("FFmpeg", code, AudioFileError::unsupportedAudioFormat().description());
    }
    return ffmpegError(code);
}

// True when the header alone describes every stream fully: rate, channels and length known.
// AAC is always probed further, as its real rate may only show in the first decoded frame.
bool headerIsComplete(const AVFormatContext& format) {
    if ((format.ctx_flags & AVFMTCTX_NOHEADER) != 0 || format.nb_streams == 0) return false;
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream& stream = *format.streams[i];
        const AVCodecParameters& parameters = *stream.codecpar;
        if (parameters.codec_type != AVMEDIA_TYPE_AUDIO) continue;
        if (parameters.sample_rate <= 0 || parameters.ch_layout.nb_channels <= 0 ||
            stream.duration == AV_NOPTS_VALUE || parameters.codec_id == AV_CODEC_ID_AAC) {
            return false;
        }
    }
    return true;
}

// Opens a file and probes its streams. Probing reads and decodes the first packets, which
// costs several milliseconds for large PCM files, so it is skipped when the header already
// says everything.
FormatPointer openContainer(const std::filesystem::path& path) {
    if (const auto& failure = ffmpeg().failure; !failure.empty()) throw AudioFileError("FFmpeg", 0, failure);
    routeFFmpegLog();
    AVFormatContext* raw = nullptr;
    if (const int rc = ffmpeg().avformat_open_input(&raw, path.c_str(), nullptr, nullptr); rc < 0) throw openError(rc);
    FormatPointer format(raw);
    if (!headerIsComplete(*format)) {
        if (const int rc = ffmpeg().avformat_find_stream_info(format.get(), nullptr); rc < 0) throw openError(rc);
    }
    return format;
}

void discardAllStreamsBut(AVFormatContext& format, int streamIndex) {
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        format.streams[i]->discard = static_cast<int>(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
}

PacketPointer newPacket() {
    PacketPointer packet(ffmpeg().av_packet_alloc());
    if (!packet) throw AudioFileError::unableToAllocateBuffer();
    return packet;
}

class FFmpegAudioFileDecoder final : public AudioFileDecoder {
public:
    explicit FFmpegAudioFileDecoder(const std::filesystem::path& path) : path_(path), format_(openContainer(path)) {
        const AVCodec* codec = nullptr;
        streamIndex_ = ffmpeg().av_find_best_stream(format_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (streamIndex_ < 0 || codec == nullptr) throw AudioFileError::unsupportedAudioFormat();
        discardAllStreamsBut(*format_, streamIndex_);
        stream_ = format_->streams[streamIndex_];
        codec_.reset(ffmpeg().avcodec_alloc_context3(codec));
        if (!codec_) throw AudioFileError::unableToAllocateBuffer();
        if (ffmpeg().avcodec_parameters_to_context(codec_.get(), stream_->codecpar) < 0) {
            throw AudioFileError::unsupportedAudioFormat();
        }
        codec_->pkt_timebase = stream_->time_base;
        if (ffmpeg().avcodec_open2(codec_.get(), codec, nullptr) < 0 || codec_->sample_rate <= 0 ||
            codec_->ch_layout.nb_channels <= 0) {
            throw AudioFileError::unsupportedAudioFormat();
        }
        sampleRate_ = codec_->sample_rate;
        channelCount_ = static_cast<unsigned>(codec_->ch_layout.nb_channels);
    }

    [[nodiscard]] double sampleRate() const override { return sampleRate_; }
    [[nodiscard]] unsigned channelCount() const override { return channelCount_; }

    [[nodiscard]] std::uint64_t lengthInFrames() override {
        if (!length_) {
            const auto recorded = recordedLength();
            length_ = recorded ? *recorded : countedLength();
        }
        return *length_;
    }

    std::uint64_t decodeFromStart(std::uint64_t maximumFrames,
                                  const std::function<void(const PlanarChunk&)>& sink) override;

private:
    // The length the container records, when it is exact. MP3 files record their length with
    // the encoder's priming and padding included, and a length estimated from the bit rate is
    // exact only for PCM, so those are counted instead.
    [[nodiscard]] std::optional<std::uint64_t> recordedLength() const {
        const bool isMP3 = std::string_view(format_->iformat->name) == "mp3";
        const bool estimated = format_->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE &&
                               ffmpeg().av_get_bits_per_sample(stream_->codecpar->codec_id) == 0;
        if (isMP3 || estimated) return std::nullopt;
        if (stream_->duration == AV_NOPTS_VALUE || stream_->duration <= 0) return std::nullopt;
        const std::int64_t frames = ffmpeg().av_rescale_q(stream_->duration, stream_->time_base, AVRational{1, codec_->sample_rate});
        if (frames <= 0) return std::nullopt;
        return static_cast<std::uint64_t>(frames);
    }

    // Counts the frames by reading the packets (no decoding): their durations less the
    // priming and padding the demuxer marks for the decoder to drop. Falls back to decoding the
    // whole file when packets carry no duration.
    [[nodiscard]] std::uint64_t countedLength() const;

    // Hands one decoded frame (at most `remaining` of its samples) to the sink; returns the
    // frames delivered, or nothing when the stream changed its rate or channel count.
    std::optional<std::size_t> deliver(const AVFrame& frame, std::uint64_t remaining,
                                       const std::function<void(const PlanarChunk&)>& sink);
    void convertToPlanarFloat(const AVFrame& frame);

    std::filesystem::path path_;
    FormatPointer format_;
    AVStream* stream_ = nullptr;
    int streamIndex_ = -1;
    CodecPointer codec_;
    ResamplerPointer resampler_;
    int resamplerInputFormat_ = AV_SAMPLE_FMT_NONE;
    std::vector<std::vector<float>> scratch_;
    std::vector<const float*> planes_;
    double sampleRate_ = 0;
    unsigned channelCount_ = 0;
    std::optional<std::uint64_t> length_;
};

std::uint64_t FFmpegAudioFileDecoder::countedLength() const {
    FormatPointer format = openContainer(path_);
    if (static_cast<unsigned>(streamIndex_) >= format->nb_streams) throw AudioFileError::unsupportedAudioFormat();
    discardAllStreamsBut(*format, streamIndex_);
    const AVRational timeBase = format->streams[streamIndex_]->time_base;
    PacketPointer packet = newPacket();
    std::int64_t duration = 0;
    std::int64_t dropped = 0;
    bool durationsKnown = true;
    int rc = 0;
    while ((rc = ffmpeg().av_read_frame(format.get(), packet.get())) >= 0) {
        if (packet->stream_index == streamIndex_) {
            if (packet->duration <= 0) durationsKnown = false;
            duration += packet->duration;
            std::size_t size = 0;
            if (const std::uint8_t* skip = ffmpeg().av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
                skip != nullptr && size >= 8) {
                dropped += static_cast<std::int64_t>(AV_RL32(skip)) + static_cast<std::int64_t>(AV_RL32(skip + 4));
            }
        }
        ffmpeg().av_packet_unref(packet.get());
        if (!durationsKnown) break;
    }
    if (rc != AVERROR_EOF && rc < 0) throw ffmpegError(rc);
    if (durationsKnown) {
        const std::int64_t frames = ffmpeg().av_rescale_q(duration, timeBase, AVRational{1, codec_->sample_rate}) - dropped;
        return frames > 0 ? static_cast<std::uint64_t>(frames) : 0;
    }
    FFmpegAudioFileDecoder counter(path_);
    return counter.decodeFromStart(std::numeric_limits<std::uint64_t>::max(), [](const PlanarChunk&) {});
}

void FFmpegAudioFileDecoder::convertToPlanarFloat(const AVFrame& frame) {
    if (!resampler_ || resamplerInputFormat_ != frame.format) {
        SwrContext* raw = nullptr;
        AVChannelLayout layout = {};
        if (ffmpeg().av_channel_layout_copy(&layout, &frame.ch_layout) < 0) throw AudioFileError::unableToAllocateBuffer();
        const auto inputFormat = static_cast<AVSampleFormat>(frame.format);
        const int rc = ffmpeg().swr_alloc_set_opts2(&raw, &layout, AV_SAMPLE_FMT_FLTP, frame.sample_rate, &layout, inputFormat,
                                           frame.sample_rate, 0, nullptr);
        ffmpeg().av_channel_layout_uninit(&layout);
        resampler_.reset(raw);
        if (rc < 0 || ffmpeg().swr_init(resampler_.get()) < 0) {
            resampler_.reset();
            throw AudioFileError::unsupportedAudioFormat();
        }
        resamplerInputFormat_ = frame.format;
    }
    const auto samples = static_cast<std::size_t>(frame.nb_samples);
    std::vector<std::uint8_t*> output(scratch_.size());
    for (std::size_t c = 0; c < scratch_.size(); ++c) {
        if (scratch_[c].size() < samples) scratch_[c].resize(samples);
        output[c] = reinterpret_cast<std::uint8_t*>(scratch_[c].data());
        planes_[c] = scratch_[c].data();
    }
    const int converted = ffmpeg().swr_convert(resampler_.get(), output.data(), frame.nb_samples,
                                      const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples);
    if (converted != frame.nb_samples) throw AudioFileError::unsupportedAudioFormat();
}

std::optional<std::size_t> FFmpegAudioFileDecoder::deliver(const AVFrame& frame, std::uint64_t remaining,
                                                           const std::function<void(const PlanarChunk&)>& sink) {
    if (frame.sample_rate != codec_->sample_rate || frame.ch_layout.nb_channels != static_cast<int>(channelCount_)) {
        logDiagnostic("FFmpeg", "Audio stream changes its rate or channel count; decoding stops there.");
        return std::nullopt;
    }
    if (frame.nb_samples <= 0) return 0;
    scratch_.resize(channelCount_);
    planes_.resize(channelCount_);
    if (frame.format == AV_SAMPLE_FMT_FLTP) {
        for (unsigned c = 0; c < channelCount_; ++c) planes_[c] = reinterpret_cast<const float*>(frame.extended_data[c]);
    } else {
        convertToPlanarFloat(frame);
    }
    const auto frames = static_cast<std::size_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(frame.nb_samples), remaining));
    sink(PlanarChunk{std::span<const float* const>(planes_.data(), planes_.size()), frames});
    return frames;
}

std::uint64_t FFmpegAudioFileDecoder::decodeFromStart(std::uint64_t maximumFrames,
                                                      const std::function<void(const PlanarChunk&)>& sink) {
    // AAC in MP4 ends with the encoder's padding, which FFmpeg decodes: the recorded length
    // says where the audio really ends.
    if (const auto recorded = recordedLength()) maximumFrames = std::min(maximumFrames, *recorded);
    PacketPointer packet = newPacket();
    FramePointer frame(ffmpeg().av_frame_alloc());
    if (!frame) throw AudioFileError::unableToAllocateBuffer();
    std::uint64_t delivered = 0;
    bool inputEnded = false;
    while (delivered < maximumFrames) {
        const int received = ffmpeg().avcodec_receive_frame(codec_.get(), frame.get());
        if (received == 0) {
            const auto frames = deliver(*frame, maximumFrames - delivered, sink);
            ffmpeg().av_frame_unref(frame.get());
            if (!frames) break;
            delivered += *frames;
            continue;
        }
        if (received == AVERROR_EOF) break;
        if (received == AVERROR_INVALIDDATA) continue;  // a damaged frame is skipped
        if (received != AVERROR(EAGAIN)) throw ffmpegError(received);
        if (inputEnded) break;

        const int read = ffmpeg().av_read_frame(format_.get(), packet.get());
        if (read < 0) {
            // The end of the file, or damage that ends it early: decode what is buffered.
            if (read != AVERROR_EOF && delivered == 0) throw ffmpegError(read);
            inputEnded = true;
            ffmpeg().avcodec_send_packet(codec_.get(), nullptr);
            continue;
        }
        if (packet->stream_index == streamIndex_) {
            const int sent = ffmpeg().avcodec_send_packet(codec_.get(), packet.get());
            if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN)) {
                ffmpeg().av_packet_unref(packet.get());
                throw ffmpegError(sent);
            }
        }
        ffmpeg().av_packet_unref(packet.get());
    }
    return delivered;
}

}  // namespace

std::unique_ptr<AudioFileDecoder> openAudioFileWithFFmpeg(const std::filesystem::path& path) {
    return std::make_unique<FFmpegAudioFileDecoder>(path);
}

}  // namespace orvane::tempo
