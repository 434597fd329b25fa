#pragma once
// Helpers shared by the MIDI 2.0 tests: thrown errors as values, word and byte builders, and
// a capture of the debug markers.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "midi/midi2/MIDI2Diagnostics.h"
#include "midi/midi2/MIDI2UMPPacket.h"
#include "midi/model/MIDIFile.h"

namespace orvane::midi::testing {

// The error a call throws, or nothing (and a test failure) when it throws none.
template <typename Error, typename Call>
std::optional<Error> thrownBy(Call&& call) {
    try {
        call();
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "expected an error";
    return std::nullopt;
}

// The description of the error a call throws ("" and a test failure when it throws none).
template <typename Error, typename Call>
std::string descriptionThrownBy(Call&& call) {
    const auto error = thrownBy<Error>(std::forward<Call>(call));
    return error ? error->description() : std::string();
}

inline std::vector<std::uint32_t> wordsOf(const MIDI2UMPPacket& packet) {
    return {packet.words().begin(), packet.words().end()};
}

// "SMF2CLIP" followed by the words, most significant byte first.
inline std::vector<std::uint8_t> clipBytes(const std::vector<std::uint32_t>& words) {
    std::vector<std::uint8_t> bytes = {'S', 'M', 'F', '2', 'C', 'L', 'I', 'P'};
    for (const auto word : words) {
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(word >> shift));
    }
    return bytes;
}

// A clip's words, built packet by packet.
class ClipWords {
public:
    // DC 0, DCTPQ, DC 0, Start of Clip.
    ClipWords& header(std::uint16_t ticksPerQuarterNote) {
        return add({0x00400000, 0x00300000u | ticksPerQuarterNote, 0x00400000}).startOfClip();
    }
    ClipWords& startOfClip() { return add({0xF0200000, 0, 0, 0}); }
    // DC 0 and End of Clip.
    ClipWords& footer() { return dc(0).add({0xF0210000, 0, 0, 0}); }
    ClipWords& dc(std::uint32_t ticks) { return add({0x00400000u | ticks}); }
    ClipWords& add(std::initializer_list<std::uint32_t> packetWords) {
        words.insert(words.end(), packetWords.begin(), packetWords.end());
        return *this;
    }
    // A MIDI 2.0 Channel Voice packet: status byte, index byte, 32-bit value.
    ClipWords& midi2(std::uint8_t group, std::uint8_t status, std::uint8_t index, std::uint32_t value) {
        return add({0x40000000u | std::uint32_t{group} << 24 | std::uint32_t{status} << 16 | std::uint32_t{index} << 8,
                    value});
    }
    ClipWords& midi1(std::uint8_t group, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        return add({0x20000000u | std::uint32_t{group} << 24 | std::uint32_t{status} << 16 | std::uint32_t{data1} << 8 |
                    data2});
    }
    ClipWords& tempo(std::uint32_t tenNanoseconds) { return add({0xD0100000, tenNanoseconds, 0, 0}); }
    ClipWords& timeSignature(std::uint8_t numerator, std::uint8_t exponent, std::uint8_t thirtySeconds) {
        return add({0xD0100001,
                    std::uint32_t{numerator} << 24 | std::uint32_t{exponent} << 16 | std::uint32_t{thirtySeconds} << 8,
                    0, 0});
    }
    [[nodiscard]] std::vector<std::uint8_t> bytes() const { return clipBytes(words); }

    std::vector<std::uint32_t> words;
};

// The song read from a clip's bytes (a test failure when they do not read).
inline MIDIFile imported(const ClipWords& clip) {
    MIDIFile file;
    EXPECT_TRUE(file.parse(clip.bytes()));
    return file;
}

// Sets MIDI2_DEBUG_MARKERS (or unsets it for nullptr) and collects the markers written while
// alive; restores the variable and standard output afterwards.
class MarkerCapture {
public:
    explicit MarkerCapture(const char* variable) {
        if (const char* old = std::getenv("MIDI2_DEBUG_MARKERS")) previous_ = old;
        setVariable(variable);
        MIDI2Diagnostics::setOutputStream(file_);
    }
    ~MarkerCapture() {
        MIDI2Diagnostics::setOutputStream(nullptr);
        std::fclose(file_);
        setVariable(previous_ ? previous_->c_str() : nullptr);
    }
    MarkerCapture(const MarkerCapture&) = delete;
    MarkerCapture& operator=(const MarkerCapture&) = delete;

    // Every line written so far.
    std::vector<std::string> lines() {
        std::fflush(file_);
        std::rewind(file_);
        std::vector<std::string> result(1);
        for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_)) {
            if (c == '\n') {
                result.emplace_back();
            } else {
                result.back() += static_cast<char>(c);
            }
        }
        result.pop_back();  // what follows the last newline
        std::fseek(file_, 0, SEEK_END);
        return result;
    }

private:
    static void setVariable(const char* value) {
        if (value != nullptr) {
            setenv("MIDI2_DEBUG_MARKERS", value, 1);
        } else {
            unsetenv("MIDI2_DEBUG_MARKERS");
        }
    }

    std::FILE* file_ = std::tmpfile();
    std::optional<std::string> previous_;
};

}  // namespace orvane::midi::testing
