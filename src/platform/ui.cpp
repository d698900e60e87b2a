#include "platform/ui.hpp"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "core/error.hpp"

namespace tbln::ui {

std::vector<int> MessageButtons(int style) {
    switch (style & 7) {
        case vbOKCancel:
            return {vbOK, vbCancel};
        case vbAbortRetryIgnore:
            return {vbAbort, vbRetry, vbIgnore};
        case vbYesNoCancel:
            return {vbYes, vbNo, vbCancel};
        case vbYesNo:
            return {vbYes, vbNo};
        case vbRetryCancel:
            return {vbRetry, vbCancel};
        default:
            return {vbOK};
    }
}

int DefaultAnswer(int style) {
    const auto buttons = MessageButtons(style);
    std::size_t index = 0;
    if (style & vbDefaultButton2) index = 1;
    if (style & vbDefaultButton3) index = 2;
    return buttons[index < buttons.size() ? index : 0];
}

Control::Control(Form& owner, std::string name) : name_(std::move(name)) {
    owner.Register(this);
}

void CommandButton::PerformClick() {
    if (Enabled && Visible && Click) Click();
}

void TextBox::SetText(std::string t) {
    if (t == state.text) return;
    state.text = std::move(t);
    if (Change) Change();
}

void ListControl::AddItem(std::string item) {
    state.items.push_back(std::move(item));
}

void ListControl::RemoveItem(int index) {
    if (index < 0 || index >= ListCount()) Raise(err::kInvalidCall);
    state.items.erase(state.items.begin() + index);
    if (state.listIndex == index) {
        state.listIndex = -1;
    } else if (state.listIndex > index) {
        --state.listIndex;
    }
}

void ListControl::Clear() {
    state.items.clear();
    state.listIndex = -1;
    state.text.clear();
}

const std::string& ListControl::List(int index) const {
    if (index < 0 || index >= ListCount()) Raise(err::kInvalidCall);
    return state.items[static_cast<std::size_t>(index)];
}

void ListControl::SetListIndex(int index) {
    if (index < -1 || index >= ListCount()) Raise(err::kInvalidCall);
    const bool changed = index != state.listIndex;
    state.listIndex = index;
    if (index >= 0) state.text = state.items[static_cast<std::size_t>(index)];
    if (changed && Click) Click();
}

void ComboBox::SetText(std::string t) {
    if (t == state.text) return;
    state.text = std::move(t);
    if (Change) Change();
}

void CheckBox::SetValue(int v) {
    if (v == state.value) return;
    state.value = v;
    if (Click) Click();
}

void Timer::SetInterval(Long ms) {
    state.interval = ms;
    ++epoch_;
}

void Timer::SetEnabled(bool e) {
    state.enabled = e;
    ++epoch_;
}

void Timer::RestoreDesignState() {
    StatefulControl::RestoreDesignState();
    ++epoch_;
}

Form::Form(std::string name) : name_(std::move(name)) {}

Control* Form::FindControl(const std::string& name) const {
    for (auto* c : controls_) {
        if (c->Name() == name) return c;
    }
    return nullptr;
}

CommandButton* Form::CancelButton() const {
    for (auto* c : controls_) {
        if (auto* b = dynamic_cast<CommandButton*>(c); b && b->Cancel()) return b;
    }
    return nullptr;
}

CommandButton* Form::DefaultButton() const {
    for (auto* c : controls_) {
        if (auto* b = dynamic_cast<CommandButton*>(c); b && b->Default()) return b;
    }
    return nullptr;
}

void Form::BeginLoad() {
    if (!designSaved_) {
        for (auto* c : controls_) c->SaveDesignState();
        designSaved_ = true;
    }
    loaded_ = true;
    Form_Load();
    if (!loaded_) Raise(err::kObjectUnloaded);
}

void Form::Unload() {
    if (!loaded_) return;
    loaded_ = false;
    Form_Unload();
    for (auto* c : controls_) c->RestoreDesignState();
    hWnd = 0;
}

void RunEvent(const std::function<void()>& event, std::exception_ptr& pending, Form* top) {
    try {
        event();
    } catch (...) {
        if (!pending) pending = std::current_exception();
        if (top) {
            try {
                top->Unload();
            } catch (const RuntimeError&) {
                // The first error is the one raised; the unload's own is the same trouble.
            }
        }
    }
}

int ControlId(const Form& form, const Control& control) {
    const auto& all = form.Controls();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i] == &control) return kFirstControlId + static_cast<int>(i);
    }
    return 0;
}

Control* ControlById(const Form& form, int id) {
    const auto& all = form.Controls();
    const int index = id - kFirstControlId;
    return index >= 0 && index < static_cast<int>(all.size()) ? all[static_cast<std::size_t>(index)]
                                                              : nullptr;
}

namespace {

std::string Trimmed(std::string_view s) {
    const auto begin = s.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return {};
    const auto end = s.find_last_not_of(" \t");
    return std::string(s.substr(begin, end - begin + 1));
}

std::vector<std::string> Split(std::string_view s, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto at = s.find(separator, start);
        parts.emplace_back(s.substr(start, at == std::string_view::npos ? s.npos : at - start));
        if (at == std::string_view::npos) return parts;
        start = at + 1;
    }
}

bool SamePattern(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

}  // namespace

std::vector<FileFilter> FileFilters(const std::string& filter) {
    static const std::vector<std::string> kWorkbooks = {"*.xlsx", "*.xlsm", "*.xls"};
    const auto parts = Split(filter, filter.find('|') != std::string::npos ? '|' : ',');
    const auto has = [](const std::vector<std::string>& list, const std::string& p) {
        return std::any_of(list.begin(), list.end(),
                           [&](const std::string& q) { return SamePattern(p, q); });
    };
    std::vector<FileFilter> out;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        FileFilter entry{Trimmed(parts[i]), {}};
        for (const auto& p : Split(parts[i + 1], ';')) {
            if (auto t = Trimmed(p); !t.empty()) entry.patterns.push_back(std::move(t));
        }
        if (entry.patterns.empty()) continue;
        const bool workbook = std::any_of(entry.patterns.begin(), entry.patterns.end(),
                                          [&](const std::string& p) { return has(kWorkbooks, p); });
        if (workbook) {
            for (const auto& w : kWorkbooks) {
                if (!has(entry.patterns, w)) entry.patterns.push_back(w);
            }
        }
        out.push_back(std::move(entry));
    }
    return out;
}

std::string ChooserFolders::Start(const std::string& initialDir) {
    if (!first_) first_ = initialDir;
    if (!last_.empty() && (initialDir.empty() || initialDir == *first_)) return last_;
    return initialDir;
}

}  // namespace tbln::ui
