#include "adapters/win32/win32_windows.hpp"

#include "adapters/win32/wide_text.hpp"
#include "adapters/win32/windows_api.hpp"
#include "core/error.hpp"

namespace tbln::win32 {

namespace {

// Window handles are 32-bit values on 64-bit Windows too, so the port's Long holds them.
HWND H(ui::Hwnd hwnd) {
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(hwnd));
}

ui::Hwnd Handle(HWND hwnd) {
    return static_cast<ui::Hwnd>(reinterpret_cast<LONG_PTR>(hwnd));
}

// The filter as the common dialogs take it: description, NUL, patterns joined by ";",
// NUL, ..., and a second NUL at the end.
std::wstring Filter(const std::string& filter) {
    std::wstring out;
    for (const auto& [description, patterns] : ui::FileFilters(filter)) {
        out += Wide(description);
        out.push_back(L'\0');
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            if (i > 0) out.push_back(L';');
            out += Wide(patterns[i]);
        }
        out.push_back(L'\0');
    }
    out.push_back(L'\0');
    return out;
}

// The folder part of a chosen path.
std::string FolderOf(const std::string& path) {
    const auto at = path.find_last_of("\\/");
    return at == std::string::npos ? std::string() : path.substr(0, at);
}

}  // namespace

// The common file dialog: the chosen path (or, chosen several at once, the folder and the
// names separated by NULs) in request.fileName; false when cancelled.
bool Win32Windows::FileDialog(ui::FileDialogRequest& request, bool save) {
    constexpr DWORD kBuffer = 32768;
    std::wstring file = Wide(request.fileName);
    file.resize(kBuffer, L'\0');
    const std::wstring filter = Filter(request.filter), title = Wide(request.title),
                       dir = Wide(folders_.Start(request.initialDir)),
                       ext = Wide(request.defaultExt);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = request.owner ? H(request.owner) : DialogOwner();
    ofn.lpstrFilter = filter.size() > 1 ? filter.c_str() : nullptr;
    ofn.nFilterIndex = static_cast<DWORD>(request.filterIndex);
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kBuffer;
    ofn.lpstrInitialDir = dir.empty() ? nullptr : dir.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
    ofn.Flags = static_cast<DWORD>(request.flags) | OFN_EXPLORER;
    if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return false;
    // Several names end with two NULs; one name with one.
    std::size_t end = file.find(L'\0');
    const bool several = end + 1 < file.size() && file[end + 1] != L'\0';
    while (end + 1 < file.size() && file[end + 1] != L'\0') end = file.find(L'\0', end + 1);
    request.fileName = Narrow(std::wstring_view(file.data(), end));
    request.filterIndex = static_cast<int>(ofn.nFilterIndex);
    folders_.Chosen(several ? request.fileName.substr(0, request.fileName.find('\0'))
                            : FolderOf(request.fileName));
    return true;
}

namespace {

struct TitleSearch {
    std::wstring prefix;
    HWND found = nullptr;
};

BOOL CALLBACK FindByTitlePrefix(HWND hwnd, LPARAM data) {
    auto* search = reinterpret_cast<TitleSearch*>(data);
    wchar_t title[512];
    const int n = GetWindowTextW(hwnd, title, 512);
    if (n > 0 && IsWindowVisible(hwnd) &&
        std::wstring_view(title, static_cast<std::size_t>(n)).starts_with(search->prefix)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

Win32Windows::Win32Windows() {
    // The progress bar's window class.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
}

int Win32Windows::MsgBox(const std::string& prompt, int style, const std::string& title) {
    // The runtime's styles and answers are the system's own numbers.
    return MessageBoxW(DialogOwner(), Wide(prompt).c_str(), Wide(title).c_str(),
                       static_cast<UINT>(style) | MB_SETFOREGROUND);
}

void Win32Windows::DoEvents() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

Long Win32Windows::SetWindowPos(ui::Hwnd hwnd, ui::Hwnd insertAfter, Long x, Long y, Long cx,
                                Long cy, Long flags) {
    return ::SetWindowPos(H(hwnd), H(insertAfter), x, y, cx, cy, static_cast<UINT>(flags)) ? 1 : 0;
}

ui::Hwnd Win32Windows::FindWindow(const std::string& className, const std::string& title) {
    const std::wstring cls = Wide(className), text = Wide(title);
    return Handle(FindWindowW(className.empty() ? nullptr : cls.c_str(), text.c_str()));
}

bool Win32Windows::GetWindowPlacement(ui::Hwnd hwnd, ui::WindowPlacement& p) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (!::GetWindowPlacement(H(hwnd), &wp)) return false;
    p = {static_cast<Long>(wp.length), static_cast<Long>(wp.flags), static_cast<Long>(wp.showCmd),
         wp.ptMinPosition.x,           wp.ptMinPosition.y,          wp.ptMaxPosition.x,
         wp.ptMaxPosition.y,           wp.rcNormalPosition.left,    wp.rcNormalPosition.top,
         wp.rcNormalPosition.right,    wp.rcNormalPosition.bottom};
    return true;
}

bool Win32Windows::SetWindowPlacement(ui::Hwnd hwnd, const ui::WindowPlacement& p) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    wp.flags = static_cast<UINT>(p.flags);
    wp.showCmd = static_cast<UINT>(p.showCmd);
    wp.ptMinPosition = {p.minX, p.minY};
    wp.ptMaxPosition = {p.maxX, p.maxY};
    wp.rcNormalPosition = {p.left, p.top, p.right, p.bottom};
    return ::SetWindowPlacement(H(hwnd), &wp);
}

Long Win32Windows::GetSystemMenu(ui::Hwnd hwnd, bool revert) {
    return static_cast<Long>(reinterpret_cast<LONG_PTR>(::GetSystemMenu(H(hwnd), revert)));
}

bool Win32Windows::RemoveMenu(Long menu, Long position, Long flags) {
    return ::RemoveMenu(reinterpret_cast<HMENU>(static_cast<LONG_PTR>(menu)),
                        static_cast<UINT>(position), static_cast<UINT>(flags));
}

Long Win32Windows::SendMessage(ui::Hwnd hwnd, Long message, Long wParam,
                               const std::vector<Long>& lParam) {
    // The list box's tab stops go by reference as the array they are; every other
    // message takes its one number by value (a progress bar's range and position, the
    // caption drag's 0), none as 0.
    const LPARAM l = lParam.empty()                  ? 0
                     : message == ui::LB_SETTABSTOPS ? reinterpret_cast<LPARAM>(lParam.data())
                                                     : static_cast<LPARAM>(lParam.front());
    return static_cast<Long>(
        SendMessageW(H(hwnd), static_cast<UINT>(message), static_cast<WPARAM>(wParam), l));
}

bool Win32Windows::ReleaseCapture() {
    return ::ReleaseCapture();
}

void Win32Windows::AppActivate(const std::string& title) {
    const std::wstring text = Wide(title);
    HWND hwnd = FindWindowW(nullptr, text.c_str());
    if (!hwnd) {
        TitleSearch search{text};
        EnumWindows(FindByTitlePrefix, reinterpret_cast<LPARAM>(&search));
        hwnd = search.found;
    }
    if (!hwnd)
        Raise(err::kInvalidCall,
              StandardDescription(err::kInvalidCall) + ": no window titled " + title);
    if (IsIconic(hwnd)) ::ShowWindow(hwnd, SW_RESTORE);
    SetForegroundWindow(hwnd);
}

Long Win32Windows::ScreenWidth() {
    return GetSystemMetrics(SM_CXSCREEN) * TwipsPerPixelX();
}

Long Win32Windows::ScreenHeight() {
    return GetSystemMetrics(SM_CYSCREEN) * TwipsPerPixelY();
}

ui::Hwnd Win32Windows::CreateWindowEx(Long exStyle, const std::string& className,
                                      const std::string& title, Long style, Long x, Long y,
                                      Long width, Long height, ui::Hwnd parent) {
    return Handle(CreateWindowExW(static_cast<DWORD>(exStyle), Wide(className).c_str(),
                                  Wide(title).c_str(), static_cast<DWORD>(style), x, y, width,
                                  height, H(parent), nullptr, GetModuleHandleW(nullptr), nullptr));
}

bool Win32Windows::DestroyWindow(ui::Hwnd hwnd) {
    return ::DestroyWindow(H(hwnd));
}

ui::Hwnd Win32Windows::SetParent(ui::Hwnd child, ui::Hwnd parent) {
    return Handle(::SetParent(H(child), H(parent)));
}

bool Win32Windows::ShowWindow(ui::Hwnd hwnd, Long command) {
    return ::ShowWindow(H(hwnd), command);
}

bool Win32Windows::MoveWindow(ui::Hwnd hwnd, Long x, Long y, Long width, Long height,
                              bool repaint) {
    return ::MoveWindow(H(hwnd), x, y, width, height, repaint);
}

Long Win32Windows::GetWindowLong(ui::Hwnd hwnd, Long index) {
    return GetWindowLongW(H(hwnd), index);
}

Long Win32Windows::SetWindowLong(ui::Hwnd hwnd, Long index, Long value) {
    return SetWindowLongW(H(hwnd), index, value);
}

Long Win32Windows::TwipsPerPixelX() {
    HDC dc = GetDC(nullptr);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
    if (dc) ReleaseDC(nullptr, dc);
    return 1440 / (dpi > 0 ? dpi : 96);
}

Long Win32Windows::TwipsPerPixelY() {
    HDC dc = GetDC(nullptr);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(nullptr, dc);
    return 1440 / (dpi > 0 ? dpi : 96);
}

bool Win32Windows::GetOpenFileName(ui::FileDialogRequest& request) {
    return FileDialog(request, false);
}

bool Win32Windows::GetSaveFileName(ui::FileDialogRequest& request) {
    return FileDialog(request, true);
}

HWND Win32Windows::DialogOwner() {
    return GetActiveWindow();
}

std::string Win32Windows::BrowseForFolder(ui::Hwnd owner, const std::string& title) {
    // The chooser with the edit box and the new style, as the dialogs ask the shell for it;
    // the new style needs COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring text = Wide(title);
    BROWSEINFOW info{};
    info.hwndOwner = owner ? H(owner) : DialogOwner();
    info.lpszTitle = text.c_str();
    info.ulFlags = 0x0001 | 0x0010 | 0x0040;  // only file-system folders, edit box, new style
    std::string chosen;
    if (PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info)) {
        wchar_t path[MAX_PATH] = {};
        if (SHGetPathFromIDListW(list, path)) chosen = Narrow(path);
        if (!chosen.empty()) folders_.Chosen(FolderOf(chosen));
        CoTaskMemFree(list);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return chosen;
}

}  // namespace tbln::win32
