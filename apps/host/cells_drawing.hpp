// The drawing part of `tbln cells`: every shape and picture of the sheet with the
// members the shape and picture capture reads.
#pragma once

#include <nlohmann/json.hpp>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::host {

// "shapes": every object in drawing order; "pictures": the pictures in picture order.
nlohmann::ordered_json ShapesJson(const workbook::WorkbookModel& book,
                                  const workbook::SheetModel& sheet);
nlohmann::ordered_json PicturesJson(const workbook::WorkbookModel& book,
                                    const workbook::SheetModel& sheet);

}  // namespace tbln::host
