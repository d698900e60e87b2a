// The host window's drawing: an import painted through Qt is the picture the picture
// backend writes of it, a part painted alone is that part of the whole, and a drawing
// placed keeps its looks.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "adapters/cairo/cairo_drawing.hpp"
#include "adapters/fonts/font_metrics.hpp"
#include "adapters/qt/qt_drawing.hpp"
#include "adapters/workbook/workbook_model.hpp"
#include "apps/host/drawing_canvas.hpp"
#include "apps/host/entry_points.hpp"
#include "apps/host/reader_install.hpp"
#include "apps/lib/dialog_script.hpp"

namespace tbln {
namespace {

namespace fs = std::filesystem;

// The share of 6-pixel squares whose mean grey differs by more than a sixth between two
// pictures of one size.
double DifferentSquares(const QImage& a, const QImage& b, QRect within) {
    const QImage x = a.convertToFormat(QImage::Format_Grayscale8);
    const QImage y = b.convertToFormat(QImage::Format_Grayscale8);
    int squares = 0, different = 0;
    for (int top = within.top(); top + 6 <= within.bottom(); top += 6) {
        for (int left = within.left(); left + 6 <= within.right(); left += 6) {
            int sum = 0;
            for (int r = top; r < top + 6; ++r) {
                for (int c = left; c < left + 6; ++c)
                    sum += x.constScanLine(r)[c] - y.constScanLine(r)[c];
            }
            ++squares;
            if (std::abs(sum) / 36 > 255 / 6) ++different;
        }
    }
    return squares ? static_cast<double>(different) / squares : 1;
}

TEST(DrawingCanvas, AnImportPaintedIsThePictureOfIt) {
    const fs::path root = fs::temp_directory_path() / ("tbln-canvas-" + std::to_string(::getpid()));
    fs::create_directories(root);
    ::setenv("TBLN_READER", TBLN_READER_BINARY, 1);
    host::CaptureCall call;
    {
        host::Host h(root.string());
        host::InstallReader(h);
        script::RangeDialog(h.ui, TBLN_SOURCE_DIR "/examples/door_schedule.xlsx", "", "A1:H10");
        host::CallBuildCell(h, call);
    }
    fs::remove_all(root);
    ASSERT_EQ(call.result, True);
    const drawing::Capture capture{call.dgnCell0, call.xlsShape0, call.xlsImage0, call.startRow0,
                                   call.endRow0,  call.startCol0, call.endCol0,   ""};
    const drawing::Options options;

    // The picture backend's PNG: 2 pixels a point, a margin of 14 points.
    fonts::FontMetrics metrics;
    const drawing::FindFont find = [&](const std::string& family, bool bold, bool italic) {
        drawing::FontFile file;
        file.path = metrics.FontFile(family, bold, italic, file.index);
        return file;
    };
    std::ostringstream png;
    {
        cairo::CairoSink sink(png, cairo::Format::Png, find);
        drawing::DrawCapture(capture, options, sink);
    }
    const std::string bytes = png.str();
    const QImage picture = QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()),
                                            static_cast<int>(bytes.size()));
    ASSERT_FALSE(picture.isNull());

    // The same drawing painted through Qt at the same place and size.
    const drawing::Frame frame = drawing::CaptureFrame(capture, options);
    const double scale = 2 * 72 / 25.4, margin = 14 * 25.4 / 72;
    const drawing::Point origin{frame.min.x - margin, frame.max.y + margin};
    qt::PaintCache cache;
    cache.findFont = find;
    const auto paint = [&](const drawing::Capture& c) {
        QImage image(picture.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        qt::PainterSink sink(painter, scale, origin, cache);
        drawing::DrawCapture(c, options, sink);
        return image;
    };
    const QImage painted = paint(capture);
    const QRect all = picture.rect();
    EXPECT_LT(DifferentSquares(picture, painted, all), 0.03);
    // The comparison tells a misplaced drawing: the same one moved by a millimetre.
    const QImage moved = painted.copy(all.translated(0, static_cast<int>(scale)));
    EXPECT_GT(DifferentSquares(picture, moved, all), 0.05);

    // The top third alone, as a window showing it asks for it: the same pixels there,
    // and little drawn below it.
    drawing::Capture part = capture;
    const double third = frame.max.y - (frame.max.y - frame.min.y) / 3;
    part.only = drawing::Area{{frame.min.x, third}, {frame.max.x, frame.max.y}};
    const QImage top = paint(part);
    const int edge = static_cast<int>((origin.y - third) * scale);
    EXPECT_EQ(DifferentSquares(painted, top, {0, 0, all.width(), edge}), 0);
    const QRect below{0, edge + static_cast<int>(20 * scale), all.width(),
                      all.height() - edge - static_cast<int>(20 * scale)};
    EXPECT_GT(DifferentSquares(painted, top, below), 0.05);

    // On the host window's drawing, an import placed keeps the looks its workbook gave it
    // when the engine writes into that workbook afterwards: only an update redraws it.
    std::shared_ptr<workbook::WorkbookModel> book =
        workbook::LoadWorkbook(TBLN_SOURCE_DIR "/examples/door_schedule.xlsx");
    host::DrawingCanvas canvas(find);
    canvas.resize(600, 400);
    canvas.Place(std::make_shared<const host::CaptureCall>(call), book, "");
    const QImage placed = canvas.grab().toImage();
    for (auto& fill : book->fills) fill = {"solid", {false, 0xFF0000}, {}};
    book->formatViews.reset();
    EXPECT_EQ(canvas.grab().toImage(), placed);
}

}  // namespace
}  // namespace tbln
