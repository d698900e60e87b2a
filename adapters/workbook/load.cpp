// Opening a workbook file: the format is told from the file's first bytes, and the
// reader of that format fills the one model both share.
#include "adapters/posix/posix_system.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "adapters/workbook/xls/xls_reader.hpp"
#include "adapters/workbook/xlsx/xlsx_reader.hpp"

namespace tbln::workbook {

std::unique_ptr<WorkbookModel> LoadWorkbook(const std::string& path, opc::PackageLimits limits) {
    // A FIFO or a device would block the first read: refused before anything opens it.
    if (const auto problem = posix::NotRegularFileProblem(path); !problem.empty())
        RaiseBadWorkbook(path, problem);
    if (IsLegacyWorkbookFile(path)) return LoadLegacyWorkbook(path);
    return LoadPackageWorkbook(path, limits);
}

}  // namespace tbln::workbook
