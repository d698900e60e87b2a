#include "adapters/workbook/sheet_edits.hpp"

#include <algorithm>
#include <cmath>

#include "adapters/workbook/sheet_geometry.hpp"
#include "core/error.hpp"

namespace tbln::workbook {

namespace {

Long Span(Long first, Long last) {
    return last - first + 1;
}

}  // namespace

void RaiseMergedCut() {
    Raise(err::kApplicationDefined,
          "Delete method of Range class failed: cannot change part of a merged cell");
}

bool WholeRows(const Area& a) {
    return a.left == 1 && a.right == kMaxCols;
}
bool WholeColumns(const Area& a) {
    return a.top == 1 && a.bottom == kMaxRows;
}

bool MovePosition(Long first, Long last, Long& pos) {
    if (pos < first) return true;
    if (pos <= last) return false;
    pos -= Span(first, last);
    return true;
}

bool MoveInterval(Long first, Long last, Long& lo, Long& hi) {
    const Long n = Span(first, last);
    const Long newLo = lo < first ? lo : lo > last ? lo - n : first;
    const Long newHi = hi < first ? hi : hi > last ? hi - n : first - 1;
    lo = newLo;
    hi = newHi;
    return lo <= hi;
}

bool MoveCell(const SheetEdit& d, Long& row, Long& col) {
    const Area& b = d.area;
    if (d.shiftUp) return MovePosition(b.top, b.bottom, row);
    if (row < b.top || row > b.bottom) return true;
    return MovePosition(b.left, b.right, col);
}

bool CutsThrough(const SheetEdit& d, const Area& a) {
    if (d.shiftUp) return false;
    const Area& b = d.area;
    if (a.bottom < b.top || a.top > b.bottom) return false;
    if (a.top >= b.top && a.bottom <= b.bottom) return false;
    return a.right >= b.left;
}

bool MoveArea(const SheetEdit& d, Area& a) {
    const Area& b = d.area;
    if (d.shiftUp) return MoveInterval(b.top, b.bottom, a.top, a.bottom);
    if (a.bottom < b.top || a.top > b.bottom) return true;
    return MoveInterval(b.left, b.right, a.left, a.right);
}

double ColumnWidthAttribute(double characters, int digit) {
    if (characters <= 0) return 0;
    const double maxDigitWidth = digit;
    const double pixels = characters < 1 ? std::trunc(characters * (maxDigitWidth + 5) + 0.5)
                                         : std::trunc(characters * maxDigitWidth + 0.5) + 5;
    return std::trunc(pixels / maxDigitWidth * 256) / 256;
}

void SetCellsText(WorkbookModel& book, SheetModel& sheet, const std::vector<Area>& areas,
                  const std::string& text) {
    std::size_t total = 0;
    for (const auto& a : areas) {
        total += static_cast<std::size_t>(a.Rows()) * static_cast<std::size_t>(a.Columns());
    }
    if (total > kMaxCellsPerWrite) {
        Raise(err::kApplicationDefined, "Cannot set the value of " + std::to_string(total) +
                                            " cells at once; the limit is " +
                                            std::to_string(kMaxCellsPerWrite));
    }
    const std::uint32_t index = text.empty() ? 0 : book.AddString(text);
    for (const auto& a : areas) {
        for (Long r = a.top; r <= a.bottom; ++r) {
            for (Long c = a.left; c <= a.right; ++c) {
                if (text.empty()) {
                    const auto key = CellKey(r, c);
                    const auto it = std::lower_bound(
                        sheet.cells.begin(), sheet.cells.end(), key,
                        [](const SheetModel::Entry& e, std::uint64_t k) { return e.key < k; });
                    if (it == sheet.cells.end() || it->key != key) continue;
                    // A cell in the default style goes, unless it stands in front of
                    // its row's or column's style.
                    if (it->cell.style == 0 && sheet.LineStyle(r, c) == 0) {
                        sheet.cells.erase(it);
                    } else {
                        it->cell = Cell{0, 0, it->cell.style, CellType::Empty};
                    }
                    continue;
                }
                const bool isNew = !sheet.Find(r, c);
                Cell& cell = sheet.At(r, c);
                if (isNew) cell.style = sheet.LineStyle(r, c);
                cell.type = CellType::Text;
                cell.number = 0;
                cell.text = index;
            }
        }
        SheetEdit e;
        e.area = a;
        e.text = text;
        sheet.edits.push_back(std::move(e));
    }
}

void SetColumnsWidth(const WorkbookModel& book, SheetModel& sheet, Long first, Long last,
                     double characters) {
    if (!(characters >= 0 && characters <= 255)) {
        Raise(err::kApplicationDefined,
              "Unable to set the ColumnWidth property of the Range class: the width must be "
              "between 0 and 255 characters");
    }
    SheetEdit e;
    e.kind = SheetEdit::Kind::SetColumnWidth;
    e.area = Area{1, first, kMaxRows, last};
    e.width = ColumnWidthAttribute(characters, MaxDigitWidth(book));
    // The same runs the file will have: the columns' own runs split at the edges.
    auto runs = ChangeColumnRuns(
        sheet.columns, first, last,
        [](Long lo, Long hi) {
            return ColumnInfo{lo, hi};
        },
        [&](ColumnInfo& run) {
            if (e.width > 0) {
                run.width = e.width;
                run.hidden = false;
            } else {
                run.hidden = true;
            }
        });
    sheet.columns = std::move(runs);
    sheet.edits.push_back(e);
}

void DeleteCells(SheetModel& sheet, const Area& block) {
    SheetEdit d;
    d.kind = SheetEdit::Kind::Delete;
    d.area = block;
    d.shiftUp = WholeRows(block);
    for (const auto& m : sheet.merges) {
        if (CutsThrough(d, m)) RaiseMergedCut();
    }
    std::vector<SheetModel::Entry> cells;
    cells.reserve(sheet.cells.size());
    for (const auto& e : sheet.cells) {
        Long r = static_cast<Long>(e.key >> 32), c = static_cast<Long>(e.key & 0xFFFFFFFFu);
        if (MoveCell(d, r, c)) cells.push_back(SheetModel::Entry{CellKey(r, c), e.cell});
    }
    std::sort(cells.begin(), cells.end(),
              [](const SheetModel::Entry& a, const SheetModel::Entry& b) { return a.key < b.key; });
    sheet.cells = std::move(cells);
    if (d.shiftUp) {
        std::vector<RowInfo> rows;
        for (auto info : sheet.rows) {
            if (MovePosition(block.top, block.bottom, info.row)) rows.push_back(info);
        }
        sheet.rows = std::move(rows);
    } else if (WholeColumns(block)) {
        std::vector<ColumnInfo> columns;
        for (auto run : sheet.columns) {
            if (MoveInterval(block.left, block.right, run.first, run.last)) columns.push_back(run);
        }
        sheet.columns = std::move(columns);
    }
    std::vector<Area> merges;
    for (auto m : sheet.merges) {
        if (MoveArea(d, m) && !(m.top == m.bottom && m.left == m.right)) merges.push_back(m);
    }
    sheet.merges = std::move(merges);
    sheet.MergesChanged();
    sheet.edits.push_back(d);
}

}  // namespace tbln::workbook
