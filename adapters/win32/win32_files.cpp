// The file helpers of the system adapter on Windows: the same declarations as on POSIX
// (adapters/posix/posix_system.hpp), over the wide Win32 file calls. A replacement's
// temporary file is opened without delete sharing, so no other save can remove it while
// it is written; a leftover of a killed save is deleted by the next one.
#include <filesystem>
#include <string>

#include "adapters/posix/posix_system.hpp"
#include "adapters/win32/wide_text.hpp"
#include "adapters/win32/windows_api.hpp"
#include "core/error.hpp"

// clang-format off
#include <fcntl.h>
#include <io.h>
// clang-format on

namespace tbln::posix {

namespace fs = std::filesystem;

namespace {

// The fixed install folder on Windows.
constexpr const char* kInstallFolder = "C:\\Quorvex";
constexpr std::wstring_view kTempMarker = L".tbln-save-";

[[noreturn]] void RaiseFileError(int number, const std::string& path, const std::string& what) {
    Raise(number,
          StandardDescription(number) + ": " + path + (what.empty() ? "" : " (" + what + ")"));
}

fs::path PathOf(const std::string& utf8) {
    return fs::path(win32::Wide(utf8));
}

std::wstring TempPrefix(const fs::path& target) {
    return L"." + target.filename().wstring() + std::wstring(kTempMarker);
}

// Deletes what killed saves of target left behind; a temporary file in use by a running
// save is not shared for deletion, so the delete fails for it.
void RemoveLeftoverTemporaries(const fs::path& target) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(L".");
    const std::wstring pattern = (folder / (TempPrefix(target) + L"*")).wstring();
    WIN32_FIND_DATAW found{};
    const HANDLE find = FindFirstFileW(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW((folder / found.cFileName).c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

}  // namespace

std::string ResolveInstallRoot(const std::string& explicitRoot) {
    std::string root;
    if (!explicitRoot.empty()) {
        root = explicitRoot;
    } else if (const wchar_t* env = _wgetenv(L"QUORVEX_ROOT"); env && *env) {
        root = win32::Narrow(env);
    } else {
        root = kInstallFolder;
    }
    std::error_code ec;
    const fs::path absolute = fs::absolute(PathOf(root), ec);
    return ec ? root : win32::Narrow(absolute.lexically_normal().wstring());
}

std::string PathToWrite(const std::string& path) {
    // Symbolic links are rare on Windows and need privileges to make: the path is written.
    return path;
}

std::string NotRegularFileProblem(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(win32::Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {};
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "it is a folder";
    if (attributes & FILE_ATTRIBUTE_DEVICE) return "it is not a regular file";
    return {};
}

void CheckRegularFile(const std::string& path) {
    if (const auto problem = NotRegularFileProblem(path); !problem.empty())
        RaiseFileError(err::kFileAccess, path, problem);
}

std::string SaveProblem(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(win32::Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return "the file no longer exists";
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
        return "it is not a regular file";
    if (attributes & FILE_ATTRIBUTE_READONLY) return "the file is read-only";
    // A folder's read-only attribute only marks it for the shell; whether the new file
    // can be written beside the old one shows when it is made.
    return {};
}

std::optional<std::string> FileStampOf(const std::string& path) {
    const HANDLE h = CreateFileW(win32::Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    const bool known = GetFileInformationByHandle(h, &info);
    const bool times = GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic);
    CloseHandle(h);
    if (!known) return std::nullopt;
    std::string stamp;
    const auto put = [&](const auto& field) {
        stamp.append(reinterpret_cast<const char*>(&field), sizeof field);
    };
    put(info.dwVolumeSerialNumber);
    put(info.nFileIndexHigh);
    put(info.nFileIndexLow);
    put(info.nFileSizeHigh);
    put(info.nFileSizeLow);
    put(info.ftLastWriteTime.dwHighDateTime);
    put(info.ftLastWriteTime.dwLowDateTime);
    if (times) put(basic.ChangeTime.QuadPart);
    return stamp;
}

FileReplacement::FileReplacement(const std::string& path) : path_(path), target_(path) {
    const fs::path target = PathOf(target_);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        CheckRegularFile(target_);
        if (attributes & FILE_ATTRIBUTE_READONLY)
            RaiseFileError(err::kPermissionDenied, path_, "the file is read-only");
    }
    RemoveLeftoverTemporaries(target);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(L".");
    for (unsigned attempt = 0; fd_ < 0; ++attempt) {
        wchar_t suffix[16];
        swprintf(suffix, 16, L"%06lx",
                 (GetTickCount() + GetCurrentProcessId() * 7919ul + attempt) & 0xFFFFFF);
        const fs::path temp = folder / (TempPrefix(target) + suffix);
        const HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD e = GetLastError();
            if (e != ERROR_FILE_EXISTS || attempt == 64)
                RaiseFileError(err::kPermissionDenied, path_, win32::ErrorText(e));
            continue;
        }
        fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
        if (fd_ < 0) {
            CloseHandle(h);
            DeleteFileW(temp.c_str());
            RaiseFileError(err::kFileAccess, path_, "no temporary file");
        }
        temp_ = win32::Narrow(temp.wstring());
    }
}

FileReplacement::~FileReplacement() {
    if (fd_ >= 0) _close(fd_);
    if (!temp_.empty()) DeleteFileW(win32::Wide(temp_).c_str());
}

void FileReplacement::Write(std::string_view bytes) {
    while (!bytes.empty()) {
        const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30));
        const int n = _write(fd_, bytes.data(), piece);
        if (n < 0) RaiseFileError(err::kFileAccess, path_, "the file cannot be written");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void FileReplacement::Commit() {
    if (_commit(fd_) != 0) RaiseFileError(err::kFileAccess, path_, "the file cannot be written");
    // A file cannot be renamed while it is open: closed first, then moved over the target.
    _close(fd_);
    fd_ = -1;
    if (!MoveFileExW(win32::Wide(temp_).c_str(), win32::Wide(target_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        RaiseFileError(err::kFileAccess, path_, win32::ErrorText(GetLastError()));
    }
    temp_.clear();
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
        if (_commit(all.back()->Descriptor()) != 0)
            RaiseFileError(err::kFileAccess, path, "the file cannot be written");
    }
    for (auto& file : all) file->Commit();
}

}  // namespace tbln::posix
