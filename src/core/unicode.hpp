// Characters of UTF-8 text: the one place that encodes, decodes, counts, cuts and folds them.
//
// Every text the product handles is UTF-8. Text from files and readers is untrusted:
// a byte that does not belong to a well-formed sequence (a stray continuation byte, a
// cut sequence, an overlong form, a surrogate, a value past U+10FFFF) reads as one
// U+FFFD and decoding goes on with the next byte, so nothing after it is lost.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tbln {

inline constexpr char32_t kReplacementChar = 0xFFFD;

// Appends the UTF-8 form of one Unicode code point.
void AppendUtf8(std::string& out, char32_t codePoint);

// UTF-16LE code units as UTF-8: a surrogate pair gives one character, an unpaired
// surrogate reads as U+FFFD, an odd last byte is dropped.
std::string Utf16LeToUtf8(std::string_view bytes);
// UTF-8 text as UTF-16LE code units (an invalid byte becomes U+FFFD).
std::string Utf8ToUtf16Le(std::string_view text);

// Decodes one character at text[pos]; returns the code point (U+FFFD for an invalid
// byte) and sets `length` to the bytes it took (1 for an invalid byte).
char32_t DecodeUtf8At(std::string_view text, std::size_t pos, std::size_t& length) noexcept;

// The code points of the text.
std::u32string DecodeUtf8(std::string_view text);

// True when the text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text) noexcept;

// The text with every invalid byte replaced by U+FFFD (the text itself when valid).
std::string ValidUtf8(std::string_view text);

// The number of characters (code points) of the text.
std::size_t CharCount(std::string_view text) noexcept;

// The number of UTF-16 code units of the text: a character past U+FFFF counts 2, as
// the office applications count characters.
std::size_t Utf16Length(std::string_view text) noexcept;

// The first `count` characters of the text, never splitting a character.
std::string_view CharLeft(std::string_view text, std::size_t count) noexcept;

// Simple case folding of one character (to lower case) for the Latin, Greek, Cyrillic
// and Armenian letters and the full-width Latin letters; other characters are returned
// as they are.
char32_t FoldCase(char32_t c) noexcept;

// The text folded character by character (invalid bytes become U+FFFD).
std::string FoldCase(std::string_view text);

// True when the texts are equal once folded: the comparison of names that ignores
// letter case ("Überplan.dgn" equals "überplan.DGN").
bool EqualIgnoringCase(std::string_view a, std::string_view b);

}  // namespace tbln
