// tbln parse-word --file DOC: ParseWord with Word's file-open dialog answered with DOC.
#include "apps/host/drawing_output.hpp"
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

nlohmann::ordered_json ParseWordCommand(Host& host, const Options& options) {
    std::vector<std::string> allowed = {"file"};
    allowed.insert(allowed.end(), DrawingOptionNames().begin(), DrawingOptionNames().end());
    options.Expect(allowed);
    host.ui.PushFileChoice(options.Get("file"));
    WordLineArray wordLines0;
    Integer pageNum0 = 0;
    Single pageWid0 = 0, pageHei0 = 0;
    std::string fileName0;
    const Boolean result = host.app.ParseWord(wordLines0, pageNum0, pageWid0, pageHei0, fileName0);
    WriteWordDrawings(options, result, wordLines0, pageNum0, pageWid0, pageHei0);
    return WordResultJson(host, result, wordLines0, pageNum0, pageWid0, pageHei0, fileName0);
}

}  // namespace tbln::host
