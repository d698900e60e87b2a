// tbln deep-update --file BOOK --sheet NAME (--range A1:H20 | --whole): the update of
// an imported range, as the host's update macro asks for it.
#include <filesystem>

#include <iostream>
#include "apps/host/change_report.hpp"

#include "apps/host/drawing_output.hpp"
#include "apps/host/entry_points.hpp"
#include "apps/host/reader_install.hpp"
#include "apps/host/streamed_json.hpp"
#include "common/utilities.hpp"

namespace tbln::host {

nlohmann::ordered_json DeepUpdateCommand(Host& host, const Options& options) {
    // The earlier capture is read first, so that a bad file stops before the update.
    const json earlier = options.Has("since") ? ReadJsonFile(options.Get("since")) : json();
    if (options.Has("since")) CheckEarlierCapture(earlier, options.Get("since"));
    CaptureCall c;
    c.fileName0 = std::filesystem::absolute(options.Get("file")).lexically_normal();
    c.sheetName0 = options.Get("sheet");
    c.startRow0 = -1;
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
        cell(range.substr(0, colon), c.startRow0, c.startCol0);
        cell(range.substr(colon + 1), c.endRow0, c.endCol0);
    }
    std::vector<std::string> inputs = {c.fileName0};
    if (options.Has("since")) inputs.push_back(options.Get("since"));
    DrawingOutputs drawings(options, inputs);
    ShowProgressOnTerminal(host, DialogId::DeepUpdateForm);
    json out = CallDeepUpdate(host, c);
    EndProgressLine();
    ChangeReport report;
    if (options.Has("since")) {
        report =
            CompareCaptures(EarlierFromJson(earlier, options.Get("since")), c.dgnCell0, c.xlsShape0,
                            c.xlsImage0, c.startRow0, c.endRow0, c.startCol0, c.endCol0);
        std::cerr << report.summary;
        out["changes"] = report.changes;
    }
    drawings.WriteCapture(host, c.result, c.fileName0, c.sheetName0, c.dgnCell0, c.xlsShape0,
                          c.xlsImage0, c.startRow0, c.endRow0, c.startCol0, c.endCol0,
                          report.cells);
    PrintWithCells(std::cout, out, "dgnCell0", c.dgnCell0);
    drawings.Finish();
    return AlreadyPrinted();
}

}  // namespace tbln::host
