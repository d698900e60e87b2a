// Damaged, hostile and unusual workbook files: each opens, or fails at once with an
// error that names the file and the problem.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "adapters/workbook/numfmt/display_text.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "core/error.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

namespace fs = std::filesystem;
using testing::Fixture;
using namespace workbook;

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

TEST(BadInput, EachDamageGivesItsOwnClearError) {
    struct Case {
        const char* file;
        const char* problem;
    } cases[] = {
        {"truncated.xlsx", "damaged or cut short"},
        {"empty.xlsx", "the zip package is empty"},
        {"no_workbook.xlsx", "has no workbook part"},
        {"bad_xml.xlsx", "xl/worksheets/sheet1.xml is not well-formed XML (line 1"},
        {"bad_crc.xlsx", "xl/worksheets/sheet1.xml is damaged"},
        {"duplicate.xlsx", "two parts named xl/worksheets/sheet1.xml"},
        {"doctype.xlsx", "xl/sharedStrings.xml declares a document type"},
        {"row_outside.xlsx", "row outside the sheet"},
        {"encrypted.xlsx", "protected with a password"},
        {"legacy.xls", "compound file of the legacy workbook is damaged"},
    };
    for (const auto& c : cases) {
        const auto error = OpenError(Fixture(std::string("bad/") + c.file));
        EXPECT_NE(error.find(c.problem), std::string::npos) << c.file << ": " << error;
    }
    EXPECT_NE(OpenError(Fixture("not_a_workbook.xlsx")).find("not a valid zip package"),
              std::string::npos);
    EXPECT_NE(OpenError(Fixture("bad/missing.xlsx")).find("does not exist"), std::string::npos);
    // A part the workbook names but the directory misnames: its texts or looks are not
    // lost unseen.
    testing::TempDir dir;
    for (const std::string part : {"xl/styles.xml", "xl/sharedStrings.xml"}) {
        const auto error =
            OpenError(testing::MisnamedPartCopy(Fixture("capture.xlsx"), dir / "m.xlsx", part));
        EXPECT_NE(error.find("the part " + part + " is missing"), std::string::npos) << error;
    }
}

TEST(BadInput, UnusualButSoundFilesOpen) {
    {
        // Claims billions of strings; holds two.
        const auto book = LoadWorkbook(Fixture("bad/huge_count.xlsx"));
        EXPECT_EQ(book->sharedStringCount, 2u);
        EXPECT_EQ(DisplayText(*book, *book->sheets[0].Find(1, 1)), "second");
    }
    {
        // Claims the whole sheet; one cell in its last corner.
        const auto book = LoadWorkbook(Fixture("bad/absurd_dimension.xlsx"));
        ASSERT_EQ(book->sheets[0].cells.size(), 1u);
        EXPECT_EQ(DisplayText(*book, *book->sheets[0].Find(kMaxRows, kMaxCols)), "7");
    }
    {
        // A damaged theme: the cells still read.
        const auto book = LoadWorkbook(Fixture("bad/broken_theme.xlsx"));
        EXPECT_EQ(DisplayText(*book, *book->sheets[0].Find(1, 1)), "ok");
    }
    {
        // Prefixed elements, no r= attributes, characters beyond the BMP, escapes, rich runs.
        const auto book = LoadWorkbook(Fixture("bad/prefixed.xlsx"));
        const auto& sheet = book->sheets[0];
        const auto text = [&](Long r, Long c) { return DisplayText(*book, *sheet.Find(r, c)); };
        EXPECT_EQ(text(1, 1), "first");
        EXPECT_EQ(text(1, 2), "2.5");
        EXPECT_EQ(text(2, 1), "\xF0\x9D\x9D\x8A and \xC3\xA9");
        EXPECT_EQ(text(2, 2), "tab\there");
        EXPECT_EQ(text(2, 3), "rich text");
    }
}

TEST(BadInput, InflatedBytesAreCountedNotTheHeaders) {
    const std::string path = Fixture("bad/inflates.xlsx");
    EXPECT_NO_THROW(LoadWorkbook(path));
    Package pkg(path, opc::PackageLimits{opc::kMaxEntries, 1u << 20, opc::kMaxTotalBytes});
    try {
        pkg.Read("xl/worksheets/sheet1.xml");
        FAIL() << "read past the limit";
    } catch (const RuntimeError& e) {
        EXPECT_NE(e.Description().find("unpacks to more than the limit of 1 MiB for one part"),
                  std::string::npos)
            << e.Description();
    }
    // The limit over the whole package counts every part read.
    Package small(path, opc::PackageLimits{opc::kMaxEntries, opc::kMaxEntryBytes, 5u << 20});
    small.Read("xl/worksheets/sheet1.xml");
    EXPECT_THROW(small.Read("xl/worksheets/sheet1.xml"), RuntimeError);
}

// The shared corpus of real and malformed files, when it is present (TBLN_CORPUS in
// the environment overrides the default place).
fs::path Corpus() {
    const char* env = std::getenv("TBLN_CORPUS");
    return fs::path(env && *env ? env : TBLN_CORPUS);
}

TEST(BadInput, RealMalformedFiles) {
    const auto corpus = Corpus();
    if (!fs::exists(corpus / "malformed")) GTEST_SKIP() << "no corpus at " << corpus;
    struct Case {
        const char* file;
        const char* problem;  // nullptr: the file opens
    } cases[] = {
        {"malformed/poc-xmlbomb.xlsx", "declares a document type"},
        {"malformed/poc-xmlbomb-empty.xlsx", "declares a document type"},
        {"malformed/54764.xlsx", "declares a document type"},
        {"malformed/54764-2.xlsx", "declares a document type"},
        {"malformed/invalid.xlsx", "the zip package is empty"},
        {"malformed/xlsx-corrupted.xlsx", "_rels/.rels is not well-formed XML"},
        {"malformed/duplicate-filename.xlsx", "two parts named xl/worksheets/sheet1.xml"},
        {"malformed/protected_passtika.xlsx", "protected with a password"},
        {"malformed/MalformedSSTCount.xlsx", nullptr},
        {"malformed/BrNotClosed.xlsx", nullptr},  // its damaged part is an optional drawing
        {"malformed/xxe_in_schema.xlsx", nullptr},
        {"xls/SampleSS.xls", nullptr},
        {"xlsx/SampleSS.strict.xlsx", nullptr},
        {"xlsx/59746_NoRowNums.xlsx", nullptr},
        {"xlsx/noSharedStringTable.xlsx", nullptr},
        {"xlsx/54084 - Greek - beyond BMP.xlsx", nullptr},
        {"xlsx/shared_strings01.xlsx", nullptr},
        {"xlsx/60512.xlsm", nullptr},
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
    // Texts that need care: strict namespaces, escapes of control characters.
    if (fs::exists(corpus / "xlsx/SampleSS.strict.xlsx")) {
        const auto book = LoadWorkbook((corpus / "xlsx/SampleSS.strict.xlsx").string());
        EXPECT_FALSE(book->sheets.at(0).cells.empty());
    }
    if (fs::exists(corpus / "xlsx/shared_strings01.xlsx")) {
        const auto book = LoadWorkbook((corpus / "xlsx/shared_strings01.xlsx").string());
        bool sawControl = false;
        for (const auto& s : book->strings) sawControl |= s.size() == 1 && s[0] == '\x01';
        EXPECT_TRUE(sawControl) << "_x0001_ is decoded";
    }
}

}  // namespace
}  // namespace tbln
