#include "app/SongEditParsing.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "app/PromptPanel.h"
#include "support/TextFormat.h"

namespace orvane::app {

namespace {

bool allDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

TempoFieldTexts tempoFieldTexts(double bpm) {
    if (!std::isfinite(bpm) || bpm < 0) return {"0", ""};
    const double rounded = std::round(bpm * 1000.0) / 1000.0;
    const double whole = std::floor(rounded);
    const double fraction = rounded - whole;
    TempoFieldTexts texts{formatString("%.0f", whole), ""};
    if (fraction >= 0.0005) {
        // "%.3f" of the fraction without its leading "0."
        texts.decimal = formatString("%.3f", fraction).substr(2);
    }
    return texts;
}

std::variant<double, TempoEntryError> parseTempoEntry(std::string_view whole, std::string_view decimal) {
    std::string wholeText = trimmedText(whole);
    const std::string decimalText = trimmedText(decimal);
    if (wholeText.empty()) wholeText = "0";
    if (!allDigits(wholeText)) return TempoEntryError::wholeNotNumeric;
    const double wholeValue = std::strtod(wholeText.c_str(), nullptr);
    if (!std::isfinite(wholeValue)) return TempoEntryError::wholeNotNumeric;
    double fraction = 0;
    if (!decimalText.empty()) {
        if (!allDigits(decimalText)) return TempoEntryError::decimalNotNumeric;
        fraction = std::strtod(("0." + (decimalText + "000").substr(0, 3)).c_str(), nullptr);
    }
    const double value = wholeValue + fraction;
    if (!std::isfinite(value)) return TempoEntryError::wholeNotNumeric;
    return value;
}

std::optional<long long> parseTransposeText(std::string_view text) {
    const std::string trimmed = trimmedText(text);
    std::string_view digits = trimmed;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty() || !allDigits(digits)) return std::nullopt;
    long long value = 0;
    for (const char c : digits) {
        if (value > (std::numeric_limits<int>::max() - (c - '0')) / 10) {
            value = std::numeric_limits<int>::max();
            break;
        }
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

}  // namespace orvane::app
