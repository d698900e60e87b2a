#include "apps/com/desktop.hpp"

#include "adapters/win32/sheet_window.hpp"
#include "adapters/win32/win32_ui.hpp"
#include "adapters/win32/windows_api.hpp"

namespace tbln::com {

namespace {

// The dialogs, and the sheet window beside them: it follows the session's spreadsheet
// and shows itself once a workbook is open; the dialogs never disable it, so the user
// clicks the cells their Update buttons read.
class Desktop : public win32::Win32Ui {
  public:
    explicit Desktop(ObjectServer& objects) : sheet_(workbook::RunningSpreadsheet(objects)) {
        // Its caption changes at once when a workbook opens: it is taken before the
        // dialogs look for the window by its title.
        AddWindow(sheet_.Handle(), [this] { sheet_.Sync(); });
        sheet_.Follow(false);
    }

    // The sheet window follows the spreadsheet while an entry point's dialog is up, and
    // is hidden when the call returns (no messages are dispatched then).
    void ShowModal(ui::Form& form) override {
        struct Depth {
            Desktop& d;
            explicit Depth(Desktop& desk) : d(desk) {
                if (d.depth_++ == 0) d.sheet_.Follow(true);
            }
            ~Depth() {
                if (--d.depth_ == 0) d.sheet_.Follow(false);
            }
        } depth(*this);
        Win32Ui::ShowModal(form);
    }

  private:
    win32::SheetWindow sheet_;
    int depth_ = 0;  // dialogs up
};

const bool registered = [] {
    RegisterUi("win32", [](ObjectServer& objects) -> std::unique_ptr<ui::Ui> {
        return std::make_unique<Desktop>(objects);
    });
    return true;
}();

bool AnswersGiven() {
    return GetEnvironmentVariableW(L"TBLN_ANSWERS", nullptr, 0) > 0;
}

}  // namespace

std::unique_ptr<Session> MakeSession() {
    (void)registered;
    return std::make_unique<Session>("", AnswersGiven() ? "scripted" : "win32");
}

}  // namespace tbln::com
