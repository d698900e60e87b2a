// How a caller drives the spreadsheet dialogs the way a drafter would: choose the
// workbook in the file chooser, pick the sheet in the sheet box, click a cell in the
// spreadsheet beside the dialog, type the range, press buttons. Each helper queues
// those steps on the scripted user interface before the entry point shows its dialog.
#pragma once

#include <string>

#include "adapters/scripted/scripted_ui.hpp"
#include "platform/objects.hpp"

namespace tbln::script {

// Queues: the file chooser answers `file`, `browseButton` is pressed, and when a sheet
// is given, the sheet box is set to it.
void OpenWorkbook(scripted::ScriptedUi& ui, const std::string& file, const std::string& sheet,
                  const std::string& browseButton);

// Queues a click on `cell` of Excel's active sheet (the user picking a cell beside the
// dialog); nothing happens when no workbook is open.
void SelectCell(scripted::ScriptedUi& ui, ObjectServer& objects, const std::string& cell);

// Queues the range-import dialog: workbook, sheet, the corners of `range` ("A1:H20",
// one cell, or empty for the used area), then OK. Raises std::invalid_argument naming
// the range when it is not a range like A1:H20.
void RangeDialog(scripted::ScriptedUi& ui, const std::string& file, const std::string& sheet,
                 const std::string& range);

}  // namespace tbln::script
