// The picture backend of the drawing room: PDF, SVG and PNG through Cairo, each font
// read by FreeType from the file the document engine finds through fontconfig, and a
// character that font lacks from a font fontconfig finds that has it. One page holds the
// whole drawing at its true size (PNG at 144 pixels per inch, fewer where that would make
// an image longer than 32,767 pixels), white behind it; a drawing of pages (a Word
// document) has a PDF page for each of its pages, at the page's size. Pictures are embedded,
// decoded by gdk-pixbuf: PNG, JPEG, GIF, BMP and TIFF; a metafile (EMF, WMF) or any other file
// shows as a crossed frame.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "drawing/drawing.hpp"

namespace tbln::cairo {

enum class Format { Pdf, Svg, Png };

// The blank border, in points, that every picture leaves around the drawing: a host that
// places a picture by the drawing's corner offsets it by this much.
constexpr double kMarginPoints = 14;

struct PixelSize {
    int width = 0, height = 0;
    bool operator==(const PixelSize&) const = default;
};

// The size in pixels of a picture file of a format this backend draws, read from its
// header; nothing for any other file (missing, not a picture, a metafile).
std::optional<PixelSize> PicturePixels(const std::string& path);

// Writes the picture to `out`, which the caller opened and commits; End flushes it and
// raises std::runtime_error when anything could not be written.
class CairoSink : public drawing::Sink {
  public:
    CairoSink(std::ostream& out, Format format, drawing::FindFont findFont);
    ~CairoSink() override;
    void Begin(const drawing::Frame& frame) override;
    void Draw(const drawing::Line& line) override;
    void Draw(const drawing::Path& path) override;
    void Draw(const drawing::Ellipse& ellipse) override;
    void Draw(const drawing::Fill& fill) override;
    void Draw(const drawing::Text& text) override;
    void Draw(const drawing::Image& image) override;
    // A drawing of pages in a PDF starts its next page; SVG and PNG draw one picture.
    void NextPage() override;
    void End() override;
    // Measured with the font the text is drawn in; nothing before Begin.
    std::optional<double> TextWidth(const drawing::Text& style, std::string_view run) override;

  private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace tbln::cairo
