// Font metrics of the installed fonts on Windows, measured by GDI, the system's own text
// measuring that the spreadsheet and the word processor use there: the same interface
// as the fontconfig + FreeType metrics (adapters/fonts/font_metrics.hpp). A face is
// selected at its design size (one unit per em unit), so advances are the unhinted
// design advances; ascent and descent are the Windows metrics GDI reports; the line gap
// is GDI's external leading.
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "adapters/fonts/font_metrics.hpp"
#include "adapters/win32/wide_text.hpp"
#include "adapters/win32/windows_api.hpp"

namespace tbln::fonts {

struct FontMetrics::Face {
    HFONT font = nullptr;
    double unitsPerEm = 2048;
    double ascent = 0.9;   // in ems
    double descent = 0.2;  // in ems
    double lineGap = 0;    // in ems
    double fallbackAdvance = 0.5;
    std::unordered_map<char32_t, double> advances;  // in ems
};

struct FontMetrics::Impl {
    HDC dc = nullptr;
    std::map<std::tuple<std::string, bool, bool>, std::unique_ptr<Face>> faces;
};

namespace {

HFONT MakeFont(const std::string& family, bool bold, bool italic, int height) {
    LOGFONTW lf{};
    lf.lfHeight = -height;  // the em, not the cell height
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = italic ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_TT_PRECIS;
    lf.lfQuality = ANTIALIASED_QUALITY;
    const std::wstring name = win32::Wide(family).substr(0, LF_FACESIZE - 1);
    std::copy(name.begin(), name.end(), lf.lfFaceName);
    return CreateFontIndirectW(&lf);
}

// The advance of one character (a pair of UTF-16 units outside the basic plane) in the
// selected font's units; nullopt when the font has no glyph for it.
std::optional<double> MeasureAdvance(HDC dc, char32_t c) {
    wchar_t units[2];
    int count = 1;
    if (c >= 0x10000) {
        units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        count = 2;
    } else {
        units[0] = static_cast<wchar_t>(c);
    }
    WORD glyphs[2] = {};
    if (GetGlyphIndicesW(dc, units, count, glyphs, GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR ||
        glyphs[0] == 0xFFFF)
        return std::nullopt;
    SIZE size{};
    if (!GetTextExtentPoint32W(dc, units, count, &size)) return std::nullopt;
    return static_cast<double>(size.cx);
}

}  // namespace

FontMetrics::FontMetrics() : impl_(std::make_unique<Impl>()) {
    impl_->dc = CreateCompatibleDC(nullptr);
    if (impl_->dc) SetMapMode(impl_->dc, MM_TEXT);
}

FontMetrics::~FontMetrics() {
    for (auto& [key, face] : impl_->faces) {
        if (face->font) DeleteObject(face->font);
    }
    if (impl_->dc) DeleteDC(impl_->dc);
}

std::string FontMetrics::FontFile(const std::string&, bool, bool, int& index) const {
    // GDI measures by family name; it names no file.
    index = 0;
    return "";
}

FontMetrics::Face& FontMetrics::Get(const std::string& family, bool bold, bool italic) {
    auto& slot = impl_->faces[{family, bold, italic}];
    if (slot) return *slot;
    slot = std::make_unique<Face>();
    Face& f = *slot;
    HDC dc = impl_->dc;
    if (!dc) return f;
    // The em square first, from the font at any size; then the font at that size.
    HFONT probe = MakeFont(family, bold, italic, 2048);
    if (!probe) return f;
    HGDIOBJ old = SelectObject(dc, probe);
    UINT em = 0;
    if (const UINT bytes = GetOutlineTextMetricsW(dc, 0, nullptr); bytes > 0) {
        std::vector<char> buffer(bytes);
        auto* otm = reinterpret_cast<OUTLINETEXTMETRICW*>(buffer.data());
        if (GetOutlineTextMetricsW(dc, bytes, otm)) em = otm->otmEMSquare;
    }
    SelectObject(dc, old);
    if (em > 0 && em != 2048) {
        DeleteObject(probe);
        probe = MakeFont(family, bold, italic, static_cast<int>(em));
        if (!probe) return f;
    }
    f.font = probe;
    f.unitsPerEm = em > 0 ? em : 2048;
    old = SelectObject(dc, f.font);
    TEXTMETRICW tm{};
    if (GetTextMetricsW(dc, &tm)) {
        f.ascent = tm.tmAscent / f.unitsPerEm;
        f.descent = tm.tmDescent / f.unitsPerEm;
        f.lineGap = tm.tmExternalLeading / f.unitsPerEm;
    }
    // Characters the font lacks are measured as its "n".
    if (const auto n = MeasureAdvance(dc, U'n')) f.fallbackAdvance = *n / f.unitsPerEm;
    SelectObject(dc, old);
    return f;
}

double FontMetrics::Advance(const std::string& family, bool bold, bool italic, double size,
                            char32_t c) {
    Face& f = Get(family, bold, italic);
    const auto it = f.advances.find(c);
    if (it != f.advances.end()) return Twip(it->second * size);
    double em = f.fallbackAdvance;
    if (f.font) {
        HGDIOBJ old = SelectObject(impl_->dc, f.font);
        auto advance = MeasureAdvance(impl_->dc, c);
        // Symbol-font characters (U+F0xx) are looked up at their position too.
        if (!advance && c >= 0xF020 && c <= 0xF0FF) advance = MeasureAdvance(impl_->dc, c - 0xF000);
        if (advance) em = *advance / f.unitsPerEm;
        SelectObject(impl_->dc, old);
    }
    f.advances.emplace(c, em);
    return Twip(em * size);
}

double FontMetrics::Ascent(const std::string& family, bool bold, bool italic, double size) {
    return Get(family, bold, italic).ascent * size;
}

double FontMetrics::LineGap(const std::string& family, bool bold, bool italic, double size) {
    return Twip(Get(family, bold, italic).lineGap * size);
}

double FontMetrics::Descent(const std::string& family, bool bold, bool italic, double size) {
    return Get(family, bold, italic).descent * size;
}

}  // namespace tbln::fonts
