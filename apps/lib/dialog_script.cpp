#include "apps/lib/dialog_script.hpp"

#include <stdexcept>
#include <utility>

#include "platform/excel.hpp"

namespace tbln::script {

void OpenWorkbook(scripted::ScriptedUi& ui, const std::string& file, const std::string& sheet,
                  const std::string& browseButton) {
    ui.PushFileChoice(file);
    ui.Push(scripted::Action::Click(browseButton));
    if (!sheet.empty()) ui.Push(scripted::Action::SetText("cbSheetName", sheet));
}

void SelectCell(scripted::ScriptedUi& ui, ObjectServer& objects, const std::string& cell) {
    ui.Push(scripted::Action::Call([&objects, cell] {
        // No workbook open: there is nothing to click on, and the dialog's own
        // message for the next button tells the user so.
        std::shared_ptr<excel::Application> app;
        try {
            app = As<excel::Application>(objects.GetObject("Excel.Application"));
        } catch (const RuntimeError&) {
            return;
        }
        if (!app->ActiveWorkbook()) return;
        app->ActiveSheet()->Range(cell)->Select();
    }));
}

void RangeDialog(scripted::ScriptedUi& ui, const std::string& file, const std::string& sheet,
                 const std::string& range) {
    OpenWorkbook(ui, file, sheet, "btnBrowse");
    if (!range.empty()) {
        const auto colon = range.find(':');
        const std::string first = range.substr(0, colon);
        const std::string last = colon == std::string::npos ? first : range.substr(colon + 1);
        const auto split = [&](const std::string& cell) {
            const auto digit = cell.find_first_of("0123456789");
            if (digit == 0 || digit == std::string::npos ||
                cell.find_first_not_of("0123456789", digit) != std::string::npos) {
                throw std::invalid_argument("range " + range + " is not a range like A1:H20");
            }
            return std::pair{cell.substr(0, digit), cell.substr(digit)};
        };
        const auto [c1, r1] = split(first);
        const auto [c2, r2] = split(last);
        ui.Push(scripted::Action::SetText("topLeftCol", c1));
        ui.Push(scripted::Action::SetText("topLeftRow", r1));
        ui.Push(scripted::Action::SetText("botRightCol", c2));
        ui.Push(scripted::Action::SetText("botRightRow", r2));
    }
    ui.Push(scripted::Action::Click("btnOK"));
}

}  // namespace tbln::script
