#include "adapters/workbook/save.hpp"

#include <algorithm>

#include "adapters/posix/posix_system.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/xls/xls_writer.hpp"
#include "adapters/workbook/xlsx/xlsx_writer.hpp"
#include "core/error.hpp"

namespace tbln::workbook {

namespace {

void CheckWritable(const std::string& path) {
    if (const auto problem = posix::SaveProblem(path); !problem.empty())
        RaiseSaveError(path, problem);
}

}  // namespace

void ReplaceFile(const std::string& path, const std::function<void(const ByteSink&)>& write) {
    try {
        posix::FileReplacement file(path);
        write([&](std::string_view bytes) { file.Write(bytes); });
        file.Commit();
    } catch (const RuntimeError& e) {
        if (e.Number() == err::kApplicationDefined) throw;
        RaiseSaveError(path, e.Description() + "; the workbook file was left as it was");
    }
}

void WriteInPlace(const std::string& path, const std::string& bytes) {
    // In pieces of a sixteenth (at least 4 KiB), so that a test can stop the write half way.
    const std::size_t chunk = std::max<std::size_t>(bytes.size() / 16, 4096);
    ReplaceFile(path, [&](const ByteSink& write) {
        for (std::size_t done = 0; done < bytes.size(); done += chunk) {
            if (SaveInterrupted(static_cast<double>(done) / static_cast<double>(bytes.size())))
                RaiseSaveError(path,
                               "writing the new file failed (interrupted); the workbook file "
                               "was left as it was");
            write(std::string_view(bytes).substr(done, chunk));
        }
    });
}

void SaveWorkbook(WorkbookModel& model) {
    CheckWritable(model.path);
    bool changed = false;
    for (const auto& sheet : model.sheets) changed = changed || !sheet.edits.empty();
    if (!changed) return;  // nothing to write: the file already holds the workbook
    if (model.legacyBinary) {
        WriteInPlace(model.path, LegacyWorkbookWithEdits(model));
        for (auto& sheet : model.sheets) sheet.edits.clear();
        return;
    }

    SavePackageEdits(model);
    for (auto& sheet : model.sheets) sheet.edits.clear();
}

}  // namespace tbln::workbook
