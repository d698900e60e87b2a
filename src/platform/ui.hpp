// The user-interface port: message boxes, modal forms with controls and timers,
// "let pending events run", and the window operations the dialogs use.
//
// A dialog is a Form subclass whose controls are plain observable data members and
// whose event handlers are methods. No toolkit is visible here: an adapter (the
// scripted one for tests and non-interactive runs, a real GUI later) shows a form
// modally, delivers user actions and timer ticks to it, and returns when the form
// unloads. Unloading puts every control back to the state it had when the form was
// first shown (its design state); the form's own fields survive, as they do in the
// original runtime.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/numeric.hpp"

namespace tbln::ui {

using Hwnd = Long;

// Message box buttons and icons, and the answers, as the runtime numbers them.
inline constexpr int vbOKOnly = 0;
inline constexpr int vbOKCancel = 1;
inline constexpr int vbAbortRetryIgnore = 2;
inline constexpr int vbYesNoCancel = 3;
inline constexpr int vbYesNo = 4;
inline constexpr int vbRetryCancel = 5;
inline constexpr int vbCritical = 16;
inline constexpr int vbQuestion = 32;
inline constexpr int vbExclamation = 48;
inline constexpr int vbInformation = 64;
inline constexpr int vbDefaultButton2 = 256;
inline constexpr int vbDefaultButton3 = 512;

inline constexpr int vbOK = 1;
inline constexpr int vbCancel = 2;
inline constexpr int vbAbort = 3;
inline constexpr int vbRetry = 4;
inline constexpr int vbIgnore = 5;
inline constexpr int vbYes = 6;
inline constexpr int vbNo = 7;

// The buttons a message box style shows, in order, and the answer of its default button.
std::vector<int> MessageButtons(int style);
int DefaultAnswer(int style);

class Form;

// Base of every control: its name as the dialog's code knows it, and the common
// properties. Subclasses keep their state in one copyable struct so that the form
// can restore the design state on unload.
class Control {
  public:
    Control(Form& owner, std::string name);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& Name() const noexcept { return name_; }

    bool Enabled = true;
    bool Visible = true;
    // The designer's position and size in twips, relative to the form's inner area.
    Long Left = 0, Top = 0, Width = 0, Height = 0;
    void Move(Long left, Long top, Long width, Long height) {
        Left = left;
        Top = top;
        Width = width;
        Height = height;
    }
    // The control's window handle, given by the adapter while the form is shown.
    Hwnd hWnd = 0;

    // A window the control created as its only child (a progress bar's bar window), which
    // the adapter places inside the control; 0 when there is none.
    virtual Hwnd ChildWindow() const { return 0; }
    // Called by the adapter once hWnd is the control's new window, so that what the
    // control keeps for its window (a progress bar's border) reaches it.
    virtual void WindowCreated() {}

    // Design state: captured when the form is first shown, restored on unload.
    virtual void SaveDesignState() = 0;
    virtual void RestoreDesignState() = 0;

  private:
    std::string name_;
};

// Helper base keeping a control's properties in a struct S, so save/restore is one copy.
template <class S>
class StatefulControl : public Control {
  public:
    using Control::Control;
    void SaveDesignState() override {
        design_ = state;
        designEnabled_ = Enabled;
        designVisible_ = Visible;
    }
    void RestoreDesignState() override {
        state = design_;
        Enabled = designEnabled_;
        Visible = designVisible_;
    }

  protected:
    S state{};

  private:
    S design_{};
    bool designEnabled_ = true;
    bool designVisible_ = true;
};

struct LabelState {
    std::string caption;
};
class Label : public StatefulControl<LabelState> {
  public:
    using StatefulControl::StatefulControl;
    const std::string& Caption() const { return state.caption; }
    void SetCaption(std::string c) { state.caption = std::move(c); }
};

// A frame: a captioned box drawn around the controls placed inside its area.
class Frame : public Label {
  public:
    using Label::Label;
};

struct ButtonState {
    std::string caption;
    bool cancel = false;  // the button that Esc (and a script that runs out) presses
    bool isDefault = false;
};
class CommandButton : public StatefulControl<ButtonState> {
  public:
    using StatefulControl::StatefulControl;
    const std::string& Caption() const { return state.caption; }
    void SetCaption(std::string c) { state.caption = std::move(c); }
    bool Cancel() const { return state.cancel; }
    void SetCancel(bool c) { state.cancel = c; }
    bool Default() const { return state.isDefault; }
    void SetDefault(bool d) { state.isDefault = d; }

    std::function<void()> Click;
    // A user's click: does nothing while the button is disabled or hidden.
    void PerformClick();
};

struct TextBoxState {
    std::string text;
    bool locked = false;
};
class TextBox : public StatefulControl<TextBoxState> {
  public:
    using StatefulControl::StatefulControl;
    const std::string& Text() const { return state.text; }
    // Setting a different text raises Change, from code as from the user.
    void SetText(std::string t);
    bool Locked() const { return state.locked; }

    std::function<void()> Change;
};

struct ListState {
    std::string text;
    std::vector<std::string> items;
    int listIndex = -1;
    std::vector<Long> tabStops;
};
// Shared by list boxes and combo boxes: items, the selected line and its text.
class ListControl : public StatefulControl<ListState> {
  public:
    using StatefulControl::StatefulControl;
    void AddItem(std::string item);
    // Removes a line; the selection is cleared when it was that line, else follows it.
    void RemoveItem(int index);
    void Clear();
    int ListCount() const { return static_cast<int>(state.items.size()); }
    const std::string& List(int index) const;
    const std::vector<std::string>& Items() const { return state.items; }
    int ListIndex() const { return state.listIndex; }
    // Selecting a line (from code or by the user) sets the text and raises Click.
    void SetListIndex(int index);
    const std::string& Text() const { return state.text; }

    std::function<void()> Click;
    std::function<void()> DblClick;
    std::function<void()> Change;  // combo boxes: the text of the edit part changed
};

class ComboBox : public ListControl {
  public:
    using ListControl::ListControl;
    // Typing into the edit part raises Change.
    void SetText(std::string t);
};

class ListBox : public ListControl {
  public:
    using ListControl::ListControl;
    // The list's tab stops in dialog units (set through the list box message).
    const std::vector<Long>& TabStops() const { return state.tabStops; }
    void SetTabStops(std::vector<Long> stops) { state.tabStops = std::move(stops); }
};

struct CheckState {
    std::string caption;
    int value = 0;  // 0 unchecked, 1 checked
};
class CheckBox : public StatefulControl<CheckState> {
  public:
    using StatefulControl::StatefulControl;
    const std::string& Caption() const { return state.caption; }
    void SetCaption(std::string c) { state.caption = std::move(c); }
    int Value() const { return state.value; }
    // A change of value raises Click, as a user's click does.
    void SetValue(int v);
    std::function<void()> Click;
};

struct TimerState {
    Long interval = 0;  // milliseconds; 0 means the timer never fires
    bool enabled = true;
};
class Timer : public StatefulControl<TimerState> {
  public:
    using StatefulControl::StatefulControl;
    Long Interval() const { return state.interval; }
    void SetInterval(Long ms);
    bool TimerEnabled() const { return state.enabled; }
    void SetEnabled(bool e);
    // Bumped on every change of Interval or Enabled: the timer restarts its count.
    std::uint64_t Epoch() const { return epoch_; }
    void RestoreDesignState() override;

    std::function<void()> Tick;  // the Timer event

  private:
    std::uint64_t epoch_ = 0;
};

// A dialog. Subclasses declare their controls as members (constructed with *this and
// the control's name, which registers it), wire the handlers in their constructor,
// and override the form events they handle.
class Form {
  public:
    explicit Form(std::string name);
    virtual ~Form() = default;
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& Name() const noexcept { return name_; }
    std::string Caption;
    // Position and size in twips, the window's frame and caption included (the
    // controls are placed in the inner area: Width less 120, Height less 510).
    Long Left = 0, Top = 0, Width = 4800, Height = 3600;
    // The window handle, given by the adapter while the form is shown.
    Hwnd hWnd = 0;

    bool IsLoaded() const noexcept { return loaded_; }
    // Closes the form: runs Form_Unload, then puts every control back to its design state.
    void Unload();

    virtual void Form_Load() {}
    virtual void Form_Unload() {}
    virtual void Form_MouseMove(int /*button*/, int /*shift*/, Single /*x*/, Single /*y*/) {}
    virtual void Form_MouseDown(int /*button*/, int /*shift*/, Single /*x*/, Single /*y*/) {}

    const std::vector<Control*>& Controls() const noexcept { return controls_; }
    Control* FindControl(const std::string& name) const;
    // The button whose Cancel property is set (Esc presses it), if any.
    CommandButton* CancelButton() const;
    // The button whose Default property is set (Enter presses it), if any.
    CommandButton* DefaultButton() const;

    // Called by the adapter when it shows the form: the first time, captures the
    // design state of every control; then marks the form loaded and runs Form_Load.
    // A form that unloads itself while loading raises run-time error 364, as showing
    // such a form does in the original runtime.
    void BeginLoad();

  private:
    friend class Control;
    void Register(Control* c) { controls_.push_back(c); }

    std::string name_;
    std::vector<Control*> controls_;
    bool loaded_ = false;
    bool designSaved_ = false;
};

// A window's placement (the WINDOWPLACEMENT structure: length 44 on the original platform).
struct WindowPlacement {
    Long length = 0;
    Long flags = 0;
    Long showCmd = 0;
    Long minX = 0, minY = 0, maxX = 0, maxY = 0;
    Long left = 0, top = 0, right = 0, bottom = 0;
};

inline constexpr Hwnd HWND_TOPMOST = -1;
inline constexpr Hwnd HWND_NOTOPMOST = -2;
inline constexpr Long SWP_NOSIZE = 1;
inline constexpr Long SWP_NOMOVE = 2;
inline constexpr Long SW_SHOWMAXIMIZED = 3;
inline constexpr Long MF_BYPOSITION = 0x400;
inline constexpr Long LB_SETTABSTOPS = 0x192;

// Runs one model event for an adapter that shows forms (a user's action, a timer tick).
// An error escaping it is kept in `pending` (the first one only) and unloads `top`, the
// form on top, whose ShowModal then raises it to its caller, as the runtime does.
void RunEvent(const std::function<void()>& event, std::exception_ptr& pending, Form* top);

// Choosers for files (the common open and save dialogs).
struct FileDialogRequest {
    Hwnd owner = 0;
    std::string title;
    std::string filter;  // "Description|pattern|Description|pattern"
    int filterIndex = 1;
    std::string initialDir;
    std::string fileName;  // initial file name
    std::string defaultExt;
    Long flags = 0;
};

// The window identifier of a control on a real window system: one rule for every form,
// 1000 plus the control's place in Form::Controls(), so that a driver (a test, an
// accessibility tool) finds a control by the same number every time.
inline constexpr int kFirstControlId = 1000;
int ControlId(const Form& form, const Control& control);
// The control with that identifier, or null.
Control* ControlById(const Form& form, int id);

// One entry of a file chooser's filter: its description and its patterns.
struct FileFilter {
    std::string description;
    std::vector<std::string> patterns;
};
// The entries of a file dialog request's filter: the port's "description|pattern|..."
// pairs, or the spreadsheet chooser's "description, pattern, ..." pairs; patterns are
// separated by ";". Since the embedded engine opens every workbook format whichever one
// the filter names, an entry naming a workbook pattern offers all of them.
std::vector<FileFilter> FileFilters(const std::string& filter);

// The folder a chooser opens in. As the system's choosers do, a request that names no
// folder, or names the folder of the first request again, opens where the user last
// chose; any other folder it names is where it opens.
class ChooserFolders {
  public:
    std::string Start(const std::string& initialDir);
    // The user chose something in this folder.
    void Chosen(std::string folder) { last_ = std::move(folder); }
    // Where the user last chose (empty before the first choice).
    const std::string& Last() const { return last_; }

  private:
    std::string last_;
    std::optional<std::string> first_;
};

// The user interface proper: message boxes, modal forms, "let events run" and the
// choosers for files and folders.
class UserInterface {
  public:
    virtual ~UserInterface() = default;

    // A modal message box; returns the answer (vbOK, vbYes, ...).
    virtual int MsgBox(const std::string& prompt, int style, const std::string& title) = 0;

    // Shows the form modally: loads it (Form_Load), delivers events until it unloads.
    virtual void ShowModal(Form& form) = 0;
    // Lets pending window events (clicks, timer ticks) run, then returns.
    virtual void DoEvents() = 0;

    // The common file dialogs: return false when the user cancels; on success
    // request.fileName holds the chosen path, or, when several files are chosen at once
    // (flags 0x200), the folder and the file names separated by NUL characters.
    virtual bool GetOpenFileName(FileDialogRequest& request) = 0;
    virtual bool GetSaveFileName(FileDialogRequest& request) = 0;
    // The shell's folder chooser: returns the chosen folder, or "" when cancelled.
    virtual std::string BrowseForFolder(Hwnd owner, const std::string& title) = 0;
};

// Window management: placement, the top-most band, the system menu, list box
// messages, activation by title and the screen size.
class WindowManager {
  public:
    virtual ~WindowManager() = default;

    virtual Long SetWindowPos(Hwnd hwnd, Hwnd insertAfter, Long x, Long y, Long cx, Long cy,
                              Long flags) = 0;
    virtual Hwnd FindWindow(const std::string& className, const std::string& title) = 0;
    virtual bool GetWindowPlacement(Hwnd hwnd, WindowPlacement& placement) = 0;
    virtual bool SetWindowPlacement(Hwnd hwnd, const WindowPlacement& placement) = 0;
    virtual Long GetSystemMenu(Hwnd hwnd, bool revert) = 0;
    virtual bool RemoveMenu(Long menu, Long position, Long flags) = 0;
    virtual Long SendMessage(Hwnd hwnd, Long message, Long wParam,
                             const std::vector<Long>& lParam) = 0;
    virtual bool ReleaseCapture() = 0;
    // Activates the top-level window with this title; raises 5 when there is none.
    virtual void AppActivate(const std::string& title) = 0;
    // Screen size in twips.
    virtual Long ScreenWidth() = 0;
    virtual Long ScreenHeight() = 0;
};

// Child windows of a control (the progress bar's bar window) and the pixel size. An
// adapter that cannot create one returns 0 from CreateWindowEx; the control then keeps
// its values without a window.
class ChildWindows {
  public:
    virtual ~ChildWindows() = default;

    virtual Hwnd CreateWindowEx(Long exStyle, const std::string& className,
                                const std::string& title, Long style, Long x, Long y, Long width,
                                Long height, Hwnd parent) = 0;
    virtual bool DestroyWindow(Hwnd hwnd) = 0;
    virtual Hwnd SetParent(Hwnd child, Hwnd parent) = 0;
    virtual bool ShowWindow(Hwnd hwnd, Long command) = 0;
    virtual bool MoveWindow(Hwnd hwnd, Long x, Long y, Long width, Long height, bool repaint) = 0;
    // Window words (GWL_EXSTYLE -20 holds the extended styles).
    virtual Long GetWindowLong(Hwnd hwnd, Long index) = 0;
    virtual Long SetWindowLong(Hwnd hwnd, Long index, Long value) = 0;
    // Twips per screen pixel.
    virtual Long TwipsPerPixelX() = 0;
    virtual Long TwipsPerPixelY() = 0;
};

// Everything the dialogs use, in one reference: an adapter implements all three parts.
class Ui : public UserInterface, public WindowManager, public ChildWindows {};

}  // namespace tbln::ui
