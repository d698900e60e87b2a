// Number-to-text conversions of the product's runtime.
#pragma once

#include <string>

namespace tbln {

// Default conversion of a Double to text: at most 15 significant digits, no trailing
// zeros, "." as the decimal separator, and the exponent form ("1E+15", "1.5E-07")
// outside 1E-06 .. 1E+15. 7 / 6 gives "1.16666666666667".
std::string NumberToText(double value);

// The same for a Single, which keeps 7 significant digits (1.1f gives "1.1").
std::string NumberToText(float value);

// Appends the UTF-8 form of one Unicode code point.
void AppendUtf8(std::string& out, char32_t codePoint);

// Format(value, "0%"): the value as a whole percentage, halves rounded away from zero.
std::string FormatPercent(double value);

}  // namespace tbln
