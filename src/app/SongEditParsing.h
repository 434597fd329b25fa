#pragma once
// What the user types for song edits: the tempo prompt's two fields and the transpose field.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace orvane::app {

inline constexpr double minimumSongTempo = 10.0;
inline constexpr double maximumSongTempo = 300.0;
inline constexpr int maximumTranspose = 12;

// The tempo prompt's fields for a tempo: both come from the tempo rounded to three decimals
// (120.5 gives "120" and "500"; 110 stored as 545455 µs per quarter gives "110" and "").
struct TempoFieldTexts {
    std::string whole;
    std::string decimal;
    friend bool operator==(const TempoFieldTexts&, const TempoFieldTexts&) = default;
};
[[nodiscard]] TempoFieldTexts tempoFieldTexts(double bpm);

enum class TempoEntryError {
    wholeNotNumeric,    // "⚠️  Please enter a numeric BPM value."
    decimalNotNumeric,  // "⚠️  Please enter a numeric decimal value."
};
// The tempo the two fields give: only digits are accepted (an empty whole field counts as 0);
// the decimal field is read as its first three digits ("5" is .500, "05" is .050). A value
// that is not finite counts as a whole field that is not numeric.
[[nodiscard]] std::variant<double, TempoEntryError> parseTempoEntry(std::string_view whole, std::string_view decimal);

// A transpose typed by the user: an optional "+" or "-" and digits, after trimming. Values
// beyond the int range come back as the nearest int, so they clamp like any other.
[[nodiscard]] std::optional<long long> parseTransposeText(std::string_view text);

}  // namespace orvane::app
