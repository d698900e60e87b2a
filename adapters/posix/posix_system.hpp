// The POSIX adapter of the system port: files, folders, the current directory,
// sleeping and starting the external reader's batch file without a shell.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sys.hpp"

namespace tbln::posix {

// The install root that stands for the fixed install folder: the explicit root when
// given, else the QUORVEX_ROOT environment variable, else ~/.local/share/quorvex; made
// absolute against the current folder.
std::string ResolveInstallRoot(const std::string& explicitRoot);

// The file an in-place save replaces: the path itself, or, when the path is a symbolic
// link, the file the link leads to (links followed to the end, a relative link read
// from the link's folder), so that a save writes through the link and keeps it.
std::string PathToWrite(const std::string& path);

// Why path cannot be read as a file: "it is a folder" or "it is not a regular file" (a
// FIFO, a device: reading one would hang or never end); empty when path is a regular
// file or does not exist. Asks stat(), so nothing is opened.
std::string NotRegularFileProblem(const std::string& path);

// Raises RuntimeError 75 naming the file when NotRegularFileProblem finds a problem.
void CheckRegularFile(const std::string& path);

// Why a save cannot replace the file at path: "the file no longer exists", "it is not a
// regular file", "the file is read-only" or "the folder FOLDER is read-only"; empty when
// it can. A file or folder without any write permission is read-only even for a user
// whom the system would let write (as a read-only attribute is on the original
// platform). The folder is the one the new file is written in: the folder of the file a
// symbolic link leads to.
std::string SaveProblem(const std::string& path);

// What tells one version of a file from another: where it lives (which a save by rename
// changes), its size, and its modification and status change times as finely as the
// system keeps them (a program that restores the modification time still changes the
// status time). Stamps compare equal when the file is the same version; nullopt when
// the file cannot be looked at (removed).
std::optional<std::string> FileStampOf(const std::string& path);

// One file replaced in place, the one way every in-place save goes: the new bytes go to
// a temporary file beside the real target (PathToWrite), which is synced and renamed
// over the target by Commit; a replacement destroyed without Commit removes its
// temporary file and leaves the target as it was.
//
// The temporary file is named ".NAME.tbln-save-XXXXXX" after the target's NAME and is
// locked while it is in use. A save that was killed leaves its temporary file behind
// unlocked; the next replacement of the same file removes such leftovers.
//
// The new file keeps the permissions of the file it replaces; a file that was not
// there gets 0666 less the umask, as any program's new file does.
//
// A target that is read-only, or that exists and is not a regular file, is refused.
// Every failure raises RuntimeError naming the file.
class FileReplacement {
  public:
    explicit FileReplacement(const std::string& path);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // The file that Commit replaces.
    const std::string& Target() const noexcept { return target_; }
    // The temporary file's descriptor, for writers that write on their own.
    int Descriptor() const noexcept { return fd_; }
    void Write(std::string_view bytes);
    void Commit();

  private:
    std::string path_, target_, temp_;
    int fd_ = -1;
};

// Writes bytes to path through a FileReplacement.
void WriteFileAtomically(const std::string& path, const std::string& bytes);

// Writes several files all or nothing as far as the file system allows: every new file
// is written and synced beside its target first, and only when all are complete are
// they renamed over their targets. A file that cannot be written leaves every target as
// it was.
void WriteFilesAtomically(const std::vector<std::pair<std::string, std::string>>& files);

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
