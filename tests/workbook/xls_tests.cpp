// Legacy .xls workbooks: LibreOffice writes each fixture as .xls and converts that .xls
// to .xlsx; the engine must see the same workbook in both. Texts, numbers, formats,
// merges and sizes are also checked against what XlsxWriter was told to write, and
// the records' own corner cases (texts running on in CONTINUE records, damaged and
// cut files, encrypted and older workbooks) against hand-made and real files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "adapters/scripted/scripted_ui.hpp"
#include "adapters/workbook/embedded_excel.hpp"
#include "adapters/workbook/numfmt/display_text.hpp"
#include "adapters/workbook/sheet_geometry.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "adapters/workbook/xls/biff_records.hpp"
#include "core/error.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

namespace fs = std::filesystem;
using testing::Fixture;
using testing::TempDir;
using namespace workbook;

fs::path Corpus() {
    const char* env = std::getenv("TBLN_CORPUS");
    return fs::path(env && *env ? env : TBLN_CORPUS);
}

// The error raised for a file, or "opened".
std::string OpenError(const std::string& path) {
    try {
        LoadWorkbook(path);
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), err::kApplicationDefined) << path;
        EXPECT_NE(e.Description().find(path), std::string::npos) << e.Description();
        return e.Description();
    }
    return "opened";
}

std::string Edges(const WorkbookModel& book, const Cell& cell) {
    const auto& b = book.borders.at(book.Format(cell.style).border);
    return b.left.style + "," + b.right.style + "," + b.top.style + "," + b.bottom.style;
}

// Both files of each pair give the same sheets, cells, formats, merges and sizes.
TEST(LegacyWorkbook, ReadsAsItsXlsxConversion) {
    for (const char* name : {"biff8", "biff8_1904"}) {
        SCOPED_TRACE(name);
        const auto xls = LoadWorkbook(Fixture(std::string(name) + ".xls"));
        const auto xlsx = LoadWorkbook(Fixture(std::string(name) + ".xlsx"));
        EXPECT_TRUE(xls->legacyBinary);
        EXPECT_EQ(xls->date1904, xlsx->date1904);
        EXPECT_EQ(xls->activeTab, xlsx->activeTab);
        ASSERT_EQ(xls->sheets.size(), xlsx->sheets.size());
        for (std::size_t s = 0; s < xls->sheets.size(); ++s) {
            const auto& a = xls->sheets[s];
            const auto& b = xlsx->sheets[s];
            SCOPED_TRACE(a.name);
            EXPECT_EQ(a.name, b.name);
            EXPECT_EQ(a.state, b.state);
            ASSERT_EQ(a.merges.size(), b.merges.size());
            for (std::size_t m = 0; m < a.merges.size(); ++m) {
                EXPECT_EQ(a.merges[m].top, b.merges[m].top);
                EXPECT_EQ(a.merges[m].left, b.merges[m].left);
                EXPECT_EQ(a.merges[m].bottom, b.merges[m].bottom);
                EXPECT_EQ(a.merges[m].right, b.merges[m].right);
            }
            for (Long r = 1; r <= 1200; ++r) {
                EXPECT_EQ(RowHeightPoints(*xls, a, r), RowHeightPoints(*xlsx, b, r)) << r;
            }
            for (Long c = 1; c <= 20; ++c) {
                EXPECT_NEAR(ColumnWidthPoints(*xls, a, c), ColumnWidthPoints(*xlsx, b, c), 0.75)
                    << c;
                EXPECT_EQ(ColumnHidden(a, c), ColumnHidden(b, c)) << c;
            }
            for (const auto& e : b.cells) {
                const Long row = static_cast<Long>(e.key >> 32);
                const Long col = static_cast<Long>(e.key & 0xFFFFFFFF);
                const Cell* mine = a.Find(row, col);
                ASSERT_NE(mine, nullptr) << row << "," << col;
                const Cell& theirs = e.cell;
                // The converter recalculates formulas on loading, while the .xls keeps
                // what was cached: the formula cells of row 3 are compared with what
                // the first writer was told instead (below).
                if (a.name == "Cells" && row == 3 && col <= 3) continue;
                EXPECT_EQ(DisplayText(*xls, *mine), DisplayText(*xlsx, theirs))
                    << row << "," << col;
                const auto& fa = xls->Format(mine->style);
                const auto& fb = xlsx->Format(theirs.style);
                const auto& fontA = xls->FontOf(mine->style);
                const auto& fontB = xlsx->FontOf(theirs.style);
                EXPECT_EQ(fontA.name, fontB.name);
                EXPECT_EQ(fontA.size, fontB.size);
                EXPECT_EQ(fontA.bold, fontB.bold);
                EXPECT_EQ(fontA.italic, fontB.italic);
                EXPECT_EQ(fontA.strike, fontB.strike);
                EXPECT_EQ(fontA.underline, fontB.underline);
                EXPECT_EQ(fontA.color.automatic ? 0u : fontA.color.rgb,
                          fontB.color.automatic ? 0u : fontB.color.rgb);
                EXPECT_EQ(fa.horizontal, fb.horizontal) << row << "," << col;
                EXPECT_EQ(fa.vertical, fb.vertical) << row << "," << col;
                EXPECT_EQ(fa.wrapText, fb.wrapText);
                EXPECT_EQ(fa.textRotation, fb.textRotation) << row << "," << col;
                EXPECT_EQ(Edges(*xls, *mine), Edges(*xlsx, theirs)) << row << "," << col;
                const auto& fillA = xls->fills.at(fa.fill);
                const auto& fillB = xlsx->fills.at(fb.fill);
                EXPECT_EQ(fillA.pattern, fillB.pattern) << row << "," << col;
                if (fillB.pattern == "solid") {
                    EXPECT_EQ(fillA.foreground.rgb, fillB.foreground.rgb);
                }
            }
        }
    }
}

// What XlsxWriter was told to write, through LibreOffice's .xls.
TEST(LegacyWorkbook, CellsAndFormatsAsWritten) {
    const auto book = LoadWorkbook(Fixture("biff8.xls"));
    ASSERT_EQ(book->sheets.size(), 3u);
    EXPECT_EQ(book->sheets[1].state, "hidden");
    EXPECT_EQ(book->sheets[book->activeTab].name, "Styled");
    const SheetModel& cells = book->sheets[0];
    const auto text = [&](const SheetModel& sheet, Long r, Long c) {
        const Cell* cell = sheet.Find(r, c);
        return cell ? DisplayText(*book, *cell) : std::string("<none>");
    };
    struct Case {
        Long row, col;
        std::string shown;
    } cases[] = {
        {1, 1, "Text"},
        {1, 2, "42"},
        {1, 3, "12.34"},
        {1, 4, "0.333333333"},
        {1, 5, "-1.2346E+11"},  // General in a column of the standard width
        {2, 1, "\u00e9t\u00e9 \u4e2d\u6587 \U0001F600"},  // a surrogate pair in the strings
        {2, 2, "TRUE"},
        {2, 3, "FALSE"},
        {2, 4, "#DIV/0!"},
        {3, 2, "84"},
        {3, 3, "TRUE"},
        {3, 4, "2024-02-29"},
        {3, 5, "-1,234.50"},
        {1199, 1, "row text 1198 \u00e4"},  // the last of many strings after CONTINUE records
    };
    for (const auto& c : cases)
        EXPECT_EQ(text(cells, c.row, c.col), c.shown) << c.row << "," << c.col;
    std::string longText;
    for (int i = 0; i < 3000; ++i) longText += "long ";
    EXPECT_EQ(book->Text(*cells.Find(5, 1)), longText);
    std::string wide;
    for (int i = 0; i < 5000; ++i) wide += "\u00fc";
    EXPECT_EQ(book->Text(*cells.Find(5, 2)), wide + "end");  // 16-bit text cut between records
    EXPECT_EQ(cells.Find(3, 4)->number, 45351);

    EXPECT_TRUE(ColumnHidden(cells, 6));
    EXPECT_TRUE(RowHidden(cells, 5));
    EXPECT_EQ(RowHeightPoints(*book, cells, 4), 33);

    const SheetModel& styled = book->sheets[2];
    const auto format = [&](Long r, Long c) { return book->Format(styled.Find(r, c)->style); };
    const auto font = [&](Long r, Long c) { return book->FontOf(styled.Find(r, c)->style); };
    EXPECT_TRUE(font(1, 1).bold);
    EXPECT_TRUE(font(1, 2).italic);
    EXPECT_EQ(font(1, 2).color.rgb, 0xFF0000u);
    EXPECT_EQ(font(1, 3).name, "Courier New");
    EXPECT_EQ(font(1, 3).size, 14);
    EXPECT_EQ(font(1, 3).underline, "single");
    EXPECT_TRUE(font(1, 4).strike);
    EXPECT_EQ(book->fills.at(format(2, 1).fill).pattern, "solid");
    EXPECT_EQ(book->fills.at(format(2, 1).fill).foreground.rgb, 0xFFFF00u);
    EXPECT_EQ(Edges(*book, *styled.Find(2, 4)), "thick,thick,thick,thick");
    EXPECT_EQ(book->borders.at(format(2, 4).border).top.color.rgb, 0xFF0000u);
    EXPECT_EQ(Edges(*book, *styled.Find(3, 1)), "medium,dotted,dashed,double");
    EXPECT_EQ(format(3, 2).horizontal, "center");
    EXPECT_EQ(format(3, 2).vertical, "center");
    EXPECT_EQ(format(3, 3).vertical, "top");
    EXPECT_TRUE(format(3, 4).wrapText);
    EXPECT_EQ(format(4, 1).textRotation, 45);
    EXPECT_EQ(format(4, 2).textRotation, 120);
    EXPECT_EQ(format(4, 3).textRotation, 255);
    EXPECT_EQ(format(4, 4).indent, 2);
    ASSERT_EQ(styled.merges.size(), 2u);
    EXPECT_EQ(styled.FindMerge(7, 3)->top, 6);
    EXPECT_EQ(styled.FindMerge(9, 5)->top, 6);
    EXPECT_EQ(RowHeightPoints(*book, styled, 6), 30);

    const auto book1904 = LoadWorkbook(Fixture("biff8_1904.xls"));
    EXPECT_TRUE(book1904->date1904);
    const Cell* date = book1904->sheets[0].Find(3, 4);
    EXPECT_EQ(date->number, 45351 - 1462);
    EXPECT_EQ(DisplayText(*book1904, *date), "2024-02-29");
}

// A text whose characters run on into CONTINUE records, switching between 8- and
// 16-bit characters at each boundary, followed by rich-text runs and phonetic data.
TEST(LegacyWorkbook, SharedStringsRunOnAcrossRecords) {
    using biff::ContinuedBytes;
    const std::string first = std::string("\x05\x00\x0C\x01\x00\x04\x00\x00\x00", 9) + "ab";
    const std::string second = std::string("\x01", 1) + std::string("\xE9\x00\x3D\xD8", 4);
    const std::string third = std::string("\x01\x00\xDE", 3) + "RUNxPH!!" + "xx";
    ContinuedBytes data({first, second, third}, biff::kSst);
    // "ab", then U+00E9 and a surrogate pair cut between the second and third records.
    EXPECT_EQ(data.UnicodeString(2), "ab\u00e9\U0001F600");
    EXPECT_EQ(data.U16(), 0x7878);
    EXPECT_TRUE(data.AtEnd());

    const std::string shorter = std::string("\x09\x00\x00", 3) + "abc";
    ContinuedBytes cut({shorter}, biff::kSst);
    EXPECT_THROW(cut.UnicodeString(2), biff::CutShort);
}

// Every real .xls of the corpus opens or is refused with its reason; cut copies of a
// workbook fail cleanly wherever they are cut.
TEST(LegacyWorkbook, CorpusFilesOpenOrSayWhy) {
    const auto corpus = Corpus();
    if (!fs::exists(corpus / "xls")) GTEST_SKIP() << "no corpus at " << corpus;
    struct Case {
        const char* file;
        const char* problem;  // nullptr: the file opens
    } cases[] = {
        {"xls/51832.xls", "encrypted with a password"},
        {"xls/testEXCEL_4.xls", "Excel 4.0 (BIFF4) worksheet, which is not read"},
        {"xls/61300.xls", "is cut short"},
        {"xls/testEXCEL_95.xls", nullptr},
        {"xls/SampleSS.xls", nullptr},
        {"xls/47251.xls", nullptr},
        {"malformed/clusterfuzz-testcase-minimized-POIHSSFFuzzer-4651309315719168.xls",
         "compound file of the legacy workbook is damaged"},
        {"malformed/clusterfuzz-testcase-minimized-POIHSSFFuzzer-6137883240824832.xls",
         "compound file of the legacy workbook is damaged"},
        {"malformed/clusterfuzz-testcase-minimized-POIHSSFFuzzer-5175219985448960.xls",
         "workbook stream is damaged"},
    };
    for (const auto& c : cases) {
        const std::string path = (corpus / c.file).string();
        if (!fs::exists(path)) continue;
        const auto result = OpenError(path);
        if (c.problem) {
            EXPECT_NE(result.find(c.problem), std::string::npos) << c.file << ": " << result;
        } else {
            EXPECT_EQ(result, "opened") << c.file;
        }
    }
    // Frozen panes whose active pane has no selection of its own: its first cell is active.
    if (fs::exists(corpus / "xls/47251.xls")) {
        const auto book = LoadWorkbook((corpus / "xls/47251.xls").string());
        EXPECT_EQ(book->sheets.at(0).activeRow, 12);
        EXPECT_EQ(book->sheets.at(0).activeCol, 1);
    }
    // Format numbers 23 to 26 belong to East Asian editions: the file's codes are kept,
    // while the built-in numbers keep the application's own codes.
    if (fs::exists(corpus / "xls/12561-1.xls")) {
        const auto book = LoadWorkbook((corpus / "xls/12561-1.xls").string());
        for (std::uint32_t id : {23u, 24u, 25u, 26u}) EXPECT_EQ(book->numberFormats.count(id), 1u);
        EXPECT_EQ(book->numberFormats.count(5), 0u);
    }
    std::size_t opened = 0, files = 0;
    for (const auto& entry : fs::directory_iterator(corpus / "xls")) {
        if (entry.path().extension() != ".xls") continue;
        ++files;
        opened += OpenError(entry.path().string()) == "opened";
    }
    EXPECT_GE(opened + 3, files);  // the three refused above
}

// Widths saved at 120 dpi land on the pixels of a 9-pixel digit (Arial 10 there): they
// are pixels of 1/120 inch. A workbook saved at 96 dpi keeps 3/4 of a point a pixel.
TEST(LegacyWorkbook, ColumnWidthsConvertAtTheDensityTheyWereSavedAt) {
    const auto corpus = Corpus();
    const struct {
        const char* file;
        const char* sheet;
        double a, b;  // columns A and B in points
    } cases[] = {
        {"59858.xls", "Instructions", 68 * 0.6, 78 * 0.6},
        {"60460.xls", "Questionnaire", 319 * 0.6, 77 * 0.6},
        {"ex45978-extraLinkTableSheets.xls", "Schedule", 82 * 0.6, 172 * 0.6},
        {"44861.xls", "data", 226 * 0.75, 97 * 0.75},
    };
    for (const auto& c : cases) {
        const fs::path path = corpus / "xls" / c.file;
        if (!fs::exists(path)) GTEST_SKIP() << "no corpus at " << corpus;
        const auto book = LoadWorkbook(path.string());
        const SheetModel* sheet = nullptr;
        for (const auto& s : book->sheets) sheet = s.name == c.sheet ? &s : sheet;
        ASSERT_TRUE(sheet) << c.file;
        EXPECT_DOUBLE_EQ(ColumnWidthPoints(*book, *sheet, 1), c.a) << c.file;
        EXPECT_DOUBLE_EQ(ColumnWidthPoints(*book, *sheet, 2), c.b) << c.file;
        EXPECT_DOUBLE_EQ(ColumnLeftPoints(*book, *sheet, 3), c.a + c.b) << c.file;
    }
}

// The built-in default password opens a workbook without a question (LibreOffice saved
// both with RC4 encryption; python3-msoffcrypto-tool decrypted the first as the
// reference); any other password is refused.
TEST(LegacyWorkbook, TheDefaultPasswordOpensAnEncryptedWorkbook) {
    const auto texts = [](const WorkbookModel& book) {
        std::vector<std::string> out;
        for (const auto& sheet : book.sheets) {
            out.push_back(sheet.name);
            for (const auto& e : sheet.cells) out.push_back(DisplayText(book, e.cell));
        }
        return out;
    };
    const auto decrypted = LoadWorkbook(Fixture("encrypted_default.xls"));
    const auto reference = LoadWorkbook(Fixture("encrypted_default_plain.xls"));
    EXPECT_EQ(texts(*decrypted), texts(*reference));
    EXPECT_EQ(texts(*decrypted), (std::vector<std::string>{"Opened", "Decrypted text", "42.5",
                                                           "Second", "second sheet"}));
    EXPECT_NE(OpenError(Fixture("encrypted_other.xls")).find("encrypted with a password"),
              std::string::npos);
}

TEST(LegacyWorkbook, CutCopiesFailCleanly) {
    TempDir dir;
    const std::string whole = testing::ReadFile(Fixture("biff8.xls"));
    const std::string path = dir / "cut.xls";
    for (std::size_t cut : {std::size_t{8}, std::size_t{511}, std::size_t{512}, whole.size() / 7,
                            whole.size() / 3, whole.size() / 2, whole.size() - 513}) {
        std::ofstream(path, std::ios::binary) << whole.substr(0, cut);
        const auto result = OpenError(path);
        EXPECT_NE(result, "opened") << cut;
    }
    // Damage inside the workbook stream itself: the first record claims 32 KiB, so the
    // records after it are read out of step.
    const auto stream = whole.find(std::string("\x09\x08\x10\x00\x00\x06\x05\x00", 8));
    ASSERT_NE(stream, std::string::npos);
    std::string damaged = whole;
    damaged[stream + 2] = '\xFF';
    damaged[stream + 3] = '\x7F';
    std::ofstream(path, std::ios::binary) << damaged;
    EXPECT_NE(OpenError(path).find("the workbook has no worksheet"), std::string::npos);
}

}  // namespace
}  // namespace tbln
