// Writing cells, column widths and deletions, and saving in place: what the engine
// saves reads back in openpyxl and LibreOffice, untouched parts stay byte for byte,
// and a save that cannot finish leaves the workbook file as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "adapters/posix/posix_system.hpp"
#include "adapters/scripted/scripted_ui.hpp"
#include "adapters/workbook/embedded_excel.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/save.hpp"
#include "adapters/workbook/sheet_edits.hpp"
#include "core/error.hpp"
#include "support/test_platform.hpp"
#include "workbook/save_interrupt_seam.hpp"

namespace tbln {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::Fixture;
using testing::TempDir;

// What openpyxl reads from a workbook file.
json ReadWithOpenpyxl(const std::string& path) {
    return json::parse(testing::RunCommand("/usr/bin/python3 '" + Fixture("read_back_openpyxl.py") +
                                           "' '" + path + "' 2>/dev/null")
                           .out,
                       nullptr, false);
}

std::string Reference(Long row, Long col) {
    std::string letters;
    for (Long c = col; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters + std::to_string(row);
}

class Saving : public ::testing::Test {
  protected:
    Saving() : excel(workbook::CreateEmbeddedExcel(ui)) {
        fs::copy_file(Fixture("save_source.xlsx"), path);
        original = testing::ReadFile(path);
    }
    ~Saving() override {
        testing::SetSaveInterrupt(nullptr);
        chmod(dir.Path().c_str(), 0755);
    }
    std::shared_ptr<excel::Workbook> Open() { return excel->Workbooks()->Open(path); }

    TempDir dir;
    std::string path = dir / "names.xlsx";
    std::string original;
    scripted::ScriptedUi ui;
    std::shared_ptr<excel::Application> excel;
};

TEST_F(Saving, TextAndWidthsReadBackInOpenpyxlAndTheEngine) {
    auto book = Open();
    auto sheet = book->Sheets("Names");
    struct Write {
        Long row, col;
        const char* text;
    } writes[] = {
        {2, 3, "DWG-100.dgn"},         // a new cell in an existing row
        {7, 1, " padded "},            // a new row, spaces kept
        {2, 2, "over a number"},       // a number becomes text
        {3, 2, "over a formula"},      // a formula becomes text
        {4, 4, "12"},                  // text that looks like a number stays text
        {26, 3, "a<b & \"c\""},        // XML's special characters
        {27, 1, "_x0041_ literally"},  // the file format's own escape, as plain text
        {1, 703, "column AAA"},        // three column letters
    };
    for (const auto& w : writes) sheet->Cells(w.row, w.col)->SetValue(w.text);
    sheet->Range("A2")->SetValue("");  // emptied
    sheet->Columns(3)->SetColumnWidth(15);
    sheet->Range("K:L")->SetColumnWidth(8.43);
    sheet->Columns(9)->SetColumnWidth(30);  // splits the H:J run
    for (const auto& w : writes) EXPECT_EQ(sheet->Cells(w.row, w.col)->Text(), w.text);
    book->Save();

    const json back = ReadWithOpenpyxl(path);
    ASSERT_TRUE(back.is_object()) << "openpyxl could not read the saved file";
    const auto& names = back["Names"];
    for (const auto& w : writes) {
        const std::string ref = Reference(w.row, w.col);
        // openpyxl does not decode the file format's escapes in inline text; Excel does.
        if (ref != "A27") {
            EXPECT_EQ(names["cells"][ref], w.text) << ref;
        }
    }
    EXPECT_FALSE(names["cells"].contains("A2"));
    EXPECT_EQ(names["cells"]["A3"], "second.dgn");
    EXPECT_EQ(names["cells"]["D2"], "merged");
    // The width XlsxWriter wrote for 15 characters into column F is the one written here.
    EXPECT_EQ(names["widths"]["C"], names["widths"]["F"]);
    EXPECT_EQ(names["widths"]["C"], 15.7109375);
    EXPECT_EQ(names["widths"]["K"], 9.140625);  // Excel's default column
    EXPECT_EQ(names["widths"]["H"], 20.7109375);
    EXPECT_EQ(names["widths"]["I"], 30.7109375);
    EXPECT_EQ(names["widths"]["J"], 20.7109375);
    EXPECT_EQ(back["Other"]["cells"]["A1"], "keep");

    // A fresh engine reads the saved file the same way.
    auto fresh = workbook::CreateEmbeddedExcel(ui);
    auto again = fresh->Workbooks()->Open(path)->Sheets("Names");
    for (const auto& w : writes) EXPECT_EQ(again->Cells(w.row, w.col)->Text(), w.text);
    EXPECT_EQ(again->Cells(2, 1)->Text(), "");
    // Widths read back in characters, before and after the save.
    for (const auto& s : {sheet, again}) {
        EXPECT_EQ(s->Columns(3)->ColumnWidth(), 15);
        EXPECT_EQ(s->Columns(9)->ColumnWidth(), 30);
        EXPECT_EQ(s->Columns(10)->ColumnWidth(), 20);
        EXPECT_EQ(s->Columns(11)->ColumnWidth(), 8.43);
    }
    sheet->Columns(3)->SetColumnWidth(0);
    EXPECT_EQ(sheet->Columns(3)->ColumnWidth(), 0) << "a width of 0 hides the column";
}

TEST_F(Saving, OnlyTheChangedSheetIsRewritten) {
    auto book = Open();
    book->Sheets("Names")->Cells(5, 1)->SetValue("third.dgn");
    book->Save();
    workbook::Package before(Fixture("save_source.xlsx")), after(path);
    EXPECT_EQ(before.Names(), after.Names()) << "the parts and their order";
    for (const auto& name : before.Names()) {
        if (name == "xl/worksheets/sheet1.xml") {
            EXPECT_NE(before.Read(name), after.Read(name));
        } else {
            EXPECT_EQ(before.Read(name), after.Read(name)) << name;
        }
    }
    // A save with nothing changed leaves the file alone.
    const auto saved = testing::ReadFile(path);
    book->Save();
    EXPECT_EQ(testing::ReadFile(path), saved);
}

TEST_F(Saving, ResettingTheLastUsedCellDeletesRowsAndTheBlockRightOfIt) {
    // The reset for a click on D12: rows 13 on go, then columns E to IV of rows 1 to 65536.
    auto book = Open();
    auto sheet = book->Sheets("Names");
    sheet->Range("13:65536")->Delete();
    sheet->Range(sheet->Cells(1, 5), sheet->Cells(65536, 256))->Delete();
    EXPECT_EQ(sheet->Cells(25, 1)->Text(), "");
    EXPECT_EQ(sheet->Cells(5, 10)->Text(), "");
    EXPECT_EQ(sheet->Cells(2, 4)->Text(), "merged");
    EXPECT_EQ(sheet->Cells(2, 4)->MergeArea()->Count(), 2) << "D2:E3 keeps D2:D3";
    book->Save();

    const json back = ReadWithOpenpyxl(path);
    ASSERT_TRUE(back.is_object());
    const auto& names = back["Names"];
    EXPECT_LE(names["max_row"].get<int>(), 12);
    EXPECT_LE(names["max_column"].get<int>(), 4);
    EXPECT_EQ(names["merges"], json::array({"D2:D3"}));
    EXPECT_EQ(names["cells"]["A2"], "first.dgn");
    EXPECT_EQ(names["cells"]["B3"], "=B2*2");
    EXPECT_FALSE(names["cells"].contains("A25"));
    EXPECT_FALSE(names["cells"].contains("J5"));
}

TEST_F(Saving, DeletionsMoveWhatIsLeft) {
    auto book = Open();
    auto sheet = book->Sheets("Names");
    sheet->Range("2:2")->Delete();  // A3 moves to A2; the merge D2:E3 keeps D2:E2
    EXPECT_EQ(sheet->Cells(2, 1)->Text(), "second.dgn");
    EXPECT_EQ(sheet->Cells(2, 5)->MergeArea()->Count(), 2);
    sheet->Range("E1:E2")->Delete();  // leaves D2 alone: a merge of one cell is undone
    EXPECT_FALSE(sheet->Cells(2, 4)->MergeCells());
    sheet->Range("B:C")->Delete();  // whole columns: widths move with them
    EXPECT_EQ(sheet->Cells(29, 6)->Text(), "far") << "H30 moved up one row and left two columns";
    EXPECT_EQ(sheet->Cells(4, 8)->Text(), "right of the last cell") << "J5: up one, left two";
    book->Save();
    const json back = ReadWithOpenpyxl(path);
    ASSERT_TRUE(back.is_object());
    const auto& names = back["Names"];
    EXPECT_EQ(names["cells"]["F29"], "far");
    EXPECT_EQ(names["cells"]["H4"], "right of the last cell");
    EXPECT_EQ(names["merges"], json::array());
    EXPECT_EQ(names["cells"]["A2"], "second.dgn");
    EXPECT_EQ(names["widths"]["D"], 15.7109375) << "column F's width moved to D";
    EXPECT_EQ(names["widths"]["F"], 20.7109375);
    EXPECT_FALSE(names["widths"].contains("C"));
}

TEST_F(Saving, ABlockThatCutsAMergedAreaIsRefusedAndNothingChanges) {
    auto sheet = Open()->Sheets("Names");
    try {
        sheet->Range("E3:F9")->Delete();  // cuts through D2:E3 at its top row
        ADD_FAILURE() << "deleted part of a merged area";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), err::kApplicationDefined);
    }
    EXPECT_EQ(sheet->Cells(5, 10)->Text(), "right of the last cell");
    EXPECT_THROW(sheet->Range("A1,B2")->Delete(), RuntimeError);
    EXPECT_THROW(sheet->Range("A:A")->SetValue("x"), RuntimeError) << "a million cells at once";
    EXPECT_THROW(sheet->Columns(2)->SetColumnWidth(256), RuntimeError);
    EXPECT_THROW(sheet->Columns(2)->SetColumnWidth(-1), RuntimeError);
}

TEST_F(Saving, AFailedSaveLeavesTheFileAsItWas) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        const char* reason;
    } cases[] = {
        {"read-only file", [this] { chmod(path.c_str(), 0444); }, "read-only"},
        {"read-only folder", [this] { chmod(dir.Path().c_str(), 0555); }, "read-only"},
        {"write fails half way",
         [] { testing::SetSaveInterrupt([](double done) { return done >= 0.5; }); }, "failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto fresh = workbook::CreateEmbeddedExcel(ui);
        auto book = fresh->Workbooks()->Open(path);
        book->Sheets("Names")->Cells(2, 3)->SetValue("lost");
        c.arrange();
        try {
            book->Save();
            ADD_FAILURE() << "saved";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), err::kApplicationDefined);
            EXPECT_NE(e.Description().find(path), std::string::npos) << e.Description();
            EXPECT_NE(e.Description().find(c.reason), std::string::npos) << e.Description();
        }
        EXPECT_EQ(testing::ReadFile(path), original);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator{}), 1)
            << "no temporary file is left behind";
        // Once the cause is gone, the same edits save.
        chmod(dir.Path().c_str(), 0755);
        chmod(path.c_str(), 0644);
        testing::SetSaveInterrupt(nullptr);
        book->Save();
        EXPECT_EQ(fresh->Workbooks()->Open(path)->Sheets("Names")->Cells(2, 3)->Text(), "lost");
        fs::remove(path);
        fs::copy_file(Fixture("save_source.xlsx"), path);
    }
}

// A workbook another program saved since it was opened here is read again when it is
// opened again, unless it holds changes of ours not yet saved: those are kept (the user
// is told once) until a save writes them into the file as it is then.
TEST_F(Saving, OpeningAgainReadsWhatAnotherProgramSaved) {
    auto book = Open();
    auto sheet = book->Sheets("Names");
    sheet->Activate();
    sheet->Range("C4")->Select();
    const std::string before = sheet->Cells(2, 3)->Text();
    // The other program: a second engine, saving by rename.
    auto other = workbook::CreateEmbeddedExcel(ui);
    auto theirs = other->Workbooks()->Open(path);
    theirs->Sheets("Names")->Cells(2, 3)->SetValue("theirs");
    sheet->Cells(5, 1)->SetValue("ours");
    theirs->Save();
    for (int i = 0; i < 2; ++i) EXPECT_EQ(Open(), book);
    EXPECT_EQ(sheet->Cells(2, 3)->Text(), before) << "our unsaved copy is kept";
    ASSERT_EQ(ui.Messages().size(), 1u) << "told once";
    EXPECT_NE(ui.Messages()[0].prompt.find(path + " was changed by another program"),
              std::string::npos);
    book->Save();
    Open();
    EXPECT_EQ(sheet->Cells(2, 3)->Text(), "theirs");
    EXPECT_EQ(sheet->Cells(5, 1)->Text(), "ours");
    EXPECT_EQ(excel->ActiveCell()->Row(), 4) << "the user's active cell stays";
    EXPECT_EQ(excel->ActiveCell()->Column(), 3);
    // A file without the sheet: whoever still holds it gets an error, not a crash.
    fs::copy_file(Fixture("capture.xlsx"), dir / "new.xlsx");
    fs::rename(dir / "new.xlsx", path);
    book->Activate();
    EXPECT_THROW(sheet->Name(), RuntimeError);
    EXPECT_THROW(book->Sheets("Names"), RuntimeError);
}

// A workbook opened through symbolic links (a relative link to an absolute one) is saved
// where the links lead; the links stay links.
TEST_F(Saving, ASaveThroughSymbolicLinksWritesTheFileTheyLeadTo) {
    fs::create_directories(dir / "links");
    fs::create_symlink(path, dir / "links/absolute.xlsx");
    fs::create_symlink("absolute.xlsx", dir / "links/relative.xlsx");
    auto book = excel->Workbooks()->Open(dir / "links/relative.xlsx");
    book->Sheets("Names")->Cells(2, 3)->SetValue("through the link");
    book->Save();
    EXPECT_TRUE(fs::is_symlink(dir / "links/relative.xlsx"));
    EXPECT_TRUE(fs::is_symlink(dir / "links/absolute.xlsx"));
    EXPECT_FALSE(fs::is_symlink(path));
    auto fresh = workbook::CreateEmbeddedExcel(ui);
    EXPECT_EQ(fresh->Workbooks()->Open(path)->Sheets("Names")->Cells(2, 3)->Text(),
              "through the link");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "links"), fs::directory_iterator{}), 2);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator{}), 2);
}

// A save killed while it wrote leaves its temporary file, named after the workbook; the
// next save of the same workbook removes it, and leaves other files alone.
TEST_F(Saving, TheNextSaveRemovesWhatAKilledSaveLeft) {
    const pid_t child = fork();
    if (child == 0) {
        posix::FileReplacement file(path);
        file.Write(original.substr(0, original.size() / 2));
        raise(SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    std::ofstream(dir / "names.xlsx.backup1") << "the user's own";
    std::ofstream(dir / ".other.xlsx.tbln-save-abcdef") << "another workbook's";
    ASSERT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator{}), 4);

    auto book = Open();
    book->Sheets("Names")->Cells(2, 3)->SetValue("x");
    book->Save();
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.Path())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".other.xlsx.tbln-save-abcdef", "names.xlsx",
                                               "names.xlsx.backup1"}));
}

TEST_F(Saving, TheFileKeepsItsPermissions) {
    chmod(path.c_str(), 0640);
    auto book = Open();
    book->Sheets("Names")->Cells(2, 3)->SetValue("x");
    book->Save();
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(Saving, LibreOfficeOpensTheSavedFile) {
    if (testing::RunCommand("command -v soffice").out.empty())
        GTEST_SKIP() << "LibreOffice is not installed";
    auto book = Open();
    auto sheet = book->Sheets("Names");
    sheet->Cells(2, 3)->SetValue("DWG-100.dgn");
    sheet->Range("13:65536")->Delete();
    book->Save();
    const std::string out = dir / "out";
    testing::RunCommand("HOME='" + dir.Path() + "' soffice --headless --convert-to csv --outdir '" +
                        out + "' '" + path + "' >/dev/null 2>&1");
    const std::string csv = testing::ReadFile(out + "/names.csv");
    EXPECT_NE(csv.find("first.dgn,42,DWG-100.dgn,merged"), std::string::npos) << csv;
    EXPECT_EQ(csv.find("far"), std::string::npos) << csv;
}

// Real files from other writers: an edit saves and reads back; a workbook whose
// formulas moved loses its stale calculation chain.
TEST_F(Saving, CorpusWorkbooksSaveAndReadBack) {
    const char* env = std::getenv("TBLN_CORPUS");
    const fs::path corpus(env ? env : TBLN_CORPUS);
    if (!fs::exists(corpus / "xlsx")) GTEST_SKIP() << "no corpus at " << corpus;
    for (const char* name : {"59746_NoRowNums.xlsx", "SampleSS.strict.xlsx", "escapes01.xlsx",
                             "AverageTaxRates.xlsx", "60512.xlsm"}) {
        SCOPED_TRACE(name);
        const std::string copy = dir / name;
        fs::copy_file(corpus / "xlsx" / name, copy);
        fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
        auto app = workbook::CreateEmbeddedExcel(ui);
        auto book = app->Workbooks()->Open(copy);
        auto sheet = book->Sheets()->Item(1);
        const std::string kept = sheet->Cells(1, 2)->Text();
        sheet->Cells(1, 1)->SetValue("saved by the engine");
        sheet->Columns(1)->SetColumnWidth(20);
        book->Save();
        auto fresh = workbook::CreateEmbeddedExcel(ui);
        auto again = fresh->Workbooks()->Open(copy)->Sheets()->Item(1);
        EXPECT_EQ(again->Cells(1, 1)->Text(), "saved by the engine");
        EXPECT_EQ(again->Cells(1, 2)->Text(), kept);
        EXPECT_TRUE(ReadWithOpenpyxl(copy).is_object());
        if (std::string(name) == "escapes01.xlsx") {
            workbook::Package saved(copy);
            EXPECT_FALSE(saved.Has("xl/calcChain.xml"));
            EXPECT_EQ(saved.Read("xl/_rels/workbook.xml.rels").find("calcChain"),
                      std::string::npos);
            EXPECT_EQ(saved.Read("[Content_Types].xml").find("calcChain"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace tbln
