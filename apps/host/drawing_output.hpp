// Drawing output of the host's commands: --dxf OUT.dxf, --pdf OUT.pdf, --svg OUT.svg,
// --png OUT.png and --scale UNITS_PER_MM, written from the records an entry point
// handed back.
#pragma once

#include <string>
#include <vector>

#include "apps/host/host.hpp"
#include "drawing/drawing.hpp"

namespace tbln::host {

// Draws the captured range into every file asked for; `revisions` are marked on their
// own layer. An import that did not complete (`result` False) draws nothing and says so
// on stderr. Raises UsageError for a bad --scale or a file that cannot be written.
void WriteCaptureDrawings(Host& host, const Options& options, Boolean result,
                          const MyCellArray& cells, const MyShapeArray& shapes,
                          const MyImageArray& images, Integer startRow, Integer endRow,
                          Integer startCol, Integer endCol,
                          const std::vector<std::pair<Integer, Integer>>& revisions = {});

// Draws the Word lines page by page into every file asked for.
void WriteWordDrawings(const Options& options, Boolean result, const WordLineArray& lines,
                       Integer pages, Single pageWidth, Single pageHeight);

}  // namespace tbln::host
