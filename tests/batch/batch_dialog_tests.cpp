// The Populate and drawing-name export dialogs driven as a drafter would, on real workbooks.
#include <gtest/gtest.h>

#include "batch/distribute_form.hpp"
#include "batch/multi_dgns_form.hpp"
#include "support/dialog_test.hpp"

namespace tbln {
namespace {

using namespace std::string_literals;
using testing::DialogTest;
using testing::Fixture;

constexpr const char* kInvalidCells = "The cell range entries are invalid or incomplete";

TEST(GetRange, NameCellsDownAColumnOrAlongARow) {
    scripted::ScriptedUi ui;
    struct Case {
        const char *c1, *r1, *c2, *r2, *cn, *rn;
        bool ok;
        std::string text;  // the reference, or the message
    } cases[] = {
        {"A", "2", "A", "4", "A", "10", true, "A2 ,A4 ,A6 ,A8 ,A10"},
        {"A", "2", "A", "4", "A", "9", false, "Using step =(2nd-1st) cell cannot reach last cell"},
        {"B", "3", "D", "3", "H", "3", true, "B3 ,D3 ,F3 ,H3"},
        {"B", "3", "D", "3", "G", "3", false, "Using step = (2nd-1st) cell cannot reach last cell"},
        {"a", "10", "a", "9", "a", "5", true, "A10 ,A9 ,A8 ,A7 ,A6 ,A5"},
        {"A", "10", "A", "12", "A", "4", true, ""},  // the last cell lies behind the first
        {"A", "2", "A", "2", "A", "8", false, kInvalidCells},  // a step of 0
        {"C", "4", "C", "4", "C", "4", false, kInvalidCells},
        {"A", "2", "B", "3", "A", "4", false,
         "The 1st, 2nd and last cell must be in same row or column"},
        {"A", "x", "A", "4", "A", "6", false, kInvalidCells},
        {"A", "", "A", "4", "A", "6", false, kInvalidCells},
        {"A", "2", "A", "40000", "A", "6", false, kInvalidCells},
        {"Y", "1", "Z", "1", "AB", "1", true, "Y1 ,Z1 ,AA1 ,AB1"},
        {"A", "32765", "A", "32766", "A", "32767", true, "A32765 ,A32766 ,A32767"},
    };
    for (const auto& c : cases) {
        const NameRange got = getRange(ui, c.c1, c.r1, c.c2, c.r2, c.cn, c.rn);
        SCOPED_TRACE(std::string(c.c1) + c.r1 + " " + c.c2 + c.r2 + " " + c.cn + c.rn);
        EXPECT_EQ(got.ok, c.ok);
        EXPECT_EQ(c.ok ? got.reference : got.message, c.text);
    }
    EXPECT_TRUE(ui.Messages().empty());
}

class Populate : public DialogTest {
  protected:
    DistributeForm& Form() {
        return static_cast<DistributeForm&>(m->Dialog(DialogId::DistributeForm));
    }
    Boolean Run() {
        return app.Populate(row10, row20, rown0, col10, col20, coln0, templatePath0, outputPath0,
                            excelPath0, sheetName0, dwgdgn, QVPath);
    }
    // Takes the first, second and last name cells from Excel's active cell.
    void Cells(const std::string& first, const std::string& second, const std::string& last) {
        SelectCell(first);
        Click("btnUpdate1");
        SelectCell(second);
        Click("btnUpdate2");
        SelectCell(last);
        Click("btnUpdaten");
    }
    void Paths(std::optional<std::string> templ, std::optional<std::string> output) {
        ui().PushFileChoice(std::move(templ));
        Click("btnBrowseDGN");
        ui().PushFolderChoice(std::move(output));
        Click("btnBrowseOutput");
    }
    Integer row10 = -1, row20 = -1, rown0 = -1, col10 = -1, col20 = -1, coln0 = -1;
    std::string templatePath0 = "unchanged", outputPath0, excelPath0, sheetName0, dwgdgn = "dgn",
                QVPath = "qv";
};

TEST_F(Populate, StartHandsBackTheCellsAndPathsWhenTheTemplateIsAName) {
    struct Case {
        const char *first, *second, *last, *templ;
    } cases[] = {
        {"A2", "A3", "A10", "C:\\work\\plan7.dgn"},  // PLAN7 and plan7.dgn down column A
        {"B3", "C3", "H3", "/work/PLAN7.dgn"},       // Plan7.DGN along row 3
        {"A10", "A9", "A2", "plan1.dwg"},            // upwards
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.templ);
        const std::string book = Fixture("drawings.xlsx");
        Browse(book, "Names", "btnBrowseExcel");
        Cells(c.first, c.second, c.last);
        Paths(c.templ, "C:\\");
        Click("btnPopulate");
        ASSERT_EQ(Run(), True) << ::testing::PrintToString(Texts());
        EXPECT_EQ(templatePath0, c.templ);
        EXPECT_EQ(outputPath0, "C:\\");
        EXPECT_EQ(excelPath0, book);
        EXPECT_EQ(sheetName0, "Names");
        EXPECT_TRUE(Texts().empty());
    }
    EXPECT_EQ(row10, 10);
    EXPECT_EQ(row20, 9);
    EXPECT_EQ(rown0, 2);
    EXPECT_EQ(col10, 1);
    EXPECT_EQ(coln0, 1);
}

TEST_F(Populate, TheTemplateMatchesANameWhateverTheCaseOfItsLetters) {
    const std::string book = Copy("drawings.xlsx");
    Browse(book, "Names", "btnBrowseExcel");
    // The name list holds "überplan"; the template is "Überplan.dgn".
    During([&] {
        Excel()->ActiveSheet()->Cells(5, 1)->SetValue(
            "\xC3\xBC"
            "berplan");
    });
    Cells("A2", "A3", "A10");
    Paths(
        "/work/\xC3\x9C"
        "berplan.dgn",
        "/out");
    Click("btnPopulate");
    ASSERT_EQ(Run(), True) << ::testing::PrintToString(Texts());
    EXPECT_EQ(templatePath0,
              "/work/\xC3\x9C"
              "berplan.dgn");
}

TEST_F(Populate, StartRefusesWithTheReasonAndStaysOpen) {
    Browse(Fixture("drawings.xlsx"), "Names", "btnBrowseExcel");
    Cells("A2", "A4", "A9");
    Click("btnPopulate");  // the step does not reach A9
    Cells("A2", "A3", "A10");
    Paths("C:\\work\\plan7.dgn", "C:");
    Click("btnPopulate");  // two characters are no output folder
    Paths("C:\\work\\", "C:\\out");
    Click("btnPopulate");  // no file name
    Paths(std::nullopt, std::nullopt);
    Click("btnPopulate");  // a cancelled template chooser empties the box
    During([&] { EXPECT_EQ(Form().tbOutputPath.Text(), "C:\\out"); });
    Paths("/w/x.dg", std::nullopt);
    Click("btnPopulate");  // shorter than 5 characters
    Cells("J2", "J3", "J3");
    Paths("C:\\work\\plan7.dgn", "C:\\out");
    Click("btnPopulate");  // only plan7.dwg and other in the names
    Cells("A10", "A12", "A4");
    Click("btnPopulate");  // no cell at all
    Click("btnCancel");
    EXPECT_EQ(Run(), False);
    const std::vector<std::string> want{
        "Using step =(2nd-1st) cell cannot reach last cell",
        "The output directory path is invalid",
        "The template drawing file path is invalid",
        "The template drawing file path is invalid",
        "The template drawing file path is invalid",
        "The template file plan7.dgn is not in the Excel drawing name list",
        kInvalidCells,
    };
    EXPECT_EQ(Texts(), want);
    EXPECT_EQ(templatePath0, "unchanged");
}

TEST_F(Populate, WithoutAWorkbookTheCellsCannotBeTakenNorSearched) {
    Click("btnUpdate1");
    SetText("tbCol1", "A");
    SetText("tbRow1", "2");
    SetText("tbCol2", "A");
    SetText("tbRow2", "3");
    SetText("tbColn", "A");
    SetText("tbRown", "4");
    Paths("/work/plan7.dgn", "/out");
    Click("btnView");  // passes without selecting anything
    Click("btnPopulate");
    Click("btnCancel");
    EXPECT_EQ(Run(), False);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Please select an Excel file for update",
                                                 "Please select an Excel file for processing"}));
}

TEST_F(Populate, ChoosersLeaveTheTopMostBandAndComeBack) {
    Browse(Fixture("drawings.xlsx"), "", "btnBrowseExcel");
    During([&] {
        auto& f = Form();
        EXPECT_TRUE(ui().IsTopMost(f.hWnd));
        EXPECT_EQ(f.cbSheetName.Text(), "Names");
        ui().ClearJournal();
    });
    Paths("/w/plan7.dgn", "/out/batch");
    During([&] {
        auto& f = Form();
        EXPECT_EQ(f.tbDGNPath.Text(), "/w/plan7.dgn");
        EXPECT_EQ(f.tbOutputPath.Text(), "/out/batch");
        std::vector<std::string> calls;
        for (const auto& c : ui().Journal()) {
            if (c.function == "GetOpenFileName" || c.function == "BrowseForFolder") {
                calls.push_back(c.function + ":" + c.text);
            }
        }
        EXPECT_EQ(calls, (std::vector<std::string>{
                             "GetOpenFileName:Open a DGN file",
                             "BrowseForFolder:Select a folder to output drawing files"}));
        EXPECT_TRUE(ui().IsTopMost(f.hWnd));
    });
    Click("btnCancel");
    EXPECT_EQ(Run(), False);
}

TEST(FormatMultiReturn, OnePathOrTheNamesAfterTheFolder) {
    struct Case {
        std::string result;
        std::vector<std::string> list;
    } cases[] = {
        {"", {}},
        {"/w/a.dgn\0"s, {"/w/a.dgn"}},
        {"/w\0a.dgn\0b.dgn\0c.dgn\0"s, {"a.dgn", "b.dgn", "c.dgn"}},
        {"/w\0a.dgn\0\0b.dgn\0"s, {"a.dgn"}},  // an empty piece ends the cutting
        {"/w/a.dgn", {}},                      // text after the last NUL is no piece
        {"/w\0a.dgn"s, {"/w"}},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatMultiReturn(c.result), c.list);
}

class ExportNames : public DialogTest {
  protected:
    MultiDGNsForm& Form() {
        return static_cast<MultiDGNsForm&>(m->Dialog(DialogId::MultiDGNsForm));
    }
    void Add(std::optional<std::string> choice) {
        ui().PushFileChoice(std::move(choice));
        Click("btnAdd");
    }
    std::vector<std::string> Listed() { return Form().lbDGNNames.Items(); }
    std::string fileFormat0 = "dgn";
};

TEST_F(ExportNames, AddRemoveAndRemoveAll) {
    Add("/w/one.dgn");
    Add("/w\0two.dgn\0three.dgn\0four.dgn"s);
    Add("/w/one.dgn");
    Add(std::nullopt);
    During([&] {
        EXPECT_EQ(Listed(), (std::vector<std::string>{"/w/one.dgn", "two.dgn", "three.dgn",
                                                      "four.dgn", "/w/one.dgn"}));
    });
    Click("btnRemove");  // nothing selected
    Pick("lbDGNNames", 1);
    Click("btnRemove");
    During([&] {
        EXPECT_EQ(Listed(),
                  (std::vector<std::string>{"/w/one.dgn", "three.dgn", "four.dgn", "/w/one.dgn"}));
    });
    Click("btnRemoveAll");
    During([&] { EXPECT_TRUE(Listed().empty()); });
    Click("btnCancel");
    app.ExportDGNName(fileFormat0);
    ASSERT_EQ(ui().Messages().size(), 1u);
    EXPECT_EQ(ui().Messages()[0].prompt, "No removed item is selected");
    EXPECT_EQ(ui().Messages()[0].style, ui::vbCritical);
    EXPECT_EQ(ui().Messages()[0].title, "Error");
}

TEST_F(ExportNames, LoadRemovesTheCloseCommandAndChoosesDrawingsOfTheHostsType) {
    struct Case {
        std::string format;
        std::string filter;
    } cases[] = {{"dgn", "DGN File  *.dgn|*.dgn"},
                 {"DGN", "DWG File  *.dwg|*.dwg"},
                 {"dwg", "DWG File  *.dwg|*.dwg"}};
    for (const auto& c : cases) {
        class FilterUi : public scripted::ScriptedUi {
          public:
            bool GetOpenFileName(ui::FileDialogRequest& r) override {
                filter = r.filter;
                flags = r.flags;
                return false;
            }
            std::string filter;
            Long flags = 0;
        } filterUi;
        posix::PosixSystem sys(work.Path());
        auto module = CreateModule(Ports{filterUi, sys, platform.objects});
        Application a(*module);
        filterUi.Push(scripted::Action::Click("btnAdd"));
        std::string format = c.format;
        a.ExportDGNName(format);
        EXPECT_EQ(filterUi.filter, c.filter);
        EXPECT_EQ(filterUi.flags, 0x81200);
        std::vector<Long> removed;
        for (const auto& call : filterUi.Journal()) {
            if (call.function == "RemoveMenu") removed.push_back(call.args[1]);
        }
        EXPECT_EQ(removed, (std::vector<Long>{6, 5}));
    }
}

TEST_F(ExportNames, AStartCellThatDoesNotConvertKeepsTheDialogAndTheList) {
    Add("/w/one.dgn");
    Browse(Copy("drawings.xlsx"), "Names");
    SelectCell("C5");
    Click("btnUpdate1");
    SetText("tbRow1", "");
    Click("btnExport");
    SetText("tbRow1", "32767");
    Add("/w/two.dgn");
    Click("btnExport");  // the second name would lie beyond row 32767
    During([&] {
        EXPECT_EQ(Listed(), (std::vector<std::string>{"/w/one.dgn", "/w/two.dgn"}));
        EXPECT_EQ(Form().tbCol1.Text(), "C");
        EXPECT_EQ(Excel()->ActiveSheet()->Cells(32767, 3)->Text(), "");
        ui().strictWindows = true;
    });
    // Cancel saves the workbook without writing a name; a save that fails says so.
    Click("btnCancel");
    app.ExportDGNName(fileFormat0);
    const auto texts = Texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Start cell's row or col entries are invalid");
    EXPECT_EQ(texts[1], "Start cell's row or col entries are invalid");
    EXPECT_FALSE(m->xlApp || m->xlBook || m->xlSheet);
}

// Reads a saved workbook back with a fresh engine, as another Excel would.
std::shared_ptr<excel::Workbook> ReadBack(const std::string& path, ui::Ui& ui) {
    static std::vector<std::shared_ptr<excel::Application>> engines;  // each stays alive
    engines.push_back(workbook::CreateEmbeddedExcel(ui));
    return engines.back()->Workbooks()->Open(path);
}

// Names go down from the start cell; the column is widened to the longest name plus
// three characters (characters, not bytes), never narrowed; nothing else changes.
TEST_F(ExportNames, NamesGoDownFromTheStartCellAndTheColumnIsWidened) {
    struct Case {
        const char *sheet, *cell;
        Long row, col;
        std::vector<std::string> names;  // one name is chosen as a path, more in a folder
        double width;
    } cases[] = {
        // Column C is 20 characters wide: wider than 15 + 3, so it keeps its width.
        {"Names", "C5", 5, 3, {"plan-0001.dgn", "plan-0002.dgn", "plan-000003.dgn"}, 20},
        {"Notes", "B2", 2, 2, {"twelve-chars", "short"}, 15},
        {"Notes", "B2", 2, 2, {"/d/\u00DCberplan.dgn"}, 18},  // 15 characters, 16 bytes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.names[0]);
        const std::string book = Copy("drawings.xlsx");
        std::string chosen = c.names.size() == 1 ? c.names[0] : "/w";
        for (std::size_t i = 0; c.names.size() > 1 && i < c.names.size(); ++i)
            chosen += '\0' + c.names[i];
        Add(chosen);
        Browse(book, c.sheet);
        SelectCell(c.cell);
        Click("btnUpdate1");
        Click("btnExport");
        app.ExportDGNName(fileFormat0);
        EXPECT_TRUE(Texts().empty()) << ::testing::PrintToString(Texts());
        auto saved = ReadBack(book, ui());
        auto sheet = saved->Sheets(c.sheet);
        Long row = c.row;
        for (const auto& name : c.names) EXPECT_EQ(sheet->Cells(row++, c.col)->Text(), name);
        EXPECT_EQ(sheet->Cells(row, c.col)->Text(), "");
        EXPECT_NEAR(sheet->Columns(c.col)->ColumnWidth(), c.width, 0.01);
        EXPECT_EQ(saved->Sheets("Names")->Cells(3, 3)->Text(), "b2");
        EXPECT_EQ(saved->Sheets("Notes")->Cells(1, 1)->Text(), "notes");
    }
}

TEST_F(ExportNames, CancelSavesWithoutWritingAndAFailedSaveIsReported) {
    const std::string book = Copy("drawings.xlsx");
    Add("/w/one.dgn");
    Browse(book, "Names");
    During([&] { std::filesystem::remove_all(work.Path()); });  // the folder goes away
    SelectCell("C5");
    Click("btnUpdate1");
    Click("btnExport");
    Click("btnCancel");
    app.ExportDGNName(fileFormat0);
    // Cancel saves again after the failed Export, without repeating the same reason.
    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind("The Excel file could not be saved: ", 0), 0u) << texts[0];
}

}  // namespace
}  // namespace tbln
