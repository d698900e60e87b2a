// The embedded spreadsheet engine's model of one workbook file, as read from its
// package: sheets in workbook order, their cells, row and column sizes, merged areas
// and sheet views; the workbook's strings, styles and theme.
//
// Cells are kept compact (a sorted vector of 24-byte entries, texts as indexes into
// the workbook's string table) so that a sheet of a million styled cells stays well
// inside a drafter's memory.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "adapters/opc/package.hpp"
#include "adapters/workbook/drawing_model.hpp"
#include "core/numeric.hpp"

namespace tbln::workbook {

// The cell format views derived once per cell format (defined in cell_format.cpp).
struct FormatViewCache;

// The sheet's limits in the file format.
inline constexpr Long kMaxRows = 1048576;
inline constexpr Long kMaxCols = 16384;
// Limits on untrusted worksheets.
inline constexpr std::size_t kMaxCells = 20'000'000;
inline constexpr std::size_t kMaxStrings = 20'000'000;
inline constexpr std::size_t kMaxMerges = 1'000'000;
inline constexpr std::size_t kMaxStyles = 200'000;  // each of fonts, fills, borders, formats

enum class CellType : std::uint8_t { Empty, Number, Text, Boolean, Error };

struct Cell {
    double number = 0;        // Number; Boolean as 0 or 1
    std::uint32_t text = 0;   // Text and Error: index into WorkbookModel::strings
    std::uint32_t style = 0;  // index into WorkbookModel::cellFormats
    CellType type = CellType::Empty;
};

// A rectangle of cells, 1-based and inclusive.
struct Area {
    Long top = 1, left = 1, bottom = 1, right = 1;
    bool Contains(Long r, Long c) const {
        return r >= top && r <= bottom && c >= left && c <= right;
    }
    Long Rows() const { return bottom - top + 1; }
    Long Columns() const { return right - left + 1; }
};

// A change made to a sheet since it was read or last saved. The model shows it at once;
// saving applies the list, in order, to the sheet's XML.
struct SheetEdit {
    enum class Kind { SetText, SetColumnWidth, Delete };
    Kind kind = Kind::SetText;
    Area area;         // the cells, the columns (SetColumnWidth) or the deleted block
    std::string text;  // SetText
    double width = 0;  // SetColumnWidth: the width attribute of the file (see ColumnWidthAttribute)
    bool shiftUp =
        false;  // Delete: whole rows move up; otherwise the cells right of the block move left
};

inline std::uint64_t CellKey(Long row, Long col) {
    return (static_cast<std::uint64_t>(row) << 32) | static_cast<std::uint32_t>(col);
}

// A row with its own height or hidden flag (a `<row>` with ht or hidden).
struct RowInfo {
    Long row = 0;
    double height = -1;  // points; -1 when the row keeps the sheet's default
    bool hidden = false;
    std::uint32_t style = 0;  // the row's format, when customFormat is set
    bool customFormat = false;
};

// A run of columns with their own width or hidden flag (one `<col>` element).
struct ColumnInfo {
    Long first = 0, last = 0;
    double width = -1;  // characters, as stored in the file (padding included); -1: default
    bool hidden = false;
    std::uint32_t style = 0;
};

struct SheetModel {
    struct Entry {
        std::uint64_t key;
        Cell cell;
    };

    std::string name;
    std::string state = "visible";     // visible, hidden, veryHidden
    std::string part;                  // package part of the worksheet
    std::vector<Entry> cells;          // sorted by CellKey: row by row
    std::vector<RowInfo> rows;         // sorted by row
    std::vector<ColumnInfo> columns;   // sorted, not overlapping
    double defaultRowHeight = -1;      // points; -1 when the file does not say
    double defaultColumnWidth = -1;    // characters with padding; -1 when the file does not say
    Long baseColumnWidth = 8;          // characters, without padding
    bool rowsHiddenByDefault = false;  // `zeroHeight`: rows not listed are hidden
    std::vector<Area> merges;
    Long activeRow = 1, activeCol = 1;
    std::vector<Area> selection{Area{}};
    Long topRow = 1, leftCol = 1;  // the saved view's top-left visible cell
    std::string dimension;         // the `<dimension ref>` the writer recorded, for information
    std::vector<SheetEdit> edits;  // unsaved changes, oldest first
    DrawingModel drawing;          // shapes and pictures

    const Cell* Find(Long row, Long col) const {
        const auto key = CellKey(row, col);
        const auto it = std::lower_bound(cells.begin(), cells.end(), key,
                                         [](const Entry& e, std::uint64_t k) { return e.key < k; });
        return it != cells.end() && it->key == key ? &it->cell : nullptr;
    }
    // The cell at (row, col), created empty when missing.
    Cell& At(Long row, Long col) {
        const auto key = CellKey(row, col);
        auto it = std::lower_bound(cells.begin(), cells.end(), key,
                                   [](const Entry& e, std::uint64_t k) { return e.key < k; });
        if (it == cells.end() || it->key != key) it = cells.insert(it, Entry{key, Cell{}});
        return it->cell;
    }
    const RowInfo* FindRow(Long row) const {
        const auto it = std::lower_bound(rows.begin(), rows.end(), row,
                                         [](const RowInfo& r, Long k) { return r.row < k; });
        return it != rows.end() && it->row == row ? &*it : nullptr;
    }
    const ColumnInfo* FindColumn(Long col) const {
        const auto it = std::lower_bound(columns.begin(), columns.end(), col,
                                         [](const ColumnInfo& c, Long k) { return c.last < k; });
        return it != columns.end() && it->first <= col ? &*it : nullptr;
    }
    // The style of a cell that has none of its own: its row's, when the row has one,
    // else its column's (0, the default style, when neither has).
    std::uint32_t LineStyle(Long row, Long col) const {
        if (const RowInfo* r = FindRow(row); r && r->customFormat) return r->style;
        const ColumnInfo* c = FindColumn(col);
        return c ? c->style : 0;
    }

    // The merged area holding (row, col), or nullptr. Built on first use; a sheet may
    // have tens of thousands of merged areas.
    const Area* FindMerge(Long row, Long col) const;
    // To be called after `merges` changes.
    void MergesChanged() {
        mergeIndexBuilt_ = false;
        mergesByRow_.clear();
        tallMerges_.clear();
    }

  private:
    mutable bool mergeIndexBuilt_ = false;
    mutable std::unordered_map<Long, std::vector<std::uint32_t>> mergesByRow_;
    mutable std::vector<std::uint32_t> tallMerges_;
};

// Puts a sheet read from a file in order: cells sorted by position (the last of two
// cells at one place wins), rows sorted (the first of two wins), column runs sorted
// and cut where they overlap. `cellsSorted` and `rowsSorted` say what the reader saw.
void SortSheet(SheetModel& sheet, bool cellsSorted, bool rowsSorted);

// A colour as RGB (0xRRGGBB), or automatic (the application's default: black text,
// no fill, black borders).
struct Color {
    bool automatic = true;
    std::uint32_t rgb = 0;
};

struct Font {
    std::string name = "Calibri";
    double size = 11;
    bool bold = false, italic = false, strike = false;
    std::string underline = "none";  // none, single, double, singleAccounting, doubleAccounting
    std::string vertAlign;           // "", superscript, subscript
    Color color;
};

struct Fill {
    std::string pattern = "none";  // none, solid, gray125, darkVertical, ...
    Color foreground;              // the pattern's colour (the cell colour of a solid fill)
    Color background;
};

struct BorderEdge {
    std::string style = "none";  // none, thin, medium, dashed, dotted, thick, double, hair, ...
    Color color;
};

struct Border {
    BorderEdge left, right, top, bottom, diagonal;
    bool diagonalUp = false, diagonalDown = false;
};

// One cell format (an `<xf>` of `<cellXfs>`).
struct CellFormat {
    std::uint32_t numberFormat = 0;
    std::uint32_t font = 0, fill = 0, border = 0;
    std::string horizontal = "general";  // general, left, center, right, fill, justify,
                                         // centerContinuous, distributed
    std::string vertical = "bottom";     // top, center, bottom, justify, distributed
    bool wrapText = false;
    bool shrinkToFit = false;
    int textRotation = 0;  // as stored: 0-90 up, 91-180 down (90 + degrees), 255 stacked
    int indent = 0;
};

struct Theme {
    // dk1, lt1, dk2, lt2, accent1-6, hlink, folHlink, as RGB.
    std::vector<std::uint32_t> colors;
    std::string majorFont = "Calibri Light";
    std::string minorFont = "Calibri";
};

struct WorkbookModel {
    std::string path;
    std::string workbookPart = "xl/workbook.xml";  // the package part of the workbook itself
    // A legacy binary workbook (.xls), read from its records: it has no package parts
    // and is saved by rebuilding the changed sheets' records (see xls_writer.hpp).
    bool legacyBinary = false;
    std::vector<SheetModel> sheets;
    std::size_t activeTab = 0;
    bool date1904 = false;
    // Every text of the workbook's cells: the shared strings first, then the inline
    // strings, formula results and error values of the sheets.
    std::vector<std::string> strings;
    std::size_t sharedStringCount = 0;

    std::vector<Font> fonts{Font{}};
    std::vector<Fill> fills{Fill{}};
    std::vector<Border> borders{Border{}};
    std::vector<CellFormat> cellFormats{CellFormat{}};
    std::map<std::uint32_t, std::string> numberFormats;  // custom numFmtId -> format code
    Theme theme;
    std::uint32_t normalFont = 0;  // the font of the Normal cell style
    // What readers derive once per cell format (see cell_format.cpp); reset it after
    // changing the styles.
    mutable std::shared_ptr<FormatViewCache> formatViews;
    // The default font's digit width in pixels, once worked out (see sheet_geometry.hpp);
    // 0 before.
    mutable int digitWidth = 0;
    // The screen density (dots per inch) its stored column widths were written at, worked
    // out with the digit width; 0 before.
    mutable int widthDpi = 0;

    const std::string& Text(const Cell& cell) const {
        static const std::string empty;
        return cell.text < strings.size() ? strings[cell.text] : empty;
    }
    std::uint32_t AddString(std::string text) {
        strings.push_back(std::move(text));
        return static_cast<std::uint32_t>(strings.size() - 1);
    }
    const CellFormat& Format(std::uint32_t style) const {
        return style < cellFormats.size() ? cellFormats[style] : cellFormats.front();
    }
    const Font& FontOf(std::uint32_t style) const {
        const auto f = Format(style).font;
        return f < fonts.size() ? fonts[f] : fonts.front();
    }
    // The workbook's default font: the font of the Normal style.
    const Font& DefaultFont() const {
        return normalFont < fonts.size() ? fonts[normalFont] : fonts.front();
    }
};

// Reads a workbook file; raises RuntimeError (1004) naming the file and what is wrong.
// The limits apply to a package (.xlsx, .xlsm), not to a legacy binary workbook.
std::unique_ptr<WorkbookModel> LoadWorkbook(const std::string& path,
                                            opc::PackageLimits limits = {});

}  // namespace tbln::workbook
