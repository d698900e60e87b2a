// tbln insert-block: the Insert Block dialog driven from the command line.
#include "apps/host/dialog_script.hpp"
#include "apps/host/entry_points.hpp"

namespace tbln::host {

nlohmann::ordered_json InsertBlockCommand(Host& host, const Options& options) {
    const std::string fileName0 = options.Get("file");
    const std::string sheetName0 = options.Get("sheet", "");
    TagPosArray tags0 = ReadTags(options.Get("tags"));
    if (options.Has("answers")) return CallInsertBlock(host, tags0, fileName0, sheetName0);
    const std::string blockId = options.Get("block-id");
    CheckCell("block-id", blockId);
    // The dialog opens the workbook handed in and chooses the sheet active in it; the
    // user then picks the wanted sheet in the sheet box.
    if (!sheetName0.empty()) host.ui.Push(scripted::Action::SetText("cbSheetName", sheetName0));
    ScriptSelectCell(host, blockId);
    ScriptClick(host, "btnUpdate1");
    ScriptClick(host, "btnMake");
    return CallInsertBlock(host, tags0, fileName0, sheetName0);
}

}  // namespace tbln::host
