// The main controller on the stress song (16 tracks × 200,000 notes): loading it (rows,
// activity lists, lanes and the full-song stream), a seek that rebuilds the stream, and one
// progress tick while playing with the mixer open. Each against a same-run baseline.

#include <filesystem>

#include "BenchSupport.h"
#include "app/MainViewController.h"
#include "playback/FakeMIDIFilePlayer.h"
#include "support/ManualRunLoop.h"

namespace orvane::bench {
namespace {

using namespace app;

class QuietSink final : public MainViewSink {
public:
    void render(const MainViewState&, unsigned) override {}
};

// Answers nothing; the mixer window is kept so the controller meters it.
class QuietModalPort final : public ModalPort {
public:
    void runAlert(AlertRequest, std::function<void(int)>) override {}
    void chooseFolder(FolderRequest, PathAnswer) override {}
    void chooseSaveLocation(SavePanelRequest, PathAnswer) override {}
    void chooseFileToOpen(OpenPanelRequest, PathAnswer) override {}
    void revealInFileManager(const std::filesystem::path&) override {}
    void beep() override {}
    void showPrompt(PromptRequest, std::function<void(PromptResult)>) override {}
    void askTempo(TempoPromptRequest, std::function<void(std::optional<TempoPromptAnswer>)>) override {}
    void showInstrumentPicker(std::shared_ptr<InstrumentPicker>,
                              std::function<void(std::optional<InstrumentPickerSelection>)>) override {}
    void showDrumPicker(std::shared_ptr<DrumPicker>, std::function<void(std::optional<DrumInstrumentSelection>)>) override {}
    void showLoopExportDialog(std::shared_ptr<LoopExportDialog>) override {}
    void showMixerWindow(std::shared_ptr<MixerPanel> panel) override { mixer = std::move(panel); }
    void showBeatDetectionWindow(std::shared_ptr<BeatDetectionController>) override {}
    std::shared_ptr<MixerPanel> mixer;
};

std::filesystem::path songFile(const std::string& name, const Bytes& bytes) {
    const auto path = std::filesystem::temp_directory_path() / "orvane-bench" / name;
    if (!std::filesystem::exists(path)) {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    }
    return path;
}

std::filesystem::path stressFile() { return songFile("stress-v1-format1-controller.mid", stressSong(1)); }
std::filesystem::path demoFile() { return std::filesystem::path(ORVANE_SOURCE_DIR) / "examples" / "demo.mid"; }

struct Session {
    ManualRunLoop loop;
    playback::FakeMIDIFilePlayerFactory players{loop};
    QuietSink sink;
    QuietModalPort modal;
    std::shared_ptr<MainViewController> controller;
    Session() {
        players.nextDuration = 100000;
        controller = MainViewController::create({loop, modal, sink, players.factory()});
    }
};

void BM_LoadStressSong(benchmark::State& state) {
    const auto path = stressFile();
    Session session;
    timeAgainstBaseline(
        state, [&] { return freshCopy(stressSong(1)); },
        [&] {
            session.controller->loadMIDI(path);
            session.loop.runUntilIdle();
            return session.controller->trackRows().size();
        });
}

void seekThatRebuilds(benchmark::State& state, const std::filesystem::path& path, const Bytes& bytes) {
    Session session;
    session.controller->loadMIDI(path);
    session.controller->playAction();
    session.controller->pauseAction();
    session.controller->sliderMoved(8);
    session.controller->applyTransposeOffset(1);  // the paused stream now begins at 8 s
    bool early = true;
    timeAgainstBaseline(
        state, [&] { return freshCopy(std::span(bytes).first(bytes.size() / 10)); },
        [&] {
            // Once a stream begins later than the song, every seek builds a new one.
            early = !early;
            session.controller->sliderMoved(early ? 2 : 4);
            return session.controller->playbackTimelineOffset();
        });
}

void BM_SeekRebuildStressSong(benchmark::State& state) { seekThatRebuilds(state, stressFile(), stressSong(1)); }
void BM_SeekRebuildDemo(benchmark::State& state) {
    std::ifstream in(demoFile(), std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    seekThatRebuilds(state, demoFile(), bytes);
}

void BM_ProgressTickStressSong(benchmark::State& state) {
    Session session;
    session.controller->loadMIDI(stressFile());
    session.controller->showMixerWindow();
    session.controller->playAction();
    session.loop.advance(20);
    const Bytes sample(64 * 1024, 1);
    timeAgainstBaseline(
        state, [&] { return freshCopy(sample); },
        [&] {
            session.loop.advance(playback::MIDIPlayerController::progressInterval);
            return session.modal.mixer->meters().size();
        });
}

BENCHMARK(BM_LoadStressSong)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SeekRebuildStressSong)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_SeekRebuildDemo)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProgressTickStressSong)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace orvane::bench

BENCHMARK_MAIN();
