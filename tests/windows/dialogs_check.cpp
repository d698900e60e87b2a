// The library's own dialogs as Win32 windows under Wine, opened through the entry points
// the macros call: each is found by its caption, pictured, and left with Esc and with
// the close box, and the entry point must then report False; the range dialog's
// messages before a workbook is chosen are read off the message boxes; a range typed
// into the range dialog is imported as the unattended run imports it. A window titled
// with the spreadsheet's caption stands in for the sheet window the dialogs bring
// forward. Pictures go to the folder given as the first argument (BMP files).
// Prints one line per check; exits 1 when one fails.
//   tbln-dialogs-check.exe PICTURES_FOLDER EXAMPLES_FOLDER
// With --leave, it is the person at another program's dialog instead: it waits for a
// dialog window captioned CAPTION (in any process, such as a macro's cscript) and leaves
// it with Esc or with the close box; exits 1 when none comes within a minute.
//   tbln-dialogs-check.exe --leave CAPTION esc|close
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "adapters/win32/wide_text.hpp"
#include "adapters/win32/windows_api.hpp"
#include "apps/lib/tbln.hpp"
#include "controls/progress_bar.hpp"
#include "windows/win32_driver.hpp"

namespace fs = std::filesystem;
using namespace tbln;

namespace {

int failed = 0;

void Check(bool ok, const std::string& what, const std::string& detail = {}) {
    std::printf("%s: %s%s%s\n", ok ? "ok" : "FAILED", what.c_str(), detail.empty() ? "" : " -- ",
                detail.c_str());
    if (!ok) ++failed;
}

// The window as a person at it sees it, frame included and active (a chooser or the
// sheet window may have been in front last), as a 24-bit BMP file. Wine can leave a
// dialog brought back in front with its caption drawn inactive: an active one is told
// again that it is.
void Picture(HWND window, const fs::path& file) {
    SetForegroundWindow(window);
    SetActiveWindow(window);
    if (GetActiveWindow() == window) SendMessageW(window, WM_NCACTIVATE, TRUE, 0);
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT r{};
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    // The window's own surface, which its controls draw on too.
    HDC screen = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    std::vector<char> pixels(stride * static_cast<DWORD>(h));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(h), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    BITMAPFILEHEADER head{};
    head.bfType = 0x4D42;
    head.bfOffBits = sizeof head + sizeof info;
    head.bfSize = head.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&head), sizeof head);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
}

// Stands in for the sheet window: a top-level window whose title follows the caption of
// the spreadsheet the dialogs have attached, which is the window they bring forward.
class SheetStandIn {
  public:
    explicit SheetStandIn(Module& m) : m_(m) {
        window_ = CreateWindowExW(0, L"STATIC", L"Excel", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  320, 200, nullptr, nullptr, nullptr, nullptr);
    }
    ~SheetStandIn() { DestroyWindow(window_); }
    HWND Window() const { return window_; }
    void Follow() {
        const std::string caption = m_.xlApp ? m_.xlApp->Caption() : "Excel";
        SetWindowTextW(window_, win32::Wide(caption).c_str());
    }

  private:
    Module& m_;
    HWND window_ = nullptr;
};

HWND H(ui::Hwnd hwnd) {
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(hwnd));
}

enum class Leave { Escape, CloseBox };
const char* Name(Leave how) {
    return how == Leave::Escape ? "Esc" : "the close box";
}

}  // namespace

int Run(int argc, char** argv);

// Leaves another program's dialog as a person does: Esc pressed on it, or its close box.
int LeaveDialog(const std::string& caption, const std::string& how) {
    const std::wstring title = win32::Wide(caption);
    for (int tries = 0; tries < 600; ++tries) {
        HWND dialog = FindWindowW(L"tblnForm", title.c_str());
        if (dialog && IsWindowVisible(dialog) && IsWindowEnabled(dialog)) {
            if (how == "close") {
                PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            } else {
                PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 1);
                PostMessageW(dialog, WM_KEYUP, VK_ESCAPE, 0xC0000001);
            }
            std::printf("ok: the dialog %s was shown and left with %s\n", caption.c_str(),
                        how.c_str());
            return 0;
        }
        Sleep(100);
    }
    std::printf("FAILED: no dialog %s was shown\n", caption.c_str());
    return 1;
}

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--leave") return LeaveDialog(argv[2], argv[3]);
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::printf("FAILED: an error reached the check: %s\n", e.what());
        return 1;
    }
}

int Run(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tbln-dialogs-check PICTURES_FOLDER EXAMPLES_FOLDER\n");
        return 2;
    }
    const fs::path pictures = argv[1], examples = argv[2];
    fs::create_directories(pictures);
    const fs::path root = fs::temp_directory_path() / "tbln-dialogs-check";
    fs::create_directories(root);
    win32::Win32Ui ui;
    Win32Driver driver(&ui);
    Session session(root.string(), ui);
    session.InstallReader();
    Application& app = session.App();
    SheetStandIn sheet(session.GetModule());
    ui.AddWindow(sheet.Window(), [&sheet] { sheet.Follow(); });
    const std::string door = (examples / "door_schedule.xlsx").string();
    const std::string titleBlock = (examples / "title_block.xlsx").string();
    const std::string qv = root.string();

    // Finds the dialog by its caption, pictures it the first time, then leaves it.
    const auto leave = [&](const std::string& caption, Leave how, const char* picture) {
        driver.OnDialog(caption, [&ui, picture, pictures](ui::Form& form) {
            if (picture) Picture(ui.FormWindow(form), pictures / picture);
        });
        if (how == Leave::Escape) {
            driver.Key("Escape");
        } else {
            driver.CloseBox();
        }
    };

    // The range dialog: its messages before a workbook is chosen, then left both ways.
    {
        struct Case {
            const char* button;
            const char* text;
        };
        const Case cases[] = {{"btnOK", "Please select an Excel file for importing"},
                              {"btnUpdateTL", "Please select an Excel file for update"},
                              {"btnUpdateBR", "Please select an Excel file for update"},
                              {"btnView", "Please select an Excel file for viewing"}};
        std::vector<std::pair<std::string, std::string>> seen(std::size(cases));
        // Dragged by its background with the mouse, the dialog follows: the button pressed
        // on the background, the mouse moved in two steps, the button released. Each step
        // waits until the one before has been taken off the input queue; a press the
        // window never got (the form's drag never began) is released and given once more.
        // Under a loaded display server a press can still reach the window before the
        // pointer has reached its place, so the move starts from elsewhere: the whole
        // gesture is made again, up to three times, and must once move the dialog by
        // exactly what the mouse moved.
        RECT before{}, after{};
        POINT from{};
        HWND dragged = nullptr;
        bool pressedAgain = false;
        const auto mouse = [](LONG x, LONG y, DWORD button) {
            INPUT in{};
            in.type = INPUT_MOUSE;
            in.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
            in.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
            in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | button;
            SendInput(1, &in, sizeof in);
        };
        const auto press = [&] {
            mouse(from.x, from.y, 0);
            mouse(from.x, from.y, MOUSEEVENTF_LEFTDOWN);
        };
        // The system's move loop runs for the dialog (the form's drag has begun).
        const auto moving = [&] {
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            return GetGUIThreadInfo(GetCurrentThreadId(), &info) &&
                   ((info.flags & GUI_INMOVESIZE) != 0 ||
                    (dragged && info.hwndMoveSize == dragged));
        };
        const auto settled = [] { return HIWORD(GetQueueStatus(QS_MOUSE)) == 0; };
        const auto drag = [&] {
            from = POINT{10, 250};  // below View Selection: the dialog's background
            driver.OnDialog("Import Excel Data", [&](ui::Form& form) {
                dragged = ui.FormWindow(form);
                GetWindowRect(dragged, &before);
                ClientToScreen(dragged, &from);
                press();
            });
            driver.When(
                "take the press on the background", [&] { return moving() || settled(); },
                [&] {
                    if (moving()) return;
                    pressedAgain = true;
                    mouse(from.x, from.y, MOUSEEVENTF_LEFTUP);
                    press();
                });
            driver.When("begin the drag", moving, [&] { mouse(from.x + 20, from.y + 15, 0); });
            driver.When("take the first move", settled,
                        [&] { mouse(from.x + 40, from.y + 30, 0); });
            driver.When("take the second move", settled,
                        [&] { mouse(from.x + 40, from.y + 30, MOUSEEVENTF_LEFTUP); });
            driver.When(
                "end the drag", [&] { return settled() && !moving(); },
                [&] { GetWindowRect(dragged, &after); });
            driver.Key("Escape");
            CaptureArguments dragArgs;
            dragArgs.QVPath = qv;
            app.BuildCell(dragArgs);
            return after.left - before.left == 40 && after.top - before.top == 30;
        };
        int attempts = 0;
        while (attempts < 3 && !drag()) ++attempts;
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            driver.Click(cases[i].button);
            driver.ReadAndAnswer(ui::vbOK, seen[i].first, seen[i].second);
        }
        driver.Key("Escape");
        CaptureArguments a;
        a.QVPath = qv;
        Boolean result = app.BuildCell(a);
        Check(result == False, "BuildCell left with Esc returns False");
        Check(after.left - before.left == 40 && after.top - before.top == 30,
              "the range dialog follows the mouse dragging its background",
              "moved by " + std::to_string(after.left - before.left) + ", " +
                  std::to_string(after.top - before.top) +
                  (pressedAgain ? " (the first press was lost and given again)" : "") +
                  (attempts ? ", after " + std::to_string(attempts) + " gesture(s) that missed"
                            : ""));
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            Check(
                seen[i].first == "Error" && seen[i].second == cases[i].text,
                std::string(cases[i].button) + " without a workbook says \"" + cases[i].text + "\"",
                seen[i].first + ": " + seen[i].second);
        }
        // A workbook chosen in the file chooser and the corners typed, then Start.
        driver.Click("btnBrowse");
        driver.ChooseFile(door);
        driver.Type("topLeftCol", "A");
        driver.Type("topLeftRow", "1");
        driver.Type("botRightCol", "H");
        driver.Type("botRightRow", "10");
        driver.OnDialog("Import Excel Data", [&](ui::Form& form) {
            Picture(ui.FormWindow(form), pictures / "range_dialog.bmp");
        });
        driver.Click("btnOK");
        result = app.BuildCell(a);
        Check(result == True && a.startRow0 == 1 && a.endRow0 == 10 && a.startCol0 == 1 &&
                  a.endCol0 == 8 && a.dgnCell0.RowUpper() == 10 && a.dgnCell0.ColUpper() == 8 &&
                  fs::path(a.fileName0).filename() == "door_schedule.xlsx" &&
                  a.sheetName0 == "Doors",
              "the range typed into the range dialog is imported",
              "rows " + std::to_string(a.startRow0) + ".." + std::to_string(a.endRow0) +
                  ", columns " + std::to_string(a.startCol0) + ".." + std::to_string(a.endCol0) +
                  ", sheet " + a.sheetName0);
        leave("Import Excel Data", Leave::CloseBox, nullptr);
        result = app.BuildCell(a);
        Check(result == False, "BuildCell left with the close box returns False");
    }

    // The update's progress window, which closes itself: pictured once its progress row
    // shows, with the bar's border on the windows as its BorderStyle says (the control's
    // window exists only while the form is shown): the bar's thin edge, or the control's
    // sunken one.
    {
        struct Border {
            Long style;
            DWORD holderEdge, barEdge;  // extended styles the control's and the bar's window have
        };
        const Border borders[] = {{1, 0, WS_EX_STATICEDGE}, {2, WS_EX_CLIENTEDGE, 0}};
        ui::Form& form = session.GetModule().Dialog(DialogId::DeepUpdateForm);
        auto& bar = dynamic_cast<ProgressBar&>(*form.FindControl("ProgressBar1"));
        for (const Border& b : borders) {
            bar.SetBorderStyle(b.style);
            DWORD holderEx = 0, barEx = 0, barStyle = 0;
            bool inside = false;
            driver.OnDialog("Processing Excel Data", [](ui::Form&) {});
            driver.When(
                "show the progress row",
                [&] { return form.IsLoaded() && IsWindowVisible(H(bar.hWnd)); },
                [&] {
                    HWND holder = H(bar.hWnd), window = H(bar.ChildWindow());
                    holderEx = static_cast<DWORD>(GetWindowLongW(holder, GWL_EXSTYLE));
                    barEx = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
                    barStyle = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
                    inside = GetParent(window) == holder;
                    if (b.style == 1)
                        Picture(ui.FormWindow(form), pictures / "update_progress.bmp");
                });
            CaptureArguments a;
            a.fileName0 = door, a.sheetName0 = "Doors";
            a.startRow0 = 1, a.endRow0 = 10, a.startCol0 = 1, a.endCol0 = 8;
            const Boolean result = app.DeepUpdate(a);
            Check(result == True && a.dgnCell0.RowUpper() == 10,
                  "DeepUpdate's progress window closes itself");
            const std::string border = "BorderStyle " + std::to_string(b.style);
            Check(inside && (barStyle & (WS_CHILD | WS_VISIBLE)) == (WS_CHILD | WS_VISIBLE),
                  "the progress bar shows inside its control");
            Check((holderEx & WS_EX_CLIENTEDGE) == b.holderEdge &&
                      (barEx & WS_EX_STATICEDGE) == b.barEdge,
                  border + " puts its edge on the progress bar's windows",
                  "control " + std::to_string(holderEx) + ", bar " + std::to_string(barEx));
        }
    }

    // The dialogs with a Cancel button, left with Esc and with the close box.
    for (const Leave how : {Leave::Escape, Leave::CloseBox}) {
        const bool first = how == Leave::Escape;
        {
            leave("Populate Excel Data", how, first ? "populate.bmp" : nullptr);
            Integer a = 1, b = 2, n = 3, c = 4, e = 5, f = 6;
            std::string t = "t", o = "o", x = "x", s = "s", d = "dgn", q = qv;
            const Boolean result = app.Populate(a, b, n, c, e, f, t, o, x, s, d, q);
            Check(result == False && a == 1 && t == "t",
                  std::string("Populate left with ") + Name(how) + " returns False");
        }
        for (const bool make : {true, false}) {
            const char* caption = make ? "Link Block" : "Insert Block";
            leave(caption, how, first ? (make ? "link_block.bmp" : "insert_block.bmp") : nullptr);
            TagPosArray tags0(0, 0), tags1;
            tags0(0) = std::make_shared<TagPos>();
            tags0(0)->tagName = "TAG0";
            std::string file = titleBlock, sheetName = "Title Block", q = qv;
            const Boolean result = make ? app.MakeBlock(tags0, tags1, file, sheetName, q)
                                        : app.InsertBlock(tags0, tags1, file, sheetName);
            Check(result == False && !tags1.IsAllocated(),
                  std::string(make ? "MakeBlock" : "InsertBlock") + " left with " + Name(how) +
                      " returns False");
        }
        {
            leave("Reset Last Used Cell", how, first ? "reset_last_used_cell.bmp" : nullptr);
            app.SetLUC();
            Check(!session.GetModule().Dialog(DialogId::MakeLUCForm).IsLoaded(),
                  std::string("SetLUC's dialog closes with ") + Name(how));
        }
    }

    // The export of drawing names: Esc cancels; its close box is taken away.
    {
        bool noClose = false;
        driver.OnDialog(" Export Drawing Names to Excel", [&](ui::Form& form) {
            HWND w = ui.FormWindow(form);
            Picture(w, pictures / "export_drawing_names.bmp");
            noClose = GetMenuState(GetSystemMenu(w, FALSE), SC_CLOSE, MF_BYCOMMAND) ==
                      static_cast<UINT>(-1);
        });
        driver.Key("Escape");
        std::string format = "dgn";
        app.ExportDGNName(format);
        Check(format == "dgn" && !session.GetModule().Dialog(DialogId::MultiDGNsForm).IsLoaded(),
              "ExportDGNName's dialog closes with Esc");
        Check(noClose, "ExportDGNName's dialog has no Close in its system menu");
    }

    // The document import: its chooser cancelled gives False; a document chosen shows the
    // progress window, which closes itself.
    {
        WordLineArray lines;
        Integer pages = 0;
        Single pw = 0, ph = 0;
        std::string file;
        driver.CancelChooser();
        Boolean result = app.ParseWord(lines, pages, pw, ph, file);
        Check(result == False, "ParseWord with its chooser cancelled returns False");
        driver.ChooseFile((examples / "notes.docx").string());
        driver.OnDialog("  Processing Word Data ...", [&](ui::Form& form) {
            Picture(ui.FormWindow(form), pictures / "document_progress.bmp");
        });
        result = app.ParseWord(lines, pages, pw, ph, file);
        Check(result == True && lines.IsAllocated(),
              "ParseWord's progress window closes itself after the scan");
    }
    Check(driver.Failures().empty(), "every step of the driver ran", driver.Failures());
    std::error_code ec;
    fs::remove_all(root, ec);
    return failed ? 1 : 0;
}
