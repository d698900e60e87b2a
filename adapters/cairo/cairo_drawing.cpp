#include "adapters/cairo/cairo_drawing.hpp"

#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdint>
#include <map>
#include <numbers>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <tuple>
#include <vector>

#include "core/unicode.hpp"

namespace tbln::cairo {

using namespace drawing;

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr double kPngPixelsPerPoint = 2;
// The longest side an image surface may have: a longer drawing (a long document's pages)
// is drawn with fewer pixels a point.
constexpr double kPngMaxPixels = 32767;

void SetColor(cairo_t* cr, Rgb c) {
    cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0);
}

// The formats a workbook's pictures come in that gdk-pixbuf decodes, by its names for
// them. Its other loaders (icons, vector images) are never asked to read a workbook's file.
constexpr std::string_view kPictureFormats[] = {"png", "jpeg", "gif", "bmp", "tiff"};
// A picture with more pixels is not decoded: a small file may claim an enormous image.
constexpr double kMaxPicturePixels = 50e6;

// The picture's size from its header, when its format is one we decode.
std::optional<PixelSize> PictureHeader(const std::string& path) {
    int width = 0, height = 0;
    GdkPixbufFormat* format = gdk_pixbuf_get_file_info(path.c_str(), &width, &height);
    if (!format || width <= 0 || height <= 0) return std::nullopt;
    gchar* name = gdk_pixbuf_format_get_name(format);
    const std::string_view formatName = name ? name : "";
    bool known = false;
    for (const auto f : kPictureFormats) known = known || f == formatName;
    g_free(name);
    if (!known) return std::nullopt;
    return PixelSize{width, height};
}

// The picture as a Cairo image surface, or nullptr when it cannot be decoded.
cairo_surface_t* DecodePicture(const std::string& path) {
    const auto size = PictureHeader(path);
    if (!size || static_cast<double>(size->width) * size->height > kMaxPicturePixels) {
        return nullptr;
    }
    GError* error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path.c_str(), &error);
    if (error) g_error_free(error);
    if (!pixbuf) return nullptr;
    const int width = gdk_pixbuf_get_width(pixbuf), height = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    cairo_surface_t* surface = nullptr;
    if (gdk_pixbuf_get_colorspace(pixbuf) == GDK_COLORSPACE_RGB &&
        gdk_pixbuf_get_bits_per_sample(pixbuf) == 8 && channels == (alpha ? 4 : 3)) {
        surface = cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24,
                                             width, height);
    }
    if (surface && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        // gdk-pixbuf's bytes are R, G, B (and A, not premultiplied); Cairo's are native
        // 32-bit words with the colour premultiplied by the alpha.
        cairo_surface_flush(surface);
        const guchar* from = gdk_pixbuf_read_pixels(pixbuf);
        const int fromStride = gdk_pixbuf_get_rowstride(pixbuf);
        unsigned char* to = cairo_image_surface_get_data(surface);
        const int toStride = cairo_image_surface_get_stride(surface);
        for (int y = 0; y < height; ++y) {
            const guchar* p = from + static_cast<std::ptrdiff_t>(y) * fromStride;
            auto* q =
                reinterpret_cast<std::uint32_t*>(to + static_cast<std::ptrdiff_t>(y) * toStride);
            for (int x = 0; x < width; ++x, p += channels) {
                const std::uint32_t a = alpha ? p[3] : 255;
                const auto pre = [a](std::uint32_t c) { return (c * a + 127) / 255; };
                q[x] = a << 24 | pre(p[0]) << 16 | pre(p[1]) << 8 | pre(p[2]);
            }
        }
        cairo_surface_mark_dirty(surface);
    } else if (surface) {
        cairo_surface_destroy(surface);
        surface = nullptr;
    }
    g_object_unref(pixbuf);
    return surface;
}

// Cairo's writer: the bytes go to the caller's stream.
cairo_status_t WriteToStream(void* closure, const unsigned char* data, unsigned int length) {
    auto& out = *static_cast<std::ostream*>(closure);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
    return out ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

std::optional<PixelSize> PicturePixels(const std::string& path) {
    return PictureHeader(path);
}

struct CairoSink::State {
    explicit State(std::ostream& o) : out(o) {}
    std::ostream& out;
    Format format;
    FindFont findFont;
    FT_Library library = nullptr;
    struct Face {
        cairo_font_face_t* cairo = nullptr;
        FT_Face ft = nullptr;  // owned by the Cairo face
    };
    std::map<std::tuple<std::string, bool, bool>, Face> faces;
    std::map<std::pair<std::string, int>, Face> fallbackFaces;  // by file and index
    std::map<std::tuple<std::string, bool, bool, char32_t>, Face> fallbackFor;
    FcConfig* fontconfig = nullptr;
    Frame frame;
    double margin = kMarginPoints;
    int page = 1;
    // The drawing's top on the current page: pages of a drawing of pages each start at
    // the top of their own page.
    double PageOffset() const {
        return frame.pageHeight > 0 && format == Format::Pdf
                   ? (page - 1) * (frame.pageHeight + frame.pageGap) * scale
                   : 0;
    }
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    double scale = 1;  // points per drawing unit
    double pixelsPerPoint = kPngPixelsPerPoint;

    double X(double x) const { return margin + (x - frame.min.x) * scale; }
    double Y(double y) const { return margin + (frame.max.y - y) * scale - PageOffset(); }
    void Stroke(const Pen& pen) const {
        SetColor(cr, pen.color);
        const double w = std::max(pen.width, 0.1) * kPointsPerMm;
        cairo_set_line_width(cr, w);
        std::vector<double> dashes;
        switch (pen.dash) {
            case Dash::Solid:
                break;
            case Dash::Dashed:
                dashes = {3 * w + 2, 2 * w + 1};
                break;
            case Dash::Dotted:
                dashes = {w, 2 * w};
                break;
            case Dash::DashDot:
                dashes = {4 * w + 2, 2 * w, w, 2 * w};
                break;
            case Dash::DashDotDot:
                dashes = {4 * w + 2, 2 * w, w, 2 * w, w, 2 * w};
                break;
        }
        cairo_set_dash(cr, dashes.data(), static_cast<int>(dashes.size()), 0);
        cairo_stroke(cr);
    }
    static Face OpenFace(FT_Library library, const FontFile& file) {
        Face face;
        if (file.path.empty() || !library ||
            FT_New_Face(library, file.path.c_str(), file.index, &face.ft) != 0) {
            return {};
        }
        face.cairo = cairo_ft_font_face_create_for_ft_face(face.ft, 0);
        static cairo_user_data_key_t key;
        // The FreeType face lives as long as Cairo's font face.
        cairo_font_face_set_user_data(face.cairo, &key, face.ft,
                                      [](void* p) { FT_Done_Face(static_cast<FT_Face>(p)); });
        return face;
    }
    Face FaceOf(const std::string& family, bool bold, bool italic) {
        auto& face = faces[{family, bold, italic}];
        if (!face.cairo && library && findFont)
            face = OpenFace(library, findFont(family, bold, italic));
        return face;
    }
    // Selects the font; falls back to Cairo's own choice when no file was found.
    bool SelectFont(const std::string& family, bool bold, bool italic) {
        const Face face = FaceOf(family, bold, italic);
        if (face.cairo) {
            cairo_set_font_face(cr, face.cairo);
            return true;
        }
        cairo_select_font_face(cr, family.c_str(),
                               italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                               bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
        return false;
    }
    // The face that draws a character the family's own face lacks, as fontconfig finds
    // it among the fonts nearest the family that have it (a CJK font for Chinese
    // characters); none when no installed font has it.
    Face FallbackFor(const std::string& family, bool bold, bool italic, char32_t c) {
        const auto key = std::tuple{family, bold, italic, c};
        if (const auto found = fallbackFor.find(key); found != fallbackFor.end()) {
            return found->second;
        }
        Face face;
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        // A configuration of our own, loaded at the first character that needs it and
        // released with the fonts, so that nothing of fontconfig outlives the picture.
        if (!fontconfig) fontconfig = FcInitLoadConfigAndFonts();
        FcConfigSubstitute(fontconfig, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcFontSet* set = FcFontSort(fontconfig, pattern, FcFalse, nullptr, &result);
        for (int i = 0; set && i < set->nfont; ++i) {
            FcCharSet* has = nullptr;
            FcChar8* file = nullptr;
            int index = 0;
            if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &has) != FcResultMatch ||
                !FcCharSetHasChar(has, static_cast<FcChar32>(c)) ||
                FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch) {
                continue;
            }
            FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
            auto& cached = fallbackFaces[{reinterpret_cast<const char*>(file), index}];
            if (!cached.cairo) {
                cached = OpenFace(library, {reinterpret_cast<const char*>(file), index});
            }
            face = cached;
            break;
        }
        if (set) FcFontSetDestroy(set);
        FcPatternDestroy(pattern);
        return fallbackFor[key] = face;
    }
    // Shows (or only measures) a run at the current point, each character in the family's
    // face or, where that face lacks it, in a face that has it; gives the run's advance.
    double ShowRun(const std::string& family, bool bold, bool italic, double size,
                   std::string_view text, bool show) {
        const Face own = FaceOf(family, bold, italic);
        double advance = 0;
        for (std::size_t i = 0; i < text.size();) {
            Face face;
            std::size_t j = i;
            for (bool first = true; j < text.size(); first = false) {
                std::size_t length = 1;
                const char32_t c = DecodeUtf8At(text, j, length);
                Face f = own;
                if (own.ft && c >= 0x20 && FT_Get_Char_Index(own.ft, c) == 0) {
                    const Face other = FallbackFor(family, bold, italic, c);
                    if (other.cairo) f = other;
                }
                if (!first && f.cairo != face.cairo) break;
                face = f;
                j += std::max<std::size_t>(length, 1);
            }
            const std::string piece(text.substr(i, j - i));
            if (face.cairo) {
                cairo_set_font_face(cr, face.cairo);
            } else {
                SelectFont(family, bold, italic);
            }
            cairo_set_font_size(cr, size);
            cairo_text_extents_t e;
            cairo_text_extents(cr, piece.c_str(), &e);
            if (show) cairo_show_text(cr, piece.c_str());
            advance += e.x_advance;
            i = j;
        }
        return advance;
    }
    void ReleaseFonts() {
        for (auto& [key, face] : faces) {
            if (face.cairo) cairo_font_face_destroy(face.cairo);
        }
        for (auto& [key, face] : fallbackFaces) {
            if (face.cairo) cairo_font_face_destroy(face.cairo);
        }
        faces.clear();
        fallbackFaces.clear();
        fallbackFor.clear();
        if (fontconfig) FcConfigDestroy(fontconfig);
        fontconfig = nullptr;
        // Cairo keeps fonts for the life of the program; with no Cairo object left they
        // are released, so that the FreeType library can go.
        cairo_debug_reset_static_data();
        if (library) FT_Done_FreeType(library);
        library = nullptr;
    }
};

CairoSink::CairoSink(std::ostream& out, Format format, FindFont findFont)
    : s_(std::make_unique<State>(out)) {
    s_->findFont = std::move(findFont);
    s_->format = format;
}

CairoSink::~CairoSink() {
    if (s_->cr) cairo_destroy(s_->cr);
    if (s_->surface) cairo_surface_destroy(s_->surface);
    s_->ReleaseFonts();
}

void CairoSink::Begin(const Frame& frame) {
    auto& s = *s_;
    s.frame = frame;
    s.scale = kPointsPerMm / (frame.unitsPerMm > 0 ? frame.unitsPerMm : 1);
    // Pages are drawn at their own size, without a margin around them; a PDF has a page
    // for each of them.
    s.margin = frame.pageHeight > 0 ? 0 : kMarginPoints;
    s.page = 1;
    const double w = (frame.max.x - frame.min.x) * s.scale + 2 * s.margin;
    const double h = (frame.pageHeight > 0 && s.format == Format::Pdf ? frame.pageHeight
                                                                      : frame.max.y - frame.min.y) *
                         s.scale +
                     2 * s.margin;
    switch (s.format) {
        case Format::Pdf:
            s.surface = cairo_pdf_surface_create_for_stream(WriteToStream, &s.out, w, h);
            break;
        case Format::Svg:
            s.surface = cairo_svg_surface_create_for_stream(WriteToStream, &s.out, w, h);
            break;
        case Format::Png:
            s.pixelsPerPoint = std::min(kPngPixelsPerPoint, kPngMaxPixels / std::max(w, h));
            s.surface = cairo_image_surface_create(
                CAIRO_FORMAT_RGB24, static_cast<int>(std::floor(w * s.pixelsPerPoint)),
                static_cast<int>(std::floor(h * s.pixelsPerPoint)));
            break;
    }
    if (cairo_surface_status(s.surface) != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error(std::string("cannot write the picture: ") +
                                 cairo_status_to_string(cairo_surface_status(s.surface)));
    }
    s.cr = cairo_create(s.surface);
    if (FT_Init_FreeType(&s.library) != 0) s.library = nullptr;
    if (s.format == Format::Png) cairo_scale(s.cr, s.pixelsPerPoint, s.pixelsPerPoint);
    cairo_set_source_rgb(s.cr, 1, 1, 1);
    cairo_paint(s.cr);
    cairo_set_line_cap(s.cr, CAIRO_LINE_CAP_SQUARE);
}

void CairoSink::NextPage() {
    auto& s = *s_;
    if (s.format != Format::Pdf || s.frame.pageHeight <= 0) return;
    cairo_show_page(s.cr);
    ++s.page;
    cairo_set_source_rgb(s.cr, 1, 1, 1);
    cairo_paint(s.cr);
}

void CairoSink::Draw(const Line& line) {
    auto& s = *s_;
    const double x1 = s.X(line.from.x), y1 = s.Y(line.from.y);
    const double x2 = s.X(line.to.x), y2 = s.Y(line.to.y);
    if (!line.pen.doubled) {
        cairo_move_to(s.cr, x1, y1);
        cairo_line_to(s.cr, x2, y2);
        s.Stroke(line.pen);
        return;
    }
    const double len = std::hypot(x2 - x1, y2 - y1);
    if (len <= 0) return;
    const double nx = -(y2 - y1) / len * 1.2, ny = (x2 - x1) / len * 1.2;
    Pen thin = line.pen;
    thin.width = 0.18;
    for (double side : {-1.0, 1.0}) {
        cairo_move_to(s.cr, x1 + side * nx, y1 + side * ny);
        cairo_line_to(s.cr, x2 + side * nx, y2 + side * ny);
        s.Stroke(thin);
    }
}

void CairoSink::Draw(const Path& path) {
    auto& s = *s_;
    if (path.points.empty()) return;
    const auto trace = [&] {
        cairo_move_to(s.cr, s.X(path.points[0].x), s.Y(path.points[0].y));
        for (const auto& p : path.points) cairo_line_to(s.cr, s.X(p.x), s.Y(p.y));
        if (path.closed) cairo_close_path(s.cr);
    };
    if (path.fill && path.closed) {
        trace();
        SetColor(s.cr, *path.fill);
        cairo_fill(s.cr);
    }
    trace();
    s.Stroke(path.pen);
}

void CairoSink::Draw(const Ellipse& e) {
    auto& s = *s_;
    if (e.rx <= 0 || e.ry <= 0) return;
    const double toRad = std::numbers::pi / 180;
    cairo_save(s.cr);
    cairo_translate(s.cr, s.X(e.center.x), s.Y(e.center.y));
    cairo_rotate(s.cr, -e.rotation * toRad);
    cairo_scale(s.cr, e.rx * s.scale, e.ry * s.scale);
    cairo_new_sub_path(s.cr);
    if (e.endAngle - e.startAngle >= 360) {
        cairo_arc(s.cr, 0, 0, 1, 0, 2 * std::numbers::pi);
    } else {
        cairo_arc_negative(s.cr, 0, 0, 1, -e.startAngle * toRad, -e.endAngle * toRad);
    }
    cairo_restore(s.cr);
    s.Stroke(e.pen);
}

void CairoSink::Draw(const Fill& fill) {
    auto& s = *s_;
    cairo_rectangle(s.cr, s.X(fill.topLeft.x), s.Y(fill.topLeft.y), fill.width * s.scale,
                    fill.height * s.scale);
    SetColor(s.cr, fill.color);
    cairo_fill(s.cr);
}

void CairoSink::Draw(const Text& t) {
    auto& s = *s_;
    cairo_t* cr = s.cr;
    cairo_save(cr);
    s.SelectFont(t.font, t.bold, t.italic);
    const double size = t.size * s.scale;
    cairo_set_font_size(cr, size);
    const double pad = t.inset * s.scale;
    const double boxW = t.width * s.scale, boxH = t.height * s.scale;
    const bool turned = t.rotation != 0;
    // Lay out in the box's own frame: its top-left corner at the origin, turned about
    // its centre for rotated text.
    cairo_translate(cr, s.X(t.topLeft.x) + boxW / 2, s.Y(t.topLeft.y) + boxH / 2);
    cairo_rotate(cr, -t.rotation * std::numbers::pi / 180);
    const double w = turned && std::abs(std::abs(t.rotation) - 90) < 1 ? boxH : boxW;
    const double h = turned && std::abs(std::abs(t.rotation) - 90) < 1 ? boxW : boxH;
    cairo_translate(cr, -w / 2, -h / 2);
    // Like the spreadsheet, what does not fit the box's height, or its width with the
    // empty neighbours the text may run into, is cut off.
    if (!turned) {
        const double left = t.spillLeft * s.scale, right = t.spillRight * s.scale;
        cairo_rectangle(cr, -left, 0, w + left + right, h);
        cairo_clip(cr);
    }

    // The drawing room has broken wrapped texts into lines.
    std::vector<std::string> lines;
    std::istringstream paragraphs(t.plain);
    std::string paragraph;
    while (std::getline(paragraphs, paragraph)) {
        if (!paragraph.empty() && paragraph.back() == '\r') paragraph.pop_back();
        lines.push_back(paragraph);
    }
    cairo_font_extents_t fe;
    cairo_font_extents(cr, &fe);
    if (!t.runs.empty()) {
        // A line of runs in their own styles; a justified one fills its width.
        SetColor(cr, t.color);
        ShowRuns(t, s.scale, pad, fe.ascent,
                 {[&](const TextRun& run, const std::string& family, double runSize,
                      std::string_view text, double x, double y, bool show) {
                      if (show) cairo_move_to(cr, x, y);
                      return s.ShowRun(family, run.bold, run.italic, runSize, text, show);
                  },
                  [&](double x0, double x1, double y, double runSize) {
                      SetColor(cr, t.color);
                      cairo_set_line_width(cr, std::max(0.5, runSize / 16));
                      cairo_move_to(cr, x0, y);
                      cairo_line_to(cr, x1, y);
                      cairo_stroke(cr);
                  }});
        cairo_restore(cr);
        return;
    }
    const double lineH = fe.height;
    const double blockH = lineH * static_cast<double>(lines.size());
    double y = t.vAlign == VAlign::Top      ? pad
               : t.vAlign == VAlign::Middle ? (h - blockH) / 2
                                            : h - pad - blockH;
    SetColor(cr, t.color);
    for (const auto& line : lines) {
        const double advance = s.ShowRun(t.font, t.bold, t.italic, size, line, false);
        const double x = t.hAlign == HAlign::Left     ? pad
                         : t.hAlign == HAlign::Center ? (w - advance) / 2
                                                      : w - pad - advance;
        const double baseline = y + fe.ascent;
        cairo_move_to(cr, x, baseline);
        s.ShowRun(t.font, t.bold, t.italic, size, line, true);
        if (t.underline) {
            cairo_set_line_width(cr, std::max(0.5, size / 16));
            cairo_move_to(cr, x, baseline + size / 8);
            cairo_line_to(cr, x + advance, baseline + size / 8);
            cairo_stroke(cr);
        }
        y += lineH;
    }
    cairo_restore(cr);
}

std::optional<double> CairoSink::TextWidth(const Text& style, std::string_view run) {
    auto& s = *s_;
    if (!s.cr) return std::nullopt;
    cairo_save(s.cr);
    const double advance =
        s.ShowRun(style.font, style.bold, style.italic, style.size * s.scale, run, false);
    cairo_restore(s.cr);
    return advance / s.scale;
}

void CairoSink::Draw(const Image& image) {
    auto& s = *s_;
    const double x = s.X(image.topLeft.x), y = s.Y(image.topLeft.y);
    const double w = image.width * s.scale, h = image.height * s.scale;
    cairo_surface_t* picture = DecodePicture(image.path);
    if (!picture) {
        // A picture that cannot be decoded (missing, a metafile) shows as a crossed frame.
        cairo_rectangle(s.cr, x, y, w, h);
        cairo_move_to(s.cr, x, y);
        cairo_line_to(s.cr, x + w, y + h);
        cairo_move_to(s.cr, x + w, y);
        cairo_line_to(s.cr, x, y + h);
        s.Stroke(Pen{0.18, Dash::Solid, false, {128, 128, 128}});
        return;
    }
    cairo_save(s.cr);
    cairo_translate(s.cr, x, y);
    cairo_scale(s.cr, w / cairo_image_surface_get_width(picture),
                h / cairo_image_surface_get_height(picture));
    cairo_set_source_surface(s.cr, picture, 0, 0);
    cairo_paint(s.cr);
    cairo_restore(s.cr);
    cairo_surface_destroy(picture);
}

void CairoSink::End() {
    auto& s = *s_;
    cairo_destroy(s.cr);
    s.cr = nullptr;
    cairo_status_t status = CAIRO_STATUS_SUCCESS;
    if (s.format == Format::Png) {
        status = cairo_surface_write_to_png_stream(s.surface, WriteToStream, &s.out);
    } else {
        cairo_surface_finish(s.surface);
        status = cairo_surface_status(s.surface);
    }
    cairo_surface_destroy(s.surface);
    s.surface = nullptr;
    s.ReleaseFonts();
    s.out.flush();
    if (status == CAIRO_STATUS_SUCCESS && !s.out) status = CAIRO_STATUS_WRITE_ERROR;
    if (status != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error(std::string("cannot write the picture: ") +
                                 cairo_status_to_string(status));
    }
}

}  // namespace tbln::cairo
