// A sheet whose row heights, column widths, texts, shapes and pictures a test states
// directly, for the capture steps that ask Excel for them. Members the capture does
// not call raise 438.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "platform/excel.hpp"

namespace tbln::testing {

[[noreturn]] inline void Unused() {
    Raise(err::kNoSuchMember);
}

struct FakeSheetData {
    std::map<Long, double> rowHeights;  // default 15
    std::map<Long, double> colWidths;   // default 48
    std::map<std::pair<Long, Long>, std::string> texts;
    std::vector<std::shared_ptr<excel::Shape>> shapes;
    std::vector<std::shared_ptr<excel::Picture>> pictures;
    bool screenUpdating = true;
    std::vector<std::pair<Long, Long>> textReads;
};

class FakeSheet;

class FakeCell : public excel::Range {
  public:
    FakeCell(FakeSheetData& d, Long r, Long c) : d_(d), r_(r), c_(c) {}
    Long Row() override { return r_; }
    Long Column() override { return c_; }
    Long Count() override { return 1; }
    std::shared_ptr<Range> Rows() override { Unused(); }
    std::shared_ptr<Range> Columns() override { Unused(); }
    std::string Text() override {
        d_.textReads.push_back({r_, c_});
        const auto it = d_.texts.find({r_, c_});
        return it == d_.texts.end() ? std::string() : it->second;
    }
    void SetValue(const std::string&) override { Unused(); }
    double Height() override {
        const auto it = d_.rowHeights.find(r_);
        return it == d_.rowHeights.end() ? 15 : it->second;
    }
    double Width() override {
        const auto it = d_.colWidths.find(c_);
        return it == d_.colWidths.end() ? 48 : it->second;
    }
    double ColumnWidth() override { Unused(); }
    void SetColumnWidth(double) override { Unused(); }
    bool MergeCells() override { return false; }
    std::shared_ptr<Range> MergeArea() override { Unused(); }
    void Select() override { Unused(); }
    void Activate() override { Unused(); }
    void Delete() override { Unused(); }
    std::shared_ptr<excel::Worksheet> Worksheet() override { Unused(); }

  private:
    FakeSheetData& d_;
    Long r_, c_;
};

class FakeShapes : public excel::Shapes {
  public:
    explicit FakeShapes(FakeSheetData& d) : d_(d) {}
    Long Count() override { return static_cast<Long>(d_.shapes.size()); }
    std::shared_ptr<excel::Shape> Item(Long i) override {
        if (i < 1 || i > Count()) Raise(err::kSubscript);
        return d_.shapes[static_cast<std::size_t>(i - 1)];
    }

  private:
    FakeSheetData& d_;
};

class FakeApplication;

class FakeSheet : public excel::Worksheet, public std::enable_shared_from_this<FakeSheet> {
  public:
    FakeSheetData data;
    std::shared_ptr<excel::Application> app;
    std::string Name() override { return "Sheet1"; }
    void Activate() override {}
    void Select() override {}
    std::shared_ptr<excel::Range> Cells(Long r, Long c) override {
        return std::make_shared<FakeCell>(data, r, c);
    }
    std::shared_ptr<excel::Range> Range(const std::string&) override { Unused(); }
    std::shared_ptr<excel::Range> Range(const std::shared_ptr<excel::Range>&,
                                        const std::shared_ptr<excel::Range>&) override {
        Unused();
    }
    std::shared_ptr<excel::Range> Columns(Long) override { Unused(); }
    std::shared_ptr<excel::Shapes> Shapes() override { return std::make_shared<FakeShapes>(data); }
    std::shared_ptr<excel::Picture> Pictures(Long i) override {
        if (i < 1 || i > static_cast<Long>(data.pictures.size())) Raise(err::kSubscript);
        return data.pictures[static_cast<std::size_t>(i - 1)];
    }
    std::shared_ptr<excel::Application> Application() override { return app; }
};

class FakeApplication : public excel::Application {
  public:
    explicit FakeApplication(FakeSheet& sheet) : sheet_(sheet) {}
    std::string Caption() override { return "Excel"; }
    bool Visible() override { return true; }
    void SetVisible(bool) override {}
    bool ScreenUpdating() override { return sheet_.data.screenUpdating; }
    void SetScreenUpdating(bool u) override { sheet_.data.screenUpdating = u; }
    std::shared_ptr<excel::Workbooks> Workbooks() override { Unused(); }
    std::shared_ptr<excel::Workbook> ActiveWorkbook() override { return nullptr; }
    std::shared_ptr<excel::Worksheet> ActiveSheet() override { Unused(); }
    std::shared_ptr<excel::Range> ActiveCell() override { Unused(); }
    std::shared_ptr<excel::Range> Cells(Long r, Long c) override { return sheet_.Cells(r, c); }
    std::shared_ptr<excel::Range> Range(const std::string&) override { Unused(); }
    std::shared_ptr<excel::Range> Range(const std::shared_ptr<excel::Range>&,
                                        const std::shared_ptr<excel::Range>&) override {
        Unused();
    }
    std::shared_ptr<excel::Range> Columns(Long) override { Unused(); }
    std::string GetOpenFilename(const std::string&) override { Unused(); }

  private:
    FakeSheet& sheet_;
};

inline std::shared_ptr<FakeSheet> MakeFakeSheet() {
    auto sheet = std::make_shared<FakeSheet>();
    sheet->app = std::make_shared<FakeApplication>(*sheet);
    return sheet;
}

// A drawing shape with stated properties; an unset text frame raises like a line's.
struct FakeShapeData {
    Integer type = excel::msoAutoShape;
    Integer autoShapeType = excel::msoShapeRectangle;
    double top = 0, left = 0, height = 10, width = 10, rotation = 0;
    Long tlRow = 1, tlCol = 1;
    Integer hFlip = 0, vFlip = 0;
    std::vector<std::pair<Single, Single>> nodes;
    std::vector<double> adjustments;
    bool hasText = false;
    std::string text, fontName = "Arial";
    double fontSize = 11;
    Integer schemeColor = 9;
    Integer dash = 1;
    double weight = 0.75;
    Integer beginStyle = 1, beginWidth = 2, endStyle = 1, endWidth = 2;
};

class FakeShape : public excel::Shape {
  public:
    explicit FakeShape(FakeShapeData d) : d_(std::move(d)) {}
    std::string Name() override { return "Shape"; }
    Integer Type() override { return d_.type; }
    Integer AutoShapeType() override { return d_.autoShapeType; }
    double Top() override { return d_.top; }
    double Left() override { return d_.left; }
    double Height() override { return d_.height; }
    double Width() override { return d_.width; }
    std::shared_ptr<excel::Range> TopLeftCell() override {
        return std::make_shared<FakeCell>(dummy_, d_.tlRow, d_.tlCol);
    }
    double Rotation() override { return d_.rotation; }
    Integer HorizontalFlip() override { return d_.hFlip; }
    Integer VerticalFlip() override { return d_.vFlip; }
    std::shared_ptr<excel::ShapeNodes> Nodes() override;
    std::shared_ptr<excel::Adjustments> Adjustments() override;
    std::shared_ptr<excel::TextFrame> TextFrame() override;
    std::shared_ptr<excel::FillFormat> Fill() override;
    std::shared_ptr<excel::LineFormat> Line() override;

    FakeShapeData d_;

  private:
    FakeSheetData dummy_;
};

struct FakeNode : excel::ShapeNode {
    Single x, y;
    FakeNode(Single px, Single py) : x(px), y(py) {}
    Array2D<Single> Points() override {
        Array2D<Single> p(1, 1, 1, 2);
        p(1, 1) = x;
        p(1, 2) = y;
        return p;
    }
};
struct FakeNodes : excel::ShapeNodes {
    std::vector<std::pair<Single, Single>> n;
    Long Count() override { return static_cast<Long>(n.size()); }
    std::shared_ptr<excel::ShapeNode> Item(Long i) override {
        if (i < 1 || i > Count()) Raise(err::kInvalidCall);
        const auto& p = n[static_cast<std::size_t>(i - 1)];
        return std::make_shared<FakeNode>(p.first, p.second);
    }
};
struct FakeAdjustments : excel::Adjustments {
    std::vector<double> a;
    Long Count() override { return static_cast<Long>(a.size()); }
    double Item(Long i) override {
        if (i < 1 || i > Count()) Raise(err::kInvalidCall);
        return a[static_cast<std::size_t>(i - 1)];
    }
};
struct FakeFont : excel::Font {
    double size;
    std::string name;
    FakeFont(double s, std::string n) : size(s), name(std::move(n)) {}
    double Size() override { return size; }
    std::string Name() override { return name; }
};
struct FakeCharacters : excel::Characters {
    FakeShapeData& d;
    explicit FakeCharacters(FakeShapeData& data) : d(data) {}
    std::string Text() override { return d.text; }
    std::shared_ptr<excel::Font> Font() override {
        return std::make_shared<FakeFont>(d.fontSize, d.fontName);
    }
};
struct FakeTextFrame : excel::TextFrame {
    FakeShapeData& d;
    explicit FakeTextFrame(FakeShapeData& data) : d(data) {}
    std::shared_ptr<excel::Characters> Characters() override {
        return std::make_shared<FakeCharacters>(d);
    }
};
struct FakeColor : excel::ColorFormat {
    Integer c;
    explicit FakeColor(Integer v) : c(v) {}
    Integer SchemeColor() override { return c; }
};
struct FakeFill : excel::FillFormat {
    Integer c;
    explicit FakeFill(Integer v) : c(v) {}
    std::shared_ptr<excel::ColorFormat> ForeColor() override {
        return std::make_shared<FakeColor>(c);
    }
};
struct FakeLine : excel::LineFormat {
    FakeShapeData& d;
    explicit FakeLine(FakeShapeData& data) : d(data) {}
    Integer DashStyle() override { return d.dash; }
    double Weight() override { return d.weight; }
    Integer BeginArrowheadStyle() override { return d.beginStyle; }
    Integer BeginArrowheadWidth() override { return d.beginWidth; }
    Integer EndArrowheadStyle() override { return d.endStyle; }
    Integer EndArrowheadWidth() override { return d.endWidth; }
};

inline std::shared_ptr<excel::ShapeNodes> FakeShape::Nodes() {
    auto n = std::make_shared<FakeNodes>();
    n->n = d_.nodes;
    return n;
}
inline std::shared_ptr<excel::Adjustments> FakeShape::Adjustments() {
    auto a = std::make_shared<FakeAdjustments>();
    a->a = d_.adjustments;
    return a;
}
inline std::shared_ptr<excel::TextFrame> FakeShape::TextFrame() {
    if (!d_.hasText) Raise(err::kApplicationDefined, "The shape has no text frame");
    return std::make_shared<FakeTextFrame>(d_);
}
inline std::shared_ptr<excel::FillFormat> FakeShape::Fill() {
    return std::make_shared<FakeFill>(d_.schemeColor);
}
inline std::shared_ptr<excel::LineFormat> FakeShape::Line() {
    return std::make_shared<FakeLine>(d_);
}

struct FakePicture : excel::Picture {
    double top, left, height, width;
    Long row, col;
    FakePicture(double t, double l, double h, double w, Long r, Long c)
        : top(t), left(l), height(h), width(w), row(r), col(c) {}
    std::string Name() override { return "Picture"; }
    double Top() override { return top; }
    double Left() override { return left; }
    double Height() override { return height; }
    double Width() override { return width; }
    std::shared_ptr<excel::Range> TopLeftCell() override {
        return std::make_shared<FakeCell>(dummy, row, col);
    }
    FakeSheetData dummy;
};

}  // namespace tbln::testing
