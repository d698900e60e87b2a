// The compound-file container of a legacy binary workbook (.xls) on Windows, through
// OLE structured storage (StgOpenStorageEx, IStorage, IStream): the same interface as the
// libgsf container (adapters/workbook/xls/compound_file.hpp). A save copies every stream and
// storage but the workbook stream into a new compound file (a temporary file) with
// IStorage::CopyTo, class ids with it, and writes the new workbook stream beside them.
// clang-format off
#include "adapters/win32/windows_api.hpp"
#include <objbase.h>
// clang-format on

#include <algorithm>
#include <string_view>

#include "adapters/opc/package.hpp"
#include "adapters/win32/wide_text.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/xls/compound_file.hpp"

namespace tbln::workbook {

namespace {

// Releases a COM interface when leaving scope.
template <class T>
struct Ref {
    T* p = nullptr;
    ~Ref() {
        if (p) p->Release();
    }
};

std::string Reason(HRESULT hr) {
    return win32::ErrorText(static_cast<unsigned long>(hr));
}

// The name a top-level stream has in the storage, found without regard to letter case;
// empty when there is none.
std::wstring StreamName(IStorage* root, std::wstring_view wanted) {
    Ref<IEnumSTATSTG> entries;
    if (FAILED(root->EnumElements(0, nullptr, 0, &entries.p))) return {};
    std::wstring found;
    STATSTG stat{};
    while (entries.p->Next(1, &stat, nullptr) == S_OK) {
        const std::wstring name = stat.pwcsName ? stat.pwcsName : L"";
        CoTaskMemFree(stat.pwcsName);
        if (found.empty() && stat.type == STGTY_STREAM && name.size() == wanted.size() &&
            CompareStringOrdinal(name.c_str(), static_cast<int>(name.size()), wanted.data(),
                                 static_cast<int>(wanted.size()), TRUE) == CSTR_EQUAL)
            found = name;
    }
    return found;
}

HRESULT OpenRead(const std::string& path, IStorage** root) {
    const std::wstring file = win32::Wide(path);
    HRESULT hr =
        StgOpenStorageEx(file.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, STGFMT_STORAGE, 0,
                         nullptr, nullptr, IID_IStorage, reinterpret_cast<void**>(root));
    // A workbook another program holds open for writing is read through a snapshot.
    if (hr == STG_E_SHAREVIOLATION || hr == STG_E_LOCKVIOLATION) {
        hr = StgOpenStorageEx(file.c_str(), STGM_READ | STGM_TRANSACTED | STGM_SHARE_DENY_NONE,
                              STGFMT_STORAGE, 0, nullptr, nullptr, IID_IStorage,
                              reinterpret_cast<void**>(root));
    }
    return hr;
}

}  // namespace

bool IsCompoundFile(const std::string& path) {
    const HANDLE h = CreateFileW(win32::Wide(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    char head[8] = {};
    DWORD n = 0;
    const bool read = ReadFile(h, head, sizeof head, &n, nullptr);
    CloseHandle(h);
    return read && n == 8 && std::string_view(head, 8) == "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
}

WorkbookStream ReadWorkbookStream(const std::string& path) {
    Ref<IStorage> root;
    if (const HRESULT hr = OpenRead(path, &root.p); FAILED(hr)) {
        if (opc::HoldsEncryptedPackage(path)) RaiseBadWorkbook(path, kPasswordProtected);
        if (hr == STG_E_FILENOTFOUND || hr == STG_E_PATHNOTFOUND || hr == STG_E_ACCESSDENIED)
            RaiseBadWorkbook(path, "the file cannot be read (" + Reason(hr) + ")");
        RaiseBadWorkbook(path,
                         "the compound file of the legacy workbook is damaged or cut short (" +
                             Reason(hr) + ")");
    }
    WorkbookStream out;
    std::wstring name = StreamName(root.p, L"Workbook");
    if (name.empty()) {
        name = StreamName(root.p, L"Book");
        out.biff5 = !name.empty();
    }
    if (name.empty()) {
        if (!StreamName(root.p, L"EncryptionInfo").empty())
            RaiseBadWorkbook(path, kPasswordProtected);
        RaiseBadWorkbook(path,
                         "the compound file holds no workbook stream (it is not an Excel workbook, "
                         "or it is cut short)");
    }
    Ref<IStream> stream;
    if (const HRESULT hr = root.p->OpenStream(name.c_str(), nullptr,
                                              STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream.p);
        FAILED(hr)) {
        RaiseBadWorkbook(path, "the workbook stream cannot be read (" + Reason(hr) + ")");
    }
    STATSTG stat{};
    if (FAILED(stream.p->Stat(&stat, STATFLAG_NONAME)) ||
        stat.cbSize.QuadPart > kMaxWorkbookStreamBytes) {
        RaiseBadWorkbook(path, "the workbook stream is larger than the limit of " +
                                   std::to_string(kMaxWorkbookStreamBytes >> 20) + " MiB");
    }
    out.bytes.resize(static_cast<std::size_t>(stat.cbSize.QuadPart));
    constexpr std::size_t kChunk = 64 * 1024;
    for (std::size_t done = 0; done < out.bytes.size();) {
        const ULONG want = static_cast<ULONG>(std::min(kChunk, out.bytes.size() - done));
        ULONG got = 0;
        if (FAILED(stream.p->Read(out.bytes.data() + done, want, &got)) || got == 0) {
            RaiseBadWorkbook(path,
                             "the workbook stream is damaged or cut short (it cannot be read "
                             "past byte " +
                                 std::to_string(done) + ")");
        }
        done += got;
    }
    return out;
}

std::string CompoundFileWithWorkbookStream(const std::string& path, const std::string& stream) {
    Ref<IStorage> source;
    if (const HRESULT hr = OpenRead(path, &source.p); FAILED(hr)) {
        RaiseSaveError(path, "the compound file of the legacy workbook is damaged or cut short (" +
                                 Reason(hr) + ")");
    }
    std::wstring name = StreamName(source.p, L"Workbook");
    if (name.empty()) RaiseSaveError(path, "the compound file holds no workbook stream");

    // The new compound file, in a temporary file removed when released: the memory-backed
    // storage of Wine leaves heap memory in the directory's free entries.
    wchar_t folder[MAX_PATH + 1] = {}, temp[MAX_PATH + 1] = {};
    if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, L"tbl", 0, temp))
        RaiseSaveError(path, "no temporary file for the new compound file");
    Ref<IStorage> target;
    if (FAILED(StgCreateStorageEx(
            temp, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DELETEONRELEASE,
            STGFMT_DOCFILE, 0, nullptr, nullptr, IID_IStorage,
            reinterpret_cast<void**>(&target.p)))) {
        DeleteFileW(temp);
        RaiseSaveError(path, "the new compound file cannot be made");
    }
    // Everything but the workbook stream, then the new workbook stream under its name.
    std::vector<wchar_t> excluded(name.begin(), name.end());
    excluded.push_back(L'\0');
    wchar_t* exclude[] = {excluded.data(), nullptr};
    if (const HRESULT hr = source.p->CopyTo(0, nullptr, exclude, target.p); FAILED(hr)) {
        RaiseSaveError(path, "the streams of its compound file cannot be copied (" + Reason(hr) +
                                 "); the workbook file was left as it was");
    }
    STATSTG rootStat{};
    if (SUCCEEDED(source.p->Stat(&rootStat, STATFLAG_NONAME))) target.p->SetClass(rootStat.clsid);
    Ref<IStream> workbook;
    ULONG written = 0;
    if (FAILED(target.p->CreateStream(name.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE,
                                      0, 0, &workbook.p)) ||
        FAILED(workbook.p->Write(stream.data(), static_cast<ULONG>(stream.size()), &written)) ||
        written != stream.size()) {
        RaiseSaveError(path, "the new workbook stream cannot be written");
    }
    workbook.p->Release();
    workbook.p = nullptr;
    if (FAILED(target.p->Commit(STGC_DEFAULT)))
        RaiseSaveError(path, "the new compound file cannot be written");
    // Read while the storage still holds it (it is deleted on release).
    std::string out;
    const HANDLE h =
        CreateFileW(temp, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) RaiseSaveError(path, "the new compound file cannot be read");
    char chunk[65536];
    DWORD n = 0;
    while (ReadFile(h, chunk, sizeof chunk, &n, nullptr) && n > 0) out.append(chunk, n);
    CloseHandle(h);
    return out;
}

}  // namespace tbln::workbook
