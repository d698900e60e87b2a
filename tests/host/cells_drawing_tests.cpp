// tbln cells lists a sheet's shapes and pictures; a damaged drawing is a warning.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "support/host_run.hpp"

namespace tbln {
namespace {

using testing::Fixture;
using testing::TempDir;

testing::HostRun CellsCommand(const std::string& args) {
    TempDir dir;
    return testing::RunHost(dir, "cells " + args);
}

TEST(CellsDrawing, ListsShapesAndPictures) {
    const auto r = CellsCommand(Fixture("drawing_xlsxwriter.xlsx"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    const auto j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j["shapes"].size(), 4u);
    const auto& box = j["shapes"][2];
    EXPECT_EQ(box["name"], "TextBox 3");
    EXPECT_EQ(box["type"], 17);
    EXPECT_EQ(box["text"], "Pump housing");
    EXPECT_EQ(box["font"]["name"], "Arial");
    EXPECT_EQ(box["font"]["size"], 14);
    EXPECT_EQ(box["topLeftCell"], "B2");
    EXPECT_EQ(box["width"], 120);
    EXPECT_EQ(j["shapes"][0]["text"], nullptr) << "a picture has no text frame";
    ASSERT_EQ(j["pictures"].size(), 2u);
    EXPECT_EQ(j["pictures"][1]["name"], "Picture 2");
    EXPECT_EQ(j["pictures"][1]["topLeftCell"], "F2");
    EXPECT_EQ(j["pictures"][1]["media"], "xl/media/image1.png");

    const auto lines =
        nlohmann::json::parse(CellsCommand(Fixture("drawing_libreoffice.xlsx")).out)["shapes"];
    const auto& rising = lines[7];
    EXPECT_EQ(rising["name"], "Rising");
    EXPECT_EQ(rising["line"]["beginArrowheadStyle"], 2);
    ASSERT_EQ(rising["nodes"].size(), 2u);
    EXPECT_LT(rising["nodes"][0][0], rising["nodes"][1][0]);
    EXPECT_GT(rising["nodes"][0][1], rising["nodes"][1][1]);
}

TEST(CellsDrawing, ADamagedDrawingIsAWarningAndTheCellsAreListed) {
    const auto r = CellsCommand(Fixture("drawing_malformed.xlsx"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.err.find("Warning"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("xl/drawings/drawing1.xml"), std::string::npos) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["shapes"].size(), 0u);
    EXPECT_EQ(j["cells"][0]["text"], "Title");
    // Pictures whose media part is missing are listed without it.
    const auto odd = nlohmann::json::parse(CellsCommand(Fixture("drawing_odd.xlsx")).out);
    EXPECT_EQ(odd["pictures"][0]["media"], nullptr);
}

}  // namespace
}  // namespace tbln
