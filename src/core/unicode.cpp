#include "core/unicode.hpp"

#include "core/text.hpp"

namespace tbln {

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

char32_t DecodeUtf8At(std::string_view text, std::size_t pos, std::size_t& length) noexcept {
    length = 1;
    const auto b = static_cast<unsigned char>(text[pos]);
    if (b < 0x80) return b;
    std::size_t n = 0;
    char32_t cp = 0;
    char32_t least = 0;  // the smallest code point the sequence's length may hold
    if (b >= 0xC2 && b <= 0xDF) {
        n = 1, cp = b & 0x1Fu, least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 2, cp = b & 0x0Fu, least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 3, cp = b & 0x07u, least = 0x10000;
    } else {
        return kReplacementChar;
    }
    if (pos + n >= text.size()) return kReplacementChar;  // the sequence is cut off
    for (std::size_t k = 1; k <= n; ++k) {
        const auto c = static_cast<unsigned char>(text[pos + k]);
        if ((c & 0xC0) != 0x80) return kReplacementChar;
        cp = (cp << 6) | (c & 0x3Fu);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacementChar;
    length = n + 1;
    return cp;
}

std::u32string DecodeUtf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0, n = 0; i < text.size(); i += n) out += DecodeUtf8At(text, i, n);
    return out;
}

bool IsValidUtf8(std::string_view text) noexcept {
    for (std::size_t i = 0, n = 0; i < text.size(); i += n) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            n = 1;
            continue;
        }
        if (DecodeUtf8At(text, i, n) == kReplacementChar && n == 1) return false;
    }
    return true;
}

std::string ValidUtf8(std::string_view text) {
    if (IsValidUtf8(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0, n = 0; i < text.size(); i += n) {
        const char32_t c = DecodeUtf8At(text, i, n);
        if (n > 1 || c < 0x80)
            out.append(text.substr(i, n));
        else
            AppendUtf8(out, c);
    }
    return out;
}

std::size_t CharCount(std::string_view text) noexcept {
    std::size_t count = 0;
    for (std::size_t i = 0, n = 0; i < text.size(); i += n, ++count) DecodeUtf8At(text, i, n);
    return count;
}

std::size_t Utf16Length(std::string_view text) noexcept {
    std::size_t units = 0;
    for (std::size_t i = 0, n = 0; i < text.size(); i += n)
        units += DecodeUtf8At(text, i, n) > 0xFFFF ? 2 : 1;
    return units;
}

std::string_view CharLeft(std::string_view text, std::size_t count) noexcept {
    std::size_t i = 0;
    for (std::size_t n = 0; i < text.size() && count > 0; i += n, --count) DecodeUtf8At(text, i, n);
    return text.substr(0, i);
}

namespace {

// Upper-case letters that alternate with their lower-case forms: the even (or odd)
// code point of the range is the capital and the next one its small letter.
struct AlternatingRange {
    char32_t first, last;
};
constexpr AlternatingRange kEvenCapitals[] = {
    {0x0100, 0x012F}, {0x0132, 0x0137}, {0x014A, 0x0177}, {0x0182, 0x0185}, {0x01A0, 0x01A5},
    {0x01DE, 0x01EF}, {0x01F8, 0x021F}, {0x0222, 0x0233}, {0x03D8, 0x03EF}, {0x0460, 0x0481},
    {0x048A, 0x04BF}, {0x04D0, 0x052F}, {0x1E00, 0x1E95}, {0x1EA0, 0x1EFF}};
constexpr AlternatingRange kOddCapitals[] = {
    {0x0139, 0x0148}, {0x0179, 0x017E}, {0x01B3, 0x01B6}, {0x01CD, 0x01DC}, {0x04C1, 0x04CE}};

}  // namespace

char32_t FoldCase(char32_t c) noexcept {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    for (const auto& r : kEvenCapitals)
        if (c >= r.first && c <= r.last) return c % 2 == 0 ? c + 1 : c;
    for (const auto& r : kOddCapitals)
        if (c >= r.first && c <= r.last) return c % 2 == 1 ? c + 1 : c;
    switch (c) {
        case 0x0178:
            return 0x00FF;  // Ÿ
        case 0x017F:
            return 's';  // long s
        case 0x00B5:
            return 0x03BC;  // micro sign
        case 0x0386:
            return 0x03AC;
        case 0x038C:
            return 0x03CC;
        case 0x038E:
            return 0x03CD;
        case 0x038F:
            return 0x03CE;
        case 0x03C2:
            return 0x03C3;  // final sigma
        case 0x04C0:
            return 0x04CF;
        case 0x1E9E:
            return 0x00DF;  // capital sharp s
        default:
            break;
    }
    if (c >= 0x0388 && c <= 0x038A) return c + 37;
    if ((c >= 0x0391 && c <= 0x03A1) || (c >= 0x03A3 && c <= 0x03AB)) return c + 32;
    if (c >= 0x0400 && c <= 0x040F) return c + 80;
    if (c >= 0x0410 && c <= 0x042F) return c + 32;
    if (c >= 0x0531 && c <= 0x0556) return c + 48;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
    return c;
}

std::string FoldCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0, n = 0; i < text.size(); i += n)
        AppendUtf8(out, FoldCase(DecodeUtf8At(text, i, n)));
    return out;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0, n = 0, m = 0;
    while (i < a.size() && j < b.size()) {
        if (FoldCase(DecodeUtf8At(a, i, n)) != FoldCase(DecodeUtf8At(b, j, m))) return false;
        i += n;
        j += m;
    }
    return i == a.size() && j == b.size();
}

}  // namespace tbln

namespace tbln {

std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() / 2);
    const auto unit = [&](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[i])) |
               static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t cp = unit(i);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = kReplacementChar;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::string Utf8ToUtf16Le(std::string_view text) {
    std::string out;
    out.reserve(2 * text.size());
    const auto unit = [&](char32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>((u >> 8) & 0xFF);
    };
    for (char32_t c : DecodeUtf8(text)) {
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return out;
}

}  // namespace tbln
