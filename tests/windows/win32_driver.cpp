#include "windows/win32_driver.hpp"

#include <cstdio>
#include <deque>
#include <map>
#include <vector>

#include "adapters/win32/wide_text.hpp"
#include "adapters/win32/windows_api.hpp"

namespace tbln {

namespace {

constexpr UINT kPumpMs = 20;
constexpr ULONGLONG kStepTimeoutMs = 30000;
constexpr ULONGLONG kRanOutMs = 30000;  // a dialog may be busy for long under Wine
constexpr int kMessageTextId = 0xFFFF;  // the text of a message box
constexpr int kFileNameBox = 0x47C;     // the explorer chooser's file name box (cmb13)
constexpr int kOldFileNameBox = 0x480;  // the older chooser's (edt1)

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

std::string TextOf(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return win32::Narrow(text);
}

// The system's dialogs of this thread that are up: message boxes (they have the text
// control) or choosers (they do not).
HWND SystemDialog(bool messageBox) {
    struct Search {
        bool messageBox;
        HWND found = nullptr;
    } search{messageBox};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (!IsWindowVisible(w) || ClassOf(w) != L"#32770") return TRUE;
            if ((GetDlgItem(w, kMessageTextId) != nullptr) != s->messageBox) return TRUE;
            s->found = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

class Win32Driver::Impl {
  public:
    struct Step {
        std::string what;
        std::function<bool()> ready;
        std::function<void()> act;
    };

    static Impl* current;  // the thread timer's procedure has no context of its own

    std::unique_ptr<win32::Win32Ui> own;
    win32::Win32Ui* ui = nullptr;
    std::deque<Step> steps;
    std::vector<ui::Form*> forms;
    std::string failures;
    UINT_PTR timer = 0;
    ULONGLONG waitingSince = 0, emptySince = 0;

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (current) current->Pump();
    }

    // The form on top while it can take the user's actions: shown, loaded, and no message
    // box or chooser over it (they disable it).
    ui::Form* Top() const {
        for (auto it = forms.rbegin(); it != forms.rend(); ++it) {
            if (!(*it)->IsLoaded()) continue;
            HWND w = ui->FormWindow(**it);
            return w && IsWindowEnabled(w) && IsWindowVisible(w) ? *it : nullptr;
        }
        return nullptr;
    }
    HWND Control(const std::string& name) const {
        ui::Form* top = Top();
        if (!top) return nullptr;
        ui::Control* c = top->FindControl(name);
        return c ? GetDlgItem(ui->FormWindow(*top), ui::ControlId(*top, *c)) : nullptr;
    }

    void Push(Step step) {
        steps.push_back(std::move(step));
        emptySince = 0;
    }
    // A step on the dialog on top, with the control's window when it names one.
    void Act(std::string what, std::function<void()> act) {
        Push({std::move(what), [this] { return Top() != nullptr; }, std::move(act)});
    }

    // Runs the next step when it is ready. The step is taken off first, so that a step
    // that waits inside (a handler letting events run, a message box) lets the next one
    // run from the inner message loop.
    void Pump() {
        const ULONGLONG now = GetTickCount64();
        if (steps.empty()) {
            // The script ran out: like the scripted adapter, close what is still open.
            if (emptySince == 0) emptySince = now;
            if (now - emptySince >= kRanOutMs) {
                emptySince = now;
                for (auto it = forms.rbegin(); it != forms.rend(); ++it) {
                    if ((*it)->IsLoaded()) PostMessageW(ui->FormWindow(**it), WM_CLOSE, 0, 0);
                }
            }
            return;
        }
        if (waitingSince == 0) waitingSince = now;
        if (!steps.front().ready()) {
            if (now - waitingSince > kStepTimeoutMs) GiveUp();
            return;
        }
        waitingSince = 0;
        auto act = std::move(steps.front().act);
        steps.pop_front();
        act();
    }

    // A step that never becomes ready is recorded, and what is open is closed, so the
    // run ends with the step's name instead of hanging.
    void GiveUp() {
        failures += "the dialog never became ready to " + steps.front().what + "\n";
        std::fprintf(stderr, "driver: the dialog never became ready to %s\n",
                     steps.front().what.c_str());
        steps.clear();
        waitingSince = 0;
        for (HWND d; (d = SystemDialog(true)) || (d = SystemDialog(false));) {
            SendMessageW(d, WM_COMMAND, IDCANCEL, 0);
        }
        for (auto it = forms.rbegin(); it != forms.rend(); ++it) {
            if ((*it)->IsLoaded()) (*it)->Unload();
        }
    }
};

Win32Driver::Impl* Win32Driver::Impl::current = nullptr;

Win32Driver::Win32Driver(win32::Win32Ui* ui) : impl_(std::make_unique<Impl>()) {
    if (!ui) {
        impl_->own = std::make_unique<win32::Win32Ui>();
        ui = impl_->own.get();
    }
    impl_->ui = ui;
    ui->onShown = [impl = impl_.get()](ui::Form& form) { impl->forms.push_back(&form); };
    Impl::current = impl_.get();
    impl_->timer = SetTimer(nullptr, 0, kPumpMs, &Impl::Tick);
}

Win32Driver::~Win32Driver() {
    KillTimer(nullptr, impl_->timer);
    impl_->ui->onShown = nullptr;
    Impl::current = nullptr;
}

ui::Ui& Win32Driver::Ui() {
    return *impl_->ui;
}

void Win32Driver::Type(const std::string& c, const std::string& text) {
    Impl& impl = *impl_;
    impl.Act("type into " + c, [&impl, c, text] {
        HWND w = impl.Control(c);
        if (!w) return;
        // What typing leaves: the new text, and the change notification the edit (or the
        // combo box's edit part) sends its dialog.
        SetWindowTextW(w, win32::Wide(text).c_str());
        const WORD code = ClassOf(w) == L"ComboBox" ? CBN_EDITCHANGE : EN_CHANGE;
        SendMessageW(GetParent(w), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(w), code),
                     reinterpret_cast<LPARAM>(w));
    });
}

void Win32Driver::Pick(const std::string& c, int index) {
    Impl& impl = *impl_;
    impl.Act("pick a line of " + c, [&impl, c, index] {
        HWND w = impl.Control(c);
        if (!w) return;
        const bool combo = ClassOf(w) == L"ComboBox";
        SendMessageW(w, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(GetParent(w), WM_COMMAND,
                     MAKEWPARAM(GetDlgCtrlID(w), combo ? CBN_SELCHANGE : LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(w));
    });
}

void Win32Driver::Click(const std::string& c) {
    Impl& impl = *impl_;
    impl.Act("click " + c, [&impl, c] {
        if (HWND w = impl.Control(c)) SendMessageW(w, BM_CLICK, 0, 0);
    });
}

void Win32Driver::ClickDuringWork(const std::string& c) {
    Click(c);
}

void Win32Driver::Wait(int ms) {
    auto until = std::make_shared<ULONGLONG>(0);
    impl_->Push({"wait " + std::to_string(ms) + " ms",
                 [until, ms] {
                     if (*until == 0) *until = GetTickCount64() + static_cast<ULONGLONG>(ms);
                     return GetTickCount64() >= *until;
                 },
                 [] {}});
}

void Win32Driver::Call(std::function<void()> call) {
    impl_->Act("a call", std::move(call));
}

void Win32Driver::Answer(int answer) {
    impl_->Push({"answer the message box with " + std::to_string(answer),
                 [] { return SystemDialog(true) != nullptr; },
                 [answer] {
                     // The box's buttons have the answers as their identifiers.
                     HWND box = SystemDialog(true);
                     if (HWND b = GetDlgItem(box, answer)) PostMessageW(b, BM_CLICK, 0, 0);
                 }});
}

void Win32Driver::ReadAndAnswer(int answer, std::string& title, std::string& text) {
    impl_->Push({"read and answer the message box", [] { return SystemDialog(true) != nullptr; },
                 [answer, &title, &text] {
                     HWND box = SystemDialog(true);
                     title = TextOf(box);
                     text = TextOf(GetDlgItem(box, kMessageTextId));
                     if (HWND b = GetDlgItem(box, answer)) PostMessageW(b, BM_CLICK, 0, 0);
                 }});
}

void Win32Driver::CancelChooser() {
    impl_->Push({"cancel the chooser", [] { return SystemDialog(false) != nullptr; },
                 [] { PostMessageW(SystemDialog(false), WM_COMMAND, IDCANCEL, 0); }});
}

void Win32Driver::ChooseFile(const std::string& path) {
    // As a person does: the path typed into the file name box, then Open. The chooser
    // fills its boxes after it shows, so the path is typed until it stays there.
    const auto nameBox = [] {
        HWND d = SystemDialog(false);
        if (!d) return HWND{};
        HWND name = GetDlgItem(d, kFileNameBox);
        return name ? name : GetDlgItem(d, kOldFileNameBox);
    };
    impl_->Push({"choose " + path,
                 [path, nameBox] {
                     HWND name = nameBox();
                     if (!name) return false;
                     if (TextOf(name) == path) return true;
                     SetWindowTextW(name, win32::Wide(path).c_str());
                     return false;
                 },
                 [] { PostMessageW(SystemDialog(false), WM_COMMAND, IDOK, 0); }});
}

void Win32Driver::Key(const std::string& key) {
    Impl& impl = *impl_;
    impl.Act("press " + key, [&impl, key] {
        // Through the dialog's message loop, where the dialog manager sees it.
        HWND top = impl.ui->FormWindow(*impl.Top());
        HWND focus = GetFocus();
        HWND target = focus && (focus == top || IsChild(top, focus)) ? focus : top;
        const WPARAM vk = key == "Escape" ? VK_ESCAPE : VK_RETURN;
        PostMessageW(target, WM_KEYDOWN, vk, 1);
        PostMessageW(target, WM_KEYUP, vk, 0xC0000001);
    });
}

void Win32Driver::CloseBox() {
    Impl& impl = *impl_;
    impl.Act("press the close box", [&impl] {
        // What a click on the close box sends.
        PostMessageW(impl.ui->FormWindow(*impl.Top()), WM_SYSCOMMAND, SC_CLOSE, 0);
    });
}

void Win32Driver::OnDialog(const std::string& caption, std::function<void(ui::Form&)> act) {
    Impl& impl = *impl_;
    impl.Push({"find the dialog " + caption,
               [&impl, caption] {
                   ui::Form* top = impl.Top();
                   return top && TextOf(impl.ui->FormWindow(*top)) == caption;
               },
               [&impl, act = std::move(act)] { act(*impl.Top()); }});
}

const std::string& Win32Driver::Failures() const {
    return impl_->failures;
}

void Win32Driver::Run(ui::Form& form) {
    impl_->ui->ShowModal(form);
}

}  // namespace tbln
