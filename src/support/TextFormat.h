#pragma once
// Number formatting shared by every layer.

#include <string>

namespace orvane {

// A tempo as text: "120" when the value rounded to three decimals is within 0.0005 of an
// integer, else three decimals ("120.500").
std::string formatBPM(double bpm);

// A floating-point value as log lines show it: the shortest text that reads back, with ".0" on
// whole values and an exponent outside 1e-4...2^53 ("2.0", "0.25", "1e-05", "inf", "nan").
std::string describeDouble(double value);

// printf-style formatting into a std::string.
std::string formatString(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orvane
