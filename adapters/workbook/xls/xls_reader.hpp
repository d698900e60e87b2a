// Legacy binary workbooks (.xls): the records of Excel 5.0, 95 and 97 to 2003 read
// into the same model as a workbook package, so that sizes, displayed texts, styles
// and the automation view are the same code for both.
#pragma once

#include <memory>
#include <string>

#include "adapters/workbook/workbook_model.hpp"

namespace tbln::workbook {

// True for a compound file and for the older single-stream worksheet files, which the
// legacy reader takes (and refuses by version).
bool IsLegacyWorkbookFile(const std::string& path);

// Reads a legacy binary workbook; raises RuntimeError (1004) naming the file and what
// is wrong: a damaged container or record, an encrypted workbook, a version not read.
std::unique_ptr<WorkbookModel> LoadLegacyWorkbook(const std::string& path);

}  // namespace tbln::workbook
