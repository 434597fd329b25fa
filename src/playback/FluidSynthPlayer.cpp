#include "playback/FluidSynthPlayer.h"

#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "playback/PlaybackSchedule.h"
#include "playback/Sequencer.h"
#include "playback/SoundFontLocation.h"
#include "playback/WAVFile.h"
#include "support/Diagnostics.h"

namespace orvane::playback {
namespace {

constexpr std::string_view logSource = "FluidSynthPlayer";

// Every synthesizer shares the loaded SoundFonts, whose samples count their users without
// locks; all synthesis in the process therefore runs under this one lock. It also guards
// each player's sequencer between the audio thread and the caller's thread.
std::mutex& synthesisMutex() {
    static std::mutex mutex;
    return mutex;
}

// Set while a synthesizer is taken apart: giving back the shared SoundFont makes FluidSynth
// warn that the channels have lost their presets, which is the point.
thread_local bool tearingDown = false;

void forwardFluidSynthLog(int level, const char* message, void*) {
    if (tearingDown) return;
    const char* prefix = level == FLUID_PANIC ? "panic: " : level == FLUID_ERR ? "error: " : level == FLUID_WARN ? "warning: " : "";
    logDiagnostic("FluidSynth", std::string(prefix) + (message != nullptr ? message : ""));
}

void routeFluidSynthLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO}) {
            fluid_set_log_function(level, forwardFluidSynthLog, nullptr);
        }
        fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
    });
}

struct SettingsDeleter {
    void operator()(fluid_settings_t* settings) const noexcept { delete_fluid_settings(settings); }
};
using Settings = std::unique_ptr<fluid_settings_t, SettingsDeleter>;

Settings makeSettings(double sampleRate, int cpuCores = 1) {
    routeFluidSynthLog();
    Settings settings(new_fluid_settings());
    if (!settings) throw MIDIFilePlayerError("The synthesizer could not be set up.");
    fluid_settings_setnum(settings.get(), "synth.sample-rate", sampleRate);
    fluid_settings_setint(settings.get(), "synth.cpu-cores", std::max(1, cpuCores));
    fluid_settings_setint(settings.get(), "synth.lock-memory", 0);
    fluid_settings_setint(settings.get(), "synth.dynamic-sample-loading", 0);
    return settings;
}

// The SoundFonts loaded in this process. A SoundFont is read once, by a synthesizer kept only
// for holding it, and lent to every player's synthesizer; it stays loaded until the process
// ends (the library is never destroyed, so no player can outlive it).
class SoundFontLibrary {
public:
    static SoundFontLibrary& shared() {
        static auto* library = new SoundFontLibrary();
        return *library;
    }

    fluid_sfont_t* load(const std::filesystem::path& path) {
        std::lock_guard lock(mutex_);
        const std::string key = path.string();
        if (const auto found = fonts_.find(key); found != fonts_.end()) return found->second;
        if (!holder_) {
            holderSettings_ = makeSettings(44100);
            fluid_settings_setint(holderSettings_.get(), "synth.polyphony", 1);
            fluid_settings_setint(holderSettings_.get(), "synth.reverb.active", 0);
            fluid_settings_setint(holderSettings_.get(), "synth.chorus.active", 0);
            holder_ = new_fluid_synth(holderSettings_.get());
            if (holder_ == nullptr) throw MIDIFilePlayerError("The synthesizer could not be set up.");
        }
        // The new SoundFont is the top of the holder's stack (players' synthesizers renumber
        // the fonts they are lent, so ids are not looked up).
        const int id = fluid_synth_sfload(holder_, key.c_str(), 0);
        fluid_sfont_t* font = id == FLUID_FAILED ? nullptr : fluid_synth_get_sfont(holder_, 0);
        if (font == nullptr) {
            throw MIDIFilePlayerError("The SoundFont \u201C" + key + "\u201D could not be loaded.");
        }
        logDiagnostic(logSource, "Loaded SoundFont " + key);
        fonts_.emplace(key, font);
        return font;
    }

private:
    SoundFontLibrary() = default;

    std::mutex mutex_;
    Settings holderSettings_;
    fluid_synth_t* holder_ = nullptr;
    std::map<std::string, fluid_sfont_t*> fonts_;
};

}  // namespace

void preloadSoundFont(const FluidSynthOptions& options) {
    (void)SoundFontLibrary::shared().load(locateSoundFont(options.soundFont));
}

namespace {

// Deleting a synthesizer deletes the SoundFonts on its stack; the shared one is taken off
// first.
struct SynthDeleter {
    fluid_sfont_t* sharedFont = nullptr;
    void operator()(fluid_synth_t* synth) const noexcept {
        tearingDown = true;
        if (sharedFont != nullptr) fluid_synth_remove_sfont(synth, sharedFont);
        delete_fluid_synth(synth);
        tearingDown = false;
    }
};

class FluidSynthesizer final : public SynthesizerPort {
public:
    // cpuCores above 1 lets FluidSynth render voices on that many threads.
    explicit FluidSynthesizer(const FluidSynthOptions& options, int cpuCores = 1)
        : settings_(makeSettings(options.sampleRate > 0 ? options.sampleRate : 44100, cpuCores)) {
        fluid_sfont_t* font = SoundFontLibrary::shared().load(locateSoundFont(options.soundFont));
        synth_ = std::unique_ptr<fluid_synth_t, SynthDeleter>(new_fluid_synth(settings_.get()), SynthDeleter{});
        if (!synth_) throw MIDIFilePlayerError("The synthesizer could not be set up.");
        std::lock_guard lock(synthesisMutex());
        if (fluid_synth_add_sfont(synth_.get(), font) == FLUID_FAILED) {
            throw MIDIFilePlayerError("The SoundFont could not be given to the synthesizer.");
        }
        synth_.get_deleter().sharedFont = font;
        fluid_settings_getnum(settings_.get(), "synth.sample-rate", &sampleRate_);
    }

    ~FluidSynthesizer() override {
        std::lock_guard lock(synthesisMutex());
        synth_.reset();
    }

    [[nodiscard]] fluid_settings_t* settings() const noexcept { return settings_.get(); }
    [[nodiscard]] fluid_synth_t* synth() const noexcept { return synth_.get(); }
    [[nodiscard]] double sampleRate() const noexcept { return sampleRate_; }

    void send(const midi::MIDIEvent& message) override {
        fluid_synth_t* synth = synth_.get();
        const int channel = message.channel();
        const int data1 = message.size() > 1 ? message[1] & 0x7F : 0;
        const int data2 = message.size() > 2 ? message[2] & 0x7F : 0;
        switch (message.status() & 0xF0) {
            case 0x80: fluid_synth_noteoff(synth, channel, data1); break;
            case 0x90:
                if (data2 == 0) {
                    fluid_synth_noteoff(synth, channel, data1);
                } else {
                    fluid_synth_noteon(synth, channel, data1, data2);
                }
                break;
            case 0xA0: fluid_synth_key_pressure(synth, channel, data1, data2); break;
            case 0xB0: fluid_synth_cc(synth, channel, data1, data2); break;
            case 0xC0: fluid_synth_program_change(synth, channel, data1); break;
            case 0xD0: fluid_synth_channel_pressure(synth, channel, data1); break;
            case 0xE0: fluid_synth_pitch_bend(synth, channel, data1 | (data2 << 7)); break;
            case 0xF0: {
                const auto payload = systemExclusivePayload(message);
                if (!payload.empty()) {
                    fluid_synth_sysex(synth, reinterpret_cast<const char*>(payload.data()),
                                      static_cast<int>(payload.size()), nullptr, nullptr, nullptr, 0);
                }
                break;
            }
            default: break;
        }
    }

    void resetAll() override { fluid_synth_system_reset(synth_.get()); }

    void releaseAll() override {
        for (int channel = 0; channel < 16; ++channel) {
            fluid_synth_cc(synth_.get(), channel, 64, 0);
            fluid_synth_all_notes_off(synth_.get(), channel);
        }
    }

    void render(std::span<float> left, std::span<float> right) override {
        if (left.empty()) return;
        // The effects are mixed into the dry signal.
        float* effects[4] = {left.data(), right.data(), left.data(), right.data()};
        float* dry[2] = {left.data(), right.data()};
        fluid_synth_process(synth_.get(), static_cast<int>(left.size()), 4, effects, 2, dry);
    }

private:
    Settings settings_;
    std::unique_ptr<fluid_synth_t, SynthDeleter> synth_;
    double sampleRate_ = 44100;
};

struct AudioDriverDeleter {
    void operator()(fluid_audio_driver_t* driver) const noexcept { delete_fluid_audio_driver(driver); }
};

std::atomic<bool>& fallbackHappened() {
    static std::atomic<bool> happened{false};
    return happened;
}

// The audio drivers to try, in order: the one named by ORVANE_AUDIO_DRIVER, else the sound
// server, then ALSA where the machine has sound devices at all (ALSA prints its own errors
// when it has none).
std::vector<std::string> audioDriversToTry() {
    if (const char* named = std::getenv("ORVANE_AUDIO_DRIVER"); named != nullptr && *named != '\0') {
        return {named};
    }
    std::vector<std::string> drivers = {"pulseaudio"};
    std::error_code error;
    if (std::filesystem::is_directory("/dev/snd", error)) drivers.emplace_back("alsa");
    return drivers;
}

bool silentOutputRequested(const FluidSynthOptions& options) {
    if (options.silentOutput) return true;
    const char* output = std::getenv("ORVANE_AUDIO_OUTPUT");
    return output != nullptr && std::string_view(output) == "null";
}

}  // namespace

// ---- The player ---------------------------------------------------------------------------

struct FluidSynthPlayer::Impl {
    Impl(std::span<const std::uint8_t> data, const FluidSynthOptions& playerOptions)
        : options(playerOptions),
          schedule(PlaybackSchedule::fromStandardMIDIFile(data)),  // refused data fails before any loading
          synthesizer(options),
          sequencer(std::move(schedule), synthesizer, synthesizer.sampleRate()) {}

    ~Impl() {
        {
            std::lock_guard lock(synthesisMutex());
            closing = true;
        }
        wake.notify_all();
        if (silentOutputThread.joinable()) silentOutputThread.join();
        driver.reset();  // waits for a callback in progress
    }

    static int audioCallback(void* data, int length, int, float*[], int outputs, float* out[]) {
        auto* self = static_cast<Impl*>(data);
        if (outputs < 2 || length <= 0) return FLUID_OK;
        const auto frames = static_cast<std::size_t>(length);
        std::function<void()> finished;
        {
            std::lock_guard lock(synthesisMutex());
            finished = self->renderLocked(std::span(out[0], frames), std::span(out[1], frames));
        }
        if (finished) finished();
        return FLUID_OK;
    }

    // Renders a block; returns the completion to run (outside the lock) when the song ended.
    std::function<void()> renderLocked(std::span<float> left, std::span<float> right) {
        if (!sequencer.render(left, right)) return nullptr;
        return std::exchange(completion, nullptr);
    }

    void openOutput() {
        if (outputOpen) return;
        outputOpen = true;
        if (!silentOutputRequested(options)) {
            for (const auto& name : audioDriversToTry()) {
                fluid_settings_setstr(synthesizer.settings(), "audio.driver", name.c_str());
                driver.reset(new_fluid_audio_driver2(synthesizer.settings(), audioCallback, this));
                if (driver) {
                    logDiagnostic(logSource, "Audio output: " + name);
                    return;
                }
            }
            if (!fallbackHappened().exchange(true)) {
                logDiagnostic(logSource, "No audio device could be opened; playing on a silent output that keeps time");
            }
        }
        silent = true;
        silentOutputThread = std::thread([this] { runSilentOutput(); });
    }

    // Renders in small blocks at the pace of the wall clock while playing; sleeps otherwise.
    void runSilentOutput() {
        constexpr std::size_t blockFrames = 256;
        std::vector<float> left(blockFrames);
        std::vector<float> right(blockFrames);
        const double rate = sequencer.sampleRate();
        std::unique_lock lock(synthesisMutex());
        while (!closing) {
            if (!sequencer.isPlaying()) {
                wake.wait(lock);
                continue;
            }
            const auto origin = std::chrono::steady_clock::now();
            const std::uint64_t run = playRun;
            std::uint64_t rendered = 0;
            while (!closing && run == playRun) {
                std::fill(left.begin(), left.end(), 0.0f);
                std::fill(right.begin(), right.end(), 0.0f);
                const bool playing = sequencer.isPlaying();
                if (auto finished = renderLocked(left, right)) {
                    lock.unlock();
                    finished();
                    lock.lock();
                }
                if (!playing) break;
                rendered += blockFrames;
                const auto due = origin + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                              std::chrono::duration<double>(static_cast<double>(rendered) / rate));
                wake.wait_until(lock, due, [&] { return closing || run != playRun; });
            }
        }
    }

    FluidSynthOptions options;
    PlaybackSchedule schedule;
    FluidSynthesizer synthesizer;
    Sequencer sequencer;
    std::function<void()> completion;  // of the current run
    std::uint64_t playRun = 0;         // counts play() calls, so the silent output restarts its clock

    bool outputOpen = false;
    bool silent = false;
    bool closing = false;
    std::unique_ptr<fluid_audio_driver_t, AudioDriverDeleter> driver;
    std::thread silentOutputThread;
    std::condition_variable wake;
};

FluidSynthPlayer::FluidSynthPlayer(std::span<const std::uint8_t> data, const FluidSynthOptions& options)
    : impl_(std::make_unique<Impl>(data, options)) {}

FluidSynthPlayer::~FluidSynthPlayer() { stop(); }

void FluidSynthPlayer::prepareToPlay() { impl_->openOutput(); }

double FluidSynthPlayer::duration() const { return impl_->sequencer.duration(); }

double FluidSynthPlayer::currentPosition() const {
    std::lock_guard lock(synthesisMutex());
    return impl_->sequencer.position();
}

void FluidSynthPlayer::setCurrentPosition(double seconds) {
    std::lock_guard lock(synthesisMutex());
    impl_->sequencer.setPosition(seconds);
}

bool FluidSynthPlayer::isPlaying() const {
    std::lock_guard lock(synthesisMutex());
    return impl_->sequencer.isPlaying();
}

void FluidSynthPlayer::play(std::function<void()> completion) {
    impl_->openOutput();
    {
        std::lock_guard lock(synthesisMutex());
        if (impl_->sequencer.isPlaying()) return;
        impl_->completion = std::move(completion);
        ++impl_->playRun;
        impl_->sequencer.start();
    }
    impl_->wake.notify_all();
}

void FluidSynthPlayer::stop() {
    std::function<void()> finished;
    {
        std::lock_guard lock(synthesisMutex());
        if (!impl_->sequencer.isPlaying()) return;
        impl_->sequencer.stop();
        finished = std::exchange(impl_->completion, nullptr);
    }
    impl_->wake.notify_all();
    if (finished) finished();
}

int FluidSynthPlayer::channelProgram(int channel) const {
    std::lock_guard lock(synthesisMutex());
    int font = 0;
    int bank = 0;
    int program = 0;
    fluid_synth_get_program(impl_->synthesizer.synth(), channel, &font, &bank, &program);
    return program;
}

bool FluidSynthPlayer::usesSilentOutput() const { return impl_->silent; }

bool FluidSynthPlayer::fellBackToSilentOutput() { return fallbackHappened().load(); }

MIDIFilePlayerFactory makeFluidSynthPlayerFactory(FluidSynthOptions options) {
    return [options = std::move(options)](std::span<const std::uint8_t> data) -> std::unique_ptr<MIDIFilePlayer> {
        return std::make_unique<FluidSynthPlayer>(data, options);
    };
}

// ---- Offline rendering ----------------------------------------------------------------------

RenderedWAV renderWAV(std::span<const std::uint8_t> data, const FluidSynthOptions& options, double tailSeconds) {
    PlaybackSchedule schedule = PlaybackSchedule::fromStandardMIDIFile(data);
    // Faster than real time, so every core helps; playing needs only one.
    const auto cores = static_cast<int>(std::min(4U, std::max(1U, std::thread::hardware_concurrency())));
    FluidSynthesizer synthesizer(options, cores);
    const double rate = synthesizer.sampleRate();
    Sequencer sequencer(std::move(schedule), synthesizer, rate);

    const auto tailFrames = static_cast<std::uint64_t>(std::max(0.0, tailSeconds) * rate);
    const std::uint64_t frames = sequencer.endFrame() + tailFrames;
    if (frames > PCM16WAVFile::maximumStereoFrames) {
        throw MIDIFilePlayerError("The song is too long to be written as a WAV file.");
    }
    PCM16WAVFile wav(frames, static_cast<std::uint32_t>(rate));

    constexpr std::size_t blockFrames = 4096;
    std::vector<float> left(blockFrames);
    std::vector<float> right(blockFrames);
    {
        std::lock_guard lock(synthesisMutex());
        sequencer.start();
    }
    for (std::uint64_t done = 0; done < frames;) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(blockFrames, frames - done));
        std::fill_n(left.begin(), count, 0.0f);
        std::fill_n(right.begin(), count, 0.0f);
        {
            std::lock_guard lock(synthesisMutex());
            sequencer.render(std::span(left).first(count), std::span(right).first(count));
        }
        wav.setFrames(done, std::span(left).first(count), std::span(right).first(count));
        done += count;
    }

    RenderedWAV result;
    result.frames = frames;
    result.songDuration = sequencer.duration();
    result.peak = wav.peak();
    result.bytes = std::move(wav).takeBytes();
    return result;
}

}  // namespace orvane::playback
