// tbln set-luc: the last-used-cell reset dialog driven from the command line.
#include "apps/host/dialog_script.hpp"
#include "apps/host/entry_points.hpp"

namespace tbln::host {

nlohmann::ordered_json SetLucCommand(Host& host, const Options& options) {
    if (options.Has("answers")) return CallSetLUC(host);
    const std::string file = options.Get("file");
    const std::string cell = options.Get("cell");
    CheckCell("cell", cell);
    // The warning before the workbook is overwritten takes OK only with --yes.
    const bool yes = options.Has("yes");
    host.ui.decide = [yes](const std::string&, int style, const std::string&) {
        return (style & 7) == ui::vbOKCancel && !yes ? ui::vbCancel : ui::DefaultAnswer(style);
    };
    ScriptOpenWorkbook(host, file, options.Get("sheet", ""), "btnBrowse");
    ScriptSelectCell(host, cell);
    ScriptClick(host, "btnOK");
    return CallSetLUC(host);
}

}  // namespace tbln::host
