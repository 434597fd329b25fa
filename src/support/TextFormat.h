#pragma once
// Number formatting shared by every layer.

#include <string>

namespace orvane {

// A tempo as text: "120" when the value rounded to three decimals is within 0.0005 of an
// integer, else three decimals ("120.500").
std::string formatBPM(double bpm);

// printf-style formatting into a std::string.
std::string formatString(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orvane
