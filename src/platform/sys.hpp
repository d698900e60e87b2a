// The system port: files and folders, the current directory, sleeping, and starting
// the external reader's batch file hidden. Failures raise RuntimeError with the
// runtime's file error numbers (53 file not found, 76 path not found, 75 access).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/numeric.hpp"

namespace tbln::sys {

// A process started by StartHidden.
class Process {
  public:
    virtual ~Process() = default;
    // True while the process has not ended.
    virtual bool Running() = 0;
    // The exit status once it has ended (-1 while it runs or when it was killed).
    virtual int ExitCode() = 0;
    // Ends the process at once and waits until it has; nothing when it has ended.
    virtual void Kill() = 0;
};

// A file opened for reading in pieces.
class InputFile {
  public:
    virtual ~InputFile() = default;
    // Reads up to size bytes into buffer; returns how many were read, 0 at the end.
    // Raises 75 when reading fails.
    virtual std::size_t Read(char* buffer, std::size_t size) = 0;
    // The file's size in bytes when it was opened.
    virtual std::uint64_t Size() const = 0;
};

// An exclusive lock on a folder, held until it is destroyed.
class FolderLock {
  public:
    virtual ~FolderLock() = default;
};

class System {
  public:
    virtual ~System() = default;

    // The install root that stands for the fixed install folder.
    virtual std::string InstallRoot() = 0;

    virtual bool FileExists(const std::string& path) = 0;
    virtual bool DirExists(const std::string& path) = 0;
    // Deletes a file; raises 53 when it does not exist.
    virtual void DeleteFile(const std::string& path) = 0;
    // Creates a folder and any missing parents.
    virtual void MakeDirs(const std::string& path) = 0;
    // The names (not paths) of the entries of a folder, sorted.
    virtual std::vector<std::string> ListDir(const std::string& path) = 0;
    // Reads a whole file as bytes; raises 53 when it does not exist.
    virtual std::string ReadFile(const std::string& path) = 0;
    // Opens a file to read it in pieces (a large file need not be held whole); raises 53
    // when it does not exist.
    virtual std::unique_ptr<InputFile> OpenFile(const std::string& path) = 0;
    // Writes a whole file through a temporary file in the same folder and a rename.
    virtual void WriteFile(const std::string& path, const std::string& bytes) = 0;
    virtual void CopyFile(const std::string& from, const std::string& to) = 0;
    virtual void SetExecutable(const std::string& path) = 0;

    virtual std::string CurrentDir() = 0;
    virtual void ChangeDir(const std::string& path) = 0;

    virtual void Sleep(Long milliseconds) = 0;

    // Takes the exclusive lock of a folder that every process of the product takes before
    // it uses the folder's files; nullptr while another holds it. Raises 76 when the
    // folder does not exist.
    virtual std::unique_ptr<FolderLock> TryLockFolder(const std::string& path) = 0;

    // Starts the batch file hidden, the way the shell would run it, with workingDir
    // as its working directory.
    virtual std::unique_ptr<Process> StartHidden(const std::string& batchFile,
                                                 const std::string& workingDir) = 0;
};

}  // namespace tbln::sys
