#include "apps/host/reader_install.hpp"

#include <unistd.h>

#include <cstdio>

#include "apps/lib/tbln.hpp"
#include "capture/capture_range.hpp"
#include "core/text.hpp"

namespace tbln::host {

void InstallReader(Host& host) {
    try {
        host.session.InstallReader();
    } catch (const ReaderMissing& e) {
        throw UsageError(e.what());
    }
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
