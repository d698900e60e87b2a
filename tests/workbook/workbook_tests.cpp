#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "adapters/scripted/scripted_ui.hpp"
#include "adapters/workbook/a1.hpp"
#include "adapters/workbook/embedded_excel.hpp"
#include "adapters/workbook/numfmt/display_text.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "core/error.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

namespace fs = std::filesystem;
using testing::Fixture;
using testing::TempDir;

class Engine : public ::testing::Test {
  protected:
    Engine() : excel(workbook::CreateEmbeddedExcel(ui)) {}
    std::shared_ptr<excel::Workbook> Open(const std::string& name) {
        return excel->Workbooks()->Open(Fixture(name));
    }
    scripted::ScriptedUi ui;
    std::shared_ptr<excel::Application> excel;
};

TEST_F(Engine, ReadsCellsAsDisplayedFromTwoIndependentWriters) {
    struct Case {
        const char* file;
        const char* sheet;
        Long row, col;
        const char* text;
    } cases[] = {
        {"blocks.xlsx", "Title Block", 2, 2, "DWG-001"},
        {"blocks.xlsx", "Title Block", 3, 3, "2.5"},
        {"blocks.xlsx", "Title Block", 4, 2, "TRUE"},
        {"blocks.xlsx", "Title Block", 5, 2, "84"},
        {"blocks.xlsx", "Title Block", 1, 27, "far column"},
        {"blocks.xlsx", "Title Block", 9, 9, ""},
        {"openpyxl.xlsx", "Sheet1", 2, 2, "0.3"},
        {"openpyxl.xlsx", "Sheet1", 3, 2, "1.23E+11"},  // in a column of 8.43 characters
        {"openpyxl.xlsx", "other", 3, 3, "other sheet"},
    };
    for (const auto& c : cases) {
        auto book = Open(c.file);
        EXPECT_EQ(book->Sheets(c.sheet)->Cells(c.row, c.col)->Text(), c.text)
            << c.file << " " << c.row << "," << c.col;
    }
}

TEST_F(Engine, WorkbookStateFollowsTheFile) {
    auto book = Open("blocks.xlsx");
    EXPECT_EQ(book->Name(), "blocks.xlsx");
    EXPECT_TRUE(fs::path(book->FullName()).is_absolute());
    EXPECT_EQ(book->Sheets()->Count(), 2);
    EXPECT_EQ(book->Sheets()->Item(1)->Name(), "Title Block");
    EXPECT_EQ(book->ActiveSheet()->Name(), "Parts") << "the file's active tab";
    EXPECT_EQ(excel->ActiveWorkbook(), book);
    EXPECT_EQ(excel->Caption(), "Excel - blocks.xlsx");
    try {
        book->Sheets("Nope");
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), err::kSubscript);
    }
    // Selecting needs the sheet to be active, as in Excel.
    auto title = book->Sheets("Title Block");
    EXPECT_THROW(title->Range("B2")->Select(), RuntimeError);
    title->Activate();
    title->Range("C3:D4")->Select();
    EXPECT_EQ(excel->ActiveCell()->Row(), 3);
    EXPECT_EQ(excel->ActiveCell()->Column(), 3);
    EXPECT_EQ(excel->ActiveCell()->Text(), "2.5");
}

// References at the edges of the letters and of the sheet (XFD1048576 is the last cell),
// each written and read back; a sheet's "sqref" lists leave out what is not an area.
TEST(A1References, BoundariesRoundTrip) {
    struct Case {
        Long row, col;
        const char* ref;
    } cases[] = {{1, 1, "A1"},    {1, 26, "Z1"},    {1, 27, "AA1"},
                 {9, 702, "ZZ9"}, {9, 703, "AAA9"}, {1048576, 16384, "XFD1048576"}};
    for (const auto& c : cases) {
        EXPECT_EQ(workbook::CellReference(c.row, c.col), c.ref);
        Long row = 0, col = 0;
        EXPECT_TRUE(workbook::ParseCellRef(c.ref, row, col)) << c.ref;
        EXPECT_EQ(std::pair(row, col), std::pair(c.row, c.col)) << c.ref;
    }
    Long row = 0, col = 0;
    for (const char* bad : {"XFE1", "A0", "A1048577", "1A", "A", "A1B"})
        EXPECT_FALSE(workbook::ParseCellRef(bad, row, col)) << bad;
    const auto areas = workbook::ParseAreaList("A1:B2 bad D4:C3 $E$5");
    ASSERT_EQ(areas.size(), 3u);
    EXPECT_EQ(workbook::AreaReference(areas[1].top, areas[1].left, areas[1].bottom, areas[1].right),
              "C3:D4");
    EXPECT_EQ(workbook::AreaReference(areas[2].top, areas[2].left, areas[2].bottom, areas[2].right),
              "E5");
}

TEST_F(Engine, RangeAddresses) {
    auto sheet = Open("blocks.xlsx")->Sheets("Parts");
    struct Case {
        const char* address;
        Long row, col, count, rows, cols;
    } good[] = {
        {"B2", 2, 2, 1, 1, 1},
        {"B2:D4", 2, 2, 9, 3, 3},
        {"d4:b2", 2, 2, 9, 3, 3},
        {"$A$1", 1, 1, 1, 1, 1},
        {"B5,C7", 5, 2, 2, 1, 1},
        {"A2 ,A4 ,A6", 2, 1, 3, 1, 1},
        {"13:65536", 13, 1, 0, 65524, 16384},
        {"C:D", 1, 3, 0, 1048576, 2},
    };
    for (const auto& c : good) {
        auto r = sheet->Range(c.address);
        EXPECT_EQ(r->Row(), c.row) << c.address;
        EXPECT_EQ(r->Column(), c.col) << c.address;
        if (c.count) {
            EXPECT_EQ(r->Count(), c.count) << c.address;
        }
        EXPECT_EQ(r->Rows()->Count(), c.rows) << c.address;
        EXPECT_EQ(r->Columns()->Count(), c.cols) << c.address;
    }
    for (const char* bad : {"", ":", "B", "2", "B2:", ":B2", "B5,", "A0", "XFE1", "A1048577",
                            "B2 C3", "B-2", "B2;C3"}) {
        try {
            sheet->Range(bad);
            ADD_FAILURE() << "accepted \"" << bad << "\"";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), err::kApplicationDefined) << bad;
        }
    }
    EXPECT_EQ(sheet->Range(sheet->Cells(4, 3), sheet->Cells(2, 1))->Count(), 9);
}

TEST_F(Engine, BadFilesGiveAnErrorNamingTheFile) {
    TempDir dir;
    // A real workbook cut short at several points: never a crash, always a clear error.
    const std::string bytes = testing::ReadFile(Fixture("blocks.xlsx"));
    for (std::size_t cut :
         {std::size_t{0}, std::size_t{10}, bytes.size() / 3, bytes.size() / 2, bytes.size() - 30}) {
        const std::string path = dir / ("cut" + std::to_string(cut) + ".xlsx");
        std::ofstream(path, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(cut));
        try {
            excel->Workbooks()->Open(path);
            ADD_FAILURE() << "opened a workbook cut at " << cut;
        } catch (const RuntimeError& e) {
            EXPECT_NE(e.Description().find(path), std::string::npos) << e.Description();
        }
    }
    for (const char* name : {"missing.xlsx", "not_a_workbook.xlsx"}) {
        EXPECT_THROW(Open(name), RuntimeError) << name;
    }
    EXPECT_EQ(excel->Workbooks()->Count(), 0);
}

// Real files from other projects: each opens, or fails with a clear error.
TEST_F(Engine, CorpusFilesOpenOrFailCleanly) {
    const char* env = std::getenv("TBLN_CORPUS");
    const fs::path corpus(env && *env ? env : TBLN_CORPUS);
    if (!fs::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    int opened = 0;
    for (const char* folder : {"xlsx", "malformed", "xls"}) {
        if (!fs::exists(corpus / folder)) continue;
        for (const auto& entry : fs::directory_iterator(corpus / folder)) {
            const auto ext = entry.path().extension().string();
            if (ext != ".xlsx" && ext != ".xlsm" && ext != ".xls") continue;
            try {
                auto book = excel->Workbooks()->Open(entry.path().string());
                auto sheets = book->Sheets();
                for (Long i = 1; i <= sheets->Count(); ++i) sheets->Item(i)->Cells(1, 1)->Text();
                ++opened;
            } catch (const RuntimeError& e) {
                EXPECT_NE(e.Description().find(entry.path().filename().string()), std::string::npos)
                    << e.Description();
            }
        }
    }
    EXPECT_GE(opened, 15);
}

}  // namespace
}  // namespace tbln
