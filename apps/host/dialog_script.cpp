#include "apps/host/dialog_script.hpp"

#include <regex>

#include "platform/excel.hpp"

namespace tbln::host {

void CheckCell(const std::string& option, const std::string& cell) {
    static const std::regex kCell("[A-Za-z]{1,3}[1-9][0-9]{0,6}");
    if (!std::regex_match(cell, kCell)) {
        throw UsageError("--" + option + " " + cell + " is not a cell such as B2");
    }
}

void ScriptOpenWorkbook(Host& host, const std::string& file, const std::string& sheet,
                        const std::string& browseButton) {
    host.ui.PushFileChoice(file);
    host.ui.Push(scripted::Action::Click(browseButton));
    if (!sheet.empty()) host.ui.Push(scripted::Action::SetText("cbSheetName", sheet));
}

void ScriptSelectCell(Host& host, const std::string& cell) {
    host.ui.Push(scripted::Action::Call([&host, cell] {
        // No workbook open: there is nothing to click on, and the dialog's own
        // message for the next button tells the user so.
        std::shared_ptr<excel::Application> app;
        try {
            app = As<excel::Application>(host.objects.GetObject("Excel.Application"));
        } catch (const RuntimeError&) {
            return;
        }
        if (!app->ActiveWorkbook()) return;
        app->ActiveSheet()->Range(cell)->Select();
    }));
}

std::string DrawingFormat(const Options& options) {
    const std::string format = options.Get("format", "dwg");
    if (format != "dgn" && format != "dwg") {
        throw UsageError("--format " + format + " is not dgn or dwg");
    }
    return format;
}

void ScriptClick(Host& host, const std::string& control) {
    host.ui.Push(scripted::Action::Click(control));
}

}  // namespace tbln::host
