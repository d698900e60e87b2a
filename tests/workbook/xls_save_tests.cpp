// Saving legacy .xls workbooks: the dialogs' edits (cell texts, a column width, the
// deletions of the last-used-cell reset) written into a workbook LibreOffice made, read
// back by python3-xlrd and by the engine; every other sheet and stream kept; the cases
// that cannot be written safely refused with the file kept byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <nlohmann/json.hpp>

#include "adapters/scripted/scripted_ui.hpp"
#include "adapters/workbook/embedded_excel.hpp"
#include "adapters/workbook/numfmt/display_text.hpp"
#include "adapters/workbook/save.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "adapters/workbook/xls/biff_records.hpp"
#include "adapters/workbook/xls/compound_file.hpp"
#include "core/error.hpp"
#include "support/test_platform.hpp"
#include "workbook/save_interrupt_seam.hpp"

namespace tbln {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using testing::Fixture;
using testing::TempDir;

// What python3-xlrd reads from the workbook (see tests/tools/xls_read_back.py).
json ReadWithXlrd(const std::string& path) {
    const std::string command = "/usr/bin/python3 '" + std::string(TBLN_FIXTURES) +
                                "/../tools/xls_read_back.py' '" + path + "' 2>&1";
    const std::string out = testing::RunCommand(command).out;
    const json back = json::parse(out, nullptr, false);
    EXPECT_TRUE(back.is_object()) << "xlrd could not read " << path << ":\n" << out;
    return back;
}

// The texts the engine shows for a sheet, by cell.
std::map<std::string, std::string> EngineTexts(const std::string& path, const std::string& name) {
    const auto book = workbook::LoadWorkbook(path);
    std::map<std::string, std::string> out;
    for (const auto& sheet : book->sheets) {
        if (sheet.name != name) continue;
        for (const auto& e : sheet.cells) {
            const Long row = static_cast<Long>(e.key >> 32), col = static_cast<Long>(e.key);
            if (e.cell.type == workbook::CellType::Empty) continue;
            out[std::to_string(row) + "," + std::to_string(col)] =
                workbook::DisplayText(*book, e.cell);
        }
    }
    return out;
}

class LegacySave : public ::testing::Test {
  protected:
    LegacySave() : excel(workbook::CreateEmbeddedExcel(ui)) {
        fs::copy_file(Fixture("xls_save.xls"), path);
        original = testing::ReadFile(path);
    }
    ~LegacySave() override {
        testing::SetSaveInterrupt(nullptr);
        chmod(path.c_str(), 0644);
    }
    std::shared_ptr<excel::Workbook> Open() { return excel->Workbooks()->Open(path); }
    // What the last-used-cell reset does with the active cell at (row, col).
    static void ResetLastUsedCell(excel::Worksheet& sheet, Long row, Long col) {
        sheet.Range(std::to_string(row + 1) + ":65536")->Delete();
        sheet.Range(sheet.Cells(1, col + 1), sheet.Cells(65536, 256))->Delete();
    }

    TempDir dir;
    std::string path = dir / "book.xls";
    std::string original;
    scripted::ScriptedUi ui;
    std::shared_ptr<excel::Application> excel;
};

TEST_F(LegacySave, ExportedNamesAndWidthReadBackInXlrdAndTheEngine) {
    const json before = ReadWithXlrd(path);
    {
        auto book = Open();
        auto sheet = book->Sheets("Names");
        sheet->Cells(5, 3)->SetValue("/d/one.dgn");                    // a new row
        sheet->Cells(6, 3)->SetValue("\u4e2d\u6587 plan \u00e9.dgn");  // 16-bit characters
        sheet->Cells(4, 3)->SetValue("replaced");                      // over a shared string
        sheet->Cells(2, 2)->SetValue("over a number");
        sheet->Cells(3, 2)->SetValue("over a formula");
        sheet->Cells(2, 1)->SetValue("");  // emptied
        sheet->Cells(3, 4)->SetValue("new in an old row");
        sheet->Columns(3)->SetColumnWidth(15);
        sheet->Columns(9)->SetColumnWidth(30);  // splits the H:J run
        book->Save();
    }
    const json after = ReadWithXlrd(path);
    ASSERT_TRUE(after.is_object());
    EXPECT_EQ(after["streams"], before["streams"]);
    for (const char* other : {"Data", "Shared", "Other"})
        EXPECT_EQ(after["sheets"][other], before["sheets"][other]) << other;
    auto expected = before["sheets"]["Names"]["cells"];
    expected["C5"] = "/d/one.dgn";
    expected["C6"] = "\u4e2d\u6587 plan \u00e9.dgn";
    expected["C4"] = "replaced";
    expected["B2"] = "over a number";
    expected["B3"] = "over a formula";
    expected["D3"] = "new in an old row";
    expected.erase("A2");
    const auto& names = after["sheets"]["Names"];
    EXPECT_EQ(names["cells"], expected);
    EXPECT_EQ(names["merges"], before["sheets"]["Names"]["merges"]);
    EXPECT_EQ(names["fonts"], before["sheets"]["Names"]["fonts"]);  // A1 keeps its bold
    const auto& widths = names["widths"];
    EXPECT_GT(widths["2"].get<int>(), before["sheets"]["Names"]["widths"]["2"].get<int>());
    EXPECT_EQ(widths["7"], before["sheets"]["Names"]["widths"]["7"]);
    EXPECT_EQ(widths["9"], before["sheets"]["Names"]["widths"]["9"]);
    EXPECT_GT(widths["8"].get<int>(), widths["7"].get<int>());

    // The engine reads back what it wrote, and the same widths it showed before saving.
    const auto texts = EngineTexts(path, "Names");
    EXPECT_EQ(texts.at("5,3"), "/d/one.dgn");
    EXPECT_EQ(texts.at("6,3"), "\u4e2d\u6587 plan \u00e9.dgn");
    EXPECT_EQ(texts.count("2,1"), 0u);
    auto book = Open();
    EXPECT_NEAR(book->Sheets("Names")->Columns(3)->ColumnWidth(), 15, 0.01);
    EXPECT_NEAR(book->Sheets("Names")->Columns(9)->ColumnWidth(), 30, 0.01);
}

TEST_F(LegacySave, ResetLastUsedCellLeavesOnlyTheCellsUpToIt) {
    const json before = ReadWithXlrd(path);
    {
        auto book = Open();
        ResetLastUsedCell(*book->Sheets("Data"), 12, 4);
        book->Save();
    }
    const json after = ReadWithXlrd(path);
    ASSERT_TRUE(after.is_object());
    EXPECT_EQ(after["streams"], before["streams"]);
    for (const char* other : {"Names", "Shared", "Other"})
        EXPECT_EQ(after["sheets"][other], before["sheets"][other]) << other;
    const auto& data = after["sheets"]["Data"];
    json expected = json::object();
    for (const auto& [cell, value] : before["sheets"]["Data"]["cells"].items()) {
        const char col = cell[0];
        const int row = std::stoi(cell.substr(1));
        if (col <= 'D' && row <= 12) expected[cell] = value;
    }
    EXPECT_EQ(data["cells"], expected);
    EXPECT_EQ(data["size"], json::parse("[12, 4]"));
    EXPECT_EQ(data["merges"], json::parse("[[0, 2, 0, 2]]"));  // A1:B2; the merges beyond are gone
    EXPECT_EQ(data["heights"].count("16"), 0u);                // the tall row 17 went with its row
    EXPECT_EQ(data["heights"]["2"], before["sheets"]["Data"]["heights"]["2"]);
    ASSERT_EQ(before["sheets"]["Data"]["links"].size(), 2u);
    EXPECT_EQ(data["links"], json::parse(R"([[2, 2, 2, 2, "https://example.com/kept"]])"));
    // The engine sees the new last cell in the sheet's recorded extent too.
    const auto book = workbook::LoadWorkbook(path);
    EXPECT_EQ(book->sheets.at(1).dimension, "A1:D12");
}

// A reset that removes the lower cells of a shared formula keeps the cell holding it, so
// the cells left still find their formula.
TEST_F(LegacySave, ResetKeepsTheUpperCellsOfASharedFormula) {
    {
        auto book = Open();
        ResetLastUsedCell(*book->Sheets("Shared"), 12, 4);
        book->Save();
    }
    const json after = ReadWithXlrd(path);
    ASSERT_TRUE(after.is_object());
    const auto& shared = after["sheets"]["Shared"];
    EXPECT_EQ(shared["size"], json::parse("[12, 2]"));
    EXPECT_EQ(shared["cells"]["B12"], "24.0");
}

// What cannot be written safely is refused, naming the file and why, and the file keeps
// every byte.
// Damages the directory entry of the stream `name` once the workbook is open: `value`
// written at `offset` into its 128 bytes (116: first sector, 120: size; 66: kind).
void DamageEntry(const std::string& path, const std::string& name, std::size_t offset,
                 const std::string& value) {
    std::string bytes = testing::ReadFile(path);
    std::string utf16;
    for (char c : name) utf16 += std::string{c, '\0'};
    const auto at = bytes.find(utf16);
    ASSERT_NE(at, std::string::npos) << name;
    bytes.replace(at + offset, value.size(), value);
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST_F(LegacySave, RefusedCasesKeepTheFile) {
    struct Case {
        const char* what;
        std::function<void(excel::Workbook&)> change;
        const char* reason;
    } cases[] = {
        {"a text over the cell that holds a shared formula",
         [](excel::Workbook& b) { b.Sheets("Shared")->Cells(1, 2)->SetValue("x"); },
         "has a shared or array formula at B1 that the change would cut"},
        {"a deletion that moves the cells of a shared formula",
         [](excel::Workbook& b) { b.Sheets("Shared")->Range("1:1")->Delete(); },
         "has a shared or array formula at B2 that the change would move"},
        {"a cell beyond column IV",
         [](excel::Workbook& b) { b.Sheets("Names")->Cells(1, 257)->SetValue("x"); },
         "the cell IW1 of the sheet Names lies outside the 65,536 rows and 256 columns"},
        {"a text over 255 characters",
         [](excel::Workbook& b) {
             b.Sheets("Names")->Cells(5, 3)->SetValue(std::string(256, 'x'));
         },
         "longer than the 255 characters"},
        {"a read-only file",
         [this](excel::Workbook& b) {
             b.Sheets("Names")->Cells(5, 3)->SetValue("x");
             chmod(path.c_str(), 0444);
         },
         "read-only"},
        {"a write that fails half way",
         [](excel::Workbook& b) {
             b.Sheets("Names")->Cells(5, 3)->SetValue("x");
             testing::SetSaveInterrupt([](double done) { return done >= 0.5; });
         },
         "writing the new file failed"},
        // Streams the container library cannot read are left out of its listing (with
        // every entry found only through them): the save would drop them.
        {"a property stream longer than the file",
         [this](excel::Workbook& b) {
             b.Sheets("Names")->Cells(5, 3)->SetValue("x");
             DamageEntry(path, "\x05SummaryInformation", 120, std::string("\xFF\xFF\xFF\x7F", 4));
         },
         "the compound file of the legacy workbook is damaged: \\x05DocumentSummaryInformation "
         "and \\x05SummaryInformation cannot be read whole, and saving would lose them"},
        {"a directory entry of an unknown kind",
         [this](excel::Workbook& b) {
             b.Sheets("Names")->Cells(5, 3)->SetValue("x");
             DamageEntry(path,
                         "\x01"
                         "CompObj",
                         66, "\x07");
         },
         "the directory entry \\x01CompObj is of an unknown kind"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto fresh = workbook::CreateEmbeddedExcel(ui);
        auto book = fresh->Workbooks()->Open(path);
        c.change(*book);
        const std::string kept = testing::ReadFile(path);
        try {
            book->Save();
            ADD_FAILURE() << "saved";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), err::kApplicationDefined);
            EXPECT_NE(e.Description().find("Cannot save the workbook " + path), std::string::npos)
                << e.Description();
            EXPECT_NE(e.Description().find(c.reason), std::string::npos) << e.Description();
        }
        testing::SetSaveInterrupt(nullptr);
        chmod(path.c_str(), 0644);
        EXPECT_TRUE(testing::ReadFile(path) == kept) << "the workbook file changed";
        std::ofstream(path, std::ios::binary) << original;
    }
}

// Some writers store a merged area's corners the other way round: the save reads them as
// the engine does, so the area moves with a deletion above it.
TEST_F(LegacySave, InvertedMergeCornersMoveWithADeletion) {
    std::string bytes = original;
    const std::string e2f3("\x01\x00\x02\x00\x04\x00\x05\x00", 8);  // rows 2-3, columns E-F
    const auto at = bytes.find(e2f3);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 8, std::string("\x02\x00\x01\x00\x05\x00\x04\x00", 8));
    std::ofstream(path, std::ios::binary) << bytes;
    auto book = Open();
    book->Sheets("Names")->Range("1:1")->Delete();
    book->Save();
    const auto back = workbook::LoadWorkbook(path);
    const auto* merge = back->sheets.at(0).FindMerge(1, 5);
    ASSERT_NE(merge, nullptr);
    EXPECT_EQ((std::vector<Long>{merge->top, merge->left, merge->bottom, merge->right}),
              (std::vector<Long>{1, 5, 2, 6}));
}

fs::path Corpus() {
    const char* env = std::getenv("TBLN_CORPUS");
    return fs::path(env && *env ? env : TBLN_CORPUS);
}

// The stream positions an INDEX record gives (of DEFCOLWIDTH and of each DBCELL) and
// the first ROW record of its block that each DBCELL gives.
void ExpectIndexesPointAtTheirRecords(const std::string& path) {
    using namespace workbook::biff;
    const auto stream = workbook::ReadWorkbookStream(path).bytes;
    const auto idAt = [&](std::uint32_t at) {
        return at + 4 <= stream.size()
                   ? static_cast<std::uint16_t>(static_cast<unsigned char>(stream[at]) |
                                                static_cast<unsigned char>(stream[at + 1]) << 8)
                   : 0;
    };
    RecordStream records(stream);
    int indexes = 0;
    while (records.Next()) {
        if (records.Id() != 0x020B) continue;
        ++indexes;
        auto bytes = records.Reader();
        bytes.Skip(12);
        const std::uint32_t defColWidth = bytes.U32();
        if (defColWidth != 0) {
            EXPECT_EQ(idAt(defColWidth), kDefColWidth) << path;
        }
        while (bytes.Left() >= 4) {
            const std::uint32_t block = bytes.U32();
            ASSERT_EQ(idAt(block), 0x00D7) << path;
            Bytes dbCell(std::string_view(stream).substr(block + 4, 4), 0x00D7);
            const std::uint32_t back = dbCell.U32();
            EXPECT_EQ(idAt(block - back), kRow) << path;
        }
    }
    EXPECT_GT(indexes, 0) << path;
}

// Real workbooks written by other programs (with INDEX and DBCELL records, several
// sheets, other streams): a text and a width written into the first sheet read back in
// xlrd and the engine, the other sheets and streams unchanged, and the row-block
// positions of the sheets after it moved with them.
TEST_F(LegacySave, CorpusWorkbooksSaveAndReadBack) {
    const fs::path corpus = Corpus() / "xls";
    if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    for (const char* name : {"SimpleMacro.xls", "WithEmbeddedObjects.xls", "ex44921-21902.xls",
                             "sumifs.xls", "bug66319.xls"}) {
        SCOPED_TRACE(name);
        const std::string copy = dir / name;
        fs::copy_file(corpus / name, copy);
        fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write);
        const json before = ReadWithXlrd(copy);
        const auto first = workbook::LoadWorkbook(copy)->sheets.front().name;
        {
            auto fresh = workbook::CreateEmbeddedExcel(ui);
            auto book = fresh->Workbooks()->Open(copy);
            book->Sheets(first)->Cells(200, 3)->SetValue("/d/saved.dgn");
            // In bug66319.xls B40 is one cell of a run of blank cells (MULBLANK).
            book->Sheets(first)->Cells(40, 2)->SetValue("/d/over.dgn");
            book->Sheets(first)->Columns(3)->SetColumnWidth(40);
            book->Save();
        }
        const json after = ReadWithXlrd(copy);
        ASSERT_TRUE(after.is_object());
        EXPECT_EQ(after["streams"], before["streams"]);
        for (const auto& [sheet, view] : before["sheets"].items()) {
            if (sheet == first) continue;
            EXPECT_EQ(after["sheets"][sheet], view) << sheet;
        }
        auto expected = before["sheets"][first]["cells"];
        expected["C200"] = "/d/saved.dgn";
        expected["B40"] = "/d/over.dgn";
        EXPECT_EQ(after["sheets"][first]["cells"], expected);
        EXPECT_EQ(EngineTexts(copy, first).at("200,3"), "/d/saved.dgn");
        ExpectIndexesPointAtTheirRecords(copy);
    }
}

// An Excel 95 workbook (BIFF5) is read but its save is refused, the file kept.
TEST_F(LegacySave, Excel95WorkbookIsNotWritten) {
    const fs::path biff5 = Corpus() / "xls" / "testEXCEL_95.xls";
    if (!fs::exists(biff5)) GTEST_SKIP() << "no corpus at " << Corpus();
    const std::string copy = dir / "excel95.xls";
    fs::copy_file(biff5, copy);
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write);
    const std::string bytes = testing::ReadFile(copy);
    auto book = excel->Workbooks()->Open(copy);
    book->Sheets()->Item(1)->Cells(1, 1)->SetValue("x");
    try {
        book->Save();
        ADD_FAILURE() << "saved";
    } catch (const RuntimeError& e) {
        EXPECT_NE(e.Description().find("Cannot save the workbook " + copy +
                                       ": it is an Excel 5.0 or 95 workbook (BIFF5)"),
                  std::string::npos)
            << e.Description();
    }
    EXPECT_TRUE(testing::ReadFile(copy) == bytes) << "the workbook file changed";
}

}  // namespace
}  // namespace tbln
