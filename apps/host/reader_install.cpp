#include "apps/host/reader_install.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "capture/capture_range.hpp"
#include "common/paths.hpp"
#include "core/text.hpp"

namespace tbln::host {

namespace fs = std::filesystem;

namespace {

fs::path FindReader() {
    if (const char* env = std::getenv("TBLN_READER"); env && *env) return env;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    // Installed side by side, or in the build tree's apps/reader folder.
    for (const fs::path& candidate :
         {self.parent_path() / "tbln-reader",
          self.parent_path().parent_path() / "reader" / "tbln-reader"}) {
        if (fs::exists(candidate, ec)) return candidate;
    }
    return {};
}

}  // namespace

void InstallReader(Host& host) {
    auto& sys = host.sys;
    sys.MakeDirs(paths::ReaderFolder(sys));
    sys.MakeDirs(paths::PicturesFolder(sys));
    const std::string target = paths::ReaderFile(sys, paths::kReaderProgram);
    const fs::path source = FindReader();
    std::error_code ec;
    if (source.empty()) {
        if (sys.FileExists(target)) return;
        throw UsageError("tbln-reader was not found beside tbln; set TBLN_READER to its path");
    }
    if (sys.FileExists(target) &&
        fs::last_write_time(target, ec) >= fs::last_write_time(source, ec) &&
        fs::file_size(target, ec) == fs::file_size(source, ec)) {
        return;
    }
    sys.CopyFile(source.string(), target);
    sys.SetExecutable(target);
}

void ShowProgressOnTerminal(Host& host, DialogId dialog) {
    if (!::isatty(STDERR_FILENO)) return;
    auto* progress = dynamic_cast<ProgressDialog*>(&host.module.Dialog(dialog));
    if (!progress) return;
    const ProgressDisplay display = progress->Progress();
    auto* bar = &display.bar;
    bar->PropertyChanged = [bar](const std::string& name) {
        if (name != "Position" || bar->Max() == 0) return;
        const std::string percent =
            FormatPercent(static_cast<double>(bar->Position()) / bar->Max());
        std::fprintf(stderr, "\rProgress : %-5s", percent.c_str());
        std::fflush(stderr);
    };
}

}  // namespace tbln::host

namespace tbln::host {

void EndProgressLine() {
    if (::isatty(STDERR_FILENO)) std::fputs("\n", stderr);
}

}  // namespace tbln::host
