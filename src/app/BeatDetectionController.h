#pragma once
// The beat-detection window's flow, without a toolkit. It runs the tempo detector on a
// background queue for one audio file, reveals the waveform as the detector works, then shows
// the detected tempo with its alternatives and corrections (or the failure) and hands an
// accepted tempo to its opener. Callbacks that arrive after clean-up are ignored.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/RunLoop.h"
#include "tempo/OrvaneTempoDetector.h"

namespace orvane::app {

// Everything the window shows.
struct BeatDetectionState {
    std::string status = "Preparing beat detection...";
    std::vector<tempo::OrvaneWaveformSlice> slices;
    double reveal = 0;  // 0...1, the revealed fraction of the waveform
    bool waveformFailed = false;

    std::string fileNameValue = "--";
    std::string tempoValue = "--";
    std::string lengthValue = "--";
    std::string detectionNoteValue = "--";
    std::string totalBeatsValue = "--";
    std::vector<std::string> candidateTitles;  // "Use detected 120.000 BPM", "Use alternate ..."
    std::optional<std::size_t> selectedCandidate;
    bool candidateRowVisible = true;

    bool gridVisible = false;
    bool correctionsVisible = false;
    bool applyVisible = false;
    bool applyEnabled = false;
    std::string applyTooltip;  // depends on whether a MIDI file is loaded
    bool okVisible = false;
    bool okEnabled = false;
    friend bool operator==(const BeatDetectionState&, const BeatDetectionState&) = default;
};

// The window's four correction buttons.
enum class TempoCorrection { half, twoThirds, threeHalves, twice };
struct TempoCorrectionButton {
    TempoCorrection correction;
    std::string_view title;    // "1/2", "2/3", "3/2", "2x"
    double factor;
    std::string_view tooltip;
    std::string_view logReason;
};
[[nodiscard]] const std::vector<TempoCorrectionButton>& tempoCorrectionButtons();

// "--" unless positive and finite; else whole seconds (halves away from zero) as "m:ss".
[[nodiscard]] std::string songLengthText(double seconds);
// The detection note under the result.
[[nodiscard]] std::string detectionNote(const tempo::OrvaneBeatDetectionResult& result);

// The waveform preview as lines to draw in a view of width x height points (origin at the top
// left): a rounded frame, a centre line, and one vertical line per slice, clipped to the
// revealed part of the frame. Nothing is drawn when the frame is empty.
struct WaveformDrawing {
    struct Rect {
        double x = 0, y = 0, width = 0, height = 0;
        friend bool operator==(const Rect&, const Rect&) = default;
    };
    struct Line {
        double x = 0;
        double top = 0;     // the positive peak
        double bottom = 0;  // the negative peak
        friend bool operator==(const Line&, const Line&) = default;
    };
    static constexpr double cornerRadius = 7;
    static constexpr double frameLineWidth = 0.75;
    static constexpr double centreLineWidth = 0.5;

    bool visible = false;  // false: the frame is empty and nothing is drawn
    Rect frame;
    double centreY = 0, centreStartX = 0, centreEndX = 0;
    // The slice lines are clipped to [frame.x, frame.x + clipWidth]; 0 draws none.
    double clipWidth = 0;
    double lineWidth = 0;  // with round caps
    std::vector<Line> lines;  // only those that reach into the clip
    friend bool operator==(const WaveformDrawing&, const WaveformDrawing&) = default;
};
[[nodiscard]] WaveformDrawing waveformLines(std::span<const tempo::OrvaneWaveformSlice> slices, double reveal,
                                            double width, double height);

class BeatDetectionController : public std::enable_shared_from_this<BeatDetectionController> {
public:
    static constexpr double reportRevealDelay = 0.7;
    static constexpr double minimumTempo = 10.0;
    static constexpr double maximumTempo = 300.0;
    static constexpr int contentWidth = 520;
    static constexpr int contentHeight = 430;

    // canApplyTempo: a MIDI file is loaded. onApplyTempo gets the accepted BPM; onClose runs
    // once at clean-up. open decodes audio files (FFmpeg unless a test supplies its own).
    static std::shared_ptr<BeatDetectionController> create(RunLoop& runLoop, std::filesystem::path audioURL,
                                                           bool canApplyTempo,
                                                           std::function<void(double)> onApplyTempo,
                                                           std::function<void()> onClose,
                                                           tempo::AudioFileOpener open = tempo::openAudioFile);

    // Set by the window: the state changed and must be drawn again; the window must close.
    std::function<void()> onStateChange;
    std::function<void()> onCloseRequested;

    // Logs the presentation and starts detection on the background queue.
    void show();

    // ---- Actions of the window ------------------------------------------------------
    void okButtonClicked();
    void applyTempoButtonClicked();
    void candidatePickerChanged(std::size_t index);
    void correctionClicked(TempoCorrection correction);
    // The window closes by any means: clean-up with the reason "window close".
    void windowWillClose();
    // Closes the window from outside (a new file was loaded): clean-up, then the window goes.
    void close();

    // ---- State -------------------------------------------------------------------------
    [[nodiscard]] const BeatDetectionState& state() const noexcept { return state_; }
    [[nodiscard]] std::optional<double> selectedTempoBPM() const noexcept { return selectedTempoBPM_; }
    [[nodiscard]] const std::optional<tempo::OrvaneBeatDetectionResult>& result() const noexcept { return result_; }
    [[nodiscard]] bool cleanupCompleted() const noexcept { return cleanupCompleted_; }
    [[nodiscard]] bool canApplyTempo() const noexcept { return canApplyTempo_; }
    // Selects a tempo (clamped to 10...300 and rounded to three decimals); answers whether it
    // had to be limited.
    bool updateSelectedTempo(double bpm, std::string_view reason);

private:
    BeatDetectionController(RunLoop& runLoop, std::filesystem::path audioURL, bool canApplyTempo,
                            std::function<void(double)> onApplyTempo, std::function<void()> onClose,
                            tempo::AudioFileOpener open);
    // Implementation details are the implementer's.
    void startDetection();
    void cleanupAudioState(std::string_view reason);
    void changed();
    void requestClose();
    // Whether a forwarded callback of start `serial` may act; logs the first late one.
    bool acceptCallback(std::uint64_t serial, const std::function<std::string()>& description);
    void receiveProgress(std::uint64_t serial, double fraction, const std::string& message);
    void receiveWaveform(std::uint64_t serial, std::vector<tempo::OrvaneWaveformSlice> slices);
    void receiveResult(std::uint64_t serial, tempo::OrvaneBeatDetectionResult result);
    void receiveFailure(std::uint64_t serial, const std::string& description);
    void finishRevealBeforeReport(bool failed);
    void revealResult();
    void revealFailure();

    RunLoop& runLoop_;
    tempo::AudioFileOpener open_;
    std::optional<std::filesystem::path> sourceURL_;
    std::optional<tempo::OrvaneBeatDetectionResult> result_;
    std::optional<double> selectedTempoBPM_;
    std::vector<double> candidateTempoByIndex_;
    std::function<void()> onClose_;
    bool canApplyTempo_;
    std::function<void(double)> onApplyTempo_;
    bool cleanupCompleted_ = false;
    std::string lastLoggedProgressMessage_;
    bool loggedLateCallback_ = false;
    std::uint64_t startSerial_ = 0;  // tells the callbacks of one start from another's
    TimerHandle reportTimer_;        // the delayed report after the reveal
    BeatDetectionState state_;
};

}  // namespace orvane::app
