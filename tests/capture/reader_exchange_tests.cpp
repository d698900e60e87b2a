#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>

#include "capture/reader_exchange.hpp"
#include "capture_support.hpp"
#include "common/paths.hpp"
#include "core/error.hpp"

namespace tbln {
namespace {

using testing::CaptureModule;

TEST(ReaderOutput, TablesHiddenMarksMarkersAndTheCutAtTheSeparator) {
    CaptureModule t;
    // 3 rows, 2 columns, row 2 and column 1 hidden; a further field of another letter
    // is ignored.
    const std::string text =
        "3|=!2|=!R2|=!C1|=!X9\n"
        "15|=!0|=!30.5\n"
        "0|=!48\n"
        "1|=!1|=!0|=!1|=!1|=!1|=!1|=!1|=!-4107|=!Arial|=!10|=!0|=!0|=!0|=!0|=!0|=!none|=!none|=!"
        "none|=!none|=!1|=!0|=!none|=!none|=!mervik_this_cell_is_empty\n"
        "1|=!2|=!1|=!1|=!2|=!2|=!2|=!-4108|=!-4160|=!Times New "
        "Roman|=!12.5|=!1|=!1|=!1|=!1|=!90|=!thin|=!medium|=!thick|=!dashed|=!0|=!1|=!FF0000|=!"
        "solid|=!12.50\n"
        "2|=!1|=!0|=!2|=!1|=!2|=!1|=!1|=!-4107|=!null|=!10|=!0|=!0|=!0|=!0|=!0|=!none|=!none|=!"
        "none|=!none|=!0|=!0|=!none|=!none|=!a|=!b\n"
        "2|=!2|=!0|=!2|=!2|=!2|=!2|=!1|=!-4107|=!Arial|=!10|=!2|=!0|=!0|=!0|=!0|=!none|=!none|=!"
        "none|=!none|=!0|=!0|=!none|=!none|=!mervik_this_cell_needs_vb\n"
        "3|=!1|=!0|=!3|=!1|=!3|=!1|=!1|=!-4107|=!Arial|=!10|=!0|=!0|=!0|=!0|=!0|=!none|=!none|=!"
        "none|=!none|=!0|=!0|=!none|=!none|=!crlf\r\n"
        "3|=!2|=!0|=!3|=!2|=!3|=!2|=!1|=!-4107|=!Arial|=!10|=!0|=!0|=!0|=!0|=!0|=!none|=!none|=!"
        "none|=!none|=!0|=!0|=!none|=!none|=!";
    ParseReaderOutput(t.m, text, "output.txt");
    auto& m = t.m;
    EXPECT_EQ(m.rowHidden.Upper(), 3);
    EXPECT_EQ(m.colHidden.Upper(), 2);
    EXPECT_FALSE(m.rowHidden(1));
    EXPECT_TRUE(m.rowHidden(2));
    EXPECT_TRUE(m.colHidden(1));
    EXPECT_FALSE(m.colHidden(2));
    EXPECT_EQ(m.rowHeights(3), 30.5f);
    EXPECT_EQ(m.colWidths(2), 48.0f);

    EXPECT_EQ(m.jCells(1, 1)->text, "");
    const JCell& b1 = *m.jCells(1, 2);
    EXPECT_TRUE(b1.MergeCells);
    EXPECT_EQ(b1.endRow, 2);
    EXPECT_EQ(b1.HorizontalAlignment, -4108);
    EXPECT_EQ(b1.VerticalAlignment, -4160);
    EXPECT_EQ(b1.FontName, "Times New Roman");
    EXPECT_EQ(b1.fontsize, 12) << "12.5 rounds to the even 12";
    EXPECT_TRUE(b1.fontUnderline && b1.fontItalic && b1.fontBold && b1.WrapText);
    EXPECT_EQ(b1.Orientation, 90);
    EXPECT_EQ(b1.bdUp, "thin");
    EXPECT_EQ(b1.bdBottom, "medium");
    EXPECT_EQ(b1.bdLeft, "thick");
    EXPECT_EQ(b1.bdRight, "dashed");
    EXPECT_FALSE(b1.IsEmpty);
    EXPECT_TRUE(b1.IsNumeric);
    EXPECT_EQ(b1.bgColor, "FF0000");
    EXPECT_EQ(b1.pattern, "solid");
    EXPECT_EQ(b1.text, "12.50");
    EXPECT_EQ(b1.height, 15.0f);
    EXPECT_EQ(b1.width, 48.0f);
    EXPECT_EQ(m.jCells(2, 1)->text, "a") << "cut at the first separator";
    EXPECT_EQ(m.jCells(2, 1)->height, 0.0f);
    EXPECT_FALSE(m.jCells(2, 2)->fontUnderline) << "only 1 is True";
    EXPECT_EQ(m.jCells(2, 2)->text, kCellNeedsVb);
    EXPECT_EQ(m.jCells(3, 1)->text, "crlf\r") << "a carriage return stays in the last field";
    EXPECT_EQ(m.jCells(3, 2)->text, "");
}

// The two ways a grid is parsed: from a text held whole, and from output.txt read in
// pieces (through a window smaller than a large file).
void Parse(CaptureModule& t, const std::string& text, bool throughFile) {
    if (!throughFile) {
        ParseReaderOutput(t.m, text, "output.txt");
        return;
    }
    auto& sys = t.p.sys;
    sys.MakeDirs(paths::ReaderFolder(sys));
    sys.WriteFile(paths::ReaderFile(sys, "output.txt"), text);
    ReadReaderOutput(t.m);
}

TEST(ReaderOutput, EveryCutAndBadFieldIsReportedWithItsLine) {
    for (const bool throughFile : {false, true}) {
        SCOPED_TRACE(throughFile ? "read from output.txt" : "parsed from a text");
        testing::GridText grid(2, 2);
        const std::string good = grid.Str();
        {
            CaptureModule t;
            Parse(t, good, throughFile);
            EXPECT_EQ(t.m.jCells.RowUpper(), 2);
        }
        // Cut the text at every line end: the line after the cut is reported missing.
        std::vector<std::size_t> ends;
        for (std::size_t i = 0; i + 1 < good.size(); ++i) {
            if (good[i] == '\n') ends.push_back(i);
        }
        for (std::size_t k = 0; k < ends.size(); ++k) {
            CaptureModule t;
            // A cut after the sizes that leaves too few bytes for the grid's cell lines is
            // found on line 1, before the cell lines are read; any other names the line
            // after the cut.
            const bool holds = k < 2 || ends[k] - ends[0] >= 4 * 73;
            const std::string where = holds ? "output.txt line " + std::to_string(k + 2)
                                            : "output.txt line 1: the grid of 2 rows and 2 "
                                              "columns needs at least 292 bytes";
            try {
                Parse(t, good.substr(0, ends[k]), throughFile);
                ADD_FAILURE() << "cut after line " << k + 1;
            } catch (const RuntimeError& e) {
                EXPECT_EQ(e.Number(), err::kSubscript);
                EXPECT_NE(e.Description().find(where), std::string::npos) << e.Description();
            }
            EXPECT_FALSE(t.m.jCells.IsAllocated()) << "nothing replaced by a failed parse";
        }
        // Cell A1 of a 2 x 2 grid in a merged area that does not hold it or leaves the grid.
        const auto merged = [](int r1, int c1, int r2, int c2) {
            testing::GridText g(2, 2);
            g.Set(1, 1, 3, "1").Set(1, 1, 4, std::to_string(r1)).Set(1, 1, 5, std::to_string(c1));
            return g.Set(1, 1, 6, std::to_string(r2)).Set(1, 1, 7, std::to_string(c2)).Str();
        };
        struct Case {
            std::string text;
            int number;
            std::string where;
        } cases[] = {
            {merged(1, 1, 3, 2), err::kSubscript, "line 4: the merged area of rows 1 to 3"},
            {merged(0, 1, 2, 2), err::kSubscript, "line 4: the merged area of rows 0 to 2"},
            {merged(1, 1, 2, 3), err::kSubscript, "line 4: the merged area of rows 1 to 2"},
            {merged(2, 1, 2, 2), err::kSubscript, "line 4: the merged area of rows 2 to 2"},
            {"x|=!2\n", err::kTypeMismatch, "line 1: field 1 \"x\""},
            {"2\n", err::kSubscript, "line 1: field 2 is missing"},
            {"0|=!2\n\n\n", err::kSubscript, "line 1"},
            {"40000|=!2\n", err::kOverflow, "line 1: field 1"},
            {"1|=!1|=!R5\n15\n48\n", err::kSubscript, "line 1: field 3 \"R5\""},
            {"1|=!1\n15\nwide\n", err::kTypeMismatch, "line 3: field 1 \"wide\""},
            // A width beyond the grid's is ignored; here it makes the file long enough for
            // its one cell line.
            {"1|=!1\n15\n48|=!" + std::string(80, 'x') + "\n1|=!1|=!0\n", err::kSubscript,
             "line 4: field 4 is missing"},
            {testing::GridText(1, 1).Set(1, 1, 11, "ten").Str(), err::kTypeMismatch,
             "line 4: field 11 \"ten\""},
        };
        for (const auto& c : cases) {
            CaptureModule t;
            try {
                Parse(t, c.text, throughFile);
                ADD_FAILURE() << c.text;
            } catch (const RuntimeError& e) {
                EXPECT_EQ(e.Number(), c.number) << c.text;
                EXPECT_NE(e.Description().find(c.where), std::string::npos) << e.Description();
            }
        }
    }
}

TEST(ReaderOutput, LinesLongerThanTheReadWindowArriveWhole) {
    // Texts of over a mebibyte, one of them on the last line without a line feed.
    const std::string wide(1500000, 'w'), wider(2500000, 'x');
    testing::GridText grid(2, 2);
    grid.Text(1, 1, wide).Text(1, 2, "short").Text(2, 2, wider);
    std::string text = grid.Str();
    text.pop_back();
    CaptureModule t;
    Parse(t, text, true);
    EXPECT_EQ(t.m.jCells(1, 1)->text, wide);
    EXPECT_EQ(t.m.jCells(1, 2)->text, "short");
    EXPECT_EQ(t.m.jCells(2, 1)->text, "");
    EXPECT_EQ(t.m.jCells(2, 2)->text, wider);
    EXPECT_EQ(t.m.jCells(2, 2)->bdUp, "none");
}

TEST(ReaderOutput, TheLargestGridsParseAndOneBeyondIsRefused) {
    // 32,767 is the last 16-bit cell number: its row and its column are parsed whole.
    struct Case {
        int rows, cols;
        bool fits;
    } cases[] = {{32766, 1, true}, {32767, 1, true}, {32768, 1, false},
                 {1, 32766, true}, {1, 32767, true}, {1, 32768, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rows) + " x " + std::to_string(c.cols));
        CaptureModule t;
        const std::string text = testing::GridText(c.rows, c.cols).Str();
        if (!c.fits) {
            try {
                ParseReaderOutput(t.m, text, "output.txt");
                ADD_FAILURE() << "a grid beyond 16-bit cell numbers was parsed";
            } catch (const RuntimeError& e) {
                EXPECT_EQ(e.Number(), err::kOverflow);
                EXPECT_NE(e.Description().find("output.txt line 1: field"), std::string::npos)
                    << e.Description();
            }
            continue;
        }
        ParseReaderOutput(t.m, text, "output.txt");
        EXPECT_EQ(t.m.jCells.RowUpper(), c.rows);
        EXPECT_EQ(t.m.jCells.ColUpper(), c.cols);
        const JCell& last = *t.m.jCells(c.rows, c.cols);
        EXPECT_EQ(last.row, c.rows);
        EXPECT_EQ(last.column, c.cols);
        EXPECT_EQ(t.m.rowHeights.Upper(), c.rows);
        EXPECT_EQ(t.m.colWidths.Upper(), c.cols);
    }
}

TEST(ReaderOutput, AGridOrALineTheFileCannotHoldIsRefusedBeforeItIsAllocated) {
    CaptureModule t;
    // 32,766 x 32,766 claimed by a file of three short lines: refused before any record
    // of the grid is allocated.
    try {
        std::string sizes = "15";
        for (int i = 2; i <= 32766; ++i) sizes += "|=!15";
        ParseReaderOutput(t.m, "32766|=!32766\n" + sizes + "\n" + sizes + "\n", "output.txt");
        ADD_FAILURE() << "the claimed grid was believed";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(
            e.Description().rfind(
                "output.txt line 1: the grid of 32766 rows and 32766 columns needs at least", 0),
            0u)
            << e.Description();
    }
    // An output.txt of 65 MiB without a line feed (a sparse file: no disk is used): the
    // read window stops growing at its limit.
    auto& sys = t.p.sys;
    sys.MakeDirs(paths::ReaderFolder(sys));
    const std::string endless = paths::ReaderFile(sys, "output.txt");
    sys.WriteFile(endless, "");
    std::filesystem::resize_file(endless, 65u << 20);
    try {
        ReadReaderOutput(t.m);
        ADD_FAILURE() << "a file without a line feed was read";
    } catch (const RuntimeError& e) {
        EXPECT_NE(e.Description().find("output.txt line 1 has no line feed within its first "
                                       "64 MiB"),
                  std::string::npos)
            << e.Description();
    }
    EXPECT_FALSE(t.m.jCells.IsAllocated());
}

TEST(ReaderOutput, TextThatIsNotUtf8ReadsAsReplacementCharacters) {
    CaptureModule t;
    // A stray byte in the font name, and a cut sequence before the separator: the fields
    // keep their places and every bad byte becomes one U+FFFD.
    testing::GridText grid(1, 2);
    grid.Set(1, 1, 10,
             "Ari\xFF"
             "al")
        .Text(1, 1, "caf\xC3")
        .Text(1, 2, "\xE2\x82 ok \xC3\xA9");
    ParseReaderOutput(t.m, grid.Str(), "output.txt");
    EXPECT_EQ(t.m.jCells(1, 1)->FontName, "Ari\uFFFDal");
    EXPECT_EQ(t.m.jCells(1, 1)->text, "caf\uFFFD");
    EXPECT_EQ(t.m.jCells(1, 1)->bgColor, "none");
    EXPECT_EQ(t.m.jCells(1, 2)->text, "\uFFFD\uFFFD ok \u00E9");
}

TEST(ReaderOutput, ReadAcknowledgesWithFlagAndAMissingFileIsNamed) {
    CaptureModule t;
    auto& sys = t.p.sys;
    sys.MakeDirs(paths::ReaderFolder(sys));
    EXPECT_THROW(
        {
            try {
                ReadReaderOutput(t.m);
            } catch (const RuntimeError& e) {
                EXPECT_EQ(e.Number(), err::kFileNotFound);
                EXPECT_NE(e.Description().find("output.txt"), std::string::npos);
                throw;
            }
        },
        RuntimeError);
    sys.WriteFile(paths::ReaderFile(sys, "flag.txt"), "old");
    sys.WriteFile(paths::ReaderFile(sys, "output.txt"), testing::GridText(1, 1).Str());
    ReadReaderOutput(t.m);
    EXPECT_EQ(sys.ReadFile(paths::ReaderFile(sys, "flag.txt")), "Done\r\n");
    EXPECT_TRUE(sys.FileExists(paths::ReaderFile(sys, "output.txt"))) << "capture deletes it";
}

TEST(RunReader, WritesRunBatAndClearsTheLastExchange) {
    CaptureModule t;
    auto& sys = t.p.sys;
    sys.MakeDirs(paths::ReaderFolder(sys));
    sys.MakeDirs(paths::PicturesFolder(sys));
    sys.WriteFile(paths::Join(paths::PicturesFolder(sys), "old.png"), "x");
    sys.WriteFile(paths::ReaderFile(sys, "image.txt"), "1\n1*old\n");
    sys.WriteFile(paths::ReaderFile(sys, "error.txt"), "old");
    t.m.fileName = "/home/me/My Files/A&B.xls";
    t.m.sheetName = "Sheet & Co";
    const std::string before = sys.CurrentDir();
    RunReader(t.m);  // no reader installed: the start fails and is ignored
    EXPECT_EQ(sys.ReadFile(paths::ReaderFile(sys, "run.bat")),
              "javaw -jar lumo.zip /home/me/My*mervik*Files/A*kivrem*B.xls "
              "Sheet*mervik**kivrem**mervik*Co mervik\r\n");
    EXPECT_TRUE(sys.ListDir(paths::PicturesFolder(sys)).empty());
    EXPECT_FALSE(sys.FileExists(paths::ReaderFile(sys, "image.txt")));
    EXPECT_FALSE(sys.FileExists(paths::ReaderFile(sys, "error.txt")));
    EXPECT_EQ(sys.CurrentDir(), before);
    EXPECT_EQ(DecodeReaderArgument(EncodeReaderArgument(t.m.fileName)), t.m.fileName);
    EXPECT_EQ(EncodeReaderArgument("C:\\My Files\\A&B.xls"), "C:\\My*mervik*Files\\A*kivrem*B.xls");
}

// A stand-in reader placed where run.bat finds it: a shell script acting as the reader.
void InstallScriptReader(sys::System& sys, const std::string& body) {
    sys.MakeDirs(paths::ReaderFolder(sys));
    const std::string path = paths::ReaderFile(sys, paths::kReaderProgram);
    sys.WriteFile(path, "#!/bin/sh\n" + body + "\n");
    sys.SetExecutable(path);
}

constexpr const char* kNameCheck = "Excel File and Sheet Name Checking";

// The wait ends when the reader answers, dies, refuses or hangs, and before it runs when
// the names would read back as others or there is no reader folder.
TEST(RunReaderAndWait, TheWaitEndsOnFlagOnDeathOnErrorAndOnCancel) {
    const std::string grid = testing::GridText(1, 1).Str();
    const std::string answers = "printf '" + grid + "' > output.txt; echo x > flag.txt";
    const struct {
        const char* name;
        std::string script;  // the reader; "" for no reader folder
        bool ready;
        std::string message;  // a part of the message shown, or "" for none
        std::string file = "/w/a b.xlsx", sheet = "Sheet1", title = "Error";
    } cases[] = {
        {"answers", answers, true, ""},
        {"dies", "exit 3", false, "The workbook reader ended without reading /w/a b.xlsx"},
        {"refuses",
         "echo 'Cannot read /w/a b.xlsx: no sheet Sheet1' > error.txt; echo x > flag.txt", false,
         "Cannot read /w/a b.xlsx: no sheet Sheet1"},
        {"rambles",
         "{ head -c 300000 /dev/zero | tr '\\0' x; echo; yes; } | head -c 3000000 > error.txt; "
         "echo x > flag.txt",
         false, std::string(4096, 'x')},
        {"malformed", "echo '1|=!1' > output.txt; echo x > flag.txt", false, "output.txt line 2"},
        {"hangs", "echo $$ > pid.txt; exec sleep 30", false, ""},
        {"no reader folder", "", false, "The workbook reader cannot be started: "},
        {"marker in the path", answers, false,
         "The Excel file path/name contains \"*mervik*\", which the workbook reader cannot "
         "read back     ",
         "/w/x*mervik*y.xlsx", "Sheet1", kNameCheck},
        {"marker in the sheet", answers, false,
         "The Excel sheet name contains \"*kivrem*\", which the workbook reader cannot read "
         "back     ",
         "/w/a.xlsx", "Q*kivrem*A", kNameCheck},
        {"cut marker", answers, false, "contains \"*\"", "/w/a*kivrem&.xlsx", "Sheet1", kNameCheck},
        {"names that read back as they are", answers, true, "", "/w/x y&z*mervi.xlsx", "*mervik&"},
    };
    for (const auto& c : cases) {
        CaptureModule t;
        if (!c.script.empty()) InstallScriptReader(t.p.sys, c.script);
        t.m.fileName = c.file;
        t.m.sheetName = c.sheet;
        auto& form = t.Form();
        if (std::string(c.name) == "hangs") {
            t.p.ui.Push(scripted::Action::Wait(600));
            // Cancel comes some 200 looks (of 2 ms each) into the wait: the reader has started.
            t.p.ui.Push(scripted::Action::Click("btnCancel", 200));
        }
        form.onCancel = [&] { t.m.dialogCancelled = true; };
        bool ready = false;
        form.onTick = [&] { ready = RunReaderAndWait(t.m, form.Progress()); };
        t.p.ui.ShowModal(form);
        EXPECT_EQ(ready, c.ready) << c.name;
        if (std::string(c.name) == "hangs") {
            // Cancel ends the reader: it cannot write its flag into a later import's wait.
            const auto pid = std::stoi(t.p.sys.ReadFile(paths::ReaderFile(t.p.sys, "pid.txt")));
            EXPECT_NE(kill(pid, 0), 0) << "the reader still runs";
        }
        if (c.message.empty()) {
            EXPECT_TRUE(t.p.ui.Messages().empty()) << c.name;
        } else {
            ASSERT_EQ(t.p.ui.Messages().size(), 1u) << c.name;
            EXPECT_NE(t.p.ui.Messages()[0].prompt.find(c.message), std::string::npos)
                << t.p.ui.Messages()[0].prompt.substr(0, 200);
            // What the reader says is shown as one bounded line.
            EXPECT_LE(t.p.ui.Messages()[0].prompt.size(), 4096u) << c.name;
            EXPECT_EQ(t.p.ui.Messages()[0].title, c.title) << c.name;
        }
        if (c.title == kNameCheck) {
            EXPECT_FALSE(t.p.sys.FileExists(paths::ReaderFile(t.p.sys, "run.bat"))) << "ran";
        }
    }
}

TEST(RunReaderAndWait, AnImportWaitsWhileAnotherHoldsTheReaderAndHoldsItUntilTheEnd) {
    const std::string grid = testing::GridText(1, 1).Str();
    CaptureModule t;
    InstallScriptReader(t.p.sys, "printf '" + grid + "' > output.txt; echo x > flag.txt");
    t.m.fileName = "/w/a.xlsx";
    t.m.sheetName = "Sheet1";
    // Another import holds the reader folder; it ends some 30 looks into this one's wait.
    auto other = t.p.sys.TryLockFolder(paths::ReaderFolder(t.p.sys));
    ASSERT_TRUE(other);
    auto& form = t.Form();
    std::string shown;
    t.p.ui.Push(scripted::Action::Wait(600));
    t.p.ui.Push(scripted::Action::Call(
        [&] {
            shown = form.lbProgress.Caption();
            other.reset();
        },
        30));
    bool ready = false;
    form.onTick = [&] { ready = RunReaderAndWait(t.m, form.Progress()); };
    t.p.ui.ShowModal(form);
    EXPECT_TRUE(ready);
    EXPECT_EQ(shown, kWaitingForReader);
    EXPECT_TRUE(t.p.ui.Messages().empty());
    // Until the capture has ended, a third import finds the folder taken.
    EXPECT_FALSE(t.p.sys.TryLockFolder(paths::ReaderFolder(t.p.sys)));
    EndReaderExchange(t.m);
    EXPECT_TRUE(t.p.sys.TryLockFolder(paths::ReaderFolder(t.p.sys)));
}

TEST(RunReaderAndWait, ANonInteractiveWaitEndsAtItsLimitAndEndsTheReader) {
    // A reader that hangs, and another import that never lets go: with a limit, both
    // waits end as a Cancel would, and say why.
    for (const bool held : {false, true}) {
        CaptureModule t;
        InstallScriptReader(t.p.sys, "echo $$ > pid.txt; exec sleep 30");
        t.m.fileName = "/w/a.xlsx";
        // Past the 400 ms RunReader pauses, so the reader has started.
        t.m.readerWaitLimitMs = 1500;
        auto other = held ? t.p.sys.TryLockFolder(paths::ReaderFolder(t.p.sys)) : nullptr;
        auto& form = t.Form();
        bool ready = true;
        form.onTick = [&] { ready = RunReaderAndWait(t.m, form.Progress()); };
        t.p.ui.ShowModal(form);
        EXPECT_FALSE(ready);
        EXPECT_TRUE(t.m.dialogCancelled);
        ASSERT_EQ(t.p.ui.Messages().size(), 1u);
        EXPECT_EQ(t.p.ui.Messages()[0].prompt,
                  std::string(held ? "Another import kept the workbook reader busy"
                                   : "The workbook reader did not answer") +
                      " within 1.5 seconds; the import of /w/a.xlsx is cancelled     ");
        if (!held) {
            const auto pid = std::stoi(t.p.sys.ReadFile(paths::ReaderFile(t.p.sys, "pid.txt")));
            EXPECT_NE(kill(pid, 0), 0) << "the reader still runs";
        }
    }
}

}  // namespace
}  // namespace tbln
