// Loading a song, the track rows, the status line after loading, and clearing.

#include <utility>
#include <variant>

#include "app/AppLog.h"
#include "app/MainViewController.h"
#include "app/PromptPanel.h"
#include "app/TimelineLanes.h"
#include "midi/export/TrackExport.h"
#include "support/FileRead.h"
#include "support/TextFormat.h"

namespace orvane::app {

namespace {

std::string fileNameOf(const std::filesystem::path& url) { return url.filename().string(); }

}  // namespace

void MainViewController::loadMIDI(const std::filesystem::path& url) {
    const std::string name = fileNameOf(url);
    appLog("Load MIDI file " + name);
    resetDocumentState();

    auto bytes = readWholeFile(url);
    if (const auto* error = std::get_if<FileReadError>(&bytes)) {
        appLog("Could not read MIDI file " + name + ": " + error->description());
        setStatus("❌ Could not read file.", ColorRole::red);
        refreshAfterFailedLoad();
        return;
    }
    auto song = std::make_shared<midi::MIDIFile>();
    if (!song->parse(std::move(std::get<FileBytes>(bytes)))) {
        appLog("Parser rejected MIDI file " + name);
        setStatus("❌ Not a valid MIDI file.", ColorRole::red);
        refreshAfterFailedLoad();
        return;
    }
    std::get<FileBytes>(bytes) = {};

    // The file that was loaded; a file that failed to load never replaces it, so folders and
    // names keep following the song that is shown.
    inputURL_ = url;
    midiFile_ = std::move(song);
    (void)midiFile_->musicalTracks();
    rebuildMixerActivityTracks();
    buildTrackRows();
    enableTransport(true);
    fullSongMIDIData_ = midi::buildFormat1PlaybackMIDI(*midiFile_, 0, std::nullopt);

    view_.transport.sliderMaximum = 0;
    view_.transport.sliderValue = 0;
    view_.transport.currentTime = "0:00";
    view_.transport.totalTime = "0:00";
    view_.playhead = 0;
    updateTransportUI();
    publish(playheadSection);

    editedFilename_ = url.stem().string();
    view_.dropZone.loaded = true;
    view_.dropZone.originalFileStem = editedFilename_;
    view_.dropZone.nameText = editedFilename_;
    view_.dropZone.info = dropZoneInfo();
    publish(dropZoneSection);

    view_.controls.transposeValue = 0;
    view_.controls.transposeText = "0";
    updateBottomControlsEnabled();
    updateExportUI();
    updateTimeline();
    refreshMixerPanel();
    updateUndoTitles();

    appLog("Loaded " + std::to_string(trackRows_.size()) + " musical tracks from " + name);
    showLoadStatus(name);
}

void MainViewController::resetDocumentState() {
    ++generation_;
    player_->reset();
    fullSongMIDIData_.reset();
    closeBeatDetectionWindow();
    closeMixerWindow();
    transportState_ = TransportState::idle();
    transposeOffset_ = 0;
    loopModeEnabled_ = false;
    loopStartFraction_ = 0;
    loopEndFraction_ = 1.0;
    updateLoopOverlay();
    syncLoopRangeToPlayer(std::nullopt);
    lastPlayedTransposeOffset_ = 0;
    lastPlayedOverrideBPM_.reset();
    mixerSettingsRevision_ = 0;
    lastPlayedMixerSettingsRevision_ = 0;
    lastLoadedPlaybackRequest_.reset();
    overrideBPM_.reset();
    playbackTimelineOffset_ = 0;
    loadedStreamIsLoopSection_ = false;
    loopPreviewMeterRows_.reset();
    songNameDraft_.reset();
    history_.clear();
    mixerGestureOpen_ = false;
    updateTransportUI();
}

// The reset of a failed load changed what exports and playback apply; every display that
// shows those values follows, so the window never shows edits that no longer apply.
void MainViewController::refreshAfterFailedLoad() {
    view_.controls.transposeValue = 0;
    view_.controls.transposeText = formattedOffset(0);
    view_.transport.sliderValue = 0;
    view_.transport.currentTime = "0:00";
    view_.playhead = 0;
    publish(playheadSection);
    if (midiFile_) {
        view_.dropZone.info = dropZoneInfo();
        publish(dropZoneSection);
        updateTimeline();
        rebuildFullSongMIDIData();
    }
    updateTransportUI();
    updateBottomControlsEnabled();
    updateExportUI();
    updateUndoTitles();
}

void MainViewController::buildTrackRows() {
    trackRows_.clear();
    const midi::MusicalTrackList musical = midiFile_->musicalTracks();
    trackRows_.reserve(musical.size());
    for (std::size_t i = 0; i < musical.size(); ++i) trackRows_.push_back(makeTrackRow(musical[i], i));
    selectedTrackRow_.reset();
    view_.table.rows = trackRows_;
    view_.table.selectedRow.reset();
    publish(tableSection);
}

void MainViewController::showLoadStatus(const std::string& fileName) {
    const midi::MIDIFile& song = *midiFile_;
    if (song.wasImportedFromMIDI2Clip && song.midi2LastImportReport) {
        midi::MIDI2OperationReport report = *song.midi2LastImportReport;
        report.operation = midi::MIDI2OperationReport::Operation::imported(fileName);
        setStatus(report.oneLineStatus(), report.unsupportedPackets == 0 ? ColorRole::blue : ColorRole::orange);
        showMIDI2OperationReport(report);
    } else if (song.wasImportedFromMIDI2Clip) {
        std::string text = "MIDI 2.0 Clip imported.";
        if (song.midi2UnsupportedPacketCount > 0) {
            text += " Unsupported UMP packets: " + std::to_string(song.midi2UnsupportedPacketCount) + ".";
        }
        setStatus(text, song.midi2UnsupportedPacketCount == 0 ? ColorRole::blue : ColorRole::orange);
    } else if (song.isSMPTE) {
        setStatus("⚠️  SMPTE timing detected — playback timing may be inaccurate.", ColorRole::orange);
    } else if (song.wasExplodedFromFormat0) {
        const std::size_t count = trackRows_.size();
        setStatus("ℹ️  Format 0 file — exploded into " + std::to_string(count) + " channel track" +
                      (count == 1 ? "" : "s") + ".",
                  ColorRole::blue);
        clearStatusAfter(4.0);
    } else {
        setStatus("", ColorRole::secondaryLabel);
    }
}

std::string MainViewController::dropZoneInfo() const {
    const midi::MIDIFile& song = *midiFile_;
    return "♩" + formatBPM(overrideBPM_.value_or(song.bpm)) + "  " + std::to_string(song.timeSignatureNumerator) +
           "/" + std::to_string(song.timeSignatureDenominator) + "  " +
           song.transposedKeySignature(transposeOffset_);
}

void MainViewController::updateDropZoneInfo() {
    if (!midiFile_) return;
    view_.dropZone.info = dropZoneInfo();
    publish(dropZoneSection);
}

void MainViewController::rebuildMixerActivityTracks() {
    mixerActivityTracks_ = midiFile_ ? buildActivityTracks(*midiFile_, overrideBPM_) : std::vector<MIDIActivityTrack>{};
}

void MainViewController::updateTimeline() {
    if (!midiFile_) return;
    TimelineLanes lanes = buildTimelineLanes(*midiFile_, overrideBPM_);
    if (lanes.songDuration > 0) {
        view_.transport.sliderMaximum = lanes.songDuration;
        view_.transport.totalTime = playback::MIDIPlayerController::formatTime(lanes.songDuration);
        publish(transportSection);
    }
    view_.timeline.lanes = std::move(lanes.lanes);
    view_.timeline.songDuration = lanes.songDuration;
    view_.playhead = 0;
    publish(timelineSection | playheadSection);
    if (lanes.songDuration > 0) syncLoopRangeToPlayer(lanes.songDuration);
    applyLayout(view_.timeline.lanes.size());
}

void MainViewController::applyLayout(std::size_t trackCount) {
    view_.layout = windowLayout(trackCount);
    publish(layoutSection);
}

void MainViewController::rebuildFullSongMIDIData() {
    if (midiFile_) fullSongMIDIData_ = midi::buildFormat1PlaybackMIDI(*midiFile_, transposeOffset_, overrideBPM_);
}

void MainViewController::clearFile() {
    ++generation_;
    player_->reset();
    closeBeatDetectionWindow();
    transportState_ = TransportState::idle();
    mixerSettingsRevision_ = 0;
    lastPlayedMixerSettingsRevision_ = 0;
    loopModeEnabled_ = false;
    loopStartFraction_ = 0;
    loopEndFraction_ = 1.0;
    updateLoopOverlay();
    syncLoopRangeToPlayer(std::nullopt);

    midiFile_.reset();
    inputURL_.reset();
    trackRows_.clear();
    selectedTrackRow_.reset();
    fullSongMIDIData_.reset();
    mixerActivityTracks_.clear();
    closeMixerWindow();
    playbackTimelineOffset_ = 0;
    loadedStreamIsLoopSection_ = false;
    loopPreviewMeterRows_.reset();
    history_.clear();
    mixerGestureOpen_ = false;

    view_.table = {};
    publish(tableSection);
    enableTransport(false);
    view_.transport.sliderValue = 0;
    view_.transport.sliderMaximum = 1.0;
    view_.transport.currentTime = "0:00";
    view_.transport.totalTime = "0:00";
    updateTransportUI();
    setStatus("", ColorRole::secondaryLabel);

    editedFilename_.clear();
    songNameDraft_.reset();
    view_.dropZone = {};
    publish(dropZoneSection);
    view_.timeline = {};
    view_.timeline.loopEnabled = false;
    view_.playhead = 0;
    publish(timelineSection | playheadSection);
    applyLayout(0);

    transposeOffset_ = 0;
    lastPlayedTransposeOffset_ = 0;
    overrideBPM_.reset();
    lastPlayedOverrideBPM_.reset();
    lastLoadedPlaybackRequest_.reset();
    view_.controls.transposeValue = 0;
    view_.controls.transposeText = "0";
    updateBottomControlsEnabled();
    updateExportUI();
    updateUndoTitles();
}

void MainViewController::browseForFile() {
    if (!beginUserFlow()) return;
    OpenPanelRequest request{midiExtensions, inputURL_ ? inputURL_->parent_path() : std::filesystem::path()};
    modal_.chooseFileToOpen(std::move(request), [weak = weak_from_this()](std::optional<std::filesystem::path> url) {
        const auto self = weak.lock();
        if (!self) return;
        self->endUserFlow();
        if (!url) return;
        appLog("Open panel selected " + fileNameOf(*url));
        self->loadMIDI(*url);
    });
}

bool MainViewController::dropFile(const std::filesystem::path& url) {
    const std::string name = fileNameOf(url);
    switch (fileKind(url)) {
        case FileKind::midi:
            appLog("Dropped MIDI file " + name);
            loadMIDI(url);
            return true;
        case FileKind::audio:
            appLog("Dropped audio file " + name);
            detectAudioTempo(url);
            return true;
        case FileKind::unsupported: break;
    }
    appLog("Rejected unsupported drop: " + name);
    modal_.runAlert({AlertStyle::warning, "Unsupported File",
                     "\"" + name +
                         "\" cannot be loaded.\n\nDrop a MIDI file to split tracks or an audio file to detect BPM.",
                     {"OK"}},
                    [](int) {});
    return false;
}

std::string MainViewController::currentSongDisplayName() const {
    if (songNameDraft_) {
        std::string draft = trimmedText(*songNameDraft_);
        if (!draft.empty()) return draft;
    }
    std::string edited = trimmedText(editedFilename_);
    if (!edited.empty()) return edited;
    return inputURL_ ? inputURL_->stem().string() : std::string();
}

}  // namespace orvane::app
