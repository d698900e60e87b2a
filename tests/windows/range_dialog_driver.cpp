// Plays the drafter at the range dialog of BuildCell while a macro runs it with the
// dialogs shown (no answers file). It starts `cscript //nologo MACRO NAME`, finds the
// "Import Excel Data" dialog by its caption and its controls by their window identifiers
// (ui::ControlId, from the form itself); browses to the workbook through the real file
// chooser (the path typed into the chooser's file name box, then Open), picks the sheet,
// clicks A1 in the sheet window and the first Update button, H10 and the second, and
// presses Start.
// A cell is clicked with real mouse messages at its pixel position in the sheet window,
// found by the sheet scene over the same workbook opened here, sized and scrolled as the
// window is. With a pause file, the driver creates it once the corners are taken and
// waits until it is removed (a screenshot is taken meanwhile).
// Usage: tbln-range-dialog-driver MACRO NAME WORKBOOK SHEET [PAUSE_FILE]
// Prints each step; exits with cscript's status, or 1 when a step does not come about.
#include <cstdio>
#include <functional>
#include <string>

#include "adapters/posix/posix_system.hpp"
#include "adapters/scripted/scripted_ui.hpp"
#include "adapters/win32/sheet_window.hpp"
#include "adapters/win32/wide_text.hpp"
#include "adapters/win32/win32_system.hpp"
#include "adapters/win32/windows_api.hpp"
#include "adapters/workbook/embedded_excel.hpp"
#include "adapters/workbook/sheet_scene.hpp"
#include "automation/module.hpp"
#include "capture/cell_range_form.hpp"

namespace {

using namespace tbln;

constexpr ULONGLONG kStepLimitMs = 60000;
constexpr int kFileNameBox = 0x47C;     // the explorer chooser's file name box (cmb13)
constexpr int kOldFileNameBox = 0x480;  // the older chooser's (edt1)

DWORD child = 0;  // the macro's process

[[noreturn]] void Fail(const std::string& what) {
    std::printf("FAILED: %s\n", what.c_str());
    std::fflush(stdout);
    std::exit(1);
}

// Waits until `ready` holds, checking every 50 ms, for a minute at most.
void Await(const std::string& what, const std::function<bool()>& ready) {
    const ULONGLONG start = GetTickCount64();
    while (!ready()) {
        if (GetTickCount64() - start > kStepLimitMs) Fail("no " + what);
        Sleep(50);
    }
    std::printf("ok: %s\n", what.c_str());
    std::fflush(stdout);
}

std::string TextOf(HWND hwnd) {
    wchar_t text[1024] = {};
    DWORD_PTR got = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                        &got);
    return win32::Narrow(text);
}

// The macro's visible top-level window of this class (empty: any) and title.
HWND MacroWindow(const wchar_t* className, const std::wstring& title) {
    struct Search {
        const wchar_t* className;
        std::wstring title;
        HWND found = nullptr;
    } search{className, title};
    EnumWindows(
        [](HWND w, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD process = 0;
            GetWindowThreadProcessId(w, &process);
            wchar_t name[64] = {}, text[256] = {};
            GetClassNameW(w, name, 64);
            GetWindowTextW(w, text, 256);
            if (process == child && IsWindowVisible(w) && s->title == text &&
                (!s->className || std::wstring(name) == s->className)) {
                s->found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void Click(HWND button) {
    PostMessageW(button, BM_CLICK, 0, 0);
}

}  // namespace

int main() {
    const std::vector<std::string> args = win32::CommandLineArguments();
    if (args.size() < 4) {
        std::fprintf(stderr,
                     "usage: tbln-range-dialog-driver MACRO NAME WORKBOOK SHEET [PAUSE_FILE]\n");
        return 2;
    }
    const std::string &macro = args[0], &name = args[1], &workbookPath = args[2],
                      &sheetName = args[3];

    // The dialog's window identifiers, from the form itself.
    scripted::ScriptedUi ui;
    ObjectServer objects;
    win32::Win32System system(posix::ResolveInstallRoot(""));
    const auto app = workbook::CreateEmbeddedExcel(ui);
    Module module(Ports{ui, system, objects});
    CellRangeForm form(module);
    const auto id = [&](const ui::Control& c) { return ui::ControlId(form, c); };

    // The macro, with the dialogs shown: no answers file.
    SetEnvironmentVariableW(L"TBLN_ANSWERS", nullptr);
    std::wstring line =
        L"cscript.exe //nologo \"" + win32::Wide(macro) + L"\" " + win32::Wide(name);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                        &pi))
        Fail("cscript could not be started");
    child = pi.dwProcessId;

    HWND dialog = nullptr;
    Await("the Import Excel Data dialog",
          [&] { return (dialog = MacroWindow(nullptr, L"Import Excel Data")) != nullptr; });
    const auto item = [&](const ui::Control& c) {
        HWND h = GetDlgItem(dialog, id(c));
        if (!h) Fail("no control " + c.Name() + " in the dialog");
        return h;
    };

    Click(item(form.btnBrowse));
    HWND chooser = nullptr;
    Await("the file chooser",
          [&] { return (chooser = MacroWindow(L"#32770", L"Open")) != nullptr; });
    HWND box = GetDlgItem(chooser, kFileNameBox);
    if (!box) box = GetDlgItem(chooser, kOldFileNameBox);
    if (!box) Fail("no file name box in the chooser");
    const std::wstring path = win32::Wide(workbookPath);
    SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    Click(GetDlgItem(chooser, IDOK));
    Await("the workbook's path in the dialog",
          [&] { return TextOf(item(form.tbPath)) == workbookPath; });

    // The sheet, picked from the list as a click does.
    HWND sheets = item(form.cbSheetName);
    const std::wstring sheet = win32::Wide(sheetName);
    const LRESULT index = SendMessageW(sheets, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(sheet.c_str()));
    if (index < 0) Fail("no sheet " + sheetName + " in the list");
    SendMessageW(sheets, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id(form.cbSheetName), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(sheets));

    // The sheet window, and the same workbook here for the cells' places in it.
    app->Workbooks()->Open(workbookPath);
    HWND window = nullptr;
    const std::wstring caption = win32::Wide(app->Caption());
    Await("the sheet window", [&] { return (window = MacroWindow(nullptr, caption)) != nullptr; });
    workbook::SheetScene scene([&] { return app; });
    const auto clickCell = [&](Long row, Long col) {
        RECT client{};
        GetClientRect(window, &client);
        scene.Measure();
        scene.Resize(client.right, client.bottom - win32::SheetWindow::kTabStripHeight);
        scene.Follow(false);  // the sheet shown from its saved view
        const workbook::PixelRect r = scene.CellRect(row, col, row, col);
        const LPARAM at =
            MAKELPARAM(static_cast<int>(r.x + r.width / 2), static_cast<int>(r.y + r.height / 2));
        PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(window, WM_LBUTTONUP, 0, at);
    };
    clickCell(1, 1);
    Click(item(form.btnUpdateTL));
    Await("A1 as the top-left corner", [&] {
        return TextOf(item(form.topLeftCol)) == "A" && TextOf(item(form.topLeftRow)) == "1";
    });
    clickCell(10, 8);
    Click(item(form.btnUpdateBR));
    Await("H10 as the bottom-right corner", [&] {
        return TextOf(item(form.botRightCol)) == "H" && TextOf(item(form.botRightRow)) == "10";
    });
    if (args.size() > 4) {
        // Pictured as the drafter sees it, on a display without a window manager, which
        // keeps a maximised window at its former size: the sheet window the dialog
        // maximised restored and sized to the screen, the dialog in front of it with its
        // caption active. Another program's request for the foreground may be refused and
        // Wine can leave a dialog brought back in front with its caption drawn inactive, so
        // both captions are told how to show.
        ShowWindow(window, SW_SHOWNOACTIVATE);
        SetWindowPos(window, nullptr, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                     GetSystemMetrics(SM_CYSCREEN), SWP_NOZORDER | SWP_NOACTIVATE);
        SetForegroundWindow(dialog);
        for (int i = 0; i < 100 && GetForegroundWindow() != dialog; ++i) Sleep(50);
        SendMessageW(window, WM_NCACTIVATE, FALSE, 0);
        SendMessageW(dialog, WM_NCACTIVATE, TRUE, 0);
        // Both windows drawn whole, frames included, before the picture.
        for (HWND w : {window, dialog})
            RedrawWindow(w, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        const std::wstring pause = win32::Wide(args[4]);
        CloseHandle(CreateFileW(pause.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        Await("the screenshot",
              [&] { return GetFileAttributesW(pause.c_str()) == INVALID_FILE_ATTRIBUTES; });
    }
    Click(item(form.btnOK));
    if (WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 1);
        Fail("the macro did not end after the dialog");
    }
    DWORD status = 1;
    GetExitCodeProcess(pi.hProcess, &status);
    std::printf("ok: the macro ended (status %lu)\n", status);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(status);
}
