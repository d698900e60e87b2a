// Column letters of A1 references: the one rule that writes them, for the dialogs, the
// spreadsheet engine and the sheet window alike (1 "A", 26 "Z", 27 "AA", 703 "AAA").
#pragma once

#include <string>

namespace tbln::a1 {

// The letters of a 1-based column number; "" for a number below 1.
std::string ColumnLetters(long col);

}  // namespace tbln::a1
