// The fixed folders and files of an installation, all built from the install root in
// this one place, and the one routine that splits a path at its folder separators.
#pragma once

#include <string>
#include <vector>

#include "platform/sys.hpp"

namespace tbln::paths {

// The reader folder: the external reader, its batch file and its exchange files.
std::string ReaderFolder(sys::System& sys);
// A file of the reader folder ("run.bat", "output.txt", "image.txt", "flag.txt").
std::string ReaderFile(sys::System& sys, const std::string& name);
// The folder the reader puts a sheet's picture files into.
std::string PicturesFolder(sys::System& sys);
// The CAD host's folder of the installation.
std::string AcadFolder(sys::System& sys);

// The program name run.bat starts; the install step places the reader under it, as
// the file kReaderProgramFile (on Windows the shell finds the program by its extension).
inline constexpr const char* kReaderProgram = "javaw";
#ifdef _WIN32
inline constexpr const char* kReaderProgramFile = "javaw.exe";
#else
inline constexpr const char* kReaderProgramFile = kReaderProgram;
#endif

// Joins a folder and a name with "/".
std::string Join(const std::string& folder, const std::string& name);

// The pieces of a path split at "/" and "\" (empty pieces kept, as a split does).
std::vector<std::string> SplitPath(const std::string& path);
// The last piece of a path: the file name.
std::string FileNamePart(const std::string& path);

}  // namespace tbln::paths
