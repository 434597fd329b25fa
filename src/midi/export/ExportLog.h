#pragma once
// Pieces of the builders' diagnostic lines.

#include <optional>
#include <string>

#include "support/TextFormat.h"

namespace orvane::midi {

// A tempo override with two decimals, or "none".
inline std::string overrideText(std::optional<double> newBPM) {
    return newBPM ? formatString("%.2f", *newBPM) : "none";
}

inline const char* onOff(bool flag) { return flag ? "on" : "off"; }

}  // namespace orvane::midi
