#include "platform/ui.hpp"

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

}  // namespace tbln::ui
