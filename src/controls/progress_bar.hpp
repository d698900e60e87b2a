// The progress bar control the dialogs place as ProgressBar1: it wraps the common
// controls' progress bar window ("msctls_progress32"), which it creates as its only
// child, and forwards its properties to it with the progress-bar messages through the
// ui:: port. Without a bar window every property still keeps its value.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/numeric.hpp"
#include "platform/ui.hpp"

namespace tbln {

// The saved properties of a control as the form stores them: values by name, with
// every read and write journalled in order.
class PropertyBag {
  public:
    Long ReadProperty(const std::string& name, Long defaultValue);
    void WriteProperty(const std::string& name, Long value, Long defaultValue);
    bool Has(const std::string& name) const { return values_.count(name) != 0; }
    Long Value(const std::string& name) const { return values_.at(name); }
    void Set(const std::string& name, Long value) { values_[name] = value; }
    // "read Name" and "write Name" in the order they happened.
    const std::vector<std::string>& Journal() const { return journal_; }

  private:
    std::map<std::string, Long> values_;
    std::vector<std::string> journal_;
};

// Progress-bar messages and the window styles the control uses.
inline constexpr Long PBM_SETRANGE = 0x401;
inline constexpr Long PBM_SETPOS = 0x402;
inline constexpr Long PBM_SETSTEP = 0x404;
inline constexpr Long PBM_STEPIT = 0x405;
inline constexpr Long PBM_SETRANGE32 = 0x406;
inline constexpr Long PBM_GETRANGE = 0x407;
inline constexpr Long PBM_SETBARCOLOR = 0x409;
inline constexpr Long PBM_SETBKCOLOR = 0x2001;
inline constexpr Long PBS_SMOOTH = 1;
inline constexpr Long PBS_VERTICAL = 4;
inline constexpr Long WS_CHILD_VISIBLE = 0x50000000;
inline constexpr Long WS_EX_CLIENTEDGE = 0x200;
inline constexpr Long WS_EX_STATICEDGE = 0x20000;
inline constexpr Long GWL_EXSTYLE = -20;
inline constexpr Long SWP_FRAMECHANGED_NOMOVE_NOSIZE = 0x23;
inline constexpr Long kSystemHighlight = static_cast<Long>(0x8000000D);
inline constexpr Long kSystemButtonFace = static_cast<Long>(0x8000000F);

// An OLE colour as an RGB value: system colours (0x80000000 + index) through the
// classic system palette, plain RGB values as they are, anything else -1.
Long TranslateColor(Long oleColor);

class ProgressBar : public ui::Control {
  public:
    ProgressBar(ui::Form& owner, std::string name, ui::Ui& ui);
    ~ProgressBar() override;

    Long Orientation() const { return s_.orientation; }
    void SetOrientation(Long eOrientation);
    Long Min() const { return s_.min; }
    void SetMin(Long lMin);
    Long Max() const { return s_.max; }
    void SetMax(Long lMax);
    bool Smooth() const { return s_.smooth; }
    void SetSmooth(bool bSmooth);
    // The bar window; 0 while it does not exist.
    ui::Hwnd hwnd() const { return bar_; }
    ui::Hwnd ChildWindow() const override { return bar_; }
    Long BorderStyle() const { return s_.borderStyle; }
    void SetBorderStyle(Long eBorderStyle);
    Long BackColor() const { return s_.backColor; }
    void SetBackColor(Long oNewBackColor);
    Long ForeColor() const { return s_.foreColor; }
    void SetForeColor(Long oNewForeColor);
    Long Position() const { return s_.position; }
    void SetPosition(Long lPos);
    Long Step() const { return s_.step; }
    void SetStep(Long lStep);
    void StepIt();

    // Reported after every let that changed a value, with the property's name.
    std::function<void(const std::string&)> PropertyChanged;

    // Life of the control: a new instance placed at design time, saved properties
    // loaded and written, a resize of the control, and its end.
    void InitProperties(Long ambientBackColor);
    void ReadProperties(PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;
    void Resize();
    void Terminate();

    void WindowCreated() override;
    void SaveDesignState() override;
    void RestoreDesignState() override;

    // The control's inner size in twips.
    Long ScaleWidth = 1500;
    Long ScaleHeight = 255;

  private:
    struct State {
        Long min = 1, max = 100, position = 0, step = 1, orientation = 0;
        bool smooth = false;
        Long borderStyle = 0, backColor = 0, foreColor = kSystemHighlight;
    };
    void Changed(const char* name);
    void CreateBar();
    void ApplyBorderStyle();
    void RecreateBar();
    void UpdateRange();
    Long Send(Long message, Long wParam, Long lParam);
    Long Pixels(Long twips, Long perPixel) const;

    ui::Ui& ui_;
    ui::Hwnd bar_ = 0;
    State s_;
    State design_;
    bool designEnabled_ = true, designVisible_ = true;
};

}  // namespace tbln
