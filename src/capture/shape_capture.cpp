#include "capture/shape_capture.hpp"

#include <string_view>
#include <vector>

#include "capture/capture_range.hpp"
#include "common/paths.hpp"
#include "core/error.hpp"
#include "core/unicode.hpp"

namespace tbln {

namespace {

template <class T>
void Placeholder(Array<std::shared_ptr<T>>& array) {
    array.ReDim(1, 1);
    array(1) = std::make_shared<T>();
    array(1)->top = kNothingFoundTop;
}

struct Point {
    Single x, y;
};
Point NodePoint(excel::Shape& shape, Long node) {
    const auto points = shape.Nodes()->Item(node)->Points();
    return {points(1, 1), points(1, 2)};
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t hit = text.find(separator, pos);
        if (hit == std::string_view::npos) {
            parts.push_back(text.substr(pos));
            return parts;
        }
        parts.push_back(text.substr(pos, hit - pos));
        pos = hit + 1;
    }
}

}  // namespace

Integer LineSlope(excel::Shape& shape) {
    const Point p = NodePoint(shape, 1);
    const Point q = NodePoint(shape, 2);
    if ((p.x < q.x && p.y > q.y) || (p.x > q.x && p.y < q.y)) return 1;
    return -1;
}

void CaptureShapes(Module& m) {
    // The last capture's shapes never survive into this one, even when Excel cannot
    // list the sheet's shapes: the placeholder stands until the first record replaces it.
    Placeholder(m.xlsShape);
    auto shapes = m.xlSheet->Shapes();
    const Long n = shapes->Count();
    if (n < 1) {
        Placeholder(m.xlsShape);
        return;
    }
    const ProgressDisplay progress = RunningProgress(m);
    progress.bar.SetMax(n);
    progress.bar.SetMin(0);
    progress.bar.SetPosition(0);
    progress.percent.SetCaption("0%");
    m.ports.ui.DoEvents();

    Long count = 0;
    for (Long i = 1; i <= n; ++i) {
        auto shape = shapes->Item(i);
        const Integer type = shape->Type();
        if (type != excel::msoAutoShape && type != excel::msoLine && type != excel::msoTextBox) {
            continue;
        }
        if (shape->Height() == 0 && shape->Width() == 0) continue;
        ++count;
        // Extending the array keeps the records stored so far.
        MyShapeArray grown(1, count);
        for (Long k = 1; k < count; ++k) grown(k) = m.xlsShape(k);
        // (At count 1 the placeholder is dropped.)
        m.xlsShape = std::move(grown);
        auto record = std::make_shared<MyShape>();
        m.xlsShape(count) = record;
        MyShape& s = *record;

        const Integer autoShapeType = shape->AutoShapeType();
        s.top = static_cast<Single>(shape->Top());
        s.left = static_cast<Single>(shape->Left());
        s.height = static_cast<Single>(shape->Height());
        s.width = static_cast<Single>(shape->Width());
        auto corner = shape->TopLeftCell();
        s.TLRow = corner->Row();
        s.TLCol = corner->Column();
        s.rotation = ToInteger(shape->Rotation());
        s.shapeType = type;
        s.autoShapeType = autoShapeType;
        if (type == excel::msoLine) {
            const Point p = NodePoint(*shape, 1);
            const Point q = NodePoint(*shape, 2);
            s.startX = p.x;
            s.startY = p.y;
            s.endX = q.x;
            s.endY = q.y;
        }
        if (type == excel::msoAutoShape && autoShapeType == excel::msoShapeRoundedRectangle) {
            s.cnrRadius = shape->Adjustments()->Item(1);
        }
        if (s.shapeType == excel::msoLine) s.slope = LineSlope(*shape);
        if (s.autoShapeType == excel::msoShapeArc) {
            s.hor = shape->HorizontalFlip();
            s.ver = shape->VerticalFlip();
        }

        // From here on a property that cannot be read keeps its field.
        ErrorTrap trap;
        std::shared_ptr<excel::Characters> characters;
        std::string text;
        trap.Run([&] {
            characters = shape->TextFrame()->Characters();
            text = characters->Text();
        });
        s.text = text;
        if (characters) {
            trap.Run([&] { s.fontsize = static_cast<Single>(characters->Font()->Size()); });
            trap.Run([&] { s.FontName = characters->Font()->Name(); });
        }
        trap.Run([&] { s.fill = shape->Fill()->ForeColor()->SchemeColor() == 8; });
        trap.Run([&] { s.lineType = shape->Line()->DashStyle(); });
        trap.Run([&] { s.lineWei = static_cast<Single>(shape->Line()->Weight()); });
        if (s.shapeType == excel::msoLine) {
            trap.Run([&] { s.beginSize = shape->Line()->BeginArrowheadWidth(); });
            trap.Run([&] { s.beginStyle = shape->Line()->BeginArrowheadStyle(); });
            trap.Run([&] { s.endSize = shape->Line()->EndArrowheadWidth(); });
            trap.Run([&] { s.endStyle = shape->Line()->EndArrowheadStyle(); });
        } else {
            s.beginStyle = 1;
            s.endStyle = 1;
        }

        Long pos = progress.bar.Position() + 1;
        if (pos > n) pos = 0;
        progress.bar.SetPosition(pos);
        progress.Refresh();
        m.ports.ui.DoEvents();
    }
    if (count == 0) Placeholder(m.xlsShape);
}

void CapturePictures(Module& m) {
    auto& sys = m.ports.sys;
    const std::string file = paths::ReaderFile(sys, "image.txt");
    const std::string text = sys.ReadFile(file);
    const auto lines = Split(text, '\n');
    Integer count = 0;
    try {
        count = ToInteger(lines[0]);
    } catch (const RuntimeError&) {
        Raise(err::kTypeMismatch,
              file + " line 1: \"" + std::string(lines[0]) + "\" is not a number of pictures");
    }
    // A list of no pictures is the sheet without pictures.
    if (count < 1) {
        Placeholder(m.xlsImage);
        return;
    }
    m.xlsImage.ReDim(1, count);
    for (Long i = 1; i <= count; ++i) {
        auto image = std::make_shared<MyImage>();
        m.xlsImage(i) = image;
        if (static_cast<std::size_t>(i) >= lines.size()) {
            Raise(err::kSubscript, file + " line " + std::to_string(i + 1) + " is missing");
        }
        const auto fields = Split(lines[static_cast<std::size_t>(i)], '*');
        if (fields.size() < 2) {
            Raise(err::kSubscript,
                  file + " line " + std::to_string(i + 1) + ": the picture's name is missing");
        }
        Integer index = 0;
        try {
            index = ToInteger(fields[0]);
        } catch (const RuntimeError&) {
            Raise(err::kTypeMismatch, file + " line " + std::to_string(i + 1) + ": \"" +
                                          std::string(fields[0]) + "\" is not a picture number");
        }
        auto picture = m.xlSheet->Pictures(index);
        image->top = static_cast<Single>(picture->Top());
        image->left = static_cast<Single>(picture->Left());
        auto corner = picture->TopLeftCell();
        image->TLCol = corner->Column();
        image->TLRow = corner->Row();
        image->height = static_cast<Single>(picture->Height());
        image->width = static_cast<Single>(picture->Width());
        image->name = ValidUtf8(fields[1]);
    }
}

}  // namespace tbln
