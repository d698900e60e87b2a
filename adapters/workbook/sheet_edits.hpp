// Changing a sheet: cell texts, column widths and deletions. Each change is applied to
// the in-memory model at once (so the engine reads back what it wrote) and recorded,
// and saving applies the recorded changes to the sheet in the file (xlsx/worksheet_patch,
// xls/xls_writer), leaving everything else in it as it was.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// The most cells one SetValue may write (a whole column is more than anyone means).
inline constexpr std::size_t kMaxCellsPerWrite = 1'000'000;

// The file's `width` attribute for a column `characters` wide, as Excel writes it: the
// characters and the 5-pixel padding, snapped to whole pixels and to 1/256 of a
// character. `maxDigitWidth` is the default font's widest digit in pixels.
double ColumnWidthAttribute(double characters, int maxDigitWidth);

// Sets every cell of the areas to the text (an empty text empties the cell). Raises
// 1004 when the areas hold more cells than the limit.
void SetCellsText(WorkbookModel& book, SheetModel& sheet, const std::vector<Area>& areas,
                  const std::string& text);
// Sets the width of columns first..last in characters of the default font; 0 hides them.
void SetColumnsWidth(const WorkbookModel& book, SheetModel& sheet, Long first, Long last,
                     double characters);
// Deletes a block of cells: whole rows move the rows below up; any other block moves
// the cells right of it, in its rows, to the left. Raises 1004, changing nothing, when
// the block would cut through a merged area.
void DeleteCells(SheetModel& sheet, const Area& block);

// How a deletion moves things: a deletion of whole rows moves the rows below up; any
// other block moves the cells right of it, in its rows, to the left.

// Raises 1004: a deletion would cut through a merged area.
[[noreturn]] void RaiseMergedCut();

// Whole rows (every column) and whole columns (every row) of the sheet.
bool WholeRows(const Area& a);
bool WholeColumns(const Area& a);
// Where a position along one axis goes when first..last are deleted on that axis:
// false when it is deleted.
bool MovePosition(Long first, Long last, Long& pos);
// Where an interval along one axis goes when first..last are deleted: false when it
// disappears entirely.
bool MoveInterval(Long first, Long last, Long& lo, Long& hi);
// Where a cell goes under a deletion: false when it is deleted.
bool MoveCell(const SheetEdit& d, Long& row, Long& col);
// Whether a deletion would cut through the area (only a block that moves cells left
// can: its rows must hold the area entirely, or the area must lie left of it).
bool CutsThrough(const SheetEdit& d, const Area& a);
// Where an area goes under a deletion: false when nothing of it is left.
bool MoveArea(const SheetEdit& d, Area& a);

// The column runs (sorted, not overlapping; a `Run` has `Long first, last`) after a
// change to the columns first..last: a run reaching past an edge is cut there, the
// columns no run covers get runs of their own from `make(first, last)`, and `change` is
// applied to every run inside first..last. The result is sorted.
template <class Run, class Make, class Change>
std::vector<Run> ChangeColumnRuns(const std::vector<Run>& runs, Long first, Long last, Make make,
                                  Change change) {
    std::vector<Run> out;
    const auto piece = [](Run run, Long lo, Long hi) {
        run.first = lo;
        run.last = hi;
        return run;
    };
    const auto changed = [&](Run run) {
        change(run);
        out.push_back(std::move(run));
    };
    Long next = first;  // the first column of first..last not yet covered
    for (const auto& run : runs) {
        if (run.last < first || run.first > last) {
            out.push_back(run);
            continue;
        }
        if (run.first < first) out.push_back(piece(run, run.first, first - 1));
        const Long lo = std::max(run.first, first), hi = std::min(run.last, last);
        if (next < lo) changed(make(next, lo - 1));
        changed(piece(run, lo, hi));
        next = hi + 1;
        if (run.last > last) out.push_back(piece(run, last + 1, run.last));
    }
    if (next <= last) changed(make(next, last));
    std::sort(out.begin(), out.end(), [](const Run& a, const Run& b) { return a.first < b.first; });
    return out;
}

}  // namespace tbln::workbook
