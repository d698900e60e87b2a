// Reading a sheet's drawing part (DrawingML) into the model.
#pragma once

#include <string>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

class Package;

// Reads the drawing of a sheet into sheet.drawing. A drawing that cannot be read does
// not stop the workbook from opening: its objects are left out and drawing.error says
// what is wrong, naming the file and the part.
void ReadSheetDrawing(const Package& pkg, const WorkbookModel& model, SheetModel& sheet);

}  // namespace tbln::workbook
