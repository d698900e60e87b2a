#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "apps/host/json_records.hpp"
#include "automation/records.hpp"

namespace tbln {
namespace {

template <class R>
std::vector<std::string> FieldNames() {
    std::vector<std::string> names;
    R::Visit([&](const char* name, auto) { names.emplace_back(name); });
    return names;
}

// A fresh MyCell as the host prints it: every field once, in interface order, each with
// its default.
TEST(Records, FreshMyCellAsJson) {
    EXPECT_EQ(host::RecordJson(std::make_shared<MyCell>()).dump(),
              R"({"row":0,"col":0,"rowHeight":0,"colWidth":0,"charNum":0,"mergedRowHeight":0,)"
              R"("mergedColWidth":0,"mergedCharNum":0,"deltaX":0,"deltaY":0,"Value":"",)"
              R"("FontName":"","fontsize":0,"fontOrient":0.0,"fontBold":false,)"
              R"("fontItalic":false,"fontUnderline":false,"fontLineWeight":0,)"
              R"("fontColorIndex":"","horAlign":"","verAlign":"","bgColor":"","pattern":"",)"
              R"("isWrapCell":false,"bdUp":0,"bdUpWeight":"","bdUpLT":"","bdBottom":0,)"
              R"("bdBottomWeight":"","bdBottomLT":"","bdLeft":0,"bdLeftWeight":"",)"
              R"("bdLeftLT":"","bdRight":0,"bdRightWeight":"","bdRightLT":"","isMerged":false,)"
              R"("rowTo":0,"colTo":0,"rowFrom":0,"colFrom":0,"hidden":false,"storeDone":false,)"
              R"("drawDone":false})");
    EXPECT_EQ(FieldNames<TagPos>(), (std::vector<std::string>{"tagName", "Value", "row", "col",
                                                              "offsetRow", "offsetCol"}));
    EXPECT_EQ(FieldNames<Segment>(),
              (std::vector<std::string>{"text", "font", "bold", "italic", "underline", "fontsize",
                                        "scriptstate"}));
    // No name twice in the other records.
    for (const auto& names : {FieldNames<JCell>(), FieldNames<MyShape>(), FieldNames<MyImage>(),
                              FieldNames<WordLine>()}) {
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
}

}  // namespace
}  // namespace tbln
