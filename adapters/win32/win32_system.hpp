// The Windows adapter of the system port: files and folders through the wide Win32
// calls, the current directory, Sleep, and the reader's batch file started hidden
// through the shell. The file helpers every room uses (in-place saves, the install
// root, the regular-file check) keep their declarations in adapters/posix/posix_system.hpp
// and have their Windows definitions in win32_files.cpp.
#pragma once

#include <string>
#include <utility>

#include "platform/sys.hpp"

namespace tbln::win32 {

// The full path of the module this code is linked into: the DLL for the automation
// server, the program otherwise.
std::string ModulePath();

class Win32System : public sys::System {
  public:
    explicit Win32System(std::string installRoot) : root_(std::move(installRoot)) {}

    std::string InstallRoot() override { return root_; }
    bool FileExists(const std::string& path) override;
    bool DirExists(const std::string& path) override;
    void DeleteFile(const std::string& path) override;
    void MakeDirs(const std::string& path) override;
    std::vector<std::string> ListDir(const std::string& path) override;
    std::string ReadFile(const std::string& path) override;
    std::unique_ptr<sys::InputFile> OpenFile(const std::string& path) override;
    void WriteFile(const std::string& path, const std::string& bytes) override;
    void CopyFile(const std::string& from, const std::string& to) override;
    void SetExecutable(const std::string& path) override;
    std::string CurrentDir() override;
    void ChangeDir(const std::string& path) override;
    void Sleep(Long milliseconds) override;
    std::unique_ptr<sys::FolderLock> TryLockFolder(const std::string& path) override;
    std::unique_ptr<sys::Process> StartHidden(const std::string& batchFile,
                                              const std::string& workingDir) override;

  private:
    std::string root_;
};

}  // namespace tbln::win32
