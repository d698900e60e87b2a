#include "adapters/posix/posix_system.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/error.hpp"

extern char** environ;

namespace tbln::posix {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void RaiseFileError(int number, const std::string& path, const std::string& what) {
    Raise(number,
          StandardDescription(number) + ": " + path + (what.empty() ? "" : " (" + what + ")"));
}

// A started process, reaped when it has ended.
class PosixProcess : public sys::Process {
  public:
    explicit PosixProcess(pid_t pid) : pid_(pid) {}
    ~PosixProcess() override {
        // The reader is left to finish on its own; reap it if it already has.
        if (!ended_) waitpid(pid_, &status_, WNOHANG);
    }
    bool Running() override {
        if (ended_) return false;
        const pid_t r = waitpid(pid_, &status_, WNOHANG);
        if (r == pid_ || (r < 0 && errno == ECHILD)) ended_ = true;
        return !ended_;
    }
    int ExitCode() override {
        if (Running()) return -1;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }
    void Kill() override {
        if (!Running()) return;
        // SIGKILL cannot be caught, so the wait for the process to go is short.
        kill(pid_, SIGKILL);
        while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
        }
        ended_ = true;
    }

  private:
    pid_t pid_;
    int status_ = 0;
    bool ended_ = false;
};

// Splits a batch-file line into words at blanks; double quotes group a word.
std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any) words.push_back(word);
    return words;
}

}  // namespace

std::string ResolveInstallRoot(const std::string& explicitRoot) {
    std::string root;
    if (!explicitRoot.empty()) {
        root = explicitRoot;
    } else if (const char* env = std::getenv("QUORVEX_ROOT"); env && *env) {
        root = env;
    } else {
        const char* home = std::getenv("HOME");
        root = std::string(home && *home ? home : ".") + "/.local/share/quorvex";
    }
    // Made absolute once: the exchange changes the current folder and then still writes
    // through paths built from the root.
    std::error_code ec;
    const fs::path absolute = fs::absolute(root, ec);
    return ec ? root : absolute.lexically_normal().string();
}

namespace {

// Temporary files of a replacement: ".NAME" + the marker + mkstemp's six characters.
constexpr std::string_view kTempMarker = ".tbln-save-";
constexpr std::size_t kTempSuffixLength = 6;
constexpr int kMaxLinks = 40;

std::string FolderOf(const std::string& path) {
    const fs::path p(path);
    return p.has_parent_path() ? p.parent_path().string() : std::string(".");
}

std::string TempPrefix(const std::string& target) {
    return "." + fs::path(target).filename().string() + std::string(kTempMarker);
}

// Removes what killed saves of target left behind: files named as our temporary files
// for this target that no running save holds locked.
void RemoveLeftoverTemporaries(const std::string& target) {
    const std::string folder = FolderOf(target);
    const std::string prefix = TempPrefix(target);
    std::vector<std::string> candidates;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name(entry->d_name);
            if (name.size() == prefix.size() + kTempSuffixLength && name.starts_with(prefix)) {
                candidates.emplace_back(name);
            }
        }
        ::closedir(dir);
    }
    for (const auto& name : candidates) {
        const std::string path = folder + "/" + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat opened {
        }, named{};
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(path.c_str(), &named) == 0 &&
            named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
            ::unlink(path.c_str());
        }
        ::close(fd);
    }
}

}  // namespace

std::string PathToWrite(const std::string& path) {
    std::string p = path;
    for (int hops = 0; hops < kMaxLinks; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        char link[PATH_MAX];
        const ssize_t n = ::readlink(p.c_str(), link, sizeof link);
        if (n < 0) return p;
        const std::string to(link, static_cast<std::size_t>(n));
        p = to.starts_with('/') ? to : (fs::path(FolderOf(p)) / to).string();
    }
    RaiseFileError(err::kFileAccess, path, "too many levels of symbolic links");
}

std::string NotRegularFileProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return {};
    return S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
}

void CheckRegularFile(const std::string& path) {
    if (const auto problem = NotRegularFileProblem(path); !problem.empty())
        RaiseFileError(err::kFileAccess, path, problem);
}

namespace {

bool NoWriteBits(const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

std::string SaveProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "the file no longer exists";
    if (!S_ISREG(st.st_mode)) return "it is not a regular file";
    if (NoWriteBits(st) || ::access(path.c_str(), W_OK) != 0) return "the file is read-only";
    std::string folder = fs::path(PathToWrite(path)).parent_path().string();
    if (folder.empty()) folder = ".";
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) != 0 || NoWriteBits(dir) ||
        ::access(folder.c_str(), W_OK | X_OK) != 0) {
        return "the folder " + folder + " is read-only";
    }
    return {};
}

std::optional<std::string> FileStampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    std::string stamp;
    const auto put = [&](const auto& field) {
        stamp.append(reinterpret_cast<const char*>(&field), sizeof field);
    };
    put(st.st_dev);
    put(st.st_ino);
    put(st.st_size);
    put(st.st_mtim.tv_sec);
    put(st.st_mtim.tv_nsec);
    put(st.st_ctim.tv_sec);
    put(st.st_ctim.tv_nsec);
    return stamp;
}

FileReplacement::FileReplacement(const std::string& path)
    : path_(path), target_(PathToWrite(path)) {
    struct stat existing {};
    if (::stat(target_.c_str(), &existing) == 0) {
        CheckRegularFile(target_);
        // A read-only file is left as it is: the rename would otherwise replace it.
        if ((existing.st_mode & 0222) == 0 ||
            (::access(target_.c_str(), W_OK) != 0 && errno == EACCES)) {
            RaiseFileError(err::kPermissionDenied, path_, "the file is read-only");
        }
    }
    RemoveLeftoverTemporaries(target_);
    const std::string pattern =
        (fs::path(FolderOf(target_)) / TempPrefix(target_)).string() + "XXXXXX";
    for (int attempt = 0; fd_ < 0; ++attempt) {
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) RaiseFileError(err::kPermissionDenied, path_, std::strerror(errno));
        // Locked at once, and still there once locked: another save of the same file
        // may have taken it for a leftover in between and removed it.
        struct stat st {};
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) {
            fd_ = fd;
            temp_ = name.data();
        } else {
            ::close(fd);
            if (attempt == 8) RaiseFileError(err::kFileAccess, path_, "no temporary file");
        }
    }
}

FileReplacement::~FileReplacement() {
    if (!temp_.empty()) ::unlink(temp_.c_str());
    if (fd_ >= 0) ::close(fd_);
}

void FileReplacement::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) RaiseFileError(err::kFileAccess, path_, std::strerror(errno));
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void FileReplacement::Commit() {
    if (::fsync(fd_) != 0) RaiseFileError(err::kFileAccess, path_, std::strerror(errno));
    // Keep the permissions of the file being replaced; a new file gets the ordinary ones
    // (0666 less the umask), not the temporary file's private 0600.
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0) {
        ::fchmod(fd_, st.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        RaiseFileError(err::kFileAccess, path_, std::strerror(errno));
    }
    temp_.clear();
    ::close(fd_);
    fd_ = -1;
}

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
    FileReplacement file(path);
    file.Write(bytes);
    file.Commit();
}

void WriteFilesAtomically(const std::vector<std::pair<std::string, std::string>>& files) {
    std::vector<std::unique_ptr<FileReplacement>> all;
    for (const auto& [path, bytes] : files) {
        all.push_back(std::make_unique<FileReplacement>(path));
        all.back()->Write(bytes);
        if (::fsync(all.back()->Descriptor()) != 0) {
            RaiseFileError(err::kFileAccess, path, std::strerror(errno));
        }
    }
    for (auto& file : all) file->Commit();
}

bool PosixSystem::FileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool PosixSystem::DirExists(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

void PosixSystem::DeleteFile(const std::string& path) {
    if (!FileExists(path)) RaiseFileError(err::kFileNotFound, path, "");
    if (::unlink(path.c_str()) != 0)
        RaiseFileError(err::kPermissionDenied, path, std::strerror(errno));
}

void PosixSystem::MakeDirs(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) RaiseFileError(err::kPathNotFound, path, ec.message());
}

std::vector<std::string> PosixSystem::ListDir(const std::string& path) {
    std::error_code ec;
    std::vector<std::string> names;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    if (ec) RaiseFileError(err::kPathNotFound, path, ec.message());
    std::sort(names.begin(), names.end());
    return names;
}

std::string PosixSystem::ReadFile(const std::string& path) {
    // A FIFO or a device would hang the read or never end it; a folder is not found.
    if (!DirExists(path)) CheckRegularFile(path);
    std::ifstream in(path, std::ios::binary);
    if (!in || !FileExists(path)) RaiseFileError(err::kFileNotFound, path, "");
    // One allocation of the file's size: the reader's exchange files run to hundreds of
    // megabytes, and growing a buffer while copying would touch that memory several times.
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    std::string bytes;
    if (!ec) bytes.resize(static_cast<std::size_t>(size));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) RaiseFileError(err::kFileAccess, path, "read failed");
    // A file that grew since its size was taken is read to its end.
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) RaiseFileError(err::kFileAccess, path, "read failed");
    return bytes;
}

namespace {

class PosixInputFile : public sys::InputFile {
  public:
    PosixInputFile(std::string path, int fd, std::uint64_t size)
        : path_(std::move(path)), fd_(fd), size_(size) {}
    ~PosixInputFile() override { close(fd_); }
    PosixInputFile(const PosixInputFile&) = delete;
    PosixInputFile& operator=(const PosixInputFile&) = delete;
    std::size_t Read(char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t n = read(fd_, buffer, size);
            if (n >= 0) return static_cast<std::size_t>(n);
            if (errno != EINTR) RaiseFileError(err::kFileAccess, path_, std::strerror(errno));
        }
    }
    std::uint64_t Size() const override { return size_; }

  private:
    std::string path_;
    int fd_;
    std::uint64_t size_;
};

}  // namespace

std::unique_ptr<sys::InputFile> PosixSystem::OpenFile(const std::string& path) {
    // Not blocking, so that a FIFO is seen for what it is instead of waiting for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        RaiseFileError(errno == ENOENT ? err::kFileNotFound : err::kFileAccess, path,
                       errno == ENOENT ? "" : std::strerror(errno));
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        RaiseFileError(err::kFileNotFound, path, "");
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        RaiseFileError(err::kFileAccess, path, "it is not a regular file");
    }
    fcntl(fd, F_SETFL, 0);
    return std::make_unique<PosixInputFile>(path, fd, static_cast<std::uint64_t>(st.st_size));
}

void PosixSystem::WriteFile(const std::string& path, const std::string& bytes) {
    WriteFileAtomically(path, bytes);
}

void PosixSystem::CopyFile(const std::string& from, const std::string& to) {
    WriteFileAtomically(to, ReadFile(from));
}

void PosixSystem::SetExecutable(const std::string& path) {
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, ec);
    if (ec) RaiseFileError(err::kFileAccess, path, ec.message());
}

std::string PosixSystem::CurrentDir() {
    std::error_code ec;
    auto p = fs::current_path(ec);
    return ec ? std::string{} : p.string();
}

void PosixSystem::ChangeDir(const std::string& path) {
    if (::chdir(path.c_str()) != 0) RaiseFileError(err::kPathNotFound, path, std::strerror(errno));
}

void PosixSystem::Sleep(Long milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

namespace {

// flock on the folder itself: released when the descriptor closes, also when the process
// dies, and not inherited by the reader (close-on-exec).
class PosixFolderLock : public sys::FolderLock {
  public:
    explicit PosixFolderLock(int fd) : fd_(fd) {}
    ~PosixFolderLock() override { close(fd_); }
    PosixFolderLock(const PosixFolderLock&) = delete;
    PosixFolderLock& operator=(const PosixFolderLock&) = delete;

  private:
    int fd_;
};

}  // namespace

std::unique_ptr<sys::FolderLock> PosixSystem::TryLockFolder(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) RaiseFileError(err::kPathNotFound, path, std::strerror(errno));
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const int e = errno;
        close(fd);
        if (e == EWOULDBLOCK) return nullptr;
        RaiseFileError(err::kFileAccess, path, std::strerror(e));
    }
    return std::make_unique<PosixFolderLock>(fd);
}

std::unique_ptr<sys::Process> PosixSystem::StartHidden(const std::string& batchFile,
                                                       const std::string& workingDir) {
    // The batch file's first line names the program and its arguments. No shell runs
    // it: the words are passed as they are, so nothing in a file name is interpreted.
    const std::string text = ReadFile(batchFile);
    const auto words = SplitWords(text.substr(0, text.find('\n')));
    if (words.empty()) Raise(err::kFileAccess, "The batch file " + batchFile + " is empty");
    std::string program = words.front();
    if (program.find('/') == std::string::npos) {
        program = fs::absolute(fs::path(workingDir) / program).string();
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
    std::vector<char*> argv;
    argv.push_back(program.data());
    std::vector<std::string> args(words.begin() + 1, words.end());
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        Raise(err::kFileNotFound, "Cannot start " + program + ": " + std::strerror(rc));
    }
    return std::make_unique<PosixProcess>(pid);
}

}  // namespace tbln::posix
