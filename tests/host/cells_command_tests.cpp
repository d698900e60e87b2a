// tbln cells: the engine's view of a workbook as one JSON object.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "support/test_platform.hpp"

namespace tbln {
namespace {

using testing::Fixture;

struct Result {
    int status = -1;
    std::string out;
};

Result Cells(const std::string& args) {
    const std::string cmd = std::string(TBLN_HOST_BINARY) + " cells " + args + " 2>&1";
    Result r;
    FILE* pipe = popen(cmd.c_str(), "r");
    std::array<char, 4096> buf{};
    while (std::size_t n = fread(buf.data(), 1, buf.size(), pipe)) r.out.append(buf.data(), n);
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

TEST(CellsCommand, PrintsWhatTheEngineSees) {
    const auto r = Cells(Fixture("styles.xlsx") + " --range B6:C9");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["activeSheet"], "Styles");
    EXPECT_EQ(j["sheets"].size(), 2u);
    EXPECT_EQ(j["usedRange"], "A1:H20");
    EXPECT_EQ(j["activeCell"], "C3");
    EXPECT_EQ(j["selection"], "C3:D5");
    EXPECT_EQ(j["rows"][1]["height"], 0.75);
    EXPECT_EQ(j["columns"][0]["width"], 108.75);
    EXPECT_EQ(j["columns"][0]["columnWidth"], 20);
    EXPECT_EQ(j["merges"][0], "B8:D9");
    const auto& cells = j["cells"];
    ASSERT_FALSE(cells.empty());
    EXPECT_EQ(cells[0]["address"], "B6");
    EXPECT_EQ(cells[0]["text"], "edges");
    EXPECT_EQ(cells[0]["borders"]["right"]["style"], "double");
    EXPECT_EQ(cells[0]["borders"]["right"]["color"], "FF0000");
    bool sawMerged = false;
    for (const auto& c : cells) {
        if (c["address"] == "C9") {
            EXPECT_EQ(c["mergeArea"], "B8:D9");
            sawMerged = true;
        }
        if (c["address"] == "C6") {
            EXPECT_EQ(c["fill"]["pattern"], "solid");
            EXPECT_EQ(c["fill"]["color"], "FFFF00");
        }
    }
    EXPECT_TRUE(sawMerged);
}

TEST(CellsCommand, OtherSheetsAndNumberTexts) {
    const auto r = Cells("--file " + Fixture("numbers.xlsx") + " --sheet numbers --range A1:A3");
    ASSERT_EQ(r.status, 0) << r.out;
    const auto j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j["cells"].size(), 3u);
    EXPECT_EQ(j["cells"][1]["text"], "-1,234.57");
    EXPECT_EQ(j["cells"][1]["type"], "number");
    EXPECT_EQ(j["cells"][1]["numberFormat"], "#,##0.00");
}

TEST(CellsCommand, ErrorsNameTheProblem) {
    struct Case {
        std::string args;
        int status;
        const char* message;
    } cases[] = {
        {Fixture("bad/truncated.xlsx"), 1, "cut short"},
        {Fixture("styles.xlsx") + " --sheet Nope", 2, "no sheet named \"Nope\""},
        {Fixture("styles.xlsx") + " --range B", 2, "is not a range"},
        {Fixture("styles.xlsx") + " extra.xlsx", 2, "not expected: extra.xlsx"},
    };
    for (const auto& c : cases) {
        const auto r = Cells(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    }
}

}  // namespace
}  // namespace tbln
