// tbln set-top-most-window: puts a window into the top-most band or takes it out.
#include <string>

#include "apps/host/dialog_script.hpp"

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
    Boolean Topmost = topmostText == "true" ? True : False;
    const Long result = host.app.SetTopMostWindow(hwnd, Topmost);
    auto calls = nlohmann::ordered_json::array();
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
