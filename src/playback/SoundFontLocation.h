#pragma once
// Where the General MIDI SoundFont is: the one the user named (--soundfont), else the one in
// the environment variable ORVANE_SOUNDFONT, else the first of Debian's usual locations.

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orvane::playback {

std::span<const std::string_view> standardSoundFontLocations();

// Throws MIDIFilePlayerError with a message that says what to do when none is found.
std::filesystem::path locateSoundFont(const std::optional<std::filesystem::path>& requested);
// The same with the environment value and the candidate locations given.
std::filesystem::path locateSoundFont(const std::optional<std::filesystem::path>& requested,
                                      const char* environmentValue,
                                      std::span<const std::string_view> candidates);

}  // namespace orvane::playback
