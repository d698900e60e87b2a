// Host registration: the install folder in the support path, the menu group and the
// pull-down menu of every AutoCAD profile of the current user, and the partial menu in
// the main customization file of the release that keeps its menus in one.
//
// The texts written here (folder, group and pop data, the partial menu line) are data
// for the CAD host and stay exactly as the host expects them, whatever the install root
// is on this system.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/registry.hpp"
#include "platform/sys.hpp"
#include "platform/ui.hpp"

namespace tbln::installer {

inline constexpr const char* kSupportFolder = "C:\\Quorvex\\acad";
inline constexpr const char* kSupportPrefix = "C:\\Quorvex\\acad;";
inline constexpr const char* kInstallFolder = "C:\\Quorvex\\";
inline constexpr const char* kGroupData = "Quorvex C:\\Quorvex\\acad\\Quorvex";
inline constexpr const char* kPopData = "Quorvex pop1";
inline constexpr const char* kPopDataR162 = "QUORVEX pop1";
inline constexpr const char* kPartialMenuLine =
    "        <PartialMenuFile>c:\\quorvex\\acad\\quorvex.cui</PartialMenuFile>";
inline constexpr const char* kPartialMenuMarker = "quorvex.cui";
inline constexpr const char* kCommonItems = "/CommonItems";
inline constexpr const char* kHostKey = "SOFTWARE\\Autodesk\\AutoCAD\\";

// What an installation works on, and where it tells what it changed: one line per
// value set, per file rewritten and per thing it had to leave alone. The hive given
// keeps the changes; the rewritten customization files are kept in `files`, so that the
// caller writes them together with the hive, all or nothing, once the run is complete
// (or, in a dry run, writes nothing).
struct InstallContext {
    registry::Hive& hive;
    sys::System& sys;
    ui::UserInterface& ui;
    std::function<void(const std::string&)> report;
    // The rewritten customization files, by path; a file named by several profiles is
    // read from here the second time, as it will be.
    mutable std::map<std::string, std::string> files{};

    void Report(const std::string& line) const {
        if (report) report(line);
    }
};

// True unless some value whose name begins with "Gro" holds data containing
// "C:\Quorvex\" (letter case aside).
bool GroupMissing(registry::Hive& hive, const std::vector<std::string>& names,
                  const std::string& menusKey);
// True unless some value whose name begins with "Pop" holds data containing "Quorvex".
bool PopMissing(registry::Hive& hive, const std::vector<std::string>& names,
                const std::string& menusKey);
// 1 + the largest number after "Group" in the names beginning with "Gro"; 1 when none.
long NextGroupNumber(const std::vector<std::string>& names);
// 1 + the largest number below 21 after "Pop" in the names beginning with "Pop".
long NextPopNumber(const std::vector<std::string>& names);

// Registers the system with every profile of every product of one release ("R15.0",
// "R16.0", "R16.1", "R16.2").
void RegisterRelease(const InstallContext& context, const std::string& release);

// Adds the partial menu line before every "/CommonItems" line of a customization file,
// unless the file already names "quorvex.cui". The file's lines keep their bytes and
// end in CR LF; the new text goes to the context's files. A file that cannot be read is
// left unchanged, and reported.
void AddPartialMenu(const InstallContext& context, const std::string& path);

}  // namespace tbln::installer
