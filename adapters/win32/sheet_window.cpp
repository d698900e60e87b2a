#include "adapters/win32/sheet_window.hpp"

#include "adapters/win32/windows_api.hpp"
// clang-format off
#include <wincodec.h>
// clang-format on

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "adapters/fonts/font_metrics.hpp"
#include "adapters/win32/wide_text.hpp"
#include "core/a1.hpp"
#include "core/unicode.hpp"

namespace tbln::win32 {

namespace {

using workbook::DrawingObject;
using workbook::PixelRect;
using workbook::ShownCell;
using workbook::WorkbookModel;

constexpr UINT_PTR kFollowTimer = 1;
constexpr UINT kFollowMilliseconds = 150;
const COLORREF kSelection = RGB(33, 115, 70);
// The logical units to a pixel that texts are drawn in, under a world transform that
// scales them back: a font asked for in them has its size to a sixteenth of a pixel (a
// GDI font's height is a whole number of units), and each character is placed as finely.
constexpr double kTextUnits = 16;

COLORREF Ref(const drawing::Rgb& c) {
    return RGB(c.r, c.g, c.b);
}

int Px(double v) {
    return static_cast<int>(std::lround(v));
}

RECT RectOf(const PixelRect& r) {
    return RECT{Px(r.x), Px(r.y), Px(r.Right()), Px(r.Bottom())};
}

// A GDI object deleted when it goes out of scope.
template <class H>
struct Owned {
    H h = nullptr;
    explicit Owned(H handle) : h(handle) {}
    ~Owned() {
        if (h) DeleteObject(h);
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    operator H() const { return h; }
};

// Selects an object into a device context for as long as it lives.
struct Selected {
    HDC dc;
    HGDIOBJ old;
    Selected(HDC d, HGDIOBJ object) : dc(d), old(SelectObject(d, object)) {}
    ~Selected() { SelectObject(dc, old); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;
};

// A pen of a width in pixels and a dash style: cosmetic for a thin solid or dotted
// line, geometric with flat ends otherwise so that wide dashes keep their gaps.
HPEN MakePen(COLORREF color, double width, drawing::Dash dash) {
    DWORD style = PS_SOLID;
    switch (dash) {
        case drawing::Dash::Dashed:
            style = PS_DASH;
            break;
        case drawing::Dash::Dotted:
            style = PS_DOT;
            break;
        case drawing::Dash::DashDot:
            style = PS_DASHDOT;
            break;
        case drawing::Dash::DashDotDot:
            style = PS_DASHDOTDOT;
            break;
        case drawing::Dash::Solid:
            break;
    }
    const int w = std::max(1, Px(width));
    LOGBRUSH brush{BS_SOLID, color, 0};
    if (w == 1) return ExtCreatePen(PS_COSMETIC | style, 1, &brush, 0, nullptr);
    return ExtCreatePen(PS_GEOMETRIC | style | PS_ENDCAP_FLAT | PS_JOIN_MITER,
                        static_cast<DWORD>(w), &brush, 0, nullptr);
}

// A font of a family at a size in points (at the screen's 96 pixels an inch).
HFONT MakeFont(const std::string& family, double points, bool bold, bool italic, bool underline,
               bool strikethrough) {
    LOGFONTW f{};
    f.lfHeight = -Px(points * 96.0 / 72.0);
    f.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    f.lfItalic = italic;
    f.lfUnderline = underline;
    f.lfStrikeOut = strikethrough;
    f.lfCharSet = DEFAULT_CHARSET;
    f.lfQuality = CLEARTYPE_QUALITY;
    const std::wstring name = Wide(family).substr(0, LF_FACESIZE - 1);
    std::copy(name.begin(), name.end(), f.lfFaceName);
    return CreateFontIndirectW(&f);
}

// A 32-bit top-down bitmap of `pixels` (premultiplied blue, green, red, alpha).
struct Bitmap {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
};

// The picture file's first frame, decoded by the system's imaging codecs (PNG, JPEG,
// GIF, BMP, TIFF); empty when none of them reads it.
Bitmap Decode(const std::string& bytes) {
    Bitmap out;
    if (bytes.empty()) return out;
    IWICImagingFactory* factory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&factory))))
        return out;
    IWICStream* stream = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICFormatConverter* converter = nullptr;
    UINT w = 0, h = 0;
    const bool ok = SUCCEEDED(factory->CreateStream(&stream)) &&
                    SUCCEEDED(stream->InitializeFromMemory(
                        reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                        static_cast<DWORD>(bytes.size()))) &&
                    SUCCEEDED(factory->CreateDecoderFromStream(
                        stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) &&
                    SUCCEEDED(decoder->GetFrame(0, &frame)) &&
                    SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
                    SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppPBGRA,
                                                    WICBitmapDitherTypeNone, nullptr, 0,
                                                    WICBitmapPaletteTypeCustom)) &&
                    SUCCEEDED(converter->GetSize(&w, &h)) && w > 0 && h > 0 && w < 20000 &&
                    h < 20000;
    if (ok) {
        out.pixels.resize(static_cast<std::size_t>(w) * h * 4);
        if (SUCCEEDED(converter->CopyPixels(nullptr, w * 4, static_cast<UINT>(out.pixels.size()),
                                            out.pixels.data()))) {
            out.width = static_cast<int>(w);
            out.height = static_cast<int>(h);
        } else {
            out.pixels.clear();
        }
    }
    for (IUnknown* u : std::initializer_list<IUnknown*>{converter, frame, decoder, stream, factory})
        if (u) u->Release();
    return out;
}

// Draws a premultiplied bitmap stretched over a rectangle, blending its transparency.
void DrawBitmap(HDC dc, const Bitmap& b, const RECT& to) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = b.width;
    info.bmiHeader.biHeight = -b.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Owned<HBITMAP> bitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return;
    std::copy(b.pixels.begin(), b.pixels.end(), static_cast<unsigned char*>(bits));
    HDC source = CreateCompatibleDC(dc);
    {
        Selected keep(source, bitmap);
        SetStretchBltMode(dc, HALFTONE);
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, to.left, to.top, to.right - to.left, to.bottom - to.top, source, 0, 0,
                   b.width, b.height, blend);
    }
    DeleteDC(source);
}

// Tints a rectangle with a colour at an opacity from 0 to 255.
void Tint(HDC dc, const RECT& r, COLORREF color, BYTE opacity) {
    Bitmap one{1, 1, {GetBValue(color), GetGValue(color), GetRValue(color), 255}};
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 1, -1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    Owned<HBITMAP> bitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return;
    std::copy(one.pixels.begin(), one.pixels.end(), static_cast<unsigned char*>(bits));
    HDC source = CreateCompatibleDC(dc);
    {
        Selected keep(source, bitmap);
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, opacity, 0};
        AlphaBlend(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, source, 0, 0, 1, 1,
                   blend);
    }
    DeleteDC(source);
}

// The world transform that turns by `degrees` clockwise about (cx, cy) and flips.
XFORM Turn(double cx, double cy, double degrees, bool flipH, bool flipV) {
    const double a = degrees * 3.14159265358979323846 / 180;
    const double c = std::cos(a), s = std::sin(a);
    const double fx = flipH ? -1 : 1, fy = flipV ? -1 : 1;
    // x' = (fx x) c - (fy y) s + cx ; y' = (fx x) s + (fy y) c + cy
    return XFORM{static_cast<FLOAT>(fx * c),  static_cast<FLOAT>(fx * s),
                 static_cast<FLOAT>(-fy * s), static_cast<FLOAT>(fy * c),
                 static_cast<FLOAT>(cx),      static_cast<FLOAT>(cy)};
}

}  // namespace

struct SheetWindow::Impl {
    explicit Impl(workbook::AppSource app) : scene(std::move(app)) {}

    workbook::SheetScene scene;
    HWND hwnd = nullptr;
    bool shownOnce = false;
    bool following = true;
    workbook::SheetTabs tabs;
    std::vector<RECT> tabRects;
    std::map<std::string, Bitmap> pictures;  // decoded once per workbook file and part
    std::tuple<int, int> client{};
    fonts::FontMetrics metrics;  // the texts' widths, at their fonts' real sizes

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // The scene sized to the client area above the tab strip.
    workbook::SheetScene& Scene() {
        RECT r{};
        GetClientRect(hwnd, &r);
        scene.Measure();
        scene.Resize(r.right, std::max(0L, r.bottom - kTabStripHeight));
        return scene;
    }
    void PushScrollBars() {
        SCROLLINFO info{sizeof(info), SIF_ALL | SIF_DISABLENOSCROLL, 0, 0, 0, 0, 0};
        const int pageX = std::max(1, scene.Width() - workbook::kSceneHeaderWidth);
        const int pageY = std::max(1, scene.Height() - workbook::kSceneHeaderHeight);
        info.nMax = scene.MaxScrollX() + pageX - 1;
        info.nPage = static_cast<UINT>(pageX);
        info.nPos = scene.ScrollX();
        SetScrollInfo(hwnd, SB_HORZ, &info, TRUE);
        info.nMax = scene.MaxScrollY() + pageY - 1;
        info.nPage = static_cast<UINT>(pageY);
        info.nPos = scene.ScrollY();
        SetScrollInfo(hwnd, SB_VERT, &info, TRUE);
    }
    void Redraw() { InvalidateRect(hwnd, nullptr, FALSE); }
    void Follow();
    void Scroll(int bar, WPARAM request);

    void Paint(HDC dc, int width, int height);
    void PaintText(HDC dc, const ShownCell& cell);
    void DrawLines(HDC dc, const workbook::TextLook& t, const std::string& text,
                   const XFORM& place);
    void PaintBorders(HDC dc, const ShownCell& cell);
    void PaintObject(HDC dc, const WorkbookModel& book, const workbook::ShownObject& shown);
    void PaintTabs(HDC dc, int width, int top);
    const Bitmap& Picture(const WorkbookModel& book, const DrawingObject& o);
};

LRESULT CALLBACK SheetWindow::Impl::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        static_cast<Impl*>(create->lpCreateParams)->hwnd = hwnd;
    }
    auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    return self->OnMessage(message, wParam, lParam);
}

void SheetWindow::Impl::Scroll(int bar, WPARAM request) {
    SCROLLINFO info{sizeof(info), SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(hwnd, bar, &info);
    const int line = bar == SB_VERT ? 20 : 64;
    int pos = info.nPos;
    switch (LOWORD(request)) {
        case SB_LINEUP:
            pos -= line;
            break;
        case SB_LINEDOWN:
            pos += line;
            break;
        case SB_PAGEUP:
            pos -= static_cast<int>(info.nPage);
            break;
        case SB_PAGEDOWN:
            pos += static_cast<int>(info.nPage);
            break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
            pos = info.nTrackPos;
            break;
        case SB_TOP:
            pos = 0;
            break;
        case SB_BOTTOM:
            pos = info.nMax;
            break;
        default:
            return;
    }
    Scene();
    if (bar == SB_VERT)
        scene.SetScroll(scene.ScrollX(), pos);
    else
        scene.SetScroll(pos, scene.ScrollY());
    PushScrollBars();
    Redraw();
}

LRESULT SheetWindow::Impl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT r{};
            GetClientRect(hwnd, &r);
            // Drawn whole into a memory bitmap, then copied at once: no flicker.
            HDC memory = CreateCompatibleDC(dc);
            Owned<HBITMAP> bitmap(
                CreateCompatibleBitmap(dc, std::max(1L, r.right), std::max(1L, r.bottom)));
            {
                Selected keep(memory, bitmap);
                Paint(memory, r.right, r.bottom);
                BitBlt(dc, 0, 0, r.right, r.bottom, memory, 0, 0, SRCCOPY);
            }
            DeleteDC(memory);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_SIZE:
            Scene();
            PushScrollBars();
            Redraw();
            return 0;
        case WM_TIMER:
            if (wParam == kFollowTimer) Follow();
            return 0;
        case WM_VSCROLL:
        case WM_HSCROLL:
            Scroll(message == WM_VSCROLL ? SB_VERT : SB_HORZ, wParam);
            return 0;
        case WM_MOUSEWHEEL: {
            const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
            Scene();
            scene.SetScroll(scene.ScrollX(), scene.ScrollY() - notches * 3 * 20);
            PushScrollBars();
            Redraw();
            return 0;
        }
        case WM_LBUTTONDOWN: {
            const int x = static_cast<short>(LOWORD(lParam)),
                      y = static_cast<short>(HIWORD(lParam));
            SetFocus(hwnd);
            if (y >= scene.Height()) {
                // A click on a sheet tab activates that sheet in the engine.
                for (std::size_t i = 0; i < tabRects.size() && i < tabs.names.size(); ++i) {
                    const POINT p{x, y};
                    if (PtInRect(&tabRects[i], p)) scene.ActivateSheet(tabs.names[i]);
                }
            } else if (scene.Book()) {
                SetCapture(hwnd);
                Scene().Press(x, y, (wParam & MK_SHIFT) != 0);
            }
            Redraw();
            return 0;
        }
        case WM_MOUSEMOVE:
            if ((wParam & MK_LBUTTON) && GetCapture() == hwnd && scene.Book()) {
                Scene().Drag(static_cast<short>(LOWORD(lParam)),
                             static_cast<short>(HIWORD(lParam)));
                Redraw();
            }
            return 0;
        case WM_LBUTTONUP:
            if (GetCapture() == hwnd) ReleaseCapture();
            return 0;
        case WM_KEYDOWN: {
            int dr = 0, dc = 0;
            switch (wParam) {
                case VK_UP:
                    dr = -1;
                    break;
                case VK_DOWN:
                    dr = 1;
                    break;
                case VK_LEFT:
                    dc = -1;
                    break;
                case VK_RIGHT:
                    dc = 1;
                    break;
                default:
                    return DefWindowProcW(hwnd, message, wParam, lParam);
            }
            Scene().Arrow(dr, dc, GetKeyState(VK_SHIFT) < 0);
            PushScrollBars();
            Redraw();
            return 0;
        }
        case WM_CLOSE:
            // The spreadsheet stays open while the library runs: closing only hides it.
            ShowWindow(hwnd, SW_HIDE);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void SheetWindow::Impl::Paint(HDC dc, int width, int height) {
    RECT all{0, 0, width, height};
    Owned<HBRUSH> white(CreateSolidBrush(RGB(255, 255, 255)));
    FillRect(dc, &all, white);
    const workbook::Scene s = Scene().View();
    const WorkbookModel* book = scene.Book();
    const int hw = workbook::kSceneHeaderWidth, hh = workbook::kSceneHeaderHeight;
    SetBkMode(dc, TRANSPARENT);
    if (book) {
        const int saved = SaveDC(dc);
        IntersectClipRect(dc, hw, hh, s.width, s.height);
        // Gridlines under everything.
        {
            Owned<HPEN> grid(CreatePen(PS_SOLID, 1, RGB(0xD4, 0xD4, 0xD4)));
            Selected keep(dc, grid);
            for (double y : s.rowLines) {
                MoveToEx(dc, hw, Px(y) - 1, nullptr);
                LineTo(dc, s.width, Px(y) - 1);
            }
            for (double x : s.columnLines) {
                MoveToEx(dc, Px(x) - 1, hh, nullptr);
                LineTo(dc, Px(x) - 1, s.height);
            }
        }
        // All fills, then all texts, then all borders, so that a text running over an
        // empty neighbour shows over its fill.
        for (const auto& cell : s.cells) {
            const workbook::FillLook f = workbook::FillLookOf(cell.view);
            const RECT r = RectOf(cell.rect);
            if (f.kind == workbook::FillLook::Kind::Solid) {
                Owned<HBRUSH> brush(CreateSolidBrush(Ref(f.color)));
                FillRect(dc, &r, brush);
            } else if (f.kind == workbook::FillLook::Kind::Pattern) {
                // The 8 x 8 tile as a colour bitmap brush.
                BITMAPINFO info{};
                info.bmiHeader = {sizeof(BITMAPINFOHEADER), 8, -8, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
                void* bits = nullptr;
                Owned<HBITMAP> tile(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
                if (!tile || !bits) continue;
                auto* px = static_cast<DWORD*>(bits);
                for (int y = 0; y < 8; ++y) {
                    for (int x = 0; x < 8; ++x) {
                        const bool on = (f.tile[static_cast<std::size_t>(y)] >> (7 - x)) & 1;
                        const drawing::Rgb c = on ? f.color : f.background;
                        px[y * 8 + x] = (DWORD{c.r} << 16) | (DWORD{c.g} << 8) | c.b;
                    }
                }
                Owned<HBRUSH> brush(CreatePatternBrush(tile));
                SetBrushOrgEx(dc, 0, 0, nullptr);
                FillRect(dc, &r, brush);
            }
        }
        for (const auto& cell : s.cells) PaintText(dc, cell);
        for (const auto& cell : s.cells) PaintBorders(dc, cell);
        // The selection over the cells, the active cell framed.
        {
            Owned<HPEN> pen(CreatePen(PS_SOLID, 2, kSelection));
            Selected keepPen(dc, pen);
            Selected keepBrush(dc, GetStockObject(NULL_BRUSH));
            for (const auto& a : s.selections) {
                const RECT r = RectOf(a.rect);
                if (a.shaded) Tint(dc, r, kSelection, 40);
                Rectangle(dc, r.left + 1, r.top + 1, r.right, r.bottom);
            }
            const RECT r = RectOf(s.active);
            Rectangle(dc, r.left + 1, r.top + 1, r.right + 1, r.bottom + 1);
        }
        // Shapes and pictures float over the cells and the selection.
        for (const auto& o : s.objects) PaintObject(dc, *book, o);
        RestoreDC(dc, saved);
    }

    // Headers: column letters and row numbers, the selected ones shaded.
    const COLORREF headerLine = RGB(0xC0, 0xC0, 0xC0);
    Owned<HBRUSH> headerFill(CreateSolidBrush(RGB(0xF3, 0xF3, 0xF3)));
    Owned<HBRUSH> headerSelected(CreateSolidBrush(RGB(0xD2, 0xD2, 0xD2)));
    const RECT top{0, 0, s.width, hh}, left{0, 0, hw, s.height};
    FillRect(dc, &top, headerFill);
    FillRect(dc, &left, headerFill);
    Owned<HFONT> headerFont(MakeFont("Tahoma", 8.5, false, false, false, false));
    Owned<HPEN> line(CreatePen(PS_SOLID, 1, headerLine));
    {
        Selected keepFont(dc, headerFont);
        Selected keepPen(dc, line);
        SetTextColor(dc, RGB(0, 0, 0));
        int saved = SaveDC(dc);
        IntersectClipRect(dc, hw, 0, s.width, hh);
        for (const auto& h : s.columnHeaders) {
            RECT r = RectOf(h.rect);
            if (h.selected) FillRect(dc, &r, headerSelected);
            MoveToEx(dc, r.right - 1, r.top, nullptr);
            LineTo(dc, r.right - 1, r.bottom);
            const std::wstring text = Wide(a1::ColumnLetters(h.line));
            DrawTextW(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
        RestoreDC(dc, saved);
        saved = SaveDC(dc);
        IntersectClipRect(dc, 0, hh, hw, s.height);
        for (const auto& h : s.rowHeaders) {
            RECT r = RectOf(h.rect);
            if (h.selected) FillRect(dc, &r, headerSelected);
            MoveToEx(dc, r.left, r.bottom - 1, nullptr);
            LineTo(dc, r.right, r.bottom - 1);
            const std::wstring text = std::to_wstring(h.line);
            DrawTextW(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
        RestoreDC(dc, saved);
        MoveToEx(dc, 0, hh - 1, nullptr);
        LineTo(dc, s.width, hh - 1);
        MoveToEx(dc, hw - 1, 0, nullptr);
        LineTo(dc, hw - 1, s.height);
    }
    PaintTabs(dc, width, std::min(s.height, height));
}

void SheetWindow::Impl::PaintText(HDC dc, const ShownCell& cell) {
    if (cell.view.text.empty()) return;
    const workbook::TextLook t = workbook::TextLookOf(cell);
    const int saved = SaveDC(dc);
    // The text is laid out in its cell and shows as far as the empty neighbours it runs
    // into; a turned one in its box given about the cell's centre, turned about it.
    const RECT clip = RectOf(t.clip);
    IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
    const XFORM unturned{1, 0, 0, 1, 0, 0};
    DrawLines(dc, t, cell.view.text,
              t.degrees == 0 ? unturned
                             : Turn(cell.rect.x + cell.rect.width / 2,
                                    cell.rect.y + cell.rect.height / 2, -t.degrees, false, false));
    RestoreDC(dc, saved);
}

// A text laid out in its box as the scene's look says: broken into lines where the
// shared rule breaks them, measured with the font's design advances at its real size
// (what the other sheet window and the drawings measure), each character placed at its
// measured place. `place` takes the box's pixels into the window's.
void SheetWindow::Impl::DrawLines(HDC dc, const workbook::TextLook& t, const std::string& text,
                                  const XFORM& place) {
    const auto advance = [&](char32_t c) {
        return workbook::ScenePixels(metrics.Advance(t.font, t.bold, t.italic, t.size, c));
    };
    // Each character of a run (its bytes) with its advance in pixels.
    const auto characters = [&](std::string_view run, const auto& each) {
        for (std::size_t i = 0; i < run.size();) {
            std::size_t length = 1;
            const char32_t c = DecodeUtf8At(run, i, length);
            length = std::max<std::size_t>(length, 1);
            each(run.substr(i, length), advance(c));
            i += length;
        }
    };
    const drawing::RunWidth width = [&](std::string_view run) {
        double w = 0;
        characters(run, [&](std::string_view, double a) { w += a; });
        return w;
    };
    const std::vector<std::string> lines =
        drawing::WrapLines(text, t.wrap ? std::optional(t.box.width) : std::nullopt, width);
    auto align = t.align;
    if (t.number && lines.size() == 1 && width(lines.front()) > t.box.width)
        align = workbook::TextLook::Align::Left;
    const double ascent = workbook::ScenePixels(metrics.Ascent(t.font, t.bold, t.italic, t.size));
    const double descent = workbook::ScenePixels(metrics.Descent(t.font, t.bold, t.italic, t.size));
    const double pitch =
        ascent + descent + workbook::ScenePixels(metrics.LineGap(t.font, t.bold, t.italic, t.size));
    const double height = pitch * static_cast<double>(lines.size() - 1) + ascent + descent;
    double y = t.vAlign == drawing::VAlign::Top      ? t.box.y
               : t.vAlign == drawing::VAlign::Middle ? t.box.y + (t.box.height - height) / 2
                                                     : t.box.Bottom() - height;

    const int saved = SaveDC(dc);
    SetGraphicsMode(dc, GM_ADVANCED);
    const auto k = static_cast<FLOAT>(1 / kTextUnits);
    const XFORM scale{k, 0, 0, k, 0, 0};
    XFORM world{};
    CombineTransform(&world, &scale, &place);
    SetWorldTransform(dc, &world);
    Owned<HFONT> font(
        MakeFont(t.font, t.size * kTextUnits, t.bold, t.italic, t.underline, t.strikethrough));
    Selected keep(dc, font);
    SetTextColor(dc, Ref(t.color));
    SetTextAlign(dc, TA_LEFT | TA_BASELINE | TA_NOUPDATECP);
    for (const std::string& line : lines) {
        std::wstring units;
        std::vector<INT> dx;
        double x = 0;
        long placed = 0;
        characters(line, [&](std::string_view character, double a) {
            x += a;
            const long next = std::lround(x * kTextUnits);
            // The character's advance on its first UTF-16 unit, none on a surrogate's second.
            const std::wstring unit = Wide(character);
            units += unit;
            dx.push_back(static_cast<INT>(next - placed));
            dx.resize(units.size(), 0);
            placed = next;
        });
        const double left = align == workbook::TextLook::Align::Center
                                ? t.box.x + (t.box.width - x) / 2
                            : align == workbook::TextLook::Align::Right ? t.box.Right() - x
                                                                        : t.box.x;
        ExtTextOutW(dc, static_cast<int>(std::lround(left * kTextUnits)),
                    static_cast<int>(std::lround((y + ascent) * kTextUnits)), 0, nullptr,
                    units.c_str(), static_cast<UINT>(units.size()), dx.data());
        y += pitch;
    }
    RestoreDC(dc, saved);
}

void SheetWindow::Impl::PaintBorders(HDC dc, const ShownCell& cell) {
    const RECT r = RectOf(cell.rect);
    const auto edge = [&](const workbook::CellBorderEdge& e, int x0, int y0, int x1, int y1) {
        const workbook::EdgeLook look = workbook::EdgeLookOf(e);
        if (!look.shown) return;
        Owned<HPEN> pen(MakePen(Ref(look.color), look.width, look.dash));
        Selected keep(dc, pen);
        MoveToEx(dc, x0, y0, nullptr);
        LineTo(dc, x1, y1);
    };
    // Each edge on the cell's last pixel row or column, as its gridline is.
    edge(cell.view.top, r.left, r.top, r.right, r.top);
    edge(cell.view.bottom, r.left, r.bottom - 1, r.right, r.bottom - 1);
    edge(cell.view.left, r.left, r.top, r.left, r.bottom);
    edge(cell.view.right, r.right - 1, r.top, r.right - 1, r.bottom);
}

void SheetWindow::Impl::PaintObject(HDC dc, const WorkbookModel& book,
                                    const workbook::ShownObject& shown) {
    const DrawingObject& o = *shown.object;
    const PixelRect& frame = shown.frame;
    const double cx = frame.x + frame.width / 2, cy = frame.y + frame.height / 2;
    const PixelRect ownRect{-frame.width / 2, -frame.height / 2, frame.width, frame.height};
    const RECT own = RectOf(ownRect);
    const int saved = SaveDC(dc);
    SetGraphicsMode(dc, GM_ADVANCED);
    const workbook::ShapeKind kind = workbook::ShapeKindOf(o);
    const XFORM turn = Turn(cx, cy, o.rotation, o.flipH, o.flipV);
    SetWorldTransform(dc, &turn);
    if (kind == workbook::ShapeKind::Picture) {
        const Bitmap& image = Picture(book, o);
        if (image.pixels.empty()) {
            // A linked, missing or unreadable picture shows as a crossed box.
            Owned<HPEN> pen(CreatePen(PS_SOLID, 1, RGB(0x80, 0x80, 0x80)));
            Owned<HBRUSH> brush(CreateSolidBrush(RGB(0xF0, 0xF0, 0xF0)));
            Selected keepPen(dc, pen);
            Selected keepBrush(dc, brush);
            Rectangle(dc, own.left, own.top, own.right, own.bottom);
            MoveToEx(dc, own.left, own.top, nullptr);
            LineTo(dc, own.right, own.bottom);
            MoveToEx(dc, own.right, own.top, nullptr);
            LineTo(dc, own.left, own.bottom);
        } else {
            DrawBitmap(dc, image, own);
        }
        RestoreDC(dc, saved);
        return;
    }
    const workbook::OutlineLook outline = workbook::OutlineLookOf(o);
    Owned<HPEN> pen(outline.width > 0 ? MakePen(Ref(outline.color), outline.width, outline.dash)
                                      : CreatePen(PS_NULL, 0, 0));
    const COLORREF fill = RGB((o.fillRgb >> 16) & 0xFF, (o.fillRgb >> 8) & 0xFF, o.fillRgb & 0xFF);
    Owned<HBRUSH> brush(o.filled ? CreateSolidBrush(fill) : nullptr);
    {
        Selected keepPen(dc, pen);
        Selected keepBrush(dc,
                           o.filled ? static_cast<HGDIOBJ>(brush.h) : GetStockObject(NULL_BRUSH));
        switch (kind) {
            case workbook::ShapeKind::Line: {
                MoveToEx(dc, own.left, own.top, nullptr);
                LineTo(dc, own.right, own.bottom);
                // The arrowheads, solid in the line's colour.
                Owned<HPEN> headPen(
                    MakePen(Ref(outline.color), outline.width, drawing::Dash::Solid));
                Owned<HBRUSH> headBrush(CreateSolidBrush(Ref(outline.color)));
                Selected keepHeadPen(dc, headPen);
                Selected keepHeadBrush(dc, headBrush);
                for (const auto& a : workbook::LineArrowheads(o, ownRect, outline.width)) {
                    if (a.oval) {
                        Ellipse(dc, Px(a.center.x - a.radius), Px(a.center.y - a.radius),
                                Px(a.center.x + a.radius), Px(a.center.y + a.radius));
                        continue;
                    }
                    std::vector<POINT> points;
                    for (const auto& pt : a.points) points.push_back({Px(pt.x), Px(pt.y)});
                    if (a.closed)
                        Polygon(dc, points.data(), static_cast<int>(points.size()));
                    else
                        Polyline(dc, points.data(), static_cast<int>(points.size()));
                }
                break;
            }
            case workbook::ShapeKind::Ellipse:
                Ellipse(dc, own.left, own.top, own.right, own.bottom);
                break;
            case workbook::ShapeKind::RoundRect: {
                const int corner = Px(2 * workbook::RoundCorner(o, frame.width, frame.height));
                RoundRect(dc, own.left, own.top, own.right, own.bottom, corner, corner);
                break;
            }
            case workbook::ShapeKind::Triangle: {
                const POINT points[] = {{(own.left + own.right) / 2, own.top},
                                        {own.right, own.bottom},
                                        {own.left, own.bottom}};
                Polygon(dc, points, 3);
                break;
            }
            default:
                Rectangle(dc, own.left, own.top, own.right, own.bottom);
        }
    }
    RestoreDC(dc, saved);
    if (o.hasTextFrame && !o.text.empty()) {
        // The text, unflipped, wrapped at the shape's width.
        workbook::TextLook t;
        t.font = o.fontName.empty() ? "Calibri" : o.fontName;
        t.size = o.fontSize > 0 ? o.fontSize : 11;
        t.vAlign = drawing::VAlign::Top;
        t.wrap = true;
        t.box = workbook::ShapeTextBox(ownRect);
        DrawLines(dc, t, o.text, Turn(cx, cy, o.rotation, false, false));
    }
}

void SheetWindow::Impl::PaintTabs(HDC dc, int width, int top) {
    const RECT strip{0, top, width, top + kTabStripHeight};
    Owned<HBRUSH> face(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
    Owned<HBRUSH> white(CreateSolidBrush(RGB(255, 255, 255)));
    FillRect(dc, &strip, face);
    Owned<HFONT> font(MakeFont("Tahoma", 8.5, false, false, false, false));
    Owned<HFONT> bold(MakeFont("Tahoma", 8.5, true, false, false, false));
    Owned<HPEN> line(CreatePen(PS_SOLID, 1, RGB(0x80, 0x80, 0x80)));
    Selected keepPen(dc, line);
    tabRects.clear();
    int x = 4;
    for (std::size_t i = 0; i < tabs.names.size(); ++i) {
        const bool current = static_cast<int>(i) == tabs.current;
        Selected keepFont(dc, current ? bold : font);
        const std::wstring name = Wide(tabs.names[i]);
        SIZE size{};
        GetTextExtentPoint32W(dc, name.c_str(), static_cast<int>(name.size()), &size);
        RECT r{x, top, x + size.cx + 20, top + kTabStripHeight - 3};
        if (current) FillRect(dc, &r, white);
        const POINT outline[] = {
            {r.left, r.top}, {r.left, r.bottom}, {r.right, r.bottom}, {r.right, r.top}};
        Polyline(dc, outline, 4);
        SetTextColor(dc, RGB(0, 0, 0));
        DrawTextW(dc, name.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        tabRects.push_back(r);
        x = r.right + 2;
    }
}

const Bitmap& SheetWindow::Impl::Picture(const WorkbookModel& book, const DrawingObject& o) {
    const std::string key = book.path + '\n' + o.mediaPart;
    if (const auto it = pictures.find(key); it != pictures.end()) return it->second;
    return pictures.emplace(key, Decode(workbook::PictureBytes(book, o))).first->second;
}

SheetWindow::SheetWindow(workbook::AppSource app) : impl_(std::make_unique<Impl>(std::move(app))) {
    HINSTANCE instance = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&Impl::Proc), &instance);
    WNDCLASSEXW wc{};
    if (!GetClassInfoExW(instance, kClassName, &wc)) {
        wc = WNDCLASSEXW{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = &Impl::Proc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
        wc.lpszClassName = kClassName;
        RegisterClassExW(&wc);
    }
    CreateWindowExW(0, kClassName, L"Excel", WS_OVERLAPPEDWINDOW | WS_HSCROLL | WS_VSCROLL,
                    CW_USEDEFAULT, CW_USEDEFAULT, 900, 600, nullptr, nullptr, instance,
                    impl_.get());
    if (impl_->hwnd) SetTimer(impl_->hwnd, kFollowTimer, kFollowMilliseconds, nullptr);
    Sync();
}

SheetWindow::~SheetWindow() {
    if (impl_->hwnd) {
        KillTimer(impl_->hwnd, kFollowTimer);
        SetWindowLongPtrW(impl_->hwnd, GWLP_USERDATA, 0);
        DestroyWindow(impl_->hwnd);
    }
}

HWND SheetWindow::Handle() const {
    return impl_->hwnd;
}

void SheetWindow::Sync() {
    if (impl_->hwnd) impl_->Follow();
}

void SheetWindow::Follow(bool on) {
    Impl& w = *impl_;
    w.following = on;
    if (!w.hwnd) return;
    if (on) {
        SetTimer(w.hwnd, kFollowTimer, kFollowMilliseconds, nullptr);
        w.Follow();
        return;
    }
    KillTimer(w.hwnd, kFollowTimer);
    ShowWindow(w.hwnd, SW_HIDE);
    w.shownOnce = false;
}

void SheetWindow::Impl::Follow() {
    Scene();
    const workbook::SheetScene::Followed f = scene.Follow(GetCapture() == hwnd);
    const std::wstring caption = Wide(f.caption);
    wchar_t now[256] = {};
    GetWindowTextW(hwnd, now, 256);
    if (caption != now) SetWindowTextW(hwnd, caption.c_str());
    tabs = f.tabs;
    if (f.open && !shownOnce && following) {
        shownOnce = true;
        ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    }
    PushScrollBars();
    Redraw();
}

void SheetWindow::PaintTo(HDC dc) {
    RECT r{};
    GetClientRect(impl_->hwnd, &r);
    impl_->Paint(dc, r.right, r.bottom);
}

}  // namespace tbln::win32
