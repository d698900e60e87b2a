// An Office Open XML package: the zip container of a workbook or a document, with
// explicit limits on what an untrusted file may make us unpack. Every problem is
// raised as RuntimeError (1004) naming the file, in the words of the engine that
// opened it ("Cannot open the workbook PATH: ...", "Cannot open the document PATH: ...").
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

struct zip;

namespace tbln::opc {

// Limits on untrusted packages. The bytes are counted as they are actually inflated;
// the sizes the zip headers claim are never trusted.
inline constexpr std::size_t kMaxEntries = 10000;
inline constexpr std::size_t kMaxEntryBytes = 256u * 1024u * 1024u;   // one part, unpacked
inline constexpr std::size_t kMaxTotalBytes = 1024u * 1024u * 1024u;  // all parts read, unpacked
inline constexpr int kMaxXmlDepth = 256;  // elements nested in one XML part

struct PackageLimits {
    std::size_t entries = kMaxEntries;
    std::size_t entryBytes = kMaxEntryBytes;
    std::size_t totalBytes = kMaxTotalBytes;
    int xmlDepth = kMaxXmlDepth;
};

// What the package is to the engine that opens it, for its messages.
struct PackageKind {
    const char* noun;        // "workbook": "Cannot open the workbook PATH: ..."
    const char* notPackage;  // "the file is not a workbook", when it is not a zip at all
    const char* compound;    // what a compound file (not an encrypted package) is to it
    const char* encrypted;   // what an encrypted package is to it
};

// Raises the error the engine of `kind` reports for a file it cannot use.
[[noreturn]] void RaiseBadPackage(const PackageKind& kind, const std::string& path,
                                  const std::string& problem);

// True when a compound file holds an encrypted package (a file saved with a password).
bool HoldsEncryptedPackage(const std::string& path);

class Package {
  public:
    // Opens the package; raises naming the file and the problem: not a regular file,
    // missing, not a zip, cut short, empty, too many parts, two parts of one name, a
    // compound file (encrypted or legacy binary).
    Package(const std::string& path, const PackageKind& kind, PackageLimits limits = {});
    ~Package();
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    const std::string& Path() const noexcept { return path_; }
    const PackageKind& Kind() const noexcept { return kind_; }
    const PackageLimits& Limits() const noexcept { return limits_; }
    // Raises the engine's error for this file.
    [[noreturn]] void Fail(const std::string& problem) const;

    bool Has(const std::string& name) const;
    // The unpacked bytes of a part; raises when missing, too large or damaged.
    std::string Read(const std::string& name) const;
    // The same bytes handed to `sink` a chunk at a time, as they are unpacked. The
    // part's checksum and size are checked after the last chunk, so a consumer must
    // not act on the data before this returns.
    void ReadChunks(const std::string& name,
                    const std::function<void(std::string_view)>& sink) const;
    // The part parsed as XML (see xml_part.hpp for what is refused).
    std::unique_ptr<pugi::xml_document> ReadXml(const std::string& name) const;
    // The names of every part, in the package's order.
    std::vector<std::string> Names() const;

  private:
    std::string path_;
    const PackageKind& kind_;
    zip* zip_ = nullptr;
    PackageLimits limits_;
    mutable std::size_t inflated_ = 0;  // bytes unpacked so far, over every part
};

}  // namespace tbln::opc
