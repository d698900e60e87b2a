// The Word scan end to end: UpdateWord and ParseWord open python-docx fixtures in the
// embedded document engine, WordProgressForm scans them line by line, and the records
// come back in the entry point's arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "adapters/document/embedded_word.hpp"
#include "automation/application.hpp"
#include "core/error.hpp"
#include "library/library.hpp"
#include "support/test_platform.hpp"
#include "word/word_progress_form.hpp"

namespace tbln {
namespace {

using testing::Fixture;
using testing::TestPlatform;

class WordScan : public ::testing::Test {
  protected:
    WordScan() : module(CreateModule(platform.ports())), app(*module) {
        document::RegisterEmbeddedWord(platform.objects, platform.ui);
    }

    // UpdateWord on a fixture; the lines as the caller receives them.
    WordLineArray Scan(const std::string& name) {
        fileName0 = Fixture("word/" + name);
        result = app.UpdateWord(wordLines0, pageNum0, pageWid0, pageHei0, fileName0);
        return wordLines0;
    }

    TestPlatform platform;
    std::unique_ptr<Module> module;
    Application app;
    WordLineArray wordLines0;
    Integer pageNum0 = -1;
    Single pageWid0 = 0, pageHei0 = 0;
    std::string fileName0;
    Boolean result = False;
};

TEST_F(WordScan, OneLineDocument) {
    const auto lines = Scan("one_line.docx");
    EXPECT_EQ(result, True);
    ASSERT_EQ(lines.Lower(), 0);
    ASSERT_EQ(lines.Upper(), 1);
    EXPECT_EQ(lines(1), nullptr);  // the extra empty element
    const auto& l = *lines(0);
    EXPECT_EQ(l.text, "{\\fArial|b0|i0|c0|p34;Just one line.}");
    EXPECT_EQ(l.linefmt, "{\\fArial|b0|i0|c0|p34;");
    EXPECT_EQ(l.actual, "Just one line.");
    EXPECT_TRUE(l.simple);
    EXPECT_FALSE(l.newLine);  // the last line stops before the final paragraph mark
    EXPECT_EQ(l.charLen, 14);
    EXPECT_EQ(l.fontsize, 11);
    EXPECT_EQ(l.pageNum, 1);
    EXPECT_DOUBLE_EQ(l.x, 90);
    EXPECT_DOUBLE_EQ(l.y, 72);
    EXPECT_EQ(pageNum0, 1);
    EXPECT_EQ(pageWid0, 612);
    EXPECT_EQ(pageHei0, 792);
    EXPECT_EQ(fileName0, Fixture("word/one_line.docx"));  // UpdateWord does not write it
    // The dialog finished its scan and showed 100 %.
    EXPECT_TRUE(module->captureDone);
    EXPECT_TRUE(platform.ui.Messages().empty());
}

TEST_F(WordScan, ParagraphsAndPages) {
    // A paragraph of three lines: only its last line ends the paragraph, and no
    // paragraph mark is removed from the others.
    auto lines = Scan("three_lines.docx");
    ASSERT_EQ(lines.Upper(), 4);
    EXPECT_FALSE(lines(0)->newLine);
    EXPECT_FALSE(lines(1)->newLine);
    EXPECT_TRUE(lines(2)->newLine);
    EXPECT_EQ(lines(0)->actual.back(), ' ');
    EXPECT_EQ(lines(2)->actual, "exercitation ullamco laboris nisi ut a");
    EXPECT_EQ(lines(2)->charLen, 38);

    // An empty paragraph: its text is empty once the mark is removed.
    lines = Scan("empty_paragraph.docx");
    ASSERT_EQ(lines.Upper(), 3);
    EXPECT_TRUE(lines(1)->newLine);
    EXPECT_EQ(lines(1)->charLen, 0);
    EXPECT_EQ(lines(1)->actual, "");
    EXPECT_EQ(lines(1)->text, "{\\fArial|b0|i0|c0|p34;}");

    // The page rule: the last line of page 1 (whose end Word reports on page 2) keeps
    // page 1, the next line makes page 2 current.
    lines = Scan("page_change.docx");
    ASSERT_EQ(lines.Upper(), 60);
    Long firstOnPage2 = -1;
    for (Long i = 1; i < 60; ++i) {
        if (lines(i)->y < lines(i - 1)->y) {
            firstOnPage2 = i;
            break;
        }
    }
    ASSERT_GT(firstOnPage2, 10);
    for (Long i = 0; i < firstOnPage2; ++i) EXPECT_EQ(lines(i)->pageNum, 1) << i;
    EXPECT_EQ(lines(firstOnPage2)->pageNum, 2);
    EXPECT_EQ(pageNum0, lines(59)->pageNum);

    // Every line carries the page it is laid out on, never 0: a page of a single line,
    // and a table row whose first cell runs on over two pages while the second cell's
    // line stays on the row's first page.
    lines = Scan("page_rule.docx");
    ASSERT_EQ(lines.Upper(), 65);
    const auto pageOf = [&](const std::string& text) {
        for (Long i = 0; i < lines.Upper(); ++i) {
            if (lines(i)->actual.rfind(text, 0) == 0) return static_cast<int>(lines(i)->pageNum);
        }
        ADD_FAILURE() << text;
        return -1;
    };
    EXPECT_EQ(pageOf("Page one."), 1);
    EXPECT_EQ(pageOf("Only line of page two."), 2);
    EXPECT_EQ(pageOf("Page three, above the table."), 3);
    EXPECT_EQ(pageOf("Left cell line 25"), 3);
    EXPECT_EQ(pageOf("Left cell line 26"), 4);
    EXPECT_EQ(pageOf("Left cell line 60"), 5);
    EXPECT_EQ(pageOf("Beside the long cell"), 3);
    EXPECT_EQ(pageOf("After the table."), 5);
    for (Long i = 1; i < 63; ++i) EXPECT_GE(lines(i)->pageNum, lines(i - 1)->pageNum) << i;
    EXPECT_EQ(pageNum0, 5);

    // A justified paragraph: all of its lines; the next paragraph is not justified.
    lines = Scan("justified.docx");
    const Long last = lines.Upper() - 1;
    for (Long i = 0; i < last; ++i) EXPECT_TRUE(lines(i)->justify) << i;
    EXPECT_FALSE(lines(last)->justify);

    // Characters are counted in UTF-16 units, as the word processor counts them: the
    // emoji counts 2 (and is written as its two units); a distributed paragraph is an
    // alignment of its own, not justified.
    lines = Scan("characters.docx");
    ASSERT_EQ(lines.Upper(), 2);
    EXPECT_EQ(lines(0)->actual, "Smile \xF0\x9F\x98\x80 done");
    EXPECT_EQ(lines(0)->charLen, 13);
    EXPECT_EQ(lines(0)->text, "{\\fArial|b0|i0|c0|p34;Smile \\U+D83D\\U+DE00 done}");
    EXPECT_FALSE(lines(1)->justify);
}

TEST_F(WordScan, TheDialogShowsItsProgressOnTheSharedBar) {
    Scan("three_lines.docx");
    auto& form = dynamic_cast<WordProgressForm&>(module->Dialog(DialogId::WordProgressForm));
    EXPECT_EQ(form.Caption, "  Processing Word Data ...");
    EXPECT_EQ(form.lbTitle.Caption(), "  Processing Word Data ...");
    // The bar window was sized to the line count and filled one line at a time.
    std::vector<std::pair<Long, Long>> sent;
    for (const auto& j : platform.ui.Journal()) {
        if (j.function == "SendMessage") sent.emplace_back(j.args[1], j.args[2]);
    }
    const auto has = [&](Long message, Long w) {
        return std::find(sent.begin(), sent.end(), std::pair{message, w}) != sent.end();
    };
    EXPECT_TRUE(has(PBM_SETRANGE32, 0));
    EXPECT_TRUE(has(PBM_SETPOS, 1));
    EXPECT_TRUE(has(PBM_SETPOS, 4));
}

TEST_F(WordScan, FormattedLines) {
    struct Case {
        const char* file;
        Long line;
        std::string text;
        bool simple;
    };
    const Case cases[] = {
        {"bold_word.docx", 0,
         "{\\fArial|b0|i0|c0|p34;A line with one \\fArial|b1|i0|c0|p34;bold\\fArial|b0|i0|c0|"
         "p34; word in it.}",
         false},
        // A line entirely superscript is uniform; the superscript is not expressed.
        {"scripts.docx", 0, "{\\fArial|b0|i0|c0|p34;entirely raised}", true},
        {"scripts.docx", 1, "\\A1;{\\fArial|b0|i0|c0|p34;E = mc\\H0.7x;\\S2^;\\H1.429x;}", false},
        {"scripts.docx", 2,
         "\\A1;{\\fArial|b0|i0|c0|p34;H \\H0.7x;\\S^2;\\H1.429x;\\fArial|b0|i0|c0|p34;O is water}",
         false},
        {"mixed_fonts.docx", 0,
         "{\\fArial|b0|i0|c0|p34;Arial text then \\fCourier New|b0|i0|c0|p49;Courier New code"
         "\\fArial|b0|i0|c0|p34; and \\fArial|b0|i0|c0|p34;\\H2x;big\\fArial|b0|i0|c0|p34;"
         "\\H0.5x;\\L underlined}",
         false},
        // Symbol characters: their segments take the font of the line before (here the
        // style's font) and their Unicode escapes.
        {"symbols.docx", 0,
         "{\\fArial|b0|i0|c0|p34;Angle 30\\fArial|b0|i0|c0|p34;\\U+00B0\\fArial|b0|i0|c0|p34; and "
         "\\fArial|b0|i0|c0|p34;\\U+03B1\\fArial|b0|i0|c0|p34; plus \\fArial|b0|i0|c0|p34;"
         "\\U+00B1\\fArial|b0|i0|c0|p34;5}",
         false},
        // Text typed in the Symbol font reads through the same table.
        {"symbols.docx", 1, "{\\fArial|b0|i0|c0|p34;Pi is \\fArial|b0|i0|c0|p34;\\U+03C0}", false},
        // List items: the prefix stands in for the number; a bullet leaves two spaces.
        {"lists.docx", 0, "{\\fArial|b0|i0|c0|p34;  First bulleted item}", true},
        {"lists.docx", 2, "{\\fArial|b0|i0|c0|p34;  goes on and on for a while}", true},
        {"lists.docx", 3, "{\\fArial|b0|i0|c0|p34;1.  Numbered one}", true},
    };
    for (const auto& c : cases) {
        const auto lines = Scan(c.file);
        ASSERT_GT(lines.Upper(), c.line) << c.file;
        EXPECT_EQ(lines(c.line)->text, c.text) << c.file << " line " << c.line;
        EXPECT_EQ(lines(c.line)->simple, c.simple) << c.file << " line " << c.line;
    }
    const auto bold = Scan("bold_word.docx");
    EXPECT_EQ(bold(0)->fontsize, 11);
    EXPECT_EQ(bold(0)->linefmt, "");  // mixed lines leave these unwritten
    EXPECT_EQ(bold(0)->actual, "");

    const auto lists = Scan("lists.docx");
    EXPECT_EQ(lists(0)->listType, 2);
    EXPECT_EQ(lists(0)->listString, "\xEF\x82\xB7");
    EXPECT_EQ(lists(0)->bulletType, -3913);  // U+F0B7 as a signed 16-bit number
    EXPECT_EQ(lists(3)->listType, 3);
    EXPECT_EQ(lists(3)->listString, "1.");
    EXPECT_EQ(lists(3)->bulletType, '1');
}

// A Word that wraps the engine and changes its selection: one whose selection never
// moves, or one that fails as soon as the scan starts.
class OddSelection : public word::Selection {
  public:
    OddSelection(std::shared_ptr<word::Selection> inner, bool stuck)
        : inner_(std::move(inner)), stuck_(stuck) {}
    void HomeKey(Long unit, Long extend) override {
        if (!stuck_) Raise(err::kAutomation, "The selection is not available.");
        inner_->HomeKey(unit, extend);
    }
    Long MoveRight(Long, Long, Long) override { return 0; }
    std::string Text() override { return inner_->Text(); }
    Long Start() override { return inner_->Start(); }
    Long End() override { return inner_->End(); }
    double Information(Long type) override { return inner_->Information(type); }
    std::shared_ptr<word::Range> Range() override { return inner_->Range(); }
    std::shared_ptr<word::Characters> Characters() override { return inner_->Characters(); }
    std::shared_ptr<word::Font> Font() override { return inner_->Font(); }
    std::shared_ptr<word::ParagraphFormat> ParagraphFormat() override {
        return inner_->ParagraphFormat();
    }
    std::shared_ptr<word::PageSetup> PageSetup() override { return inner_->PageSetup(); }

  private:
    std::shared_ptr<word::Selection> inner_;
    bool stuck_;
};

class OddWord : public word::Application {
  public:
    OddWord(std::shared_ptr<word::Application> inner, bool stuck)
        : inner_(std::move(inner)), stuck_(stuck) {}
    std::string Caption() override { return inner_->Caption(); }
    bool Visible() override { return inner_->Visible(); }
    void SetVisible(bool v) override { inner_->SetVisible(v); }
    bool ScreenUpdating() override { return inner_->ScreenUpdating(); }
    void SetScreenUpdating(bool u) override { inner_->SetScreenUpdating(u); }
    std::shared_ptr<word::Dialog> Dialogs(Long id) override { return inner_->Dialogs(id); }
    std::shared_ptr<word::WordBasic> WordBasic() override { return inner_->WordBasic(); }
    std::shared_ptr<word::Documents> Documents() override { return inner_->Documents(); }
    std::shared_ptr<word::Document> ActiveDocument() override { return inner_->ActiveDocument(); }
    std::shared_ptr<word::Selection> Selection() override {
        return std::make_shared<OddSelection>(inner_->Selection(), stuck_);
    }

  private:
    std::shared_ptr<word::Application> inner_;
    bool stuck_;
};

TEST_F(WordScan, ScanAlwaysEnds) {
    const auto useWord = [&](bool stuck) {
        auto word = std::make_shared<OddWord>(document::CreateEmbeddedWord(platform.ui), stuck);
        platform.objects.Register(
            "Word.Application",
            ObjectServer::Provider{[word]() -> std::shared_ptr<Object> { return word; },
                                   [word]() -> std::shared_ptr<Object> { return word; }});
    };
    // The selection never moves: the scan stops when the next line starts where the last
    // one did, with that line read once.
    useWord(true);
    auto lines = Scan("three_lines.docx");
    EXPECT_EQ(result, True);
    ASSERT_EQ(lines.Upper(), 1);
    EXPECT_EQ(lines(0)->actual.substr(0, 11), "Lorem ipsum");
    EXPECT_TRUE(module->captureDone);
    EXPECT_TRUE(platform.ui.Messages().empty());

    // An error before the first line is read is shown, and the dialog closes.
    useWord(false);
    lines = Scan("three_lines.docx");
    EXPECT_EQ(result, True);
    EXPECT_EQ(lines.Upper(), 0);
    EXPECT_EQ(lines(0), nullptr);
    EXPECT_FALSE(module->captureDone);
    ASSERT_EQ(platform.ui.Messages().size(), 1u);
    EXPECT_EQ(platform.ui.Messages()[0].prompt, "The selection is not available.");
    EXPECT_EQ(platform.ui.Messages()[0].title, "Error");
}

// Real documents from the shared corpus scan without error to their last line.
TEST_F(WordScan, CorpusDocuments) {
    const char* env = std::getenv("TBLN_CORPUS");
    const std::filesystem::path corpus = std::string(env ? env : TBLN_CORPUS) + "/docx";
    if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    for (const char* name : {"Numbering.docx", "form_footnotes.docx", "delins.docx",
                             "bib-chernigovka.netdo.ru_download_docs_17459.docx", "checkboxes.docx",
                             "VariousPictures.docx"}) {
        fileName0 = (corpus / name).string();
        ASSERT_EQ(app.UpdateWord(wordLines0, pageNum0, pageWid0, pageHei0, fileName0), True);
        EXPECT_TRUE(module->captureDone) << name;
        EXPECT_GT(wordLines0.Upper(), 0) << name;
        EXPECT_EQ(wordLines0(wordLines0.Upper()), nullptr) << name;
        for (Long i = 0; i < wordLines0.Upper(); ++i) ASSERT_NE(wordLines0(i), nullptr) << name;
        EXPECT_TRUE(platform.ui.Messages().empty()) << name;
    }
}

}  // namespace
}  // namespace tbln
