#include <gtest/gtest.h>

#include "app/PromptPanel.h"
#include "app/TrackTable.h"
#include "app/WindowLayout.h"
#include "midi/ExportTestSupport.h"

namespace orvane::app {
namespace {

using namespace midi::testing;

// The panel's heights are checked on the dialog itself (tests/ui/ModalPortTest.cpp).
TEST(PromptPanel, TrimmedResults) {
    PromptRequest request;
    EXPECT_EQ(promptResult(request, ModalResponse::ok, "ignored", true), (PromptResult{ModalResponse::ok, std::nullopt, false}));
    request.inputValue = "4";
    EXPECT_EQ(promptResult(request, ModalResponse::cancel, " \t12\r\n", false).input, "12");
    EXPECT_EQ(trimmedText("\xC2\xA0 two  words\xE2\x80\xA8 "), "two  words");
}

TEST(TrackTable, RowsCellsAndAudition) {
    const TrackRow row = makeTrackRow(track("Piano", 0, {noteOn(0, 0, 60)}, 0), 9);
    EXPECT_EQ(row, (TrackRow{10, "Piano", "1", "Acoustic Grand Piano", 1, false, 1, false}));
    EXPECT_EQ(cellText(makeTrackRow(track("x", -1, {}), 0), TrackColumn::channel), "—");
    midi::MIDITrack drums = track("Drums", 9, {}, 8);
    EXPECT_EQ(instrumentText(drums), "Drums - Drum Kit 9");
    drums.drumNote = 36;
    EXPECT_EQ(instrumentText(drums), "Drums - Bass Drum 1");
    EXPECT_EQ(auditionButtonLook(1, 1), (AuditionButtonLook{"■", true, true}));
    EXPECT_EQ(auditionButtonLook(0, 1), (AuditionButtonLook{"▶", false, false}));
}

TEST(WindowLayout, HeightFollowsTheTrackCount) {
    EXPECT_EQ(windowLayout(0), (WindowLayout{65, 44, 319, true}));
    EXPECT_EQ(windowLayout(4), (WindowLayout{137, 40, 387, true}));
    EXPECT_EQ(windowLayout(30), (WindowLayout{521, 248, 979, true}));
    EXPECT_GT(windowLayout(SIZE_MAX).windowHeight, 0);
    EXPECT_EQ(fittedWindowHeight(979, 800), 800);
    EXPECT_EQ(fittedWindowHeight(387, 0), 387);
}

}  // namespace
}  // namespace orvane::app
