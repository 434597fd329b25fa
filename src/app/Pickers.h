#pragma once
// The instrument and drum pickers' logic: the rows they list, filtering as the user types,
// the selection, and the choice they report. The window shows the filtered rows and hands
// keys and clicks here.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "midi/model/MIDIFile.h"

namespace orvane::app {

struct InstrumentPickerSelection {
    enum class Kind { melodic, drums };
    Kind kind = Kind::melodic;
    std::uint8_t program = 0;  // 0-based; melodic only

    static InstrumentPickerSelection melodic(std::uint8_t program) { return {Kind::melodic, program}; }
    static InstrumentPickerSelection drums() { return {Kind::drums, 0}; }
    friend bool operator==(const InstrumentPickerSelection&, const InstrumentPickerSelection&) = default;
};

struct DrumInstrumentSelection {
    std::uint8_t kitProgram = 0;
    std::uint8_t note = 0;
    friend bool operator==(const DrumInstrumentSelection&, const DrumInstrumentSelection&) = default;
};

struct InstrumentRow {
    std::optional<std::uint8_t> program;  // absent for the drums row
    std::string name;
    // "  1  Acoustic Grand Piano" (program + 1 in three places), "DRUMS  Channel 10 Drum Track".
    [[nodiscard]] std::string text() const;
    friend bool operator==(const InstrumentRow&, const InstrumentRow&) = default;
};

class InstrumentPicker {
public:
    static constexpr int width = 340;
    static constexpr int height = 460;

    explicit InstrumentPicker(std::uint8_t currentInstrument);

    [[nodiscard]] const std::vector<InstrumentRow>& allInstruments() const noexcept { return all_; }
    [[nodiscard]] const std::vector<InstrumentRow>& filtered() const noexcept { return filtered_; }
    [[nodiscard]] std::optional<std::size_t> selectedIndex() const noexcept { return selected_; }

    // The rows whose name contains the text in any letter case (all rows for an empty text);
    // the first of them is selected.
    void setFilter(std::string_view text);
    void select(std::optional<std::size_t> index);
    // Select, Return or double-click: the selected row's choice, or nothing without one.
    [[nodiscard]] std::optional<InstrumentPickerSelection> confirm() const;

private:
    std::vector<InstrumentRow> all_;
    std::vector<InstrumentRow> filtered_;
    std::optional<std::size_t> selected_;
};

class DrumPicker {
public:
    static constexpr int width = 390;
    static constexpr int height = 500;

    DrumPicker(std::uint8_t currentKitProgram, std::optional<std::uint8_t> currentNote);

    [[nodiscard]] std::span<const midi::GMDrumKit> kits() const noexcept;
    [[nodiscard]] std::size_t selectedKitIndex() const noexcept { return kitIndex_; }
    [[nodiscard]] const std::vector<midi::GMDrumNote>& filteredNotes() const noexcept { return filtered_; }
    [[nodiscard]] std::optional<std::size_t> selectedIndex() const noexcept { return selected_; }
    // " 36  Bass Drum 1".
    [[nodiscard]] static std::string noteText(const midi::GMDrumNote& note);

    void selectKit(std::size_t index);
    // Notes whose name or note number contains the text (any letter case); the first is
    // selected.
    void setFilter(std::string_view text);
    void select(std::optional<std::size_t> index);
    [[nodiscard]] std::optional<DrumInstrumentSelection> confirm() const;

private:
    std::vector<midi::GMDrumNote> filtered_;
    std::size_t kitIndex_ = 0;
    std::optional<std::size_t> selected_;
};

}  // namespace orvane::app
