// The DXF backend of the drawing room: writes the primitives as an AutoCAD 2000 DXF file
// through dxflib (GPL-2; linked into the reference host program only, never into the
// library). Texts are MTEXT in the host's formatted-text codes, one text style per font,
// one layer per kind, lineweights and line types per pen, fills as solid hatches (white
// ones left out: they are the paper's own white, and CAD shows them as slabs on its
// dark model space), pictures as IMAGE entities referring to picture files (a DXF never
// holds the picture).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "drawing/drawing.hpp"

namespace tbln::dxf {

// How the drawing names a picture's file in its image definition (a path relative to the
// drawing's folder is looked up there) and the picture's width and height in pixels, when
// they can be read.
struct PictureFile {
    std::string name;
    std::optional<std::pair<int, int>> pixels;
};
using ReferToPicture = std::function<PictureFile(const std::string& path)>;

// Writes the DXF text to `out`, which the caller opened and commits; End flushes it and
// raises std::runtime_error when anything could not be written. With `measure`, texts
// are laid out and cut to what fits with those metrics, since a CAD program cannot clip
// them. Each picture's file is named as `refer` says; without it, by its own path. A
// picture whose size in pixels is not known gets four pixels a drawing unit.
class DxfSink : public drawing::Sink {
  public:
    explicit DxfSink(std::ostream& out, drawing::MeasureRun measure = {},
                     ReferToPicture refer = {});
    ~DxfSink() override;
    void Begin(const drawing::Frame& frame) override;
    void Draw(const drawing::Line& line) override;
    void Draw(const drawing::Path& path) override;
    void Draw(const drawing::Ellipse& ellipse) override;
    void Draw(const drawing::Fill& fill) override;
    void Draw(const drawing::Text& text) override;
    void Draw(const drawing::Image& image) override;
    void End() override;
    std::optional<double> TextWidth(const drawing::Text& style, std::string_view run) override;
    // CAD's line spacing: five thirds of the text height.
    double LineHeight(const drawing::Text& style) override;
    bool Clips() const override { return false; }

  private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace tbln::dxf
