// The POSIX adapter of the registry port: the current user's hive kept in one text
// file in the registry export format.
//
//     Windows Registry Editor Version 5.00
//
//     [HKEY_CURRENT_USER\SOFTWARE\Autodesk\AutoCAD\R16.2]
//     "Name"="data with \\ and \" escaped"
//
// The first line is the export header ("REGEDIT4" is read too); a section names a key
// below HKEY_CURRENT_USER, and the keys above it exist as well; "@" names a key's
// default value. String values are read and written; dword and hex values are kept as
// they are written and reported with their type, never interpreted. Blank lines and
// lines starting with ";" are skipped. Keys and value names compare without regard to
// letter case and enumerate in the order they were created.
//
// A file that does not exist is an empty hive. A malformed file is refused with an
// error naming the file and the line. Every change is saved at once through a
// temporary file in the same folder and a rename, unless saving is switched off (a
// dry run), in which case changes live in memory only.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/registry.hpp"

namespace tbln::posix {

// A hive file that cannot be read: the file, the 1-based line (0 when the whole file
// is at fault) and what is wrong. what() is "FILE:LINE: DESCRIPTION".
class HiveFileError : public std::runtime_error {
  public:
    HiveFileError(std::string file, std::size_t line, std::string description);
    const std::string& File() const noexcept { return file_; }
    std::size_t Line() const noexcept { return line_; }
    const std::string& Description() const noexcept { return description_; }

  private:
    std::string file_;
    std::size_t line_;
    std::string description_;
};

class FileHive : public registry::Hive {
  public:
    // Loads the hive from path (an empty hive when the file does not exist). Raises
    // HiveFileError when the file is malformed or cannot be read.
    explicit FileHive(std::string path, bool saveChanges = true);
    ~FileHive() override;

    const std::string& Path() const noexcept { return path_; }
    // The hive in the export format, as it is saved.
    std::string Text() const;

    std::optional<registry::Value> QueryValue(const std::string& key,
                                              const std::string& name) override;
    void SetString(const std::string& key, const std::string& name,
                   const std::string& data) override;
    std::optional<std::string> SubKeyAt(const std::string& key, std::size_t index) override;
    std::optional<std::string> ValueNameAt(const std::string& key, std::size_t index) override;

    struct Key;

  private:
    void Parse(const std::string& text);

    std::string path_;
    bool saveChanges_;
    std::unique_ptr<Key> root_;
};

}  // namespace tbln::posix
