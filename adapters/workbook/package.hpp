// A workbook package: the zip container of an .xlsx or .xlsm file, with explicit
// limits on what an untrusted file may make us unpack.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct zip;

namespace tbln::workbook {

// Limits on untrusted packages. The bytes are counted as they are actually inflated;
// the sizes the zip headers claim are never trusted.
inline constexpr std::size_t kMaxEntries = 10000;
inline constexpr std::size_t kMaxEntryBytes = 256u * 1024u * 1024u;   // one part, unpacked
inline constexpr std::size_t kMaxTotalBytes = 1024u * 1024u * 1024u;  // all parts read, unpacked

struct PackageLimits {
    std::size_t entries = kMaxEntries;
    std::size_t entryBytes = kMaxEntryBytes;
    std::size_t totalBytes = kMaxTotalBytes;
};

class Package {
  public:
    // Opens the package; raises RuntimeError (1004) naming the file and the problem:
    // not a zip, cut short, empty, duplicate part names, a password-protected
    // workbook, a legacy binary workbook.
    explicit Package(const std::string& path, PackageLimits limits = {});
    ~Package();
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    const std::string& Path() const noexcept { return path_; }
    bool Has(const std::string& name) const;
    // The unpacked bytes of a part; raises RuntimeError when missing, too large or damaged.
    std::string Read(const std::string& name) const;
    // The same bytes handed to `sink` a chunk at a time, as they are unpacked. The
    // part's checksum and size are checked after the last chunk, so a consumer must
    // not act on the data before this returns.
    void ReadChunks(const std::string& name,
                    const std::function<void(std::string_view)>& sink) const;
    // The names of every part, in the package's order.
    std::vector<std::string> Names() const;

  private:
    std::string path_;
    zip* zip_ = nullptr;
    PackageLimits limits_;
    mutable std::size_t inflated_ = 0;  // bytes unpacked so far, over every part
};

// Raises the error the engine reports for a workbook file that cannot be used.
[[noreturn]] void RaiseBadWorkbook(const std::string& path, const std::string& problem);
// Raises RuntimeError (1004): the workbook at `path` cannot be saved, and why.
[[noreturn]] void RaiseSaveError(const std::string& path, const std::string& why);

// The problem reported for a workbook kept encrypted under a password.
inline constexpr const char* kPasswordProtected =
    "the workbook is protected with a password; open it in the spreadsheet program, remove "
    "the password and save it again";

// True when a compound file holds an encrypted workbook package.
bool HoldsEncryptedPackage(const std::string& path);

// Resolves a relationship target against the folder of the part that refers to it
// ("worksheets/sheet1.xml" from "xl/workbook.xml" gives "xl/worksheets/sheet1.xml").
std::string ResolvePartName(const std::string& sourcePart, const std::string& target);
// The relationships part of a part ("xl/workbook.xml" -> "xl/_rels/workbook.xml.rels").
std::string RelationshipsPartOf(const std::string& part);

}  // namespace tbln::workbook
