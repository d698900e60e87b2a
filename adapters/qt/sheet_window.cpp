#include "adapters/qt/sheet_window.hpp"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <map>

#include "adapters/qt/qt_ui.hpp"
#include "core/a1.hpp"

namespace tbln::qt {

namespace {

using workbook::DrawingObject;
using workbook::PixelRect;
using workbook::ShownCell;
using workbook::WorkbookModel;

QColor Color(const drawing::Rgb& c) {
    return QColor(c.r, c.g, c.b);
}

QRectF RectOf(const PixelRect& r) {
    return QRectF(r.x, r.y, r.width, r.height);
}

Qt::PenStyle PenStyleOf(drawing::Dash dash) {
    switch (dash) {
        case drawing::Dash::Dashed:
            return Qt::DashLine;
        case drawing::Dash::Dotted:
            return Qt::DotLine;
        case drawing::Dash::DashDot:
            return Qt::DashDotLine;
        case drawing::Dash::DashDotDot:
            return Qt::DashDotDotLine;
        case drawing::Dash::Solid:
            break;
    }
    return Qt::SolidLine;
}

}  // namespace

// The grid: a scroll area whose scroll bars carry the scene's scroll position.
class SheetView : public QAbstractScrollArea {
  public:
    explicit SheetView(SheetWindow::AppSource app) : scene_(std::move(app)) {
        viewport()->setBackgroundRole(QPalette::Base);
        viewport()->setAutoFillBackground(true);
        setObjectName("grid");
        setFocusPolicy(Qt::StrongFocus);
    }

    // The scene measured for the shown sheet, sized to the viewport and scrolled as the
    // scroll bars are.
    workbook::SheetScene& Scene() {
        scene_.Measure();
        scene_.Resize(viewport()->width(), viewport()->height());
        scene_.SetScroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
        return scene_;
    }
    // The scroll bars set to the scene's range and position.
    void Push() {
        QScrollBar* h = horizontalScrollBar();
        QScrollBar* v = verticalScrollBar();
        h->setRange(0, scene_.MaxScrollX());
        h->setPageStep(viewport()->width() - workbook::kSceneHeaderWidth);
        h->setSingleStep(64);
        v->setRange(0, scene_.MaxScrollY());
        v->setPageStep(viewport()->height() - workbook::kSceneHeaderHeight);
        v->setSingleStep(20);
        h->setValue(scene_.ScrollX());
        v->setValue(scene_.ScrollY());
    }

  protected:
    void resizeEvent(QResizeEvent* e) override {
        QAbstractScrollArea::resizeEvent(e);
        Scene();
        Push();
    }
    void scrollContentsBy(int, int) override { viewport()->update(); }

    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton || !scene_.Book()) return;
        setFocus(Qt::MouseFocusReason);
        const QPointF p = e->position();
        Scene().Press(p.x(), p.y(), e->modifiers() & Qt::ShiftModifier);
        viewport()->update();
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (!(e->buttons() & Qt::LeftButton) || !scene_.Book()) return;
        Scene().Drag(e->position().x(), e->position().y());
        viewport()->update();
    }
    void keyPressEvent(QKeyEvent* e) override {
        int dr = 0, dc = 0;
        switch (e->key()) {
            case Qt::Key_Up:
                dr = -1;
                break;
            case Qt::Key_Down:
                dr = 1;
                break;
            case Qt::Key_Left:
                dc = -1;
                break;
            case Qt::Key_Right:
                dc = 1;
                break;
            default:
                return QAbstractScrollArea::keyPressEvent(e);
        }
        Scene().Arrow(dr, dc, e->modifiers() & Qt::ShiftModifier);
        Push();
        viewport()->update();
    }

    void paintEvent(QPaintEvent*) override;

  private:
    void PaintFill(QPainter& p, const ShownCell& cell);
    void PaintText(QPainter& p, const ShownCell& cell);
    void PaintBorders(QPainter& p, const ShownCell& cell);
    void PaintObject(QPainter& p, const WorkbookModel& book, const workbook::ShownObject& shown);
    const QImage& Picture(const WorkbookModel& book, const DrawingObject& o);

    workbook::SheetScene scene_;
    std::map<std::string, QImage> pictures_;  // decoded once per workbook file and part

    friend class SheetWindow;
};

void SheetView::paintEvent(QPaintEvent*) {
    const workbook::Scene s = Scene().View();
    const WorkbookModel* book = scene_.Book();
    QPainter p(viewport());
    if (!book) return;
    const int width = s.width, height = s.height;
    const int hw = workbook::kSceneHeaderWidth, hh = workbook::kSceneHeaderHeight;

    p.save();
    p.setClipRect(QRect(hw, hh, width - hw, height - hh));
    // Gridlines under everything.
    p.setPen(QColor(0xD4, 0xD4, 0xD4));
    for (double y : s.rowLines) p.drawLine(QPointF(hw, y - 0.5), QPointF(width, y - 0.5));
    for (double x : s.columnLines) p.drawLine(QPointF(x - 0.5, hh), QPointF(x - 0.5, height));
    // All fills, then all texts, then all borders, so that a text running over an empty
    // neighbour shows over its fill.
    for (const auto& cell : s.cells) PaintFill(p, cell);
    for (const auto& cell : s.cells) PaintText(p, cell);
    for (const auto& cell : s.cells) PaintBorders(p, cell);
    // The selection over the cells, the active cell framed.
    const QColor selection(33, 115, 70);
    for (const auto& a : s.selections) {
        const QRectF r = RectOf(a.rect);
        if (a.shaded) p.fillRect(r, QColor(33, 115, 70, 40));
        p.setPen(QPen(selection, 2));
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
    p.setPen(QPen(selection, 2));
    p.drawRect(RectOf(s.active));
    // Shapes and pictures float over the cells and the selection.
    for (const auto& o : s.objects) PaintObject(p, *book, o);
    p.restore();

    // Headers: column letters and row numbers, the selected ones shaded.
    const QColor headerFill(0xF3, 0xF3, 0xF3), headerLine(0xC0, 0xC0, 0xC0);
    p.fillRect(QRect(0, 0, width, hh), headerFill);
    p.fillRect(QRect(0, 0, hw, height), headerFill);
    QFont headerFont = font();
    headerFont.setPointSizeF(8.5);
    p.setFont(headerFont);
    p.setClipRect(QRect(hw, 0, width - hw, hh));
    for (const auto& h : s.columnHeaders) {
        const QRectF r = RectOf(h.rect);
        if (h.selected) p.fillRect(r, QColor(0xD2, 0xD2, 0xD2));
        p.setPen(headerLine);
        p.drawLine(r.topRight() + QPointF(-0.5, 0), r.bottomRight() + QPointF(-0.5, 0));
        p.setPen(Qt::black);
        p.drawText(r, Qt::AlignCenter, QString::fromStdString(a1::ColumnLetters(h.line)));
    }
    p.setClipRect(QRect(0, hh, hw, height - hh));
    for (const auto& h : s.rowHeaders) {
        const QRectF r = RectOf(h.rect);
        if (h.selected) p.fillRect(r, QColor(0xD2, 0xD2, 0xD2));
        p.setPen(headerLine);
        p.drawLine(r.bottomLeft() + QPointF(0, -0.5), r.bottomRight() + QPointF(0, -0.5));
        p.setPen(Qt::black);
        p.drawText(r, Qt::AlignCenter, QString::number(h.line));
    }
    p.setClipping(false);
    p.setPen(headerLine);
    p.drawLine(QPointF(0, hh - 0.5), QPointF(width, hh - 0.5));
    p.drawLine(QPointF(hw - 0.5, 0), QPointF(hw - 0.5, height));
}

void SheetView::PaintFill(QPainter& p, const ShownCell& cell) {
    const workbook::FillLook f = workbook::FillLookOf(cell.view);
    if (f.kind == workbook::FillLook::Kind::Solid) {
        p.fillRect(RectOf(cell.rect), Color(f.color));
    } else if (f.kind == workbook::FillLook::Kind::Pattern) {
        QImage tile(8, 8, QImage::Format_RGB32);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                const bool on = (f.tile[static_cast<std::size_t>(y)] >> (7 - x)) & 1;
                tile.setPixelColor(x, y, Color(on ? f.color : f.background));
            }
        }
        p.fillRect(RectOf(cell.rect), QBrush(tile));
    }
}

void SheetView::PaintText(QPainter& p, const ShownCell& cell) {
    if (cell.view.text.empty()) return;
    const workbook::TextLook t = workbook::TextLookOf(cell);
    QFont f(QString::fromStdString(t.font));
    f.setPointSizeF(t.size);
    f.setBold(t.bold);
    f.setItalic(t.italic);
    f.setUnderline(t.underline);
    f.setStrikeOut(t.strikethrough);
    p.setFont(f);
    p.setPen(Color(t.color));
    const QString text = QString::fromStdString(cell.view.text);
    const QRectF box = RectOf(t.box);
    int flags = 0;
    switch (t.align) {
        case workbook::TextLook::Align::Justify:
            flags |= Qt::AlignJustify;
            break;
        case workbook::TextLook::Align::Center:
            flags |= Qt::AlignHCenter;
            break;
        case workbook::TextLook::Align::Right:
            flags |= Qt::AlignRight;
            break;
        case workbook::TextLook::Align::Left:
            flags |= Qt::AlignLeft;
            break;
    }
    if (t.number && QFontMetricsF(f).horizontalAdvance(text) > box.width())
        flags = (flags & ~Qt::AlignHorizontal_Mask) | Qt::AlignLeft;
    flags |= t.vAlign == drawing::VAlign::Top      ? Qt::AlignTop
             : t.vAlign == drawing::VAlign::Middle ? Qt::AlignVCenter
                                                   : Qt::AlignBottom;
    if (t.wrap) flags |= Qt::TextWordWrap;
    p.save();
    // The text is laid out in its cell and shows as far as the empty neighbours it runs
    // into.
    p.setClipRect(RectOf(t.clip), Qt::IntersectClip);
    if (t.degrees != 0) {
        p.translate(RectOf(cell.rect).center());
        p.rotate(-t.degrees);
    }
    p.drawText(box, flags, text);
    p.restore();
}

void SheetView::PaintBorders(QPainter& p, const ShownCell& cell) {
    const auto edge = [&](const workbook::CellBorderEdge& e, QPointF a, QPointF b) {
        const workbook::EdgeLook look = workbook::EdgeLookOf(e);
        if (!look.shown) return;
        QPen pen(Color(look.color));
        pen.setWidthF(look.width);
        pen.setStyle(PenStyleOf(look.dash));
        p.setPen(pen);
        p.drawLine(a, b);
    };
    const QRectF r = RectOf(cell.rect).adjusted(0, 0, -0.5, -0.5);
    edge(cell.view.top, r.topLeft(), r.topRight());
    edge(cell.view.bottom, r.bottomLeft(), r.bottomRight());
    edge(cell.view.left, r.topLeft(), r.bottomLeft());
    edge(cell.view.right, r.topRight(), r.bottomRight());
}

void SheetView::PaintObject(QPainter& p, const WorkbookModel& book,
                            const workbook::ShownObject& shown) {
    const DrawingObject& o = *shown.object;
    const QRectF frame = RectOf(shown.frame);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(frame.center());
    p.rotate(o.rotation);
    const PixelRect ownRect{-frame.width() / 2, -frame.height() / 2, frame.width(), frame.height()};
    const QRectF own = RectOf(ownRect);
    const workbook::ShapeKind kind = workbook::ShapeKindOf(o);
    if (kind == workbook::ShapeKind::Picture) {
        const QImage& image = Picture(book, o);
        if (image.isNull()) {
            // A linked, missing or unreadable picture shows as a crossed box.
            p.setPen(QPen(Qt::gray, 1));
            p.setBrush(QColor(0xF0, 0xF0, 0xF0));
            p.drawRect(own);
            p.drawLine(own.topLeft(), own.bottomRight());
            p.drawLine(own.topRight(), own.bottomLeft());
        } else {
            p.scale(o.flipH ? -1 : 1, o.flipV ? -1 : 1);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(own, image);
        }
        p.restore();
        return;
    }
    p.save();
    p.scale(o.flipH ? -1 : 1, o.flipV ? -1 : 1);
    const workbook::OutlineLook outline = workbook::OutlineLookOf(o);
    QPen pen(Qt::NoPen);
    if (outline.width > 0) {
        pen = QPen(Color(outline.color), outline.width);
        pen.setStyle(PenStyleOf(outline.dash));
    }
    p.setPen(pen);
    p.setBrush(o.filled ? QBrush(QColor::fromRgb(o.fillRgb)) : QBrush(Qt::NoBrush));
    switch (kind) {
        case workbook::ShapeKind::Line: {
            p.drawLine(own.topLeft(), own.bottomRight());
            // The arrowheads, solid in the line's colour.
            p.setPen(QPen(Color(outline.color), outline.width));
            p.setBrush(Color(outline.color));
            for (const auto& a : workbook::LineArrowheads(o, ownRect, outline.width)) {
                if (a.oval) {
                    p.drawEllipse(QPointF(a.center.x, a.center.y), a.radius, a.radius);
                    continue;
                }
                QPolygonF points;
                for (const auto& pt : a.points) points << QPointF(pt.x, pt.y);
                if (a.closed)
                    p.drawPolygon(points);
                else
                    p.drawPolyline(points);
            }
            break;
        }
        case workbook::ShapeKind::Ellipse:
            p.drawEllipse(own);
            break;
        case workbook::ShapeKind::RoundRect: {
            const double corner = workbook::RoundCorner(o, own.width(), own.height());
            p.drawRoundedRect(own, corner, corner);
            break;
        }
        case workbook::ShapeKind::Triangle:
            p.drawPolygon(QPolygonF(
                {QPointF(own.center().x(), own.top()), own.bottomRight(), own.bottomLeft()}));
            break;
        default:
            p.drawRect(own);
    }
    p.restore();
    if (o.hasTextFrame && !o.text.empty()) {
        // The text, unflipped, wrapped at the shape's width.
        QFont f(QString::fromStdString(o.fontName.empty() ? "Calibri" : o.fontName));
        f.setPointSizeF(o.fontSize > 0 ? o.fontSize : 11);
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(RectOf(workbook::ShapeTextBox(ownRect)),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, QString::fromStdString(o.text));
    }
    p.restore();
}

const QImage& SheetView::Picture(const WorkbookModel& book, const DrawingObject& o) {
    const std::string key = book.path + '\n' + o.mediaPart;
    if (const auto it = pictures_.find(key); it != pictures_.end()) return it->second;
    QImage image;
    const std::string bytes = workbook::PictureBytes(book, o);
    if (!bytes.empty())
        image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                           static_cast<int>(bytes.size()));
    return pictures_.emplace(key, std::move(image)).first->second;
}

SheetWindow::SheetWindow(QtUi& ui, AppSource app, QWidget* parent)
    : QWidget(parent), app_(std::move(app)) {
    setObjectName("SheetWindow");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    view_ = new SheetView(app_);
    tabs_ = new QTabBar;
    tabs_->setShape(QTabBar::RoundedSouth);
    tabs_->setExpanding(false);
    tabs_->setDrawBase(false);
    layout->addWidget(view_, 1);
    layout->addWidget(tabs_, 0, Qt::AlignLeft);
    QObject::connect(tabs_, &QTabBar::tabBarClicked, [this](int index) {
        if (index < 0) return;
        view_->scene_.ActivateSheet(tabs_->tabText(index).toStdString());
        Sync();
    });
    timer_ = new QTimer(this);
    QObject::connect(timer_, &QTimer::timeout, [this] { Sync(); });
    timer_->start(150);
    resize(900, 600);
    ui.AddWindow(this, [this] { Sync(); });
    Sync();
}

SheetWindow::~SheetWindow() = default;

QWidget* SheetWindow::Grid() const {
    return view_->viewport();
}

QRect SheetWindow::CellRect(Long row, Long column) const {
    const QRectF r = RectOf(view_->Scene().CellRect(row, column, row, column));
    return r.toAlignedRect().translated(view_->viewport()->mapTo(this, QPoint(0, 0)));
}

void SheetWindow::Follow(bool on) {
    following_ = on;
    if (on) {
        timer_->start(150);
        Sync();
        return;
    }
    timer_->stop();
    hide();
    shownOnce_ = false;
}

void SheetWindow::Sync() {
    view_->Scene();
    const workbook::SheetScene::Followed f =
        view_->scene_.Follow(QApplication::mouseButtons() & Qt::LeftButton);
    view_->Push();
    const QString caption = QString::fromStdString(f.caption);
    if (windowTitle() != caption) setWindowTitle(caption);
    if (f.open && !shownOnce_ && following_) {
        shownOnce_ = true;
        show();
    }
    QStringList names;
    for (const auto& n : f.tabs.names) names << QString::fromStdString(n);
    QStringList now;
    for (int i = 0; i < tabs_->count(); ++i) now << tabs_->tabText(i);
    if (now != names) {
        const QSignalBlocker block(tabs_);
        while (tabs_->count() > 0) tabs_->removeTab(0);
        for (const auto& n : names) tabs_->addTab(n);
    }
    if (tabs_->currentIndex() != f.tabs.current) {
        const QSignalBlocker block(tabs_);
        tabs_->setCurrentIndex(f.tabs.current);
    }
    view_->viewport()->update();
}

}  // namespace tbln::qt
