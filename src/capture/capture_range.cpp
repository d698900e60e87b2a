#include "capture/capture_range.hpp"

#include <algorithm>

#include "capture/shape_capture.hpp"
#include "common/paths.hpp"
#include "core/error.hpp"
#include "core/text.hpp"
#include "core/unicode.hpp"

namespace tbln {

namespace {

constexpr Integer kCentreAcrossSelection = 7;
constexpr Integer kFill = 5;
constexpr Integer kGeneral = 1;
constexpr Integer kLeft = -4131;
constexpr Integer kJustify = -4130;
constexpr Integer kCentre = -4108;
constexpr Integer kTop = -4160;

struct Side {
    Integer MyCell::*flag;
    SharedText MyCell::*weight;
    SharedText MyCell::*lineType;
};
constexpr Side kUp{&MyCell::bdUp, &MyCell::bdUpWeight, &MyCell::bdUpLT};
constexpr Side kBottom{&MyCell::bdBottom, &MyCell::bdBottomWeight, &MyCell::bdBottomLT};
constexpr Side kLeftSide{&MyCell::bdLeft, &MyCell::bdLeftWeight, &MyCell::bdLeftLT};
constexpr Side kRight{&MyCell::bdRight, &MyCell::bdRightWeight, &MyCell::bdRightLT};

// One side from the reader's style word: "none" no border, "thick" and "medium" a
// bold one, any other word a thin one; the word itself goes to the line type.
const SharedText kNone("none"), kThick("thick"), kMedium("medium"), kBold("bold"), kThin("thin");

void ConvertSide(MyCell& cell, const Side& side, const SharedText& word) {
    cell.*side.lineType = word;
    if (word == kNone) {
        cell.*side.flag = 0;
        return;
    }
    cell.*side.flag = 1;
    cell.*side.weight = (word == kThick || word == kMedium) ? kBold : kThin;
}

JCell& Grid(Module& m, Long r, Long c) {
    auto& j = m.jCells(r, c);
    if (!j) Raise(err::kObjectNotSet);
    return *j;
}

const SharedText kLeftWord("LEFT"), kRightWord("RIGHT"), kMidWord("MID");
const SharedText kTopWord("TOP"), kBottomWord("BOTTOM");

const SharedText& HorAlign(const JCell& j) {
    const Integer h = j.HorizontalAlignment;
    if (h == kGeneral && j.IsNumeric) {
        return !j.text.empty() && j.text[0] == ' ' ? kLeftWord : kRightWord;
    }
    if (h == kGeneral) return kLeftWord;
    if (h == kLeft || h == kJustify) return kLeftWord;
    if (h != kFill && h != kCentreAcrossSelection && h != kCentre) return kRightWord;
    return kMidWord;
}

const SharedText& VerAlign(const JCell& j) {
    const Integer v = j.VerticalAlignment;
    if (v == kJustify || v == kTop) return kTopWord;
    if (v == kCentre) return kMidWord;
    return kBottomWord;
}

}  // namespace

ProgressDisplay RunningProgress(Module& m) {
    auto& form = m.Dialog(m.isDeepUpdate ? DialogId::DeepUpdateForm : DialogId::CellRangeForm);
    auto* dialog = dynamic_cast<ProgressDialog*>(&form);
    if (!dialog) Raise(err::kNoSuchMember, form.Name() + " shows no progress");
    return dialog->Progress();
}

void BuildSimpleCell(Module& m, Single& rowOffset, Integer row, Integer column) {
    const JCell& j = Grid(m, row, column);
    auto cell = m.newCells.New();
    m.dgnCell(row, column) = cell;
    cell->row = j.row;
    cell->col = j.column;
    ConvertSide(*cell, kUp, j.bdUp);
    ConvertSide(*cell, kBottom, j.bdBottom);
    ConvertSide(*cell, kLeftSide, j.bdLeft);
    cell->bdRightLT = j.bdRight;
    if (j.bdRight == kNone) {
        cell->bdRight = 0;
    } else if (j.text != kCellNeedsVb &&
               static_cast<double>(j.width) < static_cast<double>(Utf16Length(j.text)) - 1) {
        // Text running over the right edge: the border is drawn only where the row
        // holds at least two lines of the font.
        if (j.fontsize == 0) Raise(11, "Division by zero");
        cell->bdRight = static_cast<double>(j.height) / j.fontsize >= 2.0 ? 1 : 0;
    } else {
        ConvertSide(*cell, kRight, j.bdRight);
    }
    cell->rowHeight = j.height;
    cell->colWidth = j.width;
    cell->charNum = j.width;
    cell->deltaX = rowOffset;
    cell->deltaY = m.totalHeight;
    rowOffset += cell->colWidth;
}

void BuildMergedCell(Module& m, Single& rowOffset, Integer row, Integer column) {
    const JCell& j = Grid(m, row, column);
    auto first = m.newCells.New();
    m.dgnCell(row, column) = first;
    first->row = j.row;
    first->col = j.column;
    // The walk covers the range and the extra row and column beside it. An area is
    // stored in pieces: the part met inside the range stops at the range's last row and
    // column, the part met in the extra row or column stops at the walk's edge, so the
    // walk finds every record of an area already built when it meets it again.
    const Integer lastRow =
        row <= m.endRow ? m.endRow : CheckedInteger(std::max<Long>(m.dgnCell.RowUpper(), row));
    const Integer lastCol = column <= m.endCol
                                ? m.endCol
                                : CheckedInteger(std::max<Long>(m.dgnCell.ColUpper(), column));
    Integer areaRow = j.endRow, areaCol = j.endCol;
    if (j.HorizontalAlignment == kCentreAcrossSelection) {
        areaRow = row;
        Integer k = 1;
        for (Long next = column + 1; next <= lastCol; ++next) {
            const JCell& n = Grid(m, row, next);
            if (!n.IsEmpty || n.HorizontalAlignment != kCentreAcrossSelection) break;
            ++k;
        }
        areaCol = AddInteger(column, SubInteger(k, 1));
    }
    // Bottom and right borders come from the area's true last cell, also when the
    // area reaches past the range.
    const Long gridRows = m.jCells.RowUpper(), gridCols = m.jCells.ColUpper();
    ConvertSide(*first, kUp, j.bdUp);
    const JCell& last = Grid(m, std::clamp<Long>(areaRow, row, gridRows),
                             std::clamp<Long>(areaCol, column, gridCols));
    ConvertSide(*first, kBottom, last.bdBottom);
    ConvertSide(*first, kRight, last.bdRight);
    ConvertSide(*first, kLeftSide, j.bdLeft);
    first->rowTo = std::clamp(areaRow, row, lastRow);
    first->colTo = std::clamp(areaCol, column, lastCol);

    Single height = 0, width = 0, chars = 0;
    std::vector<MyCell*> area;
    for (Long i = row; i <= first->rowTo; ++i) {
        for (Long k = column; k <= first->colTo; ++k) {
            if (i != row || k != column) m.dgnCell(i, k) = m.newCells.New();
            MyCell& cell = *m.dgnCell(i, k);
            const JCell& g = Grid(m, i, k);
            cell.isMerged = true;
            cell.storeDone = true;
            cell.rowFrom = row;
            cell.colFrom = column;
            cell.row = g.row;
            cell.col = g.column;
            cell.rowHeight = g.height;
            cell.colWidth = g.width;
            if (i == row && !m.colHidden(k)) {
                width += g.width;
                chars += g.width;
            }
            area.push_back(&cell);
        }
        if (!m.rowHidden(i)) height += m.dgnCell(i, column)->rowHeight;
    }
    for (MyCell* cell : area) {
        cell->mergedRowHeight = height;
        cell->mergedColWidth = width;
        cell->mergedCharNum = chars;
        cell->deltaX = rowOffset;
        cell->deltaY = m.totalHeight;
    }
    first->deltaX = rowOffset;
    first->deltaY = m.totalHeight;
    rowOffset += width;
}

void CaptureRange(Module& m) {
    auto app = m.xlSheet->Application();
    app->SetScreenUpdating(false);
    m.totalHeight = 0;
    if (!m.excelFonts) m.excelFonts = std::make_shared<Collection>();

    const Long gridRows = m.rowHeights.Upper();
    const Long gridCols = m.colWidths.Upper();
    // The walks below count in Long: a range may end on row 32767, the last one an
    // Integer holds, and an Integer counter would overflow on the step past it.
    const Integer nRows = m.endRow >= gridRows ? m.endRow : AddInteger(m.endRow, 1);
    const Integer nCols = m.endCol >= gridCols ? m.endCol : AddInteger(m.endCol, 1);
    m.dgnCell.ReDim(1, nRows, 1, nCols);

    for (Long r = 1; r <= nRows; ++r) {
        m.rowHeights(r) = static_cast<Single>(app->Cells(r, 1)->Height());
    }
    for (Long c = 1; c <= nCols; ++c) {
        m.colWidths(c) = static_cast<Single>(app->Cells(1, c)->Width());
    }
    for (Long r = m.startRow; r <= nRows; ++r) {
        for (Long c = m.startCol; c <= nCols; ++c) {
            JCell& j = Grid(m, r, c);
            j.height = m.rowHeights(r);
            j.width = m.colWidths(c);
        }
    }

    if (m.startRow > 1) {
        for (Long r = 2; r <= m.endRow; ++r) {
            auto cell = m.newCells.New();
            cell->rowHeight = m.rowHeights(r);
            cell->hidden = m.rowHidden(r);
            m.dgnCell(r, 1) = cell;
        }
    }
    if (m.startCol > 1) {
        for (Long c = 2; c <= m.endCol; ++c) {
            auto cell = m.newCells.New();
            cell->colWidth = m.colWidths(c);
            cell->hidden = m.colHidden(c);
            m.dgnCell(1, c) = cell;
        }
    }
    if (m.startRow > 1 || m.startCol > 1) {
        auto cell = m.newCells.New();
        cell->colWidth = m.colWidths(1);
        cell->rowHeight = m.rowHeights(1);
        cell->hidden = m.colHidden(1);
        m.dgnCell(1, 1) = cell;
    }

    if (!m.fastUpdate) {
        // The whole area starts at its first visible column and row (the last one
        // when every one is hidden, so the range never leaves the grid).
        for (Integer c = 1; m.colHidden(c) && c < gridCols;) {
            ++c;
            m.startCol = c;
        }
        for (Integer r = 1; m.rowHidden(r) && r < gridRows;) {
            ++r;
            m.startRow = r;
        }
    }
    const Integer firstRow = m.fastUpdate && m.startRow > 1 ? m.startRow - 1 : m.startRow;
    const Integer firstCol = m.fastUpdate && m.startCol >= 2 ? m.startCol - 1 : m.startCol;

    // From the first filled cell on, every run-time error is ignored and the next
    // step runs; before it, an error leaves the capture.
    bool trapping = false;
    ErrorTrap trap;
    const auto step = [&](auto&& fn) {
        if (trapping) {
            trap.Run(fn);
        } else {
            fn();
        }
    };

    for (Long r = firstRow; r <= nRows; ++r) {
        if (m.dialogCancelled) return;
        if (m.rowHidden(r)) {
            step([&] {
                if (!m.dgnCell(r, m.startCol)) {
                    auto cell = m.newCells.New();
                    cell->hidden = true;
                    m.dgnCell(r, m.startCol) = cell;
                }
            });
            continue;
        }
        Single rowOffset = 0;
        for (Long c = firstCol; c <= nCols; ++c) {
            if (m.colHidden(c)) {
                step([&] {
                    if (!m.dgnCell(r, c)) {
                        auto cell = m.newCells.New();
                        cell->hidden = true;
                        m.dgnCell(r, c) = cell;
                    }
                });
                continue;
            }
            std::shared_ptr<JCell> jp;
            step([&] { jp = m.jCells(r, c); });
            if (!jp) continue;
            const JCell& j = *jp;
            const auto& existing = m.dgnCell(r, c);
            if (j.HorizontalAlignment != kCentreAcrossSelection && !j.MergeCells) {
                step([&] { BuildSimpleCell(m, rowOffset, CheckedInteger(r), CheckedInteger(c)); });
            } else if (!existing || !existing->storeDone) {
                step([&] { BuildMergedCell(m, rowOffset, CheckedInteger(r), CheckedInteger(c)); });
            } else {
                if (c == existing->colFrom) rowOffset += existing->mergedColWidth;
                continue;
            }
            const auto cell = m.dgnCell(r, c);
            if (!cell) continue;
            step([&] { cell->Value = j.text == kCellNeedsVb ? app->Cells(r, c)->Text() : j.text; });
            step([&] { cell->FontName = j.FontName; });
            trapping = true;
            trap.Run([&] {
                // A font already listed would raise the duplicate-key error that is
                // ignored here; looking first spares a raised error per cell.
                const std::string& font = j.FontName;
                if (font != "null" && !m.excelFonts->Contains(font)) {
                    m.excelFonts->Add("XLS  " + font, font);
                }
            });
            trap.Run([&] {
                cell->fontsize = static_cast<Single>(j.fontsize);
                cell->fontUnderline = j.fontUnderline;
                cell->fontItalic = j.fontItalic;
                cell->fontBold = j.fontBold;
                cell->isWrapCell = j.WrapText;
                cell->bgColor = j.bgColor;
                cell->pattern = j.pattern;
                cell->horAlign = HorAlign(j);
                cell->verAlign = VerAlign(j);
                cell->fontOrient = static_cast<double>(j.Orientation);
            });
        }
        step([&] {
            const auto& head = m.dgnCell(r, m.startCol);
            if (!head) Raise(err::kObjectNotSet);
            // A hidden first column leaves only a placeholder there; the row's own
            // height then keeps the offsets of the rows below right.
            m.totalHeight += head->hidden ? m.rowHeights(r) : head->rowHeight;
        });
        step([&] {
            const ProgressDisplay progress = RunningProgress(m);
            progress.bar.SetPosition(
                AddLong(progress.bar.Position(), static_cast<Long>(m.endCol) - m.startCol + 1));
            progress.Refresh();
        });
        m.ports.ui.DoEvents();
    }

    step([&] {
        // The widths of the range's own visible columns: what the records of its first
        // row add up to, also when that row is hidden and holds no records.
        m.totalWidth = 0;
        for (Long c = m.startCol; c <= m.endCol; ++c) {
            if (!m.colHidden(c)) m.totalWidth += m.colWidths(c);
        }
    });

    auto& sys = m.ports.sys;
    step([&] {
        // ReadReaderOutput wrote flag.txt; a short bounded wait covers a slow file system.
        const std::string flag = paths::ReaderFile(sys, "flag.txt");
        for (int look = 0; look < 100 && !sys.FileExists(flag); ++look) sys.Sleep(10);
    });
    step([&] { sys.DeleteFile(paths::ReaderFile(sys, "run.bat")); });
    step([&] { sys.DeleteFile(paths::ReaderFile(sys, "output.txt")); });
    step([&] { CaptureShapes(m); });
    step([&] {
        if (sys.FileExists(paths::ReaderFile(sys, "image.txt"))) {
            CapturePictures(m);
        } else {
            m.xlsImage.ReDim(1, 1);
            m.xlsImage(1) = std::make_shared<MyImage>();
            m.xlsImage(1)->top = -1000;
        }
    });
    m.captureDone = true;
}

}  // namespace tbln
