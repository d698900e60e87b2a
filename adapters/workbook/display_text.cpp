#include "adapters/workbook/display_text.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tbln::workbook {

namespace {

constexpr int kGeneralWidth = 11;

std::string StripZeros(std::string s) {
    if (s.find('.') == std::string::npos) return s;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

// Plain form with as many decimals as fit in the width.
std::string Plain(double value) {
    for (int decimals = kGeneralWidth; decimals >= 0; --decimals) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
        std::string s = StripZeros(buf);
        if (s == "-0") s = "0";
        if (static_cast<int>(s.size()) <= kGeneralWidth) return s;
    }
    return {};
}

// Exponent form: mantissa with up to as many decimals as fit, exponent of at least two digits.
std::string Scientific(double value) {
    for (int decimals = kGeneralWidth; decimals >= 0; --decimals) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*E", decimals, value);
        std::string s(buf);
        const auto e = s.find('E');
        std::string mantissa = StripZeros(s.substr(0, e));
        const int exponent = std::atoi(s.c_str() + e + 1);
        char ex[16];
        std::snprintf(ex, sizeof ex, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        std::string out = mantissa + ex;
        if (static_cast<int>(out.size()) <= kGeneralWidth) return out;
    }
    return "#";
}

// The number of significant digits a rendering keeps.
int SignificantDigits(const std::string& s) {
    int count = 0, pendingZeros = 0;
    bool started = false;
    for (char c : s) {
        if (c == 'E') break;
        if (c < '0' || c > '9') continue;
        if (c == '0') {
            if (started) ++pendingZeros;
            continue;
        }
        started = true;
        count += pendingZeros + 1;
        pendingZeros = 0;
    }
    return count;
}

}  // namespace

std::string FormatGeneral(double value) {
    if (value == 0) return "0";
    const double magnitude = std::fabs(value);
    // The plain form when it fits the width and keeps at least as many significant
    // digits as the exponent form; otherwise the exponent form.
    const std::string scientific = Scientific(value);
    if (magnitude < 99999999999.5) {
        const std::string plain = Plain(value);
        if (!plain.empty() && plain != "0" &&
            SignificantDigits(plain) >= SignificantDigits(scientific)) {
            return plain;
        }
    }
    return scientific;
}

std::string DisplayText(const WorkbookModel& /*book*/, const Cell& cell) {
    switch (cell.type) {
        case CellType::Empty:
            return {};
        case CellType::Text:
            return cell.text;
        case CellType::Error:
            return cell.text;
        case CellType::Boolean:
            return cell.number != 0 ? "TRUE" : "FALSE";
        case CellType::Number:
            return FormatGeneral(cell.number);
    }
    return {};
}

}  // namespace tbln::workbook
