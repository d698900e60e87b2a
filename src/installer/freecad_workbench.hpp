// The FreeCAD workbench's installation: the workbench's files copied into the Mod folder
// of FreeCAD's user data folder, with a note of where the Python module is, so that
// FreeCAD finds both. The files to write are worked out here and written by the caller,
// all or nothing; files already as they should be are left alone, so a second
// installation changes nothing.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/sys.hpp"

namespace tbln::installer {

// The workbench's folder under Mod, and the file in it naming the module's folder.
inline constexpr const char* kFreecadWorkbench = "Quorvex";
inline constexpr const char* kModuleFolderFile = "tbln_module_folder.txt";

// FreeCAD's user data folder: $XDG_DATA_HOME/FreeCAD, else ~/.local/share/FreeCAD
// (empty values count as unset).
std::string DefaultFreecadUserDir(const std::string& xdgDataHome, const std::string& home);

// The files of the workbench folder `source` (its subfolders too; names starting with
// "." and Python caches left out) as they go into USERDIR/Mod/Quorvex, and the module
// note naming `moduleFolder`, each with its bytes; only those whose target is missing
// or differs, in path order. `report` gets one line per file to write. Raises the
// system's RuntimeError naming the file when a source cannot be read.
std::vector<std::pair<std::string, std::string>> FreecadWorkbenchFiles(
    sys::System& sys, const std::string& source, const std::string& userDir,
    const std::string& moduleFolder, const std::function<void(const std::string&)>& report);

}  // namespace tbln::installer
