#include "installer/installer.hpp"

#include "core/error.hpp"

namespace tbln::installer {

std::vector<std::string> ReleasesFor(const std::string& firstItem) {
    if (firstItem == "2004") return {"R16.0", "R16.1", "R16.2"};
    return {"R15.0"};
}

std::string FirstItem(const std::string& text) {
    std::size_t pos = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    if (pos < text.size() && text[pos] == '"') {
        const std::size_t close = text.find('"', pos + 1);
        return text.substr(pos + 1, close == std::string::npos ? close : close - pos - 1);
    }
    const std::size_t end = text.find_first_of(",\r\n", pos);
    std::string item = text.substr(pos, end == std::string::npos ? end : end - pos);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.pop_back();
    return item;
}

bool InstallerStart(const InstallContext& context) {
    const std::string marker = context.sys.InstallRoot() + "/" + kMarkerFile;
    std::string text;
    try {
        text = context.sys.ReadFile(marker);
    } catch (const RuntimeError&) {
        const std::string support = std::string("\r\n\r\n") + kSupportLine;
        context.ui.MsgBox("No version.txt file found in C:\\Quorvex\\acad\\     " + support,
                          ui::vbInformation, "Error");
        context.ui.MsgBox("Tabulon  installation  will  be  terminated     " + support,
                          ui::vbInformation, "Tabulon Installation");
        return false;
    }
    for (const auto& release : ReleasesFor(FirstItem(text))) RegisterRelease(context, release);
    return true;
}

}  // namespace tbln::installer
