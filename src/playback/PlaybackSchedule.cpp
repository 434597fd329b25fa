#include "playback/PlaybackSchedule.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>

#include "midi/model/TempoMap.h"
#include "playback/MIDIFilePlayer.h"

namespace orvane::playback {
namespace {

using midi::MIDIEvent;

bool isScheduled(const MIDIEvent& event) { return event.isChannelMessage() || event.status() == 0xF0; }

struct Source {
    std::uint32_t tick;
    bool noteOn;
    const MIDIEvent* event;  // in track order, then file order
};

}  // namespace

PlaybackSchedule::PlaybackSchedule(const midi::MIDIFile& song) {
    std::vector<Source> sources;
    std::size_t count = 0;
    for (const auto& track : song.tracks()) count += track.events.size();
    sources.reserve(count);
    for (const auto& track : song.tracks()) {
        for (const MIDIEvent& event : track.events) {
            if (isScheduled(event)) sources.push_back({event.tick, event.isNoteOn(), &event});
        }
    }
    std::stable_sort(sources.begin(), sources.end(), [](const Source& a, const Source& b) {
        return a.tick != b.tick ? a.tick < b.tick : (!a.noteOn && b.noteOn);
    });

    const midi::TempoMap tempo(song, std::nullopt);
    messages_.reserve(sources.size());
    std::optional<std::uint32_t> lastTick;
    double lastSeconds = 0;
    for (const Source& source : sources) {
        if (source.tick != lastTick) {
            lastTick = source.tick;
            lastSeconds = tempo.ticksToSeconds(source.tick);
        }
        messages_.push_back({lastSeconds, *source.event});
    }
    duration_ = tempo.ticksToSeconds(midi::MIDIFile::maximumTick(song.tracks()));
}

PlaybackSchedule PlaybackSchedule::fromStandardMIDIFile(std::span<const std::uint8_t> data) {
    midi::MIDIFile song;
    if (!song.parse(data)) throw MIDIFilePlayerError("The data is not a Standard MIDI File that can be played.");
    return PlaybackSchedule(song);
}

std::span<const std::uint8_t> systemExclusivePayload(const MIDIEvent& message) {
    const auto bytes = message.data();
    if (bytes.empty() || bytes[0] != 0xF0) return {};
    std::uint32_t length = 0;
    std::size_t index = 1;
    for (;; ++index) {
        if (index >= bytes.size() || index > 4) return {};
        length = (length << 7) | (bytes[index] & 0x7Fu);
        if ((bytes[index] & 0x80) == 0) break;
    }
    ++index;
    if (length > bytes.size() - index) return {};
    auto payload = bytes.subspan(index, length);
    if (!payload.empty() && payload.back() == 0xF7) payload = payload.first(payload.size() - 1);
    return payload;
}

namespace {

constexpr std::uint8_t bankSelect = 0;
constexpr std::uint8_t bankSelectLSB = 32;
constexpr std::uint8_t dataEntry = 6;
constexpr std::uint8_t dataEntryLSB = 38;
constexpr std::uint8_t nrpnLSB = 98;
constexpr std::uint8_t nrpnMSB = 99;
constexpr std::uint8_t rpnLSB = 100;
constexpr std::uint8_t rpnMSB = 101;
constexpr std::uint8_t resetAllControllers = 121;
constexpr std::int16_t unset = -1;

// Controllers that "reset all controllers" leaves alone: bank, volume, pan, sound
// controllers and effect depths.
bool survivesControllerReset(int controller) {
    return controller == 0 || controller == 32 || controller == 7 || controller == 39 || controller == 10 ||
           controller == 42 || (controller >= 70 && controller <= 79) || (controller >= 91 && controller <= 95);
}

// Controllers restored by their last value; the parameter controllers are replayed as
// parameters, and channel-mode messages (120-127) are not state.
bool isPlainController(int controller) {
    return controller < 120 && controller != dataEntry && controller != dataEntryLSB &&
           !(controller >= 96 && controller <= rpnMSB);
}

// Universal and vendor system resets: GM System On, GM2 System On, GS Reset, XG System On.
bool isSystemReset(std::span<const std::uint8_t> payload) {
    static const std::array<std::vector<std::uint8_t>, 4> resets = {{
        {0x7E, 0x7F, 0x09, 0x01},
        {0x7E, 0x7F, 0x09, 0x03},
        {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41},
        {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00},
    }};
    for (const auto& reset : resets) {
        if (payload.size() != reset.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < reset.size(); ++i) {
            // The device id (second byte of the universal messages, low nibble of the vendor
            // ones) may be anything.
            const bool deviceByte = i == 1;
            same = same && (deviceByte || payload[i] == reset[i]);
        }
        if (same) return true;
    }
    return false;
}

struct ParameterValue {
    std::int16_t msb = unset;
    std::int16_t lsb = unset;
};

struct ChannelState {
    std::array<std::int16_t, 128> controllers;
    std::int16_t program = unset;
    std::int16_t programBank = unset;  // bank select values in force at the program change
    std::int16_t programBankLSB = unset;
    std::int32_t pitchBend = unset;
    std::int16_t pressure = unset;
    bool nrpnSelected = false;  // which kind of parameter data entry changes
    // Keyed by (nrpn << 14) | (msb << 7) | lsb.
    std::map<std::uint32_t, ParameterValue> parameters;

    ChannelState() { controllers.fill(unset); }

    [[nodiscard]] std::optional<std::uint32_t> selectedParameter() const {
        const std::int16_t msb = controllers[nrpnSelected ? nrpnMSB : rpnMSB];
        const std::int16_t lsb = controllers[nrpnSelected ? nrpnLSB : rpnLSB];
        if (msb < 0 || lsb < 0 || (msb == 127 && lsb == 127)) return std::nullopt;
        return (static_cast<std::uint32_t>(nrpnSelected) << 14) | (static_cast<std::uint32_t>(msb) << 7) |
               static_cast<std::uint32_t>(lsb);
    }

    void controlChange(std::uint8_t controller, std::uint8_t value) {
        if (controller == resetAllControllers) {
            for (int c = 0; c < 128; ++c) {
                if (!survivesControllerReset(c)) controllers[static_cast<std::size_t>(c)] = unset;
            }
            pitchBend = unset;
            pressure = unset;
            return;
        }
        if (controller == dataEntry || controller == dataEntryLSB) {
            if (const auto parameter = selectedParameter()) {
                auto& stored = parameters[*parameter];
                (controller == dataEntry ? stored.msb : stored.lsb) = value;
            }
            return;
        }
        if (controller == nrpnMSB || controller == nrpnLSB) nrpnSelected = true;
        if (controller == rpnMSB || controller == rpnLSB) nrpnSelected = false;
        if (controller < 120) controllers[controller] = value;
    }

    void programChange(std::uint8_t value) {
        program = value;
        programBank = controllers[bankSelect];
        programBankLSB = controllers[bankSelectLSB];
    }

    void appendRestoration(std::uint8_t channel, std::uint32_t tick, std::vector<MIDIEvent>& out) const {
        const auto cc = [&](std::uint8_t controller, std::int16_t value) {
            if (value >= 0) {
                out.push_back(MIDIEvent::shortMessage(tick, static_cast<std::uint8_t>(0xB0 | channel), controller,
                                                      static_cast<std::uint8_t>(value), 3));
            }
        };
        if (program >= 0) {
            cc(bankSelect, programBank);
            cc(bankSelectLSB, programBankLSB);
            out.push_back(MIDIEvent::shortMessage(tick, static_cast<std::uint8_t>(0xC0 | channel),
                                                  static_cast<std::uint8_t>(program), 0, 2));
        }
        for (std::uint8_t c = 0; c < 120; ++c) {
            if (isPlainController(c)) cc(c, controllers[c]);
        }
        for (const auto& [key, value] : parameters) {
            const bool nrpn = (key >> 14) != 0;
            cc(nrpn ? nrpnMSB : rpnMSB, static_cast<std::int16_t>((key >> 7) & 0x7F));
            cc(nrpn ? nrpnLSB : rpnLSB, static_cast<std::int16_t>(key & 0x7F));
            cc(dataEntry, value.msb);
            cc(dataEntryLSB, value.lsb);
        }
        // Leave the parameter selection as the song left it, the kind it used last on top.
        const std::uint8_t first = nrpnSelected ? rpnMSB : nrpnMSB;
        const std::uint8_t firstLSB = nrpnSelected ? rpnLSB : nrpnLSB;
        const std::uint8_t last = nrpnSelected ? nrpnMSB : rpnMSB;
        const std::uint8_t lastLSB = nrpnSelected ? nrpnLSB : rpnLSB;
        cc(first, controllers[first]);
        cc(firstLSB, controllers[firstLSB]);
        cc(last, controllers[last]);
        cc(lastLSB, controllers[lastLSB]);
        if (pitchBend >= 0) {
            out.push_back(MIDIEvent::shortMessage(tick, static_cast<std::uint8_t>(0xE0 | channel),
                                                  static_cast<std::uint8_t>(pitchBend & 0x7F),
                                                  static_cast<std::uint8_t>(pitchBend >> 7), 3));
        }
        if (pressure >= 0) {
            out.push_back(MIDIEvent::shortMessage(tick, static_cast<std::uint8_t>(0xD0 | channel),
                                                  static_cast<std::uint8_t>(pressure), 0, 2));
        }
    }
};

}  // namespace

std::vector<MIDIEvent> stateRestorationMessages(std::span<const ScheduledMessage> before) {
    std::array<ChannelState, 16> channels;
    std::vector<const MIDIEvent*> systemExclusive;
    for (const ScheduledMessage& scheduled : before) {
        const MIDIEvent& message = scheduled.message;
        if (message.status() == 0xF0) {
            if (isSystemReset(systemExclusivePayload(message))) {
                channels = {};
                systemExclusive.clear();
            }
            systemExclusive.push_back(&message);
            continue;
        }
        if (message.size() < 2) continue;
        ChannelState& channel = channels[message.channel()];
        const std::uint8_t data1 = message[1];
        switch (message.status() & 0xF0) {
            case 0xB0:
                if (message.size() >= 3) channel.controlChange(data1, message[2]);
                break;
            case 0xC0: channel.programChange(data1); break;
            case 0xD0: channel.pressure = data1; break;
            case 0xE0:
                if (message.size() >= 3) channel.pitchBend = data1 | (message[2] << 7);
                break;
            default: break;  // notes and key pressure are not state
        }
    }

    const std::uint32_t tick = before.empty() ? 0 : before.back().message.tick;
    std::vector<MIDIEvent> out;
    for (const MIDIEvent* message : systemExclusive) out.push_back(*message);
    for (std::uint8_t channel = 0; channel < 16; ++channel) channels[channel].appendRestoration(channel, tick, out);
    return out;
}

}  // namespace orvane::playback
