// The formatted-text encoder: the codes of uniform and mixed lines, list prefixes,
// height ratios, stacked scripts, character escapes and the Symbol-font table.
#include <gtest/gtest.h>

#include "word/text_encoder.hpp"

namespace tbln {
namespace {

std::shared_ptr<Segment> Seg(std::string text, std::string font, Long size, Long script = 0,
                             bool bold = false, bool italic = false, Long underline = 0) {
    auto s = std::make_shared<Segment>();
    s->text = std::move(text);
    s->font = std::move(font);
    s->fontsize = size;
    s->scriptstate = script;
    s->bold = bold;
    s->italic = italic;
    s->underline = underline;
    return s;
}

SegmentArray Segs(std::initializer_list<std::shared_ptr<Segment>> list) {
    SegmentArray a(1, static_cast<Long>(list.size()));
    Long i = 1;
    for (const auto& s : list) a(i++) = s;
    return a;
}

TEST(TextEncoder, UniformLines) {
    struct Case {
        Long bold, italic, underline;
        std::string font, text, listString;
        Long listType;
        bool startsParagraph;
        std::string linefmt, full;
    };
    const Case cases[] = {
        {-1, 0, 0, "Arial", "Hello", "", 0, true, "{\\fArial|b1|i0|c0|p34;",
         "{\\fArial|b1|i0|c0|p34;Hello}"},
        {1, 0, 1, "Arial", "Hello", "", 0, true, "{\\fArial|b1|i0|c0|p34;\\L",
         "{\\fArial|b1|i0|c0|p34;\\LHello}"},
        {0, 0, 0, "Times New Roman", "text", "1.", 3, true, "{\\fTimes New Roman|b0|i0|c0|p18;1.  ",
         "{\\fTimes New Roman|b0|i0|c0|p18;1.  text}"},
        {0, 0, 0, "Times New Roman", "more", "1.", 3, false,
         "{\\fTimes New Roman|b0|i0|c0|p18;     ", "{\\fTimes New Roman|b0|i0|c0|p18;     more}"},
        {0, 1, 0, "Courier New", "x", "a)", 4, true, "{\\fCourier New|b0|i1|c0|p49;a)  ",
         "{\\fCourier New|b0|i1|c0|p49;a)  x}"},
        {0, 0, 7, "Calibri", "item", "\xEF\x82\xB7", 2, false, "{\\fCalibri|b0|i0|c0|p34;  \\L",
         "{\\fCalibri|b0|i0|c0|p34;  \\Litem}"},
        {0, 0, 0, "arial", "a\\b{c}", "", 5, true, "{\\farial|b0|i0|c0|p34;",
         "{\\farial|b0|i0|c0|p34;a\\b{c}}"},
    };
    for (const auto& c : cases) {
        const auto r = FormatUniformLine(c.bold, c.italic, c.underline, c.font, c.text,
                                         c.listString, c.listType, c.startsParagraph);
        EXPECT_EQ(r.linefmt, c.linefmt) << c.text;
        EXPECT_EQ(r.actual, c.text);
        EXPECT_EQ(r.full, c.full);
    }
}

TEST(TextEncoder, MixedLines) {
    struct Case {
        const char* name;
        SegmentArray segments;
        std::string listString;
        Long listType;
        bool startsParagraph;
        std::string expected;
    };
    const Case cases[] = {
        {"superscript", Segs({Seg("x", "Arial", 11), Seg("2", "Arial", 11, 1)}), "", 0, true,
         "\\A1;{\\fArial|b0|i0|c0|p34;x\\H0.7x;\\S2^;\\H1.429x;}"},
        {"subscript then text",
         Segs({Seg("H", "Arial", 11), Seg("2", "Arial", 11, 2), Seg("O", "Arial", 11)}), "", 0,
         true, "\\A1;{\\fArial|b0|i0|c0|p34;H \\H0.7x;\\S^2;\\H1.429x;\\fArial|b0|i0|c0|p34;O}"},
        {"font change", Segs({Seg("a", "Arial", 11), Seg("b", "Courier New", 11)}), "", 0, true,
         "{\\fArial|b0|i0|c0|p34;a\\fCourier New|b0|i0|c0|p49;b}"},
        {"bold word and underline",
         Segs({Seg("a ", "Arial", 12), Seg("bold", "Arial", 12, 0, true, false, 1),
               Seg(" end", "Arial", 12)}),
         "", 0, true,
         "{\\fArial|b0|i0|c0|p34;a \\fArial|b1|i0|c0|p34;\\Lbold\\l\\fArial|b0|i0|c0|p34; end}"},
        {"height ratios",
         Segs({Seg("a", "Arial", 12), Seg("b", "Arial", 24), Seg("c", "Arial", 28)}), "", 0, true,
         "{\\fArial|b0|i0|c0|p34;a\\fArial|b0|i0|c0|p34;\\H2x;b\\fArial|b0|i0|c0|p34;"
         "\\H1.16666666666667x;c}"},
        {"first segment superscript is plain text",
         Segs({Seg("1", "Arial", 11, 1), Seg("st", "Arial", 11, 0, true)}), "", 0, true,
         "{\\fArial|b0|i0|c0|p34;1\\fArial|b1|i0|c0|p34;st}"},
        {"numbered first line", Segs({Seg("a", "Arial", 11), Seg("b", "Arial", 11, 0, true)}),
         "12.", 3, true, "{\\fArial|b0|i0|c0|p34;12.  a\\fArial|b1|i0|c0|p34;b}"},
        {"numbered continuation", Segs({Seg("a", "Arial", 11), Seg("b", "Arial", 11, 0, true)}),
         "12.", 4, false, "{\\fArial|b0|i0|c0|p34;      a\\fArial|b1|i0|c0|p34;b}"},
        {"bullet with underline first",
         Segs({Seg("u", "Arial", 11, 0, false, false, 1), Seg("v", "Arial", 11)}), "x", 2, true,
         "{\\fArial|b0|i0|c0|p34;  \\Lu\\l\\fArial|b0|i0|c0|p34;v}"},
        {"stacked last after underline",
         Segs({Seg("m", "Arial", 10, 0, false, false, 1), Seg("2", "Arial", 10, 1)}), "", 0, true,
         "\\A1;{\\fArial|b0|i0|c0|p34;\\Lm\\l\\H0.7x;\\S2^;\\H1.429x;}"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatMixedLine(c.segments, c.listString, c.listType, c.startsParagraph),
                  c.expected)
            << c.name;
    }
}

TEST(TextEncoder, Characters) {
    const std::pair<std::uint32_t, std::string> cases[] = {
        {'A', "A"},
        {'\\', "\\"},
        {'{', "{"},
        {126, "~"},
        {127, ""},
        {160, ""},
        {8211, "-"},
        {8217, "'"},
        {8220, "\""},
        {8221, "\""},
        {8212, "\\U+2014"},
        {233, "\\U+00E9"},
        {128, "\\U+0080"},
        {0xF0B7, "\\U+F0B7"},
        {0x1F600, "\\U+D83D\\U+DE00"},
    };
    for (const auto& [code, expected] : cases) EXPECT_EQ(EncodeChar(code), expected) << code;

    std::string text = "caf\xC3\xA9 \xE2\x80\x9Cq\xE2\x80\x9D\xC2\xA0it\xE2\x80\x99s \xE2\x80\x93";
    EXPECT_EQ(EncodeText(text), "caf\\U+00E9 \"q\"it's -");
    EXPECT_EQ(text, "caf\\U+00E9 \"q\"it's -");
    // A damaged byte sequence reads as the replacement character, never past the end.
    std::string broken = "a\xC3";
    EXPECT_EQ(EncodeText(broken), "a\\U+FFFD");
    EXPECT_EQ(ListIndent("1.a"), "   ");
    EXPECT_EQ(ListIndent("\xE2\x80\xA2"), " ");
    EXPECT_EQ(PitchCode("Times New Roman"), "18;");
    EXPECT_EQ(PitchCode("times new roman"), "34;");
    EXPECT_EQ(PitchCode("Courier New"), "49;");
}

TEST(TextEncoder, SymbolCharacters) {
    const std::pair<std::uint32_t, std::string> cases[] = {
        // The four positions with two published values, and the euro.
        {0xF044, "\\U+0394"},
        {0xF057, "\\U+03A9"},
        {0xF06D, "\\U+00B5"},
        {0xF0A4, "\\U+2044"},
        {0xF0A0, "\\U+20AC"},
        {0xF0A6, "\\U+0192"},
        {0xF0B7, "\\U+2022"},
        {0xF022, "\\U+2200"},
        {0xF0FE, "\\U+F8FE"},
        // Identity positions give the character itself.
        {0xF023, "#"},
        {0xF030, "0"},
        {0xF07B, "{"},
        {0xF0B0, "\\U+00B0"},
        {0xF0B1, "\\U+00B1"},
        // A plain code typed in the Symbol font reads through the same table.
        {'a', "\\U+03B1"},
        {'1', "1"},
        // Undefined positions and other codes: the character as Word reports it.
        {0xF07F, "\\U+F07F"},
        {0xF0F0, "\\U+F0F0"},
        {0x2022, "\\U+2022"},
    };
    for (const auto& [code, expected] : cases) {
        EXPECT_EQ(EncodeSymbolChar(code), expected) << std::hex << code;
    }
    // The table: 154 positions from 0x22 to 0xFE, without the identity positions and
    // the undefined ones.
    int entries = 0;
    for (std::uint32_t p = 0; p <= 0x1FF; ++p) {
        if (SymbolToUnicode(p) == 0) continue;
        ++entries;
        EXPECT_GE(p, 0x22u);
        EXPECT_LE(p, 0xFEu);
        EXPECT_NE(SymbolToUnicode(p), p);
    }
    EXPECT_EQ(entries, 154);
    for (std::uint32_t p : {0x23u, 0x25u, 0x26u, 0x28u, 0x29u, 0x2Bu, 0x2Cu, 0x5Bu, 0x5Du, 0x5Fu,
                            0x7Bu, 0x7Cu, 0x7Du, 0xB0u, 0xB1u, 0xF0u}) {
        EXPECT_EQ(SymbolToUnicode(p), 0u) << std::hex << p;
    }
    for (std::uint32_t p = 0x2E; p <= 0x3F; ++p) EXPECT_EQ(SymbolToUnicode(p), 0u);
    for (std::uint32_t p = 0x7F; p <= 0x9F; ++p) EXPECT_EQ(SymbolToUnicode(p), 0u);
}

}  // namespace
}  // namespace tbln
