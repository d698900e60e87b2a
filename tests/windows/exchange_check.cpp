// The reader exchange on Windows as the library runs it: run.bat written and started hidden
// through the shell from the reader folder, the reader (placed there as the program
// run.bat names) writing its files, flag.txt awaited, output.txt parsed. Prints the grid
// and what was left in the reader folder; exits 1 when a step fails.
//   tbln-exchange-check ROOT WORKBOOK SHEET   (ROOT stands for the install folder)
#include <cstdio>
#include <string>

#include <string>
#include "adapters/win32/windows_api.hpp"

#include "adapters/posix/posix_system.hpp"
#include "adapters/scripted/scripted_ui.hpp"
#include "adapters/win32/wide_text.hpp"
#include "adapters/win32/win32_system.hpp"
#include "automation/module.hpp"
#include "capture/reader_exchange.hpp"
#include "common/paths.hpp"
#include "core/error.hpp"

int main() {
    using namespace tbln;
    const auto args = win32::CommandLineArguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: tbln-exchange-check ROOT WORKBOOK SHEET\n");
        return 64;
    }
    try {
        win32::Win32System sys(posix::ResolveInstallRoot(args[0]));
        scripted::ScriptedUi ui;
        ObjectServer objects;
        Module m(Ports{ui, sys, objects});
        m.fileName = args[1];
        m.sheetName = args[2];
        sys.MakeDirs(paths::ReaderFolder(sys));
        // The reader beside this program, placed where run.bat starts it.
        std::wstring self(32768, L'\0');
        self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
        const std::string reader =
            win32::Narrow(self.substr(0, self.find_last_of(L'\\') + 1)) + "tbln-reader.exe";
        sys.CopyFile(reader, paths::ReaderFile(sys, paths::kReaderProgramFile));
        const std::string flag = paths::ReaderFile(sys, "flag.txt");
        if (sys.FileExists(flag)) sys.DeleteFile(flag);
        const auto process = RunReader(m);
        if (!process) {
            std::fprintf(stderr, "run.bat was not started\n");
            return 1;
        }
        while (!sys.FileExists(flag)) {
            if (!process->Running() && !sys.FileExists(flag)) {
                std::fprintf(stderr, "the reader ended (status %d) without flag.txt\n",
                             process->ExitCode());
                return 1;
            }
            sys.Sleep(20);
        }
        sys.Sleep(100);
        ReadReaderOutput(m);
        std::printf("grid %d x %d\n", static_cast<int>(m.rowHeights.Upper()),
                    static_cast<int>(m.colWidths.Upper()));
        std::printf("run.bat: %s", sys.ReadFile(paths::ReaderFile(sys, "run.bat")).c_str());
        std::printf("flag.txt: %s", sys.ReadFile(flag).c_str());
        for (const auto& name : sys.ListDir(paths::ReaderFolder(sys)))
            std::printf("left: %s\n", name.c_str());
        return 0;
    } catch (const RuntimeError& e) {
        std::fprintf(stderr, "error %d: %s\n", static_cast<int>(e.Number()),
                     e.Description().c_str());
        return 1;
    }
}
