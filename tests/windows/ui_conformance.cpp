// The dialog scenarios of the scripted and Qt adapters, played on the Win32 dialogs under
// Wine: the same table (tests/ui/ui_scenarios.hpp) must leave the same event log. Then
// the Win32 dialog's own promises: an error escaping a handler closes it and reaches the
// caller; the close box takes the Cancel path (or unloads a form without Cancel); the
// window that opened it is disabled while it is up; the controls carry their window
// identifiers and the Tahoma font. Prints one line per check; exits 1 when one fails.
#include <cstdio>
#include <stdexcept>

#include "adapters/win32/windows_api.hpp"
#include "windows/win32_driver.hpp"

namespace {

using namespace tbln;

int failed = 0;

void Check(bool ok, const std::string& what, const std::string& detail = {}) {
    std::printf("%s: %s%s%s\n", ok ? "ok" : "FAILED", what.c_str(), detail.empty() ? "" : " -- ",
                detail.c_str());
    if (!ok) ++failed;
}

std::string Joined(const std::vector<std::string>& log) {
    std::string out;
    for (const auto& line : log) out += (out.empty() ? "" : ", ") + line;
    return out;
}

class Failing : public ui::Form {
  public:
    Failing() : ui::Form("Failing") {}
    ui::CommandButton btn{*this, "btn"};
    void Form_Load() override {
        btn.Click = [] { throw std::runtime_error("handler failed"); };
    }
};

}  // namespace

int main() {
    for (const auto& scenario : Scenarios()) {
        Win32Driver driver;
        Probe probe(driver.Ui());
        scenario.script(driver, probe);
        driver.Run(probe);
        Check(probe.log == scenario.expected && !probe.IsLoaded() && driver.Failures().empty(),
              scenario.name, Joined(probe.log) + " " + driver.Failures());
    }

    {
        Win32Driver driver;
        Failing form;
        form.btn.Move(120, 120, 1200, 375);
        driver.Click("btn");
        bool raised = false;
        try {
            driver.Run(form);
        } catch (const std::runtime_error&) {
            raised = true;
        }
        Check(raised && !form.IsLoaded(),
              "an error escaping a handler closes the dialog and reaches the caller");
    }

    // The close box, with and without a Cancel button; the opener disabled meanwhile.
    HWND opener = CreateWindowExW(0, L"STATIC", L"opener", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  200, 100, nullptr, nullptr, nullptr, nullptr);
    for (const bool withCancel : {true, false}) {
        SetActiveWindow(opener);
        Win32Driver driver;
        Probe probe(driver.Ui());
        probe.btnCancel.SetCancel(withCancel);
        bool openerDisabled = false, ids = true;
        std::wstring face;
        driver.Call([&] {
            auto& ui = static_cast<win32::Win32Ui&>(driver.Ui());
            HWND window = ui.FormWindow(probe);
            openerDisabled = !IsWindowEnabled(opener) && GetWindow(window, GW_OWNER) == opener;
            for (auto* c : probe.Controls()) {
                if (c->hWnd != 0 &&
                    GetDlgCtrlID(reinterpret_cast<HWND>(static_cast<LONG_PTR>(c->hWnd))) !=
                        ui::ControlId(probe, *c))
                    ids = false;
            }
            LOGFONTW font{};
            auto tb = reinterpret_cast<HWND>(static_cast<LONG_PTR>(probe.tb.hWnd));
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(tb, WM_GETFONT, 0, 0)), sizeof font,
                       &font);
            face = font.lfFaceName;
        });
        driver.CloseBox();
        driver.Run(probe);
        const std::vector<std::string> expected =
            withCancel ? std::vector<std::string>{"load", "cancel", "unload"}
                       : std::vector<std::string>{"load", "unload"};
        Check(probe.log == expected && !probe.IsLoaded(),
              withCancel ? "the close box presses Cancel"
                         : "the close box unloads a form without Cancel",
              Joined(probe.log));
        Check(openerDisabled && IsWindowEnabled(opener),
              "the opener is the dialog's owner and disabled while it is up, enabled after");
        Check(ids, "every control's window identifier is its ControlId");
        Check(face == L"Tahoma", "the controls use Tahoma");
    }
    DestroyWindow(opener);
    return failed ? 1 : 0;
}
