// The package both engines share: the same hostile package, made once as a workbook and
// once as a document, is refused by both engines alike, naming the file and the problem.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "adapters/document/document_model.hpp"
#include "adapters/opc/package.hpp"
#include "adapters/opc/relationships.hpp"
#include "adapters/workbook/package.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "core/error.hpp"
#include "support/test_platform.hpp"

namespace tbln {
namespace {

using testing::Fixture;

// The engine's error for path, or "opened".
std::string OpenError(const std::function<void()>& open, const std::string& path,
                      const std::string& noun) {
    try {
        open();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Number(), err::kApplicationDefined) << e.Description();
        EXPECT_EQ(e.Description().rfind("Cannot open the " + noun + " " + path + ": ", 0), 0u)
            << e.Description();
        return e.Description();
    }
    return "opened";
}

struct Opened {
    std::string workbook, document;
};

// Opens package/NAME.xlsx with the spreadsheet engine and package/NAME.docx with the
// document engine (the sound files they were made from when NAME is empty).
Opened OpenBoth(const std::string& name, const opc::PackageLimits& limits) {
    const std::string book =
        name.empty() ? Fixture("openpyxl.xlsx") : Fixture("package/" + name + ".xlsx");
    const std::string doc =
        name.empty() ? Fixture("word/one_line.docx") : Fixture("package/" + name + ".docx");
    return Opened{OpenError([&] { workbook::LoadWorkbook(book, limits); }, book, "workbook"),
                  OpenError([&] { document::ReadDocx(doc, limits); }, doc, "document")};
}

TEST(SharedPackage, BothEnginesRefuseEachHostilePackageAlike) {
    opc::PackageLimits fewParts, smallParts, shallow;
    fewParts.entries = 4;
    smallParts.entryBytes = 1u << 20;
    shallow.xmlDepth = 1;
    struct Case {
        const char* file;  // under package/, "" for the sound files
        opc::PackageLimits limits;
        const char* workbook;  // the problem the spreadsheet engine reports
        const char* document;  // the document engine's, when it differs
    } cases[] = {
        {"duplicate",
         {},
         "the package holds two parts named xl/worksheets/sheet1.xml",
         "the package holds two parts named word/document.xml"},
        {"", fewParts, "the package has more parts than the limit of 4", nullptr},
        {"bomb", smallParts,
         "the part xl/worksheets/sheet1.xml unpacks to more than the limit of 1 MiB for one part "
         "(it may be a zip bomb)",
         "the part word/document.xml unpacks to more than the limit of 1 MiB for one part"},
        {"doctype",
         {},
         "the part xl/worksheets/sheet1.xml declares a document type, which is "
         "refused (it may hide an entity expansion attack)",
         "the part word/document.xml declares a document type, which is refused"},
        {"doctype_rels", {}, "the part _rels/.rels declares a document type", nullptr},
        {"doctype_utf16", {}, "the part _rels/.rels declares a document type", nullptr},
        {"deep",
         {},
         "the part xl/worksheets/sheet1.xml is not well-formed XML (line 1: elements are nested "
         "more than 256 deep)",
         "the part word/document.xml is not well-formed XML (line 2: elements are nested more "
         "than 256 deep)"},
        // A lowered depth limit refuses the relationships part (read whole) of both.
        {"", shallow,
         "the part _rels/.rels is not well-formed XML (line 1: elements are nested "
         "more than 1 deep)",
         "the part _rels/.rels is not well-formed XML (line 2: elements are nested more than 1 "
         "deep)"},
        {"malformed",
         {},
         "the part xl/worksheets/sheet1.xml is not well-formed XML (line 3: ",
         "the part word/document.xml is not well-formed XML (line 4: "},
        {"outside",
         {},
         "the relationship rId1 of _rels/.rels points outside the package (../../outside.xml)",
         "points outside the package (../../outside.xml)"},
        {"missing",
         {},
         "the package has no workbook part (xl/workbook.xml)",
         "the package has no document part (word/document.xml)"},
    };
    for (const auto& c : cases) {
        const auto opened = OpenBoth(c.file, c.limits);
        EXPECT_NE(opened.workbook.find(c.workbook), std::string::npos)
            << c.file << ": " << opened.workbook;
        const char* document = c.document ? c.document : c.workbook;
        EXPECT_NE(opened.document.find(document), std::string::npos)
            << c.file << ": " << opened.document;
    }
    // The sound files open within the default limits.
    const auto sound = OpenBoth("", {});
    EXPECT_EQ(sound.workbook, "opened");
    EXPECT_EQ(sound.document, "opened");
}

TEST(SharedPackage, EncryptedPackagesAreNamedByBothEngines) {
    // A package saved with a password is an encrypted stream in a compound file.
    const std::string encrypted = Fixture("bad/encrypted.xlsx");
    EXPECT_NE(OpenError([&] { workbook::LoadWorkbook(encrypted); }, encrypted, "workbook")
                  .find("the workbook is protected with a password"),
              std::string::npos);
    EXPECT_NE(OpenError([&] { document::ReadDocx(encrypted); }, encrypted, "document")
                  .find("the document is protected with a password"),
              std::string::npos);
}

TEST(SharedPackage, EachEngineNamesTheOtherKindOfPackage) {
    const std::string book = Fixture("openpyxl.xlsx");
    const std::string doc = Fixture("word/one_line.docx");
    EXPECT_NE(OpenError([&] { workbook::LoadWorkbook(doc); }, doc, "workbook")
                  .find("the file is a document, not a workbook (its main part word/document.xml "
                        "is of the type application/"
                        "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml)"),
              std::string::npos);
    EXPECT_NE(OpenError([&] { document::ReadDocx(book); }, book, "document")
                  .find("the file is a workbook, not a document (its main part xl/workbook.xml"),
              std::string::npos);
}

TEST(SharedPackage, RelationshipTargetsResolveAgainstTheirSourcePart) {
    const struct {
        const char* source;
        const char* target;
        const char* part;  // "" when outside the package
    } cases[] = {
        {"xl/workbook.xml", "worksheets/sheet1.xml", "xl/worksheets/sheet1.xml"},
        {"xl/worksheets/sheet1.xml", "../drawings/drawing1.xml", "xl/drawings/drawing1.xml"},
        {"xl/workbook.xml", "/xl/styles.xml", "xl/styles.xml"},
        {"", "word/./document.xml", "word/document.xml"},
        {"word/document.xml", "../customXml/item1.xml", "customXml/item1.xml"},
        {"word/document.xml", "../../outside.xml", ""},
        {"", "../outside.xml", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(opc::ResolvePartName(c.source, c.target), c.part) << c.source << " " << c.target;
    }
    EXPECT_EQ(opc::RelationshipsPartOf("xl/workbook.xml"), "xl/_rels/workbook.xml.rels");
    EXPECT_EQ(opc::RelationshipsPartOf(""), "_rels/.rels");
}

TEST(SharedPackage, PartsAreReadWithinTheTotalLimit) {
    const std::string path = Fixture("package/bomb.xlsx");
    opc::PackageLimits limits;
    limits.totalBytes = 6u << 20;
    workbook::Package pkg(path, limits);
    EXPECT_GT(pkg.Read("xl/worksheets/sheet1.xml").size(), 4u << 20);
    try {
        pkg.Read("xl/worksheets/sheet1.xml");
        ADD_FAILURE() << "read past the limit";
    } catch (const RuntimeError& e) {
        EXPECT_NE(e.Description().find("unpacks to more than the limit of 6 MiB for the whole "
                                       "package"),
                  std::string::npos)
            << e.Description();
    }
}

}  // namespace
}  // namespace tbln
