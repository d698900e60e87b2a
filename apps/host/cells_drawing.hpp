// How the host reads the workbook for its drawings: for `tbln cells`, every shape and
// picture of the sheet with the members the shape and picture capture reads; for the
// drawings of an import, what each cell shows beyond its record.
#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "adapters/workbook/workbook_model.hpp"
#include "drawing/drawing.hpp"
#include "platform/objects.hpp"

namespace tbln::host {

// "shapes": every object in drawing order; "pictures": the pictures in picture order.
nlohmann::ordered_json ShapesJson(const workbook::WorkbookModel& book,
                                  const workbook::SheetModel& sheet);
nlohmann::ordered_json PicturesJson(const workbook::WorkbookModel& book,
                                    const workbook::SheetModel& sheet);

// The looks of the sheet's cells as the engine resolves them: the fill's pattern and
// colours, the font's and each border's colour (theme colours with their tints), and
// what the cell holds. The book and the sheet outlive the function.
drawing::LookOf CellLooks(const workbook::WorkbookModel& book, const workbook::SheetModel& sheet);
// The same looks of the cells of rows `firstRow` to `lastRow` and columns `firstCol` to
// `lastCol`, resolved now and kept (each distinct look once, an index a cell): what is
// drawn from them stays as it is when the workbook changes afterwards. Other cells have
// none.
drawing::LookOf KeptCellLooks(const workbook::WorkbookModel& book,
                              const workbook::SheetModel& sheet, Long firstRow, Long lastRow,
                              Long firstCol, Long lastCol);

// The workbook an import read, for its drawing: the copy the session's spreadsheet engine
// holds open (the import left it open), else the file read again; null, after saying why
// on stderr, when it cannot be read (the drawing then shows what the records hold only).
std::shared_ptr<const workbook::WorkbookModel> ImportedWorkbook(ObjectServer& objects,
                                                                const std::string& path);

}  // namespace tbln::host
