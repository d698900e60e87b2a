#include "core/text.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tbln {

namespace {

// Renders value with `digits` significant digits in the runtime's style.
std::string RenderSignificant(double value, int digits) {
    if (value == 0 || !std::isfinite(value)) return "0";
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

std::string FormatPercent(double value) {
    const double percent = std::round(value * 100.0);  // std::round takes halves away from zero
    if (percent == 0) return "0%";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0f%%", percent);
    return buf;
}

}  // namespace tbln
