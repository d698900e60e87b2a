// A workbook package: the shared package of adapters/opc, opened with the spreadsheet
// engine's messages ("Cannot open the workbook PATH: ...").
#pragma once

#include <string>

#include "adapters/opc/package.hpp"
#include "core/error.hpp"

namespace tbln::workbook {

// The problem reported for a workbook kept encrypted under a password.
inline constexpr const char* kPasswordProtected =
    "the workbook is protected with a password; open it in the spreadsheet program, remove "
    "the password and save it again";

inline constexpr opc::PackageKind kWorkbookPackage{"workbook", "the file is not a workbook",
                                                   "it is a compound file, not a zip package",
                                                   kPasswordProtected};

// Raises the error the engine reports for a workbook file that cannot be used.
[[noreturn]] inline void RaiseBadWorkbook(const std::string& path, const std::string& problem) {
    opc::RaiseBadPackage(kWorkbookPackage, path, problem);
}

// Raises RuntimeError (1004): the workbook at `path` cannot be saved, and why.
[[noreturn]] inline void RaiseSaveError(const std::string& path, const std::string& why) {
    Raise(err::kApplicationDefined, "Cannot save the workbook " + path + ": " + why);
}

class Package : public opc::Package {
  public:
    explicit Package(const std::string& path, opc::PackageLimits limits = {})
        : opc::Package(path, kWorkbookPackage, limits) {}
};

}  // namespace tbln::workbook
