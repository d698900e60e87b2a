// tbln update-word --file DOC: UpdateWord on DOC, without a file dialog.
#include "apps/host/host.hpp"
#include "apps/host/json_records.hpp"

namespace tbln::host {

nlohmann::ordered_json UpdateWordCommand(Host& host, const Options& options) {
    WordLineArray wordLines0;
    Integer pageNum0 = 0;
    Single pageWid0 = 0, pageHei0 = 0;
    std::string fileName0 = options.Get("file");
    const Boolean result = host.app.UpdateWord(wordLines0, pageNum0, pageWid0, pageHei0, fileName0);
    if (result == False) PrintWhyNotAWordFile(host, options.Get("file"));
    return PrintWordResult(host, result, wordLines0, pageNum0, pageWid0, pageHei0, fileName0);
}

}  // namespace tbln::host
