// The sheet window on a real window: mouse messages at places measured through the
// engine's own ranges (the widths of the columns left of a cell, the heights of the rows
// above it) make the right cell active — a plain cell, a cell inside a merged area, the
// cells on either side of a hidden column, an extending Shift+click — and its paint shows
// the fills, the border and the merged area where they belong, and a wrapped text on as
// many lines as it takes at its font's size; the wheel scrolls and a sheet tab activates
// its sheet.
// Usage: tbln-sheet-window-check gui_sheets.xlsx. Prints one line per check; exits 1
// when one fails.
#include <cstdio>
#include <string>

#include "adapters/scripted/scripted_ui.hpp"
#include "adapters/win32/sheet_window.hpp"
#include "adapters/win32/windows_api.hpp"
#include "adapters/workbook/embedded_excel.hpp"
#include "adapters/workbook/sheet_scene.hpp"

namespace {

using namespace tbln;

// The window's pixel at (x, y) from the sheet's top-left corner in points, past the
// headers.
POINT At(double xPoints, double yPoints) {
    return {workbook::kSceneHeaderWidth + static_cast<LONG>(xPoints * 96 / 72),
            workbook::kSceneHeaderHeight + static_cast<LONG>(yPoints * 96 / 72)};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tbln-sheet-window-check gui_sheets.xlsx\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    scripted::ScriptedUi ui;
    const auto app = workbook::CreateEmbeddedExcel(ui);
    app->Workbooks()->Open(argv[1]);
    win32::SheetWindow window([&] { return app; });
    HWND hwnd = window.Handle();
    SetWindowPos(hwnd, nullptr, 20, 20, 900, 600, SWP_NOZORDER);
    window.Sync();
    int failed = 0;
    const auto check = [&](const std::string& what, bool ok) {
        std::printf("%s: %s\n", ok ? "ok" : "FAILED", what.c_str());
        failed += ok ? 0 : 1;
    };
    check("the window is shown and titled with the engine's caption", [&] {
        wchar_t title[128] = {};
        GetWindowTextW(hwnd, title, 128);
        return IsWindowVisible(hwnd) && std::wstring(title) == L"Excel - gui_sheets.xlsx";
    }());

    auto sheet = app->ActiveSheet();
    // The left of column `col` and the top of row `row` in points, through the engine.
    const auto left = [&](Long col) {
        return col == 1 ? 0.0 : sheet->Range(sheet->Cells(1, 1), sheet->Cells(1, col - 1))->Width();
    };
    const auto top = [&](Long row) {
        return row == 1 ? 0.0
                        : sheet->Range(sheet->Cells(1, 1), sheet->Cells(row - 1, 1))->Height();
    };
    const auto width = [&](Long col) { return sheet->Cells(1, col)->Width(); };
    const auto height = [&](Long row) { return sheet->Cells(row, 1)->Height(); };
    struct Click {
        const char* what;
        Long row, col;  // the cell clicked
        double dx, dy;  // where in it, as a share of its width and height
        bool shift;
        Long activeRow, activeCol, top, left, bottom, right;  // what the engine then holds
    };
    const Click clicks[] = {
        {"B2, a plain cell", 2, 2, 0.5, 0.5, false, 2, 2, 2, 2, 2, 2},
        {"C6, inside the merged area B5:C6", 6, 3, 0.5, 0.5, false, 5, 2, 5, 2, 6, 3},
        {"the last pixels of C, before the hidden column D", 2, 3, 0.97, 0.5, false, 2, 3, 2, 3, 2,
         3},
        {"the first pixels of E, after the hidden column D", 2, 5, 0.03, 0.5, false, 2, 5, 2, 5, 2,
         5},
        {"A12, below the merged area", 12, 1, 0.5, 0.5, false, 12, 1, 12, 1, 12, 1},
        {"Shift+C10 extends from A12", 10, 3, 0.5, 0.5, true, 12, 1, 10, 1, 12, 3},
    };
    for (const Click& c : clicks) {
        const POINT p = At(left(c.col) + width(c.col) * c.dx, top(c.row) + height(c.row) * c.dy);
        const WPARAM keys = c.shift ? MK_SHIFT : 0;
        SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON | keys, MAKELPARAM(p.x, p.y));
        SendMessageW(hwnd, WM_LBUTTONUP, keys, MAKELPARAM(p.x, p.y));
        const auto& model = workbook::ActiveWorkbookModel(*app)->sheets.at(0);
        const workbook::Area& a = model.selection.at(0);
        check(std::string("a click on ") + c.what + " makes R" + std::to_string(c.activeRow) + "C" +
                  std::to_string(c.activeCol) + " active",
              model.activeRow == c.activeRow && model.activeCol == c.activeCol && a.top == c.top &&
                  a.left == c.left && a.bottom == c.bottom && a.right == c.right);
    }

    // The paint, into a bitmap the size of the client area.
    RECT client{};
    GetClientRect(hwnd, &client);
    HDC screen = GetDC(hwnd);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(dc, bitmap);
    window.PaintTo(dc);
    // A pixel of a colour, or a band (x, y to x + width, y + height) all of it (`all`) or
    // not all of it (something drawn there) of a colour.
    struct Pixel {
        const char* what;
        double x, y;  // points from the sheet's corner
        COLORREF color;
        double width = 0, height = 0;
        bool all = true;
    };
    const COLORREF white = RGB(255, 255, 255);
    const Pixel pixels[] = {
        {"B2's red fill", left(2) + width(2) - 4, top(2) + 4, RGB(255, 0, 0)},
        {"C3's thick blue bottom border", left(3) + width(3) / 2, top(4) - 1, RGB(0, 0, 255)},
        {"C3 white above its border", left(3) + width(3) / 2, top(3) + 3, white},
        {"B5:C6 green where the gridline between B and C would be", left(3) - 0.4, top(5) + 4,
         RGB(0, 255, 0)},
        {"B5:C6 green where the gridline between 5 and 6 would be", left(4) - 4, top(6) - 0.4,
         RGB(0, 255, 0)},
        // Measured at its font's real size, G22's text fits its column by two pixels.
        {"G22's wrapped text on its first line", left(7) + 3, top(22) + 3, white, width(7) - 6, 8,
         false},
        {"G22's second line empty", left(7) + 3, top(22) + 16, white, width(7) - 6, 10},
    };
    for (const Pixel& px : pixels) {
        const POINT p = At(px.x, px.y), end = At(px.x + px.width, px.y + px.height);
        COLORREF got = GetPixel(dc, p.x, p.y);
        int matching = 0, all = 0;
        for (LONG y = p.y; y <= end.y; ++y) {
            for (LONG x = p.x; x <= end.x; ++x, ++all) {
                const COLORREF here = GetPixel(dc, x, y);
                if (here == px.color) ++matching;
                if (here != px.color) got = here;
            }
        }
        char text[64];
        std::snprintf(text, sizeof text, " (got %02X%02X%02X)", GetRValue(got), GetGValue(got),
                      GetBValue(got));
        check(std::string("paint: ") + px.what + text, px.all ? matching == all : matching < all);
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(hwnd, screen);

    // The wheel and the tabs, told by what the engine then holds: a click just under the
    // column headers makes the first row in view active; a click along the tab strip,
    // left to right, first changes the active sheet to the second tab's.
    const auto press = [&](POINT p) {
        SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
        SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    };
    const auto firstRowInView = [&] {
        press(At(width(1) / 2, 2));
        return workbook::ActiveWorkbookModel(*app)->sheets.at(0).activeRow;
    };
    const Long firstRow = firstRowInView();
    SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)),
                 MAKELPARAM(100, 100));
    const Long scrolledRow = firstRowInView();
    check("the wheel turned down scrolls from row " + std::to_string(firstRow) + " to row " +
              std::to_string(scrolledRow),
          firstRow == 1 && scrolledRow > 1);
    SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(100, 100));
    check("the wheel turned up scrolls back to row 1", firstRowInView() == 1);

    const std::string second = app->ActiveWorkbook()->Sheets()->Item(2)->Name();
    std::string reached;
    GetClientRect(hwnd, &client);
    for (LONG x = 2; x < client.right && reached.empty(); x += 4) {
        press({x, client.bottom - win32::SheetWindow::kTabStripHeight / 2});
        const std::string now = app->ActiveSheet()->Name();
        if (now != sheet->Name()) reached = now;
    }
    check("a click on the tab " + second + " activates it (got " + reached + ")",
          reached == second);
    return failed == 0 ? 0 : 1;
}
