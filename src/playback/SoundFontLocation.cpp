#include "playback/SoundFontLocation.h"

#include <array>
#include <cstdlib>
#include <system_error>

#include "playback/MIDIFilePlayer.h"

namespace orvane::playback {
namespace {

bool isReadableFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

std::string quoted(const std::filesystem::path& path) { return "\u201C" + path.string() + "\u201D"; }

}  // namespace

std::span<const std::string_view> standardSoundFontLocations() {
    static constexpr std::array<std::string_view, 3> locations = {
        "/usr/share/sounds/sf2/default-GM.sf2",
        "/usr/share/sounds/sf2/FluidR3_GM.sf2",
        "/usr/share/sounds/sf2/TimGM6mb.sf2",
    };
    return locations;
}

std::filesystem::path locateSoundFont(const std::optional<std::filesystem::path>& requested) {
    return locateSoundFont(requested, std::getenv("ORVANE_SOUNDFONT"), standardSoundFontLocations());
}

std::filesystem::path locateSoundFont(const std::optional<std::filesystem::path>& requested,
                                      const char* environmentValue,
                                      std::span<const std::string_view> candidates) {
    if (requested) {
        if (!isReadableFile(*requested)) throw MIDIFilePlayerError("The SoundFont " + quoted(*requested) + " does not exist.");
        return *requested;
    }
    if (environmentValue != nullptr && *environmentValue != '\0') {
        const std::filesystem::path named(environmentValue);
        if (!isReadableFile(named)) {
            throw MIDIFilePlayerError("The SoundFont " + quoted(named) + " named by ORVANE_SOUNDFONT does not exist.");
        }
        return named;
    }
    std::string looked;
    for (const std::string_view candidate : candidates) {
        if (isReadableFile(candidate)) return std::filesystem::path(candidate);
        looked += (looked.empty() ? "" : ", ") + std::string(candidate);
    }
    throw MIDIFilePlayerError(
        "No General MIDI SoundFont was found (looked for " + looked +
        "). Install the fluid-soundfont-gm package, set ORVANE_SOUNDFONT or pass --soundfont.");
}

}  // namespace orvane::playback
