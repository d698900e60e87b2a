// Reading a workbook package (.xlsx, .xlsm) into the engine's model: the workbook part,
// the shared strings, the theme and styles, every worksheet and its drawing.
#pragma once

#include <memory>
#include <string>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// Reads the package at `path`; raises RuntimeError (1004) naming the file and what is
// wrong with it.
std::unique_ptr<WorkbookModel> LoadPackageWorkbook(const std::string& path,
                                                   opc::PackageLimits limits);

}  // namespace tbln::workbook
