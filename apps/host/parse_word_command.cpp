// tbln parse-word --file DOC: ParseWord with Word's file-open dialog answered with DOC.
#include <iostream>

#include "adapters/document/document_model.hpp"
#include "apps/host/drawing_output.hpp"
#include "apps/host/entry_points.hpp"
#include "apps/host/streamed_json.hpp"

namespace tbln::host {

nlohmann::ordered_json PrintWordResult(std::ostream& to, const json& out,
                                       const WordLineArray& wordLines0) {
    // A long document has hundreds of thousands of lines: written one at a time.
    std::vector<std::pair<std::string, ItemSource>> arrays;
    if (wordLines0.IsAllocated()) {
        arrays.emplace_back("/wordLines0/items", [&](const ItemSink& sink) {
            for (const auto& line : wordLines0) sink(RecordJson(line));
        });
    }
    PrintWithArrays(to, out, arrays);
    return AlreadyPrinted();
}

void PrintWhyNotAWordFile(Host& host, const std::string& path) {
    static const std::string kRefused = " is not a valid Word file";
    const auto shown = host.Messages();
    if (shown.empty() || !shown.back()["text"].get<std::string>().ends_with(kRefused)) return;
    try {
        document::ReadDocx(path);
    } catch (const RuntimeError& e) {
        std::cerr << "tbln: " << e.Description() << "\n";
    }
}

nlohmann::ordered_json ParseWordCommand(Host& host, const Options& options) {
    // With an answers file, the document is the one its file step chooses.
    const bool answering = options.Has("answers");
    DrawingOutputs drawings(options, answering ? std::vector<std::string>{}
                                               : std::vector<std::string>{options.Get("file")});
    if (!answering) host.ui.PushFileChoice(options.Get("file"));
    WordCall c;
    const json out = CallParseWord(host, c);
    drawings.WriteWord(c.result, c.wordLines0, c.pageNum0, c.pageWid0, c.pageHei0);
    if (c.result == False) {
        PrintWhyNotAWordFile(host, answering ? c.fileName0 : options.Get("file"));
    }
    PrintWordResult(std::cout, out, c.wordLines0);
    drawings.Finish();
    return AlreadyPrinted();
}

}  // namespace tbln::host
