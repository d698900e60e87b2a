#include <gtest/gtest.h>

#include <filesystem>

#include "common/paths.hpp"
#include "common/utilities.hpp"
#include "core/error.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

using testing::Fixture;
using testing::TestForm;
using testing::TestPlatform;

TEST(ColumnLetters, OneAndTwoLettersAndBeyond) {
    struct Case {
        Integer col;
        const char* letters;
    } cases[] = {{1, "A"},   {26, "Z"},   {27, "AA"},   {52, "AZ"},
                 {53, "BA"}, {702, "ZZ"}, {703, "AAA"}, {16384, "XFD"}};
    for (const auto& c : cases) EXPECT_EQ(ColumnLetters(c.col), c.letters) << c.col;
    for (Integer bad : {Integer{0}, Integer{-1}})
        EXPECT_THROW(ColumnLetters(bad), RuntimeError) << bad;
}

TEST(ColumnNumber, UpperCasesTheCallersTextAndRefusesThreeLetters) {
    TestPlatform p;
    struct Case {
        std::string in, after;
        Integer number;
        bool message;
    } cases[] = {{"a", "A", 1, false},
                 {"ab", "AB", 28, false},
                 {"", "", 0, false},
                 {"Z", "Z", 26, false},
                 {"zz", "ZZ", 702, false},
                 {"1", "1", -15, false},
                 {"ABC", "ABC", -1, true},
                 {"abcd", "ABCD", -1, true},
                 // Characters, not bytes, each with its code point: "ü" is 252, "ÄÖ" two.
                 {"\xC3\xBC", "\xC3\xBC", 188, false},
                 {"\xC3\x84\xC3\x96", "\xC3\x84\xC3\x96", (196 - 64) * 26 + 214 - 64, false}};
    for (auto& c : cases) {
        const auto before = p.ui.Messages().size();
        std::string letters = c.in;
        EXPECT_EQ(ColumnNumber(p.ui, letters), c.number) << c.in;
        EXPECT_EQ(letters, c.after);
        EXPECT_EQ(p.ui.Messages().size(), before + (c.message ? 1 : 0)) << c.in;
    }
    const auto& m = p.ui.Messages().back();
    EXPECT_EQ(m.prompt, "The column number should be less than 3 characters     ");
    EXPECT_EQ(m.title, "Error");
    EXPECT_EQ(m.style, ui::vbInformation);
}

class OpenExcelFileTest : public ::testing::Test {
  protected:
    bool Open(const std::string& path) {
        return OpenExcelFile(p.ports(), path, true, xlApp, xlBook);
    }
    TestPlatform p;
    std::shared_ptr<excel::Application> xlApp;
    std::shared_ptr<excel::Workbook> xlBook;
};

TEST_F(OpenExcelFileTest, AnOpenWorkbookIsActivatedNotOpenedAgain) {
    const std::string blocks =
        std::filesystem::absolute(Fixture("blocks.xlsx")).lexically_normal().string();
    const std::string other =
        std::filesystem::absolute(Fixture("openpyxl.xlsx")).lexically_normal().string();
    ASSERT_TRUE(Open(blocks));
    EXPECT_TRUE(xlApp->Visible());
    EXPECT_EQ(xlBook->FullName(), blocks);
    ASSERT_TRUE(Open(other));
    EXPECT_EQ(xlApp->ActiveWorkbook()->FullName(), other);
    auto first = xlApp->Workbooks()->Item(1);
    ASSERT_TRUE(Open(blocks));
    EXPECT_EQ(xlBook, first) << "the running Excel's own workbook object";
    EXPECT_EQ(xlApp->Workbooks()->Count(), 2);
    EXPECT_EQ(xlApp->ActiveWorkbook(), first) << "activated";
    EXPECT_TRUE(p.ui.Messages().empty());
}

TEST_F(OpenExcelFileTest, AnotherLetterCaseGoesThroughOpen) {
    const std::string blocks = std::filesystem::absolute(Fixture("blocks.xlsx")).string();
    ASSERT_TRUE(Open(blocks));
    const std::string upper = std::filesystem::absolute(Fixture("BLOCKS.XLSX")).string();
    EXPECT_FALSE(Open(upper)) << "no such file on a case-sensitive file system";
    ASSERT_EQ(p.ui.Messages().size(), 1u);
    EXPECT_EQ(p.ui.Messages()[0].title, "Error On Opening Excel File");
    EXPECT_NE(p.ui.Messages()[0].prompt.find("BLOCKS.XLSX"), std::string::npos);
    EXPECT_TRUE(xlApp->Visible()) << "Excel stays running and visible";
}

TEST_F(OpenExcelFileTest, NoExcelAtAll) {
    p.objects.Unregister("Excel.Application");
    EXPECT_FALSE(Open(Fixture("blocks.xlsx")));
    ASSERT_EQ(p.ui.Messages().size(), 1u);
    EXPECT_EQ(p.ui.Messages()[0].prompt, "There is no Excel installed on your PC     ");
    EXPECT_EQ(p.ui.Messages()[0].title, "Error");
}

TEST_F(OpenExcelFileTest, AttachesToTheRunningExcel) {
    auto running = As<excel::Application>(p.objects.CreateObject("Excel.Application"));
    ASSERT_TRUE(Open(Fixture("blocks.xlsx")));
    EXPECT_EQ(xlApp, running);
    EXPECT_EQ(AttachExcel(p.ui, p.objects), running);
    EXPECT_TRUE(p.ui.Messages().empty());
}

TEST(WindowRoutines, CallTheWindowFunctionsWithTheirValues) {
    TestPlatform p;
    const ui::Hwnd excel = p.ui.AddWindow("Excel - blocks.xlsx");

    SetWindowTopMost(p.ui, excel, True);
    EXPECT_TRUE(p.ui.IsTopMost(excel));
    SetWindowTopMost(p.ui, excel, 1);
    EXPECT_FALSE(p.ui.IsTopMost(excel)) << "only the Boolean True counts";
    EXPECT_EQ(p.ui.Journal()[0].args, (std::vector<Long>{excel, -1, 0, 0, 0, 0, 3}));
    EXPECT_EQ(p.ui.Journal()[1].args, (std::vector<Long>{excel, -2, 0, 0, 0, 0, 3}));
    SetWindowTopMost(p.ui, excel, False);
    EXPECT_FALSE(p.ui.IsTopMost(excel));

    p.ui.ClearJournal();
    MaximizeWindow(p.ui, "Excel - blocks.xlsx");
    ASSERT_EQ(p.ui.Journal().size(), 3u);
    EXPECT_EQ(p.ui.Journal()[0].function, "FindWindow");
    EXPECT_EQ(p.ui.Journal()[1].args, (std::vector<Long>{excel, 44}));
    EXPECT_EQ(p.ui.Journal()[2].args, (std::vector<Long>{excel, 44, 3}));
    EXPECT_EQ(p.ui.PlacementOf(excel)->showCmd, ui::SW_SHOWMAXIMIZED);

    p.ui.ClearJournal();
    DisableCloseButton(p.ui, excel);
    ASSERT_EQ(p.ui.Journal().size(), 3u);
    const Long menu = p.ui.Journal()[1].args[0];
    EXPECT_EQ(p.ui.Journal()[0].args, (std::vector<Long>{excel, 0}));
    EXPECT_EQ(p.ui.Journal()[1].args, (std::vector<Long>{menu, 6, 0x400}));
    EXPECT_EQ(p.ui.Journal()[2].args, (std::vector<Long>{menu, 5, 0x400}));

    TestForm form("Centred");
    struct Case {
        Long width, height, left, top;
    } cases[] = {{4800, 3600, 5280, 3960}, {4801, 3601, 5279, 3959}, {20000, 3600, -2320, 3960}};
    for (const auto& c : cases) {
        form.Width = c.width;
        form.Height = c.height;
        CenterForm(p.ui, form);
        EXPECT_EQ(form.Left, c.left) << c.width;
        EXPECT_EQ(form.Top, c.top) << c.height;
        EXPECT_EQ(form.Width, c.width);
    }
}

TEST(WindowRoutines, AnUnknownTitleLeavesEveryWindowAlone) {
    TestPlatform p;
    p.ui.strictWindows = true;
    const ui::Hwnd excel = p.ui.AddWindow("Excel");
    MaximizeWindow(p.ui, "No such window");
    EXPECT_EQ(p.ui.PlacementOf(excel)->showCmd, 1);
}

TEST(Paths, SplitAtEitherSeparator) {
    EXPECT_EQ(paths::SplitPath("C:\\My Files/a.xls"),
              (std::vector<std::string>{"C:", "My Files", "a.xls"}));
    EXPECT_EQ(paths::FileNamePart("plain"), "plain");
    EXPECT_EQ(paths::FileNamePart("dir\\"), "");
}

}  // namespace
}  // namespace tbln
