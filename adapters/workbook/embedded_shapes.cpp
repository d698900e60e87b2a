#include "adapters/workbook/embedded_shapes.hpp"

#include <algorithm>
#include <cmath>

#include "adapters/workbook/colour.hpp"
#include "adapters/workbook/sheet_geometry.hpp"
#include "core/error.hpp"

namespace tbln::workbook {

namespace {

// The cell (1-based) along one axis that holds a position, given the sizes of the
// cells; hidden cells (size 0) never hold one.
template <class Size>
Long CellAt(double position, Long count, Size size, Long first = 1, double start = 0) {
    for (Long i = first; i < count; ++i) {
        const double s = size(i);
        if (position + 1e-7 < start + s) return i;
        start += s;
    }
    return count;
}

[[noreturn]] void NoSuchItem(const char* what) {
    Raise(err::kApplicationDefined, std::string("The index into the specified collection is out "
                                                "of bounds (") +
                                        what + ")");
}

class ObjectRef {
  public:
    ObjectRef(SheetAccess access, std::size_t index) : access_(std::move(access)), index_(index) {}
    const DrawingObject& Object() const { return access_.model().drawing.objects.at(index_); }
    ShapeFrame Frame() const { return FrameOf(access_.book(), access_.model(), Object()); }
    std::shared_ptr<excel::Range> TopLeftCell() const {
        const auto f = Frame();
        return access_.sheet->Cells(f.row, f.col);
    }

  private:
    SheetAccess access_;
    std::size_t index_;
};

class FontImpl : public excel::Font {
  public:
    FontImpl(double size, std::string name) : size_(size), name_(std::move(name)) {}
    double Size() override { return size_; }
    std::string Name() override { return name_; }

  private:
    double size_;
    std::string name_;
};

class CharactersImpl : public excel::Characters {
  public:
    explicit CharactersImpl(const DrawingObject& o) : o_(o) {}
    std::string Text() override { return o_.text; }
    std::shared_ptr<excel::Font> Font() override {
        return std::make_shared<FontImpl>(o_.fontSize, o_.fontName);
    }

  private:
    DrawingObject o_;
};

class TextFrameImpl : public excel::TextFrame {
  public:
    explicit TextFrameImpl(const DrawingObject& o) : o_(o) {}
    std::shared_ptr<excel::Characters> Characters() override {
        return std::make_shared<CharactersImpl>(o_);
    }

  private:
    DrawingObject o_;
};

class ColorImpl : public excel::ColorFormat {
  public:
    explicit ColorImpl(std::uint32_t rgb) : rgb_(rgb) {}
    Integer SchemeColor() override { return SchemeColorOf(rgb_); }

  private:
    std::uint32_t rgb_;
};

class FillImpl : public excel::FillFormat {
  public:
    explicit FillImpl(std::uint32_t rgb) : rgb_(rgb) {}
    std::shared_ptr<excel::ColorFormat> ForeColor() override {
        return std::make_shared<ColorImpl>(rgb_);
    }

  private:
    std::uint32_t rgb_;
};

class LineImpl : public excel::LineFormat {
  public:
    explicit LineImpl(const DrawingObject& o) : o_(o) {}
    Integer DashStyle() override { return o_.dashStyle; }
    double Weight() override { return o_.lineWeight; }
    Integer BeginArrowheadStyle() override { return o_.beginArrowStyle; }
    Integer BeginArrowheadWidth() override { return o_.beginArrowWidth; }
    Integer EndArrowheadStyle() override { return o_.endArrowStyle; }
    Integer EndArrowheadWidth() override { return o_.endArrowWidth; }

  private:
    DrawingObject o_;
};

class NodeImpl : public excel::ShapeNode {
  public:
    NodeImpl(double x, double y) : x_(x), y_(y) {}
    Array2D<Single> Points() override {
        Array2D<Single> p(1, 1, 1, 2);
        p(1, 1) = static_cast<Single>(x_);
        p(1, 2) = static_cast<Single>(y_);
        return p;
    }

  private:
    double x_, y_;
};

class NodesImpl : public excel::ShapeNodes {
  public:
    NodesImpl(const DrawingObject& o, const ShapeFrame& f) : points_(NodePoints(o, f)) {}
    Long Count() override { return static_cast<Long>(points_.size()); }
    std::shared_ptr<excel::ShapeNode> Item(Long index) override {
        if (index < 1 || index > Count()) NoSuchItem("Nodes");
        const auto& p = points_[static_cast<std::size_t>(index - 1)];
        return std::make_shared<NodeImpl>(p.first, p.second);
    }

  private:
    std::vector<std::pair<double, double>> points_;
};

class AdjustmentsImpl : public excel::Adjustments {
  public:
    explicit AdjustmentsImpl(std::vector<double> values) : values_(std::move(values)) {}
    Long Count() override { return static_cast<Long>(values_.size()); }
    double Item(Long index) override {
        if (index < 1 || index > Count()) NoSuchItem("Adjustments");
        return values_[static_cast<std::size_t>(index - 1)];
    }

  private:
    std::vector<double> values_;
};

class ShapeImpl : public excel::Shape {
  public:
    explicit ShapeImpl(ObjectRef ref) : ref_(std::move(ref)) {}
    std::string Name() override { return O().name; }
    Integer Type() override { return O().type; }
    Integer AutoShapeType() override { return O().autoShapeType; }
    double Top() override { return ref_.Frame().top; }
    double Left() override { return ref_.Frame().left; }
    double Height() override { return ref_.Frame().height; }
    double Width() override { return ref_.Frame().width; }
    std::shared_ptr<excel::Range> TopLeftCell() override { return ref_.TopLeftCell(); }
    double Rotation() override { return O().rotation; }
    Integer HorizontalFlip() override { return O().flipH ? excel::msoTrue : excel::msoFalse; }
    Integer VerticalFlip() override { return O().flipV ? excel::msoTrue : excel::msoFalse; }
    std::shared_ptr<excel::ShapeNodes> Nodes() override {
        return std::make_shared<NodesImpl>(O(), ref_.Frame());
    }
    std::shared_ptr<excel::Adjustments> Adjustments() override {
        return std::make_shared<AdjustmentsImpl>(O().adjustments);
    }
    std::shared_ptr<excel::TextFrame> TextFrame() override {
        if (!O().hasTextFrame) {
            Raise(err::kApplicationDefined,
                  "The shape " + O().name + " has no text frame: it cannot hold text");
        }
        return std::make_shared<TextFrameImpl>(O());
    }
    std::shared_ptr<excel::FillFormat> Fill() override {
        return std::make_shared<FillImpl>(O().filled ? O().fillRgb : 0xFFFFFF);
    }
    std::shared_ptr<excel::LineFormat> Line() override { return std::make_shared<LineImpl>(O()); }

  private:
    const DrawingObject& O() const { return ref_.Object(); }
    ObjectRef ref_;
};

class ShapesImpl : public excel::Shapes {
  public:
    explicit ShapesImpl(SheetAccess access) : access_(std::move(access)) {}
    Long Count() override { return static_cast<Long>(access_.model().drawing.objects.size()); }
    std::shared_ptr<excel::Shape> Item(Long index) override {
        if (index < 1 || index > Count()) NoSuchItem("Shapes");
        return std::make_shared<ShapeImpl>(ObjectRef(access_, static_cast<std::size_t>(index - 1)));
    }

  private:
    SheetAccess access_;
};

class PictureImpl : public excel::Picture {
  public:
    explicit PictureImpl(ObjectRef ref) : ref_(std::move(ref)) {}
    std::string Name() override { return ref_.Object().name; }
    double Top() override { return ref_.Frame().top; }
    double Left() override { return ref_.Frame().left; }
    double Height() override { return ref_.Frame().height; }
    double Width() override { return ref_.Frame().width; }
    std::shared_ptr<excel::Range> TopLeftCell() override { return ref_.TopLeftCell(); }

  private:
    ObjectRef ref_;
};

}  // namespace

ShapeFrame FrameOf(const WorkbookModel& book, const SheetModel& sheet, const DrawingObject& o) {
    const auto& a = o.anchor;
    const auto width = [&](Long c) { return ColumnWidthPoints(book, sheet, c); };
    const auto height = [&](Long r) { return RowHeightPoints(book, sheet, r); };
    // A cell offset never reaches past its cell (a hidden cell has no room at all).
    const auto x = [&](Long col0, std::int64_t off) {
        return ColumnLeftPoints(book, sheet, col0 + 1) +
               std::min(static_cast<double>(off) / kEmuPerPoint, width(col0 + 1));
    };
    const auto y = [&](Long row0, std::int64_t off) {
        return RowTopPoints(book, sheet, row0 + 1) +
               std::min(static_cast<double>(off) / kEmuPerPoint, height(row0 + 1));
    };
    ShapeFrame f;
    switch (a.kind) {
        case DrawingAnchor::Kind::TwoCell:
            f.left = x(a.fromCol, a.fromColOff);
            f.top = y(a.fromRow, a.fromRowOff);
            f.width = std::max(0.0, x(a.toCol, a.toColOff) - f.left);
            f.height = std::max(0.0, y(a.toRow, a.toRowOff) - f.top);
            break;
        case DrawingAnchor::Kind::OneCell:
            f.left = x(a.fromCol, a.fromColOff);
            f.top = y(a.fromRow, a.fromRowOff);
            f.width = static_cast<double>(a.cx) / kEmuPerPoint;
            f.height = static_cast<double>(a.cy) / kEmuPerPoint;
            break;
        case DrawingAnchor::Kind::Absolute:
            f.left = static_cast<double>(a.x) / kEmuPerPoint;
            f.top = static_cast<double>(a.y) / kEmuPerPoint;
            f.width = static_cast<double>(a.cx) / kEmuPerPoint;
            f.height = static_cast<double>(a.cy) / kEmuPerPoint;
            break;
    }
    // Excel anchors a shape turned by a quarter turn (45 to 135 degrees, 225 to 315) by
    // its turned bounding box; its own frame has the same centre with the sides swapped.
    const double turn = std::fmod(o.rotation, 180.0);
    if (turn >= 45 && turn < 135) {
        const double cx = f.left + f.width / 2, cy = f.top + f.height / 2;
        std::swap(f.width, f.height);
        f.left = cx - f.width / 2;
        f.top = cy - f.height / 2;
        f.row = CellAt(f.top, kMaxRows, height);
        f.col = CellAt(f.left, kMaxCols, width);
    } else if (a.kind == DrawingAnchor::Kind::Absolute) {
        f.row = CellAt(f.top, kMaxRows, height);
        f.col = CellAt(f.left, kMaxCols, width);
    } else {
        // The corner lies in the anchor's cell, or past it when the offset fills the
        // cell (a hidden cell is never the corner's).
        f.row = CellAt(f.top, kMaxRows, height, a.fromRow + 1,
                       RowTopPoints(book, sheet, a.fromRow + 1));
        f.col = CellAt(f.left, kMaxCols, width, a.fromCol + 1,
                       ColumnLeftPoints(book, sheet, a.fromCol + 1));
    }
    return f;
}

std::vector<std::pair<double, double>> NodePoints(const DrawingObject& o, const ShapeFrame& f) {
    if (o.type != excel::msoLine) return {};
    double x1 = f.left, y1 = f.top, x2 = f.left + f.width, y2 = f.top + f.height;
    if (o.flipH) std::swap(x1, x2);
    if (o.flipV) std::swap(y1, y2);
    return {{x1, y1}, {x2, y2}};
}

Integer SchemeColorOf(std::uint32_t rgb) {
    const auto channel = [](std::uint32_t v, int shift) {
        return static_cast<int>((v >> shift) & 0xFF);
    };
    // The nearest colour of the default palette (ColorIndex 1 to 56, after the eight
    // fixed colours of the palette's first places).
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < 56; ++i) {
        std::uint32_t color = 0;
        PaletteColor(i + 8, color);
        long d = 0;
        for (int shift : {16, 8, 0}) {
            const long diff = channel(rgb, shift) - channel(color, shift);
            d += diff * diff;
        }
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return static_cast<Integer>(best + 1 + 7);
}

std::shared_ptr<excel::Shapes> CreateShapes(SheetAccess access) {
    return std::make_shared<ShapesImpl>(std::move(access));
}

std::shared_ptr<excel::Picture> CreatePicture(SheetAccess access, Long index) {
    const auto& objects = access.model().drawing.objects;
    Long seen = 0;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        // Linked pictures (type 11) are pictures too.
        if ((objects[i].type == excel::msoPicture || objects[i].type == 11) && ++seen == index)
            return std::make_shared<PictureImpl>(ObjectRef(std::move(access), i));
    }
    Raise(err::kApplicationDefined,
          "Unable to get the Pictures property of the Worksheet class: "
          "the sheet has no picture " +
              std::to_string(index));
}

}  // namespace tbln::workbook
