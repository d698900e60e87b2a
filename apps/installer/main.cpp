// Tabulon: the installer. Registers the system with every AutoCAD profile in the
// current user's hive (a file-backed hive on this system) and prints one line per
// value written and per file rewritten. Messages for the user are printed, as every
// run here is non-interactive.
#include <iostream>
#include <string>
#include <vector>

#include "adapters/posix/file_hive.hpp"
#include "adapters/posix/posix_system.hpp"
#include "adapters/scripted/scripted_ui.hpp"
#include "core/error.hpp"
#include "installer/installer.hpp"

namespace {

constexpr const char* kUsage =
    "usage: Tabulon [--root DIR] [--hive FILE] [--dry-run]\n"
    "  --root DIR   the install root (default: QUORVEX_ROOT, else ~/.local/share/quorvex)\n"
    "  --hive FILE  the current user's hive file (default: ROOT/registry/current_user.reg)\n"
    "  --dry-run    print what would change without writing anything\n";

// Where the hive file lives when --hive does not name one.
constexpr const char* kDefaultHive = "registry/current_user.reg";

}  // namespace

int main(int argc, char** argv) {
    using namespace tbln;
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string root, hivePath;
    bool dryRun = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (a == "--dry-run") {
            dryRun = true;
        } else if ((a == "--root" || a == "--hive") && i + 1 < args.size() &&
                   !args[i + 1].empty()) {
            (a == "--root" ? root : hivePath) = args[++i];
        } else {
            std::cerr << "Tabulon: "
                      << (a == "--root" || a == "--hive" ? "the option " + a + " needs a value"
                                                         : "unknown argument " + a)
                      << "\n"
                      << kUsage;
            return 2;
        }
    }
    root = posix::ResolveInstallRoot(root);
    if (hivePath.empty()) hivePath = root + "/" + kDefaultHive;

    try {
        posix::FileHive hive(hivePath);
        posix::PosixSystem sys(root);
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
            if (hive.Changed()) files.emplace_back(hive.Path(), hive.Text());
            try {
                posix::WriteFilesAtomically(files);
            } catch (const RuntimeError& e) {
                std::cerr << "Tabulon: " << e.Description() << "; nothing was changed\n";
                return 1;
            }
        }
        for (const auto& line : lines) std::cout << line << "\n";
        if (lines.empty()) std::cerr << "Tabulon: nothing to change in " << hivePath << "\n";
        if (dryRun) std::cerr << "Tabulon: dry run, nothing was written\n";
        return 0;
    } catch (const posix::HiveFileError& e) {
        std::cerr << "Tabulon: the hive file " << e.what() << "\n";
        return 1;
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
