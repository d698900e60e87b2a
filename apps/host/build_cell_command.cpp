// tbln build-cell --file BOOK [--sheet NAME] [--range A1:H20]: the range import as a
// user does it in CellRangeForm, with the answers taken from the command line.
#include <filesystem>

#include <iostream>

#include "apps/host/drawing_output.hpp"
#include "apps/host/entry_points.hpp"
#include "apps/host/reader_install.hpp"
#include "apps/host/streamed_json.hpp"
#include "apps/lib/dialog_script.hpp"

namespace tbln::host {

nlohmann::ordered_json BuildCellCommand(Host& host, const Options& options) {
    // With an answers file, the workbook is the one its file step chooses.
    std::vector<std::string> inputs;
    if (!options.Has("answers")) {
        const std::string file = std::filesystem::absolute(options.Get("file")).lexically_normal();
        if (!std::filesystem::exists(file)) throw UsageError(file + ": no such workbook");
        try {
            script::RangeDialog(host.ui, file, options.Get("sheet", ""), options.Get("range", ""));
        } catch (const std::invalid_argument& e) {
            throw UsageError(std::string("--") + e.what());
        }
        inputs.push_back(file);
    }
    DrawingOutputs drawings(options, inputs);
    ShowProgressOnTerminal(host, DialogId::CellRangeForm);

    CaptureCall c;
    const json out = CallBuildCell(host, c);
    EndProgressLine();
    drawings.WriteCapture(host, c.result, c.fileName0, c.sheetName0, c.dgnCell0, c.xlsShape0,
                          c.xlsImage0, c.startRow0, c.endRow0, c.startCol0, c.endCol0);
    PrintWithCells(std::cout, out, "dgnCell0", c.dgnCell0);
    drawings.Finish();
    return AlreadyPrinted();
}

}  // namespace tbln::host
