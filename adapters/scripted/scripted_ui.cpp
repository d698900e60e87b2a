#include "adapters/scripted/scripted_ui.hpp"

#include <algorithm>

#include "core/error.hpp"

namespace tbln::scripted {

namespace {
Action Make(Action::Kind kind, std::string control, int atDoEvents) {
    Action a;
    a.kind = kind;
    a.control = std::move(control);
    a.atDoEvents = atDoEvents;
    return a;
}
}  // namespace

Action Action::SetText(std::string control, std::string text, int atDoEvents) {
    auto a = Make(Kind::SetText, std::move(control), atDoEvents);
    a.text = std::move(text);
    return a;
}
Action Action::Pick(std::string control, int index, int atDoEvents) {
    auto a = Make(Kind::Pick, std::move(control), atDoEvents);
    a.index = index;
    return a;
}
Action Action::Click(std::string control, int atDoEvents) {
    return Make(Kind::Click, std::move(control), atDoEvents);
}
Action Action::DblClick(std::string control, int atDoEvents) {
    return Make(Kind::DblClick, std::move(control), atDoEvents);
}
Action Action::Check(std::string control, int value, int atDoEvents) {
    auto a = Make(Kind::Check, std::move(control), atDoEvents);
    a.index = value;
    return a;
}
Action Action::Wait(Long ms, int atDoEvents) {
    auto a = Make(Kind::Wait, {}, atDoEvents);
    a.ms = ms;
    return a;
}
Action Action::MouseMove(int atDoEvents) {
    return Make(Kind::MouseMove, {}, atDoEvents);
}
Action Action::MouseDrag(int atDoEvents) {
    auto a = Make(Kind::MouseMove, {}, atDoEvents);
    a.index = 1;
    return a;
}
Action Action::Call(std::function<void()> call, int atDoEvents) {
    auto a = Make(Kind::Call, {}, atDoEvents);
    a.call = std::move(call);
    return a;
}

ScriptedUi::ScriptedUi() = default;

int ScriptedUi::MsgBox(const std::string& prompt, int style, const std::string& title) {
    int answer = ui::DefaultAnswer(style);
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    } else if (decide) {
        answer = decide(prompt, style, title);
    }
    messages_.push_back(Message{title, prompt, style, answer});
    if (onMessage) onMessage(messages_.back());
    return answer;
}

ui::Form& ScriptedUi::Top() {
    if (stack_.empty()) Raise(err::kInvalidCall, "No dialog is showing");
    return *stack_.back();
}

void ScriptedUi::ShowModal(ui::Form& form) {
    if (std::find(stack_.begin(), stack_.end(), &form) != stack_.end()) {
        Raise(err::kInvalidCall, "Form already displayed; can't show modally");
    }
    shown_.push_back(form.Name());
    form.hWnd = AddWindow(form.Caption);
    for (auto* c : form.Controls()) {
        c->hWnd = NewHandle();
        c->WindowCreated();
    }
    stack_.push_back(&form);
    const auto leave = [&] {
        windows_.erase(form.hWnd);
        stack_.erase(std::find(stack_.begin(), stack_.end(), &form));
        for (auto* c : form.Controls()) {
            if (auto* t = dynamic_cast<ui::Timer*>(c)) timers_.erase(t);
        }
    };
    try {
        form.BeginLoad();
        while (form.IsLoaded()) {
            if (!actions_.empty()) {
                if (const Long think = actions_.front().thinkMs; think > 0) {
                    AdvanceClock(now_ + think, [&] { return !form.IsLoaded(); });
                    if (!form.IsLoaded() || actions_.empty()) continue;
                }
                const Action action = actions_.front();
                actions_.pop_front();
                headDoEvents_ = 0;
                Deliver(action);
                continue;
            }
            AdvanceClock(now_ + idleLimitMs, [&] { return !form.IsLoaded() || !actions_.empty(); });
            if (!form.IsLoaded() || !actions_.empty()) continue;
            CancelForm(form);
        }
    } catch (...) {
        // An error that escapes a dialog's handler closes the dialog and reaches the
        // code that showed it.
        if (form.IsLoaded()) form.Unload();
        leave();
        throw;
    }
    leave();
}

void ScriptedUi::DoEvents() {
    if (actions_.empty() || actions_.front().atDoEvents < 0 || stack_.empty()) return;
    if (headDoEvents_ < actions_.front().atDoEvents) {
        ++headDoEvents_;
        return;
    }
    const Action action = actions_.front();
    actions_.pop_front();
    headDoEvents_ = 0;
    Deliver(action);
}

void ScriptedUi::Deliver(const Action& action) {
    ui::Form& form = Top();
    if (action.kind == Action::Kind::Wait) {
        AdvanceClock(now_ + action.ms, [] { return false; });
        return;
    }
    if (action.kind == Action::Kind::MouseMove) {
        form.Form_MouseMove(action.index, 0, 0, 0);
        return;
    }
    if (action.kind == Action::Kind::Call) {
        if (action.call) action.call();
        return;
    }
    ui::Control* control = form.FindControl(action.control);
    if (!control) return Refuse(form, action, "has no control " + action.control);
    const std::string in = "'s " + action.control;
    // A user cannot act on a disabled or hidden control: the action is lost, as a click would be.
    if (!control->Enabled || !control->Visible) return;
    switch (action.kind) {
        case Action::Kind::SetText:
            if (auto* t = dynamic_cast<ui::TextBox*>(control)) {
                t->SetText(action.text);
            } else if (auto* c = dynamic_cast<ui::ComboBox*>(control)) {
                c->SetText(action.text);
            } else {
                return Refuse(form, action, in + " takes no text");
            }
            break;
        case Action::Kind::Pick:
            if (auto* l = dynamic_cast<ui::ListControl*>(control)) {
                if (action.index >= l->ListCount()) {
                    return Refuse(form, action,
                                  in + " has " + std::to_string(l->ListCount()) +
                                      " lines, no line " + std::to_string(action.index));
                }
                l->SetListIndex(action.index);
            } else {
                return Refuse(form, action, in + " is not a list");
            }
            break;
        case Action::Kind::Click:
            if (auto* b = dynamic_cast<ui::CommandButton*>(control)) {
                b->PerformClick();
            } else if (auto* l = dynamic_cast<ui::ListControl*>(control)) {
                if (l->Click) l->Click();
            } else if (auto* k = dynamic_cast<ui::CheckBox*>(control)) {
                k->SetValue(k->Value() == 0 ? 1 : 0);
            } else {
                return Refuse(form, action, in + " cannot be clicked");
            }
            break;
        case Action::Kind::DblClick:
            if (auto* l = dynamic_cast<ui::ListControl*>(control); l && l->DblClick) l->DblClick();
            break;
        case Action::Kind::Check:
            if (auto* k = dynamic_cast<ui::CheckBox*>(control)) k->SetValue(action.index);
            break;
        case Action::Kind::Wait:
        case Action::Kind::MouseMove:
        case Action::Kind::Call:
            break;
    }
}

void ScriptedUi::Refuse(ui::Form& form, const Action& action, const std::string& problem) {
    const std::string note = (action.origin.empty() ? "" : action.origin + ": ") + "the dialog " +
                             form.Name() + (problem.starts_with("'s") ? "" : " ") + problem +
                             "; the dialog ends as Cancel would, and the rest of the script "
                             "is dropped";
    actions_.clear();
    answers_.clear();
    fileChoices_.clear();
    folderChoices_.clear();
    messages_.push_back(Message{kNoteTitle, note, 0, ui::vbCancel});
    if (onMessage) onMessage(messages_.back());
    CancelForm(form);
}

void ScriptedUi::CancelForm(ui::Form& form) {
    if (auto* cancel = form.CancelButton(); cancel && cancel->Enabled && cancel->Visible) {
        cancel->PerformClick();
    }
    if (form.IsLoaded()) form.Unload();
}

void ScriptedUi::AdvanceClock(Long until, const std::function<bool()>& stop) {
    while (!stop()) {
        // Schedule every enabled timer of the shown forms; find the earliest due one.
        ui::Timer* next = nullptr;
        for (auto* form : stack_) {
            for (auto* c : form->Controls()) {
                auto* t = dynamic_cast<ui::Timer*>(c);
                if (!t) continue;
                if (!t->TimerEnabled() || t->Interval() <= 0 || !form->IsLoaded()) {
                    timers_.erase(t);
                    continue;
                }
                auto& slot = timers_[t];
                if (slot.epoch != t->Epoch() || slot.due == 0) {
                    slot.epoch = t->Epoch();
                    slot.due = now_ + t->Interval();
                }
                if (!slot.running && (!next || slot.due < timers_[next].due)) next = t;
            }
        }
        if (!next || timers_[next].due > until) break;
        auto& slot = timers_[next];
        now_ = slot.due;
        slot.due = now_ + next->Interval();
        slot.running = true;
        try {
            if (next->Tick) next->Tick();
        } catch (...) {
            if (auto it = timers_.find(next); it != timers_.end()) it->second.running = false;
            throw;
        }
        // The handler may have unloaded the form and with it the timer's slot.
        if (auto it = timers_.find(next); it != timers_.end()) it->second.running = false;
    }
    if (!stop()) now_ = std::max(now_, until);
}

ui::Hwnd ScriptedUi::NewHandle() {
    return nextHandle_ += 4;
}

ui::Hwnd ScriptedUi::AddWindow(const std::string& title) {
    const ui::Hwnd h = NewHandle();
    windows_[h] = Window{title, false, {}};
    windows_[h].placement.length = 44;
    windows_[h].placement.showCmd = 1;
    return h;
}

ScriptedUi::Window* ScriptedUi::FindByHandle(ui::Hwnd hwnd) {
    const auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : &it->second;
}

bool ScriptedUi::IsTopMost(ui::Hwnd hwnd) const {
    const auto it = windows_.find(hwnd);
    return it != windows_.end() && it->second.topMost;
}

std::optional<ui::WindowPlacement> ScriptedUi::PlacementOf(ui::Hwnd hwnd) const {
    const auto it = windows_.find(hwnd);
    if (it == windows_.end()) return std::nullopt;
    return it->second.placement;
}

void ScriptedUi::Record(std::string function, std::vector<Long> args, std::string text) {
    journal_.push_back(WindowCall{std::move(function), std::move(args), std::move(text)});
}

Long ScriptedUi::SetWindowPos(ui::Hwnd hwnd, ui::Hwnd insertAfter, Long x, Long y, Long cx, Long cy,
                              Long flags) {
    Record("SetWindowPos", {hwnd, insertAfter, x, y, cx, cy, flags});
    Window* w = FindByHandle(hwnd);
    if (!w) return 0;
    if (insertAfter == ui::HWND_TOPMOST) w->topMost = true;
    if (insertAfter == ui::HWND_NOTOPMOST) w->topMost = false;
    return 1;
}

ui::Hwnd ScriptedUi::FindWindow(const std::string& className, const std::string& title) {
    Record("FindWindow", {}, title);
    (void)className;
    for (const auto& [h, w] : windows_) {
        if (w.title == title) return h;
    }
    return strictWindows ? 0 : AddWindow(title);
}

bool ScriptedUi::GetWindowPlacement(ui::Hwnd hwnd, ui::WindowPlacement& placement) {
    Record("GetWindowPlacement", {hwnd, placement.length});
    Window* w = FindByHandle(hwnd);
    if (!w || placement.length != 44) return false;
    placement = w->placement;
    return true;
}

bool ScriptedUi::SetWindowPlacement(ui::Hwnd hwnd, const ui::WindowPlacement& placement) {
    Record("SetWindowPlacement", {hwnd, placement.length, placement.showCmd});
    Window* w = FindByHandle(hwnd);
    if (!w || placement.length != 44) return false;
    w->placement = placement;
    return true;
}

Long ScriptedUi::GetSystemMenu(ui::Hwnd hwnd, bool revert) {
    Record("GetSystemMenu", {hwnd, revert ? 1 : 0});
    return FindByHandle(hwnd) ? hwnd + 1 : 0;
}

bool ScriptedUi::RemoveMenu(Long menu, Long position, Long flags) {
    Record("RemoveMenu", {menu, position, flags});
    return menu != 0;
}

Long ScriptedUi::SendMessage(ui::Hwnd hwnd, Long message, Long wParam,
                             const std::vector<Long>& lParam) {
    std::vector<Long> args{hwnd, message, wParam};
    args.insert(args.end(), lParam.begin(), lParam.end());
    Record("SendMessage", std::move(args));
    if (message == ui::LB_SETTABSTOPS) {
        for (auto* form : stack_) {
            for (auto* c : form->Controls()) {
                if (auto* l = dynamic_cast<ui::ListBox*>(c); l && l->hWnd == hwnd) {
                    l->SetTabStops(lParam);
                    return 1;
                }
            }
        }
    }
    return 0;
}

bool ScriptedUi::ReleaseCapture() {
    Record("ReleaseCapture", {});
    return true;
}

void ScriptedUi::AppActivate(const std::string& title) {
    Record("AppActivate", {}, title);
    for (const auto& [h, w] : windows_) {
        if (w.title == title) {
            activeTitle_ = title;
            return;
        }
    }
    if (strictWindows) Raise(err::kInvalidCall);
    AddWindow(title);
    activeTitle_ = title;
}

bool ScriptedUi::Choose(std::deque<std::optional<std::string>>& queue, std::string& out) {
    if (queue.empty()) return false;
    auto choice = queue.front();
    queue.pop_front();
    if (!choice) return false;
    out = *choice;
    return true;
}

bool ScriptedUi::GetOpenFileName(ui::FileDialogRequest& request) {
    Record("GetOpenFileName", {request.owner, request.flags}, request.title);
    return Choose(fileChoices_, request.fileName);
}

bool ScriptedUi::GetSaveFileName(ui::FileDialogRequest& request) {
    Record("GetSaveFileName", {request.owner, request.flags}, request.title);
    return Choose(fileChoices_, request.fileName);
}

std::string ScriptedUi::BrowseForFolder(ui::Hwnd owner, const std::string& title) {
    Record("BrowseForFolder", {owner}, title);
    std::string folder;
    return Choose(folderChoices_, folder) ? folder : std::string{};
}

// Child windows are only recorded: they have a handle and window words, nothing else.
ui::Hwnd ScriptedUi::CreateWindowEx(Long exStyle, const std::string& className,
                                    const std::string& title, Long style, Long x, Long y,
                                    Long width, Long height, ui::Hwnd parent) {
    const ui::Hwnd hwnd = NewHandle();
    Record("CreateWindowEx", {exStyle, style, x, y, width, height, parent, hwnd},
           className + "|" + title);
    windowWords_[{hwnd, -20}] = exStyle;
    return hwnd;
}

bool ScriptedUi::DestroyWindow(ui::Hwnd hwnd) {
    Record("DestroyWindow", {hwnd});
    return true;
}

ui::Hwnd ScriptedUi::SetParent(ui::Hwnd child, ui::Hwnd parent) {
    Record("SetParent", {child, parent});
    return 0;
}

bool ScriptedUi::ShowWindow(ui::Hwnd hwnd, Long command) {
    Record("ShowWindow", {hwnd, command});
    return true;
}

bool ScriptedUi::MoveWindow(ui::Hwnd hwnd, Long x, Long y, Long width, Long height, bool repaint) {
    Record("MoveWindow", {hwnd, x, y, width, height, repaint ? 1 : 0});
    return true;
}

Long ScriptedUi::GetWindowLong(ui::Hwnd hwnd, Long index) {
    Record("GetWindowLong", {hwnd, index});
    const auto it = windowWords_.find({hwnd, index});
    return it == windowWords_.end() ? 0 : it->second;
}

Long ScriptedUi::SetWindowLong(ui::Hwnd hwnd, Long index, Long value) {
    Record("SetWindowLong", {hwnd, index, value});
    Long& word = windowWords_[{hwnd, index}];
    const Long old = word;
    word = value;
    return old;
}

}  // namespace tbln::scripted
