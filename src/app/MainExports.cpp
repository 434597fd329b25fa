// Split and merge: the prompts (loop options, format, folder or file, replacing), building
// the files, writing them safely, and the completion texts and MIDI 2.0 reports.

#include <algorithm>

#include "app/AppLog.h"
#include "app/MainViewController.h"
#include "support/TextFormat.h"

namespace orvane::app {

namespace {

std::string oneBasedRowList(const std::vector<int>& rows) {
    std::string text = "[";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(rows[i] + 1);
    }
    return text + "]";
}

std::string onOff(bool value) { return value ? "on" : "off"; }

std::string plural(int count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

}  // namespace

// The state of one split or merge while it waits for the user.
struct MainViewController::ExportFlow {
    std::uint64_t generation = 0;
    std::vector<int> rows;
    std::optional<std::pair<double, double>> loopRange;
    std::optional<LoopExportOptions> options;
    midi::MIDIExportFormat format = midi::MIDIExportFormat::standardMIDI;
    std::filesystem::path destination;
    std::shared_ptr<std::vector<GeneratedFile>> files;

    [[nodiscard]] std::optional<ExportLoop> exportLoop() const {
        if (!options) return std::nullopt;
        return ExportLoop{options->loopStartSeconds, options->loopEndSeconds, options->repeatCount,
                          options->tightenLoop};
    }
};

namespace {

// A callback of a flow's prompt: the next step runs only while the controller exists.
template <class Controller, class Flow, class... Args>
std::function<void(Args...)> nextStep(const std::shared_ptr<Controller>& controller, std::shared_ptr<Flow> flow,
                                      void (Controller::*step)(std::shared_ptr<Flow>, Args...)) {
    return [weak = std::weak_ptr<Controller>(controller), flow = std::move(flow), step](Args... answer) {
        if (const auto self = weak.lock()) ((*self).*step)(flow, std::move(answer)...);
    };
}

}  // namespace

std::vector<int> MainViewController::exportRows() const {
    const std::size_t musicalCount = midiFile_ ? midiFile_->musicalTracks().size() : 0;
    return midi::rowsToExport(tickedRows(), trackRows_.size(), musicalCount);
}

void MainViewController::updateExportUI() {
    const std::size_t rowCount = trackRows_.size();
    const std::size_t selected = tickedRows().size();
    EditControlsState& controls = view_.controls;
    if (rowCount == 0) {
        controls.splitTitle = loopModeEnabled_ ? "Split Loop" : "Split All";
        controls.mergeTitle = loopModeEnabled_ ? "Merge Loop" : "Merge All…";
        controls.splitEnabled = false;
        controls.mergeEnabled = false;
    } else if (loopModeEnabled_) {
        controls.splitTitle = "Split Loop";
        controls.splitEnabled = true;
        controls.mergeTitle = "Merge Loop";
        controls.mergeEnabled = rowCount != 1 && selected != 1;
    } else {
        const bool partial = selected > 0 && selected < rowCount;
        controls.splitTitle =
            partial ? "Export " + std::to_string(midi::exportCount(tickedRows(), rowCount)) : "Split All";
        controls.splitEnabled = true;
        if (selected >= 2) {
            controls.mergeTitle = "Merge " + std::to_string(selected) + "…";
            controls.mergeEnabled = true;
        } else {
            controls.mergeTitle = "Merge All…";
            controls.mergeEnabled = rowCount != 1;
        }
    }
    // One split at a time: the button stays off while files are being written.
    if (exportInProgress_) controls.splitEnabled = false;
    publish(controlsSection);
}

std::optional<std::pair<double, double>> MainViewController::currentLoopSeconds() {
    if (!loopModeEnabled_) return std::nullopt;
    auto range = snapCurrentLoopRangeToBars(std::nullopt);
    if (!range) {
        const double length = loopDuration(std::nullopt);
        range = length > 0 ? std::pair{length * loopStartFraction_, length * loopEndFraction_} : std::pair{0.0, 0.0};
    }
    updateLoopOverlay();
    syncLoopRangeToPlayer(std::nullopt);
    if (!(range->first < range->second)) return std::nullopt;
    appLog(formatString("Snapped loop export markers to grid: range %.3f-%.3f", range->first, range->second));
    return range;
}

std::vector<PreviewTrack> MainViewController::loopPreviewTracks(const std::vector<int>& rows) const {
    std::vector<PreviewTrack> tracks;
    const midi::MusicalTrackList musical = midiFile_->musicalTracks();
    for (const int row : rows) {
        const auto index = static_cast<std::size_t>(row);
        if (index >= musical.size() || index >= trackRows_.size()) continue;
        tracks.push_back({musical[index], row, trackRows_[index].name, trackRows_[index].paletteIdx, true});
    }
    return tracks;
}

void MainViewController::promptMIDIExportFormat(std::function<void(std::optional<midi::MIDIExportFormat>)> answer) {
    modal_.runAlert({AlertStyle::informational, "Choose MIDI export format",
                     "MIDI 1.0 keeps the existing .mid export. MIDI 2.0 writes MIDI Clip .midi2 files.",
                     {"MIDI 1.0 (.mid)", "MIDI 2.0 (.midi2)", "Cancel"}},
                    [answer = std::move(answer)](int button) {
                        if (button == 0) return answer(midi::MIDIExportFormat::standardMIDI);
                        if (button == 1) return answer(midi::MIDIExportFormat::midi2Clip);
                        answer(std::nullopt);
                    });
}

void MainViewController::promptLoopExportOptions(std::pair<double, double> loopRange,
                                                 std::vector<PreviewTrack> previewTracks,
                                                 std::function<void(std::optional<LoopExportOptions>)> answer) {
    std::set<int> meterRows;
    std::vector<int> listed;
    for (const PreviewTrack& track : previewTracks) {
        if (track.included) {
            meterRows.insert(track.row);
            listed.push_back(track.row);
        }
    }
    loopPreviewMeterRows_ = meterRows;
    appLog("Arm loop export mixer LED meters for rows " + oneBasedRowList(listed));

    LoopExportDialog::Settings settings{midiFile_, previewTracks, loopRange.first, loopRange.second,
                                        loopDuration(std::nullopt), transposeOffset_, overrideBPM_, true};
    auto dialog = LoopExportDialog::create(runLoop_, makePlayer_, std::move(settings));
    const std::weak_ptr<MainViewController> weak = weak_from_this();
    dialog->onPreviewProgress = [weak](double songTime) {
        if (const auto self = weak.lock()) self->updateMeters(songTime);
    };
    dialog->onPreviewStopped = [weak] {
        if (const auto self = weak.lock()) self->resetMeters();
    };
    dialog->onFinish = [weak, generation = generation_, loopRange, previewTracks = std::move(previewTracks),
                        answer = std::move(answer)](std::optional<LoopExportOptions> options) {
        const auto self = weak.lock();
        if (!self) return;
        self->loopPreviewMeterRows_.reset();
        self->resetMeters();
        if (self->generation_ != generation || !options) return answer(std::nullopt);
        if (options->repeatCount < 1 || options->repeatCount > 999) {
            self->modal_.beep();
            self->modal_.showPrompt(
                {"Enter a repeat count from 1 to 999.", std::nullopt, std::nullopt, false, "OK", std::nullopt},
                [weak, loopRange, previewTracks, answer](PromptResult) {
                    if (const auto again = weak.lock()) again->promptLoopExportOptions(loopRange, previewTracks, answer);
                });
            return;
        }
        const double duration = self->loopDuration(std::nullopt);
        if (duration > 0) {
            self->setLoopFractions(options->loopStartSeconds / duration, options->loopEndSeconds / duration);
            self->updateLoopOverlay();
            self->syncLoopRangeToPlayer(std::nullopt);
            if (self->loadedStreamIsLoopSection_) self->reloadLoopPlaybackFromStartIfNeeded();
        }
        appLog("Loop export options accepted: repeats=" + std::to_string(options->repeatCount) +
               ", tighten=" + onOff(options->tightenLoop) +
               formatString(", refinedRange=%.3f-%.3f", options->loopStartSeconds, options->loopEndSeconds));
        answer(options);
    };
    modal_.showLoopExportDialog(dialog);
    dialog->show();
}

// ---- Split -------------------------------------------------------------------------------

void MainViewController::splitTracks() {
    const std::size_t selected = tickedRows().size();
    if (selected > 0 && selected < trackRows_.size()) {
        appLog("Clicked Export " + std::to_string(midi::exportCount(tickedRows(), trackRows_.size())));
    }
    if (!midiFile_ || !inputURL_) return;
    if (exportInProgress_) {
        appLog("Split/export ignored: the previous split is still writing");
        return;
    }
    if (!beginUserFlow()) return;
    setStatus("", ColorRole::secondaryLabel);
    reconcileMixerUIToMIDIModel("split-export-before-track-snapshot");

    auto flow = std::make_shared<ExportFlow>();
    flow->generation = generation_;
    flow->loopRange = currentLoopSeconds();
    flow->rows = exportRows();
    if (flow->rows.empty()) {
        setStatus("⚠️  No tracks to export.", ColorRole::orange);
        return endUserFlow();
    }
    if (!loopModeEnabled_) return splitChoseLoopOptions(flow, std::nullopt);
    if (!flow->loopRange) return endUserFlow();
    // The dialog previews the loop on its own player.
    if (transportState_.kind != TransportState::Kind::idle) stopAction();
    promptLoopExportOptions(*flow->loopRange, loopPreviewTracks(flow->rows),
                            nextStep(shared_from_this(), flow, &MainViewController::splitChoseLoopOptions));
}

bool MainViewController::flowIsCurrent(const ExportFlow& flow) {
    if (flow.generation == generation_ && midiFile_ && inputURL_) return true;
    endUserFlow();
    return false;
}

void MainViewController::splitChoseLoopOptions(std::shared_ptr<ExportFlow> flow,
                                               std::optional<LoopExportOptions> options) {
    if (!flowIsCurrent(*flow)) return;
    if (loopModeEnabled_ && !options) return endUserFlow();
    flow->options = options;
    promptMIDIExportFormat(nextStep(shared_from_this(), flow, &MainViewController::splitChoseFormat));
}

void MainViewController::splitChoseFormat(std::shared_ptr<ExportFlow> flow,
                                          std::optional<midi::MIDIExportFormat> format) {
    if (!flowIsCurrent(*flow)) return;
    if (!format) return endUserFlow();
    flow->format = *format;
    const std::size_t selected = tickedRows().size();
    const bool partial = selected > 0 && selected < trackRows_.size();
    modal_.chooseFolder({"Choose output folder",
                         flow->options ? "Split Loop Here" : (partial ? "Export Here" : "Split All Here"),
                         inputURL_->parent_path()},
                        nextStep(shared_from_this(), flow, &MainViewController::splitChoseFolder));
}

void MainViewController::splitChoseFolder(std::shared_ptr<ExportFlow> flow,
                                          std::optional<std::filesystem::path> folder) {
    if (!flowIsCurrent(*flow)) return;
    if (!folder) return endUserFlow();
    flow->destination = *folder;
    const std::string label(midi::formatLabel(flow->format));
    appLog("Split/export destination selected: " + folder->filename().string() + ", format=" + label);
    const auto loop = flow->exportLoop();
    const auto names =
        splitFileNames(*midiFile_, flow->rows, loop ? std::optional(loop->repeatCount) : std::nullopt, flow->format);
    auto files = std::make_shared<std::vector<GeneratedFile>>();
    const midi::MusicalTrackList musical = midiFile_->musicalTracks();
    const ExportEdits edits{transposeOffset_, overrideBPM_};
    try {
        for (std::size_t i = 0; i < flow->rows.size() && i < names.size(); ++i) {
            const midi::MIDITrack& track = musical[static_cast<std::size_t>(flow->rows[i])];
            if (loop) {
                appLog("Generate split-loop file: track='" + track.name + "', output='" + names[i] +
                       "', format=" + label + ", repeats=" + std::to_string(loop->repeatCount) +
                       ", tighten=" + onOff(loop->tightenLoop) +
                       formatString(", range=%.3f-%.3f", loop->startSeconds, loop->endSeconds));
            } else {
                appLog("Generate split/export file: track='" + track.name + "', output='" + names[i] +
                       "', format=" + label);
            }
            files->push_back(buildSplitFile(*midiFile_, track, edits, loop, flow->format, names[i]));
        }
    } catch (const ExportGenerationError& error) {
        appLog("Failed to generate MIDI 2.0 split/export data: " + error.description());
        setStatus("❌ Failed to generate MIDI 2.0 export.", ColorRole::red);
        return endUserFlow();
    }
    flow->files = std::move(files);

    std::vector<std::string> existing;
    for (const GeneratedFile& file : *flow->files) {
        std::error_code ignored;
        if (std::filesystem::symlink_status(flow->destination / file.fileName, ignored).type() !=
            std::filesystem::file_type::not_found) {
            existing.push_back(file.fileName);
        }
    }
    if (existing.empty()) return splitAnsweredReplace(flow, 0);
    std::string text = std::to_string(existing.size()) + " file(s) already exist:\n\n";
    for (std::size_t i = 0; i < existing.size() && i < 6; ++i) text += (i > 0 ? "\n" : "") + existing[i];
    if (existing.size() > 6) text += "\n…and " + std::to_string(existing.size() - 6) + " more.";
    modal_.runAlert({AlertStyle::warning, "Replace existing files?", text, {"Replace", "Cancel"}},
                    nextStep(shared_from_this(), flow, &MainViewController::splitAnsweredReplace));
}

void MainViewController::splitAnsweredReplace(std::shared_ptr<ExportFlow> flow, int button) {
    if (!flowIsCurrent(*flow)) return;
    endUserFlow();
    if (button != 0) return;
    exportInProgress_ = true;
    updateExportUI();
    runLoop_.postToBackground([weak = weak_from_this(), flow, &runLoop = runLoop_] {
        // Each file is written whole beside its target and renamed over it: a failure keeps
        // the file that was there.
        auto failures = std::make_shared<std::vector<WriteFailure>>(writeGeneratedFiles(flow->destination, *flow->files));
        runLoop.postToMain([weak, flow, failures] {
            if (const auto self = weak.lock()) self->finishSplit(*flow, *failures);
        });
    });
}

void MainViewController::finishSplit(const ExportFlow& flow, const std::vector<WriteFailure>& failures) {
    exportInProgress_ = false;
    updateExportUI();
    if (flow.generation != generation_) {
        appLog("Split/export finished for a document that is no longer loaded");
        return;
    }
    const std::string label(midi::formatLabel(flow.format));
    if (!failures.empty()) {
        std::string names;
        for (const WriteFailure& failure : failures) {
            if (!names.empty()) names += ", ";
            names += failure.fileName;
            appLog("Could not write " + failure.fileName + ": " + failure.description);
        }
        appLog("Split/export failed for " + std::to_string(failures.size()) + " file(s): " + names);
        setStatus("⚠️  " + std::to_string(failures.size()) + " file(s) failed.", ColorRole::orange);
        return;
    }
    const int count = static_cast<int>(flow.files->size());
    if (flow.options) {
        appLog("Split loop export completed: " + std::to_string(count) + " file(s), format=" + label + ", repeats " +
               std::to_string(flow.options->repeatCount) + ", tighten " + onOff(flow.options->tightenLoop));
    } else {
        appLog("Split/export completed: " + std::to_string(count) + " file(s), format=" + label);
    }
    setStatus("Exported " + std::to_string(count) + (count == 1 ? " track" : " tracks") + " → " +
                  flow.destination.filename().string(),
              ColorRole::green);
    std::vector<midi::MIDI2OperationReport> reports;
    for (const GeneratedFile& file : *flow.files) {
        if (file.report) reports.push_back(*file.report);
    }
    if (!reports.empty()) showMIDI2OperationReports(reports);
    modal_.revealInFileManager(flow.destination);
}

// ---- Merge -------------------------------------------------------------------------------

void MainViewController::mergeAction() {
    if (!midiFile_ || !inputURL_) return;
    if (!beginUserFlow()) return;
    setStatus("", ColorRole::secondaryLabel);
    reconcileMixerUIToMIDIModel("merge-export-before-track-snapshot");
    const std::size_t selected = tickedRows().size();
    if (loopModeEnabled_ && selected == 1) {
        setStatus("⚠️  Select at least 2 tracks to merge a loop.", ColorRole::orange);
        return endUserFlow();
    }
    auto flow = std::make_shared<ExportFlow>();
    flow->generation = generation_;
    if (selected < 2) {
        for (std::size_t row = 0; row < midiFile_->musicalTracks().size(); ++row) {
            flow->rows.push_back(static_cast<int>(row));
        }
    } else {
        flow->rows = exportRows();
    }
    if (flow->rows.size() < 2) {
        setStatus("⚠️  Need at least 2 tracks to merge.", ColorRole::orange);
        return endUserFlow();
    }
    flow->loopRange = currentLoopSeconds();
    if (!loopModeEnabled_) return mergeChoseLoopOptions(flow, std::nullopt);
    if (!flow->loopRange) return endUserFlow();
    if (transportState_.kind != TransportState::Kind::idle) stopAction();
    promptLoopExportOptions(*flow->loopRange, loopPreviewTracks(flow->rows),
                            nextStep(shared_from_this(), flow, &MainViewController::mergeChoseLoopOptions));
}

void MainViewController::mergeChoseLoopOptions(std::shared_ptr<ExportFlow> flow,
                                               std::optional<LoopExportOptions> options) {
    if (!flowIsCurrent(*flow)) return;
    if (loopModeEnabled_ && !options) return endUserFlow();
    flow->options = options;
    promptMIDIExportFormat(nextStep(shared_from_this(), flow, &MainViewController::mergeChoseFormat));
}

void MainViewController::mergeChoseFormat(std::shared_ptr<ExportFlow> flow,
                                          std::optional<midi::MIDIExportFormat> format) {
    if (!flowIsCurrent(*flow)) return;
    if (!format) return endUserFlow();
    flow->format = *format;
    const std::string stem = !editedFilename_.empty() ? editedFilename_ : inputURL_->stem().string();
    const std::string name =
        mergedFileName(stem, flow->options ? std::optional(flow->options->repeatCount) : std::nullopt, flow->format);
    modal_.chooseSaveLocation({name, std::string(midi::fileExtension(flow->format)), inputURL_->parent_path()},
                              nextStep(shared_from_this(), flow, &MainViewController::mergeChoseFile));
}

void MainViewController::mergeChoseFile(std::shared_ptr<ExportFlow> flow, std::optional<std::filesystem::path> file) {
    if (!flowIsCurrent(*flow)) return;
    endUserFlow();
    if (!file) return;
    const std::string label(midi::formatLabel(flow->format));
    const std::string fileName = file->filename().string();
    const auto loop = flow->exportLoop();
    std::vector<midi::MIDITrack> storage;
    const std::span<const midi::MIDITrack> tracks = tracksOfRows(flow->rows, storage);
    const std::string count = std::to_string(tracks.size());
    if (loop) {
        appLog("Generate merge-loop file: output='" + fileName + "', format=" + label + ", tracks=" + count +
               ", repeats=" + std::to_string(loop->repeatCount) + ", tighten=" + onOff(loop->tightenLoop) +
               formatString(", range=%.3f-%.3f", loop->startSeconds, loop->endSeconds));
    } else {
        appLog("Generate merged file: output='" + fileName + "', format=" + label + ", tracks=" + count);
    }
    std::optional<std::string> failure;
    GeneratedFile built;
    try {
        built = buildMergedFile(*midiFile_, tracks, {transposeOffset_, overrideBPM_}, loop, flow->format, fileName);
        // Written beside the target and renamed over it: a failure keeps the old file.
        if (auto written = writeGeneratedFile(*file, built.bytes)) failure = written->description;
    } catch (const ExportGenerationError& error) {
        failure = error.description();
    }
    if (failure) {
        appLog("Failed to write merged MIDI: " + *failure);
        setStatus("❌ Failed to write merged file.", ColorRole::red);
        return;
    }
    if (loop) {
        appLog("Merged loop " + count + " tracks into " + fileName + ", format=" + label + ", repeats " +
               std::to_string(loop->repeatCount) + ", tighten " + onOff(loop->tightenLoop));
    } else {
        appLog("Merged " + count + " tracks into " + fileName + ", format=" + label);
    }
    setStatus("Merged " + count + " tracks → " + fileName, ColorRole::green);
    if (built.report) showMIDI2OperationReport(*built.report);
    modal_.revealInFileManager(*file);
}

// ---- Dragging rows out ---------------------------------------------------------------------

std::vector<std::filesystem::path> MainViewController::writeFilesForDrag(const std::vector<int>& rows,
                                                                         const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> written;
    if (!midiFile_) return written;
    reconcileMixerUIToMIDIModel("drag-export-before-track-snapshot");
    const midi::MusicalTrackList musical = midiFile_->musicalTracks();
    std::vector<int> valid;
    for (const int row : rows) {
        if (row >= 0 && static_cast<std::size_t>(row) < musical.size()) valid.push_back(row);
    }
    const auto format = midi::MIDIExportFormat::standardMIDI;
    const auto names = splitFileNames(*midiFile_, valid, std::nullopt, format);
    for (std::size_t i = 0; i < valid.size() && i < names.size(); ++i) {
        const GeneratedFile file = buildSplitFile(*midiFile_, musical[static_cast<std::size_t>(valid[i])],
                                                  {transposeOffset_, overrideBPM_}, std::nullopt, format, names[i]);
        if (const auto failure = writeGeneratedFile(folder / file.fileName, file.bytes)) {
            appLog("Could not write " + failure->fileName + " for a drag: " + failure->description);
            continue;
        }
        written.push_back(folder / file.fileName);
    }
    appLog("Wrote " + std::to_string(written.size()) + " file(s) for a drag to " + folder.string());
    return written;
}

// ---- MIDI 2.0 reports ----------------------------------------------------------------------

void MainViewController::showMIDI2OperationReport(const midi::MIDI2OperationReport& report) {
    const bool exported = report.operation.kind == midi::MIDI2OperationReport::Operation::Kind::exported;
    const std::string title = exported ? "MIDI 2.0 Export Report" : "MIDI 2.0 Import Report";
    appLog("Show " + title + ": " + report.oneLineStatus());
    modal_.runAlert({report.unsupportedPackets < 1 ? AlertStyle::informational : AlertStyle::warning, title,
                     report.detailText(), {"OK"}},
                    [](int) {});
}

void MainViewController::showMIDI2OperationReports(const std::vector<midi::MIDI2OperationReport>& reports) {
    if (reports.size() == 1) return showMIDI2OperationReport(reports.front());
    int tracks = 0, packets = 0, midi1 = 0, midi2 = 0, tempo = 0, unsupported = 0;
    for (const auto& report : reports) {
        tracks += report.tracks;
        packets += report.totalPackets;
        midi1 += report.midi1ChannelVoicePackets;
        midi2 += report.midi2ChannelVoicePackets;
        tempo += report.flexTempoPackets;
        unsupported += report.unsupportedPackets;
    }
    appLog("Show aggregate MIDI 2.0 report: files=" + std::to_string(reports.size()) +
           ", packets=" + std::to_string(packets) + ", unsupported=" + std::to_string(unsupported));
    std::vector<std::string> lines{
        "Files: " + std::to_string(reports.size()),
        "Tracks represented: " + std::to_string(tracks),
        "UMP packets: " + std::to_string(packets),
        "MIDI 1.0 Channel Voice packets: " + std::to_string(midi1),
        "MIDI 2.0 Channel Voice packets: " + std::to_string(midi2),
        "Flex Data Set Tempo packets: " + std::to_string(tempo),
        "Unsupported/skipped packets: " + std::to_string(unsupported),
        "",
        "Preserved:",
        "- Edited channel voice events from Orvane's current export snapshot",
        "- Mixer CC/program state emitted at the effective start of exported tracks",
        "- MIDI Clip Delta Clockstamp timing",
        "",
        "Converted:",
        "- Current MIDI 1.0-resolution edit state written as UMP/MIDI Clip data",
        "",
        "Skipped or not yet preserved:",
        "- Native high-resolution MIDI 2.0 values, project/clip name Flex Data, track/instrument-name metadata, "
        "SysEx8, per-note controllers, MIDI-CI, and live UMP I/O are not yet supported",
        "",
        "Files:",
    };
    for (const auto& report : reports) {
        const int issues = report.unsupportedPackets;
        lines.push_back("- " + report.operation.fileName + ": " + plural(report.tracks, "track") + ", " +
                        plural(report.totalPackets, "UMP packet") + ", " +
                        (issues > 0 ? plural(issues, "MIDI 2.0 compatibility issue")
                                    : std::string("no MIDI 2.0 compatibility issues")));
    }
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) text += (i > 0 ? "\n" : "") + lines[i];
    modal_.runAlert({unsupported < 1 ? AlertStyle::informational : AlertStyle::warning, "MIDI 2.0 Export Report",
                     text, {"OK"}},
                    [](int) {});
}

}  // namespace orvane::app
