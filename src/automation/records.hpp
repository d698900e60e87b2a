// The record classes the library hands to the host macro: plain read-write fields,
// in the order of their automation interfaces, with the defaults of a new record
// (0, False or empty unless stated). Records are reference objects: arrays hold
// std::shared_ptr to them.
//
// The style words, font names and colours that every cell repeats are SharedText:
// a million cells then hold one copy of each.
//
// Each record lists its fields once in Visit(), in interface order, so that every
// consumer (the host's JSON, the tests, a later automation adapter) sees the same
// names and order.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "core/numeric.hpp"
#include "core/text.hpp"

namespace tbln {

// One cell of a captured range. A capture holds a million of these, so the fields are
// declared widest first, which packs them into 224 bytes; Visit() lists them in the
// interface's order.
struct MyCell {
    std::string Value;
    SharedText FontName;
    SharedText fontColorIndex;
    SharedText horAlign;
    SharedText verAlign;
    SharedText bgColor;
    SharedText pattern;
    SharedText bdUpWeight;
    SharedText bdUpLT;
    SharedText bdBottomWeight;
    SharedText bdBottomLT;
    SharedText bdLeftWeight;
    SharedText bdLeftLT;
    SharedText bdRightWeight;
    SharedText bdRightLT;
    double fontOrient = 0;
    Single rowHeight = 0;
    Single colWidth = 0;
    Single charNum = 0;
    Single mergedRowHeight = 0;
    Single mergedColWidth = 0;
    Single mergedCharNum = 0;
    Single deltaX = 0;
    Single deltaY = 0;
    Single fontsize = 0;
    Integer row = 0;
    Integer col = 0;
    Integer fontLineWeight = 0;
    Integer bdUp = 0;
    Integer bdBottom = 0;
    Integer bdLeft = 0;
    Integer bdRight = 0;
    Integer rowTo = 0;
    Integer colTo = 0;
    Integer rowFrom = 0;
    Integer colFrom = 0;
    bool fontBold = false;
    bool fontItalic = false;
    bool fontUnderline = false;
    bool isWrapCell = false;
    // The creation of a MyCell sets these four explicitly.
    bool isMerged = false;
    bool hidden = false;
    bool storeDone = false;
    bool drawDone = false;

    template <class V>
    static void Visit(V&& v) {
        v("row", &MyCell::row);
        v("col", &MyCell::col);
        v("rowHeight", &MyCell::rowHeight);
        v("colWidth", &MyCell::colWidth);
        v("charNum", &MyCell::charNum);
        v("mergedRowHeight", &MyCell::mergedRowHeight);
        v("mergedColWidth", &MyCell::mergedColWidth);
        v("mergedCharNum", &MyCell::mergedCharNum);
        v("deltaX", &MyCell::deltaX);
        v("deltaY", &MyCell::deltaY);
        v("Value", &MyCell::Value);
        v("FontName", &MyCell::FontName);
        v("fontsize", &MyCell::fontsize);
        v("fontOrient", &MyCell::fontOrient);
        v("fontBold", &MyCell::fontBold);
        v("fontItalic", &MyCell::fontItalic);
        v("fontUnderline", &MyCell::fontUnderline);
        v("fontLineWeight", &MyCell::fontLineWeight);
        v("fontColorIndex", &MyCell::fontColorIndex);
        v("horAlign", &MyCell::horAlign);
        v("verAlign", &MyCell::verAlign);
        v("bgColor", &MyCell::bgColor);
        v("pattern", &MyCell::pattern);
        v("isWrapCell", &MyCell::isWrapCell);
        v("bdUp", &MyCell::bdUp);
        v("bdUpWeight", &MyCell::bdUpWeight);
        v("bdUpLT", &MyCell::bdUpLT);
        v("bdBottom", &MyCell::bdBottom);
        v("bdBottomWeight", &MyCell::bdBottomWeight);
        v("bdBottomLT", &MyCell::bdBottomLT);
        v("bdLeft", &MyCell::bdLeft);
        v("bdLeftWeight", &MyCell::bdLeftWeight);
        v("bdLeftLT", &MyCell::bdLeftLT);
        v("bdRight", &MyCell::bdRight);
        v("bdRightWeight", &MyCell::bdRightWeight);
        v("bdRightLT", &MyCell::bdRightLT);
        v("isMerged", &MyCell::isMerged);
        v("rowTo", &MyCell::rowTo);
        v("colTo", &MyCell::colTo);
        v("rowFrom", &MyCell::rowFrom);
        v("colFrom", &MyCell::colFrom);
        v("hidden", &MyCell::hidden);
        v("storeDone", &MyCell::storeDone);
        v("drawDone", &MyCell::drawDone);
    }
};

// One cell of the external reader's grid.
struct JCell {
    bool MergeCells = false;
    Integer startRow = 0;
    Integer startCol = 0;
    Integer endRow = 0;
    Integer endCol = 0;
    Single height = 0;
    Single width = 0;
    Integer row = 0;
    Integer column = 0;
    Integer HorizontalAlignment = 0;
    Integer VerticalAlignment = 0;
    std::string text;
    SharedText FontName;
    Integer fontsize = 0;
    bool fontUnderline = false;
    bool fontItalic = false;
    bool fontBold = false;
    bool WrapText = false;
    bool IsNumeric = false;
    bool IsEmpty = false;
    Integer Orientation = 0;
    SharedText bdUp;
    SharedText bdBottom;
    SharedText bdLeft;
    SharedText bdRight;
    SharedText bgColor;
    SharedText pattern;

    template <class V>
    static void Visit(V&& v) {
        v("MergeCells", &JCell::MergeCells);
        v("startRow", &JCell::startRow);
        v("startCol", &JCell::startCol);
        v("endRow", &JCell::endRow);
        v("endCol", &JCell::endCol);
        v("height", &JCell::height);
        v("width", &JCell::width);
        v("row", &JCell::row);
        v("column", &JCell::column);
        v("HorizontalAlignment", &JCell::HorizontalAlignment);
        v("VerticalAlignment", &JCell::VerticalAlignment);
        v("text", &JCell::text);
        v("FontName", &JCell::FontName);
        v("fontsize", &JCell::fontsize);
        v("fontUnderline", &JCell::fontUnderline);
        v("fontItalic", &JCell::fontItalic);
        v("fontBold", &JCell::fontBold);
        v("WrapText", &JCell::WrapText);
        v("IsNumeric", &JCell::IsNumeric);
        v("IsEmpty", &JCell::IsEmpty);
        v("Orientation", &JCell::Orientation);
        v("bdUp", &JCell::bdUp);
        v("bdBottom", &JCell::bdBottom);
        v("bdLeft", &JCell::bdLeft);
        v("bdRight", &JCell::bdRight);
        v("bgColor", &JCell::bgColor);
        v("pattern", &JCell::pattern);
    }
};

// One drawing shape of a sheet.
struct MyShape {
    Single top = 0;
    Single left = 0;
    Single height = 0;
    Single width = 0;
    Integer slope = 0;
    Integer rotation = 0;
    Single startX = 0;
    Single startY = 0;
    Single endX = 0;
    Single endY = 0;
    Long TLRow = 0;
    Long TLCol = 0;
    Integer shapeType = 0;
    Integer autoShapeType = 0;
    std::string text;
    Single fontsize = 0;
    std::string FontName;
    Integer lineType = 0;
    Single lineWei = 0;
    bool fill = false;
    Integer hor = 0;
    Integer ver = 0;
    Integer beginStyle = 0;
    Integer beginSize = 0;
    Integer endStyle = 0;
    Integer endSize = 0;
    double cnrRadius = 0;

    template <class V>
    static void Visit(V&& v) {
        v("top", &MyShape::top);
        v("left", &MyShape::left);
        v("height", &MyShape::height);
        v("width", &MyShape::width);
        v("slope", &MyShape::slope);
        v("rotation", &MyShape::rotation);
        v("startX", &MyShape::startX);
        v("startY", &MyShape::startY);
        v("endX", &MyShape::endX);
        v("endY", &MyShape::endY);
        v("TLRow", &MyShape::TLRow);
        v("TLCol", &MyShape::TLCol);
        v("shapeType", &MyShape::shapeType);
        v("autoShapeType", &MyShape::autoShapeType);
        v("text", &MyShape::text);
        v("fontsize", &MyShape::fontsize);
        v("FontName", &MyShape::FontName);
        v("lineType", &MyShape::lineType);
        v("lineWei", &MyShape::lineWei);
        v("fill", &MyShape::fill);
        v("hor", &MyShape::hor);
        v("ver", &MyShape::ver);
        v("beginStyle", &MyShape::beginStyle);
        v("beginSize", &MyShape::beginSize);
        v("endStyle", &MyShape::endStyle);
        v("endSize", &MyShape::endSize);
        v("cnrRadius", &MyShape::cnrRadius);
    }
};

// One picture of a sheet.
struct MyImage {
    std::string name;
    Single top = 0;
    Single left = 0;
    Single height = 0;
    Single width = 0;
    Long TLRow = 0;
    Long TLCol = 0;

    template <class V>
    static void Visit(V&& v) {
        v("name", &MyImage::name);
        v("top", &MyImage::top);
        v("left", &MyImage::left);
        v("height", &MyImage::height);
        v("width", &MyImage::width);
        v("TLRow", &MyImage::TLRow);
        v("TLCol", &MyImage::TLCol);
    }
};

// One displayed line of a word-processor document.
struct WordLine {
    std::string text;
    Single fontsize = 0;
    std::string FontName;
    double x = 0;
    double y = 0;
    Integer listType = 0;
    std::string listString;
    Long bulletType = 0;
    Integer pageNum = 0;
    Single charLen = 0;
    bool justify = false;
    bool bold = false;
    bool underline = false;
    bool italic = false;
    bool simple = false;
    bool newLine = false;
    std::string linefmt;
    std::string actual;

    template <class V>
    static void Visit(V&& v) {
        v("text", &WordLine::text);
        v("fontsize", &WordLine::fontsize);
        v("FontName", &WordLine::FontName);
        v("x", &WordLine::x);
        v("y", &WordLine::y);
        v("listType", &WordLine::listType);
        v("listString", &WordLine::listString);
        v("bulletType", &WordLine::bulletType);
        v("pageNum", &WordLine::pageNum);
        v("charLen", &WordLine::charLen);
        v("justify", &WordLine::justify);
        v("bold", &WordLine::bold);
        v("underline", &WordLine::underline);
        v("italic", &WordLine::italic);
        v("simple", &WordLine::simple);
        v("newLine", &WordLine::newLine);
        v("linefmt", &WordLine::linefmt);
        v("actual", &WordLine::actual);
    }
};

// One run of uniformly formatted characters inside a word-processor line.
struct Segment {
    std::string text;
    std::string font;
    bool bold = false;
    bool italic = false;
    Long underline = 0;
    Long fontsize = 0;
    Long scriptstate = 0;

    template <class V>
    static void Visit(V&& v) {
        v("text", &Segment::text);
        v("font", &Segment::font);
        v("bold", &Segment::bold);
        v("italic", &Segment::italic);
        v("underline", &Segment::underline);
        v("fontsize", &Segment::fontsize);
        v("scriptstate", &Segment::scriptstate);
    }
};

// One attribute tag of a block and the cell it is bound to.
struct TagPos {
    std::string tagName;
    std::string Value;
    std::string row;
    std::string col;
    Integer offsetRow = 0;
    Integer offsetCol = 0;

    template <class V>
    static void Visit(V&& v) {
        v("tagName", &TagPos::tagName);
        v("Value", &TagPos::Value);
        v("row", &TagPos::row);
        v("col", &TagPos::col);
        v("offsetRow", &TagPos::offsetRow);
        v("offsetCol", &TagPos::offsetCol);
    }
};

// The automation identities of the type library and its classes, in library order.
struct ClassIdentity {
    const char* className;
    const char* classId;
    const char* interfaceName;
    const char* interfaceId;
};

inline constexpr const char* kTypeLibraryName = "tbln";
inline constexpr const char* kTypeLibraryId = "{4AF2A03D-0E4F-4D57-9F57-263582CBD09F}";
inline constexpr int kTypeLibraryMajor = 1;
inline constexpr int kTypeLibraryMinor = 0;
inline constexpr int kTypeLibraryLocale = 0x409;

inline constexpr ClassIdentity kClassIdentities[] = {
    {"Application", "{6CC4A1DA-2E20-49AF-B45D-A6A6693F2128}", "_Application",
     "{085DBDB5-F80D-4E71-A325-016C386051FC}"},
    {"MyCell", "{E819534F-5227-4F47-9220-C075B03E1FE7}", "_MyCell",
     "{E374A307-E3F4-422B-A5A2-935D4750B0C3}"},
    {"TagPos", "{F9B9B451-17CA-4E57-A58E-C96137C62146}", "_TagPos",
     "{915DBEC0-BAB3-4D52-80E8-885D06CACBD6}"},
    {"JCell", "{AE35CA2F-0D23-4444-B394-3F82148269EF}", "_JCell",
     "{4F2FB58A-B106-4D12-AE8B-109A8645312E}"},
    {"MyShape", "{49536639-B211-4B41-9867-17914CA986EA}", "_MyShape",
     "{E8A7BBE7-D57A-4A7F-B012-250BD575BDAB}"},
    {"WordLine", "{A6A57374-B0F4-4BAD-9BB9-1F6F0B48374D}", "_WordLine",
     "{F38DBD21-F828-4E08-9A48-DCDEE2E38000}"},
    {"Segment", "{8E07CD24-4A8A-4F19-ABE9-64EC7ADC43B3}", "_Segment",
     "{D70E2675-C8B8-4725-826B-DFE411BFE908}"},
    {"MyImage", "{60AC7003-4814-4A49-BE89-044CE15638E1}", "_MyImage",
     "{4BFE1969-0389-4E37-8C6D-AA205292D444}"},
};

inline constexpr const char* kProgIdPrefix = "tbln";

// Hands out new records in blocks: a grid of a million cells then costs a thousand
// allocations rather than a million, and no record carries a count of its own. Each
// record shares its block's lifetime, so a block is freed with the last of its records.
template <class R>
class RecordPool {
  public:
    std::shared_ptr<R> New() {
        if (!block_ || used_ == kBlock) {
            block_ = std::make_shared<R[]>(kBlock);
            used_ = 0;
        }
        return std::shared_ptr<R>(block_, &block_[used_++]);
    }

  private:
    static constexpr std::size_t kBlock = 1024;
    std::shared_ptr<R[]> block_;
    std::size_t used_ = 0;
};

}  // namespace tbln
