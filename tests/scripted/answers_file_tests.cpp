#include <gtest/gtest.h>

#include <string>

#include "adapters/scripted/answers_file.hpp"
#include "platform/ui.hpp"

namespace tbln {
namespace {

using scripted::AnswersError;
using scripted::AnswerStep;
using scripted::ParseAnswers;
using Kind = AnswerStep::Kind;

// A step as one line of text, so that a table row reads like the file.
std::string Show(const AnswerStep& s) {
    switch (s.kind) {
        case Kind::File:
            return "file[" + s.path.value_or("<cancel>") + "]";
        case Kind::Folder:
            return "folder[" + s.path.value_or("<cancel>") + "]";
        case Kind::Set:
            return "set " + s.control + "[" + s.text + "]";
        case Kind::Click:
            return "click " + s.control;
        case Kind::Pick:
            return "pick " + s.control + " " + std::to_string(s.index);
        case Kind::Cell:
            return "cell " + s.text;
        case Kind::Answer:
            return "answer " + std::to_string(s.index);
    }
    return "?";
}

TEST(AnswersFile, EachStepReadsAsWritten) {
    struct Case {
        std::string line, step;
    } cases[] = {
        {"file /books/door schedule.xlsx", "file[/books/door schedule.xlsx]"},
        {"file", "file[<cancel>]"},
        {"file   ", "file[<cancel>]"},
        {"FOLDER C:\\Out Dir\\", "folder[C:\\Out Dir\\]"},
        {"folder", "folder[<cancel>]"},
        {"set cbSheetName Title Block ", "set cbSheetName[Title Block ]"},
        {"set\ttopLeftCol  A", "set topLeftCol[ A]"},
        {"set tbPath", "set tbPath[]"},
        {"  click btnOK  ", "click btnOK"},
        {"pick lbTags 0", "pick lbTags 0"},
        {"pick lbTags 32767", "pick lbTags 32767"},
        {"cell b2", "cell b2"},
        {"cell XFD1048576", "cell XFD1048576"},
        {"answer OK", "answer " + std::to_string(ui::vbOK)},
        {"answer cancel", "answer " + std::to_string(ui::vbCancel)},
        {"answer Yes", "answer " + std::to_string(ui::vbYes)},
        {"answer no", "answer " + std::to_string(ui::vbNo)},
        {"click btnOK\r", "click btnOK"},
    };
    for (const auto& c : cases) {
        const auto steps = ParseAnswers(c.line, "a.txt");
        ASSERT_EQ(steps.size(), 1u) << c.line;
        EXPECT_EQ(Show(steps[0]), c.step) << c.line;
    }
}

TEST(AnswersFile, CommentsBlankLinesAndLineEndsAreSkippedAndLinesCounted) {
    const auto steps = ParseAnswers(
        "\xEF\xBB\xBF# a comment\r\n\r\n   \t\n  # indented\nclick btnOK\r\nset tbPath a # b\n",
        "a.txt");
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].origin, "a.txt: line 5");
    EXPECT_EQ(Show(steps[1]), "set tbPath[a # b]");
    EXPECT_TRUE(ParseAnswers("", "a.txt").empty());
}

TEST(AnswersFile, AMalformedLineNamesTheFileTheLineAndTheProblem) {
    struct Case {
        std::string line, error;
    } cases[] = {
        {"press btnOK", "\"press\" is not a step (file, folder, set, click, pick, cell or answer)"},
        {"set", "set needs a control name, then the text to type"},
        {"click", "click needs a control name"},
        {"click btnOK now", "click takes one control name; \"now\" is left over"},
        {"pick lbTags", "pick needs a control name, then a list index (0 for the first line)"},
        {"pick lbTags -1", "\"-1\" is not a list index from 0 to 32767"},
        {"pick lbTags 32768", "\"32768\" is not a list index from 0 to 32767"},
        {"pick lbTags 1x", "\"1x\" is not a list index from 0 to 32767"},
        {"pick lbTags 1 2", "pick takes a control name and a list index; \"2\" is left over"},
        {"cell", "cell needs a cell such as B2"},
        {"cell 2B", "\"2B\" is not a cell such as B2"},
        {"cell B0", "\"B0\" is not a cell such as B2"},
        {"cell ABCD1", "\"ABCD1\" is not a cell such as B2"},
        {"cell A1:B2", "\"A1:B2\" is not a cell such as B2"},
        {"cell B2 C3", "cell takes one cell; \"C3\" is left over"},
        {"answer", "answer takes ok, cancel, yes or no"},
        {"answer Maybe", "answer takes ok, cancel, yes or no, not \"Maybe\""},
        {"answer ok now", "answer takes one word; \"now\" is left over"},
    };
    for (const auto& c : cases) {
        try {
            ParseAnswers("# first\nclick btnBrowse\n" + c.line + "\nclick btnOK\n", "dir/a.txt");
            ADD_FAILURE() << c.line << " was accepted";
        } catch (const AnswersError& e) {
            EXPECT_EQ(e.what(), "dir/a.txt: line 3: " + c.error) << c.line;
            EXPECT_EQ(e.Line(), 3u);
        }
    }
    try {
        ParseAnswers(std::string(scripted::kMaxAnswersFileBytes + 1, '#'), "big.txt");
        ADD_FAILURE() << "a file beyond the limit was accepted";
    } catch (const AnswersError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "big.txt: larger than the 1048576 bytes an answers file may hold");
    }
}

TEST(AnswersFile, AMessageKeepsToOneLine) {
    EXPECT_EQ(scripted::MessageLine("Warning", "Overwrite C:\\a.xlsx?\r\n\tSure"),
              "Warning\tOverwrite C:\\\\a.xlsx?\\r\\n\\tSure");
}

}  // namespace
}  // namespace tbln
