#include "controls/progress_bar.hpp"

#include <cmath>

namespace tbln {

Long PropertyBag::ReadProperty(const std::string& name, Long defaultValue) {
    journal_.push_back("read " + name);
    const auto it = values_.find(name);
    return it == values_.end() ? defaultValue : it->second;
}

void PropertyBag::WriteProperty(const std::string& name, Long value, Long defaultValue) {
    journal_.push_back("write " + name);
    // A value equal to its default is not stored, so the default applies on reading.
    if (value == defaultValue) {
        values_.erase(name);
    } else {
        values_[name] = value;
    }
}

Long TranslateColor(Long oleColor) {
    // The classic system palette (as 0x00BBGGRR), by system colour index.
    static const Long kSystem[] = {0xC8D0D4, 0xA56E3A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF,
                                   0x000000, 0x000000, 0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4,
                                   0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4, 0x808080, 0x808080,
                                   0x000000, 0xC8D0D4, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
                                   0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0};
    const auto value = static_cast<std::uint32_t>(oleColor);
    if ((value & 0xFF000000u) == 0x80000000u) {
        const auto index = value & 0x00FFFFFFu;
        if (index < std::size(kSystem)) return kSystem[index];
        return -1;
    }
    if ((value & 0xFF000000u) == 0) return oleColor;
    return -1;
}

ProgressBar::ProgressBar(ui::Form& owner, std::string name, ui::Ui& ui)
    : ui::Control(owner, std::move(name)), ui_(ui) {}

ProgressBar::~ProgressBar() {
    Terminate();
}

Long ProgressBar::Send(Long message, Long wParam, Long lParam) {
    return ui_.SendMessage(bar_, message, wParam, {lParam});
}

void ProgressBar::Changed(const char* name) {
    if (PropertyChanged) PropertyChanged(name);
}

void ProgressBar::SetOrientation(Long eOrientation) {
    if (eOrientation == s_.orientation) return;
    s_.orientation = eOrientation;
    if (bar_ != 0) RecreateBar();
    Changed("Orientation");
}

void ProgressBar::SetMin(Long lMin) {
    if (lMin == s_.min) return;
    s_.min = lMin;
    if (bar_ != 0) UpdateRange();
    Changed("Min");
}

void ProgressBar::SetMax(Long lMax) {
    if (lMax == s_.max) return;
    s_.max = lMax;
    if (bar_ != 0) UpdateRange();
    Changed("Max");
}

void ProgressBar::SetSmooth(bool bSmooth) {
    if (bSmooth == s_.smooth) return;
    s_.smooth = bSmooth;
    if (bar_ != 0) RecreateBar();
    Changed("Smooth");
}

void ProgressBar::SetBorderStyle(Long eBorderStyle) {
    if (eBorderStyle == s_.borderStyle) return;
    s_.borderStyle = eBorderStyle;
    ApplyBorderStyle();
    Changed("BorderStyle");
}

// The border on the windows there are: the bar's thin edge (1) or the control's sunken
// one (2). The control's own window comes only when its form is shown, so this runs
// again then.
void ProgressBar::ApplyBorderStyle() {
    const auto restyle = [&](ui::Hwnd window, Long set, Long clear) {
        if (window == 0) return;
        const Long old = ui_.GetWindowLong(window, GWL_EXSTYLE);
        const Long style = (old | set) & ~clear;
        if (style != old) {
            ui_.SetWindowLong(window, GWL_EXSTYLE, style);
            ui_.SetWindowPos(window, 0, 0, 0, 0, 0, SWP_FRAMECHANGED_NOMOVE_NOSIZE);
        }
    };
    if (bar_ == 0) return;
    switch (s_.borderStyle) {
        case 1:
            restyle(bar_, WS_EX_STATICEDGE, 0);
            restyle(hWnd, 0, WS_EX_CLIENTEDGE);
            break;
        case 2:
            restyle(hWnd, WS_EX_CLIENTEDGE, 0);
            restyle(bar_, 0, WS_EX_STATICEDGE);
            break;
        default:
            restyle(bar_, 0, WS_EX_STATICEDGE);
            restyle(hWnd, 0, WS_EX_CLIENTEDGE);
            break;
    }
}

void ProgressBar::WindowCreated() {
    ApplyBorderStyle();
}

void ProgressBar::SetBackColor(Long oNewBackColor) {
    if (oNewBackColor == s_.backColor) return;
    s_.backColor = oNewBackColor;
    if (bar_ != 0) Send(PBM_SETBKCOLOR, 0, TranslateColor(oNewBackColor));
    Changed("BackColor");
}

void ProgressBar::SetForeColor(Long oNewForeColor) {
    if (oNewForeColor == s_.foreColor) return;
    s_.foreColor = oNewForeColor;
    if (bar_ != 0) Send(PBM_SETBARCOLOR, 0, TranslateColor(oNewForeColor));
    Changed("ForeColor");
}

void ProgressBar::SetPosition(Long lPos) {
    if (lPos == s_.position) return;
    s_.position = lPos;
    if (bar_ != 0) Send(PBM_SETPOS, lPos, 0);
    Changed("Position");
}

void ProgressBar::SetStep(Long lStep) {
    if (lStep == s_.step) return;
    s_.step = lStep;
    if (bar_ != 0) Send(PBM_SETSTEP, lStep, 0);
    Changed("Step");
}

void ProgressBar::StepIt() {
    if (bar_ != 0) {
        Send(PBM_STEPIT, 0, 0);
    } else {
        s_.position = AddLong(s_.position, s_.step);
    }
}

Long ProgressBar::Pixels(Long twips, Long perPixel) const {
    return ToLong(static_cast<double>(twips)) / (perPixel > 0 ? perPixel : 1);
}

void ProgressBar::CreateBar() {
    Long style = WS_CHILD_VISIBLE;
    if (s_.orientation == 1) style |= PBS_VERTICAL;
    if (s_.smooth) style |= PBS_SMOOTH;
    bar_ = ui_.CreateWindowEx(0, "msctls_progress32", "", style, 0, 0,
                              Pixels(ScaleWidth, ui_.TwipsPerPixelX()),
                              Pixels(ScaleHeight, ui_.TwipsPerPixelY()), hWnd);
    if (bar_ != 0) Send(PBM_SETPOS, s_.position, 0);
}

void ProgressBar::RecreateBar() {
    // The old bar window is destroyed first, so the control keeps a single child.
    const Long border = s_.borderStyle, position = s_.position, back = s_.backColor,
               fore = s_.foreColor;
    if (bar_ != 0) {
        ui_.DestroyWindow(bar_);
        bar_ = 0;
    }
    CreateBar();
    if (bar_ == 0) return;
    UpdateRange();
    s_.position = -1;
    SetPosition(position);
    s_.borderStyle = -1;
    SetBorderStyle(border);
    s_.backColor = -1;
    SetBackColor(back);
    s_.foreColor = -1;
    SetForeColor(fore);
}

void ProgressBar::UpdateRange() {
    Send(PBM_SETRANGE32, s_.min, s_.max);
    const Long high = ui_.SendMessage(bar_, PBM_GETRANGE, 0, {0});
    const Long low = ui_.SendMessage(bar_, PBM_GETRANGE, 1, {0});
    if (high != s_.max || low != s_.min) {
        // An older control without 32-bit ranges: the low 16 bits of each limit.
        const auto lowWord = static_cast<std::uint32_t>(s_.min) & 0xFFFFu;
        const auto highWord = static_cast<std::uint32_t>(s_.max) & 0xFFFFu;
        Send(PBM_SETRANGE, 0, static_cast<Long>(lowWord | (highWord << 16)));
    }
}

void ProgressBar::InitProperties(Long ambientBackColor) {
    s_.smooth = false;
    s_.orientation = 0;
    CreateBar();
    SetBorderStyle(1);
    s_.backColor = ambientBackColor;
}

void ProgressBar::ReadProperties(PropertyBag& bag) {
    s_.smooth = bag.ReadProperty("Smooth", False) != False;
    s_.orientation = bag.ReadProperty("Orientation", 0);
    if (bar_ != 0) ui_.DestroyWindow(bar_);
    CreateBar();
    s_.borderStyle = -1;
    SetBorderStyle(bag.ReadProperty("BorderStyle", 1));
    SetForeColor(bag.ReadProperty("ForeColor", kSystemHighlight));
    SetBackColor(bag.ReadProperty("BackColor", kSystemButtonFace));
    SetMin(bag.ReadProperty("Min", 0));
    SetMax(bag.ReadProperty("Max", 100));
    SetStep(bag.ReadProperty("Step", 1));
}

void ProgressBar::WriteProperties(PropertyBag& bag) const {
    bag.WriteProperty("BorderStyle", s_.borderStyle, 1);
    bag.WriteProperty("Smooth", s_.smooth ? True : False, False);
    bag.WriteProperty("Orientation", s_.orientation, 0);
    bag.WriteProperty("ForeColor", s_.foreColor, kSystemHighlight);
    bag.WriteProperty("BackColor", s_.backColor, kSystemButtonFace);
    bag.WriteProperty("Min", s_.min, 0);
    bag.WriteProperty("Max", s_.max, 100);
    bag.WriteProperty("Step", s_.step, 1);
}

void ProgressBar::Resize() {
    if (bar_ == 0) return;
    ui_.MoveWindow(bar_, 0, 0, Pixels(ScaleWidth, ui_.TwipsPerPixelX()),
                   Pixels(ScaleHeight, ui_.TwipsPerPixelY()), true);
}

void ProgressBar::Terminate() {
    if (bar_ == 0) return;
    ui_.ShowWindow(bar_, 0);
    ui_.SetParent(bar_, 0);
    ui_.DestroyWindow(bar_);
    bar_ = 0;
}

void ProgressBar::SaveDesignState() {
    design_ = s_;
    designEnabled_ = Enabled;
    designVisible_ = Visible;
}

void ProgressBar::RestoreDesignState() {
    // Unloading the form ends the control; the next load starts from its saved values.
    Enabled = designEnabled_;
    Visible = designVisible_;
    if (bar_ != 0) {
        Send(PBM_SETPOS, design_.position, 0);
    }
    const bool rangeChanged = s_.min != design_.min || s_.max != design_.max;
    s_ = design_;
    if (bar_ != 0 && rangeChanged) UpdateRange();
}

}  // namespace tbln
