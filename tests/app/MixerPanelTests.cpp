#include <gtest/gtest.h>

#include <tuple>

#include "app/MixerPanel.h"

namespace orvane::app {
namespace {

using Lines = std::vector<std::string>;

TEST(MixerTexts, PanNamesAndContentSize) {
    EXPECT_EQ(panDisplay(64) + panDisplay(10) + panDisplay(100) + panDisplay(127), "CL54R36R63");

    EXPECT_EQ(instrumentNameLines("Acoustic Grand Piano"), (Lines{"Acoustic", "Grand Piano"}));
    EXPECT_EQ(instrumentNameLines("Bass+Lead"), (Lines{"Bass", "+Lead"}));
    EXPECT_EQ(instrumentNameLines(" Synth  Bass+Lead "), (Lines{"Synth", "Bass +Lead"}));
    EXPECT_EQ(instrumentNameLines("+Lead++X"), (Lines{"Lead", "+X"}));

    EXPECT_EQ(mixerContentSize(1, true), (MixerContentSize{160, 520}));
    EXPECT_EQ(mixerContentSize(4, false), (MixerContentSize{259, 406}));
}

class MixerPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        panel.onChange = [this](int row, MixerSetting setting, std::uint8_t value) {
            changes.emplace_back(row, setting, value);
        };
        panel.onBlockedInteraction = [this] { ++blocked; };
        panel.onViewChange = [this](unsigned mask) { viewChanges |= mask; };
        panel.updateStrips({{2, "Violin", 100, 64, 90, 0, 2}, {5, "Cello", 64, 64, 64, 0, 5}});
        viewChanges = 0;
    }
    MixerPanel panel;
    std::vector<std::tuple<int, MixerSetting, std::uint8_t>> changes;
    int blocked = 0;
    unsigned viewChanges = 0;
};

TEST_F(MixerPanelTest, SliderValuesAreClampedReportedAndShown) {
    panel.userSetValue(0, MixerSetting::volume, 300);
    panel.userSetValue(1, MixerSetting::velocity, 0);
    panel.userSetValue(1, MixerSetting::pan, 3);
    panel.userResetPan(1);                           // control-click
    panel.userSetValue(7, MixerSetting::volume, 1);  // no such strip
    EXPECT_EQ(changes, (decltype(changes){{2, MixerSetting::volume, 127},
                                          {5, MixerSetting::velocity, 1},
                                          {5, MixerSetting::pan, 3},
                                          {5, MixerSetting::pan, 64}}));
    EXPECT_EQ(panel.currentMixerSnapshots(), (std::vector<MixerStripUISnapshot>{{2, 127, 64, 90, 0}, {5, 64, 64, 1, 0}}));
    EXPECT_EQ(viewChanges, MixerPanel::valuesChanged);
}

TEST_F(MixerPanelTest, LockedPanelRefusesEveryEdit) {
    panel.setPlaybackLocked(true);
    EXPECT_TRUE(panel.shieldVisible());
    panel.userSetValue(0, MixerSetting::volume, 10);
    panel.toggleAdvancedMixer();
    panel.shieldAttempt();
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(std::tuple(blocked, int{panel.strips()[0].volume}, panel.contentSize().height), std::tuple(3, 100, 406));
}

TEST_F(MixerPanelTest, MetersRedrawOnlyOnChangeAndCloseOnce) {
    panel.updateMeterLevels({{5, 0.5}}, 0);
    EXPECT_EQ(std::pair(panel.meters()[1].litSegments, viewChanges), std::pair(6, unsigned{MixerPanel::metersChanged}));
    viewChanges = 0;
    panel.updateMeterLevels({{5, 0.5}}, 0.03);
    EXPECT_EQ(viewChanges, 0u);
    panel.updateMeterLevels({{2, 0.5}}, 0.06);  // row 5 stops metering: level and peak cleared
    EXPECT_EQ(panel.meters()[1], ActivityMeterState{});

    panel.setPlaybackLocked(true);
    panel.updateStrips({});
    EXPECT_FALSE(panel.shieldVisible());  // nothing to shield

    int closes = 0;
    panel.onClose = [&] { ++closes; };
    panel.windowWillClose();
    panel.windowWillClose();
    EXPECT_EQ(closes, 1);
}

}  // namespace
}  // namespace orvane::app
