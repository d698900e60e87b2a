// The reference host run as a program, the way a user or a script runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "support/host_run.hpp"

namespace tbln {
namespace {

using testing::Fixture;
using testing::Quote;
using testing::TempDir;

std::string WriteTags(const TempDir& dir, const std::string& json) {
    const std::string path = dir / "tags.json";
    std::ofstream(path) << json;
    return path;
}

TEST(HostInsertBlockPop, PrintsTheTagsFilledFromTheSheet) {
    TempDir dir;
    const auto tags = WriteTags(dir, R"([{"tagName": "NO"}, {"tagName": "TITLE", "offsetCol": 1},
                                        {"tagName": "QTY", "offsetRow": 1}, {"tagName": "NONE", "offsetRow": 9}])");
    const auto run =
        testing::RunHost(dir, "insert-block-pop --file " + Quote(Fixture("blocks.xlsx")) +
                                  " --sheet 'Title Block' --row 2 --col 2 --tags " + Quote(tags));
    ASSERT_EQ(run.status, 0) << run.err;
    const auto out = nlohmann::json::parse(run.out);
    EXPECT_EQ(out["result"], true);
    EXPECT_EQ(out["tags1"]["lower"], 1);
    EXPECT_EQ(out["tags1"]["upper"], 4);
    const auto& items = out["tags1"]["items"];
    EXPECT_EQ(items[0]["Value"], "DWG-001");
    EXPECT_EQ(items[1]["Value"], "Pump housing");
    EXPECT_EQ(items[1]["col"], "C");
    EXPECT_EQ(items[2]["Value"], "42");
    EXPECT_EQ(items[2]["row"], "3");
    EXPECT_EQ(items[3]["Value"], "");
    EXPECT_EQ(out["sheetName0"], "Title Block");
    EXPECT_TRUE(out["messages"].empty());
    // Fields keep the record's order.
    EXPECT_EQ(run.out.find("\"tagName\""), run.out.find("\"tagName\": \"NO\""));
    EXPECT_LT(run.out.find("\"tagName\""), run.out.find("\"offsetCol\""));
}

TEST(HostInsertBlockPop, ExitStatusTellsWhatWentWrong) {
    TempDir dir;
    const auto tags = WriteTags(dir, R"([{"tagName": "FAR", "offsetRow": 2}])");
    const std::string book = Quote(Fixture("blocks.xlsx"));
    struct Case {
        std::string args;
        int status;
        std::string err;
    } cases[] = {
        {"--file " + book + " --sheet Parts --row 32767 --col 1 --tags " + Quote(tags), 1,
         "run-time error 6: Overflow"},
        {"--file " + book + " --sheet Ghost --row 1 --col 1 --tags " + Quote(tags), 1, "Ghost"},
        {"--file " + Quote(dir / "none.xlsx") + " --sheet S --row 1 --col 1 --tags " + Quote(tags),
         0, "Error On Opening Excel File: Cannot open the workbook"},
        {"--file " + book + " --sheet S --row 40000 --col 1 --tags " + Quote(tags), 2,
         "--row 40000"},
        {"--file " + book + " --sheet S --row 1 --col 1 --tags " + Quote(Fixture("blocks.xlsx")), 2,
         "not valid JSON"},
        {"--file " + book + " --sheet S --row 1 --col 1 --tags " + Quote(dir / "none.json"), 2,
         "cannot be read"},
        {"--file " + book + " --sheet S --row 1 --col 1", 2, "--tags is required"},
        {"--file " + book + " --sheet S --row 1 --col 1 --tags " + Quote(tags) + " --bogus 1", 2,
         "not expected: 1 --bogus"},
    };
    for (const auto& c : cases) {
        const auto run = testing::RunHost(dir, "insert-block-pop " + c.args);
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    // Bad tags files: one line naming the file and what is wrong in it.
    const struct {
        const char *text, *err;
    } badTags[] = {
        {R"([{"tagName": 5}])", "tag 1: the field \"tagName\""},
        {R"({"lower": -2147483648, "items": []})", "\"lower\" -2147483648 with 0 tags"},
        {R"({"lower": 2147483647, "items": [{}, {}]})", "Overflow"},
        {R"({"lower": 4294967296, "items": []})", "\"lower\" must be a whole number"},
    };
    for (const auto& c : badTags) {
        const auto bad = WriteTags(dir, c.text);
        const auto run =
            testing::RunHost(dir, "insert-block-pop --file " + book +
                                      " --sheet S --row 1 --col 1 --tags " + Quote(bad));
        EXPECT_EQ(run.status, 2) << c.text;
        EXPECT_EQ(run.err.rfind("tbln: " + bad + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(testing::RunHost(dir, "no-such-command").status, 2);
}

}  // namespace
}  // namespace tbln
