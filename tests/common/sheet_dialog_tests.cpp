#include <gtest/gtest.h>

#include "common/sheet_dialog.hpp"
#include "common/utilities.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

using testing::Fixture;
using testing::TestForm;
using testing::TestPlatform;

struct SheetDialogTest : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(OpenExcelFile(p.ports(), book, true, xlApp, xlBook)); }
    TestPlatform p;
    std::string book = Fixture("blocks.xlsx");
    std::shared_ptr<excel::Application> xlApp;
    std::shared_ptr<excel::Workbook> xlBook;
};

TEST_F(SheetDialogTest, DraggingReleasesTheCaptureAndHandsTheFocusBack) {
    TestForm form("Dialog");
    form.hWnd = 77;
    struct Case {
        int button;
        bool attached, onHover;
        std::vector<std::string> calls;
    } cases[] = {
        {1, true, true, {"ReleaseCapture", "SendMessage", "AppActivate"}},
        {1, true, false, {"ReleaseCapture", "SendMessage"}},
        {1, false, true, {"ReleaseCapture", "SendMessage"}},
        {0, true, true, {"AppActivate"}},
        {2, false, true, {}},
    };
    for (const auto& c : cases) {
        p.ui.ClearJournal();
        DialogMouseMove(p.ui, form, c.button, c.attached ? xlApp : nullptr, c.onHover);
        std::vector<std::string> calls;
        for (const auto& j : p.ui.Journal()) calls.push_back(j.function);
        EXPECT_EQ(calls, c.calls) << c.button << c.attached << c.onHover;
        for (const auto& j : p.ui.Journal()) {
            if (j.function == "SendMessage") {
                EXPECT_EQ(j.args, (std::vector<Long>{77, 161, 2, 0}));
            }
            if (j.function == "AppActivate") {
                EXPECT_EQ(j.text, xlApp->Caption());
            }
        }
    }
}

TEST_F(SheetDialogTest, ASheetSwitchedWithExcelsTabsIsUndone) {
    auto chosen = xlBook->Sheets("Parts");
    chosen->Activate();
    EXPECT_FALSE(GuardSheetSwitch(p.ui, xlApp, chosen, "Parts"));
    EXPECT_TRUE(p.ui.Messages().empty());

    xlBook->Sheets("Title Block")->Activate();  // the user clicks Excel's tab
    p.ui.ClearJournal();
    EXPECT_TRUE(GuardSheetSwitch(p.ui, xlApp, chosen, "Parts"));
    ASSERT_EQ(p.ui.Messages().size(), 1u);
    EXPECT_EQ(p.ui.Messages()[0].prompt,
              "Please do NOT switch Excel sheet using Excel tab     \r\n\r\n"
              "Use Sheet drop down box in dialog box instead     ");
    EXPECT_EQ(p.ui.Messages()[0].title, "Error");
    EXPECT_EQ(p.ui.Messages()[0].style, ui::vbInformation);
    EXPECT_EQ(xlApp->ActiveWorkbook()->ActiveSheet()->Name(), "Parts");
    EXPECT_EQ(p.ui.ActiveTitle(), xlApp->Caption());

    EXPECT_FALSE(GuardSheetSwitch(p.ui, xlApp, nullptr, "Other")) << "no sheet chosen yet";
    EXPECT_EQ(p.ui.Messages().size(), 1u);
}

TEST(SheetDialog, TruncateKeepsSeventeenCharacters) {
    struct Case {
        std::string name, shown;
    } cases[] = {
        {"", ""},
        {"TITLE", "TITLE"},
        {"ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMNOPQ"},
        {"ABCDEFGHIJKLMNOPQR", "ABCDEFGHI~LMNOPQR"},
        {"DRAWING_NUMBER_OF_THE_SHEET", "DRAWING_N~E_SHEET"},
        // Characters, not bytes: 17 characters in 20 bytes stay whole; 18 are cut
        // between characters.
        {"\xC3\x84\xC3\x96\xC3\x9C"
         "ABCDEFGHIJKLMN",
         "\xC3\x84\xC3\x96\xC3\x9C"
         "ABCDEFGHIJKLMN"},
        {"\xC3\x84\xC3\x96\xC3\x9C"
         "ABCDEFGHIJKLMNO",
         "\xC3\x84\xC3\x96\xC3\x9C"
         "ABCDEF~IJKLMNO"},
        {"ABCDEFGH\xE2\x82\xACIJKLMNOP\xE2\x82\xAC", "ABCDEFGH\xE2\x82\xAC~KLMNOP\xE2\x82\xAC"},
    };
    for (const auto& c : cases) EXPECT_EQ(Truncate(c.name), c.shown);
}

TEST(SheetDialog, ExcelIsBroughtForwardOnlyWhenSet) {
    TestPlatform p;
    BringExcelForward(p.ui, nullptr);
    EXPECT_TRUE(p.ui.Journal().empty());
    auto excel = As<excel::Application>(p.objects.CreateObject("Excel.Application"));
    BringExcelForward(p.ui, excel);
    EXPECT_EQ(p.ui.ActiveTitle(), excel->Caption());
}

}  // namespace
}  // namespace tbln
