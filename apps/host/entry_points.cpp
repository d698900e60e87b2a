#include "apps/host/entry_points.hpp"

#include "apps/host/json_records.hpp"
#include "apps/host/reader_install.hpp"

namespace tbln::host {

namespace {

// The arguments BuildCell and DeepUpdate share, in their order.
json CaptureJson(const CaptureCall& c) {
    return {{"result", c.result != False},
            {"fileName0", c.fileName0},
            {"sheetName0", c.sheetName0},
            {"excelFonts0", CollectionJson(c.excelFonts0)},
            {"dgnCell0", nullptr},
            {"xlsShape0", ArrayJson(c.xlsShape0)},
            {"xlsImage0", ArrayJson(c.xlsImage0)},
            {"totalHeight0", SingleJson(c.totalHeight0)},
            {"totalWidth0", SingleJson(c.totalWidth0)},
            {"startRow0", c.startRow0},
            {"endRow0", c.endRow0},
            {"startCol0", c.startCol0},
            {"endCol0", c.endCol0}};
}

json WordJson(Host& host, const WordCall& c) {
    json lines = nullptr;
    if (c.wordLines0.IsAllocated()) {
        lines = {
            {"lower", c.wordLines0.Lower()}, {"upper", c.wordLines0.Upper()}, {"items", nullptr}};
    }
    return {{"result", c.result != False},
            {"wordLines0", lines},
            {"pageNum0", c.pageNum0},
            {"pageWid0", SingleJson(c.pageWid0)},
            {"pageHei0", SingleJson(c.pageHei0)},
            {"fileName0", c.fileName0},
            {"messages", host.Messages()}};
}

}  // namespace

json CallBuildCell(Host& host, CaptureCall& c) {
    InstallReader(host);
    c.dwgdgn = "dwg";
    c.QVPath = host.sys.InstallRoot();
    c.result = host.app.BuildCell(c);
    json out = CaptureJson(c);
    out["fastUpdate0"] = c.fastUpdate0 != False;
    out["messages"] = host.Messages();
    return out;
}

json CallDeepUpdate(Host& host, CaptureCall& c) {
    InstallReader(host);
    c.dwgdgn = "dwg";
    c.result = host.app.DeepUpdate(c);
    json out = CaptureJson(c);
    out["messages"] = host.Messages();
    return out;
}

json CallParseWord(Host& host, WordCall& c) {
    c.result = host.app.ParseWord(c.wordLines0, c.pageNum0, c.pageWid0, c.pageHei0, c.fileName0);
    return WordJson(host, c);
}

json CallUpdateWord(Host& host, WordCall& c) {
    c.result = host.app.UpdateWord(c.wordLines0, c.pageNum0, c.pageWid0, c.pageHei0, c.fileName0);
    return WordJson(host, c);
}

json CallMakeBlock(Host& host, TagPosArray tags0) {
    TagPosArray tags1;
    std::string fileName0, sheetName0, QVPath = host.sys.InstallRoot();
    const Boolean result = host.app.MakeBlock(tags0, tags1, fileName0, sheetName0, QVPath);
    return {{"result", result != False},  {"tags0", ArrayJson(tags0)}, {"tags1", ArrayJson(tags1)},
            {"fileName0", fileName0},     {"sheetName0", sheetName0},  {"QVPath", QVPath},
            {"messages", host.Messages()}};
}

json CallInsertBlock(Host& host, TagPosArray tags0, std::string fileName0, std::string sheetName0) {
    TagPosArray tags1;
    const Boolean result = host.app.InsertBlock(tags0, tags1, fileName0, sheetName0);
    return {{"result", result != False}, {"tags0", ArrayJson(tags0)},
            {"tags1", ArrayJson(tags1)}, {"fileName0", fileName0},
            {"sheetName0", sheetName0},  {"messages", host.Messages()}};
}

json CallInsertBlockPop(Host& host, TagPosArray tags0, std::string fileName0,
                        std::string sheetName0, Integer row, Integer col) {
    TagPosArray tags1;
    const Boolean result = host.app.InsertBlockPop(tags0, tags1, fileName0, sheetName0, row, col);
    return {{"result", result != False},
            {"tags1", ArrayJson(tags1)},
            {"fileName0", fileName0},
            {"sheetName0", sheetName0},
            {"messages", host.Messages()}};
}

json CallPopulate(Host& host, std::string dwgdgn) {
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

json CallExportDGNName(Host& host, std::string fileFormat0) {
    host.app.ExportDGNName(fileFormat0);
    return {{"fileFormat0", fileFormat0}, {"messages", host.Messages()}};
}

json CallSetLUC(Host& host) {
    host.app.SetLUC();
    return {{"messages", host.Messages()}};
}

json CallSetTopMostWindow(Host& host, Long hwnd, Boolean Topmost) {
    const Long result = host.app.SetTopMostWindow(hwnd, Topmost);
    auto calls = json::array();
    for (const auto& call : host.ui.Journal()) {
        calls.push_back({{"function", call.function}, {"args", call.args}});
    }
    return {{"result", result},
            {"hwnd", hwnd},
            {"Topmost", Topmost != False},
            {"windowCalls", calls},
            {"messages", host.Messages()}};
}

}  // namespace tbln::host
