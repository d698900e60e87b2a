#include "adapters/fonts/font_metrics.hpp"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>

namespace tbln::fonts {

struct FontMetrics::Face {
    FT_Face face = nullptr;
    double unitsPerEm = 1000;
    double ascent = 0.9;   // in ems
    double descent = 0.2;  // in ems
    double lineGap = 0;    // in ems
    double fallbackAdvance = 0.5;
    std::unordered_map<char32_t, double> advances;  // in ems
};

struct FontMetrics::Impl {
    FcConfig* config = nullptr;  // our own configuration, released with us
    FT_Library library = nullptr;
    std::map<std::tuple<std::string, bool, bool>, std::unique_ptr<Face>> faces;
    // The face asked for last: a run of characters asks for the same one each time.
    const std::string* lastFamily = nullptr;
    bool lastBold = false, lastItalic = false;
    Face* last = nullptr;
};

FontMetrics::FontMetrics() : impl_(std::make_unique<Impl>()) {
    impl_->config = FcInitLoadConfigAndFonts();
    if (FT_Init_FreeType(&impl_->library) != 0) impl_->library = nullptr;
}

FontMetrics::~FontMetrics() {
    for (auto& [key, face] : impl_->faces) {
        if (face->face) FT_Done_Face(face->face);
    }
    if (impl_->library) FT_Done_FreeType(impl_->library);
    if (impl_->config) FcConfigDestroy(impl_->config);
}

namespace {

// The file fontconfig picks for the family, weight and slant; "" when none.
std::string MatchFile(FcConfig* config, const std::string& family, bool bold, bool italic,
                      int& index) {
    if (!config) return "";
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    std::string file;
    if (match) {
        FcChar8* path = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path) {
            file = reinterpret_cast<const char*>(path);
        }
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return file;
}

}  // namespace

std::string FontMetrics::FontFile(const std::string& family, bool bold, bool italic,
                                  int& index) const {
    index = 0;
    return MatchFile(impl_->config, family, bold, italic, index);
}

FontMetrics::Face& FontMetrics::Get(const std::string& family, bool bold, bool italic) {
    auto& i = *impl_;
    if (i.last && i.lastBold == bold && i.lastItalic == italic && *i.lastFamily == family) {
        return *i.last;
    }
    const auto at = i.faces.try_emplace({family, bold, italic}).first;
    auto& slot = at->second;
    i.lastFamily = &std::get<0>(at->first);
    i.lastBold = bold;
    i.lastItalic = italic;
    if (slot) return *(i.last = slot.get());
    i.last = nullptr;
    slot = std::make_unique<Face>();
    Face& f = *slot;
    int index = 0;
    const std::string file = MatchFile(impl_->config, family, bold, italic, index);
    if (impl_->library && !file.empty() &&
        FT_New_Face(impl_->library, file.c_str(), index, &f.face) == 0) {
        f.unitsPerEm = f.face->units_per_EM > 0 ? f.face->units_per_EM : 1000;
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f.face, FT_SFNT_OS2));
        if (os2 && os2->version != 0xFFFF && (os2->usWinAscent + os2->usWinDescent) > 0) {
            f.ascent = os2->usWinAscent / f.unitsPerEm;
            f.descent = os2->usWinDescent / f.unitsPerEm;
        } else {
            f.ascent = f.face->ascender / f.unitsPerEm;
            f.descent = std::abs(f.face->descender) / f.unitsPerEm;
        }
        const auto* hhea =
            static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(f.face, FT_SFNT_HHEA));
        // A font that asks for its typographic metrics (Caladea, standing in for Cambria)
        // is set with them: its Windows metrics are taller than the font it replaces.
        constexpr unsigned kUseTypoMetrics = 1u << 7;
        const bool typo = os2 && os2->version != 0xFFFF && (os2->fsSelection & kUseTypoMetrics) &&
                          os2->sTypoAscender - os2->sTypoDescender > 0;
        if (typo) {
            f.ascent = os2->sTypoAscender / f.unitsPerEm;
            f.descent = std::abs(os2->sTypoDescender) / f.unitsPerEm;
            f.lineGap = std::max<double>(0, os2->sTypoLineGap) / f.unitsPerEm;
        } else if (hhea && hhea->Line_Gap > 0) {
            f.lineGap = hhea->Line_Gap / f.unitsPerEm;
            // Windows metrics taller than the font's ascender and descender already hold
            // that much of its line gap; only the rest is added (Calibri adds none).
            const double hheaHeight = (hhea->Ascender + std::abs(hhea->Descender)) / f.unitsPerEm;
            f.lineGap = std::max(0.0, f.lineGap - std::max(0.0, f.ascent + f.descent - hheaHeight));
        }
        // Characters the font lacks are measured as its "n".
        const FT_UInt n = FT_Get_Char_Index(f.face, 'n');
        if (n && FT_Load_Glyph(f.face, n, FT_LOAD_NO_SCALE) == 0) {
            f.fallbackAdvance = static_cast<double>(f.face->glyph->advance.x) / f.unitsPerEm;
        }
    } else {
        f.face = nullptr;
    }
    i.last = &f;
    return f;
}

double FontMetrics::Advance(const std::string& family, bool bold, bool italic, double size,
                            char32_t c) {
    Face& f = Get(family, bold, italic);
    const auto it = f.advances.find(c);
    if (it != f.advances.end()) return Twip(it->second * size);
    double em = f.fallbackAdvance;
    if (f.face) {
        FT_UInt glyph = FT_Get_Char_Index(f.face, c);
        // Symbol-font characters (U+F0xx) are looked up at their position too.
        if (!glyph && c >= 0xF020 && c <= 0xF0FF) glyph = FT_Get_Char_Index(f.face, c - 0xF000);
        if (glyph && FT_Load_Glyph(f.face, glyph, FT_LOAD_NO_SCALE) == 0) {
            em = static_cast<double>(f.face->glyph->advance.x) / f.unitsPerEm;
        }
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
