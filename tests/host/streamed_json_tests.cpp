// The cell array is printed record by record; it must read back exactly as the JSON
// library writes the same records.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "apps/host/streamed_json.hpp"

namespace tbln::host {
namespace {

TEST(StreamedCells, ReadBackEqualToTheRecordsAsTheJsonLibraryWritesThem) {
    MyCellArray cells(1, 2, 1, 3);
    const struct {
        const char* value;
        Single size;
        double orient;
    } cases[] = {
        {"plain", 15, 0},
        {"quote \" backslash \\ slash /", 12.75f, 90},
        {"line\nfeed\rreturn\ttab\b\f", 0.1f, -90},
        {"\x01\x1f control", 1e7f, 45.5},
        {"Ünïcödé – 寸法", 9999999.0f, -0.0},
    };
    Long k = 0;
    for (const auto& c : cases) {
        auto cell = std::make_shared<MyCell>();
        cell->Value = c.value;
        cell->FontName = "Arial";
        cell->rowHeight = c.size;
        cell->deltaX = -c.size;
        cell->fontOrient = c.orient;
        cell->rowTo = -32768;
        cells(1 + k / 3, 1 + k % 3) = cell;
        ++k;
    }
    // (2, 3) stays unset: null.
    std::ostringstream out;
    PrintWithCells(out, json{{"before", 1}, {"cells", nullptr}, {"after", "x"}}, "cells", cells);
    const json back = json::parse(out.str());
    EXPECT_EQ(back["cells"], ArrayJson(cells));
    EXPECT_EQ(back["before"], 1);
    EXPECT_EQ(back["after"], "x");
    EXPECT_EQ(back["cells"]["items"][0][0]["FontName"], "Arial");
    EXPECT_TRUE(back["cells"]["items"][1][2].is_null());
}

TEST(StreamedArrays, WriteTheTextTheJsonLibraryWritesForTheWholeObject) {
    // Arrays of objects, of numbers and an empty one, between other members, and one
    // inside a member.
    const json items = json::array({json{{"address", "A1"}, {"font", {{"name", "Arial"}}}},
                                    json{{"address", "B2"}, {"list", {1, 2}}}});
    const json full = {{"file", "a.xlsx"},       {"rows", items},
                       {"merges", {"A1:B2"}},    {"empty", json::array()},
                       {"cells", {1, 2.5, "x"}}, {"lines", {{"lower", 0}, {"items", items}}},
                       {"shapes", nullptr}};
    json placeholders = full;
    const char* places[] = {"/rows", "/empty", "/cells", "/lines/items"};
    for (const char* place : places) placeholders[json::json_pointer(place)] = nullptr;
    const auto from = [&](const char* place) -> ItemSource {
        return [&full, place](const ItemSink& sink) {
            for (const auto& item : full[json::json_pointer(place)]) sink(item);
        };
    };
    std::ostringstream out;
    PrintWithArrays(out, placeholders,
                    {{"/cells", from("/cells")},
                     {"/rows", from("/rows")},
                     {"/lines/items", from("/lines/items")},
                     {"/empty", from("/empty")}});
    EXPECT_EQ(out.str(), DumpJson(full) + "\n");
}

TEST(StreamedCells, TextThatIsNotUtf8IsWrittenWithReplacementCharacters) {
    // A sheet name, a font name and a cell text with bytes that are no UTF-8: the record
    // writer and the JSON library both write them, each bad byte as one U+FFFD.
    MyCellArray cells(1, 1, 1, 1);
    auto cell = std::make_shared<MyCell>();
    cell->Value = "caf\xC3 \xFF\xFE";
    cell->FontName = "Ari\x80l";
    cells(1, 1) = cell;
    std::ostringstream out;
    PrintWithCells(out, json{{"sheetName0", "S\xE2\x82"}, {"cells", nullptr}}, "cells", cells);
    const json back = json::parse(out.str());
    EXPECT_EQ(back["sheetName0"], "S\uFFFD\uFFFD") << "a cut sequence is bad byte by byte";
    EXPECT_EQ(back["cells"]["items"][0][0]["Value"], "caf\uFFFD \uFFFD\uFFFD");
    EXPECT_EQ(back["cells"]["items"][0][0]["FontName"], "Ari\uFFFDl");
    EXPECT_EQ(json::parse(DumpJson(json{{"fonts", {"ok", "\xC0\xAF"}}}))["fonts"][1],
              "\uFFFD\uFFFD")
        << "an overlong form is two bad bytes";
}

}  // namespace
}  // namespace tbln::host
