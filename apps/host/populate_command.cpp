// tbln populate: the Populate dialog driven from the command line.
#include "apps/host/dialog_script.hpp"

namespace tbln::host {

nlohmann::ordered_json PopulateCommand(Host& host, const Options& options) {
    const std::string file = options.Get("file");
    std::string dwgdgn = DrawingFormat(options);
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
    Integer row10 = 0, row20 = 0, rown0 = 0, col10 = 0, col20 = 0, coln0 = 0;
    std::string templatePath0, outputPath0, excelPath0, sheetName0;
    std::string QVPath = host.sys.InstallRoot();
    const Boolean result =
        host.app.Populate(row10, row20, rown0, col10, col20, coln0, templatePath0, outputPath0,
                          excelPath0, sheetName0, dwgdgn, QVPath);
    return {{"result", result != False},
            {"row10", row10},
            {"row20", row20},
            {"rown0", rown0},
            {"col10", col10},
            {"col20", col20},
            {"coln0", coln0},
            {"templatePath0", templatePath0},
            {"outputPath0", outputPath0},
            {"excelPath0", excelPath0},
            {"sheetName0", sheetName0},
            {"dwgdgn", dwgdgn},
            {"QVPath", QVPath},
            {"messages", host.Messages()}};
}

}  // namespace tbln::host
