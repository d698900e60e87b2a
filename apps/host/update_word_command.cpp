// tbln update-word --file DOC: UpdateWord on DOC, without a file dialog.
#include <iostream>

#include "apps/host/entry_points.hpp"

namespace tbln::host {

nlohmann::ordered_json UpdateWordCommand(Host& host, const Options& options) {
    WordCall c;
    c.fileName0 = options.Get("file");
    const json out = CallUpdateWord(host, c);
    if (c.result == False) PrintWhyNotAWordFile(host, options.Get("file"));
    return PrintWordResult(std::cout, out, c.wordLines0);
}

}  // namespace tbln::host
