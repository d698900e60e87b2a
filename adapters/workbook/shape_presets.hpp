// The preset geometries of drawing shapes, as both formats name them (DrawingML's
// prstGeom, and the .xls reader's mapping of the legacy shape types onto them).
#pragma once

#include <string>

#include "core/numeric.hpp"

namespace tbln::workbook {

// Excel's auto-shape code of a preset geometry; 138 (not a primitive) for one Excel
// does not number.
Integer AutoShapeTypeOf(const std::string& preset);

}  // namespace tbln::workbook
