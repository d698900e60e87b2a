// Saving a workbook in place: only the parts that changed are rewritten, every other
// part of the package is copied as it is, and the new package is written to a
// temporary file beside the workbook (beside the file a symbolic link leads to, so the
// link stays) that replaces the workbook only once it is complete. A save that fails
// leaves the workbook file as it was.
#pragma once

#include <functional>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// Writes the model's unsaved edits into its file. Raises 1004 naming the file and the
// reason (read-only file or folder, a failed write) and keeps the edits unsaved then.
void SaveWorkbook(WorkbookModel& model);

// A test's stand-in for a write that fails half way (a full disk, a lost network
// share): called while the temporary file is written, with the fraction written so
// far; returning true makes the write fail there. Pass nullptr to remove it.
using SaveInterrupt = std::function<bool(double fraction)>;
void SetSaveInterruptForTesting(SaveInterrupt interrupt);

}  // namespace tbln::workbook
