// tbln parse-word --file DOC: ParseWord with Word's file-open dialog answered with DOC.
#include <iostream>

#include "adapters/document/document_model.hpp"
#include "apps/host/host.hpp"
#include "apps/host/json_records.hpp"

namespace tbln::host {

nlohmann::ordered_json WordResultJson(Host& host, Boolean result, const WordLineArray& wordLines0,
                                      Integer pageNum0, Single pageWid0, Single pageHei0,
                                      const std::string& fileName0) {
    return {{"result", result != False},
            {"wordLines0", ArrayJson(wordLines0)},
            {"pageNum0", pageNum0},
            {"pageWid0", SingleJson(pageWid0)},
            {"pageHei0", SingleJson(pageHei0)},
            {"fileName0", fileName0},
            {"messages", host.Messages()}};
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
    options.Expect({"file"});
    host.ui.PushFileChoice(options.Get("file"));
    WordLineArray wordLines0;
    Integer pageNum0 = 0;
    Single pageWid0 = 0, pageHei0 = 0;
    std::string fileName0;
    const Boolean result = host.app.ParseWord(wordLines0, pageNum0, pageWid0, pageHei0, fileName0);
    if (result == False) PrintWhyNotAWordFile(host, options.Get("file"));
    return WordResultJson(host, result, wordLines0, pageNum0, pageWid0, pageHei0, fileName0);
}

}  // namespace tbln::host
