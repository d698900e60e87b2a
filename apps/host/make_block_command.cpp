// tbln make-block: the Link Block dialog driven from the command line.
#include "apps/host/dialog_script.hpp"
#include "apps/host/entry_points.hpp"

namespace tbln::host {

nlohmann::ordered_json MakeBlockCommand(Host& host, const Options& options) {
    TagPosArray tags0 = ReadTags(options.Get("tags"));
    if (options.Has("answers")) return CallMakeBlock(host, tags0);
    const std::string file = options.Get("file");
    const std::string blockId = options.Get("block-id");
    CheckCell("block-id", blockId);
    ScriptOpenWorkbook(host, file, options.Get("sheet", ""), "btnBrowseExcel");
    ScriptSelectCell(host, blockId);
    ScriptClick(host, "btnUpdate1");
    for (const auto& bind : options.GetAll("bind")) {
        const auto eq = bind.find('=');
        if (eq == std::string::npos) throw UsageError("--bind " + bind + " is not TAG=CELL");
        const std::string tag = bind.substr(0, eq), cell = bind.substr(eq + 1);
        CheckCell("bind " + tag + "=", cell);
        int line = -1;
        if (tags0.IsAllocated()) {
            for (Long i = tags0.Lower(); i <= tags0.Upper(); ++i) {
                if (tags0(i) && tags0(i)->tagName == tag) {
                    line = static_cast<int>(i - tags0.Lower());
                    break;
                }
            }
        }
        if (line < 0) throw UsageError("--bind " + bind + ": the tags file has no tag " + tag);
        host.ui.Push(scripted::Action::Pick("lbTags", line));
        ScriptSelectCell(host, cell);
        ScriptClick(host, "btnUpdate");
    }
    ScriptClick(host, "btnMake");
    return CallMakeBlock(host, tags0);
}

}  // namespace tbln::host
