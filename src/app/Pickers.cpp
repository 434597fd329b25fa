// The instrument and drum pickers: rows, filtering, selection and the reported choice.

#include "app/Pickers.h"

#include <algorithm>

#include "support/TextFormat.h"

namespace orvane::app {
namespace {

// Lower-cases ASCII letters; other bytes (UTF-8 sequences included) stay as they are.
std::string lowercased(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

bool containsQuery(std::string_view text, const std::string& query) {
    return lowercased(text).find(query) != std::string::npos;
}

// The first row of a non-empty list.
std::optional<std::size_t> firstRow(std::size_t count) {
    return count == 0 ? std::nullopt : std::optional<std::size_t>(0);
}

std::optional<std::size_t> validIndex(std::optional<std::size_t> index, std::size_t count) {
    return index && *index < count ? index : std::nullopt;
}

}  // namespace

std::string InstrumentRow::text() const {
    if (!program) return "DRUMS  Channel 10 Drum Track";
    return formatString("%3d  %s", *program + 1, name.c_str());
}

InstrumentPicker::InstrumentPicker(std::uint8_t currentInstrument) {
    all_.push_back({std::nullopt, "DRUMS"});
    for (const auto& [program, name] : midi::MIDIFile::gmInstruments()) {
        if (program >= 0 && program < 128) all_.push_back({static_cast<std::uint8_t>(program), std::string(name)});
    }
    filtered_ = all_;
    const auto current = std::find_if(filtered_.begin(), filtered_.end(),
                                      [&](const InstrumentRow& row) { return row.program == currentInstrument; });
    if (current != filtered_.end()) selected_ = static_cast<std::size_t>(current - filtered_.begin());
}

void InstrumentPicker::setFilter(std::string_view text) {
    const std::string query = lowercased(text);
    filtered_.clear();
    for (const InstrumentRow& row : all_) {
        if (query.empty() || containsQuery(row.name, query)) filtered_.push_back(row);
    }
    selected_ = firstRow(filtered_.size());
}

void InstrumentPicker::select(std::optional<std::size_t> index) { selected_ = validIndex(index, filtered_.size()); }

std::optional<InstrumentPickerSelection> InstrumentPicker::confirm() const {
    if (!selected_ || *selected_ >= filtered_.size()) return std::nullopt;
    const InstrumentRow& row = filtered_[*selected_];
    return row.program ? InstrumentPickerSelection::melodic(*row.program) : InstrumentPickerSelection::drums();
}

DrumPicker::DrumPicker(std::uint8_t currentKitProgram, std::optional<std::uint8_t> currentNote) {
    const auto allKits = kits();
    const auto kit = std::find_if(allKits.begin(), allKits.end(),
                                  [&](const midi::GMDrumKit& k) { return k.program == currentKitProgram; });
    kitIndex_ = kit == allKits.end() ? 0 : static_cast<std::size_t>(kit - allKits.begin());
    const auto notes = midi::MIDIFile::gmDrumNotes();
    filtered_.assign(notes.begin(), notes.end());
    const auto current = std::find_if(filtered_.begin(), filtered_.end(),
                                      [&](const midi::GMDrumNote& note) { return note.note == currentNote; });
    selected_ = current == filtered_.end() ? firstRow(filtered_.size())
                                           : std::optional<std::size_t>(current - filtered_.begin());
}

std::span<const midi::GMDrumKit> DrumPicker::kits() const noexcept { return midi::MIDIFile::gmDrumKits(); }

std::string DrumPicker::noteText(const midi::GMDrumNote& note) {
    return formatString("%3d  %.*s", note.note, static_cast<int>(note.name.size()), note.name.data());
}

void DrumPicker::selectKit(std::size_t index) {
    if (index < kits().size()) kitIndex_ = index;
}

void DrumPicker::setFilter(std::string_view text) {
    const std::string query = lowercased(text);
    filtered_.clear();
    for (const midi::GMDrumNote& note : midi::MIDIFile::gmDrumNotes()) {
        if (query.empty() || containsQuery(note.name, query) ||
            std::to_string(note.note).find(query) != std::string::npos) {
            filtered_.push_back(note);
        }
    }
    selected_ = firstRow(filtered_.size());
}

void DrumPicker::select(std::optional<std::size_t> index) { selected_ = validIndex(index, filtered_.size()); }

std::optional<DrumInstrumentSelection> DrumPicker::confirm() const {
    if (!selected_ || *selected_ >= filtered_.size() || kitIndex_ >= kits().size()) return std::nullopt;
    return DrumInstrumentSelection{kits()[kitIndex_].program, filtered_[*selected_].note};
}

}  // namespace orvane::app
