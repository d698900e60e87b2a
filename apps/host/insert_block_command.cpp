// tbln insert-block: the Insert Block dialog driven from the command line.
#include "apps/host/dialog_script.hpp"
#include "apps/host/json_records.hpp"

namespace tbln::host {

nlohmann::ordered_json InsertBlockCommand(Host& host, const Options& options) {
    std::string fileName0 = options.Get("file");
    std::string sheetName0 = options.Get("sheet", "");
    TagPosArray tags0 = ReadTags(options.Get("tags"));
    const std::string blockId = options.Get("block-id");
    CheckCell("block-id", blockId);
    // The dialog opens the workbook handed in and chooses the sheet active in it; the
    // user then picks the wanted sheet in the sheet box.
    if (!sheetName0.empty()) host.ui.Push(scripted::Action::SetText("cbSheetName", sheetName0));
    ScriptSelectCell(host, blockId);
    ScriptClick(host, "btnUpdate1");
    ScriptClick(host, "btnMake");
    TagPosArray tags1;
    const Boolean result = host.app.InsertBlock(tags0, tags1, fileName0, sheetName0);
    return {{"result", result != False}, {"tags0", ArrayJson(tags0)},
            {"tags1", ArrayJson(tags1)}, {"fileName0", fileName0},
            {"sheetName0", sheetName0},  {"messages", host.Messages()}};
}

}  // namespace tbln::host
