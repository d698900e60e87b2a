// The Link Block and Insert Block dialogs driven as a drafter would, on real workbooks.
#include <gtest/gtest.h>

#include "blocks/insert_block_form.hpp"
#include "blocks/make_block_form.hpp"
#include "common/sheet_dialog.hpp"
#include "support/dialog_test.hpp"

namespace tbln {
namespace {

using testing::DialogTest;
using testing::Fixture;
using testing::Tags;

constexpr const char* kOpenForUpdate = "Please open an Excel file for update     ";

class LinkBlock : public DialogTest {
  protected:
    MakeBlockForm& Form() {
        return static_cast<MakeBlockForm&>(m->Dialog(DialogId::MakeBlockForm));
    }
    Boolean Run(TagPosArray& tags0) {
        return app.MakeBlock(tags0, tags1, fileName0, sheetName0, QVPath);
    }
    // Binds the tag on `line` to `cell`.
    void Bind(int line, const std::string& cell) {
        Pick("lbTags", line);
        SelectCell(cell);
        Click("btnUpdate");
    }
    TagPosArray tags1;
    std::string fileName0 = "unchanged", sheetName0 = "unchanged", QVPath = "qv";
};

TEST_F(LinkBlock, LinkStoresEachTagsOffsetFromTheBlockIdCell) {
    auto tags0 = Tags({"TITLE", "ABOVE_LEFT", "SELF"});
    const std::string book = Fixture("blocks.xlsx");
    Browse(book, "Title Block");
    SelectCell("C3");
    Click("btnUpdate1");
    Bind(0, "C2");
    Bind(1, "A1");
    Bind(2, "C3");
    During([&] {
        auto& f = Form();
        EXPECT_EQ(f.tbCol1.Text(), "C");
        EXPECT_EQ(f.tbRow1.Text(), "3");
        EXPECT_EQ(f.tbBlockName.Text(), "2.5");
        // Tag Update clears the selection, so the next tag needs a new one.
        EXPECT_EQ(f.lbTags.ListIndex(), -1);
        EXPECT_EQ(f.lbTags.List(0), "TITLE\tC\t2\tPump housing");
    });
    Click("btnMake");
    ASSERT_EQ(Run(tags0), True) << ::testing::PrintToString(Texts());
    EXPECT_TRUE(Texts().empty());
    ASSERT_EQ(tags1.Lower(), 0);
    EXPECT_EQ(tags1(0), tags0(0));  // the same records
    struct Want {
        const char* col;
        const char* row;
        Integer offsetRow, offsetCol;
    } want[] = {{"C", "2", -1, 0}, {"A", "1", -2, -2}, {"C", "3", 0, 0}};
    for (Long i = 0; i < 3; ++i) {
        EXPECT_EQ(tags1(i)->col, want[i].col);
        EXPECT_EQ(tags1(i)->row, want[i].row);
        EXPECT_EQ(tags1(i)->offsetRow, want[i].offsetRow) << i;
        EXPECT_EQ(tags1(i)->offsetCol, want[i].offsetCol) << i;
    }
    EXPECT_EQ(fileName0, book);
    EXPECT_EQ(sheetName0, "Title Block");
    EXPECT_FALSE(m->xlApp || m->xlBook || m->xlSheet);
}

TEST_F(LinkBlock, EveryRefusalKeepsTheDialogOpenWithItsMessage) {
    auto tags0 = Tags({"A", "B"});
    Click("btnUpdate1");  // no workbook yet
    Click("btnUpdate");   // no line selected
    Pick("lbTags", 0);
    Click("btnUpdate");  // a line, but no workbook
    Click("btnView");
    Browse(Fixture("blocks.xlsx"), "Title Block");
    Click("btnView");  // nothing bound yet
    Bind(0, "B2");
    Click("btnMake");  // B unbound
    Bind(1, "C2");
    Click("btnMake");  // no Block ID
    Click("btnCancel");
    EXPECT_EQ(Run(tags0), False);
    const std::vector<std::string> want{kOpenForUpdate,
                                        "No Tag is selected for update     ",
                                        kOpenForUpdate,
                                        "Please open an Excel file for viewing     ",
                                        "No Tag is updated for viewing     ",
                                        "Tag update is not completed    ",
                                        "Block ID is not updated     "};
    EXPECT_EQ(Texts(), want);
    for (const auto& msg : ui().Messages()) {
        EXPECT_EQ(msg.title, "Error");
        EXPECT_EQ(msg.style, ui::vbInformation);
    }
    // Cancel hands nothing back, but the shared records carry the bound cells.
    EXPECT_FALSE(tags1.IsAllocated());
    EXPECT_EQ(fileName0, "unchanged");
    EXPECT_EQ(tags0(1)->col, "C");
    EXPECT_EQ(tags0(1)->Value, "Pump housing");
    EXPECT_EQ(tags0(0)->offsetRow, 0);
}

TEST_F(LinkBlock, RecordsLinkedEarlierCountAsBound) {
    auto tags0 = Tags({"OLD", "NEW"}, 1);
    tags0(1)->row = "4";
    tags0(1)->col = "d";  // typed by an older link in lower case
    tags0(2)->row = "2";
    tags0(2)->col = "B";
    During([&] { EXPECT_EQ(Form().lbTags.List(0), "OLD\td\t4\t"); });
    Browse(Fixture("blocks.xlsx"), "Title Block");
    SelectCell("B2");
    Click("btnUpdate1");
    Click("btnMake");
    ASSERT_EQ(Run(tags0), True);
    EXPECT_EQ(tags1(1)->offsetRow, 2);
    EXPECT_EQ(tags1(1)->offsetCol, 2);
    EXPECT_EQ(tags1(1)->col, "d");  // the record keeps its letters
    EXPECT_EQ(tags1(2)->offsetRow, 0);
}

TEST_F(LinkBlock, RowsAndColumnsThatCannotBeHeldLeaveEveryRecordAsItWas) {
    struct Case {
        const char* row;
        const char* col;
        const char* message;
    } cases[] = {
        {"x7", "C", "The tag T2's row \"x7\" is not a row number     "},
        {"40000", "C",
         "The tag T2's row \"40000\" lies beyond row 32767 and cannot be linked     "},
        {"0", "C", "The tag T2's row \"0\" is not a row number     "},
        // Letters below "A" convert to a negative column number.
        {"7", "1", "The tag T2's column \"1\" is not a column     "},
        {"7", "-", "The tag T2's column \"-\" is not a column     "},
        {"7", "\xF0\x9F\x99\x82", "The tag T2's column \"\xF0\x9F\x99\x82\" is not a column     "},
        {"7", "ABC", "The column number should be less than 3 characters     "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.row) + " " + c.col);
        auto tags0 = Tags({"T1", "T2"});
        tags0(0)->row = "5";
        tags0(0)->col = "B";
        tags0(0)->offsetRow = 9;
        tags0(1)->row = c.row;
        tags0(1)->col = c.col;
        ui().ClearJournal();
        Browse(Fixture("blocks.xlsx"), "Title Block");
        SelectCell("B2");
        Click("btnUpdate1");
        Click("btnMake");
        EXPECT_EQ(Run(tags0), False);  // the script runs out and Cancel is pressed
        ASSERT_FALSE(Texts().empty());
        EXPECT_EQ(Texts().back(), c.message);
        EXPECT_EQ(tags0(0)->offsetRow, 9);
    }
}

TEST_F(LinkBlock, ViewSelectsTheTagCellsOrSaysWhyNot) {
    auto tags0 = Tags({"A", "B", "C"});
    tags0(0)->col = "C";
    tags0(0)->row = "7";
    tags0(2)->col = "B";
    tags0(2)->row = "5";
    Browse(Fixture("blocks.xlsx"), "Title Block");
    SelectCell("A1");
    Click("btnView");
    During([&] {
        // One multi-area selection in tag order: its first cell becomes the active one.
        auto cell = Excel()->ActiveCell();
        EXPECT_EQ(cell->Row(), 7);
        EXPECT_EQ(cell->Column(), 3);
        m->tagList(1)->col = "D";  // a column without a row
    });
    Click("btnView");
    Click("btnCancel");
    Run(tags0);
    EXPECT_EQ(Texts(),
              std::vector<std::string>{"The col and row entries are invalid or incomplete"});
}

TEST_F(LinkBlock, ANameThatNamesNoSheetLeavesNoSheetToTakeCellsFrom) {
    auto tags0 = Tags({"A"});
    Browse(Fixture("blocks.xlsx"), "Parts");
    SetText("cbSheetName", "Nope");
    Click("btnUpdate1");  // the Block ID cannot come from the sheet chosen before
    During([&] { EXPECT_EQ(Form().tbCol1.Text(), ""); });
    Click("btnCancel");
    Run(tags0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"The workbook has no sheet named \"Nope\"     ",
                                                 kOpenForUpdate}));
}

TEST_F(LinkBlock, SheetTabSwitchIsUndoneWithinHalfASecond) {
    auto tags0 = Tags({"A"});
    Browse(Fixture("blocks.xlsx"), "Title Block");
    During([&] {
        auto& f = Form();
        EXPECT_EQ(f.cbSheetName.Items(), (std::vector<std::string>{"Title Block", "Parts"}));
        EXPECT_EQ(Excel()->ActiveSheet()->Name(), "Title Block");
        Excel()->ActiveWorkbook()->Sheets("Parts")->Activate();  // the user clicks a tab
    });
    Wait(500);
    During([&] {
        EXPECT_EQ(Texts().size(), 1u);
        EXPECT_EQ(Excel()->ActiveSheet()->Name(), "Title Block");
    });
    SetText("cbSheetName", "Parts");  // the dialog's own sheet box: no message
    Wait(1000);
    During([&] {
        EXPECT_EQ(Excel()->ActiveSheet()->Name(), "Parts");
        EXPECT_EQ(m->sheetName, "Parts");
    });
    Click("btnCancel");
    Run(tags0);
    EXPECT_EQ(Texts(), std::vector<std::string>{kSheetSwitchMessage});
}

TEST_F(LinkBlock, BrowseLeavesTheTopMostBandOnlyWhileExcelsChooserIsOpen) {
    auto tags0 = Tags({"A"});
    Browse(Fixture("blocks.xlsx"));
    During([&] {
        auto& f = Form();
        EXPECT_TRUE(ui().IsTopMost(f.hWnd));
        EXPECT_TRUE(f.excelFocusOnHover);
        // The sheet active in the workbook is chosen.
        EXPECT_EQ(f.cbSheetName.Text(), "Parts");
        ui().ClearJournal();
    });
    ui().PushFileChoice(std::nullopt);  // the user cancels Excel's chooser
    Click("btnBrowseExcel");
    During([&] {
        auto& f = Form();
        EXPECT_TRUE(ui().IsTopMost(f.hWnd));
        // A cancelled choice keeps the workbook and sheet.
        EXPECT_EQ(f.tbExcelPath.Text(), Fixture("blocks.xlsx"));
        EXPECT_EQ(f.cbSheetName.Text(), "Parts");
        EXPECT_TRUE(m->xlSheet);
        bool left = false;
        for (const auto& call : ui().Journal()) {
            if (call.function == "SetWindowPos" && call.args[1] == ui::HWND_NOTOPMOST) left = true;
        }
        EXPECT_TRUE(left);
    });
    ui().PushFileChoice(work / "missing.xlsx");
    Click("btnBrowseExcel");
    During([&] {
        // A workbook that cannot be opened empties the sheet box and closes the sheet.
        EXPECT_FALSE(m->xlSheet);
        EXPECT_TRUE(Form().cbSheetName.Items().empty());
    });
    Wait(2000);  // the guard has no sheet to guard: no message
    Click("btnCancel");
    Run(tags0);
    ASSERT_EQ(ui().Messages().size(), 1u);
    EXPECT_EQ(ui().Messages()[0].title, "Error On Opening Excel File");
}

TEST_F(LinkBlock, DraggingTheBodyMovesTheDialogAndHandsTheFocusToExcel) {
    auto tags0 = Tags({"A"});
    Browse(Fixture("blocks.xlsx"));
    During([&] { ui().ClearJournal(); });
    ui().Push(scripted::Action::MouseDrag());
    During([&] {
        const auto& j = ui().Journal();
        ASSERT_GE(j.size(), 3u);
        EXPECT_EQ(j[0].function, "ReleaseCapture");
        EXPECT_EQ(j[1].function, "SendMessage");
        EXPECT_EQ(j[1].args, (std::vector<Long>{Form().hWnd, 161, 2, 0}));
        EXPECT_EQ(j[2].function, "AppActivate");
        EXPECT_EQ(j[2].text, Excel()->Caption());
    });
    Click("btnCancel");
    Run(tags0);
}

TEST_F(LinkBlock, TagListShowsShortenedNamesAtThreeTabStops) {
    auto tags0 = Tags({"ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMNOPQR"});
    During([&] {
        auto& f = Form();
        EXPECT_EQ(f.lbTags.List(0), "ABCDEFGHIJKLMNOPQ\t\t\t");
        EXPECT_EQ(f.lbTags.List(1), "ABCDEFGHI~LMNOPQR\t\t\t");
        // 980, 1260 and 1540 twips at 15 twips a pixel, rounded.
        EXPECT_EQ(f.lbTags.TabStops(), (std::vector<Long>{65, 84, 103}));
    });
    Click("btnCancel");
    Run(tags0);
}

class InsertBlock : public DialogTest {
  protected:
    InsertBlockForm& Form() {
        return static_cast<InsertBlockForm&>(m->Dialog(DialogId::InsertBlockForm));
    }
    Boolean Run(TagPosArray& tags0) { return app.InsertBlock(tags0, tags1, fileName0, sheetName0); }
    static TagPosArray Linked() {
        auto tags = Tags({"NO", "TITLE", "QTY", "SELF"});
        tags(1)->offsetCol = 1;
        tags(2)->offsetRow = 1;
        return tags;
    }
    TagPosArray tags1;
    std::string fileName0 = Fixture("blocks.xlsx"), sheetName0 = "Title Block";
};

TEST_F(InsertBlock, BlockIdUpdateFillsEveryTagFromItsOffset) {
    auto tags0 = Linked();
    During([&] {
        // The workbook handed in is open with the sheet active in it chosen.
        EXPECT_EQ(Form().cbSheetName.Text(), "Parts");
        EXPECT_TRUE(ui().IsTopMost(Form().hWnd));
    });
    SetText("cbSheetName", "Title Block");
    SelectCell("B2");
    Click("btnUpdate1");
    During([&] { EXPECT_EQ(Form().lbTags.List(1), "TITLE\tC\t2\tPump housing"); });
    Click("btnMake");
    ASSERT_EQ(Run(tags0), True) << ::testing::PrintToString(Texts());
    EXPECT_EQ(tags1(0)->Value, "DWG-001");
    EXPECT_EQ(tags1(1)->Value, "Pump housing");
    EXPECT_EQ(tags1(2)->row, "3");
    EXPECT_EQ(tags1(2)->col, "B");
    EXPECT_EQ(tags1(2)->Value, "42");
    EXPECT_EQ(tags1(3)->Value, "DWG-001");  // offsets (0, 0): the Block ID cell itself
    EXPECT_EQ(sheetName0, "Title Block");
}

TEST_F(InsertBlock, ABlockIdThatDoesNotFitTheLinkClearsEverything) {
    struct Case {
        const char* cell;
        Integer offsetRow, offsetCol;
    } cases[] = {{"B3", -3, 0}, {"B3", 0, -2}, {"B3", 0, 16384}, {"B3", 32767, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.cell) + " " + std::to_string(c.offsetRow) + " " +
                     std::to_string(c.offsetCol));
        auto tags0 = Linked();
        tags0(3)->offsetRow = c.offsetRow;
        tags0(3)->offsetCol = c.offsetCol;
        tags0(0)->Value = "as handed in";
        SetText("cbSheetName", "Title Block");
        SelectCell(c.cell);
        Click("btnUpdate1");
        During([&] {
            auto& f = Form();
            EXPECT_EQ(f.tbCol1.Text(), "");
            EXPECT_EQ(f.tbRow1.Text(), "");
            EXPECT_EQ(f.tbBlockName.Text(), "");
            for (Long i = 0; i < 4; ++i) {
                EXPECT_EQ(m->tagList(i)->row, "");
                EXPECT_EQ(m->tagList(i)->col, "");
                EXPECT_EQ(m->tagList(i)->Value, "");
            }
        });
        Click("btnMake");
        EXPECT_EQ(Run(tags0), False);
        ASSERT_EQ(ui().Messages().size() % 2, 0u);
        const auto texts = Texts();
        EXPECT_EQ(texts[texts.size() - 2], kInconsistentBlockIdMessage);
        EXPECT_EQ(texts.back(), "Block ID is not updated     ");
    }
}

TEST_F(InsertBlock, WithoutAUsablePathTheDialogWaitsForBrowse) {
    auto tags0 = Linked();
    tags0(0)->Value = "as handed in";
    fileName0 = "";
    During([&] {
        EXPECT_EQ(Form().lbTags.List(0), "NO\t\t\tas handed in");
        EXPECT_TRUE(Form().cbSheetName.Items().empty());
    });
    Click("btnUpdate1");
    Browse(Fixture("blocks.xlsx"), "Title Block");
    SelectCell("C3");
    Click("btnUpdate1");
    Click("btnMake");
    ASSERT_EQ(Run(tags0), True);
    EXPECT_EQ(Texts(), std::vector<std::string>{kOpenForUpdate});
    EXPECT_EQ(tags1(0)->Value, "2.5");
    EXPECT_EQ(tags1(1)->Value, "0.333333");        // 1/3 in a column of 8.43 characters
    EXPECT_EQ(fileName0, Fixture("blocks.xlsx"));  // the workbook chosen by Browse
}

}  // namespace
}  // namespace tbln
