#include "apps/host/dialog_script.hpp"

#include "apps/lib/dialog_script.hpp"

namespace tbln::host {

void CheckCell(const std::string& option, const std::string& cell) {
    if (!scripted::IsA1Cell(cell)) {
        throw UsageError("--" + option + " " + cell + " is not a cell such as B2");
    }
}

void ScriptOpenWorkbook(Host& host, const std::string& file, const std::string& sheet,
                        const std::string& browseButton) {
    script::OpenWorkbook(host.ui, file, sheet, browseButton);
}

void ScriptSelectCell(Host& host, const std::string& cell) {
    script::SelectCell(host.ui, host.objects, cell);
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
