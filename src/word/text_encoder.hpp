// The Word scan and the formatted-text encoder: every line read from Word becomes one
// string in the CAD host's multi-line text codes (font switch, bold and italic flags,
// pitch code, list prefix, underline, relative heights, stacked super- and subscripts,
// Unicode escapes). These are pure functions; WordProgressForm hands them the line's
// segments and whether the previous line ended its paragraph.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "automation/records.hpp"
#include "core/array.hpp"
#include "core/numeric.hpp"
#include "core/unicode.hpp"

namespace tbln {

using SegmentArray = Array<std::shared_ptr<Segment>>;

// The pitch-and-family code of a font switch: "18;", "34;" or "49;".
std::string PitchCode(const std::string& fontName);

// Spaces, one per character of the list string.
std::string ListIndent(const std::string& listString);

// What follows the first font switch of a line in a list: the number and two spaces
// on the paragraph's first line, an indent of the same width on continuation lines,
// two spaces for bullets, nothing outside lists.
std::string ListPrefix(const std::string& listString, Long listType, bool lastLineEndedParagraph);

struct UniformLine {
    std::string linefmt;  // the format prefix
    std::string actual;   // the plain text
    std::string full;     // prefix + text + "}"
};
UniformLine FormatUniformLine(Long bold, Long italic, Long underline, const std::string& fontName,
                              const std::string& lineText, const std::string& listString,
                              Long listType, bool lastLineEndedParagraph);

// The line built from its segments (lower bound 1, at least one element).
std::string FormatMixedLine(const SegmentArray& segments, const std::string& listString,
                            Long listType, bool lastLineEndedParagraph);

// One character as Word reports it (a UTF-16 code unit).
std::string EncodeChar(std::uint32_t code);
// One character given as UTF-8 text (the text of one item of Characters).
std::string EncodeChar(std::string_view utf8Char);
// Every character of the UTF-8 string, encoded; the argument is replaced by the result.
std::string EncodeText(std::string& text);
// A character of the "Symbol" font as its Unicode escape.
std::string EncodeSymbolChar(std::uint32_t code);
std::string EncodeSymbolChar(std::string_view utf8Char);

// The Unicode value of a Symbol-encoding position, or 0 when the position is not in
// the table (identity positions and undefined ones).
std::uint32_t SymbolToUnicode(std::uint32_t position);

}  // namespace tbln
