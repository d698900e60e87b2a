// tbln-reader's work: reads one sheet of a workbook file with the embedded engine and
// writes the exchange files the library parses (output.txt, then flag.txt), or a
// one-line error.txt before flag.txt when it cannot.
//
// output.txt notation of this reader:
// - line 1: rows and columns of the grid from A1 over the sheet's used area, then
//   "R<n>" for each hidden row and "C<n>" for each hidden column;
// - line 2 and 3: row heights and column widths in points (0 when hidden);
// - one 25-field line per cell, row by row. Alignments are Excel's codes; the
//   orientation is the text's rotation in degrees (0 horizontal, 90 upward, -90
//   downward; stacked letters keep Excel's code -4166). Border style words are the workbook's own:
//   "none", "thin", "medium", "thick", "dashed", "dotted", "double", "hair", "mediumDashed",
//   "dashDot", "mediumDashDot", "dashDotDot", "mediumDashDotDot", "slantDashDot"; capture draws
//   "medium" and "thick" bold, any other word but "none" thin. The fill colour
//   (field 23) is the pattern's colour as "RRGGBB", "auto" for the automatic colour,
//   or "none" without a fill; the pattern (field 24) is the workbook's pattern word
//   ("none", "solid", "gray125", "darkVertical", ..., "gradient"). A font without a
//   name is "null". A cell whose displayed text holds a line feed, a carriage return
//   or the separator is written as "mervik_this_cell_needs_vb"; an empty text as
//   "mervik_this_cell_is_empty".
#pragma once

#include <string>

namespace tbln::reader {

// The largest grid the exchange can describe: 16-bit cell numbers.
inline constexpr long kMaxGrid = 32767;
// The most cells output.txt describes: every cell of the used area gets a line of about
// a hundred bytes, and the importing side holds a record for each, so a sheet whose
// used area reaches a far corner (A1 and XFD30000) is refused before anything is written.
inline constexpr long long kMaxCells = 4000000;

// Reads `sheetName` of the workbook at `path` and writes output.txt into `folder`;
// when the sheet has pictures, their files into `picturesFolder` ("image<k>.<ext>",
// k the picture's place in the sheet's picture order) and then image.txt into
// `folder`. Raises RuntimeError with a one-line description when it cannot.
void WriteReaderOutput(const std::string& path, const std::string& sheetName,
                       const std::string& folder, const std::string& picturesFolder);

// The whole run as the program does it: output.txt, or error.txt, then flag.txt.
// Returns the exit status (0 on success).
int RunReaderProgram(const std::string& path, const std::string& sheetName,
                     const std::string& folder);

}  // namespace tbln::reader
