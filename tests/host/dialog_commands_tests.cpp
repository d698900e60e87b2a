// The host's dialog commands run as a program, on the bundled example and real fixtures.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/host_run.hpp"

namespace tbln {
namespace {

using testing::Fixture;
using testing::Quote;
using testing::TempDir;

std::string Example(const std::string& name) {
    return std::string(TBLN_SOURCE_DIR) + "/examples/" + name;
}

TEST(HostDialogCommands, MakeBlockThenInsertBlockOnTheExample) {
    TempDir dir;
    const std::string tags = dir / "tags.json";
    std::ofstream(tags) << R"([{"tagName": "DWGNO"}, {"tagName": "TITLE"}, {"tagName": "QTY"}])";
    const std::string book = Quote(Example("title_block.xlsx"));
    auto run = testing::RunHost(
        dir, "make-block --file " + book + " --sheet 'Title Block' --tags " + Quote(tags) +
                 " --block-id B2 --bind DWGNO=B2 --bind TITLE=C2" + " --bind QTY=B3");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["result"], true);
    EXPECT_EQ(run.json["sheetName0"], "Title Block");
    const auto& linked = run.json["tags1"]["items"];
    EXPECT_EQ(linked[1]["offsetCol"], 1);
    EXPECT_EQ(linked[2]["offsetRow"], 1);
    EXPECT_EQ(linked[2]["Value"], "42");

    // The linked records fill another block instance from its own Block ID cell.
    std::ofstream(tags) << linked.dump();
    run = testing::RunHost(dir, "insert-block --file " + book + " --sheet 'Title Block' --tags " +
                                    Quote(tags) + " --block-id C2");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["result"], true);
    EXPECT_EQ(run.json["tags1"]["items"][0]["Value"], "Pump housing");
    EXPECT_EQ(run.json["tags1"]["items"][1]["col"], "D");
    EXPECT_EQ(run.json["tags1"]["items"][2]["Value"], "2.5");

    // A tag left unbound: the dialog says so, the run ends with Cancel.
    std::ofstream(tags) << R"([{"tagName": "DWGNO"}, {"tagName": "TITLE"}])";
    run = testing::RunHost(dir, "make-block --file " + book + " --tags " + Quote(tags) +
                                    " --block-id B2 --bind DWGNO=B2");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["result"], false);
    EXPECT_EQ(run.json["messages"][0]["text"], "Tag update is not completed    ");
}

// An answers file drives each family of dialogs to the same records as the options do.
TEST(HostDialogCommands, AnAnswersFileAnswersTheDialogsAsTheOptionsDo) {
    TempDir dir;
    const std::string schedule = Example("door_schedule.xlsx");
    const std::string title = Example("title_block.xlsx");
    const std::string copy = dir / "copy.xlsx";
    std::filesystem::copy_file(title, copy);
    const std::string tags = Quote(dir / "tags.json");
    std::ofstream(dir / "tags.json") << R"([{"tagName": "DWGNO"}, {"tagName": "TITLE"}])";
    struct Case {
        std::string options, answers, command;
    } cases[] = {
        {"build-cell --file " + Quote(schedule) + " --range A1:H10",
         "# the range dialog\nfile " + schedule +
             "\nclick btnBrowse\nset topLeftCol A\nset topLeftRow 1\n"
             "set botRightCol H\nset botRightRow 10\nclick btnOK\n",
         "build-cell"},
        {"parse-word --file " + Quote(Example("notes.docx")),
         "file " + Example("notes.docx") + "\n", "parse-word"},
        {"make-block --file " + Quote(title) + " --sheet 'Title Block' --tags " + tags +
             " --block-id B2 --bind DWGNO=B2 --bind TITLE=C2",
         "file " + title +
             "\nclick btnBrowseExcel\nset cbSheetName Title Block\ncell B2\nclick btnUpdate1\n"
             "pick lbTags 0\ncell B2\nclick btnUpdate\npick lbTags 1\ncell C2\n"
             "click btnUpdate\nclick btnMake\n",
         "make-block --tags " + tags},
        {"populate --file " + Quote(schedule) +
             " --first A4 --second A5 --last A10 --template /work/plan7.dgn --output /out",
         "file " + schedule +
             "\nclick btnBrowseExcel\ncell A4\nclick btnUpdate1\ncell A5\nclick btnUpdate2\n"
             "cell A10\nclick btnUpdaten\nfile /work/plan7.dgn\nclick btnBrowseDGN\n"
             "folder /out\nclick btnBrowseOutput\nclick btnPopulate\n",
         "populate"},
        {"set-luc --file " + Quote(copy) + " --sheet 'Title Block' --cell C3",
         "file " + copy + "\nclick btnBrowse\nset cbSheetName Title Block\ncell C3\nclick btnOK\n",
         "set-luc"},
    };
    const std::string answers = dir / "answers.txt";
    const std::string messages = dir / "messages.txt";
    for (const auto& c : cases) {
        const auto expected = testing::RunHost(dir, c.options);
        ASSERT_EQ(expected.status, 0) << expected.err;
        std::ofstream(answers) << c.answers;
        const auto run = testing::RunHostLine(
            dir, "TBLN_MESSAGES=" + Quote(messages) + " $TBLN --root " + Quote(dir / "root") +
                     " --answers " + Quote(answers) + " " + c.command);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.json, expected.json) << c.command;
        std::string lines;
        for (const auto& m : run.json["messages"]) {
            std::string text = m["text"];
            for (std::size_t at = 0; (at = text.find('\r', at)) != std::string::npos;) {
                text.replace(at, 1, "\\r");
            }
            lines += m["title"].get<std::string>() + "\t" + text + "\n";
        }
        EXPECT_EQ(testing::ReadFile(messages), lines) << c.command;
    }
    EXPECT_EQ(testing::ReadFile(copy), testing::ReadFile(title))
        << "a warning the file does not answer keeps the workbook";

    // The variable names the file as --answers does. A control the dialog does not have
    // ends it as Cancel would, and the messages say which line named it.
    std::ofstream(answers) << "file " << schedule << "\nclick btnBrowse\nclick btnOKK\n";
    auto run = testing::RunHostLine(dir, "TBLN_ANSWERS=" + Quote(answers) + " $TBLN --root " +
                                             Quote(dir / "root") + " build-cell");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["result"], false);
    EXPECT_EQ(run.json["messages"].back()["text"],
              answers +
                  ": line 3: the dialog CellRangeForm has no control btnOKK; the dialog "
                  "ends as Cancel would, and the rest of the script is dropped");
    // A malformed line stops the run before any dialog, as does an option the file answers.
    std::ofstream(answers) << "click btnBrowse\npick lbTags first\n";
    run = testing::RunHost(dir, "--answers " + Quote(answers) + " set-luc");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err,
              "tbln: " + answers + ": line 2: \"first\" is not a list index from 0 to 32767\n");
    run = testing::RunHost(dir, "--answers " + Quote(answers) + " set-luc --cell C3");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--cell answers the set-luc dialog"), std::string::npos) << run.err;
}

TEST(HostDialogCommands, PopulateAndSetTopMostWindow) {
    TempDir dir;
    auto run =
        testing::RunHost(dir, "populate --file " + Quote(Fixture("drawings.xlsx")) +
                                  " --sheet Names --first A2 --second A3 --last A10 --template " +
                                  "/work/plan7.dgn --output /out --format dgn");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["result"], true);
    EXPECT_EQ(run.json["rown0"], 10);
    EXPECT_EQ(run.json["outputPath0"], "/out");
    run = testing::RunHost(
        dir, "populate --file " + Quote(Fixture("drawings.xlsx")) +
                 " --first A2 --second A3 --last A10 --template /work/ --output /out");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["result"], false);
    EXPECT_EQ(run.json["messages"][0]["text"], "The template drawing file path is invalid");

    run = testing::RunHost(dir, "set-top-most-window --hwnd 4660 --topmost false");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["windowCalls"][0]["args"],
              nlohmann::json::parse("[4660, -2, 0, 0, 0, 0, 3]"));
}

TEST(HostDialogCommands, SetLucWithoutYesLeavesTheWorkbookAlone) {
    TempDir dir;
    const std::string book = dir / "luc.xlsx";
    std::filesystem::copy_file(Fixture("luc.xlsx"), book);
    const std::string before = testing::ReadFile(book);
    const auto run =
        testing::RunHost(dir, "set-luc --file " + Quote(book) + " --sheet Data --cell D12");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.json["messages"].size(), 1u);
    EXPECT_EQ(run.json["messages"][0]["title"], "Warning");
    EXPECT_EQ(testing::ReadFile(book), before);
}

// Runs Debian's python3 with openpyxl on `script` (argv[1] is `path`) and returns its output.
std::string Openpyxl(const std::string& script, const std::string& path) {
    const std::string cmd = "/usr/bin/python3 -c " + Quote(script) + " " + Quote(path);
    const std::string out = testing::RunCommand(cmd).out;
    return out;
}

TEST(HostDialogCommands, SavedWorkbooksReadBackWithOpenpyxl) {
    TempDir dir;
    const std::string drawings = dir / "drawings.xlsx", luc = dir / "luc.xlsx";
    std::filesystem::copy_file(Fixture("drawings.xlsx"), drawings);
    std::filesystem::copy_file(Fixture("luc.xlsx"), luc);

    auto run =
        testing::RunHost(dir, "export-dgn-name --file " + Quote(drawings) +
                                  " --sheet Notes --start B2 --format dgn /d/one.dgn /d/two-2.dgn");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.json["messages"].empty()) << run.json.dump();
    EXPECT_EQ(Openpyxl("import openpyxl,sys\n"
                       "wb=openpyxl.load_workbook(sys.argv[1])\n"
                       "n=wb['Notes']\n"
                       "print([c.value for c in n['B'] if c.value], n['A1'].value,"
                       " n.max_row, [c.value for c in wb['Names']['A']][:4])",
                       drawings),
              "['/d/one.dgn', '/d/two-2.dgn'] notes 3 ['Drawing', 'plan1', 'plan2', 'PLAN7']\n");

    // A read-only workbook: Export's save fails and says why; the Cancel that ends the run
    // saves again without saying it twice.
    std::filesystem::permissions(
        drawings, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    run = testing::RunHost(dir, "export-dgn-name --file " + Quote(drawings) +
                                    " --sheet Notes --start B2 /d/three.dgn");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.json["messages"].size(), 1u) << run.json.dump();
    EXPECT_EQ(run.json["messages"][0]["text"].get<std::string>().rfind(
                  "The Excel file could not be saved: ", 0),
              0u);

    run = testing::RunHost(dir, "set-luc --file " + Quote(luc) + " --sheet Data --cell D12 --yes");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.json["messages"].size(), 2u);
    EXPECT_EQ(run.json["messages"][1]["text"],
              "The last used cell has been reset to Row 12, Col D     ");
    EXPECT_EQ(Openpyxl("import openpyxl,sys\n"
                       "wb=openpyxl.load_workbook(sys.argv[1])\n"
                       "d=wb['Data']\n"
                       "cells=[c.value for row in d.iter_rows() for c in row if c.value]\n"
                       "print(len(cells), cells[0], cells[-1], d['E1'].value,"
                       " wb['Other']['K20'].value)",
                       luc),
              "48 r1c1 r12c4 None keep too\n");
}

// Converts workbooks to .xlsx with LibreOffice (headless), into `out`.
void LibreOfficeToXlsx(const TempDir& dir, const std::vector<std::string>& books,
                       const std::string& out) {
    std::string cmd = "HOME=" + Quote(dir.Path()) + " soffice --headless --norestore " +
                      "--convert-to xlsx --outdir " + Quote(out);
    for (const auto& b : books) cmd += " " + Quote(b);
    ASSERT_EQ(std::system((cmd + " >/dev/null 2>&1").c_str()), 0) << cmd;
}

// Both dialogs that save, run on a legacy .xls workbook that LibreOffice made from an
// XlsxWriter workbook and on real workbooks of the corpus: LibreOffice reads the saved
// files with the changes and everything else intact.
TEST(HostDialogCommands, DialogsSaveLegacyWorkbooks) {
    TempDir dir;
    const std::string book = dir / "b.xls";
    std::filesystem::copy_file(Fixture("xls_save.xls"), book);

    auto run = testing::RunHost(dir, "export-dgn-name --file " + Quote(book) +
                                         " --sheet Names --start C5 --format dgn /d/one.dgn "
                                         "/d/two-2.dgn");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.json["messages"].empty()) << run.json.dump();
    run = testing::RunHost(dir, "set-luc --file " + Quote(book) + " --sheet Data --cell D12 --yes");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.json["messages"].size(), 2u) << run.json.dump();
    EXPECT_EQ(run.json["messages"][1]["text"],
              "The last used cell has been reset to Row 12, Col D     ");
    // The lower cells of a shared formula go; the upper ones keep their formula. The book
    // named as a user types it, short and relative, is still the one chosen.
    run = testing::RunHostLine(dir, "cd " + Quote(dir.Path()) + " && $TBLN --root " +
                                        Quote(dir / "root") +
                                        " set-luc --file b.xls --sheet Shared --cell D12 --yes");
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.json["messages"].size(), 2u) << run.json.dump();

    // LibreOffice's own reading, through its conversion to .xlsx and openpyxl (what xlrd
    // reads of the same saves of this workbook is checked by the engine's legacy save tests).
    std::vector<std::string> books{book};
    const std::filesystem::path corpus = std::filesystem::path(TBLN_CORPUS) / "xls";
    const bool withCorpus = std::filesystem::exists(corpus);
    if (withCorpus) {
        for (const char* name : {"SimpleMacro.xls", "sumifs.xls", "WithEmbeddedObjects.xls"}) {
            const std::string copy = dir / name;
            std::filesystem::copy_file(corpus / name, copy);
            std::filesystem::permissions(copy, std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add);
            run = testing::RunHost(
                dir, "export-dgn-name --file " + Quote(copy) + " --start B40 /d/corpus.dgn");
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_TRUE(run.json["messages"].empty()) << name << run.json.dump();
            run = testing::RunHost(dir, "set-luc --file " + Quote(copy) + " --cell C40 --yes");
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.json["messages"].size(), 2u) << name << run.json.dump();
            books.push_back(copy);
        }
    }
    const std::string out = dir / "converted";
    LibreOfficeToXlsx(dir, books, out);
    // B1, A2 and B2 lie under the merged area A1:B2.
    EXPECT_EQ(Openpyxl("import openpyxl,sys\n"
                       "wb=openpyxl.load_workbook(sys.argv[1])\n"
                       "n,d=wb['Names'],wb['Data']\n"
                       "cells=[c.value for row in d.iter_rows() for c in row if c.value]\n"
                       "s=wb['Shared']\n"
                       "print([c.value for c in n['C'] if c.value], len(cells),"
                       " sorted(str(m) for m in d.merged_cells.ranges), wb['Other']['K20'].value,"
                       " s['B5'].value, s['B12'].value, s['B13'].value)",
                       out + "/b.xlsx"),
              "['over me', '/d/one.dgn', '/d/two-2.dgn'] 45 ['A1:B2'] keep too =A5*2 =A12*2 "
              "None\n");
    if (!withCorpus) GTEST_SKIP() << "no corpus at " << corpus;
    for (std::size_t i = 1; i < books.size(); ++i) {
        const auto stem = std::filesystem::path(books[i]).stem().string();
        EXPECT_EQ(Openpyxl("import openpyxl,sys\n"
                           "ws=openpyxl.load_workbook(sys.argv[1]).active\n"
                           "print(ws['B40'].value, ws.max_row <= 40, ws.max_column <= 3)",
                           out + "/" + stem + ".xlsx"),
                  "/d/corpus.dgn True True\n")
            << stem;
    }
}

}  // namespace
}  // namespace tbln
