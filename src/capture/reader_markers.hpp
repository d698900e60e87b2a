// The markers of the reader exchange's output.txt, shared by the reader that writes the
// file (apps/reader) and the library that reads it (reader_exchange): the field separator
// and the two texts that stand for a cell's value.
#pragma once

#include <string_view>

namespace tbln {

// The field separator of output.txt.
inline constexpr std::string_view kReaderSeparator = "|=!";
// A cell without text.
inline constexpr const char* kCellIsEmpty = "mervik_this_cell_is_empty";
// A cell whose text the reader cannot give (it holds the separator or a line break): the
// library takes it from the spreadsheet application instead.
inline constexpr const char* kCellNeedsVb = "mervik_this_cell_needs_vb";
// The fields of a cell's line.
inline constexpr int kCellFields = 25;

}  // namespace tbln
