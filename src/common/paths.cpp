#include "common/paths.hpp"

namespace tbln::paths {

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string ReaderFolder(sys::System& sys) {
    return Join(Join(sys.InstallRoot(), "JRE"), "bin");
}

std::string ReaderFile(sys::System& sys, const std::string& name) {
    return Join(ReaderFolder(sys), name);
}

std::string PicturesFolder(sys::System& sys) {
    return Join(sys.InstallRoot(), "pics");
}

std::string AcadFolder(sys::System& sys) {
    return Join(sys.InstallRoot(), "acad");
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> pieces(1);
    for (char ch : path) {
        if (ch == '/' || ch == '\\') {
            pieces.emplace_back();
        } else {
            pieces.back() += ch;
        }
    }
    return pieces;
}

std::string FileNamePart(const std::string& path) {
    return SplitPath(path).back();
}

}  // namespace tbln::paths
