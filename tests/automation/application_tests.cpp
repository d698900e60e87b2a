#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "automation/application.hpp"
#include "automation/module.hpp"
#include "core/error.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

using testing::Fixture;
using testing::TestForm;
using testing::TestPlatform;

class EntryPoints : public ::testing::Test {
  protected:
    EntryPoints() : m(platform.ports()), app(m) {}

    // Registers a test dialog for `id` and returns the instance the module will show.
    TestForm& Dialog(DialogId id) {
        m.RegisterDialog(id, [](Module&) { return std::make_unique<TestForm>("TestForm"); });
        return static_cast<TestForm&>(m.Dialog(id));
    }

    // Opens the fixture workbook in the embedded Excel and stores the references.
    void OpenBook() {
        m.xlApp = As<excel::Application>(platform.objects.CreateObject("Excel.Application"));
        m.xlBook = m.xlApp->Workbooks()->Open(Fixture("blocks.xlsx"));
        m.xlSheet = m.xlBook->Sheets("Parts");
    }

    TestPlatform platform;
    Module m;
    Application app;
};

// The caller's values before the call, so that what an entry point leaves alone shows.
struct CaptureArgs : CaptureArguments {
    CaptureArgs() {
        fileName0 = "caller.xlsx", sheetName0 = "caller sheet", QVPath = "qv";
        totalHeight0 = totalWidth0 = -1;
        startRow0 = 5, endRow0 = 6, startCol0 = 7, endCol0 = 8;
        fastUpdate0 = True;
    }
    Boolean Build(Application& app) { return app.BuildCell(*this); }
    Boolean Update(Application& app) { return app.DeepUpdate(*this); }
};

// What a capture leaves in the module.
void FillCapture(Module& m) {
    m.fileName = "/books/plan.xlsx";
    m.sheetName = "Plan";
    m.dgnCell.ReDim(1, 2, 1, 3);
    m.dgnCell(2, 3) = std::make_shared<MyCell>();
    m.dgnCell(2, 3)->Value = "x";
    m.xlsShape.ReDim(1, 1);
    m.xlsShape(1) = std::make_shared<MyShape>();
    m.xlsShape(1)->top = -1000;
    m.xlsImage.ReDim(1, 1);
    m.xlsImage(1) = std::make_shared<MyImage>();
    m.totalHeight = 30.5f;
    m.totalWidth = 120.25f;
    m.startRow = 1;
    m.endRow = 2;
    m.startCol = 1;
    m.endCol = 3;
    m.fastUpdate = true;
    m.excelFonts = std::make_shared<Collection>();
    m.excelFonts->Add("XLS  Arial", std::string("Arial"));
}

TEST_F(EntryPoints, SetTopMostWindowReturnsTheCallOnlyForTrue) {
    Long hwnd = platform.ui.AddWindow("Drawing");
    Boolean on = True, off = False, one = 1;
    EXPECT_EQ(app.SetTopMostWindow(hwnd, on), 1);
    EXPECT_TRUE(platform.ui.IsTopMost(hwnd));
    EXPECT_EQ(app.SetTopMostWindow(hwnd, off), 0) << "False returns 0 although the window moved";
    EXPECT_FALSE(platform.ui.IsTopMost(hwnd));
    app.SetTopMostWindow(hwnd, on);
    EXPECT_EQ(app.SetTopMostWindow(hwnd, one), 0) << "only -1 counts as True";
    EXPECT_FALSE(platform.ui.IsTopMost(hwnd));
    const auto& call = platform.ui.Journal().front();
    EXPECT_EQ(call.function, "SetWindowPos");
    EXPECT_EQ(call.args, (std::vector<Long>{hwnd, -1, 0, 0, 0, 0, 3}));
    EXPECT_EQ(platform.ui.Journal()[1].args[1], -2);
}

TEST_F(EntryPoints, BuildCellCopiesBackConfirmedOrCancelledAndReleases) {
    struct Case {
        const char* name;
        bool cancel;
        bool buildFonts;
        Boolean result;
    } cases[] = {{"confirmed", false, true, True}, {"cancelled", true, false, False}};
    for (const auto& c : cases) {
        auto& form = Dialog(DialogId::CellRangeForm);
        form.onLoad = [&] {
            FillCapture(m);
            if (!c.buildFonts) m.excelFonts.reset();
            OpenBook();
            m.xlApp->SetScreenUpdating(false);
            m.dialogCancelled = c.cancel;
        };
        m.isDeepUpdate = true;
        CaptureArgs args;
        EXPECT_EQ(args.Build(app), c.result) << c.name;
        EXPECT_FALSE(m.isDeepUpdate);
        EXPECT_EQ(args.fileName0, "/books/plan.xlsx") << c.name;
        EXPECT_EQ(args.sheetName0, "Plan");
        EXPECT_EQ(args.dgnCell0(2, 3), m.dgnCell(2, 3)) << "the same record objects";
        EXPECT_EQ(args.dgnCell0(1, 1), nullptr);
        EXPECT_EQ(args.xlsShape0(1)->top, -1000);
        EXPECT_FLOAT_EQ(args.totalHeight0, 30.5f);
        EXPECT_EQ(args.endCol0, 3);
        EXPECT_EQ(args.fastUpdate0, True);
        EXPECT_EQ(args.dwgdgn, "dwg");
        EXPECT_EQ(args.QVPath, "qv");
        ASSERT_TRUE(args.excelFonts0) << "the caller always receives a collection";
        EXPECT_EQ(args.excelFonts0->Count(), c.buildFonts ? 1 : 0);
        EXPECT_EQ(m.excelFonts, nullptr) << "the next call starts with no fonts";
        EXPECT_FALSE(m.xlApp || m.xlBook || m.xlSheet);
        auto excel = As<excel::Application>(platform.objects.GetObject("Excel.Application"));
        EXPECT_TRUE(excel->ScreenUpdating()) << "screen updating switched back on";
    }
}

TEST_F(EntryPoints, BuildCellIgnoresADialogThatCannotBeShown) {
    FillCapture(m);
    CaptureArgs args;
    EXPECT_EQ(args.Build(app), False);
    EXPECT_EQ(args.fileName0, "/books/plan.xlsx") << "copied back all the same";
    EXPECT_EQ(args.startRow0, 1);
}

TEST_F(EntryPoints, DeepUpdateTurnsAPendingErrorIntoFalse) {
    struct Case {
        const char* name;
        std::function<void(TestForm&)> load;
        Boolean result;
    } cases[] = {
        {"completed", [&](TestForm&) { FillCapture(m); }, True},
        {"closes itself while loading", [&](TestForm& f) { f.Unload(); }, False},
        {"error after the records were filled",
         [&](TestForm&) {
             FillCapture(m);
             Raise(err::kApplicationDefined);
         },
         False},
    };
    for (const auto& c : cases) {
        auto& form = Dialog(DialogId::DeepUpdateForm);
        std::string seenFile;
        Integer seenStart = 0;
        form.onLoad = [&] {
            seenFile = m.fileName;
            seenStart = m.startRow;
            c.load(form);
        };
        CaptureArgs args;
        args.startRow0 = -1;
        EXPECT_EQ(args.Update(app), c.result) << c.name;
        EXPECT_TRUE(m.isDeepUpdate);
        EXPECT_EQ(seenFile, "caller.xlsx") << "inputs reach the dialog";
        EXPECT_EQ(seenStart, -1);
        ASSERT_TRUE(args.excelFonts0);
        EXPECT_EQ(m.excelFonts, nullptr);
    }
}

TEST_F(EntryPoints, PopulateCancelledChangesNoArgument) {
    for (bool cancel : {true, false}) {
        auto& form = Dialog(DialogId::DistributeForm);
        std::string format;
        form.onLoad = [&] {
            format = m.fileFormat;
            m.row1 = 2;
            m.row2 = 4;
            m.rown = 10;
            m.col1 = 1;
            m.col2 = 1;
            m.coln = 1;
            m.templatePath = "/t.dwg";
            m.outputPath = "/out";
            m.excelPath = "/b.xlsx";
            m.sheetName = "S";
            OpenBook();
            m.dialogCancelled = cancel;
        };
        Integer r1 = 11, r2 = 12, rn = 13, c1 = 14, c2 = 15, cn = 16;
        std::string tp = "tp", op = "op", ep = "ep", sn = "sn", dwgdgn = "dgn", qv = "qv";
        const Boolean result = app.Populate(r1, r2, rn, c1, c2, cn, tp, op, ep, sn, dwgdgn, qv);
        EXPECT_EQ(format, "dgn");
        EXPECT_FALSE(m.xlApp || m.xlBook || m.xlSheet) << "released in both cases";
        if (cancel) {
            EXPECT_EQ(result, False);
            EXPECT_EQ(std::vector<Integer>({r1, r2, rn, c1, c2, cn}),
                      std::vector<Integer>({11, 12, 13, 14, 15, 16}));
            EXPECT_EQ(tp + op + ep + sn, "tpopepsn");
        } else {
            EXPECT_EQ(result, True);
            EXPECT_EQ(std::vector<Integer>({r1, r2, rn, c1, c2, cn}),
                      std::vector<Integer>({2, 4, 10, 1, 1, 1}));
            EXPECT_EQ(tp + op + ep + sn, "/t.dwg/out/b.xlsxS");
        }
        EXPECT_EQ(dwgdgn + qv, "dgnqv");
    }
}

TEST_F(EntryPoints, DialogErrorsReachTheMacroWhereNothingIsTrapped) {
    Integer i = 0;
    std::string s;
    TagPosArray tags0(1, 0), tags1;
    EXPECT_THROW(app.Populate(i, i, i, i, i, i, s, s, s, s, s, s), RuntimeError);
    EXPECT_THROW(app.MakeBlock(tags0, tags1, s, s, s), RuntimeError);
    EXPECT_THROW(app.InsertBlock(tags0, tags1, s, s), RuntimeError);
    EXPECT_THROW(app.SetLUC(), RuntimeError);
    std::string format = "dwg";
    EXPECT_NO_THROW(app.ExportDGNName(format)) << "ExportDGNName traps its errors";
    EXPECT_EQ(m.fileFormat, "dwg");
}

TEST_F(EntryPoints, MakeAndInsertBlockShareTheCallersTags) {
    for (bool insert : {false, true}) {
        for (bool cancel : {true, false}) {
            TagPosArray tags0(0, 1), tags1;
            tags0(0) = std::make_shared<TagPos>();
            tags0(1) = std::make_shared<TagPos>();
            auto& form = Dialog(insert ? DialogId::InsertBlockForm : DialogId::MakeBlockForm);
            std::string seenFile;
            form.onLoad = [&] {
                seenFile = m.fileName;
                m.tagList(1)->row = "7";
                m.fileName = "/chosen.xlsx";
                m.sheetName = "Chosen";
                OpenBook();
                m.dialogCancelled = cancel;
            };
            m.fileName = "previous";
            std::string fileName0 = "block.xlsx", sheetName0 = "BlockSheet", qv;
            const Boolean result = insert ? app.InsertBlock(tags0, tags1, fileName0, sheetName0)
                                          : app.MakeBlock(tags0, tags1, fileName0, sheetName0, qv);
            EXPECT_EQ(seenFile, insert ? "block.xlsx" : "previous");
            EXPECT_EQ(tags0(1)->row, "7")
                << "written into the caller's own record, even after a cancel";
            if (cancel) {
                EXPECT_EQ(result, False);
                EXPECT_FALSE(tags1.IsAllocated());
                EXPECT_EQ(fileName0, "block.xlsx");
                EXPECT_TRUE(m.xlApp) << "nothing is released after a cancel";
            } else {
                EXPECT_EQ(result, True);
                EXPECT_EQ(tags1.Lower(), 0);
                EXPECT_EQ(tags1(1), tags0(1));
                EXPECT_EQ(fileName0 + "|" + sheetName0, "/chosen.xlsx|Chosen");
                EXPECT_FALSE(m.xlApp || m.xlBook || m.xlSheet);
            }
            m.ReleaseExcel();
        }
    }
}

class InsertBlockPopTest : public EntryPoints {
  protected:
    TagPosArray Tags(std::initializer_list<std::pair<Integer, Integer>> offsets) {
        TagPosArray tags(1, static_cast<Long>(offsets.size()));
        Long i = 1;
        for (auto [r, c] : offsets) {
            tags(i) = std::make_shared<TagPos>();
            tags(i)->tagName = "T" + std::to_string(i);
            tags(i)->offsetRow = r;
            tags(i)->offsetCol = c;
            ++i;
        }
        return tags;
    }
};

TEST_F(InsertBlockPopTest, FillsEveryTagFromItsCellOnANonActiveSheet) {
    auto tags0 = Tags({{0, 0}, {0, 1}, {1, 0}, {1, 2}, {2, 0}, {2, 1}, {5, 0}, {3, 0}, {-1, 25}});
    TagPosArray tags1;
    std::string file = Fixture("blocks.xlsx"), sheet = "TITLE BLOCK";
    Integer row = 2, col = 2;
    ASSERT_EQ(app.InsertBlockPop(tags0, tags1, file, sheet, row, col), True);
    // The cells' texts in their columns of 8.43 characters, as Range.Text gives them.
    const std::vector<std::string> expected{
        "DWG-001", "Pump housing", "42", "0.333333", "TRUE", "1.23E+12", "", "84", "far column"};
    for (Long i = 1; i <= tags1.Upper(); ++i) {
        EXPECT_EQ(tags1(i)->Value, expected[static_cast<size_t>(i - 1)]) << i;
        EXPECT_EQ(tags1(i), tags0(i));
    }
    EXPECT_EQ(tags1(4)->row, "3");
    EXPECT_EQ(tags1(4)->col, "D");
    EXPECT_EQ(tags1(9)->col, "AA");
    EXPECT_EQ(tags1(9)->row, "1");
    auto excel = As<excel::Application>(platform.objects.GetObject("Excel.Application"));
    EXPECT_TRUE(excel->Visible());
    EXPECT_EQ(excel->ActiveSheet()->Name(), "Parts") << "the active sheet stays as it was";
    EXPECT_FALSE(m.xlApp || m.xlBook || m.xlSheet);
}

TEST_F(InsertBlockPopTest, RefusesOffsetsBeyondSixteenBits) {
    for (auto [row, offset] :
         {std::pair<Integer, Integer>{32767, 1}, {-32768, -1}, {20000, 20000}}) {
        auto tags0 = Tags({{offset, 0}});
        TagPosArray tags1;
        std::string file = Fixture("blocks.xlsx"), sheet = "Title Block";
        Integer col = 1;
        try {
            app.InsertBlockPop(tags0, tags1, file, sheet, row, col);
            ADD_FAILURE() << "no overflow for " << row << "+" << offset;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Number(), err::kOverflow);
        }
        EXPECT_FALSE(tags1.IsAllocated());
        EXPECT_FALSE(m.xlApp) << "released on the way out";
    }
}

TEST_F(InsertBlockPopTest, BadWorkbookOrSheet) {
    struct Case {
        std::string file, sheet;
        Boolean result;
        std::int32_t error;
        std::string message;
    } cases[] = {
        {Fixture("missing.xlsx"), "Sheet1", False, 0, "the file does not exist"},
        {Fixture("not_a_workbook.xlsx"), "Sheet1", False, 0, "not a valid zip package"},
        {Fixture("blocks.xlsx"), "No Such Sheet", False, err::kSubscript, ""},
    };
    for (auto& c : cases) {
        auto tags0 = Tags({{0, 0}});
        TagPosArray tags1;
        Integer row = 1, col = 1;
        const auto before = platform.ui.Messages().size();
        std::int32_t error = 0;
        Boolean result = True;
        try {
            result = app.InsertBlockPop(tags0, tags1, c.file, c.sheet, row, col);
        } catch (const RuntimeError& e) {
            error = e.Number();
            EXPECT_NE(e.Description().find("No Such Sheet"), std::string::npos) << e.Description();
        }
        EXPECT_EQ(error, c.error) << c.file;
        if (!c.message.empty()) {
            EXPECT_EQ(result, c.result);
            ASSERT_EQ(platform.ui.Messages().size(), before + 1);
            const auto& msg = platform.ui.Messages().back();
            EXPECT_EQ(msg.title, "Error On Opening Excel File");
            EXPECT_NE(msg.prompt.find(c.file), std::string::npos) << msg.prompt;
            EXPECT_NE(msg.prompt.find(c.message), std::string::npos) << msg.prompt;
        }
        EXPECT_FALSE(tags1.IsAllocated()) << "nothing is copied back";
    }
}

// A Word stand-in for the entry points' own steps: which calls succeed and what they return.
class FakeWord : public word::Application {
  public:
    struct Doc : word::Document {
        std::string FullName() override { return "doc"; }
        std::shared_ptr<word::PageSetup> PageSetup() override { return setup; }
        Long ComputeStatistics(Long) override { return 0; }
        std::shared_ptr<word::Bookmark> Bookmarks(const std::string&) override {
            Raise(err::kNoSuchMember);
        }
        std::shared_ptr<word::Range> Content() override { Raise(err::kNoSuchMember); }
        struct Setup : word::PageSetup {
            double PageHeight() override { return 792; }
            double PageWidth() override { return 612; }
        };
        std::shared_ptr<Setup> setup = std::make_shared<Setup>();
    };
    struct Docs : word::Documents {
        FakeWord* word;
        Long Count() override { return 0; }
        std::shared_ptr<word::Document> Open(const std::string& path) override {
            word->opened = path;
            if (word->openFails) Raise(err::kApplicationDefined, "bad document");
            word->active = std::make_shared<Doc>();
            return word->active;
        }
    };
    struct FileDialog : word::Dialog {
        FakeWord* word;
        Long Display() override { return word->displayResult; }
        std::string Name() override { return "chosen.docx"; }
    };
    struct Basic : word::WordBasic {
        std::string FilenameInfo(const std::string& name, Long type) override {
            return type == 1 ? "/docs/" + name : name;
        }
    };

    std::string Caption() override { return "Word - doc"; }
    bool Visible() override { return visible; }
    void SetVisible(bool v) override {
        visible = v;
        visibleSets++;
    }
    bool ScreenUpdating() override { return screenUpdating; }
    void SetScreenUpdating(bool u) override { screenUpdating = u; }
    std::shared_ptr<word::Dialog> Dialogs(Long id) override {
        dialogId = id;
        auto d = std::make_shared<FileDialog>();
        d->word = this;
        return d;
    }
    std::shared_ptr<word::WordBasic> WordBasic() override { return std::make_shared<Basic>(); }
    std::shared_ptr<word::Documents> Documents() override {
        auto d = std::make_shared<Docs>();
        d->word = this;
        return d;
    }
    std::shared_ptr<word::Document> ActiveDocument() override { return active; }
    std::shared_ptr<word::Selection> Selection() override { Raise(err::kNoSuchMember); }

    bool visible = true, screenUpdating = true, openFails = false;
    int visibleSets = 0;
    Long displayResult = -1, dialogId = 0;
    std::string opened;
    std::shared_ptr<Doc> active;
};

TEST_F(EntryPoints, ParseAndUpdateWordFollowTheirSteps) {
    struct Case {
        const char* name;
        bool installed, update, openFails;
        Long display;
        Boolean result;
        const char* message;
    } cases[] = {
        {"no Word", false, false, false, -1, False, "There is no Word installed on your PC"},
        {"file dialog dismissed", true, false, false, 0, False, nullptr},
        {"not a Word file", true, false, true, -1, False,
         "File /docs/chosen.docx is not a valid Word file"},
        {"parsed", true, false, false, -1, True, nullptr},
        {"update of a bad file", true, true, true, -1, False,
         "File /old/notes.docx is not a valid Word file"},
        {"updated", true, true, false, -1, True, nullptr},
    };
    for (const auto& c : cases) {
        auto word = std::make_shared<FakeWord>();
        word->openFails = c.openFails;
        word->displayResult = c.display;
        word->visible = false;
        platform.objects.Unregister("Word.Application");
        if (c.installed) {
            platform.objects.Register("Word.Application", {nullptr, [word] { return word; }});
        }
        auto& form = Dialog(DialogId::WordProgressForm);
        form.onLoad = [&] {
            m.wordLines.ReDim(0, 0);
            m.wordLines(0) = std::make_shared<WordLine>();
            m.pageNum = 3;
        };
        const auto before = platform.ui.Messages().size();
        WordLineArray lines;
        Integer pageNum = 0;
        Single wid = 0, hei = 0;
        std::string fileName0 = "/old/notes.docx";
        m.fileName = "unchanged";
        const Boolean result = c.update ? app.UpdateWord(lines, pageNum, wid, hei, fileName0)
                                        : app.ParseWord(lines, pageNum, wid, hei, fileName0);
        EXPECT_EQ(result, c.result) << c.name;
        if (c.message) {
            ASSERT_EQ(platform.ui.Messages().size(), before + 1) << c.name;
            EXPECT_EQ(platform.ui.Messages().back().prompt, c.message);
            EXPECT_EQ(platform.ui.Messages().back().title, "Error");
            EXPECT_EQ(platform.ui.Messages().back().style, ui::vbInformation);
        } else {
            EXPECT_EQ(platform.ui.Messages().size(), before) << c.name;
        }
        if (c.display == 0) {
            EXPECT_EQ(word->visibleSets, 0)
                << "Word keeps its state when the file dialog is dismissed";
            EXPECT_EQ(word->dialogId, 80);
        } else if (c.installed) {
            EXPECT_TRUE(word->visible) << c.name;
            EXPECT_TRUE(word->screenUpdating) << c.name;
        }
        if (c.result == True) {
            EXPECT_EQ(pageNum, 3);
            EXPECT_FLOAT_EQ(hei, 792);
            EXPECT_FLOAT_EQ(wid, 612);
            EXPECT_EQ(lines(0), m.wordLines(0));
            EXPECT_EQ(fileName0, c.update ? "/old/notes.docx" : "/docs/chosen.docx");
            EXPECT_EQ(word->opened, fileName0);
            EXPECT_EQ(m.fileName, c.update ? "unchanged" : "/docs/chosen.docx");
        } else {
            EXPECT_EQ(fileName0, "/old/notes.docx");
        }
        EXPECT_FALSE(m.wordApp || m.wordDoc) << "released";
    }
}

}  // namespace
}  // namespace tbln
