// How the host drives the spreadsheet dialogs the way a drafter would: choose the
// workbook in the file chooser, pick the sheet in the sheet box, click a cell in the
// spreadsheet beside the dialog, press buttons. Each helper queues those steps on the
// scripted user interface before the entry point shows its dialog.
#pragma once

#include <string>

#include "apps/host/host.hpp"

namespace tbln::host {

// Checks that `cell` (the value of --option) is a cell in A1 form; raises UsageError.
void CheckCell(const std::string& option, const std::string& cell);

// Queues: the file chooser answers `file`, `browseButton` is pressed, and when a sheet
// is given, the sheet box is set to it.
void ScriptOpenWorkbook(Host& host, const std::string& file, const std::string& sheet,
                        const std::string& browseButton);

// Queues a click on `cell` of Excel's active sheet (the user picking a cell beside the dialog).
void ScriptSelectCell(Host& host, const std::string& cell);

// The drawing type of --format: "dgn" or "dwg" (the default).
std::string DrawingFormat(const Options& options);

// Queues a click on a button of the dialog.
void ScriptClick(Host& host, const std::string& control);

}  // namespace tbln::host
