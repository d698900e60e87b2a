#include "adapters/qt/qt_drawing.hpp"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImageReader>
#include <QPainterPath>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <vector>

namespace tbln::qt {

using namespace drawing;

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
// Texts are shaped at this many pixels and scaled to their size, so that any size, however
// small or fractional, keeps the proportions of the font.
constexpr double kShapedPixels = 100;
// The picture formats the picture backend draws; any other file shows as a crossed frame,
// as does a picture of more pixels than this (a small file may claim an enormous image).
constexpr const char* kPictureFormats[] = {"png", "jpeg", "jpg", "gif", "bmp", "tiff", "tif"};
constexpr double kMaxPicturePixels = 50e6;

QColor ColorOf(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

QImage Decode(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    const QByteArray format = reader.format().toLower();
    const bool known = std::any_of(std::begin(kPictureFormats), std::end(kPictureFormats),
                                   [&](const char* f) { return format == f; });
    const QSize size = reader.size();
    if (!known || !size.isValid() ||
        static_cast<double>(size.width()) * size.height() > kMaxPicturePixels) {
        return {};
    }
    return reader.read();
}

}  // namespace

PainterSink::PainterSink(QPainter& painter, double pixelsPerUnit, Point origin, PaintCache& cache)
    : painter_(painter), scale_(pixelsPerUnit), origin_(origin), cache_(cache) {}

const QFont& PainterSink::FontOf(const std::string& family, bool bold, bool italic) {
    auto [it, added] = cache_.fonts.try_emplace({family, bold, italic});
    if (!added) return it->second;
    QString name = QString::fromStdString(family);
    if (cache_.findFont) {
        const drawing::FontFile file = cache_.findFont(family, bold, italic);
        if (!file.path.empty()) {
            auto [known, first] = cache_.families.try_emplace(file.path);
            if (first) {
                const int id = QFontDatabase::addApplicationFont(QString::fromStdString(file.path));
                const QStringList names = QFontDatabase::applicationFontFamilies(id);
                if (!names.isEmpty()) known->second = names.front();
            }
            if (!known->second.isEmpty()) name = known->second;
        }
    }
    QFont font(name);
    font.setPixelSize(static_cast<int>(kShapedPixels));
    font.setBold(bold);
    font.setItalic(italic);
    font.setKerning(true);
    it->second = font;
    return it->second;
}

void PainterSink::Begin(const Frame& frame) {
    unitsPerMm_ = frame.unitsPerMm > 0 ? frame.unitsPerMm : 1;
}

QPointF PainterSink::At(Point p) const {
    return {(p.x - origin_.x) * scale_, (origin_.y - p.y) * scale_};
}

QPen PainterSink::PenOf(const Pen& pen) const {
    // Pen widths are millimetres on paper, as the picture backend draws them; a pen
    // thinner than a pixel is drawn one pixel wide, so that a table zoomed out keeps its
    // lines.
    const double pointPixels = scale_ * unitsPerMm_ / kPointsPerMm;
    const double width = std::max(pen.width, 0.1) * kPointsPerMm * pointPixels;
    QPen p(ColorOf(pen.color), width < 1 ? 0 : width);
    p.setCapStyle(Qt::SquareCap);
    const double w = width, pt = pointPixels;
    QList<qreal> dashes;
    switch (pen.dash) {
        case Dash::Solid:
            break;
        case Dash::Dashed:
            dashes = {3 * w + 2 * pt, 2 * w + pt};
            break;
        case Dash::Dotted:
            dashes = {w, 2 * w};
            break;
        case Dash::DashDot:
            dashes = {4 * w + 2 * pt, 2 * w, w, 2 * w};
            break;
        case Dash::DashDotDot:
            dashes = {4 * w + 2 * pt, 2 * w, w, 2 * w, w, 2 * w};
            break;
    }
    if (!dashes.isEmpty()) {
        // Qt counts a dash pattern in pen widths.
        const double unit = std::max(width, 1.0);
        for (auto& d : dashes) d = std::max(d / unit, 0.01);
        p.setDashPattern(dashes);
    }
    return p;
}

void PainterSink::Draw(const Line& line) {
    const QPointF a = At(line.from), b = At(line.to);
    if (!line.pen.doubled) {
        painter_.setPen(PenOf(line.pen));
        painter_.drawLine(a, b);
        return;
    }
    const double len = std::hypot(b.x() - a.x(), b.y() - a.y());
    if (len <= 0) return;
    // Two thin lines 1.2 points either side of the line.
    const double side = 1.2 * scale_ * unitsPerMm_ / kPointsPerMm;
    const QPointF n(-(b.y() - a.y()) / len * side, (b.x() - a.x()) / len * side);
    Pen thin = line.pen;
    thin.width = 0.18;
    painter_.setPen(PenOf(thin));
    painter_.drawLine(a - n, b - n);
    painter_.drawLine(a + n, b + n);
}

void PainterSink::Draw(const Path& path) {
    if (path.points.empty()) return;
    QPainterPath trace(At(path.points[0]));
    for (const auto& p : path.points) trace.lineTo(At(p));
    if (path.closed) trace.closeSubpath();
    if (path.fill && path.closed) painter_.fillPath(trace, ColorOf(*path.fill));
    painter_.strokePath(trace, PenOf(path.pen));
}

void PainterSink::Draw(const Ellipse& e) {
    if (e.rx <= 0 || e.ry <= 0) return;
    // Traced on the unit circle, then turned and stretched, so that the pen keeps its width.
    QPainterPath unit;
    const QRectF circle(-1, -1, 2, 2);
    if (e.endAngle - e.startAngle >= 360) {
        unit.addEllipse(circle);
    } else {
        unit.arcMoveTo(circle, e.startAngle);
        unit.arcTo(circle, e.startAngle, e.endAngle - e.startAngle);
    }
    QTransform place;
    const QPointF c = At(e.center);
    place.translate(c.x(), c.y());
    place.rotate(-e.rotation);
    place.scale(e.rx * scale_, e.ry * scale_);
    painter_.strokePath(place.map(unit), PenOf(e.pen));
}

void PainterSink::Draw(const Fill& fill) {
    const QPointF a = At(fill.topLeft);
    painter_.fillRect(QRectF(a.x(), a.y(), fill.width * scale_, fill.height * scale_),
                      ColorOf(fill.color));
}

double PainterSink::Run(const std::string& family, bool bold, bool italic, double size,
                        const QString& text, QPointF at, bool show) {
    const QFont font = FontOf(family, bold, italic);
    const double k = size / kShapedPixels;
    if (show) {
        painter_.save();
        painter_.translate(at);
        painter_.scale(k, k);
        painter_.setFont(font);
        painter_.drawText(QPointF(0, 0), text);
        painter_.restore();
    }
    return QFontMetricsF(font).horizontalAdvance(text) * k;
}

std::optional<double> PainterSink::TextWidth(const Text& style, std::string_view run) {
    const QString text = QString::fromUtf8(run.data(), static_cast<qsizetype>(run.size()));
    return QFontMetricsF(FontOf(style.font, style.bold, style.italic)).horizontalAdvance(text) *
           style.size / kShapedPixels;
}

void PainterSink::Draw(const Text& t) {
    painter_.save();
    const double size = t.size * scale_;
    const double pad = t.inset * scale_;
    const double boxW = t.width * scale_, boxH = t.height * scale_;
    const bool turned = t.rotation != 0;
    // Laid out in the box's own frame: its top-left corner at the origin, turned about
    // its centre for a turned text.
    const QPointF corner = At(t.topLeft);
    painter_.translate(corner.x() + boxW / 2, corner.y() + boxH / 2);
    painter_.rotate(-t.rotation);
    const bool upright = turned && std::abs(std::abs(t.rotation) - 90) < 1;
    const double w = upright ? boxH : boxW, h = upright ? boxW : boxH;
    painter_.translate(-w / 2, -h / 2);
    // What does not fit the box's height, or its width with the empty neighbours the
    // text may run into, is cut off.
    if (!turned) {
        const double left = t.spillLeft * scale_, right = t.spillRight * scale_;
        painter_.setClipRect(QRectF(-left, 0, w + left + right, h), Qt::IntersectClip);
    }
    painter_.setPen(ColorOf(t.color));
    const QFontMetricsF metrics(FontOf(t.font, t.bold, t.italic));
    const double k = size / kShapedPixels;
    const double ascent = metrics.ascent() * k;
    if (!t.runs.empty()) {
        ShowRuns(t, scale_, pad, ascent,
                 {[&](const TextRun& run, const std::string& family, double runSize,
                      std::string_view text, double x, double y, bool show) {
                      return Run(
                          family, run.bold, run.italic, runSize,
                          QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                          {x, y}, show);
                  },
                  [&](double x0, double x1, double y, double runSize) {
                      painter_.setPen(QPen(ColorOf(t.color), std::max(0.5, runSize / 16)));
                      painter_.drawLine(QPointF(x0, y), QPointF(x1, y));
                  }});
        painter_.restore();
        return;
    }
    const QStringList lines = QString::fromStdString(t.plain).split('\n');
    const double lineH = metrics.lineSpacing() * k;
    const double blockH = lineH * static_cast<double>(lines.size());
    double y = t.vAlign == VAlign::Top      ? pad
               : t.vAlign == VAlign::Middle ? (h - blockH) / 2
                                            : h - pad - blockH;
    for (QString line : lines) {
        if (line.endsWith('\r')) line.chop(1);
        const double advance = metrics.horizontalAdvance(line) * k;
        const double x = t.hAlign == HAlign::Left     ? pad
                         : t.hAlign == HAlign::Center ? (w - advance) / 2
                                                      : w - pad - advance;
        const double baseline = y + ascent;
        Run(t.font, t.bold, t.italic, size, line, {x, baseline}, true);
        if (t.underline) {
            painter_.setPen(QPen(ColorOf(t.color), std::max(0.5, size / 16)));
            painter_.drawLine(QPointF(x, baseline + size / 8),
                              QPointF(x + advance, baseline + size / 8));
        }
        y += lineH;
    }
    painter_.restore();
}

void PainterSink::Draw(const Image& image) {
    const QPointF a = At(image.topLeft);
    const QRectF box(a.x(), a.y(), image.width * scale_, image.height * scale_);
    auto [it, added] = cache_.pictures.try_emplace(image.path);
    if (added) it->second = Decode(image.path);
    if (it->second.isNull()) {
        // A picture that cannot be decoded (missing, a metafile) shows as a crossed frame.
        painter_.setPen(PenOf(Pen{0.18, Dash::Solid, false, {128, 128, 128}}));
        painter_.setBrush(Qt::NoBrush);
        painter_.drawRect(box);
        painter_.drawLine(box.topLeft(), box.bottomRight());
        painter_.drawLine(box.topRight(), box.bottomLeft());
        return;
    }
    painter_.drawImage(box, it->second);
}

}  // namespace tbln::qt
