// The embedded spreadsheet engine: Excel's automation object model over real .xlsx
// and .xlsm files. One application object per ObjectServer (in the host program,
// one per process) stays alive between entry-point calls, like the user's running
// Excel: it keeps its workbooks open and has an active workbook, sheet and cell.
#pragma once

#include <memory>
#include <string>

#include "platform/excel.hpp"
#include "platform/objects.hpp"
#include "platform/ui.hpp"

namespace tbln::workbook {

// Creates a new embedded Excel application. `ui` serves Excel's own file chooser.
std::shared_ptr<excel::Application> CreateEmbeddedExcel(ui::Ui& ui);

// Registers "Excel.Application" with the server: GetObject finds the running
// instance once one has been created; CreateObject starts one.
void RegisterEmbeddedExcel(ObjectServer& server, ui::Ui& ui);

struct WorkbookModel;
// The model of the application's active workbook, for a window that draws it; null
// when no workbook is open or the application is not the embedded engine.
const WorkbookModel* ActiveWorkbookModel(excel::Application& app);
// The model of the open workbook whose file is `path` (however the path names it), for
// a drawing of what was imported from it: shared, so that the drawing keeps the version
// it was made from when the engine reads the file again. Null when the workbook is not
// open or the application is not the embedded engine.
std::shared_ptr<const WorkbookModel> OpenWorkbookModel(excel::Application& app,
                                                       const std::string& path);

}  // namespace tbln::workbook
