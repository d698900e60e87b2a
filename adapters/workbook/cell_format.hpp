// What a reader of the workbook needs to know about one cell, in the terms of Excel's
// object model: the displayed text and value type, the font, the alignment as Excel's
// codes, wrapping and orientation, the border of each edge, the fill, the merged
// area; and of the sheet: its used area and its hidden rows and columns.
//
// This is the engine's one reader-facing view of a loaded workbook (see
// LoadWorkbook in workbook_model.hpp). It reads the model only. Row heights and
// column widths in points are in sheet_geometry.hpp, the displayed text alone in
// display_text.hpp.
//
//   auto book = LoadWorkbook(path);                 // raises RuntimeError naming the file
//   const SheetModel* sheet = FindSheet(*book, "Parts");
//   Area used = UsedArea(*sheet);
//   CellView cell = DescribeCell(*book, *sheet, 2, 3);   // C2
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// Excel's horizontal alignment codes (Range.HorizontalAlignment).
inline constexpr int xlGeneral = 1;
inline constexpr int xlLeft = -4131;
inline constexpr int xlCenter = -4108;
inline constexpr int xlRight = -4152;
inline constexpr int xlFill = 5;
inline constexpr int xlJustify = -4130;
inline constexpr int xlCenterAcrossSelection = 7;
inline constexpr int xlDistributed = -4117;
// Excel's vertical alignment codes (Range.VerticalAlignment); xlCenter, xlJustify and
// xlDistributed as above.
inline constexpr int xlTop = -4160;
inline constexpr int xlBottom = -4107;
// Excel's orientation codes (Range.Orientation); other values are degrees, -90 to 90.
inline constexpr int xlHorizontal = -4128;
inline constexpr int xlVertical = -4166;  // stacked letters
inline constexpr int xlUpward = -4171;    // 90 degrees
inline constexpr int xlDownward = -4170;  // -90 degrees

enum class ValueType { Empty, Number, Text, Boolean, Error };

struct CellBorderEdge {
    std::string style;  // the file's style word: "none", "thin", "medium", "thick", "dashed", ...
    std::string color;  // "RRGGBB", or "" for automatic
};

struct CellView {
    Long row = 1, column = 1;
    std::string text;  // the displayed text
    ValueType type = ValueType::Empty;
    double number = 0;  // the value of a Number or Boolean cell

    std::string fontName;
    double fontSize = 11;
    bool bold = false, italic = false, underline = false, strikethrough = false;
    std::string underlineStyle;  // "none", "single", "double", "singleAccounting", ...
    std::string fontColor;       // "RRGGBB", or "" for automatic

    int horizontalAlignment = xlGeneral;
    int verticalAlignment = xlBottom;
    bool wrapText = false;
    bool shrinkToFit = false;
    int orientation = xlHorizontal;
    int indent = 0;

    CellBorderEdge top, bottom, left, right;

    std::string fillPattern;        // "none", "solid", "gray125", "darkVertical", ..., "gradient"
    std::string fillColor;          // the pattern's colour (a solid fill's colour); "" when none
    std::string patternBackground;  // the colour behind a pattern; "" when automatic

    std::string numberFormat;  // the format code

    bool merged = false;
    Area mergeArea;  // the merged area holding the cell, or the cell itself
};

// The worksheet of that name (compared without regard to case, as Excel does), or nullptr.
const SheetModel* FindSheet(const WorkbookModel& book, const std::string& name);

// The value and merge of a cell, with its format as an index for FormatView: a caller
// that goes through many cells of few formats describes each format once.
struct CellContent {
    std::uint32_t style = 0;  // the cell's format, else its row's, else its column's
    std::string text;         // the displayed text
    ValueType type = ValueType::Empty;
    double number = 0;
    bool merged = false;
    Area mergeArea;
};
CellContent DescribeContent(const WorkbookModel& book, const SheetModel& sheet, Long row,
                            Long column);
// The format fields of CellView for a format index (kept per workbook once made).
const CellView& FormatView(const WorkbookModel& book, std::uint32_t style);

// Everything about the cell at (row, column) of the sheet; an absent cell is an
// empty cell with the row's or column's format, else the workbook's default format.
CellView DescribeCell(const WorkbookModel& book, const SheetModel& sheet, Long row, Long column);

// The rectangle from A1's corner of the used cells: the smallest area holding every
// cell with a value or a format, and every merged area. An empty sheet gives A1.
Area UsedArea(const SheetModel& sheet);

// The alignment and orientation codes of a cell format.
int HorizontalAlignmentCode(const CellFormat& format);
int VerticalAlignmentCode(const CellFormat& format);
int OrientationCode(const CellFormat& format);

// "RRGGBB" of a colour, or "" for automatic.
std::string ColorText(const Color& color);

}  // namespace tbln::workbook
