// tbln populate: the Populate dialog driven from the command line.
#include "apps/host/dialog_script.hpp"
#include "apps/host/entry_points.hpp"

namespace tbln::host {

nlohmann::ordered_json PopulateCommand(Host& host, const Options& options) {
    std::string dwgdgn = DrawingFormat(options);
    if (options.Has("answers")) return CallPopulate(host, dwgdgn);
    const std::string file = options.Get("file");
    ScriptOpenWorkbook(host, file, options.Get("sheet", ""), "btnBrowseExcel");
    const std::pair<const char*, const char*> cells[] = {
        {"first", "btnUpdate1"}, {"second", "btnUpdate2"}, {"last", "btnUpdaten"}};
    for (const auto& [option, button] : cells) {
        const std::string cell = options.Get(option);
        CheckCell(option, cell);
        ScriptSelectCell(host, cell);
        ScriptClick(host, button);
    }
    host.ui.PushFileChoice(options.Get("template"));
    ScriptClick(host, "btnBrowseDGN");
    host.ui.PushFolderChoice(options.Get("output"));
    ScriptClick(host, "btnBrowseOutput");
    ScriptClick(host, "btnPopulate");
    return CallPopulate(host, dwgdgn);
}

}  // namespace tbln::host
