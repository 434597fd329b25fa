#pragma once
// What the application layer says about colours, without any toolkit: named colour roles that
// the window maps to its palette, exact colours where the design fixes them, and the eight
// track colours shared by the timeline lanes, the track rows and the mixer strips.

#include <array>
#include <cstddef>

namespace orvane::app {

// Colours the window takes from its own (light) palette.
enum class ColorRole {
    label,
    secondaryLabel,
    tertiaryLabel,
    accent,
    red,
    orange,
    blue,
    green,
    gray,
    separator,
    controlBackground,
    textBackground,
    black,
};

// An exact colour, components 0...1.
struct RGBA {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
    friend bool operator==(const RGBA&, const RGBA&) = default;
};

// The track colours: row i takes trackPalette()[i % 8].
inline constexpr std::array<RGBA, 8> trackPalette{{
    {0.38, 0.55, 0.93, 1},
    {0.25, 0.78, 0.62, 1},
    {0.93, 0.58, 0.2, 1},
    {0.72, 0.4, 0.85, 1},
    {0.93, 0.35, 0.35, 1},
    {0.35, 0.78, 0.35, 1},
    {0.93, 0.8, 0.2, 1},
    {0.2, 0.65, 0.93, 1},
}};

[[nodiscard]] constexpr int paletteIndex(std::size_t row) noexcept {
    return static_cast<int>(row % trackPalette.size());
}

// The selection colour of the track table's rows.
inline constexpr RGBA trackRowSelectionColor{0.78, 0.9, 1.0, 1};

}  // namespace orvane::app
