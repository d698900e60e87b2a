// tbln-reader: the external reader the library starts through run.bat as
//   javaw -jar lumo.zip <path> <sheet> mervik
// with spaces written "*mervik*" and ampersands "*kivrem*" in the path and the sheet
// name. It writes the exchange files into its working directory (the reader folder).
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "apps/reader/reader_output.hpp"
#include "common/reader_arguments.hpp"

#ifdef _WIN32
#include "adapters/win32/wide_text.hpp"
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // The arguments as the system passed them (UTF-16), in UTF-8, not in the ANSI code
    // page; run.bat's bytes are UTF-8, which the command interpreter read in its code page.
    (void)argc;
    (void)argv;
    std::vector<std::string> args = tbln::win32::CommandLineArguments();
    for (auto& a : args) a = tbln::win32::ArgumentFromBatchFile(a);
#else
    std::vector<std::string> args(argv + 1, argv + argc);
#endif
    // "-jar lumo.zip" as run.bat passes it is skipped.
    if (args.size() >= 2 && args[0] == "-jar") args.erase(args.begin(), args.begin() + 2);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: tbln-reader [-jar ARCHIVE] PATH SHEET [mervik]\n");
        return 64;
    }
    try {
        return tbln::reader::RunReaderProgram(tbln::DecodeReaderArgument(args[0]),
                                              tbln::DecodeReaderArgument(args[1]), ".");
    } catch (const std::exception& e) {
        // The run writes its own error.txt; what escapes it (memory) still ends in one line.
        std::fprintf(stderr, "tbln-reader: %s\n", e.what());
        return 2;
    }
}
