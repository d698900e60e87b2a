// tbln export-dgn-name: the drawing-name export dialog driven from the command line.
#include "apps/host/dialog_script.hpp"
#include "apps/host/entry_points.hpp"

namespace tbln::host {

nlohmann::ordered_json ExportDgnNameCommand(Host& host, const Options& options) {
    const std::string fileFormat0 = DrawingFormat(options);
    if (options.Has("answers")) {
        if (!options.Positional().empty()) {
            throw UsageError(
                "the drawings answer the file chooser; with --answers the answers "
                "file chooses them");
        }
        return CallExportDGNName(host, fileFormat0);
    }
    const std::string file = options.Get("file");
    const std::string start = options.Get("start");
    CheckCell("start", start);
    if (options.Positional().empty()) throw UsageError("name at least one DRAWING to export");
    // One Add per drawing: a single chosen file is listed with its path as given.
    for (const auto& drawing : options.Positional()) {
        host.ui.PushFileChoice(drawing);
        ScriptClick(host, "btnAdd");
    }
    ScriptOpenWorkbook(host, file, options.Get("sheet", ""), "btnBrowseExcel");
    ScriptSelectCell(host, start);
    ScriptClick(host, "btnUpdate1");
    ScriptClick(host, "btnExport");
    return CallExportDGNName(host, fileFormat0);
}

}  // namespace tbln::host
