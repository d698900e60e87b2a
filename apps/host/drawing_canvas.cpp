#include "apps/host/drawing_canvas.hpp"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "adapters/workbook/cell_format.hpp"
#include "apps/host/cells_drawing.hpp"

namespace tbln::host {

namespace {

// The canvas opens at the drawing's true size on a screen of 96 pixels an inch.
constexpr double kTrueSize = 96 / 25.4;
constexpr double kMinZoom = 0.01, kMaxZoom = 200;
// Room kept between an import and the one drawn below it, and around the one in view.
constexpr double kGapMm = 10;
// Far above any drawing: a part to show that holds nothing.
constexpr double kNowhere = 1e300;
// A press that moves less than this many pixels is a click, not a drag.
constexpr double kClickSlack = 4;

// Forwards the primitives of a drawing moved by `by`, within a drawing that has begun.
class MovedSink : public drawing::Sink {
  public:
    MovedSink(drawing::Sink& inner, drawing::Point by) : inner_(inner), by_(by) {}
    void Begin(const drawing::Frame&) override {}
    void End() override {}
    void Draw(const drawing::Line& x) override {
        auto y = x;
        Move(y.from);
        Move(y.to);
        inner_.Draw(y);
    }
    void Draw(const drawing::Path& x) override {
        auto y = x;
        for (auto& p : y.points) Move(p);
        inner_.Draw(y);
    }
    void Draw(const drawing::Ellipse& x) override {
        auto y = x;
        Move(y.center);
        inner_.Draw(y);
    }
    void Draw(const drawing::Fill& x) override {
        auto y = x;
        Move(y.topLeft);
        inner_.Draw(y);
    }
    void Draw(const drawing::Text& x) override {
        auto y = x;
        Move(y.topLeft);
        inner_.Draw(y);
    }
    void Draw(const drawing::Image& x) override {
        auto y = x;
        Move(y.topLeft);
        inner_.Draw(y);
    }
    std::optional<double> TextWidth(const drawing::Text& style, std::string_view run) override {
        return inner_.TextWidth(style, run);
    }
    double LineHeight(const drawing::Text& style) override { return inner_.LineHeight(style); }
    bool Clips() const override { return inner_.Clips(); }

  private:
    void Move(drawing::Point& p) const {
        p.x += by_.x;
        p.y += by_.y;
    }
    drawing::Sink& inner_;
    drawing::Point by_;
};

// Keeps the frame a drawing begins with and nothing else.
class FrameSink : public drawing::Sink {
  public:
    void Begin(const drawing::Frame& f) override { frame = f; }
    void Draw(const drawing::Line&) override {}
    void Draw(const drawing::Path&) override {}
    void Draw(const drawing::Ellipse&) override {}
    void Draw(const drawing::Fill&) override {}
    void Draw(const drawing::Text&) override {}
    void Draw(const drawing::Image&) override {}
    void End() override {}
    drawing::Frame frame;
};

}  // namespace

// An import as drawn: its records (a range's, or a document's lines), what the workbook
// showed of its cells when it was drawn, and its place.
struct DrawingCanvas::Import {
    std::shared_ptr<const CaptureCall> call;
    std::shared_ptr<const WordCall> word;
    std::string picturesFolder;
    drawing::LookOf looks;
    drawing::Point at;     // where the range's top-left corner lies on the canvas
    drawing::Frame frame;  // its extents about that corner
    std::vector<drawing::CellBox> marks;

    drawing::Capture Capture() const {
        drawing::Capture c{call->dgnCell0, call->xlsShape0, call->xlsImage0, call->startRow0,
                           call->endRow0,  call->startCol0, call->endCol0,   picturesFolder};
        c.looks = looks;
        return c;
    }
    // Draws it about its own corner; with `only`, what lies wholly outside that part may
    // be left out.
    void Draw(const drawing::Options& options, drawing::Sink& sink,
              const std::optional<drawing::Area>& only) const {
        if (word) {
            drawing::DrawWordLines(word->wordLines0, word->pageNum0, word->pageWid0, word->pageHei0,
                                   options, sink, only);
        } else {
            drawing::Capture c = Capture();
            c.only = only;
            drawing::DrawCapture(c, options, sink);
        }
        drawing::DrawRevisionMarks(marks, sink);
    }
};

DrawingCanvas::DrawingCanvas(drawing::FindFont findFont, QWidget* parent)
    : QWidget(parent), scale_(kTrueSize) {
    cache_.findFont = std::move(findFont);
    setObjectName("DrawingCanvas");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    setCursor(Qt::CrossCursor);
    view_ = {-kGapMm, kGapMm};
}

DrawingCanvas::~DrawingCanvas() = default;

void DrawingCanvas::Load(Import& import, std::shared_ptr<const CaptureCall> call, Book book,
                         const std::string& picturesFolder) {
    import.call = std::move(call);
    import.word.reset();
    import.picturesFolder = picturesFolder;
    // The engine's view of the cells (colours with their tints, what each one holds), as
    // the drawing outputs read it, kept as it is now: a drawing in place changes only
    // when it is drawn again from new records, whatever is later written into the
    // workbook.
    import.looks = {};
    const auto* sheet = book ? workbook::FindSheet(*book, import.call->sheetName0) : nullptr;
    const MyCellArray& cells = import.call->dgnCell0;
    if (sheet && cells.IsAllocated()) {
        import.looks = KeptCellLooks(*book, *sheet, cells.RowLower(), cells.RowUpper(),
                                     cells.ColLower(), cells.ColUpper());
    }
    import.frame = drawing::CaptureFrame(import.Capture(), options_);
    import.marks.clear();
}

drawing::Point DrawingCanvas::NextPlace() const {
    if (clicked_) return *clicked_;
    if (imports_.empty()) return {0, 0};
    const Import& last = *imports_.back();
    return {last.at.x, last.at.y + last.frame.min.y - kGapMm * options_.unitsPerMm};
}

void DrawingCanvas::Load(Import& import, std::shared_ptr<const WordCall> call) {
    import.word = std::move(call);
    // Its pages' extents, without a line drawn.
    FrameSink frame;
    import.Draw(options_, frame, drawing::Area{{0, kNowhere}, { 0, kNowhere }});
    import.frame = frame.frame;
}

std::size_t DrawingCanvas::Place(std::shared_ptr<const CaptureCall> call, Book book,
                                 const std::string& picturesFolder) {
    auto import = std::make_unique<Import>();
    Load(*import, std::move(call), std::move(book), picturesFolder);
    return Place(std::move(import));
}

std::size_t DrawingCanvas::Place(std::shared_ptr<const WordCall> call) {
    auto import = std::make_unique<Import>();
    Load(*import, std::move(call));
    return Place(std::move(import));
}

void DrawingCanvas::Redraw(std::size_t index, std::shared_ptr<const WordCall> call) {
    Load(*imports_.at(index), std::move(call));
    update();
}

std::size_t DrawingCanvas::Place(std::unique_ptr<Import> import) {
    import->at = NextPlace();
    clicked_.reset();
    // The new import comes into view from its top-left corner, as wide as the window
    // shows it between the drawing's true size and an eighth of it.
    const double width = import->frame.max.x - import->frame.min.x + 2 * kGapMm;
    if (width > 0 && this->width() > 0)
        scale_ = std::clamp(this->width() / width, kTrueSize / 8, kTrueSize);
    view_ = {import->at.x - kGapMm, import->at.y + kGapMm};
    imports_.push_back(std::move(import));
    update();
    return imports_.size() - 1;
}

void DrawingCanvas::Redraw(std::size_t index, std::shared_ptr<const CaptureCall> call, Book book,
                           const std::string& picturesFolder,
                           const std::vector<std::pair<Integer, Integer>>& changed) {
    Import& import = *imports_.at(index);
    Load(import, std::move(call), std::move(book), picturesFolder);
    import.marks = drawing::BoxesOf(import.Capture(), options_, changed);
    update();
}

void DrawingCanvas::DrawAll(drawing::Sink& sink) const {
    drawing::Frame all;
    all.unitsPerMm = options_.unitsPerMm;
    bool first = true;
    for (const auto& import : imports_) {
        drawing::Frame f = import->frame;
        if (import->word) {
            // A document's fonts are listed only by a drawing of all its lines.
            FrameSink whole;
            import->Draw(options_, whole, std::nullopt);
            f = whole.frame;
        }
        const drawing::Point min{f.min.x + import->at.x, f.min.y + import->at.y};
        const drawing::Point max{f.max.x + import->at.x, f.max.y + import->at.y};
        all.min =
            first ? min : drawing::Point{std::min(all.min.x, min.x), std::min(all.min.y, min.y)};
        all.max =
            first ? max : drawing::Point{std::max(all.max.x, max.x), std::max(all.max.y, max.y)};
        first = false;
        for (const auto& font : f.fonts) {
            if (std::find(all.fonts.begin(), all.fonts.end(), font) == all.fonts.end())
                all.fonts.push_back(font);
        }
    }
    sink.Begin(all);
    for (const auto& import : imports_) {
        MovedSink moved(sink, import->at);
        import->Draw(options_, moved, std::nullopt);
    }
    sink.End();
}

drawing::Point DrawingCanvas::CanvasPoint(QPointF pixel) const {
    return {view_.x + pixel.x() / scale_, view_.y - pixel.y() / scale_};
}

void DrawingCanvas::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF exposed = event->rect();
    const drawing::Point topLeft = CanvasPoint(exposed.topLeft());
    const drawing::Point bottomRight = CanvasPoint(exposed.bottomRight());
    for (const auto& import : imports_) {
        // The part in view, about the import's own corner.
        const drawing::Area only{{topLeft.x - import->at.x, bottomRight.y - import->at.y},
                                 {bottomRight.x - import->at.x, topLeft.y - import->at.y}};
        const auto& f = import->frame;
        if (only.max.x < f.min.x || only.min.x > f.max.x || only.max.y < f.min.y ||
            only.min.y > f.max.y) {
            continue;
        }
        qt::PainterSink sink(painter, scale_, {view_.x - import->at.x, view_.y - import->at.y},
                             cache_);
        import->Draw(options_, sink, only);
    }
    if (clicked_) {
        // Where the next import goes: a small cross.
        const QPointF p((clicked_->x - view_.x) * scale_, (view_.y - clicked_->y) * scale_);
        painter.setPen(QPen(Qt::red, 1));
        painter.drawLine(p - QPointF(6, 0), p + QPointF(6, 0));
        painter.drawLine(p - QPointF(0, 6), p + QPointF(0, 6));
    }
}

void DrawingCanvas::wheelEvent(QWheelEvent* event) {
    // Zooms about the point under the pointer, which stays where it is.
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) return;
    const QPointF at = event->position();
    const drawing::Point fixed = CanvasPoint(at);
    scale_ = std::clamp(scale_ * std::pow(1.25, steps), kMinZoom, kMaxZoom);
    view_ = {fixed.x - at.x() / scale_, fixed.y + at.y() / scale_};
    update();
    event->accept();
}

void DrawingCanvas::mousePressEvent(QMouseEvent* event) {
    pressed_ = dragged_ = event->position();
}

void DrawingCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (!dragged_) return;
    const QPointF now = event->position();
    const QPointF by = now - *dragged_;
    if (pressed_ && (now - *pressed_).manhattanLength() < kClickSlack) return;
    pressed_.reset();
    view_.x -= by.x() / scale_;
    view_.y += by.y() / scale_;
    dragged_ = now;
    update();
}

void DrawingCanvas::mouseReleaseEvent(QMouseEvent* event) {
    // A click (no drag) with the left button marks where the next import goes.
    if (pressed_ && event->button() == Qt::LeftButton) {
        clicked_ = CanvasPoint(event->position());
        update();
    }
    pressed_.reset();
    dragged_.reset();
}

}  // namespace tbln::host
