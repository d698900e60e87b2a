#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "adapters/cairo/cairo_drawing.hpp"

namespace {

using namespace tbln;

// A PNG's width and height, from its header.
std::pair<std::uint32_t, std::uint32_t> PngSize(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char header[24] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    const auto big = [&](int at) {
        return std::uint32_t{header[at]} << 24 | std::uint32_t{header[at + 1]} << 16 |
               std::uint32_t{header[at + 2]} << 8 | header[at + 3];
    };
    return {big(16), big(20)};
}

TEST(CairoPng, ADrawingTallerThanAnImageMayBeIsDrawnWithFewerPixels) {
    // One A4 page is drawn at 2 pixels a point with its 14 pt margins; twenty of them
    // one below the other (a long document's pages) would be 35,000 pixels high, more
    // than an image may have, and are drawn smaller in the same proportions.
    const auto dir = std::filesystem::temp_directory_path() / "tbln_cairo_tests";
    std::filesystem::create_directories(dir);
    const double mm = 72 / 25.4, margin = 14;
    const struct {
        double pages;
        std::uint32_t width, height;
    } cases[] = {
        {1, static_cast<std::uint32_t>((210 * mm + 2 * margin) * 2),
         static_cast<std::uint32_t>((297 * mm + 2 * margin) * 2)},
        {20,
         static_cast<std::uint32_t>((210 * mm + 2 * margin) * 32767 / (20 * 297 * mm + 2 * margin)),
         32767},
    };
    for (const auto& c : cases) {
        const auto path = dir / "tall.png";
        {
            std::ofstream out(path, std::ios::binary);
            cairo::CairoSink sink(out, cairo::Format::Png, [](const std::string&, bool, bool) {
                return drawing::FontFile{};
            });
            drawing::Frame frame;
            frame.min = {0, -297 * c.pages};
            frame.max = {210, 0};
            sink.Begin(frame);
            sink.End();
        }
        const auto [width, height] = PngSize(path);
        EXPECT_EQ(width, c.width) << c.pages;
        EXPECT_EQ(height, c.height) << c.pages;
    }
    std::filesystem::remove_all(dir);
}

TEST(CairoPdf, ADrawingOfPagesHasAPageForEachAtItsSize) {
    std::ostringstream out;
    {
        cairo::CairoSink sink(out, cairo::Format::Pdf,
                              [](const std::string&, bool, bool) { return drawing::FontFile{}; });
        drawing::Frame frame;
        frame.pages = 3;
        frame.pageHeight = 11 * 25.4;
        frame.pageGap = 10;
        frame.min = {0, -3 * frame.pageHeight - 2 * frame.pageGap};
        frame.max = {8.5 * 25.4, 0};
        sink.Begin(frame);
        sink.NextPage();
        sink.NextPage();
        sink.End();
    }
    const std::string pdf = out.str();
    std::size_t pages = 0;
    for (auto at = pdf.find("/MediaBox [ 0 0 612 792 ]"); at != std::string::npos;
         at = pdf.find("/MediaBox [ 0 0 612 792 ]", at + 1)) {
        ++pages;
    }
    EXPECT_EQ(pages, 3u) << pdf.substr(0, 2000);
}

}  // namespace
