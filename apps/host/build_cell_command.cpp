// tbln build-cell --file BOOK [--sheet NAME] [--range A1:H20]: the range import as a
// user does it in CellRangeForm, with the answers taken from the command line.
#include <filesystem>

#include "apps/host/drawing_output.hpp"
#include "apps/host/host.hpp"
#include "apps/host/json_records.hpp"
#include "apps/host/reader_install.hpp"
#include "apps/host/streamed_json.hpp"

#include <iostream>

namespace tbln::host {

namespace {

// Pushes the actions of a user who picks the workbook, the sheet and the range.
void ScriptRangeDialog(Host& host, const std::string& file, const std::string& sheet,
                       const std::string& range) {
    host.ui.PushFileChoice(file);
    host.ui.Push(scripted::Action::Click("btnBrowse"));
    if (!sheet.empty()) host.ui.Push(scripted::Action::SetText("cbSheetName", sheet));
    if (!range.empty()) {
        const auto colon = range.find(':');
        const std::string first = range.substr(0, colon);
        const std::string last = colon == std::string::npos ? first : range.substr(colon + 1);
        const auto split = [&](const std::string& cell) {
            const auto digit = cell.find_first_of("0123456789");
            if (digit == 0 || digit == std::string::npos ||
                cell.find_first_not_of("0123456789", digit) != std::string::npos) {
                throw UsageError("--range " + range + " is not a range like A1:H20");
            }
            return std::pair{cell.substr(0, digit), cell.substr(digit)};
        };
        const auto [c1, r1] = split(first);
        const auto [c2, r2] = split(last);
        host.ui.Push(scripted::Action::SetText("topLeftCol", c1));
        host.ui.Push(scripted::Action::SetText("topLeftRow", r1));
        host.ui.Push(scripted::Action::SetText("botRightCol", c2));
        host.ui.Push(scripted::Action::SetText("botRightRow", r2));
    }
    host.ui.Push(scripted::Action::Click("btnOK"));
}

}  // namespace

nlohmann::ordered_json BuildCellCommand(Host& host, const Options& options) {
    std::vector<std::string> allowed = {"file", "sheet", "range"};
    allowed.insert(allowed.end(), DrawingOptionNames().begin(), DrawingOptionNames().end());
    options.Expect(allowed);
    const std::string file = std::filesystem::absolute(options.Get("file")).lexically_normal();
    if (!std::filesystem::exists(file)) throw UsageError(file + ": no such workbook");
    InstallReader(host);
    ScriptRangeDialog(host, file, options.Get("sheet", ""), options.Get("range", ""));
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
