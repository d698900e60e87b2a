// The POSIX adapter of the system port: files, folders, the current directory,
// sleeping and starting the external reader's batch file without a shell.
#pragma once

#include <string>

#include "platform/sys.hpp"

namespace tbln::posix {

// The install root that stands for the fixed install folder: the explicit root when
// given, else the QUORVEX_ROOT environment variable, else ~/.local/share/quorvex; made
// absolute against the current folder.
std::string ResolveInstallRoot(const std::string& explicitRoot);

// Writes bytes to path through a temporary file in the same folder and a rename, so
// that a failure never leaves a half-written file. A read-only file is not replaced.
// Raises RuntimeError naming the file.
void WriteFileAtomically(const std::string& path, const std::string& bytes);

class PosixSystem : public sys::System {
  public:
    explicit PosixSystem(std::string installRoot) : root_(std::move(installRoot)) {}

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

}  // namespace tbln::posix
