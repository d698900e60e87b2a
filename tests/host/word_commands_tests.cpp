// tbln parse-word and update-word run as a program on the bundled notes document.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <array>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "support/host_run.hpp"

namespace tbln {
namespace {

using testing::Quote;
using testing::TempDir;

const std::string kNotes = std::string(TBLN_EXAMPLES) + "/notes.docx";

TEST(HostWordCommands, ParseWordPrintsTheNotesAsFormattedText) {
    TempDir dir;
    const auto run = testing::RunHost(dir, "parse-word --file " + Quote(kNotes));
    ASSERT_EQ(run.status, 0) << run.err;
    const auto out = nlohmann::json::parse(run.out);
    EXPECT_EQ(out["result"], true);
    EXPECT_EQ(out["fileName0"], kNotes);
    EXPECT_EQ(out["pageNum0"], 2);
    EXPECT_EQ(out["pageWid0"], 612);
    EXPECT_EQ(out["pageHei0"], 792);
    const auto& items = out["wordLines0"]["items"];
    EXPECT_EQ(out["wordLines0"]["lower"], 0);
    ASSERT_GE(items.size(), 12u);
    EXPECT_TRUE(items.back().is_null());
    const std::string expected[] = {
        "{\\fArial|b1|i0|c0|p34;GENERAL NOTES}",
        "{\\fArial|b0|i0|c0|p34;1.  All dimensions are in millimetres unless noted otherwise.}",
        "{\\fArial|b0|i0|c0|p34;2.  Do not scale from this drawing.}",
    };
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(items[i]["text"], expected[i]);
    bool bullet = false, stacked = false, mixedFont = false, legend = false;
    for (const auto& item : items) {
        if (item.is_null()) continue;
        const std::string text = item["text"];
        if (item["listType"] == 2) {
            bullet = true;
            EXPECT_EQ(item["bulletType"], -3913);
        }
        stacked |= text.find("\\H0.7x;\\S2^;\\H1.429x;") != std::string::npos &&
                   text.find(" \\H0.7x;\\S^2;\\H1.429x;") != std::string::npos;
        mixedFont |= text.find("\\fCourier New|b0|i0|c0|p49;DET-04") != std::string::npos;
        if (text.find("LEGEND") != std::string::npos) {
            legend = true;
            EXPECT_EQ(item["pageNum"], 2);
        }
    }
    EXPECT_TRUE(bullet);
    EXPECT_TRUE(stacked);
    EXPECT_TRUE(mixedFont);
    EXPECT_TRUE(legend);
}

TEST(HostWordCommands, WordLinesGiveEachLineItsSectionsPageSize) {
    TempDir dir;
    const std::string file = std::string(TBLN_FIXTURES) + "/word/landscape_section.docx";
    const auto run = testing::RunHost(dir, "word-lines --file " + Quote(file));
    ASSERT_EQ(run.status, 0) << run.err;
    const auto out = nlohmann::json::parse(run.out);
    // The document's page size is the first section's; each line carries its own.
    EXPECT_EQ(out["pageWidth"], 612);
    const auto& lines = out["lines"];
    // The first section ends with the empty paragraph that carries its properties.
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]["pageWidth"], 612);
    EXPECT_EQ(lines[0]["pageHeight"], 792);
    const auto& landscape = lines[2];
    EXPECT_EQ(landscape["text"], "On the landscape page.");
    EXPECT_EQ(landscape["page"], 2);
    EXPECT_EQ(landscape["pageWidth"], 792);
    EXPECT_EQ(landscape["pageHeight"], 612);
}

TEST(HostWordCommands, UpdateWordNamesABadFile) {
    TempDir dir;
    const std::string bad = dir / "notes.docx";
    std::ofstream(bad) << "not a document";
    // Both imports show the dialog's message; stderr adds the document engine's reason.
    for (const char* command : {"update-word", "parse-word"}) {
        const auto run = testing::RunHost(dir, std::string(command) + " --file " + Quote(bad));
        ASSERT_EQ(run.status, 0) << run.err;
        const auto out = nlohmann::json::parse(run.out);
        EXPECT_EQ(out["result"], false);
        ASSERT_EQ(out["messages"].size(), 1u);
        EXPECT_EQ(out["messages"][0]["text"], "File " + bad + " is not a valid Word file");
        EXPECT_NE(run.err.find("is not a valid Word file"), std::string::npos);
        EXPECT_NE(run.err.find("tbln: Cannot open the document " + bad +
                               ": the file is not a .docx package"),
                  std::string::npos)
            << run.err;
        if (std::string(command) == "update-word") {
            EXPECT_EQ(out["fileName0"], bad);
        }
    }
}

}  // namespace
}  // namespace tbln
