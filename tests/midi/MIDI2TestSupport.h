#pragma once
// Helpers shared by the MIDI 2.0 tests: thrown errors as values, word and byte builders, and
// a capture of the debug markers.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "midi/midi2/MIDI2Diagnostics.h"
#include "midi/midi2/MIDI2UMPPacket.h"

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

inline std::vector<std::uint8_t> bigEndian(const std::vector<std::uint32_t>& words) {
    std::vector<std::uint8_t> bytes;
    for (const auto word : words) {
        bytes.push_back(static_cast<std::uint8_t>(word >> 24));
        bytes.push_back(static_cast<std::uint8_t>(word >> 16));
        bytes.push_back(static_cast<std::uint8_t>(word >> 8));
        bytes.push_back(static_cast<std::uint8_t>(word));
    }
    return bytes;
}

inline std::vector<std::uint32_t> wordsOf(const MIDI2UMPPacket& packet) {
    return {packet.words().begin(), packet.words().end()};
}

// "SMF2CLIP" followed by the words.
inline std::vector<std::uint8_t> clipBytes(const std::vector<std::uint32_t>& words) {
    std::vector<std::uint8_t> bytes = {'S', 'M', 'F', '2', 'C', 'L', 'I', 'P'};
    const auto payload = bigEndian(words);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

// Sets MIDI2_DEBUG_MARKERS (or unsets it for nullptr) and collects the markers written while
// alive; restores the variable and standard output afterwards.
class MarkerCapture {
public:
    explicit MarkerCapture(const char* variable) {
        if (const char* old = std::getenv("MIDI2_DEBUG_MARKERS")) previous_ = old;
        if (variable != nullptr) {
            setenv("MIDI2_DEBUG_MARKERS", variable, 1);
        } else {
            unsetenv("MIDI2_DEBUG_MARKERS");
        }
        file_ = std::tmpfile();
        MIDI2Diagnostics::setOutputStream(file_);
    }
    ~MarkerCapture() {
        MIDI2Diagnostics::setOutputStream(nullptr);
        std::fclose(file_);
        if (previous_) {
            setenv("MIDI2_DEBUG_MARKERS", previous_->c_str(), 1);
        } else {
            unsetenv("MIDI2_DEBUG_MARKERS");
        }
    }
    MarkerCapture(const MarkerCapture&) = delete;
    MarkerCapture& operator=(const MarkerCapture&) = delete;

    // Every line written so far.
    std::vector<std::string> lines() {
        std::fflush(file_);
        std::rewind(file_);
        std::vector<std::string> result;
        std::string line;
        for (int c = std::fgetc(file_); c != EOF; c = std::fgetc(file_)) {
            if (c == '\n') {
                result.push_back(line);
                line.clear();
            } else {
                line += static_cast<char>(c);
            }
        }
        std::fseek(file_, 0, SEEK_END);
        return result;
    }

private:
    std::FILE* file_ = nullptr;
    std::optional<std::string> previous_;
};

}  // namespace orvane::midi::testing
