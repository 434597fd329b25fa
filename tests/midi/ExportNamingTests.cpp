// Output file names and the rows an export covers.

#include <gtest/gtest.h>

#include <tuple>

#include "ExportTestSupport.h"
#include "midi/export/ExportNaming.h"

namespace orvane::midi {
namespace {

using namespace testing;
using Names = std::vector<std::string>;

MIDITrack named(std::string name, int channel, std::uint8_t program = 0) { return track(std::move(name), channel, {}, program); }

// orvane-cli's split test checks names that collide on different channels.
TEST(SplitFileNames, CollisionsGetTheChannelThenNumbers) {
    const std::vector<MIDITrack> same = {named("Piano", 0), named("piano", 0), named("PIANO", 0), named("x", -1)};
    EXPECT_EQ(splitExportFileNames(same, std::nullopt, "mid"),
              (Names{"Piano_Acoustic Grand Piano_Ch1.mid", "piano_Acoustic Grand Piano_Ch1_2.mid",
                     "PIANO_Acoustic Grand Piano_Ch1_3.mid", "x_Acoustic Grand Piano.mid"}));

    const std::vector<MIDITrack> unknown = {named("x", -1), named("X", -1)};
    EXPECT_EQ(splitExportFileNames(unknown, 4, "midi2"),
              (Names{"x_Acoustic Grand Piano_ChUnknown_loopx4.midi2", "X_Acoustic Grand Piano_ChUnknown_loopx4_2.midi2"}));
    EXPECT_EQ(splitExportFileNames(std::vector<MIDITrack>{named("Piano", 0)}, 4, "mid"),
              Names{"Piano_Acoustic Grand Piano_loopx4.mid"});
}

TEST(SplitFileNames, UnsafeCharactersAreReplaced) {
    MIDITrack drums = named(" \tLead/Vox?\t", 9);
    drums.drumNote = 38;
    const std::vector<MIDITrack> tracks = {drums, named("   ", 0), named("a\nb\x01" "c\x7F", 0, 4),
                                           named(std::string("nul\0here", 8), 0, 5), named("..", 0, 6)};
    EXPECT_EQ(splitExportFileNames(tracks, std::nullopt, "mid"),
              (Names{"Lead-Vox-_Drums - Acoustic Snare.mid", "_Acoustic Grand Piano.mid", "a-b-c-_Electric Piano 1.mid",
                     "nul-here_Electric Piano 2.mid", ".._Harpsichord.mid"}));
}

TEST(SplitFileNames, LongNamesAreShortenedKeepingSuffixesAndWholeCharacters) {
    std::string longName;
    for (int i = 0; i < 120; ++i) longName += "é";  // 240 bytes
    const std::vector<MIDITrack> tracks = {named(longName, 0), named(longName, 1), named(longName + "x", 1)};
    const Names names = splitExportFileNames(tracks, 999, "midi2");
    ASSERT_EQ(names.size(), 3u);
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        EXPECT_LE(name.size(), maximumFileNameBytes);
        const std::string cut = name.substr(0, name.find("_Acoustic"));
        std::string whole;
        while (whole.size() < cut.size()) whole += "é";
        EXPECT_EQ(cut, whole) << "cut between whole characters";
    }
    // Cut to the same length, the third name equals the second one and gets a number.
    const Names suffixes = {"_Ch1_loopx999.midi2", "_Ch2_loopx999.midi2", "_Ch2_loopx999_2.midi2"};
    for (std::size_t i = 0; i < 3; ++i) EXPECT_TRUE(names[i].ends_with("_Acoustic Grand Piano" + suffixes[i])) << names[i];

    const std::string extreme(300, 'y');
    EXPECT_EQ(fittedFileName(extreme + ".mid", 0), std::string(251, 'y') + ".mid");
}

TEST(FileNameOperations, LoopNamesSuffixesAndCase) {
    EXPECT_EQ(loopExportFileName("a.b.mid", 8, "mid"), "a.b_loopx8.mid");
    EXPECT_EQ(fileNameByAppendingSuffix("song.mid", "2"), "song_2.mid");
    EXPECT_EQ(fileNameByAppendingSuffix("song", "3"), "song_3");
    EXPECT_EQ(foldedCase("ÉCOLE Ÿ ΣΑ Жук"), "école ÿ σα жук");
}

TEST(ExportRows, SomeSelectedRowsOrEveryRow) {
    EXPECT_EQ(rowsToExport({}, 4, 4), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(rowsToExport({1, 5}, 6, 4), (std::vector<int>{1})) << "rows beyond the musical tracks are skipped";
    EXPECT_EQ(exportCount({}, 4), 4u);
    EXPECT_EQ(exportCount({2}, 4), 1u);

    const MIDIFile midi = song({track("C", -1, {tempo(0, 500000)}), track("A", 0, {noteOn(0, 0, 60)}),
                                track("B", 1, {noteOn(0, 1, 60)})});
    const auto list = tracksWithRowsToExport(midi, {1}, 2);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(std::tuple(list[0].row, list[0].track.name), std::tuple(1, "B"));
}

}  // namespace
}  // namespace orvane::midi
