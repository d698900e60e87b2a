// The zip container of a .docx file and the XML of its parts, read with explicit
// limits: entry count, unpacked bytes per part and in total (counted as they are
// inflated, whatever the archive claims), XML depth; a part that declares a DOCTYPE
// is refused, so entities are never expanded or fetched.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include <pugixml.hpp>

struct zip;

namespace tbln::document {

// Raises the engine's error for a document that cannot be used.
[[noreturn]] void RaiseBadDocument(const std::string& path, const std::string& problem);

class DocxPackage {
  public:
    explicit DocxPackage(const std::string& path);
    ~DocxPackage();
    DocxPackage(const DocxPackage&) = delete;
    DocxPackage& operator=(const DocxPackage&) = delete;

    bool Has(const std::string& name) const;
    // The unpacked bytes of a part.
    std::string Read(const std::string& name);
    // The part parsed as XML (document element at the root); raises on damage.
    std::unique_ptr<pugi::xml_document> ReadXml(const std::string& name);

  private:
    std::string path_;
    zip* zip_ = nullptr;
    std::size_t totalRead_ = 0;
};

// Resolves a relationship target against the folder of the part that refers to it.
std::string ResolvePartName(const std::string& sourcePart, const std::string& target);

}  // namespace tbln::document
