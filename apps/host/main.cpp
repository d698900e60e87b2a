// tbln: the reference host program.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "apps/host/gui.hpp"
#include "apps/host/host.hpp"
#include "apps/host/streamed_json.hpp"
#include "apps/lib/dialog_script.hpp"
#include "core/error.hpp"
#include "core/numeric.hpp"
#include "core/text.hpp"

namespace {

using Command = tbln::host::json (*)(tbln::host::Host&, const tbln::host::Options&);

// One option of a command: its name without "--", what its value stands for (none for a
// switch), whether it must be given or may repeat, its help line, and whether it answers
// the command's dialog (an answers file then answers it instead).
struct OptionSpec {
    enum Kind { kOptional, kRequired, kRepeated, kSwitch };
    const char* name;
    const char* value;
    Kind kind;
    const char* help;
    bool answersDialog = false;
};

// A command: drives one entry point and returns the JSON to print.
struct CommandSpec {
    const char* name;
    Command run;
    const char* help;
    std::vector<OptionSpec> options;
    const char* positional = nullptr;  // the arguments given without an option name
    bool manyPositionals = false;
    bool draws = false;  // takes the drawing options
};

using K = OptionSpec::Kind;
const OptionSpec kBook{"file", "BOOK", K::kRequired, "the workbook"};
const OptionSpec kSheet{"sheet", "NAME", K::kOptional, "the sheet (default: the active one)"};
// The workbook and sheet chosen in the command's dialog.
const OptionSpec kDialogBook{"file", "BOOK", K::kRequired, "the workbook", true};
const OptionSpec kDialogSheet{"sheet", "NAME", K::kOptional, "the sheet (default: the active one)",
                              true};
const OptionSpec kFormat{"format", "dgn|dwg", K::kOptional, "the drawings' format (default dwg)"};

const std::vector<CommandSpec>& Commands() {
    using namespace tbln::host;
    static const std::vector<CommandSpec> kCommands = {
        {"insert-block-pop",
         InsertBlockPopCommand,
         "fill every tag of TAGS.json from the cell at its offset from (R, C)",
         {kBook,
          {"sheet", "NAME", K::kRequired, "the sheet"},
          {"row", "R", K::kRequired, "the row of the Block ID cell"},
          {"col", "C", K::kRequired, "the column of the Block ID cell"},
          {"tags", "TAGS.json", K::kRequired, "the tags and their offsets"}}},
        {"cells",
         CellsCommand,
         "print what the spreadsheet engine sees in the workbook: sheets, sizes, cells",
         {{"file", "BOOK", K::kOptional, "the workbook (or give it as FILE)"},
          {"sheet", "NAME", K::kOptional, "only this sheet"},
          {"range", "A1:D9", K::kOptional, "only these cells"}},
         "FILE"},
        {"parse-word",
         ParseWordCommand,
         "import DOC line by line as formatted text (Word's file dialog answered with DOC)",
         {{"file", "DOC", K::kRequired, "the document", true}},
         nullptr,
         false,
         true},
        {"update-word",
         UpdateWordCommand,
         "import DOC again without a file dialog",
         {{"file", "DOC", K::kRequired, "the document"}}},
        {"word-lines",
         WordLinesCommand,
         "the document engine's lines of DOC: plain text, page, position (layout checks)",
         {{"file", "DOC", K::kRequired, "the document"}}},
        {"make-block",
         MakeBlockCommand,
         "link the tags to cells through the Link Block dialog",
         {kDialogBook,
          kDialogSheet,
          {"tags", "TAGS.json", K::kRequired, "the block's tags"},
          {"block-id", "CELL", K::kRequired, "the Block ID cell", true},
          {"bind", "TAG=CELL", K::kRepeated, "link TAG to CELL (repeat for each tag)", true}}},
        {"insert-block",
         InsertBlockCommand,
         "fill linked tags from a Block ID cell through the Insert Block dialog",
         {kBook,
          kSheet,
          {"tags", "TAGS.json", K::kRequired, "the block's tags"},
          {"block-id", "CELL", K::kRequired, "the Block ID cell", true}}},
        {"populate",
         PopulateCommand,
         "choose the drawing-name cells, template and output folder (Populate dialog)",
         {kDialogBook,
          kDialogSheet,
          {"first", "CELL", K::kRequired, "the first drawing-name cell", true},
          {"second", "CELL", K::kRequired, "the second drawing-name cell", true},
          {"last", "CELL", K::kRequired, "the last drawing-name cell", true},
          {"template", "PATH", K::kRequired, "the template drawing", true},
          {"output", "DIR", K::kRequired, "the folder the drawings go to", true},
          kFormat}},
        {"export-dgn-name",
         ExportDgnNameCommand,
         "write the drawing names down from CELL and save the workbook",
         {kDialogBook,
          kDialogSheet,
          {"start", "CELL", K::kRequired, "the first cell written", true},
          kFormat},
         "DRAWING",
         true},
        {"set-luc",
         SetLucCommand,
         "make CELL the sheet's last used cell and save (only with --yes)",
         {kDialogBook,
          kDialogSheet,
          {"cell", "CELL", K::kRequired, "the new last used cell", true},
          {"yes", nullptr, K::kSwitch, "answer Yes to the question before saving", true}}},
        {"set-top-most-window",
         SetTopMostWindowCommand,
         "put a window into the top-most band or take it out",
         {{"hwnd", "H", K::kRequired, "the window"},
          {"topmost", "true|false", K::kRequired, "into the band or out of it"}}},
        {"build-cell",
         BuildCellCommand,
         "import a range (the whole sheet without --range) as cell, shape and picture records",
         {kDialogBook,
          kDialogSheet,
          {"range", "A1:H20", K::kOptional, "the range (default: the whole sheet)", true}},
         nullptr,
         false,
         true},
        {"deep-update",
         DeepUpdateCommand,
         "capture an imported range again from its workbook; --since reports what changed",
         {kBook,
          {"sheet", "NAME", K::kRequired, "the sheet"},
          {"range", "A1:H20", K::kOptional, "the range (or --whole)"},
          {"whole", nullptr, K::kSwitch, "the whole sheet"},
          {"since", "OLD.json", K::kOptional,
           "report what changed since an earlier build-cell or deep-update printed OLD.json"}},
         nullptr,
         false,
         true},
        {"gui",
         GuiCommand,
         "the host window: its menu runs each entry point with the real dialogs beside the "
         "workbook's sheet window",
         {{"file", "BOOK", K::kOptional, "open this workbook"}}},
    };
    return kCommands;
}

const std::vector<OptionSpec> kDrawingOptions = {
    {"dxf", "OUT.dxf", K::kOptional, "draw the records into a DXF file"},
    {"pdf", "OUT.pdf", K::kOptional, "draw the records into a PDF file"},
    {"svg", "OUT.svg", K::kOptional, "draw the records into an SVG file"},
    {"png", "OUT.png", K::kOptional, "draw the records into a PNG file"},
    {"scale", "N", K::kOptional, "N drawing units per millimetre (default 1: millimetres)"},
};

// With `answering` (an answers file answers the dialogs), an option that answers the
// dialog need not be given.
void Declare(CLI::App& sub, const OptionSpec& spec, bool answering) {
    const std::string flag = std::string("--") + spec.name;
    if (spec.kind == K::kSwitch) {
        sub.add_flag(flag, spec.help);
        return;
    }
    CLI::Option* o = sub.add_option(flag, spec.help)->type_name(spec.value);
    if (spec.kind == K::kRequired && !(answering && spec.answersDialog)) o->required();
    // A repeated option takes one value each time; any other may be given once.
    o->multi_option_policy(spec.kind == K::kRepeated ? CLI::MultiOptionPolicy::TakeAll
                                                     : CLI::MultiOptionPolicy::Throw);
}

// The values CLI11 parsed for `spec`, in the form the commands read.
void Collect(const CLI::App& sub, const OptionSpec& spec, tbln::host::Options& options) {
    const CLI::Option* o = sub.get_option(std::string("--") + spec.name);
    if (spec.kind == K::kSwitch) {
        if (o->count() > 0) options.Add(spec.name, "");
        return;
    }
    for (const auto& value : o->results()) options.Add(spec.name, value);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tbln;
    CLI::App cli(
        "tbln: the reference host; each command drives one entry point and prints its "
        "result as one JSON object",
        "tbln");
    std::string root;
    std::string readerTimeoutText;
    std::string answers;
    bool gui = false;
    // Whether an answers file answers the dialogs is known before the command's options
    // are declared: the options it answers are then not required.
    bool answering = false;
    if (const char* env = std::getenv("TBLN_ANSWERS"); env && *env) answering = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--answers" || word.starts_with("--answers=")) answering = true;
    }
    cli.add_option("--root", root, "the install root (default: found from the program)")
        ->type_name("DIR");
    cli.add_option("--reader-timeout", readerTimeoutText,
                   "how long build-cell and deep-update wait for the workbook reader (and for "
                   "another import holding it) before they cancel (default 300)")
        ->type_name("SECONDS");
    cli.add_option("--answers", answers,
                   "answer the command's dialogs from FILE, one step a line (see the README); "
                   "the options that answer them are then left out")
        ->type_name("FILE")
        ->envname("TBLN_ANSWERS");
    cli.add_flag("--gui", gui,
                 "show the command's dialogs on the desktop instead of answering them from the "
                 "options");
    for (const auto& command : Commands()) {
        CLI::App* sub = cli.add_subcommand(command.name, command.help);
        for (const auto& spec : command.options) Declare(*sub, spec, answering);
        if (command.draws) {
            for (const auto& spec : kDrawingOptions) Declare(*sub, spec, answering);
        }
        if (command.positional) {
            CLI::Option* p = sub->add_option(command.positional, "");
            if (command.manyPositionals) {
                p->expected(-1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
            }
        }
    }
    // Set after the commands so that they do not inherit them: the program takes one
    // command, and a word that is none is reported as such.
    cli.require_subcommand(0, 1);
    cli.allow_extras();
    cli.footer(
        "Run tbln COMMAND --help for a command's options. The drawing options --dxf, "
        "--pdf, --svg, --png and --scale draw the records the command handed back.");
    try {
        cli.parse(argc, argv);
        // Words before the command that are not the program's own options.
        const auto extras = cli.remaining();
        if (!extras.empty() || cli.get_subcommands().empty()) {
            const std::string problem = extras.empty() ? "name a COMMAND"
                                        : extras.front().rfind("-", 0) == 0
                                            ? "unknown option " + extras.front()
                                            : "unknown command " + extras.front();
            std::cerr << "tbln: " << problem << " (tbln --help lists the commands)\n";
            return 2;
        }
    } catch (const CLI::CallForHelp& e) {
        return cli.exit(e, std::cout, std::cerr);
    } catch (const CLI::ParseError& e) {
        const auto parsed = cli.get_subcommands();
        const std::string help =
            parsed.empty() ? "tbln --help" : "tbln " + parsed.front()->get_name() + " --help";
        std::cerr << "tbln: " << e.what() << " (" << help << " lists the options)\n";
        return 2;
    }
    // Nobody presses Cancel in a run from the command line: the wait for the reader ends.
    Long readerWaitLimitMs = kDefaultReaderWaitLimitMs;
    if (!readerTimeoutText.empty()) {
        const auto seconds = tbln::ParseDecimal(readerTimeoutText);
        bool valid = seconds.has_value();
        if (valid) {
            try {
                readerWaitLimitMs = ReaderWaitLimitMs(*seconds);
            } catch (const RuntimeError&) {
                valid = false;
            }
        }
        if (!valid) {
            std::cerr << "tbln: --reader-timeout " << readerTimeoutText
                      << " is not a number of seconds from 0 to "
                      << NumberToText(kMaxReaderTimeoutSeconds) << "\n";
            return 2;
        }
    }
    const CommandSpec* command = nullptr;
    const CLI::App* sub = nullptr;
    for (const auto& c : Commands()) {
        if (cli.got_subcommand(c.name)) {
            command = &c;
            sub = cli.get_subcommand(c.name);
        }
    }
    host::Options options;
    for (const auto& spec : command->options) {
        if (!answers.empty() && spec.answersDialog &&
            sub->get_option(std::string("--") + spec.name)->count() > 0) {
            std::cerr << "tbln: --" << spec.name << " answers the " << command->name
                      << " dialog; with --answers the answers file answers it\n";
            return 2;
        }
        Collect(*sub, spec, options);
    }
    if (!answers.empty()) {
        if (gui || command->run == host::GuiCommand) {
            std::cerr << "tbln: --answers answers the dialogs that --gui shows; give one of them\n";
            return 2;
        }
        options.Add("answers", answers);
    }
    if (command->draws) {
        for (const auto& spec : kDrawingOptions) Collect(*sub, spec, options);
    }
    if (command->positional) {
        for (const auto& value : sub->get_option(command->positional)->results()) {
            options.AddPositional(value);
        }
    }
    try {
        gui = gui || command->run == host::GuiCommand;
        // The desktop outlives the host that shows its dialogs through it.
        std::optional<host::DesktopScope> desktop;
        if (gui) desktop.emplace();
        host::Host h(root, desktop ? &desktop->Ui() : nullptr);
        h.module.readerWaitLimitMs = readerWaitLimitMs;
        if (desktop) desktop->FollowEngines(h);
        if (!answers.empty()) script::UseAnswers(h.ui, h.objects, h.sys, answers);
        const auto result = command->run(h, options);
        // A command with a large record array prints it itself, record by record.
        if (!result.is_discarded()) std::cout << host::DumpJson(result) << "\n";
        // All of it is out before the host and the desktop are torn down.
        std::cout.flush();
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
