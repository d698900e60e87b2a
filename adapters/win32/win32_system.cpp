#include "adapters/win32/win32_system.hpp"

// clang-format off
#include "adapters/win32/windows_api.hpp"

// clang-format on

#include <algorithm>
#include <filesystem>

#include "adapters/posix/posix_system.hpp"
#include "adapters/win32/wide_text.hpp"
#include "core/error.hpp"

namespace tbln::win32 {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void RaiseFileError(int number, const std::string& path, const std::string& what) {
    Raise(number,
          StandardDescription(number) + ": " + path + (what.empty() ? "" : " (" + what + ")"));
}

DWORD Attributes(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str());
}

// A handle closed when leaving scope.
struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

HANDLE OpenForReading(const std::string& path) {
    const HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND)
            RaiseFileError(err::kFileNotFound, path, "");
        RaiseFileError(err::kFileAccess, path, ErrorText(e));
    }
    return h;
}

class Win32InputFile : public sys::InputFile {
  public:
    Win32InputFile(std::string path, HANDLE h, std::uint64_t size)
        : path_(std::move(path)), size_(size) {
        handle_.h = h;
    }
    std::size_t Read(char* buffer, std::size_t size) override {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!::ReadFile(handle_.h, buffer, want, &n, nullptr))
            RaiseFileError(err::kFileAccess, path_, ErrorText(GetLastError()));
        return n;
    }
    std::uint64_t Size() const override { return size_; }

  private:
    std::string path_;
    Handle handle_;
    std::uint64_t size_;
};

// The lock file of a folder, held open and locked while the lock lives; the lock goes
// with the handle, also when the process dies.
class Win32FolderLock : public sys::FolderLock {
  public:
    explicit Win32FolderLock(HANDLE h) { handle_.h = h; }

  private:
    Handle handle_;
};

// The batch file's process (the shell running it); the reader it starts runs in the
// same job, so that Kill ends both.
class Win32Process : public sys::Process {
  public:
    Win32Process(HANDLE process, HANDLE job) {
        process_.h = process;
        job_.h = job;
    }
    bool Running() override { return WaitForSingleObject(process_.h, 0) == WAIT_TIMEOUT; }
    int ExitCode() override {
        DWORD code = 0;
        if (Running() || !GetExitCodeProcess(process_.h, &code)) return -1;
        return static_cast<int>(code);
    }
    void Kill() override {
        if (!Running()) return;
        if (job_.h) TerminateJobObject(job_.h, 1);
        TerminateProcess(process_.h, 1);
        WaitForSingleObject(process_.h, INFINITE);
    }

  private:
    Handle process_, job_;
};

}  // namespace

bool Win32System::FileExists(const std::string& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32System::DirExists(const std::string& path) {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void Win32System::DeleteFile(const std::string& path) {
    if (!FileExists(path)) RaiseFileError(err::kFileNotFound, path, "");
    if (!DeleteFileW(Wide(path).c_str()))
        RaiseFileError(err::kPermissionDenied, path, ErrorText(GetLastError()));
}

void Win32System::MakeDirs(const std::string& path) {
    std::error_code ec;
    fs::create_directories(fs::path(Wide(path)), ec);
    if (ec) RaiseFileError(err::kPathNotFound, path, ec.message());
}

std::vector<std::string> Win32System::ListDir(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const HANDLE find = FindFirstFileW((fs::path(Wide(path)) / L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        if (!DirExists(path)) RaiseFileError(err::kPathNotFound, path, "");
        return names;
    }
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(Narrow(name));
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Win32System::ReadFile(const std::string& path) {
    if (DirExists(path)) RaiseFileError(err::kFileNotFound, path, "");
    posix::CheckRegularFile(path);
    Handle file{OpenForReading(path)};
    LARGE_INTEGER size{};
    std::string bytes;
    if (GetFileSizeEx(file.h, &size)) bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    char chunk[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(file.h, chunk, sizeof chunk, &n, nullptr))
            RaiseFileError(err::kFileAccess, path, ErrorText(GetLastError()));
        if (n == 0) break;
        bytes.append(chunk, n);
    }
    return bytes;
}

std::unique_ptr<sys::InputFile> Win32System::OpenFile(const std::string& path) {
    if (DirExists(path)) RaiseFileError(err::kFileNotFound, path, "");
    posix::CheckRegularFile(path);
    const HANDLE h = OpenForReading(path);
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    return std::make_unique<Win32InputFile>(path, h, static_cast<std::uint64_t>(size.QuadPart));
}

void Win32System::WriteFile(const std::string& path, const std::string& bytes) {
    posix::WriteFileAtomically(path, bytes);
}

void Win32System::CopyFile(const std::string& from, const std::string& to) {
    posix::WriteFileAtomically(to, ReadFile(from));
}

void Win32System::SetExecutable(const std::string&) {
    // A program's name (.exe) makes it one on Windows.
}

std::string Win32System::CurrentDir() {
    const DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring dir(n, L'\0');
    const DWORD got = GetCurrentDirectoryW(n, dir.data());
    dir.resize(got < n ? got : 0);
    return Narrow(dir);
}

void Win32System::ChangeDir(const std::string& path) {
    if (!SetCurrentDirectoryW(Wide(path).c_str()))
        RaiseFileError(err::kPathNotFound, path, ErrorText(GetLastError()));
}

void Win32System::Sleep(Long milliseconds) {
    if (milliseconds > 0) ::Sleep(static_cast<DWORD>(milliseconds));
}

std::unique_ptr<sys::FolderLock> Win32System::TryLockFolder(const std::string& path) {
    if (!DirExists(path)) RaiseFileError(err::kPathNotFound, path, "");
    const HANDLE h = CreateFileW((fs::path(Wide(path)) / L"tbln.lock").c_str(),
                                 GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        if (e == ERROR_SHARING_VIOLATION) return nullptr;
        RaiseFileError(err::kFileAccess, path, ErrorText(e));
    }
    OVERLAPPED at{};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD e = GetLastError();
        CloseHandle(h);
        if (e == ERROR_LOCK_VIOLATION || e == ERROR_IO_PENDING) return nullptr;
        RaiseFileError(err::kFileAccess, path, ErrorText(e));
    }
    return std::make_unique<Win32FolderLock>(h);
}

std::string ModulePath() {
    HMODULE self = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&ModulePath), &self);
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return Narrow(path);
        }
        path.resize(path.size() * 2);
    }
}

std::unique_ptr<sys::Process> Win32System::StartHidden(const std::string& batchFile,
                                                       const std::string& workingDir) {
    // The shell runs the batch file (through the command interpreter), in a hidden window.
    const std::wstring file = Wide(batchFile), dir = Wide(workingDir);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpDirectory = dir.c_str();
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info) || !info.hProcess) {
        Raise(err::kFileNotFound, "Cannot start " + batchFile + ": " + ErrorText(GetLastError()));
    }
    // The reader the batch file starts joins the job of its shell, so that Kill can end it
    // too. (The shell may start it in the moment before the job is joined; it then runs
    // on its own and ends when its file is read.)
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job && !AssignProcessToJobObject(job, info.hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    return std::make_unique<Win32Process>(info.hProcess, job);
}

}  // namespace tbln::win32
