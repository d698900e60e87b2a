#include "adapters/workbook/xlsx/escapes.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/unicode.hpp"

namespace tbln::workbook {

namespace {
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string DecodeEscapes(std::string_view text) {
    if (text.find("_x") == std::string_view::npos) return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
            int v = 0;
            bool hex = true;
            for (std::size_t k = 2; k < 6; ++k) {
                const int d = HexDigit(text[i + k]);
                if (d < 0) hex = false;
                v = v * 16 + (d < 0 ? 0 : d);
            }
            if (hex) {
                AppendUtf8(out, static_cast<char32_t>(v));
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The file format's escape for text that XML cannot carry (control characters) and
// for literal text that would otherwise read as an escape ("_x0041_").
std::string EncodeEscapes(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto ch = static_cast<unsigned char>(text[i]);
        if (ch < 0x20 && ch != '\t' && ch != '\n' && ch != '\r') {
            char buf[8];
            std::snprintf(buf, sizeof buf, "_x%04X_", ch);
            out += buf;
            continue;
        }
        if (ch == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_' &&
            std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i) + 2,
                        text.begin() + static_cast<std::ptrdiff_t>(i) + 6,
                        [](char h) { return std::isxdigit(static_cast<unsigned char>(h)) != 0; })) {
            out += "_x005F_";
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace tbln::workbook
