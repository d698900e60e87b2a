// Number format codes: the sections of a code (up to four, split at unquoted
// semicolons) read into tokens, with the layout of a plain number worked out once;
// and the codes of the built-in format ids.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tbln::workbook {

enum class Tok {
    Literal,      // text shown as it is
    Digit,        // 0 # ?
    Point,        // decimal point
    Comma,        // thousands separator or scaling
    Percent,      // % (also shown)
    Exponent,     // E+ E-
    Slash,        // fraction bar
    Denominator,  // a fixed denominator ("/8")
    Date,         // y m d h s, elapsed [h], AM/PM, fractions of a second
    Text,         // @
    General,
};

struct Token {
    Tok kind;
    std::string text;   // Literal: the text; Digit: the placeholder; Date: the code, lower case
    bool plus = false;  // Exponent: E+
};

struct Condition {
    std::string op;
    double value = 0;
    bool Holds(double v) const {
        if (op == "<") return v < value;
        if (op == "<=") return v <= value;
        if (op == ">") return v > value;
        if (op == ">=") return v >= value;
        if (op == "=") return v == value;
        if (op == "<>") return v != value;
        return false;
    }
};

struct Section {
    std::vector<Token> tokens;
    std::optional<Condition> condition;
    bool isDate = false;
    bool hasText = false;
    bool hasNumber = false;  // digit placeholders or General
    // The layout of a plain number, worked out when the section is read.
    std::string intPh, fracPh;  // the placeholders before and after the point
    bool thousands = false;     // a comma between integer placeholders
    int percents = 0;           // each % multiplies by 100
    int scaling = 0;            // each comma after the last placeholder divides by 1000
    bool contiguous = true;     // no literal between the integer placeholders
    // [DBNum1] to [DBNum3]: the digits shown as East Asian numerals (0 for none), in
    // the traditional Chinese forms for a Taiwan, Hong Kong or Macao locale ([$-404]).
    int nativeDigits = 0;
    bool traditional = false;
};

// The sections of a format code (at most four). A workbook uses a handful of codes for
// up to millions of cells, so each code is parsed once per thread and kept.
const std::vector<Section>& ParsedFormat(std::string_view code);

// True when the code is General (letter case aside).
bool IsGeneral(std::string_view code);

// The format code of a built-in number format id (the forms Excel uses in en-US), or
// "" when the id is not built in.
std::string_view BuiltInFormat(std::uint32_t id);

}  // namespace tbln::workbook
