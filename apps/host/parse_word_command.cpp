// tbln parse-word --file DOC: ParseWord with Word's file-open dialog answered with DOC.
#include <iostream>

#include "adapters/document/document_model.hpp"
#include "apps/host/drawing_output.hpp"
#include "apps/host/host.hpp"
#include "apps/host/json_records.hpp"
#include "apps/host/streamed_json.hpp"

namespace tbln::host {

nlohmann::ordered_json PrintWordResult(Host& host, Boolean result, const WordLineArray& wordLines0,
                                       Integer pageNum0, Single pageWid0, Single pageHei0,
                                       const std::string& fileName0) {
    json lines = nullptr;
    if (wordLines0.IsAllocated()) {
        lines = {{"lower", wordLines0.Lower()}, {"upper", wordLines0.Upper()}, {"items", nullptr}};
    }
    const json out = {{"result", result != False},
                      {"wordLines0", lines},
                      {"pageNum0", pageNum0},
                      {"pageWid0", SingleJson(pageWid0)},
                      {"pageHei0", SingleJson(pageHei0)},
                      {"fileName0", fileName0},
                      {"messages", host.Messages()}};
    // A long document has hundreds of thousands of lines: written one at a time.
    std::vector<std::pair<std::string, ItemSource>> arrays;
    if (wordLines0.IsAllocated()) {
        arrays.emplace_back("/wordLines0/items", [&](const ItemSink& sink) {
            for (const auto& line : wordLines0) sink(RecordJson(line));
        });
    }
    PrintWithArrays(std::cout, out, arrays);
    return AlreadyPrinted();
}

void PrintWhyNotAWordFile(Host& host, const std::string& path) {
    static const std::string kRefused = " is not a valid Word file";
    const auto& shown = host.ui.Messages();
    if (shown.empty() || !shown.back().prompt.ends_with(kRefused)) return;
    try {
        document::ReadDocx(path);
    } catch (const RuntimeError& e) {
        std::cerr << "tbln: " << e.Description() << "\n";
    }
}

nlohmann::ordered_json ParseWordCommand(Host& host, const Options& options) {
    host.ui.PushFileChoice(options.Get("file"));
    WordLineArray wordLines0;
    Integer pageNum0 = 0;
    Single pageWid0 = 0, pageHei0 = 0;
    std::string fileName0;
    const Boolean result = host.app.ParseWord(wordLines0, pageNum0, pageWid0, pageHei0, fileName0);
    WriteWordDrawings(options, result, wordLines0, pageNum0, pageWid0, pageHei0);
    if (result == False) PrintWhyNotAWordFile(host, options.Get("file"));
    return PrintWordResult(host, result, wordLines0, pageNum0, pageWid0, pageHei0, fileName0);
}

}  // namespace tbln::host
