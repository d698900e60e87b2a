// The reference host's commands run as a program, the way a user or a script runs them:
// one table of arguments and the JSON fields they print, one of arguments refused or
// failing and the exit status and stderr line they give, and the help of every command.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/host_run.hpp"

namespace tbln {
namespace {

using nlohmann::json;
using testing::Fixture;
using testing::Quote;
using testing::TempDir;

const std::string kNotes = std::string(TBLN_EXAMPLES) + "/notes.docx";

// A field of the printed JSON by its pointer, or the size of an array when the pointer
// ends in "/#".
struct Field {
    std::string pointer;
    json value;
};

void ExpectFields(const json& out, const std::vector<Field>& fields, const std::string& args) {
    for (const auto& f : fields) {
        const bool size = f.pointer.size() >= 2 && f.pointer.ends_with("/#");
        const json::json_pointer at(size ? f.pointer.substr(0, f.pointer.size() - 2) : f.pointer);
        ASSERT_TRUE(out.contains(at)) << args << ": no " << f.pointer;
        EXPECT_EQ(size ? json(out.at(at).size()) : out.at(at), f.value)
            << args << ": " << f.pointer;
    }
}

// Files the rows below name: tags for the block commands, a document that is not one.
struct Files {
    Files() {
        std::ofstream(tags) << R"([{"tagName": "NO"}, {"tagName": "TITLE", "offsetCol": 1},
            {"tagName": "QTY", "offsetRow": 1}, {"tagName": "NONE", "offsetRow": 9}])";
        std::ofstream(far) << R"([{"tagName": "FAR", "offsetRow": 2}])";
        std::ofstream(notADocument) << "not a document";
    }
    TempDir dir;
    std::string tags = dir / "tags.json", far = dir / "far.json", notADocument = dir / "notes.docx";
};

TEST(HostCommands, PrintTheirFields) {
    Files files;
    const std::string blocks = Quote(Fixture("blocks.xlsx"));
    const std::string badWord = "File " + files.notADocument + " is not a valid Word file";
    const std::string noPackage = "tbln: Cannot open the document " + files.notADocument +
                                  ": the file is not a .docx package";
    struct Row {
        std::string args;
        std::vector<Field> fields;
        std::vector<std::string> err = {};  // each in stderr; none: stderr is empty
        std::function<void(const testing::HostRun&)> more = {};
    } rows[] = {
        {"insert-block-pop --file " + blocks + " --sheet 'Title Block' --row 2 --col 2 --tags " +
             Quote(files.tags),
         {{"/result", true},
          {"/tags1/lower", 1},
          {"/tags1/upper", 4},
          {"/tags1/items/0/Value", "DWG-001"},
          {"/tags1/items/1/Value", "Pump housing"},
          {"/tags1/items/1/col", "C"},
          {"/tags1/items/2/Value", "42"},
          {"/tags1/items/2/row", "3"},
          {"/tags1/items/3/Value", ""},
          {"/sheetName0", "Title Block"},
          {"/messages/#", 0}},
         {},
         [](const testing::HostRun& run) {  // fields keep the record's order
             EXPECT_EQ(run.out.find("\"tagName\""), run.out.find("\"tagName\": \"NO\""));
             EXPECT_LT(run.out.find("\"tagName\""), run.out.find("\"offsetCol\""));
         }},
        {"cells " + Fixture("styles.xlsx") + " --range B6:C9",
         {{"/activeSheet", "Styles"},
          {"/sheets/#", 2},
          {"/usedRange", "A1:H20"},
          {"/activeCell", "C3"},
          {"/selection", "C3:D5"},
          {"/rows/1/height", 0.75},
          {"/columns/0/width", 108.75},
          {"/columns/0/columnWidth", 20},
          {"/merges/0", "B8:D9"},
          {"/cells/0/address", "B6"},
          {"/cells/0/text", "edges"},
          {"/cells/0/borders/right/style", "double"},
          {"/cells/0/borders/right/color", "FF0000"},
          {"/cells/1/address", "C6"},
          {"/cells/1/fill/pattern", "solid"},
          {"/cells/1/fill/color", "FFFF00"},
          {"/cells/5/address", "C9"},
          {"/cells/5/mergeArea", "B8:D9"}}},
        {"cells --file " + Fixture("numbers.xlsx") + " --sheet numbers --range A1:A3",
         {{"/cells/#", 3},
          {"/cells/1/text", "-1,234.57"},
          {"/cells/1/type", "number"},
          {"/cells/1/numberFormat", "#,##0.00"}}},
        // Shapes and pictures; a picture has no text frame.
        {"cells " + Fixture("drawing_xlsxwriter.xlsx"),
         {{"/shapes/#", 4},
          {"/shapes/0/text", nullptr},
          {"/shapes/2/name", "TextBox 3"},
          {"/shapes/2/type", 17},
          {"/shapes/2/text", "Pump housing"},
          {"/shapes/2/font/name", "Arial"},
          {"/shapes/2/font/size", 14},
          {"/shapes/2/topLeftCell", "B2"},
          {"/shapes/2/width", 120},
          {"/pictures/#", 2},
          {"/pictures/1/name", "Picture 2"},
          {"/pictures/1/topLeftCell", "F2"},
          {"/pictures/1/media", "xl/media/image1.png"}}},
        {"cells " + Fixture("drawing_libreoffice.xlsx"),
         {{"/shapes/7/name", "Rising"},
          {"/shapes/7/line/beginArrowheadStyle", 2},
          {"/shapes/7/nodes/#", 2}},
         {},
         [](const testing::HostRun& run) {
             const auto& nodes = run.json["shapes"][7]["nodes"];
             EXPECT_LT(nodes[0][0], nodes[1][0]);
             EXPECT_GT(nodes[0][1], nodes[1][1]) << "the line rises to the right";
         }},
        // A damaged drawing is a warning and the cells are listed; a picture whose media
        // part is missing is listed without it.
        {"cells " + Fixture("drawing_malformed.xlsx"),
         {{"/shapes/#", 0}, {"/cells/0/text", "Title"}},
         {"Warning", "xl/drawings/drawing1.xml"}},
        {"cells " + Fixture("drawing_odd.xlsx"), {{"/pictures/0/media", nullptr}}},
        {"parse-word --file " + Quote(kNotes),
         {{"/result", true},
          {"/fileName0", kNotes},
          {"/pageNum0", 2},
          {"/pageWid0", 612},
          {"/pageHei0", 792},
          {"/wordLines0/lower", 0},
          {"/wordLines0/items/0/text", "{\\fArial|b1|i0|c0|p34;GENERAL NOTES}"},
          {"/wordLines0/items/1/text",
           "{\\fArial|b0|i0|c0|p34;1.  All dimensions are in millimetres unless noted "
           "otherwise.}"},
          {"/wordLines0/items/2/text",
           "{\\fArial|b0|i0|c0|p34;2.  Do not scale from this drawing.}"}},
         {},
         [](const testing::HostRun& run) {
             const auto& items = run.json["wordLines0"]["items"];
             EXPECT_TRUE(items.back().is_null());
             bool bullet = false, stacked = false, mixedFont = false, legend = false;
             for (const auto& item : items) {
                 if (item.is_null()) continue;
                 const std::string text = item["text"];
                 if (item["listType"] == 2) {
                     bullet = true;
                     EXPECT_EQ(item["bulletType"], -3913);
                 }
                 stacked |= text.find("\\H0.7x;\\S2^;\\H1.429x;") != std::string::npos &&
                            text.find(" \\H0.7x;\\S^2;\\H1.429x;") != std::string::npos;
                 mixedFont |= text.find("\\fCourier New|b0|i0|c0|p49;DET-04") != std::string::npos;
                 if (text.find("LEGEND") != std::string::npos) {
                     legend = true;
                     EXPECT_EQ(item["pageNum"], 2);
                 }
             }
             EXPECT_TRUE(bullet && stacked && mixedFont && legend);
         }},
        // The document's page size is the first section's; each line carries its own. The
        // first section ends with the empty paragraph that carries its properties.
        {"word-lines --file " + Quote(std::string(TBLN_FIXTURES) + "/word/landscape_section.docx"),
         {{"/pageWidth", 612},
          {"/lines/#", 3},
          {"/lines/0/pageWidth", 612},
          {"/lines/0/pageHeight", 792},
          {"/lines/2/text", "On the landscape page."},
          {"/lines/2/page", 2},
          {"/lines/2/pageWidth", 792},
          {"/lines/2/pageHeight", 612}}},
        // Both imports show the dialog's message; stderr adds the document engine's reason.
        {"update-word --file " + Quote(files.notADocument),
         {{"/result", false},
          {"/fileName0", files.notADocument},
          {"/messages/#", 1},
          {"/messages/0/text", badWord}},
         {"is not a valid Word file", noPackage}},
        {"parse-word --file " + Quote(files.notADocument),
         {{"/result", false}, {"/messages/#", 1}, {"/messages/0/text", badWord}},
         {"is not a valid Word file", noPackage}},
    };
    for (const auto& row : rows) {
        const auto run = testing::RunHost(files.dir, row.args);
        ASSERT_EQ(run.status, 0) << row.args << "\n" << run.err;
        ASSERT_TRUE(run.json.is_object()) << row.args << "\n" << run.out;
        ExpectFields(run.json, row.fields, row.args);
        if (row.err.empty()) {
            EXPECT_EQ(run.err, "") << row.args;
        }
        for (const auto& text : row.err) {
            EXPECT_NE(run.err.find(text), std::string::npos) << row.args << "\n" << run.err;
        }
        if (row.more) row.more(run);
    }
}

// Arguments refused before anything runs: status 2, nothing on stdout, one line on stderr.
// A run that fails: status 1 and the reason; a dialog's message: status 0.
TEST(HostCommands, FailuresGiveTheirStatusAndOneLine) {
    Files files;
    const std::string book = Quote(Fixture("blocks.xlsx"));
    const std::string pop = "insert-block-pop --file " + book + " --sheet S --row 1 --col 1 ";
    const std::string tags = Quote(std::string(TBLN_EXAMPLES) + "/title_block_tags.json");
    const auto badTags = [&](const std::string& name, const std::string& text) {
        const std::string path = files.dir / name;
        std::ofstream(path) << text;
        return path;
    };
    const std::string tag5 = badTags("tag5.json", R"([{"tagName": 5}])"),
                      low = badTags("low.json", R"({"lower": -2147483648, "items": []})"),
                      high = badTags("high.json", R"({"lower": 2147483647, "items": [{}, {}]})"),
                      wide = badTags("wide.json", R"({"lower": 4294967296, "items": []})");
    struct Row {
        std::string args;
        int status;
        std::string err;
        std::string start = "";  // how stderr starts
    } rows[] = {
        {"build-cell --file a.xlsx --bogus", 2, "--bogus"},
        {"build-cell", 2, "--file is required"},
        {"build-cell --file", 2, "--file"},
        {"build-cell --file a.xlsx --file b.xlsx", 2, "--file"},
        {"no-such-command", 2, "unknown command no-such-command"},
        {"--bogus cells a.xlsx", 2, "unknown option --bogus"},
        {"", 2, "name a COMMAND"},
        {"cells a.xlsx b.xlsx", 2, "not expected: b.xlsx"},
        {"--reader-timeout soon cells a.xlsx", 2, "--reader-timeout soon"},
        {"--reader-timeout -1 cells a.xlsx", 2, "--reader-timeout -1 is not a number of seconds"},
        {"deep-update --file x.xlsx --sheet S", 2, "give either --range A1:H20 or --whole"},
        {"deep-update --file x.xlsx --sheet S --whole --range A1:B2", 2, "give either --range"},
        {"build-cell --file nope.xlsx", 2, "nope.xlsx: no such workbook"},
        {"build-cell --file " + Fixture("capture.xlsx") + " --range 12", 2,
         "--range 12 is not a range like A1:H20"},
        {"cells " + Fixture("styles.xlsx") + " --sheet Nope", 2, "no sheet named \"Nope\""},
        {"cells " + Fixture("styles.xlsx") + " --range B", 2, "is not a range"},
        {"cells " + Fixture("bad/truncated.xlsx"), 1, "cut short"},
        {"insert-block-pop --file a.xlsx --sheet S --row x --col 1 --tags t.json", 2, "--row x"},
        {"insert-block-pop --file " + book + " --sheet S --row 40000 --col 1 --tags " +
             Quote(files.far),
         2, "--row 40000"},
        {pop + "--tags " + book, 2, "not valid JSON"},
        {pop + "--tags " + Quote(files.dir / "none.json"), 2, "cannot be read"},
        {pop, 2, "--tags is required"},
        {pop + "--tags " + Quote(files.far) + " --bogus 1", 2, "not expected: 1 --bogus"},
        // Bad tags files: the line names the file and what is wrong in it.
        {pop + "--tags " + Quote(tag5), 2, "tag 1: the field \"tagName\"", "tbln: " + tag5 + ": "},
        {pop + "--tags " + Quote(low), 2, "\"lower\" -2147483648 with 0 tags",
         "tbln: " + low + ": "},
        {pop + "--tags " + Quote(high), 2, "Overflow", "tbln: " + high + ": "},
        {pop + "--tags " + Quote(wide), 2, "\"lower\" must be a whole number",
         "tbln: " + wide + ": "},
        {"insert-block-pop --file " + book + " --sheet Parts --row 32767 --col 1 --tags " +
             Quote(files.far),
         1, "run-time error 6: Overflow"},
        {"insert-block-pop --file " + book + " --sheet Ghost --row 1 --col 1 --tags " +
             Quote(files.far),
         1, "Ghost"},
        {"insert-block-pop --file " + Quote(files.dir / "none.xlsx") +
             " --sheet S --row 1 --col 1 --tags " + Quote(files.far),
         0, "Error On Opening Excel File: Cannot open the workbook"},
        // The dialog commands refuse bad arguments before any dialog.
        {"make-block --file " + book + " --tags " + tags + " --block-id 2B", 2, "--block-id 2B"},
        {"make-block --file " + book + " --tags " + tags + " --block-id B2 --bind NOPE=B2", 2,
         "no tag NOPE"},
        {"make-block --file " + book + " --tags " + tags + " --block-id B2 --bind DWGNO", 2,
         "TAG=CELL"},
        {"insert-block --file " + book + " --tags " + tags, 2, "--block-id is required"},
        {"populate --file " + book + " --first A1 --second A2 --last A3 --template t.dgn " +
             "--output /o --format pdf",
         2, "--format pdf"},
        {"export-dgn-name --file " + book + " --start C5", 2, "at least one DRAWING"},
        {"export-dgn-name --file " + book + " --start 5C a.dgn", 2, "--start 5C"},
        {"set-luc --file " + book + " --cell D12 extra", 2, "not expected: extra"},
        {"set-top-most-window --hwnd x1 --topmost true", 2, "--hwnd x1"},
        {"set-top-most-window --hwnd 1 --topmost yes", 2, "--topmost yes"},
    };
    for (const auto& row : rows) {
        const auto run = testing::RunHost(files.dir, row.args);
        EXPECT_EQ(run.status, row.status) << row.args << "\n" << run.err;
        EXPECT_NE(run.err.find(row.err), std::string::npos) << row.args << "\n" << run.err;
        EXPECT_EQ(run.err.rfind(row.start, 0), 0u) << row.args << "\n" << run.err;
        if (row.status == 2) {
            EXPECT_TRUE(run.out.empty()) << row.args << "\n" << run.out;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << row.args;
        }
    }
}

TEST(HostCommands, HelpNamesEveryCommandAndItsOptions) {
    TempDir dir;
    struct Row {
        std::string args;
        std::vector<std::string> names;  // each must appear in the help
    } rows[] = {
        {"--help", {"--root", "--reader-timeout", "--gui", "build-cell", "deep-update", "cells"}},
        {"insert-block-pop --help", {"--file", "--sheet", "--row", "--col", "--tags"}},
        {"cells --help", {"FILE", "--sheet", "--range"}},
        {"parse-word --help", {"--file", "--dxf", "--pdf", "--svg", "--png", "--scale"}},
        {"update-word --help", {"--file"}},
        {"word-lines --help", {"--file"}},
        {"make-block --help", {"--file", "--sheet", "--tags", "--block-id", "--bind", "TAG=CELL"}},
        {"insert-block --help", {"--file", "--sheet", "--tags", "--block-id"}},
        {"populate --help",
         {"--first", "--second", "--last", "--template", "--output", "--format"}},
        {"export-dgn-name --help", {"--file", "--start", "--format", "DRAWING"}},
        {"set-luc --help", {"--file", "--cell", "--yes"}},
        {"set-top-most-window -h", {"--hwnd", "--topmost"}},
        {"build-cell --help", {"--file", "--sheet", "--range", "--dxf", "--scale"}},
        {"deep-update --help", {"--range", "--whole", "--since", "--svg"}},
        {"gui --help", {"--file"}},
    };
    for (const auto& row : rows) {
        const auto run = testing::RunHost(dir, row.args);
        EXPECT_EQ(run.status, 0) << row.args << "\n" << run.err;
        EXPECT_TRUE(run.err.empty()) << row.args << "\n" << run.err;
        const std::string command = row.args.substr(0, row.args.find(' '));
        if (command.rfind("-", 0) != 0) {
            EXPECT_NE(run.out.find("tbln " + command), std::string::npos) << run.out;
        }
        for (const auto& name : row.names) {
            EXPECT_NE(run.out.find(name), std::string::npos) << row.args << " lacks " << name;
        }
    }
}

}  // namespace
}  // namespace tbln
