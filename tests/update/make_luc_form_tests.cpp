// The last-used-cell reset dialog driven as a user would, on real workbooks.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/dialog_test.hpp"
#include "update/make_luc_form.hpp"

namespace tbln {
namespace {

using testing::DialogTest;

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

constexpr const char* kSelectFile = "Please select an Excel file for processing";

class ResetLastUsedCell : public DialogTest {
  protected:
    MakeLUCForm& Form() { return static_cast<MakeLUCForm&>(m->Dialog(DialogId::MakeLUCForm)); }
};

TEST_F(ResetLastUsedCell, NothingIsDeletedUntilTheWarningIsConfirmed) {
    const std::string book = Copy("luc.xlsx");
    const std::string before = Bytes(book);
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
    EXPECT_EQ(Bytes(book), before);
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

}  // namespace
}  // namespace tbln
