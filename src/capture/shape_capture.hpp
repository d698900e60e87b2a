// The drawing shapes and pictures of the captured sheet: CaptureShapes, LineSlope and
// CapturePictures fill xlsShape and xlsImage, with the one-record placeholder (top
// -1000) when nothing is found.
#pragma once

#include <memory>

#include "automation/module.hpp"
#include "platform/excel.hpp"

namespace tbln {

inline constexpr Single kNothingFoundTop = -1000;

// +1 when the line rises to the right (its ends move in opposite directions along the
// two axes, the sheet's y axis pointing down), else -1.
Integer LineSlope(excel::Shape& shape);

// Autoshapes, lines and text boxes of xlSheet into xlsShape.
void CaptureShapes(Module& m);

// The pictures image.txt lists, measured through xlSheet, into xlsImage.
void CapturePictures(Module& m);

}  // namespace tbln
