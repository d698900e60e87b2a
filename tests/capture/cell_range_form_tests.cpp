#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <tuple>
#include <vector>

#include "automation/application.hpp"
#include "capture/cell_range_form.hpp"
#include "common/paths.hpp"
#include "common/sheet_dialog.hpp"
#include "library/library.hpp"
#include "support/test_platform.hpp"
#include "update/deep_update_form.hpp"

namespace tbln {
namespace {

using scripted::Action;
using testing::Fixture;
using testing::TestPlatform;

// The library on the test platform, with tbln-reader installed where run.bat finds it.
struct Import : CaptureArguments {
    Import() : module(CreateModule(p.ports())), app(*module) {
        auto& sys = p.sys;
        sys.MakeDirs(paths::ReaderFolder(sys));
        sys.CopyFile(TBLN_READER_BINARY, paths::ReaderFile(sys, paths::kReaderProgram));
        sys.SetExecutable(paths::ReaderFile(sys, paths::kReaderProgram));
    }
    // Browse answers with the book; the corners are typed; Start.
    void Script(const std::string& book, const std::string& sheet,
                std::vector<std::string> corners) {
        p.ui.PushFileChoice(book);
        p.ui.Push(Action::Click("btnBrowse"));
        if (!sheet.empty()) p.ui.Push(Action::SetText("cbSheetName", sheet));
        const char* boxes[] = {"topLeftCol", "topLeftRow", "botRightCol", "botRightRow"};
        for (std::size_t i = 0; i < corners.size(); ++i) {
            p.ui.Push(Action::SetText(boxes[i], corners[i]));
        }
        p.ui.Push(Action::Click("btnOK"));
    }
    Boolean Build() { return app.BuildCell(*this); }
    // What an earlier import recorded, for DeepUpdate: startRow, endRow, startCol, endCol.
    void Recorded(const std::string& book, const std::string& sheet, std::vector<Integer> r) {
        fileName0 = book;
        sheetName0 = sheet;
        std::tie(startRow0, endRow0, startCol0, endCol0) = std::tie(r[0], r[1], r[2], r[3]);
    }
    MyCell& Cell(Long r, Long c) {
        if (!dgnCell0(r, c)) throw std::runtime_error("no record");
        return *dgnCell0(r, c);
    }
    std::vector<std::string> Prompts() const {
        std::vector<std::string> out;
        for (const auto& msg : p.ui.Messages()) out.push_back(msg.prompt);
        return out;
    }

    TestPlatform p;
    std::unique_ptr<Module> module;
    Application app;
};

const std::string kBook = std::filesystem::absolute(Fixture("capture.xlsx")).string();

TEST(CellRangeForm, ImportsTheTypedRangeWithMergesBordersAndTexts) {
    Import t;
    t.Script(kBook, "Schedule", {"a", "1", "f", "6"});
    ASSERT_EQ(t.Build(), True) << ::testing::PrintToString(t.Prompts());
    EXPECT_EQ(t.fileName0, kBook);
    EXPECT_EQ(t.sheetName0, "Schedule");
    EXPECT_EQ(t.fastUpdate0, True);
    EXPECT_EQ((std::vector<Integer>{t.startRow0, t.endRow0, t.startCol0, t.endCol0}),
              (std::vector<Integer>{1, 6, 1, 6}));
    // The title across A1:F1, thick all round, yellow.
    const MyCell& title = t.Cell(1, 1);
    EXPECT_EQ(title.Value, "Door Schedule");
    EXPECT_EQ(title.colTo, 6);
    EXPECT_EQ(title.bdUpWeight, "bold");
    EXPECT_EQ(title.bdRightWeight, "bold");
    EXPECT_EQ(title.bgColor, "FFFF00");
    EXPECT_EQ(title.horAlign, "MID");
    EXPECT_EQ(title.rowHeight, 30);
    // Column C is hidden: the merged title's width leaves it out.
    EXPECT_EQ(title.mergedColWidth, 56.25f + 108.75f + 3 * 66.75f);
    EXPECT_EQ(t.totalWidth0, title.mergedColWidth);
    EXPECT_EQ(t.totalHeight0, 30 + 5 * 15) << "rows 1 to 7 walked; row 7, the extra row, is hidden";
    EXPECT_TRUE(t.Cell(1, 3).hidden || t.Cell(1, 3).isMerged);
    // Header with a medium bottom border.
    EXPECT_EQ(t.Cell(2, 1).bdBottomWeight, "bold");
    EXPECT_EQ(t.Cell(2, 1).bdBottomLT, "medium");
    EXPECT_EQ(t.Cell(2, 1).bdUpWeight, "thin");
    // A text with a line feed comes from Excel, a separator too.
    EXPECT_EQ(t.Cell(4, 2).Value, "Double leaf\nfire rated");
    EXPECT_TRUE(t.Cell(4, 2).isWrapCell);
    EXPECT_EQ(t.Cell(4, 2).mergedRowHeight, 30);
    EXPECT_EQ(t.Cell(4, 2).verAlign, "TOP");
    EXPECT_EQ(t.Cell(5, 4).Value, "a|=!b");
    EXPECT_EQ(t.Cell(3, 4).Value, "0.90");
    EXPECT_EQ(t.Cell(3, 4).horAlign, "RIGHT");
    EXPECT_EQ(t.Cell(5, 5).fontOrient, 90);
    EXPECT_EQ(t.Cell(6, 6).Value, "7");
    ASSERT_TRUE(t.excelFonts0);
    EXPECT_EQ(t.excelFonts0->Item(1), "XLS  Arial");
    EXPECT_TRUE(t.excelFonts0->Contains("Tahoma"));
    EXPECT_EQ(t.xlsImage0(1)->top, -1000) << "no pictures";
    // The exchange is finished.
    auto& sys = t.p.sys;
    EXPECT_EQ(sys.ReadFile(paths::ReaderFile(sys, "flag.txt")), "Done\r\n");
    EXPECT_FALSE(sys.FileExists(paths::ReaderFile(sys, "output.txt")));
    EXPECT_FALSE(sys.FileExists(paths::ReaderFile(sys, "run.bat")));
    auto& form = dynamic_cast<CellRangeForm&>(t.module->Dialog(DialogId::CellRangeForm));
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_EQ(form.tbPath.Text(), "") << "unloading restores the design state";
}

// A legacy .xls is imported through the reader as its .xlsx conversion is: the same
// records, every field.
TEST(CellRangeForm, LegacyWorkbookImportsAsItsXlsxConversion) {
    std::vector<std::unique_ptr<Import>> imports;
    for (const char* book : {"biff8.xls", "biff8.xlsx"}) {
        imports.push_back(std::make_unique<Import>());
        imports.back()->Script(std::filesystem::absolute(Fixture(book)).string(), "Styled",
                               {"a", "1", "e", "9"});
        ASSERT_EQ(imports.back()->Build(), True)
            << book << ::testing::PrintToString(imports.back()->Prompts());
    }
    Import& xls = *imports[0];
    Import& xlsx = *imports[1];
    EXPECT_EQ(xls.totalHeight0, xlsx.totalHeight0);
    EXPECT_EQ(xls.totalWidth0, xlsx.totalWidth0);
    ASSERT_EQ(xls.dgnCell0.RowUpper(), xlsx.dgnCell0.RowUpper());
    ASSERT_EQ(xls.dgnCell0.ColUpper(), xlsx.dgnCell0.ColUpper());
    std::size_t compared = 0;
    for (Long r = 1; r <= xlsx.dgnCell0.RowUpper(); ++r) {
        for (Long c = 1; c <= xlsx.dgnCell0.ColUpper(); ++c) {
            if (!xlsx.dgnCell0(r, c)) continue;
            ASSERT_TRUE(xls.dgnCell0(r, c)) << r << "," << c;
            const MyCell& a = xls.Cell(r, c);
            const MyCell& b = xlsx.Cell(r, c);
            SCOPED_TRACE(std::to_string(r) + "," + std::to_string(c) + " " + b.Value);
            MyCell::Visit(
                [&](const char* name, auto field) { EXPECT_EQ(a.*field, b.*field) << name; });
            ++compared;
        }
    }
    EXPECT_GE(compared, 40u);
    EXPECT_EQ(xls.excelFonts0->Count(), xlsx.excelFonts0->Count());
}

TEST(CellRangeForm, CornersAreWidenedSwappedOrDroppedForTheWholeSheet) {
    struct Case {
        const char* name;
        std::vector<std::string> corners;
        std::vector<Integer> range;  // startRow, endRow, startCol, endCol
        Boolean fast;
        const char* note;
    } cases[] = {
        {"empty boxes: the whole grid",
         {},
         {1, 8, 1, 8},
         False,
         "No range specified and the whole sheet is imported"},
        {"reversed corners", {"F", "6", "A", "3"}, {3, 6, 1, 6}, True, ""},
        {"inside the size header widens left", {"E", "2", "E", "3"}, {2, 3, 4, 5}, True, ""},
        {"inside a vertical merge widens up", {"A", "5", "B", "5"}, {4, 5, 1, 2}, True, ""},
        {"the merged title widens right", {"A", "1", "B", "1"}, {1, 1, 1, 6}, True, ""},
        {"centred text widens over the run", {"E", "8", "F", "8"}, {8, 8, 5, 8}, True, ""},
        {"beyond the used area is clamped", {"A", "6", "Z", "99"}, {6, 8, 1, 8}, True, ""},
        {"reversed beyond the used area is clamped once in order",
         {"J", "12", "A", "1"},
         {1, 8, 1, 8},
         True,
         ""},
    };
    for (const auto& c : cases) {
        Import t;
        t.Script(kBook, "", c.corners);
        ASSERT_EQ(t.Build(), True) << c.name;
        EXPECT_EQ((std::vector<Integer>{t.startRow0, t.endRow0, t.startCol0, t.endCol0}), c.range)
            << c.name;
        EXPECT_EQ(t.fastUpdate0, c.fast) << c.name;
        EXPECT_EQ(t.module->fastUpdate, c.fast == True);
    }
}

TEST(CellRangeForm, ARangeTheGridCannotHoldIsRefusedWithItsReason) {
    const struct {
        std::vector<std::string> corners;
        std::string message;
    } cases[] = {
        {{"Z", "100", "AB", "200"},
         "The cell range Z100:AB200 lies outside the sheet's used area of 8 rows and 8 columns    "
         " "},
        {{"A", "40000", "B", "40001"},
         "The cell range A40000:B40001 reaches beyond row 32767, the last row of an import     "},
    };
    for (const auto& c : cases) {
        Import t;
        t.Script(kBook, "Schedule", c.corners);
        EXPECT_EQ(t.Build(), False);
        EXPECT_EQ(t.Prompts(), std::vector<std::string>{c.message});
        EXPECT_EQ(t.p.ui.Messages().back().title, "Error");
    }
}

// Row 32767 is the last an import holds: a sheet that tall imports whole, down to its
// last cell; one row more is refused with the reason.
TEST(CellRangeForm, ASheetOfTheLastImportableRowImportsWhole) {
    const std::string book = std::filesystem::absolute(Fixture("tall_rows.xlsx")).string();
    for (const Long rows : {32766, 32767}) {
        Import t;
        t.Script(book, "Rows" + std::to_string(rows), {});
        ASSERT_EQ(t.Build(), True) << rows << ::testing::PrintToString(t.Prompts());
        EXPECT_EQ(t.endRow0, rows);
        EXPECT_EQ(t.Cell(rows, 1).Value, "last") << rows;
        EXPECT_EQ(t.totalHeight0, static_cast<Single>(rows) * 15) << rows;
    }
    Import t;
    t.Script(book, "Rows32768", {});
    EXPECT_EQ(t.Build(), False);
    ASSERT_EQ(t.Prompts().size(), 1u);
    EXPECT_NE(t.Prompts()[0].find("32768 rows"), std::string::npos) << t.Prompts()[0];
}

TEST(CellRangeForm, NameChecksAndMissingWorkbookStopStart) {
    {
        Import t;
        t.p.ui.Push(Action::Click("btnOK"));
        t.p.ui.Push(Action::Click("btnUpdateTL"));
        t.p.ui.Push(Action::Click("btnView"));
        EXPECT_EQ(t.Build(), False) << "the script ends with Cancel";
        EXPECT_EQ(t.Prompts(),
                  (std::vector<std::string>{"Please select an Excel file for importing",
                                            "Please select an Excel file for update",
                                            "Please select an Excel file for viewing"}));
    }
    {
        Import t;
        t.Script(kBook, "It's", {});
        EXPECT_EQ(t.Build(), False);
        ASSERT_EQ(t.p.ui.Messages().size(), 1u);
        const auto& msg = t.p.ui.Messages()[0];
        EXPECT_EQ(msg.title, "Excel File and Sheet Name Checking");
        EXPECT_EQ(msg.style, ui::vbCritical);
        EXPECT_EQ(msg.prompt,
                  "The Excel sheet name contains single/double quote character  '\r\r"
                  "There is NO limitation on Excel sheet content for import, however,     \r\r"
                  "Excel sheet name can NOT contain any single/double quote character.    \r\r"
                  "Please cancel this dialog box, rename your Excel sheet name and try     \r\r"
                  "the import again.     ");
        EXPECT_FALSE(t.p.sys.FileExists(paths::ReaderFile(t.p.sys, "run.bat")))
            << "refused before the reader runs";
    }
    {
        testing::TestPlatform p;
        EXPECT_TRUE(ShowSpecialCharMessage(p.ui, "/data/Bücher.xlsx", true));
        EXPECT_EQ(p.ui.Messages()[0].prompt.substr(0, 59),
                  "The Excel file path/name contains a special character  \xC3\xBC\r\r");
        EXPECT_FALSE(ShowSpecialCharMessage(p.ui, "/data/plain & simple.xlsx", true));
        // A byte of another code page is one character, shown as U+FFFD.
        EXPECT_TRUE(ShowSpecialCharMessage(p.ui,
                                           "/data/B\xFC"
                                           "cher.xlsx",
                                           true));
        EXPECT_EQ(p.ui.Messages()[1].prompt.substr(0, 60),
                  "The Excel file path/name contains a special character  \xEF\xBF\xBD\r\r");
    }
}

TEST(CellRangeForm, ANameThatNamesNoSheetImportsNothing) {
    // "Schedule" chosen first, then a name of no sheet typed over it: Start must not
    // import the sheet chosen before.
    Import t;
    t.p.ui.PushFileChoice(kBook);
    t.p.ui.Push(Action::Click("btnBrowse"));
    t.p.ui.Push(Action::SetText("cbSheetName", "Schedule"));
    t.Script(kBook, "Nope", {"A", "1", "B", "2"});
    EXPECT_EQ(t.Build(), False) << "the script ends with Cancel";
    EXPECT_EQ(t.Prompts(),
              std::vector<std::string>{"The workbook has no sheet named \"Nope\"     "});
    EXPECT_FALSE(t.p.sys.FileExists(paths::ReaderFile(t.p.sys, "run.bat")))
        << "refused before the reader runs";
}

TEST(CellRangeForm, TheTimerTakesExcelBackToTheChosenSheet) {
    Import t;
    t.p.ui.PushFileChoice(kBook);
    t.p.ui.Push(Action::Click("btnBrowse"));
    t.p.ui.Push(Action::SetText("cbSheetName", "Schedule"));
    std::vector<std::string> active;
    const auto activeSheet = [&] {
        return t.module->xlApp->ActiveWorkbook()->ActiveSheet()->Name();
    };
    // The user clicks another sheet's tab in Excel; the next tick puts the chosen one back.
    t.p.ui.Push(
        Action::Call([&] { t.module->xlApp->ActiveWorkbook()->Sheets("It's")->Activate(); }));
    t.p.ui.Push(Action::Wait(600));
    t.p.ui.Push(Action::Call([&] { active.push_back(activeSheet()); }));
    // A half-typed name in the box is no reason for the message.
    t.p.ui.Push(
        Action::Call([&] { t.module->xlApp->ActiveWorkbook()->Sheets("It's")->Activate(); }));
    t.p.ui.Push(Action::SetText("cbSheetName", "Sched"));
    t.p.ui.Push(Action::Wait(600));
    t.p.ui.Push(Action::Call([&] { active.push_back(activeSheet()); }));
    EXPECT_EQ(t.Build(), False) << "the script ends with Cancel";
    EXPECT_EQ(t.Prompts(), std::vector<std::string>{kSheetSwitchMessage});
    EXPECT_EQ(active, (std::vector<std::string>{"Schedule", "It's"}));
}

TEST(CellRangeForm, UpdateButtonsTakeTheActiveCellAndTheFarCornerOfItsMergedArea) {
    Import t;
    t.p.ui.PushFileChoice(kBook);
    t.p.ui.Push(Action::Click("btnBrowse"));
    t.p.ui.Push(Action::Click("btnUpdateTL"));
    t.p.ui.Push(Action::Click("btnUpdateBR"));
    t.p.ui.Push(Action::Click("btnView"));
    t.p.ui.Push(Action::SetText("botRightRow", "x"));
    t.p.ui.Push(Action::Click("btnView"));
    auto& form = dynamic_cast<CellRangeForm&>(t.module->Dialog(DialogId::CellRangeForm));
    std::vector<std::string> corners;
    t.p.ui.onMessage = [&](const scripted::Message&) {
        corners = {form.topLeftCol.Text(), form.topLeftRow.Text(), form.botRightCol.Text(),
                   form.botRightRow.Text()};
    };
    EXPECT_EQ(t.Build(), False);
    EXPECT_EQ(corners, (std::vector<std::string>{"D", "2", "E", "x"}));
    EXPECT_EQ(t.Prompts(),
              (std::vector<std::string>{"The cell range entries are invalid or incomplete\r\n"
                                        "The selection cannot be viewd"}));
}

TEST(CellRangeForm, APathWithSpacesAndAmpersandsReachesTheReader) {
    Import t;
    const std::string folder = t.p.root / "My Files";
    std::filesystem::create_directories(folder);
    const std::string book = folder + "/A&B.xlsx";
    std::filesystem::copy_file(kBook, book);
    t.Script(book, "Schedule", {"A", "2", "B", "3"});
    ASSERT_EQ(t.Build(), True) << ::testing::PrintToString(t.Prompts());
    EXPECT_EQ(t.Cell(2, 2).Value, "Description");
}

TEST(CellRangeForm, CancelDuringTheReaderWaitStopsTheImport) {
    Import t;
    t.p.ui.PushFileChoice(kBook);
    t.p.ui.Push(Action::Click("btnBrowse"));
    t.p.ui.Push(Action::Click("btnOK"));
    t.p.ui.Push(Action::Click("btnCancel", 2));
    EXPECT_EQ(t.Build(), False);
    EXPECT_TRUE(t.module->dialogCancelled);
    EXPECT_FALSE(t.module->captureDone);
    EXPECT_TRUE(t.p.ui.Messages().empty());
}

TEST(DeepUpdateForm, UpdatesTheRecordedRangeOrTheWholeSheet) {
    struct Case {
        std::vector<Integer> in, out;
        Boolean fast;
    } cases[] = {{{2, 3, 1, 2}, {2, 3, 1, 2}, True},
                 {{2, 99, 1, 40}, {2, 8, 1, 8}, True},
                 {{-1, 0, 0, 0}, {1, 8, 1, 8}, False}};
    for (const auto& c : cases) {
        Import t;
        // A leftover flag from an earlier run must not end the wait early.
        t.p.sys.WriteFile(paths::ReaderFile(t.p.sys, "flag.txt"), "Done");
        t.Recorded(kBook, "Schedule", c.in);
        ASSERT_EQ(t.app.DeepUpdate(t), True);
        EXPECT_EQ((std::vector<Integer>{t.startRow0, t.endRow0, t.startCol0, t.endCol0}), c.out);
        EXPECT_EQ(t.module->fastUpdate, c.fast == True);
        EXPECT_EQ(t.Cell(2, 2).Value, "Description");
    }
    // A missing sheet or workbook closes the dialog at once and the update is False.
    for (auto [book, sheet] : {std::pair{kBook, std::string("Nope")},
                               std::pair{std::string("/no/such.xlsx"), std::string("Schedule")}}) {
        Import t;
        t.Recorded(book, sheet, {1, 0, 0, 0});
        EXPECT_EQ(t.app.DeepUpdate(t), False) << book << " " << sheet;
    }
    // A recorded range wholly below or right of the sheet's grid: the reason, and False.
    for (const auto& [range, address] :
         {std::pair{std::vector<Integer>{20, 30, 1, 2}, std::string("A20:B30")},
          std::pair{std::vector<Integer>{2, 3, 12, 10}, std::string("L2:J3")}}) {
        Import t;
        t.Recorded(kBook, "Schedule", range);
        EXPECT_EQ(t.app.DeepUpdate(t), False) << address;
        EXPECT_EQ(t.Prompts(), std::vector<std::string>{"The cell range " + address +
                                                        " lies outside the sheet's used area of "
                                                        "8 rows and 8 columns     "});
        EXPECT_EQ(t.p.ui.Messages().back().title, "Error");
        EXPECT_EQ(t.module->readerLock, nullptr) << "the reader folder is free again";
    }
    // A reader that cannot read the sheet: its message, and False.
    Import t;
    t.Recorded(kBook, "Schedule", {1, 0, 0, 0});
    t.p.sys.WriteFile(paths::ReaderFile(t.p.sys, paths::kReaderProgram),
                      "#!/bin/sh\necho 'Cannot read it' > error.txt; echo x > flag.txt\n");
    EXPECT_EQ(t.app.DeepUpdate(t), False);
    EXPECT_EQ(t.Prompts(), (std::vector<std::string>{"Cannot read it"}));
}

}  // namespace
}  // namespace tbln
