#pragma once
// The main window's state as the controller publishes it: typed values the window draws, with
// no toolkit types. The controller gathers its changes and hands the whole state to the view
// once per run-loop turn, with a mask of the sections that changed.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/TimelineLanes.h"
#include "app/TrackTable.h"
#include "app/ViewTypes.h"
#include "app/WindowLayout.h"

namespace orvane::app {

struct StatusLine {
    std::string text;
    ColorRole color = ColorRole::secondaryLabel;
    friend bool operator==(const StatusLine&, const StatusLine&) = default;
};

struct TransportViewState {
    bool enabled = false;  // play, pause, return to zero, slider
    std::string label = "Ready";
    bool playing = false;  // play shows "■" in red
    bool paused = false;   // pause shows in orange
    bool loopOn = false;   // the loop toggle, in the accent colour
    double sliderMaximum = 1.0;
    double sliderValue = 0;
    std::string currentTime = "0:00";
    std::string totalTime = "0:00";
    bool indicatorPlaying = false;  // the now-playing indicator animates

    [[nodiscard]] std::string playTitle() const { return playing ? "■" : "▶"; }
    friend bool operator==(const TransportViewState&, const TransportViewState&) = default;
};

struct TrackTableState {
    std::vector<TrackRow> rows;
    std::optional<int> auditionedRow;  // the row being auditioned while the player plays
    std::optional<int> selectedRow;    // the row last clicked
    friend bool operator==(const TrackTableState&, const TrackTableState&) = default;
};

struct TimelineState {
    std::vector<TrackLane> lanes;
    double songDuration = 0;
    bool loopEnabled = false;
    double loopStart = 0;  // fractions of the song
    double loopEnd = 1;
    friend bool operator==(const TimelineState&, const TimelineState&) = default;
};

struct DropZoneState {
    static constexpr const char* emptyText = "Drop MIDI or audio file here";
    bool loaded = false;
    std::string originalFileStem;  // the loaded file's name without extension
    std::string nameText = emptyText;  // the song name shown (editable when loaded)
    std::string info;                  // "♩120  4/4  C major"
    friend bool operator==(const DropZoneState&, const DropZoneState&) = default;
};

struct EditControlsState {
    int transposeValue = 0;
    std::string transposeText = "0";
    bool transposeEnabled = false;  // stepper, field, reset and Tempo
    bool loopButtonEnabled = false;
    bool mixerButtonEnabled = false;
    bool mixerMenuEnabled = false;
    std::string splitTitle = "Split All";
    bool splitEnabled = false;
    std::string mergeTitle = "Merge All…";
    bool mergeEnabled = false;
    std::string undoTitle = "Undo";
    bool undoEnabled = false;
    std::string redoTitle = "Redo";
    bool redoEnabled = false;
    friend bool operator==(const EditControlsState&, const EditControlsState&) = default;
};

struct MainViewState {
    StatusLine status;
    TransportViewState transport;
    double playhead = 0;  // fraction of the song
    TrackTableState table;
    TimelineState timeline;
    DropZoneState dropZone;
    EditControlsState controls;
    WindowLayout layout;
    friend bool operator==(const MainViewState&, const MainViewState&) = default;
};

// The sections of MainViewState, as a mask of what changed.
enum ViewSection : unsigned {
    statusSection = 1u << 0,
    transportSection = 1u << 1,
    playheadSection = 1u << 2,
    tableSection = 1u << 3,
    timelineSection = 1u << 4,
    dropZoneSection = 1u << 5,
    controlsSection = 1u << 6,
    layoutSection = 1u << 7,
    allSections = (1u << 8) - 1,
};

class MainViewSink {
public:
    MainViewSink() = default;
    MainViewSink(const MainViewSink&) = delete;
    MainViewSink& operator=(const MainViewSink&) = delete;
    virtual ~MainViewSink() = default;
    // changed: a mask of ViewSection.
    virtual void render(const MainViewState& state, unsigned changed) = 0;
};

}  // namespace orvane::app
