// Cell capture: the cell builders (geometry, merge spans, borders) and CaptureRange,
// which walks a range of the reader's grid and fills the module's cell records.
#pragma once

#include "automation/module.hpp"
#include "capture/reader_exchange.hpp"

namespace tbln {

// A dialog that runs a capture and shows its progress (CellRangeForm, DeepUpdateForm).
class ProgressDialog {
  public:
    virtual ~ProgressDialog() = default;
    virtual ProgressDisplay Progress() = 0;
};

// The progress display of the dialog running the capture: DeepUpdateForm during an
// update, else CellRangeForm.
ProgressDisplay RunningProgress(Module& m);

// Builds the record of a cell that is neither merged nor part of a centre-across run,
// and advances rowOffset by its width.
void BuildSimpleCell(Module& m, Single& rowOffset, Integer row, Integer column);
// Builds the records of the merged area (or centre-across run) whose first cell met
// is (row, column), and advances rowOffset by the area's visible width.
void BuildMergedCell(Module& m, Single& rowOffset, Integer row, Integer column);

// Captures startRow..endRow, startCol..endCol of xlSheet from the reader's grid into
// dgnCell, excelFonts, totalHeight and totalWidth, then the shapes and pictures, and
// sets captureDone. Stops at the top of a row once dialogCancelled is set.
void CaptureRange(Module& m);

}  // namespace tbln
