// The customization-file patcher: the partial menu line added before every
// "/CommonItems" line of a customization file given as the input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "adapters/posix/file_hive.hpp"
#include "adapters/posix/posix_system.hpp"
#include "adapters/scripted/scripted_ui.hpp"
#include "installer/acad_registry.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static tbln::posix::FileHive hive("/nonexistent/tbln-fuzz.reg");
    static tbln::posix::PosixSystem sys("/nonexistent/tbln-fuzz-root");
    static tbln::scripted::ScriptedUi ui;
    const std::string path = "acad.cui";
    tbln::installer::InstallContext context{hive, sys, ui, nullptr};
    // A file already rewritten by this run is taken from `files`: the input stands there.
    context.files[path].assign(reinterpret_cast<const char*>(data), size);
    tbln::installer::AddPartialMenu(context, path);
    volatile std::size_t sink = context.files[path].size();
    (void)sink;
    return 0;
}
