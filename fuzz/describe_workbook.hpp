// What the host's cell listing reads of a loaded workbook, touched for a fuzz target:
// every cell's text as shown and merged area, the row and column sizes, the drawings
// with their frames and pictures.
#pragma once

#include <cstddef>

#include "adapters/workbook/embedded_shapes.hpp"
#include "adapters/workbook/numfmt/display_text.hpp"
#include "adapters/workbook/workbook_model.hpp"

namespace tbln::fuzz {

inline std::size_t DescribeWorkbook(const workbook::WorkbookModel& book) {
    std::size_t seen = 0;
    for (const auto& sheet : book.sheets) {
        for (const auto& entry : sheet.cells) {
            const auto row = static_cast<Long>(entry.key >> 32);
            const auto col = static_cast<Long>(entry.key & 0xFFFFFFFFu);
            seen += workbook::DisplayText(book, entry.cell).size();
            if (const auto* area = sheet.FindMerge(row, col))
                seen += static_cast<std::size_t>(area->Rows());
            if (sheet.FindRow(row)) ++seen;
            if (sheet.FindColumn(col)) ++seen;
            seen += sheet.LineStyle(row, col);
        }
        for (const auto& object : sheet.drawing.objects) {
            seen += object.name.size() + object.text.size();
            const auto frame = workbook::FrameOf(book, sheet, object);
            seen += static_cast<std::size_t>(frame.row) + static_cast<std::size_t>(frame.col);
            if (object.mediaBytes) seen += object.mediaBytes->size();
        }
    }
    return seen;
}

}  // namespace tbln::fuzz
