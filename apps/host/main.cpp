// tbln: the reference host program.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "adapters/posix/posix_system.hpp"
#include "apps/host/gui.hpp"
#include "apps/host/host.hpp"
#include "apps/host/streamed_json.hpp"
#include "core/error.hpp"

namespace {

using Command = tbln::host::json (*)(tbln::host::Host&, const tbln::host::Options&);

// The host's commands; each drives one entry point and returns the JSON to print.
const std::map<std::string, Command> kCommands = {
    {"insert-block-pop", tbln::host::InsertBlockPopCommand},
    {"cells", tbln::host::CellsCommand},
    {"parse-word", tbln::host::ParseWordCommand},
    {"update-word", tbln::host::UpdateWordCommand},
    {"word-lines", tbln::host::WordLinesCommand},
    {"make-block", tbln::host::MakeBlockCommand},
    {"insert-block", tbln::host::InsertBlockCommand},
    {"populate", tbln::host::PopulateCommand},
    {"export-dgn-name", tbln::host::ExportDgnNameCommand},
    {"set-luc", tbln::host::SetLucCommand},
    {"set-top-most-window", tbln::host::SetTopMostWindowCommand},
    {"build-cell", tbln::host::BuildCellCommand},
    {"deep-update", tbln::host::DeepUpdateCommand},
    {"gui", tbln::host::GuiCommand},
};

constexpr const char* kUsage =
    "usage: tbln [--root DIR] [--reader-timeout SECONDS] [--gui] COMMAND [OPTIONS]\n"
    "  --reader-timeout SECONDS  how long build-cell and deep-update wait for the workbook\n"
    "      reader (and for another import holding it) before they cancel (default 300)\n"
    "  --gui: show the command's dialogs on the desktop instead of answering them from\n"
    "         the options\n"
    "commands:\n"
    "  insert-block-pop --file BOOK --sheet NAME --row R --col C --tags TAGS.json\n"
    "      fill every tag of TAGS.json from the cell at its offset from (R, C)\n"
    "  cells FILE [--sheet NAME] [--range A1:D9]\n"
    "      print what the spreadsheet engine sees in the workbook: sheets, sizes, cells\n"
    "  parse-word --file DOC [DRAWING]\n"
    "      import DOC line by line as formatted text (Word's file dialog answered with DOC)\n"
    "  update-word --file DOC\n"
    "      import DOC again without a file dialog\n"
    "  word-lines --file DOC\n"
    "      the document engine's lines of DOC: plain text, page, position (layout checks)\n"
    "  make-block --file BOOK [--sheet NAME] --tags TAGS.json --block-id CELL --bind TAG=CELL ...\n"
    "      link the tags to cells through the Link Block dialog\n"
    "  insert-block --file BOOK [--sheet NAME] --tags TAGS.json --block-id CELL\n"
    "      fill linked tags from a Block ID cell through the Insert Block dialog\n"
    "  populate --file BOOK [--sheet NAME] --first CELL --second CELL --last CELL\n"
    "           --template PATH --output DIR [--format dgn|dwg]\n"
    "      choose the drawing-name cells, template and output folder (Populate dialog)\n"
    "  export-dgn-name --file BOOK [--sheet NAME] --start CELL [--format dgn|dwg] DRAWING...\n"
    "      write the drawing names down from CELL and save the workbook\n"
    "  set-luc --file BOOK [--sheet NAME] --cell CELL [--yes]\n"
    "      make CELL the sheet's last used cell and save (only with --yes)\n"
    "  set-top-most-window --hwnd H --topmost true|false\n"
    "      put a window into the top-most band or take it out\n"
    "  build-cell --file BOOK [--sheet NAME] [--range A1:H20] [DRAWING]\n"
    "      import a range (the whole sheet without --range) as cell, shape and picture records\n"
    "  deep-update --file BOOK --sheet NAME (--range A1:H20 | --whole) [--since OLD.json]\n"
    "              [DRAWING]\n"
    "      capture an imported range again from its workbook; --since reports what changed\n"
    "      since an earlier build-cell or deep-update printed OLD.json\n"
    "  gui [--file BOOK]\n"
    "      the host window: its menu runs each entry point with the real dialogs beside\n"
    "      the workbook's sheet window\n"
    "DRAWING: --dxf OUT.dxf --pdf OUT.pdf --svg OUT.svg --png OUT.png (any of them) draw the\n"
    "      records; --scale N gives N drawing units per millimetre (default 1: millimetres)\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace tbln;
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string root;
    // Nobody presses Cancel in a run from the command line: the wait for the reader ends.
    double readerTimeout = 300;
    bool gui = false;
    std::size_t i = 0;
    while (i < args.size() && args[i].rfind("--", 0) == 0) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (args[i] == "--gui") {
            gui = true;
            ++i;
            continue;
        }
        if (args[i] == "--root" && i + 1 < args.size()) {
            root = args[i + 1];
            i += 2;
            continue;
        }
        if (args[i] == "--reader-timeout" && i + 1 < args.size()) {
            char* end = nullptr;
            readerTimeout = std::strtod(args[i + 1].c_str(), &end);
            if (end == args[i + 1].c_str() || *end != '\0' || !(readerTimeout > 0) ||
                readerTimeout > 86400) {
                std::cerr << "tbln: --reader-timeout " << args[i + 1]
                          << " is not a number of seconds from 0 to 86400\n";
                return 2;
            }
            i += 2;
            continue;
        }
        std::cerr << "tbln: unknown option " << args[i] << "\n" << kUsage;
        return 2;
    }
    if (i >= args.size()) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string command = args[i];
    try {
        gui = gui || command == "gui";
        host::Host h(posix::ResolveInstallRoot(root), gui ? &host::DesktopUi() : nullptr);
        h.module.readerWaitLimitMs = static_cast<Long>(readerTimeout * 1000);
        if (gui) host::FollowEngines(h);
        const host::Options options(args, i + 1);
        const auto found = kCommands.find(command);
        if (found == kCommands.end()) {
            std::cerr << "tbln: unknown command " << command << "\n" << kUsage;
            return 2;
        }
        const auto result = found->second(h, options);
        // A command with a large record array prints it itself, record by record.
        if (!result.is_discarded()) std::cout << host::DumpJson(result) << "\n";
        return 0;
    } catch (const host::UsageError& e) {
        std::cerr << "tbln: " << e.what() << "\n";
        return 2;
    } catch (const RuntimeError& e) {
        std::cerr << "tbln: run-time error " << e.Number() << ": " << e.Description() << "\n";
        return 1;
    } catch (const std::bad_alloc&) {
        std::cerr << "tbln: out of memory\n";
        return 2;
    } catch (const std::exception& e) {
        // Nothing leaves the program unexplained.
        std::cerr << "tbln: " << e.what() << "\n";
        return 2;
    }
}
