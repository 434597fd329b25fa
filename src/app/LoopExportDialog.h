#pragma once
// The loop export dialog's logic, without a toolkit: a close-up of the tracks around the loop,
// markers that snap to the edges of note blocks, a repeating preview through its own player,
// and the repeat count. The dialog reports the confirmed options (or nothing when cancelled)
// through onFinish. The arithmetic of the close-up is exposed for tests and for drawing.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/TimelineLanes.h"
#include "midi/model/MIDIFile.h"
#include "playback/MIDIPlayerController.h"
#include "support/RunLoop.h"

namespace orvane::app {

struct LoopExportOptions {
    int repeatCount = 1;  // 1...999
    bool tightenLoop = true;
    double loopStartSeconds = 0;
    double loopEndSeconds = 0;
    friend bool operator==(const LoopExportOptions&, const LoopExportOptions&) = default;
};

struct PreviewTrack {
    midi::MIDITrack track;
    int row = 0;  // the musical row
    std::string title;
    int paletteIndex = 0;
    bool included = true;  // drawn and previewed
};

struct NoteBlock {
    double start = 0;
    double end = 0;
    int note = 0;
    friend bool operator==(const NoteBlock&, const NoteBlock&) = default;
};

struct GridCell {
    double start = 0;
    double end = 0;
    bool isBarStart = false;
    std::optional<int> barNumber;
    friend bool operator==(const GridCell&, const GridCell&) = default;
};

struct LoopTimelineLane {
    std::string title;
    int paletteIndex = 0;
    bool included = true;
    std::vector<NoteBlock> notes;
    friend bool operator==(const LoopTimelineLane&, const LoopTimelineLane&) = default;
};

// ---- Arithmetic ----------------------------------------------------------------------

// The time window shown around the loop [s, e] of a song of length d: padded, at least 4 s.
[[nodiscard]] std::pair<double, double> loopVisibleRange(double s, double e, double d);
// Sorted, with values closer than 0.0005 s to the previous one dropped.
[[nodiscard]] std::vector<double> uniqueSeconds(std::vector<double> seconds);
// The smallest step between boundaries above 0.001 (at least 0.001); without one, 1 % of the
// visible span limited to 0.05...1.0 s.
[[nodiscard]] double minimumMarkerGapSeconds(std::span<const double> boundaries, double visibleSpan);

struct MarkerSnap {
    double seconds = 0;
    std::string_view source;  // "visible event-block boundary", "time fallback", "current marker fallback"
    friend bool operator==(const MarkerSnap&, const MarkerSnap&) = default;
};
[[nodiscard]] MarkerSnap markerSnap(LoopMarker marker, double requestedSeconds, double minimumGap,
                                    std::span<const double> boundaries, double loopStart, double loopEnd,
                                    double songLength);

// The notes of a track that overlap [visibleStart, visibleEnd], clipped to it, in seconds.
[[nodiscard]] std::vector<NoteBlock> noteBlocks(const midi::MIDIFile& song, const midi::MIDITrack& track,
                                                double visibleStart, double visibleEnd,
                                                std::optional<double> newBPM);
[[nodiscard]] std::vector<GridCell> gridCells(const midi::MIDIFile& song, double loopStart, double loopEnd,
                                              double visibleStart, double visibleEnd, std::size_t previewTrackCount,
                                              std::optional<double> newBPM);
// "m:ss.t" (75.26 gives "1:15.3"); "0:00.0" for a negative or undefined value.
[[nodiscard]] std::string preciseTime(double seconds);
// A repeat count typed by the user: an integer from 1 to 999.
[[nodiscard]] std::optional<int> parseRepeatCount(std::string_view text);

struct LoopDialogSize {
    int width = 1000;
    int height = 470;
    int timelineHeight = 250;
    friend bool operator==(const LoopDialogSize&, const LoopDialogSize&) = default;
};
[[nodiscard]] LoopDialogSize loopDialogSize(std::size_t previewTrackCount);

// The close-up's geometry: the plot lies inside the view less 230 points on the left, 10 on
// the right, 26 at the top (the bar ruler) and 10 at the bottom.
struct LoopTimelineGeometry {
    double width = 0;
    double height = 0;
    double visibleStart = 0;
    double visibleEnd = 1;

    struct Rect {
        double x = 0, y = 0, width = 0, height = 0;
        friend bool operator==(const Rect&, const Rect&) = default;
    };
    [[nodiscard]] Rect plotRect() const noexcept;
    [[nodiscard]] double xForTime(double seconds) const noexcept;
    [[nodiscard]] double timeAt(double x) const noexcept;
    // Lane i from the top: its row (origin at the top left).
    [[nodiscard]] Rect laneRow(std::size_t lane, std::size_t laneCount) const noexcept;
    // The blocks drawn for a lane's notes: one per grid cell a note overlaps.
    [[nodiscard]] std::vector<Rect> noteCellBlocks(const LoopTimelineLane& lane, std::span<const GridCell> cells,
                                                   const Rect& row) const;

    // The column a grid cell fills over the plot: at least one point wide.
    [[nodiscard]] Rect cellColumn(const GridCell& cell) const noexcept;
    // The label area of lane i: its colour dot, the box of its title and the title's size.
    struct LaneLabel {
        Rect dot;
        Rect title;
        double fontSize = 12;
        friend bool operator==(const LaneLabel&, const LaneLabel&) = default;
    };
    [[nodiscard]] LaneLabel laneLabel(std::size_t lane, std::size_t laneCount) const noexcept;
};
// The marker a press grabs (within 16 points of its line, inside the plot grown by 16).
[[nodiscard]] std::optional<LoopMarker> loopDialogMarkerAt(const LoopTimelineGeometry& geometry, double x, double y,
                                                           double loopStart, double loopEnd);

// ---- The dialog ------------------------------------------------------------------------

// Everything the dialog's window shows.
struct LoopExportDialogState {
    std::vector<LoopTimelineLane> lanes;
    std::vector<GridCell> gridCells;
    double visibleStartSeconds = 0;
    double visibleEndSeconds = 1;
    double loopStartSeconds = 0;
    double loopEndSeconds = 1;
    std::optional<double> playbackPositionSeconds;
    double songDuration = 1;
    std::string playTitle = "▶";
    std::string timeCounter = "0:00.0";
    std::string repeatText = "1";
    int repeatStepperValue = 1;
    std::string startText, endText, lengthText;
    std::string errorText;
    LoopDialogSize size;
    friend bool operator==(const LoopExportDialogState&, const LoopExportDialogState&) = default;
};

class LoopExportDialog : public std::enable_shared_from_this<LoopExportDialog> {
public:
    struct Settings {
        std::shared_ptr<const midi::MIDIFile> midi;
        std::vector<PreviewTrack> previewTracks;
        double loopStart = 0;
        double loopEnd = 0;
        double songDuration = 0;
        int transpose = 0;
        std::optional<double> newBPM;
        bool applyMixerSettings = true;
    };

    static std::shared_ptr<LoopExportDialog> create(RunLoop& runLoop, playback::MIDIFilePlayerFactory makePlayer,
                                                    Settings settings);
    ~LoopExportDialog();

    // Set by the opener: the preview's song position (to drive the mixer meters), the preview
    // stopped, and the answer (nothing when cancelled). onFinish runs once.
    std::function<void(double)> onPreviewProgress;
    std::function<void()> onPreviewStopped;
    std::function<void(std::optional<LoopExportOptions>)> onFinish;
    // Set by the window: the state changed; the window must close.
    std::function<void()> onStateChange;
    std::function<void()> onCloseRequested;

    // Logs the prompt and prepares the state; the window then shows it.
    void show();

    // ---- Actions of the window ------------------------------------------------------
    void togglePreviewPlayback();  // also the space bar, wherever the focus is
    void pausePreviewPlayback();
    void repeatFieldChanged(std::string_view text);
    void repeatStepperChanged(int value);
    void moveMarker(LoopMarker marker, double seconds);
    void confirm();  // Return / OK
    void cancel();   // Escape / Cancel: the answer is nothing and the window is asked to close
    // The window closes by any means: the answer is nothing (when none was given yet).
    void windowWillClose();
    // Closes the dialog from outside (the document changed): as cancel().
    void close();

    [[nodiscard]] const LoopExportDialogState& state() const noexcept { return state_; }
    [[nodiscard]] bool isPreviewPlaying() const noexcept { return isPreviewPlaying_; }
    [[nodiscard]] bool isPreviewPaused() const noexcept { return isPreviewPaused_; }
    // The rows whose tracks are included in the preview.
    [[nodiscard]] std::vector<int> includedRows() const;

private:
    LoopExportDialog(RunLoop& runLoop, playback::MIDIFilePlayerFactory makePlayer, Settings settings);
    // Implementation details are the implementer's.
    void finish(std::optional<LoopExportOptions> answer, bool askWindowToClose);
    void changed();
    void wirePreviewPlayer();
    void startPreview();
    void stopPreview(bool resetProgress);
    void previewProgressed(double playerPosition);
    void previewPaused(double playerPosition);
    void previewEnded();
    void updateLabels();
    void setError(std::string text);

    RunLoop& runLoop_;
    Settings settings_;
    std::shared_ptr<playback::MIDIPlayerController> previewPlayer_;
    bool isPreviewPlaying_ = false;
    bool isPreviewPaused_ = false;
    bool finished_ = false;
    double previewPositionOffset_ = 0;
    int lastRepeatStepperValue_ = 1;
    std::optional<double> lastLoggedStartSnapSeconds_;
    std::optional<double> lastLoggedEndSnapSeconds_;
    std::vector<midi::MIDITrack> includedTracks_;  // what the preview plays
    std::vector<double> boundaries_;               // event-block boundaries of the visible window
    LoopExportDialogState state_;
};

}  // namespace orvane::app
