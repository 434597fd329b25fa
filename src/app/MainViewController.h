#pragma once
// The main window's controller: it owns the loaded song and everything the user does with it.
// Every input (buttons, menus, shortcuts, timeline drags, drops, files named on the command
// line) arrives as one of its operations; it publishes what the window shows as typed view
// state and asks for dialogs through the modal port. Its concerns live in separate files:
// loading (MainDocument.cpp), playback data and rebasing (MainPlayback.cpp), the transport
// (MainTransport.cpp), split and merge (MainExports.cpp), song edits (MainSongEdits.cpp),
// undo (MainUndo.cpp), the mixer (MainMixer.cpp), beat detection (MainBeatDetection.cpp) and
// the view state (MainViewPublishing.cpp).
//
// Everything runs on the main thread of the run loop. Work that comes back later (background
// writes, detection, delayed status clears, player completions) holds the controller weakly
// and carries the document generation; a result for an older document is dropped.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/ActivityMeters.h"
#include "app/EditHistory.h"
#include "app/ExportCore.h"
#include "app/LoopExportDialog.h"
#include "app/MixerPanel.h"
#include "app/ModalPort.h"
#include "app/PlaybackRequest.h"
#include "app/ViewState.h"
#include "midi/model/MIDIFile.h"
#include "playback/MIDIPlayerController.h"
#include "support/RunLoop.h"
#include "tempo/AudioFileDecoder.h"

namespace orvane::app {

class BeatDetectionController;

// Whether the transport is idle, playing or paused; the label is the text after "Playing: "
// or "Paused: ".
struct TransportState {
    enum class Kind { idle, playing, paused };
    Kind kind = Kind::idle;
    std::string label;
    double position = 0;  // paused only: the song position in seconds

    static TransportState idle() { return {}; }
    static TransportState playing(std::string label) { return {Kind::playing, std::move(label), 0}; }
    static TransportState paused(std::string label, double position) {
        return {Kind::paused, std::move(label), position};
    }
    friend bool operator==(const TransportState&, const TransportState&) = default;
};

// What a drop or an open request is, by its extension (compared in lower case).
enum class FileKind { midi, audio, unsupported };
[[nodiscard]] FileKind fileKind(const std::filesystem::path& path);
inline const std::vector<std::string> midiExtensions{"mid", "midi", "smf2", "clip", "midi2"};
inline const std::vector<std::string> audioExtensions{"wav", "wave", "aif", "aiff", "m4a", "mp3", "caf", "flac"};

class MainViewController : public std::enable_shared_from_this<MainViewController> {
public:
    struct Environment {
        RunLoop& runLoop;
        ModalPort& modal;
        MainViewSink& view;
        playback::MIDIFilePlayerFactory makePlayer;
        tempo::AudioFileOpener openAudio = tempo::openAudioFile;
    };

    static std::shared_ptr<MainViewController> create(Environment environment);
    ~MainViewController();
    MainViewController(const MainViewController&) = delete;
    MainViewController& operator=(const MainViewController&) = delete;

    // ---- Loading ------------------------------------------------------------------------
    void loadMIDI(const std::filesystem::path& url);
    void clearFile();
    void browseForFile();
    void detectAudioTempo(const std::filesystem::path& url);
    // A file dropped on the drop zone: MIDI loads, audio opens beat detection, anything else
    // is refused with an alert. Answers whether the drop was accepted.
    bool dropFile(const std::filesystem::path& url);
    // The song name for file names and the full-song label.
    [[nodiscard]] std::string currentSongDisplayName() const;

    // ---- Transport ----------------------------------------------------------------------
    void playAction();
    void pauseAction();
    void stopAction();
    void rtzAction();
    void loopAction(bool on);
    void sliderMoved(double seconds);
    void timelineClicked(double seconds);
    void loopMarkerDragged(LoopMarker marker, double fraction);
    // The drag of a loop marker ended: a loop being played is reloaded from its new start.
    void loopMarkerReleased();
    void auditionButtonPressed(int row);
    // The loop range snapped to whole bars, as (start, end) seconds; also stored.
    std::optional<std::pair<double, double>> snapCurrentLoopRangeToBars(std::optional<double> duration);

    // ---- Split and merge ----------------------------------------------------------------
    void splitTracks();
    void mergeAction();
    // Rows dragged out of the table: their split files (MIDI 1.0, with the current edits) are
    // written into folder; the paths written, for the drag to offer.
    std::vector<std::filesystem::path> writeFilesForDrag(const std::vector<int>& rows,
                                                         const std::filesystem::path& folder);

    // ---- Song edits ---------------------------------------------------------------------
    void changeTempoAction();
    // Sets the tempo override (also from beat detection) and reloads playback.
    void applyTempo(double bpm);
    void transposeStepperChanged(int value);
    void transposeFieldCommitted(std::string_view text);
    void transposeResetAction();
    void applyTransposeOffset(int value);
    // "+7", "0", "-3".
    [[nodiscard]] static std::string formattedOffset(int offset);
    void showInstrumentPicker();
    void applyInstrumentChange(std::uint8_t program, int row);
    void presentDrumInstrumentPicker(int row);
    void applyDrumInstrumentChange(DrumInstrumentSelection selection, int row);
    void checkboxToggled(int row, bool on);
    void tableSelectionChanged(std::optional<int> row);
    // The user finished editing a track name cell.
    void trackNameEdited(int row, std::string_view text);
    // Return in the song name field: the name to show (the file stem when empty).
    std::string commitSongName(std::string_view text);
    // What the song name field shows while the user edits it (nothing when not editing).
    void setSongNameDraft(std::optional<std::string> text);

    struct KeyPress {
        enum class Key { space, b, i, other };
        Key key = Key::other;
        bool control = false;
        bool autoRepeat = false;
    };
    // Keys that reach the main window outside text fields; answers whether it was consumed.
    bool keyDown(const KeyPress& key);

    void undo();
    void redo();

    // ---- Mixer --------------------------------------------------------------------------
    void showMixerWindow();
    void applyMixerChange(int row, std::optional<std::uint8_t> volume);
    void applyMixerPanChange(int row, std::uint8_t pan);
    void applyMixerVelocityChange(int row, std::uint8_t velocity);
    void applyMixerReverbChange(int row, std::uint8_t reverb);
    // Pulls what the open mixer shows into the song; true when the song changed.
    bool reconcileMixerUIToMIDIModel(std::string_view reason);
    [[nodiscard]] std::vector<MixerStripState> currentMixerStrips() const;

    // ---- State, for the window and for tests ----------------------------------------------
    [[nodiscard]] const MainViewState& viewState() const noexcept { return view_; }
    [[nodiscard]] const midi::MIDIFile* midiFile() const noexcept { return midiFile_.get(); }
    [[nodiscard]] const std::optional<std::filesystem::path>& inputURL() const noexcept { return inputURL_; }
    [[nodiscard]] const std::vector<TrackRow>& trackRows() const noexcept { return trackRows_; }
    [[nodiscard]] const TransportState& transportState() const noexcept { return transportState_; }
    [[nodiscard]] std::optional<double> overrideBPM() const noexcept { return overrideBPM_; }
    [[nodiscard]] int transposeOffset() const noexcept { return transposeOffset_; }
    [[nodiscard]] bool loopModeEnabled() const noexcept { return loopModeEnabled_; }
    [[nodiscard]] double loopStartFraction() const noexcept { return loopStartFraction_; }
    [[nodiscard]] double loopEndFraction() const noexcept { return loopEndFraction_; }
    [[nodiscard]] double playbackTimelineOffset() const noexcept { return playbackTimelineOffset_; }
    [[nodiscard]] bool loadedStreamIsLoopSection() const noexcept { return loadedStreamIsLoopSection_; }
    [[nodiscard]] int mixerSettingsRevision() const noexcept { return mixerSettingsRevision_; }
    [[nodiscard]] const std::optional<PlaybackRequest>& lastLoadedPlaybackRequest() const noexcept {
        return lastLoadedPlaybackRequest_;
    }
    [[nodiscard]] const std::optional<midi::Bytes>& fullSongMIDIData() const noexcept { return fullSongMIDIData_; }
    [[nodiscard]] const playback::MIDIPlayerController& player() const noexcept { return *player_; }
    [[nodiscard]] const std::vector<MIDIActivityTrack>& mixerActivityTracks() const noexcept {
        return mixerActivityTracks_;
    }
    [[nodiscard]] const std::shared_ptr<MixerPanel>& mixerPanel() const noexcept { return mixerPanel_; }
    [[nodiscard]] const std::shared_ptr<BeatDetectionController>& beatDetection() const noexcept {
        return beatDetectionWindowController_;
    }
    [[nodiscard]] const std::string& editedFilename() const noexcept { return editedFilename_; }
    [[nodiscard]] std::uint64_t documentGeneration() const noexcept { return generation_; }
    // A flow waits for the user (a dialog, a chooser, a prompt).
    [[nodiscard]] bool isWaitingForUser() const noexcept { return waitingForUser_; }
    // A split is writing its files in the background.
    [[nodiscard]] bool isExportInProgress() const noexcept { return exportInProgress_; }
    [[nodiscard]] const EditHistory& editHistory() const noexcept { return history_; }
    // The song position of the transport, in seconds.
    [[nodiscard]] double currentTransportTimelinePosition() const;
    // The song length used for all loop and position arithmetic.
    [[nodiscard]] double loopDuration(std::optional<double> fallback) const;
    [[nodiscard]] bool isPlayerPlaying() const;

private:
    explicit MainViewController(Environment environment);
    void wirePlayerCallbacks();

    // ---- Loading (MainDocument.cpp) ---------------------------------------------------
    void resetDocumentState();
    void refreshAfterFailedLoad();
    void buildTrackRows();
    void showLoadStatus(const std::string& fileName);
    [[nodiscard]] std::string dropZoneInfo() const;
    void updateDropZoneInfo();
    void rebuildMixerActivityTracks();
    void updateTimeline();
    void applyLayout(std::size_t trackCount);
    void rebuildFullSongMIDIData();

    // ---- Playback data and rebasing (MainPlayback.cpp) ---------------------------------
    struct PlaybackData {
        midi::Bytes bytes;
        std::string label;
        double timelineOffset = 0;
        bool isLoopSection = false;
    };
    [[nodiscard]] std::vector<int> playbackRowsFor(const PlaybackRequest& request) const;
    // The tracks of musical rows, without copying them when they follow one another.
    [[nodiscard]] std::span<const midi::MIDITrack> tracksOfRows(const std::vector<int>& rows,
                                                                std::vector<midi::MIDITrack>& storage) const;
    [[nodiscard]] std::string currentLabel(const PlaybackRequest& request) const;
    [[nodiscard]] std::optional<PlaybackData> buildPlaybackData(const PlaybackRequest& request);
    [[nodiscard]] std::optional<PlaybackData> buildPlaybackDataFromEffectiveStart(const PlaybackRequest& request,
                                                                                double startSeconds,
                                                                                std::string_view reason);
    void playCurrentPlaybackData(const PlaybackData& data, playback::PlaybackMode mode, double from);
    void prepareCurrentPlaybackDataPaused(const PlaybackData& data, playback::PlaybackMode mode, double at);
    void loadStream(const PlaybackData& data, playback::PlaybackMode mode, double songPosition, bool startPlaying);
    void recordLoadedPlaybackRequest(const PlaybackRequest& request);
    [[nodiscard]] bool shouldResumePlayback(const PlaybackRequest& request) const;
    [[nodiscard]] PlaybackRequest requestFromSelection() const;
    [[nodiscard]] std::set<int> tickedRows() const;
    // Answers whether playback was reloaded.
    bool reloadPlaybackAfterUserPlaybackSettingChangeIfNeeded(std::string_view reason,
                                                              std::optional<double> positionOverride);
    void reloadMainPlaybackAfterSelectionChangeIfNeeded();
    void reloadPlaybackAfterMixerSettingsChangeIfNeeded();
    bool reloadLoopPlaybackFromStartIfNeeded();
    void reloadPlaybackKeepingPosition(const PlaybackRequest& request, std::string_view reason,
                                       std::string_view logPlaying, std::string_view logPaused);

    // ---- Transport (MainTransport.cpp) -------------------------------------------------
    void setTransportPosition(double position, std::optional<double> duration);
    void updateLoopOverlay();
    void syncLoopRangeToPlayer(std::optional<double> duration);
    void movePlaybackToLoopStart(bool force);
    // Answers whether it rebuilt the stream.
    bool reloadRebasedPlaybackForSeekIfNeeded(double target, std::string_view reason);
    void seekTo(double position, std::string_view reason);
    void refreshAfterTransportChange();
    void resetMeters();
    void updateMeters(double songTime);
    void handleProgress(double position, double duration);
    void handleNaturalEnd();
    void handlePaused(double position, double duration);
    void handleStopped(double position, double duration);
    void setLoopFractions(double start, double end);

    // ---- Split and merge (MainExports.cpp) ---------------------------------------------
    struct ExportFlow;
    void promptMIDIExportFormat(std::function<void(std::optional<midi::MIDIExportFormat>)> answer);
    void promptLoopExportOptions(std::pair<double, double> loopRange, std::vector<PreviewTrack> previewTracks,
                                 std::function<void(std::optional<LoopExportOptions>)> answer);
    [[nodiscard]] std::vector<PreviewTrack> loopPreviewTracks(const std::vector<int>& rows) const;
    std::optional<std::pair<double, double>> currentLoopSeconds();
    [[nodiscard]] std::vector<int> exportRows() const;
    bool flowIsCurrent(const ExportFlow& flow);
    void splitChoseLoopOptions(std::shared_ptr<ExportFlow> flow, std::optional<LoopExportOptions> options);
    void splitChoseFormat(std::shared_ptr<ExportFlow> flow, std::optional<midi::MIDIExportFormat> format);
    void splitChoseFolder(std::shared_ptr<ExportFlow> flow, std::optional<std::filesystem::path> folder);
    void splitAnsweredReplace(std::shared_ptr<ExportFlow> flow, int button);
    void finishSplit(const ExportFlow& flow, const std::vector<WriteFailure>& failures);
    void mergeChoseLoopOptions(std::shared_ptr<ExportFlow> flow, std::optional<LoopExportOptions> options);
    void mergeChoseFormat(std::shared_ptr<ExportFlow> flow, std::optional<midi::MIDIExportFormat> format);
    void mergeChoseFile(std::shared_ptr<ExportFlow> flow, std::optional<std::filesystem::path> file);
    void showMIDI2OperationReport(const midi::MIDI2OperationReport& report);
    void showMIDI2OperationReports(const std::vector<midi::MIDI2OperationReport>& reports);
    void updateExportUI();

    // ---- Song edits (MainSongEdits.cpp) ------------------------------------------------
    void setOverrideBPM(std::optional<double> bpm, std::string_view reason);
    void setTransposeOffset(int offset, std::string_view reason);
    void applyTrackState(int row, const TrackState& state, std::string_view reason);
    [[nodiscard]] TrackState trackState(int row) const;
    [[nodiscard]] midi::MIDITrack* sourceTrack(int row);
    [[nodiscard]] const midi::MIDITrack* sourceTrack(int row) const;
    void updateBottomControlsEnabled();
    void setSongName(std::string name);

    // ---- Undo (MainUndo.cpp) -----------------------------------------------------------
    void recordEdit(EditStep step);
    // Answers whether the edit could be applied (mixer edits are refused while playing).
    bool applyEdit(const SongEdit& edit, bool undoing);
    void updateUndoTitles();

    // ---- Mixer (MainMixer.cpp) ---------------------------------------------------------
    void refreshMixerPanel();
    void applyMixerValue(int row, MixerSetting setting, std::optional<std::uint8_t> value);
    void commitMixerSettingsChange();
    void closeMixerWindow();

    // ---- Beat detection (MainBeatDetection.cpp) ----------------------------------------
    void closeBeatDetectionWindow();

    // ---- View state (MainViewPublishing.cpp) -------------------------------------------
    void publish(unsigned sections);
    void flushView();
    void setStatus(std::string text, ColorRole color);
    // Clears the status line after seconds, unless the document changed meanwhile.
    void clearStatusAfter(double seconds);
    void updateTransportUI();
    void enableTransport(bool enabled);
    // Runs work later on the main queue with this controller, if it still exists and the
    // document is still the same.
    void later(double seconds, std::function<void(MainViewController&)> work);
    [[nodiscard]] std::function<void(std::function<void(MainViewController&)>)> mainThreadHop();
    bool beginUserFlow();
    void endUserFlow();

    RunLoop& runLoop_;
    ModalPort& modal_;
    MainViewSink& sink_;
    playback::MIDIFilePlayerFactory makePlayer_;
    tempo::AudioFileOpener openAudio_;

    // The document.
    std::shared_ptr<midi::MIDIFile> midiFile_;
    std::optional<std::filesystem::path> inputURL_;
    std::string editedFilename_;
    std::optional<std::string> songNameDraft_;
    std::optional<int> selectedTrackRow_;
    std::optional<midi::Bytes> fullSongMIDIData_;
    std::shared_ptr<MixerPanel> mixerPanel_;
    std::shared_ptr<BeatDetectionController> beatDetectionWindowController_;
    std::vector<TrackRow> trackRows_;
    std::uint64_t generation_ = 0;

    // Edit and playback state.
    TransportState transportState_;
    int transposeOffset_ = 0;
    int lastPlayedTransposeOffset_ = 0;
    std::optional<double> lastPlayedOverrideBPM_;
    int mixerSettingsRevision_ = 0;
    int lastPlayedMixerSettingsRevision_ = 0;
    std::optional<PlaybackRequest> lastLoadedPlaybackRequest_;
    std::optional<std::set<int>> loopPreviewMeterRows_;
    bool loopModeEnabled_ = false;
    double loopStartFraction_ = 0;
    double loopEndFraction_ = 1.0;
    double playbackTimelineOffset_ = 0;
    bool loadedStreamIsLoopSection_ = false;
    bool loopRangeChangedDuringDrag_ = false;
    std::vector<MIDIActivityTrack> mixerActivityTracks_;
    std::optional<double> overrideBPM_;
    std::shared_ptr<playback::MIDIPlayerController> player_;
    EditHistory history_;
    bool mixerGestureOpen_ = false;
    bool mixerGestureStepRecorded_ = false;

    // Flows.
    bool waitingForUser_ = false;
    bool exportInProgress_ = false;

    // The view.
    MainViewState view_;
    unsigned pendingSections_ = 0;
    bool flushPosted_ = false;
};

}  // namespace orvane::app
