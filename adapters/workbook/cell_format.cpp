#include "adapters/workbook/cell_format.hpp"

#include <cstdio>
#include <memory>
#include <vector>

#include "adapters/workbook/numfmt/display_text.hpp"
#include "core/collection.hpp"

namespace tbln::workbook {

int HorizontalAlignmentCode(const CellFormat& f) {
    const std::string& h = f.horizontal;
    if (h == "left") return xlLeft;
    if (h == "center") return xlCenter;
    if (h == "right") return xlRight;
    if (h == "fill") return xlFill;
    if (h == "justify") return xlJustify;
    if (h == "centerContinuous") return xlCenterAcrossSelection;
    if (h == "distributed") return xlDistributed;
    return xlGeneral;
}

int VerticalAlignmentCode(const CellFormat& f) {
    const std::string& v = f.vertical;
    if (v == "top") return xlTop;
    if (v == "center") return xlCenter;
    if (v == "justify") return xlJustify;
    if (v == "distributed") return xlDistributed;
    return xlBottom;
}

int OrientationCode(const CellFormat& f) {
    const int r = f.textRotation;
    if (r == 255) return xlVertical;
    if (r == 0) return xlHorizontal;
    if (r == 90) return xlUpward;
    if (r == 180) return xlDownward;
    return r <= 90 ? r : 90 - r;  // 91-180 turn downwards: 135 is -45 degrees
}

std::string ColorText(const Color& color) {
    if (color.automatic) return {};
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out(6, '0');
    for (int i = 0; i < 6; ++i)
        out[static_cast<std::size_t>(5 - i)] = kHex[(color.rgb >> (4 * i)) & 0xF];
    return out;
}

namespace {

// The format part of a cell's view, the same for every cell of a cell format.
CellView DescribeFormat(const WorkbookModel& book, std::uint32_t style) {
    CellView v;
    const CellFormat& f = book.Format(style);
    const Font& font = book.FontOf(style);
    v.fontName = font.name;
    v.fontSize = font.size;
    v.bold = font.bold;
    v.italic = font.italic;
    v.strikethrough = font.strike;
    v.underlineStyle = font.underline;
    v.underline = font.underline != "none";
    v.fontColor = ColorText(font.color);

    v.horizontalAlignment = HorizontalAlignmentCode(f);
    v.verticalAlignment = VerticalAlignmentCode(f);
    v.wrapText = f.wrapText;
    v.shrinkToFit = f.shrinkToFit;
    v.orientation = OrientationCode(f);
    v.indent = f.indent;

    const Border& b =
        f.border < book.borders.size() ? book.borders[f.border] : book.borders.front();
    v.top = {b.top.style, b.top.style == "none" ? "" : ColorText(b.top.color)};
    v.bottom = {b.bottom.style, b.bottom.style == "none" ? "" : ColorText(b.bottom.color)};
    v.left = {b.left.style, b.left.style == "none" ? "" : ColorText(b.left.color)};
    v.right = {b.right.style, b.right.style == "none" ? "" : ColorText(b.right.color)};

    const Fill& fill = f.fill < book.fills.size() ? book.fills[f.fill] : book.fills.front();
    v.fillPattern = fill.pattern;
    if (fill.pattern != "none") {
        v.fillColor = ColorText(fill.foreground);
        v.patternBackground = ColorText(fill.background);
        // A solid fill without a colour of its own shows its background colour.
        if (fill.pattern == "solid" && v.fillColor.empty()) v.fillColor = v.patternBackground;
    }
    v.numberFormat = FormatCodeOf(book, style);
    return v;
}

}  // namespace

// One view per cell format, made on first use; the last slot serves styles out of range.
struct FormatViewCache {
    std::vector<std::unique_ptr<CellView>> views;
};

const CellView& FormatView(const WorkbookModel& book, std::uint32_t style) {
    if (!book.formatViews) {
        book.formatViews = std::make_shared<FormatViewCache>();
        book.formatViews->views.resize(book.cellFormats.size() + 1);
    }
    auto& cache = book.formatViews->views;
    const std::size_t slot = style < book.cellFormats.size() ? style : book.cellFormats.size();
    if (slot >= cache.size()) cache.resize(slot + 1);
    if (!cache[slot]) cache[slot] = std::make_unique<CellView>(DescribeFormat(book, style));
    return *cache[slot];
}

CellContent DescribeContent(const WorkbookModel& book, const SheetModel& sheet, Long row,
                            Long column) {
    CellContent v;
    const Cell* cell = sheet.Find(row, column);
    v.style = cell ? cell->style : sheet.LineStyle(row, column);
    if (cell) {
        v.text = DisplayText(book, sheet, row, column, *cell);
        v.number = cell->number;
        switch (cell->type) {
            case CellType::Empty:
                v.type = ValueType::Empty;
                break;
            case CellType::Number:
                v.type = ValueType::Number;
                break;
            case CellType::Text:
                v.type = ValueType::Text;
                break;
            case CellType::Boolean:
                v.type = ValueType::Boolean;
                break;
            case CellType::Error:
                v.type = ValueType::Error;
                break;
        }
    }
    if (const Area* m = sheet.FindMerge(row, column)) {
        v.merged = true;
        v.mergeArea = *m;
    } else {
        v.mergeArea = Area{row, column, row, column};
    }
    return v;
}

CellView DescribeCell(const WorkbookModel& book, const SheetModel& sheet, Long row, Long column) {
    CellContent content = DescribeContent(book, sheet, row, column);
    CellView v = FormatView(book, content.style);
    v.row = row;
    v.column = column;
    v.text = std::move(content.text);
    v.type = content.type;
    v.number = content.number;
    v.merged = content.merged;
    v.mergeArea = content.mergeArea;
    return v;
}

const SheetModel* FindSheet(const WorkbookModel& book, const std::string& name) {
    for (const auto& sheet : book.sheets) {
        if (KeysEqual(sheet.name, name)) return &sheet;
    }
    return nullptr;
}

Area UsedArea(const SheetModel& sheet) {
    bool any = false;
    Area a;
    const auto include = [&](Long r, Long c) {
        if (!any) {
            a = Area{r, c, r, c};
            any = true;
            return;
        }
        a.top = std::min(a.top, r);
        a.left = std::min(a.left, c);
        a.bottom = std::max(a.bottom, r);
        a.right = std::max(a.right, c);
    };
    for (const auto& e : sheet.cells) {
        include(static_cast<Long>(e.key >> 32), static_cast<Long>(e.key & 0xFFFFFFFFu));
    }
    for (const auto& m : sheet.merges) {
        include(m.top, m.left);
        include(m.bottom, m.right);
    }
    return any ? a : Area{};
}

}  // namespace tbln::workbook
