// Saving a workbook in place, in the format it was read from: the .xlsx writer rewrites
// only the parts that changed and copies every other part of the package as it is; the
// .xls writer rebuilds the records of the changed sheets. Either way the new file is
// written to a temporary file beside the workbook (beside the file a symbolic link leads
// to, so the link stays) that replaces the workbook only once it is complete. A save that
// fails leaves the workbook file as it was.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// Writes the model's unsaved edits into its file. Raises 1004 naming the file and the
// reason (read-only file or folder, a failed write) and keeps the edits unsaved then.
void SaveWorkbook(WorkbookModel& model);

// Puts a new file in the place of the workbook file at `path` through a temporary file
// beside it: `write` hands the new file's bytes, in order, to the sink it is given. A
// failure raises 1004 naming the file, and the workbook file is left as it was.
using ByteSink = std::function<void(std::string_view)>;
void ReplaceFile(const std::string& path, const std::function<void(const ByteSink&)>& write);
// The same for a new file held whole in memory.
void WriteInPlace(const std::string& path, const std::string& bytes);

// Where a save can be made to fail half way (a full disk, a lost network share). The
// product's own definitions (save_interrupt.cpp) never stop a save; a test that needs a
// failed write links its own definitions instead, so the product carries no test hook.
// True when a save that has written `fraction` of the new file should fail there.
bool SaveInterrupted(double fraction);
// False when SaveInterrupted never stops a save (the writers then skip the progress
// reports it would need).
bool SaveInterruptible();

}  // namespace tbln::workbook
