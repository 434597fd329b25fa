#include <gtest/gtest.h>

#include "app/Pickers.h"

namespace orvane::app {
namespace {

std::vector<std::string> names(const InstrumentPicker& picker) {
    std::vector<std::string> result;
    for (const InstrumentRow& row : picker.filtered()) result.push_back(row.name);
    return result;
}

std::vector<int> notes(const DrumPicker& picker) {
    std::vector<int> result;
    for (const midi::GMDrumNote& note : picker.filteredNotes()) result.push_back(note.note);
    return result;
}

TEST(InstrumentPicker, RowsSelectionAndFilter) {
    InstrumentPicker picker(33);
    const auto& all = picker.allInstruments();
    ASSERT_EQ(all.size(), 129u);  // the drums row and 128 programs
    EXPECT_EQ(all[0].text() + "|" + all[1].text() + "|" + all[128].text(),
              "DRUMS  Channel 10 Drum Track|  1  Acoustic Grand Piano|128  Gunshot");
    EXPECT_EQ(picker.confirm(), InstrumentPickerSelection::melodic(33));
    picker.setFilter("piano");  // in any letter case
    EXPECT_EQ(names(picker), (std::vector<std::string>{"Acoustic Grand Piano", "Bright Acoustic Piano",
                                                       "Electric Grand Piano", "Honky-Tonk Piano",
                                                       "Electric Piano 1", "Electric Piano 2"}));
    picker.setFilter("drum");
    EXPECT_EQ(picker.confirm(), InstrumentPickerSelection::drums());
    picker.setFilter("zzz");
    EXPECT_EQ(picker.confirm(), std::nullopt);
}

TEST(DrumPicker, OpensOnTheCurrentSoundAndFiltersByNameOrNumber) {
    EXPECT_EQ(DrumPicker(0, std::nullopt).confirm(), (DrumInstrumentSelection{0, 35}));
    EXPECT_EQ(DrumPicker(0, 20).confirm(), (DrumInstrumentSelection{0, 35}));  // not listed
    DrumPicker picker(0, 42);
    EXPECT_EQ(picker.confirm(), (DrumInstrumentSelection{0, 42}));
    picker.setFilter("HI-HAT");
    EXPECT_EQ(notes(picker), (std::vector<int>{42, 44, 46}));
    picker.setFilter("nothing");
    EXPECT_EQ(picker.confirm(), std::nullopt);
}

}  // namespace
}  // namespace orvane::app
