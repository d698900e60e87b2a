// The installer's start: reads the release marker in the install root's acad folder
// and registers the releases it names.
#pragma once

#include <string>

#include "installer/acad_registry.hpp"

namespace tbln::installer {

// The marker file, relative to the install root.
inline constexpr const char* kMarkerFile = "acad/version.txt";
// The line of the failure messages that tells the user where to get help.
inline constexpr const char* kSupportLine =
    "Please contact Quorvex support at support@quorvex.example for help.";

// The releases a marker's first item stands for: "2004" the three 2004-family releases,
// anything else "R15.0".
std::vector<std::string> ReleasesFor(const std::string& firstItem);

// The first comma-delimited item of a marker file's text: leading blanks skipped, a
// quoted item up to its closing quote, else up to a comma or the end of the line with
// trailing blanks removed. An empty text gives an empty item.
std::string FirstItem(const std::string& text);

// Runs the installation: when the marker file cannot be read, shows the two messages
// and returns false without changing anything; otherwise registers every release the
// marker names and returns true.
bool InstallerStart(const InstallContext& context);

}  // namespace tbln::installer
