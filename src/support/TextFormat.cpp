#include "support/TextFormat.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace orvane {

std::string formatBPM(double bpm) {
    const double rounded = std::round(bpm * 1000.0) / 1000.0;
    const double integerPart = std::trunc(rounded);
    if (std::fabs(rounded - integerPart) < 0.0005 && std::isfinite(rounded) &&
        std::fabs(integerPart) < 9.0e15) {
        return std::to_string(static_cast<long long>(integerPart));
    }
    return formatString("%.3f", rounded);
}

std::string describeDouble(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    const double magnitude = std::fabs(value);
    const bool fixed = magnitude == 0.0 || (magnitude >= 1e-4 && magnitude < 9007199254740992.0);
    char buffer[64];
    const auto result = fixed ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
                              : std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string text(buffer, result.ptr);
    if (fixed && text.find('.') == std::string::npos) text += ".0";
    return text;
}

std::string formatString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    }
    va_end(args);
    return text;
}

}  // namespace orvane
