// The tests' definitions of the save's interrupt point (adapters/workbook/save.hpp),
// linked into the workbook tests in place of the product's, which never interrupt.
#pragma once

#include <functional>

namespace tbln::testing {

// Called while a save writes the new file, with the fraction written so far; returning
// true makes the write fail there (a full disk, a lost network share). nullptr removes it.
void SetSaveInterrupt(std::function<bool(double fraction)> interrupt);

}  // namespace tbln::testing
