#include "adapters/win32/win32_ui.hpp"

#include <algorithm>
#include <exception>
#include <set>
#include <vector>

#include "adapters/win32/wide_text.hpp"
#include "adapters/win32/windows_api.hpp"
#include "core/error.hpp"

namespace tbln::win32 {

namespace {

constexpr Long kFrameWidth = 120;      // twips of a form's width taken by its frame
constexpr Long kFrameHeight = 510;     // twips of a form's height taken by frame and caption
constexpr UINT_PTR kRefreshTimer = 1;  // follows changes made outside an event
constexpr UINT kRefreshMs = 50;
constexpr int kDropDownPixels = 160;  // the open list of a combo box
constexpr Long kWsChild = 0x40000000;
constexpr UINT kWmNcLButtonDown = 0xA1;
constexpr DWORD kClientEdge = 0x200;  // WS_EX_CLIENTEDGE: the sunken edge of an entry field
const wchar_t* const kFormClass = L"tblnForm";
const wchar_t* const kHolderClass = L"tblnControl";

HWND H(ui::Hwnd hwnd) {
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(hwnd));
}
ui::Hwnd Handle(HWND hwnd) {
    return static_cast<ui::Hwnd>(reinterpret_cast<LONG_PTR>(hwnd));
}

// The module this adapter lives in (the DLL when it is in tbln.dll), which owns its
// window classes.
HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

std::wstring TextOf(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

// A caption only the program changes: sent when it differs from the one last sent.
void SetCaption(HWND hwnd, std::string& sent, const std::string& text) {
    if (text == sent) return;
    SetWindowTextW(hwnd, Wide(text).c_str());
    sent = text;
}

// A text the user edits too: sent when it differs from what the window shows.
void SetTextIfChanged(HWND hwnd, const std::string& text) {
    const std::wstring wide = Wide(text);
    if (TextOf(hwnd) != wide) SetWindowTextW(hwnd, wide.c_str());
}

// The holder of a control without a window class of its own: clicks go through to the
// form, as they do on the form's background; its child window takes its own.
LRESULT CALLBACK HolderProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCHITTEST) return HTTRANSPARENT;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

void RegisterClasses() {
    static const bool done = [] {
        WNDCLASSEXW form{};
        form.cbSize = sizeof form;
        form.lpfnWndProc = FormProc;
        form.hInstance = ThisModule();
        form.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        form.lpszClassName = kFormClass;
        form.cbWndExtra = DLGWINDOWEXTRA;
        RegisterClassExW(&form);
        WNDCLASSEXW holder = form;
        holder.lpfnWndProc = HolderProc;
        holder.lpszClassName = kHolderClass;
        holder.cbWndExtra = 0;
        RegisterClassExW(&holder);
        return true;
    }();
    (void)done;
}

}  // namespace

class Win32Ui::Impl {
  public:
    // What was last put on a control's window, so that only changes are sent.
    struct Binding {
        ui::Control* control = nullptr;
        HWND hwnd = nullptr;
        Long left = -1, top = -1, width = -1, height = -1;
        std::vector<std::string> items;
        std::vector<Long> stops;
        std::string caption;
        bool isDefault = false;
        bool locked = false;
    };
    struct TimerBinding {
        ui::Timer* timer = nullptr;
        UINT_PTR id = 0;
        std::uint64_t epoch = ~std::uint64_t{0};
        bool running = false;
    };
    struct Shown {
        Impl* impl = nullptr;
        ui::Form* form = nullptr;
        HWND window = nullptr;
        HWND owner = nullptr;  // disabled while the dialog is up
        std::vector<Binding> bindings;
        std::vector<TimerBinding> timers;
        Long left = -1, top = -1;
        std::string caption;
    };

    explicit Impl(Win32Ui& ui) : ui_(ui) {}
    ~Impl() {
        if (font) DeleteObject(font);
        if (parking) ::DestroyWindow(parking);
    }

    Win32Ui& ui_;
    std::vector<std::unique_ptr<Shown>> stack;
    std::set<HWND> known;  // windows a dialog never disables
    std::vector<std::function<void()>> titleUpdates;
    std::exception_ptr pending;
    HFONT font = nullptr;
    HWND parking = nullptr;
    int blocking = 0;    // message boxes and choosers up: the dialogs' timers wait
    int refreshing = 0;  // the adapter itself is changing the controls: no events

    HWND TopWindow() const { return stack.empty() ? nullptr : stack.back()->window; }

    Shown* Find(const ui::Form& form) const {
        for (const auto& s : stack) {
            if (s->form == &form) return s.get();
        }
        return nullptr;
    }

    Long TwipsPerPixel() { return ui_.TwipsPerPixelX(); }
    int Px(Long twips) { return static_cast<int>(twips / TwipsPerPixel()); }

    HWND Parking() {
        if (!parking) {
            parking = CreateWindowExW(0, kHolderClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                      ThisModule(), nullptr);
        }
        return parking;
    }

    // The forms' font, Tahoma 8.25 points, at the system's DPI.
    HFONT Font() {
        if (!font) {
            HDC dc = GetDC(nullptr);
            const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
            if (dc) ReleaseDC(nullptr, dc);
            font = CreateFontW(-MulDiv(825, dpi, 7200), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                               DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
        }
        return font;
    }

    // Runs a model event. An error that escapes it unloads the form on top and is kept
    // for that form's ShowModal to raise.
    void Dispatch(const std::function<void()>& event) {
        ui::RunEvent(event, pending, stack.empty() ? nullptr : stack.back()->form);
        RefreshAll();
    }

    void RefreshAll() {
        for (auto& s : stack) Refresh(*s);
    }

    void Refresh(Shown& s) {
        ui::Form& form = *s.form;
        if (!form.IsLoaded()) {
            for (auto& t : s.timers) KillTimer(s.window, t.id);
            ::ShowWindow(s.window, SW_HIDE);
            PostMessageW(s.window, WM_NULL, 0, 0);  // wakes the modal loop
            return;
        }
        ++refreshing;
        SetCaption(s.window, s.caption, form.Caption);
        if (form.Left != s.left || form.Top != s.top) {
            ::SetWindowPos(s.window, nullptr, Px(form.Left), Px(form.Top), 0, 0,
                           ui::SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            s.left = form.Left;
            s.top = form.Top;
        }
        for (auto& b : s.bindings) RefreshControl(b);
        for (auto& t : s.timers) {
            if (t.timer->Epoch() == t.epoch) continue;
            t.epoch = t.timer->Epoch();
            KillTimer(s.window, t.id);
            if (t.timer->TimerEnabled() && t.timer->Interval() > 0)
                SetTimer(s.window, t.id, static_cast<UINT>(t.timer->Interval()), nullptr);
        }
        --refreshing;
    }

    static void RefreshItems(Binding& b, const ui::ListControl& l, UINT reset, UINT add) {
        if (b.items == l.Items()) return;
        SendMessageW(b.hwnd, reset, 0, 0);
        for (const auto& item : l.Items()) {
            const std::wstring wide = Wide(item);
            SendMessageW(b.hwnd, add, 0, reinterpret_cast<LPARAM>(wide.c_str()));
        }
        b.items = l.Items();
    }

    void RefreshControl(Binding& b) {
        ui::Control& c = *b.control;
        HWND w = b.hwnd;
        if (c.Width > 0 &&
            (c.Left != b.left || c.Top != b.top || c.Width != b.width || c.Height != b.height)) {
            // A combo box's window holds its open list too.
            const int extra = dynamic_cast<ui::ComboBox*>(&c) ? kDropDownPixels : 0;
            ::MoveWindow(w, Px(c.Left), Px(c.Top), Px(c.Width), Px(c.Height) + extra, TRUE);
            b.left = c.Left;
            b.top = c.Top;
            b.width = c.Width;
            b.height = c.Height;
        }
        // A control's child window (the progress bar's bar) fills the control.
        if (HWND child = H(c.ChildWindow()); child && IsWindow(child)) {
            if (GetParent(child) != w) {
                ::SetParent(child, w);
                ::ShowWindow(child, SW_SHOWNA);
            }
            RECT inner{}, now{};
            GetClientRect(w, &inner);
            GetWindowRect(child, &now);
            MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&now), 2);
            if (!EqualRect(&inner, &now))
                ::MoveWindow(child, 0, 0, inner.right, inner.bottom, TRUE);
        }
        if (static_cast<bool>(IsWindowEnabled(w)) != c.Enabled) EnableWindow(w, c.Enabled);
        if (static_cast<bool>(GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE) != c.Visible)
            ::ShowWindow(w, c.Visible ? SW_SHOWNA : SW_HIDE);
        if (auto* l = dynamic_cast<ui::Label*>(&c)) {
            SetCaption(w, b.caption, l->Caption());  // frames too
        } else if (auto* bt = dynamic_cast<ui::CommandButton*>(&c)) {
            SetCaption(w, b.caption, bt->Caption());
            if (bt->Default() != b.isDefault) {
                SendMessageW(w, BM_SETSTYLE, bt->Default() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON,
                             TRUE);
                b.isDefault = bt->Default();
            }
        } else if (auto* t = dynamic_cast<ui::TextBox*>(&c)) {
            SetTextIfChanged(w, t->Text());
            if (t->Locked() != b.locked) {
                SendMessageW(w, EM_SETREADONLY, t->Locked(), 0);
                b.locked = t->Locked();
            }
        } else if (auto* k = dynamic_cast<ui::CheckBox*>(&c)) {
            SetCaption(w, b.caption, k->Caption());
            const WPARAM state = k->Value() != 0 ? BST_CHECKED : BST_UNCHECKED;
            if (static_cast<WPARAM>(SendMessageW(w, BM_GETCHECK, 0, 0)) != state)
                SendMessageW(w, BM_SETCHECK, state, 0);
        } else if (auto* cb = dynamic_cast<ui::ComboBox*>(&c)) {
            RefreshItems(b, *cb, CB_RESETCONTENT, CB_ADDSTRING);
            if (SendMessageW(w, CB_GETCURSEL, 0, 0) != cb->ListIndex())
                SendMessageW(w, CB_SETCURSEL, static_cast<WPARAM>(cb->ListIndex()), 0);
            SetTextIfChanged(w, cb->Text());
        } else if (auto* lb = dynamic_cast<ui::ListBox*>(&c)) {
            if (lb->TabStops() != b.stops) {
                std::vector<INT> stops(lb->TabStops().begin(), lb->TabStops().end());
                SendMessageW(w, ui::LB_SETTABSTOPS, stops.size(),
                             reinterpret_cast<LPARAM>(stops.empty() ? nullptr : stops.data()));
                b.stops = lb->TabStops();
                InvalidateRect(w, nullptr, TRUE);
            }
            RefreshItems(b, *lb, LB_RESETCONTENT, LB_ADDSTRING);
            if (SendMessageW(w, LB_GETCURSEL, 0, 0) != lb->ListIndex())
                SendMessageW(w, LB_SETCURSEL, static_cast<WPARAM>(lb->ListIndex()), 0);
        }
    }

    // The control's window: its class and styles by the control's kind.
    HWND MakeWindow(ui::Control& c, HWND parent, int id) {
        const wchar_t* cls = kHolderClass;
        DWORD style = WS_CHILD | WS_CLIPSIBLINGS, ex = 0;
        if (auto* b = dynamic_cast<ui::CommandButton*>(&c)) {
            cls = L"BUTTON";
            style |= WS_TABSTOP | (b->Default() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        } else if (dynamic_cast<ui::TextBox*>(&c)) {
            cls = L"EDIT";
            style |= WS_TABSTOP | ES_AUTOHSCROLL;
            ex = kClientEdge;
        } else if (dynamic_cast<ui::CheckBox*>(&c)) {
            cls = L"BUTTON";
            style |= WS_TABSTOP | BS_AUTOCHECKBOX;
        } else if (dynamic_cast<ui::ComboBox*>(&c)) {
            cls = L"COMBOBOX";
            style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL;
        } else if (dynamic_cast<ui::ListBox*>(&c)) {
            cls = L"LISTBOX";
            style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_USETABSTOPS | LBS_NOINTEGRALHEIGHT;
            ex = kClientEdge;
        } else if (dynamic_cast<ui::Frame*>(&c)) {
            cls = L"BUTTON";
            style |= BS_GROUPBOX;
        } else if (dynamic_cast<ui::Label*>(&c)) {
            cls = L"STATIC";
            style |= SS_LEFT | SS_NOPREFIX;
        } else {
            style |= WS_CLIPCHILDREN;
        }
        HWND w = CreateWindowExW(ex, cls, L"", style, 0, 0, 0, 0, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ThisModule(),
                                 nullptr);
        SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
        return w;
    }

    // A notification of a control (WM_COMMAND): the user's action as the model's event.
    void Command(Shown& s, int id, int code, HWND from) {
        ui::Form& form = *s.form;
        if (from == nullptr || id == IDOK || id == IDCANCEL) {
            // The dialog manager's Enter (no default button) and Esc.
            ui::CommandButton* target = id == IDCANCEL ? form.CancelButton()
                                        : id == IDOK   ? form.DefaultButton()
                                                       : nullptr;
            if (target) Dispatch([target] { target->PerformClick(); });
            return;
        }
        if (refreshing > 0 || !form.IsLoaded()) return;
        ui::Control* c = ui::ControlById(form, id);
        if (!c) return;
        if (auto* b = dynamic_cast<ui::CommandButton*>(c)) {
            if (code == BN_CLICKED) Dispatch([b] { b->PerformClick(); });
        } else if (auto* k = dynamic_cast<ui::CheckBox*>(c)) {
            if (code == BN_CLICKED) {
                const int value = SendMessageW(from, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
                Dispatch([k, value] { k->SetValue(value); });
            }
        } else if (auto* t = dynamic_cast<ui::TextBox*>(c)) {
            if (code == EN_CHANGE) {
                const std::string text = Narrow(TextOf(from));
                Dispatch([t, &text] { t->SetText(text); });
            }
        } else if (auto* cb = dynamic_cast<ui::ComboBox*>(c)) {
            if (code == CBN_SELCHANGE) {
                const int i = static_cast<int>(SendMessageW(from, CB_GETCURSEL, 0, 0));
                Dispatch([cb, i] {
                    if (i == cb->ListIndex() && cb->Click) {
                        cb->Click();
                    } else if (i >= 0 && i < cb->ListCount()) {
                        cb->SetListIndex(i);
                    }
                });
            } else if (code == CBN_EDITCHANGE) {
                const std::string text = Narrow(TextOf(from));
                Dispatch([cb, &text] { cb->SetText(text); });
            }
        } else if (auto* lb = dynamic_cast<ui::ListBox*>(c)) {
            if (code == LBN_SELCHANGE) {
                const int i = static_cast<int>(SendMessageW(from, LB_GETCURSEL, 0, 0));
                Dispatch([lb, i] {
                    if (i >= -1 && i < lb->ListCount()) lb->SetListIndex(i);
                });
            } else if (code == LBN_DBLCLK) {
                Dispatch([lb] {
                    if (lb->DblClick) lb->DblClick();
                });
            }
        }
    }

    void Timer(Shown& s, UINT_PTR id) {
        if (id == kRefreshTimer) {
            Refresh(s);
            return;
        }
        for (auto& t : s.timers) {
            if (t.id != id) continue;
            if (t.running || blocking > 0 || !t.timer->Tick || !s.form->IsLoaded()) return;
            t.running = true;
            ui::Timer* timer = t.timer;
            Dispatch([timer] { timer->Tick(); });
            t.running = false;
            return;
        }
    }

    // The form's mouse events, with the position in twips of its inner area.
    void Mouse(Shown& s, UINT message, WPARAM wParam, LPARAM lParam) {
        const int button = (wParam & MK_LBUTTON) ? 1 : (wParam & MK_RBUTTON) ? 2 : 0;
        const int shift = ((wParam & MK_SHIFT) ? 1 : 0) | ((wParam & MK_CONTROL) ? 2 : 0);
        const auto x = static_cast<Single>(static_cast<short>(LOWORD(lParam)) * TwipsPerPixel());
        const auto y = static_cast<Single>(static_cast<short>(HIWORD(lParam)) * TwipsPerPixel());
        ui::Form& form = *s.form;
        if (message == WM_MOUSEMOVE) {
            Dispatch([&] { form.Form_MouseMove(button, shift, x, y); });
        } else {
            const int pressed = message == WM_LBUTTONDOWN ? 1 : 2;
            Dispatch([&] { form.Form_MouseDown(pressed, shift, x, y); });
        }
    }

    // The close box leaves the dialog the way Cancel does: it presses the Cancel button
    // (whose handler then decides, as it does for a click), and unloads a form that has
    // none. While the Cancel button cannot be pressed the dialog stays open.
    void Close(Shown& s) {
        ui::Form& form = *s.form;
        Dispatch([&form] {
            if (ui::CommandButton* cancel = form.CancelButton()) {
                cancel->PerformClick();
            } else {
                form.Unload();
            }
        });
    }

    // The window the first dialog is modal to: the thread's active window, unless it is
    // one the dialogs read from.
    HWND Opener() const {
        HWND active = GetActiveWindow();
        if (!active || known.count(active) != 0 || !IsWindowVisible(active)) return nullptr;
        return active;
    }
};

namespace {

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* s = reinterpret_cast<Win32Ui::Impl::Shown*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!s) return DefWindowProcW(hwnd, message, wParam, lParam);
    Win32Ui::Impl& impl = *s->impl;
    switch (message) {
        case WM_COMMAND:
            impl.Command(*s, LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case DM_GETDEFID:
            // Enter presses the default button, through the dialog manager.
            if (ui::CommandButton* b = s->form->DefaultButton())
                return MAKELRESULT(ui::ControlId(*s->form, *b), DC_HASDEFID);
            return 0;
        case WM_TIMER:
            impl.Timer(*s, wParam);
            return 0;
        case WM_CLOSE:
            impl.Close(*s);
            return 0;
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            impl.Mouse(*s, message, wParam, lParam);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

Win32Ui::Win32Ui() : impl_(std::make_unique<Impl>(*this)) {
    RegisterClasses();
}

Win32Ui::~Win32Ui() = default;

void Win32Ui::AddWindow(HWND window, std::function<void()> update) {
    impl_->known.insert(window);
    if (update) impl_->titleUpdates.push_back(std::move(update));
}

ui::Hwnd Win32Ui::FindWindow(const std::string& className, const std::string& title) {
    for (auto& update : impl_->titleUpdates) update();
    return Win32Windows::FindWindow(className, title);
}

void Win32Ui::AppActivate(const std::string& title) {
    for (auto& update : impl_->titleUpdates) update();
    Win32Windows::AppActivate(title);
}

HWND Win32Ui::FormWindow(const ui::Form& form) const {
    const auto* s = impl_->Find(form);
    return s ? s->window : nullptr;
}

HWND Win32Ui::DialogOwner() {
    if (HWND top = impl_->TopWindow()) return top;
    return Win32Windows::DialogOwner();
}

int Win32Ui::MsgBox(const std::string& prompt, int style, const std::string& title) {
    if (onMessage) onMessage(title, prompt);
    ++impl_->blocking;
    const int answer = Win32Windows::MsgBox(prompt, style, title);
    --impl_->blocking;
    impl_->RefreshAll();
    return answer;
}

bool Win32Ui::GetOpenFileName(ui::FileDialogRequest& request) {
    ++impl_->blocking;
    const bool ok = Win32Windows::GetOpenFileName(request);
    --impl_->blocking;
    impl_->RefreshAll();
    return ok;
}

bool Win32Ui::GetSaveFileName(ui::FileDialogRequest& request) {
    ++impl_->blocking;
    const bool ok = Win32Windows::GetSaveFileName(request);
    --impl_->blocking;
    impl_->RefreshAll();
    return ok;
}

std::string Win32Ui::BrowseForFolder(ui::Hwnd owner, const std::string& title) {
    ++impl_->blocking;
    std::string chosen = Win32Windows::BrowseForFolder(owner, title);
    --impl_->blocking;
    impl_->RefreshAll();
    return chosen;
}

Long Win32Ui::SendMessage(ui::Hwnd hwnd, Long message, Long wParam,
                          const std::vector<Long>& lParam) {
    if (message == ui::LB_SETTABSTOPS) {
        // The list box's tab stops are the model's too, so the form shows them again.
        for (auto& s : impl_->stack) {
            for (auto& b : s->bindings) {
                if (b.hwnd != H(hwnd)) continue;
                if (auto* lb = dynamic_cast<ui::ListBox*>(b.control)) lb->SetTabStops(lParam);
                b.stops = lParam;
            }
        }
    }
    if (message == kWmNcLButtonDown && (lParam.empty() || lParam.front() == 0)) {
        // The caption drag the forms start with 0 for the point: the press a real click on
        // the caption sends carries the cursor's screen position, which Wine's move loop
        // starts from (Windows takes the cursor's position itself).
        POINT cursor{};
        GetCursorPos(&cursor);
        return static_cast<Long>(SendMessageW(H(hwnd), kWmNcLButtonDown,
                                              static_cast<WPARAM>(wParam),
                                              MAKELPARAM(cursor.x, cursor.y)));
    }
    return Win32Windows::SendMessage(hwnd, message, wParam, lParam);
}

ui::Hwnd Win32Ui::CreateWindowEx(Long exStyle, const std::string& className,
                                 const std::string& title, Long style, Long x, Long y, Long width,
                                 Long height, ui::Hwnd parent) {
    if (parent == 0 && (style & kWsChild) != 0) parent = Handle(impl_->Parking());
    return Win32Windows::CreateWindowEx(exStyle, className, title, style, x, y, width, height,
                                        parent);
}

void Win32Ui::DoEvents() {
    impl_->RefreshAll();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        HWND top = impl_->TopWindow();
        if (top && IsDialogMessageW(top, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void Win32Ui::ShowModal(ui::Form& form) {
    Impl& impl = *impl_;
    if (impl.Find(form)) Raise(err::kInvalidCall, "Form already displayed; can't show modally");
    auto shown = std::make_unique<Impl::Shown>();
    Impl::Shown& s = *shown;
    s.impl = &impl;
    s.form = &form;
    // Modal to the window that opened it: the dialog under it, else the active window.
    s.owner = impl.TopWindow() ? impl.TopWindow() : impl.Opener();
    // Without clipping its children, so that the background shows inside a frame, whose
    // group box draws only its edge and caption.
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD ex = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    RECT frame{0, 0, impl.Px(form.Width - kFrameWidth), impl.Px(form.Height - kFrameHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, ex);
    // The title is there before the load runs, which finds its own window by it.
    s.window = CreateWindowExW(ex, kFormClass, Wide(form.Caption).c_str(), style,
                               impl.Px(form.Left), impl.Px(form.Top), frame.right - frame.left,
                               frame.bottom - frame.top, s.owner, nullptr, ThisModule(), &s);
    if (!s.window)
        Raise(err::kInvalidCall,
              "the dialog window could not be made: " + ErrorText(GetLastError()));
    form.hWnd = Handle(s.window);
    for (auto* c : form.Controls()) {
        const int id = ui::ControlId(form, *c);
        if (auto* t = dynamic_cast<ui::Timer*>(c)) {
            s.timers.push_back({t, static_cast<UINT_PTR>(id)});
            continue;
        }
        HWND w = impl.MakeWindow(*c, s.window, id);
        c->hWnd = Handle(w);
        c->WindowCreated();
        Impl::Binding binding;
        binding.control = c;
        binding.hwnd = w;
        s.bindings.push_back(std::move(binding));
    }
    // A frame lies behind the controls it groups (each new control went below the ones
    // made before it).
    for (auto& b : s.bindings) {
        if (dynamic_cast<ui::Frame*>(b.control))
            ::SetWindowPos(b.hwnd, HWND_BOTTOM, 0, 0, 0, 0,
                           ui::SWP_NOMOVE | ui::SWP_NOSIZE | SWP_NOACTIVATE);
    }
    impl.stack.push_back(std::move(shown));
    const auto leave = [&] {
        KillTimer(s.window, kRefreshTimer);
        for (auto& t : s.timers) KillTimer(s.window, t.id);
        // The controls' child windows outlive the dialog window: the reused form shows
        // them again.
        for (auto& b : s.bindings) {
            if (HWND child = H(b.control->ChildWindow()); child && GetParent(child) == b.hwnd) {
                ::ShowWindow(child, SW_HIDE);
                ::SetParent(child, impl.Parking());
            }
        }
        for (auto* c : form.Controls()) c->hWnd = 0;
        form.hWnd = 0;
        if (s.owner) {
            EnableWindow(s.owner, TRUE);
            if (GetActiveWindow() == s.window) SetActiveWindow(s.owner);
        }
        ::DestroyWindow(s.window);
        impl.stack.pop_back();
    };
    try {
        form.BeginLoad();
    } catch (...) {
        if (form.IsLoaded()) form.Unload();
        leave();
        throw;
    }
    if (form.IsLoaded() && !impl.pending) {
        impl.Refresh(s);
        if (s.owner) EnableWindow(s.owner, FALSE);
        ::ShowWindow(s.window, SW_SHOW);
        SetForegroundWindow(s.window);
        if (HWND first = GetNextDlgTabItem(s.window, nullptr, FALSE)) SetFocus(first);
        UpdateWindow(s.window);
        SetTimer(s.window, kRefreshTimer, kRefreshMs, nullptr);
        if (onShown) onShown(form);
        MSG msg;
        while (form.IsLoaded() && !impl.pending) {
            const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got <= 0) {
                // The program is quitting: the dialog closes, and the quit goes on.
                if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (IsDialogMessageW(impl.TopWindow(), &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (form.IsLoaded()) {
        try {
            form.Unload();
        } catch (...) {
            leave();
            throw;
        }
    }
    leave();
    if (impl.pending) {
        auto error = impl.pending;
        impl.pending = nullptr;
        std::rethrow_exception(error);
    }
}

}  // namespace tbln::win32
