// The POSIX adapter of the registry port: the current user's hive kept in one text
// file in the registry export format.
//
//     Windows Registry Editor Version 5.00
//
//     [HKEY_CURRENT_USER\SOFTWARE\Autodesk\AutoCAD\R16.2]
//     "Name"="data with \\ and \" escaped"
//
// The first line is the export header, "Windows Registry Editor Version 5.00" or the
// older "REGEDIT4"; a section names a key below HKEY_CURRENT_USER, and the keys above it
// exist as well; "@" names a key's default value. Strings and expandable strings are
// read and written; other values are reported with their type and their bytes.
// Expandable strings (hex(2)) and strings given as hex(1) hold UTF-16LE characters
// under the newer header and the file's own 8-bit characters under REGEDIT4, as the
// registry editor writes them. Keys and value names compare without regard to letter
// case and enumerate in the order they were created.
//
// The file keeps its header, comments, blank lines and the spelling of every line it
// was given: a changed value's lines are replaced where they stand, a new value goes
// after the last line of its key's last section, a new key's section goes at the end.
//
// A file that does not exist is an empty hive. A malformed file, or a path that is not
// a regular file, is refused with an error naming the file and the line. Changes live
// in memory until Save, which writes the whole file once through a temporary file
// beside it and a rename.
//
// A program that changes the hive holds the hive file's lock (HiveFileLock) from before
// it loads the file until it has written it, so that two programs changing one hive at
// once do not lose each other's changes.
#pragma once

#include <deque>
#include <list>
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

// The lock of a hive file for one read-modify-write: an exclusive flock on the lock
// file "NAME.lock" beside the hive file (beside the file a symbolic link leads to),
// made when missing and left in place. Waits while another process holds it; held
// until destroyed. In a folder where no lock file can be made nothing can be saved
// either: the lock is then not taken. Raises HiveFileError when locking fails.
class HiveFileLock {
  public:
    explicit HiveFileLock(const std::string& hivePath);
    ~HiveFileLock();
    HiveFileLock(const HiveFileLock&) = delete;
    HiveFileLock& operator=(const HiveFileLock&) = delete;

  private:
    int fd_ = -1;
};

class FileHive : public registry::Hive {
  public:
    // Loads the hive from path (an empty hive when the file does not exist). Raises
    // HiveFileError when the file is malformed, is not a regular file or cannot be read.
    explicit FileHive(std::string path);
    ~FileHive() override;
    FileHive(const FileHive&) = delete;
    FileHive& operator=(const FileHive&) = delete;

    const std::string& Path() const noexcept { return path_; }
    // The hive in the export format, as Save writes it.
    std::string Text() const;
    // True once a value was set since the file was loaded or saved.
    bool Changed() const noexcept { return changed_; }
    // Writes the hive when it changed. Raises RuntimeError naming the file.
    void Save();

    std::optional<registry::Value> QueryValue(const std::string& key,
                                              const std::string& name) override;
    void SetString(const std::string& key, const std::string& name, const std::string& data,
                   registry::ValueType type = registry::REG_SZ) override;
    std::optional<std::string> SubKeyAt(const std::string& key, std::size_t index) override;
    std::optional<std::string> ValueNameAt(const std::string& key, std::size_t index) override;

    struct Key;
    using Line = std::list<std::string>::iterator;

  private:
    void Parse(const std::string& text);
    Key* Find(const std::string& key);
    Key* Create(const std::vector<std::string>& parts, bool withSections);
    void AppendSection(Key& key);

    std::string path_;
    // The file's lines, each with its own line end; a change edits them in place.
    std::list<std::string> lines_;
    std::string lineEnd_ = "\r\n";
    bool oldFormat_ = false;  // "REGEDIT4": strings in hex hold 8-bit characters
    bool changed_ = false;
    std::deque<Key> keys_;  // keys_[0] is HKEY_CURRENT_USER; no key owns another
};

}  // namespace tbln::posix
