#include "adapters/workbook/xlsx/styles.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "adapters/opc/dom.hpp"
#include "adapters/opc/xml_part.hpp"
#include "adapters/workbook/a1.hpp"
#include "adapters/workbook/colour.hpp"
#include "adapters/workbook/package.hpp"
#include "core/error.hpp"

namespace tbln::workbook {

using opc::Attr;
using opc::Child;
using opc::FlagAttr;
using opc::Is;
using opc::NumberAttr;

namespace {

std::uint32_t ParseHexColor(const char* text) {
    std::string_view v(text);
    if (v.size() > 6) v = v.substr(v.size() - 6);  // ARGB: the alpha is not shown
    std::uint32_t rgb = 0;
    for (char c : v) {
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : 0;
        rgb = (rgb << 4) | static_cast<std::uint32_t>(d);
    }
    return rgb;
}

Color ReadColor(const pugi::xml_node& n, const WorkbookModel& book,
                const std::vector<std::uint32_t>& palette) {
    Color c;
    if (!n || FlagAttr(n, "auto", false)) return c;
    if (const char* rgb = Attr(n, "rgb")) {
        c.automatic = false;
        c.rgb = ParseHexColor(rgb);
    } else if (const char* theme = Attr(n, "theme")) {
        c.automatic = false;
        c.rgb = ThemeColor(book.theme, std::atoi(theme), NumberAttr(n, "tint", 0));
        return c;
    } else if (const char* indexed = Attr(n, "indexed")) {
        const int i = std::atoi(indexed);
        if (i >= 0 && i < static_cast<int>(palette.size())) {
            c.automatic = false;
            c.rgb = palette[static_cast<std::size_t>(i)];
        }
    }
    if (!c.automatic) {
        if (Attr(n, "tint")) {
            // A tint on an explicit colour lightens or darkens it the same way.
            Theme single;
            single.colors = {c.rgb};
            c.rgb = ThemeColor(single, -1, NumberAttr(n, "tint", 0));
        }
    }
    return c;
}

template <class T>
void CheckCount(const Package& pkg, const std::vector<T>& items, const char* what) {
    if (items.size() > kMaxStyles) {
        RaiseBadWorkbook(pkg.Path(), std::string("the styles part has more ") + what +
                                         " than the limit of " + std::to_string(kMaxStyles));
    }
}

BorderEdge ReadEdge(const pugi::xml_node& n, const WorkbookModel& book,
                    const std::vector<std::uint32_t>& palette) {
    BorderEdge e;
    if (!n) return e;
    if (const char* style = Attr(n, "style")) e.style = style;
    e.color = ReadColor(Child(n, "color"), book, palette);
    return e;
}

}  // namespace

void ReadTheme(const Package& pkg, const std::string& part, WorkbookModel& book) {
    try {
        const auto doc = pkg.ReadXml(part);
        const auto elements = Child(doc->document_element(), "themeElements");
        std::vector<std::uint32_t> colors;
        for (auto slot : Child(elements, "clrScheme").children()) {
            for (auto value : slot.children()) {
                if (const char* v = Attr(value, "lastClr")) {
                    colors.push_back(ParseHexColor(v));
                    break;
                }
                if (const char* v = Attr(value, "val")) {
                    colors.push_back(ParseHexColor(v));
                    break;
                }
            }
        }
        if (colors.size() >= 12) {
            colors.resize(12);
            book.theme.colors = std::move(colors);
        }
        const auto fonts = Child(elements, "fontScheme");
        if (const char* f = Attr(Child(Child(fonts, "majorFont"), "latin"), "typeface"))
            book.theme.majorFont = f;
        if (const char* f = Attr(Child(Child(fonts, "minorFont"), "latin"), "typeface"))
            book.theme.minorFont = f;
    } catch (const RuntimeError&) {
        // The default Office theme stands in for a damaged one.
    }
}

void ReadStyles(const Package& pkg, const std::string& part, WorkbookModel& book) {
    const auto doc = pkg.ReadXml(part);
    const auto root = doc->document_element();

    std::vector<std::uint32_t> palette(LegacyPalette().begin(), LegacyPalette().end());
    if (auto indexed = Child(Child(root, "colors"), "indexedColors")) {
        std::size_t i = 0;
        for (auto c : indexed.children()) {
            if (!Is(c, "rgbColor")) continue;
            if (const char* rgb = Attr(c, "rgb"); rgb && i < palette.size())
                palette[i] = ParseHexColor(rgb);
            ++i;
        }
    }

    for (auto f : Child(root, "numFmts").children()) {
        const char* id = Attr(f, "numFmtId");
        const char* code = Attr(f, "formatCode");
        if (id && code)
            book.numberFormats[static_cast<std::uint32_t>(std::strtoul(id, nullptr, 10))] = code;
    }

    std::vector<Font> fonts;
    for (auto f : Child(root, "fonts").children()) {
        if (!Is(f, "font")) continue;
        Font font;
        for (auto p : f.children()) {
            const auto name = opc::LocalName(p.name());
            if (name == "b")
                font.bold = FlagAttr(p, "val", true);
            else if (name == "i")
                font.italic = FlagAttr(p, "val", true);
            else if (name == "strike")
                font.strike = FlagAttr(p, "val", true);
            else if (name == "u")
                font.underline = Attr(p, "val") ? Attr(p, "val") : "single";
            else if (name == "sz")
                font.size = NumberAttr(p, "val", font.size);
            else if (name == "name" || name == "rFont")
                font.name = Attr(p, "val") ? Attr(p, "val") : "";
            else if (name == "vertAlign")
                font.vertAlign = Attr(p, "val") ? Attr(p, "val") : "";
            else if (name == "color")
                font.color = ReadColor(p, book, palette);
            else if (name == "scheme" && Attr(p, "val")) {
                // A theme font follows the theme's major or minor typeface.
                const std::string_view scheme = Attr(p, "val");
                if (scheme == "major") font.name = book.theme.majorFont;
                if (scheme == "minor" && font.name.empty()) font.name = book.theme.minorFont;
            }
        }
        if (font.underline == "none" || font.underline.empty()) font.underline = "none";
        fonts.push_back(std::move(font));
        CheckCount(pkg, fonts, "fonts");
    }
    if (!fonts.empty()) book.fonts = std::move(fonts);

    std::vector<Fill> fills;
    for (auto f : Child(root, "fills").children()) {
        if (!Is(f, "fill")) continue;
        Fill fill;
        if (auto p = Child(f, "patternFill")) {
            fill.pattern = Attr(p, "patternType") ? Attr(p, "patternType") : "none";
            fill.foreground = ReadColor(Child(p, "fgColor"), book, palette);
            fill.background = ReadColor(Child(p, "bgColor"), book, palette);
        } else if (auto g = Child(f, "gradientFill")) {
            fill.pattern = "gradient";
            bool first = true;
            for (auto stop : g.children()) {
                if (!Is(stop, "stop")) continue;
                (first ? fill.foreground : fill.background) =
                    ReadColor(Child(stop, "color"), book, palette);
                first = false;
            }
        }
        fills.push_back(std::move(fill));
        CheckCount(pkg, fills, "fills");
    }
    if (!fills.empty()) book.fills = std::move(fills);

    std::vector<Border> borders;
    for (auto b : Child(root, "borders").children()) {
        if (!Is(b, "border")) continue;
        Border border;
        border.left =
            ReadEdge(Child(b, "left") ? Child(b, "left") : Child(b, "start"), book, palette);
        border.right =
            ReadEdge(Child(b, "right") ? Child(b, "right") : Child(b, "end"), book, palette);
        border.top = ReadEdge(Child(b, "top"), book, palette);
        border.bottom = ReadEdge(Child(b, "bottom"), book, palette);
        border.diagonal = ReadEdge(Child(b, "diagonal"), book, palette);
        border.diagonalUp = FlagAttr(b, "diagonalUp", false);
        border.diagonalDown = FlagAttr(b, "diagonalDown", false);
        borders.push_back(std::move(border));
        CheckCount(pkg, borders, "borders");
    }
    if (!borders.empty()) book.borders = std::move(borders);

    const auto styleXf = Child(Child(root, "cellStyleXfs"), "xf");
    if (styleXf) book.normalFont = static_cast<std::uint32_t>(NumberAttr(styleXf, "fontId", 0));

    std::vector<CellFormat> formats;
    for (auto xf : Child(root, "cellXfs").children()) {
        if (!Is(xf, "xf")) continue;
        CellFormat f;
        f.numberFormat = static_cast<std::uint32_t>(NumberAttr(xf, "numFmtId", 0));
        f.font = static_cast<std::uint32_t>(NumberAttr(xf, "fontId", 0));
        f.fill = static_cast<std::uint32_t>(NumberAttr(xf, "fillId", 0));
        f.border = static_cast<std::uint32_t>(NumberAttr(xf, "borderId", 0));
        if (f.font >= book.fonts.size()) f.font = 0;
        if (f.fill >= book.fills.size()) f.fill = 0;
        if (f.border >= book.borders.size()) f.border = 0;
        if (auto a = Child(xf, "alignment")) {
            if (const char* h = Attr(a, "horizontal")) f.horizontal = h;
            if (const char* v = Attr(a, "vertical")) f.vertical = v;
            f.wrapText = FlagAttr(a, "wrapText", false);
            f.shrinkToFit = FlagAttr(a, "shrinkToFit", false);
            f.textRotation = static_cast<int>(NumberAttr(a, "textRotation", 0));
            if (f.textRotation < 0 || (f.textRotation > 180 && f.textRotation != 255))
                f.textRotation = 0;
            f.indent = std::clamp(static_cast<int>(NumberAttr(a, "indent", 0)), 0, 250);
        }
        formats.push_back(std::move(f));
        CheckCount(pkg, formats, "cell formats");
    }
    if (!formats.empty()) book.cellFormats = std::move(formats);
}

}  // namespace tbln::workbook
