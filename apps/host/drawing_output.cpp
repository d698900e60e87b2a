#include "apps/host/drawing_output.hpp"

#include <cmath>
#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "adapters/cairo/cairo_drawing.hpp"
#include "adapters/dxf/dxf_drawing.hpp"
#include "adapters/fonts/font_metrics.hpp"
#include "common/paths.hpp"
#include "core/numeric.hpp"

namespace tbln::host {

namespace {

drawing::Options DrawingOptions(const Options& options) {
    drawing::Options o;
    if (options.Has("scale")) {
        const std::string text = options.Get("scale");
        const double scale = ParseDecimal(text).value_or(0);
        if (!(scale > 0) || !std::isfinite(scale)) {
            throw UsageError("--scale " + text +
                             " is not a positive number of drawing units per millimetre");
        }
        o.unitsPerMm = scale;
    }
    return o;
}

// Forwards everything and marks the revisions just before the drawing ends.
class RevisionSink : public drawing::Sink {
  public:
    RevisionSink(drawing::Sink& inner, const std::vector<drawing::CellBox>& marks)
        : inner_(inner), marks_(marks) {}
    void Begin(const drawing::Frame& f) override { inner_.Begin(f); }
    void Draw(const drawing::Line& x) override { inner_.Draw(x); }
    void Draw(const drawing::Path& x) override { inner_.Draw(x); }
    void Draw(const drawing::Ellipse& x) override { inner_.Draw(x); }
    void Draw(const drawing::Fill& x) override { inner_.Draw(x); }
    void Draw(const drawing::Text& x) override { inner_.Draw(x); }
    void Draw(const drawing::Image& x) override { inner_.Draw(x); }
    void NextPage() override { inner_.NextPage(); }
    void End() override {
        drawing::DrawRevisionMarks(marks_, inner_);
        inner_.End();
    }

  private:
    drawing::Sink& inner_;
    const std::vector<drawing::CellBox>& marks_;
};

// Runs `draw` once for every output file the options name.
void ForEachOutput(const Options& options, const std::function<void(drawing::Sink&)>& draw) {
    fonts::FontMetrics metrics;
    const drawing::FindFont find = [&](const std::string& family, bool bold, bool italic) {
        drawing::FontFile file;
        file.path = metrics.FontFile(family, bold, italic, file.index);
        return file;
    };
    const std::pair<const char*, std::function<std::unique_ptr<drawing::Sink>(std::string)>>
        kinds[] = {
            {"dxf", [&](std::string p) { return std::make_unique<dxf::DxfSink>(std::move(p)); }},
            {"pdf",
             [&](std::string p) {
                 return std::make_unique<cairo::CairoSink>(std::move(p), cairo::Format::Pdf, find);
             }},
            {"svg",
             [&](std::string p) {
                 return std::make_unique<cairo::CairoSink>(std::move(p), cairo::Format::Svg, find);
             }},
            {"png",
             [&](std::string p) {
                 return std::make_unique<cairo::CairoSink>(std::move(p), cairo::Format::Png, find);
             }},
        };
    for (const auto& [name, make] : kinds) {
        if (!options.Has(name)) continue;
        try {
            auto sink = make(options.Get(name));
            draw(*sink);
        } catch (const std::runtime_error& e) {
            throw UsageError(e.what());
        }
    }
}

// False, after saying so, when the entry point did not complete and drawings were asked for.
bool Completed(const Options& options, Boolean result) {
    if (result != False) return true;
    for (const char* name : {"dxf", "pdf", "svg", "png"}) {
        if (options.Has(name)) {
            std::cerr << "tbln: no drawing written: the import did not complete\n";
            break;
        }
    }
    return false;
}

}  // namespace

void WriteCaptureDrawings(Host& host, const Options& options, Boolean result,
                          const MyCellArray& cells, const MyShapeArray& shapes,
                          const MyImageArray& images, Integer startRow, Integer endRow,
                          Integer startCol, Integer endCol,
                          const std::vector<std::pair<Integer, Integer>>& revisions) {
    const drawing::Options o = DrawingOptions(options);
    if (!Completed(options, result)) return;
    const drawing::Capture capture{cells,  shapes,   images, startRow,
                                   endRow, startCol, endCol, paths::PicturesFolder(host.sys)};
    const auto marks = drawing::BoxesOf(capture, o, revisions);
    ForEachOutput(options, [&](drawing::Sink& sink) {
        RevisionSink marked(sink, marks);
        drawing::DrawCapture(capture, o, marked);
    });
}

void WriteWordDrawings(const Options& options, Boolean result, const WordLineArray& lines,
                       Integer pages, Single pageWidth, Single pageHeight) {
    const drawing::Options o = DrawingOptions(options);
    if (!Completed(options, result)) return;
    ForEachOutput(options, [&](drawing::Sink& sink) {
        drawing::DrawWordLines(lines, pages, pageWidth, pageHeight, o, sink);
    });
}

}  // namespace tbln::host
