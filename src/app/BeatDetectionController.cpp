#include "app/BeatDetectionController.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>

#include "support/Diagnostics.h"
#include "support/TextFormat.h"

namespace orvane::app {
namespace {

constexpr double revealCapBeforeReport = 0.985;
constexpr double finishedFraction = 0.999;

void logLine(std::string_view message) { BetaDiagnostics::shared().log(message); }

const char* trueFalse(bool value) { return value ? "true" : "false"; }

double roundedToThousandths(double value) { return std::round(value * 1000.0) / 1000.0; }

// The beats of a song of `seconds` at `bpm`, as the beats value shows them.
std::string totalBeatsText(double seconds, double bpm) {
    const double beats = std::round(seconds / (60.0 / bpm));
    if (!std::isfinite(beats)) return "--";
    return formatString("%.0f", std::max(beats, 0.0));
}

std::string candidateTitle(std::size_t index, double bpm) {
    return formatString("%s %.3f BPM", index == 0 ? "Use detected" : "Use alternate", bpm);
}

}  // namespace

// ---- Texts ---------------------------------------------------------------------------------

const std::vector<TempoCorrectionButton>& tempoCorrectionButtons() {
    static const std::vector<TempoCorrectionButton> buttons = {
        {TempoCorrection::half, "1/2", 0.5, "Use half of the selected BPM.", "half tempo correction"},
        {TempoCorrection::twoThirds, "2/3", 0.6666666666666666, "Use two-thirds of the selected BPM.",
         "two-thirds tempo correction"},
        {TempoCorrection::threeHalves, "3/2", 1.5, "Use one-and-a-half times the selected BPM.",
         "three-halves tempo correction"},
        {TempoCorrection::twice, "2x", 2.0, "Use double the selected BPM.", "double tempo correction"},
    };
    return buttons;
}

std::string songLengthText(double seconds) {
    if (!std::isfinite(seconds) || !(seconds > 0)) return "--";
    const double whole = std::round(seconds);  // halves away from zero
    const double minutes = std::floor(whole / 60.0);
    const int remainder = static_cast<int>(whole - minutes * 60.0);
    return formatString("%.0f:%02d", minutes, remainder);
}

std::string detectionNote(const tempo::OrvaneBeatDetectionResult& result) {
    if (result.candidates.empty()) return formatString("Detected %.3f BPM.", result.tempoBPM);
    std::vector<std::string> alternatives;
    const double bestScore = result.candidates.front().score;
    if (bestScore > 0) {
        for (std::size_t i = 1; i < result.candidates.size() && alternatives.size() < 2; ++i) {
            if (result.candidates[i].score >= 0.45 * bestScore) {
                alternatives.push_back(formatString("%.3f", result.candidates[i].bpm));
            }
        }
    }
    if (!result.confident && !alternatives.empty()) {
        std::string joined = alternatives.front();
        if (alternatives.size() == 2) joined += " or " + alternatives.back();
        return formatString("Detected BPM is likely %.3f, but it could also be %s.", result.tempoBPM, joined.c_str());
    }
    return formatString("Detected BPM is very likely %.3f.", result.tempoBPM);
}

// ---- Waveform geometry ---------------------------------------------------------------------

WaveformDrawing waveformLines(std::span<const tempo::OrvaneWaveformSlice> slices, double reveal, double width,
                              double height) {
    WaveformDrawing drawing;
    const WaveformDrawing::Rect frame{1, 1, width - 2, height - 2};
    if (!(frame.width > 0) || !(frame.height > 0)) return drawing;
    drawing.visible = true;
    drawing.frame = frame;
    drawing.centreY = frame.y + frame.height / 2;
    drawing.centreStartX = frame.x + 8;
    drawing.centreEndX = frame.x + frame.width - 8;

    const double revealed = std::isnan(reveal) ? 0.0 : std::clamp(reveal, 0.0, 1.0);
    if (slices.empty() || !(frame.width * revealed > 0)) return drawing;
    drawing.clipWidth = frame.width * revealed;

    const WaveformDrawing::Rect inner{frame.x + 9, frame.y + 7, frame.width - 18, frame.height - 14};
    if (!(inner.width > 0) || !(inner.height > 0)) return drawing;
    const auto count = static_cast<double>(slices.size());
    drawing.lineWidth = std::max(inner.width / count * 0.58, 1.0);
    const double step = inner.width / (std::max(count, 2.0) - 1.0);
    const double midY = inner.y + inner.height / 2;
    const double halfHeight = inner.height / 2;
    const double clipEnd = frame.x + drawing.clipWidth;
    drawing.lines.reserve(slices.size());
    for (std::size_t i = 0; i < slices.size(); ++i) {
        const double x = inner.x + static_cast<double>(i) * step;
        if (x - drawing.lineWidth / 2 > clipEnd) break;  // slices run left to right
        drawing.lines.push_back({x, midY - halfHeight * static_cast<double>(slices[i].positivePeak),
                                 midY - halfHeight * static_cast<double>(slices[i].negativePeak)});
    }
    return drawing;
}

// ---- The controller ------------------------------------------------------------------------

std::shared_ptr<BeatDetectionController> BeatDetectionController::create(RunLoop& runLoop,
                                                                         std::filesystem::path audioURL,
                                                                         bool canApplyTempo,
                                                                         std::function<void(double)> onApplyTempo,
                                                                         std::function<void()> onClose,
                                                                         tempo::AudioFileOpener open) {
    return std::shared_ptr<BeatDetectionController>(new BeatDetectionController(
        runLoop, std::move(audioURL), canApplyTempo, std::move(onApplyTempo), std::move(onClose), std::move(open)));
}

BeatDetectionController::BeatDetectionController(RunLoop& runLoop, std::filesystem::path audioURL,
                                                 bool canApplyTempo, std::function<void(double)> onApplyTempo,
                                                 std::function<void()> onClose, tempo::AudioFileOpener open)
    : runLoop_(runLoop),
      open_(std::move(open)),
      sourceURL_(std::move(audioURL)),
      onClose_(std::move(onClose)),
      canApplyTempo_(canApplyTempo),
      onApplyTempo_(std::move(onApplyTempo)) {
    state_.applyTooltip = canApplyTempo_ ? "Apply detected tempo to the loaded MIDI file."
                                         : "Load a MIDI file before applying detected tempo.";
}

void BeatDetectionController::show() {
    logLine(std::string("Present Beat Detection window; Apply Tempo ") +
            (canApplyTempo_ ? "enabled" : "disabled until MIDI is loaded"));
    startDetection();
}

void BeatDetectionController::startDetection() {
    if (!sourceURL_) return;
    cleanupCompleted_ = false;
    lastLoggedProgressMessage_.clear();
    loggedLateCallback_ = false;
    reportTimer_.cancel();

    state_.gridVisible = false;
    state_.correctionsVisible = false;
    state_.okVisible = state_.okEnabled = false;
    state_.applyVisible = state_.applyEnabled = false;
    selectedTempoBPM_.reset();
    candidateTempoByIndex_.clear();
    state_.candidateTitles.clear();
    state_.selectedCandidate.reset();
    state_.slices.clear();
    state_.waveformFailed = false;
    state_.reveal = 0;
    const std::string name = sourceURL_->filename().string();
    state_.fileNameValue = name;
    state_.status = "Opening " + name;
    logLine("Started BPM detection for " + name);
    const std::uint64_t serial = ++startSerial_;
    changed();

    // The background work touches nothing of the controller: it hands copies to the main
    // thread, where the controller is looked up again (it may be gone by then).
    std::weak_ptr<BeatDetectionController> weakSelf = weak_from_this();
    RunLoop* runLoop = &runLoop_;
    runLoop_.postToBackground([weakSelf, runLoop, serial, url = *sourceURL_, open = open_] {
        const tempo::TempoProgress progress = [weakSelf, runLoop, serial](double fraction, std::string_view message) {
            runLoop->postToMain([weakSelf, serial, fraction, text = std::string(message)] {
                if (auto self = weakSelf.lock()) self->receiveProgress(serial, fraction, text);
            });
        };
        const tempo::TempoWaveform waveform = [weakSelf, runLoop,
                                               serial](const std::vector<tempo::OrvaneWaveformSlice>& slices) {
            runLoop->postToMain([weakSelf, serial, copy = slices]() mutable {
                if (auto self = weakSelf.lock()) self->receiveWaveform(serial, std::move(copy));
            });
        };
        const auto fail = [&](std::string description) {
            runLoop->postToMain([weakSelf, serial, description = std::move(description)] {
                if (auto self = weakSelf.lock()) self->receiveFailure(serial, description);
            });
        };
        try {
            auto result = tempo::OrvaneTempoDetector::detectTempo(url, progress, waveform, open);
            runLoop->postToMain([weakSelf, serial, result = std::move(result)]() mutable {
                if (auto self = weakSelf.lock()) self->receiveResult(serial, std::move(result));
            });
        } catch (const tempo::OrvaneTempoDetectionError& error) {
            fail(error.description());
        } catch (const tempo::AudioFileError& error) {
            fail(error.description());
        } catch (const std::exception& error) {
            fail(error.what());
        } catch (...) {
            fail("Unknown error");
        }
    });
}

bool BeatDetectionController::acceptCallback(std::uint64_t serial, const std::function<std::string()>& description) {
    if (serial != startSerial_) return false;  // a callback of an earlier start
    if (sourceURL_) return true;
    if (!loggedLateCallback_) {
        loggedLateCallback_ = true;
        logLine("Ignored late BPM detection callback after cleanup: " + description());
    }
    return false;
}

void BeatDetectionController::receiveProgress(std::uint64_t serial, double fraction, const std::string& message) {
    if (!acceptCallback(serial, [&] { return "progress update '" + message + "'"; })) return;
    if (!std::isfinite(fraction)) fraction = 0;
    if (message != lastLoggedProgressMessage_) {
        lastLoggedProgressMessage_ = message;
        logLine(formatString("BPM detection progress %.0f%%: ", std::round(fraction * 100.0)) + message);
    }
    if (fraction >= finishedFraction) {
        state_.reveal = std::min(std::max(state_.reveal, revealCapBeforeReport), 1.0);
        state_.status = "Finishing analysis...";
    } else {
        state_.reveal = std::clamp(std::min(fraction, revealCapBeforeReport), 0.0, 1.0);
        state_.status = message;
    }
    changed();
}

void BeatDetectionController::receiveWaveform(std::uint64_t serial, std::vector<tempo::OrvaneWaveformSlice> slices) {
    if (!acceptCallback(serial, [] { return std::string("waveform slices"); })) return;
    state_.slices = std::move(slices);
    logLine("Loaded BPM waveform preview with " + std::to_string(state_.slices.size()) + " slice(s)");
    changed();
}

void BeatDetectionController::receiveResult(std::uint64_t serial, tempo::OrvaneBeatDetectionResult result) {
    if (!acceptCallback(serial, [] { return std::string("detection result"); })) return;
    std::string candidates;
    for (const auto& candidate : result.candidates) {
        if (!candidates.empty()) candidates += ", ";
        candidates += formatString("%.3f/%.3f", candidate.bpm, candidate.score);
    }
    logLine(formatString("BPM detection complete: %.3f BPM, confidence %.3f, confident=%s, beats %lld, candidates [",
                         result.tempoBPM, result.confidence, trueFalse(result.confident),
                         static_cast<long long>(result.totalBeats)) +
            candidates + "]");
    selectedTempoBPM_ = result.tempoBPM;
    result_ = std::move(result);
    finishRevealBeforeReport(false);
}

void BeatDetectionController::receiveFailure(std::uint64_t serial, const std::string& description) {
    if (!acceptCallback(serial, [] { return std::string("detection failure"); })) return;
    result_.reset();
    finishRevealBeforeReport(true);
    logLine("BPM detection failed: " + description);
}

void BeatDetectionController::finishRevealBeforeReport(bool failed) {
    state_.gridVisible = false;
    state_.correctionsVisible = false;
    state_.okVisible = state_.okEnabled = false;
    state_.applyVisible = state_.applyEnabled = false;
    state_.reveal = 1.0;
    changed();

    reportTimer_.cancel();
    std::weak_ptr<BeatDetectionController> weakSelf = weak_from_this();
    const std::uint64_t serial = startSerial_;
    reportTimer_ = runLoop_.after(reportRevealDelay, [weakSelf, serial, failed] {
        auto self = weakSelf.lock();
        if (!self || serial != self->startSerial_ || !self->sourceURL_) return;
        self->state_.reveal = 1.0;
        if (failed) {
            self->revealFailure();
        } else {
            self->revealResult();
        }
    });
}

void BeatDetectionController::revealResult() {
    if (!result_) return;
    logLine(std::string("Reveal BPM result UI; Apply Tempo ") +
            (canApplyTempo_ ? "available" : "disabled because no MIDI file is loaded"));
    state_.fileNameValue = sourceURL_ ? sourceURL_->filename().string() : "--";

    candidateTempoByIndex_.clear();
    state_.candidateTitles.clear();
    for (const auto& candidate : result_->candidates) {
        state_.candidateTitles.push_back(candidateTitle(candidateTempoByIndex_.size(), candidate.bpm));
        candidateTempoByIndex_.push_back(candidate.bpm);
    }
    state_.candidateRowVisible = candidateTempoByIndex_.size() >= 2;
    state_.selectedCandidate = candidateTempoByIndex_.empty() ? std::nullopt : std::optional<std::size_t>(0);

    updateSelectedTempo(result_->tempoBPM, "detected top candidate");
    state_.lengthValue = songLengthText(result_->songLengthSeconds);
    state_.detectionNoteValue = detectionNote(*result_);
    state_.status = result_->confident ? "Tempo detected" : "Review tempo candidates";
    state_.gridVisible = true;
    state_.correctionsVisible = true;
    state_.applyVisible = true;
    state_.applyEnabled = canApplyTempo_;
    state_.okVisible = state_.okEnabled = true;
    changed();
}

void BeatDetectionController::revealFailure() {
    state_.waveformFailed = true;
    state_.reveal = 1.0;
    state_.status = "Beat detection failed";
    state_.fileNameValue = sourceURL_ ? sourceURL_->filename().string() : "--";
    state_.tempoValue = "--";
    state_.lengthValue = "--";
    state_.detectionNoteValue = "--";
    state_.totalBeatsValue = "--";
    state_.candidateRowVisible = candidateTempoByIndex_.size() >= 2;
    state_.gridVisible = true;
    state_.correctionsVisible = false;
    state_.applyVisible = true;
    state_.applyEnabled = false;
    state_.okVisible = state_.okEnabled = true;
    changed();
}

bool BeatDetectionController::updateSelectedTempo(double bpm, std::string_view reason) {
    if (!std::isfinite(bpm) || !(bpm > 0)) return false;
    const double limitedBPM = std::clamp(bpm, minimumTempo, maximumTempo);
    const double selected = roundedToThousandths(limitedBPM);
    selectedTempoBPM_ = selected;
    state_.tempoValue = formatString("%.3f BPM", selected);
    if (result_) state_.totalBeatsValue = totalBeatsText(result_->songLengthSeconds, selected);
    // The range decides, not the rounding: a tempo that rounds by exactly half a thousandth
    // (66.667 x 1.5) was not limited.
    const bool limited = std::fabs(limitedBPM - bpm) > 0.0005;
    if (limited) state_.status = formatString("Tempo limited to %.0f-%.0f BPM", minimumTempo, maximumTempo);
    logLine(formatString("Selected BPM %.3f via ", selected) + std::string(reason));
    changed();
    return limited;
}

// ---- Actions -------------------------------------------------------------------------------

void BeatDetectionController::okButtonClicked() {
    const auto self = shared_from_this();  // the close callbacks may drop the last owner
    cleanupAudioState("OK button");
    requestClose();
}

void BeatDetectionController::applyTempoButtonClicked() {
    const auto self = shared_from_this();
    if (!canApplyTempo_ || !result_) {
        logLine(std::string("Apply Tempo ignored; canApplyTempo=") + trueFalse(canApplyTempo_) +
                ", resultAvailable=" + trueFalse(result_.has_value()));
        return;
    }
    const double bpm = selectedTempoBPM_.value_or(result_->tempoBPM);
    logLine(formatString("Apply selected BPM %.3f to loaded MIDI", bpm));
    if (onApplyTempo_) onApplyTempo_(bpm);
    cleanupAudioState("Apply Tempo button");
    requestClose();
}

void BeatDetectionController::candidatePickerChanged(std::size_t index) {
    if (index >= candidateTempoByIndex_.size()) return;
    state_.selectedCandidate = index;
    updateSelectedTempo(candidateTempoByIndex_[index], "candidate picker");
}

void BeatDetectionController::correctionClicked(TempoCorrection correction) {
    if (!selectedTempoBPM_ || !(*selectedTempoBPM_ > 0)) return;
    const auto& buttons = tempoCorrectionButtons();
    const auto button = std::find_if(buttons.begin(), buttons.end(),
                                     [correction](const TempoCorrectionButton& b) { return b.correction == correction; });
    if (button == buttons.end()) return;
    if (!updateSelectedTempo(*selectedTempoBPM_ * button->factor, button->logReason)) {
        state_.status = "Corrected tempo selected";
        changed();
    }
}

void BeatDetectionController::windowWillClose() {
    const auto self = shared_from_this();
    cleanupAudioState("window close");
}

void BeatDetectionController::close() {
    const auto self = shared_from_this();
    cleanupAudioState("window close");
    requestClose();
}

// ---- Private -------------------------------------------------------------------------------

void BeatDetectionController::cleanupAudioState(std::string_view reason) {
    if (cleanupCompleted_) return;
    cleanupCompleted_ = true;
    logLine("Clean up BPM detection state after " + std::string(reason) + "; purge " +
            std::to_string(state_.slices.size()) + " waveform slice(s)");
    sourceURL_.reset();
    result_.reset();
    selectedTempoBPM_.reset();
    candidateTempoByIndex_.clear();
    std::vector<tempo::OrvaneWaveformSlice>().swap(state_.slices);
    state_.reveal = 0;
    state_.waveformFailed = false;
    reportTimer_.cancel();
    changed();
    auto onClose = std::move(onClose_);
    onClose_ = nullptr;
    if (onClose) onClose();
}

void BeatDetectionController::requestClose() {
    if (!onCloseRequested) return;
    const auto request = onCloseRequested;  // the window may clear its own callback
    request();
}

void BeatDetectionController::changed() {
    if (onStateChange) onStateChange();
}

}  // namespace orvane::app
