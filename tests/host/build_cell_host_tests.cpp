// tbln build-cell and deep-update run as programs on a workbook made by an independent tool.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "support/host_run.hpp"

namespace tbln {
namespace {

using testing::Fixture;
using testing::TempDir;

TEST(HostBuildCell, ARangeAndTheWholeSheetAgreeWithTheWorkbook) {
    TempDir dir;
    const std::string book = Fixture("capture.xlsx");
    auto run =
        testing::RunHost(dir, "build-cell --file '" + book + "' --sheet Schedule --range D2:D3");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto& j = run.json;
    EXPECT_EQ(j["result"], true);
    EXPECT_EQ(j["sheetName0"], "Schedule");
    // D2 is the first cell of the merged "Size" header D2:E2, so the range widens to E.
    EXPECT_EQ(j["startCol0"], 4);
    EXPECT_EQ(j["endCol0"], 5);
    const auto& size = j["dgnCell0"]["items"][1][3];
    EXPECT_EQ(size["Value"], "Size");
    EXPECT_EQ(size["colTo"], 5);
    EXPECT_EQ(size["bdBottomLT"], "medium");
    EXPECT_EQ(size["mergedColWidth"], 133.5);
    EXPECT_EQ(j["dgnCell0"]["items"][2][3]["Value"], "0.90");
    EXPECT_EQ(j["xlsImage0"]["items"][0]["top"], -1000);
    EXPECT_TRUE(std::filesystem::exists(dir / "root/JRE/bin/javaw")) << "placed on first use";

    run = testing::RunHost(dir, "build-cell --file '" + book + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["fastUpdate0"], false);
    EXPECT_EQ(run.json["endRow0"], 8);
    EXPECT_EQ(run.json["endCol0"], 8);

    run =
        testing::RunHost(dir, "deep-update --file '" + book + "' --sheet Schedule --range B2:C40");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["result"], true);
    EXPECT_EQ(run.json["endRow0"], 8) << "cut back to the sheet's grid";

    for (const char* bad : {"deep-update --file x.xlsx --sheet S",
                            "deep-update --file x.xlsx --sheet S --whole --range A1:B2",
                            "build-cell --file nope.xlsx", "build-cell --file x --range 12"}) {
        EXPECT_EQ(testing::RunHost(dir, bad).status, 2) << bad;
    }
}

TEST(HostBuildCell, TheBundledExampleGivesItsTableTextBoxAndPicture) {
    TempDir dir;
    const auto run = testing::RunHost(dir, "build-cell --file '" + std::string(TBLN_SOURCE_DIR) +
                                               "/examples/door_schedule.xlsx' --sheet Doors");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto& j = run.json;
    EXPECT_EQ(j["dgnCell0"]["items"][0][0]["Value"], "DOOR SCHEDULE");
    EXPECT_EQ(j["dgnCell0"]["items"][0][0]["colTo"], 8);
    EXPECT_EQ(j["dgnCell0"]["items"][2][5]["fontOrient"], 90.0) << "the rotated header";
    EXPECT_TRUE(j["dgnCell0"]["items"][0][2]["isMerged"]) << "hidden column C inside the title";
    const auto& box = j["xlsShape0"]["items"][0];
    EXPECT_EQ(box["shapeType"], 17);
    EXPECT_EQ(box["text"], "Revision B: D02 fire rating");
    const auto& picture = j["xlsImage0"]["items"][0];
    EXPECT_EQ(picture["name"], "image1.png");
    EXPECT_EQ(picture["TLRow"], 5);
    EXPECT_EQ(picture["TLCol"], 10);
    EXPECT_TRUE(std::filesystem::exists(dir / "root/pics/image1.png"));
}

}  // namespace
}  // namespace tbln
