// tbln build-cell --file BOOK [--sheet NAME] [--range A1:H20]: the range import as a
// user does it in CellRangeForm, with the answers taken from the command line.
#include <filesystem>

#include "apps/host/drawing_output.hpp"
#include "apps/host/host.hpp"
#include "apps/host/json_records.hpp"
#include "apps/host/reader_install.hpp"
#include "apps/host/streamed_json.hpp"
#include "apps/lib/dialog_script.hpp"

#include <iostream>

namespace tbln::host {

nlohmann::ordered_json BuildCellCommand(Host& host, const Options& options) {
    const std::string file = std::filesystem::absolute(options.Get("file")).lexically_normal();
    if (!std::filesystem::exists(file)) throw UsageError(file + ": no such workbook");
    InstallReader(host);
    try {
        script::RangeDialog(host.ui, file, options.Get("sheet", ""), options.Get("range", ""));
    } catch (const std::invalid_argument& e) {
        throw UsageError(std::string("--") + e.what());
    }
    ShowProgressOnTerminal(host, DialogId::CellRangeForm);

    std::string fileName0, sheetName0, dwgdgn = "dwg", qvPath;
    std::shared_ptr<Collection> excelFonts0;
    MyCellArray dgnCell0;
    MyShapeArray xlsShape0;
    MyImageArray xlsImage0;
    Single totalHeight0 = 0, totalWidth0 = 0;
    Integer startRow0 = 0, endRow0 = 0, startCol0 = 0, endCol0 = 0;
    Boolean fastUpdate0 = False;
    const Boolean result = host.app.BuildCell(
        fileName0, sheetName0, excelFonts0, dgnCell0, xlsShape0, xlsImage0, totalHeight0,
        totalWidth0, startRow0, endRow0, startCol0, endCol0, dwgdgn, qvPath, fastUpdate0);
    EndProgressLine();
    WriteCaptureDrawings(host, options, result, dgnCell0, xlsShape0, xlsImage0, startRow0, endRow0,
                         startCol0, endCol0);
    json out =
        CaptureArgumentsJson(result, fileName0, sheetName0, excelFonts0, xlsShape0, xlsImage0,
                             totalHeight0, totalWidth0, startRow0, endRow0, startCol0, endCol0);
    out["fastUpdate0"] = fastUpdate0 != False;
    out["messages"] = host.Messages();
    PrintWithCells(std::cout, out, "dgnCell0", dgnCell0);
    return AlreadyPrinted();
}

}  // namespace tbln::host
