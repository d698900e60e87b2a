// Tabulon: the installer. Registers the system with every AutoCAD profile in the
// current user's hive (a file-backed hive on POSIX, the real registry on Windows), or on
// POSIX with --host freecad installs the FreeCAD workbench, and prints one line per value
// written and per file rewritten. Messages for the user are printed, as every run here is
// non-interactive.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "adapters/posix/posix_system.hpp"
#ifdef _WIN32
#include "adapters/win32/registry_hive.hpp"
#include "adapters/win32/wide_text.hpp"
#include "adapters/win32/win32_system.hpp"
#else
#include "adapters/posix/file_hive.hpp"
#include "installer/freecad_workbench.hpp"
#endif
#include "adapters/scripted/scripted_ui.hpp"
#include "core/error.hpp"
#include "installer/installer.hpp"

#ifndef _WIN32
namespace {

// Where the hive file lives when --hive does not name one.
constexpr const char* kDefaultHive = "registry/current_user.reg";

// The installation's copy for an installed Tabulon, else the build tree's.
std::string BuildOrInstalled(const char* build, const char* installed) {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return !ec && self.parent_path() == TBLN_INSTALLED_BINDIR ? installed : build;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Installs the FreeCAD workbench into USERDIR/Mod, all or nothing; the folders made for
// it go again when the files cannot be written.
int InstallFreecad(std::string userDir, bool dryRun) {
    using namespace tbln;
    if (userDir.empty()) {
        userDir =
            installer::DefaultFreecadUserDir(Environment("XDG_DATA_HOME"), Environment("HOME"));
    }
    const std::string source = BuildOrInstalled(TBLN_FREECAD_BUILD, TBLN_FREECAD_INSTALLED);
    const std::string module = BuildOrInstalled(TBLN_PYTHON_BUILD, TBLN_PYTHON_INSTALLED);
    posix::PosixSystem sys(userDir);
    if (!sys.DirExists(source)) {
        std::cerr << "Tabulon: the workbench's files are not at " << source
                  << "; nothing was changed\n";
        return 1;
    }
    std::vector<std::string> lines;
    const auto files = installer::FreecadWorkbenchFiles(
        sys, source, userDir, module, [&](const std::string& line) { lines.push_back(line); });
    if (!dryRun && !files.empty()) {
        std::vector<std::filesystem::path> made;
        try {
            for (const auto& [path, bytes] : files) {
                const auto folder = std::filesystem::path(path).parent_path();
                std::vector<std::filesystem::path> missing;
                for (auto f = folder; !f.empty() && !sys.DirExists(f.string()); f = f.parent_path())
                    missing.push_back(f);
                sys.MakeDirs(folder.string());
                made.insert(made.end(), missing.begin(), missing.end());
            }
            posix::WriteFilesAtomically(files);
        } catch (const RuntimeError& e) {
            std::error_code ignored;
            for (const auto& f : made) std::filesystem::remove(f, ignored);
            std::cerr << "Tabulon: " << e.Description() << "; nothing was changed\n";
            return 1;
        }
    }
    for (const auto& line : lines) std::cout << line << "\n";
    if (lines.empty()) {
        std::cerr << "Tabulon: the workbench in " << userDir << "/Mod/"
                  << installer::kFreecadWorkbench << " is up to date\n";
    }
    if (dryRun) std::cerr << "Tabulon: dry run, nothing was written\n";
    return 0;
}

}  // namespace
#endif

int main(int argc, char** argv) {
    using namespace tbln;
    CLI::App cli(
        "Tabulon: registers the system with every AutoCAD profile of the current user's "
        "hive and prints one line per value written and per file rewritten",
        "Tabulon");
    std::string root, hivePath, host = "acad", userDir;
    bool dryRun = false;
    // An empty path would silently stand for the default one.
    const CLI::Validator kNotEmpty(
        [](const std::string& v) { return v.empty() ? std::string("is empty") : std::string(); },
        "", "not empty");
#ifdef _WIN32
    cli.add_option("--root", root, "the install root (default: QUORVEX_ROOT, else C:\\Quorvex)")
        ->type_name("DIR")
        ->check(kNotEmpty);
#else
    cli.add_option("--root", root,
                   "the install root (default: QUORVEX_ROOT, else ~/.local/share/quorvex)")
        ->type_name("DIR")
        ->check(kNotEmpty);
    cli.add_option("--hive", hivePath,
                   "the current user's hive file (default: ROOT/registry/current_user.reg)")
        ->type_name("FILE")
        ->check(kNotEmpty);
#endif
    cli.add_flag("--dry-run", dryRun, "print what would change without writing anything");
#ifndef _WIN32
    cli.add_option("--host", host,
                   "the CAD host to register with: acad (every AutoCAD profile of the hive) or "
                   "freecad (the workbench in FreeCAD's user Mod folder)")
        ->check(CLI::IsMember({"acad", "freecad"}));
    auto* userDirOption =
        cli.add_option("--user-dir", userDir,
                       "with --host freecad: FreeCAD's user data folder (default: "
                       "$XDG_DATA_HOME/FreeCAD, else ~/.local/share/FreeCAD)")
            ->type_name("DIR")
            ->check(kNotEmpty);
#endif
    try {
#ifdef _WIN32
        // The arguments as the system passed them (UTF-16), in UTF-8; CLI11 takes them last
        // first.
        (void)argc;
        (void)argv;
        auto args = win32::CommandLineArguments();
        std::reverse(args.begin(), args.end());
        cli.parse(args);
#else
        cli.parse(argc, argv);
#endif
    } catch (const CLI::CallForHelp& e) {
        return cli.exit(e, std::cout, std::cerr);
    } catch (const CLI::ParseError& e) {
        std::cerr << "Tabulon: " << e.what() << " (Tabulon --help lists the options)\n";
        return 2;
    }
#ifndef _WIN32
    if (host == "freecad") {
        try {
            return InstallFreecad(userDir, dryRun);
        } catch (const RuntimeError& e) {
            std::cerr << "Tabulon: " << e.Description() << "; nothing was changed\n";
            return 1;
        }
    }
    if (userDirOption->count() > 0) {
        std::cerr << "Tabulon: --user-dir is for --host freecad (Tabulon --help lists the "
                     "options)\n";
        return 2;
    }
#endif
    root = posix::ResolveInstallRoot(root);
#ifdef _WIN32
    // The real registry; what the messages call the hive.
    hivePath = "HKEY_CURRENT_USER";
#else
    if (hivePath.empty()) hivePath = root + "/" + kDefaultHive;
#endif

    try {
#ifdef _WIN32
        win32::RegistryHive hive;
        win32::Win32System sys(root);
#else
        // Another installation changing the same hive waits until this one has written it.
        const posix::HiveFileLock lock(hivePath);
        posix::FileHive hive(hivePath);
        posix::PosixSystem sys(root);
#endif
        scripted::ScriptedUi ui;
        ui.onMessage = [](const scripted::Message& m) {
            std::cerr << m.title << ": " << m.prompt << "\n";
        };
        std::vector<std::string> lines;
        installer::InstallContext context{hive, sys, ui,
                                          [&](const std::string& line) { lines.push_back(line); }};
        if (!installer::InstallerStart(context)) {
            std::cerr << "Tabulon: " << root << "/" << installer::kMarkerFile
                      << " cannot be read; nothing was changed\n";
            return 1;
        }
        // Everything is written once, at the end, all or nothing: the customization
        // files and the hive.
        if (!dryRun) {
            std::vector<std::pair<std::string, std::string>> files(context.files.begin(),
                                                                   context.files.end());
#ifndef _WIN32
            if (hive.Changed()) files.emplace_back(hive.Path(), hive.Text());
#endif
            try {
                posix::WriteFilesAtomically(files);
#ifdef _WIN32
                // The registry last, once the files are in place.
                hive.Commit();
#endif
            } catch (const RuntimeError& e) {
                std::cerr << "Tabulon: " << e.Description() << "; nothing was changed\n";
                return 1;
            }
        }
        for (const auto& line : lines) std::cout << line << "\n";
        if (lines.empty()) std::cerr << "Tabulon: nothing to change in " << hivePath << "\n";
        if (dryRun) std::cerr << "Tabulon: dry run, nothing was written\n";
        return 0;
#ifndef _WIN32
    } catch (const posix::HiveFileError& e) {
        std::cerr << "Tabulon: the hive file " << e.what() << "\n";
        return 1;
#endif
    } catch (const RuntimeError& e) {
        std::cerr << "Tabulon: " << e.Description() << "\n";
        return 1;
    } catch (const std::bad_alloc&) {
        std::cerr << "Tabulon: out of memory\n";
        return 2;
    } catch (const std::exception& e) {
        // Nothing leaves the program unexplained.
        std::cerr << "Tabulon: " << e.what() << "\n";
        return 2;
    }
}
