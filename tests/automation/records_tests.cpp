#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "automation/records.hpp"

namespace tbln {
namespace {

template <class R>
std::vector<std::string> FieldNames() {
    std::vector<std::string> names;
    R::Visit([&](const char* name, auto) { names.emplace_back(name); });
    return names;
}

TEST(Records, FreshMyCellHoldsItsDefaults) {
    const MyCell c;
    EXPECT_FALSE(c.isMerged);
    EXPECT_FALSE(c.hidden);
    EXPECT_FALSE(c.storeDone);
    EXPECT_FALSE(c.drawDone);
    // Every other field starts at 0 or empty.
    MyCell::Visit([&](const char* name, auto member) {
        using T = std::remove_cvref_t<decltype(c.*member)>;
        EXPECT_EQ(c.*member, T{}) << name;
    });
}

TEST(Records, FieldsAreListedOnceInInterfaceOrder) {
    const std::vector<std::string> myCell{"row",
                                          "col",
                                          "rowHeight",
                                          "colWidth",
                                          "charNum",
                                          "mergedRowHeight",
                                          "mergedColWidth",
                                          "mergedCharNum",
                                          "deltaX",
                                          "deltaY",
                                          "Value",
                                          "FontName",
                                          "fontsize",
                                          "fontOrient",
                                          "fontBold",
                                          "fontItalic",
                                          "fontUnderline",
                                          "fontLineWeight",
                                          "fontColorIndex",
                                          "horAlign",
                                          "verAlign",
                                          "bgColor",
                                          "pattern",
                                          "isWrapCell",
                                          "bdUp",
                                          "bdUpWeight",
                                          "bdUpLT",
                                          "bdBottom",
                                          "bdBottomWeight",
                                          "bdBottomLT",
                                          "bdLeft",
                                          "bdLeftWeight",
                                          "bdLeftLT",
                                          "bdRight",
                                          "bdRightWeight",
                                          "bdRightLT",
                                          "isMerged",
                                          "rowTo",
                                          "colTo",
                                          "rowFrom",
                                          "colFrom",
                                          "hidden",
                                          "storeDone",
                                          "drawDone"};
    EXPECT_EQ(FieldNames<MyCell>(), myCell);
    EXPECT_EQ(FieldNames<TagPos>(), (std::vector<std::string>{"tagName", "Value", "row", "col",
                                                              "offsetRow", "offsetCol"}));
    EXPECT_EQ(FieldNames<Segment>(),
              (std::vector<std::string>{"text", "font", "bold", "italic", "underline", "fontsize",
                                        "scriptstate"}));
    // Field counts of the other records, and no name twice in any record.
    EXPECT_EQ(FieldNames<JCell>().size(), 27u);
    EXPECT_EQ(FieldNames<MyShape>().size(), 27u);
    EXPECT_EQ(FieldNames<MyImage>().size(), 7u);
    EXPECT_EQ(FieldNames<WordLine>().size(), 18u);
    for (const auto& names : {FieldNames<MyCell>(), FieldNames<JCell>(), FieldNames<MyShape>(),
                              FieldNames<MyImage>(), FieldNames<WordLine>()}) {
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
    }
}

TEST(Records, ClassIdentitiesKeepTheLibraryOrder) {
    std::vector<std::string> order;
    std::set<std::string> ids;
    for (const auto& c : kClassIdentities) {
        order.emplace_back(c.className);
        EXPECT_EQ(std::string("_") + c.className, c.interfaceName);
        ids.insert(c.classId);
        ids.insert(c.interfaceId);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Application", "MyCell", "TagPos", "JCell",
                                               "MyShape", "WordLine", "Segment", "MyImage"}));
    EXPECT_EQ(ids.size(), 16u) << "every identifier is distinct";
    EXPECT_STREQ(kTypeLibraryId, "{4AF2A03D-0E4F-4D57-9F57-263582CBD09F}");
}

}  // namespace
}  // namespace tbln
