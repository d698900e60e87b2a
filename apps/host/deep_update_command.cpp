// tbln deep-update --file BOOK --sheet NAME (--range A1:H20 | --whole): the update of
// an imported range, as the host's update macro asks for it.
#include <filesystem>

#include "apps/host/change_report.hpp"
#include "apps/host/drawing_output.hpp"
#include "apps/host/host.hpp"
#include "apps/host/json_records.hpp"
#include "apps/host/reader_install.hpp"
#include "apps/host/streamed_json.hpp"

#include <iostream>
#include "common/utilities.hpp"

namespace tbln::host {

nlohmann::ordered_json DeepUpdateCommand(Host& host, const Options& options) {
    // The earlier capture is read first, so that a bad file stops before the update.
    const json earlier = options.Has("since") ? ReadJsonFile(options.Get("since")) : json();
    std::string fileName0 = std::filesystem::absolute(options.Get("file")).lexically_normal();
    std::string sheetName0 = options.Get("sheet");
    Integer startRow0 = -1, endRow0 = 0, startCol0 = 0, endCol0 = 0;
    if (options.Has("range") == options.Has("whole")) {
        throw UsageError("give either --range A1:H20 or --whole");
    }
    if (options.Has("range")) {
        const std::string range = options.Get("range");
        const auto bad = [&] {
            return UsageError("--range " + range + " is not a range like A1:H20");
        };
        const auto colon = range.find(':');
        if (colon == std::string::npos) throw bad();
        const auto cell = [&](const std::string& text, Integer& row, Integer& col) {
            const auto digit = text.find_first_of("0123456789");
            if (digit == 0 || digit == std::string::npos || digit > 2) throw bad();
            std::string letters = text.substr(0, digit);
            col = ColumnNumber(host.ui, letters);
            try {
                row = ToInteger(text.substr(digit));
            } catch (const RuntimeError&) {
                throw bad();
            }
            if (col < 1 || row < 1) throw bad();
        };
        cell(range.substr(0, colon), startRow0, startCol0);
        cell(range.substr(colon + 1), endRow0, endCol0);
    }
    InstallReader(host);
    ShowProgressOnTerminal(host, DialogId::DeepUpdateForm);

    std::string dwgdgn = "dwg";
    std::shared_ptr<Collection> excelFonts0;
    MyCellArray dgnCell0;
    MyShapeArray xlsShape0;
    MyImageArray xlsImage0;
    Single totalHeight0 = 0, totalWidth0 = 0;
    const Boolean result = host.app.DeepUpdate(fileName0, sheetName0, excelFonts0, dgnCell0,
                                               xlsShape0, xlsImage0, totalHeight0, totalWidth0,
                                               startRow0, endRow0, startCol0, endCol0, dwgdgn);
    EndProgressLine();
    ChangeReport report;
    if (options.Has("since")) {
        report = CompareCaptures(earlier, options.Get("since"), dgnCell0, xlsShape0, xlsImage0,
                                 startRow0, endRow0, startCol0, endCol0);
        std::cerr << report.summary;
    }
    WriteCaptureDrawings(host, options, result, dgnCell0, xlsShape0, xlsImage0, startRow0, endRow0,
                         startCol0, endCol0, report.cells);
    json out =
        CaptureArgumentsJson(result, fileName0, sheetName0, excelFonts0, xlsShape0, xlsImage0,
                             totalHeight0, totalWidth0, startRow0, endRow0, startCol0, endCol0);
    out["messages"] = host.Messages();
    if (options.Has("since")) out["changes"] = report.changes;
    PrintWithCells(std::cout, out, "dgnCell0", dgnCell0);
    return AlreadyPrinted();
}

}  // namespace tbln::host
