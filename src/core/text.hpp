// Number-to-text conversions of the product's runtime.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

namespace tbln {

// A text kept once for the whole program and shared by every holder: a cell record
// repeats the same few style words, font names and colours as every other cell, so
// it holds a pointer to the one copy instead of a string of its own. Equal texts are
// the same copy. The copies live as long as the program; hold only texts of a small
// vocabulary in it, never a cell's own text.
class SharedText {
  public:
    SharedText() noexcept : text_(&kNothing) {}
    SharedText(std::string_view text);  // NOLINT(google-explicit-constructor)
    SharedText(const std::string& text) : SharedText(std::string_view(text)) {}  // NOLINT
    SharedText(const char* text) : SharedText(std::string_view(text)) {}         // NOLINT

    const std::string& str() const noexcept { return *text_; }
    operator const std::string&() const noexcept { return *text_; }  // NOLINT
    bool empty() const noexcept { return text_->empty(); }
    std::size_t size() const noexcept { return text_->size(); }

    friend bool operator==(const SharedText& a, const SharedText& b) noexcept {
        return a.text_ == b.text_;
    }
    friend bool operator==(const SharedText& a, const std::string& b) noexcept {
        return *a.text_ == b;
    }
    friend bool operator==(const SharedText& a, std::string_view b) noexcept {
        return *a.text_ == b;
    }
    friend bool operator==(const SharedText& a, const char* b) noexcept { return *a.text_ == b; }

  private:
    static const std::string kNothing;  // shared by every SharedText that holds nothing
    const std::string* text_;
};
std::ostream& operator<<(std::ostream& out, const SharedText& text);

// Default conversion of a Double to text: at most 15 significant digits, no trailing
// zeros, "." as the decimal separator, and the exponent form ("1E+15", "1.5E-07")
// outside 1E-06 .. 1E+15. 7 / 6 gives "1.16666666666667".
std::string NumberToText(double value);

// The same for a Single, which keeps 7 significant digits (1.1f gives "1.1").
std::string NumberToText(float value);

// A number with `decimals` digits after the point ("%.*f"), and in the exponent form
// with `decimals` digits after the point ("%.*e": "1.50e-07"). "." is the decimal
// separator whatever the process's locale: a GUI toolkit switches the C library's
// numeric locale to the user's, where printf would write a decimal comma.
std::string FixedText(double value, int decimals);
std::string ScientificText(double value, int decimals);
// The exponent as the runtime and the spreadsheet show it: "E+05", "E-12", "E+308".
std::string ExponentText(int exponent);

// Format(value, "0%"): the value as a whole percentage, halves rounded away from zero.
std::string FormatPercent(double value);

}  // namespace tbln
