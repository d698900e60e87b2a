// The window calls of the Windows adapter on a real window: found by its title, put into
// the top-most band and taken out of it, its placement read, a progress bar made as its
// child, activated by its title (and an unknown title refused with error 5). Prints one
// line per check; exits 1 when one fails.
#include <cstdio>

#include "adapters/win32/win32_windows.hpp"
#include "adapters/win32/windows_api.hpp"
#include "controls/progress_bar.hpp"
#include "core/error.hpp"

namespace {

// The window calls alone: no dialog is shown here.
struct WindowCalls : tbln::win32::Win32Windows {
    void ShowModal(tbln::ui::Form&) override {}
};

}  // namespace

int main() {
    using namespace tbln;
    WindowCalls ui;
    const char* title = "tbln window check";
    HWND window = CreateWindowExW(0, L"STATIC", L"tbln window check", WS_OVERLAPPEDWINDOW, 10, 10,
                                  300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window, SW_SHOW);
    ui.DoEvents();
    int failed = 0;
    const auto check = [&](const char* what, bool ok) {
        std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
        failed += ok ? 0 : 1;
    };
    const ui::Hwnd hwnd = ui.FindWindow("", title);
    check("FindWindow finds the window by its title",
          hwnd != 0 && hwnd == static_cast<ui::Hwnd>(reinterpret_cast<LONG_PTR>(window)));
    constexpr Long kTopMost = 0x8;  // WS_EX_TOPMOST
    ui.SetWindowPos(hwnd, ui::HWND_TOPMOST, 0, 0, 0, 0, ui::SWP_NOMOVE | ui::SWP_NOSIZE);
    check("SetWindowPos puts it into the top-most band",
          (ui.GetWindowLong(hwnd, GWL_EXSTYLE) & kTopMost) != 0);
    ui.SetWindowPos(hwnd, ui::HWND_NOTOPMOST, 0, 0, 0, 0, ui::SWP_NOMOVE | ui::SWP_NOSIZE);
    check("SetWindowPos takes it out again", (ui.GetWindowLong(hwnd, GWL_EXSTYLE) & kTopMost) == 0);
    ui::WindowPlacement placement;
    check("GetWindowPlacement reads its placement (length 44)",
          ui.GetWindowPlacement(hwnd, placement) && placement.length == 44 &&
              placement.right - placement.left == 300);
    const ui::Hwnd bar =
        ui.CreateWindowEx(0, "msctls_progress32", "", WS_CHILD_VISIBLE, 0, 0, 100, 20, hwnd);
    check("CreateWindowEx makes a progress bar as its child", bar != 0);
    ui.AppActivate(title);
    check("AppActivate activates it", true);
    try {
        ui.AppActivate("no window has this title");
        check("AppActivate refuses an unknown title", false);
    } catch (const RuntimeError& e) {
        check("AppActivate refuses an unknown title with error 5", e.Number() == 5);
    }
    DestroyWindow(window);
    return failed ? 1 : 0;
}
