// A sheet's shapes and pictures as Excel's object model shows them: positions and
// sizes in points from each object's anchor and the sheet's rows and columns, and the
// text, fill, outline, arrowheads, nodes and adjustments of each shape.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "adapters/workbook/workbook_model.hpp"
#include "platform/excel.hpp"

namespace tbln::workbook {

// An object's frame on the sheet in points, measured from the sheet's top-left corner,
// and the 1-based cell under its top-left corner.
struct ShapeFrame {
    double top = 0, left = 0, height = 0, width = 0;
    Long row = 1, col = 1;
};
ShapeFrame FrameOf(const WorkbookModel& book, const SheetModel& sheet, const DrawingObject& o);

// The nodes of a straight line (its start and its end, in points; the flips decide
// which end of the frame each lies at); other objects have none.
std::vector<std::pair<double, double>> NodePoints(const DrawingObject& o, const ShapeFrame& f);

// The nearest colour of Excel's default 56-colour palette, as its index plus 7 (black 8).
Integer SchemeColorOf(std::uint32_t rgb);

// How the shape objects reach their sheet while they are held.
struct SheetAccess {
    std::shared_ptr<excel::Worksheet> sheet;  // for TopLeftCell
    std::function<const WorkbookModel&()> book;
    std::function<const SheetModel&()> model;
};

std::shared_ptr<excel::Shapes> CreateShapes(SheetAccess access);
// The index-th picture (1-based) in drawing order; raises 1004 when there is none.
std::shared_ptr<excel::Picture> CreatePicture(SheetAccess access, Long index);

}  // namespace tbln::workbook
