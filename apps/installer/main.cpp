// Tabulon: the installer. Registers the system with every AutoCAD profile in the
// current user's hive (a file-backed hive on POSIX, the real registry on Windows) and
// prints one line per value written and per file rewritten. Messages for the user are
// printed, as every run here is non-interactive.
#include <CLI/CLI.hpp>
#include <algorithm>
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
#endif
#include "adapters/scripted/scripted_ui.hpp"
#include "core/error.hpp"
#include "installer/installer.hpp"

#ifndef _WIN32
namespace {

// Where the hive file lives when --hive does not name one.
constexpr const char* kDefaultHive = "registry/current_user.reg";

}  // namespace
#endif

int main(int argc, char** argv) {
    using namespace tbln;
    CLI::App cli(
        "Tabulon: registers the system with every AutoCAD profile of the current user's "
        "hive and prints one line per value written and per file rewritten",
        "Tabulon");
    std::string root, hivePath;
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
