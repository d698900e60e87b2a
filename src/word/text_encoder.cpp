#include "word/text_encoder.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "core/text.hpp"

namespace tbln {

namespace {

struct SymbolEntry {
    std::uint32_t position;
    std::uint32_t unicode;
};

constexpr SymbolEntry kSymbolTable[] = {
#include "word/symbol_table.inc"
};

std::string Hex4(std::uint32_t code) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "\\U+%04X", static_cast<unsigned>(code));
    return buffer;
}

constexpr std::uint32_t kSymbolBase = 0xF000;

}  // namespace

std::string PitchCode(const std::string& fontName) {
    if (fontName == "Times New Roman") return "18;";
    if (fontName == "Arial") return "34;";
    if (fontName == "Courier New") return "49;";
    return "34;";
}

std::string ListIndent(const std::string& listString) {
    return std::string(DecodeUtf8(listString).size(), ' ');
}

std::string ListPrefix(const std::string& listString, Long listType, bool lastLineEndedParagraph) {
    if (listType == 3 || listType == 4) {
        return lastLineEndedParagraph ? listString + "  " : ListIndent(listString) + "   ";
    }
    if (listType == 2) return "  ";
    return "";
}

namespace {
std::string FontSwitchBody(const std::string& fontName, bool bold, bool italic) {
    return fontName + (bold ? "|b1|i" : "|b0|i") + (italic ? "1|c0|p" : "0|c0|p") +
           PitchCode(fontName);
}
}  // namespace

UniformLine FormatUniformLine(Long bold, Long italic, Long underline, const std::string& fontName,
                              const std::string& lineText, const std::string& listString,
                              Long listType, bool lastLineEndedParagraph) {
    std::string s = "{\\f" + FontSwitchBody(fontName, bold != 0, italic != 0);
    s += ListPrefix(listString, listType, lastLineEndedParagraph);
    if (underline != 0) s += "\\L";
    return UniformLine{s, lineText, s + lineText + "}"};
}

std::string FormatMixedLine(const SegmentArray& segments, const std::string& listString,
                            Long listType, bool lastLineEndedParagraph) {
    std::string s = "{\\f";
    const Long first = segments.Lower();
    const Long last = segments.Upper();
    Long reference = segments(first)->fontsize;
    for (Long i = first; i <= last; ++i) {
        const Segment& seg = *segments(i);
        s += FontSwitchBody(seg.font, seg.bold, seg.italic);
        if (seg.fontsize != reference) {
            // A ratio against a zero reference has no meaning; the height stays.
            if (reference != 0) {
                s += "\\H" +
                     NumberToText(static_cast<double>(seg.fontsize) /
                                  static_cast<double>(reference)) +
                     "x;";
            }
            reference = seg.fontsize;
        }
        if (i == first) s += ListPrefix(listString, listType, lastLineEndedParagraph);
        if (seg.underline != 0) s += "\\L";
        s += seg.text;
        if (i < last) {
            if (seg.underline != 0) s += "\\l";
            const Segment& next = *segments(i + 1);
            if (next.scriptstate == 1) {
                s = "\\A1;" + s + "\\H0.7x;\\S" + next.text + "^;\\H1.429x;";
                ++i;
            } else if (next.scriptstate == 2) {
                s = "\\A1;" + s + " \\H0.7x;\\S^" + next.text + ";\\H1.429x;";
                ++i;
            }
            if (i != last) s += "\\f";
        }
    }
    return s + "}";
}

std::string EncodeChar(std::uint32_t code) {
    if (code < 127) return std::string(1, static_cast<char>(code));
    switch (code) {
        case 127:
        case 160:
            return "";
        case 8211:
            return "-";
        case 8217:
            return "'";
        case 8220:
        case 8221:
            return "\"";
        default:
            break;
    }
    if (code > 0xFFFF) {
        // Word counts a character beyond the basic plane as two UTF-16 units.
        const std::uint32_t v = code - 0x10000;
        return Hex4(0xD800 + (v >> 10)) + Hex4(0xDC00 + (v & 0x3FF));
    }
    return Hex4(code);
}

std::string EncodeChar(std::string_view utf8Char) {
    std::string out;
    for (const char32_t c : DecodeUtf8(utf8Char)) out += EncodeChar(static_cast<std::uint32_t>(c));
    return out;
}

std::string EncodeText(std::string& text) {
    text = EncodeChar(std::string_view(text));
    return text;
}

std::uint32_t SymbolToUnicode(std::uint32_t position) {
    const auto it =
        std::lower_bound(std::begin(kSymbolTable), std::end(kSymbolTable), position,
                         [](const SymbolEntry& e, std::uint32_t p) { return e.position < p; });
    return it != std::end(kSymbolTable) && it->position == position ? it->unicode : 0;
}

std::string EncodeSymbolChar(std::uint32_t code) {
    // Word reports Symbol characters as U+F000 plus the Symbol position; a character
    // typed in the Symbol font from the keyboard keeps its plain code and shows the
    // same glyph, so both read through the table.
    std::uint32_t position = code;
    if (code >= kSymbolBase && code <= kSymbolBase + 0xFF) position = code - kSymbolBase;
    if (position <= 0xFF) {
        if (const std::uint32_t u = SymbolToUnicode(position)) return Hex4(u);
        // Positions whose glyph is the character of the same number.
        if ((position >= 0x20 && position < 0x7F) || position == 0xB0 || position == 0xB1) {
            return EncodeChar(position);
        }
    }
    // Positions the encoding leaves undefined and any other code: the character as
    // Word reports it, so the host still receives a readable escape.
    return EncodeChar(code);
}

std::string EncodeSymbolChar(std::string_view utf8Char) {
    std::string out;
    for (const char32_t c : DecodeUtf8(utf8Char)) {
        out += EncodeSymbolChar(static_cast<std::uint32_t>(c));
    }
    return out;
}

}  // namespace tbln
