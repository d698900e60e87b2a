// The embedded spreadsheet engine's model of one workbook file, as read from its
// package: sheets in workbook order, their cells, merged areas and sheet views, the
// shared strings and the number formats of the cell formats.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "adapters/workbook/drawing_model.hpp"
#include "core/numeric.hpp"

namespace tbln::workbook {

// The sheet's limits in the file format.
inline constexpr Long kMaxRows = 1048576;
inline constexpr Long kMaxCols = 16384;
// Limits on untrusted worksheets.
inline constexpr std::size_t kMaxCells = 20'000'000;
inline constexpr int kMaxXmlDepth = 256;

enum class CellType { Empty, Number, Text, Boolean, Error };

struct Cell {
    CellType type = CellType::Empty;
    double number = 0;  // Number; Boolean as 0 or 1
    std::string text;   // Text, and the error value's text ("#DIV/0!")
    std::uint32_t style = 0;
};

// A rectangle of cells, 1-based and inclusive.
struct Area {
    Long top = 1, left = 1, bottom = 1, right = 1;
    bool Contains(Long r, Long c) const {
        return r >= top && r <= bottom && c >= left && c <= right;
    }
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

struct SheetModel {
    std::string name;
    std::string state = "visible";        // visible, hidden, veryHidden
    std::string part;                     // package part of the worksheet
    std::map<std::uint64_t, Cell> cells;  // ordered row by row
    std::vector<Area> merges;
    Long activeRow = 1, activeCol = 1;
    std::vector<Area> selection{Area{}};
    std::vector<SheetEdit> edits;  // unsaved changes, oldest first
    DrawingModel drawing;          // shapes and pictures

    const Cell* Find(Long row, Long col) const {
        const auto it = cells.find(CellKey(row, col));
        return it == cells.end() ? nullptr : &it->second;
    }
};

struct WorkbookModel {
    std::string path;
    std::string workbookPart = "xl/workbook.xml";  // the package part of the workbook itself
    std::vector<SheetModel> sheets;
    std::size_t activeTab = 0;
    bool date1904 = false;
    std::vector<std::string> sharedStrings;
    std::vector<std::uint32_t> cellNumberFormat;         // cellXfs index -> numFmtId
    std::map<std::uint32_t, std::string> numberFormats;  // custom numFmtId -> format code
    ThemeModel theme;
};

// Reads a workbook file; raises RuntimeError (1004) naming the file and what is wrong.
std::unique_ptr<WorkbookModel> LoadWorkbook(const std::string& path);

}  // namespace tbln::workbook
