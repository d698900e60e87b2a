// tbln set-top-most-window: puts a window into the top-most band or takes it out.
#include <string>

#include "apps/host/entry_points.hpp"

namespace tbln::host {

nlohmann::ordered_json SetTopMostWindowCommand(Host& host, const Options& options) {
    const std::string hwndText = options.Get("hwnd");
    Long hwnd = 0;
    try {
        std::size_t used = 0;
        const long long v = std::stoll(hwndText, &used, 0);
        if (used != hwndText.size()) throw std::invalid_argument(hwndText);
        hwnd = CheckedLong(v);
    } catch (const std::exception&) {
        throw UsageError("--hwnd " + hwndText + " is not a window handle (a 32-bit number)");
    }
    const std::string topmostText = options.Get("topmost");
    if (topmostText != "true" && topmostText != "false") {
        throw UsageError("--topmost " + topmostText + " is not true or false");
    }
    return CallSetTopMostWindow(host, hwnd, topmostText == "true" ? True : False);
}

}  // namespace tbln::host
