// Saving a workbook package in place: the changed worksheets are patched, the
// calculation chain goes when formulas moved, every other part is copied as it is.
#pragma once

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// Writes the model's unsaved edits into its package file (save.hpp says how the file is
// replaced). Raises 1004 naming the file when they cannot be written.
void SavePackageEdits(WorkbookModel& model);

}  // namespace tbln::workbook
