#include "core/text.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <ostream>
#include <unordered_set>

namespace tbln {

namespace {

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
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*E", digits - 1, value);
    // buf is "[-]d.dddE[+-]xx": split into sign, mantissa digits and exponent.
    std::string s(buf);
    const bool negative = s[0] == '-';
    if (negative) s.erase(0, 1);
    const auto e = s.find('E');
    int exponent = std::atoi(s.c_str() + e + 1);
    std::string mantissa = s.substr(0, 1) + s.substr(2, e - 2);
    while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();

    std::string out = negative ? "-" : "";
    if (exponent >= digits || exponent < -6) {
        out += mantissa.substr(0, 1);
        if (mantissa.size() > 1) out += "." + mantissa.substr(1);
        char ex[16];
        std::snprintf(ex, sizeof ex, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        return out + ex;
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

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
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
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0f%%", percent);
    return buf;
}

}  // namespace tbln
