#include "tempo/AudioFileDecoder.h"

namespace orvane::tempo {

AudioFileError::AudioFileError(std::string domain, int code, std::string description)
    : domain_(std::move(domain)), code_(code), description_(std::move(description)) {}

AudioFileError AudioFileError::unableToAllocateBuffer() {
    return AudioFileError(audioLoaderErrorDomain, 10, "Unable to allocate audio buffer.");
}

AudioFileError AudioFileError::unsupportedAudioFormat() {
    return AudioFileError(audioLoaderErrorDomain, 11, "Unsupported audio format.");
}

std::unique_ptr<AudioFileDecoder> openAudioFile(const std::filesystem::path& path) {
    if (auto wave = openPCMWaveFile(path)) return wave;
    return openAudioFileWithFFmpeg(path);
}

PlanarAudio decodeFirstFrames(AudioFileDecoder& decoder, std::uint64_t maximumFrames) {
    PlanarAudio audio;
    audio.channels.resize(decoder.channelCount());
    decoder.decodeFromStart(maximumFrames, [&](const PlanarChunk& chunk) {
        for (std::size_t c = 0; c < audio.channels.size() && c < chunk.channels.size(); ++c) {
            audio.channels[c].insert(audio.channels[c].end(), chunk.channels[c], chunk.channels[c] + chunk.frameCount);
        }
        audio.frameLength += chunk.frameCount;
    });
    return audio;
}

}  // namespace orvane::tempo
