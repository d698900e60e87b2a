#include "adapters/workbook/save.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "adapters/posix/posix_system.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/xls/xls_writer.hpp"
#include "adapters/workbook/xlsx/xlsx_writer.hpp"
#include "core/error.hpp"

namespace tbln::workbook {

namespace {

bool NoWriteBits(const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// A file or folder without any write permission is read-only even for a user whom the
// system would let write (as a read-only attribute is on the original platform). The
// folder is the one the new file is written in: the folder of the file a symbolic link
// leads to.
void CheckWritable(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) RaiseSaveError(path, "the file no longer exists");
    if (!S_ISREG(st.st_mode)) RaiseSaveError(path, "it is not a regular file");
    if (NoWriteBits(st) || access(path.c_str(), W_OK) != 0)
        RaiseSaveError(path, "the file is read-only");
    std::string folder = std::filesystem::path(posix::PathToWrite(path)).parent_path().string();
    if (folder.empty()) folder = ".";
    struct stat dir {};
    if (stat(folder.c_str(), &dir) != 0 || NoWriteBits(dir) ||
        access(folder.c_str(), W_OK | X_OK) != 0) {
        RaiseSaveError(path, "the folder " + folder + " is read-only");
    }
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
