// The host window's drawing: every range imported, drawn as the host's macro draws it
// into the drawing (the drawing room's primitives, painted through Qt), one below the
// other or where the drafter clicked. The drafter pans it by dragging and zooms it with
// the wheel; only the part in view is drawn. Update draws an import again in place with
// its changed cells marked, and the whole drawing goes to the drawing outputs as one.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adapters/qt/qt_drawing.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "apps/host/entry_points.hpp"
#include "drawing/drawing.hpp"

namespace tbln::host {

class DrawingCanvas : public QWidget {
  public:
    // `findFont` finds the font files the picture backend draws with.
    explicit DrawingCanvas(drawing::FindFont findFont, QWidget* parent = nullptr);
    ~DrawingCanvas() override;

    // Draws an import (which completed) at the point clicked since the last one, else
    // below the last one, and brings it into view; gives its number. The drawing keeps
    // the records, which the host window shares, and the looks of their cells as the
    // workbook they came from shows them now (null: the records alone are drawn).
    using Book = std::shared_ptr<const workbook::WorkbookModel>;
    std::size_t Place(std::shared_ptr<const CaptureCall> call, Book book,
                      const std::string& picturesFolder);
    // The same for a document's lines, page by page.
    std::size_t Place(std::shared_ptr<const WordCall> call);
    // Draws import `index` again from its new records, in place, with `changed` cells
    // marked.
    void Redraw(std::size_t index, std::shared_ptr<const CaptureCall> call, Book book,
                const std::string& picturesFolder,
                const std::vector<std::pair<Integer, Integer>>& changed);
    void Redraw(std::size_t index, std::shared_ptr<const WordCall> call);
    bool Empty() const { return imports_.empty(); }
    // The whole drawing, every import at its place, into one sink.
    void DrawAll(drawing::Sink& sink) const;

    // The view: pixels a drawing unit, and the drawing point at the window's top-left.
    double Zoom() const { return scale_; }
    drawing::Point ViewOrigin() const { return view_; }
    // Where the next import goes: the point clicked, else below the last import.
    drawing::Point NextPlace() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    struct Import;
    drawing::Point CanvasPoint(QPointF pixel) const;
    void Load(Import& import, std::shared_ptr<const CaptureCall> call, Book book,
              const std::string& picturesFolder);
    void Load(Import& import, std::shared_ptr<const WordCall> call);
    std::size_t Place(std::unique_ptr<Import> import);

    std::vector<std::unique_ptr<Import>> imports_;
    drawing::Options options_;
    double scale_;
    drawing::Point view_;
    std::optional<drawing::Point> clicked_;
    std::optional<QPointF> pressed_, dragged_;
    qt::PaintCache cache_;
};

}  // namespace tbln::host
