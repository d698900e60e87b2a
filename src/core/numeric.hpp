// Numbers as the product's automation runtime has them: 16-bit Integer, 32-bit
// Long, 32-bit Single, and the automation Boolean (True = -1, False = 0).
//
// Arithmetic on Integer and Long goes through the checked helpers here: a result
// outside the type's range raises run-time error 6 ("Overflow"). Conversions of
// floating point or text to an integer round half to even (2.5 -> 2, 3.5 -> 4), and
// text that is not a number raises error 13 ("Type mismatch").
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tbln {

using Integer = std::int16_t;
using Long = std::int32_t;
using Single = float;

// The automation Boolean as it crosses the boundary to the host's macros.
using Boolean = std::int16_t;
inline constexpr Boolean True = -1;
inline constexpr Boolean False = 0;
inline constexpr Boolean ToBoolean(bool b) noexcept {
    return b ? True : False;
}

// Whole-number range checks: return the value as the narrower type or raise 6.
Integer CheckedInteger(long long value);
Long CheckedLong(long long value);

// 16-bit and 32-bit arithmetic with overflow detection.
Integer AddInteger(Integer a, Integer b);
Integer SubInteger(Integer a, Integer b);
Integer MulInteger(Integer a, Integer b);
Long AddLong(Long a, Long b);
Long SubLong(Long a, Long b);

// Round half to even (the rounding of every conversion to a whole number).
double RoundHalfEven(double value);

// Conversions to Integer / Long with half-to-even rounding; raise 6 out of range.
Integer ToInteger(double value);
Long ToLong(double value);

// The numeric value of a text: optional surrounding blanks, an optional sign,
// digits with an optional decimal point ("." only) and an optional exponent.
// Raises 13 when the text is not a number.
double NumericValue(std::string_view text);
// The same reading without raising, and whatever the process's locale ("." is the
// decimal point): for numbers in files and on command lines. Empty when the text is
// not a number or lies beyond a Double's range.
std::optional<double> ParseDecimal(std::string_view text);
Integer ToInteger(std::string_view text);
Long ToLong(std::string_view text);

}  // namespace tbln
