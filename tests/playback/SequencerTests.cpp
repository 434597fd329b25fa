#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "playback/MIDIFilePlayer.h"
#include "playback/PlaybackSchedule.h"
#include "playback/Sequencer.h"
#include "TestSongs.h"

namespace orvane::playback {
namespace {

using namespace testing;

constexpr double rate = 44100;

// Records what a sequencer sends, with the output frame at which it was sent.
class RecordingSynthesizer final : public SynthesizerPort {
public:
    struct Sent {
        std::uint64_t frame;
        std::vector<std::uint8_t> bytes;  // {} for a reset, {0xFF} for a release
    };
    void send(const MIDIEvent& message) override {
        sent.push_back({frame, {message.data().begin(), message.data().end()}});
    }
    void resetAll() override { sent.push_back({frame, {}}); }
    void releaseAll() override { sent.push_back({frame, {0xFF}}); }
    void render(std::span<float> left, std::span<float>) override { frame += left.size(); }

    // Renders `frames` frames in blocks of `block`; true when the end was reached.
    bool run(Sequencer& sequencer, std::size_t frames, std::size_t block) {
        std::vector<float> left(block);
        std::vector<float> right(block);
        bool ended = false;
        for (std::size_t done = 0; done < frames; done += block) {
            const std::size_t count = std::min(block, frames - done);
            ended = sequencer.render(std::span(left).first(count), std::span(right).first(count)) || ended;
        }
        return ended;
    }
    [[nodiscard]] std::vector<std::uint64_t> framesOf(std::vector<std::uint8_t> bytes) const {
        std::vector<std::uint64_t> frames;
        for (const auto& s : sent) if (s.bytes == bytes) frames.push_back(s.frame);
        return frames;
    }

    std::uint64_t frame = 0;
    std::vector<Sent> sent;
};

std::vector<std::vector<std::uint8_t>> bytesOf(const std::vector<MIDIEvent>& messages) {
    std::vector<std::vector<std::uint8_t>> out;
    for (const auto& message : messages) out.emplace_back(message.data().begin(), message.data().end());
    return out;
}

PlaybackSchedule scheduleOf(const std::vector<EventList>& tracks) {
    return PlaybackSchedule::fromStandardMIDIFile(songBytes(tracks));
}

TEST(PlaybackSchedule, MergesTracksInTimeOrderWithNoteOnsLastAtATick) {
    // A tempo change to 60 BPM at 1 s: tick 1440 (1.5 s at 120 BPM) then lies at 2.0 s.
    EventList conductor = {MIDIEvent(at(1.0), {0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}), endOfTrack(2.0)};
    EventList first = {noteOn(0.5, 0, 60), noteOff(1.5, 0, 60)};
    EventList second = {noteOff(0.5, 0, 60), program(0.5, 0, 5), noteOn(0.0, 0, 60), MIDIEvent(at(0.2), {0xFF, 0x01, 1, 'x'})};
    const auto schedule = scheduleOf({conductor, first, second});

    // The text event is not sent; the first note ends before the same key starts again.
    const auto messages = schedule.messages();
    std::vector<MIDIEvent> sent;
    for (const auto& m : messages) sent.push_back(m.message);
    EXPECT_EQ(sent, (std::vector<MIDIEvent>{noteOn(0.0, 0, 60), noteOff(0.5, 0, 60), program(0.5, 0, 5),
                                            noteOn(0.5, 0, 60), noteOff(1.5, 0, 60)}));
    EXPECT_DOUBLE_EQ(messages[3].seconds, 0.5);
    EXPECT_DOUBLE_EQ(messages[4].seconds, 2.0);
    // The conductor's end of track (tick 1920) lies at 1.0 s + 960 ticks at 60 BPM: the song
    // lasts to the end of its longest track, not to its last note.
    EXPECT_DOUBLE_EQ(schedule.duration(), 3.0);
}

TEST(PlaybackSchedule, RefusesDataThatIsNotAMIDIFile) {
    const std::vector<std::uint8_t> junk = {'R', 'I', 'F', 'F', 0, 0, 0, 0};
    EXPECT_THROW(PlaybackSchedule::fromStandardMIDIFile(junk), MIDIFilePlayerError);
    EXPECT_THROW(PlaybackSchedule::fromStandardMIDIFile({}), MIDIFilePlayerError);
}

TEST(PlaybackSchedule, SystemExclusivePayloadIsTheBytesBetweenF0AndF7) {
    const MIDIEvent message(0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    const auto payload = systemExclusivePayload(message);
    EXPECT_EQ(std::vector<std::uint8_t>(payload.begin(), payload.end()), (std::vector<std::uint8_t>{0x7E, 0x7F, 0x09, 0x01}));
    EXPECT_TRUE(systemExclusivePayload(MIDIEvent(0, {0xF0, 0x09, 0x7E, 0x7F})).empty());  // length beyond the bytes
    EXPECT_TRUE(systemExclusivePayload(MIDIEvent(0, {0xF0, 0x80})).empty());              // unfinished length
    EXPECT_TRUE(systemExclusivePayload(program(0, 0, 1)).empty());
}

TEST(StateRestoration, RestoresProgramsBanksControllersParametersAndBends) {
    const std::vector<EventList> song = {{
        controller(0.0, 0, 0, 1),    // bank 1 ...
        program(0.1, 0, 40),         // ... for program 40
        controller(0.2, 0, 0, 2),    // a later bank select waits for the next program change
        controller(0.3, 0, 101, 0), controller(0.3, 0, 100, 0), controller(0.3, 0, 6, 12),  // bend range 12
        controller(0.4, 0, 101, 127), controller(0.4, 0, 100, 127),                          // selection closed
        controller(0.5, 0, 1, 90),   // modulation, cleared by the reset below
        controller(0.5, 0, 7, 70),   // volume, kept by it
        controller(0.6, 0, 121, 0),
        MIDIEvent(at(0.7), {0xE0, 0x00, 0x50}),
        noteOn(0.8, 0, 60),
        program(0.9, 3, 20),
        MIDIEvent(at(1.0), {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}),  // GM reset: channel 3 forgets
        program(1.1, 5, 7),
    }};
    const auto schedule = scheduleOf(song);
    using Messages = std::vector<std::vector<std::uint8_t>>;
    EXPECT_EQ(bytesOf(stateRestorationMessages(schedule.messages())),
              (Messages{{0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}, {0xC5, 7}}));
    EXPECT_EQ(bytesOf(stateRestorationMessages(schedule.messages().first(14))), (Messages{
        {0xB0, 0, 1}, {0xC0, 40},                                  // bank and program as they were set
        {0xB0, 0, 2}, {0xB0, 7, 70},                               // then the controllers, modulation gone
        {0xB0, 101, 0}, {0xB0, 100, 0}, {0xB0, 6, 12},             // the bend range
        {0xE0, 0x00, 0x50},                                        // (the reset closed the selection)
        {0xC3, 20},
    }));
}

TEST(Sequencer, SendsEachMessageAtItsExactFrameWhateverTheBlockSize) {
    const auto tracks = std::vector<EventList>{{noteOn(0.5, 0, 60), noteOff(1.25, 0, 60), endOfTrack(1.5)}};
    for (const std::size_t block : {64U, 100U, 4096U}) {
        RecordingSynthesizer synth;
        Sequencer sequencer(scheduleOf(tracks), synth, rate);
        sequencer.start();
        EXPECT_FALSE(synth.run(sequencer, 66000, block));
        EXPECT_EQ(synth.framesOf({0x90, 60, 100}), (std::vector<std::uint64_t>{22050})) << block;
        EXPECT_EQ(synth.framesOf({0x80, 60, 0}), (std::vector<std::uint64_t>{55125})) << block;
        EXPECT_TRUE(synth.run(sequencer, 1000, block));  // the end, 1.5 s = frame 66150
        EXPECT_EQ(std::pair(sequencer.isPlaying(), sequencer.positionFrame()), std::pair(false, std::uint64_t{66150}));
        EXPECT_EQ(synth.framesOf({0xFF}), (std::vector<std::uint64_t>{66150}));
        EXPECT_FALSE(synth.run(sequencer, 1000, block));  // rendering goes on, the end is not reported again
    }
}

TEST(Sequencer, AJumpWhilePlayingSilencesAndRestoresTheSetupThere) {
    const auto tracks = std::vector<EventList>{{program(0, 0, 1), noteOn(1, 0, 60), program(5, 0, 40),
                                                noteOff(6, 0, 60), noteOn(11, 0, 62), program(12, 0, 56),
                                                endOfTrack(14)}};
    RecordingSynthesizer synth;
    Sequencer sequencer(scheduleOf(tracks), synth, rate);
    sequencer.start();
    synth.run(sequencer, 44100 * 2, 512);
    synth.sent.clear();
    sequencer.setPosition(10);
    ASSERT_EQ(synth.sent.size(), 2U);
    EXPECT_TRUE(synth.sent[0].bytes.empty());  // reset first
    EXPECT_EQ(synth.sent[1].bytes, (std::vector<std::uint8_t>{0xC0, 40}));
    synth.run(sequencer, 44100 * 3, 512);
    EXPECT_EQ(synth.framesOf({0x90, 62, 100}), (std::vector<std::uint64_t>{synth.sent[0].frame + 44100}));
    EXPECT_TRUE(synth.framesOf({0xC0, 56}).size() == 1 && synth.framesOf({0x80, 60, 0}).empty());  // 60 skipped over

    sequencer.setPosition(99);  // beyond the song: its end
    EXPECT_DOUBLE_EQ(sequencer.position(), 14.0);
}

TEST(Sequencer, StopReleasesAndKeepsThePositionAndStartRestores) {
    const auto tracks = std::vector<EventList>{{program(0, 0, 9), noteOn(0, 0, 60), noteOff(4, 0, 60)}};
    RecordingSynthesizer synth;
    Sequencer sequencer(scheduleOf(tracks), synth, rate);
    sequencer.start();
    synth.run(sequencer, 44100, 1000);
    sequencer.stop();
    EXPECT_EQ(synth.sent.back().bytes, (std::vector<std::uint8_t>{0xFF}));
    const auto position = sequencer.positionFrame();
    synth.run(sequencer, 44100, 1000);
    EXPECT_EQ(sequencer.positionFrame(), position);

    synth.sent.clear();
    sequencer.setPosition(2);  // while stopped, nothing is sent
    EXPECT_TRUE(synth.sent.empty());
    sequencer.start();
    ASSERT_EQ(synth.sent.size(), 2U);
    EXPECT_EQ(synth.sent[1].bytes, (std::vector<std::uint8_t>{0xC0, 9}));
}

TEST(Sequencer, AnEmptySongEndsAtOnce) {
    RecordingSynthesizer synth;
    Sequencer sequencer(scheduleOf({{}}), synth, rate);
    EXPECT_EQ(sequencer.duration(), 0.0);
    sequencer.start();
    EXPECT_TRUE(synth.run(sequencer, 256, 256) && !sequencer.isPlaying());
}

}  // namespace
}  // namespace orvane::playback
