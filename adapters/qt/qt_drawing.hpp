// The drawing room's primitives painted through Qt, for a window that shows a drawing:
// the same picture the picture backend writes, at whatever size the window asks for.
// The caller places the drawing on the painter: so many pixels a drawing unit, and the
// drawing point that lands on the painter's origin; y grows upward in the drawing and
// downward on the painter. Each font is the file the caller's lookup finds (the one the
// picture backend draws with), else Qt's own match; Qt falls back for characters a font
// lacks.
#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <map>
#include <string>
#include <tuple>

#include "drawing/drawing.hpp"

namespace tbln::qt {

// What the window keeps between paintings: the font lookup, the fonts it found and the
// pictures decoded.
struct PaintCache {
    drawing::FindFont findFont;
    std::map<std::tuple<std::string, bool, bool>, QFont> fonts;
    std::map<std::string, QString> families;  // font file -> its family as Qt knows it
    std::map<std::string, QImage> pictures;
};

class PainterSink : public drawing::Sink {
  public:
    PainterSink(QPainter& painter, double pixelsPerUnit, drawing::Point origin, PaintCache& cache);
    // The frame gives the drawing unit's size for pens; the caller has placed the drawing.
    void Begin(const drawing::Frame& frame) override;
    void Draw(const drawing::Line& line) override;
    void Draw(const drawing::Path& path) override;
    void Draw(const drawing::Ellipse& ellipse) override;
    void Draw(const drawing::Fill& fill) override;
    void Draw(const drawing::Text& text) override;
    void Draw(const drawing::Image& image) override;
    void End() override {}
    std::optional<double> TextWidth(const drawing::Text& style, std::string_view run) override;

  private:
    QPointF At(drawing::Point p) const;
    const QFont& FontOf(const std::string& family, bool bold, bool italic);
    QPen PenOf(const drawing::Pen& pen) const;
    // Shows (or only measures) a run at `at` on the baseline, `size` pixels high; gives
    // its advance in pixels.
    double Run(const std::string& family, bool bold, bool italic, double size, const QString& text,
               QPointF at, bool show);

    QPainter& painter_;
    double scale_;  // pixels a drawing unit
    drawing::Point origin_;
    PaintCache& cache_;
    double unitsPerMm_ = 1;
};

}  // namespace tbln::qt
