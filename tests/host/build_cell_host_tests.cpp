// tbln build-cell and deep-update run as programs on a workbook made by an independent tool.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
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
    EXPECT_EQ(j["dgnCell0"]["items"][1][3]["Value"], "Size");
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
}

TEST(HostBuildCell, ARelativeRootServesTheImportFromItsOwnFolder) {
    // The exchange changes its folder and still writes through paths built from the root.
    TempDir dir;
    const std::string book = Fixture("capture.xlsx");
    const std::string import = " build-cell --file '" + book + "' --sheet Schedule --range D2:D3";
    for (const std::string& line :
         {"cd " + testing::Quote(dir.Path()) + " && $TBLN --root rel" + import,
          "cd " + testing::Quote(dir.Path()) + " && QUORVEX_ROOT=env $TBLN" + import}) {
        const auto run = testing::RunHostLine(dir, line);
        ASSERT_EQ(run.status, 0) << line << "\n" << run.err;
        EXPECT_EQ(run.json["result"], true) << run.err;
        EXPECT_EQ(run.json["dgnCell0"]["items"][1][3]["Value"], "Size");
    }
}

TEST(HostBuildCell, AUsedAreaBeyondTheCellLimitIsRefusedBeforeTheReaderWrites) {
    // Two cells, A1 and XFD30000: the reader would write some 37 GB for the area between.
    TempDir dir;
    const auto run =
        testing::RunHost(dir, "build-cell --file '" + Fixture("far_corner.xlsx") + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["result"], false);
    ASSERT_EQ(run.json["messages"].size(), 1u) << run.out;
    const std::string text = run.json["messages"][0]["text"];
    EXPECT_NE(text.find("uses the area A1:XFD30000 of 491520000 cells; the import takes at most "
                        "4000000 cells"),
              std::string::npos)
        << text;
    // Neither output.txt nor a temporary file of it is left in the reader folder.
    for (const auto& entry : std::filesystem::directory_iterator(dir / "root/JRE/bin")) {
        EXPECT_EQ(entry.path().filename().string().find("output.txt"), std::string::npos)
            << entry.path();
    }
}

TEST(HostDeepUpdate, FindsTheRecordedSheetLetterCaseAsideBeyondAscii) {
    // The host hands back the sheet name it recorded; the workbook reader must find the
    // sheet by it as the spreadsheet engine does.
    TempDir dir;
    const auto run = testing::RunHost(dir, "deep-update --file '" + Fixture("sheet_names.xlsx") +
                                               "' --sheet 'üBERSICHT' --whole");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["result"], true) << run.json["messages"].dump();
    EXPECT_EQ(run.json["dgnCell0"]["items"][0][0]["Value"], "Tür");
}

TEST(HostBuildCell, AReaderThatHangsIsEndedAtTheTimeout) {
    TempDir dir;
    const std::string reader = dir / "hanging-reader";
    { std::ofstream(reader) << "#!/bin/sh\nexec sleep 60\n"; }
    std::filesystem::permissions(reader, std::filesystem::perms::owner_all);
    const auto run = testing::RunHostLine(dir, "TBLN_READER=" + testing::Quote(reader) +
                                                   " $TBLN --root " + testing::Quote(dir / "root") +
                                                   " --reader-timeout 0.5 build-cell --file '" +
                                                   Fixture("capture.xlsx") + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["result"], false);
    ASSERT_EQ(run.json["messages"].size(), 1u);
    EXPECT_EQ(run.json["messages"][0]["text"].get<std::string>().rfind(
                  "The workbook reader did not answer within 0.5 seconds", 0),
              0u);
}

TEST(HostBuildCell, NamesThatAreNotUtf8AreWrittenWithReplacementCharacters) {
    // A workbook whose name holds the bytes FF FE: the import refuses the name with a
    // message that quotes it, and the inspection lists it; both print their JSON.
    TempDir dir;
    const std::string book = dir / "\xFF\xFE.xlsx";
    std::filesystem::copy_file(Fixture("capture.xlsx"), book);
    auto run = testing::RunHost(dir, "build-cell --file " + testing::Quote(book));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["result"], false);
    EXPECT_EQ(run.json["fileName0"], dir / "\uFFFD\uFFFD.xlsx");
    ASSERT_EQ(run.json["messages"].size(), 1u);
    EXPECT_NE(run.json["messages"][0]["text"].get<std::string>().find("\uFFFD"), std::string::npos);
    run = testing::RunHost(dir, "cells " + testing::Quote(book));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["file"], dir / "\uFFFD\uFFFD.xlsx");
}

TEST(HostBuildCell, TheBundledExampleGivesItsTableShapesAndPicture) {
    TempDir dir;
    const auto run = testing::RunHost(dir, "build-cell --file '" + std::string(TBLN_SOURCE_DIR) +
                                               "/examples/door_schedule.xlsx' --sheet Doors");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto& j = run.json;
    EXPECT_EQ(j["dgnCell0"]["items"][0][0]["Value"], "DOOR SCHEDULE");
    EXPECT_EQ(j["dgnCell0"]["items"][0][0]["colTo"], 8);
    EXPECT_EQ(j["dgnCell0"]["items"][2][5]["fontOrient"], 90.0) << "the rotated header";
    EXPECT_TRUE(j["dgnCell0"]["items"][0][2]["isMerged"]) << "hidden column C inside the title";
    const auto& shapes = j["xlsShape0"]["items"];
    ASSERT_EQ(shapes.size(), 3u);
    EXPECT_EQ(shapes[0]["shapeType"], 17);
    EXPECT_EQ(shapes[0]["text"], "Revision B: D02 fire rating");
    const auto& tag = shapes[1];
    EXPECT_EQ(tag["autoShapeType"], 5) << "a rounded rectangle";
    EXPECT_EQ(tag["cnrRadius"], 0.25);
    EXPECT_EQ(tag["text"], "D02");
    EXPECT_EQ(tag["TLRow"], 7);
    // The leader runs from the tag (column J's left edge, the top of row 8) up and left
    // to 10 pixels into column I and row 5, its arrowhead at that end.
    const auto& leader = shapes[2];
    EXPECT_EQ(leader["shapeType"], 9);
    EXPECT_EQ(leader["slope"], -1);
    EXPECT_EQ(leader["startX"], tag["left"]);
    EXPECT_EQ(leader["startY"], tag["top"].get<double>() + 15);
    EXPECT_EQ(leader["endX"], leader["left"]);
    EXPECT_EQ(leader["endY"], leader["top"]);
    EXPECT_EQ(leader["beginStyle"], 1);
    EXPECT_EQ(leader["endStyle"], 2);
    const auto& picture = j["xlsImage0"]["items"][0];
    EXPECT_EQ(picture["name"], "image1.png");
    EXPECT_EQ(picture["TLRow"], 5);
    EXPECT_EQ(picture["TLCol"], 10);
    EXPECT_TRUE(std::filesystem::exists(dir / "root/pics/image1.png"));
}

// A legacy workbook's pictures come out of its picture store into the pictures folder,
// byte for byte the images the workbook was made with.
TEST(HostBuildCell, LegacyWorkbookPicturesReachThePicturesFolder) {
    TempDir dir;
    const auto run = testing::RunHost(
        dir, "build-cell --file '" + Fixture("drawing_formats.xls") + "' --sheet Pictures");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto& images = run.json["xlsImage0"]["items"];
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0]["name"], "image1.jpeg");
    EXPECT_EQ(images[1]["name"], "image2.png");
    EXPECT_EQ(images[1]["TLRow"], 5);
    EXPECT_EQ(images[1]["TLCol"], 4);
    EXPECT_EQ(testing::ReadFile(dir / "root/pics/image2.png"),
              testing::ReadFile(Fixture("red.png")));
    EXPECT_EQ(testing::ReadFile(dir / "root/pics/image1.jpeg").substr(0, 3), "\xFF\xD8\xFF");
    const auto& shapes = run.json["xlsShape0"]["items"];
    ASSERT_EQ(shapes.size(), 1u);
    EXPECT_EQ(shapes[0]["text"], "Line one\nLine two");
    EXPECT_EQ(shapes[0]["FontName"], "Courier New");
}

TEST(HostBuildCell, ShapesDrawnInLibreOfficeBecomeShapeRecords) {
    TempDir dir;
    const auto run = testing::RunHost(
        dir, "build-cell --file '" + Fixture("drawing_libreoffice.xlsx") + "' --sheet Shapes");
    ASSERT_EQ(run.status, 0) << run.err;
    const auto& shapes = run.json["xlsShape0"]["items"];
    struct Case {
        const char* name;
        int shapeType, autoShapeType, slope, rotation, hor, lineType, beginStyle, endStyle;
        bool fill;
        double cnrRadius;
    } cases[] = {
        {"Black box", 1, 1, 0, 0, 0, 1, 1, 1, true, 0},
        {"Rounded", 1, 5, 0, 0, 0, 1, 1, 1, false, 0.16667},
        {"Oval", 1, 9, 0, 0, 0, 1, 1, 1, false, 0},
        {"Arc", 1, 25, 0, 0, 0, 1, 1, 1, false, 0},
        {"Flipped arc", 1, 25, 0, 0, -1, 1, 1, 1, false, 0},
        {"Turned", 1, 1, 0, 330, 0, 1, 1, 1, false, 0},
        {"Quarter", 1, 1, 0, 270, 0, 1, 1, 1, false, 0},
        {"Rising", 9, -2, 1, 0, 0, 1, 2, 2, false, 0},
        {"Falling", 9, -2, -1, 0, 0, 4, 1, 2, false, 0},
        {"Level", 9, -2, -1, 0, 0, 1, 1, 1, false, 0},
    };
    ASSERT_EQ(shapes.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const auto& s = shapes[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(s["shapeType"], c.shapeType);
        EXPECT_EQ(s["autoShapeType"], c.autoShapeType);
        EXPECT_EQ(s["slope"], c.slope);
        EXPECT_EQ(s["rotation"], c.rotation);
        EXPECT_EQ(s["hor"], c.hor);
        EXPECT_EQ(s["lineType"], c.lineType);
        EXPECT_EQ(s["beginStyle"], c.beginStyle);
        EXPECT_EQ(s["endStyle"], c.endStyle);
        EXPECT_EQ(s["fill"], c.fill);
        EXPECT_NEAR(s["cnrRadius"].get<double>(), c.cnrRadius, 1e-9);
        if (c.shapeType == 9) {
            // A line's ends lie on the corners of its frame, in the direction it was drawn.
            const double left = s["left"], top = s["top"];
            const double right = left + s["width"].get<double>();
            const double bottom = top + s["height"].get<double>();
            EXPECT_NEAR(s["startX"].get<double>(), left, 0.01);
            EXPECT_NEAR(s["endX"].get<double>(), right, 0.01);
            const bool rises = c.slope == 1;
            EXPECT_NEAR(s["startY"].get<double>(), rises ? bottom : top, 0.01);
            EXPECT_NEAR(s["endY"].get<double>(), rises ? top : bottom, 0.01);
            EXPECT_EQ(s["endSize"], 2) << "medium arrowhead width";
        } else {
            EXPECT_EQ(s["startX"], 0);
            EXPECT_EQ(s["endSize"], 0);
        }
    }
}

// Drawing files are opened before the import: a file that would be destroyed (an input,
// a read-only file) or cannot be written is refused at once, with one line naming it.
// A regular file is replaced through a temporary file of its own, a link is written
// through, and a device or pipe is written directly.
TEST(HostDrawings, OutputsAreCheckedFirstAndWrittenAsWhatTheyAre) {
    TempDir dir;
    const std::string book = dir / "book.xlsx";
    std::filesystem::copy_file(std::string(TBLN_SOURCE_DIR) + "/examples/door_schedule.xlsx", book);
    const std::string old = dir / "old.json";
    std::ofstream(old) << R"({"dgnCell0": {"rows": [1, 1], "cols": [1, 1], "items": [[null]]}})";
    const std::string readOnly = dir / "read_only.pdf";
    std::ofstream(readOnly) << "keep";
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read);
    const std::string bookBytes = testing::ReadFile(book);
    const std::string import = "build-cell --file " + testing::Quote(book) + " --sheet Doors ";
    const struct {
        std::string args, err;
    } refused[] = {
        {import + "--pdf " + testing::Quote(book), "--pdf " + book + ": it is the input"},
        {"deep-update --file " + testing::Quote(book) + " --sheet Doors --whole --since " +
             testing::Quote(old) + " --svg " + testing::Quote(old),
         "--svg " + old + ": it is the input"},
        {import + "--png " + testing::Quote(readOnly), "the file is read-only"},
        {import + "--dxf " + testing::Quote(dir / "none/x.dxf"), dir / "none/x.dxf"},
        {import + "--svg " + testing::Quote(dir.Path()), "it is a folder"},
        {import + "--svg a.svg --pdf ./a.svg", "--svg a.svg: it is the same file as --pdf ./a.svg"},
    };
    for (const auto& c : refused) {
        const auto run = testing::RunHostLine(
            dir, "cd " + testing::Quote(dir.Path()) + " && $TBLN --root root " + c.args);
        EXPECT_EQ(run.status, 2) << c.args;
        EXPECT_TRUE(run.out.empty()) << "refused before the import: " << run.out.substr(0, 200);
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(testing::ReadFile(book), bookBytes);
    EXPECT_EQ(testing::ReadFile(old).substr(0, 12), R"({"dgnCell0":)");
    EXPECT_EQ(testing::ReadFile(readOnly), "keep");

    // A new file gets the ordinary permissions, an unrelated NAME.tmp stays, a link stays
    // a link to the drawing, a FIFO gets the drawing and /dev/null stays a device.
    const std::string png = dir / "out.png", tmp = dir / "out.png.tmp";
    std::ofstream(tmp) << "not ours";
    std::ofstream(dir / "real.svg") << "old";
    std::filesystem::create_symlink("real.svg", dir / "link.svg");
    ASSERT_EQ(mkfifo((dir / "pipe.pdf").c_str(), 0600), 0);
    auto run = testing::RunHostLine(
        dir, "cd " + testing::Quote(dir.Path()) +
                 " && umask 022 && (cat pipe.pdf > piped.pdf &) && $TBLN --root root " + import +
                 "--png out.png --svg link.svg --pdf pipe.pdf --dxf /dev/null");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.json["result"], true);
    EXPECT_EQ(testing::ReadFile(png).substr(1, 3), "PNG");
    EXPECT_EQ(std::filesystem::status(png).permissions(), std::filesystem::perms(0644));
    EXPECT_EQ(testing::ReadFile(tmp), "not ours");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.svg"));
    EXPECT_NE(testing::ReadFile(dir / "real.svg").find("<svg"), std::string::npos);
    EXPECT_EQ(testing::ReadFile(dir / "piped.pdf").substr(0, 5), "%PDF-");
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));

    // A drawing that cannot be written after the import: the JSON is printed all the same,
    // then the reason, and the status says it.
    run = testing::RunHost(dir, import + "--dxf /dev/full");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("\"result\": true"), std::string::npos) << run.out.substr(0, 200);
    EXPECT_NE(run.err.find("/dev/full: cannot write the drawing (No space left on device)"),
              std::string::npos)
        << run.err;
}

// An earlier capture that is not one is refused before the update, naming the file and
// the field; a cell record without fields is compared as an empty cell.
TEST(HostDeepUpdate, AHostileEarlierCaptureIsRefusedNamingTheFileAndTheField) {
    TempDir dir;
    const std::string book = std::string(TBLN_SOURCE_DIR) + "/examples/door_schedule.xlsx";
    const auto capture = [](const std::string& cells, const std::string& rest = "") {
        return R"({"dgnCell0": {"rows": [1, 1], "cols": [1, 1], "items": )" + cells + "}" + rest +
               "}";
    };
    std::string manyNames = "{";
    for (int i = 0; i < 1000; ++i) manyNames += "\"k" + std::to_string(i) + "\": 0, ";
    manyNames += R"("dgnCell0": null})";
    const struct {
        std::string text;
        int status;
        std::string err;
    } cases[] = {
        {capture("[[{}]]", R"(, "startRow0": 1, "endRow0": 1, "startCol0": 1, "endCol0": 1)"), 0,
         ""},
        {R"({"dgnCell0": )" + std::string(100000, '[') + std::string(100000, ']') + "}", 2,
         "line 1: values nest deeper than 64 levels"},
        {manyNames, 2, "line 1: an object with more than 128 names"},
        {capture("[[null]]", R"(, "endCol0": 1e308)"), 2, "endCol0: must be a whole number"},
        {capture("[[null]]", R"(, "endCol0": 2147483647)"), 2, "endCol0: must be a whole number"},
        {R"({"dgnCell0": {"rows": [1e308, 1], "cols": [1, 1], "items": []}})", 2,
         "dgnCell0.rows: must be [first, last]"},
        {capture("[5]"), 2, "dgnCell0.items[0]: must be an array of cells"},
        {capture("[[null, 5]]"), 2, "dgnCell0.items[0][1]: must be a cell record"},
        {capture(R"([[{"row": "one"}]])"), 2, "dgnCell0.items[0][0].row: must be a whole number"},
        {capture(R"([[{"hidden": 1}]])"), 2, "dgnCell0.items[0][0].hidden: must be true or false"},
        {capture("[]", R"(, "xlsImage0": {"items": [{"name": 5}]})"), 2,
         "xlsImage0.items[0].name: must be a text"},
        {capture("[]", R"(, "xlsShape0": 7)"), 2, "xlsShape0: must be an object"},
        {capture("[]", R"(, "xlsShape0": {"items": [{"top": "high"}]})"), 2,
         "xlsShape0.items[0].top: must be a number"},
        {"{", 2, "not valid JSON"},
        {"[]", 2, "not the output of build-cell or deep-update"},
    };
    for (const auto& c : cases) {
        const std::string old = dir / "old.json";
        std::ofstream(old) << c.text;
        const auto run =
            testing::RunHost(dir, "deep-update --file " + testing::Quote(book) +
                                      " --sheet Doors --whole --since " + testing::Quote(old));
        const std::string shown = c.text.substr(0, 80);
        EXPECT_EQ(run.status, c.status) << shown << "\n" << run.err;
        if (c.status == 0) {
            const auto& changes = run.json["changes"];
            EXPECT_TRUE(std::any_of(changes.begin(), changes.end(), [](const auto& change) {
                return change.contains("height") && change["height"]["before"].is_null();
            })) << changes.dump();
            continue;
        }
        EXPECT_TRUE(run.out.empty()) << shown;
        EXPECT_EQ(run.err.rfind("tbln: " + old + ": ", 0), 0u) << shown << "\n" << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << shown << "\n" << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

}  // namespace
}  // namespace tbln
