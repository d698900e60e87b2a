#include "core/text.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <ostream>
#include <unordered_set>

namespace tbln {

namespace {

// The exponent of "d.ddde+xx" written by ScientificText, the "e" at `e`.
int ExponentOf(std::string_view text, std::size_t e) {
    int exponent = 0;
    const char* first = text.data() + e + 1;
    if (*first == '+') ++first;
    std::from_chars(first, text.data() + text.size(), exponent);
    return exponent;
}

// Renders value with `digits` significant digits in the runtime's style.
std::string RenderSignificant(double value, int digits) {
    if (value == 0 || !std::isfinite(value)) return "0";
    // Whole numbers and quarters (sizes and offsets in points, which are multiples of
    // 0.75) that fit the digits show their exact decimals: written without the general
    // conversion. Multiplying by 4 is exact, so this takes exact quarters only.
    const double magnitude = std::abs(value);
    const double quarters = magnitude * 4;
    const double limit = digits >= 15 ? 1e15 : 1e7;  // digits is 15 or 7
    if (quarters == std::trunc(quarters) && magnitude < limit) {
        const double whole = std::trunc(magnitude);
        const auto fraction = static_cast<int>(quarters - whole * 4);
        if (fraction == 0 || magnitude < limit / 100) {
            char buf[32];
            char* p = buf;
            if (value < 0) *p++ = '-';
            p = std::to_chars(p, buf + sizeof buf, static_cast<long long>(whole)).ptr;
            static constexpr const char* kQuarter[] = {"", ".25", ".5", ".75"};
            return std::string(buf, p) + kQuarter[fraction];
        }
    }
    // "[-]d.ddde[+-]xx": split into sign, mantissa digits and exponent.
    std::string s = ScientificText(value, digits - 1);
    const bool negative = s[0] == '-';
    if (negative) s.erase(0, 1);
    const auto e = s.find('e');
    const int exponent = ExponentOf(s, e);
    std::string mantissa = s.substr(0, 1) + s.substr(2, e - 2);
    while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();

    std::string out = negative ? "-" : "";
    if (exponent >= digits || exponent < -6) {
        out += mantissa.substr(0, 1);
        if (mantissa.size() > 1) out += "." + mantissa.substr(1);
        return out + ExponentText(exponent);
    }
    if (exponent < 0)
        return out + "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + mantissa;
    const auto intDigits = static_cast<size_t>(exponent + 1);
    if (mantissa.size() <= intDigits)
        return out + mantissa + std::string(intDigits - mantissa.size(), '0');
    return out + mantissa.substr(0, intDigits) + "." + mantissa.substr(intDigits);
}

}  // namespace

std::string NumberToText(double value) {
    return RenderSignificant(value, 15);
}

std::string NumberToText(float value) {
    return RenderSignificant(static_cast<double>(value), 7);
}

namespace {

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
        return std::hash<std::string_view>{}(text);
    }
};

}  // namespace

// Constant-initialised, so it is there before any other object of the program is made.
// clang 14 cannot evaluate libstdc++'s constexpr string constructor (the fuzz build):
// there it is initialised first among this file's objects, which the fuzz targets allow.
#if defined(__clang__) && __clang_major__ < 15
const std::string SharedText::kNothing{};
#else
constinit const std::string SharedText::kNothing{};
#endif

SharedText::SharedText(std::string_view text) : text_(&kNothing) {
    if (text.empty()) return;
    // The set's nodes never move, so a pointer to an element stays valid.
    static std::mutex guard;
    static std::unordered_set<std::string, TextHash, std::equal_to<>> texts;
    const std::lock_guard<std::mutex> lock(guard);
    auto found = texts.find(text);
    if (found == texts.end()) found = texts.emplace(text).first;
    text_ = &*found;
}

std::ostream& operator<<(std::ostream& out, const SharedText& text) {
    return out << text.str();
}

std::string FormatPercent(double value) {
    const double percent = std::round(value * 100.0);  // std::round takes halves away from zero
    if (percent == 0) return "0%";
    return FixedText(percent, 0) + "%";
}

std::string FixedText(double value, int decimals) {
    char buf[400];  // the largest double has 309 digits; callers ask for at most 30 decimals
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed,
                                 std::clamp(decimals, 0, 60));
    return std::string(buf, r.ptr);
}

std::string ScientificText(double value, int decimals) {
    char buf[128];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific,
                                 std::clamp(decimals, 0, 60));
    return std::string(buf, r.ptr);
}

std::string ExponentText(int exponent) {
    std::string out = exponent < 0 ? "E-" : "E+";
    const int magnitude = std::abs(exponent);
    if (magnitude < 10) out += '0';
    char buf[8];
    return out.append(buf, std::to_chars(buf, buf + sizeof buf, magnitude).ptr);
}

}  // namespace tbln
