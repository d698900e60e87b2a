// A .docx package: the shared package of adapters/opc, opened with the document
// engine's messages ("Cannot open the document PATH: ...").
#pragma once

#include <string>

#include "adapters/opc/package.hpp"
#include "adapters/opc/relationships.hpp"

namespace tbln::document {

inline constexpr opc::PackageKind kDocxPackage{
    "document", "the file is not a .docx package",
    "the file is a legacy binary Word file or another compound file, not a .docx package",
    "the document is protected with a password; open it in the word processor, remove the "
    "password and save it again"};

// Raises the engine's error for a document that cannot be used.
[[noreturn]] inline void RaiseBadDocument(const std::string& path, const std::string& problem) {
    opc::RaiseBadPackage(kDocxPackage, path, problem);
}

class DocxPackage : public opc::Package {
  public:
    explicit DocxPackage(const std::string& path, opc::PackageLimits limits = {})
        : opc::Package(path, kDocxPackage, limits) {}
};

}  // namespace tbln::document
