#include "installer/freecad_workbench.hpp"

#include <algorithm>

namespace tbln::installer {

namespace {

bool Skipped(const std::string& name) {
    return name.empty() || name.front() == '.' || name == "__pycache__" || name.ends_with(".pyc");
}

// Every file under `folder`, as paths relative to it, in name order.
void ListFiles(sys::System& sys, const std::string& folder, const std::string& relative,
               std::vector<std::string>& out) {
    auto names = sys.ListDir(relative.empty() ? folder : folder + "/" + relative);
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        if (Skipped(name)) continue;
        const std::string path = relative.empty() ? name : relative + "/" + name;
        if (sys.DirExists(folder + "/" + path)) {
            ListFiles(sys, folder, path, out);
        } else {
            out.push_back(path);
        }
    }
}

}  // namespace

std::string DefaultFreecadUserDir(const std::string& xdgDataHome, const std::string& home) {
    if (!xdgDataHome.empty()) return xdgDataHome + "/FreeCAD";
    return home + "/.local/share/FreeCAD";
}

std::vector<std::pair<std::string, std::string>> FreecadWorkbenchFiles(
    sys::System& sys, const std::string& source, const std::string& userDir,
    const std::string& moduleFolder, const std::function<void(const std::string&)>& report) {
    const std::string target = userDir + "/Mod/" + kFreecadWorkbench;
    std::vector<std::pair<std::string, std::string>> wanted;
    std::vector<std::string> files;
    ListFiles(sys, source, "", files);
    for (const auto& file : files) {
        wanted.emplace_back(target + "/" + file, sys.ReadFile(source + "/" + file));
    }
    wanted.emplace_back(target + "/" + kModuleFolderFile, moduleFolder + "\n");
    std::vector<std::pair<std::string, std::string>> changed;
    for (auto& [path, bytes] : wanted) {
        if (sys.FileExists(path) && sys.ReadFile(path) == bytes) continue;
        if (report) report("wrote " + path);
        changed.emplace_back(path, std::move(bytes));
    }
    return changed;
}

}  // namespace tbln::installer
