// The last-used-cell reset dialog driven as a user would, on real workbooks.
#include <gtest/gtest.h>

#include <fstream>

#include "support/dialog_test.hpp"
#include "update/make_luc_form.hpp"

namespace tbln {
namespace {

using testing::DialogTest;
using testing::ReadFile;

constexpr const char* kSelectFile = "Please select an Excel file for processing";

class ResetLastUsedCell : public DialogTest {
  protected:
    MakeLUCForm& Form() { return static_cast<MakeLUCForm&>(m->Dialog(DialogId::MakeLUCForm)); }
};

TEST_F(ResetLastUsedCell, NothingIsDeletedUntilTheWarningIsConfirmed) {
    const std::string book = Copy("luc.xlsx");
    const std::string before = ReadFile(book);
    Click("btnOK");  // no workbook yet
    Browse(book, "Data", "btnBrowse");
    During([&] {
        auto& f = Form();
        EXPECT_EQ(f.tbPath.Text(), book);
        EXPECT_EQ(f.cbSheetName.Items(), (std::vector<std::string>{"Data", "Other"}));
        EXPECT_TRUE(ui().IsTopMost(f.hWnd));
        ui().PushAnswer(ui::vbCancel);
    });
    SelectCell("D12");
    Click("btnOK");
    During([&] {
        // The dialog is still open and the sheet still holds every cell.
        EXPECT_TRUE(Form().IsLoaded());
        EXPECT_EQ(Excel()->ActiveSheet()->Cells(40, 26)->Text(), "stray");
    });
    Click("btnCancel");
    app.SetLUC();
    ASSERT_EQ(ui().Messages().size(), 2u);
    EXPECT_EQ(ui().Messages()[0].prompt, kSelectFile);
    const auto& warning = ui().Messages()[1];
    EXPECT_EQ(warning.title, "Warning");
    EXPECT_EQ(warning.style, 65);
    EXPECT_EQ(warning.prompt,
              "Current Excel file will be overwritten with modified last used cell. All contents "
              "beyond     \r\rnew last used cell will be deleted. Please backup this Excel file if "
              "it is necessary     ");
    EXPECT_TRUE(m->dialogCancelled);
    EXPECT_EQ(ReadFile(book), before);
}

TEST_F(ResetLastUsedCell, ACancelledChooserKeepsTheDialogAsItWas) {
    ui().PushFileChoice(std::nullopt);
    Click("btnBrowse");
    During([&] {
        EXPECT_EQ(m->fileName, "False");
        EXPECT_EQ(Form().tbPath.Text(), "");
        EXPECT_TRUE(ui().IsTopMost(Form().hWnd));
        EXPECT_TRUE(Form().excelFocusOnHover);
    });
    Click("btnOK");
    Click("btnCancel");
    app.SetLUC();
    EXPECT_EQ(Texts(), std::vector<std::string>{kSelectFile});
}

TEST_F(ResetLastUsedCell, ANameThatNamesNoSheetResetsNothing) {
    const std::string book = Copy("luc.xlsx");
    const std::string before = ReadFile(book);
    Browse(book, "Other", "btnBrowse");
    SetText("cbSheetName", "Nope");
    SelectCell("D12");
    During([&] { ui().PushAnswer(ui::vbOK); });
    Click("btnOK");
    During([&] {
        EXPECT_TRUE(Form().IsLoaded());
        EXPECT_FALSE(m->xlSheet);
    });
    Click("btnCancel");
    app.SetLUC();
    EXPECT_EQ(Texts(), std::vector<std::string>{"The workbook has no sheet named \"Nope\"     "});
    EXPECT_EQ(ReadFile(book), before);
}

TEST(SheetLimits, FollowTheWorkbooksFileFormat) {
    struct Case {
        const char* name;
        Long rows, cols;
    } cases[] = {{"/w/old.xls", 65536, 256},
                 {"C:\\W\\OLD.XLS", 65536, 256},
                 {"/w/new.xlsx", 1048576, 16384},
                 {"/w/macro.xlsm", 1048576, 16384},
                 {"", 1048576, 16384}};
    for (const auto& c : cases) {
        const auto limits = LimitsOfWorkbook(c.name);
        EXPECT_EQ(limits.rows, c.rows) << c.name;
        EXPECT_EQ(limits.cols, c.cols) << c.name;
    }
}

TEST_F(ResetLastUsedCell, RowsBelowAndColumnsRightOfTheCellAreDeletedAndSaved) {
    struct Case {
        const char* cell;
        Long lastRow, lastCol;
        const char* message;
    } cases[] = {
        {"D12", 12, 4, "The last used cell has been reset to Row 12, Col D     "},
        {"Z50", 50, 26, "The last used cell has been reset to Row 50, Col Z     "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cell);
        const std::string book = Copy("luc.xlsx");
        ui().PushFileChoice(book);
        Click("btnBrowse");
        SetText("cbSheetName", "Data");
        SelectCell(c.cell);
        During([&] { ui().PushAnswer(ui::vbOK); });
        Click("btnOK");
        app.SetLUC();
        ASSERT_FALSE(Texts().empty());
        EXPECT_EQ(ui().Messages().back().title, "Reset Excel Sheet Last Used Cell");
        EXPECT_EQ(Texts().back(), c.message);
        EXPECT_FALSE(m->xlApp || m->xlBook || m->xlSheet);

        auto engine = workbook::CreateEmbeddedExcel(ui());
        auto saved = engine->Workbooks()->Open(book);
        auto data = saved->Sheets("Data");
        for (Long r = 1; r <= 15; ++r) {
            for (Long col = 1; col <= 6; ++col) {
                const bool kept = r <= c.lastRow && col <= c.lastCol;
                EXPECT_EQ(data->Cells(r, col)->Text(),
                          kept ? "r" + std::to_string(r) + "c" + std::to_string(col) : "")
                    << r << "," << col;
            }
        }
        EXPECT_EQ(data->Cells(40, 26)->Text(), c.lastRow >= 40 ? "stray" : "");
        EXPECT_EQ(data->Cells(3, 28)->Text(), "");
        EXPECT_EQ(data->Cells(300, 2)->Text(), "");
        EXPECT_EQ(saved->Sheets("Other")->Cells(20, 11)->Text(), "keep too");
        m->ReleaseExcel();
    }
}

TEST_F(ResetLastUsedCell, AFailedSaveLeavesTheFileOnDiskAndTheDialogOpen) {
    const std::string folder = work / "sub";
    std::filesystem::create_directory(folder);
    const std::string book = folder + "/luc.xlsx";
    std::filesystem::copy_file(testing::Fixture("luc.xlsx"), book);
    const std::string before = ReadFile(book);
    Browse(book, "Data", "btnBrowse");
    SelectCell("D12");
    // The folder cannot take the temporary file any more: a file stands in its place.
    During([&] {
        std::filesystem::rename(folder, work / "moved");
        std::ofstream(folder) << "not a folder";
        ui().PushAnswer(ui::vbOK);
    });
    Click("btnOK");
    During([&] { EXPECT_TRUE(Form().IsLoaded()); });
    Click("btnCancel");
    app.SetLUC();
    ASSERT_EQ(Texts().size(), 2u);
    EXPECT_EQ(Texts()[1].rfind("The Excel file could not be saved: ", 0), 0u) << Texts()[1];
    EXPECT_EQ(ReadFile(work / "moved/luc.xlsx"), before);
}

}  // namespace
}  // namespace tbln
